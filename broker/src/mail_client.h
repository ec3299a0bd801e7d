#pragma once
// A secondary's side of the request channel: requests go to the primary's
// mailslot, replies come back on the application's own mailslot. One
// waiting thread at a time reads it; a reply for another thread is queued
// under its serial and its owner woken; one nobody takes within its purge
// time is dropped. Waits and purge times are the protocol's.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <thread>

#include "mail.h"
#include "platform/mailslot.h"

namespace wf::bce {

// The client's state, owned by the process's Broker.
struct MailClient {
  struct Held {
    Mail mail;
    std::chrono::steady_clock::time_point since;
  };

  std::mutex channelLock;  // guards the two mailslots' lifetimes
  std::shared_ptr<Mailslot> replies;
  std::shared_ptr<MailslotWriter> primary;

  std::mutex serialLock;
  std::uint32_t serial = 0;

  std::mutex countLock;
  int outstanding = 0;

  // One waiting thread at a time reads the mailslot, so replies are filed in
  // the order they came; a reply for another waiter is queued under its
  // serial behind the earlier ones and only its owner is woken. The others
  // sleep until their reply is filed or the reading falls to them.
  std::mutex slotLock;
  std::map<std::uint32_t, std::deque<Held>> held;
  std::size_t heldCount = 0;
  std::map<std::uint32_t, std::condition_variable*> waiters;
  bool reading = false;
  bool primaryGone = false;  // sticky until the client opens to a primary again

  // While registered: watches the primary's mailslot reader, so a loss is
  // noticed also when no call is under way.
  std::jthread watcher;
};

// Creates the application's reply mailslot and opens the primary's.
bool openMailClient(unsigned appId);
void closeMailClient();

// Until closeMailClient: once the primary's mailslot has lost its reader,
// the loss is latched (every waiting and later call answers 1) and
// WM_BCE_PRIMARY_GONE is posted to `window`.
void watchPrimary(std::uint32_t window);
// The primary this client talked to has gone: a registration may take over.
bool primaryLost();

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
std::size_t heldRepliesForTest();

}  // namespace wf::bce
