#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <stdexcept>

#include "platform/module.h"

namespace wf::testing {

ChildAnswer ChildAnswer::parse(std::string_view line) {
  ChildAnswer a;
  std::istringstream words{std::string(line)};
  std::string head;
  words >> head;
  a.ok = head == "ok";
  if (!a.ok) {
    const auto rest = line.find_first_not_of(' ', head.size());
    a.error =
        head == "err" && rest != std::string_view::npos ? std::string(line.substr(rest)) : std::string(line);
    return a;
  }
  for (std::string w; words >> w;) a.fields.push_back(w);
  return a;
}

const std::string& ChildAnswer::field(std::size_t i) const {
  if (i >= fields.size()) throw std::out_of_range("answer has no field " + std::to_string(i));
  return fields[i];
}

std::int64_t ChildAnswer::number(std::size_t i) const {
  return std::stoll(field(i), nullptr, 0);
}

std::uint32_t ChildAnswer::hex(std::size_t i) const {
  return static_cast<std::uint32_t>(std::stoul(field(i), nullptr, 16));
}

ChildProcess::ChildProcess() : ChildProcess("wf-testchild", {"platform"}) {}

ChildProcess ChildProcess::withCommands(const std::string& module) {
  return ChildProcess("wf-testchild", {module});
}

ChildProcess::ChildProcess(const std::string& name, std::vector<std::string> args) {
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  UniqueFd inRead(in[0]), inWrite(in[1]);
  if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  UniqueFd outRead(out[0]), outWrite(out[1]);
  const std::string program = (moduleDirectory() / name).string();
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    ::dup2(inRead.get(), 0);
    ::dup2(outWrite.get(), 1);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  toChild_ = std::move(inWrite);
  fromChild_ = std::move(outRead);
}

ChildProcess::ChildProcess(ChildProcess&& o) noexcept
    : pid_(std::exchange(o.pid_, -1)),
      toChild_(std::move(o.toChild_)),
      fromChild_(std::move(o.fromChild_)),
      buffered_(std::move(o.buffered_)),
      reaped_(std::exchange(o.reaped_, true)),
      status_(o.status_) {}

ChildProcess::~ChildProcess() {
  if (!reaped_) kill(SIGKILL);
}

namespace {

// Writes to the helper's input. A helper that has ended closed it: the write
// fails with EPIPE instead of raising SIGPIPE, which would end the test
// program rather than fail the one call.
bool writeAll(int fd, const std::string& bytes) {
  sigset_t pipe, old;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, &old);
  const ssize_t n = ::write(fd, bytes.data(), bytes.size());
  if (n < 0 && errno == EPIPE) {
    const timespec none{0, 0};
    while (::sigtimedwait(&pipe, nullptr, &none) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return n == static_cast<ssize_t>(bytes.size());
}

}  // namespace

std::string ChildProcess::call(const std::string& command, int realMs) {
  if (!writeAll(toChild_.get(), command + "\n")) return "err child gone";
  return readLine(realMs);
}

ChildAnswer ChildProcess::ask(const std::string& command, int realMs) {
  return ChildAnswer::parse(call(command, realMs));
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
    pollfd p{fromChild_.get(), POLLIN, 0};
    int r = ::poll(&p, 1, static_cast<int>(left));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) continue;
    char buf[4096];
    ssize_t n = ::read(fromChild_.get(), buf, sizeof buf);
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

std::string askUntil(ChildProcess& child, const std::string& command, const std::string& want,
                     std::uint32_t budgetMs) {
  std::string got;
  eventually([&] { return (got = child.call(command)) == want; }, budgetMs);
  return got;
}

}  // namespace wf::testing
