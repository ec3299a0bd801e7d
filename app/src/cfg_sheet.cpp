// The settings sheet and its simple pages: Options, Confirmations, Status
// Notification and Driver Update.
#include "app/cfg_sheet.h"

#include "app/wf_app.h"
#include "app/window_list.h"
#include "broker/corbce.h"
#include "common/browse.h"
#include "common/printer_icon.h"
#include "framework/controls.h"
#include "framework/ddx.h"
#include "framework/shell_calls.h"

namespace {

constexpr UINT kCaption = 9;
constexpr const char* kMainHelp = "WRENFLD.HLP";
constexpr const char* kInventoryHelp = "PRT_INV.HLP";
constexpr UINT kDriverTitle = 1247;
constexpr UINT kDriverFilter = 1248;
constexpr UINT kRunFailedCaption = 1249;
constexpr UINT kRunFailedText = 1250;
constexpr UINT kRunArguments = 1251;
constexpr int kBrowseHelp = 302;
constexpr int kPages = 6;

CCfgPs* openSheet = nullptr;

CString loaded(UINT id) {
  CString text;
  text.LoadString(id);
  return text;
}

// Every icon of every window goes back to the printer's own name.
BOOL restoreName(CWFPrinterIcon* icon, void*) {
  icon->SetName(nullptr);
  icon->SetUserDefinedName(FALSE);
  if (CWFApp* app = WFGetWFApp())
    if (WFWindowListServices* windows = app->GetWindowList())
      windows->UpdatePrinterViews(icon->GetPrinterHandle(), nullptr);
  return 0;
}

}  // namespace

void CWFCfgPage::OnChanged() {
  UpdateData(TRUE);
  SetModified(TRUE);
}

// ---- Options ----

BEGIN_MESSAGE_MAP(COptionsPage, CWFPropertyPage)
ON_BN_CLICKED(IDC_CFG_ENUMALL, OnChanged)
ON_BN_CLICKED(IDC_CFG_GHOSTS, OnChanged)
ON_BN_CLICKED(IDC_CFG_BIDITRACE, OnChanged)
ON_BN_CLICKED(IDC_CFG_RESTORE, OnRestore)
END_MESSAGE_MAP()

COptionsPage::COptionsPage() : CWFCfgPage(IDD_CFG_OPTIONS, kMainHelp) {
  CWFApp* app = WFGetWFApp();
  m_bEnumAll = m_bEnumAllWas = app && app->GetStartupEnumAll();
  m_bGhosts = m_bGhostsWas = app && app->GetUseGhosts();
  m_bBidiTrace = m_bBidiTraceWas = app && app->GetBidiTrace();
}

void COptionsPage::DoDataExchange(CDataExchange* dx) {
  CWFPropertyPage::DoDataExchange(dx);
  DDX_Check(dx, IDC_CFG_ENUMALL, m_bEnumAll);
  DDX_Check(dx, IDC_CFG_GHOSTS, m_bGhosts);
  DDX_Check(dx, IDC_CFG_BIDITRACE, m_bBidiTrace);
}

const DWORD* COptionsPage::GetHelpIDs() {
  static const DWORD ids[] = {1085, 500,  1136, 503,  1135,         504,  1087,   502,  1090, 502,
                              1141, 9000, 1142, 9000, ID_APPLY_NOW, 9001, IDHELP, 9002, 0,    0};
  return ids;
}

void COptionsPage::Apply() {
  CWFApp* app = WFGetWFApp();
  if (!app) return;
  app->SetStartupEnumAll(m_bEnumAll);
  app->SetUseGhosts(m_bGhosts);
  if ((m_bBidiTrace != 0) == (app->GetBidiTrace() != 0)) return;
  app->SetBidiTrace(m_bBidiTrace);
  if (m_bBidiTrace)
    BceStartTrace(nullptr, 0);
  else
    BceStopTrace();
}

void COptionsPage::Remember() {
  m_bEnumAllWas = m_bEnumAll;
  m_bGhostsWas = m_bGhosts;
  m_bBidiTraceWas = m_bBidiTrace;
}

