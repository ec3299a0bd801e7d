// Frame windows: a printer-window-like frame with menu bar, toolbar, status
// bar, accelerators and a view; command routing and update handlers; bar
// layout; prompts; placement; classes and icons seen from another process.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "accelerators.h"
#include "child_process.h"
#include "framework/frame_wnd.h"
#include "framework/virtual_keys.h"
#include "framework/win_app.h"
#include "gui_pump.h"
#include "test_resources.h"
#include "window_client.h"
#include "wnd_widget.h"

// Rectangles print as their edges in failures.
[[maybe_unused]] static void PrintTo(const CRect& r, std::ostream* os) {
  *os << "(" << r.left << "," << r.top << ")-(" << r.right << "," << r.bottom << ")";
}

namespace {

using wf::fw::testing::pumpUntil;

std::vector<std::string>& events() {
  static std::vector<std::string> log;
  return log;
}

// Drains posted commands: a sentinel posted last comes back after them.
constexpr UINT kSentinel = WM_USER + 77;

class PrinterView : public CView {
  DECLARE_DYNCREATE(PrinterView)
 protected:
  void OnDraw(CDC*) override {}
  void OnCopy() { events().push_back("view copy"); }
  DECLARE_MESSAGE_MAP()
};
IMPLEMENT_DYNCREATE(PrinterView, CView)
BEGIN_MESSAGE_MAP(PrinterView, CView)
ON_COMMAND(32789, OnCopy)
END_MESSAGE_MAP()

class PrinterFrame : public CFrameWnd {
 public:
  PrinterFrame() { ++alive; }
  ~PrinterFrame() override { --alive; }
  static inline int alive = 0;

  CToolBar toolBar;
  CStatusBar statusBar;
  UINT viewMode = 1100;
  BOOL saving = TRUE;
  BOOL refreshEnabled = TRUE;
  int printers = 3;
  UINT countPane = 170;  // a pane id without a string fails the creation
  std::vector<std::string> windowTitles{"First", "Second"};

  BOOL create(CRect rect = CRect(20, 30, 420, 330)) {
    CCreateContext context{RUNTIME_CLASS(PrinterView), this};
    if (!Create(nullptr, "Printers", WS_OVERLAPPEDWINDOW, rect, nullptr, MAKEINTRESOURCE(128), 0, &context))
      return FALSE;
    LoadAccelTable(MAKEINTRESOURCE(128));
    ShowWindow(SW_SHOW);
    return TRUE;
  }

 protected:
  BOOL OnCreateClient(LPCREATESTRUCT cs, CCreateContext* context) override {
    if (!toolBar.Create(this, WS_CHILD | WS_VISIBLE | CBRS_TOP) || !toolBar.LoadToolBar(128)) return FALSE;
    toolBar.SetBarStyle(toolBar.GetBarStyle() | CBRS_TOOLTIPS | CBRS_FLYBY);
    const UINT indicators[] = {ID_SEPARATOR, countPane};
    if (!statusBar.Create(this) || !statusBar.SetIndicators(indicators, 2)) return FALSE;
    statusBar.SetPaneInfo(1, countPane, SBPS_STRETCH, 80);
    return CFrameWnd::OnCreateClient(cs, context);
  }

