#pragma once
// The wire of a conversation: one seqpacket message per frame, little-endian.
// Header: u8 kind, u8 0, u16 format, u32 transaction, u32 status, u16 item
// length, u16 0, u32 data length; then the item text and the data. Every
// length is checked against the bytes received.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace wf::ddewire {

enum class Kind : std::uint8_t {
  Connect = 1,         // client: item = topic, data = service name
  ConnectAck = 2,      // server accepted
  ConnectRefused = 3,  // server refused; it closes
  Poke = 4,
  Request = 5,
  AdviseStart = 6,
  AdviseStop = 7,
  Execute = 8,
  Reply = 9,        // to any client transaction: status = flags, data for a request
  AdviseData = 10,  // server: data of an advise loop
  AdviseAck = 11,   // client: its answer to AdviseData
};

struct Frame {
  Kind kind = Kind::Reply;
  std::uint16_t format = 0;
  std::uint32_t transaction = 0;
  std::uint32_t status = 0;
  std::string item;
  std::vector<std::uint8_t> data;
};

constexpr std::size_t kHeaderBytes = 20;
constexpr std::size_t kMaxItem = 255;
constexpr std::size_t kMaxData = 64 * 1024;
constexpr std::size_t kMaxFrame = kHeaderBytes + kMaxItem + kMaxData;

// Empty when the frame would break a limit.
std::optional<std::vector<std::uint8_t>> encode(const Frame& frame);
// Empty with *why set for a short, oversized or inconsistent frame or an unknown kind.
std::optional<Frame> decode(std::span<const std::uint8_t> bytes, std::string* why);

}  // namespace wf::ddewire