void COptionsPage::Revert() {
  m_bEnumAll = m_bEnumAllWas;
  m_bGhosts = m_bGhostsWas;
  m_bBidiTrace = m_bBidiTraceWas;
  Apply();
}

void COptionsPage::OnRestore() {
  if (CWFApp* app = WFGetWFApp()) app->TraverseOnThread(&restoreName, nullptr);
}

// ---- Confirmations ----

BEGIN_MESSAGE_MAP(CConfirmPage, CWFPropertyPage)
ON_BN_CLICKED(IDC_CFG_MOVECONF, OnChanged)
ON_BN_CLICKED(IDC_CFG_COPYCONF, OnChanged)
ON_BN_CLICKED(IDC_CFG_DELETECONF, OnChanged)
END_MESSAGE_MAP()

CConfirmPage::CConfirmPage() : CWFCfgPage(IDD_CFG_CONFIRM, kMainHelp) {
  CWFApp* app = WFGetWFApp();
  m_bMove = m_bMoveWas = app && app->GetMoveConf();
  m_bCopy = m_bCopyWas = app && app->GetCopyConf();
  m_bDelete = m_bDeleteWas = app && app->GetDeleteConf();
}

void CConfirmPage::DoDataExchange(CDataExchange* dx) {
  CWFPropertyPage::DoDataExchange(dx);
  DDX_Check(dx, IDC_CFG_MOVECONF, m_bMove);
  DDX_Check(dx, IDC_CFG_COPYCONF, m_bCopy);
  DDX_Check(dx, IDC_CFG_DELETECONF, m_bDelete);
}

const DWORD* CConfirmPage::GetHelpIDs() {
  static const DWORD ids[] = {1007, 200,          1008, 201,    1009, 202, 1139,
                              9000, ID_APPLY_NOW, 9001, IDHELP, 9002, 0,   0};
  return ids;
}

void CConfirmPage::Apply() {
  CWFApp* app = WFGetWFApp();
  if (!app) return;
  app->SetMoveConf(m_bMove);
  app->SetCopyConf(m_bCopy);
  app->SetDeleteConf(m_bDelete);
}

void CConfirmPage::Remember() {
  m_bMoveWas = m_bMove;
  m_bCopyWas = m_bCopy;
  m_bDeleteWas = m_bDelete;
}

void CConfirmPage::Revert() {
  m_bMove = m_bMoveWas;
  m_bCopy = m_bCopyWas;
  m_bDelete = m_bDeleteWas;
  Apply();
}

// ---- Status Notification ----

BEGIN_MESSAGE_MAP(CStatusNotifyPage, CWFPropertyPage)
ON_BN_CLICKED(IDC_CFG_TOPMOST, OnChanged)
ON_BN_CLICKED(IDC_CFG_FOCUS, OnChanged)
ON_BN_CLICKED(IDC_CFG_FLASH, OnChanged)
ON_BN_CLICKED(IDC_CFG_MINSOUNDS, OnChanged)
END_MESSAGE_MAP()

CStatusNotifyPage::CStatusNotifyPage() : CWFCfgPage(IDD_CFG_STATUS, kMainHelp) {
  CWFApp* app = WFGetWFApp();
  m_bTopmost = m_bTopmostWas = app && app->GetWFTopmost();
  m_bFocus = m_bFocusWas = app && app->GetFocusOnAlert();
  m_bFlash = m_bFlashWas = app && app->GetFlashIcon();
  m_bMinSounds = m_bMinSoundsWas = app && app->GetMinSounds();
}

void CStatusNotifyPage::DoDataExchange(CDataExchange* dx) {
  CWFPropertyPage::DoDataExchange(dx);
  DDX_Check(dx, IDC_CFG_TOPMOST, m_bTopmost);
  DDX_Check(dx, IDC_CFG_FOCUS, m_bFocus);
  DDX_Check(dx, IDC_CFG_FLASH, m_bFlash);
  DDX_Check(dx, IDC_CFG_MINSOUNDS, m_bMinSounds);
}

