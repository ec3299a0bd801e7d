#include "mail_client.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

#include "broker.h"
#include "broker/corbce.h"
#include "broker_state.h"
#include "broker_timeouts.h"
#include "mail_protocol.h"
#include "platform/clock.h"
#include "platform/mailslot.h"
#include "platform/window_messages.h"
#include "trace.h"

namespace wf::bce {

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kOutstandingLimit = 80;
// How long one read of the own mailslot blocks before its reader looks at
// its deadline and the filed replies again (real time).
constexpr auto kReadSlice = std::chrono::milliseconds(20);
// Garbage with ever new serials, or a flood of items, cannot grow the held
// replies without bound.
constexpr std::size_t kMaxHeld = 4096;
// Replies a reader takes from the mailslot in one turn before it files them:
// enough to drain what 16 callers have asked for, few enough that the
// deadlines are looked at soon.
constexpr std::size_t kDrainBatch = 64;

MailClient& client() {
  return Broker::instance().mail;
}

void changeOutstanding(int delta) {
  std::lock_guard lock(client().countLock);
  client().outstanding = std::max(0, client().outstanding + delta);
}

int outstanding() {
  std::lock_guard lock(client().countLock);
  return client().outstanding;
}

std::uint32_t systemMsFor(std::chrono::milliseconds real) {
  const double ms = static_cast<double>(real.count()) / timeScale();
  return ms < 1 ? 1 : static_cast<std::uint32_t>(ms);
}

}  // namespace

bool openMailClient(unsigned appId) {
  auto slot = Mailslot::create(appMailslotName(appId));
  if (!slot) return false;
  auto writer = MailslotWriter::open(kPrimaryMailslot);
  if (!writer) return false;
  MailClient& c = client();
  // The slot lock comes first everywhere, or a waiter and a new
  // registration could each hold the lock the other needs.
  std::lock_guard held(c.slotLock);
  std::lock_guard lock(c.channelLock);
  c.replies = std::make_shared<Mailslot>(std::move(*slot));
  c.primary = std::make_shared<MailslotWriter>(std::move(*writer));
  c.primaryGone = false;
  return true;
}

void closeMailClient() {
  MailClient& c = client();
  // Joined outside the locks: the watcher takes the slot lock to latch.
  std::jthread watcher = std::move(c.watcher);
  watcher = {};
  std::lock_guard slot(c.slotLock);
  std::lock_guard lock(c.channelLock);
  c.replies.reset();
  c.primary.reset();
  c.held.clear();
  c.heldCount = 0;
}

namespace {

// Marks the primary gone and wakes every waiter, which then answers 1.
void latchPrimaryGone(MailClient& c) {
  c.primaryGone = true;
  for (auto& [other, cv] : c.waiters) cv->notify_one();
}

}  // namespace

void watchPrimary(std::uint32_t window) {
  MailClient& c = client();
  c.watcher = std::jthread([&c, window](std::stop_token stop) {
    while (sleepFor(timeouts::kPrimaryWatchPoll, stop)) {
      if (mailslotHasReader(kPrimaryMailslot)) continue;
      {
        std::lock_guard slot(c.slotLock);
        latchPrimaryGone(c);
      }
      bceTrace("The primary has gone\n");
      postMessage(window, WM_BCE_PRIMARY_GONE, 0, 0);
      return;
    }
  });
}

bool primaryLost() {
  MailClient& c = client();
  std::lock_guard slot(c.slotLock);
  return c.primaryGone;
}

