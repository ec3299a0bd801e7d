#pragma once
// The command loop of the simulator programs: lines of standard input until
// "quit" or a stop signal read from `signals` (a signalfd).
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <string>

namespace wf::sim {

// Blocks SIGINT and SIGTERM (call before any thread starts); a signalfd
// that becomes readable when one arrives.
inline int blockStopSignals() {
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  return signalfd(-1, &stopSignals, SFD_CLOEXEC);
}

// True on "quit", false on a stop signal. After the end of standard input
// the program runs on until a signal.
template <typename OnLine>
bool readCommandLines(int signals, OnLine onLine) {
  bool reading = true;
  std::string pending;
  for (;;) {
    pollfd fds[2] = {{signals, POLLIN, 0}, {reading ? STDIN_FILENO : -1, POLLIN, 0}};
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

}  // namespace wf::sim
