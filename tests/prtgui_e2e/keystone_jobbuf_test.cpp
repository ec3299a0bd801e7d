// The Keystone job-buffering page end to end: the helper process runs the
// Keystone family module over the real broker and WFPRM; a simulated
// Keystone printer on LPT3 keeps the buffer partition and the ports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "child/prtgui_child.h"
#include "printer_fixture.h"
#include "protocol/npa.h"
#include "sim/printer/port_server.h"

namespace sim = wf::sim;

namespace {

class KeystoneJobBuffering : public wf::testing::PrinterHelperTest {
 protected:
  // The shipped Keystone printer on LPT3, its notebook open; the icon's handle.
  std::uint16_t open() {
    startOn(3, "keystone-vireo-n17", Family::Keystone);
    if (handle == 0) return 0;
    // Shown in a window: its device-status classes are captured.
    app->use(handle);
    EXPECT_TRUE(app->open(handle, 0).open);
    return handle;
  }
  // The resource commands the printer received, as their data bytes in hex.
  std::vector<std::string> jobBufferingCommands() {
    std::vector<std::string> out;
    for (const auto& entry : model->log()) {
      const std::string& b = entry.bytes;
      if (entry.direction != sim::Direction::Received || b.size() < 7 || b[4] != '\xE1') continue;
      const auto op = static_cast<unsigned char>(b[6]);
      if (op < 6 || op > 7) continue;
      std::string hex;
      for (std::size_t i = 6; i < b.size(); ++i) {
        char two[4];
        std::snprintf(two, sizeof two, "%02X", static_cast<unsigned char>(b[i]));
        hex += (i > 6 ? " " : "") + std::string(two);
      }
      out.push_back(hex);
    }
    return out;
  }
  // The port confirmations (alerts of kind 83) the printer had sent when
  // the power-on reset request came; -1 when none came.
  int portAlertsBeforeReset() {
    namespace npa = wf::protocol::npa;
    int alerts = 0;
    for (const auto& entry : model->log()) {
      const std::string& b = entry.bytes;
      if (entry.direction == sim::Direction::Received && b.size() > 5 && b[4] == char(npa::kControl) &&
          b[5] == char(npa::control::kPowerOnReset))
        return alerts;
      if (entry.direction == sim::Direction::Sent &&
          b.find(std::string("\x03\x02\x53", 3)) != std::string::npos)
        ++alerts;
    }
    return -1;
  }
};

TEST_F(KeystoneJobBuffering, APartitionAndTwoPortsAreSetStepByStepAndTakeEffectAtTheReset) {
  const std::uint16_t handle = open();
  ASSERT_NE(handle, 0);
  app->boxes();
  const std::uint32_t armed = model->enabledAlerts();
  ASSERT_NE(armed, 0u);
  const int resetsBefore = model->powerOnResets();
  const auto run = app->jobBuffering(handle, 20, 0x03, true);
  ASSERT_FALSE(run.empty());
  EXPECT_EQ(run[0], "20 3") << "the page read the printer again";
  EXPECT_EQ(std::vector<std::string>(run.begin() + 1, run.end()),
            (std::vector<std::string>{
                "Preparing the printer for the changes...", "Changing the size of the job buffer...",
                "Changing the job buffering of a port...", "Resetting the printer..."}));
  EXPECT_EQ(jobBufferingCommands(), (std::vector<std::string>{"06 14", "07 00 01", "07 01 01"}));
  EXPECT_EQ(model->powerOnResets(), resetsBefore + 1);
  EXPECT_EQ(portAlertsBeforeReset(), 2) << "the reset question came after the second port's confirmation";
  const auto state = model->state();
  EXPECT_EQ(state.bufferPartition, 20);
  for (const auto& port : state.bufferedPorts)
    EXPECT_EQ(port.active != 0, port.kind == 0 || port.kind == 1) << int(port.kind);
  // The panel's class went with the status page; the others come back.
  constexpr std::uint32_t kPanel = 0x10000;
  EXPECT_EQ(model->enabledAlerts(), (armed & ~kPanel) | 0x1000) << "captures taken again after the reset";
  const auto boxes = app->boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].caption, "Change Job Buffer Size");
  EXPECT_EQ(boxes[1].caption, "Reset Printer");
  EXPECT_EQ(boxes[1].text, "The changes take effect when the printer is reset.  Reset the printer now?");
}

TEST_F(KeystoneJobBuffering, AFailedChangeAndRefusedCapturesEndInTheirErrorBoxes) {
  const std::uint16_t handle = open();
  ASSERT_NE(handle, 0);
  ASSERT_EQ(app->jobBuffering(handle, 20, 0x03, true).at(0), "20 3");
  app->boxes();

  // The printer fails the port change it confirms.
  auto knobs = model->knobs();
  knobs.resourceResult = 1;
  model->setKnobs(knobs);
  app->jobBuffering(handle, 20, 0x01, true);
  auto boxes = app->boxes();
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes.back().caption, "Job Buffering");
  EXPECT_EQ(boxes.back().text, "The printer could not change its job buffering.");
  EXPECT_EQ(model->state().bufferedPorts.at(1).set, 1) << "nothing changed";

  // The change goes through, but no capture is taken after the reset.
  knobs = model->knobs();
  knobs.failCaptures = 10;
  model->setKnobs(knobs);
  const auto run = app->jobBuffering(handle, 20, 0x01, true);
  EXPECT_EQ(run.at(0), "20 1");
  boxes = app->boxes();
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes.back().caption, "Printer Alerts");
  EXPECT_EQ(boxes.back().text,
            "The printer was reset, but its alerts could not be turned on again.  Close the printer's window "
            "and open it "
            "again.");
  EXPECT_EQ(model->knobs().failCaptures, 0) << "all ten tries made";
}

}  // namespace
