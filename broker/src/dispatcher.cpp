#include "dispatcher.h"

#include <array>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "broker.h"
#include "broker_state.h"
#include "broker_timeouts.h"
#include "mail.h"
#include "platform/clock.h"
#include "platform/mailslot.h"
#include "platform/thread.h"
#include "request_dispatch.h"
#include "trace.h"

namespace wf::bce {

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kStartDispatchers = 4;
constexpr std::uint32_t kShutdownJoin = 5'000;

PrimaryChannel& primary() {
  return Broker::instance().primary;
}

int liveDispatchers(const PrimaryChannel& p) {
  int n = 0;
  for (const auto& t : p.dispatchers) n += t != nullptr;
  return n;
}

// An idle dispatcher beyond the pool's need ends itself: not the first,
// only the last of the table, and only while more than four spare remain.
bool shouldRetire(PrimaryChannel& p, int index) {
  if (index == 0) return false;
  for (int i = index + 1; i < kMaxDispatchers; ++i)
    if (p.dispatchers[i]) return false;
  if (liveDispatchers(p) <= kStartDispatchers + registeredAppCount()) return false;
  p.retired.push_back(std::move(p.dispatchers[index]));
  return true;
}

void dispatcherLoop(int index, std::stop_token stop) {
  PrimaryChannel& p = primary();
  std::shared_ptr<Mailslot> mailslot;
  {
    std::lock_guard lock(p.lock);
    mailslot = p.mailslot;
  }
  while (!stop.stop_requested() && mailslot) {
    Bytes message;
    MailslotStatus status = MailslotStatus::TimedOut;  // also when the turn did not come in the idle time
    if (std::unique_lock turn(p.readTurn, std::defer_lock);
        turn.try_lock_for(scaled(timeouts::kDispatcherIdle)))
      status = mailslot->read(message, timeouts::kDispatcherIdle, stop);
    if (status == MailslotStatus::Ok) {
      if (auto mail = decodeMail(message))
        dispatchRequest(*mail);
      else
        bceTrace("Dropped a malformed request of %zu bytes\n", message.size());
    } else if (status == MailslotStatus::TimedOut) {
      std::lock_guard lock(p.lock);
      if (shouldRetire(p, index)) return;
    } else if (status == MailslotStatus::Stopped) {
      return;
    }
  }
}

void startDispatcherLocked(PrimaryChannel& p) {
  for (auto& t : p.retired)
    if (t->finished()) t.reset();
  std::erase(p.retired, nullptr);
  for (int i = 0; i < kMaxDispatchers; ++i) {
    if (p.dispatchers[i]) continue;
    p.dispatchers[i] =
        std::make_unique<Thread>("bce-dispatch", [i](std::stop_token st) { dispatcherLoop(i, st); });
    return;
  }
}

}  // namespace

bool startPrimaryChannel() {
  PrimaryChannel& p = primary();
  std::lock_guard lock(p.lock);
  if (!p.mailslot) {
    auto slot = Mailslot::create(kPrimaryMailslot);
    if (!slot) return false;
    p.mailslot = std::make_shared<Mailslot>(std::move(*slot));
  }
  while (liveDispatchers(p) < kStartDispatchers) startDispatcherLocked(p);
  return true;
}

void startDispatcher() {
  PrimaryChannel& p = primary();
  std::lock_guard lock(p.lock);
  if (p.mailslot) startDispatcherLocked(p);
}

void stopPrimaryChannel() {
  PrimaryChannel& p = primary();
  std::vector<std::unique_ptr<Thread>> threads;
  {
    std::lock_guard lock(p.lock);
    for (auto& t : p.dispatchers)
      if (t) threads.push_back(std::move(t));
    for (auto& t : p.retired) threads.push_back(std::move(t));
    p.retired.clear();
  }
  for (auto& t : threads) t->requestStop();
  for (auto& t : threads)
    if (!t->joinFor(kShutdownJoin)) p.abandoned.push_back(std::move(t));
  std::lock_guard lock(p.lock);
  p.mailslot.reset();
  for (auto& r : p.replies) r.writer.reset();
}

bool openReplyChannel(unsigned appId) {
  if (appId >= BCE_MAX_APPS) return false;
  auto writer = MailslotWriter::open(appMailslotName(appId));
  if (!writer) return false;
  PrimaryChannel& p = primary();
  std::lock_guard lock(p.lock);
  p.replies[appId].writer = std::make_shared<MailslotWriter>(std::move(*writer));
  return true;
}

void closeReplyChannel(unsigned appId) {
  if (appId >= BCE_MAX_APPS) return;
  PrimaryChannel& p = primary();
  std::lock_guard lock(p.lock);
  p.replies[appId].writer.reset();
}

void writeReply(unsigned appId, std::uint32_t serial, std::uint32_t code, std::span<const std::uint8_t> data,
                bool paced) {
  if (appId >= BCE_MAX_APPS) return;
  PrimaryChannel& p = primary();
  std::shared_ptr<MailslotWriter> writer;
  bool pacing;
  {
    std::lock_guard lock(p.lock);
    writer = p.replies[appId].writer;
    pacing = p.pacing && paced;
  }
  if (!writer) return;
  PrimaryChannel::ReplyChannel& channel = p.replies[appId];
  std::unique_lock pace(channel.pacingLock, std::defer_lock);
  if (pacing) {
    pace.lock();
    if (channel.lastReply && Clock::now() - *channel.lastReply < scaled(timeouts::kReplyPacing))
      sleepFor(timeouts::kReplyPacing);
  }
  BCEMAILHEADER header{};
  header.sender = appId;
  header.serial = serial;
  header.code = code;
  header.word = tickCount();
  const Bytes message = encodeMail(header, data);
  for (int attempt = 1; attempt <= timeouts::kReplyWriteAttempts; ++attempt) {
    if (writer->write(message.data(), message.size()) == MailslotStatus::Ok) {
      if (pacing) channel.lastReply = Clock::now();
      return;
    }
    if (attempt < timeouts::kReplyWriteAttempts) sleepFor(timeouts::kReplyWriteRetry);
  }
  bceTrace("failed to send msg ID %ld, message = %ld, mailslothandle = %d\n", static_cast<long>(serial),
           static_cast<long>(code), static_cast<int>(appId));
}

int dispatcherCountForTest() {
  PrimaryChannel& p = primary();
  std::lock_guard lock(p.lock);
  return liveDispatchers(p);
}

void setReplyPacingForTest(bool on) {
  PrimaryChannel& p = primary();
  std::lock_guard lock(p.lock);
  p.pacing = on;
}

}  // namespace wf::bce
