#pragma once
// A paper jam raised by the printer behind a simulated adapter's port: the
// printer's jam list is filled first, so the jam list a request reads after
// the alert names it.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "sim/adapter/simulator.h"

namespace prtobje2e {

inline ::testing::AssertionResult raisePaperJam(wf::sim::adapter::AdapterSimulator& sim, const std::string& adapter,
                                                int port) {
  auto* playing = sim.adapter(adapter);
  if (!playing) return ::testing::AssertionFailure() << "no adapter " << adapter;
  std::optional<std::string> alert;
  if (!playing->withPrinter(port, [&](wf::sim::PrinterModel& m) {
        m.update([](wf::sim::Profile& p) {
          p.alertLists[5 - wf::sim::kFirstAlertList] = {std::string("\x01\xFF\x01\x00", 4)};
        });
        alert = m.deviceStatusAlert(0x4);
      }))
    return ::testing::AssertionFailure() << "no printer behind port " << port;
  if (!alert || alert->empty())
    return ::testing::AssertionFailure() << "the printer has not been told to capture the class";
  if (!playing->raiseAlert(port, *alert)) return ::testing::AssertionFailure() << "the adapter sent no alert";
  return ::testing::AssertionSuccess();
}

}  // namespace prtobje2e
