#include "platform/trace.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace wf {
namespace {
std::mutex sinkMutex;
std::function<void(std::string_view)> sink;
}  // namespace

void platformTrace(std::string_view line) {
  std::lock_guard lock(sinkMutex);
  if (sink) {
    sink(line);
  } else if (std::getenv("WRENFIELD_TRACE")) {
    std::fprintf(stderr, "wrenfield: %.*s\n", static_cast<int>(line.size()), line.data());
  }
}

void setPlatformTraceSink(std::function<void(std::string_view)> s) {
  std::lock_guard lock(sinkMutex);
  sink = std::move(s);
}

}  // namespace wf
