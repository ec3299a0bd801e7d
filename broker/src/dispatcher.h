#pragma once
// The primary's side of the request channel: the mailslot every secondary
// writes to, the pool of dispatcher threads that run each request's worker,
// and the reply writer.
#include <cstdint>
#include <span>

namespace wf::bce {

// Creates the primary mailslot (once) and starts the first dispatchers.
bool startPrimaryChannel();
// Ends the dispatchers and closes every mailslot (process end).
void stopPrimaryChannel();

// Registration (request 1) and unregistration of application `appId`.
bool openReplyChannel(unsigned appId);
void closeReplyChannel(unsigned appId);

// Sends one reply (final or item) to `appId`. Pacing keeps 100 ms between
// replies to the same application.
void writeReply(unsigned appId, std::uint32_t serial, std::uint32_t code, std::span<const std::uint8_t> data,
                bool paced);

// Starts one more dispatcher unless the table is full.
void startDispatcher();

int dispatcherCountForTest();
void setReplyPacingForTest(bool on);

}  // namespace wf::bce
