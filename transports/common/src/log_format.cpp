#include "transports/common/log_format.h"

#include <cstdio>
#include <vector>

namespace wf::adapter {

std::string formatLogText(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (n <= 0) return {};
  std::vector<char> text(static_cast<std::size_t>(n) + 1);
  std::vsnprintf(text.data(), text.size(), format, args);
  return std::string(text.data(), static_cast<std::size_t>(n));
}

}  // namespace wf::adapter
