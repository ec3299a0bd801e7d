#pragma once
// The wire between a local port endpoint (a Unix stream socket below the
// runtime directory, "ports/LPTn") and the printer that serves it. Shared by
// the port layer (client) and the printer simulator (server).
//
// Every frame: u8 type, u32 payload length (little-endian), payload.
// On accept the printer sends Welcome, or Busy and closes when another client
// holds the port: one client at a time. A printer in an error state sends its
// ErrorState in the same write as Welcome, so the host knows it once open returns.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/byte_codec.h"

namespace wf::portwire {

enum class FrameType : std::uint8_t {
  Data = 1,             // bytes, both directions
  DeviceIdRequest = 2,  // host -> printer, empty
  DeviceId = 3,         // printer -> host: IEEE 1284 ID text without its length prefix
  ErrorState = 4,       // printer -> host: one byte, a WriteErrorClass; writes fail while not None
  Busy = 5,             // printer -> host on accept: another client has the port
  Welcome = 6,          // printer -> host on accept: the port is ours
  Close = 7,            // host -> printer, empty
  DeviceIdFailed = 8,   // printer -> host, empty: the answer to DeviceIdRequest when there is no ID to give
};

// Why a write to a port failed, as the original platform classified it.
enum class WriteErrorClass : std::uint8_t {
  None = 0,
  OutOfPaper = 1,
  NotSelected = 2,
  Break = 3,
  IoError = 4,
  TimedOut = 5,
  Other = 6,
};

constexpr std::size_t kHeaderSize = 5;
constexpr std::uint32_t kMaxPayload = 1u << 20;  // larger frames are a protocol error
constexpr std::size_t kMaxDeviceId = 4096;

// "ports/LPT1" .. "ports/LPT9", relative to the runtime directory.
inline std::string endpointName(int portNumber) {
  return "ports/LPT" + std::to_string(portNumber);
}

inline std::string encodeFrame(FrameType type, std::string_view payload = {}) {
  std::string out(kHeaderSize, '\0');
  out[0] = static_cast<char>(type);
  storeLe32(out.data() + 1, static_cast<std::uint32_t>(payload.size()));
  out.append(payload);
  return out;
}

// Reads a header; false when `header` is short or announces more than kMaxPayload.
inline bool decodeHeader(std::string_view header, FrameType& type, std::uint32_t& length) {
  ByteReader in(header);
  std::uint8_t kind = 0;
  if (!in.u8(kind) || !in.le32(length)) return false;
  type = static_cast<FrameType>(kind);
  return length <= kMaxPayload;
}

}  // namespace wf::portwire
