// Cornw32 end to end: the real broker in a helper process loads the NetWare
// transport by file name; the adapters of the NetWare world are played by
// wf-adapter-sim (or here, where a test reaches the printers behind them),
// and the helper's NetWare client stand-in reads the same world.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "broker/corbce.h"
#include "child_process.h"
#include "eventually.h"
#include "platform/clock.h"
#include "adapter_jam.h"
#include "prtobj_app.h"
#include "sim/adapter/simulator.h"
#include "sim/printer/printer.h"
#include "sim/printer/profile.h"

namespace fs = std::filesystem;

namespace netwaree2e {
namespace {

using prtobje2e::PrtObjApp;

const fs::path kWorld = fs::path(WF_SIM_SCENARIO_DIR) / "netware-world.scenario";

class NetWareEndToEnd : public ::testing::Test {
 protected:
  // Registers, enumerates the NetWare printers and makes a request object
  // for each; the handle of PB's port 1 (the Vireo 10), 0 when none answered as it.
  std::uint16_t startWithVireo() {
    app = std::make_unique<PrtObjApp>();
    EXPECT_EQ(app->registerApp(), BCE_PRIMARY_APP_ID);
    const auto [rc, found] = app->enumerate(BCE_NET_NETWARE | BCE_NET_FORCE);
    EXPECT_EQ(rc, BCE_OK);
    std::uint16_t vireo = 0;
    for (const auto& [name, handle] : found) {
      EXPECT_TRUE(app->object(handle, 1));
      const auto chars = app->chars(handle);
      if (chars.rc == BCE_OK && chars.model == "Vireo 10") {
        EXPECT_EQ(chars.revision, "3.10.0");
        vireo = handle;
      }
    }
    return vireo;
  }
  void SetUp() override {
    ::setenv("WRENFIELD_TIME_SCALE", "0.2", 1);
    ::setenv("WRENFIELD_SCENARIO", kWorld.c_str(), 1);
    wf::setTimeScaleForTest(0.2);
  }
  // The world's adapters played by wf-adapter-sim, a process of its own.
  void playWorldAsProgram() {
    program = std::make_unique<wf::testing::ChildProcess>("wf-adapter-sim",
                                                          std::vector<std::string>{kWorld.string()});
    ASSERT_EQ(program->readLine(), "ready");
  }
  // The same world played here, where a test reaches the printers behind the ports.
  void playWorldHere() {
    std::string error;
    ASSERT_TRUE(sim.loadScenario(kWorld, &error)) << error;
  }
  void TearDown() override {
    if (secondary) {
      EXPECT_EQ(secondary->quit() & 0x7F, 0) << "the secondary was killed";
    }
    if (app) {
      const int status = app->quit();
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the helper did not end cleanly";
    }
    if (program) {
      program->call("quit", 100);  // no answer: it ends
      EXPECT_EQ(program->waitExit(), 0);
    }
  }
  std::unique_ptr<wf::testing::ChildProcess> program;
  wf::sim::adapter::AdapterSimulator sim;
  std::unique_ptr<PrtObjApp> app, secondary;
};

// The NetWare bit is offered only while the workstation has a NetWare
// client: without one Cornw32 refuses to load and the broker goes on without it.
TEST_F(NetWareEndToEnd, TheNetWareBitNeedsAClient) {
  app = std::make_unique<PrtObjApp>();
  ASSERT_EQ(app->registerApp(), BCE_PRIMARY_APP_ID);
  const auto [rc, mask] = app->nets();
  EXPECT_EQ(rc, BCE_OK);
  EXPECT_EQ(mask & BCE_NET_NETWARE, BCE_NET_NETWARE);
  app->quit();

  const fs::path noClient = fs::path(::getenv("WRENFIELD_ROOT")) / "no-client.scenario";
  std::FILE* f = std::fopen(noClient.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("[spooloak]\n", f);
  std::fclose(f);
  ::setenv("WRENFIELD_SCENARIO", noClient.c_str(), 1);
  app = std::make_unique<PrtObjApp>();
  ASSERT_EQ(app->registerApp(), BCE_PRIMARY_APP_ID);
  const auto [again, without] = app->nets();
  EXPECT_EQ(again, BCE_OK);
  EXPECT_EQ(without, mask & ~BCE_NET_NETWARE) << "only the NetWare bit goes";
}

TEST_F(NetWareEndToEnd, TheBrokerEnumeratesTheWorldsPortsThroughCornw32) {
  playWorldAsProgram();
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
  playWorldAsProgram();
  EXPECT_NE(startWithVireo(), 0) << "no printer answered as the Vireo 10";
}

TEST_F(NetWareEndToEnd, APaperJamRaisedBehindTheAdapterReachesASecondApplicationsWindow) {
  playWorldHere();
  const std::uint16_t vireo = startWithVireo();
  ASSERT_NE(vireo, 0);
  // A second application, in a process of its own, captures the alert.
  secondary = std::make_unique<PrtObjApp>();
  ASSERT_GT(secondary->registerApp(), BCE_PRIMARY_APP_ID);
  ASSERT_EQ(secondary->enumerate(BCE_NET_NETWARE).first, BCE_OK);
  ASSERT_TRUE(secondary->object(vireo, 1));
  ASSERT_EQ(secondary->capture(vireo, 0x4), BCE_OK) << "the capture goes over the shared socket";
  EXPECT_EQ(secondary->jams(vireo), (prtobje2e::Alerts{BCE_OK, {}}));

  // The printer jams and raises the class; the adapter sends it to the shared socket.
  ASSERT_TRUE(prtobje2e::raisePaperJam(sim, "PB", 1));
  const auto posts = secondary->posts(1, WM_BCE_DSA_ALERT);
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0].lParam, 0x4u);
  EXPECT_EQ(posts[0].wParam & 0xFFFF, vireo);
  EXPECT_EQ(secondary->jams(vireo), (prtobje2e::Alerts{BCE_OK, {{6104, 0}}}));
}

TEST_F(NetWareEndToEnd, PrintDataArrivesWholeAsOneJobAndTheAddressFindsThePrinterAgain) {
  playWorldHere();
  const std::uint16_t vireo = startWithVireo();
  ASSERT_NE(vireo, 0);
  ASSERT_EQ(app->write(vireo, BCE_NET_NETWARE, 2500), BCE_OK);
  std::string sent(2500, '\0');
  for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>(i % 251);
  // The last packet may still be on its way when the write returns.
  std::vector<std::string> jobs;
  EXPECT_TRUE(wf::testing::eventually([&] {
    sim.adapter("PB")->withPrinter(1, [&](wf::sim::PrinterModel& m) { jobs = m.printJobs(); });
    return !jobs.empty() && jobs.back().size() >= sent.size();
  }));
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_TRUE(jobs[0] == sent) << "the job holds " << jobs[0].size() << " bytes";

  const auto [networks, found] = app->findAgain(vireo, BCE_NET_NETWARE);
  EXPECT_EQ(networks, static_cast<long>(BCE_NET_NETWARE));
  EXPECT_EQ(found, std::vector<std::uint16_t>{vireo});
}

// An adapter moved through the broker from a secondary: Cornw32 follows it to
// its new node, the broker posts a change for each of its printers and holds
// the new node, and a forced walk finds the same printers there.
TEST_F(NetWareEndToEnd, AnAddressChangeFromASecondaryMovesEveryPrinterOfTheAdapter) {
  playWorldAsProgram();
  app = std::make_unique<PrtObjApp>();
  ASSERT_EQ(app->registerApp(), BCE_PRIMARY_APP_ID);
  const auto [rc, found] = app->enumerate(BCE_NET_NETWARE | BCE_NET_FORCE);
  ASSERT_EQ(rc, BCE_OK);
  // PB's three ports, by the node the broker holds for them.
  std::set<std::uint16_t> portBay;
  for (const auto& [name, handle] : found)
    if (app->node(handle) == "0000C04A1001") portBay.insert(handle);
  ASSERT_EQ(portBay.size(), 3u);
  secondary = std::make_unique<PrtObjApp>();
  ASSERT_NE(secondary->registerApp(), BCE_PRIMARY_APP_ID);
  ASSERT_EQ(secondary->moveAdapter(*portBay.begin(), "0000C04A7701"), 0);
  const auto posts = app->posts(3, WM_BCE_PRINTER_CHANGED);
  std::set<std::uint32_t> changed;
  for (const auto& p : posts) changed.insert(p.wParam);
  EXPECT_EQ(changed.size(), 3u) << "one change for each port's printer";
  for (const std::uint16_t handle : portBay) EXPECT_EQ(app->node(handle), "0000C04A7701");
  const auto [again, refound] = app->enumerate(BCE_NET_NETWARE | BCE_NET_FORCE);
  ASSERT_EQ(again, BCE_OK);
  std::set<std::uint16_t> rehandles;
  for (const auto& [name, handle] : refound)
    if (app->node(handle) == "0000C04A7701") rehandles.insert(handle);
  EXPECT_EQ(rehandles, portBay) << "the walk merges into the same printers";
}

// A login-name change made from a secondary renames the adapter's printers
// in the broker: event 103 carries each port's new name.
TEST_F(NetWareEndToEnd, ALoginNameChangeFromASecondaryRenamesThePrinters) {
  playWorldAsProgram();
  app = std::make_unique<PrtObjApp>();
  ASSERT_EQ(app->registerApp(), BCE_PRIMARY_APP_ID);
  const auto [rc, found] = app->enumerate(BCE_NET_NETWARE | BCE_NET_FORCE);
  ASSERT_EQ(rc, BCE_OK);
  std::map<std::string, std::uint16_t> byName;
  for (const auto& [name, handle] : found) byName[app->netWareName(handle)] = handle;
  ASSERT_EQ(byName.count("PORTBAY_1_P1"), 1u);
  secondary = std::make_unique<PrtObjApp>();
  ASSERT_NE(secondary->registerApp(), BCE_PRIMARY_APP_ID);
  ASSERT_EQ(secondary->renameAdapter(byName["PORTBAY_1_P1"], "NEWBAY"), 0);
  EXPECT_EQ(app->netWareName(byName["PORTBAY_1_P1"]), "NEWBAY_P1");
  EXPECT_EQ(app->netWareName(byName["PORTBAY_1_P2"]), "NEWBAY_P2");
}

// Item 4 asked from a secondary with 17 file servers known: the list
// callback gets two blocks over the mail channel, 16 names and 1.
TEST_F(NetWareEndToEnd, SeventeenKnownServersReachASecondaryAsTwoBlocks) {
  std::ifstream in(kWorld);
  std::string world((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string servers;
  for (int i = 1; i <= 16; ++i) {
    char line[80];
    std::snprintf(line, sizeof line, "object = S%02d | 0004 | 00000001:0000000001%02X\n", i, i);
    servers += line;
  }
  world.insert(world.find("[netware.bindery.FS1]\n") + std::strlen("[netware.bindery.FS1]\n"), servers);
  const std::string profiles = "adapters = " + (kWorld.parent_path() / ".." / "profiles").string();
  world.replace(world.find("adapters = ../profiles"), std::strlen("adapters = ../profiles"), profiles);
  const fs::path root = ::getenv("WRENFIELD_ROOT");
  fs::create_directories(root);
  const fs::path file = root / "many-servers.scenario";
  std::ofstream(file) << world;
  ::setenv("WRENFIELD_SCENARIO", file.c_str(), 1);
  program =
      std::make_unique<wf::testing::ChildProcess>("wf-adapter-sim", std::vector<std::string>{file.string()});
  ASSERT_EQ(program->readLine(), "ready");

  app = std::make_unique<PrtObjApp>();
  ASSERT_EQ(app->registerApp(), BCE_PRIMARY_APP_ID);
  const auto [rc, found] = app->enumerate(BCE_NET_NETWARE | BCE_NET_FORCE);
  ASSERT_EQ(rc, BCE_OK);
  ASSERT_FALSE(found.empty());
  secondary = std::make_unique<PrtObjApp>();
  ASSERT_NE(secondary->registerApp(), BCE_PRIMARY_APP_ID);
  const auto [result, counts] = secondary->knownServers(found.front().second);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(counts, (std::vector<unsigned>{16, 1}));
}

}  // namespace
}  // namespace netwaree2e
