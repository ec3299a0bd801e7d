#pragma once
// The module's trace log "c:\corpeer.log": a line only when the file is
// open and the line's level is below the "Trace" level of the registry.
#include <cstdarg>
#include <cstdint>
#include <mutex>
#include <optional>

#include "platform/log_file.h"

namespace wf::peer {

constexpr const char* kCorPeerKey = "SOFTWARE\\Corvane\\Wrenfield\\CorPeer";

class PeerTrace {
 public:
  // Reads (or creates with 0) the "Trace" value and opens the file when it is nonzero.
  void open();
  // "%08ld: " with the tick count, the message cut at its first "\n" then
  // its first "\r", then "\r\n".
  void line(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
  int level() const { return level_; }

 private:
  std::mutex mutex_;
  std::optional<LogFile> file_;
  int level_ = 0;
};

}  // namespace wf::peer
