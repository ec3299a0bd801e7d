#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace wf::testing {

namespace {
std::string childProgram(const std::string& name) {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) throw std::runtime_error("cannot find own program");
  buf[n] = '\0';
  return (std::filesystem::path(buf).parent_path() / name).string();
}
}  // namespace

ChildProcess::ChildProcess() : ChildProcess("wf-testchild") {}

ChildProcess::ChildProcess(const std::string& name) : ChildProcess(name, {}) {}

ChildProcess::ChildProcess(const std::string& name, const std::vector<std::string>& arguments) {
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  const std::string program = childProgram(name);
  // Built before fork: the child only execs.
  std::vector<char*> argv = {const_cast<char*>(program.c_str())};
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  toChild_ = in[1];
  fromChild_ = out[0];
}

ChildProcess::~ChildProcess() {
  if (!reaped_) kill(SIGKILL);
  if (toChild_ >= 0) ::close(toChild_);
  if (fromChild_ >= 0) ::close(fromChild_);
}

std::string ChildProcess::call(const std::string& command, int realMs) {
  std::string line = command + "\n";
  if (::write(toChild_, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
    return "err child gone";
  return readLine(realMs);
}

std::string ChildProcess::readLine(int realMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
  for (;;) {
    if (auto nl = buffered_.find('\n'); nl != std::string::npos) {
      std::string answer = buffered_.substr(0, nl);
      buffered_.erase(0, nl + 1);
      return answer;
    }
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
            .count();
    if (left <= 0) return "err timeout";
    pollfd p{fromChild_, POLLIN, 0};
    int r = ::poll(&p, 1, static_cast<int>(left));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) continue;
    char buf[4096];
    ssize_t n = ::read(fromChild_, buf, sizeof buf);
    if (n <= 0) return "err child gone";
    buffered_.append(buf, static_cast<size_t>(n));
  }
}

void ChildProcess::kill(int signal) {
  if (reaped_ || pid_ <= 0) return;
  ::kill(pid_, signal);
  waitExit();
}

int ChildProcess::waitExit() {
  if (!reaped_ && pid_ > 0) {
    while (::waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
  }
  return status_;
}

}  // namespace wf::testing
