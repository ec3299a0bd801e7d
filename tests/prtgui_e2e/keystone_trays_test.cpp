// The Keystone paper-low warning end to end: the helper process runs the
// Keystone family module over the real broker; a simulated Keystone printer
// on LPT3 reports its second tray low.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "child/prtgui_child.h"
#include "eventually.h"
#include "platform/clock.h"
#include "sim/printer/port_server.h"

namespace {

namespace sim = wf::sim;
namespace fs = std::filesystem;
using wf::testing::PrtGuiChild;
using wf::testing::StoredAlert;
using TrayLevel = PrtGuiChild::TrayLevel;

constexpr std::uint32_t kWarnings = 0x20;
constexpr int kTrayLevelsView = 621;

class KeystoneTrays : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("WRENFIELD_TIME_SCALE", "0.05", 1);
    wf::setTimeScaleForTest(0.05);
    auto profile = sim::loadProfile(fs::path(WF_SIM_PROFILE_DIR) / "keystone-vireo-n17.profile");
    ASSERT_TRUE(profile);
    model = std::make_shared<sim::PrinterModel>(std::move(*profile));
    server = sim::PortServer::start(3, model);
    ASSERT_TRUE(server);
    app = std::make_unique<PrtGuiChild>();
    app->start();
    app->keystone();
    ASSERT_EQ(app->enumerate(), 1);
    handle = app->icons().at(0).handle;
  }
  void TearDown() override {
    if (app) {
      app->quit();
      const int status = app->process().waitExit();
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the helper did not end cleanly";
    }
    server.reset();
  }

  std::shared_ptr<sim::PrinterModel> model;
  std::unique_ptr<sim::PortServer> server;
  std::unique_ptr<PrtGuiChild> app;
  std::uint16_t handle = 0;
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
