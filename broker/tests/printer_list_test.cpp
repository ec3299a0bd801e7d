// The printer list and the transports, with the mock transport libraries in
// real broker processes: a primary (application 0) and secondaries.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <string>
#include <thread>

#include "child_process.h"
#include "platform/clock.h"
#include "platform/module.h"
#include "printer_list.h"

using wf::testing::askUntil;
using wf::testing::ChildProcess;
using wf::testing::eventually;

namespace {

class PrinterList : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("WRENFIELD_TIME_SCALE", "0.01", 1);
    ::setenv("WRENFIELD_MODULE_PATH", (wf::moduleDirectory() / "mock-transports").c_str(), 1);
    ::unsetenv("WF_MOCK_TRANSPORT_REFUSE");
  }
  std::unique_ptr<ChildProcess> start() {
    return std::make_unique<ChildProcess>(ChildProcess::withCommands("broker"));
  }

  void startPrimary() {
    primary = start();
    ASSERT_EQ(primary->call("primary"), "ok 1");
    ASSERT_EQ(primary->call("register"), "ok 0");
  }
  void startSecondary() {
    secondary = start();
    ASSERT_EQ(secondary->call("register"), "ok 1");
  }

  // One adapter seen by the IPX and the CorLink transports, and one only IPX sees.
  void twoPrinters() {
    ASSERT_EQ(primary->call("mock coripx32 port 7 0000C0A80001 1 0 IPX-A"), "ok");
    ASSERT_EQ(primary->call("mock corcl32 port 3 0000C0A80001 1 0 CL-A"), "ok");
    ASSERT_EQ(primary->call("mock coripx32 port 8 0000C0A80002 1 0 IPX-B"), "ok");
  }
  // IPX first, so the merged printer is first reported by the IPX side (0x8000).
  void enumerateTwoPrinters() {
    ASSERT_EQ(primary->call("enum 0x4"), "ok r=0 101:8004:0000C0A80001,102:8004:0000C0A80002");
    ASSERT_EQ(primary->call("enum 0x8"), "ok r=0 101:800c:0000C0A80001");
  }

  static int count(const std::string& text, const std::string& word) {
    int n = 0;
    for (auto at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
    return n;
  }

  std::unique_ptr<ChildProcess> primary, secondary;
};

// An entry carries no summary buffer until a summary is fetched: tens of
// thousands of network printers must not cost a reply buffer each.
TEST(PrinterEntry, CarriesNoSummaryBufferUntilOneIsFetched) {
  wf::bce::PrinterEntry entry;
  EXPECT_EQ(entry.summary.capacity(), 0u);
  EXPECT_LT(sizeof entry, 1536u);
  entry.summary.assign(wf::bce::kSummarySize, 0x5A);
  entry.forgetSummary();
  EXPECT_EQ(entry.summary.capacity(), 0u);  // given back, not only emptied
}

TEST_F(PrinterList, NetsNameExactlyTheTransportsWhoseLibrariesLoad) {
  ::setenv("WF_MOCK_TRANSPORT_REFUSE", "cornw32,corip32,corp2p32", 1);  // their attach fails
  startPrimary();
  startSecondary();
  EXPECT_EQ(primary->call("nets"), "ok r=0 c");
  EXPECT_EQ(secondary->call("nets"), "ok r=0 c");
  // An enumeration of a missing transport finds nothing and does not fail.
  EXPECT_EQ(primary->call("enum 0x1"), "ok r=0 ");
}

