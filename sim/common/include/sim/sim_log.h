#pragma once
// The transaction log of a simulator: lines kept in memory for tests and
// appended to the scenario's log file when one is named.
#include <condition_variable>
#include <filesystem>
#include <optional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/log_file.h"

namespace wf::sim {

class SimLog {
 public:
  // Only a regular file is taken, so a FIFO or device named as the log never blocks.
  bool openFile(const std::filesystem::path& file, std::string* error = nullptr) {
    std::lock_guard g(mutex_);
    file_ = LogFile::openPath(file, LogFile::Mode::Append, error);
    return file_.has_value();
  }
  void record(const std::string& line) {
    std::lock_guard g(mutex_);
    lines_.push_back(line);
    if (file_) file_->append(line + "\n");
    logged_.notify_all();
  }
  std::vector<std::string> lines() const {
    std::lock_guard g(mutex_);
    return lines_;
  }
  // Waits up to `ms` system milliseconds for a line containing `text`.
  bool waitFor(std::string_view text, std::uint32_t ms) const {
    std::unique_lock g(mutex_);
    return logged_.wait_until(g, deadlineAfter(ms), [&] {
      for (const std::string& line : lines_)
        if (line.find(text) != std::string::npos) return true;
      return false;
    });
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable logged_;
  std::vector<std::string> lines_;
  std::optional<LogFile> file_;
};


}  // namespace wf::sim
