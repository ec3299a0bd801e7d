// Reliable delivery: acknowledgements and retransmission, pacing, data
// loss, the largest-packet search, and the collectors of tagged replies.
#include "coripx_fixture.h"
#include "ipx_frame.h"

namespace wf::coripx::testing {
namespace {

using CorIpxDelivery = CorIpxTest;

TEST(CorIpxFraming, PortAndKindFormsByFamilyPortAndKind) {
  struct Case {
    std::uint32_t lpa;
    std::uint8_t number;
    std::uint16_t kind;
    std::uint8_t portForm, kindForm;
  };
  const Case cases[] = {
      {1, 0, 0, 0x10, 0xD0},      {1, 3, 0, 0x13, 0xD0},  {0, 0, 0x0101, 0x20, 0xE0}, {0, 1, 1, 0x31, 0xF1},
      {0, 2, 2, 0x32, 0xF2},      {0, 5, 7, 0x35, 0xC6},  {0, 9, 0, 0x19, 0xC6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "lpa " << c.lpa << " port " << int{c.number} << " kind " << c.kind);
    IPXPORT port;
    port.LpaAdapter = c.lpa;
    port.PortNumber = c.number;
    port.PortKind = c.kind;
    EXPECT_EQ(portFormByte(port), c.portForm);
    EXPECT_EQ(kindFormByte(port), c.kindForm);
  }
  EXPECT_EQ(dataForm(0xE0), 0xA0);
  EXPECT_EQ(dataForm(0xD0), 0x90);
  EXPECT_EQ(dataForm(0xC6), 0x86);
  EXPECT_EQ(headerWith(16, 0xB1, 7), (Bytes{0, 16, 0xB1, 7, 0xCA, 0xFE, 3, 0, 0, 0}));
}

TEST(CorIpxFraming, QueriesRequestsAndNodes) {
  const Bytes q = shortQuery(0xFF);
  ASSERT_EQ(q.size(), 26u);
  EXPECT_EQ(Bytes(q.begin(), q.begin() + 4), (Bytes{0x00, 0x09, 0x00, 0xFF}));
  EXPECT_STREQ(reinterpret_cast<const char*>(q.data() + 4), "Query LPA Parameters");
  EXPECT_EQ(q[25], 0x30);
  IPXPORT port;
  port.PortKind = 2;
  EXPECT_EQ(sendMoreRequest(port, 5),
            (Bytes{0, 9, 0xF2, 5, 0xCA, 0xFE, 3, 0, 0, 0, 0xA5, 0x00, 0x05, 0x40, 0x03, 0x05, 0x02, 0x00, 0x00}));
  EXPECT_EQ(reverseBits(0x01), 0x80);
  EXPECT_EQ(reverseBits(0xC0), 0x03);
  EXPECT_EQ(reverseBits(0x4A), 0x52);
  EXPECT_EQ(reverseNode({0x00, 0x00, 0xC0, 0x4A, 0x10, 0x01}), (Node{0x00, 0x00, 0x03, 0x52, 0x08, 0x80}));
  const std::uint8_t field[21] = {'L', 'P', 'A', ' ', 'N', 'P', 'A', 0, 'x'};
  EXPECT_TRUE(tagIs(field, sizeof field, "LPA NPA"));
  EXPECT_FALSE(tagIs(field, sizeof field, "LPA NP"));
  EXPECT_FALSE(tagIs(field, 5, "LPA N")) << "no terminator within the bytes received";
}

Bytes requestPacket(IPXPORT& port, std::size_t dataBytes = 6) {
  Bytes p = headerWith(wire::kFnRequest, kindFormByte(port), nextPacketNumber(port.RequestNumber));
  p.resize(p.size() + dataBytes, 0x5A);
  return p;
}

Bytes jobPacket(IPXPORT& port, std::size_t total) {
  Bytes p = headerWith(wire::kFnJobData, dataForm(kindFormByte(port)), nextPacketNumber(port.DataNumber));
  for (std::size_t i = p.size(); i < total; ++i) p.push_back(static_cast<std::uint8_t>(i * 7));
  return p;
}

TEST_F(CorIpxDelivery, AnAcknowledgedPacketIsSentOnce) {
  start();
  ScriptedAdapter adapter(kPeerNode, wire::kDataSocket);
  adapter.script([](const Bytes& in) { return std::vector<Bytes>{ackOf(in)}; });
  IPXPORT* port = portAt(kPeerNode, 1);
  Bytes packet = requestPacket(*port);
  const Bytes sent = packet;
  EXPECT_EQ(ipx->SendAcknowledged(*port, packet.data(), packet.size(), false), 0);
  ASSERT_EQ(adapter.packets().size(), 1u);
  EXPECT_EQ(adapter.packets()[0].bytes, sent) << "a first transmission carries no resend bit";
}

TEST_F(CorIpxDelivery, NeverAcknowledgedMeansThreeTransmissionsThenFailure) {
  start();
  ScriptedAdapter adapter(kPeerNode, wire::kDataSocket);
  IPXPORT* port = portAt(kPeerNode, 1);
  Bytes packet = requestPacket(*port);
  const auto began = Clock::now();
  EXPECT_EQ(ipx->SendAcknowledged(*port, packet.data(), packet.size(), false), 1);
  const auto ended = Clock::now();
  const auto sent = adapter.packets();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0].bytes[0], 0);
  EXPECT_EQ(sent[1].bytes[0], wire::kResent);
  EXPECT_EQ(sent[2].bytes[0], wire::kResent);
  // 1 s, 2 s, then 4 s to the failure; arrivals are stamped a little after
  // their sending, so each gap is checked with a tenth to spare.
  EXPECT_GE(sent[1].at - sent[0].at, scaled(900));
  EXPECT_GE(sent[2].at - sent[1].at, scaled(1800));
  EXPECT_GE(ended - sent[2].at, scaled(3600));
  EXPECT_GE(ended - began, scaled(7000));
}

