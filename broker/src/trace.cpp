#include "trace.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

namespace wf::bce {

namespace {
// Both outlive static destruction: unload still traces.
std::mutex& writerLock = *new std::mutex;
TraceWriter& writer() {
  static TraceWriter* w = new TraceWriter;
  return *w;
}
}  // namespace

void setTraceWriter(TraceWriter w) {
  std::lock_guard lock(writerLock);
  writer() = std::move(w);
}

void bceTrace(const char* format, ...) {
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
