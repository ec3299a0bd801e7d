#include "receive_pool.h"

#include <algorithm>
#include <chrono>

#include "platform/clock.h"

namespace wf::coripx {

std::size_t ReceivePool::put(Received d) {
  std::lock_guard g(mutex_);
  if (count_ == kSlots) sweepLocked();
  for (auto& slot : slots_) {
    if (slot) continue;
    slot = std::move(d);
    ++count_;
    slot->sequence = ++generation_;
    queued_.notify_all();
    return count_;
  }
  return 0;
}

std::optional<Received> ReceivePool::take(const std::function<bool(const Received&)>& select) {
  std::lock_guard g(mutex_);
  for (auto& slot : slots_) {
    if (!slot || !select(*slot)) continue;
    std::optional<Received> d = std::move(slot);
    slot.reset();
    --count_;
    return d;
  }
  return std::nullopt;
}

std::vector<Received> ReceivePool::takeAll(const std::function<bool(const Received&)>& select) {
  std::vector<Received> all;
  std::lock_guard g(mutex_);
  for (auto& slot : slots_) {
    if (!slot || !select(*slot)) continue;
    all.push_back(std::move(*slot));
    slot.reset();
    --count_;
  }
  std::sort(all.begin(), all.end(), [](const Received& a, const Received& b) { return a.sequence < b.sequence; });
  return all;
}

std::size_t ReceivePool::sweepLocked() {
  const std::uint32_t now = tickCount();
  const auto oldAfter = static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(scaled(kOldAfterMs)).count());
  std::size_t freed = 0;
  for (auto& slot : slots_) {
    if (slot && now - slot->ticks > oldAfter) {
      slot.reset();
      --count_;
      ++freed;
    }
  }
  return freed;
}

std::size_t ReceivePool::sweep() {
  std::lock_guard g(mutex_);
  return sweepLocked();
}

std::size_t ReceivePool::count() const {
  std::lock_guard g(mutex_);
  return count_;
}

std::uint64_t ReceivePool::generation() const {
  std::lock_guard g(mutex_);
  return generation_;
}

bool ReceivePool::waitNewer(std::uint64_t seen, std::uint32_t ms, std::stop_token stop) {
  return waitNewerUntil(seen, deadlineAfter(ms), std::move(stop));
}

bool ReceivePool::waitNewerUntil(std::uint64_t seen, std::chrono::steady_clock::time_point deadline,
                                 std::stop_token stop) {
  std::unique_lock g(mutex_);
  return queued_.wait_until(g, stop, deadline, [&] { return generation_ != seen; });
}

}  // namespace wf::coripx
