#pragma once
// Threads are never killed: each is asked to stop through its stop token,
// which wakes every blocking wait of the platform, and joined with a bound.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>

namespace wf {

using ThreadId = std::uint32_t;

// The kernel id of the calling thread (stable, never 0).
ThreadId currentThreadId();

class Thread {
 public:
  Thread() = default;
  // Starts `body` on a new thread named `name` (cut to 15 bytes for the kernel).
  Thread(std::string name, std::function<void(std::stop_token)> body);
  Thread(Thread&&) noexcept;
  Thread& operator=(Thread&&) noexcept;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  // Requests stop and joins without bound: destroy only threads that will end.
  ~Thread();

  bool joinable() const;
  void requestStop();
  ThreadId id() const;  // 0 until the thread has started running
  const std::string& name() const;

  // Waits up to `ms` system milliseconds for the thread to end. A thread still
  // running then is abandoned (logged, detached, left to finish on its own)
  // and false returned.
  bool joinFor(std::uint32_t ms);
  bool finished() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace wf
