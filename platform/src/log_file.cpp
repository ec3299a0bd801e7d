#include "platform/log_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/paths.h"
#include "platform/regular_file.h"

namespace wf {

std::optional<LogFile> LogFile::open(std::string_view systemPath, Mode mode, std::string* error) {
  auto path = mapSystemPath(systemPath, error);
  if (!path) return std::nullopt;
  return openPath(*path, mode, error);
}

std::optional<LogFile> LogFile::openPath(const std::filesystem::path& path, Mode mode, std::string* error) {
  int flags = O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW;
  if (mode == Mode::Replace) flags |= O_TRUNC;
  std::string why;
  UniqueFd fd = openRegularFile(path, flags, &why);
  if (!fd) {
    if (error) *error = "cannot open log " + why;
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
