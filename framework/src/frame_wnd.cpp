#include "framework/frame_wnd.h"

#include <QApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include <algorithm>
#include <string>
#include <vector>

#include "accelerators.h"
#include "frame_idle.h"
#include "frame_menu_bar.h"
#include "framework/dc.h"
#include "framework/gdi.h"
#include "framework/list_ctrl.h"
#include "framework/win_app.h"
#include "gdi_data.h"
#include "window_classes.h"
#include "wnd_widget.h"

IMPLEMENT_DYNCREATE(CFrameWnd, CWnd)
IMPLEMENT_DYNAMIC(CView, CWnd)

const CRect CFrameWnd::rectDefault(CW_USEDEFAULT, CW_USEDEFAULT, 0, 0);

struct CFrameWnd::State {
  std::unique_ptr<CMenu> menu;
  std::string className;  // for the class icon
  HWND activeView = 0;
  UINT lastMessageId = 0;
};

namespace wf::fw {
namespace {

// Where the frame goes when the caller leaves the size to it.
constexpr int kDefaultFrameWidth = 640;
constexpr int kDefaultFrameHeight = 480;
constexpr const char* kIdlePrompt = "Ready";

thread_local std::vector<HWND> threadFrames;

// The child windows of `parent` in the order they were made.
std::vector<CWnd*> childWindows(const CWnd* parent) {
  std::vector<CWnd*> children;
  QWidget* w = widgetOf(parent->m_hWnd);
  if (!w) return children;
  // WndWidget has no meta-object of its own, so findChildren cannot pick it out.
  for (QWidget* widget : w->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    auto* child = dynamic_cast<WndWidget*>(widget);
    if (CWnd* wnd = child ? CWnd::FromHandlePermanent(child->hwnd()) : nullptr) children.push_back(wnd);
  }
  return children;
}

CWnd* childWithId(const CWnd* parent, UINT id) {
  for (CWnd* child : childWindows(parent))
    if (static_cast<UINT>(child->GetDlgCtrlID()) == id) return child;
  return nullptr;
}

// An update request of a menu item, shown through the menu model.
class MenuCmdUI : public CCmdUI {
 public:
  CMenu* m_pMenu = nullptr;
  CMenu* m_pSubMenu = nullptr;  // set while the item is a popup

