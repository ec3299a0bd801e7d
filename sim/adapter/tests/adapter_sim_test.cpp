// The adapter simulator in process, seen from a workstation socket and read
// with the transports' readers: discovery, variables and restarts.
#include <gtest/gtest.h>

#include <algorithm>

#include "host.h"
#include "sim/adapter/simulator.h"

namespace wf::sim::adapter::testing {
namespace {

namespace wire = ::wf::adapter;
namespace fs = std::filesystem;

const fs::path kProfiles = WF_SIM_PROFILE_DIR;

AdapterConfig loaded(const char* file) {
  std::string error;
  auto c = loadAdapter(kProfiles / file, &error);
  EXPECT_TRUE(c) << error;
  return c.value_or(AdapterConfig{});
}

class AdapterSim : public ::testing::Test {
 protected:
  void SetUp() override { setTimeScaleForTest(0.3); }
  void TearDown() override { setTimeScaleForTest(1); }
  void start(const std::string& id, AdapterConfig c) {
    std::string error;
    ASSERT_TRUE(sim.addAdapter(id, std::move(c), &error)) << error;
  }
  std::optional<wire::VariableReply> variables(const Bytes& packet, Node node) {
    host.send(packet, ipxAddress({0, 0, 0, 1}, node, wire::kVariableSocket));
    auto d = host.next();
    if (!d || d->bytes.size() < 2) return std::nullopt;
    EXPECT_EQ(d->bytes[0], 0);
    EXPECT_EQ(d->bytes[1], 0);
    return wire::readVariableReply(wire::View(d->bytes).subspan(2));
  }
  AdapterSimulator sim;
  Host host;
};

const Node kPortBayTokenRing = {0x00, 0x00, 0x03, 0x52, 0x08, 0x80};  // 00 00 C0 4A 10 01 bit-reversed

TEST_F(AdapterSim, BroadcastCollectsOneReplyOfEachKind) {
  start("PB", loaded("portbay-npa.adapter"));
  start("KS", loaded("kestrel-single.adapter"));
  start("EX", loaded("ext-7390.adapter"));
  host.send(wire::textCommand(wire::kTagQueryParameters),
            ipxAddress({0, 0, 0, 1}, kBroadcast, wire::kCommandSocket));
  const auto replies = host.collect();
  ASSERT_EQ(replies.size(), 3u);

  int multi = 0, single = 0, external = 0;
  for (const Datagram& d : replies) {
    EXPECT_EQ(d.from.socket, wire::kCommandSocket);
    if (auto p = wire::readLpaParameters(d.bytes)) {
      ++multi;
      EXPECT_EQ(p->name, "PORTBAY_1");
      EXPECT_EQ(p->portMask, 0x07);
      EXPECT_EQ(p->busyMask, 0x04);
      EXPECT_EQ(p->media, 2);
      EXPECT_TRUE(p->nvram());
      EXPECT_EQ(p->node, kPortBayTokenRing) << "reported in token-ring order";
      EXPECT_EQ(d.from.node, (Node{0x00, 0x00, 0xC0, 0x4A, 0x10, 0x01})) << "the IPX node is canonical";
    } else if (auto k = wire::readKestrelParameters(d.bytes)) {
      ASSERT_FALSE(k->ports.empty());
      if (k->ports[0].kind() == wire::kestrel::kKindSinglePort) {
        ++single;
        ASSERT_TRUE(k->identity);
        EXPECT_EQ(k->identity->name, "KESTREL_7");
        EXPECT_EQ(k->identity->secondName, "KESTREL_7_ALT");
        EXPECT_EQ(k->identity->node, tokenRingOrder({0x00, 0x00, 0xC0, 0x5B, 0x22, 0x07}, 2));
        EXPECT_EQ(k->ports[0].word(wire::kestrel::kSinglePolling), 30);
        EXPECT_EQ(wire::ebcdicText(&k->block[wire::kestrel::kModelTag], 7), "RU_VA_1");
        EXPECT_EQ(k->block[wire::kestrel::kFlags], 0xA0);
      } else {
        ++external;
        ASSERT_EQ(k->ports.size(), 2u);
        EXPECT_EQ(k->ports[0].kind(), wire::kestrel::kKindSerial7390);
        EXPECT_EQ(k->ports[0].word(wire::kestrel::kSerialPolling), 15);
        EXPECT_EQ(k->ports[0].word(wire::kestrel::kSerialVar6), 0x2580);
        EXPECT_EQ(k->ports[0].word(wire::kestrel::kSerialVar4), 0x003C);
        EXPECT_EQ(k->ports[1].word(wire::kestrel::kParallelVar4), 0x003C);
        EXPECT_EQ(k->ports[1].kind(), wire::kestrel::kKindParallel7390);
        EXPECT_EQ(k->ports[1].byte(wire::kestrel::kParallelEnabled), 1);
        EXPECT_EQ(wire::ebcdicText(&k->block[wire::kestrel::kMachineType], 4), "7390");
        EXPECT_EQ(wire::ebcdicText(&k->block[wire::kestrel::kLevel], 3), "115");
        EXPECT_EQ(d.from.node, (Node{0x10, 0x00, 0x5A, 0x33, 0x44, 0x55}));
        EXPECT_TRUE(std::equal(d.from.node.begin(), d.from.node.end(), k->block.begin()))
            << "media 1: as it is";
      }
    }
  }
  EXPECT_EQ(multi, 1);
  EXPECT_EQ(single, 1);
  EXPECT_EQ(external, 1);
}

TEST_F(AdapterSim, BroadcastToAnotherNetworkReachesOnlyItsAdapters) {
  AdapterConfig far = loaded("kestrel-single.adapter");
  far.network = {0, 0, 0, 2};
  start("FAR", std::move(far));
  start("NEAR", loaded("ext-7390.adapter"));
  host.send(wire::textCommand(wire::kTagQueryParameters),
            ipxAddress({0, 0, 0, 2}, kBroadcast, wire::kCommandSocket));
  const auto replies = host.collect();
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].from.network, (std::array<std::uint8_t, 4>{0, 0, 0, 2}));
  EXPECT_TRUE(wire::readKestrelParameters(replies[0].bytes)->identity);
}

