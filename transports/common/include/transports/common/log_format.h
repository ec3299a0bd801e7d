#pragma once
// The transports' logs take printf-style messages; this formats one whole.
#include <cstdarg>
#include <string>

namespace wf::adapter {

std::string formatLogText(const char* format, va_list args);

}  // namespace wf::adapter
