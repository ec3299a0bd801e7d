#include "cl_log.h"

#include <cstdio>
#include <ctime>

#include "platform/clock.h"

namespace wf::corlink {

std::string hex8(std::uint32_t value) {
  char text[11];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

ClLog::~ClLog() {
  stop();
}

bool ClLog::start(std::uint32_t level, std::string* error) {
  if (level == 0) return true;
  std::string path;
  path += kWindowsDirectory[0];
  path += ":\\";
  path += kLogFileName;
  file_ = LogFile::open(path, LogFile::Mode::Replace, error);
  if (!file_) return false;
  level_ = level;
  writer_ = Thread("corcl32-log", [this](std::stop_token) {
    std::unique_lock hold(mutex_);
    for (;;) {
      queued_.wait(hold, [this] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;  // stop writes what is left
      drain(hold);
    }
  });
  return true;
}

void ClLog::drain(std::unique_lock<std::mutex>& hold) {
  while (!queue_.empty()) {
    std::string entry = std::move(queue_.front());
    queue_.pop_front();
    // Written outside the lock, so loggers never wait for the disk; this
    // thread alone writes, and in queue order.
    hold.unlock();
    file_->append(entry);
    hold.lock();
  }
}

void ClLog::write(std::uint32_t bit, std::initializer_list<std::string_view> texts) {
  if (!on(bit)) return;
  const std::time_t t = now();
  std::tm local{};
  localtime_r(&t, &local);
  char stamp[16];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d: ", local.tm_hour, local.tm_min, local.tm_sec);
  std::string entry = stamp;
  for (std::string_view text : texts) entry += text;
  {
    std::lock_guard hold(mutex_);
    if (stopping_ || !file_) return;
    queue_.push_back(std::move(entry));
  }
  queued_.notify_one();
}

void ClLog::stop() {
  {
    std::lock_guard hold(mutex_);
    if (!file_ || stopping_) return;
    stopping_ = true;
  }
  queued_.notify_all();
  writer_ = Thread();
  std::unique_lock hold(mutex_);
  drain(hold);
  level_ = 0;
}

}  // namespace wf::corlink
