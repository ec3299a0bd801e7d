#include "setup/restart_check.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "platform/registry.h"
#include "platform/runtime_dir.h"
#include "platform/window_messages.h"
#include "setup/checks.h"
#include "window_client.h"

namespace wf::setup {
namespace {

void setFlag(DWORD type, const std::string& data) {
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kInstallationKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(k, "RebootFlag", 0, type, reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
  RegCloseKey(k);
}

std::string flagAfter(DWORD* type) {
  HKEY k = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kInstallationKey, 0, KEY_READ, &k) != ERROR_SUCCESS) return "<no key>";
  char data[16] = {};
  DWORD size = sizeof data;
  LONG result = RegQueryValueExA(k, "RebootFlag", nullptr, type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(k);
  return result == ERROR_SUCCESS ? std::string(data, size) : "<no value>";
}

TEST(SetupRestart, TheFlagIsReadAndResetInItsType) {
  struct Case {
    const char* what;
    DWORD type;
    std::string value;
    bool restart;
  };
  const Case cases[] = {
      {"one", REG_SZ, std::string("1", 2), true},
      {"zero", REG_SZ, std::string("0", 2), false},
      {"not a number", REG_SZ, std::string("abc", 4), false},
      {"unterminated", REG_SZ, "1", true},
      {"binary", REG_BINARY, "12", true},
      {"empty", REG_SZ, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    setFlag(c.type, c.value);
    EXPECT_EQ(takeRebootFlag(), c.restart);
    DWORD type = 0;
    EXPECT_EQ(flagAfter(&type), std::string("0", 2));
    EXPECT_EQ(type, c.type);
  }
  // No key: nothing, and none made.
  RegDeleteKeyA(HKEY_CURRENT_USER, kInstallationKey);
  EXPECT_FALSE(takeRebootFlag());
  DWORD type = 0;
  EXPECT_EQ(flagAfter(&type), "<no key>");
}

std::vector<std::string> shutdownLog() {
  std::ifstream in(*dataRoot() / "shutdown.log");
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(SetupRestart, AskedOnlyWhenEveryOtherWindowAgrees) {
  testing::ChildProcess agreeing, refusing;
  testing::WindowClient agree(agreeing), refuse(refusing);
  ASSERT_NE(agree.create("Corvane", "agree"), 0u);
  ASSERT_NE(agree.create("WrenfieldMainFrame", "agree"), 0u);
  // Setup's own windows are never asked.
  Hwnd own = createWindow("Setup", [](Hwnd, std::uint32_t, WParam, LParam) -> LResult { return 0; });
  ASSERT_NE(own, 0u);

  EXPECT_TRUE(restartWhenEveryoneAgrees());
  const std::string request = "restart requested by setup_tests";
  EXPECT_EQ(shutdownLog(), std::vector<std::string>{request});

  ASSERT_NE(refuse.create("BusyEditor"), 0u);  // answers 0
  EXPECT_FALSE(restartWhenEveryoneAgrees());
  EXPECT_EQ(shutdownLog(), std::vector<std::string>{request});

  refusing.kill(SIGKILL);
  EXPECT_TRUE(restartWhenEveryoneAgrees());
  EXPECT_EQ(shutdownLog(), (std::vector<std::string>{request, request}));
  destroyWindow(own);
}

}  // namespace
}  // namespace wf::setup
