#pragma once
// Waits for something another thread or process does. The budget is in the
// system's milliseconds and scaled like every wait of the system, but never
// below a floor of real time, so a loaded machine (or a sanitizer build)
// still gets there. Header-only: helper processes use it too.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>

#include "platform/clock.h"

namespace wf::testing {

constexpr std::uint32_t kEventuallyBudget = 20'000;
constexpr std::chrono::seconds kEventuallyFloor{5};

// Asks `predicate` until it holds or the budget is spent; true when it held.
// It is asked once more after the budget, so a result that arrives just in
// time still counts.
template <typename Predicate>
bool eventually(Predicate&& predicate, std::uint32_t budgetMs = kEventuallyBudget) {
  const auto budget = std::max<std::chrono::steady_clock::duration>(scaled(budgetMs), kEventuallyFloor);
  const auto deadline = std::chrono::steady_clock::now() + budget;
  while (std::chrono::steady_clock::now() < deadline) {
    if (predicate()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return predicate();
}

}  // namespace wf::testing
