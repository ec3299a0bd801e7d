#pragma once
// Shared between the per-thread queues and the window table.
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/message_queue.h"

namespace wf::detail {

class PlainQueue;

// The answer slot of a synchronous message.
struct SendTicket {
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  bool abandoned = false;
  LResult result = 0;
};

struct SentMessage {
  Message message;
  std::shared_ptr<SendTicket> ticket;
};

struct ThreadRecord {
  ThreadId id = 0;
  std::shared_ptr<MessageQueue> queue;
  PlainQueue* plain = nullptr;  // set when `queue` is the platform's own
  std::mutex m;
  std::deque<SentMessage> sent;
  bool closed = false;
};

// The calling thread's record, created with a plain queue on first use.
std::shared_ptr<ThreadRecord> ownThreadRecord();

// Queues `message` for the owner of `target` and waits for its answer.
std::optional<LResult> sendToThread(ThreadRecord& target, Message message, std::uint32_t ms);

// A thread ends: its windows go without running their procedures.
void forgetThreadWindows(ThreadId thread);

}  // namespace wf::detail
