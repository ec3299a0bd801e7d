#pragma once
// A secondary's side of the request channel: requests go to the primary's
// mailslot, replies come back on the application's own mailslot. One
// waiting thread at a time reads it; a reply for another thread is queued
// under its serial and its owner woken; one nobody takes within its purge
// time is dropped. Waits and purge times are the protocol's.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "mail.h"

namespace wf::bce {

// Creates the application's reply mailslot and opens the primary's.
bool openMailClient(unsigned appId);
void closeMailClient();

// Serial of the request, 0 when nothing was sent. A request that awaits a
// reply counts as outstanding until its reply is taken or given up.
std::uint32_t sendMail(std::uint32_t code, std::span<const std::uint8_t> data);

// Request and final reply, waited for as long as the protocol says; empty
// when not sent or not answered in time.
std::optional<Mail> requestReply(std::uint32_t code, std::span<const std::uint8_t> data);

// A request answered by items before its final reply. Each item goes to
// `onItem` as it arrives.
std::optional<Mail> requestStream(std::uint32_t code, std::span<const std::uint8_t> data,
                                  const std::function<void(const Mail&)>& onItem);

int outstandingMailForTest();

}  // namespace wf::bce
