#pragma once
// Device-status alerts from the printer behind PB's port 1 in the simulated
// adapter worlds, alternating between set and clear.
#include <optional>
#include <string>

#include "sim/adapter/simulator.h"
#include "sim/printer/printer.h"

namespace wf::bench {

inline bool raisePortBayStatus(sim::adapter::AdapterSimulator& world, int i) {
  std::optional<std::string> alert;
  world.adapter("PB")->withPrinter(1, [&](sim::PrinterModel& m) { alert = m.deviceStatusAlert(i % 2 ? 0 : 0x4); });
  return alert && !alert->empty() && world.adapter("PB")->raiseAlert(1, *alert);
}

}  // namespace wf::bench
