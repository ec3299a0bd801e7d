#pragma once
// Per-thread message queues. A thread that owns windows or takes posted
// messages has exactly one queue: the platform's plain queue (threads without
// Qt: the broker, transports, tests) or one installed by the user-interface
// layer, which turns posts into events of its own loop.
#include <cstdint>
#include <memory>
#include <stop_token>
#include <vector>

#include "platform/thread.h"

namespace wf {

using Hwnd = std::uint32_t;  // 0 = none
using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;
// Bytes that travel with a posted message (text, records); freed with the message.
using Payload = std::vector<std::uint8_t>;

// Message numbers keep the original platform's values, so private numbers never collide.
constexpr std::uint32_t WM_DESTROY = 0x0002;
constexpr std::uint32_t WM_QUIT = 0x0012;
constexpr std::uint32_t WM_USER = 0x0400;

struct Message {
  Hwnd hwnd = 0;  // 0 for a message posted to a thread
  std::uint32_t message = 0;
  WParam wParam = 0;
  LParam lParam = 0;
  Payload payload;
};

// What a thread's queue must do; called from any thread.
class MessageQueue {
 public:
  virtual ~MessageQueue() = default;
  // Takes the message in arrival order. False when the queue takes no more
  // messages; the message (and its payload) is then dropped.
  virtual bool post(Message message) = 0;
  // Synchronous messages wait for the owner thread: it must call
  // processSentMessages() soon.
  virtual void wake() = 0;
};

// Makes `queue` the calling thread's queue. Fails when the thread has one already.
bool installThreadQueue(std::shared_ptr<MessageQueue> queue);

// Runs the synchronous messages waiting for the calling thread.
void processSentMessages();

// The calling thread's plain queue (created on first use; absent on a thread
// with an installed queue, where these fail).

// Waits for the next posted message, running sent messages meanwhile. False on
// WM_QUIT (returned in `out`, exit code in wParam) or when `stop` is requested
// (`out` then empty).
bool getMessage(Message& out, std::stop_token stop = {});

enum class PeekMode { NoRemove, Remove };
// Sent messages run first; then the first posted message, if any, is copied
// (NoRemove) or taken (Remove).
bool peekMessage(Message& out, PeekMode mode);

// Readable while the plain queue has a posted or sent message: lets a thread
// wait on its queue and its own descriptors together. -1 without a plain queue.
int messageQueueFd();

// Posts to a thread that has a queue; fails when it has none or has ended.
bool postThreadMessage(ThreadId thread, std::uint32_t message, WParam wParam, LParam lParam,
                       Payload payload = {});

// Ends the calling thread's loop once earlier posted messages are taken.
void postQuitMessage(int exitCode);

}  // namespace wf