const DWORD* CStatusNotifyPage::GetHelpIDs() {
  static const DWORD ids[] = {844,  900,  841,          901,  843,    902,  842, 903,
                              1140, 9000, ID_APPLY_NOW, 9001, IDHELP, 9002, 0,   0};
  return ids;
}

void CStatusNotifyPage::Apply() {
  CWFApp* app = WFGetWFApp();
  if (!app) return;
  app->SetWFTopmost(m_bTopmost);
  app->SetFlashIcon(m_bFlash);
  app->SetFocusOnAlert(m_bFocus);
  app->SetMinSounds(m_bMinSounds);
}

void CStatusNotifyPage::Remember() {
  m_bTopmostWas = m_bTopmost;
  m_bFocusWas = m_bFocus;
  m_bFlashWas = m_bFlash;
  m_bMinSoundsWas = m_bMinSounds;
}

void CStatusNotifyPage::Revert() {
  m_bTopmost = m_bTopmostWas;
  m_bFocus = m_bFocusWas;
  m_bFlash = m_bFlashWas;
  m_bMinSounds = m_bMinSoundsWas;
  Apply();
}

// ---- Driver Update ----

BEGIN_MESSAGE_MAP(CDriverUpdatePage, CWFPropertyPage)
ON_BN_CLICKED(IDC_DU_AUTO, OnChanged)
ON_BN_CLICKED(IDC_DU_BROWSE, OnBrowse)
ON_BN_CLICKED(IDC_DU_RESET, OnReset)
ON_BN_CLICKED(IDC_DU_START, OnStart)
END_MESSAGE_MAP()

CDriverUpdatePage::CDriverUpdatePage() : CWFCfgPage(IDD_CFG_DRIVER, kInventoryHelp) {
  CWFApp* app = WFGetWFApp();
  if (!app) return;
  m_bAuto = m_bAutoWas = app->GetDriverUpdateAuto();
  m_strPath = m_strPathWas = app->GetDriverUpdatePath();
  if (m_strPath.IsEmpty()) {
    const CString server = app->GetInstallServerDirectory();
    if (!server.IsEmpty()) m_strPath = m_strPathWas = server + "\\CINSTALL.EXE";
  }
}

void CDriverUpdatePage::DoDataExchange(CDataExchange* dx) {
  CWFPropertyPage::DoDataExchange(dx);
  if (!dx->m_bSaveAndValidate) {
    const BOOL havePath = !m_strPath.IsEmpty();
    if (CWnd* control = GetDlgItem(IDC_DU_AUTO)) control->EnableWindow(havePath);
    if (CWnd* control = GetDlgItem(IDC_DU_START)) control->EnableWindow(havePath);
  }
  DDX_Check(dx, IDC_DU_AUTO, m_bAuto);
  DDX_Text(dx, IDC_DU_PATH, m_strPath);
}

const DWORD* CDriverUpdatePage::GetHelpIDs() {
  static const DWORD ids[] = {1247, 2331, 1248,         2332, 1249,   2333, 1250, 2334,
                              1251, 2335, ID_APPLY_NOW, 9001, IDHELP, 9002, 0,    0};
  return ids;
}

void CDriverUpdatePage::OnBrowse() {
  const CString filter = loaded(kDriverFilter);
  CWFBrowse browse(TRUE, "exe", "*.exe", OFN_HIDEREADONLY, filter, kBrowseHelp, this);
  browse.SetTitle(loaded(kDriverTitle));
  if (browse.DoModal() == IDOK) m_strPath = browse.GetPathName();
  UpdateData(FALSE);
}

void CDriverUpdatePage::OnReset() {
  m_strPath = m_strPathWas;
  UpdateData(FALSE);
}

void CDriverUpdatePage::OnStart() {
  CWFApp* app = WFGetWFApp();
  if (!app) return;
  UpdateData(TRUE);
  app->FreeToolKitDLL();
  app->RunExecutable(m_strPath, kRunArguments, kRunFailedCaption, kRunFailedText, this);
}

