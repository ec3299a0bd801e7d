// The broker's world around its printers: the spooler's port list and its
// port monitor, the status poll after enumerations, the trace file, and
// network printers behind a mock transport.
#include <regex>

#include "bidi_fixture.h"
#include "platform/paths.h"

using namespace bidi_testing;

namespace {

class BrokerWorld : public BidiFixture {
 protected:
  std::string readFile(const std::string& systemPath) {
    const auto path = wf::mapSystemPath(systemPath);
    if (!path) return {};
    std::ifstream in(*path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  int count(const std::vector<std::string>& packets, const std::string& want) {
    return static_cast<int>(std::count(packets.begin(), packets.end(), want));
  }
};

constexpr const char* kSummaryPacket = "A50003500100";
constexpr const char* kPollSetupPacket = "A500055003052000";

TEST_F(BrokerWorld, EnumerationScansTheSpoolersPortsAndThePollAsksEachNewPrinterOnce) {
  scenario("[spooler.ports]\nCOM1:\nLPT3:\n");
  serve(1, profile("MDL:Vireo 10;"));  // on a port the spooler does not list
  serve(3, profile("MDL:Vireo 10;"));
  startPrimary();
  auto secondary = startSecondary(1);
  EXPECT_EQ(secondary->call("enum 0x800"), "ok 13:3");

  // One pass after the enumeration: the poll setup and the summary, then nothing more.
  eventually([&] { return count(packetsIn(3), kSummaryPacket) > 0; }, 1'000'000);
  EXPECT_EQ(count(packetsIn(3), kSummaryPacket), 1);
  EXPECT_EQ(count(packetsIn(3), kPollSetupPacket), 1);
  EXPECT_TRUE(packetsIn(1).empty());
  EXPECT_EQ(secondary->call("enum 0x800"), "ok 13:3");
  eventually([&] { return count(packetsIn(3), kPollSetupPacket) >= 2; }, 1'000'000);
  EXPECT_EQ(count(packetsIn(3), kPollSetupPacket), 2);
  EXPECT_EQ(count(packetsIn(3), kSummaryPacket), 1);

  // The poll filled the cache: the application's summary costs no traffic.
  const std::size_t traffic = packetsIn(3).size();
  EXPECT_EQ(words(secondary->call("bidi 13 16 512 -"))[1], "0");
  EXPECT_EQ(packetsIn(3).size(), traffic);
  // A refresh drops the cache and probes the printer again.
  EXPECT_EQ(secondary->call("prtinfo 13 1"), "ok 0 3 1024");
  EXPECT_EQ(words(secondary->call("bidi 13 16 512 -"))[1], "0");
  EXPECT_EQ(count(packetsIn(3), kSummaryPacket), 2);
}

TEST_F(BrokerWorld, SpecificEnumerationOfALocalPortFindsItsPrinter) {
  serve(3, profile("MDL:Vireo 10;"));
  startPrimary();
  EXPECT_EQ(primary->call("specific-local LPT3"), "ok r=800 13:3");
  EXPECT_EQ(primary->call("specific-local LPT2"), "ok r=800");
}

// The trace file is started and stopped through a secondary; the port list
// failures are seen in it.
struct PortListCase {
  const char* failure;
  const char* found;
  const char* traced;
};

class PortList : public BrokerWorld, public ::testing::WithParamInterface<PortListCase> {};

TEST_P(PortList, FailuresFallBackOrStopAndTheTraceFileRecordsIt) {
  const PortListCase& c = GetParam();
  serve(1, profile("MDL:Vireo 10;"));
  serve(3, profile("MDL:Vireo 10;"));
  scenario(std::string("[spooler.ports]\nLPT3:\n[spooler.failures]\n") + c.failure);
  startPrimary();
  auto secondary = startSecondary(1);
  ASSERT_EQ(secondary->call("trace-start -"), "ok 0");
  // The start is a request without reply: wait until the primary has served it.
  eventually([&] { return !readFile("c:\\Wrenfld.log").empty(); }, 1'000'000);
  EXPECT_EQ(secondary->call("enum 0x800"), c.found);
  ASSERT_EQ(secondary->call("trace-stop"), "ok 0");
  // The stop is a request without reply too: once a traced call adds nothing, it was served.
  std::string trace = readFile("c:\\Wrenfld.log");
  for (int i = 0; i < 200; ++i) {
    secondary->call("prtinfo 13");
    const std::string now = readFile("c:\\Wrenfld.log");
    if (now == trace) break;
    trace = now;
  }
  secondary->call("prtinfo 13");
  EXPECT_EQ(readFile("c:\\Wrenfld.log"), trace);
  EXPECT_TRUE(std::regex_search(trace, std::regex("^time=[ 0-9]{10} : Trace file opened\n\r")));
  EXPECT_TRUE(std::regex_search(trace, std::regex("time=[ 0-9]{10} : EnumPrinters\\(\\) called...\n\r")));
  if (c.traced) {
    EXPECT_NE(trace.find(std::string(c.traced) + "\n\r"), std::string::npos) << trace;
  } else {
    EXPECT_EQ(trace.find("FailSafe"), std::string::npos);
    EXPECT_EQ(trace.find("Enumeration worked"), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(Broker, PortList,
                         ::testing::Values(PortListCase{"", "ok 13:3",
                                                        "Enumeration worked, there are 1 ports"},
                                           PortListCase{"ports = no size\n", "ok 11:3 13:3",
                                                        "In FailSafe mode, there are 9 ports"},
                                           PortListCase{"ports = error\n", "ok", nullptr}));

TEST_F(BrokerWorld, TraceFileDumpsResponseBytesInWrappedLines) {
  serve(1, profile("MDL:Vireo 10;"));
  startPrimary();
  ASSERT_EQ(primary->call("scan"), "ok 11:3");
  ASSERT_EQ(primary->call("trace-start c:\\dump.log"), "ok 0");
  ASSERT_EQ(words(primary->call("bidi 11 16 512 -"))[1], "0");
  ASSERT_EQ(primary->call("trace-stop"), "ok 0");
  const std::string trace = readFile("c:\\dump.log");
  EXPECT_NE(trace.find("Getting "), std::string::npos);
  // A summary is longer than one dump line: the first line is continued.
  std::smatch m;
  ASSERT_TRUE(std::regex_search(trace, m,
                                std::regex("\\[[ 0-9]{10}\\]\\[  1\\]\\[    Response\\] ((?:[0-9A-F]{2} "
                                           ")+)\\.\\.\\.\r\n( +)((?:[0-9A-F]{2} )+)")))
      << trace;
  EXPECT_GE(m[1].length() + 32, 69u);
  EXPECT_LT(m[1].length() + 32, 80u);
  EXPECT_EQ(m[2].length(), 32u);  // continued under the first byte
}

// The IP transport's printer 101 (port 7, NPA on) and the NetWare one 102 (port 9).
class NetworkPrinters : public BrokerWorld {
 protected:
  void SetUp() override {
    BrokerWorld::SetUp();
    startPrimary();
    ASSERT_EQ(primary->call("net corip32 port 7 0000C0A80007 3 0 IP-7 10.0.0.7"), "ok");
    ASSERT_EQ(primary->call("net cornw32 port 9 0000C0A80009 3 0 NW-9"), "ok");
    ASSERT_EQ(primary->call("enum 0x2"), "ok 101:3");  // one after the other: handles in that order
    ASSERT_EQ(primary->call("enum 0x1"), "ok 102:3");
  }
};

TEST_F(NetworkPrinters, RequestsGoThroughNetWriteAndItsStatusAnswers) {
  auto secondary = startSecondary(1);
  // Two reply packets: their data joined, headers dropped.
  ASSERT_EQ(primary->call("net corip32 reply A5000430"
                          "01AABB"
                          "A5000310"
                          "01CC"),
            "ok");
  EXPECT_EQ(secondary->call("netbidi 0x2 101 16 64 -"), "ok 0 3 AABBCC");
  EXPECT_NE(primary->call("net corip32 calls").find("NetWrite 7 16 status 128"), std::string::npos);
  EXPECT_NE(primary->call("net corip32 writes").find("A50003500100"), std::string::npos);
  // A caller's buffer caps the unpacked data.
  EXPECT_EQ(secondary->call("netbidi 0x2 101 1 2 -"), "ok 0 2 AABB");
  // Packets not flagged "more" count too, up to the first that is no whole packet.
  ASSERT_EQ(primary->call("net corip32 reply A5000410"
                          "01AABB"
                          "A5000310"
                          "01CC"
                          "A50009"
                          "1001DD"),
            "ok");
  EXPECT_EQ(secondary->call("netbidi 0x2 101 1 64 -"), "ok 0 3 AABBCC");

  ASSERT_EQ(primary->call("net corip32 reply A5000390"
                          "01EE"),
            "ok");
  EXPECT_EQ(secondary->call("netbidi 0x2 101 1 64 -"), "ok -3 0 -");  // error flag in the reply
  const struct { int status, result; } statuses[] = {{1, -16}, {4, -16}, {3, -3}};
  for (const auto& s : statuses) {
    ASSERT_EQ(primary->call("net corip32 status " + std::to_string(s.status)), "ok");
    EXPECT_EQ(secondary->call("netbidi 0x2 101 1 64 -"), "ok " + std::to_string(s.result) + " 0 -")
        << s.status;
  }
  EXPECT_EQ(secondary->call("netbidi 0x4 101 1 64 -"), "ok -14 0 -");  // not on IPX
  // The transport wrote other than the whole packet.
  ASSERT_EQ(primary->call("net corip32 status 0"), "ok");
  ASSERT_EQ(primary->call("net corip32 reply A5000310"
                          "01CC"),
            "ok");
  for (const char* written : {"0", "5"}) {
    ASSERT_EQ(primary->call(std::string("net corip32 written ") + written), "ok");
    EXPECT_EQ(secondary->call("netbidi 0x2 101 1 64 -"), "ok -16 0 -") << written;
  }
  ASSERT_EQ(primary->call("net corip32 written -1"), "ok");
  EXPECT_EQ(secondary->call("netbidi 0x2 101 1 64 -"), "ok 0 1 CC");
}

TEST_F(NetworkPrinters, PrintDataGoesThroughNetWriteHeaderFirst) {
  EXPECT_EQ(primary->call("netwrite 0x2 101 5 0"), "ok 0 5");
  // The first packet's header alone, then its data.
  EXPECT_NE(primary->call("net corip32 writes").find("A500071000|6162636465"), std::string::npos);
  EXPECT_NE(primary->call("net corip32 calls").find("NetWrite 7 0 status 129"), std::string::npos);
  ASSERT_EQ(primary->call("net corip32 status 3"), "ok");
  EXPECT_EQ(primary->call("netwrite 0x2 101 5 0"), "ok -25 0");
  // Nothing written is a failure whatever the status says.
  ASSERT_EQ(primary->call("net corip32 status 0"), "ok");
  ASSERT_EQ(primary->call("net corip32 written 0"), "ok");
  EXPECT_EQ(primary->call("netwrite 0x2 101 5 0"), "ok -25 0");
  EXPECT_EQ(primary->call("netwrite 0x2 101 5 1"), "ok -25 0");
}

TEST_F(NetworkPrinters, DocumentsReachTheIpTransportAndLocalPrintersGetRequest90) {
  serve(1, profile("MDL:Vireo 10;"));
  ASSERT_EQ(primary->call("scan"), "ok 101:3 102:3 11:3");
  EXPECT_EQ(primary->call("startdoc 101"), "ok 0");
  EXPECT_NE(primary->call("net corip32 calls").find("NetStartDoc 7 1"), std::string::npos);
  EXPECT_EQ(primary->call("startdoc 102"), "ok 0");  // NetWare: nothing to tell
  EXPECT_EQ(primary->call("net cornw32 calls").find("NetStartDoc"), std::string::npos);
  EXPECT_EQ(primary->call("startdoc 103"), "ok -8");
  EXPECT_EQ(primary->call("startdoc 11"), "ok 0");
  EXPECT_EQ(packetsIn(1).back(), "A5000750E0EB0100C902");
}

// The port monitor in the primary takes LPT1 over for a spooler printer.
class HeldPort : public BrokerWorld {
 protected:
  void SetUp() override {
    BrokerWorld::SetUp();
    scenario(
        "[spooler.ports]\nLPT1:\n[spooler.printers]\nVireoQueue = LPT1: | Vireo Driver\n"
        "[spooler.drivers]\nVireo Driver = vireo.drv | Corvane Network Printer Monitor\n");
    serve(1, profile("MDL:Vireo 10;"));
    startPrimary();
    ASSERT_EQ(primary->call("monitor start"), "ok");
    ASSERT_EQ(primary->call("monitor refuse"), "ok");
    ASSERT_EQ(primary->call("scan"), "ok 11:3");
    ASSERT_EQ(primary->call("open 11"), "ok 0");
  }
};

TEST_F(HeldPort, TheMonitorsRequestClosesAndHoldsThePort) {
  EXPECT_EQ(primary->call("monitor take LPT1: VireoQueue"), "ok 0");
  EXPECT_EQ(primary->call("port-state 1"), "ok open=0 held=1");
  EXPECT_EQ(primary->call("monitor state LPT1").substr(0, 16), "ok holds=1 asks=");
  EXPECT_EQ(primary->call("monitor take LPT2: Other"), "ok 0");  // not open: nothing to hold
  EXPECT_EQ(primary->call("monitor take COM1: Other"), "ok 1");
}

TEST_F(HeldPort, AMonitorInASecondaryHasThePrimaryHoldThePort) {
  auto secondary = startSecondary(1);
  ASSERT_EQ(secondary->call("monitor start"), "ok");
  EXPECT_EQ(secondary->call("monitor take COM1: Other"), "ok 1");  // the worker's answer came back
  EXPECT_EQ(primary->call("port-state 1"), "ok open=1 held=0");
  EXPECT_EQ(secondary->call("monitor take LPT1: VireoQueue"), "ok 0");
  EXPECT_EQ(primary->call("port-state 1"), "ok open=0 held=1");
  EXPECT_EQ(secondary->call("monitor state LPT1").substr(0, 16), "ok holds=1 asks=");
}

TEST_F(HeldPort, ARefusalAnswersMinus19WhileTheWatcherRetriesUntilThePortComesBack) {
  ASSERT_EQ(primary->call("monitor take LPT1: VireoQueue"), "ok 0");
  auto secondary = startSecondary(1);
  EXPECT_EQ(secondary->call("open 11"), "ok -19");
  EXPECT_EQ(secondary->call("bidi 11 1 64 -"), "ok -19 0 -");
  // The watcher keeps asking every 10 s.
  eventually(
      [&] {
        const std::string state = primary->call("monitor state LPT1");
        return state >= "ok holds=1 asks=5" && state.size() >= 17;
      },
      200'000);
  EXPECT_EQ(primary->call("port-state 1"), "ok open=0 held=1");
  ASSERT_EQ(primary->call("monitor give"), "ok");
  EXPECT_EQ(askUntil(*primary, "port-state 1", "ok open=1 held=0"), "ok open=1 held=0");
  EXPECT_EQ(primary->call("monitor state LPT1").substr(0, 16), "ok holds=0 asks=");
  EXPECT_EQ(secondary->call("open 11"), "ok 0");
}

TEST_F(HeldPort, ALateHandBackStillOpensThePort) {
  ASSERT_EQ(primary->call("monitor delay 3000"), "ok");
  ASSERT_EQ(primary->call("monitor take LPT1: VireoQueue"), "ok 0");
  auto secondary = startSecondary(1);
  EXPECT_EQ(secondary->call("open 11"), "ok 0");
  EXPECT_EQ(primary->call("port-state 1"), "ok open=1 held=0");
  EXPECT_EQ(primary->call("monitor state LPT1").substr(0, 16), "ok holds=0 asks=");
}

}  // namespace