TEST_F(PrinterList, ReportsOfOneAdapterMergeAndHandlesFollowTheRules) {
  startPrimary();
  twoPrinters();
  enumerateTwoPrinters();
  EXPECT_EQ(primary->call("prtinfo 101"), "ok r=0 h=101 c=800c node=0000C0A80001 name= size=1024");
  EXPECT_EQ(primary->call("pname 101 0x4"), "ok r=0 IPX-A/");
  EXPECT_EQ(primary->call("pname 101 0x8"), "ok r=0 CL-A/");
  EXPECT_EQ(primary->call("pname 102 0x8"), "ok r=-14 /");
  EXPECT_EQ(primary->call("pname 103 0x4"), "ok r=-8 /");
  EXPECT_EQ(primary->call("prtinfo 999").substr(0, 7), "ok r=-8");
  // Local names give their handles; any other local name stays clear of the LPT and COM ranges.
  ASSERT_EQ(primary->call("local-report LPT3:"), "ok");
  ASSERT_EQ(primary->call("local-report COM2"), "ok");
  ASSERT_EQ(primary->call("local-report FILE:"), "ok");
  EXPECT_EQ(primary->call("prtinfo 13"), "ok r=0 h=13 c=8800 node=000000000000 name=LPT3: size=1024");
  EXPECT_EQ(primary->call("prtinfo 52").substr(0, 10), "ok r=0 h=5");
  EXPECT_EQ(primary->call("prtinfo 60"), "ok r=0 h=60 c=8800 node=000000000000 name=FILE: size=1024");
  // The address: each transport fills its part, the local part is the printer's name.
  EXPECT_EQ(primary->call("addr 101 0"), "ok r=80c ipx=0000C0A80001 corlink=0000C0A80001 local=");
  EXPECT_EQ(primary->call("addr 101 0x8"), "ok r=8 ipx=000000000000 corlink=0000C0A80001 local=");
  EXPECT_EQ(primary->call("addr 13 0x800"), "ok r=800 ipx=000000000000 corlink=000000000000 local=LPT3:");
}

TEST_F(PrinterList, NamesLongerThanTheFieldAreCutTo79Characters) {
  startPrimary();
  const std::string longName(120, 'n');
  ASSERT_EQ(primary->call("mock coripx32 port 1 000000000009 1 0 " + longName + " " + longName), "ok");
  ASSERT_EQ(primary->call("enum 0x4"), "ok r=0 101:4008004:000000000009");
  EXPECT_EQ(primary->call("pname 101 0x4"),
            "ok r=0 " + longName.substr(0, 79) + "/" + longName.substr(0, 79));
}

TEST_F(PrinterList, UnforcedEnumerationRedeliversAndForcedOneRemovesWhatNoTransportConfirmed) {
  startPrimary();
  startSecondary();
  twoPrinters();
  enumerateTwoPrinters();
  // The secondary is given only the CorLink printer, through streamed replies.
  ASSERT_EQ(secondary->call("enum 0x8"), "ok r=0 101:800c:0000C0A80001");
  ASSERT_EQ(primary->call("enum 0xC"), "ok r=0 101:800c:0000C0A80001,102:8004:0000C0A80002");
  const std::string log = primary->call("mock coripx32 log");
  EXPECT_EQ(count(log, "NetEnumerate"), 1) << log;

  // The IPX-only printer goes; the merged one loses nothing CorLink confirms.
  ASSERT_EQ(primary->call("mock coripx32 remove 8"), "ok");
  ASSERT_EQ(primary->call("messages"), "ok ");
  EXPECT_EQ(primary->call("enum 0x80000004"), "ok r=0 101:800c:0000C0A80001");
  EXPECT_EQ(primary->call("prtinfo 102").substr(0, 7), "ok r=-8");
  EXPECT_EQ(askUntil(*primary, "messages", "ok 102:102:fff"), "ok 102:102:fff");
  // The secondary never had printer 102: nothing was posted to it.
  EXPECT_EQ(secondary->call("messages"), "ok ");
}

TEST_F(PrinterList, ForcedEnumerationTakesAwayTheBitOfATransportThatNoLongerReportsThePrinter) {
  startPrimary();
  twoPrinters();
  enumerateTwoPrinters();
  ASSERT_EQ(primary->call("mock corcl32 remove 3"), "ok");
  EXPECT_EQ(primary->call("enum 0x80000008"), "ok r=0 ");
  EXPECT_EQ(primary->call("prtinfo 101"), "ok r=0 h=101 c=8004 node=0000C0A80001 name= size=1024");
  EXPECT_EQ(primary->call("pname 101 0x8"), "ok r=-14 /");
}

