// CORP2P32 end to end: the real broker in a helper process loads the peer
// transport by file name, which starts the NetDDE agent and walks the
// neighbourhood of the peer world; the peers are played by wf-peer-sim (or
// here, where a test reaches the printers behind the shares).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "broker/corbce.h"
#include "child_process.h"
#include "eventually.h"
#include "platform/clock.h"
#include "prtobj_app.h"
#include "sim/peer/simulator.h"
#include "sim/printer/printer.h"
#include "sim/printer/profile.h"

namespace fs = std::filesystem;

namespace peere2e {
namespace {

using prtobje2e::PrtObjApp;

const fs::path kPeerWorld = fs::path(WF_SIM_SCENARIO_DIR) / "peer-world.scenario";

class PeerEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("WRENFIELD_SCENARIO", kPeerWorld.c_str(), 1); }
  void TearDown() override {
    if (secondary) EXPECT_EQ(secondary->quit() & 0x7F, 0) << "the secondary was killed";
    if (app) {
      const int status = app->quit();
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the helper did not end cleanly";
    }
    if (program) {
      program->call("quit", 100);  // no answer: it ends
      EXPECT_EQ(program->waitExit(), 0);
    }
  }
  void playWorldAsProgram() {
    program = std::make_unique<wf::testing::ChildProcess>("wf-peer-sim",
                                                          std::vector<std::string>{kPeerWorld.string()});
    ASSERT_EQ(program->readLine(), "ready");
  }
  void playWorldHere() {
    std::string error;
    ASSERT_TRUE(sim.loadScenario(kPeerWorld, &error)) << error;
  }
  // A forced walk of the peers from the primary: printer name on the peer network -> handle.
  std::map<std::string, std::uint16_t> walk() {
    const auto [rc, found] = app->enumerate(BCE_NET_PEER | BCE_NET_FORCE);
    EXPECT_EQ(rc, BCE_OK);
    std::map<std::string, std::uint16_t> byName;
    for (const auto& [name, handle] : found) byName[app->nameOn(handle, BCE_NET_PEER)] = handle;
    return byName;
  }
  void startPrimary() {
    app = std::make_unique<PrtObjApp>();
    ASSERT_EQ(app->registerApp(), BCE_PRIMARY_APP_ID);
  }
  void startSecondary() {
    secondary = std::make_unique<PrtObjApp>();
    ASSERT_GT(secondary->registerApp(), BCE_PRIMARY_APP_ID);
  }

  std::unique_ptr<wf::testing::ChildProcess> program;
  wf::sim::peer::PeerSimulator sim;
  std::unique_ptr<PrtObjApp> app, secondary;
};

TEST_F(PeerEndToEnd, TheWalkFollowsTheListsAndKeepsEveryHandle) {
  playWorldAsProgram();
  startPrimary();
  const auto first = walk();
  EXPECT_EQ(first, (std::map<std::string, std::uint16_t>{
                       {"\\\\PEER1\\LASER", 101}, {"\\\\PEER1\\COLOR,COLOR2", 102}, {"\\\\PEER10\\INK", 103}}));
  // From a secondary: WG2 and PEER3 go on the lists.
  startSecondary();
  EXPECT_EQ(secondary->peerEntry(2, 1, "WG2"), BCE_OK);
  EXPECT_EQ(secondary->peerEntry(2, 2, "PEER3"), BCE_OK);
  EXPECT_EQ(secondary->peerList(), (std::pair<long, std::vector<std::string>>{BCE_OK, {"2:PEER3", "1:WG2"}}));
  const auto second = walk();
  ASSERT_EQ(second.size(), 5u);
  for (const auto& [name, handle] : first) EXPECT_EQ(second.at(name), handle) << name;
  EXPECT_TRUE(second.count("\\\\PEER2\\WIDE") && second.count("\\\\PEER3\\MONO"));

  // PEER2 goes down: its printer goes at the next forced walk.
  ASSERT_EQ(program->call("PEER2.down = 1"), "ok");
  const auto third = walk();
  EXPECT_EQ(third.count("\\\\PEER2\\WIDE"), 0u);
  const auto removed = app->posts(1, WM_BCE_PRINTER_REMOVED);
  ASSERT_EQ(removed.size(), 1u);
  EXPECT_EQ(removed[0].wParam & 0xFFFF, second.at("\\\\PEER2\\WIDE"));
  // Taking PEER3 off the list removes its printer at once.
  EXPECT_EQ(secondary->peerEntry(3, 2, "PEER3"), BCE_OK);
  const auto gone = app->posts(1, WM_BCE_PRINTER_REMOVED);
  ASSERT_EQ(gone.size(), 1u);
  EXPECT_EQ(gone[0].wParam & 0xFFFF, second.at("\\\\PEER3\\MONO"));
}

