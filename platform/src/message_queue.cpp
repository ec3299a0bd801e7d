#include "platform/message_queue.h"
#include "platform/unique_fd.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "message_internal.h"
#include "platform/clock.h"
#include "platform/fd_wait.h"
#include "platform/window_messages.h"

namespace wf {
namespace detail {

// Its eventfd is readable exactly while a posted message or a wake is pending,
// so owners can poll it together with their own descriptors.
class PlainQueue final : public MessageQueue {
 public:
  PlainQueue() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  bool post(Message message) override {
    std::lock_guard lock(m_);
    if (closed_) return false;
    posted_.push_back(std::move(message));
    signal();
    return true;
  }

  void wake() override {
    std::lock_guard lock(m_);
    woken_ = true;
    signal();
  }

  void close() {
    std::deque<Message> dropped;
    std::lock_guard lock(m_);
    closed_ = true;
    dropped.swap(posted_);
  }

  enum class Take { Message, Woken, Empty };

  // A pending wake comes first: sent messages run before posted ones.
  Take take(Message& out, PeekMode mode) {
    std::lock_guard lock(m_);
    Take result = Take::Empty;
    if (woken_) {
      woken_ = false;
      result = Take::Woken;
    } else if (!posted_.empty()) {
      if (mode == PeekMode::Remove) {
        out = std::move(posted_.front());
        posted_.pop_front();
      } else {
        out = posted_.front();
      }
      result = Take::Message;
    }
    if (posted_.empty() && !woken_) drain();
    return result;
  }

  int fd() const { return fd_.get(); }

 private:
  void signal() {
    std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(fd_.get(), &one, sizeof one);
  }
  void drain() {
    std::uint64_t v;
    [[maybe_unused]] auto n = ::read(fd_.get(), &v, sizeof v);
  }

