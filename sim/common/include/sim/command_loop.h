#pragma once
// The simulator programs' standard input: blocks SIGINT and SIGTERM (call
// before any thread starts), then hands each line to `onLine` until "quit"
// (true) or a stop signal (false). Input that ends leaves the program
// running until a signal.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <string>

#include "platform/unique_fd.h"

namespace wf::sim {

class CommandLoop {
 public:
  CommandLoop() {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signals_ = UniqueFd(signalfd(-1, &stopSignals, SFD_CLOEXEC));
  }
  CommandLoop(const CommandLoop&) = delete;
  CommandLoop& operator=(const CommandLoop&) = delete;

  template <typename OnLine>
  bool run(OnLine onLine) {
    bool reading = true;
    std::string pending;
    for (;;) {
      pollfd fds[2] = {{signals_.get(), POLLIN, 0}, {reading ? STDIN_FILENO : -1, POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) continue;
      if (fds[0].revents) return false;
      if (!fds[1].revents) continue;
      char buffer[4096];
      const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
      if (n <= 0) {
        reading = false;
        continue;
      }
      pending.append(buffer, static_cast<std::size_t>(n));
      for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
        const std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        if (line == "quit") return true;
        onLine(line);
      }
    }
  }

 private:
  UniqueFd signals_;
};

}  // namespace wf::sim