  void Enable(BOOL on) override {
    CCmdUI::Enable(on);
    m_pMenu->EnableMenuItem(m_nIndex, MF_BYPOSITION | (on ? MF_ENABLED : MF_GRAYED));
  }
  void SetCheck(int check) override {
    if (m_pSubMenu) return;  // a popup's marks are its items' business
    m_pMenu->CheckMenuItem(m_nIndex, MF_BYPOSITION | (check ? MF_CHECKED : MF_UNCHECKED));
  }
  void SetRadio(BOOL on) override {
    if (m_pSubMenu) return;
    if (on)
      m_pMenu->CheckMenuRadioItem(m_nIndex, m_nIndex, m_nIndex, MF_BYPOSITION);
    else
      m_pMenu->CheckMenuItem(m_nIndex, MF_BYPOSITION | MF_UNCHECKED);
  }
  void SetText(LPCSTR text) override {
    if (m_pSubMenu) return;
    const UINT kept = m_pMenu->GetMenuState(m_nIndex, MF_BYPOSITION) &
                      (MF_GRAYED | MF_DISABLED | MF_CHECKED | MFT_RADIOCHECK);
    m_pMenu->ModifyMenu(m_nIndex, MF_BYPOSITION | MF_STRING | kept, m_nID, text);
  }
};

// Asks only whether a command is enabled.
class TestCmdUI : public CCmdUI {
 public:
  void Enable(BOOL on) override {
    CCmdUI::Enable(on);
    enabled = on;
  }
  BOOL enabled = TRUE;
};

}  // namespace

void queryEndSessionFrames() {
  const std::vector<HWND> frames = threadFrames;  // a handler may close a frame
  for (HWND hwnd : frames) {
    if (CWnd* frame = CWnd::FromHandlePermanent(hwnd)) frame->SendMessage(WM_QUERYENDSESSION, 0, 0);
  }
}

namespace {

std::string oneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\t', ' ');
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

std::mutex shownBoxesLock;
std::vector<std::string> shownBoxes;

void describeList(std::ostringstream& out, CListCtrl* list) {
  const int columns = list->GetColumnCount();
  out << "list\t" << list->GetDlgCtrlID() << "\tmode=" << (list->GetStyle() & LVS_TYPEMASK) << "\n";
  for (int c = 0; c < columns; ++c)
    out << "column\t" << c << "\t" << oneLine(list->GetColumnHeading(c).str()) << "\t"
        << list->GetColumnWidth(c) << "\n";
  for (int i = 0; i < list->GetItemCount(); ++i) {
    LVITEM item;
    item.mask = LVIF_IMAGE;
    item.iItem = i;
    list->GetItem(&item);
    out << "row\t" << i << "\timage=" << item.iImage
        << "\tselected=" << ((list->GetItemState(i, LVIS_SELECTED) & LVIS_SELECTED) ? 1 : 0);
    for (int c = 0; c < std::max(columns, 1); ++c) out << "\t" << oneLine(list->GetItemText(i, c).str());
    out << "\n";
  }
}

std::string describeFrames(std::vector<QWidget*>& widgets) {
  std::ostringstream out;
  for (HWND hwnd : threadFrames) {
    auto* frame = dynamic_cast<CFrameWnd*>(CWnd::FromHandlePermanent(hwnd));
    if (!frame) continue;
    CString title;
    frame->GetWindowText(title);
    HICON icon = frame->GetIcon(FALSE) ? frame->GetIcon(FALSE) : frame->GetIcon(TRUE);
    const char* state = !frame->IsWindowVisible() ? "hidden"
                        : frame->IsIconic()       ? "minimized"
                        : frame->IsZoomed()       ? "maximized"
                                                  : "normal";
    out << "window\t" << GetWindowClassName(hwnd).str() << "\t" << oneLine(title.str())
        << "\ticon=" << iconResourceId(icon) << "\tstate=" << state << "\n";
    if (auto* bar = dynamic_cast<CStatusBar*>(frame->GetMessageBar())) {
      for (int p = 0; p < bar->GetCount(); ++p)
        out << "pane\t" << p << "\t" << oneLine(bar->GetPaneText(p).str()) << "\n";
    }
    for (CWnd* child : childWindows(frame)) {
      if (auto* list = dynamic_cast<CListCtrl*>(child)) describeList(out, list);
    }
    widgets.push_back(widgetOf(hwnd));
  }
  // Other windows shown on their own (the splash, boxes): where they stand
  // and whether they have a frame, against the screen's size.
  std::vector<std::string> others;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
      // A box of the shell: the dialog class, as the platform's own would be.
      const QRect place = box->frameGeometry();
      std::ostringstream line;
      line << "toplevel\t#32770\t" << oneLine(box->windowTitle().toStdString()) << "\tx=" << place.x()
           << "\ty=" << place.y() << "\twidth=" << place.width() << "\theight=" << place.height()
           << "\tframeless=0\n";
      others.push_back(line.str());
      continue;
    }
    auto* top = dynamic_cast<WndWidget*>(widget);
    CWnd* wnd = top && top->isVisible() ? CWnd::FromHandlePermanent(top->hwnd()) : nullptr;
    if (!wnd || dynamic_cast<CFrameWnd*>(wnd)) continue;
    CString title;
    wnd->GetWindowText(title);
    CRect place;
    wnd->GetWindowRect(&place);
    std::ostringstream line;
    line << "toplevel\t" << GetWindowClassName(top->hwnd()).str() << "\t" << oneLine(title.str())
         << "\tx=" << place.left << "\ty=" << place.top << "\twidth=" << place.Width()
         << "\theight=" << place.Height()
         << "\tframeless=" << ((widget->windowFlags() & Qt::FramelessWindowHint) ? 1 : 0) << "\n";
    others.push_back(line.str());
  }
  if (!others.empty()) {
    std::sort(others.begin(), others.end());
    out << "screen\twidth=" << GetSystemMetrics(SM_CXSCREEN) << "\theight=" << GetSystemMetrics(SM_CYSCREEN)
        << "\n";
    for (const std::string& line : others) out << line;
  }
  std::lock_guard lock(shownBoxesLock);
  for (const std::string& line : shownBoxes) out << line;
  return out.str();
}

void replaceFile(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream file(temporary, std::ios::trunc);
    file << text;
    if (!file) return;
  }
  std::rename(temporary.c_str(), path.c_str());
}

}  // namespace

