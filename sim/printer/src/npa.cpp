#include "sim/printer/npa.h"

#include <algorithm>

#include "platform/byte_codec.h"

namespace wf::sim::npa {

namespace {
constexpr std::size_t kMaxData = 0xFFFF - protocol::npa::kLengthCounted;
}

std::string encode(std::uint8_t flags, std::uint8_t command, std::string_view data) {
  ByteWriter out;
  out.u8(kStart).be16(static_cast<std::uint32_t>(data.size() + protocol::npa::kLengthCounted));
  out.u8(flags).u8(command).bytes(data);
  return out.take();
}

std::string encodeMessage(std::uint8_t lastFlags, std::uint8_t command, std::string_view data,
                          std::size_t maxDataPerPacket) {
  const std::size_t chunk = maxDataPerPacket == 0 ? kMaxData : std::min(maxDataPerPacket, kMaxData);
  std::string out;
  std::size_t offset = 0;
  while (data.size() - offset > chunk) {
    // Only the final packet speaks for the message (its error flag).
    out += encode(kFlagMore, command, data.substr(offset, chunk));
    offset += chunk;
  }
  out += encode(static_cast<std::uint8_t>(lastFlags & ~kFlagMore), command, data.substr(offset));
  return out;
}

std::optional<std::size_t> packetSize(std::string_view bytes) {
  ByteReader in(bytes);
  std::uint16_t length = 0;
  if (!in.seek(protocol::npa::kLengthOffset) || !in.be16(length)) return std::nullopt;
  const std::size_t size = protocol::npa::kFlagsOffset + length;
  if (bytes.size() < size) return std::nullopt;
  return size;
}

Packet decode(std::string_view packet) {
  Packet p;
  ByteReader in(packet);
  if (in.seek(protocol::npa::kFlagsOffset) && in.u8(p.flags) && in.u8(p.command)) p.data.assign(in.rest());
  return p;
}

}  // namespace wf::sim::npa
