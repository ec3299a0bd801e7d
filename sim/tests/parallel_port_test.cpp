// The simulator as the platform's parallel port layer sees it: the same
// calls the broker makes when it discovers and talks to a local printer.
#include <gtest/gtest.h>

#include "hex.h"
#include "platform/clock.h"
#include "platform/parallel_port.h"
#include "sim/printer/npa.h"
#include "sim/printer/pjl.h"
#include "sim/printer/port_server.h"

namespace wf::sim {
namespace {

using testing::hex;
using testing::toHex;

const std::string kPjlQuery = std::string(pjl::kUel) + "@PJL DINQUIRE LNPAP\r\n" + std::string(pjl::kUel) + '\0';

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
  static void queryTimeouts(ParallelPort& port) {
    port.setTimeouts(CommTimeouts{50, 5, 1000, 10, 2500});
  }
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
  auto opened = openParallelPort("LPT3");
  ASSERT_TRUE(opened.port);
  opened.port->setTimeouts(CommTimeouts{1, 0, 50, 0, 1000});
  // The printer's state reaches the port layer after the Welcome, on its reader thread.
  auto writeUntil = [&](WriteErrorClass wanted) {
    PortWrite w;
    for (int i = 0; i < 100 && (w = opened.port->write("data")).error != wanted; ++i) sleepFor(20);
    return w;
  };
  EXPECT_EQ(writeUntil(WriteErrorClass::OutOfPaper).error, WriteErrorClass::OutOfPaper);
  server->setWriteError(WriteErrorClass::None);
  const PortWrite w = writeUntil(WriteErrorClass::None);
  EXPECT_EQ(w.error, WriteErrorClass::None);
  EXPECT_EQ(w.written, 4u);
}

}  // namespace
}  // namespace wf::sim
