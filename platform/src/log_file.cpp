#include "platform/log_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/paths.h"

namespace wf {

std::optional<LogFile> LogFile::open(std::string_view systemPath, Mode mode, std::string* error) {
  auto path = mapSystemPath(systemPath, error);
  if (!path) return std::nullopt;
  int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW;
  if (mode == Mode::Replace) flags |= O_TRUNC;
  UniqueFd fd(::open(path->c_str(), flags, 0600));
  if (!fd) {
    if (error) *error = "cannot open log " + path->string() + ": " + std::strerror(errno);
    return std::nullopt;
  }
  return LogFile(std::move(fd));
}

bool LogFile::append(std::string_view line) {
  std::lock_guard lock(state_->mutex);
  while (!line.empty()) {
    ssize_t n = ::write(state_->fd.get(), line.data(), line.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    line.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace wf
