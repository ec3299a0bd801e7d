// setup end to end: run offscreen from a copy of the distribution directory
// in the case's data root, with the installer stand-in it ships. What setup
// showed comes from its UI snapshot, what the installer was given and found
// from its log.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "eventually.h"
#include "platform/registry.h"
#include "platform/window_messages.h"
#include "test_dirs.h"

namespace {

namespace fs = std::filesystem;
using wf::testing::ChildProcess;

constexpr char kDefaultFiles[] = "setupwf.lst\ncinstall.exe\nWRENFLD.EX_\nREADME.TX_\nLICENSE.TXT\n";
constexpr char kAnotherSetupText[] = "Another Setup is already running.";
constexpr char kInstallationKey[] = "Software\\Corvane\\Wrenfield\\1.0\\Settings\\Installation";
constexpr char kFailureText[] = "Setup could not complete the installation.";

std::vector<std::string> linesOf(const fs::path& file) {
  std::vector<std::string> lines;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool anyLineHas(const std::vector<std::string>& lines, const std::string& part) {
  for (const auto& line : lines)
    if (line.find(part) != std::string::npos) return true;
  return false;
}

int countLinesStarting(const std::vector<std::string>& lines, const std::string& start) {
  int count = 0;
  for (const auto& line : lines) count += line.rfind(start, 0) == 0;
  return count;
}

class SetupEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = wf::testing::testDataRoot();
    fs::create_directories(root_);
    ::chmod(root_.c_str(), 0700);
    disk_ = root_ / "disk";
    fs::copy(WF_SETUP_DISK, disk_, fs::copy_options::recursive);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("WRENFIELD_TIME_SCALE", "0.2", 1);
  }
  void TearDown() override {
    if (!shortRoot_.empty()) fs::remove_all(shortRoot_);
    ::unsetenv("WRENFIELD_UI_SNAPSHOT");
    ::unsetenv("WRENFIELD_UI_ANSWERS");
    ::unsetenv("WRENFIELD_TIME_SCALE");
  }

  void writeList(const std::string& firstLine, const std::string& files = kDefaultFiles) {
    std::ofstream(disk_ / "setupwf.lst", std::ios::trunc) << firstLine << '\n' << files;
  }

  // A copy of the distribution in `name` below a directory whose every
  // component fits the 8 characters of a server directory (the data root's
  // do not); its processes still use the case's directories.
  fs::path serverCopy(const std::string& name) {
    if (shortRoot_.empty()) {
      char pattern[] = "/tmp/wfXXXXXX";
      if (!::mkdtemp(pattern)) return {};
      shortRoot_ = pattern;
    }
    fs::copy(disk_, shortRoot_ / name, fs::copy_options::recursive);
    std::ofstream(shortRoot_ / name / "products.ini") << "[Products]\n";
    return shortRoot_ / name;
  }

