#pragma once
// The main program's registry idiom: keys closed when they leave scope,
// texts kept only as terminated non-empty REG_SZ, numbers only when four
// bytes long. Settings, saved windows and filters share it.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app/wf_app.h"
#include "platform/registry.h"

namespace wf::app {

class Key {
 public:
  Key() = default;
  ~Key() {
    if (key_) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }

 private:
  HKEY key_ = nullptr;
};

// Before a registry box, which has no room for it: why the registry failed
// (the hive's or data root's path and the system's error), on standard error
// and in the program's log.
inline void tellRegistryFailure(const char* what) {
  const std::string reason = registryFailureReason();
  const std::string line = std::string(what) + (reason.empty() ? "" : ": " + reason);
  std::fprintf(stderr, "wrenfld: %s\n", line.c_str());
  if (CWFApp* app = WFGetWFApp()) app->Log(0, "%s\n", line.c_str());
}

inline bool openKey(HKEY parent, const char* path, Key& key, bool create) {
  if (!parent) return false;
  if (create) {
    return RegCreateKeyExA(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                           key.out(), nullptr) == ERROR_SUCCESS;
  }
  return RegOpenKeyExA(parent, path, 0, KEY_ALL_ACCESS, key.out()) == ERROR_SUCCESS;
}

// Read into `bytes`; anything but a non-empty REG_SZ ending within them
// answers nothing.
inline std::optional<CString> readText(HKEY key, const char* name, DWORD bytes = WF_REG_TEXT_BYTES) {
  std::vector<char> buffer(bytes, '\0');
  DWORD type = REG_NONE;
  DWORD size = bytes;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
      ERROR_SUCCESS)
    return std::nullopt;
  if (type != REG_SZ || size == 0) return std::nullopt;
  const void* end = std::memchr(buffer.data(), '\0', size);
  if (!end || buffer[0] == '\0') return std::nullopt;
  return CString(buffer.data());
}

// A number: taken when it is exactly four bytes, whatever its type.
template <typename T>
bool readNumber(HKEY key, const char* name, T& value) {
  static_assert(sizeof(T) == 4);
  BYTE buffer[4];
  DWORD type = REG_NONE;
  DWORD size = sizeof buffer;
  if (RegQueryValueExA(key, name, nullptr, &type, buffer, &size) != ERROR_SUCCESS || size != 4) return false;
  std::memcpy(&value, buffer, 4);
  return true;
}

// The text, its terminator and zero padding up to `bytes`.
inline bool writeText(HKEY key, const char* name, const CString& text, DWORD bytes = WF_REG_TEXT_BYTES) {
  std::vector<BYTE> buffer(bytes, 0);
  const size_t length = std::min<size_t>(std::strlen(text), bytes - 1);
  std::memcpy(buffer.data(), static_cast<const char*>(text), length);
  return RegSetValueExA(key, name, 0, REG_SZ, buffer.data(), bytes) == ERROR_SUCCESS;
}

inline bool writeNumber(HKEY key, const char* name, DWORD value) {
  return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4) == ERROR_SUCCESS;
}

// The saved windows' key, below the program's own.
constexpr const char* kWindows = "WFWindows";

inline std::string appPath(const char* section) {
  return std::string(CWFApp::kAppKey) + "\\" + section;
}

inline DWORD subkeyCount(HKEY key) {
  DWORD count = 0;
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr);
  return count;
}

// Walks the saved windows from the last to the first; `visit` answers true
// to stop at a window (its key, its subkey name, its caption).
template <typename Visit>
void walkSavedCaptions(Visit visit) {
  Key windows;
  if (!openKey(HKEY_CURRENT_USER, appPath(kWindows).c_str(), windows, true)) return;
  for (DWORD i = subkeyCount(windows.get()); i-- > 0;) {
    char sub[260] = {};
    DWORD size = sizeof sub;
    if (RegEnumKeyExA(windows.get(), i, sub, &size) != ERROR_SUCCESS) continue;
    Key window;
    if (!openKey(windows.get(), sub, window, false)) continue;
    auto caption = readText(window.get(), "caption");
    if (caption && visit(windows.get(), sub, *caption)) return;
  }
}

}  // namespace wf::app
