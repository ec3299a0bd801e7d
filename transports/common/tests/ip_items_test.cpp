// The TCP/IP records: the length rules, reading within the bytes given, and
// randomised bytes against every reader through exactly sized buffers.
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "transports/common/ip_items.h"

namespace wf::net {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes raw(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

TEST(IpItems, AddedAdapterRecordFollowsTheLengthRule) {
  const IpAdapterEntry entry{{10, 1, 1, 20}, "", "ab", "public"};
  const Bytes bytes = buildIpAdapterEntry(entry);
  // length 4 + 1 + 3 + 7, then the request length 11 + host + community
  EXPECT_EQ(bytes.size(), 19u);
  EXPECT_EQ(bytes[0], 15);
  EXPECT_EQ(bytes[1] | bytes[2] | bytes[3], 0);
  EXPECT_EQ(Bytes(bytes.begin() + 4, bytes.begin() + 8), (Bytes{10, 1, 1, 20}));
  EXPECT_EQ(Bytes(bytes.begin() + 8, bytes.end()), raw(std::string_view("\0ab\0public\0", 11)));
  EXPECT_EQ(ipAddRequestLength(entry), 19);
}

TEST(IpItems, ChangeAndRemoveRecordsAreAlways148Bytes) {
  for (const IpAdapterEntry& entry : {IpAdapterEntry{{1, 2, 3, 4}, "", "", ""},
                                      IpAdapterEntry{{1, 2, 3, 4}, "LPT7", std::string(79, 'h'), std::string(31, 'c')}}) {
    const Bytes record = buildIpChangeRecord(entry);
    ASSERT_EQ(record.size(), kIpChangeRecordLength);
    const Bytes entryBytes = buildIpAdapterEntry(entry);
    EXPECT_TRUE(std::equal(entryBytes.begin(), entryBytes.end(), record.begin()));
    EXPECT_TRUE(std::all_of(record.begin() + static_cast<std::ptrdiff_t>(entryBytes.size()), record.end(),
                            [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(readIpAdapterEntry(record)->hostName, entry.hostName);
  }
  // Strings too long for the fixed buffer make no record at all.
  EXPECT_TRUE(buildIpChangeRecord({{1, 2, 3, 4}, "", std::string(120, 'h'), std::string(31, 'c')}).empty());
}

TEST(IpItems, AnEntryIsReadOnlyWhenWholeInsideItsBytes) {
  const IpAdapterEntry good{{192, 168, 0, 9}, "LPT7", "pb-ip", "public"};
  const Bytes bytes = buildIpAdapterEntry(good);
  const auto read = readIpAdapterEntry(bytes);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->address, good.address);
  EXPECT_EQ(read->portName, "LPT7");
  EXPECT_EQ(read->hostName, "pb-ip");
  EXPECT_EQ(read->community, "public");

  const auto lyingLength = [&](std::uint8_t length) {
    Bytes b = bytes;
    b[0] = length;
    return b;
  };
  const struct {
    const char* what;
    Bytes bytes;
  } refused[] = {
      {"empty", {}},
      {"head only", Bytes(bytes.begin(), bytes.begin() + 8)},
      {"community unterminated", Bytes(bytes.begin(), bytes.end() - 1)},
      {"length too big", lyingLength(static_cast<std::uint8_t>(bytes[0] + 1))},
      {"length too small", lyingLength(static_cast<std::uint8_t>(bytes[0] - 1))},
      {"port name of 10", buildIpAdapterEntry({{1, 1, 1, 1}, std::string(10, 'p'), "h", "c"})},
      {"host name of 81", buildIpAdapterEntry({{1, 1, 1, 1}, "", std::string(81, 'h'), "c"})},
      {"community of 32", buildIpAdapterEntry({{1, 1, 1, 1}, "", "h", std::string(32, 'c')})},
  };
  for (const auto& c : refused) EXPECT_FALSE(readIpAdapterEntry(c.bytes)) << c.what;
  // The longest strings the receiving node holds still pass.
  EXPECT_TRUE(readIpAdapterEntry(
      buildIpAdapterEntry({{1, 1, 1, 1}, std::string(9, 'p'), std::string(80, 'h'), std::string(31, 'c')})));
}

TEST(IpItems, HostRecordAndFlashBlock) {
  const Bytes host = buildIpHostRecord({{10, 1, 1, 20}, "pb-ip"});
  EXPECT_EQ(host.size(), 14u);  // strlen + 9
  EXPECT_EQ(host[0], 10);                      // strlen + 5
  EXPECT_EQ(readIpHostRecord(host)->hostName, "pb-ip");
  Bytes padded = host;
  padded.resize(kIpHostRecordLength, 0);
  EXPECT_EQ(readIpHostRecord(padded)->address, (IpAddress{10, 1, 1, 20}));
  EXPECT_FALSE(readIpHostRecord(Bytes(host.begin(), host.end() - 1)));

  const Bytes data(512, 0x5A);
  const Bytes block = buildIpFlashBlock(data);
  EXPECT_EQ(block.size(), 514u);
  EXPECT_EQ(readIpFlashBlock(block), data);
  EXPECT_FALSE(readIpFlashBlock(Bytes(block.begin(), block.end() - 1)));
  Bytes tooMany = buildIpFlashBlock(Bytes(513, 1));
  EXPECT_FALSE(readIpFlashBlock(tooMany));
  EXPECT_EQ(readIpFlashBlock(Bytes{0, 0}), Bytes{});
}

TEST(IpItems, DottedAddresses) {
  EXPECT_EQ(dottedAddress({10, 1, 1, 20}), "10.1.1.20");
  EXPECT_EQ(parseDottedAddress("157.0.65.254"), (IpAddress{157, 0, 65, 254}));
  for (const char* bad : {"", "1.2.3", "1.2.3.4.", "1.2.3.256", "1..3.4", "a.b.c.d", "1.2.3.4 ", "-1.2.3.4",
                          "0001.2.3.4"})
    EXPECT_FALSE(parseDottedAddress(bad)) << bad;
}

// Every reader through a heap copy of exactly the bytes' size.
void readAll(const Bytes& bytes) {
  const auto exact = std::make_unique<std::uint8_t[]>(bytes.size() ? bytes.size() : 1);
  std::copy(bytes.begin(), bytes.end(), exact.get());
  const std::span<const std::uint8_t> view(exact.get(), bytes.size());
  if (auto entry = readIpAdapterEntry(view)) {
    EXPECT_EQ(buildIpAdapterEntry(*entry).size(), 4 + std::size_t{entry->address.size()} +
                                                      entry->portName.size() + entry->hostName.size() +
                                                      entry->community.size() + 3);
    EXPECT_LE(entry->hostName.size(), kIpHostNameMax);
  }
  if (auto host = readIpHostRecord(view)) {
    EXPECT_LE(host->hostName.size() + 9, bytes.size());
  }
  if (auto block = readIpFlashBlock(view)) {
    EXPECT_LE(block->size(), kIpFlashBlockMax);
  }
  (void)parseDottedAddress(std::string_view(reinterpret_cast<const char*>(exact.get()), bytes.size()));
}

TEST(IpItemsFuzz, MutatedAndRandomBytesNeverReadPastTheirEnd) {
  std::mt19937 rng(0x1902);
  const Bytes seeds[] = {buildIpAdapterEntry({{10, 1, 1, 20}, "LPT7", "pb-ip", "public"}),
                         buildIpHostRecord({{10, 1, 1, 21}, "ks-ip"}), buildIpFlashBlock(Bytes(40, 7))};
  for (int round = 0; round < 3000; ++round) {
    Bytes b = seeds[static_cast<std::size_t>(round) % std::size(seeds)];
    switch (rng() % 3) {
      case 0:
        b.resize(rng() % (b.size() + 1));
        break;
      case 1:
        for (int i = 0; i < 3 && !b.empty(); ++i) b[rng() % b.size()] = static_cast<std::uint8_t>(rng());
        break;
      default:
        b.assign(rng() % 64, 0);
        for (auto& x : b) x = static_cast<std::uint8_t>(rng() % 4 == 0 ? 0 : rng());
        break;
    }
    readAll(b);
  }
}

}  // namespace
}  // namespace wf::net
