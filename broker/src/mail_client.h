#pragma once
// A secondary's side of the request channel: requests go to the primary's
// mailslot, replies come back on the application's own mailslot. Every
// waiting thread reads it; a reply for another thread is filed under its
// serial and its owner woken; one nobody takes within its purge time is dropped.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "mail.h"

namespace wf::bce {

// Creates the application's reply mailslot and opens the primary's.
bool openMailClient(unsigned appId);
void closeMailClient();

// Serial of the request, 0 when nothing was sent. `expectsReply` counts it
// as outstanding until its reply is taken or given up.
std::uint32_t sendMail(std::uint32_t code, std::span<const std::uint8_t> data, bool expectsReply);

// The reply with `serial` to a request of `requestCode`, or empty after `ms`
// system milliseconds. With `counted` the request stops being outstanding,
// whatever the outcome.
std::optional<Mail> awaitReply(std::uint32_t serial, std::uint32_t requestCode, std::uint32_t ms, bool counted);

// The final reply code of a request, and the code of its streamed items.
std::uint32_t finalReplyCode(std::uint32_t requestCode);
std::uint32_t itemReplyCode(std::uint32_t requestCode);

// Request and final reply; empty when not sent or not answered in time.
std::optional<Mail> requestReply(std::uint32_t code, std::span<const std::uint8_t> data, std::uint32_t ms);

// A request answered by items before its final reply. Each item goes to
// `onItem` as it arrives.
std::optional<Mail> requestStream(std::uint32_t code, std::span<const std::uint8_t> data,
                                  std::uint32_t firstWait, std::uint32_t nextWait,
                                  const std::function<void(const Mail&)>& onItem);

int outstandingMailForTest();

}  // namespace wf::bce
