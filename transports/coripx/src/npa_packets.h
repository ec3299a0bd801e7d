#pragma once
// NPA variable packets of the IPX adapters: the enumeration query, the
// reads and writes of the information items, and the decoders of their
// replies. Packets start at their 0xA5 byte; lengths are big-endian.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace wf::coripx {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

constexpr std::uint8_t kNpaRead = 0, kNpaWrite = 1, kNpaEnumerate = 2;

// ---- Builders ------------------------------------------------------------------------------
Bytes buildEnumerationQuery();  // 113 bytes
Bytes buildReadSettings();      // 31 bytes

// The record handed to the settings write (142 bytes, integers in host order).
struct SettingsWrite {
  std::uint32_t w1 = 0, w2 = 0, w3 = 0;
  std::array<char, 64> text1{}, text2{};
  std::uint8_t value0604 = 0;
  std::uint8_t flags = 0;  // 0x02 (08,00), 0x04 (09,00), 0x08 (0A,00)
};
Bytes buildWriteSettings(const SettingsWrite& s);                                       // 178
Bytes buildWrite8(const std::array<std::uint8_t, 8>& value);                            // 18
Bytes buildWriteAddress(char mode, std::uint32_t high, std::uint16_t low);              // 20
Bytes buildWriteReset();                                                                // 11
Bytes buildWriteName(std::string_view name);                                            // 35
Bytes buildWriteOwnPort(std::uint16_t v06, std::uint8_t v08, std::uint8_t v0A, std::uint8_t v0C,
                        std::uint8_t v0E, std::uint16_t v04, std::uint8_t mode);         // 37
Bytes buildWritePort(std::uint8_t group, std::uint8_t v06, std::uint16_t v04, std::uint8_t mode);  // 20

// 0 -> 0x20, 1 -> 0x10, any other -> 0x08.
std::uint8_t npaModeByte(std::uint8_t mode);

// ---- Decoders ------------------------------------------------------------------------------
struct NpaItem {
  std::uint8_t group = 0, variable = 0;
  ByteView value;
};
struct NpaReply {
  std::uint8_t flags = 0;
  std::vector<NpaItem> items;  // in the request's order
};
// Walks the items of one NPA reply within the bytes given and its length
// field; a header that is no NPA variable packet gives nothing.
std::optional<NpaReply> readVariableReply(ByteView packet);

// Read back by the settings read (143 bytes).
struct SettingsRecord {
  std::array<char, 64> text1{}, text2{};
  std::uint32_t w1 = 0, w2 = 0, w3 = 0;
  std::uint8_t enabled = 0, set = 0, value0604 = 0;
};
std::optional<SettingsRecord> decodeSettings(const NpaReply& reply);

struct AdapterRecord {
  bool empty = true;  // the reply was flagged an error
  std::uint8_t corLink = 0;
  std::array<std::uint8_t, 6> node{}, otherAddress{};
  std::string name;  // at most 24 characters
  std::uint8_t typeByte = 0;    // first value byte of (06,02); bit 0x40: the feature flag
  std::uint8_t typeNibble = 0;  // 1: the node is used as received
  Bytes model, firmware, product, password;  // (06,06) (06,07) (06,05) (06,0D)
};

// PORTENTRY: one port of the enumeration reply.
struct PORTENTRY {
  bool present = false;
  std::uint8_t flags = 0;  // 0x40, 0x30 mode bits, 0x08
  char kindLetter = 0;     // 'U' own port, 'K' port P
  std::uint8_t type = 0;   // 0x40 own port, 0x80 | P
  std::array<std::uint16_t, 4> words{};
  std::array<std::uint8_t, 8> bytes{};
};

struct EnumerationReply {
  AdapterRecord adapter;
  std::vector<PORTENTRY> ports;
};
constexpr std::size_t kAdapterItems = 9, kOwnPortItems = 14, kPortItems = 6;
// The adapter record, then the port entries while items last.
EnumerationReply decodeEnumerationReply(const NpaReply& reply);
// One entry from items[0]; the number of items it took (0: too few left).
std::size_t decodePortEntry(std::span<const NpaItem> items, PORTENTRY& out);

}  // namespace wf::coripx
