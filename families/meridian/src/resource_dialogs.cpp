// The copy, move, delete and format dialogs of the Meridian resource page.
// Each registers itself with the icon while it waits for the printer, and
// shows the result text the icon posts.
#include "common/notebook_messages.h"
#include "framework/controls.h"
#include "framework/ddx.h"
#include "framework/gdi.h"
#include "framework/global_memory.h"
#include "framework/shell_calls.h"
#include "meridian/meridian_icon.h"
#include "meridian/resource_page.h"

namespace {

constexpr UINT kFlashDevice = 2;
constexpr UINT kDiskDevice = 1;
constexpr UINT kDialogDiskName = 497;
constexpr UINT kDialogFlashName = 498;
constexpr UINT kCopyFirst = 40035;
constexpr UINT kMoveFirst = 40038;
constexpr UINT kRunning = 40041;
constexpr UINT kNoRoom = 40042;
constexpr UINT kDeleteFirst = 40043;
constexpr UINT kFormatBoth = 40046;
constexpr UINT kFormatOne = 40058;
constexpr UINT kFlashIcon = 1023;
constexpr UINT kDiskIcon = 1024;
constexpr int kMaxText = 260;

constexpr UINT kTemplates[] = {545, 546, 547};
constexpr UINT kFormatTemplate = 548;

const DWORD kCopyHelp[] = {1018, 1300, 1019, 1301, 1020, 1302, 1021, 1303, 0, 0};
const DWORD kMoveHelp[] = {1018, 1400, 1019, 1401, 1020, 1402, 1021, 1403, 0, 0};
const DWORD kDeleteHelp[] = {1018, 1500, 1019, 1501, 1020, 1502, 1021, 1503, 0, 0};
const DWORD kFormatHelp[] = {1020, 1600, 1021, 1601, 0, 0};

void enableDialogItem(CWnd* dialog, int id, BOOL on) {
  if (CWnd* control = dialog->GetDlgItem(id)) control->EnableWindow(on);
}

}  // namespace

// ---- Shared ----

BEGIN_MESSAGE_MAP(CMerOResDlg, CDialog)
ON_MESSAGE(WM_WF_RESOPRESULT, OnResOpResult)
ON_MESSAGE(WM_HELP, OnHelp)
ON_MESSAGE(WM_CONTEXTMENU, OnHelpContextMenu)
END_MESSAGE_MAP()

CMerOResDlg::CMerOResDlg(UINT templateId, CMerOResourceMgmt* page)
    : CDialog(templateId, page), m_pPage(page) {}

CMerOResDlg::~CMerOResDlg() {
  for (HICON icon : m_icons)
    if (icon) DestroyIcon(icon);
}

CWFMeridianIcon* CMerOResDlg::Icon() const {
  return m_pPage ? m_pPage->GetMeridianIcon() : nullptr;
}

void CMerOResDlg::ShowDevice(UINT device) {
  const int slot = device == kFlashDevice ? 0 : 1;
  if (!m_icons[slot]) {
    CWFMeridianIcon* icon = Icon();
    m_icons[slot] =
        LoadIcon(icon ? icon->GetResourceInstance(0) : nullptr, slot == 0 ? kFlashIcon : kDiskIcon);
  }
  if (auto* picture = dynamic_cast<CStatic*>(GetDlgItem(1022))) picture->SetIcon(m_icons[slot]);
}

void CMerOResDlg::ShowRunning() {
  if (CWFMeridianIcon* icon = Icon()) m_status = icon->familyString(kRunning);
  enableDialogItem(this, IDOK, FALSE);
  if (CWnd* cancel = GetDlgItem(IDCANCEL)) GotoDlgCtrl(cancel);
  UpdateData(FALSE);
  Register(GetSafeHwnd());
}

void CMerOResDlg::OnOK() {
  if (!m_bFinished) {
    Start();
    return;
  }
  if (m_pPage) m_pPage->OnResRefresh();
  EndDialog(IDOK);
  m_bFinished = FALSE;
}

void CMerOResDlg::OnCancel() {
  Register(0);
  if (m_pPage && m_pPage->GetSafeHwnd()) enableDialogItem(m_pPage, 1049, TRUE);
  EndDialog(IDCANCEL);
}

LRESULT CMerOResDlg::OnResOpResult(WPARAM, LPARAM text) {
  auto block = reinterpret_cast<HGLOBAL>(text);
  Register(0);
  if (const auto* chars = block ? static_cast<const char*>(GlobalLock(block)) : nullptr) {
    m_status = CString(chars, static_cast<int>(strnlen(chars, GlobalSize(block))));
    GlobalUnlock(block);
  }
  enableDialogItem(this, IDCANCEL, FALSE);
  enableDialogItem(this, IDOK, TRUE);
  if (CWnd* ok = GetDlgItem(IDOK)) GotoDlgCtrl(ok);
  UpdateData(FALSE);
  m_bFinished = TRUE;
  if (block) GlobalFree(block);
  return 0;
}

LRESULT CMerOResDlg::OnHelp(WPARAM, LPARAM helpInfo) {
  const auto* info = reinterpret_cast<const HELPINFO*>(helpInfo);
  WinHelp(info ? info->hItemHandle : 0, m_pPage ? m_pPage->HelpFilePath() : CString("WRENFLD.HLP"),
          HELP_WM_HELP, reinterpret_cast<std::uintptr_t>(HelpIDs()));
  return 0;
}

LRESULT CMerOResDlg::OnHelpContextMenu(WPARAM window, LPARAM) {
  WinHelp(static_cast<HWND>(window), m_pPage ? m_pPage->HelpFilePath() : CString("WRENFLD.HLP"),
          HELP_CONTEXTMENU, reinterpret_cast<std::uintptr_t>(HelpIDs()));
  return 0;
}

