#pragma once
// One mail of the request channel: the 20-byte header and its data.
#include <cstdint>
#include <optional>
#include <span>

#include "broker/corbce.h"
#include "wire.h"

namespace wf::bce {

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
