#pragma once
// The transaction log of a simulator: lines kept in memory for tests and
// appended to the scenario's log file when one is named.
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"

namespace wf::sim {

class SimLog {
 public:
  bool openFile(const std::filesystem::path& file) {
    std::lock_guard g(mutex_);
    file_.open(file, std::ios::app);
    return file_.is_open();
  }
  void record(const std::string& line) {
    std::lock_guard g(mutex_);
    lines_.push_back(line);
    if (file_.is_open()) file_ << line << std::endl;
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
  std::ofstream file_;
};


}  // namespace wf::sim
