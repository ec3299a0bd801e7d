#pragma once
// Windows with numeric message maps. Every CWnd has a platform window handle
// (window_messages.h), so other threads and processes reach it by posting;
// its messages run on the thread that created it. A window created on the
// GUI thread is also drawn by a widget; one created on another thread is a
// message target only (hidden service windows). Widget work asked for on
// another thread is queued to the GUI thread, never waited for.
#include <cstdint>
#include <memory>
#include <vector>

#include "framework/cstring.h"
#include "framework/geometry.h"
#include "framework/object.h"
#include "framework/shell_services.h"
#include "framework/win_types.h"

using UINT_PTR = std::uintptr_t;
using HICON = void*;
using HMENU = void*;
using LPVOID = void*;

// Message numbers of the original platform.
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUERYENDSESSION = 0x0011;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_WINDOWPOSCHANGED = 0x0047;
constexpr UINT WM_NOTIFY = 0x004E;
constexpr UINT WM_HELP = 0x0053;
constexpr UINT WM_CONTEXTMENU = 0x007B;
constexpr UINT WM_SETICON = 0x0080;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_HSCROLL = 0x0114;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_SETMESSAGESTRING = 0x0362;

// Input messages; a mouse message's lParam holds the client point (x low,
// y high), its wParam the MK_ flags of the buttons and keys held.
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;

constexpr UINT MK_LBUTTON = 0x0001;
constexpr UINT MK_RBUTTON = 0x0002;
constexpr UINT MK_SHIFT = 0x0004;
constexpr UINT MK_CONTROL = 0x0008;
constexpr UINT MK_MBUTTON = 0x0010;
constexpr UINT WM_IDLEUPDATECMDUI = 0x0363;

constexpr UINT SC_SIZE = 0xF000;
constexpr UINT SC_MOVE = 0xF010;
constexpr UINT SC_MINIMIZE = 0xF020;
constexpr UINT SC_MAXIMIZE = 0xF030;
constexpr UINT SC_CLOSE = 0xF060;
constexpr UINT SC_KEYMENU = 0xF100;
constexpr UINT SC_RESTORE = 0xF120;

constexpr UINT ICON_SMALL = 0;
constexpr UINT ICON_BIG = 1;

constexpr UINT WA_INACTIVE = 0;
constexpr UINT WA_ACTIVE = 1;

constexpr UINT SIZE_RESTORED = 0;
constexpr UINT SIZE_MINIMIZED = 1;
constexpr UINT SIZE_MAXIMIZED = 2;

constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_MAXIMIZE = 3;
constexpr int SW_RESTORE = 9;

// Control notification codes carried in the high word of WM_COMMAND.
constexpr UINT BN_CLICKED = 0;
constexpr UINT LBN_SELCHANGE = 1;
constexpr UINT CBN_SELCHANGE = 1;
constexpr UINT CBN_SELENDOK = 9;
constexpr UINT DDL_READWRITE = 0x0000;  // the user closed the list on an entry
constexpr UINT EN_CHANGE = 0x0300;
// Sent right before EN_CHANGE, for every change EN_CHANGE tells of.
constexpr UINT EN_UPDATE = 0x0400;

constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_OVERLAPPEDWINDOW = 0x00CF0000;
constexpr DWORD WS_EX_TRANSPARENT = 0x00000020;

constexpr WORD LOWORD(std::uintptr_t v) {
  return static_cast<WORD>(v & 0xFFFF);
}
constexpr WORD HIWORD(std::uintptr_t v) {
  return static_cast<WORD>((v >> 16) & 0xFFFF);
}
constexpr DWORD MAKELONG(WORD low, WORD high) {
  return DWORD{low} | (DWORD{high} << 16);
}

struct CREATESTRUCT {
  LPVOID lpCreateParams = nullptr;
  HMENU hMenu = nullptr;
  HWND hwndParent = 0;
  int cy = 0, cx = 0, y = 0, x = 0;
  DWORD style = 0;
  LPCSTR lpszName = nullptr;
  LPCSTR lpszClass = nullptr;
  DWORD dwExStyle = 0;
};
using LPCREATESTRUCT = CREATESTRUCT*;

constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOACTIVATE = 0x0010;
constexpr UINT SWP_SHOWWINDOW = 0x0040;
constexpr UINT SWP_HIDEWINDOW = 0x0080;

