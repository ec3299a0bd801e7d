#pragma once
// The broker's own waits, in system milliseconds (scaled by the clock).
#include <cstdint>

#include "platform/timeouts.h"

namespace wf::bce::timeouts {

using wf::timeouts::kDefaultReply;               // 120,000: most requests
using wf::timeouts::kDispatcherIdle;             // 30,000: a dispatcher's wait for mail
using wf::timeouts::kEnumerationReply;           // 1,200,000: enumeration and print data, per message
using wf::timeouts::kLongReply;                  // 600,000: registration, captures, network information
constexpr std::uint32_t kMediumReply = 300'000;  // alert release and bidirectional requests

constexpr int kMailWriteAttempts = 30;
constexpr std::uint32_t kMailWriteRetry = 1'000;
constexpr int kReplyWriteAttempts = 10;
constexpr std::uint32_t kReplyWriteRetry = 1'000;
constexpr std::uint32_t kReplyPacing = 100;    // between two replies to one application
constexpr std::uint32_t kPurgeShort = 10'000;  // a stale reply nobody waits for
constexpr std::uint32_t kPurgeLong = 30'000;   // ... of an enumeration or network information
constexpr std::uint32_t kOutstandingPoll = 500;
constexpr std::uint32_t kOutstandingGiveUp = 1'200'000;
constexpr std::uint32_t kPrimaryWatchPoll = 1'000;  // a secondary looks for its primary's reader

}  // namespace wf::bce::timeouts
