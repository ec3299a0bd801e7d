#pragma once
// The adapters Cornw32 knows and their ports, filled from the adapters'
// parameter replies. Records are never deleted, so a port id stays valid
// while the library is loaded; ids come from one counter starting at 0.
// Readers get copies (PortView): no lock is held while a caller acts on one.
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "broker/net_transport.h"
#include "exchange.h"
#include "transports/common/adapter_wire.h"

namespace wf::netware {

using Node = std::array<std::uint8_t, 6>;
using Network = std::array<std::uint8_t, 4>;

enum class AdapterKind { MultiPort, SinglePort, External7390 };

// Which of an adapter's capture masks a port reads.
constexpr int kCaptureFirst = 0x100;   // single port, 7390 serial port
constexpr int kCaptureSecond = 0x101;  // 7390 parallel port
inline int captureKeyOfPortCharacter(char c) {
  return static_cast<unsigned char>(c);
}  // multi-port: the port's character

// The captured-port list: per adapter address, capture masks by key.
struct CapturedPorts {
  std::map<std::pair<Network, Node>, std::map<int, std::uint32_t>> masks;
  void add(const Network& net, const Node& node, int key, std::uint32_t bit) {
    masks[{net, node}][key] |= bit;
  }
  std::uint32_t maskFor(const Network& net, const Node& node, int key) const;
  bool has(const Network& net, const Node& node) const { return masks.count({net, node}) != 0; }
};

struct PortView {
  std::uint16_t id = 0;
  std::string name;
  AdapterKind adapterKind = AdapterKind::SinglePort;
  Network network{};
  Node ipxNode{};
  std::uint16_t number = 0;    // multi-port
  std::uint8_t kind = 0;       // port block's kind byte (multi-port: 0x20 serial, 0x01 parallel)
  std::uint8_t portFlags = 0;  // single-port block byte 6
  std::uint8_t media = 0;
  Node reportedNode{};
  bool ruVa1 = false;       // single-port model tag "RU_VA_1"
  bool serialPort = false;  // multi-port adapter with a serial port
  bool reported = false;
  std::uint32_t captureMask = 0;
  NETDATAPROC data = nullptr;

  // 0x862C + n on a multi-port adapter, 0x862C on a single-port one, none (0) on a 7390.
  std::uint16_t dataChannel() const;
  // The NETADDRESS port selector: the port number, or the kind nibble.
  std::uint8_t selector() const;
  int captureKey() const;
};

// One adapter as the information items see it: a copy taken under the lock.
struct AdapterView {
  AdapterKind adapterKind = AdapterKind::SinglePort;
  Network network{};
  Node ipxNode{};
  std::uint8_t media = 0;  // multi-port: 1 token ring, 2 otherwise; others: the block's media code
  Node reportedNode{};     // token-ring order
  bool serialPort = false;
  bool ruVa1 = false;
  std::string name;  // its NetWare login name
  std::array<std::uint8_t, adapter::kestrel::kBlockSize> block{};
  struct Port {
    std::uint16_t id = 0;
    std::uint16_t number = 0;
    std::uint8_t kind = 0;
    Bytes block;
    bool busy = false;  // multi-port: its bit in the busy mask
  };
  std::vector<Port> ports;

  bool pserver() const { return block[adapter::kestrel::kPrintMode] == 1; }
  bool nvram() const { return block[adapter::kestrel::kFlags] & adapter::kestrel::kFlagNvram; }
  // The busy rule; `except` leaves one port out.
  bool anyBusy(std::optional<std::uint16_t> except = std::nullopt) const;
  const Port* portById(std::uint16_t id) const;
  // The reported address as callers see it.
  Node canonicalAddress() const;
};

// Token-ring order and canonical are each other's bit reversal for every
// media but token ring (1).
Node swapBitOrder(const Node& node, std::uint8_t media);

// NETPORTINFO without the NPA data-channel check of multi-port and NPA-on ports.
NETPORTINFO buildPortInfo(const PortView& port, bool supervisor);

class PortTable {
 public:
  // Parses a parameter reply from `source` (network and node). Ignored
  // replies answer false. Every port it creates or updates is marked
  // reported for a supervisor; with `captured`, its capture mask comes from
  // that list and it is marked reported when captured. `touched` gets the
  // ids of the adapter's ports.
  bool parseReply(const IpxAddress& source, View reply, bool supervisor, const CapturedPorts* captured,
                  std::vector<std::uint16_t>* touched = nullptr);
  void clearMarks();
  void applyCaptures(std::uint16_t id, const CapturedPorts& captured);

  std::optional<PortView> port(std::uint16_t id) const;
  std::optional<PortView> portAtChannel(const IpxAddress& source) const;
  // Every port, adapters newest first, ports in their order.
  std::vector<PortView> ports() const;
  bool knowsAdapter(const Network& net, const Node& node) const;
  // The port of the adapter at that address with that selector.
  std::optional<PortView> portAt(const Network& net, const Node& node, std::uint8_t selector) const;
  bool setDataCallback(std::uint16_t id, NETDATAPROC proc);
  std::optional<AdapterView> adapterOf(std::uint16_t portId) const;
  std::vector<AdapterView> adapters() const;
  // After an address change the adapter answers at `to`.
  void moveAdapter(const Network& net, const Node& from, const Node& to);
  // Clears the busy marks of a multi-port adapter's ports.
  void clearBusy(const Network& net, const Node& node);

 private:
  struct Adapter;
  struct Port {
    Adapter* adapter = nullptr;
    std::uint16_t id = 0;
    std::uint16_t number = 0;
    Bytes block;  // single-port and 7390 port block
    std::uint8_t kind = 0;
    bool busy = false;
    bool reported = false;
    std::uint32_t captureMask = 0;
    NETDATAPROC data = nullptr;
  };
  struct Adapter {
    AdapterKind kind = AdapterKind::SinglePort;
    Network network{};
    Node ipxNode{};
    std::string name;
    std::array<std::uint8_t, adapter::kestrel::kBlockSize> block{};
    std::uint16_t keptWord = 0;
    std::uint8_t media = 0;
    Node reportedNode{};
    std::string identityName, secondName;
    bool serialPort = false;
    std::vector<std::unique_ptr<Port>> ports;
  };

  Port& portRecord(Adapter& a, std::uint8_t kind, std::uint16_t number);
  void mark(Port& p, bool supervisor, const CapturedPorts* captured);
  PortView view(const Port& p) const;
  AdapterView adapterView(const Adapter& a) const;
  template <typename View>
  static void copyAdapterFields(View& v, const Adapter& a);
  Adapter* adapterAt(const Network& net, const Node& node) const;

  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<Adapter>> adapters_;  // newest first
  std::uint16_t nextId_ = 0;
};

}  // namespace wf::netware