void CDriverUpdatePage::Apply() {
  CWFApp* app = WFGetWFApp();
  if (!app) return;
  app->SetDriverUpdateAuto(m_bAuto);
  app->SetDriverUpdatePath(m_strPath);
}

void CDriverUpdatePage::Remember() {
  m_bAutoWas = m_bAuto;
  m_strPathWas = m_strPath;
}

void CDriverUpdatePage::Revert() {
  m_bAuto = m_bAutoWas;
  m_strPath = m_strPathWas;
  Apply();
}

// ---- the sheet ----

BEGIN_MESSAGE_MAP(CCfgPs, CPropertySheet)
ON_COMMAND(ID_APPLY_NOW, OnApplyNow)
ON_COMMAND(IDOK, OnOK)
ON_COMMAND(IDCANCEL, OnCancel)
ON_MESSAGE(WM_HELP, OnHelp)
ON_MESSAGE(WM_CONTEXTMENU, OnHelpContextMenu)
END_MESSAGE_MAP()

CCfgPs::CCfgPs(CWnd* parent, UINT startPage)
    : CPropertySheet(kCaption, parent, startPage < static_cast<UINT>(kPages) ? startPage : 0) {
  // Tab order.
  AddPage(&m_optionsPage);
  AddPage(&m_confirmPage);
  AddPage(&m_statusPage);
  AddPage(&m_soundPage);
  AddPage(&m_jobStatsPage);
  AddPage(&m_driverPage);
}

CCfgPs::~CCfgPs() {
  if (openSheet == this) openSheet = nullptr;
  // The pages are members: they leave the sheet before they go.
  if (GetSafeHwnd()) DestroyWindow();
  while (GetPageCount() > 0) RemovePage(0);
}

CCfgPs* CCfgPs::Open() {
  return openSheet;
}

void CCfgPs::Show(CWnd* parent, int startPage) {
  if (startPage < 0 || startPage >= kPages) startPage = 0;
  if (CCfgPs* sheet = openSheet) {
    sheet->SetActivePage(startPage);
    if (sheet->GetSafeHwnd()) sheet->BringWindowToTop();
    return;
  }
  auto sheet = std::make_unique<CCfgPs>(parent, static_cast<UINT>(startPage));
  openSheet = sheet.get();
  sheet->DoModal();
}

std::array<CWFCfgPage*, 6> CCfgPs::membersInOrder() {
  return {&m_statusPage, &m_soundPage, &m_confirmPage, &m_jobStatsPage, &m_optionsPage, &m_driverPage};
}

void CCfgPs::OnApplyNow() {
  if (!leaveActivePage()) return;
  for (CWFCfgPage* page : membersInOrder())
    if (page->GetSafeHwnd()) page->Apply();
  for (CWFCfgPage* page : membersInOrder())
    if (page->GetSafeHwnd()) page->Remember();
  for (CWFCfgPage* page : membersInOrder()) page->SetModified(FALSE);
}

void CCfgPs::OnOK() {
  if (!leaveActivePage()) return;
  for (CWFCfgPage* page : membersInOrder())
    if (page->GetSafeHwnd()) page->Apply();
  EndDialog(IDOK);
}

void CCfgPs::OnCancel() {
  for (CWFCfgPage* page : membersInOrder())
    if (page->GetSafeHwnd()) page->Revert();
  EndDialog(IDCANCEL);
}

LRESULT CCfgPs::OnHelp(WPARAM wParam, LPARAM lParam) {
  CPropertyPage* page = GetActivePage();
  return page && page->GetSafeHwnd() ? page->SendMessage(WM_HELP, wParam, lParam) : 0;
}

LRESULT CCfgPs::OnHelpContextMenu(WPARAM wParam, LPARAM lParam) {
  CPropertyPage* page = GetActivePage();
  return page && page->GetSafeHwnd() ? page->SendMessage(WM_CONTEXTMENU, wParam, lParam) : 0;
}
