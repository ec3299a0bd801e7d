// The port table and the entry points that walk, address, write to and
// hear from CorLink printers, against the world's servers.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "corlink_fixture.h"
#include "eventually.h"
#include "platform/clock.h"

namespace wf::corlink::testing {
namespace {

// One record as a server lays it out.
Bytes portRecord(const std::string& name, const std::string& queue, std::uint16_t flags,
                 std::initializer_list<std::uint8_t> node, std::uint16_t cls, std::uint8_t hi, std::uint8_t lo) {
  Bytes r(kPortRecordSize, 0);
  std::memcpy(r.data(), name.data(), std::min<std::size_t>(name.size(), 25));
  std::memcpy(r.data() + 25, queue.data(), std::min<std::size_t>(queue.size(), 65));
  r[90] = static_cast<std::uint8_t>(flags);
  r[91] = static_cast<std::uint8_t>(flags >> 8);
  std::copy(node.begin(), node.end(), r.begin() + 92);
  r[98] = 0x78, r[99] = 0x56, r[100] = 0x34, r[101] = 0x12;
  r[102] = 0x51, r[103] = 0x04;
  r[104] = static_cast<std::uint8_t>(cls);
  r[106] = hi, r[107] = lo, r[108] = 7;
  return r;
}

TEST(PortRecords, FieldsTextsEndingInsideAndPartialRecordsLeftOut) {
  Bytes run = portRecord("VIREO1", "Q_VIREO", 0x8001, {0, 0, 0xC0, 1, 2, 3}, 4, 0, 1);
  const Bytes second = portRecord(std::string(30, 'N'), std::string(70, 'Q'), 0, {9, 9, 9, 9, 9, 9}, 8, 1, 1);
  run.insert(run.end(), second.begin(), second.end());
  for (const std::size_t extra : {0u, 1u, 108u}) {
    Bytes data = run;
    data.resize(run.size() + extra, 0x41);
    const auto records = readPortRecords(data);
    ASSERT_EQ(records.size(), 2u) << extra;
    const PortRecord& r = records[0];
    EXPECT_EQ(r.portName, "VIREO1");
    EXPECT_EQ(r.queueName, "Q_VIREO");
    EXPECT_EQ(r.flags, 0x8001);
    EXPECT_EQ(r.node[2], 0xC0);
    EXPECT_EQ(r.network, 0x12345678u);
    EXPECT_EQ(r.socket, 0x0451);
    EXPECT_EQ(r.adapterClass, 4);
    EXPECT_EQ(r.portLo, 1);
    EXPECT_EQ(r.portNumber, 7);
    EXPECT_EQ(records[1].portName, std::string(24, 'N')) << "unterminated: cut inside its field";
    EXPECT_EQ(records[1].queueName, std::string(64, 'Q'));
  }
  EXPECT_TRUE(readPortRecords(Bytes(108, 1)).empty());

  PortTable table;
  const auto a = table.findOrAdd(readPortRecords(run)[0], "");
  const auto b = table.findOrAdd(readPortRecords(run)[1], "SRV1");
  ASSERT_TRUE(a && b);
  EXPECT_EQ(*a, 0);
  EXPECT_EQ(*b, 1);
  EXPECT_EQ(table.findOrAdd(readPortRecords(run)[0], "SRV2"), a) << "same node and port: same id";
  EXPECT_EQ(table.get(*a)->server, "SRV2") << "a port without server takes the one it was found through";
  EXPECT_EQ(table.get(*a)->kind, 1) << "bit 15";
  EXPECT_EQ(table.get(*b)->kind, 2);
  const NETPORTINFO info = table.get(*b)->info();
  EXPECT_EQ(info.portKind, 0x0101) << "class 8 with a PortHi";
  EXPECT_EQ(table.get(*a)->info().portKind, 1) << "class 4: PortLo";
  EXPECT_EQ(info.connections, 8u);
}

struct Seen {
  std::uint16_t id;
  std::string name;
  std::uint32_t access;
  std::uint16_t adapterClass;
  std::uint16_t portKind;
};
std::vector<Seen> gSeen;
std::uint16_t gAnswer = 1;
std::uint16_t seeing(const NETPORTINFO* p) {
  gSeen.push_back({p->portId, p->portName, p->connections, p->adapterClass, p->portKind});
  return gAnswer;
}

std::vector<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, Bytes>> gEvents;
std::mutex gEventMutex;
std::int32_t hearing(std::uint32_t kind, std::uint32_t id, std::uint32_t code, void* data) {
  std::lock_guard hold(gEventMutex);
  Bytes d;
  if (code == NETEVENT_ADDRESS_CHANGED) d.assign(static_cast<std::uint8_t*>(data), static_cast<std::uint8_t*>(data) + 6);
  gEvents.emplace_back(kind, id, code, d);
  return 0;
}
std::int32_t other(std::uint32_t, std::uint32_t, std::uint32_t, void*) {
  return 0;
}

std::vector<std::pair<std::uint16_t, Bytes>> gData;
std::int32_t receiving(std::uint16_t id, const std::uint8_t* data, std::uint32_t length) {
  std::lock_guard hold(gEventMutex);
  gData.emplace_back(id, Bytes(data, data + length));
  return 0;
}

class Ports : public CorLinkWorld {
 protected:
  void SetUp() override {
    CorLinkWorld::SetUp();
    gSeen.clear();
    gAnswer = 1;
    gEvents.clear();
    gData.clear();
    setStartUpDword(kValueEnumerateDomain, 1);
    setStartUpText(kValueDomains, "CORPDOM");
  }
  std::map<std::string, Seen> walk(CorLinkTransport& t) {
    gSeen.clear();
    EXPECT_EQ(t.enumerate(&seeing), NET_OKAY);
    std::map<std::string, Seen> byName;
    for (const auto& s : gSeen) EXPECT_TRUE(byName.emplace(s.name, s).second) << s.name << " reported twice";
    return byName;
  }
  std::uint16_t idOf(CorLinkTransport& t, const std::string& name) {
    auto ports = walk(t);
    EXPECT_TRUE(ports.count(name)) << name;
    return ports[name].id;
  }
};

TEST_F(Ports, AWalkReportsEachPortOnceWithItsAccessAndKeepsIds) {
  CorLinkTransport& t = start(kLogConnections);
  auto ports = walk(t);
  for (const char* name : {"PAGECREST", "VIREO1", "VIREO2", "CHROMA", "GENERIC", "KEYSTONE"})
    EXPECT_TRUE(ports.count(name)) << name;
  // LPT1 prints to SRV1's Q_VIREO, found both by the connection and in SRV1's list.
  EXPECT_EQ(ports["VIREO1"].access, kAccessAdmin | kAccessLpt1 | 8);
  EXPECT_EQ(ports["PAGECREST"].access, kAccessAdmin | 8);
  EXPECT_EQ(ports["KEYSTONE"].access, 8u) << "SRV2: connected, no administrator";
  EXPECT_EQ(ports["VIREO1"].adapterClass, 4);
  EXPECT_EQ(ports["VIREO1"].portKind, 1);
  EXPECT_EQ(ports["PAGECREST"].portKind, 0x0101) << "the serial port";
  EXPECT_EQ(ports["CHROMA"].portKind, 0) << "single-port class";
  auto again = walk(t);
  ASSERT_EQ(again.size(), ports.size());
  for (const auto& [name, s] : ports) EXPECT_EQ(again[name].id, s.id) << name;

  gAnswer = 2;
  EXPECT_EQ(walk(t).size(), ports.size()) << "2 goes on";
  gAnswer = 0;
  gSeen.clear();
  EXPECT_EQ(t.enumerate(&seeing), NET_OKAY);
  EXPECT_EQ(gSeen.size(), 1u) << "0 stops the walk";
  t.shutdown();
  EXPECT_NE(corcl32Log().find("Enumeration completed\r\n"), std::string::npos);
}

TEST_F(Ports, AUserWhoAdministersNothingSeesConnectedPortsOnly) {
  ASSERT_TRUE(line("SRV1.administrators = BOB"));
  ASSERT_TRUE(line("SRV4.administrators = BOB"));
  ASSERT_TRUE(line("SRV5.administrators = BOB"));
  CorLinkTransport& t = start(0);
  auto ports = walk(t);
  std::vector<std::string> names;
  for (const auto& [name, s] : ports) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"KEYSTONE", "VIREO1"}));
  EXPECT_EQ(ports["VIREO1"].access, kAccessLpt1 | 8);
  EXPECT_FALSE(t.isAdmin());
}

