#include "settings.h"

#include <cstring>
#include <vector>

#include "nw_log.h"
#include "platform/registry.h"

namespace wf::netware {
namespace {

class Subkey {
 public:
  explicit Subkey(const char* name) : name_(name) {
    const std::string path = std::string(kSettingsKey) + "\\" + name;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key_, nullptr) != ERROR_SUCCESS)
      key_ = nullptr;
  }
  ~Subkey() {
    if (key_) RegCloseKey(key_);
  }
  Subkey(const Subkey&) = delete;
  Subkey& operator=(const Subkey&) = delete;

  // The value's bytes when it has `type` and (for a fixed size) `size`;
  // written with `fallback` when missing; else the fallback.
  std::vector<std::uint8_t> read(const char* value, DWORD type, std::vector<std::uint8_t> fallback,
                                 bool fixedSize) {
    if (!key_) return fallback;
    DWORD actualType = 0, size = 0;
    if (RegQueryValueExA(key_, value, nullptr, &actualType, nullptr, &size) != ERROR_SUCCESS) {
      RegSetValueExA(key_, value, 0, type, fallback.data(), static_cast<DWORD>(fallback.size()));
      return fallback;
    }
    std::vector<std::uint8_t> bytes(size);
    if (RegQueryValueExA(key_, value, nullptr, &actualType, bytes.data(), &size) != ERROR_SUCCESS ||
        actualType != type || (fixedSize && size != fallback.size())) {
      nwLog().write("Registry value %s\\%s has an unexpected type or size; using its default\n", name_,
                    value);
      return fallback;
    }
    bytes.resize(size);
    return bytes;
  }

  void write(const char* value, DWORD type, const std::vector<std::uint8_t>& bytes) {
    if (key_) RegSetValueExA(key_, value, 0, type, bytes.data(), static_cast<DWORD>(bytes.size()));
  }

  std::string readText(const char* value, const std::string& fallback, std::size_t limit) {
    std::vector<std::uint8_t> f(fallback.begin(), fallback.end());
    f.push_back(0);
    const auto bytes = read(value, REG_SZ, f, false);
    std::string text(bytes.begin(), bytes.end());
    text = text.substr(0, text.find('\0'));
    return text.substr(0, limit);
  }

 private:
  const char* name_;
  HKEY key_ = nullptr;
};

}  // namespace

SearchSettings readSearchSettings() {
  Subkey key("Search Options");
  SearchSettings s;
  s.method = key.read("Search Method", REG_BINARY, {2}, true)[0];
  if (s.method == 4) {
    const auto n = key.read("Network Number", REG_BINARY, {0, 0, 0, 0}, true);
    std::memcpy(s.network.data(), n.data(), 4);
  }
  return s;
}

void writeSearchSettings(const SearchSettings& s) {
  Subkey key("Search Options");
  key.write("Search Method", REG_BINARY, {s.method});
  key.write("Network Number", REG_BINARY, {s.network.begin(), s.network.end()});
}

LogSettings readLogSettings() {
  Subkey key("Debug Options");
  LogSettings s;
  s.level = key.read("Logging Level", REG_BINARY, {0}, true)[0];
  s.path = key.readText("Log File Path", s.path, 260);
  s.name = key.readText("Log File Name", s.name, 260);
  return s;
}

CaptureSettings readCaptureSettings() {
  Subkey key("Enumeration Options");
  CaptureSettings s;
  const auto wait = key.read("Capture Enum Wait", REG_DWORD, {44, 1, 0, 0}, true);
  s.enumWaitSeconds = std::uint32_t{wait[0]} | std::uint32_t{wait[1]} << 8 | std::uint32_t{wait[2]} << 16 |
                      std::uint32_t{wait[3]} << 24;
  s.ignoreRprinter = key.read("Ignore RPRINTER Capture", REG_BINARY, {0}, true)[0] != 0;
  return s;
}

}  // namespace wf::netware
