// The adapters' IPX side as a workstation sees it: which adapters have it,
// the "LPA Parameters2" bytes, one answer per broadcast at either node, the
// acknowledgements and the once-only execution.
#include <gtest/gtest.h>

#include <cstring>

#include "host.h"
#include "platform/byte_codec.h"
#include "sim/adapter/simulator.h"

namespace wf::sim::adapter::testing {
namespace {

namespace ipx = ::wf::adapter::coripx;
namespace fs = std::filesystem;

AdapterConfig shippedWithIpx(const char* file) {
  std::string error;
  auto c = loadAdapter(fs::path(WF_SIM_PROFILE_DIR) / file, &error);
  EXPECT_TRUE(c) << error;
  AdapterConfig config = c.value_or(AdapterConfig{});
  config.corlinkIpx = true;
  return config;
}

Bytes shortQuery(std::uint8_t number) {
  Bytes q(ipx::kShortQuery, 0);
  q[1] = ipx::kFnRequest;
  q[3] = number;
  std::memcpy(q.data() + ipx::kShortTag, ipx::kTagQuery, sizeof ipx::kTagQuery);
  q[ipx::kShortLength] = ipx::kShortQueryMarker;
  return q;
}

TEST(AdapterIpxSide, A7390IsRefusedWithItsReason) {
  AdapterConfig c;
  std::string error;
  ASSERT_TRUE(applyAdapterLine(c, "kind", "7390", &error));
  EXPECT_FALSE(applyAdapterLine(c, "corlink-ipx", "1", &error));
  EXPECT_NE(error.find("7390"), std::string::npos) << error;
  EXPECT_FALSE(applyAdapterLine(c, "entry-length", "short", &error));
  c.corlinkIpx = true;  // set behind the line's back: the start refuses it too
  AdapterSimulator sim;
  EXPECT_FALSE(sim.addAdapter("EX", c, &error));
  EXPECT_NE(error.find("7390"), std::string::npos) << error;
}

TEST(AdapterIpxSide, ParametersTwoCarryTheSinglePortAdapter) {
  AdapterConfig c = shippedWithIpx("kestrel-single.adapter");
  c.flashCapable = true;
  const Bytes p = AdapterModel(c).ipxParameters2(0x2A);
  ASSERT_EQ(p.size(), ipx::params2::kReplySize);
  EXPECT_EQ(Bytes(p.begin(), p.begin() + 4), (Bytes{0x00, 0x04, 0x10, 0x2A}));
  EXPECT_STREQ(reinterpret_cast<const char*>(p.data() + 4), "LPA Parameters2");
  EXPECT_EQ(loadBe16(p.data() + 25), p.size() - 25);
  const Node t = tokenRingOrder(c.universal, 2);
  EXPECT_EQ(Bytes(p.begin() + 28, p.begin() + 34), Bytes(t.begin(), t.end()));
  EXPECT_STREQ(reinterpret_cast<const char*>(p.data() + 40), "KESTREL_7");
  EXPECT_EQ(p[98] & 0x01, 0) << "media 2";
  EXPECT_EQ(p[108], 0x40);
  EXPECT_EQ(Bytes(p.begin() + 127, p.begin() + 134), (Bytes{0xD9, 0xE4, 0x6D, 0xE5, 0xC1, 0x6D, 0xF1}));
  EXPECT_EQ(Bytes(p.begin() + 136, p.end()), (Bytes{0x03, 0x10, 0x08 | 0x40 | 0x30}));
}

TEST(AdapterIpxSide, ABroadcastIsAnsweredOnceFromTheTokenRingNode) {
  setTimeScaleForTest(0.3);
  AdapterSimulator sim;
  std::string error;
  ASSERT_TRUE(sim.addAdapter("KS", shippedWithIpx("kestrel-single.adapter"), &error)) << error;
  Host host;
  host.send(shortQuery(0), ipxAddress({0, 0, 0, 1}, kBroadcast, ipx::kQuerySocket));
  std::vector<Datagram> replies;
  for (const Datagram& d : host.collect())
    if (!(d.bytes[0] & ipx::kAck)) replies.push_back(d);
  ASSERT_EQ(replies.size(), 1u);
  Node canonical{};
  sim.adapter("KS")->withModel([&](AdapterModel& m) { canonical = m.node(); });
  EXPECT_EQ(replies[0].from.node, tokenRingOrder(canonical, 2));
  EXPECT_EQ(replies[0].from.socket, ipx::kQuerySocket);
  setTimeScaleForTest(1);
}

TEST(AdapterIpxSide, EachPacketRunsOnceAndEveryOneIsAcknowledged) {
  setTimeScaleForTest(0.3);
  AdapterSimulator sim;
  std::string error;
  ASSERT_TRUE(sim.addAdapter("PB", shippedWithIpx("portbay-npa.adapter"), &error)) << error;
  Node node{};
  sim.adapter("PB")->withModel([&](AdapterModel& m) { node = m.node(); });
  Host host;
  // A variable read of (6,2) behind the kind form of port 1, sent twice.
  const Bytes read = {0, ipx::kFnRequest, 0xF1, 7, 0xCA, 0xFE, 3, 0, 0, 0, 0xA5, 0x00, 0x06, 0x50, 0xE0, 0xD7, 0x00, 6, 2};
  const SOCKADDR_IPX to = ipxAddress({0, 0, 0, 1}, node, ipx::kDataSocket);
  host.send(read, to);
  host.send(read, to);
  std::size_t acks = 0, answers = 0;
  for (const Datagram& d : host.collect()) {
    if (d.bytes[0] & ipx::kAck) {
      ++acks;
      EXPECT_EQ(Bytes(d.bytes.begin() + 1, d.bytes.end()), Bytes(read.begin() + 1, read.begin() + 10));
    } else {
      ++answers;
      EXPECT_STREQ(reinterpret_cast<const char*>(d.bytes.data() + ipx::kTag), "LPA NPA");
      EXPECT_EQ(d.bytes[3], 7) << "numbered as the request";
    }
  }
  EXPECT_EQ(acks, 2u);
  EXPECT_EQ(answers, 1u);
  setTimeScaleForTest(1);
}

}  // namespace
}  // namespace wf::sim::adapter::testing