// ---- Copy, move, delete ----

CMerOResFileDlg::CMerOResFileDlg(Operation operation, CMerOResourceMgmt* page)
    : CMerOResDlg(kTemplates[operation], page), m_operation(operation) {}

void CMerOResFileDlg::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_Text(dx, 1018, m_description);
  DDV_MaxChars(dx, m_description, kMaxText);
  DDX_Text(dx, 1019, m_deviceText);
  DDV_MaxChars(dx, m_deviceText, kMaxText);
  DDX_Radio(dx, 1020, m_choice);
  DDX_Text(dx, 1027, m_status);
  DDV_MaxChars(dx, m_status, kMaxText);
}

BOOL CMerOResFileDlg::OnInitDialog() {
  CWFMeridianIcon* icon = Icon();
  CWFResMgmtItem* item = m_pPage && m_pPage->GetList() ? m_pPage->GetList()->GetSelectedItem() : nullptr;
  if (!icon || !item) {
    // Nothing selected: nothing to act on.
    EndDialog(IDCANCEL);
    return FALSE;
  }
  const UINT first[] = {kCopyFirst, kMoveFirst, kDeleteFirst};
  m_status = icon->familyString(first[m_operation]);
  m_description = item->GetDescription();
  m_fileName = item->GetName();
  m_size = item->GetSizeD();
  const bool onFlash = item->GetResourceID() == kFlashDevice;
  m_source = onFlash ? kFlashDevice : kDiskDevice;
  m_deviceText = icon->familyString(onFlash ? kDialogFlashName : kDialogDiskName);
  m_destination = onFlash ? kDiskDevice : kFlashDevice;
  // Copy and move choose the other device; delete shows the file's own.
  const UINT shown = m_operation == kDelete ? m_source : m_destination;
  m_choice = shown == kFlashDevice ? 0 : 1;
  CDialog::OnInitDialog();
  enableDialogItem(this, 1020, m_choice == 0);
  enableDialogItem(this, 1021, m_choice == 1);
  ShowDevice(shown);
  if (CWnd* ok = GetDlgItem(IDOK)) GotoDlgCtrl(ok);
  return FALSE;
}

void CMerOResFileDlg::Register(HWND window) {
  CWFMeridianIcon* icon = Icon();
  if (!icon) return;
  if (m_operation == kCopy)
    icon->SetRMCopyWindow(window);
  else if (m_operation == kMove)
    icon->SetRMMoveWindow(window);
  else
    icon->SetRMDelWindow(window);
}

void CMerOResFileDlg::Start() {
  CWFMeridianIcon* icon = Icon();
  if (!icon) return;
  if (m_operation != kDelete) {
    const unsigned long room =
        m_destination == kFlashDevice ? icon->GetFlashRemaining() : icon->GetHDRemaining();
    if (!(m_size < room)) {
      m_bFinished = TRUE;
      m_status = icon->familyString(kNoRoom);
      UpdateData(FALSE);
      return;
    }
  }
  ShowRunning();
  if (m_operation == kDelete)
    icon->DeleteResource(m_description, m_fileName, m_source);
  else
    icon->CopyResource(m_description, m_fileName, m_source, m_destination, m_operation == kMove);
}

const DWORD* CMerOResFileDlg::HelpIDs() const {
  return m_operation == kCopy ? kCopyHelp : m_operation == kMove ? kMoveHelp : kDeleteHelp;
}

// ---- Format ----

BEGIN_MESSAGE_MAP(CMerOResFormatDlg, CMerOResDlg)
ON_BN_CLICKED(1020, OnFlash)
ON_BN_CLICKED(1021, OnDisk)
END_MESSAGE_MAP()

CMerOResFormatDlg::CMerOResFormatDlg(CMerOResourceMgmt* page) : CMerOResDlg(kFormatTemplate, page) {}

void CMerOResFormatDlg::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_Radio(dx, 1020, m_choice);
  DDX_Text(dx, 1027, m_status);
  DDV_MaxChars(dx, m_status, kMaxText);
}

BOOL CMerOResFormatDlg::OnInitDialog() {
  CWFMeridianIcon* icon = Icon();
  if (!icon) {
    EndDialog(IDCANCEL);
    return FALSE;
  }
  const BOOL flash = icon->GetFlashSize() != 0;
  const BOOL disk = icon->GetHDSize() != 0;
  m_status = icon->familyString(flash && disk ? kFormatBoth : kFormatOne);
  m_target = flash ? kFlashDevice : kDiskDevice;
  m_choice = flash ? 0 : 1;
  CDialog::OnInitDialog();
  enableDialogItem(this, 1020, flash);
  enableDialogItem(this, 1021, disk);
  ShowDevice(m_target);
  if (CWnd* ok = GetDlgItem(IDOK)) GotoDlgCtrl(ok);
  return FALSE;
}

void CMerOResFormatDlg::OnFlash() {
  m_target = kFlashDevice;
  m_choice = 0;
  ShowDevice(m_target);
}

void CMerOResFormatDlg::OnDisk() {
  m_target = kDiskDevice;
  m_choice = 1;
  ShowDevice(m_target);
}

void CMerOResFormatDlg::Register(HWND window) {
  if (CWFMeridianIcon* icon = Icon()) icon->SetRMFmtWindow(window);
}

void CMerOResFormatDlg::Start() {
  CWFMeridianIcon* icon = Icon();
  if (!icon) return;
  enableDialogItem(this, 1020, FALSE);
  enableDialogItem(this, 1021, FALSE);
  ShowRunning();
  icon->FormatResource(m_target);
}

const DWORD* CMerOResFormatDlg::HelpIDs() const {
  return kFormatHelp;
}
