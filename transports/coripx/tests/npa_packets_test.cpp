// NPA variable packets: the builders byte by byte and the decoders against
// the adapter simulator's own enumeration reply.
#include <gtest/gtest.h>

#include <cstring>

#include "npa_packets.h"
#include "sim/adapter/adapter_model.h"

namespace wf::coripx {
namespace {

TEST(NpaPackets, TheEnumerationQueryIsByteExact) {
  const Bytes q = buildEnumerationQuery();
  ASSERT_EQ(q.size(), 113u);
  EXPECT_EQ(Bytes(q.begin(), q.begin() + 7), (Bytes{0xA5, 0x00, 0x6E, 0x50, 0xE0, 0xD7, 0x02}));
  const Bytes adapter = {0x07, 0x01, 0x06, 0x01, 0x06, 0x00, 0x07, 0x02, 0x06,
                         0x02, 0x06, 0x06, 0x06, 0x07, 0x06, 0x05, 0x06, 0x0D};
  EXPECT_EQ(Bytes(q.begin() + 7, q.begin() + 25), adapter);
  EXPECT_EQ(Bytes(q.begin() + 25, q.begin() + 29), (Bytes{0x90, 0x00, 0x90, 0x03}));
  EXPECT_EQ(Bytes(q.begin() + 49, q.begin() + 53), (Bytes{0x90, 0x0E, 0x0B, 0x00}));
  for (std::uint8_t p = 1; p <= 5; ++p) {
    const std::size_t at = 53 + (p - 1) * 12u;
    const auto g = static_cast<std::uint8_t>(0x80 | p);
    EXPECT_EQ(Bytes(q.begin() + static_cast<std::ptrdiff_t>(at), q.begin() + static_cast<std::ptrdiff_t>(at + 12)),
              (Bytes{g, 0x00, g, 0x03, g, 0x04, g, 0x05, g, 0x06, 0x0B, p}));
  }
}

TEST(NpaPackets, EachPacketHasItsLength) {
  SettingsWrite s;
  const struct {
    const char* name;
    Bytes packet;
    std::size_t length;
  } cases[] = {
      {"read settings", buildReadSettings(), 31},
      {"write settings", buildWriteSettings(s), 178},
      {"write 8 bytes", buildWrite8({1, 2, 3, 4, 5, 6, 7, 8}), 18},
      {"write address", buildWriteAddress('1', 0x0000C012, 0x3456), 20},
      {"write reset", buildWriteReset(), 11},
      {"write name", buildWriteName("LAB"), 35},
      {"write own port", buildWriteOwnPort(1, 2, 3, 4, 5, 6, 0), 37},
      {"write port", buildWritePort(0x81, 1, 2, 1), 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(c.packet.size(), c.length);
    EXPECT_EQ(c.packet[0], 0xA5);
    EXPECT_EQ(std::size_t{c.packet[1]} << 8 | c.packet[2], c.length - 3);
    EXPECT_EQ(c.packet[6], c.name[0] == 'r' && c.name[1] == 'e' && c.name[2] == 'a' ? 0 : 1);
  }
}

TEST(NpaPackets, ValuesGoWhereTheyBelong) {
  const Bytes address = buildWriteAddress('1', 0x0000C012, 0x3456);
  EXPECT_EQ(Bytes(address.begin() + 7, address.end()),
            (Bytes{0x06, 0x01, 6, 0x00, 0x00, 0xC0, 0x12, 0x34, 0x56, 0x06, 0x0E, 1, 1}));
  const Bytes zero = buildWriteAddress('0', 0x0000C012, 0x3456);
  EXPECT_EQ(Bytes(zero.begin() + 10, zero.begin() + 16), Bytes(6, 0));
  const Bytes port = buildWritePort(0x82, 9, 0x0102, 7);
  EXPECT_EQ(Bytes(port.begin() + 7, port.end()),
            (Bytes{0x82, 0x06, 1, 9, 0x82, 0x04, 2, 0x01, 0x02, 0x0B, 0x02, 1, 0x08}));
  EXPECT_EQ(npaModeByte(0), 0x20);
  EXPECT_EQ(npaModeByte(1), 0x10);
  EXPECT_EQ(npaModeByte(5), 0x08);
  SettingsWrite s;
  s.w1 = 0x01020304;
  s.flags = 0x02 | 0x08;
  std::memcpy(s.text1.data(), "Contact", 7);
  const Bytes settings = buildWriteSettings(s);
  EXPECT_EQ(Bytes(settings.begin() + 7, settings.begin() + 14), (Bytes{0x0A, 0x02, 4, 1, 2, 3, 4}));
  EXPECT_EQ(std::string(settings.begin() + 31, settings.begin() + 38), "Contact");
  EXPECT_EQ(Bytes(settings.end() - 12, settings.end()),
            (Bytes{0x08, 0x00, 1, 1, 0x09, 0x00, 1, 0, 0x0A, 0x00, 1, 1}));
}

TEST(NpaPackets, ALongNameGoesAsTwentyFiveBytesWithoutTerminator) {
  const Bytes p = buildWriteName("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123");
  ASSERT_EQ(p.size(), 35u);
  EXPECT_EQ(p[9], 25);
  EXPECT_EQ(std::string(p.begin() + 10, p.end()), "ABCDEFGHIJKLMNOPQRSTUVWXY");
  const Bytes shortName = buildWriteName("LAB");
  EXPECT_EQ(Bytes(shortName.begin() + 13, shortName.end()), Bytes(22, 0));
}

TEST(NpaPackets, TheWalkStaysWithinTheBytesAndTheLengthField) {
  const Bytes reply = {0xA5, 0x00, 0x0C, 0x10, 0xE0, 0xD7, 0x00, 0x06, 0x04, 1, 9, 0x06, 0x05, 4, 1, 2};
  auto r = readVariableReply(reply);
  ASSERT_TRUE(r);
  ASSERT_EQ(r->items.size(), 1u) << "the second item crosses the end";
  EXPECT_EQ(r->items[0].value.size(), 1u);
  Bytes longer = reply;
  longer[2] = 0x40;  // a length field past the bytes
  longer.resize(longer.size() - 1);
  r = readVariableReply(longer);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->items.size(), 1u);
  EXPECT_FALSE(readVariableReply(Bytes{0xA5, 0x00}));
  EXPECT_FALSE(readVariableReply(Bytes{0x00, 0x00, 0x04, 0x10, 0xE0, 0xD7, 0x00}));
}

sim::adapter::AdapterConfig portBay() {
  std::string error;
  auto c = sim::adapter::loadAdapter(std::filesystem::path(WF_SIM_PROFILE_DIR) / "portbay-npa.adapter", &error);
  EXPECT_TRUE(c) << error;
  return c.value_or(sim::adapter::AdapterConfig{});
}

TEST(NpaPackets, TheSimulatorsEnumerationReplyDecodes) {
  sim::adapter::AdapterConfig c = portBay();
  c.flashCapable = true;
  sim::adapter::AdapterModel model(c);
  const Bytes packet = model.ipxEnumeration();
  EXPECT_EQ(packet.size() + 33, 323u);
  const auto r = readVariableReply(packet);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->items.size(), 53u);
  const EnumerationReply e = decodeEnumerationReply(*r);
  ASSERT_FALSE(e.adapter.empty);
  EXPECT_EQ(e.adapter.name, "PORTBAY_1");
  EXPECT_EQ(e.adapter.node, sim::adapter::tokenRingOrder(c.universal, 2));
  EXPECT_EQ(e.adapter.typeNibble, 2);
  EXPECT_EQ(e.adapter.typeByte & 0x40, 0x40);
  EXPECT_EQ(std::string(e.adapter.password.begin(), e.adapter.password.begin() + 7), "BAYPASS");
  ASSERT_EQ(e.ports.size(), 6u);
  EXPECT_EQ(e.ports[0].kindLetter, 'U');
  EXPECT_EQ(e.ports[0].type, 0x40);
  EXPECT_TRUE(e.ports[0].present);
  for (std::size_t p = 1; p <= 5; ++p) {
    SCOPED_TRACE(p);
    EXPECT_EQ(e.ports[p].kindLetter, 'K');
    EXPECT_EQ(e.ports[p].type, 0x80 | p);
    EXPECT_EQ(e.ports[p].present, p <= 2);
  }
}

TEST(NpaPackets, AReplyFlaggedAnErrorGivesAnEmptyRecord) {
  sim::adapter::AdapterConfig c = portBay();
  c.knobs.npaError = true;
  const auto r = readVariableReply(sim::adapter::AdapterModel(c).ipxEnumeration());
  ASSERT_TRUE(r);
  const EnumerationReply e = decodeEnumerationReply(*r);
  EXPECT_TRUE(e.adapter.empty);
  EXPECT_TRUE(e.ports.empty());
}

TEST(NpaPackets, PortEntryFlags) {
  // own port: present with bit 0x40; mode 0x10
  const Bytes own = {0xA5, 0, 0, 0x10, 0xE0, 0xD7, 2,
                     0x90, 0x00, 1, 0xC0, 0x90, 0x03, 2, 0, 1, 0x90, 0x04, 2, 0, 2, 0x90, 0x05, 2, 0, 3,
                     0x90, 0x06, 2, 0, 4, 0x90, 0x07, 1, 7, 0x90, 0x08, 1, 8, 0x90, 0x09, 1, 9, 0x90, 0x0A,
                     1, 10, 0x90, 0x0B, 1, 11, 0x90, 0x0C, 1, 12, 0x90, 0x0D, 1, 13, 0x90, 0x0E, 1, 14,
                     0x0B, 0x00, 1, 0x10};
  Bytes packet = own;
  packet[2] = static_cast<std::uint8_t>(packet.size() - 3);
  const auto r = readVariableReply(packet);
  ASSERT_TRUE(r);
  PORTENTRY e;
  ASSERT_EQ(decodePortEntry(r->items, e), 14u);
  EXPECT_TRUE(e.present);
  EXPECT_EQ(e.flags, 0x40 | 0x10 | 0x08);
  EXPECT_EQ(e.words, (std::array<std::uint16_t, 4>{1, 2, 3, 4}));
  EXPECT_EQ(e.bytes, (std::array<std::uint8_t, 8>{7, 8, 9, 10, 11, 12, 13, 14}));
  EXPECT_EQ(decodePortEntry(std::span<const NpaItem>(r->items).first(13), e), 0u) << "too few items";
}

}  // namespace
}  // namespace wf::coripx
