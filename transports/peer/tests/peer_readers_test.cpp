// What a peer sends, read without over-reading.
#include <gtest/gtest.h>

#include "peer_items.h"
#include "platform/byte_codec.h"

namespace wf::peer {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes alert(std::uint16_t id, std::uint16_t n, std::uint32_t kind, Bytes data) {
  Bytes a(8);
  storeLe16(&a[0], id);
  storeLe16(&a[2], n);
  storeLe32(&a[4], kind);
  a.insert(a.end(), data.begin(), data.end());
  return a;
}

TEST(PeerAlertPacket, ClassAlertsBecomeTheirPackets) {
  EXPECT_EQ(peerAlertPacket(alert(7, 2, 1526, {0x03, 0x01})), (Bytes{0xA5, 0x00, 0x04, 0x42, 0xF0, 0x03, 0x01}));
  // An unknown kind: the start byte and zeros.
  EXPECT_EQ(peerAlertPacket(alert(7, 2, 1600, {0x03, 0x01})), (Bytes{0xA5, 0, 0, 0, 0, 0, 0}));
}

TEST(PeerAlertPacket, DeviceStatusBitsMapToThePrintersBytes) {
  struct Case {
    std::uint8_t d0, d1;
    Bytes tail;  // packet bytes 5 to 7
  };
  const Case cases[] = {
      {0x00, 0x02, {0x80, 0, 0}}, {0x00, 0x01, {0x40, 0, 0}}, {0x08, 0, {0, 1, 0}}, {0x04, 0, {0, 2, 0}},
      {0x02, 0, {0, 4, 0}},       {0x01, 0, {0, 8, 0}},       {0x80, 0, {0, 0, 1}}, {0x20, 0, {0, 0, 2}},
      {0x40, 0, {0, 0, 4}},       {0x10, 0, {0, 0, 8}},       {0xFF, 0x03, {0xC0, 0x0F, 0x0F}},
  };
  for (const auto& c : cases) {
    auto p = peerAlertPacket(alert(7, 3, 1524, {c.d0, c.d1, 0}));
    ASSERT_TRUE(p);
    ASSERT_EQ(p->size(), 8u);
    EXPECT_EQ((Bytes{(*p)[0], (*p)[1], (*p)[2], (*p)[3], (*p)[4]}), (Bytes{0xA5, 0x00, 0x05, 0x42, 0xFF}));
    EXPECT_EQ((Bytes(p->begin() + 5, p->end())), c.tail) << int(c.d0) << " " << int(c.d1);
  }
}

TEST(PeerAlertPacket, AdvisesShorterThanTheyCountAreDropped) {
  const std::pair<const char*, Bytes> cases[] = {
      {"empty", {}},
      {"header cut", {7, 0, 2, 0, 0xF6, 0x05}},
      {"n past the data", alert(7, 5, 1526, {1, 2})},
      {"n of 2^16-1", alert(7, 0xFFFF, 1526, {1, 2})},
      {"status with n 2", alert(7, 2, 1524, {1, 2})},
  };
  for (const auto& [name, bytes] : cases) EXPECT_FALSE(peerAlertPacket(bytes)) << name;
  // Every cut of a good advise is refused, none read past its end.
  const Bytes good = alert(7, 2, 1526, {0x03, 0x01});
  for (std::size_t n = 0; n < good.size(); ++n) {
    EXPECT_FALSE(peerAlertPacket(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n)))) << n;
  }
}

}  // namespace
}  // namespace wf::peer
