// The set-up the printer module end-to-end cases share: time scaled down, a
// printer simulated in the test process, the helper process running a family
// module over the real broker, and the helper ended cleanly afterwards.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "child/prtgui_child.h"
#include "platform/clock.h"
#include "sim/printer/port_server.h"

namespace wf::testing {

class PrinterHelperTest : public ::testing::Test {
 protected:
  enum class Family { Meridian, Tidewater, Keystone, Halcyon };

  void SetUp() override {
    ::setenv("WRENFIELD_TIME_SCALE", "0.05", 1);
    wf::setTimeScaleForTest(0.05);
  }
  void TearDown() override {
    if (app) {
      app->quit();
      const int status = app->process().waitExit();
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the helper did not end cleanly";
    }
    server.reset();
  }

  // The shipped printer `profile` on LPT`port`, changed by `change` first;
  // the helper started with `family` and the system enumerated: `handle` is
  // the one icon's (0 on failure).
  void startOn(int port, const std::string& profile, Family family,
               const std::function<void(wf::sim::Profile&)>& change = {}) {
    handle = 0;
    auto loaded = wf::sim::loadProfile(std::filesystem::path(WF_SIM_PROFILE_DIR) / (profile + ".profile"));
    ASSERT_TRUE(loaded) << profile;
    if (change) change(*loaded);
    model = std::make_shared<wf::sim::PrinterModel>(std::move(*loaded));
    server = wf::sim::PortServer::start(port, model);
    ASSERT_TRUE(server) << port;
    app = std::make_unique<PrtGuiChild>();
    if (family == Family::Meridian) {
      app->startMeridian();
    } else {
      app->start();
      if (family == Family::Tidewater) app->tidewater();
      if (family == Family::Keystone) app->keystone();
      if (family == Family::Halcyon) app->halcyon();
    }
    ASSERT_EQ(app->enumerate(), 1);
    const auto icons = app->icons();
    ASSERT_EQ(icons.size(), 1u);
    handle = icons[0].handle;
  }

  std::shared_ptr<wf::sim::PrinterModel> model;
  std::unique_ptr<wf::sim::PortServer> server;
  std::unique_ptr<PrtGuiChild> app;
  std::uint16_t handle = 0;
};

}  // namespace wf::testing
