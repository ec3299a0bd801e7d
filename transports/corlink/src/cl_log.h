#pragma once
// CORCL32's log, "CORCL32.LOG" in the root of the Windows directory's drive,
// made afresh at each load. Each message is one entry, "HH:MM:SS: " (local
// time) and its texts joined as given; an entry is written when its level
// bit is set in "Logging Level". Entries are queued and one writer thread
// writes them, so no caller waits for the disk.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/log_file.h"
#include "platform/thread.h"

namespace wf::corlink {

// Level bits of "Logging Level".
constexpr std::uint32_t kLogData = 0x01;         // NetWrite's data and its replies
constexpr std::uint32_t kLogFrames = 0x02;       // frame read and write errors
constexpr std::uint32_t kLogConnections = 0x04;  // enumeration, connections, pipes, registry
constexpr std::uint32_t kLogLoad = 0x20;         // load, shutdown, entry-point errors
constexpr std::uint32_t kLogAlerts = 0x40;       // the alert reader
constexpr std::uint32_t kLogAdmin = 0x80;        // adapter administration

constexpr const char* kWindowsDirectory = "C:\\WINDOWS";
constexpr const char* kLogFileName = "CORCL32.LOG";

// "0x%08X", the form every error number is logged in.
std::string hex8(std::uint32_t value);

class ClLog {
 public:
  ClLog() = default;
  ~ClLog();
  ClLog(const ClLog&) = delete;
  ClLog& operator=(const ClLog&) = delete;

  // Opens the file and starts the writer when `level` is nonzero; false
  // (nothing left open) when either fails.
  bool start(std::uint32_t level, std::string* error = nullptr);
  bool on(std::uint32_t bit) const { return (level_ & bit) != 0; }
  void write(std::uint32_t bit, std::initializer_list<std::string_view> texts);
  // Writes every queued entry and ends the writer; later entries are dropped.
  void stop();

 private:
  void drain(std::unique_lock<std::mutex>& hold);

  std::atomic<std::uint32_t> level_{0};  // read by every logging thread
  std::optional<LogFile> file_;
  std::mutex mutex_;  // the log mutex: the queue and the file
  std::condition_variable queued_;
  std::deque<std::string> queue_;
  bool stopping_ = false;
  Thread writer_;
};

}  // namespace wf::corlink
