#pragma once
// CorLink print servers as data: each server's administrators, its adapters
// (sim/adapter's files) and their ports with nickname, queue, flags and the
// printer behind them, plus the fault knobs a test turns. The records a
// server answers are built here with the simulator's own code.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/adapter/adapter_config.h"

namespace wf::sim::corlink {

using adapter::Bytes;
using adapter::Node;

// The port block of a frame: which port a request or an alert concerns.
struct PortAddress {
  Node node{};
  std::uint8_t hi = 0;
  std::uint8_t lo = 0;
  std::uint8_t number = 0;
  std::uint8_t kind = 0;  // 2 single-port, 3 multi-port, 1 other
};

struct CorLinkPort {
  int number = 0;  // the adapter's port: 0 serial, 1.. parallel
  std::string nickname;
  std::string queue;  // empty: no queue
  std::uint16_t flags = 0;
  std::string printerProfile;
  bool stopped = false;  // printing to its queue stopped by the administration pipe
};

struct CorLinkAdapter {
  std::string id;
  adapter::AdapterConfig config;
  Node node{};  // where it answers now (canonical)
  std::vector<CorLinkPort> ports;
  std::uint16_t adapterClass() const;
  PortAddress address(const CorLinkPort& port) const;
};

// Faults of one server, each seen by a client as bytes on its pipes.
struct ServerKnobs {
  bool silent = false;                  // acknowledges requests, answers nothing
  std::size_t replyFrame = 512;         // whole size of each reply frame
  bool ackWithoutFinal = false;         // acknowledgements lack bit 21
  bool ackWithData = false;             // acknowledgements carry 3 data bytes
  bool oversizeFrame = false;           // reply frames claim 600 bytes
  bool blockLengthSeven = false;        // reply frames with a port block length of 7
  bool shortFrame = false;              // reply frames with FrameLength 5
  std::optional<int> dropAfterFrames;   // the connection closes after so many frames written
  bool adapterError = false;            // administration commands answer 0xFF
  bool refuseStopStart = false;         // 0x80 / 0x81 answered without 0xAA
  bool neverBack = false;               // 0x22 always answers 4 bytes
  bool transactWithoutNul = false;      // the administration pipe name without its terminator
  bool partialRecord = false;           // the last port record of a listing cut short
  bool unterminatedTexts = false;       // nickname and queue fill their fields
  bool shortAdapterRecord = false;      // record R of 40 bytes
};

struct CorLinkServer {
  std::string name;  // upper case
  std::vector<std::string> administrators;
  bool downLevel = false;
  std::vector<CorLinkAdapter> adapters;
  ServerKnobs knobs;
  std::string password = "";
  Bytes advanced = Bytes(143);
  Bytes flashImage;

  bool isAdministrator(std::string_view user) const;
  // Finds by the block's node, PortHi and PortLo.
  std::optional<std::pair<CorLinkAdapter*, CorLinkPort*>> find(const PortAddress& block);
  std::optional<std::pair<CorLinkAdapter*, CorLinkPort*>> findByQueue(std::string_view queue);
  std::optional<std::pair<CorLinkAdapter*, CorLinkPort*>> findByNickname(std::string_view nickname);
  CorLinkAdapter* adapter(std::string_view id);
};

constexpr std::size_t kPortRecordSize = 109;
constexpr std::size_t kAdapterRecordSize = 47;

// A port's 109-byte record as commands 5, 13, 6 and 7 answer it.
Bytes portRecord(const CorLinkServer& server, const CorLinkAdapter& adapter, const CorLinkPort& port);
// Record R of command 8.
Bytes adapterRecord(const CorLinkServer& server, const CorLinkAdapter& adapter, const CorLinkPort& port);

// "<nickname>, <queue>, <hex flags>, <profile>" (queue and profile may be empty).
bool parsePort(std::string_view value, CorLinkPort& port, std::string* error);
bool applyKnob(ServerKnobs& knobs, std::string_view key, std::string_view value, bool* known, std::string* error);

}  // namespace wf::sim::corlink