  // Starts setup from `directory` with its boxes answered in order (OK
  // after those given); its snapshot is snapshot<n>.
  ChildProcess startSetup(const std::vector<int>& answers = {}, const fs::path& directory = {}) {
    const int run = ++runs_;
    const fs::path answersFile = root_ / ("answers" + std::to_string(run));
    {
      std::ofstream out(answersFile);
      for (int answer : answers) out << "box: " << answer << '\n';
      for (int i = 0; i < 8; ++i) out << "box: 1\n";
    }
    ::setenv("WRENFIELD_UI_ANSWERS", answersFile.c_str(), 1);
    ::setenv("WRENFIELD_UI_SNAPSHOT", (root_ / ("snapshot" + std::to_string(run))).c_str(), 1);
    return ChildProcess(((directory.empty() ? disk_ : directory) / "setup").string());
  }
  int runSetup(const std::vector<int>& answers = {}, const fs::path& directory = {}) {
    ChildProcess setup = startSetup(answers, directory);
    const int status = setup.waitExit();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // The message boxes run n showed: "caption<TAB>text<TAB>answer".
  std::vector<std::string> boxesOf(int run) const {
    std::vector<std::string> boxes;
    for (const auto& line : linesOf(root_ / ("snapshot" + std::to_string(run))))
      if (line.rfind("box\t", 0) == 0) boxes.push_back(line.substr(4));
    return boxes;
  }

  std::vector<std::string> installerLog() const { return linesOf(wf::testing::testRuntimeDir() / "cinstall.log"); }
  std::vector<std::string> shutdownRequests() const { return linesOf(root_ / "shutdown.log"); }

  std::vector<fs::path> temporaryDirectories() const {
    std::vector<fs::path> found;
    std::error_code ec;
    for (fs::directory_iterator it(root_ / "drives" / "c", ec), end; !ec && it != end; it.increment(ec))
      if (it->path().filename().string().rfind("COR", 0) == 0) found.push_back(it->path());
    return found;
  }

  // "RebootFlag" "1", as an installation that asked for a restart leaves it.
  static bool askedForRestartEarlier() {
    wf::HKEY key = nullptr;
    if (wf::RegCreateKeyExA(wf::HKEY_CURRENT_USER, kInstallationKey, 0, nullptr, wf::REG_OPTION_NON_VOLATILE,
                            wf::KEY_ALL_ACCESS, nullptr, &key, nullptr) != wf::ERROR_SUCCESS)
      return false;
    const bool set = wf::RegSetValueExA(key, "RebootFlag", 0, wf::REG_SZ, reinterpret_cast<const BYTE*>("1"), 2) ==
                     wf::ERROR_SUCCESS;
    wf::RegCloseKey(key);
    return set;
  }

  std::string rebootFlag() const {
    wf::HKEY key = nullptr;
    if (wf::RegOpenKeyExA(wf::HKEY_CURRENT_USER, kInstallationKey, 0, wf::KEY_READ, &key) != wf::ERROR_SUCCESS)
      return "(no key)";
    char value[64] = {};
    DWORD size = sizeof value, type = 0;
    const bool read = wf::RegQueryValueExA(key, "RebootFlag", nullptr, &type, reinterpret_cast<BYTE*>(value),
                                           &size) == wf::ERROR_SUCCESS;
    wf::RegCloseKey(key);
    return read ? std::string(value) : "(no value)";
  }

  fs::path root_, disk_, shortRoot_;
  int runs_ = 0;
};

TEST_F(SetupEndToEnd, InstallsThroughTheInstallerAndRecordsItsRestart) {
  writeList("restart linger=2000");
  ASSERT_EQ(runSetup(), 0);

  const auto log = installerLog();
  ASSERT_EQ(countLinesStarting(log, "start "), 1);
  EXPECT_TRUE(anyLineHas(log, "args -d " + disk_.string() + "/ restart linger=2000"));
  std::vector<std::string> found;
  for (const auto& line : log)
    if (line.rfind("file ", 0) == 0) found.push_back(line.substr(5));
  EXPECT_EQ(found, (std::vector<std::string>{"LICENSE.TXT", "README.TXT", "README.TX_", "WRENFLD.EXE",
                                             "WRENFLD.EX_", "cinstall.exe", "setupwf.lst"}));
  // The expanded program is the one that was compressed.
  EXPECT_TRUE(anyLineHas(log, "cwd " + (root_ / "drives" / "c").string() + "/COR"));
  EXPECT_TRUE(anyLineHas(log, "advise RESET"));
  // Setup waited for the lingering installer before it ended.
  EXPECT_EQ(log.back(), "exit");
  EXPECT_TRUE(temporaryDirectories().empty());
  EXPECT_EQ(shutdownRequests(), std::vector<std::string>{"restart requested by setup"});
  EXPECT_EQ(rebootFlag(), "0");
  EXPECT_TRUE(boxesOf(1).empty());
}

TEST_F(SetupEndToEnd, WithoutARestartNoneIsRequested) {
  writeList("work=100");
  ASSERT_EQ(runSetup(), 0);
  EXPECT_TRUE(anyLineHas(installerLog(), "disconnected"));
  EXPECT_TRUE(shutdownRequests().empty());
  EXPECT_EQ(rebootFlag(), "0");
  EXPECT_TRUE(temporaryDirectories().empty());
}

TEST_F(SetupEndToEnd, ASecondSetupWhileTheFirstEndsShowsAnotherSetupAndCopiesNothing) {
  writeList("work=100 linger=3000");
  ChildProcess first = startSetup();
  ASSERT_TRUE(wf::testing::eventually([&] { return anyLineHas(installerLog(), "disconnected"); }));
  ASSERT_EQ(runSetup(), 0);
  const auto boxes = boxesOf(2);
  ASSERT_EQ(boxes.size(), 1u) << ::testing::PrintToString(boxes);
  EXPECT_NE(boxes[0].find(kAnotherSetupText), std::string::npos);
  first.waitExit();
  EXPECT_EQ(countLinesStarting(installerLog(), "start "), 1);
  EXPECT_TRUE(temporaryDirectories().empty());
}

TEST_F(SetupEndToEnd, AnInstallerAlreadyRunningIsNotStartedTwice) {
  writeList("restart");
  ChildProcess installer((disk_ / "cinstall.exe").string(), {"work=100"});
  ASSERT_TRUE(wf::testing::eventually([&] { return anyLineHas(installerLog(), "registered"); }));
  ASSERT_EQ(runSetup(), 0);
  const auto log = installerLog();
  EXPECT_EQ(countLinesStarting(log, "start "), 1);
  EXPECT_TRUE(anyLineHas(log, "advise RESET"));
  EXPECT_TRUE(anyLineHas(log, "disconnected"));
  EXPECT_TRUE(boxesOf(1).empty());
  EXPECT_TRUE(temporaryDirectories().empty());
}

TEST_F(SetupEndToEnd, ProductsIniAnsweredYesStartsTheServerInstallation) {
  const fs::path server = serverCopy("server");
  ASSERT_FALSE(server.empty());
  ASSERT_EQ(runSetup({6}, server), 0);
  const auto log = installerLog();
  EXPECT_EQ(countLinesStarting(log, "args "), 1);
  EXPECT_TRUE(anyLineHas(log, "args -s"));
  EXPECT_TRUE(anyLineHas(log, "cwd " + server.string()));
  EXPECT_TRUE(temporaryDirectories().empty());
  ASSERT_EQ(boxesOf(1).size(), 1u) << ::testing::PrintToString(boxesOf(1));  // the question alone
  EXPECT_EQ(boxesOf(1)[0].back(), '6');
}

TEST_F(SetupEndToEnd, ProductsIniAnsweredNoInstallsHereWithL) {
  writeList("work=100");
  std::ofstream(disk_ / "products.ini") << "[Products]\n";
  ASSERT_EQ(runSetup({7}), 0);
  EXPECT_TRUE(anyLineHas(installerLog(), "args -l -d " + disk_.string() + "/ work=100"));
  EXPECT_TRUE(temporaryDirectories().empty());
}

TEST_F(SetupEndToEnd, ServerDirectoryRulesAndAFailedServerStart) {
  // A component of 9 characters: refused before anything starts.
  const fs::path installer = serverCopy("INSTALLER");
  ASSERT_FALSE(installer.empty());
  ASSERT_EQ(runSetup({6}, installer), 0);
  auto boxes = boxesOf(1);
  ASSERT_EQ(boxes.size(), 2u) << ::testing::PrintToString(boxes);
  EXPECT_NE(boxes[1].find("Server Directory name must be no more than 8 characters."), std::string::npos);
  EXPECT_TRUE(installerLog().empty());

  // No installer to start: text 19, the directory as it was.
  writeList("", "WRENFLD.EX_\n");
  const fs::path server = serverCopy("server");
  fs::remove(server / "cinstall.exe");
  std::vector<std::string> before;
  for (const auto& entry : fs::directory_iterator(server)) before.push_back(entry.path().filename().string());
  ASSERT_EQ(runSetup({6}, server), 0);
  boxes = boxesOf(2);
  ASSERT_EQ(boxes.size(), 2u) << ::testing::PrintToString(boxes);
  EXPECT_NE(boxes[1].find(kFailureText), std::string::npos);
  std::vector<std::string> after;
  for (const auto& entry : fs::directory_iterator(server)) after.push_back(entry.path().filename().string());
  EXPECT_EQ(after, before);
  EXPECT_TRUE(installerLog().empty());
}

TEST_F(SetupEndToEnd, AnInstallerThatNeverAnswersFailsAfterTheThirdTry) {
  writeList("no-service work=200");
  ASSERT_EQ(runSetup(), 0);
  const auto boxes = boxesOf(1);
  ASSERT_EQ(boxes.size(), 1u) << ::testing::PrintToString(boxes);
  EXPECT_NE(boxes[0].find(kFailureText), std::string::npos);
  EXPECT_EQ(countLinesStarting(installerLog(), "connected"), 0);
  EXPECT_EQ(installerLog().back(), "exit");
  EXPECT_TRUE(temporaryDirectories().empty());
}

TEST_F(SetupEndToEnd, AnInstallerRegisteringLateIsFoundAtTheThirdTry) {
  // Real time: the tries are 3 s and 5 s after the start, the service comes
  // 3.5 s after the installer starts.
  ::setenv("WRENFIELD_TIME_SCALE", "1", 1);
  writeList("late=3500 work=100");
  ASSERT_EQ(runSetup(), 0);
  EXPECT_TRUE(anyLineHas(installerLog(), "advise RESET"));
  EXPECT_TRUE(boxesOf(1).empty());
  EXPECT_TRUE(temporaryDirectories().empty());
}

TEST_F(SetupEndToEnd, HostileInstallersEndInTheNormalEnd) {
  struct Case {
    const char* firstLine;
    const char* logged;
    bool mayShowFailure;  // gone before a conversation stood
  };
  const Case cases[] = {
      {"die", "dies", false},                        // gone in the middle of the conversation
      {"drop", "disconnected", true},                // gone before the advise loop
      {"restart flood work=100", "advise", false},   // far more advise data than a message holds
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.firstLine);
    fs::remove(wf::testing::testRuntimeDir() / "cinstall.log");
    writeList(c.firstLine);
    ASSERT_EQ(runSetup(), 0);
    EXPECT_TRUE(anyLineHas(installerLog(), c.logged));
    const auto boxes = boxesOf(runs_);
    EXPECT_TRUE(boxes.empty() ||
                (c.mayShowFailure && boxes.size() == 1 && boxes[0].find(kFailureText) != std::string::npos))
        << ::testing::PrintToString(boxes);
    EXPECT_TRUE(temporaryDirectories().empty());
  }
  // Nothing was written beside the distribution.
  EXPECT_FALSE(fs::exists(disk_ / "WRENFLD.EXE"));
}