TEST_F(CorIpxDelivery, ALateAcknowledgementDoesNotCompleteTheNextPacket) {
  start();
  ScriptedAdapter adapter(kPeerNode, wire::kDataSocket);
  // The first packet is acknowledged only once resent, and that twice (its
  // first transmission's acknowledgement arrives late); the second never.
  adapter.script([&](const Bytes& in) {
    if (in[3] != 2 || !(in[0] & wire::kResent)) return std::vector<Bytes>{};
    return std::vector<Bytes>{ackOf(in), ackOf(in)};
  });
  IPXPORT* port = portAt(kPeerNode, 1);
  Bytes first = requestPacket(*port), second = requestPacket(*port);
  ASSERT_EQ(first[3], 2);
  EXPECT_EQ(ipx->SendAcknowledged(*port, first.data(), first.size(), false), 0);
  EXPECT_EQ(ipx->SendAcknowledged(*port, second.data(), second.size(), false), 1)
      << "the stray acknowledgement of packet 2 must not deliver packet 3";
}

TEST_F(CorIpxDelivery, PacketNumbersSkipTheEnumerationMarks) {
  std::atomic<std::uint8_t> counter{0xFD};
  EXPECT_EQ(nextPacketNumber(counter), 0xFE);
  EXPECT_EQ(nextPacketNumber(counter), 1) << "0xFF and 0 mark enumeration replies";
}

TEST_F(CorIpxDelivery, PaceOffHoldsTheNextDataPacketUntilPaceOn) {
  start();
  ScriptedAdapter adapter(kPeerNode, wire::kDataSocket);
  IPXPORT* port = portAt(kPeerNode, 1);
  adapter.script([&](const Bytes& in) { return std::vector<Bytes>{ackOf(in, in[3] == 2 ? 0x84 : wire::kAck)}; });
  Bytes first = jobPacket(*port, 40), second = jobPacket(*port, 40);
  EXPECT_EQ(ipx->SendAcknowledged(*port, first.data(), first.size(), true), 0);
  ASSERT_TRUE(wf::testing::eventually([&] { return port->PaceOff.load() != 0; }));
  std::atomic<bool> done{false};
  Thread sender("pace-test", [&](std::stop_token) {
    EXPECT_EQ(ipx->SendAcknowledged(*port, second.data(), second.size(), true), 0);
    done = true;
  });
  sleepFor(2000);
  EXPECT_EQ(adapter.packets().size(), 1u) << "held while paced off";
  adapter.send(ackOf(first, wire::kPaceOff), adapter.host());  // below 0x80: pace on
  ASSERT_TRUE(wf::testing::eventually([&] { return done.load(); }));
  EXPECT_EQ(adapter.packets().size(), 2u);
}