std::uint32_t sendMail(std::uint32_t code, std::span<const std::uint8_t> data) {
  MailClient& c = client();
  const RequestKind* kind = requestKind(code);
  const bool expectsReply = kind && kind->reply != ReplyShape::None;
  const auto giveUp = deadlineAfter(timeouts::kOutstandingGiveUp);
  while (outstanding() > kOutstandingLimit && Clock::now() < giveUp) sleepFor(timeouts::kOutstandingPoll);
  if (int n = outstanding(); n > kOutstandingLimit) {
    bceTrace("Outstanding mail count too high (%d), abandoning SendMsg()\n", n);
    return 0;
  }
  if (expectsReply) changeOutstanding(+1);

  std::shared_ptr<MailslotWriter> primary;
  {
    std::lock_guard lock(c.channelLock);
    primary = c.primary;
  }
  BCEMAILHEADER header{};
  header.sender = static_cast<std::uint16_t>(ownAppId());
  header.code = code;
  {
    std::lock_guard lock(c.serialLock);
    header.serial = ++c.serial == 0 ? ++c.serial : c.serial;
  }
  // Only the serial is taken in order: the write itself needs no lock, and
  // a writer waiting for room must not hold up the others.
  const std::uint32_t serial = header.serial;
  const Bytes message = encodeMail(header, data);
  bool written = false;
  for (int attempt = 1; primary && attempt <= timeouts::kMailWriteAttempts; ++attempt) {
    const MailslotStatus status = primary->write(message.data(), message.size());
    if (status == MailslotStatus::Ok) {
      written = true;
      break;
    }
    // The primary is gone: retries would only wait.
    if (status == MailslotStatus::ReaderGone) break;
    if (attempt < timeouts::kMailWriteAttempts) {
      bceTrace("Write failed for %ld, retrying (%d more)...\n", static_cast<long>(serial),
               timeouts::kMailWriteAttempts - attempt);
      sleepFor(timeouts::kMailWriteRetry);
    }
  }
  if (written) return serial;
  if (expectsReply) changeOutstanding(-1);
  bceTrace("######## MAIL WRITE FAILED for %ld !!!!  \n", static_cast<long>(serial));
  return 0;
}

