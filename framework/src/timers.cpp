#include "timers.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

#include "platform/clock.h"
#include "platform/thread.h"
#include "platform/window_messages.h"

namespace wf::fw {
namespace {

using Clock = std::chrono::steady_clock;

class TimerService {
 public:
  bool set(HWND window, UINT_PTR id, UINT elapseMs) {
    if (!wf::isWindow(window)) return false;
    std::lock_guard lock(m_);
    // A restart keeps a WM_TIMER already queued: the platform would have too.
    Timer& t = timers_[{window, id}];
    t.period = std::max<Clock::duration>(scaled(elapseMs), std::chrono::milliseconds(1));
    t.due = Clock::now() + t.period;
    if (!thread_.joinable()) thread_ = Thread("wf-timers", [this](std::stop_token stop) { run(stop); });
    ++changes_;
    cv_.notify_all();
    return true;
  }

  bool kill(HWND window, UINT_PTR id) {
    std::lock_guard lock(m_);
    return timers_.erase({window, id}) != 0;
  }

  void killAll(HWND window) {
    std::lock_guard lock(m_);
    std::erase_if(timers_, [window](const auto& entry) { return entry.first.first == window; });
  }

  void delivered(HWND window, UINT_PTR id) {
    std::lock_guard lock(m_);
    if (auto it = timers_.find({window, id}); it != timers_.end()) it->second.queued = false;
  }

 private:
  struct Timer {
    Clock::duration period{};
    Clock::time_point due;
    bool queued = false;
  };
  using Key = std::pair<HWND, UINT_PTR>;

  void run(std::stop_token stop) {
    std::unique_lock lock(m_);
    while (!stop.stop_requested()) {
      Clock::time_point next = Clock::time_point::max();
      for (auto& [key, t] : timers_) next = std::min(next, t.due);
      const auto seen = changes_;
      auto changed = [&] { return changes_ != seen; };
      if (next == Clock::time_point::max())
        cv_.wait(lock, stop, changed);
      else
        cv_.wait_until(lock, stop, next, changed);
      fire(lock);
    }
  }

  // Posts outside the lock: a post may wait for a full receiver.
  void fire(std::unique_lock<std::mutex>& lock) {
    auto now = Clock::now();
    std::vector<Key> due;
    for (auto& [key, t] : timers_) {
      if (t.due > now) continue;
      t.due = now + t.period;
      if (!t.queued) {
        t.queued = true;
        due.push_back(key);
      }
    }
    lock.unlock();
    std::vector<Key> gone;
    for (auto& [window, id] : due)
      if (!postMessage(window, WM_TIMER, id, 0)) gone.push_back({window, id});
    lock.lock();
    for (auto& key : gone) timers_.erase(key);
  }

  std::mutex m_;
  std::condition_variable_any cv_;
  std::map<Key, Timer> timers_;
  std::uint64_t changes_ = 0;
  Thread thread_;
};

// Leaked: the thread may still wait while the process ends.
TimerService& service() {
  static auto* s = new TimerService;
  return *s;
}

}  // namespace

bool setWindowTimer(HWND window, UINT_PTR id, UINT elapseMs) {
  return service().set(window, id, elapseMs);
}
bool killWindowTimer(HWND window, UINT_PTR id) {
  return service().kill(window, id);
}
void killWindowTimers(HWND window) {
  service().killAll(window);
}
void windowTimerDelivered(HWND window, UINT_PTR id) {
  service().delivered(window, id);
}

}  // namespace wf::fw