void writeUiSnapshot() {
  static std::string last;
  const char* path = std::getenv("WRENFIELD_UI_SNAPSHOT");
  if (!path || !*path) return;
  std::vector<QWidget*> widgets;
  const std::string text = describeFrames(widgets);
  if (text == last) return;
  last = text;
  replaceFile(path, text);
  const char* pictures = std::getenv("WRENFIELD_UI_PICTURES");
  if (!pictures || !*pictures) return;
  for (std::size_t n = 0; n < widgets.size(); ++n) {
    if (!widgets[n]) continue;
    const std::string file = std::string(pictures) + "/frame" + std::to_string(n + 1) + ".png";
    widgets[n]->grab().save(QString::fromStdString(file + ".tmp.png"));
    std::rename((file + ".tmp.png").c_str(), file.c_str());
  }
}

void recordShownBox(const std::string& caption, const std::string& text, int answer) {
  {
    std::lock_guard lock(shownBoxesLock);
    shownBoxes.push_back("box\t" + oneLine(caption) + "\t" + oneLine(text) + "\t" + std::to_string(answer) + "\n");
  }
  writeUiSnapshot();
}

void idleUpdateFrames(CWnd* mainWindow) {
  if (mainWindow && mainWindow->m_hWnd) mainWindow->SendMessage(WM_IDLEUPDATECMDUI, TRUE, 0);
  const std::vector<HWND> frames = threadFrames;  // a handler may close a frame
  for (HWND hwnd : frames) {
    if (mainWindow && hwnd == mainWindow->m_hWnd) continue;
    CWnd* frame = CWnd::FromHandlePermanent(hwnd);
    if (frame && frame->IsWindowVisible()) frame->SendMessage(WM_IDLEUPDATECMDUI, TRUE, 0);
  }
}

}  // namespace wf::fw

// ---- CFrameWnd ----

BEGIN_MESSAGE_MAP(CFrameWnd, CWnd)
ON_WM_CREATE()
ON_WM_DESTROY()
ON_WM_SIZE()
WF_ON_STD(WM_INITMENUPOPUP, WF_THIS->OnInitMenuPopup(CMenu::FromHandle(reinterpret_cast<HMENU>(c.wParam)),
                                                     LOWORD(c.lParam), HIWORD(c.lParam));
          return 0;)
ON_MESSAGE(WM_SETMESSAGESTRING, OnSetMessageString)
ON_MESSAGE(WM_IDLEUPDATECMDUI, OnIdleUpdateCmdUI)
ON_MESSAGE(WM_SETICON, OnSetIconMessage)
END_MESSAGE_MAP()

CFrameWnd::CFrameWnd() : state_(std::make_unique<State>()) {}
CFrameWnd::~CFrameWnd() = default;

BOOL CFrameWnd::Create(LPCSTR className, LPCSTR windowName, DWORD style, const RECT& rect, CWnd* parent,
                       LPCSTR menuName, DWORD exStyle, CCreateContext* context) {
  if (m_hWnd) return FALSE;
  if (menuName) {
    auto menu = std::make_unique<CMenu>();
    if (!menu->LoadMenu(wf::fw::ResourceId(menuName))) return FALSE;
    state_->menu = std::move(menu);
  }
  const bool placedByFrame = rect.left == CW_USEDEFAULT;
  const int x = placedByFrame ? 0 : rect.left;
  const int y = placedByFrame ? 0 : rect.top;
  const int width = placedByFrame ? 0 : rect.right - rect.left;
  const int height = placedByFrame ? 0 : rect.bottom - rect.top;
  // A failed creation destroys the window, and with it this object.
  return CreateEx(exStyle, className, windowName, style, x, y, width, height, parent ? parent->m_hWnd : 0, 0,
                  context);
}

BOOL CFrameWnd::PreCreateWindow(CREATESTRUCT& cs) {
  if (!cs.lpszClass || !*cs.lpszClass) cs.lpszClass = kAfxFrameOrViewClass;
  return CWnd::PreCreateWindow(cs);
}

void CFrameWnd::PostNcDestroy() {
  delete this;
}

BOOL CFrameWnd::LoadAccelTable(LPCSTR resourceName) {
  if (!resourceName) return FALSE;
  const auto* table = wf::fw::findAccelerators(wf::fw::ResourceId(resourceName));
  if (!table) return FALSE;
  m_hAccelTable = table;
  wf::fw::translateFrameAccelerators();
  return TRUE;
}

