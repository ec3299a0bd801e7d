#pragma once
// Open-file-description locks on files in the runtime directory. The kernel
// drops them when the holding process dies (also on SIGKILL), which makes them
// the liveness signal for every cross-process object of the platform.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/unique_fd.h"

namespace wf {

class FileLock {
 public:
  // Opens (creating 0600 when missing) the lock file; empty on failure.
  static std::optional<FileLock> open(const std::filesystem::path& path, std::string* error = nullptr);

  FileLock(FileLock&&) noexcept;
  FileLock& operator=(FileLock&&) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock();  // closing the description drops any lock it holds

  bool tryShared();
  bool tryExclusive();
  // Blocks up to `ms` system milliseconds (kInfinite: no limit).
  bool lockShared(std::uint32_t ms);
  bool lockExclusive(std::uint32_t ms);
  void unlock();

  int fd() const { return fd_.get(); }

 private:
  explicit FileLock(UniqueFd fd) : fd_(std::move(fd)) {}
  bool take(short type, std::uint32_t ms);
  UniqueFd fd_;
};

}  // namespace wf