TEST_F(SetupEndToEnd, ADamagedCompressedFileFailsAndLeavesNothing) {
  const auto size = fs::file_size(disk_ / "WRENFLD.EX_");
  fs::resize_file(disk_ / "WRENFLD.EX_", size / 2);
  ASSERT_EQ(runSetup(), 0);
  const auto boxes = boxesOf(1);
  ASSERT_GE(boxes.size(), 2u);
  EXPECT_TRUE(anyLineHas(boxes, "Error attempting to unpack " + disk_.string() + "/WRENFLD.EX_"));
  EXPECT_NE(boxes.back().find(kFailureText), std::string::npos);
  EXPECT_TRUE(installerLog().empty());
  EXPECT_TRUE(temporaryDirectories().empty());
}

TEST_F(SetupEndToEnd, ATextMessageFromElsewhereIsNeverTakenForAnAddress) {
  writeList("work=5000");
  ChildProcess setup = startSetup();
  ASSERT_TRUE(wf::testing::eventually([&] { return anyLineHas(installerLog(), "advise RESET"); }));
  const wf::Hwnd window = wf::findWindow("Setup");
  ASSERT_NE(window, 0u);
  constexpr std::uint32_t kSetText = 0x0400 + 132;
  EXPECT_TRUE(wf::postMessage(window, kSetText, 0, static_cast<wf::LParam>(0xdeadbeef)));
  EXPECT_TRUE(wf::postMessage(window, kSetText, 0, 0));
  const int status = setup.waitExit();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(anyLineHas(installerLog(), "disconnected"));
  EXPECT_TRUE(temporaryDirectories().empty());
}

TEST_F(SetupEndToEnd, WithoutItsResourcesOnlyTheEndRuns) {
  // A restart an earlier installation asked for is still taken at the end.
  ASSERT_TRUE(askedForRestartEarlier());
  fs::remove(disk_ / "libdllres.so");
  ASSERT_EQ(runSetup(), 0);
  EXPECT_TRUE(boxesOf(1).empty());
  EXPECT_TRUE(installerLog().empty());
  EXPECT_TRUE(temporaryDirectories().empty());
  EXPECT_EQ(shutdownRequests(), std::vector<std::string>{"restart requested by setup"});
  EXPECT_EQ(rebootFlag(), "0");
}

}  // namespace
