#include "trace.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

#include "platform/clock.h"

namespace wf::bce {

namespace {
// Both outlive static destruction: unload still traces.
std::mutex& writerLock = *new std::mutex;
// Whether a writer is set: every call of every thread asks, so without a
// trace it costs neither the lock nor the format.
std::atomic<bool> writing{false};
TraceWriter& writer() {
  static TraceWriter* w = new TraceWriter;
  return *w;
}
TraceWriter& dumpWriter() {
  static TraceWriter* w = new TraceWriter;
  return *w;
}
constexpr std::size_t kDumpLineEnd = 69;  // a line this long is continued on the next
}  // namespace

void setTraceWriter(TraceWriter w) {
  std::lock_guard lock(writerLock);
  writer() = std::move(w);
  writing = static_cast<bool>(writer());
}

void setTraceDumpWriter(TraceWriter w) {
  std::lock_guard lock(writerLock);
  dumpWriter() = std::move(w);
}

void bceTraceData(const char* tag, int id, const char* label, std::string_view bytes) {
  std::lock_guard lock(writerLock);
  if (!dumpWriter()) return;
  char head[128];
  const int n = std::snprintf(head, sizeof head, "%s[%10ld][%3d][%12s] ", tag,
                              static_cast<long>(wf::tickCount()), id, label);
  const std::string indent(static_cast<std::size_t>(std::clamp(n, 0, 60)), ' ');
  std::string out = head, line = head;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    char b[4];
    std::snprintf(b, sizeof b, "%02X ", static_cast<unsigned char>(bytes[i]));
    out += b;
    line += b;
    if (line.size() >= kDumpLineEnd && i + 1 < bytes.size()) {
      out += "...\r\n" + indent;
      line = indent;
    }
  }
  out += "\r\n";
  dumpWriter()(out);
}

void bceTrace(const char* format, ...) {
  if (!writing.load(std::memory_order_relaxed)) return;
  std::lock_guard lock(writerLock);
  if (!writer()) return;
  char line[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  writer()(line);
}

}  // namespace wf::bce
