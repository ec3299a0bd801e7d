#pragma once
// The broker benchmarks run as several processes of one program, each told
// its part by WF_BENCH_ROLE.
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <system_error>

namespace wf::bench {

// This process's role; nullptr when the program was started by hand.
inline const char* benchRole() {
  return ::getenv("WF_BENCH_ROLE");
}

// Runs this program again as the primary in a fresh runtime directory (the
// broker attaches when the program loads, so the directory must be there
// before), then removes the directory. Its exit status.
inline int restartAsPrimary(char** argv) {
  char dir[] = "/tmp/wfbench-XXXXXX";
  if (!::mkdtemp(dir)) return 1;
  ::setenv("WRENFIELD_RUNTIME_DIR", dir, 1);
  std::fflush(stdout);
  const pid_t child = ::fork();
  if (child == 0) {
    ::setenv("WF_BENCH_ROLE", "primary", 1);
    ::execv("/proc/self/exe", argv);
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

// Runs this program in `role` to its end; its exit status.
inline int runRole(char** argv, const char* role) {
  std::fflush(stdout);  // the child's lines come after what is already printed
  const pid_t child = ::fork();
  if (child == 0) {
    ::setenv("WF_BENCH_ROLE", role, 1);
    ::execv("/proc/self/exe", argv);
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

// The benchmark's main: started by hand it reruns itself as the primary in
// a fresh runtime directory, with `world` as the simulators' scenario; as
// the primary it runs `primary`.
inline int mainAsPrimary(char** argv, const char* world, const std::function<int()>& primary) {
  if (benchRole()) return primary();
  ::setenv("WRENFIELD_SCENARIO", world, 1);
  return restartAsPrimary(argv);
}

}  // namespace wf::bench
