#pragma once
// Times a call repeatedly and prints calls per second, median and 99th
// percentile on one line: the broker benchmarks' figures.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

namespace wf::bench {

struct Figures {
  double perSecond = 0, medianUs = 0, p99Us = 0;
};

// Times `call` n times; empty when a call failed.
inline std::optional<Figures> timed(const char* what, int n, const std::function<bool()>& call) {
  using Clock = std::chrono::steady_clock;
  std::vector<double> us;
  const auto start = Clock::now();
  for (int i = 0; i < n; ++i) {
    const auto t0 = Clock::now();
    if (!call()) {
      std::fprintf(stderr, "%s: call %d failed\n", what, i);
      return std::nullopt;
    }
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  if (us.empty()) return Figures{};
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::sort(us.begin(), us.end());
  const Figures f{us.size() / seconds, us[us.size() / 2], us[us.size() * 99 / 100]};
  std::printf("  %-56s %8.0f /s  median %9.1f us  p99 %9.1f us\n", what, f.perSecond, f.medianUs, f.p99Us);
  return f;
}

}  // namespace wf::bench
