#include "platform/process.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "eventually.h"
#include "platform/paths.h"
#include "platform/runtime_dir.h"

namespace wf {
namespace {

namespace fs = std::filesystem;

// A program that writes its arguments and its parent's pid to its first argument.
void writeRecorder(const fs::path& at, bool executable = true) {
  fs::create_directories(at.parent_path());
  std::ofstream(at) << "#!/bin/sh\nout=$1\nshift\necho \"$* ppid=$PPID\" > \"$out.tmp\"\nmv \"$out.tmp\" \"$out\"\n";
  fs::permissions(at, executable ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write);
}

std::string waitForText(const fs::path& file) {
  testing::eventually([&] { return fs::exists(file); });
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class WinExecTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = *dataRoot() / "programs";
    fs::create_directories(dir);
    ::setenv("WRENFIELD_MODULE_PATH", ("/nonexistent:" + dir.string()).c_str(), 1);
  }
  void TearDown() override { ::unsetenv("WRENFIELD_MODULE_PATH"); }
  fs::path dir;
};

TEST_F(WinExecTest, BareNamesAreFoundAsGivenOrLowerCasedWithoutExe) {
  writeRecorder(dir / "recorder");
  const fs::path out = dir / "out1";
  EXPECT_GT(winExec(("RECORDER.EXE " + out.string() + " a  b").c_str(), SW_SHOWNA), 31u);
  // Started apart from us: its parent is not this process, and nothing is left to reap.
  const std::string text = waitForText(out);
  EXPECT_EQ(text.substr(0, 4), "a b ");
  EXPECT_NE(text, "a b ppid=" + std::to_string(::getpid()) + "\n");
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);

  writeRecorder(dir / "Mixed.exe");
  EXPECT_GT(winExec(("Mixed.exe " + (dir / "out2").string() + " x").c_str(), SW_SHOWNA), 31u);
  EXPECT_EQ(waitForText(dir / "out2").substr(0, 2), "x ");
}

TEST_F(WinExecTest, SystemPathsAreMapped) {
  auto mapped = mapSystemPath("c:\\tools\\run.exe");
  ASSERT_TRUE(mapped);
  writeRecorder(*mapped);
  const fs::path out = dir / "out";
  EXPECT_GT(winExec(("C:\\TOOLS\\RUN.EXE " + out.string() + " mapped").c_str(), SW_SHOWNA), 31u);
  EXPECT_EQ(waitForText(out).substr(0, 7), "mapped ");
}

TEST_F(WinExecTest, MissingOrUnrunnableProgramsAreTold) {
  EXPECT_EQ(winExec("NOSUCH.EXE", SW_SHOWNA), 2u);
  EXPECT_EQ(winExec("", SW_SHOWNA), 2u);
  EXPECT_EQ(winExec(nullptr, SW_SHOWNA), 2u);
  EXPECT_EQ(winExec("c:\\missing\\prog.exe", SW_SHOWNA), 2u);
  // Not executable: not taken on the search path, refused by exec as a system path.
  writeRecorder(dir / "plain", false);
  EXPECT_EQ(winExec("plain", SW_SHOWNA), 2u);
  auto mapped = mapSystemPath("c:\\plain.exe");
  ASSERT_TRUE(mapped);
  writeRecorder(*mapped, false);
  EXPECT_EQ(winExec("c:\\plain.exe", SW_SHOWNA), 11u);
}

}  // namespace
}  // namespace wf
