#pragma once
// The driver chooser: the spooler queues that print to one monitored
// printer's port, the kind of driver of each, and the user's pick among them
// when there is more than one ("Choose Driver", template 159). CWFDriverDlg is
// not a window; its DoModal runs the search and, when needed, the dialog.
#include <vector>

#include "framework/collections.h"
#include "framework/cstring.h"
#include "framework/dialog.h"
#include "framework/win_thread.h"
#include "platform/spooler.h"

class CWFPrinterIcon;
class CWFoidList;
class CListBox;

// CWFDriverDlg flags.
constexpr ULONG WFDRV_ONE_PER_EMULATION = 0x0001;
constexpr ULONG WFDRV_LISTED_ONLY = 0x0002;
constexpr ULONG WFDRV_NO_PCL = 0x0004;

// Driver kinds ("emulations").
constexpr USHORT WFDRV_EMUL_NONE = 0;
constexpr USHORT WFDRV_EMUL_ANY = 1;
constexpr USHORT WFDRV_EMUL_POSTSCRIPT = 3;
constexpr USHORT WFDRV_EMUL_PCL = 5;

// DoModal's results.
constexpr int WFDRV_CHOSEN = 1;
constexpr int WFDRV_CANCELLED = 2;
constexpr int WFDRV_FAILED = 3;

constexpr UINT IDD_CHOOSE_DRIVER = 159;
constexpr UINT IDC_DRIVER_LIST = 1134;
constexpr UINT IDS_DRIVER_ENUM_FAILED = 154;
constexpr UINT IDS_DRIVER_NO_PRINTERS = 155;
constexpr UINT IDS_DRIVER_NONE_MATCHED = 156;
constexpr UINT IDS_DRIVER_LINE = 157;

class CWFDriverRecord : public CObject {
 public:
  CWFDriverRecord(LPCSTR printerName, LPCSTR portName, LPCSTR shortDriverName, LPCSTR driverName,
                  USHORT emulation);
  ~CWFDriverRecord() override;

  CString m_printerName;
  CString m_portName;
  CString m_shortDriverName;
  CString m_driverName;  // the spooler's name of the driver
  USHORT m_emulation;
};

// Owns its records.
class CWFDriverList : public CObList {
 public:
  CWFDriverList() : CObList(10) {}
  ~CWFDriverList() override;
  // With WFDRV_ONE_PER_EMULATION a second record of one emulation is refused
  // (FALSE, the caller keeps it); otherwise appended.
  BOOL Add(CWFDriverRecord* record, ULONG flags);
};

class CWFDriverDlg : public CObject {
 public:
  CWFDriverDlg(CWFPrinterIcon* icon, CWnd* parent, ULONG flags);
  ~CWFDriverDlg() override;

  // WFDRV_CHOSEN, WFDRV_CANCELLED or WFDRV_FAILED.
  int DoModal();
  const char* GetFriendlyName() const { return m_friendlyName; }
  const char* GetPortName() const { return m_portName; }
  const char* GetShortDriverName() const { return m_shortDriverName; }
  USHORT GetEmulation() const { return m_emulation; }
  // The chosen queue opened by name; the caller closes it. -1 when it cannot be opened.
  HANDLE GetPrinterHandle();

 private:
  void GetDriverInfo(const wf::spool::PrinterInfo5* printer);
  void ReadDriverLists();
  void Message(UINT id);

  CWFPrinterIcon* m_pIcon;
  CWnd* m_pParent;
  ULONG m_flags;
  CWFDriverList m_drivers;
  CString m_friendlyName;
  CString m_portName;
  CString m_shortDriverName;
  USHORT m_emulation = 0;
  char m_postScriptNames[1024];
  char m_pclNames[1024];
  CWFoidList* m_pPostScriptList = nullptr;
  CWFoidList* m_pPCLList = nullptr;
};

// "Choose Driver": one line per record, the record as the line's data.
class CWFChooseDriverDlg : public CDialog {
 public:
  CWFChooseDriverDlg(CWnd* parent, CWFDriverList* records, CWFPrinterIcon* icon);
  CWFDriverRecord* GetSelected() const { return m_pSelected; }

  BOOL OnInitDialog() override;

 protected:
  void OnSelChange();

 private:
  CListBox* list();

  CWFDriverList* m_pRecords;
  CWFDriverRecord* m_pSelected = nullptr;
  CWFPrinterIcon* m_pIcon;
  DECLARE_MESSAGE_MAP()
};

namespace wf {
// The driver path's file name without directory and extension; a path in
// either separator's form.
CString shortDriverName(const char* driverPath);
// Splits a comma list into `list`'s items (each a copied, trimmed text),
// stopping at the end or at the first empty piece.
void parseDriverNames(const char* text, CWFoidList& list);
}  // namespace wf