// Where SetWindowPos puts a window in the Z order, besides after a given window.
constexpr HWND HWND_TOP = 0;
constexpr HWND HWND_TOPMOST = static_cast<HWND>(-1);
constexpr HWND HWND_NOTOPMOST = static_cast<HWND>(-2);

struct WINDOWPOS {
  HWND hwnd = 0;
  HWND hwndInsertAfter = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  UINT flags = 0;
};

constexpr int HELPINFO_WINDOW = 1;

struct HELPINFO {
  UINT cbSize = sizeof(HELPINFO);
  int iContextType = HELPINFO_WINDOW;
  int iCtrlId = 0;
  HWND hItemHandle = 0;
  DWORD dwContextId = 0;
  CPoint MousePos;
};

struct NMHDR {
  HWND hwndFrom = 0;
  UINT_PTR idFrom = 0;
  UINT code = 0;
};

// Command routing codes (the nCode of OnCmdMsg).
constexpr int CN_COMMAND = 0;
constexpr int CN_UPDATE_COMMAND_UI = -1;

class CCmdTarget;
class CWnd;

// One request to bring a user-interface item (menu item, button, pane) up to
// date. Menus and bars derive from it and show the changes.
class CCmdUI {
 public:
  virtual ~CCmdUI() = default;
  virtual void Enable(BOOL on = TRUE);
  virtual void SetCheck(int check = 1);  // 0 clear, 1 checked, 2 indeterminate
  virtual void SetRadio(BOOL on = TRUE) { SetCheck(on ? 1 : 0); }
  virtual void SetText(LPCSTR text);

  // Asks `target` for an update; with no update handler and `disableIfNoHandler`
  // the item is disabled unless a command handler exists. TRUE when handled.
  BOOL DoUpdate(CCmdTarget* target, BOOL disableIfNoHandler);

  UINT m_nID = 0;
  UINT m_nIndex = 0;
  BOOL m_bEnableChanged = FALSE;
  BOOL m_bContinueRouting = FALSE;
};

// How one handler is called; see the ON_ macros.
struct AfxCall {
  UINT message;
  UINT commandId;
  WPARAM wParam;
  LPARAM lParam;
  void* extra;  // CCmdUI* for updates, LRESULT* for notifications
};

enum class AfxSig { End, Message, Command, CommandEx, UpdateCommandUI, Notify };

struct AFX_MSGMAP_ENTRY {
  UINT nMessage;
  UINT nCode;
  UINT nID;
  UINT nLastID;
  AfxSig sig;
  LRESULT (*call)(CCmdTarget* target, AfxCall& args);
};

struct AFX_MSGMAP {
  const AFX_MSGMAP* (*pfnGetBaseMap)();
  const AFX_MSGMAP_ENTRY* lpEntries;
};

// Set by OnCmdMsg callers that only ask whether a handler exists.
struct AFX_CMDHANDLERINFO {
  CCmdTarget* pTarget = nullptr;
};

class CCmdTarget : public CObject {
  DECLARE_DYNAMIC(CCmdTarget)
 public:
  // Routes a command or update request through the message map chain.
  // With `handlerInfo` only tells whether a handler exists.
  virtual BOOL OnCmdMsg(UINT id, int code, void* extra, AFX_CMDHANDLERINFO* handlerInfo);

 protected:
  static const AFX_MSGMAP* GetThisMessageMap();
  virtual const AFX_MSGMAP* GetMessageMap() const;
};

class CMenu;
class CScrollBar;

class CWnd : public CCmdTarget {
  DECLARE_DYNAMIC(CWnd)
 public:
  CWnd();
  // Destroys the window when it still exists (on its own thread only).
  ~CWnd() override;

  HWND m_hWnd = 0;
  HWND GetSafeHwnd() const { return m_hWnd; }
  operator HWND() const { return m_hWnd; }

  // The live CWnd of a window of this process, or null.
  static CWnd* FromHandlePermanent(HWND hwnd);
  static CWnd* FromHandle(HWND hwnd) { return FromHandlePermanent(hwnd); }

  // `parent` may be null; `id` is the control id of a child window.
  virtual BOOL CreateEx(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                        int width, int height, HWND parent, UINT id = 0, LPVOID param = nullptr);
  virtual BOOL Create(LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width, int height,
                      CWnd* parent, UINT id);
  // On the window's own thread only, as on the original platform.
  virtual BOOL DestroyWindow();

  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

