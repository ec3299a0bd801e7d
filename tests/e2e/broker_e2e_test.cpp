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
#include "child/e2e_child.h"
#include "hex_bytes.h"
#include "platform/clock.h"
#include "platform/module.h"
#include "sim/printer/alerts.h"
#include "sim/printer/port_server.h"

using wf::testing::BufferReply;
using wf::testing::EndToEndChild;
using wf::testing::HandleListing;
using wf::testing::PostedAlert;
using wf::testing::Written;
using Posts = std::vector<PostedAlert>;
namespace sim = wf::sim;

namespace {

constexpr std::uint32_t kLocalAndIp = BCE_NET_LOCAL | BCE_NET_IP;
constexpr int kNetworkPortId = 7;
constexpr std::uint32_t kNetworkHandle = 101;
// Every application finds both local printers and the network one.
const HandleListing kEveryPrinter{BCE_OK, {11, 12, 101}};

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

bool exitedCleanly(EndToEndChild& child) {
  const int status = child.process().waitExit();
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
    a = std::make_unique<EndToEndChild>();
    ASSERT_EQ(a->registerApp(), 1);
    b = std::make_unique<EndToEndChild>();
    ASSERT_EQ(b->registerApp(), 2);
    for (EndToEndChild* app : {primary.get(), a.get(), b.get()})
      EXPECT_EQ(app->enumerate(kLocalAndIp), kEveryPrinter);
  }

