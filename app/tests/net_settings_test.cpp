// The Configure menu's network entries and their commands, against the
// network library's stand-in found on the module search path.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "app/main_frame.h"
#include "app/more_info_dlg.h"
#include "app/window_list.h"
#include "app_fixture.h"
#include "child_process.h"
#include "configure_items.h"
#include "eventually.h"
#include "framework/control_bars.h"
#include "framework/menu.h"
#include "mock_netui.h"
#include "platform/clock.h"
#include "platform/message_queue.h"
#include "platform/module.h"
#include "test_dirs.h"

namespace {

using wf::testing::AppFixture;
using wf::testing::ChildProcess;

constexpr UINT kNetWare = 0x1, kTcpIp = 0x2, kIpx = 0x4, kCorLink = 0x8, kPeer = 0x10;

class NetSettings : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    useLibrary(WF_MOCK_NETUI_DIR);
  }
  void TearDown() override {
    closeWindows(app_);
    dropLibrary();
    AppFixture::TearDown();
  }
  void useLibrary(const char* dir) {
    dropLibrary();
    wf::setModuleSearchPath({dir});
    netui_ = wf::loadModule("CORNETUI.DLL");
    ASSERT_NE(netui_, nullptr);
    if (auto reset = wf::moduleEntryAs<MockNetUIResetFn>(netui_, "MockNetUIReset")) reset();
    app_.SetNetSetDLL(netui_);
  }
  void dropLibrary() {
    app_.SetNetSetDLL(nullptr);
    if (netui_) wf::freeModule(netui_);
    netui_ = nullptr;
    wf::setModuleSearchPath({});
  }
  void script(UINT bit, BOOL offer, int factory = kMockFactoryPage, const char* title = nullptr) {
    wf::moduleEntryAs<MockNetUIScriptSettingsFn>(netui_, "MockNetUIScriptSettings")(bit, offer, factory,
                                                                                    title);
  }
  std::vector<std::string> events() {
    auto get = wf::moduleEntryAs<MockNetUISettingsEventFn>(netui_, "MockNetUISettingsEvent");
    std::vector<std::string> all;
    char text[64];
    for (int i = 0; get(i, text, sizeof text); ++i) all.push_back(text);
    return all;
  }
  std::vector<std::pair<int, void*>> factoryCalls() {
    auto get = wf::moduleEntryAs<MockNetUIFactoryCallFn>(netui_, "MockNetUIFactoryCall");
    std::vector<std::pair<int, void*>> all;
    int first = 0;
    void* second = nullptr;
    for (int i = 0; get(i, &first, &second); ++i) all.emplace_back(first, second);
    return all;
  }

  CMainFrame* open() {
    CMainFrame* frame = CMainFrame::Make("net");
    EXPECT_NE(frame, nullptr);
    app_.m_pMainWnd = frame;
    return frame;
  }
  // Opens the Configure popup as the menu bar does and describes its items:
  // "text#id", "-" for a separator, "/g" when greyed.
  static std::vector<std::string> openConfigure(CMainFrame* frame) { return wf::testing::openConfigure(frame); }

  CWFApp app_;
  HINSTANCE netui_ = nullptr;
};

using Items = std::vector<std::string>;