TEST_F(CorIpxDelivery, PaceOffLastsThirtySecondsAtMost) {
  start();
  ScriptedAdapter adapter(kPeerNode, wire::kDataSocket);
  adapter.script([&](const Bytes& in) { return std::vector<Bytes>{ackOf(in)}; });
  IPXPORT* port = portAt(kPeerNode, 1);
  port->PaceOff = 1;
  Bytes packet = jobPacket(*port, 40);
  const auto began = Clock::now();
  EXPECT_EQ(ipx->SendAcknowledged(*port, packet.data(), packet.size(), true), 0);
  EXPECT_GE(Clock::now() - began, scaled(30'000));
  Bytes request = requestPacket(*port);  // bit 0x40 of the port byte: never held
  EXPECT_EQ(ipx->SendAcknowledged(*port, request.data(), request.size(), false), 0);
}

TEST_F(CorIpxDelivery, LostDataIsResentAndEndlessLossEndsAtItsBound) {
  start();
  ScriptedAdapter adapter(kPeerNode, wire::kDataSocket);
  IPXPORT* port = portAt(kPeerNode, 1);
  std::atomic<int> lossesLeft{1};
  adapter.script([&](const Bytes& in) {
    return std::vector<Bytes>{ackOf(in, lossesLeft-- > 0 ? 0x81 : wire::kAck)};
  });
  Bytes packet = jobPacket(*port, 60);
  EXPECT_EQ(ipx->SendAcknowledged(*port, packet.data(), packet.size(), true), 0);
  auto sent = adapter.packets();
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[0].bytes[0], 0);
  EXPECT_EQ(sent[1].bytes[0], wire::kResent);

  setTimeScaleForTest(0.01);
  lossesLeft = 1'000'000;
  Bytes endless = jobPacket(*port, 60);
  const auto began = Clock::now();
  EXPECT_EQ(ipx->SendAcknowledged(*port, endless.data(), endless.size(), true), 1);
  EXPECT_GE(Clock::now() - began, scaled(120'000));
}

TEST_F(CorIpxDelivery, ATooLongDataPacketGoesInNumberedSlices) {
  start();
  ScriptedAdapter adapter(kPeerNode, wire::kDataSocket);
  adapter.script([&](const Bytes& in) { return std::vector<Bytes>{ackOf(in)}; });
  IPXPORT* port = portAt(kPeerNode, 1);
  ScopedEnv lowered("WRENFIELD_IPX_MAXDG", "700");
  Bytes packet = jobPacket(*port, 1470);
  const Bytes original = packet;
  EXPECT_EQ(ipx->SendAcknowledged(*port, packet.data(), packet.size(), true), 0);
  EXPECT_EQ(ipx->maxPacket(), 446u);
  const auto slices = adapter.packets();
  ASSERT_GE(slices.size(), 4u);
  Bytes joined(original.begin(), original.begin() + 10);
  std::uint8_t expectNumber = original[3];
  for (const auto& s : slices) {
    EXPECT_LE(s.bytes.size(), 446u);
    EXPECT_EQ(s.bytes[3], expectNumber);
    expectNumber = static_cast<std::uint8_t>(expectNumber + 1);
    EXPECT_EQ(s.bytes[1], wire::kFnJobData);
    joined.insert(joined.end(), s.bytes.begin() + 10, s.bytes.end());
  }
  EXPECT_EQ(joined, original) << "the data arrives whole, each slice behind its own header";
}

// ---- Tagged replies ------------------------------------------------------------------------

Bytes npaData(std::size_t size, std::uint8_t flags, std::uint8_t fill) {
  Bytes d(size, fill);
  d[0] = 0xA5;
  d[3] = flags;
  return d;
}

TEST_F(CorIpxDelivery, TaggedRepliesAreJoinedBehindTheFirstLengthField) {
  start();
  ScriptedAdapter adapter(kPeerNode, wire::kDataSocket);
  IPXPORT* port = portAt(kPeerNode, 1);
  const std::uint8_t number = 0x21;
  const Bytes a = npaData(20, 0x30, 1), b = npaData(62, 0x30, 2), c = npaData(9, 0x10, 3);
  std::atomic<int> sendMores{0};
  adapter.script([&](const Bytes& in) {
    if (in[0] & wire::kAck) return std::vector<Bytes>{};
    std::vector<Bytes> out = {ackOf(in)};
    if (in.size() == 19 && std::equal(in.begin() + 10, in.end(), std::begin(wire::kSendMore))) {
      ++sendMores;
      out.push_back(taggedPiece(0xF1, number, wire::kTagNpa, c));
    }
    return out;
  });
  IpxAddress host = hostAddress();
  adapter.send(taggedPiece(0xF1, number, wire::kTagNpa, a), host);
  adapter.send(taggedPiece(0xF1, number, wire::kTagNpa, b), host);  // L = 64: more only on request
  Bytes buffer(512);
  std::uint32_t length = static_cast<std::uint32_t>(buffer.size()), status = 0;
  EXPECT_EQ(ipx->WaitTaggedReply(*port, buffer.data(), length, wire::kTagNpa, wire::kTagReject, status, number), 0);
  EXPECT_EQ(status, 1u);
  EXPECT_EQ(sendMores.load(), 1);
  Bytes expected = {0, 22};
  expected.insert(expected.end(), a.begin(), a.end());
  expected.insert(expected.end(), b.begin(), b.end());
  expected.insert(expected.end(), c.begin(), c.end());
  ASSERT_EQ(length, expected.size());
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + length), expected);
}

TEST_F(CorIpxDelivery, ReplyCollectorResults) {
  start();
  ScriptedAdapter adapter(kPeerNode, wire::kDataSocket);
  IPXPORT* port = portAt(kPeerNode, 1);
  const Bytes whole = npaData(12, 0x10, 7);
  struct Case {
    const char* name;
    const char* tag;
    std::uint32_t room;
    int result;
    std::uint32_t status, length;
  };
  const Case cases[] = {
      {"accepted", wire::kTagNpa, 100, 0, 1, 14},
      {"rejected", wire::kTagReject, 100, 0, 2, 14},
      {"too little room", wire::kTagNpa, 8, 4, 1, 8},
      {"another tag stays for others", "LPA Something", 100, 258, 0, 0},
  };
  std::uint8_t number = 0x30;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ++number;
    adapter.send(taggedPiece(0xF1, number, c.tag, whole), hostAddress());
    Bytes buffer(c.room);
    std::uint32_t length = c.room, status = 0;
    EXPECT_EQ(ipx->WaitTaggedReply(*port, buffer.data(), length, wire::kTagNpa, wire::kTagReject, status, number),
              c.result);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(length, c.length);
  }
  const std::uint8_t otherTag = number;
  EXPECT_TRUE(ipx->pool().take([&](const Received& d) { return d.bytes[3] == otherTag; }))
      << "the reply of another tag is left in the pool";
}