// Listings a server should not send: texts filling their fields, a last
// record cut short. The walk reports what is whole and reads nothing beyond.
TEST_F(Ports, MalformedListingsAreReadWithinTheirBounds) {
  ASSERT_TRUE(line("SRV1.unterminated-texts = 1"));
  ASSERT_TRUE(line("SRV1.partial-record = 1"));
  CorLinkTransport& t = start(0);
  auto ports = walk(t);
  std::size_t fromSrv1 = 0;
  for (const auto& [name, s] : ports) {
    EXPECT_LE(name.size(), kNicknameLimit) << name;
    if (s.access & kAccessAdmin) ++fromSrv1;
  }
  // Six ports listed, the last cut by 40 bytes; the cut one may still come through its connection.
  EXPECT_EQ(fromSrv1, 5u);
  char nickname[40];
  std::uint16_t length = sizeof nickname;
  std::memset(nickname, 0x55, sizeof nickname);
  ASSERT_EQ(t.getInfo(ports.begin()->second.id, 1, nickname, &length, nullptr), NET_OKAY);
  EXPECT_LE(std::strlen(nickname), kNicknameLimit) << "an unterminated nickname ends within 25 bytes";
}

// Item 129 against the adapter files behind the world's ports: the texts
// of the EBCDIC fields, the version text, the class and kind bytes.
TEST_F(Ports, TheAdapterRecordByClass) {
  CorLinkTransport& t = start(0);
  auto ports = walk(t);
  struct Case {
    const char* port;
    std::uint8_t head[3];  // flags (| 0x10 administrator), class, port kind
    const char* version;
    const char* product;
    const char* model;
  };
  const Case cases[] = {
      {"VIREO1", {0x17, 4, 2}, "3.1.7", "4033XLE", "XLE-003"},
      {"PAGECREST", {0x17, 4, 4}, "3.1.7", "4033XLE", "XLE-003"},
      {"KEYSTONE", {0x07, 2, 2}, "3.1.7", "4033XLE", "XLE-003"},  // SRV2: no administrator
      {"CHROMA", {0x15, 16, 1}, "2.5.17", "4033INT", "RU_VA_1"},
      {"GENERIC", {0x15, 8, 2}, "115", "7390EXT", "7390-A01"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.port);
    std::uint8_t r[70];
    std::uint16_t length = sizeof r;
    ASSERT_EQ(t.getInfo(ports[c.port].id, 129, r, &length, nullptr), NET_OKAY);
    EXPECT_EQ(r[0], c.head[0]);
    EXPECT_EQ(r[1], c.head[1]);
    EXPECT_EQ(r[2], c.head[2]);
    const auto* text = reinterpret_cast<const char*>(r);
    EXPECT_STREQ(text + 18, c.version);
    EXPECT_STREQ(text + 30, c.product);
    EXPECT_STREQ(text + 38, c.model);
  }
  // PAGECREST's serial port (kind 4): its parameters turned from big-endian.
  std::uint8_t r[70];
  std::uint16_t length = sizeof r;
  ASSERT_EQ(t.getInfo(ports["PAGECREST"].id, 129, r, &length, nullptr), NET_OKAY);
  EXPECT_EQ(r[48] | (r[49] << 8), 0x2580) << "9600 baud";

  // A caller's buffer or a server's record too short: 1, nothing written.
  std::uint16_t shortLength = 69;
  std::memset(r, 0xEE, sizeof r);
  EXPECT_EQ(t.getInfo(ports["VIREO1"].id, 129, r, &shortLength, nullptr), NET_FAIL);
  // A 40-byte record holds what a parallel port reads, not a serial port's parameters.
  ASSERT_TRUE(line("SRV1.short-adapter-record = 1"));
  EXPECT_EQ(t.getInfo(ports["PAGECREST"].id, 129, r, &length, nullptr), NET_FAIL);
  EXPECT_EQ(r[0], 0xEE);
  EXPECT_EQ(r[69], 0xEE);
}

