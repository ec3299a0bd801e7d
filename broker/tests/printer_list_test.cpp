// The printer list and the transports, with the mock transport libraries in
// real broker processes: a primary (application 0) and secondaries.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <string>
#include <thread>

#include "child/broker_child.h"
#include "platform/clock.h"
#include "platform/module.h"
#include "printer_list.h"

using wf::testing::BrokerChild;
using wf::testing::Enumeration;
using wf::testing::eventually;
using wf::testing::NetInfo;
using wf::testing::Nets;
using wf::testing::PostedMessage;
using wf::testing::PrinterAddress;
using wf::testing::PrinterInfo;
using wf::testing::PrinterNames;
using wf::testing::valueUntil;
using wf::testing::Versions;
using Posted = std::vector<PostedMessage>;

namespace {

class PrinterList : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("WRENFIELD_TIME_SCALE", "0.01", 1);
    ::setenv("WRENFIELD_MODULE_PATH", (wf::moduleDirectory() / "mock-transports").c_str(), 1);
    ::unsetenv("WF_MOCK_TRANSPORT_REFUSE");
  }
  std::unique_ptr<BrokerChild> start() { return std::make_unique<BrokerChild>(); }

  void startPrimary() {
    primary = start();
    ASSERT_TRUE(primary->isPrimary());
    ASSERT_EQ(primary->registerApp(), 0);
  }
  void startSecondary() {
    secondary = start();
    ASSERT_EQ(secondary->registerApp(), 1);
  }

  // One adapter seen by the IPX and the CorLink transports, and one only IPX sees.
  void twoPrinters() {
    primary->mock("coripx32", "port 7 0000C0A80001 1 0 IPX-A");
    primary->mock("corcl32", "port 3 0000C0A80001 1 0 CL-A");
    primary->mock("coripx32", "port 8 0000C0A80002 1 0 IPX-B");
  }
  // IPX first, so the merged printer is first reported by the IPX side (0x8000).
  void enumerateTwoPrinters() {
    ASSERT_EQ(primary->enumerate(BCE_NET_IPX),
              (Enumeration{BCE_OK, {{101, 0x8004, "0000C0A80001"}, {102, 0x8004, "0000C0A80002"}}}));
    ASSERT_EQ(primary->enumerate(BCE_NET_CORLINK), (Enumeration{BCE_OK, {{101, 0x800c, "0000C0A80001"}}}));
  }

  static int count(const std::string& text, const std::string& word) {
    int n = 0;
    for (auto at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
    return n;
  }

  std::unique_ptr<BrokerChild> primary, secondary;
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
  EXPECT_EQ(primary->nets(), (Nets{BCE_OK, 0xc}));
  EXPECT_EQ(secondary->nets(), (Nets{BCE_OK, 0xc}));
  // An enumeration of a missing transport finds nothing and does not fail.
  EXPECT_EQ(primary->enumerate(BCE_NET_NETWARE), Enumeration{});
}

TEST_F(PrinterList, ReportsOfOneAdapterMergeAndHandlesFollowTheRules) {
  startPrimary();
  twoPrinters();
  enumerateTwoPrinters();
  EXPECT_EQ(primary->printerInfo(101), (PrinterInfo{BCE_OK, 101, 0x800c, "0000C0A80001", "", 1024}));
  EXPECT_EQ(primary->printerNames(101, BCE_NET_IPX), (PrinterNames{BCE_OK, "IPX-A", ""}));
  EXPECT_EQ(primary->printerNames(101, BCE_NET_CORLINK), (PrinterNames{BCE_OK, "CL-A", ""}));
  EXPECT_EQ(primary->printerNames(102, BCE_NET_CORLINK), (PrinterNames{BCE_ERR_NOT_ON_NETWORK, "", ""}));
  EXPECT_EQ(primary->printerNames(103, BCE_NET_IPX), (PrinterNames{BCE_ERR_BAD_HANDLE, "", ""}));
  EXPECT_EQ(primary->printerInfo(999).result, BCE_ERR_BAD_HANDLE);
  // Local names give their handles; any other local name stays clear of the LPT and COM ranges.
  primary->reportLocalPort("LPT3:");
  primary->reportLocalPort("COM2");
  primary->reportLocalPort("FILE:");
  EXPECT_EQ(primary->printerInfo(13), (PrinterInfo{BCE_OK, 13, 0x8800, "000000000000", "LPT3:", 1024}));
  const PrinterInfo com2 = primary->printerInfo(52);
  EXPECT_EQ(com2.result, BCE_OK);
  EXPECT_TRUE(std::to_string(com2.handle).starts_with("5")) << com2;
  EXPECT_EQ(primary->printerInfo(60), (PrinterInfo{BCE_OK, 60, 0x8800, "000000000000", "FILE:", 1024}));
  // The address: each transport fills its part, the local part is the printer's name.
  EXPECT_EQ(primary->printerAddress(101, 0), (PrinterAddress{0x80c, "0000C0A80001", "0000C0A80001", ""}));
  EXPECT_EQ(primary->printerAddress(101, BCE_NET_CORLINK),
            (PrinterAddress{0x8, "000000000000", "0000C0A80001", ""}));
  EXPECT_EQ(primary->printerAddress(13, BCE_NET_LOCAL),
            (PrinterAddress{0x800, "000000000000", "000000000000", "LPT3:"}));
}

