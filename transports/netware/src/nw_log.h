#pragma once
// Cornw32's log: off at level 0; otherwise each message is appended as
// formatted, with "\r" and its terminating NUL, opening and closing the file
// per message so the log is whole whenever the process ends.
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace wf::netware {

class NwLog {
 public:
  // `path` and `name` as the registry gives them; a "\" is put between them
  // when the path lacks one. The file is deleted: each load starts afresh.
  void start(std::uint8_t level, std::string path, const std::string& name);
  void write(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // The Linux file, when logging is on and the name maps.
  std::optional<std::string> file() const;

 private:
  mutable std::mutex mutex_;
  std::uint8_t level_ = 0;
  std::string file_;  // mapped; empty: nowhere to write
  bool warned_ = false;
};

NwLog& nwLog();

}  // namespace wf::netware