TEST_F(Ports, NoServerAtAllAnswersOneAfterTheLogLine) {
  ::setenv("WRENFIELD_SCENARIO", "/nonexistent", 1);
  setStartUpDword(kValueEnumerateDomain, 0);
  setStartUpText(kValueDomains, "");
  CorLinkTransport& t = start(kLogConnections);
  EXPECT_EQ(t.enumerate(&seeing), NET_FAIL);
  EXPECT_TRUE(gSeen.empty());
  t.shutdown();
  EXPECT_NE(corcl32Log().find("Can not find any servers to connect to\r\n"), std::string::npos);
}

TEST_F(Ports, WritesRepliesAndStatuses) {
  CorLinkTransport& t = start(kLogData | kLogLoad);
  const std::uint16_t vireo = idOf(t, "VIREO1");
  const Bytes summary = {0xA5, 0x00, 0x03, 0x50, 0x01, 0x00};
  std::uint8_t reply[512] = {};
  std::uint32_t length = sizeof reply;
  std::uint16_t status = 0;
  EXPECT_EQ(t.write(vireo, summary.data(), 6, reply, &length, &status), 6);
  EXPECT_EQ(status, NET_STATUS_COMPLETE);
  ASSERT_GT(length, 10u);
  EXPECT_EQ(reply[0], 0xA5);
  const std::uint32_t whole = length;

  std::uint8_t small[10] = {};
  std::uint32_t smallLength = sizeof small;
  EXPECT_EQ(t.write(vireo, summary.data(), 6, small, &smallLength, &status), 6);
  EXPECT_EQ(status, NET_STATUS_TRUNCATED);
  EXPECT_EQ(smallLength, 10u);
  EXPECT_TRUE(std::equal(small, small + 10, reply)) << whole;

  // Print data: no reply wanted, complete once acknowledged; 700 bytes go in two frames.
  const std::string job = "\x1B%-12345X@PJL JOB\r\n" + std::string(700 - 38, 'x') + "\x1B%-12345X@PJL EOJ\r\n";
  ASSERT_EQ(job.size(), 700u);
  status = 0;
  EXPECT_EQ(t.write(vireo, reinterpret_cast<const std::uint8_t*>(job.data()), 700, nullptr, nullptr, &status), 700);
  EXPECT_EQ(status, NET_STATUS_COMPLETE);
  // The server got it in two frames, byte for byte.
  std::string carried;
  int dataFrames = 0;
  for (const auto& f : frames("SRV1"))
    if (f.rfind("in ", 0) == 0 && f.find("787878") != std::string::npos) {
      ++dataFrames;
      carried += f.substr(3 + 2 * 19);
    }
  EXPECT_EQ(dataFrames, 2);
  std::string expected;
  for (const unsigned char c : job) {
    char two[3];
    std::snprintf(two, sizeof two, "%02X", c);
    expected += two;
  }
  EXPECT_EQ(carried, expected);

  EXPECT_EQ(t.write(999, summary.data(), 6, reply, &length, &status), 0);
  t.shutdown();
  const std::string log = corcl32Log();
  EXPECT_NE(log.find("NetWrite() error (invalid handle 0x03E7)"), std::string::npos);
  EXPECT_NE(log.find("0000C0010203:00:01 NetWrite(): A5 00 03 50 01 00"), std::string::npos) << log;
  EXPECT_NE(log.find("0000C0010203:00:01 NetRead():  A5 "), std::string::npos);
}

