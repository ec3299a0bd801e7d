#include "platform/shared_memory.h"
#include "platform/unique_fd.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <cstring>

#include "ipc_name.h"
#include "platform/clock.h"
#include "platform/file_lock.h"
#include "platform/runtime_dir.h"

namespace wf {

static_assert(std::atomic_ref<std::uint32_t>::is_always_lock_free,
              "shared words must be lock-free to work across processes");

namespace {
void setSharedMemoryError(std::string* error, std::string text) {
  if (error) *error = std::move(text);
}
}  // namespace

std::optional<SharedMemory> SharedMemory::open(std::string_view name, std::size_t size, std::string* error) {
  if (size == 0) {
    setSharedMemoryError(error, "shared memory of size 0");
    return std::nullopt;
  }
  auto dataPath = detail::runtimeObjectPath("shm", name, ".map", error);
  auto guardPath = detail::runtimeObjectPath("shm", name, ".guard", error);
  if (!dataPath || !guardPath) return std::nullopt;

  // The guard makes "take the exclusive lock, reset, step down to shared" one
  // step for everybody else; it is held only for a few system calls, and a
  // holder that dies drops it.
  auto guard = FileLock::open(*guardPath, error);
  if (!guard || !guard->lockExclusive(kInfinite)) {
    if (guard) setSharedMemoryError(error, "cannot take the guard of shared memory " + std::string(name));
    return std::nullopt;
  }
  auto data = FileLock::open(*dataPath, error);
  if (!data) return std::nullopt;
  const int fd = data->fd();

  bool created = false;
  if (data->tryExclusive()) {
    // Nobody maps it: whatever the file holds is left from holders now gone.
    if (::ftruncate(fd, 0) != 0 || ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
      setSharedMemoryError(error, "cannot size shared memory " + std::string(name) + ": " + std::strerror(errno));
      return std::nullopt;
    }
    created = true;
  }
  if (!data->tryShared()) {  // converts our exclusive lock, or joins the other holders
    setSharedMemoryError(error, "cannot take the liveness lock of shared memory " + std::string(name));
    return std::nullopt;
  }
  if (!created) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || static_cast<std::size_t>(st.st_size) < size) {
      setSharedMemoryError(error, "shared memory " + std::string(name) + " exists with " + std::to_string(st.st_size) +
                          " bytes, fewer than the " + std::to_string(size) + " asked for");
      return std::nullopt;
    }
  }
  // Every holder reserves: the first one's reservation may have failed.
  if (!reserveRuntimeFile(fd, size, *dataPath, error)) return std::nullopt;
  // Mapped through a description of its own: a mapping keeps its file open
  // until the kernel tears the address space down, which may come after the
  // process is reaped, and the liveness lock must go with the process.
  void* base = MAP_FAILED;
  if (const UniqueFd mapFd(::open(dataPath->c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW)); mapFd)
    base = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, mapFd.get(), 0);
  if (base == MAP_FAILED) {
    setSharedMemoryError(error, "cannot map shared memory " + std::string(name) + ": " + std::strerror(errno));
    return std::nullopt;
  }
  return SharedMemory(std::move(*data), base, size, created);
}

SharedMemory::SharedMemory(SharedMemory&& o) noexcept
    : holder_(std::move(o.holder_)), base_(o.base_), size_(o.size_), created_(o.created_) {
  o.base_ = nullptr;
  o.size_ = 0;
}

SharedMemory& SharedMemory::operator=(SharedMemory&& o) noexcept {
  if (this != &o) {
    if (base_) ::munmap(base_, size_);
    holder_ = std::move(o.holder_);
    base_ = o.base_;
    size_ = o.size_;
    created_ = o.created_;
    o.base_ = nullptr;
    o.size_ = 0;
  }
  return *this;
}

SharedMemory::~SharedMemory() {
  if (base_) ::munmap(base_, size_);
}

std::atomic_ref<std::uint32_t> SharedMemory::word(std::size_t index) const {
  assert(index < size_ / sizeof(std::uint32_t));
  return std::atomic_ref<std::uint32_t>(static_cast<std::uint32_t*>(base_)[index]);
}

}  // namespace wf