  // Starts or restarts timer `id` every `elapse` system ms; returns `id`, 0 on failure.
  UINT_PTR SetTimer(UINT_PTR id, UINT elapse, void* timerProc = nullptr);
  BOOL KillTimer(UINT_PTR id);

  BOOL ShowWindow(int show);
  BOOL IsWindowVisible() const;
  BOOL IsIconic() const;
  BOOL IsZoomed() const;
  void SetWindowText(LPCSTR text);
  void GetWindowText(CString& text) const;
  int GetDlgCtrlID() const;
  CWnd* GetParent() const;
  // The extended style (WS_EX_*) given at creation or changed since.
  DWORD GetExStyle() const;
  // A top-level window that gains WS_EX_CONTEXTHELP before it is shown gets
  // the title bar's help button. FALSE when the style stays as it was.
  BOOL ModifyStyleEx(DWORD remove, DWORD add, UINT flags = 0);
  HICON SetIcon(HICON icon, BOOL big);
  // The window's own copy of the system menu (Restore, Move, Size,
  // Minimize, Maximize, Close), made on first use; `revert` puts it back
  // to that default and returns null. A greyed entry's command is ignored.
  CMenu* GetSystemMenu(BOOL revert);
  HICON GetIcon(BOOL big) const;

  // Input state and children, on the GUI thread; a window without a widget
  // counts as enabled and has no children.
  BOOL EnableWindow(BOOL enable = TRUE);  // TRUE when it was disabled before
  BOOL IsWindowEnabled() const;
  CWnd* SetFocus();  // the window that had the focus
  static CWnd* GetFocus();
  CWnd* GetDlgItem(int id) const;
  // Fills combo box `comboId` with the files (DDL_READWRITE: files only)
  // that `pathSpec` ("dir\*.WAV") matches, the pattern taken without regard
  // to case, and writes the directory into static `staticId` (0: none). The
  // current directory is left as it is. FALSE when the directory is missing.
  int DlgDirListComboBox(LPSTR pathSpec, int comboId, int staticId, UINT fileType);

  // Geometry, on the GUI thread (zero rectangles elsewhere): client
  // rectangles start at 0,0; window rectangles are in screen coordinates and
  // take a top-level window by its outer frame, as MoveWindow and creation do.
  void GetClientRect(LPRECT rect) const;
  void GetWindowRect(LPRECT rect) const;
  // A child is placed in its parent's client coordinates, a top-level window on the screen.
  void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE);
  void MoveWindow(LPCRECT rect, BOOL repaint = TRUE) {
    MoveWindow(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, repaint);
  }
  // Place, size, Z order and visibility in one call, the rectangle as
  // MoveWindow takes it; SWP_ flags leave parts as they are. HWND_TOPMOST
  // keeps a top-level window above the others until HWND_NOTOPMOST.
  // Without SWP_NOACTIVATE a top-level window is also activated.
  BOOL SetWindowPos(HWND insertAfter, int x, int y, int width, int height, UINT flags);
  // To the top of the Z order; a top-level window is activated.
  BOOL BringWindowToTop();
  // Raises and activates the window's top-level window.
  BOOL SetForegroundWindow();
  // Turns a client rectangle into the window rectangle that holds it.
  enum AdjustType { adjustBorder = 0, adjustOutside = 1 };
  virtual void CalcWindowRect(LPRECT clientRect, UINT adjustType = adjustBorder);
  void ClientToScreen(LPPOINT point) const;
  void ScreenToClient(LPPOINT point) const;
  // Asks for a repaint; UpdateWindow runs a pending one at once.
  void Invalidate(BOOL erase = TRUE);
  // Only that part of the client area; null: all of it.
  void InvalidateRect(LPCRECT rect, BOOL erase = TRUE);
  // Off: changes are not drawn until it is switched on again.
  void SetRedraw(BOOL redraw = TRUE);
  void UpdateWindow();

  // The message being handled on this thread, passed to the default procedure.
  LRESULT Default();

  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result);
  // Runs once the window is gone; frames and dialogs delete themselves here.
  virtual void PostNcDestroy() {}
  virtual BOOL PreCreateWindow(CREATESTRUCT& cs);

  // The standard handlers; each does the default processing.
  int OnCreate(LPCREATESTRUCT cs);
  void OnDestroy();
  void OnClose();
  void OnPaint();
  void OnTimer(UINT_PTR id);
  void OnActivate(UINT state, CWnd* other, BOOL minimized);
  void OnSize(UINT type, int cx, int cy);
  void OnWindowPosChanged(WINDOWPOS* pos);
  void OnContextMenu(CWnd* window, CPoint point);
  BOOL OnHelpInfo(HELPINFO* info);
  void OnSysCommand(UINT id, LPARAM lParam);
  BOOL OnQueryEndSession();
  void OnRButtonDown(UINT flags, CPoint point);
  void OnLButtonDown(UINT flags, CPoint point);
  void OnLButtonDblClk(UINT flags, CPoint point);
  void OnChar(UINT ch, UINT repeat, UINT flags);
  void OnKeyDown(UINT key, UINT repeat, UINT flags);
  void OnSetFocus(CWnd* oldWnd);
  void OnHScroll(UINT code, UINT position, CScrollBar* bar);

  struct Impl;  // widget and window state, inside the layer

 protected:
  static const AFX_MSGMAP* GetThisMessageMap();
  const AFX_MSGMAP* GetMessageMap() const override;
  BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

 private:
  friend struct WndAccess;
  std::unique_ptr<Impl> impl_;
};

