// Information items against the simulated adapters: CorLink nicknames in
// the registry, the adapter's name, its password, the port's summary and
// the address check.
#include <mutex>
#include <thread>

#include "coripx_fixture.h"
#include "ipx_frame.h"
#include "transports/common/net_items.h"

namespace wf::coripx::testing {
namespace {

using ::wf::net::NETADAPTERINFO;
using ::wf::net::NICKNAMEENTRY;

struct Collected {
  std::mutex mutex;
  std::vector<NICKNAMEENTRY> entries;
  std::vector<std::pair<std::uint32_t, std::string>> renamed;  // port id, name
  std::vector<std::uint32_t> resynced;
  std::vector<std::pair<std::uint32_t, Node>> moved;
};
Collected gCollected;

std::int32_t collectEntry(const void* item, std::uint16_t length) {
  std::lock_guard g(gCollected.mutex);
  if (length == sizeof(NICKNAMEENTRY)) gCollected.entries.push_back(*static_cast<const NICKNAMEENTRY*>(item));
  return 1;
}

std::int32_t collectEvent(std::uint32_t kind, std::uint32_t portId, std::uint32_t code, void* data) {
  std::lock_guard g(gCollected.mutex);
  if (kind == BCE_NET_IPX && code == NETEVENT_ADDRESS_CHANGED)
    gCollected.moved.emplace_back(portId, Node(std::to_array(*static_cast<const std::uint8_t(*)[6]>(data))));
  if (kind == BCE_NET_IPX && code == NETEVENT_RESYNC) gCollected.resynced.push_back(portId);
  if (kind == BCE_NET_IPX && code == NETEVENT_RENAMED)
    gCollected.renamed.emplace_back(portId, std::string(static_cast<const char*>(data), strnlen(static_cast<const char*>(data), 80)));
  return 1;
}

class CorIpxItems : public CorIpxAgainstSimulator {
 protected:
  void SetUp() override {
    CorIpxAgainstSimulator::SetUp();
    std::lock_guard g(gCollected.mutex);
    gCollected.entries.clear();
    gCollected.renamed.clear();
    gCollected.resynced.clear();
    gCollected.moved.clear();
  }
  std::vector<NICKNAMEENTRY> list(std::uint16_t code) {
    {
      std::lock_guard g(gCollected.mutex);
      gCollected.entries.clear();
    }
    EXPECT_EQ(ipx->getInfo(NET_NO_PORT, code, nullptr, nullptr, &collectEntry), NET_OKAY);
    std::lock_guard g(gCollected.mutex);
    return gCollected.entries;
  }
  NICKNAMEENTRY entryFor(const IPXPORT& port, const char* nickname) {
    NICKNAMEENTRY e{};
    std::memcpy(e.Node, port.Node.data(), 6);
    e.AdapterClass = static_cast<std::uint8_t>(port.AdapterClass);
    e.PortKind = port.PortKind;
    std::strncpy(e.Nickname, nickname, sizeof e.Nickname - 1);
    return e;
  }
  IPXPORT* portOfKind(std::uint16_t kind) {
    for (std::uint16_t id = 1; IPXPORT* p = ipx->FindPortById(id); ++id)
      if (p->PortKind == kind) return p;
    return nullptr;
  }
};

TEST_F(CorIpxItems, NicknamesAreAddedListedAndRemoved) {
  IPXPORT* port = portBayPort1();
  ASSERT_TRUE(port);
  const std::size_t ports = ipx->portCount();
  EXPECT_EQ(list(2).size(), ports) << "no nickname yet: every port is available";

  NICKNAMEENTRY e = entryFor(*port, "Front desk");
  // Refused records: nothing written.
  struct Bad {
    const char* name;
    NICKNAMEENTRY record;
    std::uint32_t length;
  };
  NICKNAMEENTRY slash = entryFor(*port, "Front\\desk"), empty = entryFor(*port, ""), unterminated = e,
                nobody = e, otherKind = e;
  std::memset(unterminated.Nickname, 'n', sizeof unterminated.Nickname);
  nobody.Node[5] ^= 0xFF;
  otherKind.PortKind = 7;
  const Bad bad[] = {{"168 bytes", e, 168},       {"a backslash", slash, 169},   {"empty", empty, 169},
                     {"unterminated", unterminated, 169}, {"no such port", nobody, 169}, {"no such kind", otherKind, 169}};
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.name);
    EXPECT_EQ(ipx->setInfo(NET_NO_PORT, 3, &b.record, b.length), NET_FAIL);
    EXPECT_TRUE(list(1).empty());
  }

