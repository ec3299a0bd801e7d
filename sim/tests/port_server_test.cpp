// The simulator on real port endpoints, driven through the port wire.
#include <gtest/gtest.h>

#include "hex_bytes.h"
#include "port_client.h"
#include "sim/printer/npa.h"
#include "sim/printer/port_server.h"

namespace wf::sim {
namespace {

using portwire::FrameType;
using testing::PortClient;
using wf::testing::hex;
using wf::testing::toHex;

std::unique_ptr<PortServer> serveOnPort(int port, const char* profileText) {
  std::string error;
  auto server = PortServer::start(port, std::make_shared<PrinterModel>(*parseProfile(profileText)), &error);
  EXPECT_TRUE(server) << error;
  return server;
}

const char* const kVireo =
    "device-id = MFG:Corvane;CMD:PJL,NPA,PCL;MDL:Vireo 10;CLS:PRINTER;\nnpa = on\nstatus = 01 02 03\n";

TEST(PortServer, OneHostAtATimeOthersAreToldBusy) {
  auto server = serveOnPort(1, kVireo);
  PortClient first, second, none;
  ASSERT_TRUE(first.connect(1));
  EXPECT_EQ(first.next()->type, FrameType::Welcome);
  ASSERT_TRUE(second.connect(1));
  EXPECT_EQ(second.next()->type, FrameType::Busy);
  EXPECT_FALSE(second.next(200)) << "closed after Busy";
  // A port nobody serves does not exist, which differs from busy.
  EXPECT_FALSE(none.connect(2));
  EXPECT_EQ(errno, ENOENT);

  ASSERT_TRUE(first.send(FrameType::Close));
  EXPECT_FALSE(first.next(1000));
  PortClient third;
  ASSERT_TRUE(third.connect(1));
  EXPECT_EQ(third.next()->type, FrameType::Welcome);
  const auto log = server->printer().log();
  std::vector<std::string> events;
  for (const auto& e : log) events.push_back(e.bytes);
  EXPECT_EQ(events, (std::vector<std::string>{"open", "busy", "close", "open"}));
}

TEST(PortServer, AnswersDeviceIdAndRequestsSplitAcrossWrites) {
  auto server = serveOnPort(3, kVireo);
  PortClient host;
  ASSERT_TRUE(host.connect(3));
  ASSERT_EQ(host.next()->type, FrameType::Welcome);
  ASSERT_TRUE(host.send(FrameType::DeviceIdRequest));
  auto id = host.next();
  ASSERT_TRUE(id);
  EXPECT_EQ(id->type, FrameType::DeviceId);
  EXPECT_EQ(id->payload, "MFG:Corvane;CMD:PJL,NPA,PCL;MDL:Vireo 10;CLS:PRINTER;");
  const std::string request = hex("A5 00 03 50 04 00");
  ASSERT_TRUE(host.write(request.substr(0, 2)));
  ASSERT_TRUE(host.write(request.substr(2)));
  EXPECT_EQ(toHex(host.read(9)), "A5 00 06 00 04 00 01 02 03");
}

TEST(PortServer, AlertsAndErrorStatesReachTheHost) {
  auto server = serveOnPort(4, kVireo);
  EXPECT_FALSE(server->raiseDeviceStatus(0x4)) << "no host";
  PortClient host;
  ASSERT_TRUE(host.connect(4));
  ASSERT_EQ(host.next()->type, FrameType::Welcome);
  EXPECT_FALSE(server->raiseDeviceStatus(0x4)) << "not captured";
  ASSERT_TRUE(host.write(hex("A5 00 06 50 03 03 40 02 01")));
  EXPECT_EQ(host.read(7).size(), 7u);
  EXPECT_TRUE(server->raiseDeviceStatus(0x4));
  EXPECT_EQ(toHex(host.read(8)), "A5 00 05 00 FF 00 02 00");

  server->setWriteError(portwire::WriteErrorClass::OutOfPaper);
  auto state = host.next();
  ASSERT_TRUE(state);
  EXPECT_EQ(state->type, FrameType::ErrorState);
  EXPECT_EQ(toHex(state->payload), "01");

  // The error state holds for a host that opens the port later.
  server->disconnect();
  EXPECT_FALSE(host.next(2000));
  PortClient again;
  ASSERT_TRUE(again.connect(4));
  EXPECT_EQ(again.next()->type, FrameType::Welcome);
  auto held = again.next();
  ASSERT_TRUE(held);
  EXPECT_EQ(held->type, FrameType::ErrorState);
}

TEST(PortServer, HeldPortAndDeviceIdAnswersOnTheWire) {
  auto server = serveOnPort(8, kVireo);
  server->setHeld(true);
  PortClient refused;
  ASSERT_TRUE(refused.connect(8));
  EXPECT_EQ(refused.next()->type, FrameType::Busy);
  server->setHeld(false);
  PortClient host;
  ASSERT_TRUE(host.connect(8));
  ASSERT_EQ(host.next()->type, FrameType::Welcome);

  server->setDeviceIdAnswer(PortServer::DeviceIdAnswer::Failure);
  ASSERT_TRUE(host.send(FrameType::DeviceIdRequest));
  auto failed = host.next();
  ASSERT_TRUE(failed);
  EXPECT_EQ(failed->type, FrameType::DeviceIdFailed);
  EXPECT_EQ(failed->payload, "");

  server->setDeviceIdAnswer(PortServer::DeviceIdAnswer::Nothing);
  ASSERT_TRUE(host.send(FrameType::DeviceIdRequest));
  ASSERT_TRUE(host.write(hex("A5 00 03 50 04 00")));
  auto next = host.next();
  ASSERT_TRUE(next);
  EXPECT_EQ(next->type, FrameType::Data) << "the request went unanswered";
  EXPECT_EQ(toHex(next->payload), "A5 00 06 00 04 00 01 02 03");
}

TEST(PortServer, PrintJobEndsWhenTheHostClosesThePort) {
  auto server = serveOnPort(5, kVireo);
  {
    PortClient host;
    ASSERT_TRUE(host.connect(5));
    ASSERT_EQ(host.next()->type, FrameType::Welcome);
    host.write(npa::encode(0x10, 0, "page one"));
    EXPECT_EQ(toHex(host.read(5)), "A5 00 02 00 00");
  }
  PortClient next;
  ASSERT_TRUE(next.connect(5));
  ASSERT_EQ(next.next()->type, FrameType::Welcome);
  next.write(npa::encode(0x10, 0, "page two"));
  EXPECT_EQ(next.read(5).size(), 5u);
  EXPECT_EQ(server->printer().printJobs(), (std::vector<std::string>{"page one", "page two"}));
}

TEST(PortServer, RefusesABadPortAndASecondPrinterOnOnePort) {
  std::string error;
  auto model = std::make_shared<PrinterModel>(Profile{});
  EXPECT_FALSE(PortServer::start(0, model, &error));
  EXPECT_FALSE(PortServer::start(10, model, &error));
  auto first = PortServer::start(6, model, &error);
  ASSERT_TRUE(first) << error;
  EXPECT_FALSE(PortServer::start(6, model, &error));
  EXPECT_EQ(error, "LPT6 is served already");
}

TEST(PortServer, ReplyDelayIsScaledAndStopDoesNotWaitForIt) {
  setTimeScaleForTest(0.01);
  auto server = serveOnPort(7, kVireo);
  Knobs k;
  k.replyDelayMs = 1000;
  server->printer().setKnobs(k);
  PortClient host;
  ASSERT_TRUE(host.connect(7));
  ASSERT_EQ(host.next()->type, FrameType::Welcome);
  host.write(hex("A5 00 03 50 04 00"));
  EXPECT_EQ(host.read(9, 5000).size(), 9u);
  k.replyDelayMs = kInfinite - 1;  // a printer that never gets round to answering
  server->printer().setKnobs(k);
  host.write(hex("A5 00 03 50 04 00"));
  EXPECT_EQ(host.read(9, 100), "");
  server.reset();  // must not hang in the delay
  setTimeScaleForTest(1);
}

}  // namespace
}  // namespace wf::sim
