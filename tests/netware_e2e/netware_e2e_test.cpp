// Cornw32 end to end: the real broker in a helper process loads the NetWare
// transport by file name; the adapters of the NetWare world are simulated
// here, and the helper's NetWare client stand-in reads the same world.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <set>
#include <string>

#include "broker/corbce.h"
#include "platform/clock.h"
#include "prtobj_app.h"
#include "sim/adapter/simulator.h"

namespace fs = std::filesystem;

namespace netwaree2e {
namespace {

using prtobje2e::PrtObjApp;

const fs::path kWorld = fs::path(WF_SIM_SCENARIO_DIR) / "netware-world.scenario";

class NetWareEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("WRENFIELD_TIME_SCALE", "0.2", 1);
    ::setenv("WRENFIELD_SCENARIO", kWorld.c_str(), 1);
    wf::setTimeScaleForTest(0.2);
    std::string error;
    ASSERT_TRUE(sim.loadScenario(kWorld, &error)) << error;
  }
  void TearDown() override {
    if (app) {
      const int status = app->quit();
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the helper did not end cleanly";
    }
  }
  wf::sim::adapter::AdapterSimulator sim;
  std::unique_ptr<PrtObjApp> app;
};

TEST_F(NetWareEndToEnd, TheBrokerEnumeratesTheWorldsPortsThroughCornw32) {
  app = std::make_unique<PrtObjApp>();
  ASSERT_EQ(app->registerApp(), BCE_PRIMARY_APP_ID);
  const auto [rc, found] = app->enumerate(BCE_NET_NETWARE | BCE_NET_FORCE);
  ASSERT_EQ(rc, BCE_OK);
  // Network 1's six ports (the local search), one printer each, handles from 101.
  std::set<std::uint16_t> handles;
  for (const auto& [name, handle] : found) handles.insert(handle);
  EXPECT_EQ(handles, (std::set<std::uint16_t>{101, 102, 103, 104, 105, 106}));
  // A second walk finds the same printers.
  const auto [again, refound] = app->enumerate(BCE_NET_NETWARE | BCE_NET_FORCE);
  ASSERT_EQ(again, BCE_OK);
  std::set<std::uint16_t> rehandles;
  for (const auto& [name, handle] : refound) rehandles.insert(handle);
  EXPECT_EQ(rehandles, handles);
}

TEST_F(NetWareEndToEnd, ARequestObjectReadsThePrinterBehindAnAdapterPort) {
  app = std::make_unique<PrtObjApp>();
  ASSERT_EQ(app->registerApp(), BCE_PRIMARY_APP_ID);
  const auto [rc, found] = app->enumerate(BCE_NET_NETWARE | BCE_NET_FORCE);
  ASSERT_EQ(rc, BCE_OK);
  // PB's port 1 has the Vireo 10 behind it; the object asks it over IPX.
  std::set<std::string> models;
  for (const auto& [name, handle] : found) {
    ASSERT_TRUE(app->object(handle, 1));
    const auto chars = app->chars(handle);
    if (chars.rc == BCE_OK) models.insert(chars.model + "/" + chars.revision);
  }
  EXPECT_TRUE(models.count("Vireo 10/3.10.0")) << models.size() << " printers answered";
}

}  // namespace
}  // namespace netwaree2e
