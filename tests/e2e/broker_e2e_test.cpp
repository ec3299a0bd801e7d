// The broker end to end: a primary and two secondaries, each a process of
// its own with the real broker, sharing two simulated local printers (served
// here) and one network printer of the mock IP transport (loaded in the
// primary). Every printer-side effect is checked in the simulator's log.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "broker/corbce.h"
#include "child_process.h"
#include "hex_bytes.h"
#include "platform/clock.h"
#include "platform/module.h"
#include "sim/printer/port_server.h"

using wf::testing::ChildProcess;
namespace sim = wf::sim;

namespace {

constexpr const char* kLocalAndIp = "0x802";
constexpr const char* kNetworkPortId = "7";
constexpr const char* kNetworkHandle = "101";

sim::Profile profile(const std::string& model) {
  auto p = sim::parseProfile(
      "family = Meridian\nrevision = \"1\"\nserial = \"S1\"\nmax-packet = 1024\nstatus = 00 00 00\n");
  p->model = model;
  p->deviceId = "MFG:Corvane;MDL:" + model + ";";
  return *p;
}

std::string compactHex(std::string_view bytes) {
  std::string h = wf::testing::toHex(bytes);
  std::erase(h, ' ');
  return h;
}

std::vector<std::string> words(const std::string& line) {
  std::vector<std::string> out;
  std::size_t at = 0;
  while (at < line.size()) {
    const std::size_t end = line.find(' ', at);
    out.push_back(line.substr(at, end - at));
    at = end == std::string::npos ? line.size() : end + 1;
  }
  return out;
}

bool exitedCleanly(ChildProcess& child) {
  const int status = child.waitExit();
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class BrokerEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("WRENFIELD_TIME_SCALE", "0.01", 1);
    wf::setTimeScaleForTest(0.01);
    ::setenv("WRENFIELD_MODULE_PATH", (wf::moduleDirectory() / "mock-transports").c_str(), 1);
    serve(1, profile("Vireo 10"));
    serve(2, profile("Pagecrest II"));
  }

  void serve(int port, sim::Profile p) {
    models[port] = std::make_shared<sim::PrinterModel>(std::move(p));
    servers[port] = sim::PortServer::start(port, models[port]);
    ASSERT_TRUE(servers[port]);
  }

  // A primary with the network printer on its IP transport, two secondaries,
  // and every application given every printer.
  void startSession() {
    primary = startPrimary();
    a = std::make_unique<ChildProcess>(ChildProcess::withCommands("e2e"));
    ASSERT_EQ(a->call("register"), "ok 1");
    b = std::make_unique<ChildProcess>(ChildProcess::withCommands("e2e"));
    ASSERT_EQ(b->call("register"), "ok 2");
    for (ChildProcess* app : {primary.get(), a.get(), b.get()})
      EXPECT_EQ(app->call(std::string("enum ") + kLocalAndIp), "ok 0 11,12,101");
  }

  std::unique_ptr<ChildProcess> startPrimary() {
    auto p = std::make_unique<ChildProcess>(ChildProcess::withCommands("e2e"));
    EXPECT_EQ(p->call("primary"), "ok 1");
    EXPECT_EQ(p->call("register"), "ok 0");
    EXPECT_EQ(p->call(std::string("mock-port corip32 ") + kNetworkPortId + " NetVireo"), "ok");
    // The network printer's summary reply: one packet, sub-code 10 then AA BB.
    EXPECT_EQ(p->call("mock-reply corip32 A50005000410AABB"), "ok");
    return p;
  }

  // Packets the printer on `port` received or sent, as compact hex.
  std::vector<std::string> packets(int port, sim::Direction direction) {
    std::vector<std::string> out;
    for (const auto& e : models[port]->log())
      if (e.direction == direction && e.kind == sim::LogKind::Packet) out.push_back(compactHex(e.bytes));
    return out;
  }

  std::shared_ptr<sim::PrinterModel> models[3];
  std::unique_ptr<sim::PortServer> servers[3];
  std::unique_ptr<ChildProcess> primary, a, b;
};