TEST_F(Ports, AFailedReadStillAnswersTheLengthWithAFailureStatus) {
  CorLinkTransport& t = start(0);
  const std::uint16_t vireo = idOf(t, "VIREO1");
  ASSERT_TRUE(line("SRV1.silent = 1"));
  setTimeScaleForTest(0.05);  // the 30 s reply wait in 1.5 s
  const Bytes summary = {0xA5, 0x00, 0x03, 0x50, 0x01, 0x00};
  std::uint8_t reply[64];
  std::uint32_t length = sizeof reply;
  std::uint16_t status = 0;
  EXPECT_EQ(t.write(vireo, summary.data(), 6, reply, &length, &status), 6);
  EXPECT_EQ(status, NET_STATUS_UNREADABLE);
  EXPECT_EQ(length, 0u);
}

TEST_F(Ports, AddressesAndItemsOfThePortTable) {
  CorLinkTransport& t = start(kLogLoad);
  auto ports = walk(t);
  const std::uint16_t vireo = ports["VIREO1"].id;
  NETADDRESS address{};
  ASSERT_EQ(t.specificAddress(vireo, &address), NET_OKAY);
  const auto* a = reinterpret_cast<const std::uint8_t*>(&address);
  EXPECT_STREQ(reinterpret_cast<const char*>(a + 166), "SRV1");
  EXPECT_EQ(a[248], 0xC0);
  EXPECT_EQ(a[252], 4);
  EXPECT_EQ(a[254] | (a[255] << 8), 1) << "PortHi 0, PortLo 1";
  EXPECT_EQ(t.specificAddress(4321, &address), NET_BADID);

  gSeen.clear();
  EXPECT_EQ(t.enumSpecific(&address, &seeing), NET_OKAY);
  ASSERT_EQ(gSeen.size(), 1u);
  EXPECT_EQ(gSeen[0].id, vireo);
  EXPECT_EQ(gSeen[0].access, kAccessAdmin | kAccessLpt1 | 8);

  std::uint8_t item[10] = {};
  std::uint16_t length = sizeof item;
  ASSERT_EQ(t.getInfo(vireo, 135, item, &length, nullptr), NET_OKAY);
  EXPECT_EQ(item[0], 4);
  EXPECT_EQ(item[1], 2) << "no PortHi";
  EXPECT_EQ(item[3], 1) << "ALICE administers SRV1";
  std::uint16_t shortLength = 9;
  std::memset(item, 0xEE, sizeof item);
  EXPECT_EQ(t.getInfo(vireo, 135, item, &shortLength, nullptr), NET_FAIL);
  EXPECT_EQ(item[0], 0xEE) << "nothing written";
  ASSERT_EQ(t.getInfo(NET_NO_PORT, 135, item, &length, nullptr), NET_OKAY);
  EXPECT_EQ(item[3], 1);
  EXPECT_EQ(t.getInfo(NET_NO_PORT, 1, item, &length, nullptr), NET_BADID);

  char nickname[25] = {};
  length = sizeof nickname;
  ASSERT_EQ(t.getInfo(vireo, 1, nickname, &length, nullptr), NET_OKAY);
  EXPECT_STREQ(nickname, "VIREO1");
  char cut[4] = {};
  length = sizeof cut;
  ASSERT_EQ(t.getInfo(vireo, 1, cut, &length, nullptr), NET_OKAY);
  EXPECT_STREQ(cut, "VIR") << "copied within the caller's length";

  const std::uint8_t known[6] = {0x00, 0x00, 0xC0, 0x01, 0x02, 0x03};
  const std::uint8_t unknown[6] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(t.setInfo(NET_NO_PORT, 137, known, 6), NET_ADDRESS_KNOWN);
  EXPECT_EQ(t.setInfo(NET_NO_PORT, 137, unknown, 6), NET_ADDRESS_UNKNOWN);
  EXPECT_EQ(t.getInfo(vireo, 77, item, &length, nullptr), NET_BADCMD);
  EXPECT_EQ(t.getInfo(4321, 135, item, &length, nullptr), NET_BADID);
  EXPECT_EQ(t.open(4321, &receiving), NET_FAIL);

  EXPECT_EQ(t.registerCallback(&hearing), NET_OKAY);
  EXPECT_EQ(t.registerCallback(&other), NET_FAIL) << "the first is kept";
  t.shutdown();
  const std::string log = corcl32Log();
  for (const char* text : {"NetGetSpecificAddr() error (invalid handle 0x10E1)", "NetGetInfo() error (invalid handle 0x10E1)",
                           "NetOpen() error (invalid handle 0x10E1)"})
    EXPECT_NE(log.find(text), std::string::npos) << text;
}

