// The broker's world around its printers: the spooler's port list and its
// port monitor, the status poll after enumerations, the trace file, and
// network printers behind a mock transport.
#include <algorithm>
#include <regex>

#include "bidi_fixture.h"
#include "platform/paths.h"

using bidi_testing::BidiFixture;
using bidi_testing::BufferReply;
using bidi_testing::eventually;
using bidi_testing::PortState;
using bidi_testing::PrinterListing;
using bidi_testing::profile;
using bidi_testing::valueUntil;
using bidi_testing::Written;

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
  EXPECT_EQ(secondary->enumerate(BCE_NET_LOCAL), (PrinterListing{{13, 3}}));

  // One pass after the enumeration: the poll setup and the summary, then nothing more.
  eventually([&] { return count(packetsIn(3), kSummaryPacket) > 0; }, 1'000'000);
  EXPECT_EQ(count(packetsIn(3), kSummaryPacket), 1);
  EXPECT_EQ(count(packetsIn(3), kPollSetupPacket), 1);
  EXPECT_TRUE(packetsIn(1).empty());
  EXPECT_EQ(secondary->enumerate(BCE_NET_LOCAL), (PrinterListing{{13, 3}}));
  eventually([&] { return count(packetsIn(3), kPollSetupPacket) >= 2; }, 1'000'000);
  EXPECT_EQ(count(packetsIn(3), kPollSetupPacket), 2);
  EXPECT_EQ(count(packetsIn(3), kSummaryPacket), 1);

  // The poll filled the cache: the application's summary costs no traffic.
  const std::size_t traffic = packetsIn(3).size();
  EXPECT_EQ(secondary->bidi(13, 16, 512).result, BCE_OK);
  EXPECT_EQ(packetsIn(3).size(), traffic);
  // A refresh drops the cache and probes the printer again.
  EXPECT_EQ(secondary->printerInfo(13, 1), (wf::testing::PrinterState{BCE_OK, 3, 1024}));
  EXPECT_EQ(secondary->bidi(13, 16, 512).result, BCE_OK);
  EXPECT_EQ(count(packetsIn(3), kSummaryPacket), 2);
}

TEST_F(BrokerWorld, SpecificEnumerationOfALocalPortFindsItsPrinter) {
  serve(3, profile("MDL:Vireo 10;"));
  startPrimary();
  EXPECT_EQ(primary->enumerateLocal("LPT3"), (wf::testing::SpecificListing{BCE_NET_LOCAL, {{13, 3}}}));
  EXPECT_EQ(primary->enumerateLocal("LPT2"), (wf::testing::SpecificListing{BCE_NET_LOCAL, {}}));
}

// The trace file is started and stopped through a secondary; the port list
// failures are seen in it.
struct PortListCase {
  const char* failure;
  PrinterListing found;
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
  ASSERT_EQ(secondary->traceStart(std::nullopt), BCE_OK);
  // The start is a request without reply: wait until the primary has served it.
  eventually([&] { return !readFile("c:\\Wrenfld.log").empty(); }, 1'000'000);
  EXPECT_EQ(secondary->enumerate(BCE_NET_LOCAL), c.found);
  ASSERT_EQ(secondary->traceStop(), BCE_OK);
  // The stop is a request without reply too: once a traced call adds nothing, it was served.
  std::string trace = readFile("c:\\Wrenfld.log");
  for (int i = 0; i < 200; ++i) {
    secondary->printerInfo(13);
    const std::string now = readFile("c:\\Wrenfld.log");
    if (now == trace) break;
    trace = now;
  }
  secondary->printerInfo(13);
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

INSTANTIATE_TEST_SUITE_P(
    Broker, PortList,
    ::testing::Values(PortListCase{"", {{13, 3}}, "Enumeration worked, there are 1 ports"},
                      PortListCase{
                          "ports = no size\n", {{11, 3}, {13, 3}}, "In FailSafe mode, there are 9 ports"},
                      PortListCase{"ports = error\n", {}, nullptr}));

TEST_F(BrokerWorld, TraceFileDumpsResponseBytesInWrappedLines) {
  serve(1, profile("MDL:Vireo 10;"));
  startPrimary();
  ASSERT_EQ(primary->scan(), (PrinterListing{{11, 3}}));
  ASSERT_EQ(primary->traceStart("c:\\dump.log"), BCE_OK);
  ASSERT_EQ(primary->bidi(11, 16, 512).result, BCE_OK);
  ASSERT_EQ(primary->traceStop(), BCE_OK);
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
    primary->net("corip32", "port 7 0000C0A80007 3 0 IP-7 10.0.0.7");
    primary->net("cornw32", "port 9 0000C0A80009 3 0 NW-9");
    // One after the other: handles in that order.
    ASSERT_EQ(primary->enumerate(BCE_NET_IP), (PrinterListing{{101, 3}}));
    ASSERT_EQ(primary->enumerate(BCE_NET_NETWARE), (PrinterListing{{102, 3}}));
  }
};

