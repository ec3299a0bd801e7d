// The registry tool, run as a program against the test's own data root.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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
  EXPECT_EQ(wfreg({"set", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Wrenfield\\CorPeer", "Trace", "binary", "01 00ff"})
                .exitCode,
            0);

  // What the tool wrote, the library reads.
  HKEY k = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Corvane\\Wrenfield\\1.0\\Settings", 0, KEY_READ, &k),
            ERROR_SUCCESS);
  DWORD type = 0, v = 0, size = sizeof v;
  EXPECT_EQ(RegQueryValueExA(k, "maxthreads", nullptr, &type, reinterpret_cast<BYTE*>(&v), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(v, 30u);
  char text[64];
  size = sizeof text;
  EXPECT_EQ(RegQueryValueExA(k, "jsfilename", nullptr, &type, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
  EXPECT_EQ(std::string(text, size), std::string("c:\\js \"stats\".dat\0", 18));

  // What the library wrote, the tool shows.
  std::string padded("abc");
  padded.resize(260, '\0');
  ASSERT_EQ(RegSetValueExA(k, "driverupdatepath", 0, REG_SZ, reinterpret_cast<const BYTE*>(padded.data()), 260),
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
  EXPECT_NE(all.out.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Wrenfield\\CorPeer]\n\"Trace\"=binary:01 00 ff\n"),
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

}  // namespace
}  // namespace wf
