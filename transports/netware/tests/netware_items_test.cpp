// Items 1-21 against simulated adapters and the client stand-in: an
// adapter's NetWare settings and file servers, its ports switched off and
// on, and the workstation's servers, queues, logins and search setting.
#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

#include "items_fixture.h"
#include "platform/byte_codec.h"
#include "transports/common/net_items.h"

namespace wf::netware::testing {
namespace {

using transports::testing::TransportEvent;
using wf::net::kItemAdapterParms;
using wf::net::kItemAdvanced;
using wf::net::kItemNwAdvanced;
using wf::net::kItemNwAttachedServers;
using wf::net::kItemNwCreateQueue;
using wf::net::kItemNwCurrentServer;
using wf::net::kItemNwDeleteQueue;
using wf::net::kItemNwDisablePorts;
using wf::net::kItemNwEnablePorts;
using wf::net::kItemNwKnownServers;
using wf::net::kItemNwLogin;
using wf::net::kItemNwNetwork;
using wf::net::kItemNwNoData12;
using wf::net::kItemNwNoData14;
using wf::net::kItemNwNoData15;
using wf::net::kItemNwNoData16;
using wf::net::kItemNwPrintServer;
using wf::net::kItemNwQueues;
using wf::net::kItemNwServersServiced;
using wf::net::kItemNwServiceQueues;
using wf::net::kItemNwSettings;
using wf::net::kItemNwStopQueues;
using wf::net::NETADAPTERPARMS;
using wf::net::NETADVANCEDSETTINGS;
using wf::net::NWADVANCED;
using wf::net::NWLOGIN;
using wf::net::NWQUEUELIST;
using wf::net::NWSERVERLIST;
using wf::net::NWSETTINGS;

// Blocks handed to the list callback.
std::mutex gBlocksMutex;
std::vector<Bytes> gBlocks;
int32_t collectBlock(const void* item, uint16_t length) {
  std::lock_guard g(gBlocksMutex);
  const auto* b = static_cast<const std::uint8_t*>(item);
  gBlocks.emplace_back(b, b + length);
  return 1;
}

class NetWareItemsTest : public ItemsTest {
 protected:
  void start(const std::string& world = kWorld, AdapterConfig pb = profile("portbay-npa.adapter"),
             AdapterConfig ks = profile("kestrel-single.adapter"),
             AdapterConfig ex = profile("ext-7390.adapter")) {
    {
      std::lock_guard g(gBlocksMutex);
      gBlocks.clear();
    }
    startWith(world, std::move(pb), std::move(ks), std::move(ex));
  }
  std::vector<Bytes> blocks() const {
    std::lock_guard g(gBlocksMutex);
    return gBlocks;
  }
  // The Q_SERVERS member names of a queue on FS1, read through the stand-in.
  std::vector<std::string> members(const char* queue) {
    auto handleOf = clientCall<decltype(&NWGetConnectionHandle)>("NWGetConnectionHandle");
    auto read = clientCall<decltype(&NWReadPropertyValue)>("NWReadPropertyValue");
    auto nameOf = clientCall<decltype(&NWGetObjectName)>("NWGetObjectName");
    NWCONN_HANDLE conn = 0;
    EXPECT_EQ(handleOf("FS1", &conn), 0u);
    std::vector<std::string> names;
    std::uint8_t value[NW_SEGMENT] = {}, more = 0;
    if (read(conn, queue, NW_OT_PRINT_QUEUE, "Q_SERVERS", 1, value, &more) != 0) return names;
    for (std::size_t i = 0; i < NW_SEGMENT; i += 4) {
      const NWOBJ_ID id = std::uint32_t{value[i]} << 24 | std::uint32_t{value[i + 1]} << 16 |
                          std::uint32_t{value[i + 2]} << 8 | value[i + 3];
      char name[NW_NAME] = {};
      std::uint16_t type = 0;
      if (id && nameOf(conn, id, name, &type) == 0) names.emplace_back(name);
    }
    return names;
  }
  bool queueExists(const char* queue) {
    auto handleOf = clientCall<decltype(&NWGetConnectionHandle)>("NWGetConnectionHandle");
    auto scan = clientCall<decltype(&NWScanObject)>("NWScanObject");
    NWCONN_HANDLE conn = 0;
    handleOf("FS1", &conn);
    NWOBJ_ID last = 0xFFFFFFFFu;
    char name[NW_NAME] = {};
    return scan(conn, queue, NW_OT_PRINT_QUEUE, &last, name, nullptr) == 0;
  }
};

NWSETTINGS settingsOf(std::uint8_t enabled, std::uint8_t mode, std::uint16_t polling, std::uint8_t language,
                      std::uint8_t options, const char* login) {
  NWSETTINGS s{};
  s.PortEnabled = enabled;
  s.PrintMode = mode;
  s.PollingInterval = polling;
  s.Language = language;
  s.PortOptions = options;
  std::snprintf(s.LoginName, sizeof s.LoginName, "%s", login);
  return s;
}

TEST_F(NetWareItemsTest, MultiPortSettingsRoundTripAndARenameTellsEveryPort) {
  start();
  NWSETTINGS s{};
  ASSERT_EQ(get("PORTBAY_1_P1", kItemNwSettings, s), NET_OKAY);
  EXPECT_EQ(std::tuple(+s.PortEnabled, +s.NvramAdapter, +s.PrintMode), std::tuple(1, 1, 1));
  EXPECT_EQ(textOf(s.LoginName, 44), "PORTBAY_1");

  // Unchanged name: no rename event.
  NWSETTINGS same = settingsOf(1, 1, 45, 3, 0x82, "PORTBAY_1");
  ASSERT_EQ(set("PORTBAY_1_P1", kItemNwSettings, same), NET_OKAY);
  EXPECT_TRUE(harness->events().empty());
  NWSETTINGS back{};
  ASSERT_EQ(get("PORTBAY_1_P1", kItemNwSettings, back), NET_OKAY);
  EXPECT_EQ(std::tuple(+back.PollingInterval, +back.Language, +back.PortOptions), std::tuple(45, 3, 0x82));

  NWSETTINGS renamed = settingsOf(1, 1, 45, 3, 0x82, "NEWBAY");
  ASSERT_EQ(set("PORTBAY_1_P1", kItemNwSettings, renamed), NET_OKAY);
  std::set<std::string> names;
  for (const TransportEvent& e : harness->events()) {
    EXPECT_EQ(e.code, NETEVENT_RENAMED);
    names.insert(e.name);
  }
  EXPECT_EQ(names, (std::set<std::string>{"NEWBAY_P0", "NEWBAY_P1", "NEWBAY_P2"}));
  sim.adapter("PB")->withModel([](auto& m) {
    EXPECT_EQ(textOf(reinterpret_cast<const char*>(m.variable(8, 2).data()), 44), "NEWBAY");
  });

  // Invalid names and out-of-range values are refused before anything is sent.
  for (NWSETTINGS bad : {settingsOf(1, 1, 45, 3, 1, "BAD NAME"), settingsOf(1, 1, 45, 6, 1, "NEWBAY"),
                         settingsOf(1, 3, 45, 3, 1, "NEWBAY")})
    EXPECT_EQ(set("PORTBAY_1_P1", kItemNwSettings, bad), NET_FAIL);
}

TEST_F(NetWareItemsTest, AnotherBusyPortRefusesTheSettings) {
  AdapterConfig pb = profile("portbay-npa.adapter");
  pb.printMode = 2;
  start(kWorld, pb);
  EXPECT_EQ(set("PORTBAY_1_P1", kItemNwSettings, settingsOf(1, 2, 30, 1, 1, "PORTBAY_1")),
            wide(NET_NW_ADAPTER_BUSY));
}

TEST_F(NetWareItemsTest, TextAdapterSettingsSurviveTheRestart) {
  start();
  NWSETTINGS s{};
  ASSERT_EQ(get("KESTREL_7", kItemNwSettings, s), NET_OKAY);
  EXPECT_EQ(std::tuple(+s.PortEnabled, +s.NvramAdapter, +s.PrintMode, +s.PollingInterval),
            std::tuple(1, 1, 1, 30));
  ASSERT_EQ(set("KESTREL_7", kItemNwSettings, settingsOf(1, 1, 40, 2, 0x82, "KESTREL_8")), NET_OKAY);
  ASSERT_EQ(harness->events().size(), 1u);
  EXPECT_EQ(harness->events()[0].name, "KESTREL_8");
  NWSETTINGS back{};
  ASSERT_EQ(get("KESTREL_7", kItemNwSettings, back), NET_OKAY);
  EXPECT_EQ(textOf(back.LoginName, 44), "KESTREL_8");
  EXPECT_EQ(std::tuple(+back.PollingInterval, +back.PortOptions), std::tuple(40, 0x82));
  // The advanced block went back as 29 bytes.
  ASSERT_FALSE(commands("KS", wire::kTagAdvanceSettings).empty());
  EXPECT_EQ(commands("KS", wire::kTagAdvanceSettings)[0].size(), 29u);

  // A 7390 gets its new polling interval with the port parameters.
  ASSERT_EQ(set("EXTBOX_3_PAR", kItemNwSettings, settingsOf(1, 2, 25, 1, 1, "EXTBOX_3")), NET_OKAY);
  ASSERT_FALSE(commands("EX", wire::kTagSetParameters).empty());
  const Bytes p = commands("EX", wire::kTagSetParameters).back();
  EXPECT_EQ(loadBe16(&p[26]), 25);
}

TEST_F(NetWareItemsTest, ServersServicedByNvramAndMultiPortAdapters) {
  start();
  NWSERVERLIST two{};
  two.Count = 2;
  std::snprintf(two.Names[0], 48, "FS1");
  std::snprintf(two.Names[1], 48, "FS2");
  // Each set ends with a protocol reset: the adapter restarts after answering.
  auto setAndWait = [&](const NWSERVERLIST& list) {
    const std::uint32_t before = sim.adapter("KS")->restarts();
    EXPECT_EQ(set("KESTREL_7", kItemNwServersServiced, list), NET_OKAY);
    EXPECT_TRUE(sim.adapter("KS")->waitForRestarts(before + 1, 10'000));
  };
  setAndWait(two);
  ASSERT_EQ(commands("KS", wire::kTagControl).size(), 1u);
  EXPECT_EQ(commands("KS", wire::kTagControl)[0].size(), 123u);
  NWSERVERLIST back{};
  ASSERT_EQ(get("KESTREL_7", kItemNwServersServiced, back), NET_OKAY);
  EXPECT_EQ(back.Count, 2);
  EXPECT_EQ(textOf(back.Names[1], 48), "FS2");

  NWSERVERLIST many{};
  many.Count = 10;
  for (int i = 0; i < 10; ++i) std::snprintf(many.Names[i], 48, "SERVER_%d", i);
  setAndWait(many);
  const auto sets = commands("KS", wire::kTagSetServers);
  ASSERT_EQ(sets.size(), 2u);
  EXPECT_EQ(sets[0].size(), 406u);
  EXPECT_EQ(sets[1][21], 1);
  ASSERT_EQ(get("KESTREL_7", kItemNwServersServiced, back), NET_OKAY);
  EXPECT_EQ(back.Count, 10);
  EXPECT_EQ(textOf(back.Names[9], 48), "SERVER_9");

  ASSERT_EQ(set("PORTBAY_1_P1", kItemNwServersServiced, many), NET_OKAY);
  NWSERVERLIST npa{};
  ASSERT_EQ(get("PORTBAY_1_P2", kItemNwServersServiced, npa), NET_OKAY);
  EXPECT_EQ(npa.Count, 10);
  EXPECT_EQ(textOf(npa.Names[8], 48), "SERVER_8");

  EXPECT_EQ(get("EXTBOX_3_PAR", kItemNwServersServiced, npa), wide(NET_BADCMD));
}

TEST_F(NetWareItemsTest, ServerListsFromTheAdapterStayWithinTheRecord) {
  AdapterConfig ex = profile("ext-7390.adapter");
  ex.servers = {"A1", "A2", "A3", "A4", "A5"};
  start(kWorld, profile("portbay-npa.adapter"), profile("kestrel-single.adapter"), ex);
  struct Case {
    std::vector<std::string> servers;
    std::optional<std::uint8_t> count;
    std::uint16_t expected;
  };
  const Case cases[] = {{{"A1", "A2", "A3", "A4", "A5"}, std::nullopt, 5},
                        {{"A1", "A2", "A3", "A4", "A5", "A6"}, std::nullopt, 6},
                        // The first datagram holds five entries, the second none.
                        {{"A1", "A2", "A3"}, 200, 5}};
  for (const Case& c : cases) {
    sim.adapter("EX")->withModel([&](auto& m) {
      m.config().servers = c.servers;
      m.config().knobs.listingCount = c.count;
    });
    NWSERVERLIST r{};
    ASSERT_EQ(get("EXTBOX_3_SER", kItemNwAttachedServers, r), NET_OKAY);
    EXPECT_EQ(r.Count, c.expected);
    EXPECT_EQ(textOf(r.Names[c.servers.size() - 1], 48), c.servers.back());
  }
  // Block numbers out of range fill nothing.
  sim.adapter("KS")->withModel([](auto& m) {
    m.config().servers = {"S1", "S2"};
    m.config().knobs.serverBlock = 0;
  });
  NWSERVERLIST r{};
  ASSERT_EQ(get("KESTREL_7", kItemNwServersServiced, r), NET_OKAY);
  EXPECT_EQ(r.Count, 0);
  std::uint16_t length = sizeof r;
  EXPECT_EQ(harness->getInfo(handle("EXTBOX_3_SER"), kItemNwAttachedServers, nullptr, &length),
            wide(NET_NULL_BUFFER));
}

TEST_F(NetWareItemsTest, KnownServersComeInBlocksOfSixteen) {
  std::string world = "[netware.client]\nversion = 4.1.0\n[netware.servers]\n";
  for (int i = 0; i < 17; ++i) {
    char line[80];
    std::snprintf(line, sizeof line, "S%02d = 00000001:0000000000%02X | 4.10\n", i, i + 1);
    world += line;
  }
  world += "[netware.connections]\nS00 = logged-in | level 33 | user SUPERVISOR | default\n";
  world += "[netware.bindery.S00]\n";
  for (int i = 1; i < 17; ++i) {
    char line[80];
    std::snprintf(line, sizeof line, "object = S%02d | 0004 | 00000001:0000000000%02X\n", i, i + 1);
    world += line;
  }
  start(world);
  std::uint16_t length = 0;
  EXPECT_EQ(harness->getInfo(handle("PORTBAY_1_P1"), kItemNwKnownServers, nullptr, &length, nullptr),
            wide(NET_BADCMD));
  ASSERT_EQ(harness->getInfo(handle("PORTBAY_1_P1"), kItemNwKnownServers, nullptr, &length, collectBlock),
            NET_OKAY);
  const auto got = blocks();
  ASSERT_EQ(got.size(), 2u);
  NWSERVERLIST first, second;
  ASSERT_EQ(got[0].size(), sizeof first);
  std::memcpy(&first, got[0].data(), sizeof first);
  std::memcpy(&second, got[1].data(), sizeof second);
  EXPECT_EQ(first.Count, 16);
  EXPECT_EQ(second.Count, 1);
}

TEST_F(NetWareItemsTest, QueuesAreListedServicedCreatedAndStopped) {
  start();
  std::uint16_t length = 0;
  ASSERT_EQ(harness->getInfo(handle("EXTBOX_3_PAR"), kItemNwQueues, nullptr, &length, collectBlock),
            NET_OKAY);
  ASSERT_EQ(blocks().size(), 1u);
  NWQUEUELIST list;
  std::memcpy(&list, blocks()[0].data(), sizeof list);
  std::map<std::string, int> serviced;
  for (int i = 0; i < list.Count; ++i) serviced[textOf(list.Names[i], 48)] = list.Serviced[i];
  EXPECT_EQ(serviced, (std::map<std::string, int>{{"Q_EXT", 1}, {"Q_PS", 0}}));

  const char queue[48] = "Q_NEW";
  ASSERT_EQ(harness->setInfo(handle("PORTBAY_1_P1"), kItemNwCreateQueue, queue, sizeof queue), NET_OKAY);
  EXPECT_TRUE(queueExists("Q_NEW"));
  NWQUEUELIST service{};
  service.Count = 2;
  std::snprintf(service.Names[0], 48, "Q_NEW");
  std::snprintf(service.Names[1], 48, "Q_MISSING");  // fails, the loop goes on
  ASSERT_EQ(set("PORTBAY_1_P1", kItemNwServiceQueues, service), NET_OKAY);
  ASSERT_EQ(set("PORTBAY_1_P2", kItemNwServiceQueues, service), NET_OKAY);
  auto m = members("Q_NEW");
  std::sort(m.begin(), m.end());
  EXPECT_EQ(m, (std::vector<std::string>{"PORTBAY_1", "PORTBAY_1_P1", "PORTBAY_1_P2"}));

  // The adapter's name stays while one of its ports still services the queue.
  ASSERT_EQ(set("PORTBAY_1_P1", kItemNwStopQueues, service), NET_OKAY);
  m = members("Q_NEW");
  std::sort(m.begin(), m.end());
  EXPECT_EQ(m, (std::vector<std::string>{"PORTBAY_1", "PORTBAY_1_P2"}));
  ASSERT_EQ(set("PORTBAY_1_P2", kItemNwStopQueues, service), NET_OKAY);
  EXPECT_TRUE(members("Q_NEW").empty());

  ASSERT_EQ(harness->setInfo(handle("PORTBAY_1_P1"), kItemNwDeleteQueue, queue, sizeof queue), NET_OKAY);
  EXPECT_FALSE(queueExists("Q_NEW"));
}

TEST_F(NetWareItemsTest, QueueListsInTwoBlocksBothCount) {
  start();
  NWQUEUELIST first{}, second{};
  first.Count = 16;
  second.Count = 1;
  for (int i = 0; i < 17; ++i) {
    char name[48] = {};
    std::snprintf(name, sizeof name, "Q_%02d", i);
    ASSERT_EQ(harness->setInfo(handle("KESTREL_7"), kItemNwCreateQueue, name, sizeof name), NET_OKAY);
    std::snprintf(i < 16 ? first.Names[i] : second.Names[0], 48, "%s", name);
  }
  ASSERT_EQ(set("KESTREL_7", kItemNwServiceQueues, first), NET_OKAY);
  ASSERT_EQ(set("KESTREL_7", kItemNwServiceQueues, second), NET_OKAY);
  // A single-port adapter's name alone goes into each set.
  for (const char* queue : {"Q_00", "Q_15", "Q_16"}) {
    SCOPED_TRACE(queue);
    EXPECT_EQ(members(queue), std::vector<std::string>{"KESTREL_7"});
  }
  // A count past 16 is refused.
  first.Count = 17;
  EXPECT_EQ(set("KESTREL_7", kItemNwServiceQueues, first), NET_FAIL);
}

TEST_F(NetWareItemsTest, CurrentServerAndLoginAnswerTheAccessLevel) {
  start(std::string(kWorld) + "");
  EXPECT_EQ(harness->getInfo(0xFFFF, kItemNwCurrentServer, nullptr, nullptr), wide(NET_LOGGED_IN_SUPERVISOR));
  char name[48] = {};
  std::uint16_t length = sizeof name;
  EXPECT_EQ(harness->getInfo(handle("PORTBAY_1_P1"), kItemNwCurrentServer, name, &length),
            wide(NET_LOGGED_IN_SUPERVISOR));
  EXPECT_STREQ(name, "FS1");
  EXPECT_EQ(harness->setInfo(handle("PORTBAY_1_P1"), kItemNwCurrentServer, "FS2", 4),
            wide(NET_LOGGED_IN_USER));
  EXPECT_EQ(harness->getInfo(handle("PORTBAY_1_P1"), kItemNwCurrentServer, name, &length),
            wide(NET_LOGGED_IN_USER));
  EXPECT_STREQ(name, "FS2");
  EXPECT_EQ(harness->setInfo(handle("PORTBAY_1_P1"), kItemNwCurrentServer, "FS3", 4),
            wide(NET_NOT_LOGGED_IN));

  NWLOGIN login{};
  std::snprintf(login.Server, 48, "fs3");
  std::snprintf(login.LoginName, 48, "guest");
  std::snprintf(login.Password, 48, "pw");
  clientCall<decltype(&CornwthkArmLoginRetry)>("CornwthkArmLoginRetry")("FS3");
  EXPECT_EQ(harness->setInfo(handle("PORTBAY_1_P1"), kItemNwLogin, &login, sizeof login),
            wide(NET_LOGGED_IN_USER));
  EXPECT_EQ(clientCall<decltype(&CornwthkCallCount)>("CornwthkCallCount")("NWLoginToFileServer"), 2u);
  EXPECT_EQ(harness->setInfo(handle("PORTBAY_1_P1"), kItemNwCurrentServer, "FS3", 4),
            wide(NET_LOGGED_IN_USER));
}

TEST_F(NetWareItemsTest, AttachedButNotLoggedInIsNotLoggedIn) {
  start(
      "[netware.client]\nversion = 4.1.0\n[netware.servers]\nFS1 = 00000001:000000000001 | 4.10\n"
      "[netware.connections]\nFS1 = level 0 | default\n");
  EXPECT_EQ(harness->getInfo(0xFFFF, kItemNwCurrentServer, nullptr, nullptr), wide(NET_NOT_LOGGED_IN));
}

TEST_F(NetWareItemsTest, AFailedLoginDetachesWhatItAttached) {
  start();
  clientCall<decltype(&CornwthkFailCall)>("CornwthkFailCall")("NWLoginToFileServer", NW_ERR_BAD_PASSWORD);
  NWLOGIN login{};
  std::snprintf(login.Server, 48, "FS3");
  std::snprintf(login.LoginName, 48, "GUEST");
  EXPECT_EQ(harness->setInfo(handle("PORTBAY_1_P1"), kItemNwLogin, &login, sizeof login), NET_FAIL);
  auto handleOf = clientCall<decltype(&NWGetConnectionHandle)>("NWGetConnectionHandle");
  NWCONN_HANDLE conn = 0;
  EXPECT_NE(handleOf("FS3", &conn), 0u);
  // Names that run off their fields are refused.
  std::memset(login.Password, 'x', sizeof login.Password);
  EXPECT_EQ(harness->setInfo(handle("PORTBAY_1_P1"), kItemNwLogin, &login, sizeof login), NET_FAIL);
}

TEST_F(NetWareItemsTest, SearchSettingRoundTripsThroughANineByteBuffer) {
  start();
  std::uint8_t in[9] = {4, '0', '0', '0', '0', '0', '0', '1', 'A'};
  ASSERT_EQ(harness->setInfo(0xFFFF, kItemNwNetwork, in, sizeof in), NET_OKAY);
  std::uint8_t out[9] = {};
  std::uint16_t length = sizeof out;
  ASSERT_EQ(harness->getInfo(0xFFFF, kItemNwNetwork, out, &length), NET_OKAY);
  EXPECT_EQ(Bytes(out, out + 9), Bytes(in, in + 9));
  std::uint8_t bad[9] = {4, '0', '0', '0', '0', '0', '0', '1', 'G'};
  EXPECT_EQ(harness->setInfo(0xFFFF, kItemNwNetwork, bad, sizeof bad), NET_FAIL);
  ASSERT_EQ(harness->getInfo(0xFFFF, kItemNwNetwork, out, &length), NET_OKAY);
  EXPECT_EQ(out[8], 'A');
}

TEST_F(NetWareItemsTest, DisableThenReEnableBothPortsOfA7390) {
  start();
  EXPECT_EQ(harness->setInfo(handle("EXTBOX_3_PAR"), kItemNwDisablePorts, nullptr, 0),
            wide(NET_PORTS_DISABLED + 6));
  sim.adapter("EX")->withModel([](auto& m) {
    EXPECT_FALSE(m.config().ports[0].enabled);
    EXPECT_FALSE(m.config().ports[1].enabled);
  });
  // The value item 20 reported: 4 names the serial port.
  const std::uint8_t mask = 6;
  EXPECT_EQ(harness->setInfo(handle("EXTBOX_3_PAR"), kItemNwEnablePorts, &mask, 1), NET_OKAY);
  sim.adapter("EX")->withModel([](auto& m) {
    EXPECT_TRUE(m.config().ports[0].enabled);
    EXPECT_TRUE(m.config().ports[1].enabled);
  });
  // A multi-port adapter: nothing is sent; port 2 is marked busy, so its
  // number is added, and its mark cleared.
  EXPECT_EQ(harness->setInfo(handle("PORTBAY_1_P1"), kItemNwDisablePorts, nullptr, 0),
            wide(NET_PORTS_DISABLED + 2));
  EXPECT_EQ(harness->setInfo(handle("PORTBAY_1_P1"), kItemNwDisablePorts, nullptr, 0),
            wide(NET_PORTS_DISABLED));
  EXPECT_EQ(harness->setInfo(handle("PORTBAY_1_P1"), kItemNwEnablePorts, nullptr, 0), NET_OKAY);
}

TEST_F(NetWareItemsTest, AdvancedNetWareSettingsRoundTrip) {
  start();
  NWADVANCED written{};
  written.Sap = 0x80;
  written.FrameTypes = 0x05;
  written.PacketOptions = 0x02;
  written.GsqWord1 = 0x0102;
  written.GsqWord2 = 0x0304;
  written.GsqWord3 = 0x0506;
  ASSERT_EQ(set("PORTBAY_1_P1", kItemNwAdvanced, written), NET_OKAY);
  NWADVANCED back{};
  ASSERT_EQ(get("PORTBAY_1_P0", kItemNwAdvanced, back), NET_OKAY);
  EXPECT_EQ(std::tuple(+back.Sap, +back.FrameTypes, +back.PacketOptions, +back.GsqWord1, +back.GsqWord2,
                       +back.GsqWord3),
            std::tuple(0x80, 0x05, 0x02, 0x0102, 0x0304, 0x0506));
  // Ethernet frame types sit in bits 6, 5, 4, 7 of var 8.6.
  sim.adapter("PB")->withModel([](auto& m) { EXPECT_EQ(m.variable(8, 6), Bytes{0x50}); });

  const std::uint32_t before = sim.adapter("KS")->restarts();
  written.BroadcastType = 1;
  ASSERT_EQ(set("KESTREL_7", kItemNwAdvanced, written), NET_OKAY);
  ASSERT_TRUE(sim.adapter("KS")->waitForRestarts(before + 1, 10'000));
  NWADVANCED ks{};
  ASSERT_EQ(get("KESTREL_7", kItemNwAdvanced, ks), NET_OKAY) << "kept: NVRAM was updated before the reset";
  EXPECT_EQ(std::tuple(+ks.Sap, +ks.FrameTypes, +ks.PacketOptions, +ks.BroadcastType, +ks.GsqWord2),
            std::tuple(0x80, 0x05, 0x02, 1, 0x0304));
  EXPECT_EQ(get("EXTBOX_3_PAR", kItemNwAdvanced, ks), wide(NET_BADCMD));
}

// Replies the items cannot trust (noise in place of every answer) answer a
// failure code, whatever the item and the kind of adapter.
TEST_F(NetWareItemsTest, MalformedRepliesAnswerFailureCodes) {
  start();
  for (const char* id : {"PB", "KS", "EX"})
    sim.adapter(id)->withModel([](auto& m) { m.config().knobs.garbage = true; });
  for (const char* port : {"PORTBAY_1_P1", "KESTREL_7", "EXTBOX_3_SER"}) {
    SCOPED_TRACE(port);
    NWSETTINGS settings;
    NWSERVERLIST servers;
    NWADVANCED advanced;
    NETADAPTERPARMS parms;
    NETADVANCEDSETTINGS adapterAdvanced;
    for (std::int32_t rc : {get(port, kItemNwSettings, settings), get(port, kItemNwServersServiced, servers),
                            get(port, kItemNwAttachedServers, servers), get(port, kItemNwAdvanced, advanced),
                            get(port, kItemAdapterParms, parms), get(port, kItemAdvanced, adapterAdvanced)})
      EXPECT_NE(rc, NET_OKAY);
  }
}

TEST_F(NetWareItemsTest, ItemsWithoutDataAnswerZero) {
  start();
  std::uint16_t length = 0;
  for (std::uint16_t item : {kItemNwNoData12, kItemNwNoData14})
    EXPECT_EQ(harness->getInfo(handle("KESTREL_7"), item, nullptr, &length), NET_OKAY);
  for (std::uint16_t item : {kItemNwPrintServer, kItemNwNoData14, kItemNwNoData15, kItemNwNoData16})
    EXPECT_EQ(harness->setInfo(handle("KESTREL_7"), item, nullptr, 0), NET_OKAY);
  char name[48] = {};
  length = sizeof name;
  ASSERT_EQ(harness->getInfo(handle("PORTBAY_1_P2"), kItemNwPrintServer, name, &length), NET_OKAY);
  EXPECT_STREQ(name, "PORTBAY_1_P2");
  ASSERT_EQ(harness->getInfo(handle("EXTBOX_3_SER"), kItemNwPrintServer, name, &length), NET_OKAY);
  EXPECT_STREQ(name, "PSERV_SER");
}

}  // namespace
}  // namespace wf::netware::testing