  std::unique_ptr<EndToEndChild> startPrimary() {
    auto p = std::make_unique<EndToEndChild>();
    EXPECT_TRUE(p->isPrimary());
    EXPECT_EQ(p->registerApp(), 0);
    p->mockPort("corip32", kNetworkPortId, "NetVireo");
    // The network printer's summary reply: one packet, sub-code 10 then AA BB.
    p->mockReply("corip32", "A50005000410AABB");
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
  std::unique_ptr<EndToEndChild> primary, a, b;
};

TEST_F(BrokerEndToEnd, ThreeApplicationsQueryCaptureReceiveAlertsPrintAndUnregister) {
  startSession();

  // Query: every application reads each printer's summary, the same bytes,
  // carrying the model the printer was given.
  for (const auto& [handle, model] : {std::pair{11u, "Vireo 10"}, std::pair{12u, "Pagecrest II"}}) {
    const BufferReply first = primary->bidi(handle, 16, 512);
    EXPECT_EQ(first.result, BCE_OK);
    EXPECT_NE(first.data.find(compactHex(model)), std::string::npos) << handle;
    for (EndToEndChild* app : {a.get(), b.get()}) EXPECT_EQ(app->bidi(handle, 16, 512), first);
  }
  for (EndToEndChild* app : {primary.get(), a.get(), b.get()})
    EXPECT_EQ(app->bidi(kNetworkHandle, 16, 512), (BufferReply{BCE_OK, 3, "10AABB"}));

  // Two applications in two processes capture paper jams (DSA 0x4) and class 2 on LPT1.
  ASSERT_EQ(a->capture(11, 0x1004, 0), BCE_OK);
  ASSERT_EQ(b->capture(11, 0x1004, 0), BCE_OK);
  EXPECT_EQ(models[1]->enabledAlerts() & 0x1004u, 0x1004u);

  // A paper jam: the class mask travels in the message, under a fresh key, no data queued.
  ASSERT_TRUE(servers[1]->raiseDeviceStatus(0x4));
  const Posts jam = {{WM_BCE_DSA_ALERT, 1, 11, 0x4}};
  EXPECT_EQ(a->posts(1), jam);
  EXPECT_EQ(b->posts(1), jam);
  EXPECT_EQ(a->query(1, 64), (BufferReply{BCE_FAIL, 0, ""}));

  // The jam's record as a class-2 alert: both are told its key and fetch its data.
  ASSERT_TRUE(servers[1]->raiseClassAlert(wf::testing::hex("00 02 03 01 01")));
  const Posts record = {{WM_BCE_ALERT_2, 2, 11, 0}};
  EXPECT_EQ(a->posts(1), record);
  EXPECT_EQ(b->posts(1), record);
  EXPECT_EQ(b->query(2, 64), (BufferReply{BCE_OK, 5, "0002030101"}));
  EXPECT_EQ(a->query(2, 64), (BufferReply{BCE_OK, 5, "0002030101"}));
  EXPECT_EQ(a->query(2, 64), (BufferReply{BCE_FAIL, 0, ""}));  // freed once both fetched it

  // The network printer's alert arrives through the transport's data callback.
  ASSERT_EQ(a->capture(kNetworkHandle, 0x1000, 0), BCE_OK);
  EXPECT_EQ(primary->mockAlert("corip32", kNetworkPortId, "A5000500F0000277"), 1);
  EXPECT_EQ(a->posts(1), (Posts{{WM_BCE_ALERT_2, 3, 101, 0}}));
  EXPECT_EQ(a->query(3, 64), (BufferReply{BCE_OK, 3, "000277"}));

  // Print: a job from a secondary to LPT2 in confirmed packets of 1019 bytes.
  std::string job;
  for (int i = 0; job.size() < 2500; ++i) job += "Wrenfield-job-line-" + std::to_string(i) + ".";
  job.resize(2500);
  const std::size_t before = packets(2, sim::Direction::Received).size();
  EXPECT_EQ(b->startDoc(12), BCE_OK);
  EXPECT_EQ(b->write(12, job), (Written{BCE_OK, 2500}));
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
  const Posts unfetched = {{WM_BCE_ALERT_2, 4, 11, 0}};
  EXPECT_EQ(b->posts(1), unfetched);
  EXPECT_EQ(a->posts(1), unfetched);
  b->unregisterApp();
  EXPECT_EQ(b->bidi(11, 16, 512), (BufferReply{BCE_ERR_NOT_REGISTERED, 0, ""}));
  ASSERT_TRUE(a->gone(2));
  EXPECT_EQ(a->query(4, 64), (BufferReply{BCE_OK, 3, "000209"}));
  EXPECT_EQ(a->query(4, 64), (BufferReply{BCE_FAIL, 0, ""}));
  // Only the application still capturing hears the next jam.
  ASSERT_TRUE(servers[1]->raiseDeviceStatus(0x4));
  EXPECT_EQ(a->posts(1), (Posts{{WM_BCE_DSA_ALERT, 5, 11, 0x4}}));

  for (EndToEndChild* app : {a.get(), b.get(), primary.get()}) {
    if (app != b.get()) app->unregisterApp();
    app->quit();
    EXPECT_TRUE(exitedCleanly(*app));
  }
}

TEST_F(BrokerEndToEnd, APrintedJobComesBackAsAJobStatisticsAlert) {
  sim::Knobs knobs;
  knobs.jobSource = 3;
  knobs.jobSeconds = 42;
  models[1]->setKnobs(knobs);
  startSession();
  ASSERT_EQ(a->capture(11, 0x800, 0), BCE_OK);
  // A three-page job from the other secondary, its PJL and form feeds as they are.
  const std::string uel = "\x1B%-12345X";
  const std::string job = uel + "@PJL JOB NAME=\"report\"\r\n@PJL ENTER LANGUAGE=PCL\r\none\ftwo\fthree\f" +
                          uel + "@PJL EOJ\r\n" + uel;
  EXPECT_EQ(b->startDoc(11), BCE_OK);
  EXPECT_EQ(b->writeBytes(11, job), (Written{BCE_OK, static_cast<std::uint32_t>(job.size())}));
  EXPECT_EQ(b->endDoc(11), BCE_OK);
  EXPECT_EQ(a->posts(1), (Posts{{WM_BCE_JS_ALERT, 1, 11, 0}}));
  sim::alerts::JobStatistics expected;
  expected.seconds = 42;
  expected.entries.resize(3);
  expected.entries[2] = {3, 3, 0xFFFFFFFF};
  expected.text1 = "HT:;UR:;JN:report;QU:";
  const std::string data = sim::alerts::encodeJobStatistics(expected);
  EXPECT_EQ(a->query(1, 256),
            (BufferReply{BCE_OK, static_cast<std::uint32_t>(data.size()), compactHex(data)}));
  ASSERT_FALSE(models[1]->printJobs().empty());
  EXPECT_EQ(models[1]->printJobs().back(), job);
}

TEST_F(BrokerEndToEnd, AfterThePrimaryIsKilledSecondariesFailAndANewStartIsClean) {
  startSession();
  ASSERT_EQ(a->capture(11, 0x1004, 0), BCE_OK);  // the primary holds LPT1 open when it dies
  ASSERT_EQ(b->bidi(12, 16, 512).result, BCE_OK);

  primary->process().kill(SIGKILL);
  EXPECT_EQ(a->bidi(11, 1, 64), (BufferReply{BCE_FAIL, 0, ""}));
  EXPECT_EQ(b->bidi(12, 16, 512), (BufferReply{BCE_FAIL, 0, ""}));
  EXPECT_EQ(b->enumerate(kLocalAndIp), (HandleListing{BCE_FAIL, {}}));
  for (EndToEndChild* app : {a.get(), b.get()}) {
    app->quit();
    EXPECT_TRUE(exitedCleanly(*app));
  }

  // Everything has ended: the next process is the primary and finds every printer again.
  auto fresh = startPrimary();
  EXPECT_EQ(fresh->enumerate(kLocalAndIp), kEveryPrinter);
  const BufferReply summary = fresh->bidi(11, 16, 512);
  EXPECT_EQ(summary.result, BCE_OK);
  EXPECT_NE(summary.data.find(compactHex("Vireo 10")), std::string::npos);
  auto secondary = std::make_unique<EndToEndChild>();
  EXPECT_EQ(secondary->registerApp(), 1);
  EXPECT_EQ(secondary->enumerate(kLocalAndIp), kEveryPrinter);
}

}  // namespace
