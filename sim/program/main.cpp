// wf-printer-sim <scenario>: plays the scenario's printers on their local
// ports until SIGINT, SIGTERM or "quit". Each line on standard input is a
// scenario line applied at once, answered "ok" or "err <why>".
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

#include "sim/printer/simulator.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: wf-printer-sim <scenario file>\n");
    return 2;
  }
  // Block the stop signals before any thread starts, so only signalfd sees them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  const int signals = signalfd(-1, &stopSignals, SFD_CLOEXEC);

  wf::sim::Simulator simulator;
  std::string error;
  if (!simulator.loadScenario(argv[1], &error)) {
    std::fprintf(stderr, "wf-printer-sim: %s\n", error.c_str());
    return 1;
  }
  std::cout << "ready" << std::endl;

  const auto base = std::filesystem::current_path();
  bool readingInput = true;
  std::string pending;
  for (;;) {
    pollfd fds[2] = {{signals, POLLIN, 0}, {readingInput ? STDIN_FILENO : -1, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[0].revents) break;
    if (!fds[1].revents) continue;
    char buffer[4096];
    ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) {
      readingInput = false;  // run on until a signal
      continue;
    }
    pending.append(buffer, static_cast<std::size_t>(n));
    for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
      std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      if (line == "quit") return 0;
      std::cout << (simulator.apply(line, base, &error) ? "ok" : "err " + error) << std::endl;
    }
  }
  return 0;
}