TEST_F(Ports, AlertsReachTheOpenedPortAndNoticesBecomeEvents) {
  CorLinkTransport& t = start(kLogAlerts);
  auto ports = walk(t);
  const std::uint16_t vireo = ports["VIREO1"].id;
  ASSERT_EQ(t.registerCallback(&hearing), NET_OKAY);
  ASSERT_EQ(t.open(vireo, &receiving), NET_OKAY);

  // Capture the device-status class, then raise it: the data reaches the port's callback.
  const Bytes capture = deviceStatusCapture();
  std::uint8_t reply[256];
  std::uint32_t length = sizeof reply;
  std::uint16_t status = 0;
  t.write(vireo, capture.data(), static_cast<std::uint32_t>(capture.size()), reply, &length, &status);
  // The server takes up its end of the alert pipe after the connect returned.
  ASSERT_TRUE(::wf::testing::eventually([&] { return sim_->server("SRV1")->openAlertPipes() > 0; }));
  ASSERT_TRUE(line("SRV1.raise-status = VIREO1 4"));
  ASSERT_TRUE(::wf::testing::eventually([] {
    std::lock_guard hold(gEventMutex);
    return !gData.empty();
  }));
  {
    std::lock_guard hold(gEventMutex);
    EXPECT_EQ(gData[0].first, vireo);
    EXPECT_EQ(gData[0].second.at(0), 0xA5);
  }

  // The server's shutdown notice and a 135 too short to name two nodes: logged, nothing raised or delivered.
  ASSERT_TRUE(line("SRV1.notice = VIREO1 128"));
  ASSERT_TRUE(line(R"(SRV1.notice = VIREO1 135 "\x00\x00\xC0\x01\x02\x03")"));
  ASSERT_TRUE(line("SRV1.notice = VIREO1 129"));
  ASSERT_TRUE(line("SRV1.notice = VIREO1 131"));
  ASSERT_TRUE(line("SRV1.notice = VIREO1 130"));
  ASSERT_TRUE(::wf::testing::eventually([] {
    std::lock_guard hold(gEventMutex);
    return gEvents.size() >= 2;
  }));
  // The adapter moves: one 104 for each of its three ports, with the new node.
  ASSERT_TRUE(line("SRV1.move = A 0000C0AABBCC"));
  ASSERT_TRUE(::wf::testing::eventually([] {
    std::lock_guard hold(gEventMutex);
    return gEvents.size() >= 5;
  }));
  t.close(vireo);
  t.shutdown();
  std::lock_guard hold(gEventMutex);
  ASSERT_EQ(gEvents.size(), 5u);
  EXPECT_EQ(gEvents[0], std::make_tuple(8u, std::uint32_t{vireo}, 100u, Bytes{}));
  EXPECT_EQ(gEvents[1], std::make_tuple(8u, std::uint32_t{vireo}, 101u, Bytes{}));
  std::vector<std::uint32_t> moved;
  for (std::size_t i = 2; i < 5; ++i) {
    EXPECT_EQ(std::get<2>(gEvents[i]), 104u);
    EXPECT_EQ(std::get<3>(gEvents[i]), (Bytes{0x00, 0x00, 0xC0, 0xAA, 0xBB, 0xCC}));
    moved.push_back(std::get<1>(gEvents[i]));
  }
  std::sort(moved.begin(), moved.end());
  std::vector<std::uint32_t> adapterA = {ports["PAGECREST"].id, ports["VIREO1"].id, ports["VIREO2"].id};
  std::sort(adapterA.begin(), adapterA.end());
  EXPECT_EQ(moved, adapterA);
  const std::string log = corcl32Log();
  EXPECT_NE(log.find("0000C0010203:00:01 ReadDSA():  A5 "), std::string::npos) << log;
  EXPECT_NE(log.find(" Internal WFS Alert received - NETALERT_ASSOCIATE (ignoring)"), std::string::npos);
  EXPECT_NE(log.find(" Internal WFS Alert received - NETALERT_WFS_SHUTDOWN (ignoring)"), std::string::npos) << log;
  EXPECT_NE(log.find("Address change notice of 6 bytes ignored"), std::string::npos) << log;
  EXPECT_EQ(gData.size(), 1u) << "the shutdown notice is no printer data";
}

