// The printer window's commands end to end: the application starts as the
// program does (the broker's primary, the printer manager, the family
// modules, the first window and its whole enumeration) and the printers on
// the local ports are simulated in the same process. Each case runs in a
// process of its own started with the case's runtime directory, since the
// broker chooses its directory when its library is loaded.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/list_view.h"
#include "app/main_frame.h"
#include "app/wf_app.h"
#include "app/window_list.h"
#include "child_process.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"
#include "common/quick_dlg.h"
#include "configure_items.h"
#include "cornwthk/cornwthk.h"
#include "eventually.h"
#include "framework/controls.h"
#include "framework/printer_properties.h"
#include "framework/scripted_shell.h"
#include "own_process.h"
#include "platform/clock.h"
#include "platform/registry.h"
#include "platform/spooler.h"
#include "platform/window_messages.h"
#include "prtgui/prt_open_dlg.h"
#include "prtgui/prt_open_frame.h"
#include "sim/printer/port_server.h"
#include "sim/printer/profile.h"
#include "test_dirs.h"
#include "tidewater/tw_op_panel.h"
#include "tidewater/tw_paper_font_dlg.h"
#include "tidewater/tw_present_dlg.h"

namespace {

namespace fs = std::filesystem;
namespace sim = wf::sim;
using wf::testing::eventually;

constexpr UINT kRefresh = 32778, kTestPage = 32774, kQuickSetupSend = 32781, kDriverProperties = 32783;
const char* const kQuickSetupDone = "Quick Setup has completed successfully.";

void dispatch() {
  QCoreApplication::processEvents();
  wf::Message m;
  while (wf::peekMessage(m, wf::PeekMode::Remove)) wf::dispatchMessage(m);
}

// Descriptors of this process open on `file`.
int openOn(const fs::path& file) {
  int count = 0;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd", ec))
    count += fs::read_symlink(entry.path(), ec) == file;
  return count;
}

class AppEndToEnd : public ::testing::Test {
 protected:
  // Runs `body` in a new process of this program that keeps this case's
  // directories; passes when the body passed there.
  void inOwnProcess(void (AppEndToEnd::*body)()) {
    wf::testing::inOwnProcess(
        [&] {
          (this->*body)();
          finish();
        },
        0.2);
  }
  void finish() {
    if (app_) {
      app_->GetWFWindowList()->RemoveAllWindows(CWFWindowList::REMOVE_AND_DESTROY);
      app_->m_pMainWnd = nullptr;
      app_->ExitInstance();
      app_.reset();
    }
    for (auto& server : servers_) server.reset();
  }
  fs::path runtimeDir() const { return std::getenv("WRENFIELD_RUNTIME_DIR"); }

  void serve(int port, const std::string& profileName) {
    auto profile = sim::loadProfile(fs::path(WF_SIM_PROFILE_DIR) / (profileName + ".profile"));
    ASSERT_TRUE(profile) << profileName;
    servers_[port] = sim::PortServer::start(port, std::make_shared<sim::PrinterModel>(std::move(*profile)));
    ASSERT_TRUE(servers_[port]) << port;
  }
  // The application with its first window, once the whole enumeration shows `printers`.
  void start(int printers) {
    app_ = std::make_unique<CWFApp>();
    ASSERT_TRUE(app_->InitInstance()) << ::testing::PrintToString(boxTexts());
    frame_ = dynamic_cast<CMainFrame*>(app_->m_pMainWnd);
    ASSERT_NE(frame_, nullptr);
    ASSERT_TRUE(eventually([&] {
      dispatch();
      return !app_->GetGlobalEnumState() && view()->GetItemCount() == printers;
    })) << frame_->GetView()->GetItemCount();
  }
  CWFListView* view() { return frame_->GetView(); }
  // The application in a network world, its enumeration done (and some printer found).
  void startInNetUIWorld(bool printers = true) {
    app_ = std::make_unique<CWFApp>();
    ASSERT_TRUE(app_->InitInstance()) << ::testing::PrintToString(boxTexts());
    frame_ = dynamic_cast<CMainFrame*>(app_->m_pMainWnd);
    ASSERT_NE(frame_, nullptr);
    ASSERT_TRUE(eventually([&] {
      dispatch();
      return !app_->GetGlobalEnumState() && app_->GetEnumSpecCount() == 0 &&
             (!printers || view()->GetItemCount() > 0);
    }));
    ASSERT_NE(app_->GetNetSetDLL(), nullptr);
  }
  void selectAll() {
    for (int i = 0; i < view()->GetItemCount(); ++i) view()->SetItemState(i, LVIS_SELECTED, LVIS_SELECTED);
  }
  std::vector<std::string> boxTexts() const {
    std::vector<std::string> texts;
    for (const auto& call : shell_.messageBox.calls()) texts.push_back(call.text);
    return texts;
  }
  std::string longName(int item) {
    CWFPrinterIcon* icon = view()->GetPrinterAt(item);
    return icon ? icon->GetLongName().str() : std::string();
  }
  // The Quick Setup progress dialogs open now, in creation order.
  static std::vector<CQuickDlg*> progressDialogs() {
    std::vector<CQuickDlg*> found;
    for (HWND hwnd : GetTopLevelWindows())
      if (auto* dialog = dynamic_cast<CQuickDlg*>(CWnd::FromHandlePermanent(hwnd)))
        found.insert(found.begin(), dialog);
    return found;
  }

