// wf-adapter-sim as a process: a scenario file places adapters on networks,
// setting lines on its input change them, and it stops on "quit" or a signal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <fstream>

#include "child_process.h"
#include "eventually.h"
#include "host.h"
#include "sim/printer/alerts.h"
#include "test_dirs.h"

namespace wf::sim::adapter::testing {
namespace {

namespace wire = ::wf::adapter;
namespace fs = std::filesystem;
using ::wf::testing::ChildProcess;

fs::path writeScenario(const std::string& body) {
  const fs::path file = ::wf::testing::testDataRoot() / "adapters.scenario";
  fs::create_directories(file.parent_path());
  std::ofstream(file) << "[spooler]\nignored line\n[ipx.adapters]\nadapters = " << WF_SIM_PROFILE_DIR << "\n"
                      << body;
  return file;
}

TEST(AdapterSimProgram, PlaysTheScenarioTakesSettingsAndQuits) {
  const fs::path log = ::wf::testing::testDataRoot() / "adapters.log";
  const fs::path scenario =
      writeScenario("log = " + log.string() +
                    "\nPB = portbay-npa.adapter\nPB.network = 00000002\nPB.node = 0000C0010203\n"
                    "EX = ext-7390.adapter\n");
  ChildProcess program("wf-adapter-sim", {scenario.string()});
  ASSERT_EQ(program.readLine(), "ready");

  Host host;
  const Node pbNode = {0x00, 0x00, 0xC0, 0x01, 0x02, 0x03};
  host.send(wire::textCommand(wire::kTagQueryParameters),
            ipxAddress({0, 0, 0, 2}, kBroadcast, wire::kCommandSocket));
  auto reply = host.next();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->from.node, pbNode);
  EXPECT_EQ(wire::readLpaParameters(reply->bytes)->name, "PORTBAY_1");

  EXPECT_EQ(program.call("EX.command-status = 11"), "ok");
  EXPECT_EQ(program.call("EX.media = banana"), "err not a number up to 15");
  EXPECT_EQ(program.call("no equals sign"), "err not key = value");
  EXPECT_EQ(program.call("PB.show node"), "ok 0000C0010203");
  EXPECT_EQ(program.call("PB.show var 6.7"), "ok 03 01 07");
  host.send(wire::textCommand(wire::kTagPowerOnReset),
            ipxAddress({0, 0, 0, 1}, {0x10, 0x00, 0x5A, 0x33, 0x44, 0x55}, wire::kCommandSocket));
  reply = host.next();
  ASSERT_TRUE(reply);
  EXPECT_EQ(wire::commandStatus(reply->bytes), NET_ADAPTER_STATUS_11);

  program.call("quit", 100);  // no answer: it ends
  EXPECT_EQ(program.waitExit(), 0);
  std::ifstream lines(log);
  std::string all((std::istreambuf_iterator<char>(lines)), std::istreambuf_iterator<char>());
  EXPECT_NE(all.find("PB in 83C1"), std::string::npos) << all;
  EXPECT_NE(all.find("EX out 83C1"), std::string::npos) << all;
}

// A line on the input makes the printer behind a port raise device status,
// once a host opened the port's channel and captured the class.
TEST(AdapterSimProgram, RaisesAPrintersDeviceStatusFromItsInput) {
  const fs::path scenario = writeScenario(
      "PB = portbay-npa.adapter\nPB.network = 00000002\n"
      "PB.node = 0000C0010203\n");
  ChildProcess program("wf-adapter-sim", {scenario.string()});
  ASSERT_EQ(program.readLine(), "ready");
  EXPECT_EQ(program.call("PB.raise-status = 1 4"), "err port 1 sent no alert") << "no host asked for alerts";
  EXPECT_EQ(program.call("PB.raise-status = one"), "err raise-status is <port> <hex mask>");

  Host host;
  const auto channel =
      ipxAddress({0, 0, 0, 2}, {0x00, 0x00, 0xC0, 0x01, 0x02, 0x03}, wire::dataChannelSocket(1));
  host.send({0xA5, 0x00, 0x05, 0x40, 0x03, 0x05, 0x02, 0x00}, channel);  // alerts come here
  // The capture of the device-status class 0x4, in the printer's own encoding.
  std::uint8_t classes[3] = {};
  for (int byte = 0; byte < 3; ++byte)
    for (int bit = 0; bit < 8; ++bit) {
      std::uint8_t probe[3] = {};
      probe[byte] = static_cast<std::uint8_t>(1 << bit);
      if (::wf::sim::alerts::maskFromCapture(probe[0], probe[1], probe[2]) & 0x4)
        classes[byte] |= probe[byte];
    }
  host.send({0xA5, 0x00, 0x06, 0x10, 0x03, 0x03, classes[0], classes[1], classes[2]}, channel);
  ASSERT_TRUE(::wf::testing::eventually([&] { return program.call("PB.raise-status = 1 4") == "ok"; }));
  // The capture's acknowledgement may come first.
  std::optional<Datagram> alert;
  while ((alert = host.next()) && !(alert->bytes.size() > 6 && alert->bytes[6] == 0xFF)) {
  }
  ASSERT_TRUE(alert) << "no device-status alert";
  EXPECT_EQ(alert->bytes[0], 0x00);
  EXPECT_EQ(alert->bytes[1], 0x00);
  EXPECT_EQ(alert->bytes[2], wire::kNpaStart);
  program.call("quit", 100);
  EXPECT_EQ(program.waitExit(), 0);
}

TEST(AdapterSimProgram, StopsOnSigtermAndRefusesABadScenario) {
  ChildProcess good("wf-adapter-sim", {std::string(WF_SIM_PROFILE_DIR) + "/../scenarios/adapters.scenario"});
  ASSERT_EQ(good.readLine(), "ready");
  good.kill(SIGTERM);
  EXPECT_TRUE(WIFEXITED(good.waitExit()));
  EXPECT_EQ(WEXITSTATUS(good.waitExit()), 0);

  ChildProcess bad("wf-adapter-sim", {writeScenario("EX.silent = 1\n").string()});
  EXPECT_EQ(bad.readLine(2000), "err child gone");
  EXPECT_EQ(WEXITSTATUS(bad.waitExit()), 1);
}

}  // namespace
}  // namespace wf::sim::adapter::testing
