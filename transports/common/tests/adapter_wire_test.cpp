// The adapter vocabulary against byte strings written out from the wire rules.
#include <gtest/gtest.h>

#include "broker/net_transport.h"
#include "hex_bytes.h"
#include "transports/common/adapter_wire.h"
#include "transports/common/ebcdic.h"
#include "transports/common/net_items.h"

namespace wf::adapter {
namespace {

using ::wf::testing::hex;
using ::wf::testing::toHex;

std::string text(const Bytes& b) {
  return toHex({reinterpret_cast<const char*>(b.data()), b.size()});
}
Bytes bytes(std::string_view spaced) {
  const std::string s = hex(spaced);
  return Bytes(s.begin(), s.end());
}
Bytes tagged(std::string_view tag, std::size_t size) {
  Bytes b(size, 0);
  std::copy_n(tag.begin(), std::min<std::size_t>(tag.size(), kTagField), b.begin());
  return b;
}

TEST(TextCommand, TagsArePaddedAndDatalessCommandsCarryTheirMarker) {
  const Bytes query = textCommand(kTagQueryParameters);
  ASSERT_EQ(query.size(), kDatalessCommand);
  EXPECT_EQ(query[20], 0);
  EXPECT_EQ(query[21], kQueryMarker);
  EXPECT_EQ(textCommand(kTagUpdateNvram).size(), 22u);
  EXPECT_EQ(textCommand(kTagUpdateNvram)[21], 0);
  const Bytes polling = textCommand(kTagPollingControl, bytes("01 01"));
  EXPECT_EQ(polling.size(), 23u);
  EXPECT_TRUE(tagIs(polling, kTagPollingControl));
  EXPECT_FALSE(tagIs(polling, kTagControl));
}

TEST(TextCommand, KestrelTagIsComparedOverItsFirst21Bytes) {
  Bytes reply = tagged(kTagKestrelParameters, 30);  // "LPA KESTREL Parameter" + length bytes
  reply[21] = 0x00;
  reply[22] = 0x1E;
  EXPECT_TRUE(tagIs(reply, kTagKestrelParameters));
  EXPECT_FALSE(tagIs(reply, kTagParameters));
  EXPECT_FALSE(tagIs(Bytes(reply.begin(), reply.begin() + 20), kTagKestrelParameters));
}

TEST(TextCommand, CommandReceivedStatus) {
  struct Case {
    std::uint8_t status;
    int result;
  } cases[] = {{0, NET_OKAY}, {11, NET_ADAPTER_STATUS_11}, {1, NET_FAIL}, {12, NET_FAIL}};
  for (const Case& c : cases) {
    Bytes reply = tagged(kTagCommandReceived, 22);
    reply[21] = c.status;
    EXPECT_EQ(commandStatus(reply), c.result) << int(c.status);
  }
  EXPECT_EQ(commandStatus(tagged(kTagCommandReceived, 21)), NET_FAIL) << "no status byte";
  EXPECT_EQ(commandStatus(tagged(kTagFlashResponse, 24)), NET_OKAY) << "another tag";
}

TEST(ControlLpa, ItemListsOfEachSize) {
  EXPECT_EQ(text(ControlLpa().programMode(1).command()).substr(63), "03 4D 01");
  EXPECT_EQ(ControlLpa().programMode(1).command().size(), 24u);

  const Bytes address = ControlLpa().address({0x00, 0x00, 0xC0, 0x11, 0x22, 0x33}).command();
  ASSERT_EQ(address.size(), 30u);
  EXPECT_EQ(text(address).substr(63), "09 2B 00 00 C0 11 22 33 01");
  EXPECT_EQ(ControlLpa().address({}).command()[29], 0) << "all zero: the universal address";

  const Bytes settings = ControlLpa()
                             .language(8)
                             .printMode(true)
                             .loginName("ADAPTER_ONE")
                             .nameSlot(0, "SERVER_A")
                             .nameSlot(1, "SERVER_B")
                             .command();
  ASSERT_EQ(settings.size(), 175u);
  EXPECT_EQ(text(settings).substr(63, 3 * 8 - 1), "03 2A 08 03 2C 01 2E 2F");
  EXPECT_EQ(settings[29], 'A');
  EXPECT_EQ(settings[73], 51) << "slot item length";
  EXPECT_EQ(settings[74], kItemNameSlot);
  EXPECT_EQ(settings[75], 0);
  EXPECT_EQ(settings[76], 'S');
}

Bytes lpaParameters() {
  Bytes r = tagged(kTagParameters, multiport::kReplySize);
  r[21] = 0;
  r[22] = multiport::kReplySize;
  const std::string name = "NPA_BOX";
  std::copy(name.begin(), name.end(), r.begin() + multiport::kName);
  r[multiport::kPrintMode] = 1;
  r[multiport::kFlags] = 0x80;
  r[multiport::kPortMask] = 0x07;
  r[multiport::kBusyMask] = 0x02;
  r[multiport::kMedia] = 0;
  const Bytes node = bytes("00 00 03 88 44 CC");
  std::copy(node.begin(), node.end(), r.begin() + multiport::kNode);
  return r;
}

TEST(ParameterReplies, LpaParameters) {
  const auto p = readLpaParameters(lpaParameters());
  ASSERT_TRUE(p);
  EXPECT_EQ(p->name, "NPA_BOX");
  EXPECT_EQ(p->portMask, 0x07);
  EXPECT_EQ(p->busyMask, 0x02);
  EXPECT_EQ(p->media, 2);
  EXPECT_TRUE(p->nvram());
  EXPECT_FALSE(p->ignore());
  EXPECT_EQ(p->node, (std::array<std::uint8_t, 6>{0x00, 0x00, 0x03, 0x88, 0x44, 0xCC}));
  Bytes shortReply = lpaParameters();
  shortReply.resize(89);
  EXPECT_FALSE(readLpaParameters(shortReply));
}

// A single-port adapter's reply: block, a port block, an identity block.
Bytes kestrelReply(std::uint8_t identityKind = kestrel::kKindIdentityWithSecondName) {
  using namespace kestrel;
  Bytes r = tagged(kTagKestrelParameters, kPortBlocks);
  r[kBlock + kMedia] = 2;
  r[kKeptWord] = 0x12;
  r[kKeptWord + 1] = 0x34;
  Bytes port(kSingleBlockSize, 0);
  port[0] = kSingleBlockSize;
  port[1] = kKindSinglePort;
  port[kSinglePolling] = 0x01;
  port[kSinglePolling + 1] = 0x2C;
  port[kSingleFlags] = 0x81;
  r.insert(r.end(), port.begin(), port.end());
  Bytes id(60, 0);
  id[0] = 60;
  id[1] = identityKind;
  std::copy_n("KESTREL1", 8, id.begin() + kIdentityName);
  const Bytes node = bytes("00 00 C0 12 34 56");
  std::copy(node.begin(), node.end(), id.begin() + kIdentityNode);
  std::copy_n("SECOND", 6, id.begin() + kIdentitySecondName);
  r.insert(r.end(), id.begin(), id.end());
  r[kLength] = static_cast<std::uint8_t>(r.size() >> 8);
  r[kLength + 1] = static_cast<std::uint8_t>(r.size());
  return r;
}

TEST(ParameterReplies, KestrelBlocksAndIdentity) {
  const auto p = readKestrelParameters(kestrelReply());
  ASSERT_TRUE(p);
  EXPECT_EQ(p->block[kestrel::kMedia], 2);
  EXPECT_EQ(p->keptWord, 0x1234);
  ASSERT_EQ(p->ports.size(), 1u);
  EXPECT_EQ(p->ports[0].kind(), kestrel::kKindSinglePort);
  EXPECT_EQ(p->ports[0].word(kestrel::kSinglePolling), 300) << "big-endian to host order";
  ASSERT_TRUE(p->identity);
  EXPECT_EQ(p->identity->name, "KESTREL1");
  EXPECT_EQ(p->identity->node, (std::array<std::uint8_t, 6>{0x00, 0x00, 0xC0, 0x12, 0x34, 0x56}));
  EXPECT_EQ(p->identity->secondName, "SECOND");
  EXPECT_EQ(readKestrelParameters(kestrelReply(0x48))->identity->secondName, "");
}

TEST(ParameterReplies, KestrelWalkStopsAtBadLengthsAndTheEnd) {
  // The length field names less than the bytes: the identity block is cut off.
  Bytes cut = kestrelReply();
  cut[kestrel::kLength + 1] = static_cast<std::uint8_t>(cut.size() - 1);
  auto p = readKestrelParameters(cut);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->ports.size(), 1u);
  EXPECT_FALSE(p->identity) << "read only when whole";
  // A length byte of 0 or 1 ends the walk (0 would loop for ever).
  for (std::uint8_t bad : {0, 1}) {
    Bytes r = kestrelReply();
    r[kestrel::kPortBlocks] = bad;
    p = readKestrelParameters(r);
    ASSERT_TRUE(p);
    EXPECT_TRUE(p->ports.empty());
  }
  // A length field beyond the bytes received is no reply.
  Bytes beyond = kestrelReply();
  beyond.pop_back();
  EXPECT_FALSE(readKestrelParameters(beyond));
  // Blocks longer than 137 bytes are kept to 137.
  Bytes longBlock = tagged(kTagKestrelParameters, kestrel::kPortBlocks);
  Bytes block(200, 0);
  block[0] = 200;
  block[1] = kestrel::kKindParallel7390;
  longBlock.insert(longBlock.end(), block.begin(), block.end());
  longBlock[kestrel::kLength] = static_cast<std::uint8_t>(longBlock.size() >> 8);
  longBlock[kestrel::kLength + 1] = static_cast<std::uint8_t>(longBlock.size());
  p = readKestrelParameters(longBlock);
  ASSERT_TRUE(p);
  ASSERT_EQ(p->ports.size(), 1u);
  EXPECT_EQ(p->ports[0].bytes.size(), kestrel::kMaxPortBlock);
}

TEST(ParameterReplies, ServerListingInOneOrTwoDatagrams) {
  auto listing = [](std::size_t count) {
    Bytes r = tagged(kTagServerListing, listing::kFirstDatagram);
    r[listing::kCount] = static_cast<std::uint8_t>(count);
    for (std::size_t i = 0; i < std::min<std::size_t>(count, 5); ++i)
      r[22 + 48 * i] = static_cast<std::uint8_t>('A' + i);
    if (count > 5) {
      Bytes second = tagged(kTagServerListing, 22 + 48 * (count - 5));
      for (std::size_t i = 5; i < count; ++i) second[22 + 48 * (i - 5)] = static_cast<std::uint8_t>('A' + i);
      r.insert(r.end(), second.begin(), second.end());
    }
    return r;
  };
  EXPECT_EQ(*readServerListing(listing(5)), (std::vector<std::string>{"A", "B", "C", "D", "E"}));
  EXPECT_EQ(*readServerListing(listing(6)), (std::vector<std::string>{"A", "B", "C", "D", "E", "F"}));
  Bytes missingSecond = listing(6);
  missingSecond.resize(listing::kFirstDatagram);
  EXPECT_EQ(readServerListing(missingSecond)->size(), 5u);
}

TEST(ParameterReplies, FlashResponse) {
  Bytes r = tagged(kTagFlashResponse, 24);
  r[22] = 0x11;
  r[23] = 0x00;
  const auto f = readFlashResponse(r);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->status, 0);
  EXPECT_EQ(f->sequence, 17);
  r.pop_back();
  EXPECT_FALSE(readFlashResponse(r));
}