TEST_F(PrinterList, RenameFromIpxRenamesTheCorLinkNameAndTellsOnlyApplicationsThatHadThePrinter) {
  startPrimary();
  startSecondary();
  twoPrinters();
  enumerateTwoPrinters();
  ASSERT_EQ(secondary->call("enum 0x10"), "ok r=0 ");
  // The callback registration thread runs after each enumeration.
  ASSERT_TRUE(eventually([&] { return count(primary->call("mock coripx32 log"), "NetRegisterCallback") > 0; },
                         300'000));
  EXPECT_EQ(primary->call("mock coripx32 event 7 103 RENAMED"), "ok 1");
  EXPECT_EQ(primary->call("pname 101 0x4"), "ok r=0 RENAMED/");
  EXPECT_EQ(primary->call("pname 101 0x8"), "ok r=0 RENAMED/");
  EXPECT_EQ(askUntil(*primary, "messages", "ok 200:101:4"), "ok 200:101:4");
  // An address change, then the port removed: the printer keeps its CorLink side.
  EXPECT_EQ(primary->call("mock coripx32 event 7 104 0000C0A800FF"), "ok 1");
  EXPECT_EQ(primary->call("mock coripx32 event 7 102"), "ok 1");
  EXPECT_EQ(primary->call("prtinfo 101"), "ok r=0 h=101 c=8008 node=0000C0A800FF name= size=1024");
  EXPECT_EQ(askUntil(*primary, "messages", "ok 200:101:4,102:101:4"), "ok 200:101:4,102:101:4");
  EXPECT_EQ(secondary->call("messages"), "ok ");
}

TEST_F(PrinterList, NetworkInformationReachesTheTransportAndStreamsItemsToASecondary) {
  startPrimary();
  startSecondary();
  twoPrinters();
  enumerateTwoPrinters();
  EXPECT_EQ(secondary->call("netinfo 0xFFFF 0x4 8"), "ok r=0 info-65535-8");
  EXPECT_NE(primary->call("mock coripx32 log").find("NetGetInfo 65535 8"), std::string::npos);
  EXPECT_EQ(secondary->call("netinfo 101 0xC 9"), "ok r=0 info-7-9");  // first bit of the mask: IPX
  EXPECT_EQ(secondary->call("netinfo 101 0x8 5 items"), "ok r=0 info-3-5-1,info-3-5-2,info-3-5-3");
  EXPECT_EQ(secondary->call("netinfo 102 0x8 5"), "ok r=65528 ");  // not on CorLink
  EXPECT_EQ(secondary->call("netinfo 555 0x4 5"), "ok r=65528 ");
  EXPECT_EQ(secondary->call("netinfo 101 0x1 5"), "ok r=1 ");  // NetWare was never loaded
  EXPECT_EQ(secondary->call("netinfo 101 0x800 5"), "ok r=1 ");
  EXPECT_EQ(secondary->call("setnetinfo 102 0x4 17 abc"), "ok r=0");
  EXPECT_NE(primary->call("mock coripx32 log").find("NetSetInfo 8 17 abc"), std::string::npos);
}

TEST_F(PrinterList, VersionsComeFromTheFilesAndFromTheTransportOnlyWhenAFileHasNone) {
  const std::string dir = wf::moduleDirectory().string();
  ::setenv("WRENFIELD_MODULE_PATH",
           (dir + "/mock-transports-unversioned:" + dir + "/mock-transports").c_str(), 1);
  startPrimary();
  startSecondary();
  EXPECT_EQ(secondary->call("versionex"),
            "ok r=0 CORBCE.DLL=10000.0 cornw32.dll=0.0 corcl32.dll=10002.7 corip32.dll=30001.0 "
            "coripx32.dll=b0011.0 corp2p32.dll=10000.0");
  for (const char* file : {"cornw32", "corip32", "coripx32", "corcl32", "corp2p32"})
    EXPECT_EQ(primary->call(std::string("mock ") + file + " loaded"), "ok 0") << file;
  // CorLink 1.2.0.7 gives 0x0007; CorIPX 11.17.0.0 falls back to 0x0B11, IP 3.1.0.0 to 0x0301;
  // Cornw32 has no record and is asked.
  EXPECT_EQ(secondary->call("version"),
            "ok r=0 CORBCE.DLL=100:Binary Communications Encapsulator - BCE cornw32.dll=102:NetWare Net DLL "
            "corcl32.dll=7:CorLink Net DLL corip32.dll=301:IP Net DLL coripx32.dll=b11:CorIPX Net DLL "
            "corp2p32.dll=100:Peer-to-Peer DLL");
  EXPECT_EQ(primary->call("mock cornw32 log"), "ok NetGetVersion");
  EXPECT_EQ(primary->call("mock coripx32 loaded"), "ok 0");  // its file has a version record
}

TEST_F(PrinterList, SpecificEnumerationAsksTheTransportsOfTheAddressAndDeliversTheMatch) {
  startPrimary();
  startSecondary();
  twoPrinters();
  EXPECT_EQ(secondary->call("specific ipx 0000C0A80002"), "ok r=4 101:8004:0000C0A80002");
  // Found on IPX: CorLink is asked only with try-all.
  EXPECT_EQ(secondary->call("specific corlink 0000C0A80001"), "ok r=8 102:8:0000C0A80001");
  EXPECT_EQ(secondary->call("specific ipx 0000C0A80099"), "ok r=0 ");
}

TEST_F(PrinterList, ASecondarysCallbackThatSaysStopEndsTheEnumerationThroughTheSharedFlag) {
  startPrimary();
  startSecondary();
  ASSERT_EQ(primary->call("mock coripx32 ports 20 1"), "ok");
  ASSERT_EQ(primary->call("mock coripx32 pause 20"), "ok");
  const std::string got = secondary->call("enum 0x4 1");
  EXPECT_EQ(got.substr(0, 7), "ok r=0 ");
  EXPECT_LE(count(got, ","), 1) << got;
  EXPECT_EQ(primary->call("stopflag"), "ok 1");
  // Stopped enumerations remove nothing; the next one clears the flag and delivers the rest.
  const std::string rest = secondary->call("enum 0x4");
  EXPECT_EQ(primary->call("stopflag"), "ok 0");
  EXPECT_EQ(count(got, ",") + count(rest, ",") + 2, 20) << rest;
}

TEST_F(PrinterList, EnumerationsOfTwoApplicationsWhileEntriesAreDeletedStaySound) {
  startPrimary();
  startSecondary();
  ASSERT_EQ(primary->call("mock coripx32 ports 40 1"), "ok");
  ASSERT_EQ(primary->call("mock corcl32 ports 20 100"), "ok");
  // One transport at a time, so IPX port 5 is handle 105 whatever the threads' timing.
  ASSERT_EQ(primary->call("enum 0x4").substr(0, 7), "ok r=0 ");
  ASSERT_EQ(primary->call("enum 0x8").substr(0, 7), "ok r=0 ");
  ASSERT_EQ(primary->call("mock coripx32 remove 5"), "ok");
  ASSERT_EQ(primary->call("mock corcl32 remove 104"), "ok");
  // Both applications enumerate, forced and not, from several threads at once.
  ChildProcess& p = *primary;
  std::string fromSecondary;
  std::thread other([&] { fromSecondary = secondary->call("enum-storm 3 6", 120000); });
  EXPECT_EQ(p.call("enum-storm 3 6", 120000), "ok 18");
  other.join();
  EXPECT_EQ(fromSecondary, "ok 18");
  EXPECT_EQ(p.call("prtinfo 105").substr(0, 7), "ok r=-8");
  EXPECT_EQ(p.call("nets"), "ok r=0 1f");
}

}  // namespace
