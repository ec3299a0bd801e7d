// The registry tool, run as a program against the test's own data root.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "hostile_places.h"
#include "platform/registry.h"
#include "platform/runtime_dir.h"

extern char** environ;

namespace wf {
namespace {

namespace fs = std::filesystem;

struct ToolRun {
  int exitCode = -1;
  std::string out, err;
};

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

ToolRun wfreg(std::vector<std::string> args) {
  fs::path tool = fs::read_symlink("/proc/self/exe").parent_path() / "wfreg";
  fs::path dir = *dataRoot();
  fs::path out = dir / "wfreg.out", err = dir / "wfreg.err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  args.insert(args.begin(), tool.string());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  ToolRun r;
  pid_t pid = -1;
  int rc = posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    r.err = std::strerror(rc);
    return r;
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = slurp(out);
  r.err = slurp(err);
  return r;
}

TEST(Wfreg, SetGetDumpDeleteRoundTrip) {
  const std::string key = "HKCU\\Software\\Corvane\\Wrenfield\\1.0\\Settings";
  EXPECT_EQ(wfreg({"set", key, "maxthreads", "dword", "0x1e"}).exitCode, 0);
  EXPECT_EQ(wfreg({"set", key, "jsfilename", "sz", "c:\\js \"stats\".dat"}).exitCode, 0);
  EXPECT_EQ(wfreg({"set", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Wrenfield\\CorPeer", "Trace", "binary",
                   "01 00ff"})
                .exitCode,
            0);

  // What the tool wrote, the library reads.
  HKEY k = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Corvane\\Wrenfield\\1.0\\Settings", 0, KEY_READ, &k),
            ERROR_SUCCESS);
  DWORD type = 0, v = 0, size = sizeof v;
  EXPECT_EQ(RegQueryValueExA(k, "maxthreads", nullptr, &type, reinterpret_cast<BYTE*>(&v), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(v, 30u);
  char text[64];
  size = sizeof text;
  EXPECT_EQ(RegQueryValueExA(k, "jsfilename", nullptr, &type, reinterpret_cast<BYTE*>(text), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::string(text, size), std::string("c:\\js \"stats\".dat\0", 18));

  // What the library wrote, the tool shows.
  std::string padded("abc");
  padded.resize(260, '\0');
  ASSERT_EQ(
      RegSetValueExA(k, "driverupdatepath", 0, REG_SZ, reinterpret_cast<const BYTE*>(padded.data()), 260),
      ERROR_SUCCESS);
  RegCloseKey(k);
  ToolRun got = wfreg({"get", key, "DRIVERUPDATEPATH"});
  EXPECT_EQ(got.exitCode, 0);
  EXPECT_EQ(got.out, "sz[260]:\"abc\"\n");
  EXPECT_EQ(wfreg({"get", "hklm\\software\\corvane\\wrenfield\\corpeer", "trace"}).out, "binary:01 00 ff\n");

  ToolRun dump = wfreg({"dump", "HKCU\\Software\\Corvane"});
  EXPECT_EQ(dump.exitCode, 0);
  EXPECT_EQ(dump.out,
            "[HKEY_CURRENT_USER\\Software\\Corvane]\n"
            "[HKEY_CURRENT_USER\\Software\\Corvane\\Wrenfield]\n"
            "[HKEY_CURRENT_USER\\Software\\Corvane\\Wrenfield\\1.0]\n"
            "[HKEY_CURRENT_USER\\Software\\Corvane\\Wrenfield\\1.0\\Settings]\n"
            "\"maxthreads\"=dword:0x0000001e\n"
            "\"jsfilename\"=sz:\"c:\\\\js \\\"stats\\\".dat\"\n"
            "\"driverupdatepath\"=sz[260]:\"abc\"\n");
  ToolRun all = wfreg({"dump"});
  EXPECT_NE(all.out.find(
                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Wrenfield\\CorPeer]\n\"Trace\"=binary:01 00 ff\n"),
            std::string::npos)
      << all.out;

  EXPECT_EQ(wfreg({"delete", key, "maxthreads"}).exitCode, 0);
  EXPECT_EQ(wfreg({"get", key, "maxthreads"}).exitCode, 1);
  EXPECT_EQ(wfreg({"delete", "HKCU\\Software\\Corvane"}).exitCode, 0);
  ToolRun gone = wfreg({"dump", "HKCU\\Software\\Corvane"});
  EXPECT_EQ(gone.exitCode, 1);
  EXPECT_NE(gone.err.find("error 2"), std::string::npos) << gone.err;
}

TEST(Wfreg, UsageErrorsSayWhatIsWrong) {
  struct Case {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{}, "usage:"},
      {{"frobnicate"}, "unknown command"},
      {{"get", "HKCU\\Software"}, "get needs"},
      {{"set", "HKCR\\x", "n", "sz", "v"}, "unknown root key"},
      {{"set", "HKCU\\x", "n", "dword", "12abc"}, "does not fit"},
      {{"set", "HKCU\\x", "n", "dword", "0x100000000"}, "does not fit"},
      {{"set", "HKCU\\x", "n", "binary", "0g"}, "does not fit"},
      {{"set", "HKCU\\x", "n", "qword", "1"}, "does not fit"},
      {{"delete", "HKCU"}, "root key cannot be deleted"},
  };
  for (const auto& c : cases) {
    ToolRun r = wfreg(c.args);
    EXPECT_EQ(r.exitCode, 2) << c.message;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  // Nothing was written by the refused commands.
  HKEY k = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "x", 0, KEY_READ, &k), ERROR_FILE_NOT_FOUND);
}

// Hives and paths made to hurt: each is refused with its reason or handled,
// never a crash, and what is written stays in proportion to what it holds.
TEST(Wfreg, AHiveThatIsNoFileIsRefusedWithoutHanging) {
  const fs::path hive = *registryHivePath(HKEY_CURRENT_USER);
  ASSERT_TRUE(ensurePrivateDir(hive.parent_path(), true, nullptr));
  for (const auto& place : testing::hostilePlaces()) {
    SCOPED_TRACE(place.what);
    testing::makeHostile(place.kind, hive);
    ToolRun r = wfreg({"dump", "HKCU"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find(hive.string()), std::string::npos) << r.err;
    if (place.regular) {
      // Read within the hive's bound, found damaged and set aside.
      EXPECT_NE(r.err.find("kept as "), std::string::npos) << r.err;
    } else {
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
  }
}

TEST(Wfreg, HostileHivesAndPathsAreRefusedWithTheirReason) {
  const fs::path hive = *registryHivePath(HKEY_CURRENT_USER);
  ASSERT_TRUE(ensurePrivateDir(hive.parent_path(), true, nullptr));
  std::string deepAbsolute = "WRENFIELD REGISTRY 1\n[", deepRelative = "WRENFIELD REGISTRY 1\n[k]\n";
  for (int i = 0; i < 50'000; ++i) {
    deepAbsolute += i ? "\\k" : "k";
    deepRelative += "[\\k]\n";
  }
  deepAbsolute += "]\n\"v\"=dword:0x00000001\n";
  std::string garbage(1 << 20, '\0');
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>((i * 2654435761u) >> 13);
  struct Case {
    const char* what;
    std::string text;
    const char* reason;
  } files[] = {
      {"a key 50,000 levels deep", deepAbsolute, "deeper than 512 levels"},
      {"a chain of 50,000 relative sections", deepRelative, "deeper than 512 levels"},
      {"a key name of 300 characters", "WRENFIELD REGISTRY 1\n[" + std::string(300, 'n') + "]\n",
       "longer than 255 characters"},
      {"a value that says it has 100 MB", "WRENFIELD REGISTRY 1\n[k]\n\"v\"=sz[100000000]:\"x\"\n",
       "bad value"},
      {"garbage", "WRENFIELD REGISTRY 1\n" + garbage, "line 2"},
      {"a relative section first", "WRENFIELD REGISTRY 1\n[\\k]\n", "without a key before it"},
  };
  for (const auto& c : files) {
    std::ofstream(hive, std::ios::binary | std::ios::trunc) << c.text;
    ToolRun r = wfreg({"dump", "HKCU"});
    EXPECT_EQ(r.exitCode, 1) << c.what << ": " << r.err;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << c.what << ": " << r.err;
    // The damaged file is kept aside, and its new name said once.
    const auto said = r.err.find("kept as ");
    ASSERT_NE(said, std::string::npos) << c.what << ": " << r.err;
    EXPECT_EQ(r.err.find("kept as ", said + 1), std::string::npos) << r.err;
    const std::string aside = r.err.substr(said + 8, r.err.find(',', said) - said - 8);
    EXPECT_EQ(slurp(aside), c.text) << c.what;
    fs::remove(aside);
    EXPECT_EQ(wfreg({"dump", "HKCU"}).exitCode, 0) << c.what;  // a fresh hive from then on
  }

  // Through the tool and the calls: the limits hold with a clear reason.
  std::string tooDeep = "HKCU";
  for (int i = 0; i < 600; ++i) tooDeep += "\\k";
  const struct {
    std::vector<std::string> args;
    const char* reason;
  } sets[] = {
      {{"set", tooDeep, "v", "dword", "1"}, "deeper than 512 levels"},
      {{"set", "HKCU\\" + std::string(300, 'n'), "v", "dword", "1"}, "key name of 300 characters"},
  };
  for (const auto& c : sets) {
    ToolRun r = wfreg(c.args);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
  }
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Big", 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const std::string huge(100u << 20, 'x');
  EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_BINARY, reinterpret_cast<const BYTE*>(huge.data()),
                           static_cast<DWORD>(huge.size())),
            ERROR_INVALID_PARAMETER);
  EXPECT_NE(registryFailureReason().find("104857600 bytes"), std::string::npos) << registryFailureReason();
  RegCloseKey(key);

  // The deepest key allowed, with the longest names: the file grows with the
  // keys, not with the square of their depth.
  std::string path;
  for (int i = 0; i < 512; ++i) path += (i ? "\\" : "") + std::string(255, static_cast<char>('a' + i % 26));
  ASSERT_EQ(
      RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
      ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_LT(fs::file_size(hive), 2 * path.size());
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (path + "\\one more").c_str(), 0, nullptr, 0, KEY_WRITE,
                            nullptr, &key, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
  RegCloseKey(key);
  ToolRun dump = wfreg({"dump", "HKCU"});
  EXPECT_EQ(dump.exitCode, 0) << dump.err;
  EXPECT_LT(dump.out.size(), 2 * path.size());
}

}  // namespace
}  // namespace wf
