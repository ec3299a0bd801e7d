// Framing, alert encodings, PJL parsing and the shipped profiles.
#include <gtest/gtest.h>

#include <filesystem>

#include "hex_bytes.h"
#include "quick_setup_vars.h"
#include "sim/printer/alerts.h"
#include "sim/printer/npa.h"
#include "sim/printer/pjl.h"
#include "sim/printer/profile.h"

namespace wf::sim {
namespace {

using wf::testing::hex;
using wf::testing::toHex;

TEST(Npa, EncodesLengthFromFlagsToEnd) {
  EXPECT_EQ(toHex(npa::encode(0, 0xE0, hex("E7 00 00 30 01"))), "A5 00 07 00 E0 E7 00 00 30 01");
  EXPECT_EQ(toHex(npa::encode(0x80, 0x00, "")), "A5 00 02 80 00");
}

TEST(Npa, SplitsLongMessagesWithMoreFollowsOnAllButTheLast) {
  const std::string bytes = npa::encodeMessage(npa::kFlagError, 0x04, "abcdefg", 3);
  EXPECT_EQ(toHex(bytes),
            "A5 00 05 20 04 61 62 63 "
            "A5 00 05 20 04 64 65 66 "
            "A5 00 03 80 04 67");
  // A message that fits keeps one packet and never carries "more follows".
  EXPECT_EQ(toHex(npa::encodeMessage(npa::kFlagMore, 0x01, "ab", 2)), "A5 00 04 00 01 61 62");
}

TEST(Npa, MeasuresOnlyWholePackets) {
  const std::string p = hex("A5 00 04 50 01 02 00");
  EXPECT_FALSE(npa::packetSize(p.substr(0, 2)));
  EXPECT_FALSE(npa::packetSize(p.substr(0, 6)));
  EXPECT_EQ(npa::packetSize(p + "junk"), 7u);
  EXPECT_EQ(npa::packetSize(npa::kSyncPacket), 19u);
  const auto d = npa::decode(p);
  EXPECT_EQ(d.flags, 0x50);
  EXPECT_EQ(d.command, 0x01);
  EXPECT_EQ(toHex(d.data), "02 00");
}

TEST(Alerts, CaptureAndAlertColumnsSwapOnlyTheInputAndOutputBits) {
  // Example capture of {jam, config change, off line}: 40 02 01.
  EXPECT_EQ(alerts::maskFromCapture(0x40, 0x02, 0x01), 0x4u | 0x80u | 0x100u);
  EXPECT_EQ(alerts::maskFromCapture(0x00, 0x04, 0x00), 0x1u);
  EXPECT_EQ(alerts::maskFromCapture(0x00, 0x08, 0x00), 0x2u);
  EXPECT_EQ(alerts::maskFromCapture(0xC0, 0x0F, 0x0F), 0x3FFu);
  const struct {
    std::uint32_t mask;
    std::array<std::uint8_t, 3> bytes;
  } alerting[] = {
      {0x4, {0x00, 0x02, 0x00}},   {0x1, {0x00, 0x08, 0x00}},   {0x2, {0x00, 0x04, 0x00}},
      {0x8, {0x00, 0x01, 0x00}},   {0x10, {0x00, 0x00, 0x08}},  {0x20, {0x00, 0x00, 0x02}},
      {0x40, {0x00, 0x00, 0x04}},  {0x80, {0x00, 0x00, 0x01}},  {0x100, {0x40, 0x00, 0x00}},
      {0x200, {0x80, 0x00, 0x00}}, {0x3FF, {0xC0, 0x0F, 0x0F}},
  };
  for (const auto& c : alerting) EXPECT_EQ(alerts::deviceStatusBytes(c.mask), c.bytes) << std::hex << c.mask;
}

TEST(Alerts, ClassBytesMapToHostMaskBits) {
  EXPECT_EQ(alerts::maskFromClassByte(0x01), 0x800u);
  EXPECT_EQ(alerts::maskFromClassByte(0x02), 0x1000u);
  EXPECT_EQ(alerts::maskFromClassByte(0x04), 0x2000u);
  EXPECT_EQ(alerts::maskFromClassByte(0x08), 0x4000u);
  EXPECT_EQ(alerts::maskFromClassByte(0x10), 0x8000u);
  EXPECT_EQ(alerts::maskFromClassByte(0x03), 0u);
  EXPECT_EQ(alerts::maskFromClassByte(0x20), 0u);
}

TEST(Alerts, JobStatisticsLayout) {
  alerts::JobStatistics s;
  s.d1 = 7;
  s.d2 = 0x0102;
  s.seconds = 90;
  s.entries = {{3, 5, 0xFFFFFFFF}};
  s.field = 9;
  s.text1 = "HT:host;UR:ann";
  s.text2 = "x";
  EXPECT_EQ(toHex(alerts::encodeJobStatistics(s)),
            "03 01 01 07 01 02 00 5A "
            "00 00 00 03 00 00 00 05 FF FF FF FF "
            "00 00 09 0E 48 54 3A 68 6F 73 74 3B 55 52 3A 61 6E 6E 01 78");
}

TEST(Pjl, SplitsCommandsFromPrintData) {
  auto job = pjl::parseJob(
      "@PJL\n@PJL DEFAULT COPIES=2\r\n@PJL ENTER LANGUAGE=PCL\n\x1B"
      "E data\n@PJL not a command");
  ASSERT_EQ(job.commands.size(), 2u);
  EXPECT_EQ(job.commands[0], "DEFAULT COPIES=2");
  EXPECT_EQ(job.commands[1], "ENTER LANGUAGE=PCL");
  EXPECT_EQ(job.printData,
            "\x1B"
            "E data\n@PJL not a command");
}

TEST(Pjl, ReadsDefaultsWithBlanksAroundTheEqualsSign) {
  const struct {
    const char* command;
    const char* key;
    const char* value;
  } cases[] = {
      {"DEFAULT LPAPERSOURCE=TRAY2", "LPAPERSOURCE", "TRAY2"},
      {"DEFAULT LPARM : PCL SYMSET = PC8", "LPARM : PCL SYMSET", "PC8"},
      {"DEFAULT LPARM : PCL PTSIZE=12.00", "LPARM : PCL PTSIZE", "12.00"},
      {"DEFAULT COPIES=", "COPIES", ""},
  };
  for (const auto& c : cases) {
    auto d = pjl::parseDefault(c.command);
    ASSERT_TRUE(d) << c.command;
    EXPECT_EQ(d->first, c.key);
    EXPECT_EQ(d->second, c.value);
  }
  EXPECT_FALSE(pjl::parseDefault("LPRINTTESTPAGE"));
  EXPECT_FALSE(pjl::parseDefault("DEFAULT NOVALUE"));
  EXPECT_TRUE(pjl::isNpaQuery("DINQUIRE LNPAP"));
  EXPECT_FALSE(pjl::isNpaQuery("DINQUIRE LNPAPX"));
}

TEST(Pjl, QueryRepliesNameExactlyOneMode) {
  // The host tests "OFF", then "ON", then "AUTO": only the mode itself may match.
  for (auto [mode, word] : {std::pair{NpaMode::Off, "OFF"}, {NpaMode::On, "ON"}, {NpaMode::Auto, "AUTO"}}) {
    const std::string reply = pjl::npaQueryReply(mode);
    for (const char* other : {"OFF", "ON", "AUTO"})
      EXPECT_EQ(reply.find(other) != std::string::npos, std::string(other) == word)
          << reply << " / " << other;
  }
}

TEST(Profile, ReportsTheFirstBadLine) {
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"npa = maybe", "line 1: npa is on, off, auto or auto-silent"},
      {"# c\nspeed = 300", "line 2: bad number"},
      {"status = 00 01", "line 1: status is 3 bytes"},
      {"alert 11 = 01 FF 01 00", "line 1: alert lists are 5 to 10"},
      {"alert 5 = 01 FF 01 02 AA", "line 1: alert record is a b c d and d bytes"},
      {"om 30 = 01", "line 1: expected <om|misc> HHHH = value"},
      {"om 0030 = \"open", "line 1: expected <om|misc> HHHH = value"},
      {"colour = blue", "line 1: unknown key 'colour'"},
      {"just words", "line 1: expected key = value"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(parseProfile(c.text, &error)) << c.text;
    EXPECT_EQ(error, c.error);
  }
}

TEST(Profile, ParsesValuesAndRecords) {
  std::string error;
  auto p = parseProfile(
      "npa = auto-silent\ninput = 3 0x01F44164 1 2 Tray 1\noutput = 1 1 250 0x20 0 Upper Bin\n"
      "om 0037 = \"A:\\x3A\\\\\"\nmisc 00A7 = 05 06\nmisc-error 00B2 = 1\nalert 6 = 01 07 09 00\n",
      &error);
  ASSERT_TRUE(p) << error;
  EXPECT_EQ(p->npa, NpaMode::Auto);
  EXPECT_TRUE(p->pjlSilent);
  ASSERT_EQ(p->inputs.size(), 1u);
  EXPECT_EQ(p->inputs[0].capacity, 0x01F44164u);
  EXPECT_EQ(p->inputs[0].name, "Tray 1");
  EXPECT_EQ(p->outputs[0].flags1, 0x20);
  EXPECT_EQ(p->outputs[0].name, "Upper Bin");
  EXPECT_EQ(p->omVars.at(0x0037), "A::\\");
  EXPECT_EQ(p->miscVars.at(0x00A7), hex("05 06"));
  EXPECT_TRUE(p->miscErrors.count(0x00B2));
  EXPECT_EQ(toHex(p->alertLists[1].at(0)), "01 07 09 00");
}

// Every shipped profile is accepted by the host's model-string test and
// holds the Quick Setup variables of its kind within the file format's limits.
TEST(Profile, ShippedProfilesAreCompleteForQuickSetup) {
  const char* const kModelStrings[] = {"7301 plus",
                                       "Vireo",
                                       "Corvane Chroma Imager",
                                       "Pagecrest II",
                                       "7301 Vx20",
                                       "Tessaly KX4400 plus",
                                       "Tessaly KX4400 Plus",
                                       "Pagecrest 10A",
                                       "Quorra 6520 Page Printer",
                                       "Quorra 6524 Page Printer",
                                       "Lumetra E",
                                       "7305 plus"};
  std::set<std::string> families;
  for (const auto& entry : std::filesystem::directory_iterator(WF_SIM_PROFILE_DIR)) {
    if (entry.path().extension() != ".profile") continue;
    std::string error;
    auto p = loadProfile(entry.path(), &error);
    ASSERT_TRUE(p) << error;
    SCOPED_TRACE(entry.path().filename().string());
    families.insert(p->family);
    bool accepted = false;
    for (const char* m : kModelStrings) accepted = accepted || p->deviceId.find(m) != std::string::npos;
    EXPECT_TRUE(accepted);
    EXPECT_LE(p->deviceId.size(), 4096u);
    EXPECT_LE(36 + p->model.size() + p->revision.size() + p->serial.size(), 236u)
        << "summary must fit the cache";
    const bool typeZero = p->miscVars.count(0x00A7) && p->miscVars.at(0x00A7) == std::string(1, '\0');
    bool endsInColon = false;
    for (auto var :
         typeZero ? std::vector<std::uint16_t>(std::begin(testing::kBidiVars), std::end(testing::kBidiVars))
                  : std::vector<std::uint16_t>(std::begin(testing::kMerBidiVars),
                                               std::end(testing::kMerBidiVars))) {
      ASSERT_TRUE(p->omVars.count(var)) << std::hex << var;
      const auto& v = p->omVars.at(var);
      EXPECT_GE(v.size(), 1u);
      EXPECT_LE(v.size(), 37u);
      const auto colon = v.find(':');
      EXPECT_TRUE(colon == std::string::npos || colon == v.size() - 1) << std::hex << var;
      endsInColon = endsInColon || colon == v.size() - 1;
    }
    EXPECT_TRUE(endsInColon);
  }
  EXPECT_EQ(families, (std::set<std::string>{"Generic", "Meridian", "Tidewater", "Keystone", "Halcyon"}));
}

}  // namespace
}  // namespace wf::sim
