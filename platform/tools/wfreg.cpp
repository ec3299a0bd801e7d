// wfreg: looks at and changes the registry from the shell.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace {

using namespace wf;

constexpr int kFailed = 1;
constexpr int kUsage = 2;

int usage(const char* why = nullptr) {
  if (why) std::fprintf(stderr, "wfreg: %s\n", why);
  std::fprintf(stderr,
               "usage: wfreg dump [key]\n"
               "       wfreg get <key> <name>\n"
               "       wfreg set <key> <name> sz|expand_sz|dword|binary <value>\n"
               "       wfreg delete <key> [name]   (without a name: the key and all below it)\n"
               "keys start with HKEY_CURRENT_USER (HKCU) or HKEY_LOCAL_MACHINE (HKLM), e.g.\n"
               "HKCU\\Software\\Corvane\\Wrenfield\\1.0\\Settings; \"\" names the default value\n");
  return kUsage;
}

int failed(const std::string& what, LONG code) {
  const std::string why = registryFailureReason();
  if (why.empty()) {
    std::fprintf(stderr, "wfreg: %s: error %d\n", what.c_str(), static_cast<int>(code));
  } else {
    std::fprintf(stderr, "wfreg: %s: %s (error %d)\n", what.c_str(), why.c_str(), static_cast<int>(code));
  }
  return kFailed;
}

struct KeyPath {
  HKEY root;
  std::string sub;  // below the root, possibly empty
};

std::optional<KeyPath> parseKey(std::string_view text) {
  auto sep = text.find('\\');
  const auto root = registryRootByName(text.substr(0, sep));
  if (!root) return std::nullopt;
  return KeyPath{*root, std::string(sep == std::string_view::npos ? std::string_view() : text.substr(sep + 1))};
}

int dump(int argc, char** argv) {
  if (argc > 1) return usage("dump takes at most one key");
  std::string text;
  if (argc == 0) {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      std::string part;
      if (LONG r = registryDump(root, nullptr, &part); r != ERROR_SUCCESS) return failed("dump", r);
      text += part;
    }
  } else {
    auto key = parseKey(argv[0]);
    if (!key) return usage("unknown root key");
    if (LONG r = registryDump(key->root, key->sub.c_str(), &text); r != ERROR_SUCCESS)
      return failed(argv[0], r);
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;
}

int get(int argc, char** argv) {
  if (argc != 2) return usage("get needs a key and a value name");
  auto path = parseKey(argv[0]);
  if (!path) return usage("unknown root key");
  HKEY key = nullptr;
  if (LONG r = RegOpenKeyExA(path->root, path->sub.c_str(), 0, KEY_READ, &key); r != ERROR_SUCCESS)
    return failed(argv[0], r);
  DWORD type = 0, size = 0;
  LONG r = RegQueryValueExA(key, argv[1], nullptr, &type, nullptr, &size);
  std::string data(size, '\0');
  if (r == ERROR_SUCCESS)
    r = RegQueryValueExA(key, argv[1], nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
  RegCloseKey(key);
  if (r != ERROR_SUCCESS) return failed(std::string(argv[0]) + " " + argv[1], r);
  data.resize(size);
  std::printf("%s\n", registryFormatValue(type, data).c_str());
  return 0;
}

int set(int argc, char** argv) {
  if (argc != 4) return usage("set needs a key, a value name, a type and a value");
  auto path = parseKey(argv[0]);
  if (!path) return usage("unknown root key");
  auto data = registryValueFromText(argv[2], argv[3]);
  if (!data) return usage("the value does not fit the type (sz, expand_sz, dword, binary)");
  HKEY key = nullptr;
  if (LONG r = RegCreateKeyExA(path->root, path->sub.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                               KEY_ALL_ACCESS, nullptr, &key, nullptr);
      r != ERROR_SUCCESS)
    return failed(argv[0], r);
  LONG r = RegSetValueExA(key, argv[1], 0, data->first, reinterpret_cast<const BYTE*>(data->second.data()),
                          static_cast<DWORD>(data->second.size()));
  RegCloseKey(key);
  return r == ERROR_SUCCESS ? 0 : failed(std::string(argv[0]) + " " + argv[1], r);
}

int remove(int argc, char** argv) {
  if (argc < 1 || argc > 2) return usage("delete needs a key and at most one value name");
  auto path = parseKey(argv[0]);
  if (!path) return usage("unknown root key");
  if (argc == 1) {
    if (path->sub.empty()) return usage("a root key cannot be deleted");
    LONG r = RegDeleteKeyA(path->root, path->sub.c_str());
    return r == ERROR_SUCCESS ? 0 : failed(argv[0], r);
  }
  HKEY key = nullptr;
  if (LONG r = RegOpenKeyExA(path->root, path->sub.c_str(), 0, KEY_WRITE, &key); r != ERROR_SUCCESS)
    return failed(argv[0], r);
  LONG r = RegDeleteValueA(key, argv[1]);
  RegCloseKey(key);
  return r == ERROR_SUCCESS ? 0 : failed(std::string(argv[0]) + " " + argv[1], r);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  std::string_view command = argv[1];
  if (command == "dump") return dump(argc - 2, argv + 2);
  if (command == "get") return get(argc - 2, argv + 2);
  if (command == "set") return set(argc - 2, argv + 2);
  if (command == "delete") return remove(argc - 2, argv + 2);
  return usage("unknown command");
}
