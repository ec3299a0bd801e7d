// The IP transport's stand-in: the entry-point contract, each item's success
// and refusal, what the changes leave behind, and the worlds it refuses.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "corip32/corip32_test.h"
#include "ip_world.h"
#include "transports/common/ip_items.h"
#include "transports/common/net_items.h"
#include "transports/testing/contract_suite.h"

namespace wf::transports::testing {
namespace {

namespace net = wf::net;

constexpr const char* kWorld =
    "[tcpip.network]\n"
    "# node | class | port type | media | supervisor | firmware\n"
    "10.1.1.20 = 0000C0112233 | 2 | 2 | 2 | 1 | \"3.10\"\n"
    "10.1.1.21 = 0000C0445566 | 4 | 4 | 1 | 0 | \"3.11\"\n"
    "10.1.1.22 = 0000C0778899 | 2 | 2 | 2 | 1 | \"3.10\"\n"
    "[tcpip.workstation]\n"
    "10.1.1.20 = public | pb-ip | LPT7\n"
    "10.1.1.21 = private | | \n"
    "10.1.1.30 = public | gone | \n";

// Points the scenario at `text` for the next load.
void useWorld(const std::string& text) {
  const auto file = std::filesystem::temp_directory_path() / ("corip32-world-" + std::to_string(getpid()));
  std::ofstream(file) << text;
  ::setenv("WRENFIELD_SCENARIO", file.c_str(), 1);
}

template <typename Fn>
Fn control(TransportHarness& h, const char* name) {
  Fn f = moduleEntryAs<Fn>(h.module(), name);
  if (!f) ADD_FAILURE() << "no " << name;
  return f;
}

std::vector<std::uint8_t> hostRecord(const char* address, const std::string& host) {
  return net::buildIpHostRecord({*net::parseDottedAddress(address), host});
}

ContractSubject ipSubject() {
  ContractSubject s;
  s.name = "corip32";
  s.fileName = "CORIP32.DLL";
  s.networkBit = BCE_NET_IP;
  s.exportsShutDown = true;
  s.prepare = [](TransportHarness&) {};
  // A new host name renames the port.
  s.raiseEvent = [](TransportHarness& h, std::uint16_t port) {
    static int serial = 0;
    const auto record = hostRecord(port == 1 ? "10.1.1.20" : "10.1.1.21", "renamed-" + std::to_string(++serial));
    h.entries().NetSetInfo(port, net::kItemIpHost, record.data(), static_cast<std::uint32_t>(record.size()));
  };
  s.deliverData = [](TransportHarness& h, std::uint16_t port) {
    static const std::uint8_t alert[] = {0xA5, 0x00, 0x05, 0x00, 0xFF, 0x01, 0x02, 0x03};
    control<CorIp32DeliverFn>(h, "CorIp32Deliver")(port, alert, sizeof alert);
  };
  return s;
}

class IpWorldFile : public ::testing::Environment {
  void SetUp() override { useWorld(kWorld); }
};
const auto* const worldFile = ::testing::AddGlobalTestEnvironment(new IpWorldFile);

INSTANTIATE_TEST_SUITE_P(Stand_in, TransportContract, ::testing::Values(ipSubject()),
                         [](const auto& info) { return info.param.name; });

class Corip32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    useWorld(kWorld);
    std::string error;
    h = TransportHarness::load("CORIP32.DLL", BCE_NET_IP, &error);
    ASSERT_TRUE(h) << error;
    ASSERT_EQ(h->enumerate(), NET_OKAY);
  }
  std::vector<std::string> listed() {
    std::vector<std::string> out;
    char text[200];
    for (std::uint32_t i = 0; control<CorIp32ListedFn>(*h, "CorIp32Listed")(i, text, sizeof text); ++i)
      out.emplace_back(text);
    return out;
  }
  std::int32_t set(std::uint16_t handle, std::uint16_t item, const std::vector<std::uint8_t>& bytes) {
    return h->setInfo(handle, item, bytes.data(), static_cast<std::uint16_t>(bytes.size()));
  }
  std::unique_ptr<TransportHarness> h;
};

