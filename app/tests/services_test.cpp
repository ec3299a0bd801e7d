#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "app/shutdown_dlg.h"
#include "app/window_list.h"
#include "app_fixture.h"
#include "child_process.h"
#include "corwf32/corwf32.h"
#include "eventually.h"
#include "platform/clock.h"
#include "platform/module.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "test_dirs.h"

namespace {

using wf::ERROR_SUCCESS;
using wf::HKEY_CURRENT_USER;
using wf::KEY_ALL_ACCESS;
using wf::KEY_READ;
using wf::mapSystemPath;
using wf::REG_DWORD;
using wf::registryDump;
using wf::testing::AppFixture;
using wf::testing::ChildProcess;
using wf::testing::eventually;
using wf::testing::RecordingWindow;

class Services : public AppFixture {
 protected:
  std::string readLog() {
    auto path = mapSystemPath("c:\\wf32.log");
    if (!path || !std::filesystem::exists(*path)) return "<missing>";
    std::ifstream in(*path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
};

TEST_F(Services, BlinkEntriesEachGetOnePostPerTick) {
  RecordingWindow main;
  RecordingWindow button;
  CWFApp app;
  app.m_pMainWnd = main.wnd();
  EXPECT_TRUE(app.AddToBlinkList(button.wnd()));
  EXPECT_TRUE(app.AddToBlinkList(button.wnd()));
  EXPECT_FALSE(app.RemoveFromBlinkList(button.wnd()));
  EXPECT_TRUE(app.blinkTimerRunning());
  app.ServiceBlinks();
  EXPECT_EQ(button.count(WM_WF_BLINK, 0), 1);
  app.AddToBlinkList(button.wnd());
  app.ServiceBlinks();
  EXPECT_EQ(button.count(WM_WF_BLINK, 0), 2);
  // Timer 101 ticks on the main window.
  EXPECT_TRUE(eventually([&] { return main.count(WM_TIMER, WF_BLINK_TIMER) > 0; }));
  app.RemoveFromBlinkList(button.wnd());
  EXPECT_TRUE(app.RemoveFromBlinkList(button.wnd()));
  EXPECT_FALSE(app.blinkTimerRunning());
  app.ServiceBlinks();
  EXPECT_EQ(button.count(WM_WF_BLINK, 0), 0);
  app.m_pMainWnd = nullptr;
}

TEST_F(Services, FlashListHoldsEachWindowOnceAndRemovalIsNeverGated) {
  RecordingWindow main;
  RecordingWindow other;
  CWFApp app;
  app.m_pMainWnd = main.wnd();
  app.SetFlashIcon(FALSE);
  EXPECT_FALSE(app.AddToFlashList(other.wnd()));
  EXPECT_EQ(app.flashCount(), 0u);
  app.SetFlashIcon(TRUE);
  EXPECT_TRUE(app.AddToFlashList(other.wnd()));
  EXPECT_TRUE(app.AddToFlashList(other.wnd()));
  EXPECT_EQ(app.flashCount(), 1u);
  app.ServiceFlash();
  EXPECT_EQ(other.count(WM_WF_FLASH, 0), 1);
  // Turned off meanwhile: the window still leaves the list.
  app.SetFlashIcon(FALSE);
  EXPECT_FALSE(app.RemoveFromFlashList(other.wnd()));
  EXPECT_EQ(app.flashCount(), 0u);
  EXPECT_FALSE(app.flashTimerRunning());
  app.m_pMainWnd = nullptr;
}

TEST_F(Services, TimersMoveWithTheMainWindow) {
  RecordingWindow first;
  RecordingWindow second;
  CWFApp app;
  app.SetFlashIcon(TRUE);
  app.m_pMainWnd = first.wnd();
  app.AddToFlashList(second.wnd());
  app.AddToBlinkList(second.wnd());
  app.MoveTimers(first.wnd(), second.wnd());
  app.m_pMainWnd = second.wnd();
  first.take();
  bool flash = false;
  bool blink = false;
  EXPECT_TRUE(eventually([&] {
    auto got = second.take();
    for (auto [m, w] : got) {
      flash |= m == WM_TIMER && w == WF_FLASH_TIMER;
      blink |= m == WM_TIMER && w == WF_BLINK_TIMER;
    }
    return flash && blink;
  }));
  EXPECT_EQ(first.count(WM_TIMER, WF_FLASH_TIMER), 0);
  app.m_pMainWnd = nullptr;
}

TEST_F(Services, WorkRunsOnlyWhileTheQueueAcceptsIt) {
  static std::atomic<int> runs{0};
  runs = 0;
  auto work = [](void*) -> UINT {
    ++runs;
    return 0;
  };
  CWFApp app;
  app.BeginThread(work, nullptr, 0, "before");
  app.startWorkQueue();
  char name[] = "during";
  app.BeginThread(work, nullptr, 0, name);
  name[0] = 'X';  // the name is the queue's own copy
  EXPECT_TRUE(eventually([&] { return runs == 1; }));
  app.stopWorkQueue();
  app.BeginThread(work, nullptr, 0, "after");
  EXPECT_FALSE(app.IsThreadMgrActive());
  EXPECT_TRUE(app.ThreadMgrQIsEmpty());
  EXPECT_EQ(app.ThreadMgrQRemoveHead(), nullptr);
  EXPECT_EQ(runs, 1);
}

TEST_F(Services, EnumerationCountReturnsToZeroUnderManyThreads) {
  CWFApp app;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 1000; ++i) {
        app.IncreaseEnumSpecCount();
        app.DecreaseEnumSpecCount();
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(app.GetEnumSpecCount(), 0);
}

TEST_F(Services, WholeEnumerationWaitsForAHeldUnit) {
  CWFApp app;
  app.IncreaseEnumSpecCount();
  std::atomic<bool> done{false};
  std::thread whole([&] {
    app.WaitForEnumSpecsComplete();
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(done);
  app.DecreaseEnumSpecCount();
  whole.join();
  EXPECT_TRUE(done);
  app.ReleaseAllEnumSpecs();
  app.IncreaseEnumSpecCount();
  EXPECT_EQ(app.GetEnumSpecCount(), 1);
  app.DecreaseEnumSpecCount();
}

TEST_F(Services, LogOpensOnFirstUseAndWritesStampedLinesAtItsLevel) {
  CWFApp app;
  app.SetLoggingLevel(0);
  app.Log(1, "hidden %d\n", 1);
  EXPECT_EQ(readLog(), "");
  app.Log(0, "shown %s\n", "here");
  const std::string text = readLog();
  EXPECT_TRUE(std::regex_match(text, std::regex(R"(\d\d-\d\d-\d\d \d\d:\d\d:\d\d shown here\n)"))) << text;
  app.CloseLogFile();
}

TEST_F(Services, ALogThatCannotOpenIsRetried) {
  auto path = mapSystemPath("c:\\wf32.log");
  ASSERT_TRUE(path);
  std::filesystem::create_directories(*path);  // a directory where the file should be
  CWFApp app;
  app.Log(0, "lost\n");
  std::filesystem::remove(*path);
  app.Log(0, "kept\n");
  EXPECT_NE(readLog().find("kept"), std::string::npos);
  EXPECT_EQ(readLog().find("lost"), std::string::npos);
}

TEST_F(Services, DriverUpdateRunsDetachedWithNullHandles) {
  const auto dir = wf::testing::testDataRoot();
  std::filesystem::create_directories(dir);
  const auto script = dir / "update.sh";
  const auto out = dir / "update.out";
  {
    std::ofstream s(script);
    s << "#!/bin/sh\n"
      << "handles=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2)\n"
      << "leader=$([ \"$(ps -o sid= -p $$ | tr -d ' ')\" = \"$$\" ] && echo leader)\n"
      << "printf '%s\\n%s\\n%s\\n' \"$*\" \"$handles\" \"$leader\" > " << out.string() << ".tmp\n"
      << "mv " << out.string() << ".tmp " << out.string() << "\n";
  }
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  wf::setModuleSearchPath({WF_TOOLKIT_DIR});
  CWFApp app;
  HINSTANCE toolKit = app.GetToolKitDLL();
  ASSERT_NE(toolKit, nullptr);
  app.SetDriverUpdateAuto(TRUE);
  app.SetDriverUpdatePath(script.c_str());
  app.CheckDriverUpdate();
  // The update may replace the tool kit: it was let go, and comes back on demand.
  EXPECT_EQ(app.PeekToolKitDLL(), nullptr);
  EXPECT_FALSE(wf::freeModule(toolKit));  // no longer loaded at all
  toolKit = app.GetToolKitDLL();
  ASSERT_NE(toolKit, nullptr);
  EXPECT_NE(wf::moduleEntry(toolKit, wf::toolkit::kEntryName), nullptr);
  EXPECT_TRUE(wf::freeModule(toolKit));
  wf::setModuleSearchPath({});
  ASSERT_TRUE(eventually([&] { return std::filesystem::exists(out); }));
  std::ifstream in(out);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "-u\n/dev/null\n/dev/null\n/dev/null\nleader\n");
  EXPECT_TRUE(boxTexts().empty());
}

TEST_F(Services, DriverUpdateThatCannotStartShowsTheBox) {
  CWFApp app;
  app.SetDriverUpdateAuto(TRUE);
  app.CheckDriverUpdate();  // empty path: nothing
  EXPECT_TRUE(boxTexts().empty());
  app.SetDriverUpdatePath("/no/such/update-program");
  app.CheckDriverUpdate();
  const auto calls = shell_.messageBox.calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].text, "An error occurred while attempting to run the specified install program.");
  EXPECT_EQ(calls[0].caption, "Driver Update Install Program Failure");
  EXPECT_EQ(calls[0].style & MB_ICONEXCLAMATION, MB_ICONEXCLAMATION);
}

TEST_F(Services, ErrorFormatsBoundedUpToTheLastArgument) {
  const char* none[9] = {};
  EXPECT_EQ(CWFApp::formatError("100%s", none, 9), "100%s");
  const char* two[9] = {"a", nullptr, "c"};
  EXPECT_EQ(CWFApp::formatError("%s-%s-%s", two, 9), "a--c");
  const std::string wide = std::string(499, 'x') + "\xC3\xA9" + "tail";
  const char* one[9] = {wide.c_str()};
  EXPECT_EQ(CWFApp::formatError("%s", one, 9), std::string(499, 'x'));
  const std::string big(2000, 'z');
  const char* many[9] = {big.c_str(), big.c_str()};
  EXPECT_EQ(CWFApp::formatError("%s%s", many, 9).size(), 500u);
  CWFApp::Error(UINT{0});
  CWFApp::Error("");
  EXPECT_TRUE(boxTexts().empty());
  CWFApp::Error(UINT{50});
  ASSERT_EQ(shell_.messageBox.calls().size(), 1u);
  EXPECT_EQ(shell_.messageBox.calls()[0].caption, "Wrenfield");
  EXPECT_EQ(shell_.messageBox.calls()[0].text, "Wrenfield was unable to initialize properly.");
}

TEST_F(Services, NoPrinterManagerNoPrinter) {
  CWFApp app;
  EXPECT_EQ(app.GetPrinterFromHandle(11), nullptr);
  EXPECT_EQ(app.GetAppID(), WF_APP_NOT_REGISTERED);
  CFilename file;
  CWFApp::GetModuleFilename(file);
  EXPECT_EQ(std::filesystem::path(file.GetPath().str()).filename(), "app_tests");
}

}  // namespace

namespace {

TEST_F(Services, ShutdownShowsItsStepsInOrderAndSavesOnlyWhatItRead) {
  wf::setTimeScaleForTest(0.2);
  {
    CWFApp app;
    app.startWorkQueue();
    app.SetMaxThreads(33);
    EXPECT_EQ(app.ExitInstance(), 0);
    EXPECT_FALSE(app.IsThreadMgrActive());
  }
  wf::setTimeScaleForTest(1.0);
  const std::vector<std::string> steps = {
      "Terminating pending operations to all printers.", "Shutting down alert processing for all printers.",
      "Shutting down bidirectional communication with all printers.",
      "Unloading all dynamic link libraries (DLL's).", "Wrenfield shutdown is complete."};
  EXPECT_EQ(CShutdownDlg::shownTexts(), steps);
  const auto icons = CShutdownDlg::shownIcons();
  ASSERT_GE(icons.size(), 7u);
  for (size_t i = 0; i < icons.size(); ++i) EXPECT_EQ(icons[i], 104 + i % 6) << i;
  EXPECT_EQ(CShutdownDlg::greyedSystemCommands(), (std::vector<UINT>{SC_SIZE, SC_MAXIMIZE, SC_CLOSE}));
  // Settings never read in this process are not written over the user's.
  HKEY settings = nullptr;
  EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, (std::string(CWFApp::kAppKey) + "\\Settings").c_str(), 0,
                          KEY_READ, &settings),
            ERROR_SUCCESS);
}

}  // namespace

