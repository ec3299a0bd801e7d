// The conversation with the installer, against the stand-in as a process:
// the test thread is setup's window thread, its queue pumped by hand.
#include "setup/installer_link.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "eventually.h"
#include "platform/message_queue.h"
#include "platform/module.h"
#include "platform/process.h"
#include "platform/process_list.h"
#include "platform/runtime_dir.h"
#include "platform/window_messages.h"

namespace wf::setup {
namespace {

std::vector<std::string> installerLogLines() {
  std::vector<std::string> lines;
  std::ifstream in(*runtimeDir() / "cinstall.log");
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

int installerStarts() {
  int starts = 0;
  for (const auto& line : installerLogLines()) starts += line.rfind("start ", 0) == 0;
  return starts;
}

// Runs the callbacks waiting for this thread until `done` holds.
template <class Done>
bool pumpUntil(Done done) {
  return wf::testing::eventually([&] {
    Message m;
    while (peekMessage(m, PeekMode::Remove)) dispatchMessage(m);
    return done();
  });
}

std::string installerCommand(const std::string& arguments) {
  return (moduleDirectory() / "cinstall").string() + " " + arguments;
}

TEST(InstallerLink, CommandLinesWithAndWithoutTheLocalFlag) {
  EXPECT_EQ(installerCommandLine("C:\\COR1A2B.TMP", "/q", "/mnt/disk/", "restart", true),
            "C:\\COR1A2B.TMP\\cinstall.exe -l /q -d /mnt/disk/ restart");
  EXPECT_EQ(installerCommandLine("C:\\COR1A2B.TMP", "/q", "/mnt/disk/", "restart", false),
            "C:\\COR1A2B.TMP\\cinstall.exe /q -d /mnt/disk/ restart");
}

TEST(InstallerLink, StartsTheInstallerFollowsItsAdviseAndEndsAtItsDisconnect) {
  InstallerLink link;
  ASSERT_TRUE(link.initialize());
  int disconnects = 0, started = 0;
  link.onDisconnect = [&] { ++disconnects; };
  ASSERT_TRUE(link.connect(installerCommand("restart work=300"), [&] { ++started; }));
  EXPECT_EQ(started, 1);
  EXPECT_TRUE(link.connected());
  ASSERT_TRUE(pumpUntil([&] { return disconnects > 0; }));
  EXPECT_EQ(disconnects, 1);
  EXPECT_TRUE(link.rebootPending());
  EXPECT_FALSE(link.connected());
  link.end();
  waitWhileInstallerRuns();
  EXPECT_EQ(countProcesses(kInstallerExe), 0);
  EXPECT_EQ(installerStarts(), 1);
}

TEST(InstallerLink, ARunningInstallerIsNotStartedAgain) {
  ASSERT_GT(winExec(installerCommand("work=200").c_str(), SW_SHOWNORMAL), 32u);
  ASSERT_TRUE(wf::testing::eventually([] {
    const auto lines = installerLogLines();
    return std::find(lines.begin(), lines.end(), "registered") != lines.end();
  }));
  InstallerLink link;
  ASSERT_TRUE(link.initialize());
  bool ended = false;
  link.onDisconnect = [&] { ended = true; };
  int started = 0;
  ASSERT_TRUE(link.connect(installerCommand("work=200"), [&] { ++started; }));
  EXPECT_EQ(started, 0);
  ASSERT_TRUE(pumpUntil([&] { return ended; }));
  EXPECT_FALSE(link.rebootPending());
  link.end();
  waitWhileInstallerRuns();
  EXPECT_EQ(installerStarts(), 1);
}

TEST(InstallerLink, NoInstallerAfterTheThirdTry) {
  InstallerLink link;
  ASSERT_TRUE(link.initialize());
  int started = 0;
  EXPECT_FALSE(link.connect(installerCommand("no-service work=100"), [&] { ++started; }));
  EXPECT_EQ(started, 1);
  EXPECT_FALSE(link.connected());
  // A program that cannot be started is not waited for.
  EXPECT_FALSE(link.connect((moduleDirectory() / "no-such-installer").string(), [&] { ++started; }));
  EXPECT_EQ(started, 1);
  link.end();
  waitWhileInstallerRuns();
}

}  // namespace
}  // namespace wf::setup
