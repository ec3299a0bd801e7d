#include "platform/thread.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/clock.h"
#include "platform/trace.h"

namespace wf {

ThreadId currentThreadId() {
  thread_local const ThreadId id = static_cast<ThreadId>(::syscall(SYS_gettid));
  return id;
}

struct Thread::State {
  std::string name;
  std::jthread thread;
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  ThreadId id = 0;
};

Thread::Thread(std::string name, std::function<void(std::stop_token)> body)
    : state_(std::make_shared<State>()) {
  state_->name = std::move(name);
  // The thread keeps its own reference: an abandoned thread may outlive us.
  auto state = state_;
  state_->thread = std::jthread([state, body = std::move(body)](std::stop_token stop) {
    pthread_setname_np(pthread_self(), state->name.substr(0, 15).c_str());
    {
      std::lock_guard lock(state->m);
      state->id = currentThreadId();
    }
    body(stop);
    std::lock_guard lock(state->m);
    state->done = true;
    state->cv.notify_all();
  });
}

Thread::Thread(Thread&&) noexcept = default;

Thread& Thread::operator=(Thread&& other) noexcept {
  if (this != &other) {
    if (joinable()) {
      requestStop();
      state_->thread.join();
    }
    state_ = std::move(other.state_);
  }
  return *this;
}

Thread::~Thread() {
  if (joinable()) {
    requestStop();
    state_->thread.join();
  }
}

bool Thread::joinable() const {
  return state_ && state_->thread.joinable();
}

void Thread::requestStop() {
  if (state_) state_->thread.request_stop();
}

ThreadId Thread::id() const {
  if (!state_) return 0;
  std::lock_guard lock(state_->m);
  return state_->id;
}

const std::string& Thread::name() const {
  static const std::string none;
  return state_ ? state_->name : none;
}

bool Thread::finished() const {
  if (!state_) return true;
  std::lock_guard lock(state_->m);
  return state_->done;
}

bool Thread::joinFor(std::uint32_t ms) {
  if (!joinable()) return true;
  {
    std::unique_lock lock(state_->m);
    auto deadline = deadlineAfter(ms);
    bool done = deadline == std::chrono::steady_clock::time_point::max()
                    ? (state_->cv.wait(lock, [&] { return state_->done; }), true)
                    : state_->cv.wait_until(lock, deadline, [&] { return state_->done; });
    if (!done) {
      lock.unlock();
      platformTrace("abandoning thread \"" + state_->name + "\" that did not end in time");
      state_->thread.detach();
      return false;
    }
  }
  state_->thread.join();
  return true;
}

}  // namespace wf
