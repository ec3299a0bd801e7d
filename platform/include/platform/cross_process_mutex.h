#pragma once
// A named mutex that holds across the user's processes (the single-instance
// lock of the main program). Two lock files below the runtime directory carry
// it: every handle holds a shared lock on the presence file, the owner an
// exclusive lock on the owner file. The kernel drops both when a process
// dies, so a crashed holder never leaves the name taken.
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/file_lock.h"

namespace wf {

class CrossProcessMutex {
 public:
  // Creates or opens the mutex `name` (any text; at most kMaxSyncName bytes,
  // and the file name it maps to must fit the runtime directory). *existed is
  // set when another handle, in this or another process, already had it open.
  // Empty with *error set on failure.
  static std::optional<CrossProcessMutex> open(std::string_view name, bool* existed = nullptr,
                                               std::string* error = nullptr);

  CrossProcessMutex(CrossProcessMutex&&) noexcept = default;
  CrossProcessMutex& operator=(CrossProcessMutex&&) noexcept = default;

  // Ownership belongs to this object, not to a thread, and does not nest:
  // one release frees it.
  bool tryAcquire();
  // False when this object does not own the mutex.
  bool release();

 private:
  CrossProcessMutex(FileLock presence, FileLock owner)
      : presence_(std::move(presence)), owner_(std::move(owner)) {}
  FileLock presence_;
  FileLock owner_;
  bool owned_ = false;
};

}  // namespace wf
