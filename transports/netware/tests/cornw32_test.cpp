// Cornw32 loaded by file name against simulated adapters and the client
// stand-in: start-up, settings and log, discovery by each search method,
// captured ports and the port records it reports.
#include <algorithm>
#include <fstream>
#include <mutex>
#include <set>

#include "hostile_places.h"
#include "netware_fixture.h"
#include "platform/paths.h"
#include "platform/scenario.h"
#include "platform/trace.h"

namespace wf::netware::testing {
namespace {

std::string logText(const char* systemPath) {
  const auto file = mapSystemPath(systemPath);
  std::ifstream in(*file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(NetWareTest, WithoutAClientTheLoadIsRefused) {
  // A missing client, a version of 0.0.0 and a malformed world all count as none.
  for (const char* world : {"", "[netware.client]\nversion = 0.0.0\n",
                            "[netware.client]\nversion = 4.1.0\n[netware.servers]\nFS1 = nowhere\n"}) {
    SCOPED_TRACE(world);
    giveWorld(world);
    std::string error;
    EXPECT_FALSE(loadTransport(&error));
  }
  EXPECT_EQ(giveWorld("[netware.client]\nversion = 4.1.0\n[netware.servers]\nFS1 = nowhere\n"), 4u);
}

TEST_F(NetWareTest, MissingSettingsAreWrittenWithTheirDefaultsAndLevelZeroLogsNothing) {
  giveWorld(kWorld);
  ASSERT_TRUE(loadTransport());
  EXPECT_EQ(harness->enumerate(), NET_OKAY);
  EXPECT_EQ(registryValue("Search Options", "Search Method"), Bytes{2});
  EXPECT_EQ(registryValue("Debug Options", "Logging Level"), Bytes{0});
  EXPECT_EQ(registryValue("Enumeration Options", "Capture Enum Wait"), (Bytes{44, 1, 0, 0}));
  EXPECT_EQ(registryValue("Enumeration Options", "Ignore RPRINTER Capture"), Bytes{0});
  EXPECT_FALSE(std::filesystem::exists(*mapSystemPath("C:\\cornw32.log")));
  // Method 2 leaves the network number unread.
  EXPECT_FALSE(registryValue("Search Options", "Network Number"));
}

TEST_F(NetWareTest, LogPathGetsItsBackslashAndEachLoadStartsAfresh) {
  giveWorld(kWorld);
  setRegistry("Debug Options", "Logging Level", REG_BINARY, {1});
  const std::string path = "C:\\logs";
  setRegistry("Debug Options", "Log File Path", REG_SZ, Bytes(path.begin(), path.end() + 1));
  std::filesystem::create_directories(*mapSystemPath("C:\\logs"));
  { std::ofstream(*mapSystemPath("C:\\logs\\cornw32.log")) << "old run"; }
  ASSERT_TRUE(loadTransport());
  EXPECT_EQ(harness->enumerate(), NET_OKAY);
  const std::string log = logText("C:\\logs\\cornw32.log");
  EXPECT_EQ(log.find("old run"), std::string::npos);
  std::string line = "Access privilege SUPERVISOR detected\n\r";
  line.push_back('\0');
  EXPECT_NE(log.find(line), std::string::npos) << "each message ends in a carriage return and its NUL";
  EXPECT_NE(log.find("Enumerating local network\n"), std::string::npos);
}

TEST_F(NetWareTest, ALogThatCannotBeWrittenLosesOnlyTheLog) {
  giveWorld(kWorld);
  setRegistry("Debug Options", "Logging Level", REG_BINARY, {1});
  // The log's directory is a plain file: no one, not even root, can write there.
  const std::string path = "C:\\blocked";
  setRegistry("Debug Options", "Log File Path", REG_SZ, Bytes(path.begin(), path.end() + 1));
  std::filesystem::create_directories(mapSystemPath("C:\\")->parent_path());
  { std::ofstream(*mapSystemPath("C:\\blocked")) << "a file"; }
  std::mutex m;
  std::vector<std::string> traces;
  setPlatformTraceSink([&](std::string_view line) {
    std::lock_guard g(m);
    traces.emplace_back(line);
  });
  ASSERT_TRUE(loadTransport());
  EXPECT_EQ(harness->enumerate(), NET_OKAY);
  EXPECT_EQ(harness->enumerate(), NET_OKAY);
  setPlatformTraceSink({});
  std::lock_guard g(m);
  EXPECT_EQ(
      std::count_if(traces.begin(), traces.end(),
                    [](const std::string& t) { return t.find("cannot be written") != std::string::npos; }),
      1)
      << "one line says so, once";
  EXPECT_TRUE(std::filesystem::is_regular_file(*mapSystemPath("C:\\blocked")));
}

TEST_F(NetWareTest, ALogPutInPlaceOfAFileIsToldOnce) {
  giveWorld(kWorld);
  setRegistry("Debug Options", "Logging Level", REG_BINARY, {1});
  const std::string path = "C:\\logs";
  setRegistry("Debug Options", "Log File Path", REG_SZ, Bytes(path.begin(), path.end() + 1));
  const auto log = *mapSystemPath("C:\\logs\\cornw32.log");
  std::filesystem::create_directories(log.parent_path());
  std::mutex m;
  std::vector<std::string> traces;
  setPlatformTraceSink([&](std::string_view line) {
    std::lock_guard g(m);
    traces.emplace_back(line);
  });
  for (const auto& place : wf::testing::hostilePlaces()) {
    if (place.regular) continue;  // a log may grow as it likes
    SCOPED_TRACE(place.what);
    ASSERT_TRUE(loadTransport());
    // Put there once the load has cleared the old log.
    wf::testing::makeHostile(place.kind, log);
    EXPECT_EQ(harness->enumerate(), NET_OKAY);
    harness.reset();
    std::lock_guard g(m);
    ASSERT_EQ(traces.size(), 1u);
    EXPECT_TRUE(wf::testing::namesInOneLine(traces[0], log)) << traces[0];
    traces.clear();
  }
  setPlatformTraceSink({});
}

TEST_F(NetWareTest, OddRegistryValuesCountAsTheirDefaults) {
  startNetwork();
  giveWorld(kWorld);
  setRegistry("Search Options", "Search Method", REG_DWORD, {4, 0, 0, 0});  // wrong type
  setRegistry("Debug Options", "Logging Level", REG_BINARY, {1, 1});        // wrong size
  ASSERT_TRUE(loadTransport());
  EXPECT_EQ(harness->enumerate(), NET_OKAY);
  // Method 2 (the default) searched network 1; the odd value stays as it was.
  EXPECT_TRUE(reportsByName().count("KESTREL_7"));
  EXPECT_EQ(registryValue("Search Options", "Search Method"), (Bytes{4, 0, 0, 0}));
}

TEST_F(NetWareTest, LocalBroadcastReportsEveryPortOfNetworkOne) {
  startNetwork();
  giveWorld(kWorld);
  ASSERT_TRUE(loadTransport());
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  const auto ports = reportsByName();
  std::set<std::string> names;
  for (const auto& [name, p] : ports) names.insert(name);
  EXPECT_EQ(names, (std::set<std::string>{"PORTBAY_1_P0", "PORTBAY_1_P1", "PORTBAY_1_P2", "KESTREL_7",
                                          "EXTBOX_3_PAR", "EXTBOX_3_SER"}));

  struct Expect {
    const char* name;
    std::uint16_t adapterClass, portKind, flags;
  };
  for (const Expect& e :
       {Expect{"PORTBAY_1_P0", 4, 0x0101, 0x8003}, Expect{"PORTBAY_1_P1", 4, 0x0001, 0x8003},
        Expect{"PORTBAY_1_P2", 4, 0x0002, 0x8003}, Expect{"KESTREL_7", 16, 0, 0x8003},
        Expect{"EXTBOX_3_PAR", 8, 0x0001, 0x8000}, Expect{"EXTBOX_3_SER", 8, 0x0101, 0x8000}}) {
    SCOPED_TRACE(e.name);
    const NETPORTINFO& p = ports.at(e.name);
    EXPECT_EQ(p.adapterClass, e.adapterClass);
    EXPECT_EQ(p.portKind, e.portKind);
    EXPECT_EQ(p.flags, e.flags);
    EXPECT_EQ(p.secondName[0], 0);
    EXPECT_EQ(p.connections & 0x8001u, 0x8001u) << "the NetWare bit and supervisor rights";
  }
  // Node by the media rule: Ethernet adapters report bit-reversed bytes, token ring as they are.
  EXPECT_EQ(Node(std::to_array(ports.at("KESTREL_7").node)), kKsNode);
  EXPECT_EQ(Node(std::to_array(ports.at("PORTBAY_1_P1").node)), kPbNode);
  EXPECT_EQ(Node(std::to_array(ports.at("EXTBOX_3_PAR").node)), kExNode);
  EXPECT_EQ(ports.at("EXTBOX_3_PAR").connections & 0x1FF0000u, 0u);
}

TEST_F(NetWareTest, SingleNetworkAndBinderySearchesFindTheirOwn) {
  startNetwork();
  giveWorld(kWorld);
  ASSERT_TRUE(loadTransport());

  setRegistry("Search Options", "Search Method", REG_BINARY, {4});
  setRegistry("Search Options", "Network Number", REG_BINARY, {0, 0, 0, 2});
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  std::set<std::string> names;
  for (const auto& [name, p] : reportsByName()) names.insert(name);
  EXPECT_EQ(names, (std::set<std::string>{"PORTBAY_FAR_P0", "PORTBAY_FAR_P1", "PORTBAY_FAR_P2"}));

  // The bindery names the 7390, KS, FAR and PB: every port of theirs.
  harness->clearReports();
  setRegistry("Search Options", "Search Method", REG_BINARY, {1});
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  names.clear();
  for (const auto& [name, p] : reportsByName()) names.insert(name);
  EXPECT_EQ(names.size(), 9u);
  EXPECT_TRUE(names.count("PORTBAY_FAR_P2") && names.count("EXTBOX_3_SER") && names.count("KESTREL_7"));

  // Any other method searches nothing.
  harness->clearReports();
  setRegistry("Search Options", "Search Method", REG_BINARY, {3});
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  EXPECT_TRUE(harness->reports().empty());
}

TEST_F(NetWareTest, RepeatedDiscoveryKeepsIdsAndAnUnansweredOneReportsNothing) {
  startNetwork();
  giveWorld(kWorld);
  ASSERT_TRUE(loadTransport());
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  const auto first = reportsByName();
  harness->clearReports();
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  const auto second = reportsByName();
  ASSERT_EQ(first.size(), second.size());
  std::set<std::uint16_t> ids;
  for (const auto& [name, p] : first) {
    EXPECT_EQ(second.at(name).portId, p.portId) << name;
    ids.insert(p.portId);
  }
  EXPECT_EQ(ids, (std::set<std::uint16_t>{0, 1, 2, 3, 4, 5}));

  for (const char* id : {"PB", "KS", "EX"})
    sim.adapter(id)->withModel([](auto& m) { m.config().knobs.silent = true; });
  harness->clearReports();
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  EXPECT_TRUE(harness->reports().empty());
}

TEST_F(NetWareTest, CapturedPortsCarryTheirLptBitsAndAUserSeesOnlyThem) {
  startNetwork();
  giveWorld(kWorld);
  setRegistry("Debug Options", "Logging Level", REG_BINARY, {1});
  redirect("LPT1", "\\\\FS1\\Q_EXT");
  redirect("LPT2", "\\\\FS1\\Q_PS");
  redirect("LPT3", "\\\\FS3\\Q_FAR");
  ASSERT_TRUE(loadTransport());
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  // Captured adapters are queried first; their ports are still reported once a walk.
  std::map<std::uint16_t, int> times;
  for (const NETPORTINFO& p : harness->reports()) ++times[p.portId];
  for (const auto& [id, n] : times) EXPECT_EQ(n, 1) << "port " << id;
  auto ports = reportsByName();
  EXPECT_EQ(ports.at("EXTBOX_3_PAR").connections & 0x1FF0000u, 0x10000u) << "_PAR under 0x03D5: LPT1";
  EXPECT_EQ(ports.at("EXTBOX_3_SER").connections & 0x1FF0000u, 0u);
  EXPECT_EQ(ports.at("PORTBAY_1_P2").connections & 0x1FF0000u, 0x20000u) << "through the print server: LPT2";
  EXPECT_EQ(ports.at("KESTREL_7").connections & 0x1FF0000u, 0u) << "its printer's status is 7";
  const std::string log = logText("C:\\cornw32.log");
  EXPECT_NE(log.find("LPT3 is redirected, but user doesn't have a NetWare connection for it\n"),
            std::string::npos);

  // A user: no supervisor connection, so only the captured ports, without 0x8000.
  clientCall<decltype(&CornwthkSetAccessLevel)>("CornwthkSetAccessLevel")("FS1", 0x11);
  harness->clearReports();
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  ports = reportsByName();
  std::set<std::string> names;
  for (const auto& [name, p] : ports) {
    names.insert(name);
    EXPECT_EQ(p.connections & 0x8000u, 0u);
  }
  EXPECT_EQ(names, (std::set<std::string>{"EXTBOX_3_PAR", "PORTBAY_1_P2"}));
  EXPECT_EQ(harness->entries().NetIsAdmin(), 0);

  // A user without captured ports gets nothing.
  redirect("LPT1", "");
  redirect("LPT2", "");
  harness->clearReports();
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  EXPECT_TRUE(harness->reports().empty());
}

TEST_F(NetWareTest, EnumSpecificFindsThePortAtItsAddress) {
  startNetwork();
  giveWorld(kWorld);
  ASSERT_TRUE(loadTransport());
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  const auto ports = reportsByName();
  for (const char* name : {"PORTBAY_1_P2", "KESTREL_7", "EXTBOX_3_SER"}) {
    SCOPED_TRACE(name);
    NETADDRESS address{};
    ASSERT_EQ(harness->entries().NetGetSpecificAddr(ports.at(name).portId, &address), NET_OKAY);
    harness->clearReports();
    EXPECT_EQ(harness->enumSpecific(address), NET_OKAY);
    ASSERT_EQ(harness->reports().size(), 1u);
    EXPECT_EQ(harness->reports()[0].portId, ports.at(name).portId);
    EXPECT_STREQ(harness->reports()[0].portName, name);
  }
  // A selector the adapter lacks, and an adapter that does not answer.
  NETADDRESS address{};
  ASSERT_EQ(harness->entries().NetGetSpecificAddr(ports.at("KESTREL_7").portId, &address), NET_OKAY);
  EXPECT_EQ(address.netware[NETADDRESS_NW_PORT_SELECTOR], 1);
  address.netware[NETADDRESS_NW_PORT_SELECTOR] = 8;
  EXPECT_EQ(harness->enumSpecific(address), NET_FAIL);
  sim.adapter("KS")->withModel([](auto& m) { m.config().knobs.silent = true; });
  address.netware[NETADDRESS_NW_PORT_SELECTOR] = 1;
  EXPECT_EQ(harness->enumSpecific(address), NET_FAIL);
}

TEST_F(NetWareTest, AChangedRedirectionRebuildsTheCaptureListWithinTheWait) {
  startNetwork();
  giveWorld(kWorld);
  redirect("LPT1", "\\\\FS1\\Q_EXT");
  ASSERT_TRUE(loadTransport());
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  const NETPORTINFO ext = reportsByName().at("EXTBOX_3_PAR");
  NETADDRESS address{};
  ASSERT_EQ(harness->entries().NetGetSpecificAddr(ext.portId, &address), NET_OKAY);
  harness->clearReports();
  ASSERT_EQ(harness->enumSpecific(address), NET_OKAY);
  EXPECT_EQ(harness->reports().at(0).connections & 0x1FF0000u, 0x10000u);

  redirect("LPT4", "\\\\FS1\\Q_EXT");  // well within "Capture Enum Wait"
  harness->clearReports();
  ASSERT_EQ(harness->enumSpecific(address), NET_OKAY);
  EXPECT_EQ(harness->reports().at(0).connections & 0x1FF0000u, 0x90000u);
}

// The shipped world: its bindery names exactly the adapters the simulator
// plays, and its redirections capture the ports they lead to.
TEST_F(NetWareTest, TheShippedWorldsBinderyNamesOnlyItsAdapters) {
  const std::filesystem::path file = std::filesystem::path(WF_SIM_SCENARIO_DIR) / "netware-world.scenario";
  std::string error;
  ASSERT_TRUE(sim.loadScenario(file, &error)) << error;
  std::ifstream in(file);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  ASSERT_EQ(giveWorld(text), 0u);
  const auto scenario = parseScenario(text, &error);
  ASSERT_TRUE(scenario) << error;
  ASSERT_TRUE(netconn::netConnections().load(*scenario, &error)) << error;

  setRegistry("Debug Options", "Logging Level", REG_BINARY, {1});
  ASSERT_TRUE(loadTransport());
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  const auto ports = reportsByName();
  EXPECT_EQ(ports.size(), 6u) << "network 1's ports";
  EXPECT_EQ(ports.at("PORTBAY_1_P1").connections & 0x1FF0000u, 0x10000u);
  EXPECT_EQ(ports.at("PORTBAY_1_P2").connections & 0x1FF0000u, 0x20000u);
  EXPECT_NE(logText("C:\\cornw32.log").find("LPT3 is redirected, but user doesn't have a NetWare connection"),
            std::string::npos);

  // FS3 attached only now: the client keeps the connection for the process.
  const auto scan = clientCall<decltype(&NWScanObject)>("NWScanObject");
  const auto read = clientCall<decltype(&NWReadPropertyValue)>("NWReadPropertyValue");
  const auto attach = clientCall<decltype(&NWAttachToFileServer)>("NWAttachToFileServer");
  auto at = [](std::array<std::uint8_t, 4> net, Node node) {
    Bytes b(net.begin(), net.end());
    b.insert(b.end(), node.begin(), node.end());
    return b;
  };
  std::set<Bytes> addresses;
  for (const char* server : {"FS1", "FS3"}) {
    NWCONN_HANDLE conn = 0;
    ASSERT_EQ(attach(server, &conn), 0);
    for (std::uint16_t type : {0x03D5, 0x03D6, 0x03D7, 0x03D8}) {
      NWOBJ_ID last = 0xFFFFFFFFu;
      char name[NW_NAME];
      while (scan(conn, "*", type, &last, name, nullptr) == 0) {
        std::uint8_t value[NW_SEGMENT];
        std::uint8_t more = 0;
        ASSERT_EQ(read(conn, name, type, "NET_ADDRESS", 1, value, &more), 0);
        addresses.insert(Bytes(value, value + 10));
      }
    }
  }
  EXPECT_EQ(addresses, (std::set<Bytes>{at(kNet1, kExNode), at(kNet1, kKsNode), at(kNet2, kFarNode),
                                        at(kNet1, kPbNode)}));
}

TEST_F(NetWareTest, PortRulesOfTheSmallEntryPoints) {
  startNetwork();
  giveWorld(kWorld);
  ASSERT_TRUE(loadTransport());
  ASSERT_EQ(harness->enumerate(), NET_OKAY);
  const auto ports = reportsByName();
  const NetEntryPoints& f = harness->entries();
  // A 7390 port has no data channel: nothing is sent.
  EXPECT_EQ(harness->write(ports.at("EXTBOX_3_PAR").portId, {0xA5, 0, 2, 0x10, 0x01}, 64, 1).result,
            NET_BADCMD);
  // Items: without a port only 8 and 18 are served; an unknown port serves none.
  for (std::uint16_t code : {1, 4, 129, 137, 200}) {
    std::uint8_t buffer[256] = {};
    std::uint16_t length = sizeof buffer;
    EXPECT_EQ(f.NetGetInfo(NET_NO_PORT, code, buffer, &length, nullptr), NET_BADID);
    EXPECT_EQ(f.NetSetInfo(NET_NO_PORT, code, buffer, sizeof buffer), NET_BADID);
  }
  for (std::uint16_t code : {8, 18, 129}) {
    std::uint8_t buffer[256] = {};
    std::uint16_t length = sizeof buffer;
    EXPECT_EQ(f.NetGetInfo(0x7777, code, buffer, &length, nullptr), NET_BADID);
    EXPECT_EQ(f.NetSetInfo(0x7777, code, buffer, sizeof buffer), NET_BADID);
  }
  EXPECT_EQ(f.NetGetVersion(), 0x0102);
  EXPECT_EQ(f.NetIsQueueAdmin(0), 1);
  EXPECT_EQ(f.NetEnumQueues(0, 0, 0), 1);
  EXPECT_EQ(f.NetIsAdmin(), 1);
  // Selectors: port number on a multi-port adapter, else the kind nibble.
  for (const auto& [name, selector] : std::map<std::string, int>{
           {"PORTBAY_1_P2", 2}, {"KESTREL_7", 1}, {"EXTBOX_3_SER", 4}, {"EXTBOX_3_PAR", 8}}) {
    NETADDRESS address{};
    ASSERT_EQ(f.NetGetSpecificAddr(ports.at(name).portId, &address), NET_OKAY);
    EXPECT_EQ(address.netware[NETADDRESS_NW_PORT_SELECTOR], selector) << name;
  }
}

}  // namespace
}  // namespace wf::netware::testing
