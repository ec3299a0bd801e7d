#include "app/shutdown_dlg.h"

#include <mutex>

#include "app/wf_app.h"
#include "framework/controls.h"
#include "framework/gdi.h"
#include "framework/menu.h"

namespace {

constexpr UINT kShutdownIconTimer = 103;
constexpr UINT kShutdownIconTick = 200;
constexpr UINT kShutdownFirstIcon = 104;
constexpr UINT kShutdownLastIcon = 109;
constexpr UINT kShutdownIconControl = 1138;

std::mutex historyLock;
std::vector<std::string> texts;
std::vector<UINT> icons;
std::vector<UINT> greyed;

}  // namespace

BEGIN_MESSAGE_MAP(CShutdownDlg, CDialog)
ON_WM_TIMER()
ON_WM_CLOSE()
END_MESSAGE_MAP()

std::vector<std::string> CShutdownDlg::shownTexts() {
  std::lock_guard lock(historyLock);
  return texts;
}

std::vector<UINT> CShutdownDlg::greyedSystemCommands() {
  std::lock_guard lock(historyLock);
  return greyed;
}

std::vector<UINT> CShutdownDlg::shownIcons() {
  std::lock_guard lock(historyLock);
  return icons;
}

void CShutdownDlg::noteText(const std::string& text) {
  std::lock_guard lock(historyLock);
  texts.push_back(text);
}

BOOL CShutdownDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  CenterWindow();
  {
    std::lock_guard lock(historyLock);
    texts.clear();
    icons.clear();
    greyed.clear();
  }
  // Shutdown ends the dialog; the user can neither close nor resize it.
  if (CMenu* menu = GetSystemMenu(FALSE)) {
    for (UINT command : {SC_CLOSE, SC_SIZE, SC_MAXIMIZE})
      menu->EnableMenuItem(command, MF_BYCOMMAND | MF_GRAYED);
    std::lock_guard lock(historyLock);
    for (UINT command : {SC_RESTORE, SC_MOVE, SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE, SC_CLOSE}) {
      if (menu->GetMenuState(command, MF_BYCOMMAND) & MF_GRAYED) greyed.push_back(command);
    }
  }
  m_icon = kShutdownFirstIcon;
  for (UINT n = kShutdownFirstIcon; n <= kShutdownLastIcon; ++n)
    m_icons[n - kShutdownFirstIcon] = LoadIcon(AfxGetResourceHandle(), n);
  SetTimer(kShutdownIconTimer, kShutdownIconTick);
  auto* pair = new std::pair<CShutdownDlg*, CWFApp*>(this, m_app);
  CWinThread* worker = AfxBeginThread(&CWFApp::ExitInstanceThreadFunc, pair);
  if (worker) {
    m_worker = worker->m_hThread;
  } else {
    delete pair;
    PostMessage(WM_CLOSE);
  }
  return TRUE;
}

void CShutdownDlg::OnTimer(UINT_PTR id) {
  if (id != kShutdownIconTimer) return;
  if (auto* picture = dynamic_cast<CStatic*>(GetDlgItem(kShutdownIconControl))) {
    picture->SetIcon(m_icons[m_icon - kShutdownFirstIcon]);
  }
  {
    std::lock_guard lock(historyLock);
    icons.push_back(m_icon);
  }
  m_icon = m_icon == kShutdownLastIcon ? kShutdownFirstIcon : m_icon + 1;
}

void CShutdownDlg::OnClose() {
  if (m_worker) WaitForThread(m_worker, INFINITE);
  KillTimer(kShutdownIconTimer);
  if (auto* picture = dynamic_cast<CStatic*>(GetDlgItem(kShutdownIconControl))) picture->SetIcon(nullptr);
  for (HICON& icon : m_icons) {
    if (icon) DestroyIcon(icon);
    icon = nullptr;
  }
  EndDialog(IDOK);
}
