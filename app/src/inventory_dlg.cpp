#include "app/inventory_dlg.h"

#include <sys/stat.h>

#include <algorithm>

#include "app/list_view.h"
#include "app/wf_app.h"
#include "common/browse.h"
#include "common/oid_list.h"
#include "common/printer_list.h"
#include "framework/controls.h"
#include "framework/ddx.h"
#include "framework/shell_calls.h"
#include "platform/runtime_dir.h"

namespace {

enum InventoryStringId : UINT {
  kOn = 171,
  kInternalError = 1241,
  kIoError = 1242,
  kBrowseFilter = 1252,
  kBrowseTitle = 1253,
  kCreating = 1254,
  kPrinting = 1255,
  kExistsCaption = 1256,
  kExistsQuestion = 1257,
  kNoFile = 1258,
  kDamaged = 1259,
  kCreateError = 1260,
  kPrintError = 1261,
  kNoPrinters = 1263,
};

constexpr UINT WM_WF_PRIVATE_INVENDED = 0x7F29;
constexpr int kHeaderLimit = 80;
constexpr int kInventoryBrowseHelp = 302;
constexpr const char* kInventoryHelpFile = "PRT_INV.HLP";
// How long the status dialog waits for a worker that has posted its end.
constexpr std::uint32_t kEndedJoin = 5000;

const DWORD kHelpIds[] = {1161, 2351, 1162, 2351, 1160, 2352, 1158, 2353, 1163, 2353, 1159,
                          2354, 1156, 2355, 1169, 2356, 1157, 2357, 1164, 2358, 1165, 2359,
                          1167, 2360, 1166, 2360, 1,    2361, 1168, 2362, 0,    0};

CString loadedInventoryText(UINT id) {
  CString text;
  text.LoadString(id);
  return text;
}

CString defaultDataFile() {
  CWFApp* app = WFGetWFApp();
  CString file = app ? app->GetPrtInvDataFile() : CString();
  if (!file.IsEmpty()) return file;
  // The program's directory is not writable: the data root holds the file.
  const auto root = wf::dataRoot();
  return CString(((root ? root->string() : std::string(".")) + "/INVENTOR.DAT").c_str());
}

std::vector<_WF_PRINTER_INFO*> takeEntries(CWFoidList* list) {
  std::vector<_WF_PRINTER_INFO*> entries;
  if (!list) return entries;
  for (POSITION p = list->GetHeadPosition(); p;)
    entries.push_back(static_cast<_WF_PRINTER_INFO*>(static_cast<CWFoid*>(list->GetNext(p))->GetPointer()));
  delete list;  // the items, not the entries they point to
  return entries;
}

}  // namespace

// ---- the inventory dialog ----

BEGIN_MESSAGE_MAP(CPrtInvDlg, CDialog)
ON_BN_CLICKED(IDC_INV_CREATE, OnCheck)
ON_BN_CLICKED(IDC_INV_WINDOWONLY, OnCheck)
ON_BN_CLICKED(IDC_INV_PRINT, OnCheck)
ON_BN_CLICKED(IDC_INV_NEWPAGE, OnCheck)
ON_BN_CLICKED(IDC_INV_NONBIDI, OnCheck)
ON_BN_CLICKED(IDC_INV_BROWSE, OnBrowse)
ON_BN_CLICKED(IDC_INV_SETUP, OnSetup)
ON_BN_CLICKED(IDC_INV_EXIT, OnExit)
ON_MESSAGE(WM_HELP, OnHelp)
ON_MESSAGE(WM_CONTEXTMENU, OnHelpContextMenu)
END_MESSAGE_MAP()

CPrtInvDlg::CPrtInvDlg(CWFListView* view)
    : CDialog(IDD_PRINTER_INVENTORY, view),
      m_pView(view),
      m_printDlg(FALSE, PD_ALLPAGES | PD_NOSELECTION | PD_NOPAGENUMS | PD_COLLATE, view) {
  m_printDlg.m_pd.nFromPage = 1;
  m_printDlg.m_pd.nToPage = 0xFFFF;
  m_printDlg.m_pd.nCopies = 1;
}

CPrtInvDlg::~CPrtInvDlg() = default;

BOOL CPrtInvDlg::Create() {
  return CDialog::Create(IDD_PRINTER_INVENTORY, m_pView);
}

