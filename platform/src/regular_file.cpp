#include "platform/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace wf {

namespace {

UniqueFd refuseFile(const std::filesystem::path& path, const std::string& why, int code, std::string* error) {
  if (error) *error = path.string() + ": " + why;
  errno = code;
  return UniqueFd();
}

const char* notRegular(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return "is a directory, not a file";
  return S_ISREG(st.st_mode) ? nullptr : "is not a regular file";
}

}  // namespace

UniqueFd openRegularFile(const std::filesystem::path& path, int flags, std::string* error, mode_t mode) {
  // Looked at first so a FIFO that nobody reads is told as what it is.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0)
    if (const char* why = notRegular(st)) return refuseFile(path, why, EINVAL, error);
  // Non-blocking only to open: a FIFO put in its place would otherwise hang here.
  UniqueFd fd(::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, mode));
  if (!fd) {
    const int code = errno;
    return refuseFile(path, std::strerror(code), code, error);
  }
  if (::fstat(fd.get(), &st) != 0) {
    const int code = errno;
    return refuseFile(path, std::strerror(code), code, error);
  }
  if (const char* why = notRegular(st)) return refuseFile(path, why, EINVAL, error);
  const int status = ::fcntl(fd.get(), F_GETFL);
  if (status < 0 || ::fcntl(fd.get(), F_SETFL, status & ~O_NONBLOCK) != 0) {
    const int code = errno;
    return refuseFile(path, std::strerror(code), code, error);
  }
  return fd;
}

std::FILE* openRegularStream(const std::filesystem::path& path, int flags, const char* mode,
                             std::string* error) {
  UniqueFd fd = openRegularFile(path, flags, error);
  std::FILE* stream = fd ? ::fdopen(fd.get(), mode) : nullptr;
  if (!stream) {
    if (fd && error) *error = path.string() + ": " + std::strerror(errno);
    return nullptr;
  }
  fd.release();  // the stream owns it now
  return stream;
}

std::optional<std::string> readRegularFile(const std::filesystem::path& path, std::size_t limit,
                                           std::string* error, int flags) {
  const UniqueFd fd = openRegularFile(path, O_RDONLY | flags, error);
  if (!fd) return std::nullopt;
  const auto tooLarge = [&] {
    if (error) *error = path.string() + ": larger than " + std::to_string(limit) + " bytes";
    errno = EFBIG;
    return std::nullopt;
  };
  struct stat st {};
  if (::fstat(fd.get(), &st) == 0 && static_cast<std::uintmax_t>(st.st_size) > limit) return tooLarge();
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int code = errno;
      if (error) *error = path.string() + ": " + std::strerror(code);
      errno = code;
      return std::nullopt;
    }
    if (n == 0) return text;
    // It may have grown since it was measured.
    if (text.size() + static_cast<std::size_t>(n) > limit) return tooLarge();
    text.append(buffer, static_cast<std::size_t>(n));
  }
}

}  // namespace wf
