// The trace file: every trace line, time-stamped, while a file is open.
#include <cstdio>
#include <mutex>
#include <string>

#include "broker/corbce.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "trace.h"

namespace {

constexpr const char* kDefaultTraceFile = "c:\\Wrenfld.log";
constexpr std::size_t kLineText = 199;

std::mutex& fileLock = *new std::mutex;
std::FILE* traceFile = nullptr;

void writeRaw(std::string_view text) {
  std::lock_guard lock(fileLock);
  if (!traceFile) return;
  std::fwrite(text.data(), 1, text.size(), traceFile);
  std::fflush(traceFile);
}

void writeLine(std::string_view text) {
  std::string body(text.substr(0, kLineText));
  while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) body.pop_back();
  char line[256];
  std::snprintf(line, sizeof line, "time=%10ld : %s\n\r", static_cast<long>(wf::tickCount()), body.c_str());
  writeRaw(line);
}

}  // namespace

int32_t BceStartTraceMF(const char* fileName, uint32_t) {
  const auto path = wf::mapSystemPath(fileName && *fileName ? fileName : kDefaultTraceFile);
  if (!path) return BCE_OK;
  std::FILE* f = std::fopen(path->c_str(), "w");
  if (!f) return BCE_OK;
  {
    std::lock_guard lock(fileLock);
    if (traceFile) std::fclose(traceFile);
    traceFile = f;
  }
  wf::bce::setTraceWriter(writeLine);
  wf::bce::setTraceDumpWriter(writeRaw);
  writeLine("Trace file opened\n");
  return BCE_OK;
}

int32_t BceStopTraceMF(void) {
  wf::bce::setTraceWriter({});
  wf::bce::setTraceDumpWriter({});
  std::lock_guard lock(fileLock);
  if (traceFile) std::fclose(traceFile);
  traceFile = nullptr;
  return BCE_OK;
}
