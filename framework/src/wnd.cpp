#include "framework/wnd.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>

#include "frame_menu_bar.h"
#include "framework/control_styles.h"
#include "framework/global_memory.h"
#include "framework/menu.h"
#include "framework/win_thread.h"
#include "gdi_data.h"
#include "gui_thread.h"
#include "platform/thread.h"
#include "platform/window_messages.h"
#include "timers.h"
#include "wnd_widget.h"

IMPLEMENT_DYNAMIC(CCmdTarget, CObject)
IMPLEMENT_DYNAMIC(CWnd, CCmdTarget)

struct CWnd::Impl {
  wf::ThreadId owner = 0;
  DWORD style = 0;
  DWORD exStyle = 0;
  UINT id = 0;
  HWND parent = 0;
  wf::fw::WndWidget* widget = nullptr;  // GUI thread only

  // Read from any thread; the widget follows on the GUI thread.
  mutable std::mutex m;
  CString text;
  bool visible = false;
  bool iconic = false;
  bool zoomed = false;
  HICON icons[2] = {nullptr, nullptr};
  std::string className;
  std::unique_ptr<CMenu> systemMenu;  // GUI thread only

  // Runs `apply` on the window's widget, on the GUI thread; queued when
  // called elsewhere, so no caller ever waits for the GUI thread.
  static void withWidget(HWND hwnd, std::function<void(QWidget*)> apply);
};

namespace wf::fw {
namespace {

struct HandleMap {
  std::mutex m;
  std::unordered_map<HWND, CWnd*> windows;
};
HandleMap& handles() {
  static auto* h = new HandleMap;  // leaked: windows may go during process exit
  return *h;
}

struct CurrentMessage {
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};
thread_local CurrentMessage current;

wf::LResult windowProc(wf::Hwnd hwnd, std::uint32_t message, wf::WParam wParam, wf::LParam lParam) {
  CWnd* wnd = CWnd::FromHandlePermanent(hwnd);
  if (!wnd) return 0;
  // A global block that crossed as payload: the handler gets (and frees) a fresh one.
  if (wf::Payload* payload = wf::currentPayload(); payload && !payload->empty()) {
    lParam = reinterpret_cast<LPARAM>(globalBlockFromPayload(*payload));
    payload->clear();
  }
  if (message == WM_TIMER) windowTimerDelivered(hwnd, wParam);
  CurrentMessage outer = std::exchange(current, {message, wParam, lParam});
  LRESULT result = wnd->WindowProc(message, wParam, lParam);
  current = outer;
  return result;
}

template <class Visit>
void forEachEntry(const AFX_MSGMAP* map, Visit visit) {
  for (; map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr)
    for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e->sig != AfxSig::End; ++e)
      if (visit(*e)) return;
}

}  // namespace

}  // namespace wf::fw

struct WndAccess {
  static CWnd::Impl& impl(CWnd* wnd) { return *wnd->impl_; }
};

void wf::fw::noteWidgetState(HWND hwnd, bool visible, bool minimized, bool maximized) {
  CWnd* wnd = CWnd::FromHandlePermanent(hwnd);
  if (!wnd) return;
  CWnd::Impl& impl = WndAccess::impl(wnd);
  std::lock_guard lock(impl.m);
  impl.visible = visible;
  impl.iconic = minimized;
  impl.zoomed = maximized;
}

wf::fw::WndWidget* wf::fw::widgetOf(HWND hwnd) {
  if (!isGuiThread()) return nullptr;
  CWnd* wnd = CWnd::FromHandlePermanent(hwnd);
  return wnd ? WndAccess::impl(wnd).widget : nullptr;
}

using wf::fw::WndWidget;

// ---- CCmdUI ----

void CCmdUI::Enable(BOOL) {
  m_bEnableChanged = TRUE;
}
void CCmdUI::SetCheck(int) {}
void CCmdUI::SetText(LPCSTR) {}