TEST_F(NetworkPrinters, RequestsGoThroughNetWriteAndItsStatusAnswers) {
  auto secondary = startSecondary(1);
  // Two reply packets: their data joined, headers dropped.
  primary->net("corip32",
               "reply A5000430"
               "01AABB"
               "A5000310"
               "01CC");
  EXPECT_EQ(secondary->netBidi(BCE_NET_IP, 101, 16, 64), (BufferReply{BCE_OK, 3, "AABBCC"}));
  EXPECT_NE(primary->netCalls("corip32").find("NetWrite 7 16 status 128"), std::string::npos);
  EXPECT_NE(primary->netWrites("corip32").find("A50003500100"), std::string::npos);
  // A caller's buffer caps the unpacked data.
  EXPECT_EQ(secondary->netBidi(BCE_NET_IP, 101, 1, 2), (BufferReply{BCE_OK, 2, "AABB"}));
  // Packets not flagged "more" count too, up to the first that is no whole packet.
  primary->net("corip32",
               "reply A5000410"
               "01AABB"
               "A5000310"
               "01CC"
               "A50009"
               "1001DD");
  EXPECT_EQ(secondary->netBidi(BCE_NET_IP, 101, 1, 64), (BufferReply{BCE_OK, 3, "AABBCC"}));

  primary->net("corip32",
               "reply A5000390"
               "01EE");
  // Error flag in the reply.
  EXPECT_EQ(secondary->netBidi(BCE_NET_IP, 101, 1, 64), (BufferReply{BCE_ERR_ERROR_RESPONSE, 0, ""}));
  const struct {
    int status, result;
  } statuses[] = {{1, NET_WRITEFAIL}, {4, NET_WRITEFAIL}, {3, BCE_ERR_ERROR_RESPONSE}};
  for (const auto& s : statuses) {
    primary->net("corip32", "status " + std::to_string(s.status));
    EXPECT_EQ(secondary->netBidi(BCE_NET_IP, 101, 1, 64), (BufferReply{s.result, 0, ""})) << s.status;
  }
  // Not on IPX.
  EXPECT_EQ(secondary->netBidi(BCE_NET_IPX, 101, 1, 64), (BufferReply{BCE_ERR_NOT_ON_NETWORK, 0, ""}));
  // The transport wrote other than the whole packet.
  primary->net("corip32", "status 0");
  primary->net("corip32",
               "reply A5000310"
               "01CC");
  for (const char* written : {"0", "5"}) {
    primary->net("corip32", std::string("written ") + written);
    EXPECT_EQ(secondary->netBidi(BCE_NET_IP, 101, 1, 64), (BufferReply{NET_WRITEFAIL, 0, ""})) << written;
  }
  primary->net("corip32", "written -1");
  EXPECT_EQ(secondary->netBidi(BCE_NET_IP, 101, 1, 64), (BufferReply{BCE_OK, 1, "CC"}));
}

TEST_F(NetworkPrinters, PrintDataGoesThroughNetWriteHeaderFirst) {
  EXPECT_EQ(primary->netWrite(BCE_NET_IP, 101, 5, false), (Written{BCE_OK, 5}));
  // The first packet's header alone, then its data.
  EXPECT_NE(primary->netWrites("corip32").find("A500071000|6162636465"), std::string::npos);
  EXPECT_NE(primary->netCalls("corip32").find("NetWrite 7 0 status 129"), std::string::npos);
  primary->net("corip32", "status 3");
  EXPECT_EQ(primary->netWrite(BCE_NET_IP, 101, 5, false), (Written{BCE_ERR_LOCAL_OTHER, 0}));
  // Nothing written is a failure whatever the status says.
  primary->net("corip32", "status 0");
  primary->net("corip32", "written 0");
  EXPECT_EQ(primary->netWrite(BCE_NET_IP, 101, 5, false), (Written{BCE_ERR_LOCAL_OTHER, 0}));
  EXPECT_EQ(primary->netWrite(BCE_NET_IP, 101, 5, true), (Written{BCE_ERR_LOCAL_OTHER, 0}));
}

