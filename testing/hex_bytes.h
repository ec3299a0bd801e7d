#pragma once
// Bytes from readable hex ("A5 00 03", blanks and other non-digits ignored) and back.
#include <cstdio>
#include <string>
#include <string_view>

namespace wf::testing {

inline std::string hex(std::string_view spaced) {
  std::string out;
  unsigned value = 0;
  int digits = 0;
  for (char c : spaced) {
    int d = c >= '0' && c <= '9'   ? c - '0'
            : c >= 'A' && c <= 'F' ? c - 'A' + 10
            : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                   : -1;
    if (d < 0) continue;
    value = value << 4 | static_cast<unsigned>(d);
    if (++digits == 2) out.push_back(static_cast<char>(value)), value = 0, digits = 0;
  }
  return out;
}

inline std::string toHex(std::string_view bytes) {
  std::string out;
  char b[4];
  for (unsigned char c : bytes) {
    std::snprintf(b, sizeof b, out.empty() ? "%02X" : " %02X", c);
    out += b;
  }
  return out;
}

}  // namespace wf::testing
