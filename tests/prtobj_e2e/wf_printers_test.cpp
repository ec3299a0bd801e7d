// The wf-printers tool run as a user runs it: bad arguments, a runtime
// directory the platform refuses, and no printer to reach, also for several
// copies started at once. Each ends with a message that says why.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "hostile_places.h"
#include "test_dirs.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct ToolRun {
  pid_t pid = -1;
  fs::path err;
};

ToolRun startTool(std::vector<std::string> args, int copy = 0, const std::string& program = "wf-printers") {
  const fs::path tool = fs::read_symlink("/proc/self/exe").parent_path() / program;
  ToolRun run;
  run.err = wf::testing::testDataRoot() / (program + "." + std::to_string(copy) + ".err");
  fs::create_directories(run.err.parent_path());
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, run.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  args.insert(args.begin(), tool.string());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  EXPECT_EQ(posix_spawn(&run.pid, tool.c_str(), &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  return run;
}

// Exit code (-1 for a signal) and standard error.
std::pair<int, std::string> finish(const ToolRun& run) {
  int status = 0;
  ::waitpid(run.pid, &status, 0);
  std::ifstream in(run.err);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, {std::istreambuf_iterator<char>(in), {}}};
}

TEST(WfPrintersTool, RefusalsAndFailuresSayWhy) {
  const struct {
    std::vector<std::string> args;
    int exitCode;
    const char* message;
  } cases[] = {
      {{"--watch", "abc"}, 2, "whole number of seconds"},
      {{"--watch", "-1"}, 2, "whole number of seconds"},
      {{"--watch", "4294967296"}, 2, "whole number of seconds"},
      {{"--watch", "4294968"}, 1, "no printer could be reached"},  // a long watch is taken, not cut short
      {{}, 1, "no printer could be reached"},
  };
  for (const auto& c : cases) {
    auto [code, err] = finish(startTool(c.args));
    EXPECT_EQ(code, c.exitCode) << err;
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
  }
  ::chmod(wf::testing::testRuntimeDir().c_str(), 0755);
  auto [code, err] = finish(startTool({}));
  EXPECT_EQ(code, 127);
  EXPECT_NE(err.find("mode 755 lets others in"), std::string::npos) << err;
}

TEST(WfPrintersTool, AScenarioThatIsNoFileIsToldAndPassedOver) {
  const fs::path scenario = wf::testing::testDataRoot() / "world.scenario";
  ::setenv("WRENFIELD_SCENARIO", scenario.c_str(), 1);
  ::setenv("WRENFIELD_TRACE", "1", 1);
  for (const auto& place : wf::testing::hostilePlaces()) {
    SCOPED_TRACE(place.what);
    wf::testing::makeHostile(place.kind, scenario);
    auto [code, err] = finish(startTool({"--netware"}));
    EXPECT_EQ(code, 1) << err;
    EXPECT_NE(err.find("no printer could be reached"), std::string::npos) << err;
    // The stand-ins of the spooler and the NetWare client each say why.
    EXPECT_NE(err.find("spooler: scenario not used: " + scenario.string() + ": "), std::string::npos) << err;
    EXPECT_NE(err.find("cornwthk: scenario " + scenario.string() + ": "), std::string::npos) << err;
  }
}

// Each program that maps shared memory in the runtime directory.
TEST(WfPrintersTool, AFullRuntimeDirectoryIsRefusedByEveryProgram) {
  std::string why;
  const auto full = wf::testing::mountFullTmpfs(wf::testing::testDataRoot() / "full", &why);
  if (!full) GTEST_SKIP() << "no tmpfs of our own: " << why;
  ::setenv("WRENFIELD_RUNTIME_DIR", full->c_str(), 1);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  for (const char* program : {"wf-printers", "wrenfld"}) {
    SCOPED_TRACE(program);
    auto [code, err] = finish(startTool({}, 0, program));
    EXPECT_NE(code, -1) << "ended by a signal: " << err;
    EXPECT_NE(code, 0) << err;
    EXPECT_NE(err.find("runtime directory full: " + full->string()), std::string::npos) << err;
  }
}

// The first to start is the primary and may end first: the others still end,
// each saying why it found nothing.
TEST(WfPrintersTool, SeveralStartedAtOnceAllEnd) {
  std::vector<ToolRun> runs;
  for (int i = 0; i < 3; ++i) runs.push_back(startTool({}, i));
  for (const ToolRun& run : runs) {
    auto [code, err] = finish(run);
    EXPECT_EQ(code, 1) << err;
    // A copy that registers before the primary has is refused: it says so.
    EXPECT_TRUE(err.find("no printer could be reached") != std::string::npos ||
                err.find("refused the registration") != std::string::npos)
        << err;
  }
}

}  // namespace
