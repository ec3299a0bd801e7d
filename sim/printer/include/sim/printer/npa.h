#pragma once
// NPA packets as the printer sees them: A5, BE16 length (from the flags byte
// to the end), flags, command, data.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/npa.h"

namespace wf::sim::npa {

using protocol::npa::kClassAlert;
using protocol::npa::kDeviceStatusAlert;
using protocol::npa::kFirstAlert;
using protocol::npa::kFlagError;
using protocol::npa::kFlagMore;
using protocol::npa::kFlagReply;
using protocol::npa::kPrintData;
using protocol::npa::kStart;

// Written by the host before requests to an AUTO-mode printer and before print data.
inline constexpr std::string_view kSyncPacket{
    "\xA5\x00\x10\x80\xA4\x5B\xA4\x5B\x10\xEF\xA4\x5B\x11\xEE\x00\xFF\x13\xEC\x2E", 19};

struct Packet {
  std::uint8_t flags = 0;
  std::uint8_t command = 0;
  std::string data;
};

// One packet; `data` must leave the length within 16 bits.
std::string encode(std::uint8_t flags, std::uint8_t command, std::string_view data);

// A message as the printer sends it: split into packets of at most
// `maxDataPerPacket` data bytes (0: as few as the length field allows), all
// but the last flagged "more follows". `lastFlags` go on the final packet.
std::string encodeMessage(std::uint8_t lastFlags, std::uint8_t command, std::string_view data,
                          std::size_t maxDataPerPacket = 0);

// Size of the packet at the start of `bytes` (which begins with kStart), or
// empty while its header or body is still incomplete.
std::optional<std::size_t> packetSize(std::string_view bytes);

// Decodes a whole packet as measured by packetSize.
Packet decode(std::string_view packet);

}  // namespace wf::sim::npa
