#include "setup/checks.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "named_program.h"
#include "platform/file_system.h"
#include "platform/process_list.h"
#include "platform/registry.h"
#include "platform/runtime_dir.h"
#include "platform/unique_fd.h"
#include "setup/file_list.h"

namespace wf::setup {
namespace {

namespace fs = std::filesystem;

// A distribution directory below the data root, with its separator.
std::string diskDirectory() {
  const fs::path dir = *dataRoot() / "disk";
  fs::create_directories(dir);
  return dir.string() + "/";
}

void writeText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// A file of `size` bytes that takes no room (sparse).
void sizedFile(const std::string& path, std::uint64_t size) {
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  ASSERT_TRUE(fd);
  ASSERT_EQ(::ftruncate(fd.get(), static_cast<off_t>(size)), 0);
}

TEST(SetupChecks, PlatformAndSingleInstance) {
  EXPECT_TRUE(platformSupported());
  setPlatformIdForTesting(VER_PLATFORM_WIN32_NT);
  EXPECT_FALSE(platformSupported());
  setPlatformIdForTesting(std::nullopt);

  // This test program stands for no setup; one named so is setup's own.
  testing::NamedProgram first("one/setup");
  ASSERT_TRUE(testing::runsItsImage(first, "setup"));
  EXPECT_FALSE(anotherSetupRuns());
  testing::NamedProgram second("two/setup");
  ASSERT_TRUE(testing::runsItsImage(second, "setup"));
  EXPECT_TRUE(anotherSetupRuns());
  second.end();
  EXPECT_FALSE(anotherSetupRuns());
  setProcessListUnreadableForTesting(true);
  EXPECT_TRUE(anotherSetupRuns());
  setProcessListUnreadableForTesting(false);
}

TEST(SetupChecks, SpaceNeededCountsCompressedFilesThreeAndAHalfTimes) {
  const std::string disk = diskDirectory();
  sizedFile(disk + "A.EXE", 100'000);
  sizedFile(disk + "B.DL_", 100'000);
  sizedFile(disk + "C.DL_", 3);  // 3 + 7 (2.5 times, cut)
  writeText(disk + kFileListName, "-s arguments\nA.EXE\n\tB.DL_ trailing words\n \r\nC.DL_\r\n");
  SpaceNeeded need = spaceNeeded(disk);
  EXPECT_FALSE(need.missingFile);
  EXPECT_EQ(need.bytes, 450'000u + 10u);

  setFreeDiskSpaceForTesting(449'999 + 10);
  EXPECT_LT(freeBytesOnWindowsDrive(), need.bytes);
  setFreeDiskSpaceForTesting(450'000 + 10);
  EXPECT_EQ(freeBytesOnWindowsDrive(), need.bytes);

  // More than 4 GiB on both sides: nothing wraps.
  sizedFile(disk + "BIG1.CAB", std::uint64_t{9} << 29);  // 4.5 GiB together
  sizedFile(disk + "BIG2.CAB", std::uint64_t{0});
  writeText(disk + kFileListName, "line 1\nBIG1.CAB\nBIG2.CAB\n");
  EXPECT_EQ(spaceNeeded(disk).bytes, std::uint64_t{9} << 29);
  setFreeDiskSpaceForTesting(std::uint64_t{5} << 30);
  EXPECT_GE(freeBytesOnWindowsDrive(), spaceNeeded(disk).bytes);
  setFreeDiskSpaceForTesting(std::nullopt);

  struct Case {
    const char* list;
    std::uint64_t bytes;
    const char* missing;
  };
  const Case cases[] = {
      {"only line 1\n", 0, nullptr},
      {"", 0, nullptr},
      {"line 1\nA.EXE\nNOPE.EXE\nB.DL_\n", 100'000, "NOPE.EXE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    writeText(disk + kFileListName, c.list);
    need = spaceNeeded(disk);
    EXPECT_EQ(need.bytes, c.bytes);
    ASSERT_EQ(need.missingFile.has_value(), c.missing != nullptr);
    if (c.missing) {
      EXPECT_EQ(*need.missingFile, disk + c.missing);
      EXPECT_EQ(need.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    }
  }
  fs::remove(disk + kFileListName);
  EXPECT_EQ(spaceNeeded(disk).bytes, 0u);
}

TEST(SetupChecks, FileListLinesOverTheirLimitsAndOddBytes) {
  const std::string disk = diskDirectory();
  const std::string longArgument(300, 'a');
  const std::string longName(150, 'N');
  writeText(disk + kFileListName, longArgument + "\r\n" + longName + "\n" + std::string("X.EX\0E\n", 7) +
                                      "\t \t\n..\\outside.txt\r\nlast");
  auto list = readFileList(disk + kFileListName);
  ASSERT_TRUE(list);
  EXPECT_EQ(list->installerArgument, std::string(kListArgumentChars, 'a'));
  EXPECT_EQ(list->files, (std::vector<std::string>{longName, "X.EX", "..\\outside.txt", "last"}));
  EXPECT_FALSE(readFileList(disk + "missing.lst"));
  // Not a regular file, or beyond the bound: unreadable, and never waited on.
  ASSERT_EQ(::mkfifo((disk + "fifo.lst").c_str(), 0600), 0);
  EXPECT_FALSE(readFileList(disk + "fifo.lst"));
  EXPECT_FALSE(readFileList(disk));
  writeText(disk + "huge.lst", std::string(kFileListBytes + 1, '\n'));
  EXPECT_FALSE(readFileList(disk + "huge.lst"));

  for (const char* token : {"..", "..\\x", "../x", "sub/x", "C:x", "."}) EXPECT_TRUE(namesAnotherDirectory(token)) << token;
  for (const char* token : {"DRIVER.DL_", "..x", "a..b"}) EXPECT_FALSE(namesAnotherDirectory(token)) << token;
}

TEST(SetupChecks, SourceDirectoryAndInstallLocation) {
  const std::string deep = "/" + std::string(90, 'd') + "/disk1/setup";
  struct Case {
    std::string module;
    std::string source;
    std::string location;
  };
  const Case cases[] = {
      {"/media/cd/Disk1/setup", "/media/cd/Disk1/", "/MEDIA/CD/DISK1"},
      {"C:\\DISK1\\SETUP.EXE", "C:\\DISK1\\", "C:\\DISK1"},
      {"C:\\SETUP.EXE", "C:\\", "C:"},
      {"/setup", "/", ""},
      // Longer than 80 characters: the whole path still.
      {deep, deep.substr(0, deep.size() - 5), "/" + std::string(90, 'D') + "/DISK1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.module);
    EXPECT_EQ(sourceDirectoryOf(c.module), c.source);
    EXPECT_EQ(installLocationOf(c.module), c.location);
  }
}

std::string readValue(HKEY root, const char* key, const char* name, DWORD* type) {
  HKEY k = nullptr;
  if (RegOpenKeyExA(root, key, 0, KEY_READ, &k) != ERROR_SUCCESS) return "<no key>";
  DWORD size = 0;
  std::string data;
  if (RegQueryValueExA(k, name, nullptr, type, nullptr, &size) == ERROR_SUCCESS) {
    data.resize(size);
    RegQueryValueExA(k, name, nullptr, type, reinterpret_cast<BYTE*>(data.data()), &size);
  } else {
    data = "<no value>";
  }
  RegCloseKey(k);
  return data;
}

void setValue(const char* key, const char* name, DWORD type, const std::string& data) {
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(k, name, 0, type, reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
  RegCloseKey(k);
}

TEST(SetupChecks, RegistryKeepsTheFlagAndTheLocation) {
  DWORD type = 0;
  // No MRU key: none is made.
  recordInstallLocation("/MEDIA/CD/DISK1");
  EXPECT_EQ(readValue(HKEY_CURRENT_USER, kInstallationKey, "RebootFlag", &type), std::string("0", 2));
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(readValue(HKEY_CURRENT_USER, kLocationsMruKey, "MRUList", &type), "<no key>");

  std::string expected("/MEDIA/CD/DISK1");
  expected.resize(kInstallLocationBytes, '\0');
  struct Case {
    const char* what;
    DWORD type;
    std::string order;
    const char* written;  // null: nothing
  };
  const Case cases[] = {
      {"text", REG_SZ, std::string("ba\0", 3), "b"},
      {"binary", REG_BINARY, "zq", "z"},
      {"empty", REG_SZ, "", nullptr},
      {"starts with NUL", REG_SZ, std::string("\0a", 2), nullptr},
      {"1 MiB", REG_SZ, std::string(1 << 20, 'm'), "m"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RegDeleteKeyA(HKEY_CURRENT_USER, kLocationsMruKey);
    setValue(kLocationsMruKey, "MRUList", c.type, c.order);
    recordInstallLocation("/MEDIA/CD/DISK1");
    DWORD orderType = 0;
    EXPECT_EQ(readValue(HKEY_CURRENT_USER, kLocationsMruKey, "MRUList", &orderType), c.order);
    EXPECT_EQ(orderType, c.type);
    HKEY k = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kLocationsMruKey, 0, KEY_READ, &k), ERROR_SUCCESS);
    DWORD values = 0;
    RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr);
    RegCloseKey(k);
    if (!c.written) {
      EXPECT_EQ(values, 1u);
      continue;
    }
    EXPECT_EQ(values, 2u);
    EXPECT_EQ(readValue(HKEY_CURRENT_USER, kLocationsMruKey, c.written, &type), expected);
    EXPECT_EQ(type, c.type);
  }
}

TEST(SetupChecks, ServerDirectoriesAndProductsIni) {
  const std::string disk = diskDirectory();
  EXPECT_FALSE(productsIniIn(disk));
  writeText(disk + "products.ini", "[products]\n");
  EXPECT_TRUE(productsIniIn(disk));
  EXPECT_TRUE(productsIniIn(disk.substr(0, disk.size() - 1)));

  struct Case {
    const char* directory;
    bool fits;
  };
  const Case cases[] = {
      {"C:\\SERVER\\WF", true},          {"/srv/wf/INSTALLER", false},     {"/srv/INSTALL.LONGEXT", true},
      {"/srv/LONGNAME9.X/WF", false},    {"C:\\", true},                    {"/srv/EIGHTCHR/", true},
  };
  for (const Case& c : cases) EXPECT_EQ(serverDirectoryNamesFit(c.directory), c.fits) << c.directory;
}

}  // namespace
}  // namespace wf::setup
