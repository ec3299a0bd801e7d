// wf-adapter-sim <scenario>: plays the network adapters of the scenario's
// [ipx.adapters] section on the IPX segment until SIGINT, SIGTERM or "quit".
// Each line on standard input is a setting applied at once, answered "ok"
// or "err <why>"; "ID.show <what>" is answered "ok <value>".
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

#include "sim/adapter/simulator.h"

namespace {

// Lines of standard input until "quit" (true) or a stop signal (false).
template <typename OnLine>
bool readCommands(int signals, OnLine onLine) {
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
      reading = false;  // run on until a signal
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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: wf-adapter-sim <scenario file>\n");
    return 2;
  }
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);  // before any thread starts
  const int signals = signalfd(-1, &stopSignals, SFD_CLOEXEC);

  wf::sim::adapter::AdapterSimulator simulator;
  std::string error;
  if (!simulator.loadScenario(argv[1], &error)) {
    std::fprintf(stderr, "wf-adapter-sim: %s\n", error.c_str());
    return 1;
  }
  std::cout << "ready" << std::endl;
  const auto base = std::filesystem::current_path();
  readCommands(signals, [&](const std::string& line) {
    if (wf::sim::adapter::AdapterSimulator::isShowLine(line)) {
      std::string answer;
      std::cout << (simulator.show(line, &answer, &error) ? "ok " + answer : "err " + error) << std::endl;
      return;
    }
    std::cout << (simulator.apply(line, base, &error) ? "ok" : "err " + error) << std::endl;
  });
  return 0;
}
