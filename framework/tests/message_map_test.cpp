#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/wnd.h"

namespace {

constexpr UINT WM_PING = WM_USER + 1;
constexpr UINT WM_OVERRIDDEN = WM_USER + 2;
constexpr UINT kColumnClickNotification = static_cast<UINT>(-108);

class BaseWnd : public CWnd {
 public:
  std::vector<std::string> log;

 protected:
  LRESULT OnPing(WPARAM w, LPARAM l) {
    log.push_back("base ping " + std::to_string(w) + " " + std::to_string(l));
    return 42;
  }
  LRESULT OnOverriddenInBase(WPARAM, LPARAM) {
    log.push_back("base overridden");
    return 1;
  }
  void OnOpen() { log.push_back("base open"); }
  void OnShared() { log.push_back("base shared"); }
  void OnUpdateOpen(CCmdUI* ui) {
    ui->SetCheck(1);
    ui->SetText("Open");
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(BaseWnd, CWnd)
ON_MESSAGE(WM_PING, OnPing)
ON_MESSAGE(WM_OVERRIDDEN, OnOverriddenInBase)
ON_COMMAND(100, OnOpen)
ON_COMMAND(300, OnShared)
ON_UPDATE_COMMAND_UI(100, OnUpdateOpen)
END_MESSAGE_MAP()

class DerivedWnd : public BaseWnd {
 protected:
  LRESULT OnOverridden(WPARAM, LPARAM) {
    log.push_back("derived overridden");
    return 2;
  }
  void OnPage(UINT id) { log.push_back("page " + std::to_string(id)); }
  BOOL OnShareEx(UINT id) {
    log.push_back("derived ex " + std::to_string(id));
    return FALSE;  // let the base handle it too
  }
  BOOL OnViewEx(UINT id) {
    log.push_back("view ex " + std::to_string(id));
    return TRUE;
  }
  void OnColumnClick(NMHDR* header, LRESULT* result) {
    log.push_back("column click from " + std::to_string(header->idFrom));
    *result = 7;
  }
  void OnClicked() { log.push_back("clicked"); }
  void OnEdited() { log.push_back("edited"); }
  void OnListSel() { log.push_back("list selection"); }
  void OnComboSel() { log.push_back("combo selection"); }
  void OnUpdatePage(CCmdUI* ui) { ui->Enable(ui->m_nID != 203); }
  void OnSize(UINT type, int cx, int cy) {
    log.push_back("size " + std::to_string(type) + " " + std::to_string(cx) + "x" + std::to_string(cy));
  }
  void OnSysCommand(UINT id, LPARAM l) {
    log.push_back("syscommand " + std::to_string(id));
    if ((id & 0xFFF0) != SC_KEYMENU) CWnd::OnSysCommand(id, l);
  }
  BOOL OnQueryEndSession() {
    log.push_back("query end session");
    return CWnd::OnQueryEndSession();
  }
  void OnTimer(UINT_PTR id) { log.push_back("timer " + std::to_string(id)); }
  void OnContextMenu(CWnd*, CPoint p) {
    log.push_back("context " + std::to_string(p.x) + "," + std::to_string(p.y));
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(DerivedWnd, BaseWnd)
ON_MESSAGE(WM_OVERRIDDEN, OnOverridden)
ON_COMMAND_RANGE(200, 205, OnPage)
ON_COMMAND_EX(300, OnShareEx)
ON_COMMAND_EX_RANGE(109, 113, OnViewEx)
ON_NOTIFY(kColumnClickNotification, 100, OnColumnClick)
ON_BN_CLICKED(400, OnClicked)
ON_EN_CHANGE(401, OnEdited)
ON_LBN_SELCHANGE(402, OnListSel)
ON_CBN_SELCHANGE(403, OnComboSel)
ON_UPDATE_COMMAND_UI_RANGE(200, 205, OnUpdatePage)
ON_WM_SIZE()
ON_WM_SYSCOMMAND()
ON_WM_QUERYENDSESSION()
ON_WM_TIMER()
ON_WM_CONTEXTMENU()
END_MESSAGE_MAP()

// Records what the handlers asked of the item.
class RecordingCmdUI : public CCmdUI {
 public:
  void Enable(BOOL on) override {
    CCmdUI::Enable(on);
    enabled = on;
  }
  void SetCheck(int check) override { checked = check; }
  void SetText(LPCSTR text) override { this->text = text; }
  int enabled = -1;
  int checked = -1;
  std::string text;
};

class MessageMaps : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(wnd.CreateEx(0, "MapTest", "maps", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, 0));
    wnd.log.clear();  // creation may already bring a size
  }
  LRESULT command(UINT id, UINT code = 0) { return wnd.SendMessage(WM_COMMAND, MAKELONG(id, code), 0); }
  DerivedWnd wnd;
};

}  // namespace

TEST_F(MessageMaps, EachMessageReachesItsHandlerThroughTheChain) {
  struct Case {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result;
    std::vector<std::string> log;
  };
  const Case cases[] = {
      {WM_PING, 3, -4, 42, {"base ping 3 -4"}},                    // only the base maps it
      {WM_OVERRIDDEN, 0, 0, 2, {"derived overridden"}},            // the derived entry wins
      {WM_COMMAND, 100, 0, 1, {"base open"}},                      // command of the base
      {WM_COMMAND, 203, 0, 1, {"page 203"}},                       // range hands over the id
      {WM_COMMAND, 300, 0, 1, {"derived ex 300", "base shared"}},  // FALSE passes it on
      {WM_COMMAND, 111, 0, 1, {"view ex 111"}},                    // extended range, handled
      {WM_COMMAND, MAKELONG(400, BN_CLICKED), 0, 1, {"clicked"}},
      {WM_COMMAND, MAKELONG(401, EN_CHANGE), 0, 1, {"edited"}},
      {WM_COMMAND, MAKELONG(402, LBN_SELCHANGE), 0, 1, {"list selection"}},
      {WM_COMMAND, MAKELONG(403, CBN_SELCHANGE), 0, 1, {"combo selection"}},
      {WM_COMMAND, MAKELONG(401, 0x0400), 0, 0, {}},  // a code nobody maps
      {WM_COMMAND, 206, 0, 0, {}},                    // past the range
      {WM_SIZE, SIZE_MAXIMIZED, MAKELONG(640, 480), 0, {"size 2 640x480"}},
      {WM_TIMER, 101, 0, 0, {"timer 101"}},
      {WM_CONTEXTMENU, 0, MAKELONG(15, 25), 0, {"context 15,25"}},
      {WM_QUERYENDSESSION, 0, 0, TRUE, {"query end session"}},  // default agrees
      {WM_SYSCOMMAND, SC_KEYMENU, 0, 0, {"syscommand 61696"}},
  };
  for (const Case& c : cases) {
    wnd.log.clear();
    EXPECT_EQ(wnd.SendMessage(c.message, c.wParam, c.lParam), c.result) << c.message << " " << c.wParam;
    EXPECT_EQ(wnd.log, c.log) << c.message << " " << c.wParam;
  }
}

TEST_F(MessageMaps, NotificationsMatchControlIdAndCode) {
  NMHDR header{0, 100, kColumnClickNotification};
  EXPECT_EQ(wnd.SendMessage(WM_NOTIFY, 100, reinterpret_cast<LPARAM>(&header)), 7);
  NMHDR otherControl{0, 101, kColumnClickNotification};
  NMHDR otherCode{0, 100, static_cast<UINT>(-150)};
  EXPECT_EQ(wnd.SendMessage(WM_NOTIFY, 101, reinterpret_cast<LPARAM>(&otherControl)), 0);
  EXPECT_EQ(wnd.SendMessage(WM_NOTIFY, 100, reinterpret_cast<LPARAM>(&otherCode)), 0);
  EXPECT_EQ(wnd.log, std::vector<std::string>{"column click from 100"});
}

TEST_F(MessageMaps, UpdateHandlersSetTheItemAndItemsWithoutHandlersAreDisabled) {
  RecordingCmdUI open;
  open.m_nID = 100;
  EXPECT_TRUE(open.DoUpdate(&wnd, TRUE));
  EXPECT_EQ(open.checked, 1);
  EXPECT_EQ(open.text, "Open");
  EXPECT_EQ(open.enabled, -1);

  RecordingCmdUI page;
  page.m_nID = 203;
  EXPECT_TRUE(page.DoUpdate(&wnd, TRUE));
  EXPECT_EQ(page.enabled, FALSE);

  RecordingCmdUI commandOnly;  // a command handler but no update handler: left enabled
  commandOnly.m_nID = 300;
  EXPECT_FALSE(commandOnly.DoUpdate(&wnd, TRUE));
  EXPECT_EQ(commandOnly.enabled, -1);

  RecordingCmdUI orphan;
  orphan.m_nID = 999;
  EXPECT_FALSE(orphan.DoUpdate(&wnd, TRUE));
  EXPECT_EQ(orphan.enabled, FALSE);
  RecordingCmdUI orphanKept;
  orphanKept.m_nID = 999;
  orphanKept.DoUpdate(&wnd, FALSE);
  EXPECT_EQ(orphanKept.enabled, -1);
  EXPECT_TRUE(wnd.log.empty());  // asking never runs a command
}

TEST_F(MessageMaps, UnhandledMessagesGetTheDefaultProcedure) {
  auto* icon = reinterpret_cast<HICON>(0x1234);
  EXPECT_EQ(wnd.SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon)), 0);
  EXPECT_EQ(wnd.GetIcon(TRUE), icon);
  EXPECT_EQ(wnd.GetIcon(FALSE), nullptr);
  EXPECT_EQ(wnd.SetIcon(nullptr, TRUE), icon);  // the previous icon comes back

