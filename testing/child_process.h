#pragma once
// Drives a helper process (wf-testchild) over a pipe, so cross-process
// behaviour is tested with real processes. Each request is one line; the
// child answers one line, "ok ..." or "err ...".
#include <sys/types.h>

#include <string>
#include <vector>

namespace wf::testing {

class ChildProcess {
 public:
  // Starts wf-testchild from the directory of the running test program.
  ChildProcess();
  // Starts `program`, a helper beside the test program built on the same pattern.
  explicit ChildProcess(const std::string& program);
  // As above, with command-line arguments (simulator programs take a scenario).
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments);
  ~ChildProcess();  // kills the child if it still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Sends one command line and returns the answer line (without newline);
  // "err child gone" when the child died, "err timeout" after `realMs`.
  std::string call(const std::string& command, int realMs = 30000);
  // The next line the child writes unasked (e.g. "ready").
  std::string readLine(int realMs = 30000);

  void kill(int signal);  // e.g. SIGKILL; then waits for the child to end
  int waitExit();         // exit status as from waitpid (raw), after the child ends
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int toChild_ = -1;
  int fromChild_ = -1;
  std::string buffered_;
  bool reaped_ = false;
  int status_ = 0;
};

}  // namespace wf::testing
