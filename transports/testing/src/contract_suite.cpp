// The contract suite itself; linked as objects into each transport's tests.
#include "transports/testing/contract_suite.h"

#include <algorithm>
#include <cstring>

namespace wf::transports::testing {
namespace {

// Time the transport gets to deliver what a test waits for (scaled).
constexpr std::uint32_t kDeliveryWait = 10'000;

std::uint16_t unknownPort(const std::vector<std::uint16_t>& known) {
  std::uint16_t id = 0xFFFE;
  while (std::find(known.begin(), known.end(), id) != known.end()) --id;
  return id;
}

}  // namespace

void TransportContract::SetUp() {
  std::string error;
  harness = TransportHarness::load(GetParam().fileName, GetParam().networkBit, &error);
  ASSERT_TRUE(harness) << error;
  GetParam().prepare(*harness);
}

std::vector<std::uint16_t> TransportContract::enumeratePorts() {
  EXPECT_EQ(harness->enumerate(), NET_OKAY);
  std::vector<std::uint16_t> ids;
  for (const NETPORTINFO& p : harness->reports())
    if (std::find(ids.begin(), ids.end(), p.portId) == ids.end()) ids.push_back(p.portId);
  EXPECT_GE(ids.size(), 2u) << "the subject must bring up two ports";
  return ids;
}

TEST_P(TransportContract, UnknownPortIdIsRefusedAndCloseDoesNothing) {
  const auto ids = enumeratePorts();
  ASSERT_GE(ids.size(), 2u);
  const std::uint16_t unknown = unknownPort(ids);
  const NetEntryPoints& f = harness->entries();

  NETADDRESS address{};
  if (f.NetGetSpecificAddr) {
    EXPECT_EQ(f.NetGetSpecificAddr(unknown, &address), GetParam().unknownAddressAnswer);
    const NETADDRESS zero{};
    EXPECT_EQ(std::memcmp(&address, &zero, sizeof address), 0) << "an unknown id fills nothing";
  }
  if (f.NetOpen) {
    EXPECT_EQ(harness->open(unknown), GetParam().unknownOpenAnswer);
  }
  if (f.NetWrite) {
    EXPECT_EQ(harness->write(unknown, {0xA5, 0x00, 0x02, 0x10, 0x01}, 64, 1).result, GetParam().unknownWriteAnswer);
  }
  std::uint8_t buffer[64] = {};
  std::uint16_t length = sizeof buffer;
  if (f.NetGetInfo) {
    EXPECT_EQ(f.NetGetInfo(unknown, 129, buffer, &length, nullptr), GetParam().unknownInfoAnswer);
  }
  if (f.NetSetInfo) {
    EXPECT_EQ(f.NetSetInfo(unknown, 129, buffer, sizeof buffer), GetParam().unknownInfoAnswer);
  }

  // Closing an unknown id leaves an opened port delivering.
  if (!f.NetOpen || !GetParam().deliverData) GTEST_SKIP() << "the transport delivers no data yet";
  ASSERT_EQ(harness->open(ids[0]), NET_OKAY);
  if (f.NetClose) f.NetClose(unknown);
  GetParam().deliverData(*harness, ids[0]);
  ASSERT_TRUE(harness->waitForPackets(1, kDeliveryWait));
  EXPECT_EQ(harness->packets()[0].portId, ids[0]);
  EXPECT_EQ(harness->packets()[0].transportIndex, harness->transportIndex());
}

TEST_P(TransportContract, CallbackAnsweringZeroEndsTheWalk) {
  harness->scriptEnumAnswers({0});
  EXPECT_EQ(harness->enumerate(), GetParam().stoppedWalkAnswer);
  EXPECT_EQ(harness->reports().size(), 1u);
  // The next walk is not affected.
  harness->clearReports();
  EXPECT_EQ(harness->enumerate(), NET_OKAY);
  EXPECT_GE(harness->reports().size(), 2u);
}

TEST_P(TransportContract, SecondRegistrationReplacesTheFirstAndUnregisterSilences) {
  if (!harness->entries().NetRegisterCallback || !GetParam().raiseEvent)
    GTEST_SKIP() << "the transport raises no events yet";
  const auto ids = enumeratePorts();
  ASSERT_GE(ids.size(), 2u);
  ASSERT_EQ(harness->registerEvents(), NET_OKAY);
  GetParam().raiseEvent(*harness, ids[1]);
  ASSERT_TRUE(harness->waitForEvents(1, kDeliveryWait));
  EXPECT_FALSE(harness->events()[0].toAlternate);
  EXPECT_EQ(harness->events()[0].kind, harness->networkBit());
  EXPECT_EQ(harness->events()[0].portId, ids[1]);

  const bool refused = GetParam().secondRegistrationRefused;
  ASSERT_EQ(harness->registerEvents(true), refused ? NET_FAIL : NET_OKAY);
  GetParam().raiseEvent(*harness, ids[1]);
  ASSERT_TRUE(harness->waitForEvents(2, kDeliveryWait));
  EXPECT_EQ(harness->events()[1].toAlternate, !refused) << "the callback in force gets the event";

  harness->unregisterEvents();
  GetParam().raiseEvent(*harness, ids[1]);
  EXPECT_EQ(harness->events().size(), 2u);
}

TEST_P(TransportContract, WriteAnswersTheDataLength) {
  if (!harness->entries().NetWrite) GTEST_SKIP() << "the transport exports no NetWrite yet";
  const auto ids = enumeratePorts();
  ASSERT_FALSE(ids.empty());
  const std::vector<std::uint8_t> packet = {0xA5, 0x00, 0x03, 0x00, 0x01, 0x00};
  EXPECT_EQ(harness->write(ids[0], packet, 0, 1).result, static_cast<std::int32_t>(packet.size()));
}

TEST_P(TransportContract, InformationCallsTranslateHandlesAsTheBroker) {
  if (!harness->entries().NetGetInfo || !harness->entries().NetSetInfo)
    GTEST_SKIP() << "the transport exports no information calls yet";
  const auto ids = enumeratePorts();
  ASSERT_FALSE(ids.empty());
  std::uint8_t buffer[256] = {};
  std::uint16_t length = sizeof buffer;
  // An unreported handle never reaches the transport.
  EXPECT_EQ(harness->getInfo(kFirstHandle + 50, 129, buffer, &length), 0xFFF8);
  EXPECT_EQ(harness->setInfo(kFirstHandle + 50, 129, buffer, 0), 0xFFF8);
  // Whatever the transport answers comes back as a 16-bit value.
  const std::int32_t r = harness->getInfo(harness->handleOf(ids[0]), 0x7FFF, buffer, &length);
  EXPECT_GE(r, 0);
  EXPECT_LE(r, 0xFFFF);
}

TEST_P(TransportContract, ShutDownIsBoundOnlyUnderItsExactName) {
  EXPECT_EQ(harness->entries().NetShutDown != nullptr, GetParam().exportsShutDown);
  EXPECT_EQ(harness->shutDown(), GetParam().exportsShutDown);
}

}  // namespace wf::transports::testing
