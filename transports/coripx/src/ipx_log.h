#pragma once
// CORIPX32's trace: "c:\coripx.log", made anew when the registry's "Trace"
// is on; each line is the tick count as "%d - ", the message as given (some
// carry their own "\n") and "\r\n". A log that cannot be made is no log.
#include <optional>
#include <string>

#include "platform/log_file.h"

namespace wf::coripx {

inline constexpr char kLogFile[] = "c:\\coripx.log";

class IpxLog {
 public:
  void open();
  bool on() const { return file_.has_value(); }
  void write(const char* format, ...) __attribute__((format(printf, 2, 3)));

 private:
  std::optional<LogFile> file_;
};

}  // namespace wf::coripx
