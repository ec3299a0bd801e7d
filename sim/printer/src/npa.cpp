#include "sim/printer/npa.h"

#include <algorithm>

namespace wf::sim::npa {

namespace {
constexpr std::size_t kMaxData = 0xFFFF - 2;
}

std::string encode(std::uint8_t flags, std::uint8_t command, std::string_view data) {
  const std::size_t length = data.size() + 2;
  std::string out;
  out.reserve(3 + length);
  out.push_back(static_cast<char>(kStart));
  out.push_back(static_cast<char>((length >> 8) & 0xFF));
  out.push_back(static_cast<char>(length & 0xFF));
  out.push_back(static_cast<char>(flags));
  out.push_back(static_cast<char>(command));
  out.append(data);
  return out;
}

std::string encodeMessage(std::uint8_t lastFlags, std::uint8_t command, std::string_view data,
                          std::size_t maxDataPerPacket) {
  const std::size_t chunk = maxDataPerPacket == 0 ? kMaxData : std::min(maxDataPerPacket, kMaxData);
  std::string out;
  std::size_t offset = 0;
  while (data.size() - offset > chunk) {
    // Only the final packet speaks for the message (its error flag).
    out += encode(kMoreFollows, command, data.substr(offset, chunk));
    offset += chunk;
  }
  out += encode(static_cast<std::uint8_t>(lastFlags & ~kMoreFollows), command, data.substr(offset));
  return out;
}

std::optional<std::size_t> packetSize(std::string_view bytes) {
  if (bytes.size() < 3) return std::nullopt;
  const std::size_t length = (static_cast<std::uint8_t>(bytes[1]) << 8) | static_cast<std::uint8_t>(bytes[2]);
  const std::size_t size = 3 + length;
  if (bytes.size() < size) return std::nullopt;
  return size;
}

Packet decode(std::string_view packet) {
  Packet p;
  if (packet.size() >= 4) p.flags = static_cast<std::uint8_t>(packet[3]);
  if (packet.size() >= 5) p.command = static_cast<std::uint8_t>(packet[4]);
  if (packet.size() > 5) p.data.assign(packet.substr(5));
  return p;
}

}  // namespace wf::sim::npa
