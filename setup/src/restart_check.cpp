#include "setup/restart_check.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "framework/wnd.h"
#include "platform/registry.h"
#include "platform/restart.h"
#include "platform/window_messages.h"
#include "setup/checks.h"

namespace wf::setup {

namespace {

BOOL collectTopLevel(Hwnd window, LParam windows) {
  reinterpret_cast<std::vector<Hwnd>*>(windows)->push_back(window);
  return TRUE;
}

}  // namespace

bool takeRebootFlag() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kInstallationKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return false;
  DWORD type = REG_NONE, size = 0;
  std::string flag;
  if (RegQueryValueExA(key, "RebootFlag", nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
    std::vector<BYTE> data(size);
    if (RegQueryValueExA(key, "RebootFlag", nullptr, &type, data.data(), &size) == ERROR_SUCCESS) {
      // Read as text, up to its terminator or its end when it has none.
      flag.assign(data.begin(), data.begin() + size);
      flag.resize(std::min(flag.find('\0'), flag.size()));
      RegSetValueExA(key, "RebootFlag", 0, type, reinterpret_cast<const BYTE*>("0"), 2);
    }
  }
  RegCloseKey(key);
  return std::strtol(flag.c_str(), nullptr, 10) != 0;
}

bool restartWhenEveryoneAgrees() {
  std::vector<Hwnd> windows;
  EnumWindows(collectTopLevel, reinterpret_cast<LParam>(&windows));
  for (Hwnd window : windows) {
    if (isWindowOfThisProcess(window)) continue;
    auto answer = sendMessage(window, WM_QUERYENDSESSION, 0, 0);
    if (!answer || *answer == 0) return false;
  }
  return ExitWindowsEx(EWX_REBOOT, 0) != FALSE;
}

}  // namespace wf::setup
