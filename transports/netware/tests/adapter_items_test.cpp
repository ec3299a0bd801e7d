// Items 129-137 against simulated adapters of each kind: what reaches the
// adapter, what comes back in the records, and the restarts and events
// around an address change, a reset and a firmware download.
#include <algorithm>
#include <cstring>
#include <set>
#include <sstream>
#include <tuple>

#include "items_fixture.h"
#include "platform/byte_codec.h"
#include "transports/common/net_items.h"

namespace wf::netware::testing {
namespace {

using transports::testing::TransportEvent;
using wf::net::kAdvancedSupervisor;
using wf::net::kClass7390;
using wf::net::kClassMultiPortSerial;
using wf::net::kClassSinglePortRuVa1;
using wf::net::kControlChangeAddress;
using wf::net::kControlSupervisor;
using wf::net::kItemAdapterInfo;
using wf::net::kItemAdapterParms;
using wf::net::kItemAddressCheck;
using wf::net::kItemAdvanced;
using wf::net::kItemFlashBegin;
using wf::net::kItemFlashBlock;
using wf::net::kItemFlashEnd;
using wf::net::kItemPassword;
using wf::net::kItemReset;
using wf::net::kPortTypeParallel;
using wf::net::kPortTypeSerial;
using wf::net::kPortTypeSingle;
using wf::net::kProtocolAppleTalk;
using wf::net::kProtocolCorLink;
using wf::net::kProtocolNetWare;
using wf::net::kProtocolTcpIp;
using wf::net::NETADAPTERINFO;
using wf::net::NETADAPTERPARMS;
using wf::net::NETADVANCEDSETTINGS;
using wf::net::NETFLASHBEGIN;
using wf::net::NETPASSWORD;

class AdapterItemsTest : public ItemsTest {
 protected:
  // PB with settings in the parallel and serial groups it reports.
  static AdapterConfig portBay() {
    AdapterConfig c = profile("portbay-npa.adapter");
    c.variables[{129, 3}] = {0x01, 0x02};
    c.variables[{129, 4}] = {0x00, 0x3C};
    c.variables[{129, 5}] = {3};
    c.variables[{129, 6}] = {4};
    c.variables[{144, 3}] = {0x00, 0x05};
    c.variables[{144, 4}] = {0x00, 0x3C};
    c.variables[{144, 5}] = {0x00, 0x01};
    c.variables[{144, 6}] = {0x25, 0x80};
    for (std::uint8_t v = 7; v <= 14; ++v) c.variables[{144, v}] = {static_cast<std::uint8_t>(v * 3)};
    c.variables[{7, 1}] = {1};
    c.variables[{8, 0}] = {1};
    c.variables[{8, 1}] = {1};
    c.variables[{10, 0}] = {1};
    c.variables[{10, 2}] = {192, 168, 1, 9};
    c.variables[{6, 4}] = {30};
    return c;
  }
  void start(AdapterConfig pb = portBay(), AdapterConfig ks = profile("kestrel-single.adapter"),
             AdapterConfig ex = profile("ext-7390.adapter")) {
    startWith(kWorld, std::move(pb), std::move(ks), std::move(ex));
  }
};

TEST_F(AdapterItemsTest, AdapterParametersOfEveryKindFieldByField) {
  start();
  struct Case {
    const char* port;
    std::uint8_t adapterClass, portType, media, npapMode, features;
    Node address, universal;
    const char *firmware, *product, *model;
  };
  const Case cases[] = {
      {"PORTBAY_1_P1", kClassMultiPortSerial, kPortTypeParallel, 2, 0x81, 6, kPbNode, kPbNode, "3.1.7",
       "4033XLE", "XLE-003"},
      {"PORTBAY_1_P0", kClassMultiPortSerial, kPortTypeSerial, 2, 0x81, 6, kPbNode, kPbNode, "3.1.7",
       "4033XLE", "XLE-003"},
      {"KESTREL_7", kClassSinglePortRuVa1, kPortTypeSingle, 2, 0x82, 3, kKsNode, kKsNode, "02.05.17",
       "4033INT", "RU_VA_1"},
      {"EXTBOX_3_SER", kClass7390, kPortTypeSerial, 1, 0x01, 1, kExNode, Node{}, "115.03", "", "7390-A01"},
      {"EXTBOX_3_PAR", kClass7390, kPortTypeParallel, 1, 0x01, 1, kExNode, Node{}, "115.03", "", "7390-A01"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.port);
    NETADAPTERPARMS r{};
    ASSERT_EQ(get(c.port, kItemAdapterParms, r), NET_OKAY);
    EXPECT_EQ(r.Control, kControlSupervisor);
    EXPECT_EQ(r.AdapterClass, c.adapterClass);
    EXPECT_EQ(r.PortType, c.portType);
    EXPECT_EQ(r.Media, c.media);
    EXPECT_EQ(r.NpapMode, c.npapMode);
    EXPECT_EQ(r.Features, c.features);
    EXPECT_EQ(Node(std::to_array(r.Address)), c.address);
    EXPECT_EQ(Node(std::to_array(r.UniversalAddress)), c.universal);
    EXPECT_EQ(textOf(r.Firmware, 12), c.firmware);
    EXPECT_EQ(textOf(r.ProductId, 8), c.product);
    EXPECT_EQ(textOf(r.ModelId, 10), c.model);
  }
  NETADAPTERPARMS parallel{}, serial{}, exSerial{}, exParallel{};
  ASSERT_EQ(get("PORTBAY_1_P1", kItemAdapterParms, parallel), NET_OKAY);
  EXPECT_EQ(std::tuple(+parallel.ParallelVar5, +parallel.ParallelVar6, +parallel.ParallelVar3,
                       +parallel.ParallelVar4),
            std::tuple(3, 4, 0x0102, 60));
  EXPECT_EQ(parallel.SerialVar6, 0) << "the serial area is filled only for the serial port";
  ASSERT_EQ(get("PORTBAY_1_P0", kItemAdapterParms, serial), NET_OKAY);
  EXPECT_EQ(std::tuple(+serial.SerialVar5, +serial.SerialVar6, +serial.SerialVar3, +serial.SerialVar4),
            std::tuple(1, 0x2580, 5, 60));
  EXPECT_EQ(std::tuple(+serial.SerialVar7, +serial.SerialVar10, +serial.SerialVar14), std::tuple(21, 30, 42));
  EXPECT_EQ(serial.ParallelVar4, 0);
  // The serial port's group went as one whole-group read.
  const Bytes read = received("PB", "861C").back();
  const Bytes whole = {wire::var::kSerialGroup, wire::kWholeGroup};
  EXPECT_NE(std::search(read.begin(), read.end(), whole.begin(), whole.end()), read.end());
  ASSERT_EQ(get("EXTBOX_3_SER", kItemAdapterParms, exSerial), NET_OKAY);
  EXPECT_EQ(std::tuple(+exSerial.SerialVar5, +exSerial.SerialVar6, +exSerial.SerialVar7,
                       +exSerial.SerialVar14, +exSerial.SerialVar3, +exSerial.SerialVar4),
            std::tuple(1, 0x2580, 8, 30, 5, 60));
  ASSERT_EQ(get("EXTBOX_3_PAR", kItemAdapterParms, exParallel), NET_OKAY);
  EXPECT_EQ(std::tuple(+exParallel.ParallelVar5, +exParallel.ParallelVar6, +exParallel.ParallelVar3,
                       +exParallel.ParallelVar4),
            std::tuple(1, 2, 10, 60));
}

TEST_F(AdapterItemsTest, SinglePortReplyWithAnotherNodeIsRefusedLeavingTheRestUnset) {
  AdapterConfig ks = profile("kestrel-single.adapter");
  start(portBay(), ks);
  sim.adapter("KS")->withModel([](auto& m) { m.config().knobs.identityNode = kFarNode; });
  NETADAPTERPARMS r;
  std::memset(&r, 0xEE, sizeof r);
  EXPECT_EQ(get("KESTREL_7", kItemAdapterParms, r), wide(NET_BADCMD));
  EXPECT_EQ(r.AdapterClass, kClassSinglePortRuVa1);
  EXPECT_EQ(static_cast<std::uint8_t>(r.Firmware[0]), 0xEE);
  EXPECT_EQ(r.ParallelVar4, 0xEEEE);
}

TEST_F(AdapterItemsTest, RecordsShorterThanTheItemAreRefusedAndNothingIsSent) {
  start();
  NETADAPTERPARMS r;
  std::memset(&r, 0xEE, sizeof r);
  const std::size_t before = inCount("PB");
  std::uint16_t length = sizeof r - 1;
  EXPECT_EQ(harness->getInfo(handle("PORTBAY_1_P1"), kItemAdapterParms, &r, &length), NET_FAIL);
  EXPECT_EQ(r.Control, 0xEE);
  EXPECT_EQ(harness->setInfo(handle("PORTBAY_1_P1"), kItemAdapterParms, &r, sizeof r - 1), NET_FAIL);
  NETADVANCEDSETTINGS advanced{};
  EXPECT_EQ(harness->setInfo(handle("PORTBAY_1_P1"), kItemAdvanced, &advanced, sizeof advanced - 1),
            NET_FAIL);
  // A flash block longer than the bytes given.
  const std::uint8_t block[] = {10, 0, 1, 2, 3};
  EXPECT_EQ(harness->setInfo(handle("KESTREL_7"), kItemFlashBlock, block, sizeof block), NET_FAIL);
  EXPECT_EQ(inCount("PB"), before);
  EXPECT_TRUE(commands("KS", wire::kTagFlashWrite).empty());
}

TEST_F(AdapterItemsTest, External7390PortSettingsGoAsOneSetParametersCommand) {
  start();
  NETADAPTERPARMS r{};
  ASSERT_EQ(get("EXTBOX_3_SER", kItemAdapterParms, r), NET_OKAY);
  r.SerialVar6 = 0x4B00;
  r.SerialVar8 = 7;
  r.SerialVar4 = 0x0102;
  ASSERT_EQ(set("EXTBOX_3_SER", kItemAdapterParms, r), NET_OKAY);
  ASSERT_EQ(commands("EX", wire::kTagSetParameters).size(), 1u);
  EXPECT_TRUE(commands("EX", wire::kTagControl).empty());
  const Bytes sent = commands("EX", wire::kTagSetParameters)[0];
  ASSERT_EQ(sent.size(), 33u);
  EXPECT_EQ(Bytes(sent.begin() + 21, sent.end()),
            (Bytes{12, 0x40, 0x4B, 0x00, 7, 0x00, 0x00, 0x1E, 0x01, 0x02, 0x00, 15}));
  NETADAPTERPARMS back{};
  ASSERT_EQ(get("EXTBOX_3_SER", kItemAdapterParms, back), NET_OKAY);
  EXPECT_EQ(std::tuple(+back.SerialVar6, +back.SerialVar8, +back.SerialVar4), std::tuple(0x4B00, 7, 0x0102));

  NETADAPTERPARMS p{};
  ASSERT_EQ(get("EXTBOX_3_PAR", kItemAdapterParms, p), NET_OKAY);
  p.ParallelVar6 = 9;
  p.ParallelVar4 = 0x0203;
  ASSERT_EQ(set("EXTBOX_3_PAR", kItemAdapterParms, p), NET_OKAY);
  const Bytes parallel = commands("EX", wire::kTagSetParameters).back();
  ASSERT_EQ(parallel.size(), 28u);
  EXPECT_EQ(Bytes(parallel.begin() + 21, parallel.end()), (Bytes{7, 0x81, 9, 0x02, 0x03, 0x00, 20}));
}

TEST_F(AdapterItemsTest, External7390BackToItsUniversalAddressSendsFlagZero) {
  start();
  NETADAPTERPARMS r{};
  ASSERT_EQ(get("EXTBOX_3_PAR", kItemAdapterParms, r), NET_OKAY);
  r.Control = kControlChangeAddress;
  std::memset(r.Address, 0, 6);
  const std::uint32_t before = restarts("EX");
  ASSERT_EQ(set("EXTBOX_3_PAR", kItemAdapterParms, r), NET_OKAY);
  const auto control = commands("EX", wire::kTagControl);
  ASSERT_EQ(control.size(), 1u);
  ASSERT_EQ(control[0].size(), 30u);
  EXPECT_EQ(control[0][21], 9);
  EXPECT_EQ(control[0][22], 0x2B);
  EXPECT_EQ(control[0][29], 0);
  EXPECT_GT(restarts("EX"), before) << "answered only once the adapter was back";
  ASSERT_TRUE(harness->waitForEvents(2, 1000));
  for (const TransportEvent& e : harness->events()) {
    EXPECT_EQ(e.code, NETEVENT_ADDRESS_CHANGED);
    EXPECT_EQ(e.node, kExNode);
  }
}

TEST_F(AdapterItemsTest, MultiPortAddressChangeFollowsTheAdapterToItsNewNode) {
  start();
  const Node moved = {0x00, 0x00, 0xC0, 0x4A, 0x77, 0x01};
  NETADAPTERPARMS r{};
  ASSERT_EQ(get("PORTBAY_1_P1", kItemAdapterParms, r), NET_OKAY);
  r.Control = kControlChangeAddress;
  std::copy(moved.begin(), moved.end(), r.Address);
  ASSERT_EQ(set("PORTBAY_1_P1", kItemAdapterParms, r), NET_OKAY);
  // The adapter got the address in its own order and is at the new node.
  sim.adapter("PB")->withModel([&](auto& m) {
    EXPECT_EQ(m.node(), moved);
    const Bytes v = m.variable(6, 1);
    EXPECT_EQ(v, (Bytes{0x00, 0x00, 0x03, 0x52, 0xEE, 0x80}));
  });
  const auto events = harness->events();
  ASSERT_EQ(events.size(), 3u) << "one for each port";
  std::set<std::uint32_t> ports;
  for (const TransportEvent& e : events) {
    EXPECT_EQ(e.code, NETEVENT_ADDRESS_CHANGED);
    EXPECT_EQ(e.node, moved);
    ports.insert(e.portId);
  }
  EXPECT_EQ(ports, (std::set<std::uint32_t>{portId("PORTBAY_1_P0"), portId("PORTBAY_1_P1"),
                                            portId("PORTBAY_1_P2")}));
  NETADAPTERINFO info{};
  ASSERT_EQ(get("PORTBAY_1_P2", kItemAdapterInfo, info), NET_OKAY);
  EXPECT_EQ(Node(std::to_array(info.Node)), moved);
  NETADAPTERPARMS after{};
  ASSERT_EQ(get("PORTBAY_1_P2", kItemAdapterParms, after), NET_OKAY) << "answered at the new node";
  EXPECT_EQ(Node(std::to_array(after.Address)), moved);
}

TEST_F(AdapterItemsTest, AddressChangeToAnAdapterThatStaysDownAnswersOneAndKeepsTheRecord) {
  AdapterConfig pb = portBay();
  pb.knobs.noRestart = true;
  start(pb);
  NETADAPTERPARMS r{};
  ASSERT_EQ(get("PORTBAY_1_P1", kItemAdapterParms, r), NET_OKAY);
  r.Control = kControlChangeAddress;
  r.Address[5] = 0x99;
  EXPECT_EQ(set("PORTBAY_1_P1", kItemAdapterParms, r), NET_FAIL);
  EXPECT_TRUE(harness->events().empty());
  NETADAPTERINFO info{};
  ASSERT_EQ(get("PORTBAY_1_P1", kItemAdapterInfo, info), NET_OKAY);
  EXPECT_EQ(Node(std::to_array(info.Node)), kPbNode);
}

TEST_F(AdapterItemsTest, ARetriedSetSendsTheSameBytesAndLeavesTheRecordAlone) {
  start();
  NETADAPTERPARMS r{};
  ASSERT_EQ(get("PORTBAY_1_P0", kItemAdapterParms, r), NET_OKAY);
  r.SerialVar6 = 0x1234;
  r.SerialVar4 = 0x0056;
  r.NpapMode = 0x02;
  const NETADAPTERPARMS copy = r;
  ASSERT_EQ(set("PORTBAY_1_P0", kItemAdapterParms, r), NET_OKAY);
  ASSERT_EQ(set("PORTBAY_1_P0", kItemAdapterParms, r), NET_OKAY);
  EXPECT_EQ(std::memcmp(&r, &copy, sizeof r), 0);
  const auto writes = received("PB", "861C");
  ASSERT_GE(writes.size(), 2u);
  EXPECT_EQ(writes[writes.size() - 1], writes[writes.size() - 2]);
  sim.adapter("PB")->withModel([](auto& m) {
    EXPECT_EQ(m.variable(144, 6), (Bytes{0x12, 0x34}));
    EXPECT_EQ(m.variable(144, 4), (Bytes{0x00, 0x56}));
    EXPECT_EQ(m.variable(11, 0), Bytes{0x10});
  });
}

TEST_F(AdapterItemsTest, BusyPortsRefuseAdapterWideChanges) {
  AdapterConfig pb = portBay();
  pb.printMode = 2;  // RPRINTER: port 2's busy bit counts
  AdapterConfig ex = profile("ext-7390.adapter");
  ex.ports[0].busy = true;
  start(pb, profile("kestrel-single.adapter"), ex);
  NETADAPTERPARMS r{};
  ASSERT_EQ(get("PORTBAY_1_P1", kItemAdapterParms, r), NET_OKAY);
  const std::size_t before = inCount("PB");
  EXPECT_EQ(set("PORTBAY_1_P1", kItemAdapterParms, r), wide(NET_NW_ADAPTER_BUSY));
  NETADVANCEDSETTINGS advanced{};
  EXPECT_EQ(set("PORTBAY_1_P1", kItemAdvanced, advanced), wide(NET_NW_ADAPTER_BUSY));
  EXPECT_EQ(inCount("PB"), before);
  NETADAPTERPARMS e{};
  ASSERT_EQ(get("EXTBOX_3_PAR", kItemAdapterParms, e), NET_OKAY);
  EXPECT_EQ(set("EXTBOX_3_PAR", kItemAdapterParms, e), wide(NET_NW_ADAPTER_BUSY)) << "the other port is busy";
}

TEST_F(AdapterItemsTest, AdvancedSettingsAndPasswordRoundTrip) {
  start();
  NETADVANCEDSETTINGS a{};
  ASSERT_EQ(get("PORTBAY_1_P1", kItemAdvanced, a), NET_OKAY);
  EXPECT_EQ(a.Control, kAdvancedSupervisor);
  EXPECT_EQ(a.ProtocolsActive, kProtocolCorLink | kProtocolNetWare);
  EXPECT_EQ(a.ProtocolsEnabled, kProtocolNetWare | kProtocolTcpIp);
  EXPECT_EQ(a.EndOfJobTimeout, 30);
  EXPECT_EQ(Bytes(a.IpAddress, a.IpAddress + 4), (Bytes{192, 168, 1, 9}));
  EXPECT_EQ(textOf(a.ContactName, 64), "Network team");
  EXPECT_EQ(textOf(a.Location, 64), "Second floor");

  a.ProtocolsEnabled = kProtocolAppleTalk;
  a.EndOfJobTimeout = 45;
  std::snprintf(a.Location, sizeof a.Location, "Basement");
  const std::uint8_t gateway[] = {10, 0, 0, 1};
  std::memcpy(a.IpGateway, gateway, 4);
  ASSERT_EQ(set("PORTBAY_1_P1", kItemAdvanced, a), NET_OKAY);
  NETADVANCEDSETTINGS b{};
  ASSERT_EQ(get("PORTBAY_1_P2", kItemAdvanced, b), NET_OKAY);
  EXPECT_EQ(b.ProtocolsEnabled, kProtocolAppleTalk);
  EXPECT_EQ(b.EndOfJobTimeout, 45);
  EXPECT_EQ(textOf(b.Location, 64), "Basement");
  EXPECT_EQ(Bytes(b.IpGateway, b.IpGateway + 4), (Bytes{10, 0, 0, 1}));

  NETPASSWORD p{};
  ASSERT_EQ(get("PORTBAY_1_P1", kItemPassword, p), NET_OKAY);
  EXPECT_EQ(textOf(reinterpret_cast<const char*>(p.Password), 8), "BAYPASS");
  std::memcpy(p.Password, "NEWPASS1", 8);
  ASSERT_EQ(set("PORTBAY_1_P1", kItemPassword, p), NET_OKAY);
  NETPASSWORD q{};
  ASSERT_EQ(get("PORTBAY_1_P0", kItemPassword, q), NET_OKAY);
  EXPECT_EQ(std::memcmp(q.Password, "NEWPASS1", 8), 0);

  // Only multi-port adapters have them.
  for (const char* port : {"KESTREL_7", "EXTBOX_3_SER"}) {
    SCOPED_TRACE(port);
    EXPECT_EQ(get(port, kItemAdvanced, a), NET_FAIL);
    EXPECT_EQ(set(port, kItemAdvanced, a), NET_FAIL);
    EXPECT_EQ(get(port, kItemPassword, p), NET_FAIL);
    EXPECT_EQ(set(port, kItemPassword, p), NET_FAIL);
  }
}

TEST_F(AdapterItemsTest, AdapterInfoOfEveryKind) {
  start();
  struct Case {
    const char* port;
    std::uint8_t adapterClass, portType, media;
    Node node;
  };
  const Case cases[] = {
      {"PORTBAY_1_P0", kClassMultiPortSerial, kPortTypeSerial, 2, kPbNode},
      {"PORTBAY_1_P2", kClassMultiPortSerial, kPortTypeParallel, 2, kPbNode},
      {"KESTREL_7", kClassSinglePortRuVa1, kPortTypeSingle, 2, kKsNode},
      {"EXTBOX_3_SER", kClass7390, kPortTypeSerial, 1, kExNode},
      {"EXTBOX_3_PAR", kClass7390, kPortTypeParallel, 1, kExNode},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.port);
    NETADAPTERINFO info{};
    ASSERT_EQ(get(c.port, kItemAdapterInfo, info), NET_OKAY);
    EXPECT_EQ(std::tuple(+info.AdapterClass, +info.PortType, +info.Media, +info.Supervisor),
              std::tuple(+c.adapterClass, +c.portType, +c.media, 1));
    EXPECT_EQ(Node(std::to_array(info.Node)), c.node);
  }
}

TEST_F(AdapterItemsTest, AddressCheckMatchesCanonicalAddressesOnly) {
  start();
  // PB is Ethernet: its token-ring form is each byte bit-reversed.
  const Node tokenRing = sim::adapter::tokenRingOrder(kPbNode, 2);
  struct Case {
    Node address;
    std::int32_t rc;
  };
  const Case cases[] = {{kPbNode, NET_ADDRESS_KNOWN},
                        {tokenRing, NET_ADDRESS_UNKNOWN},
                        {kExNode, NET_ADDRESS_KNOWN},
                        {kFarNode, NET_ADDRESS_UNKNOWN}};
  for (const Case& c : cases) EXPECT_EQ(set("KESTREL_7", kItemAddressCheck, c.address), wide(c.rc));
}

TEST_F(AdapterItemsTest, ResetWaitsForTheAdapterAndFailsWhenItStaysDown) {
  start();
  const std::uint32_t before = restarts("PB");
  EXPECT_EQ(harness->setInfo(handle("PORTBAY_1_P1"), kItemReset, nullptr, 0), NET_OKAY);
  EXPECT_GT(restarts("PB"), before);
  sim.adapter("PB")->withModel([](auto& m) { m.config().knobs.noRestart = true; });
  EXPECT_EQ(harness->setInfo(handle("PORTBAY_1_P1"), kItemReset, nullptr, 0), NET_FAIL);

  // NVRAM single-port with power-on reset: "LPA POR"; a 7390 has no reset.
  EXPECT_EQ(harness->setInfo(handle("KESTREL_7"), kItemReset, nullptr, 0), NET_OKAY);
  ASSERT_EQ(commands("KS", wire::kTagPowerOnReset).size(), 1u);
  EXPECT_EQ(commands("KS", wire::kTagPowerOnReset)[0].size(), 22u);
  EXPECT_EQ(harness->setInfo(handle("EXTBOX_3_PAR"), kItemReset, nullptr, 0), NET_FAIL);
}

TEST_F(AdapterItemsTest, SinglePortWithoutPowerOnResetAnswersZeroSendingNothing) {
  AdapterConfig ks = profile("kestrel-single.adapter");
  ks.powerOnReset = false;
  start(portBay(), ks);
  const std::size_t before = inCount("KS");
  EXPECT_EQ(harness->setInfo(handle("KESTREL_7"), kItemReset, nullptr, 0), NET_OKAY);
  EXPECT_EQ(inCount("KS"), before);
}

// ---- Flash ------------------------------------------------------------------------------

Bytes flashBlock(std::size_t n, std::uint8_t seed) {
  Bytes b(2 + n);
  b[0] = static_cast<std::uint8_t>(n);
  b[1] = static_cast<std::uint8_t>(n >> 8);
  for (std::size_t i = 0; i < n; ++i) b[2 + i] = static_cast<std::uint8_t>(seed + i * 7);
  return b;
}

TEST_F(AdapterItemsTest, FlashDownloadInSegmentsOfAtMost477Bytes) {
  start();
  const std::uint16_t ks = handle("KESTREL_7");
  const NETFLASHBEGIN begin{{0x0102, 0x0304, 0x0506}};
  ASSERT_EQ(harness->setInfo(ks, kItemFlashBegin, &begin, sizeof begin), NET_OKAY);
  sim.adapter("KS")->withModel([](auto& m) { EXPECT_TRUE(m.programMode()); });
  // Program mode first, then the open with the caller's values as given.
  const auto control = commands("KS", wire::kTagControl);
  ASSERT_EQ(control.size(), 1u);
  EXPECT_EQ(Bytes(control[0].begin() + 21, control[0].end()), (Bytes{3, 0x4D, 1}));
  const auto open = commands("KS", wire::kTagFlashOpen);
  ASSERT_EQ(open.size(), 1u);
  ASSERT_EQ(open[0].size(), 27u);
  EXPECT_EQ(Bytes(open[0].begin() + 21, open[0].end()), (Bytes{0x02, 0x01, 0x04, 0x03, 0x06, 0x05}));

  const Bytes first = flashBlock(477, 1), second = flashBlock(478, 2);
  ASSERT_EQ(harness->setInfo(ks, kItemFlashBlock, first.data(), static_cast<std::uint16_t>(first.size())),
            NET_OKAY);
  ASSERT_EQ(harness->setInfo(ks, kItemFlashBlock, second.data(), static_cast<std::uint16_t>(second.size())),
            NET_OKAY);
  const auto writes = commands("KS", wire::kTagFlashWrite);
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(writes[0].size(), 23u + 477);
  EXPECT_EQ(writes[1].size(), 23u + 477);
  EXPECT_EQ(writes[2].size(), 23u + 1);
  for (std::size_t i = 0; i < writes.size(); ++i) EXPECT_EQ(loadLe16(&writes[i][21]), 16 + i);

  const std::uint32_t before = restarts("KS");
  ASSERT_EQ(harness->setInfo(ks, kItemFlashEnd, nullptr, 0), NET_OKAY);
  EXPECT_GT(restarts("KS"), before) << "the end waits for the adapter's restart";
  Bytes image(first.begin() + 2, first.end());
  image.insert(image.end(), second.begin() + 2, second.end());
  sim.adapter("KS")->withModel([&](auto& m) { EXPECT_EQ(m.flashImage(), image); });
}

TEST_F(AdapterItemsTest, FlashFailuresAnswerTheirCodes) {
  start();
  const NETFLASHBEGIN begin{{1, 2, 3}};
  const Bytes block = flashBlock(600, 3);
  // A 7390 takes no firmware.
  for (std::uint16_t item : {kItemFlashBegin, kItemFlashBlock, kItemFlashEnd})
    EXPECT_EQ(harness->setInfo(handle("EXTBOX_3_PAR"), item, block.data(),
                               static_cast<std::uint16_t>(block.size())),
              wide(NET_BADCMD));
  EXPECT_TRUE(commands("EX", wire::kTagFlashOpen).empty());

  // A wrong sequence echo ends the block at its first segment.
  const std::uint16_t pb = handle("PORTBAY_1_P1");
  ASSERT_EQ(harness->setInfo(pb, kItemFlashBegin, &begin, sizeof begin), NET_OKAY);
  EXPECT_TRUE(commands("PB", wire::kTagControl).empty()) << "program mode is the single-port adapter's";
  sim.adapter("PB")->withModel([](auto& m) { m.config().knobs.flashSequenceError = true; });
  EXPECT_EQ(harness->setInfo(pb, kItemFlashBlock, block.data(), static_cast<std::uint16_t>(block.size())),
            wide(NET_WRITEFAIL));
  EXPECT_EQ(commands("PB", wire::kTagFlashWrite).size(), 1u);

  // A refused open, and a refused program mode.
  sim.adapter("PB")->withModel([](auto& m) { m.config().knobs.statusFor[wire::kTagFlashOpen] = 1; });
  EXPECT_EQ(harness->setInfo(pb, kItemFlashBegin, &begin, sizeof begin), wide(NET_WRITEFAIL));
  sim.adapter("KS")->withModel([](auto& m) { m.config().knobs.statusFor[wire::kTagControl] = 1; });
  EXPECT_EQ(harness->setInfo(handle("KESTREL_7"), kItemFlashBegin, &begin, sizeof begin),
            wide(NET_WRITEFAIL));
  EXPECT_TRUE(commands("KS", wire::kTagFlashOpen).empty());
}

}  // namespace
}  // namespace wf::netware::testing
