// The TCP/IP adapter list: a line per adapter and back, and item 1's
// receiver keeping only whole entries in arrival order.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace wf::netui
