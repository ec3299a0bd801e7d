#pragma once
// A NetWare world for Cornw32's tests: simulated adapters in process, the
// client stand-in given a world as text, the transport loaded by file name
// through the harness, and fake data channels that stand at an adapter's
// node on the sockets the simulator leaves free.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "broker/net_transport.h"
#include "cornwthk/cornwthk.h"
#include "platform/clock.h"
#include "platform/ipx.h"
#include "platform/module.h"
#include "platform/net_connections.h"
#include "platform/registry.h"
#include "platform/thread.h"
#include "sim/adapter/simulator.h"
#include "testing/eventually.h"
#include "transports/common/adapter_wire.h"
#include "transports/testing/ipx_peer.h"
#include "transports/testing/transport_harness.h"

namespace wf::netware::testing {

using Bytes = std::vector<std::uint8_t>;
using sim::adapter::AdapterConfig;
using sim::adapter::Node;
using transports::testing::TransportHarness;
namespace wire = ::wf::adapter;

inline const Node kPbNode = {0x00, 0x00, 0xC0, 0x4A, 0x10, 0x01};
inline const Node kKsNode = {0x00, 0x00, 0xC0, 0x5B, 0x22, 0x07};
inline const Node kExNode = {0x10, 0x00, 0x5A, 0x33, 0x44, 0x55};
inline const Node kFarNode = {0x00, 0x00, 0xC0, 0x4A, 0x20, 0x02};
inline const std::array<std::uint8_t, 4> kNet1 = {0, 0, 0, 1}, kNet2 = {0, 0, 0, 2};

// FS1 default and supervisor, FS2 a user's, FS3 not attached. LPT1 to the
// 7390's parallel port, LPT2 through a print server to PB's port 2 (its
// status-7 printer names KS), LPT3 to a queue on FS3.
inline constexpr char kWorld[] = R"(
[netware.client]
version = 4.1.0
[netware.servers]
FS1 = 00000001:000000000001 | 4.10
FS2 = 00000001:000000000002 | 3.12
FS3 = 00000002:000000000003 | 4.10
[netware.connections]
FS1 = logged-in | level 33 | user SUPERVISOR | default
FS2 = logged-in | level 11 | user GUEST
[netware.bindery.FS1]
object = EXTBOX_3_PAR | 03D5 | 00000001:10005A334455
object = KESTREL_7 | 03D6 | 00000001:0000C05B2207
object = PORTBAY_FAR_P1 | 03D7 | 00000002:0000C04A2002
object = PORTBAY_1_P2 | 03D8 | 00000001:0000C04A1001
queue = Q_EXT | EXTBOX_3_PAR
queue = Q_PS | PS1
printer = PS1 | 0 | 0 | PORTBAY_1_P2 | Q_PS
printer = PS1 | 1 | 7 | KESTREL_7 | Q_PS
)";

inline AdapterConfig profile(const char* file) {
  std::string error;
  auto c = sim::adapter::loadAdapter(std::filesystem::path(WF_SIM_PROFILE_DIR) / file, &error);
  EXPECT_TRUE(c) << error;
  return c.value_or(AdapterConfig{});
}

inline AdapterConfig farAdapter() {
  AdapterConfig c = profile("portbay-npa.adapter");
  c.network = kNet2;
  c.ipxNode = kFarNode;
  c.name = "PORTBAY_FAR";
  return c;
}

inline void setRegistry(const char* subkey, const char* value, DWORD type, Bytes bytes) {
  HKEY key = nullptr;
  const std::string path = std::string("SOFTWARE\\Corvane\\Wrenfield\\CorWare\\") + subkey;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, value, 0, type, bytes.data(), static_cast<DWORD>(bytes.size()));
  RegCloseKey(key);
}

inline std::optional<Bytes> registryValue(const char* subkey, const char* value) {
  HKEY key = nullptr;
  const std::string path = std::string("SOFTWARE\\Corvane\\Wrenfield\\CorWare\\") + subkey;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return std::nullopt;
  Bytes bytes(300);
  DWORD size = static_cast<DWORD>(bytes.size()), type = 0;
  const LONG rc = RegQueryValueExA(key, value, nullptr, &type, bytes.data(), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return std::nullopt;
  bytes.resize(size);
  return bytes;
}

// A socket at an adapter's address that records what reaches it and may
// answer each datagram with scripted ones.
class FakeSocket : public transports::testing::IpxPeer {
 public:
  FakeSocket(std::array<std::uint8_t, 4> net, Node node, std::uint16_t socket)
      : IpxPeer(IpxAddress{net, node, socket}, wire::kPacketType) {}
};

// An NPA packet in one datagram: fragment header, 0xA5, length, flags, command, data.
inline Bytes npaDatagram(std::uint16_t fragment, std::uint8_t flags, std::uint8_t command,
                         const Bytes& data) {
  Bytes d = wire::fragmentHeader(fragment);
  const std::size_t length = data.size() + 2;
  d.insert(d.end(), {wire::kNpaStart, static_cast<std::uint8_t>(length >> 8),
                     static_cast<std::uint8_t>(length), flags, command});
  d.insert(d.end(), data.begin(), data.end());
  return d;
}

class NetWareTest : public ::testing::Test {
 protected:
  void SetUp() override { setTimeScaleForTest(0.2); }
  void TearDown() override {
    harness.reset();
    if (client) freeModule(client);
    setTimeScaleForTest(1);
  }
  void startAdapter(const std::string& id, AdapterConfig c) {
    std::string error;
    ASSERT_TRUE(sim.addAdapter(id, std::move(c), &error)) << error;
  }
  void startNetwork() {
    startAdapter("PB", profile("portbay-npa.adapter"));
    startAdapter("KS", profile("kestrel-single.adapter"));
    startAdapter("EX", profile("ext-7390.adapter"));
    startAdapter("FAR", farAdapter());
  }
  void redirect(const char* lpt, const char* remote) {
    netconn::netConnections().setRedirection(lpt, remote);
  }
  // Gives the client stand-in its world; 0 or the line at fault.
  std::uint32_t giveWorld(const std::string& text) {
    if (!client) client = loadModule("Cornwthk.DLL");
    EXPECT_TRUE(client);
    auto load = moduleEntryAs<decltype(&CornwthkLoadWorld)>(client, "CornwthkLoadWorld");
    return load ? load(text.c_str()) : 1;
  }
  template <typename Fn>
  Fn clientCall(const char* name) {
    return moduleEntryAs<Fn>(client, name);
  }
  bool loadTransport(std::string* error = nullptr) {
    harness = TransportHarness::load("Cornw32.DLL", BCE_NET_NETWARE, error);
    return harness != nullptr;
  }
  // Port ids reported, first report of each, by name.
  std::map<std::string, NETPORTINFO> reportsByName() const {
    std::map<std::string, NETPORTINFO> byName;
    for (const NETPORTINFO& p : harness->reports()) byName.emplace(p.portName, p);
    return byName;
  }

  sim::adapter::AdapterSimulator sim;
  ModuleHandle client = nullptr;
  std::unique_ptr<TransportHarness> harness;
};

}  // namespace wf::netware::testing
