#include "setup/copying.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/lz.h"
#include "platform/paths.h"
#include "platform/runtime_dir.h"
#include "recording_ui.h"
#include "setup/file_list.h"

namespace wf::setup {
namespace {

namespace fs = std::filesystem;

void writeBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string readBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void setTimes(const fs::path& path, long access, long modification) {
  const struct timespec times[2] = {{access, 0}, {modification, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

std::set<std::string> namesIn(const fs::path& dir) {
  std::set<std::string> names;
  for (auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
  return names;
}

class SetupCopying : public ::testing::Test {
 protected:
  void SetUp() override {
    disk_ = *dataRoot() / "disk";
    fs::create_directories(disk_);
    auto made = makeTemporaryDirectory();
    ASSERT_TRUE(made);
    temporary_ = *made;
    target_ = *mapSystemPath(temporary_);
  }

  std::optional<std::string> copy(const std::string& listText) {
    writeBytes(disk_ / kFileListName, listText);
    auto list = readFileList((disk_ / kFileListName).string());
    EXPECT_TRUE(list);
    return copyDistribution(disk_.string() + "/", temporary_, *list,
                            [this](const std::string& text) { notices_.push_back(text); });
  }
  std::string source(const std::string& name) const { return (disk_ / name).string(); }

  fs::path disk_, target_;
  std::string temporary_;
  std::vector<std::string> notices_;
};

TEST_F(SetupCopying, TheTemporaryDirectoryIsANewDirectoryOnTheWindowsDrive) {
  EXPECT_TRUE(std::regex_match(temporary_, std::regex(R"(C:\\COR[0-9A-F]{4}\.TMP)"))) << temporary_;
  EXPECT_TRUE(fs::is_directory(target_));
  EXPECT_TRUE(fs::is_empty(target_));
  auto second = makeTemporaryDirectory();
  ASSERT_TRUE(second);
  EXPECT_NE(*second, temporary_);
}

TEST_F(SetupCopying, CompressedFilesLandBesideTheirExpansionWithTheSourcesTimes) {
  writeBytes(disk_ / "DRIVER.DL_", lzCompress("driver bytes", 'L'));
  setTimes(disk_ / "DRIVER.DL_", 1'000'000, 2'000'000);
  writeBytes(disk_ / "readme.tx_", lzCompress("read me", 'T'));
  writeBytes(disk_ / "EMPTY.DAT", "");
  writeBytes(disk_ / "NOTHING.DA_", lzCompress("", 'T'));
  writeBytes(disk_ / "cinstall.exe", "#!/bin/sh\n");
  fs::permissions(disk_ / "cinstall.exe", fs::perms::owner_all);

  EXPECT_EQ(copy("restart work=10\nsetupwf.lst\nDRIVER.DL_\nreadme.tx_\nEMPTY.DAT\nNOTHING.DA_\ncinstall.exe\n"),
            std::nullopt);
  EXPECT_TRUE(notices_.empty());
  EXPECT_EQ(namesIn(target_), (std::set<std::string>{"DRIVER.DL_", "DRIVER.DLL", "readme.tx_", "readme.txt",
                                                     "EMPTY.DAT", "NOTHING.DA_", "NOTHING.DAT", "cinstall.exe",
                                                     "setupwf.lst"}));
  EXPECT_EQ(fs::file_size(target_ / "NOTHING.DAT"), 0u);
  EXPECT_EQ(readBytes(target_ / "DRIVER.DLL"), "driver bytes");
  EXPECT_EQ(readBytes(target_ / "DRIVER.DL_"), readBytes(disk_ / "DRIVER.DL_"));
  EXPECT_EQ(readBytes(target_ / "readme.txt"), "read me");
  EXPECT_EQ(readBytes(target_ / "setupwf.lst"), readBytes(disk_ / kFileListName));
  for (const char* name : {"DRIVER.DL_", "DRIVER.DLL"}) {
    struct stat st {};
    ASSERT_EQ(::stat((target_ / name).c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 2'000'000) << name;
  }
  EXPECT_EQ(fs::status(target_ / "cinstall.exe").permissions() & fs::perms::owner_exec, fs::perms::owner_exec);
}

TEST_F(SetupCopying, FilesAlreadyThereAreLeftAlone) {
  writeBytes(disk_ / "DRIVER.DL_", lzCompress("new driver", 'L'));
  writeBytes(target_ / "DRIVER.DLL", "old driver");
  writeBytes(disk_ / "PLAIN.TXT", "new");
  writeBytes(target_ / "PLAIN.TXT", "old");
  EXPECT_EQ(copy("line 1\nDRIVER.DL_\nPLAIN.TXT\n"), std::nullopt);
  EXPECT_EQ(readBytes(target_ / "DRIVER.DLL"), "old driver");
  EXPECT_EQ(readBytes(target_ / "PLAIN.TXT"), "old");
  EXPECT_TRUE(notices_.empty());
}

TEST_F(SetupCopying, TheFirstFailedFileEndsTheCopyingAndTheListComesLast) {
  std::string truncated = lzCompress(std::string(5000, 'x') + "tail of the driver", 'L');
  truncated.resize(truncated.size() - 5);
  writeBytes(disk_ / "BROKEN.DL_", truncated);
  writeBytes(disk_ / "GOOD.TXT", "good");
  writeBytes(disk_ / "AFTER.TXT", "after");
  // The list names itself first, yet is expanded only after every other file.
  EXPECT_EQ(copy("line 1\nsetupwf.lst\nGOOD.TXT\nBROKEN.DL_\nAFTER.TXT\n"), source("BROKEN.DL_"));
  ASSERT_EQ(notices_.size(), 1u);
  EXPECT_EQ(notices_[0], "Error -3\nExpanding " + source("BROKEN.DL_") + "\nTo " + temporary_ + "\\BROKEN.DLL");
  EXPECT_EQ(namesIn(target_), (std::set<std::string>{"GOOD.TXT", "BROKEN.DL_"}));
}

TEST_F(SetupCopying, BadEntriesFailOrAreReported) {
  struct Case {
    const char* what;
    std::string list;
    std::optional<std::string> failed;
    std::size_t notices;
  };
  writeBytes(*dataRoot() / "outside.txt", "outside");
  const Case cases[] = {
      {"a name leading out", "line 1\n..\\outside.txt\n", source("..\\outside.txt"), 0},
      {"a separator", "line 1\nsub/x.txt\n", source("sub/x.txt"), 0},
      {"a missing compressed file", "line 1\nMISSING.DL_\n", source("MISSING.DL_"), 1},
      {"a missing plain file", "line 1\nMISSING.TXT\n", std::nullopt, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    notices_.clear();
    EXPECT_EQ(copy(c.list), c.failed);
    EXPECT_EQ(notices_.size(), c.notices);
    for (const std::string& notice : notices_) EXPECT_EQ(notice.rfind("Error 2\nCopying ", 0), 0u) << notice;
  }
  EXPECT_TRUE(fs::is_empty(target_));
  EXPECT_EQ(readBytes(*dataRoot() / "outside.txt"), "outside");
}

TEST_F(SetupCopying, TheTemporaryDirectoryIsEmptiedAndRemoved) {
  writeBytes(target_ / "A.TXT", "a");
  writeBytes(target_ / "LOCKED.TXT", "b");
  fs::permissions(target_ / "LOCKED.TXT", fs::perms::owner_read);
  EXPECT_EQ(removeTemporaryDirectory(temporary_), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_FALSE(fs::exists(target_));
  EXPECT_EQ(removeTemporaryDirectory(temporary_), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  auto other = makeTemporaryDirectory();
  ASSERT_TRUE(other);
  fs::create_directory(*mapSystemPath(*other) / "SUBDIR");
  EXPECT_EQ(removeTemporaryDirectory(*other), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
}

std::string setupText(UINT id) {
  switch (id) {
    case kTextCaption:
      return "Setup";
    case kTextDirectoryNotEmpty:
      return "Not empty";
    case kTextDirectoryNotFound:
      return "Not found";
    case kTextRemovalCaption:
      return "Clean-up";
    case kTextCouldNotRemove:
      return "Could not remove %s (100%)";
    default:
      return "";
  }
}

TEST_F(SetupCopying, ACopyingRunKeepsItsDirectoryAndShowsTheFailedFile) {
  RecordingUi ui;
  writeBytes(disk_ / kFileListName, "restart work=10\nGOOD.TXT\n");
  writeBytes(disk_ / "GOOD.TXT", "good");
  CopyRun run = runCopying(disk_.string() + "/", setupText, ui);
  EXPECT_TRUE(run.copied);
  EXPECT_EQ(run.installerArgument, "restart work=10");
  EXPECT_TRUE(ui.shown.empty());
  const fs::path made = *mapSystemPath(run.temporaryDirectory);
  EXPECT_EQ(fs::current_path(), made);
  EXPECT_EQ(readBytes(made / "GOOD.TXT"), "good");

  std::string truncated = lzCompress("a driver that is cut short", 'L');
  truncated.resize(truncated.size() - 3);
  writeBytes(disk_ / "BROKEN.DL_", truncated);
  writeBytes(disk_ / kFileListName, "line 1\nBROKEN.DL_\n");
  run = runCopying(disk_.string() + "/", setupText, ui);
  EXPECT_FALSE(run.copied);
  EXPECT_NE(run.temporaryDirectory, "");
  ASSERT_EQ(ui.shown.size(), 2u);
  EXPECT_EQ(ui.shown[0].rfind("box Setup: Error -3\nExpanding ", 0), 0u) << ui.shown[0];
  EXPECT_EQ(ui.shown[1], "box Setup: Error attempting to unpack " + source("BROKEN.DL_") + " [task-modal]");

  fs::remove(disk_ / kFileListName);
  ui.shown.clear();
  run = runCopying(disk_.string() + "/", setupText, ui);
  EXPECT_FALSE(run.copied);
  EXPECT_TRUE(fs::is_directory(*mapSystemPath(run.temporaryDirectory)));
  EXPECT_TRUE(ui.shown.empty());
}

TEST_F(SetupCopying, CleanUpShowsWhyTheDirectoryStays) {
  RecordingUi ui;
  writeBytes(target_ / "A.TXT", "a");
  EXPECT_TRUE(cleanUpTemporaryDirectory(temporary_, setupText, ui));
  EXPECT_FALSE(cleanUpTemporaryDirectory(temporary_, setupText, ui));
  auto other = makeTemporaryDirectory();
  ASSERT_TRUE(other);
  fs::create_directory(*mapSystemPath(*other) / "SUBDIR");
  EXPECT_FALSE(cleanUpTemporaryDirectory(*other, setupText, ui));
  EXPECT_EQ(ui.shown, (std::vector<std::string>{"box Setup: Not found", "box Setup: Not empty"}));

  // Any other reason names the directory: here a file stands where it was.
  fs::remove(*mapSystemPath(*other) / "SUBDIR");
  fs::remove(*mapSystemPath(*other));
  writeBytes(*mapSystemPath(*other), "not a directory");
  ui.shown.clear();
  EXPECT_FALSE(cleanUpTemporaryDirectory(*other, setupText, ui));
  EXPECT_EQ(ui.shown, std::vector<std::string>{"box Clean-up: Could not remove " + *other + " (100%)"});
}

}  // namespace
}  // namespace wf::setup