TEST_F(AdapterSim, VariablesWriteReadAndGroupRead) {
  const AdapterConfig c = loaded("portbay-npa.adapter");
  const Node node = c.universal;
  start("PB", c);

  wire::VariableWrite write;
  write.add(6, 10, Bytes{'L', 'a', 'b'});
  write.add(6, 4, Bytes{9});
  const auto written = variables(write.packet(), node);
  ASSERT_TRUE(written);
  EXPECT_EQ(written->result(), 0);
  EXPECT_EQ(written->mode, wire::kModeWrite);
  ASSERT_EQ(written->entries.size(), 2u);

  wire::VariableRead read;
  read.add(6, 10).add(6, 4).add(6, 2).add(6, 7).add(6, 0).add(6, 99);
  const auto r = variables(read.packet(), node);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->result(), 0);
  std::uint8_t value[64];
  ASSERT_EQ(wire::fetchValue(*r, 6, 10, value), 64u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(value), 3), "Lab");
  EXPECT_EQ(value[3], 0) << "zero-padded to its size";
  ASSERT_EQ(wire::fetchValue(*r, 6, 4, value), 1u);
  EXPECT_EQ(value[0], 9);
  ASSERT_EQ(wire::fetchValue(*r, 6, 2, value), 1u);
  EXPECT_EQ(value[0], 2);
  ASSERT_EQ(wire::fetchValue(*r, 6, 7, value), 3u);
  EXPECT_EQ(Bytes(value, value + 3), (Bytes{3, 1, 7}));
  ASSERT_EQ(wire::fetchValue(*r, 6, 0, value), 6u);
  EXPECT_EQ(Node({value[0], value[1], value[2], value[3], value[4], value[5]}), kPortBayTokenRing);
  EXPECT_EQ(r->entries.back().variable, 99);
  EXPECT_TRUE(r->entries.back().value.empty()) << "unknown variable: size 0";

  const auto group = variables(wire::VariableRead().add(144, 255).packet(), node);
  ASSERT_TRUE(group);
  ASSERT_EQ(group->entries.size(), 17u);
  for (std::size_t i = 0; i < group->entries.size(); ++i) {
    EXPECT_EQ(group->entries[i].group, 144);
    EXPECT_EQ(group->entries[i].variable, i);
    EXPECT_EQ(group->entries[i].value.size(), wire::variableSize(144, static_cast<std::uint8_t>(i)));
  }

  // A size other than the table's sets the error flag.
  Bytes wrongSize = {0xA5, 0x00, 0x09, 0x50, 0xE0, 0xD7, 0x01, 0x06, 0x04, 0x02, 0x01, 0x02};
  const auto refused = variables(wrongSize, node);
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->result(), 1);
}

