// The exchange with adapters, NetWrite and the packets adapters send unasked,
// and the transport contract run on Cornw32.
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <random>

#include "exchange.h"
#include "netware_fixture.h"
#include "transports/testing/contract_suite.h"

namespace wf::netware::testing {
namespace {

IpxAddress at(std::array<std::uint8_t, 4> net, Node node, std::uint16_t socket) {
  IpxAddress a;
  a.network = net;
  a.node = node;
  a.socket = socket;
  return a;
}

struct Outcome {
  int rc = 0;
  Bytes reply;
};

Outcome exchange(const IpxAddress& to, const Bytes& request, bool npa, std::uint32_t capacity = 512,
                 std::uint32_t timeout = wire::kBaseTimeout) {
  Outcome o;
  o.reply.resize(capacity);
  std::uint32_t length = capacity;
  ExchangeRequest r;
  r.to = to;
  r.request = request;
  r.reply = o.reply.data();
  r.replyLength = &length;
  r.timeoutMs = timeout;
  r.npa = npa;
  o.rc = sendToTheBox(r);
  o.reply.resize(length);
  return o;
}

class Exchange : public NetWareTest {};

TEST_F(Exchange, FragmentsArrivingOutOfOrderAreJoinedInNumberOrder) {
  startAdapter("PB", profile("portbay-npa.adapter"));
  const Bytes read = wire::VariableRead().add(6, 255).packet();
  auto fetch = [&](std::vector<std::uint16_t> order) {
    sim.adapter("PB")->withModel([&](auto& m) { m.config().knobs.fragmentOrder = order; });
    return exchange(at(kNet1, kPbNode, wire::kVariableSocket), read, true);
  };
  const auto inOrder = fetch({0, 1, 2});
  ASSERT_EQ(inOrder.rc, NET_OKAY);
  const auto shuffled = fetch({2, 0, 1});
  ASSERT_EQ(shuffled.rc, NET_OKAY);
  EXPECT_EQ(shuffled.reply, inOrder.reply);
  // Each piece keeps its own packet header; fragment 0's comes first.
  ASSERT_GE(shuffled.reply.size(), 5u);
  EXPECT_EQ(shuffled.reply[0], wire::kNpaStart);
  EXPECT_TRUE(shuffled.reply[3] & wire::kNpaMore);
  // A missing fragment never completes.
  EXPECT_EQ(fetch({0, 2}).rc, NET_READFAIL);
}

TEST_F(Exchange, MissingOrOversizedRepliesAreReadFailures) {
  startAdapter("PB", profile("portbay-npa.adapter"));
  const Bytes read = wire::VariableRead().add(6, 255).packet();
  const auto small = exchange(at(kNet1, kPbNode, wire::kVariableSocket), read, true, 10);
  EXPECT_EQ(small.rc, NET_READFAIL);
  EXPECT_TRUE(small.reply.empty());
  sim.adapter("PB")->withModel([](auto& m) { m.config().knobs.silent = true; });
  EXPECT_EQ(exchange(at(kNet1, kPbNode, wire::kVariableSocket), read, true).rc, NET_READFAIL);
  EXPECT_EQ(
      exchange(at(kNet1, kPbNode, wire::kCommandSocket), wire::textCommand(wire::kTagQueryParameters), false)
          .rc,
      NET_READFAIL);
  // A time-out of 0 sends and answers at once.
  EXPECT_EQ(exchange(at(kNet1, kPbNode, wire::kCommandSocket), wire::textCommand(wire::kTagPowerOnReset),
                     false, 512, 0)
                .rc,
            NET_OKAY);
}

TEST_F(Exchange, CommandStatusElevenIsMinus1150) {
  startAdapter("KS", profile("kestrel-single.adapter"));
  const IpxAddress to = at(kNet1, kKsNode, wire::kCommandSocket);
  EXPECT_EQ(exchange(to, wire::textCommand(wire::kTagUpdateNvram), false).rc, NET_OKAY);
  sim.adapter("KS")->withModel([](auto& m) { m.config().knobs.commandStatus = 11; });
  EXPECT_EQ(exchange(to, wire::textCommand(wire::kTagUpdateNvram), false).rc, NET_ADAPTER_STATUS_11);
  sim.adapter("KS")->withModel([](auto& m) { m.config().knobs.commandStatus = 3; });
  EXPECT_EQ(exchange(to, wire::textCommand(wire::kTagUpdateNvram), false).rc, NET_FAIL);
}

TEST_F(Exchange, ServerListingAboveFiveNamesTakesASecondDatagram) {
  FakeSocket adapter(kNet1, kKsNode, wire::kCommandSocket);
  std::uint8_t count = 0;
  adapter.answerWith([&](const Bytes&) {
    Bytes first = wire::textCommand(wire::kTagServerListing);
    first[wire::listing::kCount] = count;
    first.resize(wire::listing::kFirstDatagram, 'A');
    std::vector<Bytes> out{first};
    if (count > 5) out.push_back(Bytes(wire::listing::kNames + 48, 'B'));
    return out;
  });
  const IpxAddress to = at(kNet1, kKsNode, wire::kCommandSocket);
  count = 5;
  EXPECT_EQ(exchange(to, wire::textCommand(wire::kTagListServers), false).reply.size(),
            wire::listing::kFirstDatagram);
  count = 6;
  const auto two = exchange(to, wire::textCommand(wire::kTagListServers), false);
  EXPECT_EQ(two.rc, NET_OKAY);
  EXPECT_EQ(two.reply.size(), wire::listing::kFirstDatagram + wire::listing::kNames + 48);
  // The second datagram fills only the room left.
  EXPECT_EQ(exchange(to, wire::textCommand(wire::kTagListServers), false, 300).reply.size(), 300u);
}

// KS with NPA off (so the simulator opens no data channel for it) behind a
// fake data channel, which learns the shared socket from a write sent there.
class DataChannel : public NetWareTest {
 protected:
  void SetUp() override {
    NetWareTest::SetUp();
    AdapterConfig ks = profile("kestrel-single.adapter");
    ks.npa = false;
    startAdapter("KS", ks);
    giveWorld(kWorld);
    ASSERT_TRUE(loadTransport());
    ASSERT_EQ(harness->enumerate(), NET_OKAY);
    ASSERT_EQ(harness->reports().size(), 1u);
    port = harness->reports()[0].portId;
    ASSERT_EQ(write(0x44, 0).result, 6);
    ASSERT_TRUE(channel.waitFor(1));
    shared = channel.lastSource();
  }
  // Answers every packet but the host packet size with a reply to its command.
  void answerEach(std::size_t dataBytes) {
    channel.answerWith([dataBytes](const Bytes& in) -> std::vector<Bytes> {
      if (in == wire::hostPacketSize() || in.size() < 5) return {};
      return {npaDatagram(0, wire::kNpaReply, in[4], Bytes(dataBytes, 0x5A))};
    });
  }
  transports::testing::WriteOutcome write(std::uint16_t command, std::uint32_t capacity) {
    return harness->write(port, {wire::kNpaStart, 0x00, 0x03, 0x10, static_cast<std::uint8_t>(command), 0x00},
                          capacity, command);
  }

