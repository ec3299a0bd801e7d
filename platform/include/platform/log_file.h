#pragma once
// A log of the system's own, opened by its own path (through the path mapping)
// and written a line at a time exactly as the caller formatted it: each log
// keeps its line format. Every line reaches the file before append returns, so
// the file is readable after each line. Safe to share between threads.
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/unique_fd.h"

namespace wf {

class LogFile {
 public:
  enum class Mode {
    Append,   // keep what the file holds
    Replace,  // empty it first (the logs created afresh at each start)
  };

  // Creates the file 0600 when missing; only a regular file is taken. Empty
  // with *error set on failure.
  static std::optional<LogFile> open(std::string_view systemPath, Mode mode, std::string* error = nullptr);
  // The same by a path of this machine (the simulators' logs).
  static std::optional<LogFile> openPath(const std::filesystem::path& path, Mode mode,
                                         std::string* error = nullptr);

  LogFile(LogFile&&) noexcept = default;
  LogFile& operator=(LogFile&&) noexcept = default;

  // Writes `line` as given, in one piece; false when the write failed.
  bool append(std::string_view line);

 private:
  struct State {
    explicit State(UniqueFd f) : fd(std::move(f)) {}
    std::mutex mutex;
    UniqueFd fd;
  };
  explicit LogFile(UniqueFd fd) : state_(std::make_unique<State>(std::move(fd))) {}
  std::unique_ptr<State> state_;
};

}  // namespace wf