TEST_F(AdapterSim, AddressChangeRestartsSilentlyAtTheNewNode) {
  AdapterConfig c = loaded("portbay-npa.adapter");
  c.restartMs = 4000;
  const Node oldNode = c.universal;
  start("PB", c);
  const Node newNode = {0x00, 0x00, 0xC0, 0x77, 0x88, 0x99};
  const Node newTokenRing = tokenRingOrder(newNode, 2);
  wire::VariableWrite change;
  change.add(6, 1, newTokenRing);
  change.add(8, 63, Bytes{1});
  change.add(6, 14, Bytes{1});
  const auto answer = variables(change.packet(), oldNode);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->result(), 0);
  ASSERT_TRUE(sim.waitForLog("PB restart", 60'000));

  // While it restarts nothing is bound: a query to the old node is lost.
  const Bytes query = wire::textCommand(wire::kTagQueryParameters);
  host.send(query, ipxAddress({0, 0, 0, 1}, oldNode, wire::kCommandSocket));
  ASSERT_TRUE(sim.adapter("PB")->waitForRestarts(1, 60'000));
  const auto logLines = sim.log();
  const auto restart = std::find(logLines.begin(), logLines.end(), "PB restart");
  const auto back = std::find(restart, logLines.end(), "PB back");
  EXPECT_EQ(std::count_if(restart, back, [](const std::string& l) { return l.starts_with("PB in"); }), 0);

  host.send(query, ipxAddress({0, 0, 0, 1}, newNode, wire::kCommandSocket));
  const auto reply = host.next();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->from.node, newNode);
  EXPECT_EQ(wire::readLpaParameters(reply->bytes)->node, newTokenRing);
  EXPECT_TRUE(host.idle()) << "the old node answers nothing";
}

TEST_F(AdapterSim, ResetAndNetWareResetRestartAtTheSameNode) {
  AdapterConfig c = loaded("portbay-npa.adapter");
  const Node node = c.universal;
  start("PB", c);
  const std::pair<std::uint8_t, std::uint8_t> resets[] = {{6, 14}, {8, 64}};
  for (const auto& [group, number] : resets) {
    wire::VariableWrite w;
    w.add(group, number, Bytes{1});
    const std::uint32_t before = sim.adapter("PB")->restarts();
    ASSERT_TRUE(variables(w.packet(), node));
    ASSERT_TRUE(sim.adapter("PB")->waitForRestarts(before + 1, 60'000)) << int(group) << "." << int(number);
    host.send(wire::textCommand(wire::kTagQueryParameters),
              ipxAddress({0, 0, 0, 1}, node, wire::kCommandSocket));
    ASSERT_TRUE(host.next()) << int(group) << "." << int(number);
  }
}

TEST_F(AdapterSim, OtherTextCommandsAreReceivedAndMalformedOnesDropped) {
  const AdapterConfig c = loaded("ext-7390.adapter");
  start("EX", c);
  const SOCKADDR_IPX to = ipxAddress({0, 0, 0, 1}, c.universal, wire::kCommandSocket);
  host.send(Bytes(10, 'x'), to);
  host.send(wire::textCommand("Make Coffee"), to);
  host.send(wire::ControlLpa().programMode(1).command(), to);
  const auto reply = host.next();
  ASSERT_TRUE(reply);
  EXPECT_TRUE(wire::tagIs(reply->bytes, wire::kTagCommandReceived));
  EXPECT_EQ(wire::commandStatus(reply->bytes), 0);
  EXPECT_TRUE(host.idle());
  const auto log = sim.log();
  EXPECT_NE(std::find(log.begin(), log.end(), "EX drop 83C1 text command shorter than its tag"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "EX drop 83C1 unknown text command"), log.end());
}

}  // namespace
}  // namespace wf::sim::adapter::testing

namespace wf::sim::adapter::testing {
namespace {

TEST_F(AdapterSim, ShowTellsKeysVariablesTheFlashImageAndRestarts) {
  AdapterConfig pb = loaded("portbay-npa.adapter");
  pb.restartMs = 100;
  const Node node = pb.universal;
  start("PB", pb);
  start("EX", loaded("ext-7390.adapter"));
  auto shown = [&](const std::string& line) {
    std::string answer, error;
    return sim.show(line, &answer, &error) ? "ok " + answer : "err " + error;
  };
  EXPECT_EQ(shown("EX.show port0.settings"), "ok 00 01 25 80 08 00 01 00 01 00 00 1E 00 05 00 3C");
  EXPECT_EQ(shown("PB.show node"), "ok 0000C04A1001");
  EXPECT_EQ(shown("PB.show restarts"), "ok 0");
  EXPECT_EQ(shown("PB.show flash"), "ok 0 00000000");
  EXPECT_EQ(shown("PB.show banana"), "err cannot show banana");
  EXPECT_EQ(shown("PB.show var 99.99"), "err no variable 99.99");
  EXPECT_EQ(shown("PB.show var x"), "err var is var <group>.<variable>");
  EXPECT_EQ(shown("ZZ.show flash"), "err no adapter ZZ");
  EXPECT_EQ(shown("EX.show port5.settings"), "err no port 5");
  EXPECT_FALSE(AdapterSimulator::isShowLine("PB.show = 1"));

  // A download: its image, and its first three bytes as the new version.
  const auto to = ipxAddress({0, 0, 0, 1}, node, wire::kCommandSocket);
  host.send(wire::textCommand(wire::kTagFlashOpen), to);
  ASSERT_TRUE(host.next());
  host.send(wire::textCommand(wire::kTagFlashWrite, Bytes{16, 0, 3, 2, 0, 0xAA}), to);
  ASSERT_TRUE(host.next());
  host.send(wire::textCommand(wire::kTagFlashClose), to);
  ASSERT_TRUE(host.next());
  ASSERT_TRUE(sim.adapter("PB")->waitForRestarts(1, 60'000));
  EXPECT_EQ(shown("PB.show flash"), "ok 4 0676EE6A");  // CRC-32 of 03 02 00 AA
  EXPECT_EQ(shown("PB.show var 6.7"), "ok 03 02 00");
  EXPECT_EQ(shown("PB.show firmware"), "ok 03 02 00");
  EXPECT_EQ(shown("PB.show restarts"), "ok 1");
}

}  // namespace
}  // namespace wf::sim::adapter::testing

namespace wf::sim::adapter::testing {
namespace {

TEST_F(AdapterSim, TheAdapterPagesWorldFillsThePortsTheProtocolsAndThePassword) {
  std::string error;
  ASSERT_TRUE(sim.loadScenario(fs::path(WF_SIM_SCENARIO_DIR) / "netui-adapters.scenario", &error)) << error;
  const std::pair<const char*, const char*> expected[] = {
      {"PB.show var 129.5", "E0"},
      {"PB.show var 129.3", "02 58"},
      {"PB.show var 129.4", "00 3C"},
      {"PB.show var 144.5", "0F 10"},
      {"PB.show var 144.14", "80"},
      {"PB.show var 9.1", "01"},
      {"PB.show var 6.13", "59 56 5D 07 43 0A 47 62"},
      {"EX.show port0.settings", "0F 10 01 00 E0 80 F0 10 E0 80 C0 80 02 58 00 3C"},
      {"EX.show port1.settings", "E0 80 02 58 00 3C"},
  };
  for (const auto& [line, value] : expected) {
    std::string answer;
    EXPECT_TRUE(sim.show(line, &answer, &error)) << line << ": " << error;
    EXPECT_EQ(answer, value) << line;
  }
}

}  // namespace
}  // namespace wf::sim::adapter::testing