 public:
  // The cases, each run by its test in a process of its own.
  void RefreshFindsThePrinterAgainAndKeepsOneIcon();
  void ATestPageThatCannotBePrintedSaysSo();
  void QuickSetupFilesThatDoNotMatch();
  void AMatchingQuickSetupFileGoesToEverySelectedPrinterInTurn();
  void DriverPropertiesShowTheQueueOfThePrintersPort();
  void TidewaterMenuCommandsOpenTheNotebookOnTheirPages();
  void TheConfigureMenuComesFromTheNetworkLibrary();
  void ConfigureNetWareWritesTheSearchSettingOfTheTransport();
  void ConfigurePeerToPeerChangesThePeerTransportsLists();

 protected:
  wf::fw::ScriptedShell shell_;
  std::unique_ptr<CWFApp> app_;
  CMainFrame* frame_ = nullptr;
  std::unique_ptr<sim::PortServer> servers_[10];
};

void AppEndToEnd::RefreshFindsThePrinterAgainAndKeepsOneIcon() {
  serve(1, "generic-7301");
  start(1);
  view()->SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
  frame_->SendMessage(WM_COMMAND, kRefresh, 0);
  // The refreshed printer replaces its icon in the windows, which waits for this thread.
  EXPECT_EQ(app_->GetEnumSpecCount(), 1);
  view()->SetItemState(0, 0, LVIS_SELECTED);
  ASSERT_TRUE(eventually([&] {
    dispatch();
    return app_->GetEnumSpecCount() == 0 && view()->GetSelectedCount() == 1;
  })) << "the end of the last refresh selects an item again";
  EXPECT_EQ(view()->GetItemCount(), 1);
  EXPECT_EQ(app_->GetPrinterList()->GetIcons().size(), 1u);
  EXPECT_FALSE(view()->GetPrinterAt(0)->IsGhost());
}

void AppEndToEnd::ATestPageThatCannotBePrintedSaysSo() {
  // The program's directory has no VERIFY.TXT to print.
  serve(1, "generic-7301");
  start(1);
  ASSERT_FALSE(fs::exists(fs::path(app_->GetProgramDirectory()) / "VERIFY.TXT"));
  view()->SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
  frame_->SendMessage(WM_COMMAND, kTestPage, 0);
  ASSERT_TRUE(eventually([&] {
    dispatch();
    return !boxTexts().empty();
  }));
  EXPECT_EQ(boxTexts(),
            std::vector<std::string>{"The test page could not be printed on " + longName(0) + "."});
  EXPECT_EQ(shell_.messageBox.calls()[0].caption, "Test Page");
}

void AppEndToEnd::QuickSetupFilesThatDoNotMatch() {
  serve(1, "generic-7301");
  serve(2, "generic-7301");
  start(2);
  const fs::path foreign = runtimeDir() / "foreign.psf";
  std::ofstream(foreign) << "not a Quick Setup file";
  const fs::path missing = runtimeDir() / "missing.psf";
  const std::string warningStart = "For Quick Setup to work properly";
  auto mismatch = [&](int item) {
    return "The Quick Setup file and the printer " + longName(item) + " do not match.";
  };

  struct Case {
    const char* what;
    std::vector<int> selected;
    std::vector<std::string> files;  // the file dialog's answers, then Cancel
    int dialogs;
    std::vector<int> mismatched;  // items, in box order
  };
  const Case cases[] = {
      {"one printer: the dialog opens again", {0}, {foreign.string(), missing.string()}, 3, {0, 0}},
      {"two printers: one pass", {0, 1}, {foreign.string()}, 1, {0, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    wf::fw::ScriptedShell shell;
    for (int i = 0; i < view()->GetItemCount(); ++i) view()->SetItemState(i, 0, LVIS_SELECTED);
    for (int item : c.selected) view()->SetItemState(item, LVIS_SELECTED, LVIS_SELECTED);
    for (const std::string& file : c.files) shell.fileDialog.script({IDOK, file});
    frame_->SendMessage(WM_COMMAND, kQuickSetupSend, 0);
    dispatch();
    EXPECT_EQ(static_cast<int>(shell.fileDialog.calls().size()), c.dialogs);
    std::vector<std::string> expected;
    for (int item : c.mismatched) expected.push_back(mismatch(item));
    std::vector<std::string> shown;
    for (const auto& call : shell.messageBox.calls()) shown.push_back(call.text);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front().rfind(warningStart, 0), 0u) << shown.front();
    EXPECT_EQ(std::vector<std::string>(shown.begin() + 1, shown.end()), expected);
    EXPECT_TRUE(progressDialogs().empty());
    EXPECT_EQ(openOn(foreign), 0) << "the file is closed on every path";
  }
}

void AppEndToEnd::AMatchingQuickSetupFileGoesToEverySelectedPrinterInTurn() {
  serve(1, "generic-7301");
  serve(2, "generic-7301");
  start(2);
  const fs::path file = runtimeDir() / "settings.psf";
  fs::copy_file(fs::path(WF_PRTOBJ_TEST_DATA) / "generic-7301.psf", file);
  selectAll();
  shell_.fileDialog.script({IDOK, file.string()});
  frame_->SendMessage(WM_COMMAND, kQuickSetupSend, 0);
  const std::vector<CQuickDlg*> running = progressDialogs();
  ASSERT_EQ(running.size(), 2u);
  RECT first{}, second{};
  running[0]->GetWindowRect(&first);
  running[1]->GetWindowRect(&second);
  EXPECT_EQ(second.left - first.left, 15) << "numbered 1 and 2: the second cascades";
  EXPECT_EQ(second.top - first.top, 15);
  ASSERT_TRUE(eventually([&] {
    dispatch();
    return progressDialogs().empty();
  })) << "each ends and the view deletes it";
  EXPECT_EQ(shell_.fileDialog.calls().size(), 1u);
  const std::vector<std::string> texts = boxTexts();
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[1], kQuickSetupDone);
  EXPECT_EQ(texts[2], kQuickSetupDone);
  EXPECT_EQ(openOn(file), 0);
}

TEST_F(AppEndToEnd, RefreshFindsThePrinterAgainAndKeepsOneIcon) {
  inOwnProcess(&AppEndToEnd::RefreshFindsThePrinterAgainAndKeepsOneIcon);
}

TEST_F(AppEndToEnd, ATestPageThatCannotBePrintedSaysSo) {
  inOwnProcess(&AppEndToEnd::ATestPageThatCannotBePrintedSaysSo);
}

TEST_F(AppEndToEnd, QuickSetupFilesThatDoNotMatch) {
  inOwnProcess(&AppEndToEnd::QuickSetupFilesThatDoNotMatch);
}

TEST_F(AppEndToEnd, AMatchingQuickSetupFileGoesToEverySelectedPrinterInTurn) {
  inOwnProcess(&AppEndToEnd::AMatchingQuickSetupFileGoesToEverySelectedPrinterInTurn);
}

void AppEndToEnd::DriverPropertiesShowTheQueueOfThePrintersPort() {
  serve(1, "generic-7301");
  start(1);
  wf::spool::Spooler& spooler = wf::spool::spooler();
  spooler.addPort("LPT1:");
  spooler.addDriver("Office Driver", "OFFICE.DRV", "Plain Port Monitor");
  spooler.addPrinter("Office Queue", "LPT1:", "Office Driver");
  wf::fw::ScriptedPrinterProperties sheets;
  view()->SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
  frame_->SendMessage(WM_COMMAND, kDriverProperties, 0);
  const auto shown = sheets.calls();
  ASSERT_EQ(shown.size(), 1u) << ::testing::PrintToString(boxTexts());
  EXPECT_EQ(shown[0].parent, view()->GetSafeHwnd());
  EXPECT_EQ(shown[0].name, "Office Queue");
  EXPECT_EQ(shown[0].port, "LPT1:");
  EXPECT_EQ(shown[0].driver, "Office Driver");
}

TEST_F(AppEndToEnd, DriverPropertiesShowTheQueueOfThePrintersPort) {
  inOwnProcess(&AppEndToEnd::DriverPropertiesShowTheQueueOfThePrintersPort);
}

// The Tidewater printer's context-menu commands open its notebook on their
// pages: the remote operator panel, then the family's own pages, each
// command turning the open notebook to its page.
void AppEndToEnd::TidewaterMenuCommandsOpenTheNotebookOnTheirPages() {
  struct Case {
    UINT command;
    bool (*isPage)(CPropertyPage*);
    int fromLast;  // the page's place counted from the notebook's end; 0: not checked
  };
  const Case cases[] = {
      {32772, [](CPropertyPage* p) { return dynamic_cast<CTwOpPanel*>(p) != nullptr; }, 0},
      {50167, [](CPropertyPage* p) { return dynamic_cast<CTwPaperFont*>(p) != nullptr; }, 3},
      {50168, [](CPropertyPage* p) { return dynamic_cast<CTwPresentDlg*>(p) != nullptr; }, 2},
  };
  serve(2, "tidewater-pagecrest2");
  start(1);
  CWFPrinterIcon* icon = view()->GetPrinterAt(0);
  ASSERT_NE(icon, nullptr);
  view()->SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    view()->SendMessage(WM_COMMAND, c.command, 0);
    ASSERT_TRUE(eventually([&] {
      dispatch();
      return icon->GetOpenFrame() != nullptr &&
             c.isPage(icon->GetOpenFrame()->GetNotebook()->GetActivePage());
    })) << ::testing::PrintToString(boxTexts());
    CPrtOpenDlg* notebook = icon->GetOpenFrame()->GetNotebook();
    if (c.fromLast) {
      EXPECT_EQ(notebook->GetActiveIndex(), notebook->GetPageCount() - c.fromLast);
    }
  }
  EXPECT_TRUE(boxTexts().empty());
}