namespace {

// This process's threads by name, less the framework's services.
std::vector<std::string> threadNames() {
  std::vector<std::string> names;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(task.path() / "comm");
    std::string name;
    std::getline(comm, name);
    // The framework's own services start with the first window and timer
    // and live as long as the process.
    if (name != "wf-timers" && name != "wf-winrecv") names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string settingsDump() {
  std::string text;
  registryDump(HKEY_CURRENT_USER, CWFApp::kAppKey, &text);
  return text;
}

constexpr const char* kRefusedChild = "WF_APP_TESTS_REFUSED_START";

// Runs in a second test process whose broker is not the primary: the start
// is refused and everything it began is taken down again.
void refusedStart(wf::fw::ScriptedShell& shell) {
  HKEY settings = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(CWFApp::kAppKey) + "\\Settings").c_str(), 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &settings, nullptr),
            ERROR_SUCCESS);
  const DWORD users = 30;
  RegSetValueExA(settings, "maxthreads", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&users), sizeof users);
  RegCloseKey(settings);
  const std::string hive = settingsDump();
  const auto threads = threadNames();

  wf::setTimeScaleForTest(0.2);
  CWFApp app;
  EXPECT_FALSE(app.InitInstance());
  const auto calls = shell.messageBox.calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].text, "Wrenfield was unable to initialize properly.");
  EXPECT_EQ(app.GetPrinterFromHandle(11), nullptr);
  EXPECT_EQ(app.m_pMainWnd, nullptr);
  EXPECT_EQ(app.GetWFWindowList()->GetCount(), 0);
  EXPECT_EQ(app.ExitInstance(), 0);
  wf::setTimeScaleForTest(1.0);
  EXPECT_FALSE(app.IsThreadMgrActive());
  EXPECT_EQ(CShutdownDlg::shownTexts().back(), "Wrenfield shutdown is complete.");
  EXPECT_EQ(settingsDump(), hive);
  EXPECT_TRUE(eventually([&] { return threadNames() == threads; }))
      << ::testing::PrintToString(threadNames()) << " vs " << ::testing::PrintToString(threads);
}

TEST_F(Services, RegistrationRefusedWhileAChildHoldsThePrimaryUnregistered) {
  if (std::getenv(kRefusedChild)) {
    refusedStart(shell_);
    return;
  }
  ChildProcess broker = ChildProcess::withCommands("broker");
  ASSERT_EQ(broker.call("primary"), "ok 1");
  ::setenv(kRefusedChild, "1", 1);
  ChildProcess refused("app_tests", {"--gtest_filter=Services.RegistrationRefused*"});
  ::unsetenv(kRefusedChild);
  std::string output;
  for (std::string line; (line = refused.readLine(120000)).rfind("err", 0) != 0;) output += line + "\n";
  const int status = refused.waitExit();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
  EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

}  // namespace
