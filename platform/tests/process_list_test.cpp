#include "platform/process_list.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "named_program.h"
#include "platform/restart.h"
#include "platform/runtime_dir.h"

namespace wf {
namespace {

namespace fs = std::filesystem;

std::string nameOf(const std::vector<ProcessEntry>& list, int pid) {
  auto it = std::find_if(list.begin(), list.end(), [&](const ProcessEntry& e) { return e.pid == pid; });
  return it == list.end() ? std::string() : it->exeName;
}

TEST(ProcessList, NamesTheProgramsOfThisRuntimeDirectoryOnly) {
  testing::NamedProgram setup("setup"), installer("cinstall.exe"), dotted("two.parts.bin");
  testing::NamedProgram elsewhere("other/setup", {"WRENFIELD_RUNTIME_DIR=" + (*dataRoot() / "other-rt").string()});
  ASSERT_TRUE(testing::runsItsImage(setup, "setup"));
  ASSERT_TRUE(testing::runsItsImage(installer, "cinstall.exe"));
  ASSERT_TRUE(testing::runsItsImage(dotted, "two.parts.bin"));
  ASSERT_TRUE(testing::runsItsImage(elsewhere, "setup"));

  auto list = listProcesses();
  ASSERT_TRUE(list);
  EXPECT_EQ(nameOf(*list, ::getpid()), "PLATFORM_TESTS.EXE");
  EXPECT_EQ(nameOf(*list, setup.pid()), "SETUP.EXE");
  EXPECT_EQ(nameOf(*list, installer.pid()), "CINSTALL.EXE");
  EXPECT_EQ(nameOf(*list, dotted.pid()), "TWO.PARTS.BIN");
  EXPECT_EQ(nameOf(*list, elsewhere.pid()), "");
  EXPECT_EQ(countProcesses("setup.exe"), 1);

  setup.end();
  EXPECT_EQ(countProcesses("SETUP.EXE"), 0);
  EXPECT_EQ(countProcesses("CINSTALL.EXE"), 1);

  setProcessListUnreadableForTesting(true);
  EXPECT_FALSE(listProcesses());
  EXPECT_FALSE(countProcesses("CINSTALL.EXE"));
  setProcessListUnreadableForTesting(false);
  EXPECT_TRUE(listProcesses());
}

TEST(Restart, IsRecordedNeverPerformed) {
  const fs::path log = *dataRoot() / "shutdown.log";
  EXPECT_TRUE(ExitWindowsEx(EWX_REBOOT, 0));
  EXPECT_TRUE(ExitWindowsEx(EWX_REBOOT | EWX_FORCE, 0));
  EXPECT_FALSE(ExitWindowsEx(EWX_SHUTDOWN, 0));
  EXPECT_FALSE(ExitWindowsEx(EWX_LOGOFF, 0));
  std::ifstream in(log);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  EXPECT_EQ(lines, (std::vector<std::string>{"restart requested by platform_tests",
                                             "restart requested by platform_tests"}));
}

}  // namespace
}  // namespace wf
