#pragma once
// Named shared memory across the user's processes. A block lives while any
// process maps it, also after others crash; the process that finds nobody
// else mapping it starts it afresh, zero-filled, and is told it created it.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file_lock.h"

namespace wf {

class SharedMemory {
 public:
  // Maps the block `name` (case-sensitive) of `size` bytes, creating it when
  // nobody maps it. Empty with *error set when the name is unusable, or when
  // the existing block is smaller than `size`.
  static std::optional<SharedMemory> open(std::string_view name, std::size_t size,
                                          std::string* error = nullptr);

  SharedMemory(SharedMemory&&) noexcept;
  SharedMemory& operator=(SharedMemory&&) noexcept;
  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;
  ~SharedMemory();  // the block ends with its last holder

  // True when this mapping started the block (no other holder existed).
  bool created() const { return created_; }
  std::size_t size() const { return size_; }

  // The 32-bit word at byte offset 4 * index; index < size() / 4.
  std::atomic_ref<std::uint32_t> word(std::size_t index) const;

 private:
  SharedMemory(FileLock holder, void* base, std::size_t size, bool created)
      : holder_(std::move(holder)), base_(base), size_(size), created_(created) {}

  FileLock holder_;  // the mapped file, with our shared liveness lock on it
  void* base_ = nullptr;
  std::size_t size_ = 0;
  bool created_ = false;
};

}  // namespace wf
