#pragma once
// The primary's side of the request channel: the mailslot every secondary
// writes to, the pool of dispatcher threads that run each request's worker,
// and the reply writer.
#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "broker/corbce.h"
#include "platform/mailslot.h"
#include "platform/thread.h"

namespace wf::bce {

constexpr int kMaxDispatchers = 16;

// The primary's channel state, owned by the process's Broker.
struct PrimaryChannel {
  struct ReplyChannel {
    std::shared_ptr<MailslotWriter> writer;
    std::mutex pacingLock;  // while pacing: one reply at a time per application keeps it true
    std::optional<std::chrono::steady_clock::time_point> lastReply;
  };

  std::mutex lock;  // the dispatcher table and the reply writers
  std::shared_ptr<Mailslot> mailslot;
  // Dispatchers take turns to read, so one request wakes one of them; the
  // others wait for the turn, not for the mailslot.
  std::timed_mutex readTurn;
  std::array<std::unique_ptr<Thread>, kMaxDispatchers> dispatchers;
  std::vector<std::unique_ptr<Thread>> retired;    // ended themselves; joined later
  std::vector<std::unique_ptr<Thread>> abandoned;  // still in a worker at process end; never joined
  std::array<ReplyChannel, BCE_MAX_APPS> replies;
  bool pacing = true;
};

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
