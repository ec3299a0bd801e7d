#include "nw_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "platform/paths.h"
#include "platform/regular_file.h"
#include "platform/trace.h"
#include "platform/unique_fd.h"
#include "transports/common/log_format.h"

namespace wf::netware {

void NwLog::start(std::uint8_t level, std::string path, const std::string& name) {
  std::lock_guard g(mutex_);
  level_ = level;
  file_.clear();
  warned_ = false;  // a new load may name another log
  if (!path.empty() && path.back() != '\\') path += '\\';
  const std::string systemName = path + name;
  if (name.empty()) return;
  std::string error;
  const auto mapped = mapSystemPath(systemName, &error);
  if (!mapped) {
    platformTrace("cornw32: log \"" + systemName + "\" cannot be mapped: " + error);
    return;
  }
  std::error_code ec;
  std::filesystem::remove(*mapped, ec);
  file_ = mapped->string();
}

void NwLog::write(const char* format, ...) {
  std::lock_guard g(mutex_);
  if (level_ == 0 || file_.empty()) return;
  va_list args;
  va_start(args, format);
  std::string text = ::wf::adapter::formatLogText(format, args);
  va_end(args);
  text += '\r';
  text += '\0';
  std::string why;
  const UniqueFd fd = openRegularFile(file_, O_WRONLY | O_CREAT | O_APPEND, &why);
  if (!fd) {
    if (!warned_) platformTrace("cornw32: log cannot be written (" + why + "); messages are lost");
    warned_ = true;
    return;
  }
  const ssize_t written = ::write(fd.get(), text.data(), text.size());
  (void)written;
}

std::optional<std::string> NwLog::file() const {
  std::lock_guard g(mutex_);
  if (level_ == 0 || file_.empty()) return std::nullopt;
  return file_;
}

NwLog& nwLog() {
  static NwLog log;
  return log;
}

}  // namespace wf::netware
