// wf-peer-sim <scenario>: plays the peer computers of the scenario's [peers]
// section until SIGINT, SIGTERM or "quit". Each line on standard input is a
// setting or an action applied at once, answered "ok [answer]" or "err <why>".
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

#include "sim/command_loop.h"
#include "sim/peer/simulator.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: wf-peer-sim <scenario file>\n");
    return 2;
  }
  wf::sim::CommandLoop commands;  // before any thread starts

  wf::sim::peer::PeerSimulator simulator;
  std::string error;
  if (!simulator.loadScenario(argv[1], &error)) {
    std::fprintf(stderr, "wf-peer-sim: %s\n", error.c_str());
    return 1;
  }
  std::cout << "ready" << std::endl;
  const auto base = std::filesystem::current_path();
  commands.run([&](const std::string& line) {
    const auto answer = simulator.apply(line, base, &error);
    std::cout << (answer ? (answer->empty() ? "ok" : "ok " + *answer) : "err " + error) << std::endl;
  });
  return 0;
}