TEST_F(BrokerEndToEnd, ThreeApplicationsQueryCaptureReceiveAlertsPrintAndUnregister) {
  startSession();

  // Query: every application reads each printer's summary, the same bytes,
  // carrying the model the printer was given.
  for (const auto& [handle, model] : {std::pair{"11", "Vireo 10"}, std::pair{"12", "Pagecrest II"}}) {
    const auto first = words(primary->call(std::string("bidi ") + handle + " 16 512"));
    ASSERT_EQ(first.size(), 4u);
    EXPECT_EQ(first[1], "0");
    EXPECT_NE(first[3].find(compactHex(model)), std::string::npos) << handle;
    for (ChildProcess* app : {a.get(), b.get()})
      EXPECT_EQ(app->call(std::string("bidi ") + handle + " 16 512"), "ok 0 " + first[2] + " " + first[3]);
  }
  for (ChildProcess* app : {primary.get(), a.get(), b.get()})
    EXPECT_EQ(app->call(std::string("bidi ") + kNetworkHandle + " 16 512"), "ok 0 3 10AABB");

  // Two applications in two processes capture paper jams (DSA 0x4) and class 2 on LPT1.
  ASSERT_EQ(a->call("capture 11 0x1004 0"), "ok 0");
  ASSERT_EQ(b->call("capture 11 0x1004 0"), "ok 0");
  EXPECT_EQ(models[1]->enabledAlerts() & 0x1004u, 0x1004u);

  // A paper jam: the class mask travels in the message, under a fresh key, no data queued.
  ASSERT_TRUE(servers[1]->raiseDeviceStatus(0x4));
  EXPECT_EQ(a->call("posts 1"), "ok 1524:1000b:4");
  EXPECT_EQ(b->call("posts 1"), "ok 1524:1000b:4");
  EXPECT_EQ(a->call("query 1 64"), "ok 1 0 -");

  // The jam's record as a class-2 alert: both are told its key and fetch its data.
  ASSERT_TRUE(servers[1]->raiseClassAlert(wf::testing::hex("00 02 03 01 01")));
  EXPECT_EQ(a->call("posts 1"), "ok 1525:2000b:0");
  EXPECT_EQ(b->call("posts 1"), "ok 1525:2000b:0");
  EXPECT_EQ(b->call("query 2 64"), "ok 0 5 0002030101");
  EXPECT_EQ(a->call("query 2 64"), "ok 0 5 0002030101");
  EXPECT_EQ(a->call("query 2 64"), "ok 1 0 -");  // freed once both fetched it

  // The network printer's alert arrives through the transport's data callback.
  ASSERT_EQ(a->call(std::string("capture ") + kNetworkHandle + " 0x1000 0"), "ok 0");
  EXPECT_EQ(primary->call(std::string("mock-alert corip32 ") + kNetworkPortId + " A5000500F0000277"), "ok 1");
  EXPECT_EQ(a->call("posts 1"), "ok 1525:30065:0");
  EXPECT_EQ(a->call("query 3 64"), "ok 0 3 000277");

  // Print: a job from a secondary to LPT2 in confirmed packets of 1019 bytes.
  std::string job;
  for (int i = 0; job.size() < 2500; ++i) job += "Wrenfield-job-line-" + std::to_string(i) + ".";
  job.resize(2500);
  const std::size_t before = packets(2, sim::Direction::Received).size();
  EXPECT_EQ(b->call("startdoc 12"), "ok 0");
  EXPECT_EQ(b->call("write 12 " + job), "ok 0 2500");
  std::vector<std::size_t> sizes;
  const auto in = packets(2, sim::Direction::Received);
  for (std::size_t i = before; i < in.size(); ++i)
    if (in[i].substr(8, 2) == "00") sizes.push_back(in[i].size() / 2 - 5);  // command 0: print data
  EXPECT_EQ(sizes, (std::vector<std::size_t>{1019, 1019, 462}));
  const auto out = packets(2, sim::Direction::Sent);
  EXPECT_EQ(std::count(out.begin(), out.end(), "A500020000"), 3);  // each one confirmed
  ASSERT_FALSE(models[2]->printJobs().empty());
  EXPECT_EQ(models[2]->printJobs().back(), job);

  // Unregistering with an alert unfetched: the application is gone and the
  // alert is freed once the other application fetched it.
  ASSERT_TRUE(servers[1]->raiseClassAlert(wf::testing::hex("00 02 09")));
  EXPECT_EQ(b->call("posts 1"), "ok 1525:4000b:0");
  EXPECT_EQ(a->call("posts 1"), "ok 1525:4000b:0");
  EXPECT_EQ(b->call("unregister"), "ok");
  EXPECT_EQ(b->call("bidi 11 16 512"), "ok -13 0 -");
  ASSERT_EQ(a->call("gone 2"), "ok");
  EXPECT_EQ(a->call("query 4 64"), "ok 0 3 000209");
  EXPECT_EQ(a->call("query 4 64"), "ok 1 0 -");
  // Only the application still capturing hears the next jam.
  ASSERT_TRUE(servers[1]->raiseDeviceStatus(0x4));
  EXPECT_EQ(a->call("posts 1"), "ok 1524:5000b:4");

  for (ChildProcess* app : {a.get(), b.get(), primary.get()}) {
    if (app != b.get()) {
      EXPECT_EQ(app->call("unregister"), "ok");
    }
    app->call("quit");
    EXPECT_TRUE(exitedCleanly(*app));
  }
}

TEST_F(BrokerEndToEnd, AfterThePrimaryIsKilledSecondariesFailAndANewStartIsClean) {
  startSession();
  ASSERT_EQ(a->call("capture 11 0x1004 0"), "ok 0");  // the primary holds LPT1 open when it dies
  ASSERT_EQ(b->call("bidi 12 16 512").substr(0, 5), "ok 0 ");

  primary->kill(SIGKILL);
  EXPECT_EQ(a->call("bidi 11 1 64"), "ok 1 0 -");
  EXPECT_EQ(b->call("bidi 12 16 512"), "ok 1 0 -");
  EXPECT_EQ(b->call(std::string("enum ") + kLocalAndIp), "ok 1 -");
  for (ChildProcess* app : {a.get(), b.get()}) {
    app->call("quit");
    EXPECT_TRUE(exitedCleanly(*app));
  }

  // Everything has ended: the next process is the primary and finds every printer again.
  auto fresh = startPrimary();
  EXPECT_EQ(fresh->call(std::string("enum ") + kLocalAndIp), "ok 0 11,12,101");
  const auto summary = words(fresh->call("bidi 11 16 512"));
  ASSERT_EQ(summary.size(), 4u);
  EXPECT_EQ(summary[1], "0");
  EXPECT_NE(summary[3].find(compactHex("Vireo 10")), std::string::npos);
  auto secondary = std::make_unique<ChildProcess>(ChildProcess::withCommands("e2e"));
  EXPECT_EQ(secondary->call("register"), "ok 1");
  EXPECT_EQ(secondary->call(std::string("enum ") + kLocalAndIp), "ok 0 11,12,101");
}

}  // namespace
