// Bytes nobody vouches for, fed to the NPA reader's assembler, the text
// reader's second-datagram rule and the parameter-reply parser: no read past
// the bytes, and nothing taken that does not hold together.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>

#include "exchange.h"
#include "port_table.h"
#include "transports/common/adapter_wire.h"

namespace wf::netware {
namespace {

namespace wire = ::wf::adapter;

Bytes randomBytes(std::mt19937& rng, std::size_t max) {
  Bytes b(rng() % (max + 1));
  for (auto& c : b) c = static_cast<std::uint8_t>(rng());
  return b;
}

TEST(ReadersFuzz, AssemblerKeepsToItsAreaAndJoinsOnlyWholeReplies) {
  std::mt19937 rng(1234);
  for (int round = 0; round < 2000; ++round) {
    NpaAssembler a;
    for (int i = 0; i < 40; ++i) {
      Bytes d = randomBytes(rng, 300);
      if (d.size() >= 2) d[0] &= 0x0F;
      a.add(d);
    }
    std::uint8_t out[4096];
    const std::uint32_t n = a.join(out);
    if (!a.complete()) {
      EXPECT_EQ(n, 0u);
    }
    EXPECT_LE(n, wire::kFragmentArea);
  }
}

TEST(ReadersFuzz, AssemblerDropsRepeatsRuntsAndHighNumbers) {
  NpaAssembler a;
  a.add(Bytes{0x00, 0x01, 0xA5, 0x00, 0x03, 0x20});        // fragment 1, more
  a.add(Bytes{0x00, 0x01, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE});  // fragment 1 again: dropped
  a.add(Bytes{0x00, 0x20, 0x00, 0x00, 0x00, 0x00});        // number 32: dropped
  a.add(Bytes{0x00, 0x00, 0x01});                          // runt: dropped
  EXPECT_FALSE(a.complete());
  a.add(Bytes{0x00, 0x02, 0x01, 0x02, 0x03, 0x00});  // fragment 2, last
  a.add(Bytes{0x00, 0x00, 0x0A, 0x0B, 0x0C, 0x20});  // fragment 0
  ASSERT_TRUE(a.complete());
  std::uint8_t out[64];
  ASSERT_EQ(a.join(out), 12u);
  EXPECT_EQ(out[0], 0x0A);
  EXPECT_EQ(out[4], 0xA5);
  EXPECT_EQ(out[8], 0x01);
  std::uint8_t small[11];
  EXPECT_EQ(a.join(small), 0u) << "too long for the buffer: length 0";
}

TEST(ReadersFuzz, ParameterRepliesFromNoiseNeverBreakTheTable) {
  std::mt19937 rng(99);
  PortTable table;
  IpxAddress from;
  from.network = {0, 0, 0, 1};
  // Noise behind each real tag, cut at every length.
  for (const char* tag : {wire::kTagParameters, wire::kTagKestrelParameters, wire::kTagServerListing}) {
    for (int round = 0; round < 1500; ++round) {
      Bytes reply = wire::textCommand(tag);
      const Bytes tail = randomBytes(rng, 600);
      reply.insert(reply.end(), tail.begin(), tail.end());
      from.node[5] = static_cast<std::uint8_t>(round);
      std::vector<std::uint16_t> touched;
      table.parseReply(from, reply, true, nullptr, &touched);
      for (std::uint16_t id : touched) {
        const auto p = table.port(id);
        ASSERT_TRUE(p);
        const NETPORTINFO info = buildPortInfo(*p, true);
        EXPECT_LT(std::strlen(info.portName), sizeof info.portName);
      }
      needsSecondDatagram(reply);
    }
  }
  // Ids stay unique across everything made.
  std::set<std::uint16_t> ids;
  for (const PortView& p : table.ports()) EXPECT_TRUE(ids.insert(p.id).second);
}

}  // namespace
}  // namespace wf::netware
