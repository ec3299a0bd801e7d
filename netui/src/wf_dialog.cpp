#include "wf_dialog.h"

#include "framework/control_styles.h"
#include "framework/shell_calls.h"

namespace wf::netui {

CString networkHelpPath() {
  return CString(wf::fw::helpFileBesideApp(kNetworkHelpFile).c_str());
}

namespace {

void helpOnItem(LPARAM helpInfo, const DWORD* table) {
  const auto* info = reinterpret_cast<const HELPINFO*>(helpInfo);
  WinHelp(info ? info->hItemHandle : 0, networkHelpPath(), HELP_WM_HELP, reinterpret_cast<std::uintptr_t>(table));
}

void helpContextMenu(WPARAM window, const DWORD* table) {
  WinHelp(static_cast<HWND>(window), networkHelpPath(), HELP_CONTEXTMENU,
          reinterpret_cast<std::uintptr_t>(table));
}

CWnd* grandParent(const CWnd& wnd) {
  CWnd* parent = wnd.GetParent();
  return parent ? parent->GetParent() : nullptr;
}

}  // namespace

IMPLEMENT_DYNCREATE(CWFDialog, CDialog)

BEGIN_MESSAGE_MAP(CWFDialog, CDialog)
ON_MESSAGE(WM_HELP, OnHelp)
ON_MESSAGE(WM_CONTEXTMENU, OnHelpContextMenu)
END_MESSAGE_MAP()

CWFDialog::CWFDialog(int templateId, CWnd* parent) : CDialog(static_cast<UINT>(templateId), parent) {}

CWFDialog::~CWFDialog() = default;

void CWFDialog::UpdateDlg(int) {}

const DWORD* CWFDialog::GetHelpIDs() {
  return nullptr;
}

BOOL CWFDialog::OnInitDialog() {
  ModifyStyleEx(0, WS_EX_CONTEXTHELP);
  CDialog::OnInitDialog();
  return TRUE;
}

LRESULT CWFDialog::OnHelp(WPARAM, LPARAM helpInfo) {
  helpOnItem(helpInfo, GetHelpIDs());
  return 0;
}

LRESULT CWFDialog::OnHelpContextMenu(WPARAM window, LPARAM) {
  helpContextMenu(window, GetHelpIDs());
  return 0;
}

void CWFDialog::HelpButton(int controlId, int topic) {
  CWnd* control = GetDlgItem(controlId);
  WinHelp(control ? control->GetSafeHwnd() : 0, networkHelpPath(), HELP_CONTEXTPOPUP,
          static_cast<std::uintptr_t>(topic));
}

CWnd* CWFDialog::GetDlgWnd() {
  return grandParent(*this);
}

IMPLEMENT_DYNCREATE(CWFPropertyPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CWFPropertyPage, CPropertyPage)
ON_MESSAGE(WM_HELP, OnHelp)
ON_MESSAGE(WM_CONTEXTMENU, OnHelpContextMenu)
END_MESSAGE_MAP()

CWFPropertyPage::CWFPropertyPage(int templateId) : CPropertyPage(static_cast<UINT>(templateId)) {}

CWFPropertyPage::~CWFPropertyPage() = default;

void CWFPropertyPage::UpdateDlg(int) {}

const DWORD* CWFPropertyPage::GetHelpIDs() {
  return nullptr;
}

LRESULT CWFPropertyPage::OnHelp(WPARAM, LPARAM helpInfo) {
  helpOnItem(helpInfo, GetHelpIDs());
  return 0;
}

LRESULT CWFPropertyPage::OnHelpContextMenu(WPARAM window, LPARAM) {
  helpContextMenu(window, GetHelpIDs());
  return 0;
}

CWnd* CWFPropertyPage::GetDlgWnd() {
  return grandParent(*this);
}

}  // namespace wf::netui
