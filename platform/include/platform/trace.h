#pragma once
// Diagnostics of the platform itself (dropped messages, abandoned threads).
// The system's own logs have their own writers; this is for faults that must
// be visible but cannot be reported through a return value.
#include <functional>
#include <string>
#include <string_view>

namespace wf {

void platformTrace(std::string_view line);

// Replaces the sink (default: standard error when WRENFIELD_TRACE is set,
// otherwise nowhere). Tests install a capturing sink. Empty restores the default.
void setPlatformTraceSink(std::function<void(std::string_view)> sink);

}  // namespace wf