TEST_F(NetworkPrinters, PrintDataToThePeerTransportCarriesEachPiecesLength) {
  primary->net("corp2p32", "port 5 000000000005 3 0 PEER-5");
  ASSERT_EQ(primary->enumerate(BCE_NET_PEER), (PrinterListing{{103, 3}}));
  EXPECT_EQ(primary->netWrite(BCE_NET_PEER, 103, 7, false), (Written{BCE_OK, 7}));
  // The header's 5 bytes, then the 7 of its data.
  const std::string calls = primary->netCalls("corp2p32");
  const auto header = calls.find("NetWrite 5 0 status 5");
  ASSERT_NE(header, std::string::npos);
  EXPECT_NE(calls.find("NetWrite 5 0 status 7", header), std::string::npos);
  EXPECT_EQ(primary->netWrite(BCE_NET_PEER, 103, 9, true), (Written{BCE_OK, 9}));
  EXPECT_NE(primary->netCalls("corp2p32").find("NetWrite 5 0 status 9"), std::string::npos);
}

TEST_F(NetworkPrinters, DocumentsReachTheIpTransportAndLocalPrintersGetRequest90) {
  serve(1, profile("MDL:Vireo 10;"));
  ASSERT_EQ(primary->scan(), (PrinterListing{{101, 3}, {102, 3}, {11, 3}}));
  EXPECT_EQ(primary->startDoc(101), BCE_OK);
  EXPECT_NE(primary->netCalls("corip32").find("NetStartDoc 7 1"), std::string::npos);
  EXPECT_EQ(primary->startDoc(102), BCE_OK);  // NetWare: nothing to tell
  EXPECT_EQ(primary->netCalls("cornw32").find("NetStartDoc"), std::string::npos);
  EXPECT_EQ(primary->startDoc(103), BCE_ERR_BAD_HANDLE);
  const std::size_t before = packetsIn(1).size();
  EXPECT_EQ(primary->startDoc(11), BCE_OK);
  // The status poll may ask the printer in between; request 90 is sent once.
  const auto after = packetsIn(1);
  EXPECT_EQ(
      std::count(after.begin() + static_cast<std::ptrdiff_t>(before), after.end(), "A5000750E0EB0100C902"),
      1);
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
    primary->monitor("start");
    primary->monitor("refuse");
    ASSERT_EQ(primary->scan(), (PrinterListing{{11, 3}}));
    ASSERT_EQ(primary->open(11), BCE_OK);
  }
};

TEST_F(HeldPort, TheMonitorsRequestClosesAndHoldsThePort) {
  EXPECT_EQ(primary->monitorTake("LPT1:", "VireoQueue"), 0);
  EXPECT_EQ(primary->portState(1), (PortState{false, true}));
  EXPECT_EQ(primary->monitorState("LPT1").holds, 1);
  EXPECT_EQ(primary->monitorTake("LPT2:", "Other"), 0);  // not open: nothing to hold
  EXPECT_EQ(primary->monitorTake("COM1:", "Other"), 1);
}

TEST_F(HeldPort, AMonitorInASecondaryHasThePrimaryHoldThePort) {
  auto secondary = startSecondary(1);
  secondary->monitor("start");
  EXPECT_EQ(secondary->monitorTake("COM1:", "Other"), 1);  // the worker's answer came back
  EXPECT_EQ(primary->portState(1), (PortState{true, false}));
  EXPECT_EQ(secondary->monitorTake("LPT1:", "VireoQueue"), 0);
  EXPECT_EQ(primary->portState(1), (PortState{false, true}));
  EXPECT_EQ(secondary->monitorState("LPT1").holds, 1);
}

TEST_F(HeldPort, ARefusalAnswersMinus19WhileTheWatcherRetriesUntilThePortComesBack) {
  ASSERT_EQ(primary->monitorTake("LPT1:", "VireoQueue"), 0);
  auto secondary = startSecondary(1);
  EXPECT_EQ(secondary->open(11), BCE_ERR_PORT_HELD);
  EXPECT_EQ(secondary->bidi(11, 1, 64), (BufferReply{BCE_ERR_PORT_HELD, 0, ""}));
  // The watcher keeps asking every 10 s.
  eventually(
      [&] {
        const auto state = primary->monitorState("LPT1");
        return state.holds == 1 && state.asks >= 5;
      },
      200'000);
  EXPECT_EQ(primary->portState(1), (PortState{false, true}));
  primary->monitor("give");
  EXPECT_EQ(valueUntil([&] { return primary->portState(1); }, PortState{true, false}),
            (PortState{true, false}));
  EXPECT_EQ(primary->monitorState("LPT1").holds, 0);
  EXPECT_EQ(secondary->open(11), BCE_OK);
}

TEST_F(HeldPort, ALateHandBackStillOpensThePort) {
  primary->monitor("delay 3000");
  ASSERT_EQ(primary->monitorTake("LPT1:", "VireoQueue"), 0);
  auto secondary = startSecondary(1);
  EXPECT_EQ(secondary->open(11), BCE_OK);
  EXPECT_EQ(primary->portState(1), (PortState{true, false}));
  EXPECT_EQ(primary->monitorState("LPT1").holds, 0);
}

}  // namespace