BOOL CPrtInvDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_strDataFile = defaultDataFile();
  m_printDlg.SetSuggestedFile(wf::inventory::SuggestedPdf(m_strDataFile.str()));
  if (m_printDlg.GetDefaults()) {
    TakePrinterChoice();
  } else {
    m_strPrinter.Empty();
    m_bPrint = FALSE;
  }
  m_bCreate = TRUE;
  if (auto* header = static_cast<CEdit*>(GetDlgItem(IDC_INV_HEADER))) header->LimitText(kHeaderLimit);
  UpdateData(FALSE);
  return TRUE;
}

void CPrtInvDlg::TakePrinterChoice() {
  if (m_printDlg.GetDeviceName().IsEmpty()) {
    m_strPrinter.Empty();
    m_bPrint = FALSE;
    return;
  }
  m_strPrinter = m_printDlg.GetDeviceName() + loadedInventoryText(kOn) + m_printDlg.GetPortName();
  m_bPrint = TRUE;
}

void CPrtInvDlg::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_Text(dx, IDC_INV_DATAFILE, m_strDataFile);
  DDX_Text(dx, IDC_INV_PRINTER, m_strPrinter);
  DDX_Check(dx, IDC_INV_CREATE, m_bCreate);
  DDX_Check(dx, IDC_INV_WINDOWONLY, m_bWindowOnly);
  DDX_Check(dx, IDC_INV_PRINT, m_bPrint);
  DDX_Check(dx, IDC_INV_NEWPAGE, m_bNewPage);
  DDX_Check(dx, IDC_INV_NONBIDI, m_bIncludeNonBidi);
  DDX_Text(dx, IDC_INV_HEADER, m_strHeader);
  DDV_MaxChars(dx, m_strHeader, kHeaderLimit);
  enable();
}

void CPrtInvDlg::enable() {
  auto set = [this](std::initializer_list<UINT> ids, BOOL on) {
    for (UINT id : ids)
      if (CWnd* control = GetDlgItem(id)) control->EnableWindow(on);
  };
  const BOOL either = m_bCreate || m_bPrint;
  set({IDC_INV_DATAFILE, 1162, IDC_INV_BROWSE}, either);
  set({IDC_INV_WINDOWONLY}, m_bCreate);
  set({IDC_INV_PRINTER, 1163, IDC_INV_SETUP}, m_bPrint);
  set({IDOK}, either);
  set({IDC_INV_NEWPAGE, IDC_INV_NONBIDI, IDC_INV_HEADER, 1166}, m_bPrint);
}

void CPrtInvDlg::OnCheck() {
  UpdateData(TRUE);
  UpdateData(FALSE);
}

void CPrtInvDlg::OnBrowse() {
  const CString filter = loadedInventoryText(kBrowseFilter);
  CWFBrowse browse(TRUE, "dat", "*.dat", OFN_HIDEREADONLY, filter, kInventoryBrowseHelp, this);
  browse.SetTitle(loadedInventoryText(kBrowseTitle));
  if (browse.DoModal() != IDOK) return;
  UpdateData(TRUE);
  m_strDataFile = browse.GetPathName();
  if (CWFApp* app = WFGetWFApp()) app->SetPrtInvDataFile(m_strDataFile);
  m_printDlg.SetSuggestedFile(wf::inventory::SuggestedPdf(m_strDataFile.str()));
  UpdateData(FALSE);
}

void CPrtInvDlg::OnSetup() {
  UpdateData(TRUE);
  CPrintDialog& setup = m_printDlg;
  const DWORD flags = setup.m_pd.Flags;
  setup.m_pd.Flags = (flags | PD_PRINTSETUP) & ~(PD_RETURNDEFAULT | PD_RETURNDC);
  setup.SetSuggestedFile(wf::inventory::SuggestedPdf(m_strDataFile.str()));
  const int answer = static_cast<int>(setup.DoModal());
  setup.m_pd.Flags = flags;
  if (answer != IDOK) return;
  TakePrinterChoice();
  UpdateData(FALSE);
}

std::shared_ptr<wf::inventory::Run> CPrtInvDlg::NewRun() const {
  auto run = std::make_shared<wf::inventory::Run>();
  run->dataFile = m_strDataFile.str();
  run->print = m_bPrint;
  run->windowOnly = m_bWindowOnly;
  run->newPage = m_bNewPage;
  run->includeNonBidirectional = m_bIncludeNonBidi;
  run->header = m_strHeader.str();
  return run;
}