TEST_F(Corip32Test, ListedAdaptersOnTheNetworkArePortsNamedByHostOrAddress) {
  const auto reports = h->reports();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_STREQ(reports[0].portName, "pb-ip");
  EXPECT_STREQ(reports[0].secondName, "10.1.1.20");
  EXPECT_EQ(reports[0].adapterClass, 2);
  EXPECT_EQ(reports[0].portKind, 2);
  EXPECT_EQ(reports[0].node[5], 0x33);
  EXPECT_TRUE(reports[0].connections & BCE_NET_IP);
  EXPECT_STREQ(reports[1].portName, "10.1.1.21");  // listed without a host name
  EXPECT_EQ(reports[1].adapterClass, 4);

  const auto written = h->write(reports[0].portId, {0xA5, 0x00, 0x02, 0x10, 0x01}, 64, 1);
  EXPECT_EQ(written.result, 5);
  EXPECT_EQ(written.replyLength, 0u);
}

// Item 1's callback, as the broker hands the entries on.
std::vector<std::vector<std::uint8_t>>& itemsSeen() {
  static std::vector<std::vector<std::uint8_t>> seen;
  return seen;
}
int32_t collectItem(const void* item, std::uint16_t length) {
  const auto* p = static_cast<const std::uint8_t*>(item);
  itemsSeen().emplace_back(p, p + length);
  return 0;
}

TEST_F(Corip32Test, TheWorkstationListGoesOutEntryByEntryInListOrder) {
  itemsSeen().clear();
  EXPECT_EQ(h->getInfo(BCE_WORKSTATION_HANDLE, net::kItemIpAdapterList, nullptr, nullptr, &collectItem), NET_OKAY);
  ASSERT_EQ(itemsSeen().size(), 3u);
  EXPECT_EQ(net::readIpAdapterEntry(itemsSeen()[0])->portName, "LPT7");
  EXPECT_EQ(net::readIpAdapterEntry(itemsSeen()[1])->community, "private");
  EXPECT_EQ(net::readIpAdapterEntry(itemsSeen()[2])->hostName, "gone");
  EXPECT_EQ(h->getInfo(BCE_WORKSTATION_HANDLE, net::kItemIpAdapterList, nullptr, nullptr), NET_NULL_BUFFER & 0xFFFF);
}

TEST_F(Corip32Test, AddChangeAndRemoveOnTheWorkstationList) {
  const net::IpAdapterEntry onNetwork{{10, 1, 1, 22}, "", "third", "public"};
  const net::IpAdapterEntry offNetwork{{10, 9, 9, 9}, "", "far", "public"};
  auto add = [&](const net::IpAdapterEntry& e) {
    const auto bytes = net::buildIpAdapterEntry(e);
    return h->setInfo(BCE_WORKSTATION_HANDLE, net::kItemIpAddAdapter, bytes.data(), net::ipAddRequestLength(e));
  };
  EXPECT_EQ(add(onNetwork), NET_OKAY);
  EXPECT_EQ(add(offNetwork), net::kIpAdapterNotFound);  // listed all the same
  EXPECT_EQ(add(onNetwork), NET_FAIL);                  // already listed
  EXPECT_EQ(add({{10, 1, 1, 23}, "LPT3", "h", "c"}), NET_FAIL);  // an added adapter has no port yet
  const auto whole = net::buildIpAdapterEntry({{10, 1, 1, 24}, "", "cut", "public"});
  EXPECT_EQ(h->setInfo(BCE_WORKSTATION_HANDLE, net::kItemIpAddAdapter, whole.data(),
                       static_cast<std::uint16_t>(whole.size() - 2)),
            NET_FAIL);
  EXPECT_EQ(listed().size(), 5u);

  EXPECT_EQ(set(BCE_WORKSTATION_HANDLE, net::kItemIpChangeAdapter,
                net::buildIpChangeRecord({{10, 1, 1, 22}, "", "renamed", "secret"})),
            NET_OKAY);
  EXPECT_EQ(set(BCE_WORKSTATION_HANDLE, net::kItemIpChangeAdapter,
                net::buildIpChangeRecord({{10, 1, 1, 22}, "LPT1", "x", "y"})),
            NET_FAIL);  // not listed with that port
  const auto shortChange = net::buildIpAdapterEntry({{10, 1, 1, 22}, "", "x", "y"});
  EXPECT_EQ(set(BCE_WORKSTATION_HANDLE, net::kItemIpChangeAdapter, shortChange), NET_FAIL);
  EXPECT_EQ(set(BCE_WORKSTATION_HANDLE, net::kItemIpRemoveAdapter,
                net::buildIpChangeRecord({{10, 1, 1, 20}, "LPT7", "pb-ip", "public"})),
            NET_FAIL);  // it has a port
  EXPECT_EQ(set(BCE_WORKSTATION_HANDLE, net::kItemIpRemoveAdapter,
                net::buildIpChangeRecord({{10, 9, 9, 9}, "", "far", "public"})),
            NET_OKAY);
  EXPECT_EQ(h->setInfo(BCE_WORKSTATION_HANDLE, net::kItemIpConfigClosed, nullptr, 0), NET_OKAY);
  EXPECT_EQ(h->setInfo(BCE_WORKSTATION_HANDLE, net::kItemIpConfigClosed, nullptr, 0), NET_OKAY);

  const auto lines = listed();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "10.1.1.20\tpublic\tpb-ip\tLPT7");
  EXPECT_EQ(lines[3], "10.1.1.22\tsecret\trenamed\t");
  EXPECT_EQ(control<CorIp32CountFn>(*h, "CorIp32Count")(BCE_WORKSTATION_HANDLE, net::kItemIpConfigClosed), 2u);
  EXPECT_EQ(h->setInfo(BCE_WORKSTATION_HANDLE, 6, nullptr, 0), NET_BADCMD & 0xFFFF);
}