TEST_F(NetSettings, ConfigureMenuOffersTheDialogsOfTheAvailableNetworks) {
  struct Case {
    const char* what;
    UINT nets;
    bool tcpIpOnly;
    Items popup;
  };
  const Case cases[] = {
      {"TCP/IP and IPX, TCP/IP offered", kTcpIp | kIpx, true, {"&Properties...#32771", "-", "&TCP/IP#32821"}},
      {"every network the library knows",
       kNetWare | kTcpIp | kCorLink | kPeer,
       false,
       {"&Properties...#32771", "-", "&TCP/IP#32821", "&NetWare#32820", "&CorLink#32822",
        "P&eer To Peer#32823"}},
      {"no network available", 0, false, {"&Properties...#32771"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    useLibrary(WF_MOCK_NETUI_DIR);
    if (c.tcpIpOnly) {
      for (UINT bit : {kNetWare, kCorLink, kPeer}) script(bit, FALSE);
    }
    app_.SetNetsAvailable(c.nets);
    CMainFrame* frame = open();
    EXPECT_EQ(openConfigure(frame), c.popup);
    frame->DestroyWindow();
    app_.m_pMainWnd = nullptr;
  }
}

TEST_F(NetSettings, ThePlaceholderStandsUntilTheFirstOpeningAndEveryEntryPromptsAlike) {
  app_.SetNetsAvailable(kTcpIp);
  CMainFrame* frame = open();
  CMenu* bar = frame->GetMenu();
  ASSERT_NE(bar, nullptr);
  CMenu* configure = nullptr;
  for (int i = 0; !configure && i < static_cast<int>(bar->GetMenuItemCount()); ++i) {
    CMenu* popup = bar->GetSubMenu(i);
    if (popup && popup->GetMenuItemID(0) == 32771) configure = popup;
  }
  ASSERT_NE(configure, nullptr);
  const auto before = wf::fw::viewOfMenu(configure->GetSafeHmenu());
  ASSERT_GE(before.size(), 2u);
  EXPECT_EQ(before[1].text, "Dummy Netware Item");
  EXPECT_EQ(before[1].id, 32820u);
  EXPECT_EQ(openConfigure(frame), (Items{"&Properties...#32771", "-", "&TCP/IP#32821"}));

  CString prompt;
  ASSERT_TRUE(prompt.LoadString(30));
  EXPECT_EQ(prompt.str(), "Change network settings.");
  auto* status = dynamic_cast<CStatusBar*>(frame->GetMessageBar());
  ASSERT_NE(status, nullptr);
  for (UINT id = 32820; id <= 32824; ++id) {
    SCOPED_TRACE(id);
    frame->SendMessage(WM_SETMESSAGESTRING, AFX_IDS_IDLEMESSAGE);
    frame->SendMessage(WM_SETMESSAGESTRING, id);
    EXPECT_EQ(status->GetPaneText(0).str(), prompt.str());
  }
}

TEST_F(NetSettings, WithoutTheLibraryOrItsSettingsQueryOnlyPropertiesStays) {
  app_.SetNetsAvailable(kTcpIp | kNetWare);
  dropLibrary();
  CMainFrame* frame = open();
  EXPECT_EQ(openConfigure(frame), (Items{"&Properties...#32771"}));
  frame->SendMessage(WM_COMMAND, 32821);  // nothing to run
  frame->DestroyWindow();

  useLibrary(WF_MOCK_NETUI_PIP_DIR);
  ASSERT_EQ(wf::moduleEntry(netui_, "NetUIQuerySettings"), nullptr);
  frame = open();
  EXPECT_EQ(openConfigure(frame), (Items{"&Properties...#32771"}));
  frame->SendMessage(WM_COMMAND, 32821);
}

TEST_F(NetSettings, EntriesAreGreyedWhilePrintersAreLookedForAndRebuiltOnlyWhileNetWareIsIn) {
  app_.SetNetsAvailable(kTcpIp | kPeer);
  CMainFrame* frame = open();
  app_.SetGlobalEnumState(TRUE);
  EXPECT_EQ(openConfigure(frame),
            (Items{"&Properties...#32771", "-", "&TCP/IP#32821/g", "P&eer To Peer#32823/g"}));
  EXPECT_EQ(events(), (Items{"query 2", "query 16"}));
  // NetWare is not offered: the entries stay as built, no further queries.
  app_.SetGlobalEnumState(FALSE);
  EXPECT_EQ(openConfigure(frame),
            (Items{"&Properties...#32771", "-", "&TCP/IP#32821", "P&eer To Peer#32823"}));
  app_.IncreaseEnumSpecCount();
  EXPECT_EQ(openConfigure(frame),
            (Items{"&Properties...#32771", "-", "&TCP/IP#32821/g", "P&eer To Peer#32823/g"}));
  app_.DecreaseEnumSpecCount();
  EXPECT_EQ(events(), (Items{"query 2", "query 16"}));

  // With NetWare in the menu each opening rebuilds it, once.
  app_.SetNetsAvailable(kNetWare | kTcpIp);
  CMainFrame* second = CMainFrame::Make("second");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(openConfigure(second), (Items{"&Properties...#32771", "-", "&TCP/IP#32821", "&NetWare#32820"}));
  EXPECT_EQ(openConfigure(second), (Items{"&Properties...#32771", "-", "&TCP/IP#32821", "&NetWare#32820"}));
  EXPECT_EQ(events(), (Items{"query 2", "query 16", "query 2", "query 1", "query 2", "query 1"}));
}

TEST_F(NetSettings, ACommandRunsTheLibrarysDialogModallyAndGivesTheFocusBack) {
  app_.SetNetsAvailable(kTcpIp | kIpx);
  CMainFrame* frame = open();
  frame->SetFocus();  // away from the view
  frame->SendMessage(WM_COMMAND, 32821);
  EXPECT_EQ(events(), (Items{"query 2", "modal", "shown", "destroyed"}));
  const auto calls = factoryCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].first, app_.GetAppID());
  EXPECT_EQ(calls[0].second, static_cast<void*>(static_cast<CWnd*>(frame)));
  // Offscreen the window becomes active only once its events ran.
  frame->SetForegroundWindow();
  EXPECT_TRUE(wf::testing::eventually([&] {
    QCoreApplication::processEvents();
    return CWnd::GetFocus() == frame->GetView();
  }));

  // IPX asks bit 4; a stand-in scripted to offer it runs its dialog.
  script(kIpx, TRUE, kMockFactoryPage, "&IPX");
  frame->SendMessage(WM_COMMAND, 32824);
  EXPECT_EQ(events().at(4), "query 4");
  EXPECT_EQ(events().size(), 8u);
}