int CFrameWnd::OnCreate(LPCREATESTRUCT cs) {
  if (CWnd::OnCreate(cs) == -1) return -1;
  wf::fw::threadFrames.push_back(m_hWnd);
  state_->className = cs->lpszClass ? cs->lpszClass : "";
  if (QWidget* w = wf::fw::widgetOf(m_hWnd)) {
    if ((cs->cx <= 0 || cs->cy <= 0) && w->isWindow())
      w->resize(wf::fw::kDefaultFrameWidth, wf::fw::kDefaultFrameHeight);
    if (state_->menu) wf::fw::showMenuBar(w, m_hWnd, state_->menu->m_hMenu);
    w->setWindowIcon(wf::fw::toQIcon(wf::fw::classIcon(cs->lpszClass)));
  }
  if (!OnCreateClient(cs, static_cast<CCreateContext*>(cs->lpCreateParams))) return -1;
  RecalcLayout();
  return 0;
}

void CFrameWnd::OnDestroy() {
  auto& frames = wf::fw::threadFrames;
  frames.erase(std::remove(frames.begin(), frames.end(), m_hWnd), frames.end());
  CWnd::OnDestroy();
}

void CFrameWnd::OnSize(UINT type, int cx, int cy) {
  CWnd::OnSize(type, cx, cy);
  if (type != SIZE_MINIMIZED) RecalcLayout();
}

BOOL CFrameWnd::OnCreateClient(LPCREATESTRUCT, CCreateContext* context) {
  if (context && context->m_pNewViewClass) return CreateView(context, AFX_IDW_PANE_FIRST) != nullptr;
  return TRUE;
}

CWnd* CFrameWnd::CreateView(CCreateContext* context, UINT id) {
  if (!context || !context->m_pNewViewClass) return nullptr;
  CObject* object = context->m_pNewViewClass->CreateObject();
  auto* view = dynamic_cast<CView*>(object);
  if (!view) {
    delete object;
    return nullptr;
  }
  // A view whose window could not be made has deleted itself.
  if (!view->Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, CRect(0, 0, 0, 0), this, id, context))
    return nullptr;
  return view;
}

CMenu* CFrameWnd::GetMenu() const {
  return state_->menu.get();
}

BOOL CFrameWnd::SetMenu(CMenu* menu) {
  if (menu == state_->menu.get()) {
    DrawMenuBar();
    return TRUE;
  }
  std::unique_ptr<CMenu> taken;
  if (menu) {
    taken = std::make_unique<CMenu>();
    if (!taken->Attach(menu->Detach())) return FALSE;
  }
  state_->menu = std::move(taken);
  DrawMenuBar();
  RecalcLayout();
  return TRUE;
}

void CFrameWnd::DrawMenuBar() {
  if (QWidget* w = wf::fw::widgetOf(m_hWnd))
    wf::fw::showMenuBar(w, m_hWnd, state_->menu ? state_->menu->m_hMenu : nullptr);
}

void CFrameWnd::RecalcLayout(BOOL) {
  CView* view = GetActiveView();
  RepositionBars(0, 0xFFFF, view ? static_cast<UINT>(view->GetDlgCtrlID()) : AFX_IDW_PANE_FIRST);
}

void CFrameWnd::RepositionBars(UINT first, UINT last, UINT leftOver, UINT flag, LPRECT leftOverRect,
                               LPCRECT clientRect) {
  CRect rest;
  if (clientRect)
    rest = *clientRect;
  else
    GetClientRect(&rest);
  for (CWnd* child : wf::fw::childWindows(this)) {
    auto* bar = dynamic_cast<CControlBar*>(child);
    const UINT id = static_cast<UINT>(child->GetDlgCtrlID());
    if (!bar || id < first || id > last || !bar->IsWindowVisible()) continue;
    const int height = std::min<int>(bar->CalcFixedLayout(TRUE, TRUE).cy, std::max<int>(0, rest.Height()));
    CRect place;
    if (bar->GetBarStyle() & CBRS_ALIGN_BOTTOM) {
      place = CRect(rest.left, rest.bottom - height, rest.right, rest.bottom);
      rest.bottom -= height;
    } else {
      place = CRect(rest.left, rest.top, rest.right, rest.top + height);
      rest.top += height;
    }
    if (flag != reposQuery) bar->MoveWindow(&place);
  }
  if (leftOverRect) *leftOverRect = rest;
  if (flag == reposQuery) return;
  if (CWnd* child = wf::fw::childWithId(this, leftOver)) child->MoveWindow(&rest);
}

