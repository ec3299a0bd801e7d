// Fault knobs: the bytes each one puts in front of the host's reader.
#include <gtest/gtest.h>

#include <functional>

#include "hex_bytes.h"
#include "sim/printer/alerts.h"
#include "sim/printer/npa.h"
#include "sim/printer/printer.h"

namespace wf::sim {
namespace {

using wf::testing::hex;
using wf::testing::toHex;

PrinterModel statusPrinter() {
  return PrinterModel(*parseProfile("npa = on\nstatus = 01 02 03\n"));
}

struct Sent {
  std::uint32_t delayMs;
  std::string bytes;
  friend bool operator==(const Sent&, const Sent&) = default;
};

std::vector<Sent> sent(const std::vector<Outgoing>& out) {
  std::vector<Sent> s;
  for (const auto& o : out) s.push_back({o.delayMs, toHex(o.bytes)});
  return s;
}

void PrintTo(const Sent& s, std::ostream* os) {
  *os << s.delayMs << "ms: " << s.bytes;
}

const std::string kDeviceStatus = hex("A5 00 03 50 04 00");

TEST(FaultKnobs, EachReplyKnobShapesTheDeviceStatusReply) {
  const struct {
    const char* name;
    std::function<void(Knobs&)> set;
    std::vector<Sent> expected;
  } cases[] = {
      {"none", [](Knobs&) {}, {{0, "A5 00 06 00 04 00 01 02 03"}}},
      {"no reply", [](Knobs& k) { k.silent = true; }, {}},
      {"late reply", [](Knobs& k) { k.lateReplies = 1; }, {{kLateReplyMs, "A5 00 06 00 04 00 01 02 03"}}},
      {"late on top of the delay",
       [](Knobs& k) { k.lateReplies = 1, k.replyDelayMs = 40; },
       {{kLateReplyMs + 40, "A5 00 06 00 04 00 01 02 03"}}},
      {"another command", [](Knobs& k) { k.replyCommand = 0x01; }, {{0, "A5 00 06 00 01 00 01 02 03"}}},
      {"error flag", [](Knobs& k) { k.errorReplies = 1; }, {{0, "A5 00 06 80 04 00 01 02 03"}}},
      {"error flag on the last packet only",
       [](Knobs& k) { k.errorReplies = 1, k.replyPacketData = 2; },
       {{0, "A5 00 04 20 04 00 01"}, {0, "A5 00 04 80 04 02 03"}}},
      {"over-long", [](Knobs& k) { k.replyPadding = 3; }, {{0, "A5 00 09 00 04 00 01 02 03 00 00 00"}}},
      {"cut to the sub-code", [](Knobs& k) { k.replyCut = 1; }, {{0, "A5 00 03 00 04 00"}}},
      {"cut after the padding",
       [](Knobs& k) { k.replyCut = 5, k.replyPadding = 3; },
       {{0, "A5 00 07 00 04 00 01 02 03 00"}}},
      {"LEN < 3 first",
       [](Knobs& k) { k.shortPacketFirst = true, k.replyDelayMs = 5; },
       {{5, "A5 00 02 00 04"}, {0, "A5 00 06 00 04 00 01 02 03"}}},
      {"garbage first",
       [](Knobs& k) { k.noise = hex("13 37"); },
       {{0, "13 37"}, {0, "A5 00 06 00 04 00 01 02 03"}}},
      {"stall mid-response",
       [](Knobs& k) { k.stallReplies = true, k.replyPacketData = 3; },
       {{0, "A5 00 05 20 04 00 01"}}},
  };
  for (const auto& c : cases) {
    PrinterModel printer = statusPrinter();
    Knobs k;
    c.set(k);
    printer.setKnobs(k);
    EXPECT_EQ(sent(printer.receive(kDeviceStatus)), c.expected) << c.name;
  }
}

TEST(FaultKnobs, CountedKnobsWearOffAndOthersStay) {
  PrinterModel printer = statusPrinter();
  Knobs k;
  k.errorReplies = 2;
  k.lateReplies = 1;
  k.replyCommand = 0x03;
  printer.setKnobs(k);
  EXPECT_EQ(sent(printer.receive(kDeviceStatus)),
            (std::vector<Sent>{{kLateReplyMs, "A5 00 06 80 03 00 01 02 03"}}));
  EXPECT_EQ(sent(printer.receive(kDeviceStatus)), (std::vector<Sent>{{0, "A5 00 06 80 03 00 01 02 03"}}));
  EXPECT_EQ(sent(printer.receive(kDeviceStatus)), (std::vector<Sent>{{0, "A5 00 06 00 03 00 01 02 03"}}));
  EXPECT_EQ(printer.knobs().errorReplies, 0);
  EXPECT_EQ(printer.knobs().lateReplies, 0);
}

TEST(FaultKnobs, RefusedCapturesKeepTheClassesAndReleasesAreNotCounted) {
  PrinterModel printer = statusPrinter();
  Knobs k;
  k.failCaptures = 2;
  printer.setKnobs(k);
  const std::string capture = hex("A5 00 06 50 03 03 00 01 00");
  const std::string release = hex("A5 00 06 50 03 03 00 00 00");
  EXPECT_EQ(sent(printer.receive(capture)), (std::vector<Sent>{{0, "A5 00 04 80 03 03 00"}}));
  EXPECT_EQ(printer.enabledAlerts(), 0u);
  EXPECT_EQ(sent(printer.receive(release)), (std::vector<Sent>{{0, "A5 00 04 00 03 03 00"}}));
  EXPECT_EQ(sent(printer.receive(capture)), (std::vector<Sent>{{0, "A5 00 04 80 03 03 00"}}));
  EXPECT_EQ(sent(printer.receive(capture)), (std::vector<Sent>{{0, "A5 00 04 00 03 03 00"}}));
  EXPECT_EQ(printer.enabledAlerts(), 0x8u);
  EXPECT_EQ(printer.knobs().failCaptures, 0);
}

// Longer than the host's 2048-byte reply buffer: one packet while the length
// field allows, the data cut by nobody.
TEST(FaultKnobs, OverLongReplyPassesTheHostsReplyLimit) {
  PrinterModel printer = statusPrinter();
  Knobs k;
  k.replyPadding = 2048;
  printer.setKnobs(k);
  const auto out = printer.receive(kDeviceStatus);
  ASSERT_EQ(out.size(), 1u);
  const auto p = npa::decode(out[0].bytes);
  EXPECT_EQ(toHex(out[0].bytes.substr(0, 9)), "A5 08 06 00 04 00 01 02 03");
  EXPECT_EQ(p.data.size(), 4u + 2048u);
  EXPECT_GT(p.data.size() - 1, 2048u) << "R is past what the request object accepts";
}

class InterleavedAlerts : public ::testing::Test {
 protected:
  void SetUp() override {
    // Enable jam, job statistics, class 4 and the panel.
    for (const char* capture :
         {"A5 00 06 50 03 03 40 02 01", "A5 00 04 50 E0 03 05", "A5 00 05 50 E0 E1 05 01"})
      printer.receive(hex(capture));
  }
  PrinterModel printer = statusPrinter();
};

TEST_F(InterleavedAlerts, HeldAlertsComeBeforeAOnePacketReply) {
  Knobs k;
  k.deferAlerts = true;
  printer.setKnobs(k);
  EXPECT_EQ(printer.deviceStatusAlert(0x4), std::string()) << "held, not sent";
  EXPECT_EQ(printer.classAlert(hex("03 04 AA")), std::string());
  EXPECT_FALSE(printer.deviceStatusAlert(0x1)) << "a class the host did not enable is not even held";
  EXPECT_EQ(printer.deferredAlerts(), 2u);
  EXPECT_EQ(sent(printer.receive(kDeviceStatus)), (std::vector<Sent>{{0, "A5 00 05 00 FF 00 02 00"},
                                                                     {0, "A5 00 05 00 F0 03 04 AA"},
                                                                     {0, "A5 00 06 00 04 00 01 02 03"}}));
  EXPECT_EQ(printer.deferredAlerts(), 0u);
  EXPECT_EQ(sent(printer.receive(kDeviceStatus)), (std::vector<Sent>{{0, "A5 00 06 00 04 00 01 02 03"}}));
}

TEST_F(InterleavedAlerts, MultiPacketAlertsGoBetweenThePacketsOfAResponse) {
  Knobs k;
  k.deferAlerts = true;
  k.replyPacketData = 2;
  k.replyDelayMs = 30;
  printer.setKnobs(k);
  alerts::JobStatistics js;
  js.entries = {{1, 2, 3}};
  js.text1 = "HT:h";
  const std::string data = alerts::encodeJobStatistics(js);
  ASSERT_EQ(toHex(data),
            "03 01 01 00 00 00 00 00 00 00 00 01 00 00 00 02 00 00 00 03 00 00 00 04 48 54 3A 68 00");
  ASSERT_EQ(printer.classAlert(data), std::string());
  // Job statistics in 15 packets of 2 bytes, every one but the last flagged "more follows".
  const auto out = printer.receive(kDeviceStatus);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(toHex(out[0].bytes), "A5 00 04 20 04 00 01");
  EXPECT_EQ(out[0].delayMs, 30u) << "the reply's delay comes before its first packet";
  EXPECT_EQ(out[1].delayMs, 0u);
  std::string reassembled;
  std::vector<std::uint8_t> flags;
  for (std::string_view rest = out[1].bytes; !rest.empty();) {
    const auto size = npa::packetSize(rest);
    ASSERT_TRUE(size);
    const auto p = npa::decode(rest.substr(0, *size));
    EXPECT_EQ(p.command, npa::kClassAlert);
    flags.push_back(p.flags);
    reassembled += p.data;
    rest.remove_prefix(*size);
  }
  std::vector<std::uint8_t> expectedFlags(15, npa::kFlagMore);
  expectedFlags.back() = 0;
  EXPECT_EQ(flags, expectedFlags);
  EXPECT_EQ(reassembled, data);
  EXPECT_EQ(toHex(out[2].bytes), "A5 00 04 00 04 02 03");
}

TEST_F(InterleavedAlerts, PanelAlertIsTheE1TagAndEightyBytes) {
  Knobs k;
  k.deferAlerts = true;
  printer.setKnobs(k);
  printer.update([](Profile& p) { p.panelText = "PAPER OUT"; });
  ASSERT_EQ(printer.panelAlert(), std::string());
  const auto out = printer.receive(kDeviceStatus);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].bytes, hex("A5 00 53 00 F0 E1") + "PAPER OUT" + std::string(71, ' '));
  EXPECT_EQ(toHex(out[1].bytes), "A5 00 06 00 04 00 01 02 03");
}

TEST_F(InterleavedAlerts, HeldAlertsAreDroppedWhenTheHostLeaves) {
  Knobs k;
  k.deferAlerts = true;
  printer.setKnobs(k);
  printer.deviceStatusAlert(0x4);
  printer.endSession();
  EXPECT_EQ(printer.deferredAlerts(), 0u);
  EXPECT_EQ(sent(printer.receive(kDeviceStatus)), (std::vector<Sent>{{0, "A5 00 06 00 04 00 01 02 03"}}));
}

}  // namespace
}  // namespace wf::sim