  const UniqueFd fd_;
  std::mutex m_;
  std::deque<Message> posted_;
  bool woken_ = false;
  bool closed_ = false;
};

namespace {

struct Registry {
  std::mutex m;
  std::unordered_map<ThreadId, std::shared_ptr<ThreadRecord>> records;
};

// Leaked: threads may still end (and retire their records) during process exit.
Registry& registry() {
  static Registry* r = new Registry;
  return *r;
}

void retire(const std::shared_ptr<ThreadRecord>& record) {
  {
    std::lock_guard lock(registry().m);
    registry().records.erase(record->id);
  }
  std::deque<SentMessage> abandoned;
  {
    std::lock_guard lock(record->m);
    record->closed = true;
    abandoned.swap(record->sent);
  }
  for (auto& s : abandoned) answer(*s.ticket, std::nullopt);
  if (record->plain) record->plain->close();
  forgetThreadWindows(record->id);
}

struct ThreadExit {
  std::shared_ptr<ThreadRecord> record;
  ~ThreadExit() {
    if (record) retire(record);
  }
};
thread_local ThreadExit threadExit;

std::shared_ptr<ThreadRecord> registerThread(std::shared_ptr<MessageQueue> queue, PlainQueue* plain) {
  auto record = std::make_shared<ThreadRecord>();
  record->id = currentThreadId();
  record->queue = std::move(queue);
  record->plain = plain;
  {
    std::lock_guard lock(registry().m);
    registry().records[record->id] = record;
  }
  threadExit.record = record;
  return record;
}

std::shared_ptr<ThreadRecord> findThread(ThreadId id) {
  std::lock_guard lock(registry().m);
  auto it = registry().records.find(id);
  return it == registry().records.end() ? nullptr : it->second;
}

PlainQueue* ownPlainQueue() {
  return ownThreadRecord()->plain;
}

}  // namespace

std::shared_ptr<ThreadRecord> ownThreadRecord() {
  if (threadExit.record) return threadExit.record;
  auto queue = std::make_shared<PlainQueue>();
  PlainQueue* plain = queue.get();
  return registerThread(std::move(queue), plain);
}

void answer(SendTicket& ticket, std::optional<LResult> result) {
  std::function<void(std::optional<LResult>)> onAnswer;
  {
    std::lock_guard lock(ticket.m);
    if (ticket.done || ticket.abandoned) return;
    ticket.done = result.has_value();
    ticket.abandoned = !result;
    ticket.result = result.value_or(0);
    onAnswer = std::move(ticket.onAnswer);
    ticket.cv.notify_all();
  }
  if (onAnswer) onAnswer(result);
}

bool queueSend(ThreadRecord& target, SentMessage sent) {
  std::shared_ptr<SendTicket> awaiting;
  {
    std::lock_guard lock(target.m);
    if (target.closed) return false;
    target.sent.push_back(std::move(sent));
    awaiting = target.awaiting;
  }
  target.queue->wake();
  if (awaiting) {
    std::lock_guard lock(awaiting->m);
    awaiting->sentArrived = true;
    awaiting->cv.notify_all();
  }
  return true;
}

std::optional<LResult> awaitAnswer(const std::shared_ptr<SendTicket>& ticket, std::uint32_t ms,
                                   const std::function<bool()>& targetAlive) {
  // Real time between liveness checks of the target.
  constexpr auto kLivenessPoll = std::chrono::milliseconds(20);
  // Without a record nobody can send to this thread, so there is nothing to run.
  const std::shared_ptr<ThreadRecord> self = threadExit.record;
  std::shared_ptr<SendTicket> outer;
  if (self) {
    std::lock_guard lock(self->m);
    outer = std::exchange(self->awaiting, ticket);
  }
  const auto deadline = deadlineAfter(ms);
  std::optional<LResult> result;
  for (;;) {
    // Two threads sending to each other would otherwise each wait out the bound.
    if (self) processSentMessages();
    std::unique_lock lock(ticket->m);
    auto woken = [&] { return ticket->done || ticket->abandoned || ticket->sentArrived; };
    auto until =
        targetAlive ? std::min(deadline, std::chrono::steady_clock::now() + kLivenessPoll) : deadline;
    if (until == std::chrono::steady_clock::time_point::max())
      ticket->cv.wait(lock, woken);
    else
      ticket->cv.wait_until(lock, until, woken);
    if (ticket->done) {
      result = ticket->result;
      break;
    }
    if (ticket->abandoned) break;
    if (std::exchange(ticket->sentArrived, false)) continue;
    if (std::chrono::steady_clock::now() >= deadline) break;
    lock.unlock();
    if (targetAlive && !targetAlive()) break;
  }
  if (self) {
    std::lock_guard lock(self->m);
    self->awaiting = std::move(outer);
  }
  return result;
}

std::optional<LResult> sendToThread(ThreadRecord& target, Message message, std::uint32_t ms) {
  auto ticket = std::make_shared<SendTicket>();
  if (!queueSend(target, {std::move(message), ticket})) return std::nullopt;
  return awaitAnswer(ticket, ms);
}

}  // namespace detail

bool installThreadQueue(std::shared_ptr<MessageQueue> queue) {
  if (!queue || detail::threadExit.record) return false;
  detail::registerThread(std::move(queue), nullptr);
  return true;
}

void processSentMessages() {
  auto& record = detail::threadExit.record;
  if (!record) return;
  for (;;) {
    detail::SentMessage sent;
    {
      std::lock_guard lock(record->m);
      if (record->sent.empty()) return;
      sent = std::move(record->sent.front());
      record->sent.pop_front();
    }
    detail::answer(*sent.ticket, detail::dispatchSent(sent.message));
  }
}

bool getMessage(Message& out, std::stop_token stop) {
  detail::PlainQueue* queue = detail::ownPlainQueue();
  if (!queue) {
    out = {};
    return false;
  }
  for (;;) {
    switch (queue->take(out, PeekMode::Remove)) {
      case detail::PlainQueue::Take::Message:
        return out.message != WM_QUIT;
      case detail::PlainQueue::Take::Woken:
        processSentMessages();
        break;
      case detail::PlainQueue::Take::Empty:
        if (waitFd(queue->fd(), POLLIN, kInfinite, stop) != FdWait::Ready) {
          out = {};
          return false;
        }
        break;
    }
  }
}

bool peekMessage(Message& out, PeekMode mode) {
  detail::PlainQueue* queue = detail::ownPlainQueue();
  if (!queue) return false;
  for (;;) {
    switch (queue->take(out, mode)) {
      case detail::PlainQueue::Take::Message:
        return true;
      case detail::PlainQueue::Take::Woken:
        processSentMessages();
        break;
      case detail::PlainQueue::Take::Empty:
        return false;
    }
  }
}

int messageQueueFd() {
  detail::PlainQueue* queue = detail::ownPlainQueue();
  return queue ? queue->fd() : -1;
}

bool postThreadMessage(ThreadId thread, std::uint32_t message, WParam wParam, LParam lParam,
                       Payload payload) {
  auto record = detail::findThread(thread);
  if (!record) return false;
  return record->queue->post({0, message, wParam, lParam, std::move(payload)});
}

void postQuitMessage(int exitCode) {
  detail::ownThreadRecord()->queue->post({0, WM_QUIT, static_cast<WParam>(exitCode), 0, {}});
}

}  // namespace wf
