// The contract suite against the mock transport under each transport's file
// name, and the harness's broker-side translation seen from the transport.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <string>

#include "broker/tests/mock_transport/mock_transport.h"
#include "transports/testing/contract_suite.h"

namespace wf::transports::testing {
namespace {

template <typename Fn>
Fn mockControl(TransportHarness& h, const char* name) {
  Fn f = moduleEntryAs<Fn>(h.module(), name);
  if (!f) ADD_FAILURE() << "the mock lacks " << name;
  return f;
}

NETPORTINFO mockPort(std::uint16_t id, std::uint8_t nodeByte) {
  NETPORTINFO p{};
  std::snprintf(p.portName, sizeof p.portName, "PORT_%u", id);
  p.portId = id;
  p.node[5] = nodeByte;
  p.adapterClass = 2;
  return p;
}

void useMockDirectory() {
  ::setenv("WRENFIELD_MODULE_PATH", (moduleDirectory() / "mock-transports").c_str(), 1);
}

ContractSubject mockSubject(const char* file, std::uint32_t bit, bool exportsShutDown) {
  ContractSubject s;
  s.name = file;
  s.fileName = file;
  s.networkBit = bit;
  s.exportsShutDown = exportsShutDown;
  s.prepare = [](TransportHarness& h) {
    mockControl<decltype(&MockTransportReset)>(h, "MockTransportReset")();
    auto add = mockControl<decltype(&MockTransportAddPort)>(h, "MockTransportAddPort");
    const NETPORTINFO a = mockPort(7, 1), b = mockPort(9, 2);
    add(&a);
    add(&b);
  };
  s.raiseEvent = [](TransportHarness& h, std::uint16_t port) {
    mockControl<decltype(&MockTransportRaiseEvent)>(h, "MockTransportRaiseEvent")(port, NETEVENT_RESYNC,
                                                                                  nullptr);
  };
  s.deliverData = [](TransportHarness& h, std::uint16_t port) {
    static const std::uint8_t alert[] = {0xA5, 0x00, 0x05, 0x00, 0xFF, 0x01, 0x02, 0x03};
    mockControl<decltype(&MockTransportInjectData)>(h, "MockTransportInjectData")(port, alert, sizeof alert);
  };
  return s;
}

class MockModulePath : public ::testing::Environment {
  void SetUp() override { useMockDirectory(); }
};
const auto* const mockPath = ::testing::AddGlobalTestEnvironment(new MockModulePath);

INSTANTIATE_TEST_SUITE_P(Mock, TransportContract,
                         ::testing::Values(mockSubject("cornw32", BCE_NET_NETWARE, true),
                                           mockSubject("corip32", BCE_NET_IP, true),
                                           mockSubject("coripx32", BCE_NET_IPX, true),
                                           mockSubject("corcl32", BCE_NET_CORLINK, false),
                                           mockSubject("corp2p32", BCE_NET_PEER, true)),
                         [](const auto& info) { return info.param.name; });

class HarnessTranslation : public ::testing::Test {
 protected:
  void SetUp() override {
    useMockDirectory();
    std::string error;
    harness = TransportHarness::load("CORIPX32.DLL", BCE_NET_IPX, &error);
    ASSERT_TRUE(harness) << error;
    mockSubject("coripx32", BCE_NET_IPX, true).prepare(*harness);
    ASSERT_EQ(harness->enumerate(), NET_OKAY);
  }
  std::string calls() {
    char log[4096];
    mockControl<decltype(&MockTransportCallLog)>(*harness, "MockTransportCallLog")(log, sizeof log);
    return log;
  }
  std::unique_ptr<TransportHarness> harness;
};

TEST_F(HarnessTranslation, HandlesMapToReportedPortIdsAndTheWorkstationPassesThrough) {
  ASSERT_EQ(harness->handleOf(7), kFirstHandle);
  ASSERT_EQ(harness->handleOf(9), kFirstHandle + 1);
  char buffer[64] = {};
  std::uint16_t length = sizeof buffer;
  EXPECT_EQ(harness->getInfo(kFirstHandle + 1, 135, buffer, &length), NET_OKAY);
  EXPECT_EQ(std::string(buffer, length), "info-9-135");
  length = sizeof buffer;
  EXPECT_EQ(harness->getInfo(BCE_WORKSTATION_HANDLE, 8, buffer, &length), NET_OKAY);
  EXPECT_EQ(std::string(buffer, length), "info-65535-8");
  EXPECT_EQ(harness->setInfo(kFirstHandle, 136, "x", 1), NET_OKAY);
  EXPECT_NE(calls().find("NetSetInfo 7 136 x"), std::string::npos) << calls();
  // A negative answer comes back zero-extended.
  length = sizeof buffer;
  EXPECT_EQ(harness->getInfo(kFirstHandle, 8, nullptr, &length), 0xFFF7);
}

TEST_F(HarnessTranslation, WriteCarriesTheStatusHintAndReportsATruncatedReply) {
  const std::uint8_t reply[] = {0xA5, 0x00, 0x04, 0x10, 0x01, 0xAA, 0xBB};
  mockControl<decltype(&MockTransportSetWriteReply)>(*harness, "MockTransportSetWriteReply")(reply,
                                                                                             sizeof reply);
  const WriteOutcome out = harness->write(9, {0xA5, 0x00, 0x02, 0x10, 0x01}, 4, 1);
  EXPECT_EQ(out.result, 5);
  EXPECT_EQ(out.status, NET_STATUS_TRUNCATED);
  EXPECT_EQ(out.replyLength, sizeof reply);
  EXPECT_EQ(out.reply, std::vector<std::uint8_t>(reply, reply + 4));
  EXPECT_NE(calls().find("NetWrite 9 1 status 0"), std::string::npos) << calls();
}

TEST_F(HarnessTranslation, SpecificEnumerationsReportThroughTheSameCallback) {
  harness->clearReports();
  NETADDRESS address{};
  address.ipx[5] = 2;  // the node of port 9 at the IPX part's node offset
  EXPECT_EQ(harness->enumSpecific(address), NET_OKAY);
  ASSERT_EQ(harness->reports().size(), 1u);
  EXPECT_EQ(harness->reports()[0].portId, 9);
  address.ipx[5] = 3;
  EXPECT_EQ(harness->enumSpecific(address), NET_FAIL);
  EXPECT_EQ(harness->enumSpecificPort("NO_SUCH_PORT"), NET_FAIL);
  EXPECT_EQ(harness->reports().size(), 1u);
}

TEST_F(HarnessTranslation, EventsCarryTheNewNameOrNode) {
  ASSERT_EQ(harness->registerEvents(), NET_OKAY);
  auto raise = mockControl<decltype(&MockTransportRaiseEvent)>(*harness, "MockTransportRaiseEvent");
  char name[BCE_NAME_LENGTH] = "NEWNAME_P1";
  const std::uint8_t node[6] = {1, 2, 3, 4, 5, 6};
  raise(7, NETEVENT_RENAMED, name);
  raise(9, NETEVENT_ADDRESS_CHANGED, node);
  ASSERT_TRUE(harness->waitForEvents(2, 10'000));
  const auto events = harness->events();
  EXPECT_EQ(events[0].code, static_cast<std::uint32_t>(NETEVENT_RENAMED));
  EXPECT_EQ(events[0].name, "NEWNAME_P1");
  EXPECT_EQ(events[1].portId, 9u);
  EXPECT_EQ(events[1].node, (std::array<std::uint8_t, 6>{1, 2, 3, 4, 5, 6}));
}

TEST(TransportHarnessLoad, OneHarnessAtATimeAndMissingLibrariesFail) {
  useMockDirectory();
  std::string error;
  EXPECT_FALSE(TransportHarness::load("nosuch32.dll", BCE_NET_IPX, &error));
  EXPECT_NE(error.find("nosuch32"), std::string::npos);
  auto first = TransportHarness::load("cornw32", BCE_NET_NETWARE, &error);
  ASSERT_TRUE(first) << error;
  EXPECT_FALSE(TransportHarness::load("corip32", BCE_NET_IP, &error));
  first.reset();
  EXPECT_TRUE(TransportHarness::load("corip32", BCE_NET_IP, &error)) << error;
}

TEST(TransportHarnessLoad, MissingEntryPointsAnswerOneAndNearMissNamesStayUnbound) {
  // The platform's test library exports only NetGetVersion and "NetShutdown".
  ::setenv("WRENFIELD_MODULE_PATH", (moduleDirectory() / "testmodules").c_str(), 1);
  std::string error;
  auto h = TransportHarness::load("testnet32", BCE_NET_CORLINK, &error);
  ASSERT_TRUE(h) << error;
  EXPECT_TRUE(h->entries().NetGetVersion);
  std::uint16_t length = 0;
  EXPECT_EQ(h->getInfo(BCE_WORKSTATION_HANDLE, 8, nullptr, &length), NET_FAIL);
  EXPECT_EQ(h->setInfo(BCE_WORKSTATION_HANDLE, 18, nullptr, 0), NET_FAIL);
  EXPECT_EQ(h->enumerate(), NET_FAIL);
  EXPECT_EQ(h->write(0, {1}, 0, 0).result, NET_FAIL);
  EXPECT_FALSE(h->shutDown());
}

}  // namespace
}  // namespace wf::transports::testing
