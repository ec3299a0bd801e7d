#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "platform/paths.h"
#include "platform/runtime_dir.h"

namespace wf {
namespace {

namespace fs = std::filesystem;

std::string rootFile(const std::string& name) {
  return (*dataRoot() / name).string();
}

void putFile(const std::string& path, const std::string& bytes, mode_t mode = 0644) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  ::chmod(path.c_str(), mode);
}

std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(SystemIdentity, VersionAndWindowsDirectory) {
  OSVERSIONINFOA info{};
  EXPECT_FALSE(GetVersionExA(&info));  // size not set
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_WINDOWS);
  setPlatformIdForTesting(VER_PLATFORM_WIN32_NT);
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
  setPlatformIdForTesting(std::nullopt);

  char small[5];
  EXPECT_EQ(GetWindowsDirectoryA(small, sizeof small), 11u);
  char buffer[MAX_PATH];
  ASSERT_EQ(GetWindowsDirectoryA(buffer, sizeof buffer), 10u);
  EXPECT_STREQ(buffer, "C:\\WINDOWS");
  EXPECT_TRUE(fs::is_directory(*mapSystemPath(buffer)));
}

std::uint64_t freeBytes(const char* root) {
  DWORD sectors = 0, bytes = 0, freeClusters = 0, total = 0;
  EXPECT_TRUE(GetDiskFreeSpaceA(root, &sectors, &bytes, &freeClusters, &total));
  EXPECT_GE(total, freeClusters);
  return std::uint64_t{sectors} * bytes * freeClusters;
}

TEST(SystemIdentity, FreeSpaceIsTold64BitSafe) {
  for (std::uint64_t wanted : {std::uint64_t{449'999}, std::uint64_t{5} << 30, std::uint64_t{3} << 40}) {
    SCOPED_TRACE(wanted);
    setFreeDiskSpaceForTesting(wanted);
    EXPECT_EQ(freeBytes("C:\\"), wanted);
  }
  setFreeDiskSpaceForTesting(std::nullopt);
  // The real figure, whatever its size, within one cluster of statvfs's.
  EXPECT_GT(freeBytes("C:\\"), 0u);
  EXPECT_FALSE(GetDiskFreeSpaceA("/no/such/disk", nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(TempFileNames, MadeExclusivelyAndNamedAsAsked) {
  char first[MAX_PATH], second[MAX_PATH];
  UINT a = GetTempFileNameA("C:", "cor", 0, first);
  UINT b = GetTempFileNameA("C:", "cor", 0, second);
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);
  EXPECT_NE(a, b);
  EXPECT_TRUE(std::regex_match(first, std::regex(R"(C:\\COR[0-9A-F]{4}\.TMP)"))) << first;
  EXPECT_NE(std::string(first), std::string(second));
  for (const char* name : {first, second}) {
    auto path = mapSystemPath(name);
    ASSERT_TRUE(path);
    EXPECT_TRUE(fs::is_regular_file(*path));
    EXPECT_EQ(fs::file_size(*path), 0u);
  }
  // A Linux directory keeps its own separator; a given number only names.
  const std::string dir = dataRoot()->string();
  ASSERT_EQ(GetTempFileNameA(dir.c_str(), "wf", 0x1A2B, first), 0x1A2Bu);
  EXPECT_EQ(std::string(first), dir + "/WF1A2B.TMP");
  EXPECT_FALSE(fs::exists(first));

  EXPECT_EQ(GetTempFileNameA("/no/such/dir", "cor", 0, first), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetTempFileNameA(std::string(300, 'x').c_str(), "cor", 0, first), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
}

TEST(FileCopies, CopyKeepsBytesModeAndTimesAndRefusesToOverwrite) {
  const std::string source = rootFile("cinstall.exe");
  putFile(source, std::string("\x7f" "ELF and more", 13), 0755);
  const struct timespec times[2] = {{1'000'000, 0}, {2'000'000, 500}};
  ASSERT_EQ(::utimensat(AT_FDCWD, source.c_str(), times, 0), 0);

  const std::string target = rootFile("copy.exe");
  ASSERT_TRUE(CopyFileA(source.c_str(), target.c_str(), TRUE));
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);  // before a read moves the access time
  EXPECT_EQ(st.st_mode & 07777, 0755u);
  EXPECT_EQ(st.st_mtim.tv_sec, 2'000'000);
  EXPECT_EQ(st.st_atim.tv_sec, 1'000'000);
  EXPECT_EQ(fileBytes(target), fileBytes(source));

  putFile(target, "kept");
  EXPECT_FALSE(CopyFileA(source.c_str(), target.c_str(), TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_EQ(fileBytes(target), "kept");
  EXPECT_TRUE(CopyFileA(source.c_str(), target.c_str(), FALSE));
  EXPECT_EQ(fileBytes(target), fileBytes(source));

  EXPECT_FALSE(CopyFileA(rootFile("missing").c_str(), rootFile("other").c_str(), TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(fs::exists(rootFile("other")));

  // Times alone, from one file to another.
  putFile(rootFile("later"), "x");
  ASSERT_TRUE(copyFileTimes(source.c_str(), rootFile("later").c_str()));
  ASSERT_EQ(::stat(rootFile("later").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 2'000'000);
  EXPECT_FALSE(copyFileTimes(rootFile("missing").c_str(), rootFile("later").c_str()));
}

TEST(FileCopies, AttributesAndDirectoryRemoval) {
  const std::string file = rootFile("readonly.txt");
  putFile(file, "x", 0444);
  ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL));
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IWUSR);
  EXPECT_EQ(st.st_mode & 0555, 0444u);
  ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0444u);
  EXPECT_FALSE(SetFileAttributesA(file.c_str(), 0x02));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(SetFileAttributesA(rootFile("missing").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  const std::string dir = rootFile("COR1234.TMP");
  fs::create_directory(dir);
  putFile(dir + "/SETUP.LST", "x");
  struct Case {
    std::string path;
    DWORD error;
  };
  const Case refusals[] = {
      {dir, static_cast<DWORD>(ERROR_DIR_NOT_EMPTY)},
      {rootFile("none"), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)},
      {rootFile("none/deeper"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND)},
  };
  for (const Case& c : refusals) {
    SCOPED_TRACE(c.path);
    EXPECT_FALSE(RemoveDirectoryA(c.path.c_str()));
    EXPECT_EQ(GetLastError(), c.error);
  }
  fs::remove(dir + "/SETUP.LST");
  EXPECT_TRUE(RemoveDirectoryA(dir.c_str()));
  EXPECT_FALSE(fs::exists(dir));
  // System paths map below the data root.
  fs::create_directories(*mapSystemPath("C:\\") / "EMPTY");
  EXPECT_TRUE(RemoveDirectoryA("C:\\empty"));
}

}  // namespace
}  // namespace wf