TEST_F(CorIpxDelivery, UntrustworthyPiecesAreDroppedNotCopied) {
  start();
  ScriptedAdapter adapter(kPeerNode, wire::kDataSocket);
  IPXPORT* port = portAt(kPeerNode, 1);
  Bytes beyond = taggedPiece(0xF1, 0x41, wire::kTagNpa, npaData(12, 0x10, 1));
  beyond[wire::kLength + 1] = 200;  // L past the bytes received
  Bytes shortOne = taggedPiece(0xF1, 0x41, wire::kTagNpa, {});
  shortOne[wire::kLength + 1] = 1;  // L below its own two bytes
  adapter.send(beyond, hostAddress());
  adapter.send(shortOne, hostAddress());
  Bytes buffer(512);
  std::uint32_t length = 512, status = 0;
  EXPECT_EQ(ipx->WaitTaggedReply(*port, buffer.data(), length, wire::kTagNpa, wire::kTagReject, status, 0x41), 258);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(ipx->pool().count(), 0u) << "freed";
}

TEST_F(CorIpxDelivery, ParametersRepliesUseTheShortForm) {
  start();
  ScriptedAdapter adapter(kPeerNode, wire::kDataSocket);
  IPXPORT* port = portAt(kPeerNode, 0);
  Bytes reply(40, 0x33);
  reply[0] = 0;
  reply[1] = wire::kReplyQuery;
  reply[2] = 0x10;
  reply[3] = 0x52;
  std::memset(reply.data() + 4, 0, 21);
  std::memcpy(reply.data() + 4, wire::kTagParameters2, sizeof wire::kTagParameters2);
  reply[25] = 0;
  reply[26] = 15;  // L: itself and 13 bytes
  reply[30] = 0;   // no more
  adapter.send(reply, hostAddress());
  Bytes buffer(64);
  std::uint32_t length = 64, status = 0;
  EXPECT_EQ(ipx->WaitParametersReply(*port, buffer.data(), length, status, 0x52), 0);
  EXPECT_EQ(status, 1u);
  ASSERT_EQ(length, 15u);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 15), Bytes(reply.begin() + 25, reply.begin() + 40));
  length = 64;
  EXPECT_EQ(ipx->WaitParametersReply(*port, buffer.data(), length, status, 0x53), 258);
}

}  // namespace
}  // namespace wf::coripx::testing
