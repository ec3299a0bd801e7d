#pragma once
// Shared between the per-thread queues and the window table.
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/message_queue.h"

namespace wf::detail {

class PlainQueue;

// The answer slot of a synchronous message. The sending thread waits on it,
// and is also woken there when a send for its own thread comes in.
struct SendTicket {
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  bool abandoned = false;
  bool sentArrived = false;
  LResult result = 0;
  // For a sender in another process: carries the answer (empty: none) back.
  std::function<void(std::optional<LResult>)> onAnswer;
};

// Gives the ticket its answer (empty: the message will not be handled). Only
// the first answer counts.
void answer(SendTicket& ticket, std::optional<LResult> result);

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
  // The answer the owner thread is blocked on, so a send to it wakes it there.
  std::shared_ptr<SendTicket> awaiting;
};

// The calling thread's record, created with a plain queue on first use.
std::shared_ptr<ThreadRecord> ownThreadRecord();

// Queues `sent` for the owner of `target`. False when that thread has ended.
bool queueSend(ThreadRecord& target, SentMessage sent);

// Waits up to `ms` system milliseconds for the ticket's answer, running the
// sends that come in for the calling thread meanwhile. `targetAlive`, when
// given, is asked now and then; the wait ends once it says no.
std::optional<LResult> awaitAnswer(const std::shared_ptr<SendTicket>& ticket, std::uint32_t ms,
                                   const std::function<bool()>& targetAlive = {});

// Queues `message` for the owner of `target` and waits for its answer.
std::optional<LResult> sendToThread(ThreadRecord& target, Message message, std::uint32_t ms);

// Runs a sent message: unlike a post, its lParam is never the receiver's.
LResult dispatchSent(Message& message);

// A thread ends: its windows go without running their procedures.
void forgetThreadWindows(ThreadId thread);

}  // namespace wf::detail
