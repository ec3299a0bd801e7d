// Delivery against the simulator's IPX side and its faults: lost and late
// acknowledgements, data loss, pacing, requests to the printer behind a port.
#include "coripx_fixture.h"
#include "ipx_frame.h"

namespace wf::coripx::testing {
namespace {

TEST_F(CorIpxAgainstSimulator, AnAdapterThatNeverAcknowledgesFailsTheSend) {
  IPXPORT* port = portBayPort1({"no-ack = 1"});
  ASSERT_TRUE(port);
  Bytes request = sendMoreRequest(*port, nextPacketNumber(port->RequestNumber));
  EXPECT_EQ(ipx->SendAcknowledged(*port, request.data(), request.size(), false), 1);
}

TEST_F(CorIpxAgainstSimulator, ALostAcknowledgementIsMadeGoodByTheResend) {
  IPXPORT* port = portBayPort1({"drop-ack = 1"});
  ASSERT_TRUE(port);
  const Bytes data = {0x1B, 'E', 'j', 'o', 'b'};
  Bytes packet = jobData(*port, data);
  EXPECT_EQ(ipx->SendAcknowledged(*port, packet.data(), packet.size(), true), 0);
  EXPECT_EQ(sim.adapter("PB")->ipxJobData(1), data) << "the resent packet is taken once, by its number";
  EXPECT_EQ(logged(" drop 861F repeat"), 1u);
}

TEST_F(CorIpxAgainstSimulator, LateAcknowledgementsCompleteOnlyTheirOwnPacket) {
  IPXPORT* port = portBayPort1({"ack-delay = 1500"});
  ASSERT_TRUE(port);
  for (int i = 0; i < 2; ++i) {
    Bytes request = sendMoreRequest(*port, nextPacketNumber(port->RequestNumber));
    EXPECT_EQ(ipx->SendAcknowledged(*port, request.data(), request.size(), false), 0) << i;
  }
  EXPECT_GE(logged(" drop 861F repeat"), 1u) << "the resend was acknowledged, not run again";
}

TEST_F(CorIpxAgainstSimulator, LostDataIsSentAgain) {
  IPXPORT* port = portBayPort1({"data-lost = 1"});
  ASSERT_TRUE(port);
  Bytes packet = jobData(*port, {'a', 'b', 'c'});
  EXPECT_EQ(ipx->SendAcknowledged(*port, packet.data(), packet.size(), true), 0);
  EXPECT_EQ(sim.adapter("PB")->ipxJobData(1), (Bytes{'a', 'b', 'c'})) << "dropped once, taken once";
  EXPECT_EQ(logged(" drop 861F data lost"), 1u);
}

TEST_F(CorIpxAgainstSimulator, PaceOffHoldsTheNextDataPacketUntilPaceOn) {
  IPXPORT* port = portBayPort1({"pace-off = 1", "pace-on-after = 3000"});
  ASSERT_TRUE(port);
  Bytes first = jobData(*port, {'1'}), second = jobData(*port, {'2'});
  EXPECT_EQ(ipx->SendAcknowledged(*port, first.data(), first.size(), true), 0);
  const auto began = Clock::now();
  EXPECT_EQ(ipx->SendAcknowledged(*port, second.data(), second.size(), true), 0);
  EXPECT_GE(Clock::now() - began, scaled(2500)) << "held until the adapter paced on";
  EXPECT_EQ(sim.adapter("PB")->ipxJobData(1), (Bytes{'1', '2'}));
}

TEST_F(CorIpxAgainstSimulator, ARequestReachesThePrinterBehindThePort) {
  IPXPORT* port = portBayPort1();
  ASSERT_TRUE(port);
  const std::uint8_t number = nextPacketNumber(port->RequestNumber);
  Bytes request = headerWith(wire::kFnRequest, kindFormByte(*port), number);
  request.insert(request.end(), {0xA5, 0x00, 0x03, 0x50, 0x01, 0x00});  // the summary
  ASSERT_EQ(ipx->SendAcknowledged(*port, request.data(), request.size(), false), 0);
  Bytes reply(1024);
  std::uint32_t length = static_cast<std::uint32_t>(reply.size()), status = 0;
  EXPECT_EQ(ipx->WaitTaggedReply(*port, reply.data(), length, wire::kTagNpa, wire::kTagReject, status, number), 0);
  EXPECT_EQ(status, 1u);
  ASSERT_GT(length, 7u);
  EXPECT_EQ(std::size_t{reply[0]} << 8 | reply[1], length) << "the length field leads";
  EXPECT_EQ(reply[2], 0xA5);
  EXPECT_EQ(reply[6], 0x01) << "the printer's answer to the characteristics command";

  // A packet the printer does not answer is acknowledged with its command.
  const std::uint8_t quiet = nextPacketNumber(port->RequestNumber);
  Bytes control = headerWith(wire::kFnRequest, kindFormByte(*port), quiet);
  control.insert(control.end(), {0xA5, 0x00, 0x03, 0x40, 0x03, 0x7E});
  ASSERT_EQ(ipx->SendAcknowledged(*port, control.data(), control.size(), false), 0);
  length = static_cast<std::uint32_t>(reply.size());
  EXPECT_EQ(ipx->WaitTaggedReply(*port, reply.data(), length, wire::kTagNpa, wire::kTagReject, status, quiet), 0);
  EXPECT_EQ(Bytes(reply.begin(), reply.begin() + length), (Bytes{0x00, 0x08, 0xA5, 0x00, 0x03, 0x10, 0x03, 0x7E}));
}

}  // namespace
}  // namespace wf::coripx::testing
