// The Keystone paper-low warning end to end: the helper process runs the
// Keystone family module over the real broker; a simulated Keystone printer
// on LPT3 reports its second tray low.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "child/prtgui_child.h"
#include "eventually.h"
#include "printer_fixture.h"
#include "sim/printer/port_server.h"

namespace {

namespace sim = wf::sim;
using wf::testing::PrtGuiChild;
using wf::testing::StoredAlert;
using TrayLevel = PrtGuiChild::TrayLevel;

constexpr std::uint32_t kWarnings = 0x20;
constexpr int kTrayLevelsView = 621;

class KeystoneTrays : public wf::testing::PrinterHelperTest {
 protected:
  void SetUp() override {
    PrinterHelperTest::SetUp();
    ASSERT_NO_FATAL_FAILURE(startOn(3, "keystone-vireo-n17", Family::Keystone));
  }
};

TEST_F(KeystoneTrays, PaperLowNamesTheTrayAndItsGaugeShowsTheWarningLevel) {
  const std::uint32_t armed = app->use(handle);
  ASSERT_NE(armed & kWarnings, 0u) << "the paper-low row arms the warning class";
  ASSERT_TRUE(wf::testing::eventually([&] { return (model->enabledAlerts() & kWarnings) != 0; }));

  // The input status has tray 4 at level 2; the warning list names paper low on it.
  model->update([](sim::Profile& p) {
    p.inputStatus = {std::string("\x03\x01\x07", 3), std::string("\x04\x01\x02", 3)};
    p.alertLists[7 - sim::kFirstAlertList] = {std::string("\x01\x04\x00\x00", 4)};
  });
  ASSERT_TRUE(server->raiseDeviceStatus(kWarnings));
  std::vector<StoredAlert> stored;
  ASSERT_TRUE(wf::testing::eventually([&] { return !(stored = app->alerts(handle)).empty(); }));
  EXPECT_EQ(stored, (std::vector<StoredAlert>{{6203, 6, 0, 0, "Paper low - Tray 2 - About 30%"}}));

  const wf::testing::NotebookView opened = app->open(handle, kTrayLevelsView);
  ASSERT_TRUE(opened.open);
  EXPECT_EQ(opened.currentPage, opened.pages - 1) << "the tray levels page is the last";
  EXPECT_EQ(
      app->trayLevels(handle),
      (std::vector<TrayLevel>{{true, "Full", "fill"}, {true, "About 30%", "warn"}, {false, "", "empty"}}));
}

}  // namespace
