#pragma once
// The request channel's protocol, declared once: for every request code the
// record its data starts with, what follows the record, whether the request
// must come from the application it names, how it is answered, how long the
// caller waits and how long a reply nobody takes is held. The client stubs,
// the dispatcher and the reply filing all read it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>

#include "broker/corbce.h"
#include "broker_timeouts.h"
#include "mail.h"

namespace wf::bce {

enum class Trailing {
  None,     // the record is all
  Counted,  // bytes whose number a field of the record gives
  Names,    // two texts, each behind its u16 length, shorter than a name field
};

enum class ReplyShape {
  None,      // nothing is awaited
  Final,     // one final reply
  Streamed,  // items, then the final reply
};

struct RequestKind {
  std::uint32_t code;
  const char* worker;  // what it reaches in the primary
  std::size_t recordSize;
  Trailing trailing;
  std::size_t countOffset;  // Counted: where the byte count sits in the record ...
  std::size_t countSize;    // ... and its width (2 or 4)
  bool fromNamedApp;        // the record starts with the sender's own application id
  ReplyShape reply;
  std::uint32_t firstWait;  // system ms for the first (or only) reply ...
  std::uint32_t nextWait;   // ... and for each later item
  std::uint32_t finalReply;
  std::uint32_t itemReply;  // 0 when not streamed
  std::uint32_t purgeTime;  // a reply of this request nobody takes is held this long
};

// Every request of the channel, in code order.
std::span<const RequestKind> requestKinds();
// Null for a code that is no request.
const RequestKind* requestKind(std::uint32_t code);

// How long a reply of `replyCode` is held for a waiter that does not come.
std::uint32_t purgeTimeOf(std::uint32_t replyCode);

// A request's data as the primary takes it, viewing the mail.
struct UnpackedRequest {
  std::span<const std::uint8_t> record;
  std::span<const std::uint8_t> trailing;  // Counted
  std::string_view names[2];               // Names

  template <typename Record>
  Record as() const {
    Record r{};
    std::memcpy(&r, record.data(), std::min(sizeof r, record.size()));
    return r;
  }
};

// Empty when the data does not fit the kind: too short or too long, a count
// that the bytes do not meet, a name too long, or another application named.
std::optional<UnpackedRequest> unpackRequest(const RequestKind& kind, std::span<const std::uint8_t> data,
                                             std::uint32_t sender);

// The data of a request: its record, then what follows it.
template <typename Record>
std::string packRequest(const Record& record, std::string_view trailing = {}) {
  return ByteWriter()
      .reserve(sizeof record + trailing.size())
      .bytes(recordBytes(record))
      .bytes(trailing)
      .take();
}
std::string packNames(std::string_view first, std::string_view second);

}  // namespace wf::bce