TEST_F(Corip32Test, HostNamesAreUniqueWithoutRegardToCase) {
  const std::uint16_t pb = h->handleOf(1), ks = h->handleOf(2);
  std::uint8_t buffer[net::kIpHostRecordLength] = {};
  std::uint16_t length = sizeof buffer;
  ASSERT_EQ(h->getInfo(pb, net::kItemIpHost, buffer, &length), NET_OKAY);
  EXPECT_EQ(net::readIpHostRecord({buffer, length})->hostName, "pb-ip");
  length = 8;  // shorter than the record: nothing written
  std::memset(buffer, 0xEE, sizeof buffer);
  EXPECT_EQ(h->getInfo(pb, net::kItemIpHost, buffer, &length), NET_FAIL);
  EXPECT_EQ(buffer[0], 0xEE);

  ASSERT_EQ(h->registerEvents(), NET_OKAY);
  EXPECT_EQ(set(ks, net::kItemIpHost, hostRecord("10.1.1.21", "PB-IP")), net::kIpDuplicateHost);
  EXPECT_EQ(set(ks, net::kItemIpHost, hostRecord("10.1.1.21", "ks-ip")), NET_OKAY);
  ASSERT_TRUE(h->waitForEvents(1, 10'000));
  EXPECT_EQ(h->events()[0].code, static_cast<std::uint32_t>(NETEVENT_RENAMED));
  EXPECT_EQ(h->events()[0].name, "ks-ip");
  auto record = hostRecord("10.1.1.21", "other");
  record[0] = 99;  // a length that disagrees
  EXPECT_EQ(set(ks, net::kItemIpHost, record), NET_FAIL);
  EXPECT_EQ(listed()[1], "10.1.1.21\tprivate\tks-ip\t");
}

TEST_F(Corip32Test, AFirmwareDownloadKeepsItsBlocksInOrder) {
  const std::uint16_t pb = h->handleOf(1);
  EXPECT_EQ(set(pb, net::kItemIpFlashBlock, net::buildIpFlashBlock(std::vector<std::uint8_t>(4, 1))), NET_FAIL);
  EXPECT_EQ(h->setInfo(pb, net::kItemIpFlashBegin, nullptr, 0), NET_OKAY);
  EXPECT_EQ(set(pb, net::kItemIpFlashBlock, net::buildIpFlashBlock(std::vector<std::uint8_t>(512, 1))), NET_OKAY);
  EXPECT_EQ(set(pb, net::kItemIpFlashBlock, net::buildIpFlashBlock(std::vector<std::uint8_t>(3, 2))), NET_OKAY);
  EXPECT_EQ(set(pb, net::kItemIpFlashBlock, net::buildIpFlashBlock(std::vector<std::uint8_t>(513, 3))), NET_FAIL);
  EXPECT_EQ(h->setInfo(pb, net::kItemIpFlashEnd, nullptr, 0), NET_OKAY);
  std::vector<std::uint8_t> image(600);
  const std::uint32_t size =
      control<CorIp32FlashImageFn>(*h, "CorIp32FlashImage")(1, image.data(), static_cast<std::uint32_t>(image.size()));
  ASSERT_EQ(size, 515u);
  EXPECT_EQ(image[511], 1);
  EXPECT_EQ(image[512], 2);
}

TEST_F(Corip32Test, TrapDestinationsByIndex) {
  const std::uint16_t pb = h->handleOf(1);
  net::IPTRAPLIST list{};
  std::uint16_t length = sizeof list;
  ASSERT_EQ(h->getInfo(pb, net::kItemIpTrapList, &list, &length), NET_OKAY);
  EXPECT_EQ(list.count, 0);
  net::IPTRAPENTRY entry{5, {10, 0, 0, 7}, 0x1FF};
  EXPECT_EQ(h->setInfo(pb, net::kItemIpTrapEntry, &entry, sizeof entry), NET_OKAY);
  entry.index = 64;
  EXPECT_EQ(h->setInfo(pb, net::kItemIpTrapEntry, &entry, sizeof entry), NET_FAIL);
  EXPECT_EQ(h->setInfo(pb, net::kItemIpTrapEntry, &entry, sizeof entry - 1), NET_FAIL);
  net::IPTRAPENTRY read{5, {}, 0};
  length = sizeof read;
  ASSERT_EQ(h->getInfo(pb, net::kItemIpTrapEntry, &read, &length), NET_OKAY);
  EXPECT_EQ(read.ipAddress[3], 7);
  EXPECT_EQ(read.conditionMask, 0x1FFu);
  length = sizeof list;
  ASSERT_EQ(h->getInfo(pb, net::kItemIpTrapList, &list, &length), NET_OKAY);
  EXPECT_EQ(list.count, 6);
  EXPECT_EQ(list.destination[5][0], 10);
}

TEST_F(Corip32Test, AdapterItemsComeFromTheNetworkEntry) {
  const std::uint16_t pb = h->handleOf(1), ks = h->handleOf(2);
  net::NETADAPTERINFO info{};
  std::uint16_t length = sizeof info;
  ASSERT_EQ(h->getInfo(ks, net::kItemAdapterInfo, &info, &length), NET_OKAY);
  EXPECT_EQ(info.AdapterClass, 4);
  EXPECT_EQ(info.PortType, 4);
  EXPECT_EQ(info.Media, 1);
  EXPECT_EQ(info.Supervisor, 0);
  net::NETADAPTERPARMS parms{};
  length = sizeof parms;
  ASSERT_EQ(h->getInfo(pb, net::kItemAdapterParms, &parms, &length), NET_OKAY);
  EXPECT_EQ(length, 70);
  EXPECT_EQ(parms.Control, net::kControlSupervisor);
  EXPECT_EQ(parms.Address[3], 0x11);
  EXPECT_STREQ(parms.Firmware, "3.10");
  length = 69;
  EXPECT_EQ(h->getInfo(pb, net::kItemAdapterParms, &parms, &length), NET_FAIL);

  parms.ParallelVar4 = 30;
  EXPECT_EQ(h->setInfo(pb, net::kItemAdapterParms, &parms, 69), NET_FAIL);
  EXPECT_EQ(h->setInfo(pb, net::kItemAdapterParms, &parms, sizeof parms), NET_OKAY);
  EXPECT_EQ(h->setInfo(pb, net::kItemReset, nullptr, 0), NET_OKAY);
  net::NETADAPTERPARMS kept{};
  ASSERT_EQ(control<CorIp32SetParmsFn>(*h, "CorIp32SetParms")(1, reinterpret_cast<std::uint8_t*>(&kept)), 1u);
  EXPECT_EQ(kept.ParallelVar4, 30);
  EXPECT_EQ(control<CorIp32CountFn>(*h, "CorIp32Count")(1, net::kItemReset), 1u);
  EXPECT_EQ(parms.Features, 0x06);

  // Advanced settings: the adapter's address on a /24 until one is set.
  net::NETADVANCEDSETTINGS advanced{};
  length = sizeof advanced;
  ASSERT_EQ(h->getInfo(pb, net::kItemAdvanced, &advanced, &length), NET_OKAY);
  EXPECT_EQ(advanced.Control, net::kAdvancedSupervisor);
  EXPECT_EQ(advanced.ProtocolsActive, 0x0F);
  EXPECT_EQ(advanced.IpAddress[3], 20);
  EXPECT_EQ(advanced.IpGateway[3], 1);
  std::strcpy(advanced.ContactName, "Lab");
  EXPECT_EQ(h->setInfo(pb, net::kItemAdvanced, &advanced, 143), NET_FAIL);
  ASSERT_EQ(h->setInfo(pb, net::kItemAdvanced, &advanced, sizeof advanced), NET_OKAY);
  net::NETADVANCEDSETTINGS again{};
  length = sizeof again;
  ASSERT_EQ(h->getInfo(pb, net::kItemAdvanced, &again, &length), NET_OKAY);
  EXPECT_STREQ(again.ContactName, "Lab");

  // No password until one is set.
  net::NETPASSWORD password{};
  length = sizeof password;
  ASSERT_EQ(h->getInfo(pb, net::kItemPassword, &password, &length), NET_OKAY);
  EXPECT_EQ(length, 8);
  EXPECT_EQ(password.Password[0], 0);
  password.Password[0] = 0x41;
  ASSERT_EQ(h->setInfo(pb, net::kItemPassword, &password, sizeof password), NET_OKAY);
  net::NETPASSWORD kept8{};
  ASSERT_EQ(h->getInfo(pb, net::kItemPassword, &kept8, &length), NET_OKAY);
  EXPECT_EQ(kept8.Password[0], 0x41);

  // The address check knows the listed adapters' nodes only.
  const std::uint8_t listedNode[6] = {0x00, 0x00, 0xC0, 0x44, 0x55, 0x66};  // 10.1.1.21
  const std::uint8_t unlistedNode[6] = {0x00, 0x00, 0xC0, 0x77, 0x88, 0x99};  // 10.1.1.22
  EXPECT_EQ(h->setInfo(pb, net::kItemAddressCheck, listedNode, 6), 0xFB95);
  EXPECT_EQ(h->setInfo(pb, net::kItemAddressCheck, unlistedNode, 6), 0xFB96);
}

TEST(Corip32World, AttachRefusesWithoutAnIpWorldOrWithAMalformedEntry) {
  const struct {
    const char* text;
    const char* why;
  } worlds[] = {
      {"[netware.client]\nlogin = admin\n", "no [tcpip.*] section"},
      {"[tcpip.network]\n10.1.1.20 = 0000C0112233 | 2 | 2 | 2 | 1 | \"3.10\"\n10.1.1.21 = 0000C01122 | 2 | 2 | 2 | 1 | x\n",
       "[tcpip.network] entry 2"},
      {"[tcpip.network]\n10.1.1.256 = 0000C0112233 | 2 | 2 | 2 | 1 | x\n", "entry 1: bad address"},
      {"[tcpip.workstation]\n10.1.1.20 = public | pb-ip\n", "[tcpip.workstation] entry 1"},
      {"[tcpip.workstation]\n10.1.1.20 = public | a | LPT7\n10.1.1.20 = public | b | \n", "address twice"},
      {"[tcpip.other]\n", "unknown section"},
  };
  for (const auto& w : worlds) {
    std::string error;
    const auto scenario = wf::parseScenario(w.text, &error);
    ASSERT_TRUE(scenario) << error;
    EXPECT_FALSE(wf::corip::readIpWorld(*scenario, &error)) << w.text;
    EXPECT_NE(error.find(w.why), std::string::npos) << error;
  }
  useWorld("[netware.client]\nlogin = admin\n");
  std::string error;
  EXPECT_FALSE(TransportHarness::load("CORIP32.DLL", BCE_NET_IP, &error));
  useWorld(kWorld);
  EXPECT_TRUE(TransportHarness::load("CORIP32.DLL", BCE_NET_IP, &error)) << error;
}

}  // namespace
}  // namespace wf::transports::testing