// Posts to any window, also of another process. A live global memory block in
// lParam travels with the message: it is freed here and the handler receives
// a fresh block holding the same bytes, which it frees.
BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Within this process; across threads it waits for the owner thread. 0 when the window is gone.
LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
BOOL IsWindow(HWND hwnd);
// The class the window was created with; empty for an unknown window.
CString GetWindowClassName(HWND hwnd);
// A timer of a window known only by its handle (one that may be gone).
BOOL KillTimer(HWND hwnd, UINT_PTR id);
// A top-level window of that class in any of the user's processes; 0 when none.
HWND FindWindow(LPCSTR className, LPCSTR windowName);
// This process's top-level windows, the newest (topmost) first.
std::vector<HWND> GetTopLevelWindows();
// The top-level window that owns a top-level window, 0 when none (a window
// made with a child as parent is owned by that child's top-level window).
HWND GetWindowOwner(HWND hwnd);
// The parent of a child window, 0 for a top-level one.
HWND GetWindowParent(HWND hwnd);
// The state of a key or mouse button (VK_ codes): the high bit while held.
short GetKeyState(int key);
// Context-help mode: the next click on a window asks for its help (WM_HELP).
void EnterContextHelpMode();
BOOL InContextHelpMode();

// ---- Message maps ----

#define DECLARE_MESSAGE_MAP()                   \
 protected:                                     \
  static const AFX_MSGMAP* GetThisMessageMap(); \
  const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)        \
  const AFX_MSGMAP* theClass::GetMessageMap() const { \
    return GetThisMessageMap();                       \
  }                                                   \
  const AFX_MSGMAP* theClass::GetThisMessageMap() {   \
    using ThisClass [[maybe_unused]] = theClass;      \
    using TheBaseClass = baseClass;                   \
    static const AFX_MSGMAP_ENTRY entries[] = {
#define END_MESSAGE_MAP()                                                    \
  { 0, 0, 0, 0, AfxSig::End, nullptr }                                       \
  }                                                                          \
  ;                                                                          \
  static const AFX_MSGMAP map = {&TheBaseClass::GetThisMessageMap, entries}; \
  return &map;                                                               \
  }

#define WF_THIS static_cast<ThisClass*>(t)

// LRESULT fn(WPARAM, LPARAM)
#define ON_MESSAGE(message, fn)                                                                     \
  {static_cast<UINT>(message), 0, 0, 0, AfxSig::Message, [](CCmdTarget* t, AfxCall& c) -> LRESULT { \
     return WF_THIS->fn(c.wParam, c.lParam);                                                        \
   }},
// void fn()
#define ON_COMMAND(id, fn)                  \
  {WM_COMMAND,                              \
   CN_COMMAND,                              \
   static_cast<UINT>(id),                   \
   static_cast<UINT>(id),                   \
   AfxSig::Command,                         \
   [](CCmdTarget* t, AfxCall&) -> LRESULT { \
     WF_THIS->fn();                         \
     return TRUE;                           \
   }},