TEST_F(PrinterList, NamesLongerThanTheFieldAreCutTo79Characters) {
  startPrimary();
  const std::string longName(120, 'n');
  primary->mock("coripx32", "port 1 000000000009 1 0 " + longName + " " + longName);
  ASSERT_EQ(primary->enumerate(BCE_NET_IPX), (Enumeration{BCE_OK, {{101, 0x4008004, "000000000009"}}}));
  EXPECT_EQ(primary->printerNames(101, BCE_NET_IPX),
            (PrinterNames{BCE_OK, longName.substr(0, 79), longName.substr(0, 79)}));
}

TEST_F(PrinterList, UnforcedEnumerationRedeliversAndForcedOneRemovesWhatNoTransportConfirmed) {
  startPrimary();
  startSecondary();
  twoPrinters();
  enumerateTwoPrinters();
  // The secondary is given only the CorLink printer, through streamed replies.
  ASSERT_EQ(secondary->enumerate(BCE_NET_CORLINK), (Enumeration{BCE_OK, {{101, 0x800c, "0000C0A80001"}}}));
  ASSERT_EQ(primary->enumerate(BCE_NET_IPX | BCE_NET_CORLINK),
            (Enumeration{BCE_OK, {{101, 0x800c, "0000C0A80001"}, {102, 0x8004, "0000C0A80002"}}}));
  const std::string log = primary->mockLog("coripx32");
  EXPECT_EQ(count(log, "NetEnumerate"), 1) << log;

  // The IPX-only printer goes; the merged one loses nothing CorLink confirms.
  primary->mock("coripx32", "remove 8");
  ASSERT_EQ(primary->messages(), Posted{});
  EXPECT_EQ(primary->enumerate(BCE_NET_FORCE | BCE_NET_IPX),
            (Enumeration{BCE_OK, {{101, 0x800c, "0000C0A80001"}}}));
  EXPECT_EQ(primary->printerInfo(102).result, BCE_ERR_BAD_HANDLE);
  const Posted removed = {{WM_BCE_PRINTER_REMOVED, 102, 0xfff}};
  EXPECT_EQ(valueUntil([&] { return primary->messages(); }, removed), removed);
  // The secondary never had printer 102: nothing was posted to it.
  EXPECT_EQ(secondary->messages(), Posted{});
}

TEST_F(PrinterList, ForcedEnumerationTakesAwayTheBitOfATransportThatNoLongerReportsThePrinter) {
  startPrimary();
  twoPrinters();
  enumerateTwoPrinters();
  primary->mock("corcl32", "remove 3");
  EXPECT_EQ(primary->enumerate(BCE_NET_FORCE | BCE_NET_CORLINK), Enumeration{});
  EXPECT_EQ(primary->printerInfo(101), (PrinterInfo{BCE_OK, 101, 0x8004, "0000C0A80001", "", 1024}));
  EXPECT_EQ(primary->printerNames(101, BCE_NET_CORLINK), (PrinterNames{BCE_ERR_NOT_ON_NETWORK, "", ""}));
}