TEST(NpaVariables, ReadOfTheAdapterParametersBuildsTheKnownPacket) {
  VariableRead read;
  read.add(6, 2).add(11, 1).add(6, 7).add(6, 5).add(6, 6).add(6, 0).add(129, 5).add(129, 6).add(129, 3).add(
      129, 4);
  EXPECT_EQ(text(read.packet()),
            "A5 00 18 50 E0 D7 00 06 02 0B 01 06 07 06 05 06 06 06 00 81 05 81 06 81 03 81 04");
  EXPECT_TRUE(VariableRead().packet().empty());
}

TEST(NpaVariables, WriteSizesEntriesByTheTable) {
  VariableWrite write;
  EXPECT_FALSE(write.add(6, 15, bytes("01"))) << "size 0";
  EXPECT_FALSE(write.add(6, 16, bytes("01"))) << "outside the group";
  EXPECT_FALSE(write.add(12, 0, bytes("01"))) << "no such group";
  EXPECT_TRUE(write.packet().empty()) << "nothing to send";
  EXPECT_TRUE(write.add(6, 14, bytes("01")));
  EXPECT_TRUE(write.add(8, 57, bytes("01 2C 99")));  // cut to 2
  EXPECT_TRUE(write.add(6, 1, bytes("00 00 C0")));   // padded to 6
  EXPECT_EQ(write.entries(), 3u);
  EXPECT_EQ(text(write.packet()),
            "A5 00 16 50 E0 D7 01 06 0E 01 01 08 39 02 01 2C 06 01 06 00 00 C0 00 00 00");
}