  ASSERT_EQ(ipx->setInfo(NET_NO_PORT, 3, &e, sizeof e), NET_OKAY);
  EXPECT_TRUE(port->HasNickname);
  const auto named = list(1);
  ASSERT_EQ(named.size(), 1u);
  EXPECT_STREQ(named[0].Nickname, "Front desk");
  EXPECT_EQ(std::memcmp(named[0].Node, port->Node.data(), 6), 0);
  const std::uint16_t namedKind = named[0].PortKind;
  EXPECT_EQ(namedKind, port->PortKind);
  EXPECT_EQ(named[0].AdapterName[0], 0);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string(kSettingsKey) + "\\Front desk").c_str(), 0, KEY_READ, &key),
            ERROR_SUCCESS);
  std::uint8_t value[16];
  DWORD size = sizeof value, type = 0;
  ASSERT_EQ(RegQueryValueExA(key, "NetAddress", nullptr, &type, value, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 14u);
  const Node wireNode = port->NodeAsIs ? port->Address.node : reverseNode(port->Address.node);
  EXPECT_EQ(std::memcmp(value + 6, wireNode.data(), 6), 0) << "the node as it is sent";
  size = sizeof value;
  ASSERT_EQ(RegQueryValueExA(key, "PortType", nullptr, &type, value, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 2u);
  EXPECT_EQ(loadLe16(value), port->PortKind);
  RegCloseKey(key);

  const auto available = list(2);
  EXPECT_EQ(available.size(), ports - 1) << "one callback per port without a nickname";
  for (const auto& a : available) {
    EXPECT_FALSE(a.PortKind == port->PortKind && std::memcmp(a.Node, port->Node.data(), 6) == 0);
    EXPECT_STREQ(a.AdapterName, port->Name);
    EXPECT_EQ(a.Nickname[0], 0);
  }

  ASSERT_EQ(ipx->setInfo(NET_NO_PORT, 4, &e, sizeof e), NET_OKAY);
  EXPECT_FALSE(port->HasNickname);
  EXPECT_TRUE(list(1).empty());
  EXPECT_EQ(ipx->setInfo(NET_NO_PORT, 4, &e, sizeof e), NET_FAIL) << "nothing left to remove";
}

TEST_F(CorIpxItems, SettingTheNameRenamesEveryPortOfTheAdapter) {
  IPXPORT* port = portBayPort1();
  ASSERT_TRUE(port);
  ASSERT_EQ(ipx->registerCallback(&collectEvent), NET_OKAY);
  char name[25] = {};
  std::memcpy(name, port->Name, sizeof name);
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::size_t before = logged(" in 861F");
  EXPECT_EQ(ipx->setInfo(port->PortId, 5, name, sizeof name), static_cast<std::int16_t>(0xFB91)) << "in use";
  EXPECT_EQ(logged(" in 861F"), before) << "nothing sent";
  EXPECT_EQ(ipx->setInfo(port->PortId, 5, "short", 6), NET_FAIL);
  EXPECT_EQ(ipx->setInfo(999, 5, name, sizeof name), NET_BADID);

  const char empty[25] = {};
  ASSERT_EQ(ipx->setInfo(port->PortId, 5, empty, sizeof empty), NET_OKAY);
  char defaultName[13];
  std::snprintf(defaultName, sizeof defaultName, "%02x%02x%02x%02x%02x%02x", port->Node[0], port->Node[1],
                port->Node[2], port->Node[3], port->Node[4], port->Node[5]);
  std::size_t siblings = 0;
  for (std::uint16_t id = 1; IPXPORT* p = ipx->FindPortById(id); ++id)
    if (p->Node == port->Node) {
      ++siblings;
      EXPECT_STREQ(p->Name, defaultName) << "port " << id;
    }
  {
    std::lock_guard g(gCollected.mutex);
    ASSERT_EQ(gCollected.renamed.size(), siblings) << "103 for every port of the adapter";
    EXPECT_EQ(gCollected.renamed[0].first, port->PortId);
    for (const auto& [id, text] : gCollected.renamed) EXPECT_EQ(text, defaultName);
  }

  char got[40];
  std::uint16_t length = sizeof got;
  EXPECT_EQ(ipx->getInfo(port->PortId, 5, got, &length, nullptr), NET_OKAY);
  EXPECT_EQ(length, 25u);
  EXPECT_STREQ(got, defaultName);

  // A name of its own goes to the adapter: its variable (07,02) holds it.
  char west[25] = "Lab west";
  ASSERT_EQ(ipx->setInfo(port->PortId, 5, west, sizeof west), NET_OKAY);
  EXPECT_STREQ(port->Name, "Lab west");
  std::optional<Bytes> stored;
  sim.adapter("PB")->withModel([&](sim::adapter::AdapterModel& m) {
    stored = m.ipxVariables(Bytes{0xA5, 0x00, 0x06, 0x50, 0xE0, 0xD7, 0x00, 0x07, 0x02});
  });
  ASSERT_TRUE(stored);
  ASSERT_GT(stored->size(), 10u);
  const auto* value = reinterpret_cast<const char*>(stored->data() + 10);
  EXPECT_EQ(std::string(value, strnlen(value, stored->size() - 10)), "Lab west");

  port->InJob = 1;
  EXPECT_EQ(ipx->setInfo(port->PortId, 5, "Busy", 25), NET_FAIL) << "a port in a job";
  port->InJob = 0;
}

TEST_F(CorIpxItems, PasswordSummaryAddressCheckAndUnservedCodes) {
  IPXPORT* port = portBayPort1();
  ASSERT_TRUE(port);
  const std::array<std::uint8_t, 8> password = {'s', 'e', 'c', 'r', 'e', 't', '4', '6'};
  ASSERT_EQ(ipx->setInfo(port->PortId, 131, password.data(), 8), NET_OKAY);
  std::uint8_t got[16] = {};
  std::uint16_t length = sizeof got;
  ASSERT_EQ(ipx->getInfo(port->PortId, 131, got, &length, nullptr), NET_OKAY);
  EXPECT_EQ(length, 8u);
  EXPECT_TRUE(std::equal(password.begin(), password.end(), got));
  EXPECT_EQ(ipx->setInfo(port->PortId, 131, password.data(), 7), NET_FAIL);

  std::uint8_t info[70] = {};
  length = sizeof info;
  ASSERT_EQ(ipx->getInfo(port->PortId, 135, info, &length, nullptr), NET_OKAY);
  EXPECT_EQ(length, 10u);
  NETADAPTERINFO summary;
  std::memcpy(&summary, info, sizeof summary);
  EXPECT_EQ(summary.AdapterClass, port->AdapterClass);
  EXPECT_EQ(summary.PortType, 2) << "a parallel port";
  IPXPORT* serial = portOfKind(0x0101);
  ASSERT_TRUE(serial);
  ASSERT_EQ(ipx->getInfo(serial->PortId, 135, info, &length, nullptr), NET_OKAY);
  EXPECT_EQ(info[1], 4) << "the serial port";
  EXPECT_EQ(summary.Media, port->NodeAsIs ? 1 : 2);
  EXPECT_EQ(summary.Supervisor, 1);
  EXPECT_EQ(std::memcmp(summary.Node, port->OtherAddress.data(), 6), 0);

  EXPECT_EQ(ipx->setInfo(NET_NO_PORT, 137, port->Node.data(), 6), NET_ADDRESS_KNOWN);
  const std::uint8_t nobody[6] = {0x02, 0, 0, 0, 0, 0x46};
  EXPECT_EQ(ipx->setInfo(NET_NO_PORT, 137, nobody, 6), NET_ADDRESS_UNKNOWN);
  EXPECT_EQ(ipx->setInfo(NET_NO_PORT, 137, nobody, 5), NET_FAIL);

  for (std::uint16_t code = 6; code <= 128; ++code) {
    length = sizeof got;
    ASSERT_EQ(ipx->getInfo(port->PortId, code, got, &length, nullptr), NET_BADCMD) << code;
    ASSERT_EQ(ipx->setInfo(port->PortId, code, got, sizeof got), NET_BADCMD) << code;
  }
  EXPECT_EQ(ipx->setInfo(NET_NO_PORT, 1, got, sizeof got), NET_BADCMD);
  EXPECT_EQ(ipx->setInfo(port->PortId, 135, got, sizeof got), NET_BADCMD);
  EXPECT_EQ(ipx->getInfo(999, 135, got, &length, nullptr), NET_BADID);
}

TEST_F(CorIpxItems, AdapterParametersOfBothFamilies) {
  IPXPORT* port = portBayPort1();
  ASSERT_TRUE(port);
  std::string error;
  auto kestrel = sim::adapter::loadAdapter(std::filesystem::path(WF_SIM_PROFILE_DIR) / "kestrel-single.adapter", &error);
  ASSERT_TRUE(kestrel) << error;
  kestrel->corlinkIpx = true;
  ASSERT_TRUE(sim.addAdapter("KA", *kestrel, &error)) << error;
  ASSERT_EQ(ipx->enumerate(&ignoreReportedPort), 0);
  waitQuiet();
  IPXPORT* single = nullptr;
  for (std::uint16_t id = 1; IPXPORT* p = ipx->FindPortById(id); ++id)
    if (p->LpaAdapter) single = p;
  ASSERT_TRUE(single);
  AdapterConfig pb;
  sim.adapter("PB")->withModel([&](sim::adapter::AdapterModel& m) { pb = m.config(); });

  struct Case {
    const char* name;
    IPXPORT* port;
    std::uint8_t control, adapterClass, portType;
    std::string firmware, model;
  };
  auto text = [](const std::array<std::uint8_t, 3>& f) {
    char t[12];
    std::snprintf(t, sizeof t, "%03d.%03d.%03d", f[0], f[1], f[2]);
    return std::string(t);
  };
  const Case cases[] = {
      {"NPA family, parallel port 1", port, 0x17, 4, 2, text(pb.firmware), pb.model.substr(0, 7)},
      {"NPA family, serial port", portOfKind(0x0101), 0x17, 4, 4, text(pb.firmware), pb.model.substr(0, 7)},
      {"LpaAdapter family", single, 0x15, static_cast<std::uint8_t>(single->AdapterClass), 1, text(kestrel->firmware),
       kestrel->modelTag.substr(0, 7)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(c.port);
    ::wf::net::NETADAPTERPARMS r{};
    std::uint16_t length = 100;
    ASSERT_EQ(ipx->getInfo(c.port->PortId, 129, &r, &length, nullptr), NET_OKAY);
    EXPECT_EQ(length, 70u);
    EXPECT_EQ(r.Control, c.control);
    EXPECT_EQ(r.AdapterClass, c.adapterClass);
    EXPECT_EQ(r.PortType, c.portType);
    EXPECT_EQ(r.Media, c.port->NodeAsIs ? 1 : 2);
    EXPECT_EQ(r.Features & 0x04, 0x04);
    EXPECT_EQ(std::memcmp(r.Address, c.port->Node.data(), 6), 0);
    EXPECT_EQ(std::string(r.Firmware), c.firmware);
    EXPECT_EQ(std::string(r.ModelId), c.model);
    EXPECT_EQ(c.port->Address.socket, wire::kDataSocket) << "the port's socket as before";
  }
}

// A request and an item on one port at once: each takes its own
// acknowledgement and reply.
TEST_F(CorIpxItems, ARequestAndAnItemOnOnePortKeepTheirReplies) {
  IPXPORT* port = portBayPort1({"delay = 300"});
  ASSERT_TRUE(port);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    std::int32_t item = -1;
    ::wf::net::NETADVANCEDSETTINGS settings{};
    std::thread reader([&] {
      std::uint16_t length = sizeof settings;
      item = ipx->getInfo(port->PortId, 130, &settings, &length, nullptr);
    });
    const std::uint8_t summary[] = {0xA5, 0x00, 0x03, 0x50, 0x01, 0x00};
    std::uint8_t reply[512];
    std::uint32_t room = sizeof reply;
    std::uint16_t status = 0;
    EXPECT_EQ(ipx->sendBidi(port->PortId, summary, sizeof summary, reply, &room, 7, &status), 6);
    reader.join();
    EXPECT_EQ(status, NET_STATUS_COMPLETE);
    EXPECT_EQ(reply[0], 0xA5);
    EXPECT_EQ(reply[4], 0x01) << "the printer's answer to the characteristics command";
    EXPECT_EQ(item, NET_OKAY);
    EXPECT_EQ(settings.Control, 12) << "the adapter's settings";
  }
}

TEST_F(CorIpxItems, AdvancedSettingsRoundTrip) {
  IPXPORT* port = portBayPort1();
  ASSERT_TRUE(port);
  ::wf::net::NETADVANCEDSETTINGS before{};
  std::uint16_t length = 143;
  EXPECT_EQ(ipx->getInfo(port->PortId, 130, &before, &length, nullptr), NET_FAIL) << "below 144 bytes";
  length = sizeof before;
  ASSERT_EQ(ipx->getInfo(port->PortId, 130, &before, &length, nullptr), NET_OKAY);
  EXPECT_EQ(before.Control, 12);
  EXPECT_EQ(before.ProtocolsActive & 0x01, 0x01);

  ::wf::net::NETADVANCEDSETTINGS wanted = before;
  wanted.ProtocolsEnabled = 0x01 | 0x08;
  wanted.EndOfJobTimeout = 42;
  const std::uint8_t ip[4] = {192, 168, 46, 7}, mask[4] = {255, 255, 255, 0}, gateway[4] = {192, 168, 46, 1};
  std::memcpy(wanted.IpAddress, ip, 4);
  std::memcpy(wanted.IpNetmask, mask, 4);
  std::memcpy(wanted.IpGateway, gateway, 4);
  std::snprintf(wanted.ContactName, sizeof wanted.ContactName, "Ada at the front desk");
  std::snprintf(wanted.Location, sizeof wanted.Location, "Room 46");
  EXPECT_EQ(ipx->setInfo(port->PortId, 130, &wanted, sizeof wanted - 1), NET_FAIL);
  ASSERT_EQ(ipx->setInfo(port->PortId, 130, &wanted, sizeof wanted), NET_OKAY);

  ::wf::net::NETADVANCEDSETTINGS after{};
  length = sizeof after;
  ASSERT_EQ(ipx->getInfo(port->PortId, 130, &after, &length, nullptr), NET_OKAY);
  EXPECT_EQ(after.ProtocolsEnabled, wanted.ProtocolsEnabled);
  EXPECT_EQ(after.EndOfJobTimeout, 42);
  EXPECT_EQ(std::memcmp(after.IpAddress, ip, 4), 0);
  EXPECT_EQ(std::memcmp(after.IpNetmask, mask, 4), 0);
  EXPECT_EQ(std::memcmp(after.IpGateway, gateway, 4), 0);
  EXPECT_STREQ(after.ContactName, "Ada at the front desk");
  EXPECT_STREQ(after.Location, "Room 46");
}

TEST_F(CorIpxItems, AnAddressChangeMovesEveryPortOfTheAdapter) {
  IPXPORT* port = portBayPort1();
  ASSERT_TRUE(port);
  ASSERT_EQ(ipx->registerCallback(&collectEvent), NET_OKAY);
  NICKNAMEENTRY e = entryFor(*port, "Moved desk");
  ASSERT_EQ(ipx->setInfo(NET_NO_PORT, 3, &e, sizeof e), NET_OKAY);
  const Node old = port->Node;
  std::vector<IPXPORT*> adapterPorts;
  for (std::uint16_t id = 1; IPXPORT* p = ipx->FindPortById(id); ++id)
    if (p->Node == old) adapterPorts.push_back(p);
  ASSERT_EQ(adapterPorts.size(), 3u);

  ::wf::net::NETADAPTERPARMS parms{};
  std::uint16_t length = sizeof parms;
  ASSERT_EQ(ipx->getInfo(port->PortId, 129, &parms, &length, nullptr), NET_OKAY);
  parms.Control = 0x80;
  const Node moved = {0x00, 0x00, 0x03, 0x52, 0x77, 0x46};
  std::copy(moved.begin(), moved.end(), parms.Address);
  ASSERT_EQ(ipx->setInfo(port->PortId, 129, &parms, sizeof parms - 1), NET_FAIL);
  ASSERT_EQ(ipx->setInfo(port->PortId, 129, &parms, sizeof parms), NET_OKAY);
  EXPECT_EQ(sim.adapter("PB")->restarts(), 1u);
  for (IPXPORT* p : adapterPorts) {
    EXPECT_EQ(p->Node, moved);
    EXPECT_EQ(p->Address.node, moved);
  }
  {
    std::lock_guard g(gCollected.mutex);
    ASSERT_EQ(gCollected.moved.size(), 3u) << "104 for every port";
    for (const auto& [id, node] : gCollected.moved) EXPECT_EQ(node, moved);
  }
  const auto named = list(1);
  ASSERT_EQ(named.size(), 1u);
  EXPECT_EQ(std::memcmp(named[0].Node, moved.data(), 6), 0) << "the nickname follows";
  // The adapter answers at its new node.
  const std::uint8_t summary[] = {0xA5, 0x00, 0x03, 0x50, 0x01, 0x00};
  std::uint8_t reply[512];
  std::uint32_t room = sizeof reply;
  std::uint16_t status = 0;
  EXPECT_EQ(ipx->sendBidi(port->PortId, summary, sizeof summary, reply, &room, 7, &status), 6);
  EXPECT_EQ(status, NET_STATUS_COMPLETE);
  // Settings only: no move, no restart.
  parms.Control = 0x40;
  EXPECT_EQ(ipx->setInfo(port->PortId, 129, &parms, sizeof parms), NET_OKAY);
  EXPECT_EQ(sim.adapter("PB")->restarts(), 1u);
}

TEST_F(CorIpxItems, AFlashLoadsTheBlocksInProgramMode) {
  IPXPORT* port = portBayPort1();
  ASSERT_TRUE(port);
  ASSERT_EQ(ipx->registerCallback(&collectEvent), NET_OKAY);
  const std::uint16_t begin[3] = {1, 2, 3};
  const std::uint32_t replyFlag = port->ReplyFlag;
  port->ReplyFlag = 0;
  EXPECT_EQ(ipx->setInfo(port->PortId, 132, begin, sizeof begin), NET_BADID) << "no flash on this adapter";
  port->ReplyFlag = 1;

  ASSERT_EQ(ipx->setInfo(port->PortId, 132, begin, sizeof begin), NET_OKAY);
  EXPECT_TRUE(port->Captured);
  Bytes image;
  for (int b = 0; b < 3; ++b) {
    Bytes block(2 + 300);
    storeLe16(block.data(), 300);
    for (std::size_t i = 2; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(b * 31 + i);
    ASSERT_EQ(ipx->setInfo(port->PortId, 133, block.data(), static_cast<std::uint32_t>(block.size())), NET_OKAY);
    image.insert(image.end(), block.begin() + 2, block.end());
  }
  const Bytes tooBig(ipx->maxPacket(), 0);
  EXPECT_EQ(ipx->setInfo(port->PortId, 133, tooBig.data(), static_cast<std::uint32_t>(tooBig.size())), NET_FAIL);
  EXPECT_EQ(ipx->setInfo(port->PortId, 133, tooBig.data(), 1), NET_FAIL);
  ASSERT_EQ(ipx->setInfo(port->PortId, 134, nullptr, 0), NET_OKAY);
  EXPECT_EQ(sim.adapter("PB")->ipxFlashImage(), image);
  EXPECT_TRUE(sim.adapter("PB")->ipxJobData(1).empty()) << "no print data";
  EXPECT_FALSE(port->Captured) << "a job may start";
  {
    std::lock_guard g(gCollected.mutex);
    EXPECT_EQ(gCollected.resynced, std::vector<std::uint32_t>{port->PortId});
  }
  port->ReplyFlag = replyFlag;
}

TEST_F(CorIpxItems, AResetWaitsForTheAdapterToComeBack) {
  IPXPORT* port = portBayPort1();
  ASSERT_TRUE(port);
  ASSERT_EQ(ipx->registerCallback(&collectEvent), NET_OKAY);
  port->InJob = 1;
  EXPECT_EQ(ipx->setInfo(port->PortId, 136, nullptr, 0), NET_FAIL) << "a port in a job";
  port->InJob = 0;
  EXPECT_EQ(sim.adapter("PB")->restarts(), 0u);

  ASSERT_EQ(ipx->setInfo(port->PortId, 136, nullptr, 0), NET_OKAY);
  EXPECT_EQ(sim.adapter("PB")->restarts(), 1u) << "answered once the adapter was back";
  std::lock_guard g(gCollected.mutex);
  EXPECT_EQ(gCollected.resynced, std::vector<std::uint32_t>{port->PortId});
}

TEST_F(CorIpxItems, AnAdapterThatStaysDownFailsTheResetWithinItsBound) {
  IPXPORT* port = portBayPort1({"no-restart = 1"});
  ASSERT_TRUE(port);
  const auto began = Clock::now();
  EXPECT_EQ(ipx->setInfo(port->PortId, 136, nullptr, 0), NET_FAIL);
  EXPECT_LT(Clock::now() - began, scaled(150'000));
}

}  // namespace
}  // namespace wf::coripx::testing
