// Start-up: settings, trace log, largest packet, the socket; the receive
// pool and its acknowledgements; shutdown.
#include <sys/stat.h>

#include <filesystem>

#include "coripx_fixture.h"
#include "platform/runtime_dir.h"

namespace wf::coripx::testing {
namespace {

using CorIpxStartup = CorIpxTest;

TEST_F(CorIpxStartup, ANewKeyGetsBothDefaults) {
  start();
  EXPECT_EQ(corIpxValue("Trace"), Bytes{0});
  EXPECT_EQ(corIpxValue("EnumTimeout"), (Bytes{0x88, 0x13, 0, 0}));
  EXPECT_EQ(ipx->enumTimeout(), 5000u);
  EXPECT_EQ(logText(), "") << "trace off: no log";
}

TEST_F(CorIpxStartup, AKeyWithoutEnumTimeoutGetsItWrittenBack) {
  setCorIpxValue(nullptr, "Trace", REG_BINARY, {1});
  start();
  EXPECT_EQ(corIpxValue("EnumTimeout"), (Bytes{0x88, 0x13, 0, 0}));
  const std::string log = logText();
  EXPECT_NE(log.find(" - Timeout = 1388\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" - max=1470\r\n"), std::string::npos) << log;
}

TEST_F(CorIpxStartup, TheLogIsMadeAnewAtEachStart) {
  setCorIpxValue(nullptr, "Trace", REG_BINARY, {1});
  const auto file = mapSystemPath(kLogFile);
  ASSERT_TRUE(file);
  { std::ofstream(*file) << "left from before\n"; }
  start();
  EXPECT_EQ(logText().find("left from before"), std::string::npos);
}

TEST_F(CorIpxStartup, ValuesOfAnotherTypeOrSizeCountAsDefaultsAndStay) {
  setCorIpxValue(nullptr, "Trace", REG_BINARY, {1});
  setCorIpxValue(nullptr, "EnumTimeout", REG_DWORD, {0x10, 0x27, 0, 0});
  start();
  EXPECT_EQ(ipx->enumTimeout(), 5000u);
  EXPECT_EQ(corIpxValue("EnumTimeout"), (Bytes{0x10, 0x27, 0, 0}));
  EXPECT_NE(logText().find("EnumTimeout has an unexpected type or size"), std::string::npos);
  ipx.reset();
  setCorIpxValue(nullptr, "EnumTimeout", REG_BINARY, {0x10, 0x27, 0, 0});
  start();
  EXPECT_EQ(ipx->enumTimeout(), 10000u);
}

TEST_F(CorIpxStartup, TheLargestPacketIsTheNetworksUpTo4136) {
  setCorIpxValue(nullptr, "Trace", REG_BINARY, {1});
  {
    ScopedEnv big("WRENFIELD_IPX_MAXDG", "5000");
    start();
    EXPECT_EQ(ipx->maxPacket(), 4136u);
    EXPECT_NE(logText().find(" - max=4136\r\n"), std::string::npos);
    ipx.reset();
  }
  ScopedEnv small("WRENFIELD_IPX_MAXDG", "900");
  start();
  EXPECT_EQ(ipx->maxPacket(), 900u);
}

TEST_F(CorIpxStartup, AnUnwritableLogLeavesTheTransportRunning) {
  setCorIpxValue(nullptr, "Trace", REG_BINARY, {1});
  const auto file = mapSystemPath(kLogFile);
  ASSERT_TRUE(file);
  std::filesystem::create_directories(*file);  // a directory where the log should be
  start();
  EXPECT_NE(ipx->localSocket(), 0);
}

TEST_F(CorIpxStartup, NoSocketFailsAfterTheWaitAndIsNotTriedAgain) {
  setTimeScaleForTest(0.002);
  setCorIpxValue(nullptr, "Trace", REG_BINARY, {1});
  const auto segment = runtimePath("ipx");
  ASSERT_TRUE(segment);
  std::filesystem::remove_all(*segment);
  { std::ofstream(*segment) << "not a directory"; }
  ipx = std::make_unique<CorIpx>();
  EXPECT_FALSE(ipx->ensureStarted());
  EXPECT_NE(logText().find("bind failed err = 10050"), std::string::npos) << logText();
  std::filesystem::remove(*segment);
  EXPECT_FALSE(ipx->ensureStarted()) << "the initialisation runs once";
  EXPECT_EQ(ipx->enumerate(nullptr), 1);
}

// ---- Receive pool --------------------------------------------------------------------------

Received datagramFrom(std::uint16_t socket, std::uint32_t ticks, std::uint8_t first = 0) {
  Received d;
  d.bytes = {first, 4, 0, 7};
  d.from = addressOf(kPeerNode, socket);
  d.ticks = ticks;
  return d;
}

TEST(ReceivePool, TheSeventySixthIsDroppedUnlessOldOnesCanGo) {
  ReceivePool pool;
  for (std::size_t i = 1; i <= ReceivePool::kSlots; ++i) ASSERT_EQ(pool.put(datagramFrom(0x861F, tickCount())), i);
  EXPECT_EQ(pool.put(datagramFrom(0x861F, tickCount())), 0u);

  ReceivePool aged;
  const std::uint32_t minuteAgo = tickCount() - 61'000;
  for (std::size_t i = 0; i < ReceivePool::kSlots; ++i) aged.put(datagramFrom(0x861F, i < 5 ? minuteAgo : tickCount()));
  EXPECT_EQ(aged.put(datagramFrom(0x861F, tickCount())), ReceivePool::kSlots - 4) << "five old ones freed";
  EXPECT_EQ(aged.sweep(), 0u);
}

TEST(ReceivePool, ASweepFreesOnlyOldDatagrams) {
  ReceivePool pool;
  pool.put(datagramFrom(0x861F, tickCount() - 61'000));
  pool.put(datagramFrom(0x861E, tickCount()));
  EXPECT_EQ(pool.sweep(), 1u);
  EXPECT_EQ(pool.count(), 1u);
  auto left = pool.take([](const Received& d) { return d.from.socket == 0x861E; });
  EXPECT_TRUE(left);
  EXPECT_EQ(pool.count(), 0u);
}

TEST_F(CorIpxStartup, OnlyTheAdaptersSocketsAreQueuedAndAcknowledged) {
  start();
  ScriptedAdapter other(kPeerNode, 0x4001), data(kPeerNode, wire::kDataSocket);
  const Bytes packet = {0, 0x0D, 0x21, 9, 0xCA, 0xFE, 3, 0, 0, 0};
  other.send(packet, hostAddress());
  data.send(Bytes{0xFF, 0x0D, 0x21, 9, 0xCA, 0xFE, 3, 0, 0, 0}, hostAddress());
  data.send(packet, hostAddress());
  ASSERT_TRUE(wf::testing::eventually([&] { return !data.acknowledgements().empty(); }));
  EXPECT_EQ(data.acknowledgements(), std::vector<Bytes>{ackOf(packet)});
  EXPECT_TRUE(other.arrivals().empty());
  EXPECT_TRUE(wf::testing::eventually([&] { return ipx->pool().count() == 1; }));
  const auto queued = ipx->pool().take([](const Received&) { return true; });
  ASSERT_TRUE(queued);
  EXPECT_EQ(queued->bytes, packet);
}

// The three destinations of an acknowledgement: as received while no port
// is addressed bit-reversed; always reversed while every port is; and, with
// both kinds known, by the sender's own port.
TEST_F(CorIpxStartup, AcknowledgementsGoWhereTheSendersPortIsAddressed) {
  start();
  const Node reversedNode = reverseNode(kPeerNode);
  const Node otherNode = {0x00, 0x00, 0xC0, 0x77, 0x00, 0x02};
  ScriptedAdapter asSent(kPeerNode, wire::kDataSocket), reversed(reversedNode, wire::kDataSocket);
  ScriptedAdapter other(otherNode, wire::kDataSocket), otherReversed(reverseNode(otherNode), wire::kDataSocket);
  const Bytes packet = {0, 0x0D, 0x21, 9, 0xCA, 0xFE, 3, 0, 0, 0};

  asSent.send(packet, hostAddress());
  ASSERT_TRUE(wf::testing::eventually([&] { return asSent.acknowledgements().size() == 1; }));

  portAt(kPeerNode, 1, false);
  asSent.send(packet, hostAddress());
  ASSERT_TRUE(wf::testing::eventually([&] { return reversed.acknowledgements().size() == 1; }));

  portAt(otherNode, 1, true);
  asSent.send(packet, hostAddress());
  other.send(packet, hostAddress());
  ASSERT_TRUE(wf::testing::eventually([&] { return reversed.acknowledgements().size() == 2; }));
  ASSERT_TRUE(wf::testing::eventually([&] { return other.acknowledgements().size() == 1; }));
  EXPECT_EQ(asSent.acknowledgements().size(), 1u);
  EXPECT_TRUE(otherReversed.acknowledgements().empty());
}

TEST_F(CorIpxStartup, ShutDownJoinsEveryThreadAndLaterCallsFail) {
  start();
  portAt(kPeerNode, 1);
  ipx->shutDown();
  EXPECT_TRUE(ipx->shutDownDone());
  EXPECT_FALSE(ipx->ensureStarted());
  EXPECT_EQ(ipx->enumerate(nullptr), 1);
  NETADDRESS address{};
  EXPECT_EQ(ipx->getSpecificAddr(1, &address), 1);
  ipx->shutDown();
}

}  // namespace
}  // namespace wf::coripx::testing
