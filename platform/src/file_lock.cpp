#include "platform/file_lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/clock.h"

namespace wf {

std::optional<FileLock> FileLock::open(const std::filesystem::path& path, std::string* error) {
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd) {
    if (error) *error = "cannot open lock " + path.string() + ": " + std::strerror(errno);
    return std::nullopt;
  }
  return FileLock(std::move(fd));
}

FileLock::FileLock(FileLock&&) noexcept = default;
FileLock& FileLock::operator=(FileLock&&) noexcept = default;
FileLock::~FileLock() = default;

bool FileLock::take(short type, std::uint32_t ms) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  if (ms == 0) return ::fcntl(fd_.get(), F_OFD_SETLK, &fl) == 0;
  if (ms == kInfinite) {
    while (::fcntl(fd_.get(), F_OFD_SETLKW, &fl) != 0) {
      if (errno != EINTR) return false;
    }
    return true;
  }
  // Timed: poll with a short back-off; these locks are held only briefly.
  auto deadline = deadlineAfter(ms);
  auto pause = std::chrono::microseconds(50);
  for (;;) {
    if (::fcntl(fd_.get(), F_OFD_SETLK, &fl) == 0) return true;
    if (errno != EAGAIN && errno != EACCES && errno != EINTR) return false;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::microseconds(5000));
  }
}

bool FileLock::tryShared() {
  return take(F_RDLCK, 0);
}
bool FileLock::tryExclusive() {
  return take(F_WRLCK, 0);
}
bool FileLock::lockShared(std::uint32_t ms) {
  return take(F_RDLCK, ms);
}
bool FileLock::lockExclusive(std::uint32_t ms) {
  return take(F_WRLCK, ms);
}

void FileLock::unlock() {
  struct flock fl {};
  fl.l_type = F_UNLCK;
  fl.l_whence = SEEK_SET;
  ::fcntl(fd_.get(), F_OFD_SETLK, &fl);
}

}  // namespace wf
