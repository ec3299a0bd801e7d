// The Halcyon family end to end: a colour printer simulated on LPT4, the
// family module in the helper process over the real broker.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "../e2e/child/e2e_child.h"
#include "child/prtgui_child.h"
#include "eventually.h"
#include "other_app_job.h"
#include "printer_fixture.h"
#include "sim/printer/port_server.h"
#include "test_dirs.h"

namespace {

namespace sim = wf::sim;
namespace fs = std::filesystem;
using wf::testing::PrtGuiChild;
using wf::testing::StoredAlert;

constexpr int kPort = 4;
constexpr std::uint32_t kSupplies = 0x08, kWarnings = 0x20, kJobStatistics = 0x800;
constexpr unsigned kStatisticsView = 32779;
constexpr int kTrackBox = 1018;

class HalcyonEndToEnd : public wf::testing::PrinterHelperTest {
 protected:
  void SetUp() override {
    PrinterHelperTest::SetUp();
    ASSERT_NO_FATAL_FAILURE(startOn(kPort, "halcyon-chroma", Family::Halcyon));
  }
  // The printer's alert list `list` (as the status asks it) holds `record` alone.
  void alertList(int list, const std::string& record) {
    model->update([&](sim::Profile& p) { p.alertLists[list - sim::kFirstAlertList] = {record}; });
  }
};

TEST_F(HalcyonEndToEnd, SupplyAndWarningAlertsAreTheFamilys) {
  const std::uint32_t armed = app->use(handle);
  EXPECT_EQ(armed & (kSupplies | kWarnings), kSupplies | kWarnings) << "the family's rows arm both classes";
  EXPECT_TRUE(wf::testing::eventually([&] { return (model->enabledAlerts() & kSupplies) != 0; }));

  // The yellow toner cartridge is empty.
  alertList(10, std::string("\x08\x03\x01\x00", 4));
  ASSERT_TRUE(server->raiseDeviceStatus(kSupplies));
  std::vector<StoredAlert> stored;
  auto alerts = [&] { return stored = app->alerts(handle); };
  ASSERT_TRUE(wf::testing::eventually([&] { return !alerts().empty(); }));
  EXPECT_EQ(stored, (std::vector<StoredAlert>{{13, 4, 0, 1, "Toner cartridge empty - Yellow"}}));
  EXPECT_EQ(app->help(handle), 2050u);
  std::vector<std::string> sounds;
  EXPECT_TRUE(wf::testing::eventually([&] {
    sounds = app->sounds();
    return !sounds.empty();
  }));
  EXPECT_EQ(sounds.front(), "yellowempty.wav");

  // The status now names the warnings alone: the oil bottle runs low (a
  // text of the main program's) and the empty cartridge is gone.
  alertList(7, std::string("\x08\x05\x06\x00", 4));
  ASSERT_TRUE(server->raiseDeviceStatus(kWarnings));
  const std::vector<StoredAlert> oilLow = {{4, 6, 0, 0, "Oil Bottle Low"}};
  EXPECT_TRUE(wf::testing::eventually([&] { return alerts() == oilLow; }))
      << ::testing::PrintToString(stored);
  EXPECT_EQ(app->help(handle), 2150u);
  EXPECT_TRUE(wf::testing::eventually([&] {
    sounds = app->sounds();
    return std::find(sounds.begin(), sounds.end(), "oillow.wav") != sounds.end();
  })) << ::testing::PrintToString(sounds);
}

TEST_F(HalcyonEndToEnd, AJobLineEndsWithTheTwentyExtraNumbers) {
  sim::Knobs knobs;
  knobs.jobSource = 3;
  knobs.jobSeconds = 42;
  model->setKnobs(knobs);
  const fs::path file = wf::testing::testDataRoot() / "jobs.csv";
  fs::create_directories(file.parent_path());
  app->jobStats(file.string());

  // Tracking on from the statistics page.
  const wf::testing::NotebookView opened = app->open(handle, kStatisticsView);
  ASSERT_TRUE(opened.open);
  const auto box = app->control(handle, opened.currentPage, kTrackBox, PrtGuiChild::Act::ToggleAndClick);
  ASSERT_TRUE(box.enabled);
  EXPECT_TRUE(box.checked);
  ASSERT_TRUE(wf::testing::eventually([&] { return (model->enabledAlerts() & kJobStatistics) != 0; }));

  // Another application prints a one-page job named "colour".
  wf::testing::EndToEndChild secondary;
  ASSERT_NO_FATAL_FAILURE(wf::testing::printPjlJob(secondary, "colour", "one\f"));

  std::string line;
  ASSERT_NO_FATAL_FAILURE(wf::testing::waitForJob(file, "colour", line));
  EXPECT_TRUE(line.starts_with("LPT4:,")) << line;
  EXPECT_TRUE(line.ends_with(",,,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\r\n")) << line;
  secondary.unregisterApp();
}

}  // namespace
