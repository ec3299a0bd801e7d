// Discovery against simulated adapters of both families and media: the
// reports, kept ids, the collectors' rules, specific and logical-port
// enumerations, and the contract suite on the library itself.
#include <algorithm>
#include <map>
#include <set>

#include "coripx_fixture.h"
#include "sim/adapter/adapter_model.h"
#include "transports/testing/contract_suite.h"

namespace wf::coripx::testing {
namespace {

using sim::adapter::AdapterSimulator;
using transports::testing::TransportContract;
using sim::adapter::tokenRingOrder;

std::mutex gReportsMutex;
std::vector<NETPORTINFO> gReports;

std::uint16_t collectPort(const NETPORTINFO* p) {
  std::lock_guard g(gReportsMutex);
  gReports.push_back(*p);
  return 1;
}
std::uint16_t stopAtFirst(const NETPORTINFO* p) {
  collectPort(p);
  return 0;
}
std::atomic<int> gSecondCollector{0};
std::uint16_t countSecond(const NETPORTINFO*) {
  ++gSecondCollector;
  return 1;
}
std::vector<NETPORTINFO> reports() {
  std::lock_guard g(gReportsMutex);
  return gReports;
}
void clearReports() {
  std::lock_guard g(gReportsMutex);
  gReports.clear();
}

AdapterConfig profile(const char* file) {
  std::string error;
  auto c = sim::adapter::loadAdapter(std::filesystem::path(WF_SIM_PROFILE_DIR) / file, &error);
  EXPECT_TRUE(c) << error;
  AdapterConfig config = c.value_or(AdapterConfig{});
  config.corlinkIpx = true;
  return config;
}

const Node kPb1Universal = {0x00, 0x00, 0xC0, 0x4A, 0x10, 0x09};
const Node kKbUniversal = {0x00, 0x00, 0xC0, 0x5B, 0x22, 0x09};

// PB (multi-port, media 2), PB1 (multi-port, media 1), KS ("RU_VA_1", media
// 2) and KB ("RU_VB_2", media 1).
void startWorld(AdapterSimulator& sim) {
  std::string error;
  ASSERT_TRUE(sim.addAdapter("PB", profile("portbay-npa.adapter"), &error)) << error;
  AdapterConfig pb1 = profile("portbay-npa.adapter");
  pb1.media = 1;
  pb1.universal = kPb1Universal;
  pb1.name = "PORTBAY_M1";
  ASSERT_TRUE(sim.addAdapter("PB1", pb1, &error)) << error;
  ASSERT_TRUE(sim.addAdapter("KS", profile("kestrel-single.adapter"), &error)) << error;
  AdapterConfig kb = profile("kestrel-single.adapter");
  kb.media = 1;
  kb.universal = kKbUniversal;
  kb.modelTag = "RU_VB_2";
  kb.name = "KESTREL_B";
  ASSERT_TRUE(sim.addAdapter("KB", kb, &error)) << error;
}

struct Expected {
  const char* name;
  Node node;
  std::uint16_t adapterClass, portKind, flags;
};

class CorIpxDiscovery : public CorIpxTest {
 protected:
  void SetUp() override {
    CorIpxTest::SetUp();
    clearReports();
    startWorld(sim);
  }
  const NETPORTINFO* reported(const std::vector<NETPORTINFO>& all, const char* name, std::uint16_t kind) {
    for (const auto& p : all)
      if (std::string(p.portName) == name && p.portKind == kind) return &p;
    return nullptr;
  }
  AdapterSimulator sim;
};

const Expected kWorld[] = {
    {"PORTBAY_1", tokenRingOrder({0x00, 0x00, 0xC0, 0x4A, 0x10, 0x01}, 2), 4, 0x0101, 0x0003},
    {"PORTBAY_1", tokenRingOrder({0x00, 0x00, 0xC0, 0x4A, 0x10, 0x01}, 2), 2, 1, 0x0002},
    {"PORTBAY_1", tokenRingOrder({0x00, 0x00, 0xC0, 0x4A, 0x10, 0x01}, 2), 2, 2, 0x0002},
    {"PORTBAY_M1", kPb1Universal, 4, 0x0101, 0x8003},
    {"PORTBAY_M1", kPb1Universal, 2, 1, 0x8002},
    {"PORTBAY_M1", kPb1Universal, 2, 2, 0x8002},
    {"KESTREL_7", tokenRingOrder({0x00, 0x00, 0xC0, 0x5B, 0x22, 0x07}, 2), 16, 0, 0x0003},
    {"KESTREL_B", kKbUniversal, 1, 0, 0x8003},
};

TEST_F(CorIpxDiscovery, EveryPortOfBothFamiliesIsReportedOnceWithItsRecord) {
  start();
  EXPECT_EQ(ipx->enumerate(&collectPort), 0);
  const auto all = reports();
  EXPECT_EQ(all.size(), std::size(kWorld));
  std::vector<std::uint16_t> ids;
  for (const Expected& e : kWorld) {
    SCOPED_TRACE(std::string(e.name) + " kind " + std::to_string(e.portKind));
    const NETPORTINFO* p = reported(all, e.name, e.portKind);
    ASSERT_TRUE(p);
    EXPECT_EQ(Node(std::to_array(p->node)), e.node);
    EXPECT_EQ(p->adapterClass, e.adapterClass);
    EXPECT_EQ(p->flags, e.flags);
    EXPECT_EQ(p->connections, 0x8004u);
    EXPECT_STREQ(p->secondName, "");
    ids.push_back(p->portId);
  }
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(ids, (std::vector<std::uint16_t>{1, 2, 3, 4, 5, 6, 7, 8})) << "ids from 1, one per port";

  // Found again: the same ids, no new records.
  clearReports();
  EXPECT_EQ(ipx->enumerate(&collectPort), 0);
  EXPECT_EQ(ipx->portCount(), std::size(kWorld));
  EXPECT_EQ(reports().size(), std::size(kWorld));
  for (const NETPORTINFO& again : reports()) {
    const NETPORTINFO* first = reported(all, again.portName, again.portKind);
    ASSERT_TRUE(first);
    EXPECT_EQ(again.portId, first->portId);
  }
}

TEST_F(CorIpxDiscovery, RecordsKeepTheWireDetails) {
  sim.apply("KS.flash-capable = 1", {});
  start();
  ASSERT_EQ(ipx->enumerate(&collectPort), 0);
  const auto all = reports();
  const NETPORTINFO* ks = reported(all, "KESTREL_7", 0);
  const NETPORTINFO* pb = reported(all, "PORTBAY_1", 2);
  ASSERT_TRUE(ks && pb);
  const IPXPORT* k = ipx->FindPortById(ks->portId);
  const IPXPORT* p = ipx->FindPortById(pb->portId);
  ASSERT_TRUE(k && p);
  EXPECT_EQ(k->LpaAdapter, 1u);
  EXPECT_EQ(k->NodeAsIs, 0u);
  EXPECT_EQ(k->ReplyFlag, 0x40u);
  EXPECT_EQ(k->Address.socket, wire::kDataSocket);
  EXPECT_EQ(k->Address.node, k->Node) << "the sender's node as the adapter sent it";
  EXPECT_EQ(p->LpaAdapter, 0u);
  EXPECT_EQ(p->PortNumber, 2);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p->Password.data()), 7), "BAYPASS");
  EXPECT_EQ(ipx->FindPortByNumberAndNode(2, p->Node), p);
  EXPECT_EQ(ipx->FindPortById(99), nullptr);
}