BOOL CCmdUI::DoUpdate(CCmdTarget* target, BOOL disableIfNoHandler) {
  m_bEnableChanged = FALSE;
  if (target->OnCmdMsg(m_nID, CN_UPDATE_COMMAND_UI, this, nullptr)) return TRUE;
  AFX_CMDHANDLERINFO info;
  if (disableIfNoHandler && !m_bEnableChanged && !target->OnCmdMsg(m_nID, CN_COMMAND, this, &info))
    Enable(FALSE);
  return FALSE;
}

// ---- CCmdTarget ----

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, AfxSig::End, nullptr}};
  static const AFX_MSGMAP map = {nullptr, entries};
  return &map;
}
const AFX_MSGMAP* CCmdTarget::GetMessageMap() const {
  return GetThisMessageMap();
}

BOOL CCmdTarget::OnCmdMsg(UINT id, int code, void* extra, AFX_CMDHANDLERINFO* handlerInfo) {
  BOOL handled = FALSE;
  wf::fw::forEachEntry(GetMessageMap(), [&](const AFX_MSGMAP_ENTRY& e) {
    if (e.nMessage != WM_COMMAND || e.nCode != static_cast<UINT>(code) || id < e.nID || id > e.nLastID)
      return false;
    if (handlerInfo) {
      handlerInfo->pTarget = this;
      handled = TRUE;
      return true;
    }
    AfxCall call{WM_COMMAND, id, 0, 0, extra};
    // An extended handler that answers FALSE passes the command on.
    handled = e.call(this, call) != 0 || e.sig != AfxSig::CommandEx;
    return handled != FALSE;
  });
  return handled;
}

// ---- CWnd ----

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

CWnd::CWnd() : impl_(std::make_unique<Impl>()) {}

CWnd::~CWnd() {
  if (!m_hWnd) return;
  if (impl_->owner == wf::currentThreadId()) {
    DestroyWindow();
  } else {
    // Not destroyable from here: its messages are dropped from now on.
    std::lock_guard lock(wf::fw::handles().m);
    wf::fw::handles().windows.erase(m_hWnd);
  }
}

CWnd* CWnd::FromHandlePermanent(HWND hwnd) {
  std::lock_guard lock(wf::fw::handles().m);
  auto it = wf::fw::handles().windows.find(hwnd);
  return it == wf::fw::handles().windows.end() ? nullptr : it->second;
}

void CWnd::Impl::withWidget(HWND hwnd, std::function<void(QWidget*)> apply) {
  auto run = [hwnd, apply] {
    CWnd* wnd = FromHandlePermanent(hwnd);
    if (wnd && wnd->impl_->widget) apply(wnd->impl_->widget);
  };
  if (wf::fw::isGuiThread())
    run();
  else
    wf::fw::queueToGuiThread(run);
}

BOOL CWnd::PreCreateWindow(CREATESTRUCT&) {
  return TRUE;
}

