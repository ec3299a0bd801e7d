#pragma once
// The two request vocabularies of the maker's adapters, built and read:
// text commands (a NUL-padded 21-byte tag, then data) and NPA variable
// packets. Readers never read past the bytes given and stop every walk at
// the end; a reply they cannot trust is no reply (empty).
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "transports/common/adapter_layout.h"

namespace wf::adapter {

using Bytes = std::vector<std::uint8_t>;
using View = std::span<const std::uint8_t>;

// ---- Time-outs, system milliseconds (waited through the platform clock) ---------------
constexpr std::uint32_t kBaseTimeout = 7000;
constexpr std::uint32_t kQueryTimeout = kBaseTimeout;  // queries, server lists, polling control
constexpr std::uint32_t kSettingsTimeout =
    2 * kBaseTimeout;  // NVRAM, settings, flash open/write, variable reads
constexpr std::uint32_t kProgramModeTimeout = 3 * kBaseTimeout;
constexpr std::uint32_t kFlashCloseTimeout = 4 * kBaseTimeout;
constexpr std::uint32_t kVariableWriteEntryTime = 2000;
constexpr std::uint32_t variableWriteTimeout(std::size_t entries) {
  return kBaseTimeout + kVariableWriteEntryTime * static_cast<std::uint32_t>(entries);
}
constexpr int kRequeryAttempts = 6;
constexpr std::uint32_t kResetQueryTimeout = 10'000;  // per query while waiting for a reset
constexpr std::uint32_t kResetPause = 5000;
constexpr std::uint32_t kResetLimit = 60'000;
constexpr std::uint32_t kFlashResetLimit = 300'000;
constexpr std::uint32_t kDiscoverySilence = 7000;
constexpr std::uint32_t kNetWriteReplyTimeout = kBaseTimeout;

// ---- Text commands ------------------------------------------------------------------------
// Tag NUL-padded to 21 bytes, then `data`; without data 22 bytes whose last
// is 0x3C for "Query LPA Parameters" and 0 otherwise.
Bytes textCommand(std::string_view tag, View data = {});
// Compares bytes 0-20 only (a tag of 21 characters or more has no terminator there).
bool tagIs(View datagram, std::string_view tag);
// A reply's status: "Command Received" gives 0 for status 0, -1150 for 11
// and 1 otherwise (also when the status byte is missing); any other tag 0.
int commandStatus(View reply);

// "Control LPA": a list of items (length counting itself and the id, id, value).
class ControlLpa {
 public:
  ControlLpa& language(std::uint8_t code);
  // 1 follows the address, 0 when it is all zero (use the universal address).
  ControlLpa& address(const std::array<std::uint8_t, 6>& node);
  ControlLpa& printMode(bool pserver);
  ControlLpa& loginName(std::string_view name);                    // cut to 44 bytes, NUL-padded
  ControlLpa& nameSlot(std::uint8_t slot, std::string_view name);  // 48 bytes
  ControlLpa& programMode(std::uint8_t mode);
  Bytes command() const;

 private:
  ControlLpa& item(std::uint8_t id, View value);
  Bytes items_;
};

struct MultiPortParameters {  // "LPA Parameters"
  std::uint16_t length = 0;
  std::string name;
  std::uint8_t printMode = 0, flags = 0, portMask = 0, busyMask = 0;
  std::array<std::uint8_t, 3> kept{};
  std::uint8_t media = 0;  // 1 token ring, 2 otherwise
  std::array<std::uint8_t, 6> node{};
  bool ignore() const { return flags & multiport::kFlagIgnore; }
  bool nvram() const { return flags & multiport::kFlagNvram; }
};
std::optional<MultiPortParameters> readLpaParameters(View reply);

struct PortBlock {
  Bytes bytes;  // the whole block from its length byte, at most 137 bytes
  std::uint8_t kind() const { return bytes.size() > 1 ? bytes[1] : 0; }
  // A big-endian 16-bit field in host order; 0 past the block.
  std::uint16_t word(std::size_t offset) const;
  std::uint8_t byte(std::size_t offset) const { return offset < bytes.size() ? bytes[offset] : 0; }
};

struct IdentityBlock {
  std::uint8_t kind = 0;
  std::string name;
  std::array<std::uint8_t, 6> node{};
  std::string secondName;  // only for kind 0x49
};

struct KestrelParameters {  // "LPA KESTREL Parameters"
  std::array<std::uint8_t, kestrel::kBlockSize> block{};
  std::uint16_t keptWord = 0;
  std::vector<PortBlock> ports;
  std::optional<IdentityBlock> identity;  // after a single-port adapter's port block, when whole
};
std::optional<KestrelParameters> readKestrelParameters(View reply);

// "LPA Server Listing", both datagrams joined as the reader gets them.
std::optional<std::vector<std::string>> readServerListing(View reply);

struct FlashResponse {
  std::uint8_t status = 0;
  std::uint16_t sequence = 0;
};
std::optional<FlashResponse> readFlashResponse(View reply);

// ---- NPA variables ------------------------------------------------------------------------
// The size of a variable by the table; 0 for one outside its group's range.
std::uint8_t variableSize(std::uint8_t group, std::uint8_t variable);

class VariableRead {
 public:
  VariableRead& add(std::uint8_t group, std::uint8_t variable);  // 255: the whole group
  std::size_t entries() const { return pairs_.size() / 2; }
  Bytes packet() const;  // empty without entries; else 7 + 2n bytes, length 4 + 2n

 private:
  Bytes pairs_;
};

class VariableWrite {
 public:
  // The value is cut or zero-padded to the table's size; a variable of size 0
  // (or outside the table) adds nothing and answers false.
  bool add(std::uint8_t group, std::uint8_t variable, View value);
  std::size_t entries() const { return entries_; }
  Bytes packet() const;  // empty without entries: nothing to send

 private:
  Bytes body_;
  std::size_t entries_ = 0;
};

struct VariableEntry {
  std::uint8_t group = 0, variable = 0;
  Bytes value;
};

struct VariableReply {
  std::uint8_t flags = 0;
  std::uint8_t mode = 0;
  std::vector<VariableEntry> entries;
  // 0, or 1 when the adapter set the error flag.
  int result() const { return flags & kNpaError ? 1 : 0; }
};
// `packet` starts at 0xA5. A length field beyond the bytes is no reply; the
// entry walk stops at the packet's end.
std::optional<VariableReply> readVariableReply(View packet);

// The value's size and its bytes copied into `out` (at most out.size()); a
// missing pair gives 0 and a zero first byte.
std::size_t fetchValue(const VariableReply& reply, std::uint8_t group, std::uint8_t variable,
                       std::span<std::uint8_t> out);

// Opens a port's data channel.
Bytes hostPacketSize();

std::uint16_t fragmentNumber(View datagram);  // 0 for a datagram shorter than its header
Bytes fragmentHeader(std::uint16_t number);

}  // namespace wf::adapter