// One adapter answering both queries: its NPA reply finds the port that its
// "LPA Parameters2" made by port number and node.
TEST_F(CorIpxTest, AnAdapterOnBothSocketsGetsOneRecordPerPort) {
  AdapterConfig single = profile("kestrel-single.adapter"), multi = profile("portbay-npa.adapter");
  single.universal = multi.universal = {0x00, 0x00, 0xC0, 0x33, 0x44, 0x55};
  single.name = multi.name = "BOTH";
  const Node t = tokenRingOrder(multi.universal, 2);
  ScriptedAdapter query(t, wire::kQuerySocket), data(t, wire::kDataSocket);
  const Bytes parameters = sim::adapter::AdapterModel(single).ipxParameters2(0);
  const Bytes npa = sim::adapter::AdapterModel(multi).ipxEnumeration();
  query.script([&](const Bytes& in) {
    return in[0] & wire::kAck ? std::vector<Bytes>{} : std::vector<Bytes>{ackOf(in), parameters};
  });
  data.script([&](const Bytes& in) {
    if (in[0] & wire::kAck) return std::vector<Bytes>{};
    if (in[3] != 0) return std::vector<Bytes>{ackOf(in)};
    return std::vector<Bytes>{ackOf(in), taggedPiece(in[2], 0, wire::kTagNpa, npa)};
  });
  clearReports();
  start();
  ASSERT_EQ(ipx->enumerate(&collectPort), 0);
  std::set<std::uint16_t> ids;
  for (const auto& p : reports()) ids.insert(p.portId);
  EXPECT_EQ(ids, (std::set<std::uint16_t>{1, 2, 3}));
  EXPECT_EQ(ipx->portCount(), 3u);
}

