// wf-adapter-sim <scenario>: plays the network adapters of the scenario's
// [ipx.adapters] section on the IPX segment until SIGINT, SIGTERM or "quit".
// Each line on standard input is a setting applied at once, answered "ok"
// or "err <why>"; "ID.show <what>" is answered "ok <value>".
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

#include "sim/adapter/simulator.h"
#include "sim/command_loop.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: wf-adapter-sim <scenario file>\n");
    return 2;
  }
  wf::sim::CommandLoop commands;  // before any thread starts

  wf::sim::adapter::AdapterSimulator simulator;
  std::string error;
  if (!simulator.loadScenario(argv[1], &error)) {
    std::fprintf(stderr, "wf-adapter-sim: %s\n", error.c_str());
    return 1;
  }
  std::cout << "ready" << std::endl;
  const auto base = std::filesystem::current_path();
  commands.run([&](const std::string& line) {
    if (wf::sim::adapter::AdapterSimulator::isShowLine(line)) {
      std::string answer;
      std::cout << (simulator.show(line, &answer, &error) ? "ok " + answer : "err " + error) << std::endl;
      return;
    }
    std::cout << (simulator.apply(line, base, &error) ? "ok" : "err " + error) << std::endl;
  });
  return 0;
}