  wnd.SendMessage(WM_SYSCOMMAND, SC_MINIMIZE | 0x3, 0);  // low bits are ignored
  EXPECT_TRUE(wnd.IsIconic());
  wnd.SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_FALSE(wnd.IsIconic());

  const HWND hwnd = wnd.m_hWnd;
  wnd.SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);  // close -> WM_CLOSE -> destroyed
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(wnd.m_hWnd, 0u);
  EXPECT_EQ(CWnd::FromHandlePermanent(hwnd), nullptr);
}

namespace {

class RefusingWnd : public CWnd {
 public:
  int destroyed = 0;

 protected:
  int OnCreate(LPCREATESTRUCT cs) { return cs->style & WS_CHILD ? 0 : -1; }
  void OnDestroy() {
    ++destroyed;
    CWnd::OnDestroy();
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(RefusingWnd, CWnd)
ON_WM_CREATE()
ON_WM_DESTROY()
END_MESSAGE_MAP()

}  // namespace

TEST(Windows, CreationFailsWhenOnCreateRefusesAndChildrenGoWithTheirParent) {
  RefusingWnd refused;
  EXPECT_FALSE(refused.CreateEx(0, "Refused", "", WS_POPUP, 0, 0, 10, 10, 0));
  EXPECT_EQ(refused.m_hWnd, 0u);
  EXPECT_EQ(refused.destroyed, 1);

  CWnd parent;
  RefusingWnd child;
  ASSERT_TRUE(parent.CreateEx(0, "Parent", "", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, 0));
  ASSERT_TRUE(child.Create(nullptr, "", WS_VISIBLE, 0, 0, 10, 10, &parent, 1005));
  EXPECT_EQ(child.GetDlgCtrlID(), 1005);
  EXPECT_EQ(child.GetParent(), &parent);
  const HWND childHwnd = child.m_hWnd;
  EXPECT_TRUE(parent.DestroyWindow());
  EXPECT_FALSE(IsWindow(childHwnd));
  EXPECT_EQ(child.destroyed, 1);
}
