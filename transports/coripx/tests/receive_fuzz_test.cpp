// Untrusted input: the discovery parsers on mutated and cut replies, and the
// receive path and reply collectors under random datagrams from both
// adapter sockets. Nothing may over-read, crash or hang, nothing is reported
// from a datagram that fails a check, and the pool keeps taking datagrams.
#include <random>

#include "coripx_fixture.h"
#include "ipx_frame.h"
#include "sim/adapter/adapter_model.h"

namespace wf::coripx::testing {
namespace {

std::atomic<int> gFuzzReports{0};
std::uint16_t countReport(const NETPORTINFO* p) {
  EXPECT_LE(::strnlen(p->portName, sizeof p->portName), 24u);
  ++gFuzzReports;
  return 1;
}

AdapterConfig shipped(const char* file) {
  std::string error;
  auto c = sim::adapter::loadAdapter(std::filesystem::path(WF_SIM_PROFILE_DIR) / file, &error);
  EXPECT_TRUE(c) << error;
  return c.value_or(AdapterConfig{});
}

Received fromAdapter(Bytes bytes, std::uint16_t socket) {
  Received d;
  d.bytes = std::move(bytes);
  d.from = addressOf(kPeerNode, socket);
  return d;
}

// The two enumeration replies as the simulator sends them.
Bytes parameters2Reply() {
  return sim::adapter::AdapterModel(shipped("kestrel-single.adapter")).ipxParameters2(0);
}
Bytes npaEnumerationReply() {
  const Bytes npa = sim::adapter::AdapterModel(shipped("portbay-npa.adapter")).ipxEnumeration();
  Bytes d = {0, wire::kReplyQuery | wire::kFnRequest, 0xC6, 0, 0xCA, 0xFE, 3, 0, 0, 0};
  d.resize(wire::kLength, 0);
  std::memcpy(d.data() + wire::kTag, wire::kTagNpa, sizeof wire::kTagNpa);
  d.resize(wire::kData);
  storeBe16(d.data() + wire::kLength, static_cast<std::uint16_t>(npa.size() + 2));
  d.insert(d.end(), npa.begin(), npa.end());
  return d;
}

TEST(CorIpxParsers, CutRepliesReportNothing) {
  setTimeScaleForTest(0.01);
  const Bytes p2 = parameters2Reply(), npa = npaEnumerationReply();
  {
    CorIpx whole;
    gFuzzReports = 0;
    EXPECT_TRUE(whole.parseParameters2(fromAdapter(p2, wire::kQuerySocket), &countReport, nullptr));
    EXPECT_TRUE(whole.parseNpaReply(fromAdapter(npa, wire::kDataSocket), &countReport, -1, nullptr));
    EXPECT_EQ(gFuzzReports.load(), 4) << "the whole replies report their ports";
  }
  for (const auto& [reply, lpa] : {std::pair{p2, true}, std::pair{npa, false}}) {
    for (std::size_t size = 0; size < reply.size(); ++size) {
      CorIpx ipx;
      gFuzzReports = 0;
      const Received cut = fromAdapter(Bytes(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(size)),
                                       lpa ? wire::kQuerySocket : wire::kDataSocket);
      if (lpa)
        ipx.parseParameters2(cut, &countReport, nullptr);
      else
        ipx.parseNpaReply(cut, &countReport, -1, nullptr);
      EXPECT_EQ(gFuzzReports.load(), 0) << "cut to " << size;
    }
  }
  setTimeScaleForTest(1);
}

TEST(CorIpxParsers, MutatedRepliesNeverOverRead) {
  setTimeScaleForTest(0.01);
  std::mt19937 random(4501);
  const Bytes p2 = parameters2Reply(), npa = npaEnumerationReply();
  CorIpx ipx;
  for (int round = 0; round < 3000; ++round) {
    Bytes d = round % 2 ? p2 : npa;
    const int flips = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < flips; ++i) d[random() % d.size()] = static_cast<std::uint8_t>(random());
    if (random() % 3 == 0) d.resize(random() % 1100, static_cast<std::uint8_t>(random()));
    if (round % 2)
      ipx.parseParameters2(fromAdapter(d, wire::kQuerySocket), &countReport, nullptr);
    else
      ipx.parseNpaReply(fromAdapter(d, wire::kDataSocket), &countReport, static_cast<int>(random() % 3) - 1, nullptr);
  }
  EXPECT_LE(ipx.portCount(), 3000u);
  setTimeScaleForTest(1);
}

TEST_F(CorIpxTest, RandomDatagramsFromBothSocketsLeaveThePoolWorking) {
  setTimeScaleForTest(0.01);
  start();
  ScriptedAdapter query(kPeerNode, wire::kQuerySocket), data(kPeerNode, wire::kDataSocket);
  IPXPORT* port = portAt(kPeerNode, 1);
  std::mt19937 random(4502);
  std::atomic<bool> stop{false};
  std::atomic<int> waits{0};
  Thread collector("fuzz-collector", [&](std::stop_token) {
    Bytes buffer(300);
    while (!stop) {
      std::uint32_t length = 300, status = 0;
      ipx->WaitTaggedReply(*port, buffer.data(), length, wire::kTagNpa, wire::kTagReject, status,
                           static_cast<std::uint8_t>(waits % 4));
      length = 300;
      ipx->WaitParametersReply(*port, buffer.data(), length, status, static_cast<std::uint8_t>(waits % 4));
      ++waits;
    }
  });
  const IpxAddress host = hostAddress();
  for (int i = 0; i < 400; ++i) {
    Bytes d(random() % 1101);
    for (auto& b : d) b = static_cast<std::uint8_t>(random());
    if (d.size() > 3 && i % 2) d[0] = static_cast<std::uint8_t>(random() % 2 ? 0 : 0x80), d[3] = random() % 4;
    if (d.size() > 31 && i % 3 == 0) std::memcpy(d.data() + wire::kTag, wire::kTagNpa, sizeof wire::kTagNpa);
    (i % 2 ? data : query).send(d, host);
  }
  sleepFor(100);
  stop = true;
  collector = Thread();
  EXPECT_GT(waits.load(), 0);

  // Whatever sits in the pool ages out; a good reply is still taken.
  sleepFor(ReceivePool::kOldAfterMs + 2000);
  const std::uint8_t number = nextPacketNumber(port->RequestNumber);
  data.send(taggedPiece(0xF1, number, wire::kTagNpa, {0xA5, 0x00, 0x02, 0x10, 0x01}), host);
  Bytes buffer(64);
  std::uint32_t length = 64, status = 0;
  EXPECT_EQ(ipx->WaitTaggedReply(*port, buffer.data(), length, wire::kTagNpa, wire::kTagReject, status, number), 0);
  EXPECT_EQ(length, 7u);
}

}  // namespace
}  // namespace wf::coripx::testing
