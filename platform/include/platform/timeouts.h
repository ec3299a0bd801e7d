#pragma once
// The system's own time-outs, in system milliseconds (scaled by the clock).
#include <cstdint>

namespace wf::timeouts {

constexpr std::uint32_t kDefaultReply = 120'000;        // most broker requests
constexpr std::uint32_t kLongReply = 600'000;           // registration, captures, network info
constexpr std::uint32_t kEnumerationReply = 1'200'000;  // enumeration and print data
constexpr std::uint32_t kDispatcherIdle = 30'000;       // a mailslot dispatcher waits this long at a time

}  // namespace wf::timeouts