TEST_F(Ports, DroppingAServerRaisesRemovedForItsPorts) {
  CorLinkTransport& t = start(0);
  ASSERT_TRUE(line("SRV5.A = portbay-npa.adapter"));
  ASSERT_TRUE(line("SRV5.A.node = 0000C0050505"));
  ASSERT_TRUE(line("SRV5.A.port1 = FARAWAY, Q_FAR, 0, meridian-vireo10.profile"));
  const std::uint16_t far = idOf(t, "FARAWAY");
  ASSERT_EQ(t.registerCallback(&hearing), NET_OKAY);
  const std::uint8_t entry[17] = {kListDomain, 'C', 'O', 'R', 'P', 'D', 'O', 'M'};
  ASSERT_EQ(t.setInfo(NET_NO_PORT, 4, entry, sizeof entry), NET_OKAY);
  {
    std::lock_guard hold(gEventMutex);
    ASSERT_EQ(gEvents.size(), 1u);
    EXPECT_EQ(gEvents[0], std::make_tuple(8u, std::uint32_t{far}, 102u, Bytes{}));
  }
  const std::uint8_t data[1] = {0};
  std::uint16_t status = 0;
  EXPECT_EQ(t.write(far, data, 1, nullptr, nullptr, &status), 0) << "the port has no server";
  EXPECT_EQ(walk(t).count("FARAWAY"), 0u);
}

}  // namespace
}  // namespace wf::corlink::testing