// void fn(UINT id)
#define ON_COMMAND_RANGE(first, last, fn)     \
  {WM_COMMAND,                                \
   CN_COMMAND,                                \
   static_cast<UINT>(first),                  \
   static_cast<UINT>(last),                   \
   AfxSig::Command,                           \
   [](CCmdTarget* t, AfxCall& c) -> LRESULT { \
     WF_THIS->fn(c.commandId);                \
     return TRUE;                             \
   }},
// BOOL fn(UINT id): FALSE lets the routing go on to the next handler.
#define ON_COMMAND_EX(id, fn) \
  {WM_COMMAND,                \
   CN_COMMAND,                \
   static_cast<UINT>(id),     \
   static_cast<UINT>(id),     \
   AfxSig::CommandEx,         \
   [](CCmdTarget* t, AfxCall& c) -> LRESULT { return WF_THIS->fn(c.commandId); }},
#define ON_COMMAND_EX_RANGE(first, last, fn) \
  {WM_COMMAND,                               \
   CN_COMMAND,                               \
   static_cast<UINT>(first),                 \
   static_cast<UINT>(last),                  \
   AfxSig::CommandEx,                        \
   [](CCmdTarget* t, AfxCall& c) -> LRESULT { return WF_THIS->fn(c.commandId); }},
// void fn(CCmdUI*)
#define ON_UPDATE_COMMAND_UI(id, fn)             \
  {WM_COMMAND,                                   \
   static_cast<UINT>(CN_UPDATE_COMMAND_UI),      \
   static_cast<UINT>(id),                        \
   static_cast<UINT>(id),                        \
   AfxSig::UpdateCommandUI,                      \
   [](CCmdTarget* t, AfxCall& c) -> LRESULT {    \
     WF_THIS->fn(static_cast<CCmdUI*>(c.extra)); \
     return TRUE;                                \
   }},
#define ON_UPDATE_COMMAND_UI_RANGE(first, last, fn) \
  {WM_COMMAND,                                      \
   static_cast<UINT>(CN_UPDATE_COMMAND_UI),         \
   static_cast<UINT>(first),                        \
   static_cast<UINT>(last),                         \
   AfxSig::UpdateCommandUI,                         \
   [](CCmdTarget* t, AfxCall& c) -> LRESULT {       \
     WF_THIS->fn(static_cast<CCmdUI*>(c.extra));    \
     return TRUE;                                   \
   }},
// void fn(NMHDR*, LRESULT*)
#define ON_NOTIFY(code, id, fn)                                                       \
  {WM_NOTIFY,                                                                         \
   static_cast<UINT>(code),                                                           \
   static_cast<UINT>(id),                                                             \
   static_cast<UINT>(id),                                                             \
   AfxSig::Notify,                                                                    \
   [](CCmdTarget* t, AfxCall& c) -> LRESULT {                                         \
     WF_THIS->fn(reinterpret_cast<NMHDR*>(c.lParam), static_cast<LRESULT*>(c.extra)); \
     return TRUE;                                                                     \
   }},
// void fn(): a control's notification code in WM_COMMAND.
#define ON_CONTROL(code, id, fn)            \
  {WM_COMMAND,                              \
   static_cast<UINT>(code),                 \
   static_cast<UINT>(id),                   \
   static_cast<UINT>(id),                   \
   AfxSig::Command,                         \
   [](CCmdTarget* t, AfxCall&) -> LRESULT { \
     WF_THIS->fn();                         \
     return TRUE;                           \
   }},
#define ON_BN_CLICKED(id, fn) ON_CONTROL(BN_CLICKED, id, fn)
#define ON_LBN_SELCHANGE(id, fn) ON_CONTROL(LBN_SELCHANGE, id, fn)
#define ON_CBN_SELCHANGE(id, fn) ON_CONTROL(CBN_SELCHANGE, id, fn)
#define ON_CBN_SELENDOK(id, fn) ON_CONTROL(CBN_SELENDOK, id, fn)
#define ON_EN_CHANGE(id, fn) ON_CONTROL(EN_CHANGE, id, fn)
#define ON_EN_UPDATE(id, fn) ON_CONTROL(EN_UPDATE, id, fn)

#define WF_ON_STD(message, body)                                                 \
  {message, 0, 0, 0, AfxSig::Message, [](CCmdTarget* t, AfxCall& c) -> LRESULT { \
     (void)c;                                                                    \
     body                                                                        \
   }},
