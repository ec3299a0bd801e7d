#pragma once
// The one clock of the system. Every wait, sleep and time-out is given in the
// system's own milliseconds and scaled by WRENFIELD_TIME_SCALE, so tests can
// run the long waits quickly. kInfinite is never scaled.
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <stop_token>

namespace wf {

constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

// Milliseconds since an arbitrary start, wrapping at 2^32 like the original tick count.
std::uint32_t tickCount();

// The factor applied to every wait (default 1; read once from the environment).
double timeScale();
void setTimeScaleForTest(double scale);

// The real duration of a wait of `ms` system milliseconds. kInfinite maps to max().
std::chrono::steady_clock::duration scaled(std::uint32_t ms);

// A point in steady time `ms` system milliseconds from now (max() for kInfinite).
std::chrono::steady_clock::time_point deadlineAfter(std::uint32_t ms);

// Milliseconds (real, unscaled) left until `deadline`, clamped to [0, INT32_MAX]; -1 for max().
int msUntil(std::chrono::steady_clock::time_point deadline);

// Sleeps `ms` system milliseconds. Returns false when woken early by `stop`.
bool sleepFor(std::uint32_t ms, std::stop_token stop = {});

// Calendar time; replaceable in tests of age rules.
std::time_t now();
void setNowForTest(std::function<std::time_t()> source);  // empty restores the real clock

}  // namespace wf
