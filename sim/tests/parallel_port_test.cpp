// The simulator as the platform's parallel port layer sees it: the same
// calls the broker makes when it discovers and talks to a local printer.
#include <gtest/gtest.h>

#include "eventually.h"
#include "hex_bytes.h"
#include "platform/clock.h"
#include "platform/parallel_port.h"
#include "sim/printer/npa.h"
#include "sim/printer/pjl.h"
#include "sim/printer/port_server.h"

namespace wf::sim {
namespace {

using wf::testing::hex;
using wf::testing::toHex;

const std::string kPjlQuery =
    std::string(pjl::kUel) + "@PJL DINQUIRE LNPAP\r\n" + std::string(pjl::kUel) + '\0';

std::unique_ptr<PortServer> serve(int port, const char* profile) {
  std::string error;
  auto p = loadProfile(std::string(WF_SIM_PROFILE_DIR) + "/" + profile, &error);
  EXPECT_TRUE(p) << error;
  auto server = PortServer::start(port, std::make_shared<PrinterModel>(*p), &error);
  EXPECT_TRUE(server) << error;
  return server;
}

std::string readUpTo(ParallelPort& port, std::size_t n) {
  std::string buffer(n, '\0');
  auto r = port.read(buffer);
  EXPECT_EQ(r.error, PortError::None);
  buffer.resize(r.bytes);
  return buffer;
}

class ParallelPortDiscovery : public ::testing::Test {
 protected:
  void SetUp() override { setTimeScaleForTest(0.05); }
  void TearDown() override { setTimeScaleForTest(1); }
  static void queryTimeouts(ParallelPort& port) { port.setTimeouts(CommTimeouts{50, 5, 1000, 10, 2500}); }
};

TEST_F(ParallelPortDiscovery, NpaOnPrinterIsFoundByDeviceIdAndPjl) {
  auto server = serve(1, "meridian-vireo10.profile");
  auto opened = openParallelPort("LPT1:");
  ASSERT_TRUE(opened.port);
  EXPECT_EQ(openParallelPort("LPT1:").error, PortError::AccessDenied);
  EXPECT_EQ(openParallelPort("LPT2:").error, PortError::FileNotFound);

  std::string id(4096, '\0');
  std::size_t returned = 0;
  ASSERT_EQ(opened.port->deviceControl(kDeviceControlGetDeviceId, {}, id, returned), PortError::None);
  id.resize(returned);
  EXPECT_NE(id.find("Vireo"), std::string::npos);

  queryTimeouts(*opened.port);
  ASSERT_EQ(kPjlQuery.size(), 40u);
  ASSERT_EQ(opened.port->write(kPjlQuery).written, 40u);
  const std::string reply = readUpTo(*opened.port, 64);
  EXPECT_NE(reply.find("ON"), std::string::npos) << reply;
  EXPECT_EQ(reply.find("OFF"), std::string::npos);
}

TEST_F(ParallelPortDiscovery, SilentAutoPrinterAnswersOnlyTheProbe) {
  auto server = serve(2, "halcyon-chroma.profile");
  auto opened = openParallelPort("LPT2");
  ASSERT_TRUE(opened.port);
  queryTimeouts(*opened.port);
  opened.port->write(kPjlQuery);
  EXPECT_EQ(readUpTo(*opened.port, 64), "");
  opened.port->write(std::string(npa::kSyncPacket) + hex("A5 00 07 50 03 04 54 45 53 54 00"));
  EXPECT_EQ(toHex(readUpTo(*opened.port, 11)), "A5 00 07 00 03 04 54 45 53 54");
  EXPECT_EQ(server->printer().pjlQueryCount(), 1);
}

TEST_F(ParallelPortDiscovery, WritesFailWithThePrintersErrorClass) {
  auto server = serve(3, "meridian-vireo10.profile");
  server->setWriteError(WriteErrorClass::OutOfPaper);
  // The state comes with Welcome: the very first write after open knows it.
  for (int i = 0; i < 20; ++i) {
    auto opened = openParallelPort("LPT3");
    ASSERT_TRUE(opened.port);
    const PortWrite w = opened.port->write("data");
    EXPECT_EQ(w.error, WriteErrorClass::OutOfPaper) << "open " << i;
    EXPECT_EQ(w.written, 0u);
  }
  auto opened = openParallelPort("LPT3");
  ASSERT_TRUE(opened.port);
  opened.port->setTimeouts(CommTimeouts{1, 0, 50, 0, 1000});
  // A change while the port is open reaches the port layer on its reader thread.
  server->setWriteError(WriteErrorClass::None);
  PortWrite w;
  EXPECT_TRUE(
      testing::eventually([&] { return (w = opened.port->write("data")).error == WriteErrorClass::None; }));
  EXPECT_EQ(w.error, WriteErrorClass::None);
  EXPECT_EQ(w.written, 4u);
}

TEST_F(ParallelPortDiscovery, HeldPortIsInUseUntilLetGo) {
  auto server = serve(4, "meridian-vireo10.profile");
  server->setHeld(true);
  EXPECT_EQ(openParallelPort("LPT4").error, PortError::AccessDenied);
  server->setHeld(false);
  EXPECT_TRUE(openParallelPort("LPT4").port);
}

TEST_F(ParallelPortDiscovery, DeviceIdFailures) {
  auto server = serve(5, "meridian-vireo10.profile");
  auto opened = openParallelPort("LPT5");
  ASSERT_TRUE(opened.port);
  const struct {
    PortServer::DeviceIdAnswer answer;
    PortError error;
  } cases[] = {
      {PortServer::DeviceIdAnswer::Failure, PortError::GenFailure},
      {PortServer::DeviceIdAnswer::Nothing, PortError::SemTimeout},
      {PortServer::DeviceIdAnswer::Id, PortError::None},
  };
  for (const auto& c : cases) {
    server->setDeviceIdAnswer(c.answer);
    std::string id(4096, '\0');
    std::size_t returned = 99;
    EXPECT_EQ(opened.port->deviceControl(kDeviceControlGetDeviceId, {}, id, returned), c.error);
    EXPECT_EQ(returned == 0, c.error != PortError::None);
  }
  // The port still works after the failures.
  queryTimeouts(*opened.port);
  opened.port->write(hex("A5 00 03 50 04 00"));
  EXPECT_EQ(toHex(readUpTo(*opened.port, 9)), "A5 00 06 00 04 00 00 00 00");
}

TEST_F(ParallelPortDiscovery, AlertHeldForAPendingResponseArrivesBeforeIt) {
  auto server = serve(6, "meridian-vireo10.profile");
  auto opened = openParallelPort("LPT6");
  ASSERT_TRUE(opened.port);
  queryTimeouts(*opened.port);
  opened.port->write(hex("A5 00 06 50 03 03 40 02 01"));
  EXPECT_EQ(toHex(readUpTo(*opened.port, 7)), "A5 00 04 00 03 03 00");
  Knobs k;
  k.deferAlerts = true;
  server->printer().setKnobs(k);
  ASSERT_TRUE(server->raiseDeviceStatus(0x4));
  EXPECT_EQ(readUpTo(*opened.port, 8), "") << "held until a reply goes out";
  opened.port->write(hex("A5 00 03 50 04 00"));
  EXPECT_EQ(toHex(readUpTo(*opened.port, 17)), "A5 00 05 00 FF 00 02 00 A5 00 06 00 04 00 00 00 00");
}

}  // namespace
}  // namespace wf::sim
