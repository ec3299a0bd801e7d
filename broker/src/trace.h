#pragma once
// The broker's trace lines. They go to the trace writer while one is set (the
// trace file, or a test's capture); otherwise they cost nothing but a look.
#include <functional>
#include <string_view>

namespace wf::bce {

void bceTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));

using TraceWriter = std::function<void(std::string_view line)>;
void setTraceWriter(TraceWriter writer);  // empty: trace nowhere

// Bytes as "%s[%10ld][%3d][%12s] " (tag, tick count, port or id, label) and
// "%02X " each, wrapped before 80 columns; goes to the dump writer only.
void bceTraceData(const char* tag, int id, const char* label, std::string_view bytes);
void setTraceDumpWriter(TraceWriter writer);

}  // namespace wf::bce
