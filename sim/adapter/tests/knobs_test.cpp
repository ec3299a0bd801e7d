// Every fault knob, by the bytes a workstation sees. The knobs change a
// running adapter through the simulator's setting lines.
#include <gtest/gtest.h>

#include "host.h"
#include "hostile_places.h"
#include "sim/adapter/simulator.h"
#include "test_dirs.h"

namespace wf::sim::adapter::testing {
namespace {

namespace wire = ::wf::adapter;
namespace fs = std::filesystem;

class AdapterKnobs : public ::testing::Test {
 protected:
  void SetUp() override {
    setTimeScaleForTest(0.3);
    std::string error;
    ASSERT_TRUE(sim.apply(std::string("adapters = ") + WF_SIM_PROFILE_DIR, fs::current_path(), &error))
        << error;
    for (const char* line :
         {"PB = portbay-npa.adapter", "KS = kestrel-single.adapter", "EX = ext-7390.adapter"})
      ASSERT_TRUE(sim.apply(line, fs::current_path(), &error)) << error;
  }
  void TearDown() override { setTimeScaleForTest(1); }
  void set(const std::string& line) {
    std::string error;
    ASSERT_TRUE(sim.apply(line, fs::current_path(), &error)) << line << ": " << error;
  }
  Node nodeOf(const char* id) {
    Node n{};
    sim.adapter(id)->withModel([&](AdapterModel& m) { n = m.node(); });
    return n;
  }
  std::optional<Datagram> query(const char* id) {
    host.send(wire::textCommand(wire::kTagQueryParameters),
              ipxAddress({0, 0, 0, 1}, nodeOf(id), wire::kCommandSocket));
    return host.next();
  }
  std::optional<Datagram> command(const char* id, const Bytes& bytes) {
    host.send(bytes, ipxAddress({0, 0, 0, 1}, nodeOf(id), wire::kCommandSocket));
    return host.next();
  }
  std::optional<Datagram> variables(const Bytes& packet) {
    host.send(packet, ipxAddress({0, 0, 0, 1}, nodeOf("PB"), wire::kVariableSocket));
    return host.next();
  }
  static Bytes readMedia() { return wire::VariableRead().add(6, 2).add(6, 7).add(6, 5).packet(); }

