#include "platform/process_list.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/restart.h"
#include "platform/runtime_dir.h"

extern char** environ;

namespace wf {
namespace {

namespace fs = std::filesystem;

// A sleeping program under a name of our choice, ended when the test ends.
class NamedProgram {
 public:
  NamedProgram(const std::string& name, std::vector<std::string> extraEnvironment = {}) {
    const fs::path program = *dataRoot() / name;
    fs::create_directories(program.parent_path());
    fs::copy_file("/bin/sleep", program, fs::copy_options::overwrite_existing);
    fs::permissions(program, fs::perms::owner_all);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    for (auto& extra : extraEnvironment) {
      const std::string key = extra.substr(0, extra.find('=') + 1);
      std::erase_if(env, [&](const std::string& e) { return e.starts_with(key); });
      env.push_back(extra);
    }
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string path = program.string(), seconds = "300";
    char* argv[] = {path.data(), seconds.data(), nullptr};
    if (::posix_spawn(&pid_, path.c_str(), nullptr, nullptr, argv, envp.data()) != 0) pid_ = -1;
  }
  ~NamedProgram() { end(); }
  void end() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

std::string nameOf(const std::vector<ProcessEntry>& list, int pid) {
  auto it = std::find_if(list.begin(), list.end(), [&](const ProcessEntry& e) { return e.pid == pid; });
  return it == list.end() ? std::string() : it->exeName;
}

// Whether the program has its own image yet (spawn returns before the exec).
bool runsItsImage(const NamedProgram& program, const std::string& name) {
  for (int i = 0; i < 500; ++i) {
    std::error_code ec;
    if (fs::read_symlink("/proc/" + std::to_string(program.pid()) + "/exe", ec).filename() == name) return true;
    ::usleep(10'000);
  }
  return false;
}

TEST(ProcessList, NamesTheProgramsOfThisRuntimeDirectoryOnly) {
  NamedProgram setup("setup"), installer("cinstall.exe"), dotted("two.parts.bin");
  NamedProgram elsewhere("other/setup", {"WRENFIELD_RUNTIME_DIR=" + (*dataRoot() / "other-rt").string()});
  ASSERT_TRUE(runsItsImage(setup, "setup"));
  ASSERT_TRUE(runsItsImage(installer, "cinstall.exe"));
  ASSERT_TRUE(runsItsImage(dotted, "two.parts.bin"));
  ASSERT_TRUE(runsItsImage(elsewhere, "setup"));

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
