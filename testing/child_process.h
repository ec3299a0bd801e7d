#pragma once
// Drives a helper process over a pipe, so cross-process behaviour is tested
// with real processes. Each request is one line; the helper answers one
// line, "ok <fields>" or "err <why>", returned parsed.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "eventually.h"
#include "platform/unique_fd.h"

namespace wf::testing {

// One answer of a helper: ok and its blank-separated fields, or not ok and why.
struct ChildAnswer {
  bool ok = false;
  std::vector<std::string> fields;
  std::string error;  // the text after "err"

  static ChildAnswer parse(std::string_view line);
  // Field i as a number (decimal, or hexadecimal with 0x); throws when absent or not a number.
  std::int64_t number(std::size_t i = 0) const;
  // Field i as hexadecimal digits without 0x.
  std::uint32_t hex(std::size_t i = 0) const;
  const std::string& field(std::size_t i = 0) const;
};

class ChildProcess {
 public:
  // Starts wf-testchild with the platform's commands.
  ChildProcess();
  // Starts wf-testchild with the command library of `module`.
  static ChildProcess withCommands(const std::string& module);
  // Starts `program` (beside the test program) with `args`: a helper that
  // speaks the same line protocol, or a tool driven by lines.
  explicit ChildProcess(const std::string& program, std::vector<std::string> args = {});
  ~ChildProcess();  // kills the child if it still runs
  ChildProcess(ChildProcess&&) noexcept;
  ChildProcess& operator=(ChildProcess&&) = delete;

  // Sends one command line and returns the answer line (without newline);
  // "err child gone" when the child died, "err timeout" after `realMs`.
  std::string call(const std::string& command, int realMs = 30000);
  // The same, parsed.
  ChildAnswer ask(const std::string& command, int realMs = 30000);
  // The next line the child writes unasked (such as "ready"), or "err ...".
  std::string readLine(int realMs = 30000);

  void kill(int signal);  // e.g. SIGKILL; then waits for the child to end
  int waitExit();         // exit status as from waitpid (raw), after the child ends
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  UniqueFd toChild_;
  UniqueFd fromChild_;
  std::string buffered_;
  bool reaped_ = false;
  int status_ = 0;
};

}  // namespace wf::testing