TEST_F(AppEndToEnd, TidewaterMenuCommandsOpenTheNotebookOnTheirPages) {
  inOwnProcess(&AppEndToEnd::TidewaterMenuCommandsOpenTheNotebookOnTheirPages);
}

// The network library beside the program builds the Configure popup from
// the broker's transports: TCP/IP from the IP stand-in, NetWare while FS1's
// login has supervisor rights, CorLink because CORCL32 knows no server (the
// workstation then counts as administrator), Peer To Peer whenever the peer
// transport loads; no adapter grants IPX supervisor rights, so no IPX entry.
void AppEndToEnd::TheConfigureMenuComesFromTheNetworkLibrary() {
  const fs::path world = fs::path(WF_SIM_SCENARIO_DIR) / "netui-world.scenario";
  ::setenv("WRENFIELD_SCENARIO", world.c_str(), 1);
  wf::testing::ChildProcess adapters("wf-adapter-sim", {world.string()});
  ASSERT_EQ(adapters.readLine(), "ready");
  startInNetUIWorld();
  if (HasFatalFailure()) return;
  using Items = std::vector<std::string>;
  EXPECT_EQ(wf::testing::openConfigure(frame_),
            (Items{"&Properties...#32771", "-", "&TCP/IP#32821", "&NetWare#32820", "&CorLink#32822",
                   "P&eer To Peer#32823"}));

  const wf::ModuleHandle client = wf::loadModule("Cornwthk.DLL");
  ASSERT_NE(client, nullptr);
  const auto setLevel =
      wf::moduleEntryAs<decltype(&CornwthkSetAccessLevel)>(client, "CornwthkSetAccessLevel");
  ASSERT_NE(setLevel, nullptr);
  EXPECT_EQ(setLevel("FS1", 0x11), NW_SUCCESS);
  wf::freeModule(client);
  EXPECT_EQ(wf::testing::openConfigure(frame_),
            (Items{"&Properties...#32771", "-", "&TCP/IP#32821", "&CorLink#32822", "P&eer To Peer#32823"}));

  finish();
  adapters.call("quit", 100);
  EXPECT_EQ(adapters.waitExit(), 0);
}

