#pragma once
// Runs the GUI thread's events until a condition holds, within a generous bound.
#include <QCoreApplication>

#include <chrono>
#include <functional>
#include <thread>

namespace wf::fw::testing {

inline bool pumpUntil(const std::function<bool()>& done, int realMs = 20000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace wf::fw::testing
