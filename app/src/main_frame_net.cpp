// The printer window's network settings commands and its About box.
#include "app/about_dlg.h"
#include "app/main_frame.h"
#include "app/wf_app.h"
#include "framework/menu.h"
#include "platform/module.h"
#include "prtgui/net_ui.h"

namespace {

constexpr UINT kProperties = 32771;
constexpr UINT kNetWareItem = 32820;
constexpr UINT kLastNetItem = 32824;

// Menu order: TCP/IP, NetWare, CorLink, peer-to-peer, IPX.
struct NetEntry {
  UINT id;
  UINT bit;
};
constexpr NetEntry kNetEntries[] = {{32821, 0x2}, {32820, 0x1}, {32822, 0x8}, {32823, 0x10}, {32824, 0x4}};

UINT bitOfCommand(UINT id) {
  switch (id) {
    case 32820:
      return 0x1;
    case 32821:
      return 0x2;
    case 32822:
      return 0x8;
    case 32824:
      return 0x4;
    default:
      return 0x10;
  }
}

NetUIQuerySettingsFn querySettings(CWFApp* app) {
  HINSTANCE library = app ? app->GetNetSetDLL() : nullptr;
  return library ? wf::moduleEntryAs<NetUIQuerySettingsFn>(library, kNetUIQuerySettings) : nullptr;
}

}  // namespace

CMenu* CMainFrame::configurePopup() const {
  CMenu* bar = GetMenu();
  if (!bar) return nullptr;
  const UINT count = bar->GetMenuItemCount();
  for (UINT i = 0; i < count && count != 0xFFFFFFFF; ++i) {
    CMenu* popup = bar->GetSubMenu(static_cast<int>(i));
    if (popup && popup->GetMenuItemID(0) == kProperties) return popup;
  }
  return nullptr;
}

void CMainFrame::OnUpdateNetSettingsMenu(CCmdUI*) {
  CMenu* popup = configurePopup();
  if (!popup) return;
  popup->DeleteMenu(1, MF_BYPOSITION);
  for (UINT id = kNetWareItem; id <= kLastNetItem; ++id) popup->DeleteMenu(id, MF_BYCOMMAND);
  CWFApp* app = WFGetWFApp();
  if (!app || !app->GetNetSetDLL() || app->GetNetsAvailable() == 0) return;
  const UINT greyed = enumerating() ? MF_GRAYED : MF_ENABLED;
  NetUIQuerySettingsFn query = querySettings(app);
  if (!query) return;
  bool first = true;
  for (const NetEntry& entry : kNetEntries) {
    if (!(app->GetNetsAvailable() & entry.bit)) continue;
    NetUIFactoryProc factory = nullptr;
    CString title;
    if (!query(entry.bit, &factory, &title)) continue;
    if (first) popup->AppendMenu(MF_SEPARATOR);
    first = false;
    popup->AppendMenu(MF_STRING | greyed, entry.id, title);
  }
}

void CMainFrame::OnUpdateNetSetting(CCmdUI* ui) {
  ui->Enable(!enumerating());
}

void CMainFrame::OnNetSetting(UINT id) {
  CWFApp* app = WFGetWFApp();
  NetUIQuerySettingsFn query = querySettings(app);
  if (!query) return;
  NetUIFactoryProc factory = nullptr;
  CString title;
  if (!query(bitOfCommand(id), &factory, &title) || !factory) return;
  CObject* made = factory(app->GetAppID(), static_cast<CWnd*>(this));
  if (made && made->IsKindOf(RUNTIME_CLASS(CDialog))) static_cast<CDialog*>(made)->DoModal();
  delete made;
  if (m_pView) m_pView->SetFocus();
}

void CMainFrame::OnAppAbout() {
  CAboutDlg about(this);
  about.DoModal();
  if (m_pView) m_pView->SetFocus();
}
