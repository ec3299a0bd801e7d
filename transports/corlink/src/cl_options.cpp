#include "cl_options.h"

#include <vector>

#include "cl_log.h"
#include "platform/registry.h"

namespace wf::corlink {
namespace {

class StartUpKey {
 public:
  explicit StartUpKey(bool create) {
    const LONG r = create ? RegCreateKeyExA(HKEY_LOCAL_MACHINE, kStartUpKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                            KEY_ALL_ACCESS, nullptr, &key_, nullptr)
                          : RegOpenKeyExA(HKEY_LOCAL_MACHINE, kStartUpKey, 0, KEY_ALL_ACCESS, &key_);
    if (r != ERROR_SUCCESS) key_ = nullptr;
  }
  ~StartUpKey() {
    if (key_) RegCloseKey(key_);
  }
  StartUpKey(const StartUpKey&) = delete;
  StartUpKey& operator=(const StartUpKey&) = delete;

  explicit operator bool() const { return key_ != nullptr; }

  bool missing(const char* name) const {
    DWORD type = 0, size = 0;
    return RegQueryValueExA(key_, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS;
  }

  bool setDword(const char* name, std::uint32_t value) {
    const BYTE bytes[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
                           static_cast<BYTE>(value >> 24)};
    return RegSetValueExA(key_, name, 0, REG_DWORD, bytes, 4) == ERROR_SUCCESS;
  }

  bool setList(const char* name, const std::string& text) {
    std::vector<BYTE> bytes(kListBytes, 0);
    std::copy_n(text.begin(), std::min(text.size(), kListBytes - 1), bytes.begin());
    return RegSetValueExA(key_, name, 0, REG_SZ, bytes.data(), static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
  }

  // The DWORD, or the default (logged when the value is there but unfit).
  std::uint32_t dword(const char* name, ClLog* log, bool writeMissing) {
    DWORD type = 0, size = 4;
    BYTE bytes[4] = {};
    const LONG r = RegQueryValueExA(key_, name, nullptr, &type, bytes, &size);
    if (r == ERROR_FILE_NOT_FOUND) {
      if (writeMissing) setDword(name, 0);
      return 0;
    }
    if (r != ERROR_SUCCESS || type != REG_DWORD || size != 4) {
      if (log) log->write(kLogConnections, {"Registry value ", name, " is not a 4-byte REG_DWORD; using 0\r\n"});
      return 0;
    }
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
  }

  // The text, or "" (logged when the value is there but unfit).
  std::string list(const char* name, ClLog& log, bool writeMissing) {
    DWORD type = 0, size = kListBytes;
    std::vector<BYTE> bytes(kListBytes, 0);
    const LONG r = RegQueryValueExA(key_, name, nullptr, &type, bytes.data(), &size);
    if (r == ERROR_FILE_NOT_FOUND) {
      if (writeMissing) setList(name, "");
      return {};
    }
    if (r != ERROR_SUCCESS || type != REG_SZ) {
      log.write(kLogConnections, {"Registry value ", name, " is not a REG_SZ of at most 1024 bytes; using \"\"\r\n"});
      return {};
    }
    std::string text(bytes.begin(), bytes.begin() + size);
    return text.substr(0, text.find('\0'));
  }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

std::uint32_t prepareStartUpOptions() {
  {
    StartUpKey existing(false);
    if (existing) {
      if (existing.missing(kValueLoggingLevel)) existing.setDword(kValueLoggingLevel, 0);
      return existing.dword(kValueLoggingLevel, nullptr, false);
    }
  }
  StartUpKey created(true);
  if (!created) return 0;
  created.setDword(kValueLoggingLevel, 0);
  created.setDword(kValueOnlyQueues, 0);
  created.setDword(kValueEnumerateDomain, 0);
  created.setList(kValueDomains, "");
  created.setList(kValueServers, "");
  return 0;
}

std::optional<EnumerationOptions> readEnumerationOptions(ClLog& log) {
  StartUpKey key(false);
  if (!key) return std::nullopt;
  EnumerationOptions o;
  o.onlyQueues = key.dword(kValueOnlyQueues, &log, true);
  o.enumerateDomain = key.dword(kValueEnumerateDomain, &log, true);
  o.domains = key.list(kValueDomains, log, true);
  o.servers = key.list(kValueServers, log, true);
  return o;
}

std::optional<std::string> readList(const char* name, ClLog& log) {
  StartUpKey key(false);
  if (!key) return std::nullopt;
  return key.list(name, log, false);
}

bool writeList(const char* name, const std::string& text) {
  StartUpKey key(false);
  return key && text.size() < kListBytes && key.setList(name, text);
}

bool writeDword(const char* name, std::uint32_t value) {
  StartUpKey key(false);
  return key && key.setDword(name, value);
}

}  // namespace wf::corlink