TEST_F(AppEndToEnd, TheConfigureMenuComesFromTheNetworkLibrary) {
  inOwnProcess(&AppEndToEnd::TheConfigureMenuComesFromTheNetworkLibrary);
}

std::optional<std::vector<BYTE>> searchOption(const char* value) {
  wf::HKEY key = nullptr;
  if (wf::RegOpenKeyExA(wf::HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Wrenfield\\CorWare\\Search Options", 0,
                        wf::KEY_READ, &key) != wf::ERROR_SUCCESS)
    return std::nullopt;
  std::vector<BYTE> bytes(16);
  DWORD size = static_cast<DWORD>(bytes.size()), type = 0;
  const auto rc = wf::RegQueryValueExA(key, value, nullptr, &type, bytes.data(), &size);
  wf::RegCloseKey(key);
  if (rc != wf::ERROR_SUCCESS) return std::nullopt;
  bytes.resize(size);
  return bytes;
}

// Configure NetWare reads and writes Cornw32's search setting through the
// real broker: Single Network 1A lands in the transport's registry values.
void AppEndToEnd::ConfigureNetWareWritesTheSearchSettingOfTheTransport() {
  const fs::path world = fs::path(WF_SIM_SCENARIO_DIR) / "netui-world.scenario";
  ::setenv("WRENFIELD_SCENARIO", world.c_str(), 1);
  wf::testing::ChildProcess adapters("wf-adapter-sim", {world.string()});
  ASSERT_EQ(adapters.readLine(), "ready");
  startInNetUIWorld();
  if (HasFatalFailure()) return;

  wf::fw::ScriptedDialogs dialogs;
  dialogs.on(2198, [](CDialog& box) { box.EndDialog(IDOK); });
  CString typed;
  dialogs.on(2196, [&](CDialog& box) {
    static_cast<CButton*>(box.GetDlgItem(1187))->Click();
    static_cast<CEdit*>(box.GetDlgItem(1188))->TypeText("1a");
    box.GetDlgItemText(1188, typed);
    box.SendMessage(WM_COMMAND, MAKELONG(IDOK, BN_CLICKED), 0);
  });
  frame_->SendMessage(WM_COMMAND, 32820, 0);
  EXPECT_EQ(dialogs.runs(2196), 1);
  EXPECT_EQ(typed.str(), "1A");
  EXPECT_EQ(dialogs.runs(2198), 1);
  EXPECT_EQ(searchOption("Search Method"), (std::vector<BYTE>{4}));
  EXPECT_EQ(searchOption("Network Number"), (std::vector<BYTE>{0, 0, 0, 0x1A}));

  // Opened again, it shows what the transport now holds.
  int method = -2;
  CString shown;
  dialogs.on(2196, [&](CDialog& box) {
    for (int id = 1185; id <= 1187; ++id)
      if (box.IsDlgButtonChecked(id)) method = id;
    box.GetDlgItemText(1188, shown);
    box.SendMessage(WM_COMMAND, MAKELONG(IDCANCEL, BN_CLICKED), 0);
  });
  frame_->SendMessage(WM_COMMAND, 32820, 0);
  EXPECT_EQ(method, 1187);
  EXPECT_EQ(shown.str(), "0000001A");
  EXPECT_EQ(dialogs.runs(2198), 1);

  finish();
  adapters.call("quit", 100);
  EXPECT_EQ(adapters.waitExit(), 0);
}

