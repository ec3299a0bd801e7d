// The TCP/IP adapter list: a line per adapter and back, and item 1's
// receiver keeping only whole entries in arrival order.
#include <gtest/gtest.h>

#include <random>

#include "ip_list.h"

namespace wf::netui {
namespace {

using wf::net::IpAdapterEntry;

TEST(IpList, ALineAndItsParseGiveTheRecordBack) {
  const IpAdapterEntry entry{{10, 1, 1, 20}, "LPT7", "pb-ip", "public"};
  const std::string line = ipListLine(entry);
  EXPECT_EQ(line, "10.1.1.20\tpublic\tpb-ip\tLPT7");
  const auto parsed = parseIpListLine(line);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(wf::net::buildIpChangeRecord(*parsed), wf::net::buildIpChangeRecord(entry));

  const auto noPort = parseIpListLine("10.1.1.21\tpublic\tks-ip\t");
  ASSERT_TRUE(noPort);
  EXPECT_EQ(noPort->portName, "");
  EXPECT_EQ(noPort->hostName, "ks-ip");

  for (const char* bad : {"", "10.1.1.20", "10.1.1.20\tpublic\tpb-ip", "10.1.1\tpublic\tpb-ip\t",
                          "10.1.1.300\tpublic\tpb-ip\t", "x\ty\tz\tw"})
    EXPECT_FALSE(parseIpListLine(bad)) << bad;
}

TEST(IpList, TheReceiverKeepsWholeEntriesInOrder) {
  const auto send = [](const std::vector<std::uint8_t>& bytes, std::size_t length) {
    return receiveIpAdapter(bytes.data(), static_cast<uint16_t>(length));
  };
  const auto first = wf::net::buildIpAdapterEntry({{10, 1, 1, 20}, "LPT7", "pb-ip", "public"});
  const auto second = wf::net::buildIpAdapterEntry({{10, 1, 1, 21}, "", "ks-ip", "private"});
  const auto tooLong = wf::net::buildIpAdapterEntry({{10, 1, 1, 22}, "LPT10PORTS", "x", "y"});
  EXPECT_EQ(send(first, first.size()), 0);
  EXPECT_EQ(send(second, second.size() - 1), 0);  // cut inside its community
  EXPECT_EQ(send(tooLong, tooLong.size()), 0);
  EXPECT_EQ(receiveIpAdapter(nullptr, 0), 0);
  EXPECT_EQ(send(second, second.size()), 0);
  const auto received = takeReceivedIpAdapters();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].hostName, "pb-ip");
  EXPECT_EQ(received[1].community, "private");
  EXPECT_TRUE(takeReceivedIpAdapters().empty());
}

// Random lines near the list's form (addresses in and out of range, texts
// with stray tabs and dots): whatever parses gives the same record back
// through its own line.
TEST(IpListFuzz, ParsedLinesRoundTrip) {
  std::mt19937 rng(0x8102);
  const std::string alphabet = "0123456789.\tab-";
  const auto text = [&](std::size_t most) {
    std::string t(rng() % (most + 1), ' ');
    for (char& c : t) c = alphabet[rng() % alphabet.size()];
    return t;
  };
  int parsed = 0;
  for (int round = 0; round < 5000; ++round) {
    std::string line;
    for (int i = 0; i < 4; ++i) line += (i ? "." : "") + std::to_string(rng() % 300);
    if (rng() % 4 == 0) line = text(12);
    for (int i = 0; i < 3; ++i) line += "\t" + text(rng() % 5 == 0 ? 6 : 0) + "x";
    const auto entry = parseIpListLine(line);
    if (!entry) continue;
    ++parsed;
    const auto again = parseIpListLine(ipListLine(*entry));
    ASSERT_TRUE(again) << line;
    EXPECT_EQ(again->address, entry->address);
    EXPECT_EQ(again->community, entry->community);
    EXPECT_EQ(again->hostName, entry->hostName);
    EXPECT_EQ(again->portName, entry->portName);
  }
  EXPECT_GT(parsed, 100);
}

}  // namespace
}  // namespace wf::netui