  AdapterSimulator sim;
  Host host;
};

TEST_F(AdapterKnobs, SilentAnswersNothingUntilTurnedOff) {
  set("KS.silent = 1");
  host.send(wire::textCommand(wire::kTagQueryParameters),
            ipxAddress({0, 0, 0, 1}, nodeOf("KS"), wire::kCommandSocket));
  ASSERT_TRUE(sim.waitForLog("KS drop 83C1 silent", 60'000));
  set("KS.silent = 0");
  set("KS.name = \"AFTER\"");
  const auto reply = query("KS");
  ASSERT_TRUE(reply);
  EXPECT_EQ(wire::readKestrelParameters(reply->bytes)->identity->name, "AFTER");
  EXPECT_TRUE(host.idle());
}

TEST_F(AdapterKnobs, DelayedAdapterAnswersAfterThePromptOne) {
  set("KS.delay = 10000");
  host.send(wire::textCommand(wire::kTagQueryParameters),
            ipxAddress({0, 0, 0, 1}, nodeOf("KS"), wire::kCommandSocket));
  ASSERT_TRUE(sim.waitForLog("KS in 83C1", 60'000));
  host.send(wire::textCommand(wire::kTagQueryParameters),
            ipxAddress({0, 0, 0, 1}, nodeOf("EX"), wire::kCommandSocket));
  const auto first = host.next(), second = host.next();
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->from.node, nodeOf("EX"));
  EXPECT_EQ(second->from.node, nodeOf("KS"));
}

TEST_F(AdapterKnobs, CommandReceivedStatus) {
  set("EX.command-status = 11");
  const auto reply = command("EX", wire::textCommand(wire::kTagUpdateNvram));
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->bytes.size(), 22u);
  EXPECT_EQ(reply->bytes[21], 11);
  EXPECT_EQ(wire::commandStatus(reply->bytes), NET_ADAPTER_STATUS_11);
}

TEST_F(AdapterKnobs, IgnoreBitAndAnotherIdentityNode) {
  set("PB.ignore = 1");
  auto reply = query("PB");
  ASSERT_TRUE(reply);
  EXPECT_TRUE(wire::readLpaParameters(reply->bytes)->ignore());
  set("KS.identity-node = 00 00 C0 99 99 99");
  reply = query("KS");
  ASSERT_TRUE(reply);
  EXPECT_EQ(wire::readKestrelParameters(reply->bytes)->identity->node,
            (Node{0x00, 0x00, 0xC0, 0x99, 0x99, 0x99}));
}

TEST_F(AdapterKnobs, ErrorFlagOnVariableReplies) {
  set("PB.error-flag = 1");
  const auto reply = variables(readMedia());
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->bytes[5] & wire::kNpaError, wire::kNpaError);
  EXPECT_EQ(wire::readVariableReply(wire::View(reply->bytes).subspan(2))->result(), 1);
}

TEST_F(AdapterKnobs, ReplyInFragmentsInTheGivenOrder) {
  const auto whole = variables(readMedia());
  ASSERT_TRUE(whole);
  set("PB.fragments = 2 0 1");
  std::vector<Datagram> arrived;
  const auto first = variables(readMedia());
  ASSERT_TRUE(first);
  arrived.push_back(*first);
  for (int i = 0; i < 2; ++i) {
    auto d = host.next();
    ASSERT_TRUE(d);
    arrived.push_back(*d);
  }
  EXPECT_TRUE(host.idle());
  std::vector<std::uint16_t> numbers;
  for (const Datagram& d : arrived) numbers.push_back(wire::fragmentNumber(d.bytes));
  EXPECT_EQ(numbers, (std::vector<std::uint16_t>{2, 0, 1}));
  EXPECT_EQ(arrived[0].bytes[5] & wire::kNpaMore, 0) << "the last fragment";
  EXPECT_EQ(arrived[1].bytes[5] & wire::kNpaMore, wire::kNpaMore);
  EXPECT_EQ(arrived[2].bytes[5] & wire::kNpaMore, wire::kNpaMore);
  Bytes joined;
  for (const Datagram* d : {&arrived[1], &arrived[2], &arrived[0]})
    joined.insert(joined.end(), d->bytes.begin() + 7, d->bytes.end());
  EXPECT_EQ(joined, Bytes(whole->bytes.begin() + 7, whole->bytes.end()));
}

TEST_F(AdapterKnobs, AnswerFromTheThirdQuery) {
  set("EX.answer-from = 3");
  for (int i = 0; i < 3; ++i)
    host.send(wire::textCommand(wire::kTagQueryParameters),
              ipxAddress({0, 0, 0, 1}, nodeOf("EX"), wire::kCommandSocket));
  ASSERT_TRUE(host.next());
  ASSERT_TRUE(query("EX"));
  EXPECT_TRUE(host.idle()) << "queries 1 and 2 got nothing";
  EXPECT_TRUE(sim.waitForLog("EX drop 83C1 query 2 unanswered", 60'000));
}

TEST_F(AdapterKnobs, GarbageLengthBeyondAndOversize) {
  set("EX.garbage = 1");
  auto reply = query("EX");
  ASSERT_TRUE(reply);
  EXPECT_FALSE(wire::readKestrelParameters(reply->bytes));
  EXPECT_FALSE(wire::tagIs(reply->bytes, wire::kTagKestrelParameters));
  set("EX.garbage = 0");

  set("EX.length-beyond = 1");
  reply = query("EX");
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->bytes[21] << 8 | reply->bytes[22], static_cast<int>(reply->bytes.size()) + 40);
  EXPECT_FALSE(wire::readKestrelParameters(reply->bytes)) << "a length beyond the bytes is no reply";
  set("PB.length-beyond = 1");
  const auto npa = variables(readMedia());
  ASSERT_TRUE(npa);
  EXPECT_FALSE(wire::readVariableReply(wire::View(npa->bytes).subspan(2)));

  set("PB.length-beyond = 0");
  set("PB.oversize = 1");
  reply = query("PB");
  ASSERT_TRUE(reply);
  EXPECT_GT(reply->bytes.size(), 512u);
  EXPECT_TRUE(wire::readLpaParameters(reply->bytes));
}

TEST_F(AdapterKnobs, PortBlockEmptyOrPastTheEnd) {
  for (const char* fault : {"empty", "past-end"}) {
    set(std::string("KS.port-block = ") + fault);
    const auto reply = query("KS");
    ASSERT_TRUE(reply);
    const auto k = wire::readKestrelParameters(reply->bytes);
    ASSERT_TRUE(k) << fault;
    EXPECT_TRUE(k->ports.empty()) << fault;
    EXPECT_FALSE(k->identity) << fault;
    EXPECT_EQ(reply->bytes[wire::kestrel::kPortBlocks], std::string(fault) == "empty" ? 0 : 0xFF);
  }
}

TEST_F(AdapterKnobs, BadSettingsAreRefusedWithTheReason) {
  std::string error;
  EXPECT_FALSE(sim.apply("PB.fragments = 40", fs::current_path(), &error));
  EXPECT_FALSE(sim.apply("NONE.silent = 1", fs::current_path(), &error));
  EXPECT_EQ(error, "no adapter NONE");
  EXPECT_FALSE(sim.apply("PB.port-block = sideways", fs::current_path(), &error));
  EXPECT_EQ(error, "port-block is ok, empty or past-end");
  EXPECT_FALSE(sim.apply("PB.name = \"A_NAME_LONGER_THAN_24_CHARS\"", fs::current_path(), &error));
  EXPECT_FALSE(sim.apply("PB = portbay-npa.adapter", fs::current_path(), &error));
  EXPECT_EQ(error, "PB plays already");
}

TEST(AdapterSimFiles, ScenarioAdapterAndLogMustBeRegularFiles) {
  const fs::path dir = wf::testing::testDataRoot() / "hostile";
  const fs::path place = dir / "named";
  AdapterSimulator sim;
  {
    SCOPED_TRACE("scenario");
    wf::testing::expectHostilePlacesRefused(place,
                                            [&](std::string* e) { return sim.loadScenario(place, e); });
  }
  {
    SCOPED_TRACE("adapter");
    wf::testing::expectHostilePlacesRefused(place,
                                            [&](std::string* e) { return sim.apply("XX = named", dir, e); });
  }
  SCOPED_TRACE("log");
  wf::testing::expectHostilePlacesRefused(
      place, [&](std::string* e) { return sim.apply("log = named", dir, e); }, true);
}

}  // namespace
}  // namespace wf::sim::adapter::testing