void CFrameWnd::ShowControlBar(CControlBar* bar, BOOL show, BOOL delay) {
  if (!bar) return;
  bar->ShowWindow(show ? SW_SHOW : SW_HIDE);
  if (!delay) RecalcLayout();
}

CView* CFrameWnd::GetActiveView() const {
  return dynamic_cast<CView*>(CWnd::FromHandlePermanent(state_->activeView));
}

void CFrameWnd::SetActiveView(CView* view, BOOL) {
  state_->activeView = view ? view->m_hWnd : 0;
}

CWnd* CFrameWnd::GetMessageBar() const {
  return wf::fw::childWithId(this, AFX_IDW_STATUS_BAR);
}

void CFrameWnd::SetMessageText(LPCSTR text) {
  CWnd* bar = GetMessageBar();
  if (auto* status = dynamic_cast<CStatusBar*>(bar))
    status->SetPaneText(0, text);
  else if (bar)
    bar->SetWindowText(text);
}

void CFrameWnd::SetMessageText(UINT id) {
  CString message;
  GetMessageString(id, message);
  SetMessageText(static_cast<LPCSTR>(message));
}

void CFrameWnd::GetMessageString(UINT id, CString& message) const {
  if (message.LoadString(id)) {
    if (const int end = message.Find('\n'); end >= 0) message = message.Left(end);
  } else {
    message = id == AFX_IDS_IDLEMESSAGE ? CString(wf::fw::kIdlePrompt) : CString();
  }
}

LRESULT CFrameWnd::OnSetMessageString(WPARAM id, LPARAM text) {
  if (text)
    SetMessageText(reinterpret_cast<LPCSTR>(text));
  else if (id)
    SetMessageText(static_cast<UINT>(id));
  else
    SetMessageText("");
  return std::exchange(state_->lastMessageId, static_cast<UINT>(id));
}

LRESULT CFrameWnd::OnIdleUpdateCmdUI(WPARAM disableIfNoHandler, LPARAM) {
  for (CWnd* child : wf::fw::childWindows(this))
    if (dynamic_cast<CControlBar*>(child)) child->SendMessage(WM_IDLEUPDATECMDUI, disableIfNoHandler, 0);
  return 0;
}

LRESULT CFrameWnd::OnSetIconMessage(WPARAM, LPARAM) {
  const LRESULT previous = Default();
  // With no icon of its own the window shows its class's.
  if (!GetIcon(TRUE) && !GetIcon(FALSE)) {
    if (QWidget* w = wf::fw::widgetOf(m_hWnd))
      w->setWindowIcon(wf::fw::toQIcon(wf::fw::classIcon(state_->className.c_str())));
  }
  return previous;
}

void CFrameWnd::OnInitMenuPopup(CMenu* popup, UINT, BOOL sysMenu) {
  if (sysMenu || !popup) return;
  wf::fw::MenuCmdUI state;
  state.m_pMenu = popup;
  // A handler may rebuild the popup while the pass runs: each step takes the
  // items as they stand now and updates the first one not yet asked, so an
  // item moved, removed or added is asked at most once.
  std::vector<UINT> askedIds;
  std::vector<HMENU> askedPopups;
  for (;;) {
    const UINT count = popup->GetMenuItemCount();
    bool found = false;
    for (UINT index = 0; index < count && !found; ++index) {
      const UINT id = popup->GetMenuItemID(static_cast<int>(index));
      if (id == 0) continue;  // separator
      if (id == 0xFFFFFFFF) {
        CMenu* sub = popup->GetSubMenu(static_cast<int>(index));
        const HMENU handle = sub ? sub->GetSafeHmenu() : nullptr;
        if (!handle || std::find(askedPopups.begin(), askedPopups.end(), handle) != askedPopups.end())
          continue;
        askedPopups.push_back(handle);
        found = true;
        // A popup item follows the update of its first command.
        state.m_nIndex = index;
        state.m_pSubMenu = sub;
        state.m_nID = sub->GetMenuItemID(0);
        if (state.m_nID == 0 || state.m_nID == 0xFFFFFFFF) continue;
        state.DoUpdate(this, FALSE);
      } else {
        if (std::find(askedIds.begin(), askedIds.end(), id) != askedIds.end()) continue;
        askedIds.push_back(id);
        found = true;
        state.m_nIndex = index;
        state.m_pSubMenu = nullptr;
        state.m_nID = id;
        // System commands are never greyed for want of a handler.
        state.DoUpdate(this, m_bAutoMenuEnable && id < 0xF000);
      }
    }
    if (!found) return;
  }
}

