#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "platform/registry.h"

namespace wf {

namespace {

int registryHexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::optional<HKEY> registryRootByName(std::string_view name) {
  std::string upper(name);
  for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper == "HKEY_CURRENT_USER" || upper == "HKCU") return HKEY_CURRENT_USER;
  if (upper == "HKEY_LOCAL_MACHINE" || upper == "HKLM") return HKEY_LOCAL_MACHINE;
  return std::nullopt;
}

std::optional<std::pair<DWORD, std::string>> registryValueFromText(std::string_view type,
                                                                   const std::string& value) {
  if (type == "sz" || type == "expand_sz") {
    return std::pair{type == "sz" ? REG_SZ : REG_EXPAND_SZ, value + '\0'};
  }
  if (type == "dword") {
    errno = 0;
    char* end = nullptr;
    unsigned long long v = std::strtoull(value.c_str(), &end, 0);
    if (value.empty() || value[0] == '-' || *end || errno || v > 0xFFFFFFFFull) return std::nullopt;
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((v >> (8 * i)) & 0xff);
    return std::pair{REG_DWORD, bytes};
  }
  if (type == "binary") {
    std::string bytes, digits;
    for (char c : value)
      if (c != ' ') digits += c;
    if (digits.size() % 2) return std::nullopt;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
      int hi = registryHexDigit(digits[i]), lo = registryHexDigit(digits[i + 1]);
      if (hi < 0 || lo < 0) return std::nullopt;
      bytes += static_cast<char>(hi * 16 + lo);
    }
    return std::pair{REG_BINARY, bytes};
  }
  return std::nullopt;
}

}  // namespace wf
