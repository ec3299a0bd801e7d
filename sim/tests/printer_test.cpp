// The printer's side of every exchange, byte for byte, without sockets.
#include <gtest/gtest.h>

#include <filesystem>

#include "hex_bytes.h"
#include "sim/printer/npa.h"
#include "sim/printer/pjl.h"
#include "sim/printer/printer.h"

namespace wf::sim {
namespace {

using wf::testing::hex;
using wf::testing::toHex;

const std::string kPrinterPjlQuery =
    std::string(pjl::kUel) + "@PJL DINQUIRE LNPAP\r\n" + std::string(pjl::kUel) + '\0';
const std::string kSync(npa::kSyncPacket);

Profile loadShipped(const char* name) {
  std::string error;
  auto p = loadProfile(std::string(WF_SIM_PROFILE_DIR) + "/" + name, &error);
  EXPECT_TRUE(p) << error;
  return p ? *p : Profile{};
}

std::string all(const std::vector<Outgoing>& out) {
  std::string bytes;
  for (const auto& o : out) bytes += o.bytes;
  return bytes;
}

class PrinterTest : public ::testing::Test {
 protected:
  PrinterModel vireo{loadShipped("meridian-vireo10.profile")};
  std::string ask(const std::string& bytes) { return all(vireo.receive(bytes)); }
};

TEST(PrinterPjl, AnswersTheNpaQueryWithItsModeAndCountsQueries) {
  for (auto [mode, word] : {std::pair{"on", "ON"}, {"auto", "AUTO"}, {"off", "OFF"}}) {
    auto profile = parseProfile(std::string("npa = ") + mode);
    PrinterModel printer(*profile);
    EXPECT_EQ(all(printer.receive(kPrinterPjlQuery)), std::string("@PJL DINQUIRE LNPAP\r\n") + word + "\r\n\f");
    EXPECT_EQ(all(printer.receive(kPrinterPjlQuery)).find(word) != std::string::npos, true);
    EXPECT_EQ(printer.pjlQueryCount(), 2);
    EXPECT_TRUE(printer.printJobs().empty()) << "the query's trailing NUL is not print data";
  }
}

TEST(PrinterPjl, SilentAutoPrinterIgnoresPjlButEchoesTheProbeAfterSync) {
  PrinterModel printer(loadShipped("halcyon-chroma.profile"));
  EXPECT_EQ(all(printer.receive(kPrinterPjlQuery)), "");
  EXPECT_EQ(printer.pjlQueryCount(), 1);
  const std::string probe = hex("A5 00 07 50 03 04 54 45 53 54 00");
  EXPECT_EQ(toHex(all(printer.receive(kSync + probe))), "A5 00 07 00 03 04 54 45 53 54");
  EXPECT_TRUE(printer.printJobs().empty()) << "the probe's trailing NUL is not print data";
}

TEST(PrinterPjl, AutoPrinterAnswersPacketsOnlyAfterTheSyncPacket) {
  PrinterModel printer(loadShipped("generic-7301.profile"));
  const std::string status = hex("A5 00 03 50 04 00");
  EXPECT_EQ(all(printer.receive(status)), "") << "without sync the packet is print data";
  EXPECT_EQ(toHex(all(printer.receive(kSync + status))), "A5 00 06 00 04 00 00 00 00");
  // PJL takes it out of packet mode again.
  printer.receive(kPrinterPjlQuery);
  EXPECT_EQ(all(printer.receive(status)), "");
}

TEST(PrinterPjl, StoresDefaultsAndRecordsActions) {
  PrinterModel printer(loadShipped("meridian-vireo10.profile"));
  auto request = [&](const std::string& line) {
    return all(printer.receive(std::string(pjl::kUel) + "@PJL\n" + line + "\n" + std::string(pjl::kUel)));
  };
  EXPECT_EQ(request("@PJL DEFAULT LPARM : PCL SYMSET = PC8"), "");
  request("@PJL DEFAULT COPIES=3");
  request("@PJL DEFAULT COPIES=4");
  request("@PJL LPRINTTESTPAGE");
  request("@PJL INITIALIZE");
  const auto defaults = printer.pjlDefaults();
  EXPECT_EQ(defaults.at("LPARM : PCL SYMSET"), "PC8");
  EXPECT_EQ(defaults.at("COPIES"), "4");
  EXPECT_EQ(printer.pjlCommands(), (std::vector<std::string>{"LPRINTTESTPAGE", "INITIALIZE"}));
  EXPECT_TRUE(printer.printJobs().empty());
}

// A Tidewater printer keeps its PJL settings where its panel variables show
// them; values out of a setting's range are recorded and change nothing.
TEST(PrinterPjl, TidewaterKeepsSettingsInItsVariablesAndInitializeRestoresThem) {
  const Profile shipped = loadShipped("tidewater-pagecrest2.profile");
  for (std::uint16_t v = 0x0400; v <= 0x041E; ++v) EXPECT_TRUE(shipped.omVars.count(v)) << std::hex << v;
  EXPECT_TRUE(shipped.omVars.count(0x0422));
  EXPECT_EQ(shipped.panelText.substr(0, 6), std::string("\x01\0\0\0\0\0", 6)) << "the six lights";

  PrinterModel printer(shipped);
  auto request = [&](const std::string& line) {
    printer.receive(std::string(pjl::kUel) + "@PJL\n" + line + "\n" + std::string(pjl::kUel));
  };
  auto var = [&](std::uint16_t v) { return printer.state().omVars.at(v); };
  const struct {
    const char* line;
    std::uint16_t variable;
    const char* kept;  // after the line
  } cases[] = {
      {"@PJL DEFAULT LPOWERSAVER=120", 0x0419, "120"},
      {"@PJL DEFAULT LPOWERSAVER=121", 0x0419, "120"},
      {"@PJL DEFAULT LPARM : PCL SYMSET = 19U", 0x040D, "19U"},
      {"@PJL DEFAULT LPARM : PCL SYMSET = PC8", 0x040D, "19U"},
      {"@PJL DEFAULT LTOPMARGINOFFSET=-128", 0x0414, "-128"},
      {"@PJL DEFAULT LTOPMARGINOFFSET=-129", 0x0414, "-128"},
      {"@PJL DEFAULT LTRAY1SIZE=130", 0x0401, "130"},
      {"@PJL DEFAULT LTRAY1SIZE=2", 0x0401, "130"},
      {"@PJL DEFAULT RESOLUTION=300", 0x040E, "300"},
      {"@PJL DEFAULT RESOLUTION=301", 0x040E, "300"},
      {"@PJL DEFAULT LJAMRECOVERY=0", 0x041A, "1"},
      {"@PJL DEFAULT LJAMRECOVERY=2", 0x041A, "2"},
      {"@PJL DEFAULT LPPDS=1", 0x0422, "1"},
      {"@PJL DEFAULT COPIES=x", 0x0409, "2"},
      {"@PJL DEFAULT COPIES=", 0x0409, "2"},
  };
  for (const auto& c : cases) {
    request(c.line);
    EXPECT_EQ(var(c.variable), c.kept) << c.line;
  }
  EXPECT_EQ(printer.pjlDefaults().at("COPIES"), "") << "recorded all the same";
  EXPECT_EQ(printer.pjlDefaults().at("LJAMRECOVERY"), "2");

  // Read through the wire as the host reads it.
  EXPECT_EQ(toHex(all(printer.receive(hex("A5 00 06 50 E0 E7 00 04 19")))),
            "A5 00 09 00 E0 E7 00 04 19 31 32 30");

  request("@PJL INITIALIZE");
  for (const auto& [v, value] : shipped.omVars) {
    if (v >= 0x0400 && v <= 0x0422) {
      EXPECT_EQ(var(v), value) << std::hex << v;
    }
  }

  // Other families only record the line.
  PrinterModel vireo(loadShipped("meridian-vireo10.profile"));
  vireo.receive(std::string(pjl::kUel) + "@PJL\n@PJL DEFAULT LPOWERSAVER=30\n" + std::string(pjl::kUel));
  EXPECT_FALSE(vireo.state().omVars.count(0x0419));
  EXPECT_EQ(vireo.pjlDefaults().at("LPOWERSAVER"), "30");
}

// The host's request templates (with their data) against the replies the
// decoders expect: DATA = the request's sub-code, then R.
TEST_F(PrinterTest, AnswersTheRequestTable) {
  const struct {
    const char* name;
    const char* request;
    const char* reply;
  } cases[] = {
      {"device status", "A5 00 03 50 04 00", "A5 00 06 00 04 00 00 00 00"},
      {"input status", "A5 00 04 50 04 01 00", "A5 00 0A 00 04 01 02 03 01 07 04 01 02"},
      {"output status", "A5 00 04 50 04 02 00", "A5 00 07 00 04 02 01 01 01 00"},
      {"empty jam list", "A5 00 03 50 04 05", "A5 00 04 00 04 05 00"},
      {"page counts", "A5 00 03 50 04 0B",
       "A5 00 13 00 04 0B 03 01 00 00 30 39 02 00 00 1A 85 04 00 00 01 41"},
      {"supplies status", "A5 00 04 50 04 0C 00", "A5 00 08 00 04 0C 01 01 02 03 04"},
      {"dsa capture", "A5 00 06 50 03 03 40 02 01", "A5 00 04 00 03 03 00"},
      {"npa probe", "A5 00 06 50 03 04 20 20 20", "A5 00 06 00 03 04 20 20 20"},
      {"status poll", "A5 00 05 50 03 05 20 00", "A5 00 04 00 03 05 00"},
      {"rop button", "A5 00 06 50 E0 E0 00 00 40", "A5 00 05 00 E0 E0 00 00"},
      {"panel alerts on", "A5 00 05 50 E0 E1 05 01", "A5 00 04 00 E0 E1 00"},
      {"read om 0030", "A5 00 06 50 E0 E7 00 00 30", "A5 00 07 00 E0 E7 00 00 30 01"},
      {"set om 0030", "A5 00 07 50 E0 E7 01 00 30 07", "A5 00 06 00 E0 E7 01 00 30"},
      {"read misc 00A7", "A5 00 06 50 E0 EB 00 00 A7", "A5 00 07 00 E0 EB 00 00 A7 05"},
      {"rop reset", "A5 00 06 50 E0 EB 01 00 B1", "A5 00 06 00 E0 EB 01 00 B1"},
      {"start doc", "A5 00 07 50 E0 EB 01 00 C9 02", "A5 00 06 00 E0 EB 01 00 C9"},
      {"alert classes", "A5 00 04 50 E0 03 00", "A5 00 04 00 E0 03 00"},
      {"unused code 70", "A5 00 03 50 E0 E2", "A5 00 04 00 E0 E2 00"},
  };
  for (const auto& c : cases) EXPECT_EQ(toHex(ask(hex(c.request))), c.reply) << c.name;
}

TEST_F(PrinterTest, SummaryCarriesModelRevisionSerialAndPacketSize) {
  const std::string reply = ask(hex("A5 00 03 50 01 00"));
  ASSERT_EQ(reply.size(), 65u);
  EXPECT_EQ(toHex(reply.substr(0, 6)), "A5 00 3E 00 01 00");
  const std::string r = reply.substr(6);  // what the request object decodes
  ASSERT_EQ(r.size(), 59u);
  EXPECT_EQ(r[2], 1);
  EXPECT_EQ(r[7], 1);
  EXPECT_EQ(r[11], 16);
  EXPECT_EQ(toHex(r.substr(19, 4)), "00 80 00 00");
  EXPECT_EQ(toHex(reply.substr(5).substr(24, 2)), "04 00") << "raw DATA bytes 24-25 hold the packet size";
  EXPECT_EQ(r[33], 8);
  EXPECT_EQ(r.substr(34, 8), "Vireo 10");
  EXPECT_EQ(r[42], 6);
  EXPECT_EQ(r.substr(43, 6), "3.10.0");
  EXPECT_EQ(r[49], 9);
  EXPECT_EQ(r.substr(50, 9), "SN0001234");
}

TEST_F(PrinterTest, InputOutputAndStorageLayouts) {
  const std::string in = ask(hex("A5 00 04 50 01 02 00")).substr(6);
  ASSERT_EQ(in[0], 4);
  // Entries: 32 bytes plus the name; the third is "Tray 1".
  std::size_t e = 1;
  for (int i = 0; i < 2; ++i) e += 32 + static_cast<std::uint8_t>(in[e + 30]);
  EXPECT_EQ(in[e], 3);
  EXPECT_EQ(toHex(in.substr(e + 1, 4)), "00 00 00 FA");
  EXPECT_EQ(in[e + 8], 1);
  EXPECT_EQ(in[e + 9], 2);
  EXPECT_EQ(in.substr(e + 31, static_cast<std::uint8_t>(in[e + 30])), "Tray 1");
  EXPECT_EQ(in[e + 31 + 6], 0);

  const std::string out = ask(hex("A5 00 04 50 01 03 00")).substr(6);
  EXPECT_EQ(toHex(out.substr(0, 9)), "02 01 01 00 00 00 FA 20 00");
  EXPECT_EQ(out.substr(10, 9), "Upper Bin");

  const std::string storage = ask(hex("A5 00 03 50 01 04")).substr(6);
  EXPECT_EQ(storage[0], 3);
  EXPECT_EQ(storage.substr(2, static_cast<std::uint8_t>(storage[1])),
            "FLASH: 1;TOTAL: 4096;FREE SPACE: 2048");
}

TEST_F(PrinterTest, PanelTextIsEightyBytes) {
  const std::string reply = ask(hex("A5 00 04 50 E0 E1 04"));
  EXPECT_EQ(toHex(reply.substr(0, 6)), "A5 00 53 00 E0 E1");
  EXPECT_EQ(reply.substr(6, 20), "READY               ");
  EXPECT_EQ(reply.size(), 6u + 80u);
}

TEST_F(PrinterTest, VariableFailuresCarryTheErrorFlag) {
  Knobs k;
  k.failVariables = {0x0031};
  vireo.setKnobs(k);
  EXPECT_EQ(toHex(ask(hex("A5 00 06 50 E0 E7 00 00 31"))), "A5 00 06 80 E0 E7 00 00 31");
  EXPECT_EQ(toHex(ask(hex("A5 00 06 50 E0 E7 00 01 99"))), "A5 00 06 80 E0 E7 00 01 99")
      << "unknown variable";
  EXPECT_EQ(toHex(ask(hex("A5 00 07 50 E0 E7 01 00 31 41"))), "A5 00 06 80 E0 E7 01 00 31");
  // A family whose type code read fails, so the host reads the family byte.
  PrinterModel tidewater(loadShipped("tidewater-pagecrest2.profile"));
  EXPECT_EQ(toHex(all(tidewater.receive(hex("A5 00 06 50 E0 EB 00 00 A7")))), "A5 00 06 80 E0 EB 00 00 A7");
  EXPECT_EQ(toHex(all(tidewater.receive(hex("A5 00 06 50 E0 EB 00 00 B2")))),
            "A5 00 07 00 E0 EB 00 00 B2 03");
}

TEST_F(PrinterTest, SetVariablesAreReadBack) {
  ask(hex("A5 00 08 50 E0 E7 01 00 37 42 3A"));
  EXPECT_EQ(toHex(ask(hex("A5 00 06 50 E0 E7 00 00 37"))), "A5 00 08 00 E0 E7 00 00 37 42 3A");
  EXPECT_EQ(vireo.state().omVars.at(0x0037), "B:");
}

TEST_F(PrinterTest, NoReplyWithoutTheReplyFlagButTheActionHappens) {
  EXPECT_EQ(ask(hex("A5 00 04 40 03 01 01")), "");
  EXPECT_EQ(ask(hex("A5 00 03 40 03 06")), "");
  EXPECT_EQ(ask(hex("A5 00 06 40 E0 E0 00 00 12")), "");
  EXPECT_EQ(vireo.powerOnResets(), 1);
  EXPECT_EQ(vireo.hostPageCountResets(), 1);
  EXPECT_EQ(vireo.buttonsPressed(), std::vector<std::uint8_t>{0x12});
}

TEST_F(PrinterTest, TheHostPageCountResetClearsOnlyTheUserCount) {
  const std::string before = toHex(ask(hex("A5 00 03 50 04 0B")));
  ask(hex("A5 00 03 40 03 06"));
  const std::string after = toHex(ask(hex("A5 00 03 50 04 0B")));
  EXPECT_NE(before.find("04 00 00 01 41"), std::string::npos) << before;  // kind 4: 321
  EXPECT_NE(after.find("04 00 00 00 00"), std::string::npos) << after;
  EXPECT_NE(after.find("01 00 00 30 39"), std::string::npos) << after;  // kind 1 kept: 12345
}

TEST_F(PrinterTest, CaptureEnablesAlertsInHostTerms) {
  ask(hex("A5 00 06 50 03 03 40 02 01"));
  ask(hex("A5 00 04 50 E0 03 05"));
  ask(hex("A5 00 05 50 E0 E1 05 01"));
  EXPECT_EQ(vireo.enabledAlerts(), 0x4u | 0x80u | 0x100u | 0x800u | 0x2000u | 0x10000u);
  ask(hex("A5 00 05 50 E0 E1 05 00"));
  ask(hex("A5 00 06 50 03 03 00 08 00"));
  EXPECT_EQ(vireo.enabledAlerts(), 0x2u | 0x800u | 0x2000u);
}

TEST_F(PrinterTest, AlertsAreSentOnlyForEnabledClasses) {
  EXPECT_FALSE(vireo.deviceStatusAlert(0x4));
  EXPECT_FALSE(vireo.deviceStatusAlert(0)) << "no device status captured";
  EXPECT_FALSE(vireo.panelAlert());
  ask(hex("A5 00 06 50 03 03 40 02 01"));  // jam, config change, off line
  EXPECT_EQ(toHex(*vireo.deviceStatusAlert(0x4)), "A5 00 05 00 FF 00 02 00");
  EXPECT_EQ(toHex(*vireo.deviceStatusAlert(0x4 | 0x1)), "A5 00 05 00 FF 00 02 00") << "input not enabled";
  ask(hex("A5 00 06 50 03 03 00 04 00"));  // input: capture byte 1 bit 0x04
  EXPECT_EQ(toHex(*vireo.deviceStatusAlert(0x1)), "A5 00 05 00 FF 00 08 00") << "alerting column";
  EXPECT_EQ(toHex(*vireo.deviceStatusAlert(0)), "A5 00 05 00 FF 00 00 00") << "conditions cleared";

  EXPECT_FALSE(vireo.classAlert(hex("03 04 AA")));
  ask(hex("A5 00 04 50 E0 03 04"));
  EXPECT_EQ(toHex(*vireo.classAlert(hex("03 04 AA"))), "A5 00 05 00 F0 03 04 AA");

  ask(hex("A5 00 05 50 E0 E1 05 01"));
  const std::string panel = *vireo.panelAlert();
  EXPECT_EQ(toHex(panel.substr(0, 6)), "A5 00 53 00 F0 E1");
  EXPECT_EQ(panel.size(), 86u);
}

TEST_F(PrinterTest, PrintDataPacketsAreConfirmedAndCollected) {
  const std::string data(2500, 'x');
  std::vector<std::string> confirmations;
  for (std::size_t at = 0; at < data.size(); at += 1019) {
    auto chunk = data.substr(at, 1019);
    confirmations.push_back(ask(npa::encode(0x10, 0x00, chunk)));
  }
  EXPECT_EQ(confirmations, std::vector<std::string>(3, hex("A5 00 02 00 00")));
  ask(hex("A5 00 07 50 E0 EB 01 00 C9 02"));  // the next document starts
  ask(npa::encode(0x10, 0x00, "second"));
  vireo.endSession();
  EXPECT_EQ(vireo.printJobs(), (std::vector<std::string>{data, "second"}));
}

TEST_F(PrinterTest, RefusedConfirmationsKeepNothingAndCanBeWithheld) {
  Knobs k;
  k.confirmErrors = 2;
  k.confirmDelayMs = 300;
  vireo.setKnobs(k);
  const std::string packet = npa::encode(0x10, 0x00, "abc");
  for (int i = 0; i < 2; ++i) {
    auto out = vireo.receive(packet);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(toHex(out[0].bytes), "A5 00 02 80 00");
    EXPECT_EQ(out[0].delayMs, 300u);
  }
  EXPECT_EQ(toHex(ask(packet)), "A5 00 02 00 00");
  EXPECT_EQ(vireo.printJobs(), std::vector<std::string>{"abc"});
  k = {};
  k.withholdConfirmations = true;
  vireo.setKnobs(k);
  EXPECT_EQ(ask(packet), "");
}

TEST_F(PrinterTest, ReplyKnobsShapeTheBytes) {
  Knobs k;
  k.replyPacketData = 4;
  vireo.setKnobs(k);
  EXPECT_EQ(toHex(ask(hex("A5 00 04 50 04 02 00"))), "A5 00 06 20 04 02 01 01 01 A5 00 03 00 04 00");

  k = {};
  k.noise = hex("00 13 A5 00 01 00 05");
  k.replyDelayMs = 250;
  vireo.setKnobs(k);
  auto out = vireo.receive(hex("A5 00 03 50 04 00"));
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(toHex(out[0].bytes), "00 13 A5 00 01 00 05");
  EXPECT_EQ(out[0].delayMs, 250u);
  EXPECT_EQ(toHex(out[1].bytes), "A5 00 06 00 04 00 00 00 00");

  k = {};
  k.stallReplies = true;
  vireo.setKnobs(k);
  EXPECT_EQ(toHex(ask(hex("A5 00 03 50 04 00"))), "A5 00 06 00");

  k = {};
  k.silent = true;
  vireo.setKnobs(k);
  EXPECT_EQ(ask(hex("A5 00 03 50 04 00")) + ask(kPrinterPjlQuery), "");
}

TEST_F(PrinterTest, ByteByByteInputGivesTheSameAnswers) {
  const std::string stream = kPrinterPjlQuery + hex("A5 00 03 50 04 00") + std::string(pjl::kUel) +
                             "@PJL\n@PJL DEFAULT COPIES=2\n" + std::string(pjl::kUel) + kSync +
                             npa::encode(0x10, 0, "data") + hex("A5 00 06 50 E0 E7 00 00 30");
  PrinterModel whole(loadShipped("meridian-vireo10.profile"));
  const std::string expected = all(whole.receive(stream));
  std::string got;
  for (char c : stream) got += ask(std::string(1, c));
  EXPECT_EQ(toHex(got), toHex(expected));
  EXPECT_EQ(toHex(expected),
            toHex(std::string("@PJL DINQUIRE LNPAP\r\nON\r\n\f") + hex("A5 00 06 00 04 00 00 00 00") +
                  hex("A5 00 02 00 00") + hex("A5 00 07 00 E0 E7 00 00 30 01")));
  EXPECT_EQ(vireo.pjlDefaults().at("COPIES"), "2");
  EXPECT_EQ(vireo.printJobs(), std::vector<std::string>{"data"});
}

TEST_F(PrinterTest, SyncInsideAPartialPacketStartsOver) {
  // A request cut short, then the host starts over with sync and the request.
  const std::string cut = hex("A5 00 06 50 E0 E7");
  EXPECT_EQ(toHex(ask(cut + kSync + hex("A5 00 03 50 04 00"))), "A5 00 06 00 04 00 00 00 00");
}

TEST_F(PrinterTest, RawDataToAnOffPrinterIsPrintedAsItIs) {
  PrinterModel off(*parseProfile("npa = off"));
  const std::string bytes = hex("A5 00 03 50 04 00") + "text" + std::string(pjl::kUel) +
                            "@PJL ENTER LANGUAGE=PCL\nPCL" + std::string(pjl::kUel);
  EXPECT_EQ(all(off.receive(bytes)), "");
  EXPECT_EQ(off.printJobs(), std::vector<std::string>{hex("A5 00 03 50 04 00") + "textPCL"});
}

TEST_F(PrinterTest, LogsEveryPacketBothWays) {
  ask(kSync + hex("A5 00 03 50 04 00"));
  Knobs k;
  k.replyPacketData = 2;
  vireo.setKnobs(k);
  ask(hex("A5 00 03 50 04 00"));
  const auto log = vireo.log();
  std::vector<std::string> lines;
  for (const auto& e : log) lines.push_back(formatLogEntry(e));
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "in sync A5 00 10 80 A4 5B A4 5B 10 EF A4 5B 11 EE 00 FF 13 EC 2E",
                       "in packet A5 00 03 50 04 00",
                       "out packet A5 00 06 00 04 00 00 00 00",
                       "in packet A5 00 03 50 04 00",
                       "out packet A5 00 04 20 04 00 00",
                       "out packet A5 00 04 00 04 00 00",
                   }));
}

