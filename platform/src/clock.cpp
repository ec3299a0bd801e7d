#include "platform/clock.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <limits>
#include <mutex>

namespace wf {
using std::chrono::duration;
using std::chrono::duration_cast;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

namespace {

std::atomic<double>& scaleCell() {
  static std::atomic<double> cell = [] {
    const char* v = std::getenv("WRENFIELD_TIME_SCALE");
    if (!v || !*v) return 1.0;
    char* end = nullptr;
    double d = std::strtod(v, &end);
    return (end && *end == '\0' && d > 0.0) ? d : 1.0;
  }();
  return cell;
}

std::mutex nowMutex;
std::function<std::time_t()> nowSource;

}  // namespace

std::uint32_t tickCount() {
  static const auto start = steady_clock::now();
  return static_cast<std::uint32_t>(duration_cast<milliseconds>(steady_clock::now() - start).count());
}

double timeScale() {
  return scaleCell().load(std::memory_order_relaxed);
}

void setTimeScaleForTest(double scale) {
  scaleCell().store(scale > 0.0 ? scale : 1.0, std::memory_order_relaxed);
}

steady_clock::duration scaled(std::uint32_t ms) {
  if (ms == kInfinite) return steady_clock::duration::max();
  return duration_cast<steady_clock::duration>(duration<double, std::milli>(ms * timeScale()));
}

steady_clock::time_point deadlineAfter(std::uint32_t ms) {
  if (ms == kInfinite) return steady_clock::time_point::max();
  return steady_clock::now() + scaled(ms);
}

int msUntil(steady_clock::time_point deadline) {
  if (deadline == steady_clock::time_point::max()) return -1;
  auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
  // Round up so a wait never ends before its deadline.
  if (deadline > steady_clock::now() && left == 0) left = 1;
  return static_cast<int>(std::clamp<long long>(left, 0, std::numeric_limits<int>::max()));
}

bool sleepFor(std::uint32_t ms, std::stop_token stop) {
  std::mutex m;
  std::condition_variable_any cv;
  std::unique_lock lock(m);
  auto deadline = deadlineAfter(ms);
  if (deadline == steady_clock::time_point::max()) {
    cv.wait(lock, stop, [] { return false; });
    return false;
  }
  return !cv.wait_until(lock, stop, deadline, [] { return false; }) && !stop.stop_requested();
}

std::time_t now() {
  std::lock_guard lock(nowMutex);
  return nowSource ? nowSource() : std::time(nullptr);
}

void setNowForTest(std::function<std::time_t()> source) {
  std::lock_guard lock(nowMutex);
  nowSource = std::move(source);
}

}  // namespace wf