BOOL CWnd::Create(LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width, int height,
                  CWnd* parent, UINT id) {
  return CreateEx(0, className, windowName, style | WS_CHILD, x, y, width, height,
                  parent ? parent->m_hWnd : 0, id);
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                    int height, HWND parent, UINT id, LPVOID param) {
  if (m_hWnd) return FALSE;
  CREATESTRUCT cs{param, nullptr, parent, height, width, y, x, style, windowName, className, exStyle};
  if (!PreCreateWindow(cs)) return FALSE;
  const bool gui = wf::fw::isGuiThread();
  if (gui) wf::fw::ensureGuiQueue();
  HWND hwnd = wf::createWindow(cs.lpszClass && *cs.lpszClass ? cs.lpszClass : "AfxWnd", wf::fw::windowProc,
                               !(cs.style & WS_CHILD));
  if (!hwnd) return FALSE;
  m_hWnd = hwnd;
  impl_->owner = wf::currentThreadId();
  impl_->style = cs.style;
  impl_->exStyle = cs.dwExStyle;
  impl_->id = id;
  impl_->parent = cs.hwndParent;
  impl_->text = cs.lpszName;
  impl_->className = cs.lpszClass && *cs.lpszClass ? cs.lpszClass : "AfxWnd";
  {
    std::lock_guard lock(wf::fw::handles().m);
    wf::fw::handles().windows[hwnd] = this;
  }
  if (gui) {
    CWnd* parentWnd = FromHandlePermanent(cs.hwndParent);
    QWidget* parentWidget = (cs.style & WS_CHILD) && parentWnd ? parentWnd->impl_->widget : nullptr;
    impl_->widget = new WndWidget(hwnd, parentWidget);
    impl_->widget->setWindowTitle(QString::fromStdString(impl_->text.str()));
    if (!parentWidget) {
      // The title-bar help button enters the mode in which a click asks for help on a control.
      if (cs.dwExStyle & WS_EX_CONTEXTHELP) impl_->widget->setWindowFlag(Qt::WindowContextHelpButtonHint);
      // A pop-up without a caption has no frame at all (the splash window).
      if ((cs.style & WS_POPUP) && (cs.style & WS_CAPTION) != WS_CAPTION)
        impl_->widget->setWindowFlag(Qt::FramelessWindowHint);
      // Made now, so a frame the window system already knows is counted in the rectangle below.
      impl_->widget->winId();
    }
    if (cs.cx > 0 && cs.cy > 0) wf::fw::setOuterGeometry(impl_->widget, QRect(cs.x, cs.y, cs.cx, cs.cy));
  }
  if (SendMessage(WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    DestroyWindow();
    return FALSE;
  }
  if (cs.style & WS_VISIBLE) ShowWindow(SW_SHOW);
  return TRUE;
}

BOOL CWnd::DestroyWindow() {
  const HWND hwnd = m_hWnd;
  if (!hwnd || impl_->owner != wf::currentThreadId()) return FALSE;
  if (!wf::destroyWindow(hwnd)) return FALSE;  // runs WM_DESTROY
  std::vector<CWnd*> children;
  {
    std::lock_guard lock(wf::fw::handles().m);
    for (auto& [h, w] : wf::fw::handles().windows)
      if (w->impl_->parent == hwnd && (w->impl_->style & WS_CHILD)) children.push_back(w);
  }
  for (CWnd* child : children) child->DestroyWindow();
  wf::fw::killWindowTimers(hwnd);
  if (impl_->widget) {
    // Possibly inside the widget's own event handler: it goes once that returns.
    impl_->widget->hide();
    impl_->widget->deleteLater();
    impl_->widget = nullptr;
  }
  {
    std::lock_guard lock(wf::fw::handles().m);
    wf::fw::handles().windows.erase(hwnd);
  }
  m_hWnd = 0;
  // The main window going ends its thread's message loop.
  if (CWinThread* thread = AfxGetThread(); thread && thread->m_pMainWnd == this) {
    thread->m_pMainWnd = nullptr;
    AfxPostQuitMessage(0);
  }
  PostNcDestroy();
  return TRUE;
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::PostMessage(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::SendMessage(m_hWnd, message, wParam, lParam);
}

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapse, void*) {
  return m_hWnd && wf::fw::setWindowTimer(m_hWnd, id, elapse) ? id : 0;
}

BOOL CWnd::KillTimer(UINT_PTR id) {
  return m_hWnd && wf::fw::killWindowTimer(m_hWnd, id);
}

BOOL CWnd::ShowWindow(int show) {
  bool wasVisible;
  {
    std::lock_guard lock(impl_->m);
    wasVisible = impl_->visible;
    impl_->visible = show != SW_HIDE;
    if (show == SW_MINIMIZE || show == SW_MAXIMIZE || show == SW_RESTORE || show == SW_SHOWNORMAL) {
      impl_->iconic = show == SW_MINIMIZE;
      impl_->zoomed = show == SW_MAXIMIZE;
    }
  }
  Impl::withWidget(m_hWnd, [show](QWidget* w) {
    switch (show) {
      case SW_HIDE:
        w->hide();
        break;
      case SW_MINIMIZE:
        w->showMinimized();
        break;
      case SW_MAXIMIZE:
        w->showMaximized();
        break;
      case SW_RESTORE:
      case SW_SHOWNORMAL:
        w->showNormal();
        break;
      default:
        w->show();
        break;
    }
  });
  return wasVisible;
}

BOOL CWnd::IsWindowVisible() const {
  std::lock_guard lock(impl_->m);
  return impl_->visible;
}
BOOL CWnd::IsIconic() const {
  std::lock_guard lock(impl_->m);
  return impl_->iconic;
}
BOOL CWnd::IsZoomed() const {
  std::lock_guard lock(impl_->m);
  return impl_->zoomed;
}

void CWnd::SetWindowText(LPCSTR text) {
  CString title(text);
  {
    std::lock_guard lock(impl_->m);
    impl_->text = title;
  }
  Impl::withWidget(m_hWnd, [title](QWidget* w) { w->setWindowTitle(QString::fromStdString(title.str())); });
}

void CWnd::GetWindowText(CString& text) const {
  std::lock_guard lock(impl_->m);
  text = impl_->text;
}

int CWnd::GetDlgCtrlID() const {
  return static_cast<int>(impl_->id);
}
CWnd* CWnd::GetParent() const {
  return FromHandlePermanent(impl_->parent);
}

DWORD CWnd::GetExStyle() const {
  return impl_->exStyle;
}

BOOL CWnd::ModifyStyleEx(DWORD remove, DWORD add, UINT) {
  const DWORD changed = (impl_->exStyle & ~remove) | add;
  if (changed == impl_->exStyle) return FALSE;
  impl_->exStyle = changed;
  QWidget* w = wf::fw::widgetOf(m_hWnd);
  if (w && w->isWindow() && !w->isVisible())
    w->setWindowFlag(Qt::WindowContextHelpButtonHint, (changed & WS_EX_CONTEXTHELP) != 0);
  return TRUE;
}

CMenu* CWnd::GetSystemMenu(BOOL revert) {
  if (revert) {
    impl_->systemMenu.reset();
    return nullptr;
  }
  if (!impl_->systemMenu) {
    auto menu = std::make_unique<CMenu>();
    if (!menu->CreatePopupMenu()) return nullptr;
    static constexpr std::pair<UINT, const char*> kItems[] = {
        {SC_RESTORE, "&Restore"},   {SC_MOVE, "&Move"},         {SC_SIZE, "&Size"},
        {SC_MINIMIZE, "Mi&nimize"}, {SC_MAXIMIZE, "Ma&ximize"}, {SC_CLOSE, "&Close\tAlt+F4"},
    };
    for (const auto& [id, text] : kItems) {
      if (id == SC_CLOSE) menu->AppendMenu(MF_SEPARATOR);
      menu->AppendMenu(MF_STRING, id, text);
    }
    impl_->systemMenu = std::move(menu);
  }
  return impl_->systemMenu.get();
}

HICON CWnd::SetIcon(HICON icon, BOOL big) {
  return reinterpret_cast<HICON>(
      SendMessage(WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
}

HICON CWnd::GetIcon(BOOL big) const {
  std::lock_guard lock(impl_->m);
  return impl_->icons[big ? ICON_BIG : ICON_SMALL];
}

LRESULT CWnd::Default() {
  const auto& m = wf::fw::current;
  return DefWindowProc(m.message, m.wParam, m.lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (!OnWndMsg(message, wParam, lParam, &result)) result = DefWindowProc(message, wParam, lParam);
  return result;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (message == WM_COMMAND) {
    if (!OnCommand(wParam, lParam)) return FALSE;
    *result = 1;
    return TRUE;
  }
  if (message == WM_NOTIFY) {
    LRESULT answer = 0;
    if (!OnNotify(wParam, lParam, &answer)) return FALSE;
    *result = answer;
    return TRUE;
  }
  BOOL handled = FALSE;
  wf::fw::forEachEntry(GetMessageMap(), [&](const AFX_MSGMAP_ENTRY& e) {
    if (e.sig != AfxSig::Message || e.nMessage != message) return false;
    AfxCall call{message, 0, wParam, lParam, nullptr};
    *result = e.call(this, call);
    handled = TRUE;
    return true;
  });
  return handled;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM) {
  return OnCmdMsg(LOWORD(wParam), HIWORD(wParam), nullptr, nullptr);
}

BOOL CWnd::OnNotify(WPARAM, LPARAM lParam, LRESULT* result) {
  auto* header = reinterpret_cast<NMHDR*>(lParam);
  if (!header) return FALSE;
  BOOL handled = FALSE;
  wf::fw::forEachEntry(GetMessageMap(), [&](const AFX_MSGMAP_ENTRY& e) {
    if (e.sig != AfxSig::Notify || e.nCode != header->code || header->idFrom < e.nID ||
        header->idFrom > e.nLastID)
      return false;
    AfxCall call{WM_NOTIFY, static_cast<UINT>(header->idFrom), 0, lParam, result};
    e.call(this, call);
    handled = TRUE;
    return true;
  });
  return handled;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      DestroyWindow();
      return 0;
    case WM_SETICON: {
      HICON previous;
      QIcon shown;
      {
        std::lock_guard lock(impl_->m);
        previous = std::exchange(impl_->icons[wParam == ICON_BIG ? ICON_BIG : ICON_SMALL],
                                 reinterpret_cast<HICON>(lParam));
        shown = wf::fw::toQIcon(impl_->icons[ICON_SMALL]);
        if (QIcon big = wf::fw::toQIcon(impl_->icons[ICON_BIG]); !big.isNull()) {
          for (const QSize& size : big.availableSizes()) shown.addPixmap(big.pixmap(size));
        }
      }
      Impl::withWidget(m_hWnd, [shown](QWidget* w) { w->setWindowIcon(shown); });
      return reinterpret_cast<LRESULT>(previous);
    }
    case WM_SETTEXT:
      SetWindowText(reinterpret_cast<LPCSTR>(lParam));
      return TRUE;
    case WM_SYSCOMMAND:
      if (impl_->systemMenu) {
        const UINT state = impl_->systemMenu->GetMenuState(wParam & 0xFFF0, MF_BYCOMMAND);
        if (state != 0xFFFFFFFF && (state & (MF_GRAYED | MF_DISABLED))) return 0;
      }
      switch (wParam & 0xFFF0) {
        case SC_CLOSE:
          return SendMessage(WM_CLOSE);
        case SC_MINIMIZE:
          ShowWindow(SW_MINIMIZE);
          return 0;
        case SC_MAXIMIZE:
          ShowWindow(SW_MAXIMIZE);
          return 0;
        case SC_RESTORE:
          ShowWindow(SW_RESTORE);
          return 0;
        case SC_KEYMENU:
          Impl::withWidget(m_hWnd, [](QWidget* w) { wf::fw::openMenuBar(w); });
          return 0;
      }
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_CONTEXTMENU:
    case WM_HELP:
      // A child passes them up to its parent.
      if ((impl_->style & WS_CHILD) && impl_->parent)
        return ::SendMessage(impl_->parent, message, wParam, lParam);
      return 0;
    default:
      return 0;
  }
}

int CWnd::OnCreate(LPCREATESTRUCT) {
  return static_cast<int>(Default());
}
void CWnd::OnDestroy() {
  Default();
}
void CWnd::OnClose() {
  Default();
}
void CWnd::OnPaint() {
  Default();
}
void CWnd::OnTimer(UINT_PTR) {
  Default();
}
void CWnd::OnActivate(UINT, CWnd*, BOOL) {
  Default();
}
void CWnd::OnSize(UINT, int, int) {
  Default();
}
void CWnd::OnWindowPosChanged(WINDOWPOS*) {
  Default();
}
void CWnd::OnContextMenu(CWnd*, CPoint) {
  Default();
}
BOOL CWnd::OnHelpInfo(HELPINFO*) {
  return static_cast<BOOL>(Default());
}
void CWnd::OnSysCommand(UINT, LPARAM) {
  Default();
}
void CWnd::OnHScroll(UINT, UINT, CScrollBar*) {
  Default();
}
BOOL CWnd::OnQueryEndSession() {
  return static_cast<BOOL>(Default());
}
void CWnd::OnRButtonDown(UINT, CPoint) {
  Default();
}
void CWnd::OnLButtonDown(UINT, CPoint) {
  Default();
}
void CWnd::OnLButtonDblClk(UINT, CPoint) {
  Default();
}
void CWnd::OnChar(UINT, UINT, UINT) {
  Default();
}
void CWnd::OnKeyDown(UINT, UINT, UINT) {
  Default();
}
void CWnd::OnSetFocus(CWnd*) {
  Default();
}

// ---- Window calls by handle ----

BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  wf::Payload payload;
  if (lParam != 0 && GlobalSize(reinterpret_cast<HGLOBAL>(lParam)) > 0)
    payload = wf::fw::moveGlobalBlockToPayload(reinterpret_cast<HGLOBAL>(lParam));
  return wf::postMessage(hwnd, message, wParam, lParam, std::move(payload)) ? TRUE : FALSE;
}

LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return wf::sendMessage(hwnd, message, wParam, lParam).value_or(0);
}

CString GetWindowClassName(HWND hwnd) {
  CWnd* window = CWnd::FromHandlePermanent(hwnd);
  return window ? CString(WndAccess::impl(window).className.c_str()) : CString();
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
  return hwnd && wf::fw::killWindowTimer(hwnd, id);
}

BOOL IsWindow(HWND hwnd) {
  return wf::isWindow(hwnd) ? TRUE : FALSE;
}

std::vector<HWND> GetTopLevelWindows() {
  std::vector<HWND> windows;
  {
    std::lock_guard lock(wf::fw::handles().m);
    for (const auto& [hwnd, wnd] : wf::fw::handles().windows)
      if (!(WndAccess::impl(wnd).style & WS_CHILD)) windows.push_back(hwnd);
  }
  // Handles of one process grow with each window made.
  std::sort(windows.rbegin(), windows.rend());
  return windows;
}

HWND GetWindowParent(HWND hwnd) {
  CWnd* wnd = CWnd::FromHandlePermanent(hwnd);
  if (!wnd || !(WndAccess::impl(wnd).style & WS_CHILD)) return 0;
  return WndAccess::impl(wnd).parent;
}

HWND GetWindowOwner(HWND hwnd) {
  CWnd* wnd = CWnd::FromHandlePermanent(hwnd);
  if (!wnd || (WndAccess::impl(wnd).style & WS_CHILD)) return 0;
  HWND owner = WndAccess::impl(wnd).parent;
  // An owner is always a top-level window: a child given as owner stands for its window.
  for (int depth = 0; owner && depth < 64; ++depth) {
    CWnd* candidate = CWnd::FromHandlePermanent(owner);
    if (!candidate || !(WndAccess::impl(candidate).style & WS_CHILD)) break;
    owner = WndAccess::impl(candidate).parent;
  }
  return owner;
}

HWND FindWindow(LPCSTR className, LPCSTR) {
  return className ? wf::findWindow(className) : 0;
}