  void OnRefresh() { events().push_back("refresh"); }
  void OnUpdateRefresh(CCmdUI* ui) { ui->Enable(refreshEnabled); }
  void OnViewMode(UINT id) {
    viewMode = id;
    events().push_back("view mode " + std::to_string(id));
  }
  void OnUpdateViewMode(CCmdUI* ui) { ui->SetRadio(ui->m_nID == viewMode); }
  void OnCopy() { events().push_back("frame copy"); }
  void OnUpdateSave(CCmdUI* ui) { ui->SetCheck(saving); }
  void OnSave() { saving = !saving; }
  void OnUpdateCount(CCmdUI* ui) {
    char text[32];
    std::snprintf(text, sizeof text, "%i printer(s)", printers);
    ui->SetText(text);
    ui->Enable(TRUE);
  }
  // Rebuilds the Window popup from the open windows, as it opens.
  void OnUpdateWindowList(CCmdUI*) {
    CMenu* window = GetMenu()->GetSubMenu(2);
    while (window->DeleteMenu(32807, MF_BYCOMMAND)) {
    }
    for (std::size_t i = 0; i < windowTitles.size(); ++i)
      window->AppendMenu(MF_STRING, 32807 + i,
                         ("&" + std::to_string(i + 1) + ". " + windowTitles[i]).c_str());
  }
  LRESULT OnSentinel(WPARAM, LPARAM) {
    events().push_back("sentinel");
    return 0;
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(PrinterFrame, CFrameWnd)
ON_COMMAND(32819, OnRefresh)
ON_UPDATE_COMMAND_UI(32819, OnUpdateRefresh)
ON_COMMAND_RANGE(1100, 1101, OnViewMode)
ON_UPDATE_COMMAND_UI_RANGE(1100, 1101, OnUpdateViewMode)
ON_COMMAND(32789, OnCopy)
ON_COMMAND(32834, OnSave)
ON_UPDATE_COMMAND_UI(32834, OnUpdateSave)
ON_UPDATE_COMMAND_UI(170, OnUpdateCount)
ON_UPDATE_COMMAND_UI(32807, OnUpdateWindowList)
ON_MESSAGE(kSentinel, OnSentinel)
END_MESSAGE_MAP()

// The application takes what neither view nor frame handles.
class RoutingApp : public CWinApp {
 public:
  RoutingApp() : CWinApp("FrameTests") {}

 protected:
  void OnNewWindow() { events().push_back("app new window"); }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(RoutingApp, CWinApp)
ON_COMMAND(32786, OnNewWindow)
END_MESSAGE_MAP()

QMenuBar* menuBarOf(CWnd* frame) {
  return wf::fw::widgetOf(frame->m_hWnd)->findChild<QMenuBar*>();
}

// The popup of the menu bar with that title, brought up to date as when it opens.
QMenu* openPopup(CWnd* frame, const QString& title) {
  for (QAction* action : menuBarOf(frame)->actions()) {
    if (action->menu() && action->text() == title) {
      emit action->menu()->aboutToShow();
      return action->menu();
    }
  }
  return nullptr;
}

QAction* actionNamed(QMenu* menu, const QString& text) {
  for (QAction* action : menu->actions())
    if (action->text() == text) return action;
  return nullptr;
}

QToolBar* toolBarOf(CToolBar& bar) {
  return wf::fw::widgetOf(bar.m_hWnd)->findChild<QToolBar*>();
}

QAction* buttonAction(CToolBar& bar, UINT id) {
  return toolBarOf(bar)->actions().at(bar.CommandToIndex(id));
}

QWidget* widgetOf(CWnd* wnd) {
  return wf::fw::widgetOf(wnd->m_hWnd);
}

// The rectangle of a child in its parent's client coordinates.
CRect placeOf(CWnd* child) {
  CRect r;
  child->GetWindowRect(&r);
  CPoint topLeft{r.left, r.top};
  child->GetParent()->ScreenToClient(&topLeft);
  return CRect(topLeft, r.Size());
}

// "text/flags" per item: g greyed, c checked, r radio.
std::string describe(CMenu* menu) {
  std::string s;
  for (UINT i = 0; i < menu->GetMenuItemCount(); ++i) {
    CString text;
    menu->GetMenuString(i, text, MF_BYPOSITION);
    const UINT state = menu->GetMenuState(i, MF_BYPOSITION);
    if (state & MF_SEPARATOR) {
      s += "- ";
      continue;
    }
    s += text.str();
    if (state & MF_GRAYED) s += "/g";
    if (state & MF_CHECKED) s += (state & MFT_RADIOCHECK) ? "/r" : "/c";
    s += " ";
  }
  return s;
}

class FrameWindows : public wf::fw::testing::ResourceLibraryTest {
 protected:
  FrameWindows() : ResourceLibraryTest("wftestframe") {}
  void SetUp() override {
    events().clear();
    ResourceLibraryTest::SetUp();
    if (HasFatalFailure()) return;
    frame = new PrinterFrame;
    ASSERT_TRUE(frame->create());
  }
  void TearDown() override {
    if (PrinterFrame::alive) frame->DestroyWindow();
    EXPECT_EQ(PrinterFrame::alive, 0);  // the frame deleted itself with its window
    ResourceLibraryTest::TearDown();
  }
  // Handles what was posted to the frame so far.
  void drain() {
    const std::size_t before = events().size();
    ASSERT_TRUE(frame->PostMessage(kSentinel));
    ASSERT_TRUE(pumpUntil([&] { return events().size() > before && events().back() == "sentinel"; }));
    events().pop_back();
  }
  void pressKey(int key, Qt::KeyboardModifiers modifiers, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(widgetOf(frame->GetActiveView()), &press);
  }

  PrinterFrame* frame = nullptr;
  RoutingApp app;
};

TEST_F(FrameWindows, CommandsFromMenuToolbarAndKeysGoToViewThenFrameThenApplication) {
  QMenu* printer = openPopup(frame, "&Printer");
  ASSERT_NE(printer, nullptr);
  actionNamed(printer, "&Refresh All Printers\tCtrl+R")->trigger();
  actionNamed(printer, "&Copy")->trigger();  // the view has it before the frame
  buttonAction(frame->toolBar, 1101)->trigger();
  buttonAction(frame->toolBar, 32786)->trigger();  // only the application has it
  pressKey(Qt::Key_R, Qt::ControlModifier, "\x12");
  drain();
  EXPECT_EQ(events(), (std::vector<std::string>{"refresh", "view copy", "view mode 1101", "app new window",
                                                "refresh"}));

  // A command its update handler disables is dropped, from a key as from a stale menu.
  events().clear();
  frame->refreshEnabled = FALSE;
  pressKey(Qt::Key_R, Qt::ControlModifier, "\x12");
  actionNamed(printer, "&Refresh All Printers\tCtrl+R")->trigger();
  pressKey(Qt::Key_R, Qt::NoModifier, "r");  // not in the table: no command
  drain();
  EXPECT_TRUE(events().empty());
}

TEST(Accelerators, KeysMatchWithExactlyTheirModifiers) {
  const wf::fw::res::Accelerator entries[] = {
      {wf::fw::res::FVIRTKEY | wf::fw::res::FCONTROL, 'R', 32819},
      {wf::fw::res::FVIRTKEY, VK_DELETE, 32791},
      {wf::fw::res::FVIRTKEY | wf::fw::res::FSHIFT, VK_F1, 57668},
      {wf::fw::res::FVIRTKEY, VK_F1, 57669},
      {0, '?', 57670},  // a character: its own shift does not count
  };
  const wf::fw::res::AcceleratorTable table{entries, 5};
  struct Case {
    int key;
    Qt::KeyboardModifiers modifiers;
    QString text;
    UINT command;
  };
  const Case cases[] = {
      {Qt::Key_R, Qt::ControlModifier, "\x12", 32819},
      {Qt::Key_R, Qt::NoModifier, "r", 0},
      {Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier, "\x12", 0},
      {Qt::Key_Delete, Qt::NoModifier, "", 32791},
      {Qt::Key_F1, Qt::NoModifier, "", 57669},
      {Qt::Key_F1, Qt::ShiftModifier, "", 57668},
      {Qt::Key_F1, Qt::AltModifier, "", 0},
      {Qt::Key_Question, Qt::ShiftModifier, "?", 57670},
      {Qt::Key_Question, Qt::AltModifier | Qt::ShiftModifier, "?", 0},
  };
  for (const Case& c : cases) {
    QKeyEvent key(QEvent::KeyPress, c.key, c.modifiers, c.text);
    EXPECT_EQ(wf::fw::acceleratorCommand(table, key), c.command) << c.key << " " << c.modifiers.toInt();
  }
}

TEST_F(FrameWindows, UpdateHandlersMarkMenuItemsAsThePopupOpens) {
  // Without automatic disabling an item nobody handles stays enabled.
  frame->m_bAutoMenuEnable = FALSE;
  frame->refreshEnabled = FALSE;
  QMenu* printer = openPopup(frame, "&Printer");
  EXPECT_EQ(describe(frame->GetMenu()->GetSubMenu(0)),
            "&Refresh All Printers\tCtrl+R/g - &Copy &Delete\tDel ");
  frame->m_bAutoMenuEnable = TRUE;
  frame->refreshEnabled = TRUE;
  openPopup(frame, "&Printer");
  EXPECT_EQ(describe(frame->GetMenu()->GetSubMenu(0)),
            "&Refresh All Printers\tCtrl+R - &Copy &Delete\tDel/g ");
  // The Qt menu shows the model as it was after the update.
  EXPECT_FALSE(actionNamed(printer, "&Delete\tDel")->isEnabled());
  EXPECT_TRUE(actionNamed(printer, "&Refresh All Printers\tCtrl+R")->isEnabled());

  frame->viewMode = 1101;
  frame->saving = TRUE;
  QMenu* view = openPopup(frame, "&View");
  // The sort popup's first item has no handler, so the popup itself stays as it is.
  EXPECT_EQ(
      describe(frame->GetMenu()->GetSubMenu(1)),
      "&Large Icons &Small Icons/r - S&ort Printers Sa&ve individual printers/c &Toolbar/g Status &Bar/g ");
  EXPECT_TRUE(actionNamed(view, "&Small Icons")->isChecked());
  EXPECT_FALSE(actionNamed(view, "&Large Icons")->isChecked());
  frame->viewMode = 1100;
  frame->saving = FALSE;
  openPopup(frame, "&View");
  EXPECT_EQ(
      describe(frame->GetMenu()->GetSubMenu(1)),
      "&Large Icons/r &Small Icons - S&ort Printers Sa&ve individual printers &Toolbar/g Status &Bar/g ");

  // A handler that rebuilds its popup: the menu shows the new entries and every one is updated once.
  frame->windowTitles = {"Accounting", "Basement", "Canteen"};
  QMenu* window = openPopup(frame, "&Window");
  EXPECT_EQ(describe(frame->GetMenu()->GetSubMenu(2)),
            "&New Window - &1. Accounting &2. Basement/g &3. Canteen/g ");
  QStringList shown;
  for (QAction* action : window->actions()) shown << action->text();
  EXPECT_EQ(shown.join("|"), "&New Window||&1. Accounting|&2. Basement|&3. Canteen");
}

TEST_F(FrameWindows, PopupMenusOwnedByTheFrameAreUpdatedAndTheirCommandRouted) {
  CMenu menu;
  ASSERT_TRUE(menu.LoadMenu(128));
  wf::fw::ScriptedMenuTracker tracker;
  tracker.script(1101);
  ASSERT_TRUE(menu.GetSubMenu(1)->TrackPopupMenu(TPM_RIGHTBUTTON, 5, 5, frame));
  ASSERT_EQ(tracker.calls().size(), 1u);
  EXPECT_EQ(tracker.calls()[0].items[0].flags, MF_CHECKED | MFT_RADIOCHECK);  // Large Icons is the mode
  drain();
  EXPECT_EQ(events(), std::vector<std::string>{"view mode 1101"});
}

TEST_F(FrameWindows, BarsFollowUpdateHandlersAtIdleInEveryVisibleFrame) {
  auto* second = new PrinterFrame;
  ASSERT_TRUE(second->create(CRect(60, 60, 460, 360)));
  second->printers = 12;
  second->viewMode = 1101;
  frame->printers = 1;

  CWinThread thread;
  thread.m_bAutoDelete = FALSE;
  thread.m_pMainWnd = frame;
  thread.OnIdle(0);

  for (PrinterFrame* f : {frame, second}) {
    const std::string count = std::to_string(f->printers) + " printer(s)";
    EXPECT_EQ(f->statusBar.GetPaneText(1), CString(count.c_str()));
    QStringList labels;
    for (QLabel* label : widgetOf(&f->statusBar)->findChildren<QLabel*>()) labels << label->text();
    EXPECT_TRUE(labels.contains(QString::fromStdString(count))) << labels.join("|").toStdString();
    const UINT checked = f->viewMode == 1100 ? 0 : 1;
    EXPECT_EQ(f->toolBar.GetButtonStyle(checked) & TBBS_CHECKED, TBBS_CHECKED);
    EXPECT_EQ(f->toolBar.GetButtonStyle(1 - checked) & TBBS_CHECKED, 0u);
    EXPECT_TRUE(buttonAction(f->toolBar, 1100 + checked)->isChecked());
    EXPECT_TRUE(buttonAction(f->toolBar, 32786)->isEnabled());  // the application handles it
  }

  // A hidden frame and a hidden bar are left alone.
  second->printers = 13;
  second->ShowWindow(SW_HIDE);
  frame->ShowControlBar(&frame->statusBar, FALSE, FALSE);
  frame->printers = 2;
  thread.OnIdle(0);
  EXPECT_EQ(second->statusBar.GetPaneText(1), CString("12 printer(s)"));
  EXPECT_EQ(frame->statusBar.GetPaneText(1), CString("1 printer(s)"));
  second->DestroyWindow();
}

TEST_F(FrameWindows, TheViewFillsWhatTheBarsLeaveAndHidingABarRelaysIt) {
  CRect client;
  frame->GetClientRect(&client);
  // The frame was made 400 by 300 outside; the client is its widget less the menu bar.
  EXPECT_EQ(client.Width(), widgetOf(frame)->width());
  EXPECT_EQ(client.Height(), widgetOf(frame)->height() - menuBarOf(frame)->height());
  const int width = client.Width();
  const int toolHeight = placeOf(&frame->toolBar).Height();
  const int statusHeight = placeOf(&frame->statusBar).Height();
  ASSERT_GT(toolHeight, 0);
  ASSERT_GT(statusHeight, 0);
  CView* view = frame->GetActiveView();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->GetDlgCtrlID(), static_cast<int>(AFX_IDW_PANE_FIRST));
  EXPECT_EQ(placeOf(&frame->toolBar), CRect(0, 0, width, toolHeight));
  EXPECT_EQ(placeOf(&frame->statusBar), CRect(0, client.bottom - statusHeight, width, client.bottom));
  EXPECT_EQ(placeOf(view), CRect(0, toolHeight, width, client.bottom - statusHeight));

  frame->ShowControlBar(&frame->toolBar, FALSE, FALSE);
  EXPECT_EQ(placeOf(view), CRect(0, 0, width, client.bottom - statusHeight));
  frame->ShowControlBar(&frame->statusBar, FALSE, TRUE);  // delayed: nothing moves yet
  EXPECT_EQ(placeOf(view), CRect(0, 0, width, client.bottom - statusHeight));
  frame->RecalcLayout();
  EXPECT_EQ(placeOf(view), CRect(0, 0, width, client.bottom));

  // Resizing the frame lays it out again.
  frame->ShowControlBar(&frame->toolBar, TRUE, FALSE);
  frame->MoveWindow(20, 30, 500, 400);  // the outer frame: the client is narrower by the frame's edges
  frame->GetClientRect(&client);
  EXPECT_GT(client.right, 400);
  EXPECT_EQ(placeOf(view), CRect(0, toolHeight, client.right, client.bottom));
  CRect rest;
  frame->RepositionBars(AFX_IDW_CONTROLBAR_FIRST, AFX_IDW_CONTROLBAR_LAST, 0, CFrameWnd::reposQuery, &rest);
  EXPECT_EQ(rest, CRect(0, toolHeight, client.right, client.bottom));
}

TEST_F(FrameWindows, TheMessagePaneShowsPromptsOfMenusAndButtons) {
  struct Case {
    WPARAM id;
    LPCSTR text;
    const char* shown;
  };
  const Case cases[] = {
      {32789, nullptr, "Copy printer(s)."},
      {1100, nullptr, "Show the printers as large icons"},  // up to the tip
      {AFX_IDS_IDLEMESSAGE, nullptr, "Ready"},
      {4242, nullptr, ""},  // no string
      {0, "Looking for printers...", "Looking for printers..."},
  };
  UINT previous = 0;
  for (const Case& c : cases) {
    EXPECT_EQ(frame->SendMessage(WM_SETMESSAGESTRING, c.id, reinterpret_cast<LPARAM>(c.text)),
              static_cast<LRESULT>(previous));
    EXPECT_EQ(frame->statusBar.GetPaneText(0), CString(c.shown)) << c.id;
    previous = static_cast<UINT>(c.id);
  }

  // Fly-by prompts from the toolbar and the menu, tool tips from the strings.
  QWidget* newWindow = toolBarOf(frame->toolBar)->widgetForAction(buttonAction(frame->toolBar, 32786));
  QEvent enter(QEvent::Enter);
  QApplication::sendEvent(newWindow, &enter);
  EXPECT_EQ(frame->statusBar.GetPaneText(0), CString("Open another printer window"));
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(newWindow, &leave);
  EXPECT_EQ(frame->statusBar.GetPaneText(0), CString("Ready"));
  EXPECT_EQ(buttonAction(frame->toolBar, 1100)->toolTip(), "Large Icons");
  actionNamed(openPopup(frame, "&Printer"), "&Refresh All Printers\tCtrl+R")->hover();
  EXPECT_EQ(frame->statusBar.GetPaneText(0), CString("Look for printers again"));

  // Without CBRS_FLYBY and CBRS_TOOLTIPS the buttons say nothing.
  frame->toolBar.SetBarStyle(CBRS_TOP);
  QApplication::sendEvent(newWindow, &enter);
  EXPECT_EQ(frame->statusBar.GetPaneText(0), CString("Look for printers again"));
  EXPECT_EQ(buttonAction(frame->toolBar, 1100)->toolTip(), "");
}

TEST_F(FrameWindows, ThePlacementKeepsTheNormalRectangleWhileMaximisedOrMinimised) {
  WINDOWPLACEMENT placement;
  ASSERT_TRUE(frame->GetWindowPlacement(&placement));
  EXPECT_EQ(placement.showCmd, static_cast<UINT>(SW_SHOWNORMAL));
  EXPECT_EQ(CRect(placement.rcNormalPosition), CRect(20, 30, 420, 330));

  frame->ShowWindow(SW_MAXIMIZE);
  ASSERT_TRUE(pumpUntil([&] { return widgetOf(frame)->isMaximized(); }));
  ASSERT_TRUE(frame->GetWindowPlacement(&placement));
  EXPECT_EQ(placement.showCmd, static_cast<UINT>(SW_SHOWMAXIMIZED));
  EXPECT_EQ(CRect(placement.rcNormalPosition), CRect(20, 30, 420, 330));

  frame->SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
  ASSERT_TRUE(pumpUntil([&] { return !widgetOf(frame)->isMaximized(); }));
  ASSERT_TRUE(frame->GetWindowPlacement(&placement));
  EXPECT_EQ(placement.showCmd, static_cast<UINT>(SW_SHOWNORMAL));
  CRect outer;
  frame->GetWindowRect(&outer);
  EXPECT_EQ(outer, CRect(20, 30, 420, 330));

  // A saved placement comes back maximised over its own normal rectangle.
  placement.rcNormalPosition = CRect(50, 60, 350, 260);
  placement.showCmd = SW_SHOWMAXIMIZED;
  ASSERT_TRUE(frame->SetWindowPlacement(&placement));
  ASSERT_TRUE(pumpUntil([&] { return widgetOf(frame)->isMaximized(); }));
  EXPECT_TRUE(frame->IsZoomed());
  WINDOWPLACEMENT again;
  frame->GetWindowPlacement(&again);
  EXPECT_EQ(CRect(again.rcNormalPosition), CRect(50, 60, 350, 260));
  frame->ShowWindow(SW_MINIMIZE);
  ASSERT_TRUE(pumpUntil([&] { return frame->IsIconic() && widgetOf(frame)->isMinimized(); }));
  frame->GetWindowPlacement(&again);
  EXPECT_EQ(again.showCmd, static_cast<UINT>(SW_SHOWMINIMIZED));
  EXPECT_EQ(CRect(again.rcNormalPosition), CRect(50, 60, 350, 260));
}

TEST_F(FrameWindows, AFrameWhoseContentsCannotBeMadeIsDestroyedAndDeletesItself) {
  auto* broken = new PrinterFrame;
  broken->countPane = 4242;  // no string for the pane
  EXPECT_FALSE(broken->create());
  EXPECT_EQ(PrinterFrame::alive, 1);  // only the fixture's frame is left
}

// The class icon the application registers for its frames: a yellow square.
QColor centreOf(QWidget* w) {
  return w->windowIcon().pixmap(16, 16).toImage().pixelColor(8, 8);
}

TEST_F(FrameWindows, ATopLevelFrameIsFoundByClassFromAnotherProcessAndShowsItsIcons) {
  WNDCLASS windowClass;
  ASSERT_TRUE(GetClassInfo(nullptr, "afxframeorview", &windowClass));  // names match without case
  HICON classIcon = LoadIcon(nullptr, 128);
  ASSERT_NE(classIcon, nullptr);
  windowClass.hIcon = classIcon;
  windowClass.lpszClassName = "WrenfieldTestMainFrame";
  ASSERT_TRUE(AfxRegisterClass(&windowClass));
  EXPECT_FALSE(GetClassInfo(nullptr, "NoSuchClass", &windowClass));
  EXPECT_STREQ(AfxRegisterWndClass(CS_HREDRAW | CS_VREDRAW, nullptr, nullptr, classIcon),
               AfxRegisterWndClass(CS_HREDRAW | CS_VREDRAW, nullptr, nullptr, classIcon));

  auto* main = new CFrameWnd;
  ASSERT_TRUE(
      main->Create("WrenfieldTestMainFrame", "Wrenfield", WS_OVERLAPPEDWINDOW, CRect(0, 0, 300, 200)));
  wf::testing::ChildProcess child;
  wf::testing::WindowClient windows(child);
  EXPECT_EQ(windows.find("WrenfieldTestMainFrame"), main->m_hWnd);
  EXPECT_EQ(centreOf(widgetOf(main)), QColor(255, 255, 0));

  // Its own icon, posted as the printer windows do, replaces the class's; taking it away brings that back.
  HICON red = wf::fw::testing::solidIcon(16, RGB(255, 0, 0));
  ASSERT_TRUE(main->PostMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(red)));
  ASSERT_TRUE(pumpUntil([&] { return centreOf(widgetOf(main)) == QColor(255, 0, 0); }));
  EXPECT_EQ(main->SetIcon(nullptr, FALSE), red);
  EXPECT_EQ(centreOf(widgetOf(main)), QColor(255, 255, 0));

  main->DestroyWindow();  // deletes the frame
  EXPECT_EQ(windows.find("WrenfieldTestMainFrame"), 0u);
  DestroyIcon(red);
  DestroyIcon(classIcon);
}

}  // namespace