TEST_F(PeerEndToEnd, ARequestObjectAlertsAndAJobReachThePeersPrinter) {
  playWorldHere();
  startPrimary();
  const auto printers = walk();
  ASSERT_EQ(printers.count("\\\\PEER1\\LASER"), 1u);
  const std::uint16_t laser = printers.at("\\\\PEER1\\LASER");
  ASSERT_TRUE(app->object(laser, 1));
  const auto chars = app->chars(laser);
  EXPECT_EQ(chars.rc, BCE_OK);
  EXPECT_EQ(chars.model, "Vireo 10");
  EXPECT_EQ(chars.revision, "3.10.0");

  // A jam reaches a second application's window.
  startSecondary();
  ASSERT_EQ(secondary->enumerate(BCE_NET_PEER).first, BCE_OK);
  ASSERT_TRUE(secondary->object(laser, 1));
  ASSERT_EQ(secondary->capture(laser, 0x4), BCE_OK);
  ASSERT_TRUE(sim.withPrinter("PEER1", 7, [](wf::sim::PrinterModel& m) {
    m.update([](wf::sim::Profile& p) {
      p.alertLists[5 - wf::sim::kFirstAlertList] = {std::string("\x01\xFF\x01\x00", 4)};
    });
  }));
  std::string error;
  ASSERT_TRUE(sim.apply("PEER1.raise-status = 7 0x4", ".", &error)) << error;
  const auto posts = secondary->posts(1, WM_BCE_DSA_ALERT);
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0].wParam & 0xFFFF, laser);
  EXPECT_EQ(posts[0].lParam, 0x4u);
  EXPECT_EQ(secondary->jams(laser), (prtobje2e::Alerts{BCE_OK, {{6104, 0}}}));

  // 2500 bytes arrive as one job, byte for byte.
  ASSERT_EQ(app->write(laser, BCE_NET_PEER, 2500), BCE_OK);
  std::string sent(2500, '\0');
  for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>(i % 251);
  std::vector<std::string> jobs;
  EXPECT_TRUE(wf::testing::eventually([&] {
    sim.withPrinter("PEER1", 7, [&](wf::sim::PrinterModel& m) { jobs = m.printJobs(); });
    return !jobs.empty() && jobs.back().size() >= sent.size();
  }));
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_TRUE(jobs[0] == sent) << "the job holds " << jobs[0].size() << " bytes";
  const auto [networks, found] = app->findAgain(laser, BCE_NET_PEER);
  EXPECT_EQ(networks, static_cast<long>(BCE_NET_PEER));
  EXPECT_EQ(found, std::vector<std::uint16_t>{laser});

  // The peer drops its conversation: both its printers are told, and the
  // next walk finds them under the same handles.
  ASSERT_TRUE(sim.apply("PEER1.disconnect", ".", &error)) << error;
  const auto lost = app->posts(2, WM_BCE_DISCONNECTED);
  std::set<std::uint32_t> lostHandles;
  for (const auto& p : lost) lostHandles.insert(p.wParam & 0xFFFF);
  EXPECT_EQ(lostHandles, (std::set<std::uint32_t>{laser, printers.at("\\\\PEER1\\COLOR,COLOR2")}));
  EXPECT_EQ(walk(), printers);
}

}  // namespace
}  // namespace peere2e
