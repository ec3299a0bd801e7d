// The printer window's menus: the Window menu and its commands, the bars,
// sorting, help, the enabling of the printer commands and the window's own
// context menu.
#include <algorithm>

#include "app/main_frame.h"
#include "app/wf_app.h"
#include "app/window_list.h"
#include "common/printer_list.h"
#include "framework/menu.h"
#include "framework/shell_calls.h"
#include "framework/shell_services.h"

namespace {

constexpr UINT kNewWindow = 32786;
constexpr UINT kFirstWindowEntry = 32807;
constexpr UINT kMoreWindows = 32816;
constexpr int kNumberedWindows = 9;
constexpr UINT kMoreWindowsText = 26;
constexpr UINT kOpenDialogs = 105;
constexpr UINT kProductTitle = 129;
constexpr UINT kToolbarCommand = 59392;
constexpr UINT kStatusBarCommand = 59393;

// The sort commands in column order.
constexpr UINT kSortCommands[WF_COLUMNS] = {32799, 32800, 32801, 32802, 32831, 32803, 32828, 32829, 32830};

int columnOfSortCommand(UINT id) {
  const auto* found = std::find(std::begin(kSortCommands), std::end(kSortCommands), id);
  return found == std::end(kSortCommands) ? -1 : static_cast<int>(found - std::begin(kSortCommands));
}

CWFWindowList* menusWindowList() {
  CWFApp* app = WFGetWFApp();
  return app ? app->GetWFWindowList() : nullptr;
}

}  // namespace

BOOL CMainFrame::OnCommand(WPARAM wParam, LPARAM lParam) {
  if (CFrameWnd::OnCommand(wParam, lParam)) return TRUE;
  const UINT id = LOWORD(wParam);
  if (lParam == 0 && id != 0 && m_pView) m_pView->OfferExtraCommand(id);
  return FALSE;
}

void CMainFrame::OnRButtonDown(UINT, CPoint) {
  // The view handles right clicks.
}

void CMainFrame::WindowContextMenu(int position, CPoint screen) {
  CMenu menu;
  if (!menu.LoadMenu(MAKEINTRESOURCE(130))) return;
  CMenu* popup = menu.GetSubMenu(position);
  if (!popup) return;
  if (position == 0 && m_pView) {
    static const UINT kModeCommands[] = {1100, 1103, 1101, 1102};  // by view mode 0-3
    popup->CheckMenuItem(kModeCommands[m_pView->GetViewMode() & 3], MF_BYCOMMAND | MF_CHECKED);
  }
  popup->TrackPopupMenu(TPM_LEFTALIGN | TPM_RIGHTBUTTON, screen.x, screen.y, this);
}

// ---- Help ----

void CMainFrame::OnHelpIndex() {
  if (CWFApp* app = WFGetWFApp()) app->WinHelp(0, HELP_INDEX);
}

void CMainFrame::OnHelpOnHelp() {
  if (CWFApp* app = WFGetWFApp()) app->WinHelp(0, HELP_HELPONHELP);
}

void CMainFrame::OnHelpFinder() {
  if (CWFApp* app = WFGetWFApp()) app->WinHelp(0, HELP_FINDER);
}

void CMainFrame::OnContextHelp() {
  EnterContextHelpMode();
}

// ---- The Window menu ----

void CMainFrame::OnActivateWindow(UINT id) {
  CWFWindowList* windows = menusWindowList();
  CMainFrame* window = windows ? windows->FindWindowA(static_cast<int>(id - kFirstWindowEntry)) : nullptr;
  if (!window) return;
  if (window->IsIconic()) window->PostMessage(WM_SYSCOMMAND, SC_RESTORE, WF_RESTORE_FROM_ICON);
  window->BringWindowToTop();
}

void CMainFrame::OnUpdateWindowMenu(CCmdUI*) {
  CMenu* bar = GetMenu();
  CMenu* popup = nullptr;
  const UINT count = bar ? bar->GetMenuItemCount() : 0;
  for (UINT i = 0; i < count && count != 0xFFFFFFFF && !popup; ++i) {
    CMenu* candidate = bar->GetSubMenu(static_cast<int>(i));
    if (candidate && candidate->GetMenuItemID(0) == kNewWindow) popup = candidate;
  }
  if (!popup) return;
  for (UINT id = kFirstWindowEntry; id <= kMoreWindows; ++id) popup->DeleteMenu(id, MF_BYCOMMAND);
  CWFWindowList* windows = menusWindowList();
  if (!windows) return;
  const std::vector<CMainFrame*> open = windows->Windows();
  for (int i = 0; i < std::min<int>(kNumberedWindows, static_cast<int>(open.size())); ++i) {
    CString text;
    text.Format("&%d. %s", i + 1, open[i]->GetTitle().str().c_str());
    popup->AppendMenu(MF_STRING, kFirstWindowEntry + i, text);
  }
  if (open.size() > kNumberedWindows) {
    CString more;
    more.LoadString(kMoreWindowsText);
    popup->AppendMenu(MF_STRING, kMoreWindows, more);
  }
}

void CMainFrame::OnCloseAll() {
  CWFWindowList* windows = menusWindowList();
  if (!windows) return;
  const std::vector<CMainFrame*> open = windows->Windows();
  std::vector<HWND> handles;
  for (CMainFrame* window : open) handles.push_back(window->GetSafeHwnd());
  // A dialog of the program is a top-level window owned by (or a child of) a printer window.
  for (HWND top : GetTopLevelWindows()) {
    const HWND owner = GetWindowOwner(top);
    const HWND holder = owner ? owner : GetWindowParent(top);
    if (holder && std::find(handles.begin(), handles.end(), holder) != handles.end()) {
      CString text;
      text.LoadString(kOpenDialogs);
      CString caption;
      caption.LoadString(kProductTitle);
      MessageBox(GetSafeHwnd(), text, caption, MB_OK);
      return;
    }
  }
  for (HWND window : handles) ::PostMessage(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void CMainFrame::OnMinimizeAll() {
  CWFWindowList* windows = menusWindowList();
  if (!windows) return;
  for (CMainFrame* window : windows->Windows()) {
    window->BringWindowToTop();
    window->PostMessage(WM_SYSCOMMAND, SC_MINIMIZE, WF_RESTORE_FROM_ICON);
  }
}

// ---- Bars and sorting ----

void CMainFrame::OnToggleBar(UINT id) {
  CControlBar* bar = id == kStatusBarCommand ? static_cast<CControlBar*>(&m_statusBar) : &m_toolBar;
  ShowControlBar(bar, !bar->IsWindowVisible(), FALSE);
  if (m_pView) m_pView->Reposition(TRUE);
}

void CMainFrame::OnSortBy(UINT id) {
  const int column = columnOfSortCommand(id);
  if (m_pView && column >= 0) m_pView->SetSortColumn(column, TRUE);
}

void CMainFrame::OnUpdateSortBy(CCmdUI* ui) {
  ui->SetRadio(m_pView && m_pView->GetSortColumn() == columnOfSortCommand(ui->m_nID));
}

// ---- Enabling ----

void CMainFrame::OnUpdateTransfer(CCmdUI* ui) {
  CWFWindowList* windows = menusWindowList();
  ui->Enable(windows && windows->GetCount() > 1 && m_pView && m_pView->GetSelectedCount() > 0);
}

void CMainFrame::OnUpdateDelete(CCmdUI* ui) {
  ui->Enable(m_pView && m_pView->GetSelectedCount() > 0);
}
