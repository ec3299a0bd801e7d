// The trace file: every trace line, time-stamped, while a file is open.
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "broker/corbce.h"
#include "platform/clock.h"
#include "platform/log_file.h"
#include "trace.h"

namespace {

constexpr const char* kDefaultTraceFile = "c:\\Wrenfld.log";
constexpr std::size_t kLineText = 199;

std::mutex& fileLock = *new std::mutex;
// Created owner-only, never through a symbolic link.
std::optional<wf::LogFile>& traceFile = *new std::optional<wf::LogFile>;

void writeRaw(std::string_view text) {
  std::lock_guard lock(fileLock);
  if (traceFile) traceFile->append(text);
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
  auto file =
      wf::LogFile::open(fileName && *fileName ? fileName : kDefaultTraceFile, wf::LogFile::Mode::Replace);
  if (!file) return BCE_OK;
  {
    std::lock_guard lock(fileLock);
    traceFile = std::move(file);
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
  traceFile.reset();
  return BCE_OK;
}