TEST_F(CorIpxDiscovery, ACallbackAnsweringZeroEndsTheEnumeration) {
  start();
  EXPECT_EQ(ipx->enumerate(&stopAtFirst), 0);
  EXPECT_EQ(reports().size(), 1u);
}

TEST_F(CorIpxDiscovery, ASecondEnumerationWhileOneCollectsReturnsAfterItsBroadcasts) {
  start();
  std::atomic<int> firstResult{-1};
  Thread first("first-enum", [&](std::stop_token) { firstResult = ipx->enumerate(&collectPort); });
  sleepFor(500);
  gSecondCollector = 0;
  EXPECT_EQ(ipx->enumerate(&countSecond), 0);
  first = Thread();
  EXPECT_EQ(firstResult.load(), 0);
  EXPECT_EQ(gSecondCollector.load(), 0) << "only the first collector reports";
  std::set<std::uint16_t> ids;
  for (const auto& p : reports()) ids.insert(p.portId);
  EXPECT_EQ(ids.size(), std::size(kWorld)) << "the answers to both broadcasts, each port once a reply";
}

TEST_F(CorIpxDiscovery, UntrustworthyRepliesReportNothing) {
  const char* faults[] = {"entry-length = 0", "entry-length = past-end", "garbage = 1", "npa-error = 1"};
  for (const char* fault : faults) {
    SCOPED_TRACE(fault);
    AdapterSimulator only;
    std::string error;
    AdapterConfig c = profile(std::string(fault).starts_with("npa") ? "portbay-npa.adapter" : "kestrel-single.adapter");
    c.universal = {0x00, 0x00, 0xC0, 0x01, 0x02, 0x03};
    c.name = "FAULTY";
    ASSERT_TRUE(only.addAdapter("F", c, &error)) << error;
    ASSERT_TRUE(only.apply(std::string("F.") + fault, {}, &error)) << error;
    ipx.reset();
    clearReports();
    start();
    EXPECT_EQ(ipx->enumerate(&collectPort), 0);
    for (const auto& p : reports()) EXPECT_STRNE(p.portName, "FAULTY");
  }
}

TEST_F(CorIpxDiscovery, AnUnterminatedNameKeepsTwentyFourCharacters) {
  sim.apply("KB.name-unterminated = 1", {});
  start();
  ASSERT_EQ(ipx->enumerate(&collectPort), 0);
  bool found = false;
  for (const auto& p : reports())
    if (p.adapterClass == 1) {
      EXPECT_EQ(std::string(p.portName), std::string(24, 'N'));
      found = true;
    }
  EXPECT_TRUE(found);
}

