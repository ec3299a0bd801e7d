// wf-corlink-sim <scenario>: plays the CorLink print servers of the
// scenario's [corlink.servers] section on their named pipes until SIGINT,
// SIGTERM or "quit". Each line on standard input is applied at once,
// answered "ok" (with what "show" shows) or "err <why>".
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

#include "sim/command_loop.h"
#include "sim/corlink/simulator.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: wf-corlink-sim <scenario file>\n");
    return 2;
  }
  wf::sim::CommandLoop commands;  // before any thread starts

  wf::sim::corlink::CorLinkSimulator simulator;
  std::string error;
  if (!simulator.loadScenario(argv[1], &error)) {
    std::fprintf(stderr, "wf-corlink-sim: %s\n", error.c_str());
    return 1;
  }
  std::cout << "ready" << std::endl;
  const auto base = std::filesystem::current_path();
  commands.run([&](const std::string& line) {
    std::string shown;
    if (!simulator.apply(line, base, &error, &shown)) {
      std::cout << "err " << error << std::endl;
      return;
    }
    std::cout << (shown.empty() ? "ok" : "ok " + shown) << std::endl;
  });
  return 0;
}
