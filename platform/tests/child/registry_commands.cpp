#include <cstdio>
#include <string>

#include "child_commands.h"
#include "platform/registry.h"

namespace wf::testing {
namespace {

HKEY hiveNamed(const std::string& name) {
  return name == "hklm" ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

std::string hex(const BYTE* data, DWORD size) {
  std::string out;
  char b[4];
  for (DWORD i = 0; i < size; ++i) {
    std::snprintf(b, sizeof b, "%02x", data[i]);
    out += b;
  }
  return out;
}

}  // namespace

// reg-get <hkcu|hklm> <key> <name>: "ok <type> <hex bytes>" or "err <code>".
WF_CHILD_COMMAND("reg-get", [](const ChildArgs& a) -> std::string {
  if (a.size() != 3) return "err usage: reg-get <hive> <key> <name>";
  HKEY key = nullptr;
  LONG r = RegOpenKeyExA(hiveNamed(a[0]), a[1].c_str(), 0, KEY_READ, &key);
  if (r != ERROR_SUCCESS) return "err " + std::to_string(r);
  DWORD type = 0, size = 0;
  r = RegQueryValueExA(key, a[2].c_str(), nullptr, &type, nullptr, &size);
  std::string data(size, '\0');
  if (r == ERROR_SUCCESS)
    r = RegQueryValueExA(key, a[2].c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
  RegCloseKey(key);
  if (r != ERROR_SUCCESS) return "err " + std::to_string(r);
  return "ok " + std::to_string(type) + " " + hex(reinterpret_cast<const BYTE*>(data.data()), size);
});

// reg-set-dword <hive> <key> <name> <number>: creates the key when missing.
WF_CHILD_COMMAND("reg-set-dword", [](const ChildArgs& a) -> std::string {
  if (a.size() != 4) return "err usage: reg-set-dword <hive> <key> <name> <number>";
  HKEY key = nullptr;
  LONG r = RegCreateKeyExA(hiveNamed(a[0]), a[1].c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                           nullptr, &key, nullptr);
  if (r != ERROR_SUCCESS) return "err " + std::to_string(r);
  DWORD v = static_cast<DWORD>(std::stoul(a[3]));
  r = RegSetValueExA(key, a[2].c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
  RegCloseKey(key);
  return r == ERROR_SUCCESS ? "ok" : "err " + std::to_string(r);
});

// reg-fill <hive> <key> <prefix> <count>: values <prefix>0.. each its own
// write, holding their index.
WF_CHILD_COMMAND("reg-fill", [](const ChildArgs& a) -> std::string {
  if (a.size() != 4) return "err usage: reg-fill <hive> <key> <prefix> <count>";
  HKEY key = nullptr;
  LONG r = RegCreateKeyExA(hiveNamed(a[0]), a[1].c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                           nullptr, &key, nullptr);
  if (r != ERROR_SUCCESS) return "err " + std::to_string(r);
  DWORD count = static_cast<DWORD>(std::stoul(a[3]));
  for (DWORD i = 0; i < count && r == ERROR_SUCCESS; ++i) {
    std::string name = a[2] + std::to_string(i);
    r = RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&i), sizeof i);
  }
  RegCloseKey(key);
  return r == ERROR_SUCCESS ? "ok" : "err " + std::to_string(r);
});

}  // namespace wf::testing
