#include "ipx_log.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "platform/clock.h"
#include "platform/trace.h"

namespace wf::coripx {

void IpxLog::open() {
  std::string error;
  file_ = LogFile::open(kLogFile, LogFile::Mode::Replace, &error);
  if (!file_) platformTrace(std::string("coripx32: no log \"") + kLogFile + "\": " + error);
}

void IpxLog::write(const char* format, ...) {
  if (!file_) return;
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::vector<char> text(static_cast<std::size_t>(n > 0 ? n : 0) + 1);
  std::vsnprintf(text.data(), text.size(), format, args);
  va_end(args);
  std::string line = std::to_string(static_cast<int>(tickCount())) + " - ";
  line.append(text.data(), text.size() - 1);
  line += "\r\n";
  file_->append(line);
}

}  // namespace wf::coripx