BOOL CFrameWnd::OnCmdMsg(UINT id, int code, void* extra, AFX_CMDHANDLERINFO* handlerInfo) {
  if (CView* view = GetActiveView(); view && view->OnCmdMsg(id, code, extra, handlerInfo)) return TRUE;
  if (CWnd::OnCmdMsg(id, code, extra, handlerInfo)) return TRUE;
  CWinApp* app = AfxGetApp();
  return app && app->OnCmdMsg(id, code, extra, handlerInfo);
}

BOOL CFrameWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
  const UINT id = LOWORD(wParam);
  int code = HIWORD(wParam);
  if (lParam == 0) {
    // A menu (0) or accelerator (1) command.
    if (id == 0) return FALSE;
    // One that became disabled since the menu was shown is dropped.
    wf::fw::TestCmdUI test;
    test.m_nID = id;
    OnCmdMsg(id, CN_UPDATE_COMMAND_UI, &test, nullptr);
    if (!test.enabled) return TRUE;
    code = CN_COMMAND;
  }
  return OnCmdMsg(id, code, nullptr, nullptr);
}

BOOL CFrameWnd::GetWindowPlacement(WINDOWPLACEMENT* placement) const {
  QWidget* w = wf::fw::widgetOf(m_hWnd);
  if (!w || !placement) return FALSE;
  placement->flags = 0;
  placement->showCmd = IsIconic() ? SW_SHOWMINIMIZED : IsZoomed() ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
  QRect normal = wf::fw::outerGeometry(w);
  if (w->isWindow() && w->normalGeometry().isValid())
    normal = w->normalGeometry().marginsAdded(wf::fw::frameMargins(w));
  placement->rcNormalPosition =
      CRect(normal.x(), normal.y(), normal.x() + normal.width(), normal.y() + normal.height());
  return TRUE;
}

BOOL CFrameWnd::SetWindowPlacement(const WINDOWPLACEMENT* placement) {
  QWidget* w = wf::fw::widgetOf(m_hWnd);
  if (!w || !placement) return FALSE;
  // Placed as a normal window first, so the rectangle is the one restore returns to.
  if (w->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)) w->setWindowState(Qt::WindowNoState);
  const RECT& r = placement->rcNormalPosition;
  wf::fw::setOuterGeometry(w, QRect(r.left, r.top, r.right - r.left, r.bottom - r.top));
  switch (placement->showCmd) {
    case SW_HIDE:
      ShowWindow(SW_HIDE);
      break;
    case SW_SHOWMINIMIZED:
      ShowWindow(SW_MINIMIZE);
      break;
    case SW_SHOWMAXIMIZED:
      ShowWindow(SW_MAXIMIZE);
      break;
    default:
      ShowWindow(SW_SHOWNORMAL);
      break;
  }
  return TRUE;
}

// ---- CView ----

BEGIN_MESSAGE_MAP(CView, CWnd)
ON_WM_PAINT()
END_MESSAGE_MAP()

BOOL CView::Create(LPCSTR className, LPCSTR windowName, DWORD style, const RECT& rect, CWnd* parent, UINT id,
                   CCreateContext* context) {
  if (!CreateEx(0, className ? className : kAfxFrameOrViewClass, windowName, style | WS_CHILD, rect.left,
                rect.top, rect.right - rect.left, rect.bottom - rect.top, parent ? parent->m_hWnd : 0, id,
                context))
    return FALSE;
  if (CFrameWnd* frame = GetParentFrame(); frame && !frame->GetActiveView()) frame->SetActiveView(this);
  return TRUE;
}

CFrameWnd* CView::GetParentFrame() const {
  for (CWnd* w = GetParent(); w; w = w->GetParent())
    if (auto* frame = dynamic_cast<CFrameWnd*>(w)) return frame;
  return nullptr;
}

void CView::OnPaint() {
  CPaintDC dc(this);
  OnDraw(&dc);
}

void CView::PostNcDestroy() {
  delete this;
}