TEST_F(CorIpxDiscovery, EachPortIsFoundAgainByItsAddress) {
  start();
  ASSERT_EQ(ipx->enumerate(&collectPort), 0);
  const auto all = reports();
  for (const NETPORTINFO& p : all) {
    SCOPED_TRACE(std::string(p.portName) + " kind " + std::to_string(p.portKind));
    NETADDRESS address{};
    ASSERT_EQ(ipx->getSpecificAddr(p.portId, &address), 0);
    clearReports();
    EXPECT_EQ(ipx->enumSpecific(&address, &collectPort), 0);
    const auto again = reports();
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].portId, p.portId);
  }
  NETADDRESS unknown{};
  EXPECT_EQ(ipx->getSpecificAddr(99, &unknown), 1);

  NETADDRESS pb{};
  ASSERT_EQ(ipx->getSpecificAddr(reported(all, "PORTBAY_1", 1)->portId, &pb), 0);
  sim.apply("PB.silent = 1", {});
  clearReports();
  EXPECT_EQ(ipx->enumSpecific(&pb, &collectPort), 1) << "a silent adapter is not found";
  EXPECT_TRUE(reports().empty());
}

void writeNickname(const char* name, const NETADDRESS& address, std::uint8_t adapterClass, std::uint16_t kind) {
  const auto* a = reinterpret_cast<const std::uint8_t*>(&address);
  setCorIpxValue(name, "Address", REG_BINARY, Bytes(a + NETADDRESS_IPX_NODE, a + NETADDRESS_IPX_NODE + 6));
  setCorIpxValue(name, "NetAddress", REG_BINARY, Bytes(a + NETADDRESS_IPX_ADDRESS, a + NETADDRESS_IPX_ADDRESS + 14));
  setCorIpxValue(name, "AdapterType", REG_BINARY, {adapterClass});
  Bytes portType(2);
  storeLe16(portType.data(), kind);
  setCorIpxValue(name, "PortType", REG_BINARY, portType);
}

TEST_F(CorIpxDiscovery, LogicalPortsAreFoundByTheirRegistryNames) {
  start();
  ASSERT_EQ(ipx->enumerate(&collectPort), 0);
  const auto all = reports();
  struct Case {
    const char* nickname;
    const char* port;
    std::uint16_t kind;
  };
  const Case cases[] = {{"Lab Kestrel", "KESTREL_7", 0}, {"Desk B", "KESTREL_B", 0}, {"Bay two", "PORTBAY_1", 2}};
  for (const Case& c : cases) {
    const NETPORTINFO* p = reported(all, c.port, c.kind);
    ASSERT_TRUE(p);
    NETADDRESS address{};
    ASSERT_EQ(ipx->getSpecificAddr(p->portId, &address), 0);
    writeNickname(c.nickname, address, static_cast<std::uint8_t>(p->adapterClass), p->portKind);
  }
  setCorIpxValue("Broken", "Address", REG_BINARY, {1, 2, 3});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.nickname);
    clearReports();
    EXPECT_EQ(ipx->enumSpecificPort(c.nickname, &collectPort), 0);
    const auto found = reports();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_STREQ(found[0].portName, c.port);
    EXPECT_STREQ(found[0].secondName, c.nickname);
  }
  EXPECT_EQ(ipx->enumSpecificPort("Nobody", &collectPort), 1);
  EXPECT_EQ(ipx->enumSpecificPort("lab kestrel", &collectPort), 1) << "names compare exactly";
  EXPECT_EQ(ipx->enumSpecificPort("Broken", &collectPort), 1);
  // A name is read within the broker's 20-byte descriptor.
  char descriptor[20];
  std::memset(descriptor, 'X', sizeof descriptor);
  EXPECT_EQ(ipx->enumSpecificPort(descriptor, &collectPort), 1);

  // The next global enumeration names the ports too.
  clearReports();
  ASSERT_EQ(ipx->enumerate(&collectPort), 0);
  const auto named = reports();
  EXPECT_STREQ(reported(named, "PORTBAY_1", 2)->secondName, "Bay two");
  EXPECT_STREQ(reported(named, "PORTBAY_1", 1)->secondName, "");
}