TEST_F(NetSettings, NothingOpensWithoutADialogToShow) {
  app_.SetNetsAvailable(kTcpIp);
  CMainFrame* frame = open();
  struct Case {
    const char* what;
    BOOL offer;
    int factory;
    Items events;
  };
  const Case cases[] = {
      {"the query answers no", FALSE, kMockFactoryPage, {"query 2"}},
      {"no factory", TRUE, kMockFactoryNull, {"query 2"}},
      {"the factory makes nothing", TRUE, kMockFactoryNoPage, {"query 2"}},
      {"the factory makes no dialog", TRUE, kMockFactoryNotDialog, {"query 2", "destroyed"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    wf::moduleEntryAs<MockNetUIResetFn>(netui_, "MockNetUIReset")();
    script(kTcpIp, c.offer, c.factory);
    frame->SendMessage(WM_COMMAND, 32821);
    EXPECT_EQ(events(), c.events);
  }
}

TEST_F(NetSettings, ShutdownFreesTheLibraryOnceThePrinterWindowsAreGone) {
  std::filesystem::create_directories(wf::testing::testDataRoot());
  const std::string log = (wf::testing::testDataRoot() / "netui.log").string();
  ::setenv("WF_MOCK_NETUI_DETACH_LOG", log.c_str(), 1);
  CMainFrame* frame = open();
  frame->DestroyWindow();
  app_.m_pMainWnd = nullptr;
  app_.startWorkQueue();
  netui_ = nullptr;  // the application's reference from now on
  wf::setTimeScaleForTest(0.2);
  app_.ExitInstance();
  wf::setTimeScaleForTest(1.0);
  ::unsetenv("WF_MOCK_NETUI_DETACH_LOG");
  EXPECT_EQ(app_.GetNetSetDLL(), nullptr);
  std::ifstream in(log);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "detach windows=0");
}

constexpr const char* kStartedChild = "WF_APP_TESTS_STARTED_AGAINST_THE_BROKER";

TEST_F(NetSettings, StartedAgainstTheBrokerTheMenuAndMoreInfoFollowItsTransports) {
  if (std::getenv(kStartedChild)) {
    // A test process of its own, the broker's primary, started with the
    // mock transports of IP and IPX alone on the module path.
    CWFApp& app = app_;
    HINSTANCE netui = netui_;
    wf::setTimeScaleForTest(0.2);
    ASSERT_TRUE(app.InitInstance());
    EXPECT_EQ(app.GetNetsAvailable(), kTcpIp | kIpx);
    EXPECT_EQ(app.GetNetSetDLL(), netui) << "the library the module path names";
    ASSERT_TRUE(wf::testing::eventually([&] {
      QCoreApplication::processEvents();
      wf::Message m;
      while (wf::peekMessage(m, wf::PeekMode::Remove)) wf::dispatchMessage(m);
      return !app.GetGlobalEnumActive() && app.GetEnumSpecCount() == 0;
    }));
    auto* frame = dynamic_cast<CMainFrame*>(app.m_pMainWnd);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(openConfigure(frame), (Items{"&Properties...#32771", "-", "&TCP/IP#32821"}));

    // The broker's versions: its own, then IP (3.1.0.0) and IPX (11.17.0.0)
    // above it; NetWare, CorLink and peer-to-peer are not available.
    std::vector<std::pair<std::string, std::string>> rows;
    wf::fw::setModalDialogHook(154, [&](CDialog& box) {
      CListCtrl& list = dynamic_cast<CMoreInfoDlg&>(box).GetList();
      for (int i = 0; i < list.GetItemCount(); ++i)
        rows.emplace_back(list.GetItemText(i, 0).str(), list.GetItemText(i, 1).str());
      box.EndDialog(IDOK);
    });
    CMoreInfoDlg more(frame);
    more.DoModal();
    wf::fw::setModalDialogHook(154, {});
    auto found = [](const char* name) { return wf::findModuleFile(name).value_or("").string(); };
    ASSERT_GE(rows.size(), 5u);
    EXPECT_EQ(rows[0], std::make_pair(found("coripx32.dll"), std::string("11.17.00.00")));
    EXPECT_EQ(rows[1], std::make_pair(found("corip32.dll"), std::string("3.01.00.00")));
    EXPECT_EQ(rows[2].first, found("CORBCE.DLL"));
    EXPECT_TRUE(std::regex_match(rows[2].second, std::regex(R"(\d+\.\d\d\.\d\d\.\d\d)"))) << rows[2].second;
    EXPECT_NE(rows[0].first.find("mock-transports"), std::string::npos) << rows[0].first;
    for (const auto& row : rows) {
      for (const char* absent : {"cornw32", "corcl32", "corp2p32"})
        EXPECT_EQ(row.first.find(absent), std::string::npos) << row.first;
    }
    // The modules of the system that are built carry their version records
    // ("1, 0, 0, 0" shown with full stops).
    for (const char* module : {"WFPRTGUI.DLL", "TWPRTGUI.DLL", "COMMON.DLL", "SPOOLOAK.DLL"}) {
      SCOPED_TRACE(module);
      auto row =
          std::find_if(rows.begin(), rows.end(), [&](const auto& r) { return r.first == found(module); });
      ASSERT_NE(row, rows.end());
      EXPECT_TRUE(std::regex_match(row->second, std::regex(R"((\d+\. ?){3}\d+)"))) << row->second;
    }

    app.GetWFWindowList()->RemoveAllWindows(CWFWindowList::REMOVE_AND_DESTROY);
    app.m_pMainWnd = nullptr;
    app.ExitInstance();
    wf::setTimeScaleForTest(1.0);
    EXPECT_EQ(app.GetNetSetDLL(), nullptr);
    return;
  }
  ::setenv("WRENFIELD_MODULE_PATH", (wf::moduleDirectory() / "mock-transports").c_str(), 1);
  ::setenv("WF_MOCK_TRANSPORT_REFUSE", "cornw32 corcl32 corp2p32", 1);
  ::setenv(kStartedChild, "1", 1);
  ChildProcess started("app_tests", {"--gtest_filter=NetSettings.StartedAgainstTheBroker*"});
  ::unsetenv(kStartedChild);
  ::unsetenv("WF_MOCK_TRANSPORT_REFUSE");
  ::unsetenv("WRENFIELD_MODULE_PATH");
  std::string output;
  for (std::string line; (line = started.readLine(120000)).rfind("err", 0) != 0;) output += line + "\n";
  const int status = started.waitExit();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
  EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

}  // namespace
