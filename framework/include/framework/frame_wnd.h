#pragma once
// Frame windows and views. A frame is a top-level window with an optional
// menu bar (shown from its CMenu model), control bars docked at its edges
// and a view filling the rest. Commands from the menu bar, the toolbar,
// accelerators and popup menus owned by the frame arrive as WM_COMMAND and
// go to the active view, then the frame, then the application. Update
// handlers run for a popup as it opens (WM_INITMENUPOPUP) and for the bars
// at idle time (WM_IDLEUPDATECMDUI, passed on to the bars); a menu or
// accelerator command whose update handler disables it is dropped. With
// m_bAutoMenuEnable menu items without any handler are greyed. Frames and
// views are made with new and delete themselves when their window goes.
// On the GUI thread only.
#include <memory>

#include "framework/control_bars.h"
#include "framework/menu.h"
#include "framework/window_class.h"
#include "framework/wnd.h"

using HACCEL = const void*;

constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000);

constexpr UINT AFX_IDW_CONTROLBAR_FIRST = 0xE800;
constexpr UINT AFX_IDW_CONTROLBAR_LAST = 0xE8FF;
constexpr UINT AFX_IDW_TOOLBAR = 0xE800;
constexpr UINT AFX_IDW_STATUS_BAR = 0xE801;
constexpr UINT AFX_IDW_PANE_FIRST = 0xE900;
// The idle prompt of the message pane.
constexpr UINT AFX_IDS_IDLEMESSAGE = 0xE001;

constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;

struct WINDOWPLACEMENT {
  UINT length = sizeof(WINDOWPLACEMENT);
  UINT flags = 0;
  UINT showCmd = 0;
  CPoint ptMinPosition;
  CPoint ptMaxPosition;
  RECT rcNormalPosition;  // screen coordinates
};

class CFrameWnd;
class CView;
class CDC;

// What a frame's client step creates.
struct CCreateContext {
  CRuntimeClass* m_pNewViewClass = nullptr;  // a CView with DECLARE_DYNCREATE
  CFrameWnd* m_pCurrentFrame = nullptr;
};

class CFrameWnd : public CWnd {
  DECLARE_DYNCREATE(CFrameWnd)
 public:
  // Lets the frame choose its place and a default size.
  static const CRect rectDefault;

  CFrameWnd();
  ~CFrameWnd() override;

  // A null class gives "AfxFrameOrView". `menuName` loads the menu bar from
  // the resources; `context` reaches OnCreateClient. A parent makes the
  // frame a child of it; without one it is a top-level window.
  BOOL Create(LPCSTR className, LPCSTR windowName, DWORD style = WS_OVERLAPPEDWINDOW,
              const RECT& rect = rectDefault, CWnd* parent = nullptr, LPCSTR menuName = nullptr,
              DWORD exStyle = 0, CCreateContext* context = nullptr);
  // The accelerator table of the resources; FALSE when there is none.
  BOOL LoadAccelTable(LPCSTR resourceName);
  HACCEL m_hAccelTable = nullptr;

  // The menu bar; null without one. The frame owns the menu it shows.
  CMenu* GetMenu() const;
  // Shows `menu` (the frame takes it over, a null menu removes the bar).
  BOOL SetMenu(CMenu* menu);
  // Shows the menu bar again after its top-level items changed.
  void DrawMenuBar();

  // Docks the visible bars and gives the active view (else the child
  // AFX_IDW_PANE_FIRST) what they leave.
  virtual void RecalcLayout(BOOL notify = TRUE);
  enum RepositionFlags { reposDefault = 0, reposQuery = 1 };
  // Docks the visible bars with ids first..last inside `clientRect` (the
  // client area when null) and moves child `leftOver` to the rest. With
  // reposQuery nothing moves; `leftOverRect` gets the rest either way.
  void RepositionBars(UINT first, UINT last, UINT leftOver, UINT flag = reposDefault,
                      LPRECT leftOverRect = nullptr, LPCRECT clientRect = nullptr);
  // Shows or hides the bar; without `delay` the layout follows at once.
  void ShowControlBar(CControlBar* bar, BOOL show, BOOL delay);

  // The first view created in the frame is its active view.
  CView* GetActiveView() const;
  void SetActiveView(CView* view, BOOL notify = TRUE);

  // The status bar child AFX_IDW_STATUS_BAR; its first pane is the message pane.
  CWnd* GetMessageBar() const;
  void SetMessageText(LPCSTR text);
  void SetMessageText(UINT id);
  // The prompt of command `id`: its string up to the first newline.
  virtual void GetMessageString(UINT id, CString& message) const;

  // Items without handlers are greyed in menus while this is set.
  BOOL m_bAutoMenuEnable = TRUE;

  // The normal rectangle survives minimising and maximising.
  BOOL GetWindowPlacement(WINDOWPLACEMENT* placement) const;
  BOOL SetWindowPlacement(const WINDOWPLACEMENT* placement);

  BOOL OnCmdMsg(UINT id, int code, void* extra, AFX_CMDHANDLERINFO* handlerInfo) override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
  BOOL PreCreateWindow(CREATESTRUCT& cs) override;
  void PostNcDestroy() override;

  int OnCreate(LPCREATESTRUCT cs);
  void OnDestroy();
  void OnSize(UINT type, int cx, int cy);
  // Runs the update handlers of every item of `popup`.
  void OnInitMenuPopup(CMenu* popup, UINT index, BOOL sysMenu);
  LRESULT OnSetMessageString(WPARAM id, LPARAM text);
  LRESULT OnIdleUpdateCmdUI(WPARAM disableIfNoHandler, LPARAM);

  struct State;

 protected:
  // Creates the frame's contents during WM_CREATE; the default makes the
  // context's view as child AFX_IDW_PANE_FIRST. FALSE fails the creation.
  virtual BOOL OnCreateClient(LPCREATESTRUCT cs, CCreateContext* context);
  // A view of the context's class; null when it cannot be made.
  CWnd* CreateView(CCreateContext* context, UINT id = AFX_IDW_PANE_FIRST);
  LRESULT OnSetIconMessage(WPARAM big, LPARAM icon);
  DECLARE_MESSAGE_MAP()

 private:
  std::unique_ptr<State> state_;
};

// A child window showing the frame's content; commands reach it first.
class CView : public CWnd {
  DECLARE_DYNAMIC(CView)
 public:
  BOOL Create(LPCSTR className, LPCSTR windowName, DWORD style, const RECT& rect, CWnd* parent, UINT id,
              CCreateContext* context = nullptr);
  // The frame the view sits in, or null.
  CFrameWnd* GetParentFrame() const;

  void OnPaint();
  void PostNcDestroy() override;

 protected:
  virtual void OnDraw(CDC* dc) = 0;
  DECLARE_MESSAGE_MAP()
};