#define ON_WM_CREATE() \
  WF_ON_STD(WM_CREATE, return WF_THIS->OnCreate(reinterpret_cast<LPCREATESTRUCT>(c.lParam));)
#define ON_WM_DESTROY() WF_ON_STD(WM_DESTROY, WF_THIS->OnDestroy(); return 0;)
#define ON_WM_CLOSE() WF_ON_STD(WM_CLOSE, WF_THIS->OnClose(); return 0;)
#define ON_WM_PAINT() WF_ON_STD(WM_PAINT, WF_THIS->OnPaint(); return 0;)
#define ON_WM_TIMER() WF_ON_STD(WM_TIMER, WF_THIS->OnTimer(c.wParam); return 0;)
#define ON_WM_ACTIVATE()                                                                         \
  WF_ON_STD(WM_ACTIVATE,                                                                         \
            WF_THIS->OnActivate(LOWORD(c.wParam), CWnd::FromHandle(static_cast<HWND>(c.lParam)), \
                                HIWORD(c.wParam));                                               \
            return 0;)
#define ON_WM_SIZE()                                                                                   \
  WF_ON_STD(WM_SIZE, WF_THIS->OnSize(static_cast<UINT>(c.wParam), LOWORD(c.lParam), HIWORD(c.lParam)); \
            return 0;)
#define ON_WM_WINDOWPOSCHANGED()                                                                      \
  WF_ON_STD(WM_WINDOWPOSCHANGED, WF_THIS->OnWindowPosChanged(reinterpret_cast<WINDOWPOS*>(c.lParam)); \
            return 0;)
#define ON_WM_CONTEXTMENU()                                                                              \
  WF_ON_STD(WM_CONTEXTMENU, WF_THIS->OnContextMenu(CWnd::FromHandle(static_cast<HWND>(c.wParam)),        \
                                                   CPoint{static_cast<std::int16_t>(LOWORD(c.lParam)),   \
                                                          static_cast<std::int16_t>(HIWORD(c.lParam))}); \
            return 0;)
#define ON_WM_HELPINFO() \
  WF_ON_STD(WM_HELP, return WF_THIS->OnHelpInfo(reinterpret_cast<HELPINFO*>(c.lParam));)
#define ON_WM_SYSCOMMAND() \
  WF_ON_STD(WM_SYSCOMMAND, WF_THIS->OnSysCommand(static_cast<UINT>(c.wParam), c.lParam); return 0;)
#define ON_WM_QUERYENDSESSION() WF_ON_STD(WM_QUERYENDSESSION, return WF_THIS->OnQueryEndSession();)

// Input messages: the point of a mouse message is in client coordinates.
#define WF_MOUSE_POINT                                                                       \
  CPoint {                                                                                   \
    static_cast<std::int16_t>(LOWORD(c.lParam)), static_cast<std::int16_t>(HIWORD(c.lParam)) \
  }
#define ON_WM_RBUTTONDOWN() \
  WF_ON_STD(WM_RBUTTONDOWN, WF_THIS->OnRButtonDown(static_cast<UINT>(c.wParam), WF_MOUSE_POINT); return 0;)
#define ON_WM_LBUTTONDOWN() \
  WF_ON_STD(WM_LBUTTONDOWN, WF_THIS->OnLButtonDown(static_cast<UINT>(c.wParam), WF_MOUSE_POINT); return 0;)
#define ON_WM_LBUTTONDBLCLK()                                                                        \
  WF_ON_STD(WM_LBUTTONDBLCLK, WF_THIS->OnLButtonDblClk(static_cast<UINT>(c.wParam), WF_MOUSE_POINT); \
            return 0;)
#define ON_WM_CHAR()                                                                                   \
  WF_ON_STD(WM_CHAR, WF_THIS->OnChar(static_cast<UINT>(c.wParam), LOWORD(c.lParam), HIWORD(c.lParam)); \
            return 0;)
#define ON_WM_KEYDOWN()                                                                                      \
  WF_ON_STD(WM_KEYDOWN, WF_THIS->OnKeyDown(static_cast<UINT>(c.wParam), LOWORD(c.lParam), HIWORD(c.lParam)); \
            return 0;)
#define ON_WM_SETFOCUS() \
  WF_ON_STD(WM_SETFOCUS, WF_THIS->OnSetFocus(CWnd::FromHandle(static_cast<HWND>(c.wParam))); return 0;)
