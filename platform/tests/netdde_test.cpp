#include "platform/netdde.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "child_process.h"
#include "eventually.h"
#include "platform/process.h"
#include "platform/runtime_dir.h"
#include "platform/window_messages.h"

namespace wf {
namespace {

namespace fs = std::filesystem;

// The agents of this test's runtime directory, counted from /proc.
int runningAgents() {
  const std::string mine = "WRENFIELD_RUNTIME_DIR=" + runtimeDir()->string();
  int count = 0;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::ifstream comm(entry.path() / "comm");
    std::string name;
    if (!(comm >> name) || name != "netdde") continue;
    std::ifstream environ(entry.path() / "environ");
    std::string variable;
    while (std::getline(environ, variable, '\0')) {
      if (variable == mine) ++count;
    }
  }
  return count;
}

void writeNetddeScenario(const std::string& text) {
  std::ofstream(*dataRoot() / "scenario") << text;
}

TEST(NetDdeAgent, OneAgentRunsWhileItIsUsedAndEndsAfter) {
  {
    auto users = openNetDdeUsersLock();
    ASSERT_TRUE(users && users->lockShared(kNetDdeUsersWait));
    EXPECT_GT(winExec(kNetDdeProgram, SW_SHOWNA), 31u);
    ASSERT_TRUE(testing::eventually([] { return findWindow(kNetDdeWindowClass) != 0; }));
    const Hwnd first = findWindow(kNetDdeWindowClass);
    // A second start finds the window and ends.
    EXPECT_GT(winExec(kNetDdeProgram, SW_SHOWNA), 31u);
    ASSERT_TRUE(testing::eventually([] { return runningAgents() == 1; }));
    EXPECT_EQ(findWindow(kNetDdeWindowClass), first);
  }
  EXPECT_TRUE(testing::eventually([] { return runningAgents() == 0 && !findWindow(kNetDdeWindowClass); }));
}

TEST(NetDdeAgent, AnAbsentAgentEndsWithoutItsWindow) {
  writeNetddeScenario("[netdde]\npresent = 0\n");
  auto users = openNetDdeUsersLock();
  ASSERT_TRUE(users && users->lockShared(kNetDdeUsersWait));
  EXPECT_GT(winExec(kNetDdeProgram, SW_SHOWNA), 31u);
  EXPECT_TRUE(testing::eventually([] { return runningAgents() == 0; }));
  EXPECT_EQ(findWindow(kNetDdeWindowClass), 0u);
}

TEST(NetDdeAgent, AMalformedScenarioRefusesTheStart) {
  writeNetddeScenario("present = 1\n");
  testing::ChildProcess agent("netdde");
  const int status = agent.waitExit();
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(findWindow(kNetDdeWindowClass), 0u);
}

}  // namespace
}  // namespace wf