  FakeSocket channel{kNet1, kKsNode, wire::kDataChannelSocket};
  std::uint16_t port = 0;
  IpxAddress shared;
};

TEST_F(DataChannel, WriteCopiesWhatFitsAndAnswersTheDataLength) {
  answerEach(35);                               // a 40-byte NPA packet
  for (std::uint16_t command : {0x44, 0x10}) {  // on the shared socket, and on one of its own
    SCOPED_TRACE(command);
    const auto w = write(command, 10);
    EXPECT_EQ(w.result, 6);
    EXPECT_EQ(w.status, NET_STATUS_TRUNCATED);
    EXPECT_EQ(w.replyLength, 40u);
    ASSERT_EQ(w.reply.size(), 10u);
    EXPECT_EQ(w.reply[0], wire::kNpaStart);
    EXPECT_EQ(w.reply[4], command);
    const auto whole = write(command, 64);
    EXPECT_EQ(whole.status, NET_STATUS_COMPLETE);
    EXPECT_EQ(whole.replyLength, 40u);
  }
  // 0x36 without a buffer still waits for the reply.
  const std::size_t before = channel.received();
  EXPECT_EQ(write(0x36, 0).status, NET_STATUS_COMPLETE);
  EXPECT_EQ(channel.received(), before + 1);
}

TEST_F(DataChannel, AWriteTakesOnlyItsOwnPortsReplyToItsCommand) {
  FakeSocket other(kNet1, kPbNode, wire::kDataChannelSocket);
  channel.answerWith([&](const Bytes& in) -> std::vector<Bytes> {
    if (in == wire::hostPacketSize()) return {};
    // Another port's reply to the same command, then a late reply to another command.
    other.sendTo(npaDatagram(0, wire::kNpaReply, in[4], {0xEE}), shared);
    return {npaDatagram(0, wire::kNpaReply, 0x44, {0xDD}),
            npaDatagram(0, wire::kNpaReply, in[4], {0x01, 0x02})};
  });
  const auto w = write(0x45, 64);
  ASSERT_EQ(w.status, NET_STATUS_COMPLETE);
  EXPECT_EQ(w.reply, (Bytes{wire::kNpaStart, 0x00, 0x04, wire::kNpaReply, 0x45, 0x01, 0x02}));

  // No reply at all: a read failure, and the next write is not answered by a stale packet.
  channel.answerWith(nullptr);
  EXPECT_EQ(write(0x44, 64).result, NET_READFAIL);
  answerEach(1);
  EXPECT_EQ(write(0x45, 64).reply.at(4), 0x45);
}

TEST_F(DataChannel, UnsolicitedPacketsReachTheOpenedPortOrResync) {
  ASSERT_EQ(harness->registerEvents(), NET_OKAY);
  // Not opened: dropped. The reply to a write comes after it, so the write
  // returns once the alert was handled.
  answerEach(1);
  channel.sendTo(npaDatagram(0, 0x00, 0x20, {0x01}), shared);
  ASSERT_EQ(write(0x44, 64).status, NET_STATUS_COMPLETE);
  ASSERT_EQ(harness->open(port), NET_OKAY);
  channel.sendTo(npaDatagram(0, 0x00, 0x20, {0x02, 0x03}), shared);
  ASSERT_TRUE(harness->waitForPackets(1, 20'000));
  EXPECT_EQ(harness->packets()[0].bytes, (Bytes{wire::kNpaStart, 0x00, 0x04, 0x00, 0x20, 0x02, 0x03}));

  // A fragment: the host packet size again and event 101, no callback.
  const std::size_t before = channel.received();
  channel.sendTo(npaDatagram(0, wire::kNpaMore, 0x20, {0x04}), shared);
  ASSERT_TRUE(harness->waitForEvents(1, 20'000));
  EXPECT_EQ(harness->events()[0].code, static_cast<std::uint32_t>(NETEVENT_RESYNC));
  EXPECT_EQ(harness->events()[0].portId, port);
  ASSERT_TRUE(channel.waitFor(before + 1));
  EXPECT_EQ(channel.datagram(before), wire::hostPacketSize());
  // A length beyond the bytes is no alert either; a runt is dropped.
  Bytes lying = npaDatagram(0, 0x00, 0x20, {0x05});
  lying[4] = 0x40;
  channel.sendTo(Bytes{0, 0, 0xA5}, shared);
  channel.sendTo(lying, shared);
  ASSERT_TRUE(harness->waitForEvents(2, 20'000));
  EXPECT_EQ(harness->packets().size(), 1u);
}

TEST_F(DataChannel, NoiseOnTheSharedSocketBreaksNothing) {
  ASSERT_EQ(harness->open(port), NET_OKAY);
  ASSERT_EQ(harness->registerEvents(), NET_OKAY);
  answerEach(3);
  std::mt19937 rng(7);
  // In batches a socket's buffer holds, each followed by a write that must
  // still get its reply behind the noise.
  for (int batch = 0; batch < 20; ++batch) {
    for (int i = 0; i < 20; ++i) {
      Bytes noise(rng() % 600);
      for (auto& b : noise) b = static_cast<std::uint8_t>(rng());
      if (noise.size() > 2 && i % 2) noise[2] = wire::kNpaStart;
      channel.sendTo(noise, shared);
    }
    ASSERT_EQ(write(0x44, 64).status, NET_STATUS_COMPLETE) << "batch " << batch;
  }
  // Every whole alert that got through is exactly what its length field says.
  for (const auto& p : harness->packets()) {
    ASSERT_GE(p.bytes.size(), 3u);
    EXPECT_EQ(p.bytes.size(), static_cast<std::size_t>(p.bytes[1] << 8 | p.bytes[2]) + 3);
  }
}

// PB with the Vireo 10 behind its first port, found through the transport.
class PortBayTest : public NetWareTest {
 protected:
  void SetUp() override {
    NetWareTest::SetUp();
    AdapterConfig pb = profile("portbay-npa.adapter");
    pb.variables[{129, 0}] = {0xC0};
    startAdapter("PB", pb);
    sim.adapter("PB")->setProfileDir(WF_SIM_PROFILE_DIR);
    giveWorld(kWorld);
    ASSERT_TRUE(loadTransport());
    ASSERT_EQ(harness->enumerate(), NET_OKAY);
    for (const NETPORTINFO& p : harness->reports())
      if (std::string(p.portName) == "PORTBAY_1_P1") port1 = p.portId;
    ASSERT_NE(port1, 0xFFFF);
  }
  std::uint16_t port1 = 0xFFFF;
};

TEST_F(PortBayTest, TheSimulatedAdapterAnswersOnItsDataChannelAndSendsAlerts) {
  // A packet that asks no reply is acknowledged with its command and sub-code.
  const auto w = harness->write(port1, {wire::kNpaStart, 0x00, 0x03, 0x00, 0x36, 0x07}, 64, 0x36);
  EXPECT_EQ(w.result, 6);
  EXPECT_EQ(w.status, NET_STATUS_COMPLETE);
  EXPECT_EQ(w.reply, (Bytes{wire::kNpaStart, 0x00, 0x03, wire::kNpaReply, 0x36, 0x07}));
  // An alert goes to the socket that opened the channel: the shared one.
  ASSERT_EQ(harness->open(port1), NET_OKAY);
  const std::string alert = {'\xA5', 0x00, 0x03, 0x00, 0x40, 0x09};
  ASSERT_TRUE(wf::testing::eventually([&] { return sim.adapter("PB")->raiseAlert(1, alert); }));
  ASSERT_TRUE(harness->waitForPackets(1, 20'000));
  EXPECT_EQ(harness->packets()[0].portId, port1);
  EXPECT_EQ(harness->packets()[0].bytes, Bytes(alert.begin(), alert.end()));
  EXPECT_TRUE(sim.adapter("PB")->withPrinter(1, [](auto&) {}));
}

// The simulator's own faults on its data channels, as the host meets them.
TEST_F(PortBayTest, TheSimulatedAdaptersDataChannelFaultsLeaveEveryWriteItsOwnReply) {
  ASSERT_EQ(harness->registerEvents(), NET_OKAY);
  ASSERT_EQ(harness->open(port1), NET_OKAY);
  auto knob = [&](const std::string& line) {
    std::string error;
    ASSERT_TRUE(sim.apply("PB." + line, ".", &error)) << error;
  };
  auto summary = [&](std::uint8_t command) {
    return harness->write(port1, {wire::kNpaStart, 0x00, 0x03, 0x10, command, 0x00}, 512, command);
  };

  // An alert sent as a fragment, or numbered 1, is no whole alert: the
  // host resyncs (event 101) and nothing reaches the callback.
  const std::string alert = {'\xA5', 0x00, 0x03, 0x00, 0x40, 0x09};
  ASSERT_TRUE(wf::testing::eventually([&] { return sim.adapter("PB")->raiseAlert(1, alert); }));
  ASSERT_TRUE(harness->waitForPackets(1, 20'000)) << "the whole alert";
  std::size_t events = 0;
  for (const char* shape : {"fragment", "numbered-1"}) {
    SCOPED_TRACE(shape);
    knob(std::string("alert-as = ") + shape);
    ASSERT_TRUE(sim.adapter("PB")->raiseAlert(1, alert));
    ASSERT_TRUE(harness->waitForEvents(++events, 20'000));
    EXPECT_EQ(harness->events().back().code, static_cast<std::uint32_t>(NETEVENT_RESYNC));
  }
  knob("alert-as = whole");
  EXPECT_EQ(harness->packets().size(), 1u);

  // Both go over the shared socket, where the one waiting write takes only
  // the reply it is owed. A reply that comes after the write gave up never
  // answers the next write.
  knob("data-delay = " + std::to_string(wire::kNetWriteReplyTimeout * 3 / 2));
  const auto gaveUp = summary(0x44);
  EXPECT_NE(gaveUp.status, NET_STATUS_COMPLETE);
  knob("data-delay = 0");
  const auto next = summary(0x45);
  EXPECT_EQ(next.status, NET_STATUS_COMPLETE);
  ASSERT_GT(next.reply.size(), 4u);
  EXPECT_EQ(next.reply[4], 0x45) << "the answer to its own command";

  // A reply from another port's channel is nobody's reply.
  knob("reply-from = 2");
  EXPECT_NE(summary(0x44).status, NET_STATUS_COMPLETE);
  knob("reply-from = 0");
  EXPECT_EQ(summary(0x44).status, NET_STATUS_COMPLETE);
}

// ---- The contract --------------------------------------------------------------------

// PB with every port's NPA mode on: Cornw32 opens each data channel with
// the host packet size, and the simulator sends alerts there.
struct ContractWorld {
  ContractWorld() {
    AdapterConfig c = profile("portbay-npa.adapter");
    for (std::uint8_t group : {144, 129, 130}) c.variables[{group, 0}] = {0xC0};
    std::string error;
    EXPECT_TRUE(sim.addAdapter("PB", c, &error)) << error;
  }
  static int portNumber(TransportHarness& h, std::uint16_t port) {
    for (const NETPORTINFO& p : h.reports())
      if (p.portId == port) return p.portName[std::strlen(p.portName) - 1] - '0';
    ADD_FAILURE() << "port " << port << " was never reported";
    return 0;
  }
  // Datagrams of the host packet size that reached the port's channel.
  std::size_t channelOpenings(int port) const {
    char text[64];
    std::snprintf(text, sizeof text, "PB in %04X", wire::dataChannelSocket(static_cast<unsigned>(port)));
    std::size_t n = 0;
    for (const std::string& line : sim.log())
      n += line.find(text) != std::string::npos && line.find("A5 00 05 40 03 05 02 00") != std::string::npos;
    return n;
  }
  void alert(int port, const Bytes& packet) {
    const std::string bytes(packet.begin(), packet.end());
    EXPECT_TRUE(wf::testing::eventually([&] { return sim.adapter("PB")->raiseAlert(port, bytes); }));
  }
  sim::adapter::AdapterSimulator sim;
};

std::unique_ptr<ContractWorld>& contractWorld() {
  static std::unique_ptr<ContractWorld> world;
  return world;
}

transports::testing::ContractSubject cornw32Subject() {
  transports::testing::ContractSubject s;
  s.name = "Cornw32";
  s.fileName = "Cornw32.DLL";
  s.networkBit = BCE_NET_NETWARE;
  s.prepare = [](TransportHarness&) {
    setTimeScaleForTest(0.2);
    contractWorld() = std::make_unique<ContractWorld>();
  };
  s.raiseEvent = [](TransportHarness& h, std::uint16_t port) {
    ContractWorld& w = *contractWorld();
    const int n = ContractWorld::portNumber(h, port);
    h.open(port);
    const std::size_t before = w.channelOpenings(n);
    w.alert(n, {wire::kNpaStart, 0x00, 0x03, wire::kNpaMore, 0x20, 0x01});
    // The event follows the host packet size sent again.
    EXPECT_TRUE(wf::testing::eventually([&] { return w.channelOpenings(n) > before; }));
  };
  s.deliverData = [](TransportHarness& h, std::uint16_t port) {
    contractWorld()->alert(ContractWorld::portNumber(h, port),
                           {wire::kNpaStart, 0x00, 0x04, 0x00, 0x20, 0x01, 0x02});
  };
  return s;
}

// The contract's harness loads Cornw32 before the subject is prepared, so the
// client's world comes from the scenario file.
class ContractScenario : public ::testing::Environment {
 public:
  void SetUp() override {
    file_ = std::filesystem::temp_directory_path() / ("cornw32-world-" + std::to_string(::getpid()));
    std::ofstream(file_) << kWorld;
    ::setenv("WRENFIELD_SCENARIO", file_.c_str(), 1);
  }
  void TearDown() override {
    contractWorld().reset();
    std::error_code ec;
    std::filesystem::remove(file_, ec);
  }

 private:
  std::filesystem::path file_;
};
const auto* const contractScenario = ::testing::AddGlobalTestEnvironment(new ContractScenario);

}  // namespace
}  // namespace wf::netware::testing

namespace wf::transports::testing {
INSTANTIATE_TEST_SUITE_P(NetWare, TransportContract, ::testing::Values(netware::testing::cornw32Subject()),
                         [](const auto& info) { return info.param.name; });
}  // namespace wf::transports::testing
