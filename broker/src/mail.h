#pragma once
// One mail of the request channel: the 20-byte header and its data.
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "broker/corbce.h"
#include "platform/byte_codec.h"

namespace wf::bce {

using Bytes = std::vector<std::uint8_t>;

inline std::span<const std::uint8_t> asBytes(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// Mail data is little-endian; records travel as their bytes.
template <typename Record>
std::string_view recordBytes(const Record& r) {
  return {reinterpret_cast<const char*>(&r), sizeof r};
}
template <typename Record>
bool readRecord(ByteReader& in, Record& out) {
  std::string_view bytes;
  if (!in.bytes(sizeof out, bytes)) return false;
  std::memcpy(&out, bytes.data(), sizeof out);
  return true;
}
inline bool readResult(ByteReader& in, std::int32_t& result) {
  std::uint32_t v = 0;
  if (!in.le32(v)) return false;
  result = static_cast<std::int32_t>(v);
  return true;
}

inline constexpr char kPrimaryMailslot[] = "\\\\.\\mailslot\\bce\\primary";
std::string appMailslotName(unsigned appId);  // "\\.\mailslot\bce\app%d"

struct Mail {
  BCEMAILHEADER header{};
  Bytes data;
};

Bytes encodeMail(const BCEMAILHEADER& header, std::span<const std::uint8_t> data);

// Empty when the message is shorter than a header or its length field does
// not match the bytes that arrived.
std::optional<Mail> decodeMail(std::span<const std::uint8_t> message);

}  // namespace wf::bce
