#include "ipc_name.h"

#include "platform/runtime_dir.h"

namespace wf::detail {

std::string encodeObjectName(std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(name.size());
  for (unsigned char c : name) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                 c == '-' || c == '.';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out;
}

std::optional<std::filesystem::path> runtimeObjectPath(std::string_view kind, std::string_view name,
                                                       std::string_view suffix, std::string* error) {
  if (name.empty()) {
    if (error) *error = "empty object name";
    return std::nullopt;
  }
  auto dir = checkedRuntimeDir(error);
  if (!dir) return std::nullopt;
  if (!ensurePrivateDir(*dir / kind, false, nullptr)) {
    // Missing or refused: the runtime directory itself may have gone or changed.
    recheckRuntimeDir();
    dir = checkedRuntimeDir(error);
    if (!dir || !ensurePrivateDir(*dir / kind, true, error)) return std::nullopt;
  }
  std::string relative(kind);
  relative += '/';
  relative += encodeObjectName(name);
  relative += suffix;
  return checkedRuntimePath(relative, error);
}

}  // namespace wf::detail