void CPrtInvDlg::OnOK() {
  if (!UpdateData(TRUE)) return;
  {
    CWaitCursor wait;
    CPrtInvStatusDlg status(this, NewRun());
    m_pStatus = &status;
    status.DoModal();
    m_pStatus = nullptr;
  }
  if (!m_pView) DestroyWindow();  // the owner closed during the run
}

void CPrtInvDlg::ViewClosing() {
  m_pView = nullptr;
  if (m_pStatus)
    m_pStatus->OnCancel();
  else
    DestroyWindow();
}

void CPrtInvDlg::OnExit() {
  DestroyWindow();
}

void CPrtInvDlg::OnCancel() {
  OnExit();
}

void CPrtInvDlg::PostNcDestroy() {
  // Whatever ended the dialog, Printer Inventory is offered again.
  if (CWFApp* app = WFGetWFApp()) app->SetPrinterInventoryActive(FALSE);
  if (m_pView && m_pView->PostMessage(WM_WF_INVENTORYDONE, 0, reinterpret_cast<LPARAM>(this))) return;
  delete this;
}

CString CPrtInvDlg::helpFile() const {
  CWFApp* app = WFGetWFApp();
  const std::string appPath = app ? app->GetHelpFilePath() : "";
  const std::size_t cut = appPath.find_last_of("\\/");
  const std::string dir = cut == std::string::npos ? std::string() : appPath.substr(0, cut + 1);
  return CString((dir + kInventoryHelpFile).c_str());
}

LRESULT CPrtInvDlg::OnHelp(WPARAM, LPARAM helpInfo) {
  const auto* info = reinterpret_cast<const HELPINFO*>(helpInfo);
  WinHelp(info ? info->hItemHandle : 0, helpFile(), HELP_WM_HELP, reinterpret_cast<std::uintptr_t>(kHelpIds));
  return TRUE;
}

LRESULT CPrtInvDlg::OnHelpContextMenu(WPARAM window, LPARAM) {
  WinHelp(static_cast<HWND>(window), helpFile(), HELP_CONTEXTMENU,
          reinterpret_cast<std::uintptr_t>(kHelpIds));
  return 0;
}

// ---- the status dialog ----

BEGIN_MESSAGE_MAP(CPrtInvStatusDlg, CDialog)
ON_MESSAGE(WM_WF_INVCREATE, OnCreateFile)
ON_MESSAGE(WM_WF_INVPRINT, OnPrint)
ON_MESSAGE(WM_WF_INVERROR, OnError)
ON_MESSAGE(WM_WF_INVSETRANGE, OnSetRange)
ON_MESSAGE(WM_WF_INVSTEP, OnStep)
ON_MESSAGE(WM_WF_PRIVATE_INVENDED, OnWorkerEnded)
END_MESSAGE_MAP()

CPrtInvStatusDlg::CPrtInvStatusDlg(CPrtInvDlg* inventory, std::shared_ptr<wf::inventory::Run> run)
    : CDialog(IDD_INVENTORY_STATUS, inventory), m_pInventory(inventory), m_run(std::move(run)) {}

BOOL CPrtInvStatusDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_run->status = GetSafeHwnd();
  wf::inventory::RegisterActive(m_run);
  PostMessage(m_pInventory->m_bCreate ? WM_WF_INVCREATE : WM_WF_INVPRINT);
  return TRUE;
}

void CPrtInvStatusDlg::setStatus(UINT textId) {
  m_strStatus = loadedInventoryText(textId);
  SetDlgItemText(IDC_INV_STATUS_TEXT, m_strStatus);
}

void CPrtInvStatusDlg::start(int (*work)(wf::inventory::Run&), const char* name) {
  m_run->cancel = false;
  m_run->running = true;
  // The worker keeps the block: one abandoned at shutdown still has it.
  m_worker = wf::Thread(name, [run = m_run, work](std::stop_token) {
    const int code = work(*run);
    const HWND status = run->status;
    run->running = false;
    ::PostMessage(status, WM_WF_PRIVATE_INVENDED, static_cast<WPARAM>(code),
                  work == &wf::inventory::PrintDataFile);
  });
}

