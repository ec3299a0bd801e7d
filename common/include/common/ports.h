#pragma once
// A printer's ports, kept sorted, and the port-list text that job
// statistics store: "PORT:CONNECTION" entries joined by ';'.
#include "framework/collections.h"
#include "framework/cstring.h"

class CWFPrinterIcon;

class CWFPort : public CObject {
 public:
  enum : BYTE { kLocal = 1, kRedirection = 2, kNetworkName = 3, kAddress = 4 };

  // Port and connection are upper-cased; null gives an empty text.
  CWFPort(BYTE type, LPCSTR port, LPCSTR connection);
  ~CWFPort() override = default;

  BYTE GetType() const { return m_type; }
  const CString& GetPort() const { return m_port; }
  const CString& GetConnection() const { return m_connection; }
  // The port followed by its connection; lives in this object.
  LPCSTR GetJSPortName();
  // By port, then an empty connection first, then by connection.
  BOOL LessThan(const CWFPort* other) const;

 private:
  BYTE m_type;
  CString m_port;
  CString m_connection;
  CString m_jsName;
};

class CWFPortList : public CObList {
 public:
  CWFPortList() : CObList(10) {}
  // The ports of the icon's printer as its capabilities name them.
  explicit CWFPortList(CWFPrinterIcon* icon);
  // The ports of a port-list text; entries without ':' are skipped.
  explicit CWFPortList(LPCSTR text);
  ~CWFPortList() override;

  // Sorted insertion; equal ports keep their order. The list owns `port`.
  POSITION Insert(CWFPort* port);
  void RemoveAll();
  // TRUE when a port of each list has the same port name, case ignored.
  BOOL Matches(CWFPortList* other);
  // The port-list text; lives in this object.
  LPCSTR GetJSPortString();

 private:
  CString m_text;
};