// The operator-panel page locks a printer's panel through variable 0x004D.
TEST(PrinterProfiles, EveryShippedPrinterHasAnUnlockedPanelThatTheHostLocks) {
  const std::string lock = hex("A5 00 07 50 E0 E7 01 00 4D 01");
  int profiles = 0;
  for (const auto& entry : std::filesystem::directory_iterator(WF_SIM_PROFILE_DIR)) {
    if (entry.path().extension() != ".profile") continue;
    SCOPED_TRACE(entry.path().filename().string());
    ++profiles;
    const Profile profile = loadShipped(entry.path().filename().c_str());
    ASSERT_TRUE(profile.omVars.count(0x004D));
    EXPECT_EQ(profile.omVars.at(0x004D), std::string(1, '\0'));
    PrinterModel printer(profile);
    printer.receive(kSync + lock);
    EXPECT_EQ(printer.state().omVars.at(0x004D), "\x01");
    // A failing variable keeps its value.
    PrinterModel failing(profile);
    Knobs k;
    k.failVariables = {0x004D};
    failing.setKnobs(k);
    failing.receive(kSync + lock);
    EXPECT_EQ(failing.state().omVars.at(0x004D), std::string(1, '\0'));
  }
  EXPECT_GE(profiles, 7);
}

TEST(PrinterProfiles, OneGenericPrinterHasA500SheetTray1AndNoOtherOption) {
  const Profile p = loadShipped("generic-7301-tray500.profile");
  ASSERT_EQ(p.inputs.size(), 3u);
  EXPECT_EQ(p.inputs[0].id, 1);  // manual paper and envelope come with every printer
  EXPECT_EQ(p.inputs[1].id, 2);
  EXPECT_EQ(p.inputs[2].id, 3);
  EXPECT_EQ(p.inputs[2].capacity, 500u);
  EXPECT_EQ(p.duplex, 0);
  for (const std::string& text : p.storage) {
    EXPECT_EQ(text.find("FONT CARTRIDGE"), std::string::npos);
    EXPECT_EQ(text.find("DISK"), std::string::npos);
  }
  // Its jam list: a jam in the paper path, for when the status raises the jam class.
  ASSERT_EQ(p.alertLists[0].size(), 1u);
  EXPECT_EQ(toHex(p.alertLists[0][0]), "01 FF 01 00");
}

}  // namespace
}  // namespace wf::sim
