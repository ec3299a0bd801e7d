#pragma once
// CorLink ports: the 109-byte records servers list them in, and the port
// table whose indexes are the port ids the broker holds (never reused).
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "broker/net_transport.h"
#include "cl_servers.h"

namespace wf::corlink {

constexpr std::size_t kPortRecordSize = 109;
constexpr std::uint32_t kAccessAdmin = 0x8000;
constexpr std::uint32_t kAccessLpt1 = 0x10000;  // << (n - 1) for LPTn
constexpr std::size_t kNicknameLimit = 24;
constexpr std::size_t kQueueNameLimit = 64;
constexpr std::uint16_t kPortLimit = 0xFFFE;

// A port block as log lines name it: node, then ":PortHi:PortLo", hex.
std::string portAddress(const PortBlock& block);
// A port id as "0x%04X".
std::string portIdText(std::uint16_t id);
// Up to `limit` bytes as "XX " each.
std::string hexBytes(const std::uint8_t* data, std::size_t size, std::size_t limit);

// PORTRECORD, its texts cut to end inside their fields.
struct PortRecord {
  std::string portName;
  std::string queueName;
  std::uint16_t flags = 0;
  std::uint8_t node[6] = {};
  std::uint32_t network = 0;
  std::uint16_t socket = 0;
  std::uint16_t adapterClass = 0;
  std::uint8_t portHi = 0;
  std::uint8_t portLo = 0;
  std::uint8_t portNumber = 0;
};

// One record from `data` (at least kPortRecordSize bytes).
PortRecord readPortRecord(const std::uint8_t* data);
// The whole records of a listing; a partial last one is left out.
std::vector<PortRecord> readPortRecords(const Bytes& data);

// PORTCONTEXT. `server` names the server it was found through; empty when
// the server was dropped.
struct PortContext {
  std::uint16_t id = 0;
  std::string server;
  PortRecord record;
  std::uint8_t kind = 2;  // 1 when bit 15 of the record's flags is set
  bool reported = false;
  std::uint32_t access = 0;
  NETDATAPROC dataCallback = nullptr;

  PortBlock block() const;
  // For NetEnumerate's callback: access | 8, the port kind of the class.
  NETPORTINFO info() const;
  // 1 for classes 1 and 16; else 4 with a PortHi, 2 without.
  std::uint8_t itemPortKind() const;
};

class PortTable {
 public:
  // The port of the record's node, PortHi and PortLo, made and appended when
  // new; a known port without server takes `server`. None when the table is full.
  std::optional<std::uint16_t> findOrAdd(const PortRecord& record, const std::string& server);
  std::optional<std::uint16_t> find(const std::uint8_t node[6], std::uint8_t portHi, std::uint8_t portLo);
  // A copy of the port; none for an unknown id.
  std::optional<PortContext> get(std::uint16_t id);
  // Runs `f` on the port under the table lock; false for an unknown id.
  template <typename F>
  bool with(std::uint16_t id, F&& f) {
    std::lock_guard hold(mutex_);
    if (id >= ports_.size()) return false;
    f(ports_[id]);
    return true;
  }
  // Runs `f` on every port under the table lock.
  template <typename F>
  void each(F&& f) {
    std::lock_guard hold(mutex_);
    for (auto& p : ports_) f(p);
  }

 private:
  std::mutex mutex_;  // the port-table lock
  std::vector<PortContext> ports_;
};

}  // namespace wf::corlink
