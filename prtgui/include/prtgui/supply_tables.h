#pragma once
// The icon's tray and bin tables: named shells that know their name, their
// printer and their identifier range. Their entries come with the cached
// printer data.
#include "framework/collections.h"
#include "framework/cstring.h"

class CWFSupplyTable : public CObject {
 public:
  CWFSupplyTable(const char* name, USHORT printer, UINT firstId, UINT lastId)
      : m_name(name), m_printer(printer), m_firstId(firstId), m_lastId(lastId) {}
  const CString& GetName() const { return m_name; }
  USHORT GetPrinterHandle() const { return m_printer; }
  UINT GetFirstId() const { return m_firstId; }
  UINT GetLastId() const { return m_lastId; }
  int GetSize() const { return m_entries.GetSize(); }

 protected:
  CString m_name;
  USHORT m_printer;
  UINT m_firstId;
  UINT m_lastId;
  CPtrArray m_entries;
};

class CWFInputCharArray : public CWFSupplyTable {
 public:
  using CWFSupplyTable::CWFSupplyTable;
  void RemoveAllInputOptions() { m_entries.RemoveAll(); }
};

class CWFOutputCharArray : public CWFSupplyTable {
 public:
  using CWFSupplyTable::CWFSupplyTable;
  void RemoveAllOutputOptions() { m_entries.RemoveAll(); }
};