namespace {

// The oldest reply filed for `serial`, if any. Called under the slot lock.
std::optional<Mail> takeHeld(MailClient& c, std::uint32_t serial) {
  auto it = c.held.find(serial);
  if (it == c.held.end()) return std::nullopt;
  Mail mail = std::move(it->second.front().mail);
  it->second.pop_front();
  --c.heldCount;
  if (it->second.empty()) c.held.erase(it);
  return mail;
}

// Replies nobody came for within their purge time are dropped.
void purgeStale(MailClient& c, std::uint32_t looker) {
  const auto now = Clock::now();
  for (auto it = c.held.begin(); it != c.held.end();) {
    auto& queue = it->second;
    while (!queue.empty() &&
           now - queue.front().since > scaled(purgeTimeOf(queue.front().mail.header.code))) {
      const BCEMAILHEADER& h = queue.front().mail.header;
      bceTrace("Message ID 0x%lx is Purging MsgID 0x%lx (0x%lx) Unique ID is %ld\n",
               static_cast<unsigned long>(looker), static_cast<unsigned long>(h.serial),
               static_cast<unsigned long>(h.code), static_cast<long>(h.word));
      queue.pop_front();
      --c.heldCount;
    }
    it = queue.empty() ? c.held.erase(it) : std::next(it);
  }
}

// Files a reply for another waiter and wakes that waiter alone.
void fileForOwner(MailClient& c, Mail mail) {
  const BCEMAILHEADER& h = mail.header;
  if (c.heldCount >= kMaxHeld) {
    bceTrace("Dropped reply 0x%lx for serial %ld: too many replies held\n",
             static_cast<unsigned long>(h.code), static_cast<long>(h.serial));
    return;
  }
  const std::uint32_t owner = h.serial;
  c.held[owner].push_back(MailClient::Held{std::move(mail), Clock::now()});
  ++c.heldCount;
  if (auto w = c.waiters.find(owner); w != c.waiters.end()) w->second->notify_one();
}

// Reads what the reply mailslot has for one reading turn: the first reply
// waited for up to the read slice, then those already queued behind it, up
// to the reader's own. What follows its own (more stream items) stays in the
// mailslot for its next wait, where no purge can reach it. The status of the
// first read.
struct TakenReply {
  std::size_t bytes;
  std::optional<Mail> mail;  // empty when malformed
};

MailslotStatus readTurn(const std::shared_ptr<Mailslot>& replies, std::uint32_t serial,
                        std::vector<TakenReply>& taken) {
  Bytes message;
  const MailslotStatus status =
      replies ? replies->read(message, systemMsFor(kReadSlice)) : MailslotStatus::Failed;
  if (!replies) sleepFor(systemMsFor(kReadSlice));
  if (status != MailslotStatus::Ok) return status;
  for (;;) {
    taken.push_back({message.size(), decodeMail(message)});
    const bool own = taken.back().mail && taken.back().mail->header.serial == serial;
    if (own || taken.size() >= kDrainBatch || replies->read(message, 0) != MailslotStatus::Ok) break;
  }
  return status;
}

// The reply with `serial` to a request of `kind`, or empty after `ms` system
// milliseconds. With `counted` the request stops being outstanding, whatever
// the outcome.
std::optional<Mail> awaitReply(std::uint32_t serial, const RequestKind& kind, std::uint32_t ms,
                               bool counted) {
  MailClient& c = client();
  const auto deadline = deadlineAfter(ms);
  const auto entered = Clock::now();
  std::optional<Mail> result;
  std::condition_variable woken;
  std::vector<TakenReply> taken;
  std::unique_lock slot(c.slotLock);
  c.waiters[serial] = &woken;
  for (;;) {
    if ((result = takeHeld(c, serial))) break;
    if (c.primaryGone) {
      bceTrace("Primary gone while looking for message 0x%lx\n", static_cast<unsigned long>(serial));
      break;
    }
    if (Clock::now() >= deadline) {
      bceTrace("Timeout of %ld reached after %ld ms looking for message 0x%lx\n", static_cast<long>(ms),
               static_cast<long>(
                   std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - entered).count()),
               static_cast<unsigned long>(serial));
      break;
    }
    if (c.reading) {
      woken.wait_until(slot, deadline);
      continue;
    }
    purgeStale(c, serial);
    c.reading = true;
    slot.unlock();
    // Taken with the slot lock released: the two are never held together.
    std::shared_ptr<Mailslot> replies;
    {
      std::lock_guard lock(c.channelLock);
      replies = c.replies;
    }
    taken.clear();
    const MailslotStatus status = readTurn(replies, serial, taken);
    // A quiet mailslot: the answer may never come because the primary has gone.
    const bool gone = status == MailslotStatus::TimedOut && !mailslotHasReader(kPrimaryMailslot);
    slot.lock();
    c.reading = false;
    if (gone) {
      latchPrimaryGone(c);
      continue;
    }
    // Filed in the order read, each owner woken as its reply is filed.
    for (TakenReply& reply : taken) {
      std::optional<Mail>& decoded = reply.mail;
      // A reply under a code that no reply to its request has is not a reply.
      const auto isOurs = [&](const BCEMAILHEADER& h) {
        return h.serial == serial &&
               (h.code == kind.finalReply || (kind.itemReply && h.code == kind.itemReply));
      };
      if (!decoded || (decoded->header.serial == serial && !isOurs(decoded->header))) {
        bceTrace("Dropped a malformed reply of %zu bytes\n", reply.bytes);
        continue;
      }
      if (isOurs(decoded->header))
        result = std::move(decoded);
      else
        fileForOwner(c, std::move(*decoded));
    }
    if (result) break;
  }
  c.waiters.erase(serial);
  // The reading falls to another waiter, if any.
  if (!c.reading && !c.waiters.empty()) c.waiters.begin()->second->notify_one();
  slot.unlock();
  if (counted) changeOutstanding(-1);
  return result;
}

}  // namespace

std::optional<Mail> requestReply(std::uint32_t code, std::span<const std::uint8_t> data) {
  const RequestKind& kind = *requestKind(code);
  const std::uint32_t serial = sendMail(code, data);
  if (serial == 0) return std::nullopt;
  return awaitReply(serial, kind, kind.firstWait, true);
}

std::optional<Mail> requestStream(std::uint32_t code, std::span<const std::uint8_t> data,
                                  const std::function<void(const Mail&)>& onItem) {
  const RequestKind& kind = *requestKind(code);
  const std::uint32_t serial = sendMail(code, data);
  if (serial == 0) return std::nullopt;
  auto mail = awaitReply(serial, kind, kind.firstWait, true);
  while (mail && mail->header.code == kind.itemReply) {
    onItem(*mail);
    mail = awaitReply(serial, kind, kind.nextWait, false);
  }
  return mail;
}

int outstandingMailForTest() {
  return outstanding();
}

std::size_t heldRepliesForTest() {
  MailClient& c = client();
  std::lock_guard lock(c.slotLock);
  return c.heldCount;
}

}  // namespace wf::bce
