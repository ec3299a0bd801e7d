#pragma once
// CORIPX32's tests: the transport's core in process, scripted adapter
// sockets for the delivery rules, and simulated adapters for discovery.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "broker/net_transport.h"
#include "coripx_transport.h"
#include "platform/byte_codec.h"
#include "platform/clock.h"
#include "platform/ipx.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/thread.h"
#include "sim/adapter/simulator.h"
#include "testing/eventually.h"
#include "transports/common/adapter_layout.h"
#include "transports/testing/ipx_peer.h"

namespace wf::coripx::testing {

namespace wire = ::wf::adapter::coripx;
using sim::adapter::AdapterConfig;
using Clock = std::chrono::steady_clock;

inline const std::array<std::uint8_t, 4> kNet1 = {0, 0, 0, 1};
inline const Node kPeerNode = {0x00, 0x00, 0xC0, 0x77, 0x00, 0x01};

inline IpxAddress addressOf(const Node& node, std::uint16_t socket, std::array<std::uint8_t, 4> net = kNet1) {
  return IpxAddress{net, node, socket};
}

// Sets an environment variable for one test.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value, 1);
  }
  ~ScopedEnv() {
    if (old_.empty())
      ::unsetenv(name_);
    else
      ::setenv(name_, old_.c_str(), 1);
  }

 private:
  const char* name_;
  std::string old_;
};

inline void setCorIpxValue(const char* subkey, const char* value, DWORD type, const Bytes& bytes) {
  std::string path = kSettingsKey;
  if (subkey) path += std::string("\\") + subkey;
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, value, 0, type, bytes.data(), static_cast<DWORD>(bytes.size()));
  RegCloseKey(key);
}

inline std::optional<Bytes> corIpxValue(const char* value) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
  Bytes bytes(64);
  DWORD size = static_cast<DWORD>(bytes.size()), type = 0;
  const LONG rc = RegQueryValueExA(key, value, nullptr, &type, bytes.data(), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return std::nullopt;
  bytes.resize(size);
  return bytes;
}

inline std::string logText() {
  const auto file = mapSystemPath(kLogFile);
  if (!file) return {};
  std::ifstream in(*file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A scripted adapter socket (packet type 4), telling its packets from the
// acknowledgements it was sent.
class ScriptedAdapter : public transports::testing::IpxPeer {
 public:
  ScriptedAdapter(const Node& node, std::uint16_t socket) : IpxPeer(addressOf(node, socket), wire::kPacketType) {}
  void script(Answer a) { answerWith(std::move(a)); }
  std::vector<Arrival> packets() const {
    std::vector<Arrival> all;
    for (auto& a : arrivals())
      if (!a.bytes.empty() && !(a.bytes[0] & wire::kAck)) all.push_back(a);
    return all;
  }
  std::vector<Bytes> acknowledgements() const {
    std::vector<Bytes> all;
    for (auto& a : arrivals())
      if (!a.bytes.empty() && (a.bytes[0] & wire::kAck)) all.push_back(a.bytes);
    return all;
  }
  IpxAddress host() const { return lastSource(); }
  void send(const Bytes& bytes, const IpxAddress& to) { sendTo(bytes, to); }
};

// The acknowledgement an adapter gives a packet.
inline Bytes ackOf(const Bytes& packet, std::uint8_t kind = wire::kAck) {
  Bytes a(packet.begin(), packet.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(packet.size(), 10)));
  a.resize(10, 0);
  a[0] = kind;
  return a;
}

// A tagged reply piece: header as the request's, tag, length L, data.
inline Bytes taggedPiece(std::uint8_t portByte, std::uint8_t number, const char* tag, const Bytes& data) {
  Bytes d = {0, wire::kReplyQuery | wire::kFnRequest, portByte, number, 0xCA, 0xFE, 3, 0, 0, 0};
  d.resize(wire::kLength, 0);
  std::memcpy(d.data() + wire::kTag, tag, std::strlen(tag));
  d.resize(wire::kData);
  storeBe16(d.data() + wire::kLength, static_cast<std::uint16_t>(data.size() + 2));
  d.insert(d.end(), data.begin(), data.end());
  return d;
}

class CorIpxTest : public ::testing::Test {
 protected:
  void SetUp() override { setTimeScaleForTest(0.1); }
  void TearDown() override {
    ipx.reset();
    setTimeScaleForTest(1);
  }
  void start() {
    ipx = std::make_unique<CorIpx>();
    ASSERT_TRUE(ipx->ensureStarted());
  }
  // A port record at a scripted adapter, as discovery would make it.
  IPXPORT* portAt(const Node& node, std::uint8_t number, bool asIs = true, std::uint16_t kind = 1) {
    auto p = std::make_unique<IPXPORT>();
    p->Address = addressOf(node, wire::kDataSocket);
    p->Node = node;
    p->PortNumber = number;
    p->NodeAsIs = asIs ? 0x8000 : 0;
    p->PortKind = kind;
    return ipx->adopt(std::move(p));
  }
  IpxAddress hostAddress() const {
    IpxAddress a = ipxProcessAddress();
    a.socket = ipx->localSocket();
    return a;
  }
  std::unique_ptr<CorIpx> ipx;
};

using sim::adapter::AdapterSimulator;

inline std::uint16_t ignoreReportedPort(const NETPORTINFO*) {
  return 1;
}

// PB (a multi-port NPA adapter) with its IPX side, found by the transport.
class CorIpxAgainstSimulator : public CorIpxTest {
 protected:
  // PB with its IPX side and `knobs`; the record of its port 1 once found.
  IPXPORT* portBayPort1(std::initializer_list<const char*> knobs = {}) {
    std::string error;
    auto c = sim::adapter::loadAdapter(std::filesystem::path(WF_SIM_PROFILE_DIR) / "portbay-npa.adapter", &error);
    EXPECT_TRUE(c) << error;
    if (!c) return nullptr;
    c->corlinkIpx = true;
    sim.apply(std::string("adapters = ") + WF_SIM_PROFILE_DIR, ".", &error);
    EXPECT_TRUE(sim.addAdapter("PB", *c, &error)) << error;
    start();
    EXPECT_EQ(ipx->enumerate(&ignoreReportedPort), 0);
    waitQuiet();
    for (const char* k : knobs) EXPECT_TRUE(sim.apply(std::string("PB.") + k, ".", &error)) << error;
    for (std::uint16_t id = 1; IPXPORT* p = ipx->FindPortById(id); ++id)
      if (p->PortKind == 1) return p;
    ADD_FAILURE() << "port 1 not found";
    return nullptr;
  }
  // Until the adapter's log stands still: a late resend of discovery must
  // not take a knob's count.
  void waitQuiet() {
    for (std::size_t lines = 0, before = 1; lines != before;) {
      before = lines;
      sleepFor(1000);
      lines = sim.log().size();
    }
  }
  std::size_t logged(const std::string& text) const {
    std::size_t n = 0;
    for (const auto& line : sim.log()) n += line.find(text) != std::string::npos;
    return n;
  }
  Bytes jobData(IPXPORT& port, const Bytes& data) {
    Bytes p = headerWith(wire::kFnJobData, dataForm(kindFormByte(port)), nextPacketNumber(port.DataNumber));
    p.insert(p.end(), data.begin(), data.end());
    return p;
  }
  AdapterSimulator sim;
};

}  // namespace wf::coripx::testing