LRESULT CPrtInvStatusDlg::OnCreateFile(WPARAM, LPARAM) {
  setStatus(kCreating);
  // Asked here, on the dialog's thread, before the worker starts.
  struct stat info;
  const bool exists = ::stat(m_run->dataFile.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
  if (exists && ::MessageBox(GetSafeHwnd(), loadedInventoryText(kExistsQuestion), loadedInventoryText(kExistsCaption),
                             MB_YESNO | MB_ICONQUESTION) != IDYES) {
    EndDialog(IDCANCEL);
    return 0;
  }
  CWFListView* view = m_pInventory->GetView();
  CWFApp* app = WFGetWFApp();
  CWFoidList* list = nullptr;
  if (m_run->windowOnly)
    list = view ? view->GetViewPrinterList() : nullptr;
  else if (app)
    list = app->GetPrinterList()->GetPrinterListEnumerated();
  m_run->entries = takeEntries(list);
  start(&wf::inventory::CreateDataFile, "inventory file");
  return 0;
}

LRESULT CPrtInvStatusDlg::OnPrint(WPARAM, LPARAM) {
  setStatus(kPrinting);
  m_run->header = m_pInventory->m_strHeader.str();
  m_run->newPage = m_pInventory->m_bNewPage;
  CPrintDialog& print = m_pInventory->PrintDialog();
  const DWORD flags = print.m_pd.Flags;
  print.m_pd.Flags = (flags | PD_PRINTSETUP | PD_RETURNDC) & ~PD_RETURNDEFAULT;
  print.SetSuggestedFile(wf::inventory::SuggestedPdf(m_run->dataFile));
  const int answer = static_cast<int>(print.DoModal());
  print.m_pd.Flags = flags;
  if (answer != IDOK) {
    EndDialog(IDCANCEL);
    return 0;
  }
  m_pInventory->TakePrinterChoice();
  m_pInventory->UpdateData(FALSE);
  m_run->copies = print.GetCopies();
  m_run->printer = print.GetPrinterDC();
  print.m_pd.hDC = nullptr;
  if (!m_run->printer) {
    OnError(kPrintError, kInternalError);
    return 0;
  }
  start(&wf::inventory::PrintDataFile, "inventory print");
  return 0;
}

void CPrtInvStatusDlg::joinWorker() {
  if (m_worker.joinable()) m_worker.joinFor(kEndedJoin);
}

LRESULT CPrtInvStatusDlg::OnWorkerEnded(WPARAM code, LPARAM printing) {
  joinWorker();
  const int result = static_cast<int>(code);
  if (m_run->cancel || result == wf::inventory::kCancelled) {
    EndDialog(IDCANCEL);
    return 0;
  }
  if (result == wf::inventory::kOk) {
    if (!printing && m_run->print)
      PostMessage(WM_WF_INVPRINT);
    else
      EndDialog(IDOK);
    return 0;
  }
  UINT text = kInternalError;
  if (printing) {
    if (result == wf::inventory::kDamaged) text = kDamaged;
    if (result == wf::inventory::kNoFile) text = kNoFile;
    if (result == wf::inventory::kIoError) text = kIoError;
  } else {
    if (result == wf::inventory::kNoPrinters) text = kNoPrinters;
    if (result == wf::inventory::kIoError || result == wf::inventory::kChecksumFailed) text = kIoError;
  }
  PostMessage(WM_WF_INVERROR, printing ? kPrintError : kCreateError, text);
  return 0;
}

LRESULT CPrtInvStatusDlg::OnError(WPARAM caption, LPARAM text) {
  ::MessageBox(GetSafeHwnd(), loadedInventoryText(static_cast<UINT>(text)), loadedInventoryText(static_cast<UINT>(caption)),
               MB_OK | MB_ICONEXCLAMATION);
  EndDialog(IDCANCEL);
  return 0;
}

LRESULT CPrtInvStatusDlg::OnSetRange(WPARAM steps, LPARAM) {
  if (auto* bar = static_cast<CProgressCtrl*>(GetDlgItem(IDC_INV_PROGRESS))) {
    bar->SetRange(1, static_cast<short>(std::min<WPARAM>(steps, 0x7FFF)));
    bar->SetStep(1);
  }
  return 0;
}

LRESULT CPrtInvStatusDlg::OnStep(WPARAM, LPARAM) {
  if (auto* bar = static_cast<CProgressCtrl*>(GetDlgItem(IDC_INV_PROGRESS)))
    bar->SetPos(static_cast<int>(m_run->progress.load()));
  return 0;
}

void CPrtInvStatusDlg::OnCancel() {
  m_run->cancel = true;
  // The dialog closes when the running worker reports its end.
  if (!m_run->running) EndDialog(IDCANCEL);
}
