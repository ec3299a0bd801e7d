#pragma once
// The Printer Inventory dialog (modeless, one at a time, owned by a printer
// window's view) and its status dialog, which runs the creation and print
// workers. A run's state is one shared block of the dialogs and the worker;
// the worker reaches the dialogs only by posts to the status dialog.
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "framework/dialog.h"
#include "framework/printing.h"
#include "platform/thread.h"

class CWFListView;
struct _WF_PRINTER_INFO;

constexpr UINT IDD_PRINTER_INVENTORY = 858;
constexpr UINT IDD_INVENTORY_STATUS = 859;

constexpr UINT WM_WF_INVCREATE = 1149;
constexpr UINT WM_WF_INVPRINT = 1150;
constexpr UINT WM_WF_INVERROR = 1151;
constexpr UINT WM_WF_INVSETRANGE = 1153;
constexpr UINT WM_WF_INVSTEP = 1154;
constexpr UINT WM_WF_INVENTORYDONE = 2490;

// Controls of the two dialogs.
constexpr UINT IDC_INV_CREATE = 1156;
constexpr UINT IDC_INV_PRINT = 1157;
constexpr UINT IDC_INV_PRINTER = 1158;
constexpr UINT IDC_INV_SETUP = 1159;
constexpr UINT IDC_INV_BROWSE = 1160;
constexpr UINT IDC_INV_DATAFILE = 1161;
constexpr UINT IDC_INV_NEWPAGE = 1164;
constexpr UINT IDC_INV_NONBIDI = 1165;
constexpr UINT IDC_INV_HEADER = 1167;
constexpr UINT IDC_INV_EXIT = 1168;
constexpr UINT IDC_INV_WINDOWONLY = 1169;
constexpr UINT IDC_INV_STATUS_TEXT = 1169;
constexpr UINT IDC_INV_PROGRESS = 1133;

namespace wf::inventory {

// Result codes of the workers.
enum Code : int {
  kOk = 0,
  kCancelled = 1,
  kRecordFailed = -1,
  kNoMemory = -2,
  kIoError = -5,
  kDocumentFailed = -7,
  kTextFailed = -9,
  kNoFile = -11,
  kDamaged = -12,
  kChecksumFailed = -13,
  kNoPrinters = -30,
};

// One run: what the dialogs chose and what the worker reports.
struct Run {
  ~Run();

  std::atomic<bool> cancel{false};
  std::atomic<unsigned> progress{0};
  HWND status = 0;  // where the worker posts

  std::string dataFile;
  bool print = false;
  bool windowOnly = false;
  bool newPage = false;
  bool includeNonBidirectional = false;
  std::string header;

  std::vector<_WF_PRINTER_INFO*> entries;  // owned, with their chains
  HDC printer = nullptr;                   // owned
  int copies = 1;

  std::atomic<bool> running{false};  // a worker runs on this block
};

// The workers; each posts its progress and its end to `run.status`.
int CreateDataFile(Run& run);
int PrintDataFile(Run& run);

// "<data file without .dat>.pdf": where a PDF of the report goes first.
std::string SuggestedPdf(const std::string& dataFile);

// The run whose worker shutdown stops.
void RegisterActive(const std::shared_ptr<Run>& run);
// Shutdown: asks a running worker to stop and waits `ms` for its end; false
// when it outlived the bound.
bool StopRunningWorker(std::uint32_t ms);

}  // namespace wf::inventory

class CPrtInvDlg : public CDialog {
 public:
  explicit CPrtInvDlg(CWFListView* view);
  ~CPrtInvDlg() override;

  // Modeless on template 858, owned by the view.
  BOOL Create();
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  void OnOK() override;
  void OnCancel() override;  // Escape and the close box: as Exit
  void PostNcDestroy() override;

  // The view is going: the dialog closes and disposes of itself, at once or
  // once a running inventory has ended.
  void ViewClosing();
  CWFListView* GetView() const { return m_pView; }
  CPrintDialog& PrintDialog() { return m_printDlg; }
  // The printer description of the print dialog's choice; print flag with it.
  void TakePrinterChoice();
  // The run the next OK starts, from the fields.
  std::shared_ptr<wf::inventory::Run> NewRun() const;

  CString m_strDataFile;
  CString m_strPrinter;
  BOOL m_bCreate = TRUE;
  BOOL m_bWindowOnly = FALSE;
  BOOL m_bPrint = FALSE;
  BOOL m_bNewPage = FALSE;
  BOOL m_bIncludeNonBidi = FALSE;
  CString m_strHeader;

 protected:
  void OnCheck();
  void OnBrowse();
  void OnSetup();
  void OnExit();
  LRESULT OnHelp(WPARAM, LPARAM helpInfo);
  LRESULT OnHelpContextMenu(WPARAM window, LPARAM);
  DECLARE_MESSAGE_MAP()

 private:
  void enable();
  CString helpFile() const;

  CWFListView* m_pView;
  CPrintDialog m_printDlg;
  class CPrtInvStatusDlg* m_pStatus = nullptr;  // while a run's status shows
};

class CPrtInvStatusDlg : public CDialog {
 public:
  CPrtInvStatusDlg(CPrtInvDlg* inventory, std::shared_ptr<wf::inventory::Run> run);

  BOOL OnInitDialog() override;
  void OnCancel() override;

  CString m_strStatus;

 protected:
  LRESULT OnCreateFile(WPARAM, LPARAM);
  LRESULT OnPrint(WPARAM, LPARAM);
  LRESULT OnError(WPARAM caption, LPARAM text);
  LRESULT OnSetRange(WPARAM steps, LPARAM);
  LRESULT OnStep(WPARAM, LPARAM);
  LRESULT OnWorkerEnded(WPARAM, LPARAM);
  DECLARE_MESSAGE_MAP()

 private:
  // Waits for the worker that just reported its end.
  void joinWorker();
  void start(int (*work)(wf::inventory::Run&), const char* name);
  void setStatus(UINT textId);

  CPrtInvDlg* m_pInventory;
  std::shared_ptr<wf::inventory::Run> m_run;
  wf::Thread m_worker;
};
