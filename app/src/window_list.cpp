#include "app/window_list.h"

#include <strings.h>
#include <algorithm>
#include <cstring>

#include "app/main_frame.h"
#include "app/wf_app.h"
#include "platform/window_messages.h"

CWFWindowList::CWFWindowList() : m_guiThread(std::this_thread::get_id()) {}

bool CWFWindowList::TitleBefore(const CString& a, const CString& b) {
  return std::strcmp(a, b) < 0;
}

std::vector<CWFWindowList::Entry> CWFWindowList::entries() const {
  std::lock_guard lock(m_lock);
  return m_entries;
}

std::vector<CMainFrame*> CWFWindowList::Windows() const {
  std::vector<CMainFrame*> windows;
  for (const auto& entry : entries()) windows.push_back(entry.window);
  return windows;
}

int CWFWindowList::indexOf(CMainFrame* window) const {
  for (size_t i = 0; i < m_entries.size(); ++i) {
    if (m_entries[i].window == window) return static_cast<int>(i);
  }
  return -1;
}

int CWFWindowList::GetNewWindowPos(const CString& title) const {
  std::lock_guard lock(m_lock);
  for (size_t i = 0; i < m_entries.size(); ++i) {
    if (!TitleBefore(m_entries[i].title, title)) return static_cast<int>(i);
  }
  return -1;
}

BOOL CWFWindowList::Add(CMainFrame* window) {
  if (!window) return FALSE;
  const CString title = window->GetTitle();
  const int at = GetNewWindowPos(title);
  std::lock_guard lock(m_lock);
  CWFListView* view = window->GetView();
  Entry entry{window, window->GetSafeHwnd(), view ? view->GetSafeHwnd() : 0, title, window->GetName()};
  if (at < 0) {
    m_entries.push_back(entry);
  } else {
    m_entries.insert(m_entries.begin() + at, entry);
  }
  return TRUE;
}

BOOL CWFWindowList::Remove(CMainFrame* window, REMOVEFLAG flag) {
  if (!window) return FALSE;
  if (CWFApp* app = WFGetWFApp()) app->RemoveFromFlashList(window);
  {
    std::lock_guard lock(m_lock);
    const int index = indexOf(window);
    if (index < 0) return FALSE;
    m_entries.erase(m_entries.begin() + index);
  }
  if (flag == REMOVE_AND_DESTROY) window->DestroyWindow();
  return TRUE;
}

BOOL CWFWindowList::RemoveAllWindows(REMOVEFLAG flag) {
  for (CMainFrame* window : Windows()) {
    window->LeaveWindowList();
    if (flag == REMOVE_AND_DESTROY) window->DestroyWindow();
  }
  std::lock_guard lock(m_lock);
  m_entries.clear();
  return TRUE;
}

CMainFrame* CWFWindowList::GetAnotherWindow(CMainFrame* window) const {
  std::lock_guard lock(m_lock);
  const int index = indexOf(window);
  if (index < 0) return m_entries.empty() ? nullptr : m_entries.front().window;
  if (index + 1 < static_cast<int>(m_entries.size())) return m_entries[index + 1].window;
  if (index > 0) return m_entries[index - 1].window;
  return nullptr;
}

void CWFWindowList::SetNewMainWnd(CMainFrame* window) {
  if (CWFApp* app = WFGetWFApp()) app->m_pMainWnd = GetAnotherWindow(window);
}

CMainFrame* CWFWindowList::FindWindowA(const CString& title) const {
  std::lock_guard lock(m_lock);
  for (const auto& entry : m_entries) {
    if (strcasecmp(entry.title, title) == 0) return entry.window;
  }
  return nullptr;
}

CMainFrame* CWFWindowList::FindWindowA(int index) const {
  std::lock_guard lock(m_lock);
  if (index < 0 || index >= static_cast<int>(m_entries.size())) return nullptr;
  return m_entries[index].window;
}

BOOL CWFWindowList::ShowExistingWindow(const CString& name) {
  for (const auto& entry : entries()) {
    if (entry.name == name) {
      wf::postMessage(entry.hwnd, WM_SYSCOMMAND, SC_RESTORE, WF_RESTORE_FROM_ICON);
      entry.window->BringWindowToTop();
      return TRUE;
    }
  }
  return FALSE;
}