TEST_F(PrinterList, RenameFromIpxRenamesTheCorLinkNameAndTellsOnlyApplicationsThatHadThePrinter) {
  startPrimary();
  startSecondary();
  twoPrinters();
  enumerateTwoPrinters();
  ASSERT_EQ(secondary->enumerate(BCE_NET_PEER), Enumeration{});
  // The callback registration thread runs after each enumeration.
  ASSERT_TRUE(
      eventually([&] { return count(primary->mockLog("coripx32"), "NetRegisterCallback") > 0; }, 300'000));
  EXPECT_EQ(primary->mockEvent("coripx32", "7 103 RENAMED"), 1);
  EXPECT_EQ(primary->printerNames(101, BCE_NET_IPX), (PrinterNames{BCE_OK, "RENAMED", ""}));
  EXPECT_EQ(primary->printerNames(101, BCE_NET_CORLINK), (PrinterNames{BCE_OK, "RENAMED", ""}));
  const Posted renamed = {{WM_BCE_PRINTER_CHANGED, 101, BCE_NET_IPX}};
  EXPECT_EQ(valueUntil([&] { return primary->messages(); }, renamed), renamed);
  // An address change, then the port removed: the printer keeps its CorLink side.
  EXPECT_EQ(primary->mockEvent("coripx32", "7 104 0000C0A800FF"), 1);
  EXPECT_EQ(primary->mockEvent("coripx32", "7 102"), 1);
  EXPECT_EQ(primary->printerInfo(101), (PrinterInfo{BCE_OK, 101, 0x8008, "0000C0A800FF", "", 1024}));
  const Posted movedAndRemoved = {{WM_BCE_PRINTER_CHANGED, 101, BCE_NET_IPX},
                                  {WM_BCE_PRINTER_REMOVED, 101, BCE_NET_IPX}};
  EXPECT_EQ(valueUntil([&] { return primary->messages(); }, movedAndRemoved), movedAndRemoved);
  EXPECT_EQ(secondary->messages(), Posted{});
}

TEST_F(PrinterList, NetworkInformationReachesTheTransportAndStreamsItemsToASecondary) {
  startPrimary();
  startSecondary();
  twoPrinters();
  enumerateTwoPrinters();
  EXPECT_EQ(secondary->netInfo(BCE_WORKSTATION_HANDLE, BCE_NET_IPX, 8),
            (NetInfo{BCE_OK, "info-65535-8", {}}));
  EXPECT_NE(primary->mockLog("coripx32").find("NetGetInfo 65535 8"), std::string::npos);
  // The first bit of the mask counts: IPX.
  EXPECT_EQ(secondary->netInfo(101, BCE_NET_IPX | BCE_NET_CORLINK, 9), (NetInfo{BCE_OK, "info-7-9", {}}));
  EXPECT_EQ(secondary->netInfoItems(101, BCE_NET_CORLINK, 5),
            (NetInfo{BCE_OK, "", {"info-3-5-1", "info-3-5-2", "info-3-5-3"}}));
  EXPECT_EQ(secondary->netInfo(102, BCE_NET_CORLINK, 5), (NetInfo{65528, "", {}}));  // not on CorLink
  EXPECT_EQ(secondary->netInfo(555, BCE_NET_IPX, 5), (NetInfo{65528, "", {}}));
  EXPECT_EQ(secondary->netInfo(101, BCE_NET_NETWARE, 5),
            (NetInfo{BCE_FAIL, "", {}}));  // NetWare was never loaded
  EXPECT_EQ(secondary->netInfo(101, BCE_NET_LOCAL, 5), (NetInfo{BCE_FAIL, "", {}}));
  EXPECT_EQ(secondary->setNetInfo(102, BCE_NET_IPX, 17, "abc"), BCE_OK);
  EXPECT_NE(primary->mockLog("coripx32").find("NetSetInfo 8 17 abc"), std::string::npos);
}

TEST_F(PrinterList, VersionsComeFromTheFilesAndFromTheTransportOnlyWhenAFileHasNone) {
  const std::string dir = wf::moduleDirectory().string();
  ::setenv("WRENFIELD_MODULE_PATH",
           (dir + "/mock-transports-unversioned:" + dir + "/mock-transports").c_str(), 1);
  startPrimary();
  startSecondary();
  EXPECT_EQ(secondary->versionEx(), (Versions{BCE_OK,
                                              {{"CORBCE.DLL", "10000.0"},
                                               {"cornw32.dll", "0.0"},
                                               {"corcl32.dll", "10002.7"},
                                               {"corip32.dll", "30001.0"},
                                               {"coripx32.dll", "b0011.0"},
                                               {"corp2p32.dll", "10000.0"}}}));
  for (const char* file : {"cornw32", "corip32", "coripx32", "corcl32", "corp2p32"})
    EXPECT_FALSE(primary->mockLoaded(file)) << file;
  // CorLink 1.2.0.7 gives 0x0007; CorIPX 11.17.0.0 falls back to 0x0B11, IP 3.1.0.0 to 0x0301;
  // Cornw32 has no record and is asked.
  EXPECT_EQ(secondary->version(), (Versions{BCE_OK,
                                            {{"CORBCE.DLL", "100:Binary Communications Encapsulator - BCE"},
                                             {"cornw32.dll", "102:NetWare Net DLL"},
                                             {"corcl32.dll", "7:CorLink Net DLL"},
                                             {"corip32.dll", "301:IP Net DLL"},
                                             {"coripx32.dll", "b11:CorIPX Net DLL"},
                                             {"corp2p32.dll", "100:Peer-to-Peer DLL"}}}));
  EXPECT_EQ(primary->mockLog("cornw32"), "NetGetVersion");
  EXPECT_FALSE(primary->mockLoaded("coripx32"));  // its file has a version record
}

TEST_F(PrinterList, SpecificEnumerationAsksTheTransportsOfTheAddressAndDeliversTheMatch) {
  startPrimary();
  startSecondary();
  twoPrinters();
  EXPECT_EQ(secondary->enumerateSpecific("ipx", "0000C0A80002"),
            (Enumeration{BCE_NET_IPX, {{101, 0x8004, "0000C0A80002"}}}));
  // Found on IPX: CorLink is asked only with try-all.
  EXPECT_EQ(secondary->enumerateSpecific("corlink", "0000C0A80001"),
            (Enumeration{BCE_NET_CORLINK, {{102, 0x8, "0000C0A80001"}}}));
  EXPECT_EQ(secondary->enumerateSpecific("ipx", "0000C0A80099"), Enumeration{});
}

TEST_F(PrinterList, ASecondarysCallbackThatSaysStopEndsTheEnumerationThroughTheSharedFlag) {
  startPrimary();
  startSecondary();
  primary->mock("coripx32", "ports 20 1");
  primary->mock("coripx32", "pause 20");
  const Enumeration got = secondary->enumerate(BCE_NET_IPX, 1);
  EXPECT_EQ(got.result, BCE_OK);
  EXPECT_LE(got.printers.size(), 2u) << got;
  EXPECT_EQ(primary->stopFlag(), 1);
  // Stopped enumerations remove nothing; the next one clears the flag and delivers the rest.
  const Enumeration rest = secondary->enumerate(BCE_NET_IPX);
  EXPECT_EQ(primary->stopFlag(), 0);
  EXPECT_EQ(got.printers.size() + rest.printers.size(), 20u) << rest;
}

TEST_F(PrinterList, EnumerationsOfTwoApplicationsWhileEntriesAreDeletedStaySound) {
  startPrimary();
  startSecondary();
  primary->mock("coripx32", "ports 40 1");
  primary->mock("corcl32", "ports 20 100");
  // One transport at a time, so IPX port 5 is handle 105 whatever the threads' timing.
  ASSERT_EQ(primary->enumerate(BCE_NET_IPX).result, BCE_OK);
  ASSERT_EQ(primary->enumerate(BCE_NET_CORLINK).result, BCE_OK);
  primary->mock("coripx32", "remove 5");
  primary->mock("corcl32", "remove 104");
  // Both applications enumerate, forced and not, from several threads at once.
  BrokerChild& p = *primary;
  int fromSecondary = 0;
  std::thread other([&] { fromSecondary = secondary->enumerationStorm(3, 6); });
  EXPECT_EQ(p.enumerationStorm(3, 6), 18);
  other.join();
  EXPECT_EQ(fromSecondary, 18);
  EXPECT_EQ(p.printerInfo(105).result, BCE_ERR_BAD_HANDLE);
  EXPECT_EQ(p.nets(), (Nets{BCE_OK, 0x1f}));
}

}  // namespace
