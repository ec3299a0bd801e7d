#pragma once
// Times a call repeatedly and prints calls per second, median and 99th
// percentile on one line: the broker benchmarks' figures.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace wf::bench {

inline void printFigures(const char* what, std::vector<double> us, double seconds) {
  if (us.empty()) return;
  std::sort(us.begin(), us.end());
  std::printf("  %-48s %8.0f /s  median %7.1f us  p99 %7.1f us\n", what, us.size() / seconds,
              us[us.size() / 2], us[us.size() * 99 / 100]);
}

// Times `call` n times; false when a call failed.
inline bool timed(const char* what, int n, const std::function<bool()>& call) {
  using Clock = std::chrono::steady_clock;
  std::vector<double> us;
  const auto start = Clock::now();
  for (int i = 0; i < n; ++i) {
    const auto t0 = Clock::now();
    if (!call()) {
      std::fprintf(stderr, "%s: call %d failed\n", what, i);
      return false;
    }
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  printFigures(what, us, std::chrono::duration<double>(Clock::now() - start).count());
  return true;
}

}  // namespace wf::bench
