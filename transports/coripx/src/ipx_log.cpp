#include "ipx_log.h"

#include <cstdarg>

#include "platform/clock.h"
#include "platform/trace.h"
#include "transports/common/log_format.h"

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
  std::string line = std::to_string(static_cast<int>(tickCount())) + " - " + ::wf::adapter::formatLogText(format, args);
  va_end(args);
  line += "\r\n";
  file_->append(line);
}

}  // namespace wf::coripx