TEST_F(AppEndToEnd, ConfigureNetWareWritesTheSearchSettingOfTheTransport) {
  inOwnProcess(&AppEndToEnd::ConfigureNetWareWritesTheSearchSettingOfTheTransport);
}

// Configure Peer To Peer against CORP2P32 in the peer world: an added
// computer, and its removal, are the transport's, as the dialog opened
// again reads them back.
void AppEndToEnd::ConfigurePeerToPeerChangesThePeerTransportsLists() {
  const fs::path world = fs::path(WF_SIM_SCENARIO_DIR) / "peer-world.scenario";
  ::setenv("WRENFIELD_SCENARIO", world.c_str(), 1);
  wf::testing::ChildProcess peers("wf-peer-sim", {world.string()});
  ASSERT_EQ(peers.readLine(), "ready");
  startInNetUIWorld(false);
  if (HasFatalFailure()) return;

  wf::fw::ScriptedDialogs dialogs;
  dialogs.on(2198, [](CDialog& box) { box.EndDialog(IDOK); });
  dialogs.on(2159, [](CDialog& box) {
    static_cast<CEdit*>(box.GetDlgItem(1073))->TypeText("\\\\PC1  ");
    box.SendMessage(WM_COMMAND, MAKELONG(IDOK, BN_CLICKED), 0);
  });
  auto computers = [](CDialog& box) {
    std::vector<std::string> names;
    auto* list = static_cast<CListBox*>(box.GetDlgItem(1066));
    for (int i = 0; i < list->GetCount(); ++i) {
      CString name;
      list->GetText(i, name);
      names.push_back(name.str());
    }
    return names;
  };
  // Added, read back, removed, read back: the transport's list ends as it began.
  std::vector<std::string> added, removed;
  dialogs.on(2157, [&](CDialog& box) {
    box.SendMessage(WM_COMMAND, MAKELONG(1069, BN_CLICKED), 0);
    box.SendMessage(WM_COMMAND, MAKELONG(1067, BN_CLICKED), 0);
  });
  frame_->SendMessage(WM_COMMAND, 32823, 0);
  ASSERT_EQ(dialogs.runs(2157), 1);
  EXPECT_EQ(dialogs.runs(2159), 1);
  dialogs.on(2157, [&](CDialog& box) {
    added = computers(box);
    auto* list = static_cast<CListBox*>(box.GetDlgItem(1066));
    const auto at = std::find(added.begin(), added.end(), "PC1");
    if (at != added.end()) list->SetSel(static_cast<int>(at - added.begin()));
    box.SendMessage(WM_COMMAND, MAKELONG(1070, BN_CLICKED), 0);
    box.SendMessage(WM_COMMAND, MAKELONG(1067, BN_CLICKED), 0);
  });
  frame_->SendMessage(WM_COMMAND, 32823, 0);
  dialogs.on(2157, [&](CDialog& box) {
    removed = computers(box);
    box.SendMessage(WM_COMMAND, MAKELONG(IDCANCEL, BN_CLICKED), 0);
  });
  frame_->SendMessage(WM_COMMAND, 32823, 0);
  EXPECT_EQ(std::count(added.begin(), added.end(), "PC1"), 1) << ::testing::PrintToString(added);
  EXPECT_EQ(std::count(removed.begin(), removed.end(), "PC1"), 0) << ::testing::PrintToString(removed);

  finish();
  peers.call("quit", 100);
  EXPECT_EQ(peers.waitExit(), 0);
}

TEST_F(AppEndToEnd, ConfigurePeerToPeerChangesThePeerTransportsLists) {
  inOwnProcess(&AppEndToEnd::ConfigurePeerToPeerChangesThePeerTransportsLists);
}

}  // namespace