TEST_F(CorIpxDiscovery, ShutDownAfterAnEnumerationStopsEverything) {
  start();
  ASSERT_EQ(ipx->enumerate(&collectPort), 0);
  ipx->shutDown();
  EXPECT_EQ(ipx->enumerate(&collectPort), 1);
  NETADDRESS address{};
  EXPECT_EQ(ipx->enumSpecific(&address, &collectPort), 1);
  EXPECT_EQ(ipx->enumSpecificPort("x", &collectPort), 1);
}

// ---- The library: the contract and its exports ------------------------------------------

std::unique_ptr<AdapterSimulator> gContractWorld;

// Two single-port adapters: a rename concerns one port only, so each raises one event.
transports::testing::ContractSubject corIpxSubject() {
  transports::testing::ContractSubject s;
  s.name = "coripx32";
  s.fileName = "CORIPX32.DLL";
  s.networkBit = BCE_NET_IPX;
  s.unknownAddressAnswer = NET_FAIL;
  s.unknownOpenAnswer = NET_FAIL;
  s.unknownWriteAnswer = NET_OKAY;
  s.secondRegistrationRefused = true;
  s.prepare = [](transports::testing::TransportHarness&) {
    setTimeScaleForTest(0.1);
    gContractWorld = std::make_unique<AdapterSimulator>();
    std::string error;
    AdapterConfig kb = profile("kestrel-single.adapter");
    kb.universal = {0x00, 0x00, 0xC0, 0x5B, 0x22, 0x09};
    kb.name = "KESTREL_B";
    ASSERT_TRUE(gContractWorld->addAdapter("KA", profile("kestrel-single.adapter"), &error)) << error;
    ASSERT_TRUE(gContractWorld->addAdapter("KB", kb, &error)) << error;
  };
  // An alert goes to the host that last sent the port a request: a request
  // first, then both adapters raise one; only the opened port's reaches a callback.
  s.deliverData = [](transports::testing::TransportHarness& h, std::uint16_t port) {
    ASSERT_GT(h.write(port, {0xA5, 0x00, 0x03, 0x50, 0x01, 0x00}, 256, 0).result, 0);
    const std::string alert = {'\xA5', 0x00, 0x04, 0x00, '\xF0', 0x01, 0x02};
    int raised = 0;
    for (const char* id : {"KA", "KB"}) raised += gContractWorld->adapter(id)->raiseAlert(1, alert);
    EXPECT_GE(raised, 1);
  };
  // Set 5 renames the adapter; the name changes each time, as a used one is refused.
  s.raiseEvent = [](transports::testing::TransportHarness& h, std::uint16_t port) {
    static int renames = 0;
    char name[25] = {};
    std::snprintf(name, sizeof name, "Renamed %d", ++renames);
    EXPECT_EQ(h.setInfo(h.handleOf(port), 5, name, sizeof name), NET_OKAY);
  };
  return s;
}

INSTANTIATE_TEST_SUITE_P(CorIpx, TransportContract, ::testing::Values(corIpxSubject()),
                         [](const auto& info) { return info.param.name; });

TEST(CorIpxLibrary, ExportsItsVersionAndUnloadsCleanWithoutShutDown) {
  setTimeScaleForTest(0.1);
  AdapterSimulator world;
  std::string error;
  ASSERT_TRUE(world.addAdapter("PB", profile("portbay-npa.adapter"), &error)) << error;
  auto harness = transports::testing::TransportHarness::load("CORIPX32.DLL", BCE_NET_IPX, &error);
  ASSERT_TRUE(harness) << error;
  ASSERT_TRUE(harness->entries().NetGetVersion);
  EXPECT_EQ(harness->entries().NetGetVersion(), 0x0B11);
  EXPECT_EQ(harness->enumerate(), NET_OKAY);
  EXPECT_EQ(harness->reports().size(), 3u);
  harness.reset();  // detach stops and joins the threads; ASan watches
  setTimeScaleForTest(1);
}

}  // namespace
}  // namespace wf::coripx::testing