TEST(NpaVariables, SizeTable) {
  struct Case {
    std::uint8_t group, variable, size;
  } cases[] = {{6, 0, 6},      {6, 10, 64},  {6, 15, 0},  {7, 2, 27},   {8, 2, 44},    {8, 22, 48},
               {8, 23, 16},    {8, 62, 2},   {8, 65, 39}, {8, 90, 0},   {8, 96, 6},    {8, 97, 0},
               {9, 1, 1},      {10, 7, 31},  {11, 5, 0},  {129, 1, 37}, {133, 7, 255}, {134, 0, 0},
               {144, 15, 255}, {144, 16, 1}, {144, 17, 0}};
  for (const Case& c : cases)
    EXPECT_EQ(variableSize(c.group, c.variable), c.size) << int(c.group) << "." << int(c.variable);
}

TEST(NpaVariables, ReplyValuesAndTheErrorFlag) {
  const Bytes reply = bytes("A5 00 0F 10 E0 D7 00 06 02 01 02 0B 01 01 38 06 07 00");
  const auto r = readVariableReply(reply);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->result(), 0);
  std::uint8_t value[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(fetchValue(*r, 11, 1, value), 1u);
  EXPECT_EQ(value[0], 0x38);
  EXPECT_EQ(fetchValue(*r, 6, 7, value), 0u) << "present with size 0";
  value[0] = 0xEE;
  EXPECT_EQ(fetchValue(*r, 6, 5, value), 0u);
  EXPECT_EQ(value[0], 0) << "missing: a zero first byte";

  Bytes failed = reply;
  failed[3] = 0x90;
  EXPECT_EQ(readVariableReply(failed)->result(), 1);

  Bytes beyond = reply;
  beyond[2] = 0x10;
  EXPECT_FALSE(readVariableReply(beyond)) << "length beyond the bytes";
  Bytes cutEntry = reply;
  cutEntry[2] = 0x0E;  // the last entry's size byte lies past the end
  EXPECT_EQ(readVariableReply(cutEntry)->entries.size(), 2u);
}