BOOL CWFWindowList::ReSortRenamedWindow(CMainFrame* window) {
  if (!window) return FALSE;
  {
    std::lock_guard lock(m_lock);
    const int index = indexOf(window);
    if (index >= 0) m_entries.erase(m_entries.begin() + index);
  }
  return Add(window);
}

BOOL CWFWindowList::IsInWindowList(CMainFrame* window) const {
  std::lock_guard lock(m_lock);
  return indexOf(window) >= 0;
}

void CWFWindowList::UpdatePrinterViews(USHORT printer, CWnd* except) {
  for (const auto& entry : entries()) {
    if (entry.window == except) continue;
    if (onOwnThread()) {
      if (CWFListView* view = entry.window->GetView()) view->UpdatePrinter(printer);
    } else {
      wf::postMessage(entry.view, WM_WF_UPDATEPRINTER, 0, printer);
    }
  }
}

void CWFWindowList::RemovePrinter(USHORT printer, CWnd* except) {
  // Sent: the caller deletes the icon next, so every view must be done.
  for (const auto& entry : entries()) {
    if (entry.window != except) ::SendMessage(entry.hwnd, WM_WF_PRIVATE_REMOVEPRINTER, printer, 0);
  }
}

void CWFWindowList::ReplacePrinter(CWFPrinterIcon* oldIcon, CWFPrinterIcon* newIcon) {
  std::pair<CWFPrinterIcon*, CWFPrinterIcon*> icons{oldIcon, newIcon};
  for (const auto& entry : entries()) {
    ::SendMessage(entry.hwnd, WM_WF_PRIVATE_REPLACEPRINTER, 0, reinterpret_cast<LPARAM>(&icons));
  }
}

BOOL CWFWindowList::AnyNormalWndFound(USHORT printer) {
  // Under the lock: a window leaves the list before it and its view go.
  std::lock_guard lock(m_lock);
  for (const auto& entry : m_entries) {
    CWFListView* view = entry.window->GetView();
    if (!entry.window->IsMinimised() && view && view->FindItem(printer) >= 0) return TRUE;
  }
  return FALSE;
}

void CWFWindowList::RestoreOnError(USHORT printer) {
  std::vector<HWND> holders;
  {
    std::lock_guard lock(m_lock);
    for (const auto& entry : m_entries) {
      CWFListView* view = entry.window->GetView();
      if (view && view->FindItem(printer) >= 0) holders.push_back(entry.hwnd);
    }
  }
  // Posted even here: the window may go before the message is handled.
  for (HWND hwnd : holders) wf::postMessage(hwnd, WM_WF_PRIVATE_RESTOREONERROR, 0, 0);
}

void CWFWindowList::WFOnTop(BOOL onTop) {
  for (const auto& entry : entries()) {
    entry.window->SetWindowPos(onTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  }
}

int CWFWindowList::Traverse(BOOL (*fn)(CWFPrinterIcon*, void*), void* data) const {
  // The icons are taken under the lock; `fn` runs outside it, on icons the
  // printer list still holds, so it may call back into the window list.
  std::vector<std::vector<CWFPrinterIcon*>> views;
  {
    std::lock_guard lock(m_lock);
    for (const auto& entry : m_entries) {
      if (CWFListView* view = entry.window->GetView()) views.push_back(view->Printers());
    }
  }
  int result = 0;
  for (const auto& icons : views) result = CWFListView::TraverseIcons(icons, fn, data);
  return result;
}

void CWFWindowList::PostToAll(UINT message, WPARAM wParam, LPARAM lParam) {
  for (const auto& entry : entries()) wf::postMessage(entry.hwnd, message, wParam, lParam);
}

void CWFWindowList::AnyAlerts() {
  if (!onOwnThread()) {
    PostToAll(WM_WF_PRIVATE_ANYALERTS, 0, 0);
    return;
  }
  for (CMainFrame* window : Windows()) window->UpdateAlertIcon();
}

int CWFWindowList::GetCount() {
  std::lock_guard lock(m_lock);
  return static_cast<int>(m_entries.size());
}
