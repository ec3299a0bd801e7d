#include "platform/runtime_dir.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "hostile_places.h"
#include "platform/shared_memory.h"
#include "platform/trace.h"
#include "platform/window_messages.h"
#include "platform_child.h"
#include "test_dirs.h"

namespace wf {
namespace fs = std::filesystem;

TEST(RuntimeDir, CreatedPrivateOnFirstUse) {
  std::string error;
  auto dir = runtimeDir(&error);
  ASSERT_TRUE(dir) << error;
  EXPECT_EQ(*dir, testing::testRuntimeDir());
  struct stat st {};
  ASSERT_EQ(::stat(dir->c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(RuntimeDir, WrongModeRefusedWithClearMessage) {
  fs::path dir = testing::testRuntimeDir();
  fs::create_directories(dir);
  ::chmod(dir.c_str(), 0755);
  std::string error;
  EXPECT_FALSE(runtimeDir(&error));
  EXPECT_NE(error.find("mode 755"), std::string::npos) << error;
  EXPECT_NE(error.find(dir.string()), std::string::npos) << error;
}

TEST(RuntimeDir, SymlinkRefused) {
  fs::path target = testing::testDataRoot();
  fs::create_directories(target);
  ::chmod(target.c_str(), 0700);
  fs::create_directory_symlink(target, testing::testRuntimeDir());
  // A trailing "/" or "/." would make the check look through the link.
  for (const char* suffix : {"", "/", "/.", "//./"}) {
    ::setenv("WRENFIELD_RUNTIME_DIR", (testing::testRuntimeDir().string() + suffix).c_str(), 1);
    std::string error;
    EXPECT_FALSE(runtimeDir(&error)) << suffix;
    EXPECT_NE(error.find("symbolic link"), std::string::npos) << suffix << ": " << error;
  }
}

TEST(RuntimeDir, PathLeavingNoRoomForTheSocketNamesRefused) {
  const fs::path base = testing::testDataRoot();
  fs::create_directories(base);
  for (std::size_t length :
       {kMaxSocketPath - 1 - kLongestRuntimeName + 1, std::size_t{79}, std::size_t{107}}) {
    const fs::path dir = base / std::string(length - base.native().size() - 1, 'r');
    ASSERT_EQ(dir.native().size(), length);
    ::setenv("WRENFIELD_RUNTIME_DIR", dir.c_str(), 1);
    std::string error;
    EXPECT_FALSE(runtimeDir(&error)) << length;
    EXPECT_NE(error.find("too little room"), std::string::npos) << error;
  }
  const fs::path fits =
      base / std::string(kMaxSocketPath - 1 - kLongestRuntimeName - base.native().size() - 1, 'r');
  ::setenv("WRENFIELD_RUNTIME_DIR", fits.c_str(), 1);
  std::string error;
  EXPECT_TRUE(runtimePath("mailslot/wrenfield%5Cselfcheck.sock", &error)) << error;
}

TEST(RuntimeDir, WrongOwnerRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand a directory to another user";
  fs::path dir = testing::testRuntimeDir();
  fs::create_directories(dir);
  ::chmod(dir.c_str(), 0700);
  ASSERT_EQ(::chown(dir.c_str(), 65534, 65534), 0);
  std::string error;
  EXPECT_FALSE(runtimeDir(&error));
  EXPECT_NE(error.find("owned by uid 65534"), std::string::npos) << error;
}

TEST(RuntimeDir, AFullOneIsRefusedBeforeAnythingIsMapped) {
  std::string why;
  const auto full = testing::mountFullTmpfs(testing::testDataRoot() / "full", &why);
  if (!full) GTEST_SKIP() << "no tmpfs of our own: " << why;
  ::setenv("WRENFIELD_RUNTIME_DIR", full->c_str(), 1);
  std::string error;
  EXPECT_FALSE(SharedMemory::open("bcemem_apphandles", 8192, &error));
  EXPECT_TRUE(error.starts_with("runtime directory full: " + full->string() + "/shm/")) << error;

  std::vector<std::string> traces;
  setPlatformTraceSink([&](std::string_view line) { traces.emplace_back(line); });
  const Hwnd window = createWindow("Full", [](Hwnd, std::uint32_t, WParam, LParam) { return LResult{0}; });
  setPlatformTraceSink({});
  EXPECT_EQ(window, Hwnd{0});
  ASSERT_EQ(traces.size(), 1u);
  EXPECT_TRUE(
      traces[0].starts_with("cannot create window: runtime directory full: " + full->string() + "/win/"))
      << traces[0];
}

TEST(RuntimeDir, FallsBackToXdgRuntimeDir) {
  ::unsetenv("WRENFIELD_RUNTIME_DIR");
  fs::path xdg = testing::testDataRoot() / "xdg";
  fs::create_directories(xdg);
  ::setenv("XDG_RUNTIME_DIR", xdg.c_str(), 1);
  auto dir = runtimeDir();
  ASSERT_TRUE(dir);
  EXPECT_EQ(*dir, xdg / "wrenfield");
}

TEST(RuntimeDir, NameTooLongForSocketRefused) {
  std::string error;
  EXPECT_TRUE(runtimePath("short", &error)) << error;
  EXPECT_FALSE(runtimePath(std::string(200, 'x'), &error));
  EXPECT_NE(error.find("too long"), std::string::npos) << error;
}

TEST(RuntimeDir, ChildProcessSeesSameDirectory) {
  // The harness passes the test's directories on to the processes it starts.
  testing::PlatformChild child;
  EXPECT_EQ(child.runtimeDir(), testing::testRuntimeDir().string());
}

// The hot paths trust a directory verified once; anything that could mean it
// changed must bring the full check back.
TEST(RuntimeDir, CheckedOnceYetVerifiedAgainWhenRenamedOrRemoved) {
  std::string error;
  ASSERT_TRUE(checkedRuntimeDir(&error)) << error;

  const fs::path other = testing::testDataRoot() / "other";
  fs::create_directories(other);
  ::chmod(other.c_str(), 0755);
  ::setenv("WRENFIELD_RUNTIME_DIR", other.c_str(), 1);
  EXPECT_FALSE(checkedRuntimeDir(&error));
  EXPECT_NE(error.find("mode 755"), std::string::npos) << error;

  ::setenv("WRENFIELD_RUNTIME_DIR", testing::testRuntimeDir().c_str(), 1);
  ASSERT_TRUE(checkedRuntimeDir(&error)) << error;
  fs::remove_all(testing::testRuntimeDir());
  EXPECT_TRUE(SharedMemory::open("bcemem_recheck", 4096, &error)) << error;
  struct stat st {};
  ASSERT_EQ(::stat(testing::testRuntimeDir().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

}  // namespace wf