TEST(NpaVariables, HostPacketSizeAndFragments) {
  EXPECT_EQ(text(hostPacketSize()), "A5 00 05 40 03 05 02 00");
  EXPECT_EQ(text(fragmentHeader(0x0123)), "01 23");
  EXPECT_EQ(fragmentNumber(bytes("F0 1F A5")), 0x01F) << "low 12 bits";
  EXPECT_EQ(fragmentNumber(bytes("05")), 0);
}

TEST(Ebcdic, TableRules) {
  const std::uint8_t a1[] = {0xC1, 0xF1};
  char out[3];
  ebcdicToAscii(a1, 2, out);
  EXPECT_STREQ(out, "A1");
  EXPECT_EQ(ebcdicToAscii(0x00), 0);
  EXPECT_EQ(ebcdicToAscii(0x4F), 0);
  EXPECT_EQ(ebcdicToAscii(0x7D), 0);
  EXPECT_EQ(ebcdicToAscii(0x6A), '|');
  EXPECT_EQ(ebcdicToAscii(0x6D), '_');
  EXPECT_EQ(ebcdicToAscii(0x40), ' ');
  EXPECT_EQ(ebcdicToAscii(0xFF), 0);
  const std::uint8_t tag[] = {0xD9, 0xE4, 0x6D, 0xE5, 0xC1, 0x6D, 0xF1};
  EXPECT_EQ(ebcdicText(tag, sizeof tag), "RU_VA_1");
}

TEST(Ebcdic, TheIpxModelTagReadsTheBarAndTheApostropheToo) {
  const auto table = EbcdicTable::IpxModelTag;
  EXPECT_EQ(ebcdicToAscii(0x4F, table), '|');
  EXPECT_EQ(ebcdicToAscii(0x7D, table), '\'');
  EXPECT_EQ(ebcdicToAscii(0x6A, table), '|');
  EXPECT_EQ(ebcdicToAscii(0xC1, table), 'A');
  EXPECT_EQ(ebcdicToAscii(0x3F, table), 0);
  const std::uint8_t tag[] = {0xC1, 0x7D, 0x4F, 0xF2, 0x00, 0xC1};
  EXPECT_EQ(ebcdicText(tag, sizeof tag, table), "A'|2") << "up to the first 0";
}

}  // namespace
}  // namespace wf::adapter
