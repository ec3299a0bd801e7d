#pragma once
// A sleeping program under a name of our choice (a copy of sleep below the
// data root), for tests of the process list and of who runs. Ended when the
// object goes.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/runtime_dir.h"

extern char** environ;

namespace wf::testing {

class NamedProgram {
 public:
  NamedProgram(const std::string& name, std::vector<std::string> extraEnvironment = {}) {
    const std::filesystem::path program = *dataRoot() / name;
    std::filesystem::create_directories(program.parent_path());
    std::filesystem::copy_file("/bin/sleep", program, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
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

// Whether the program has its own image yet (spawn returns before the exec).
inline bool runsItsImage(const NamedProgram& program, const std::string& name) {
  for (int i = 0; i < 500; ++i) {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/" + std::to_string(program.pid()) + "/exe", ec);
    if (exe.filename() == name) return true;
    ::usleep(10'000);
  }
  return false;
}

}  // namespace wf::testing
