#include "prtgui/wf_property_page.h"

#include <new>

#include "framework/shell_calls.h"

namespace {
constexpr const char* kDefaultHelpFile = "WRENFLD.HLP";
}

IMPLEMENT_DYNCREATE(CWFPropertyPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CWFPropertyPage, CPropertyPage)
ON_MESSAGE(WM_HELP, OnHelp)
ON_MESSAGE(WM_CONTEXTMENU, OnHelpContextMenu)
END_MESSAGE_MAP()

CWFPropertyPage::CWFPropertyPage(int templateId, CString helpFile)
    : CPropertyPage(static_cast<UINT>(templateId)), m_strHelpFile(std::move(helpFile)) {}

CWFPropertyPage::CWFPropertyPage() : CWFPropertyPage(0, kDefaultHelpFile) {}

void CWFPropertyPage::Construct(void* place) {
  new (place) CWFPropertyPage(0, kDefaultHelpFile);
}

void CWFPropertyPage::UpdateDlg(int) {}

const DWORD* CWFPropertyPage::GetHelpIDs() {
  return nullptr;
}

CString CWFPropertyPage::HelpFilePath() const {
  return CString(wf::fw::helpFileBesideApp(m_strHelpFile.str()).c_str());
}

LRESULT CWFPropertyPage::OnHelp(WPARAM, LPARAM helpInfo) {
  const auto* info = reinterpret_cast<const HELPINFO*>(helpInfo);
  WinHelp(info ? info->hItemHandle : 0, HelpFilePath(), HELP_WM_HELP,
          reinterpret_cast<std::uintptr_t>(GetHelpIDs()));
  return 0;
}

LRESULT CWFPropertyPage::OnHelpContextMenu(WPARAM window, LPARAM) {
  WinHelp(static_cast<HWND>(window), HelpFilePath(), HELP_CONTEXTMENU,
          reinterpret_cast<std::uintptr_t>(GetHelpIDs()));
  return 0;
}

CWnd* CWFPropertyPage::GetDlgWnd() {
  CWnd* parent = GetParent();
  return parent ? parent->GetParent() : nullptr;
}
