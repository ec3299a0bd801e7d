#include "setup/check_sequence.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "framework/shell_services.h"
#include "named_program.h"
#include "platform/file_system.h"
#include "platform/process_list.h"
#include "platform/registry.h"
#include "platform/runtime_dir.h"
#include "recording_ui.h"
#include "setup/checks.h"
#include "setup/file_list.h"

namespace wf::setup {
namespace {

namespace fs = std::filesystem;

std::string dllresText(UINT id) {
  static const std::map<UINT, std::string> texts = {
      {kTextCaption, "Setup"}, {kTextNotWindows95, "Needs Windows 95"}, {kTextNoSpace, "No room"},
      {kTextServerQuestion, "Server?"}, {kTextAnotherSetup, "Another one"}};
  auto it = texts.find(id);
  return it == texts.end() ? std::string() : it->second;
}

class SetupCheckSequence : public ::testing::Test {
 protected:
  void SetUp() override {
    disk_ = *dataRoot() / "Disk1";
    fs::create_directories(disk_);
    module_ = (disk_ / "setup").string();
    // A.EXE and B.DL_ of 100 000 bytes need 450 000.
    for (const char* name : {"A.EXE", "B.DL_"}) {
      std::ofstream(disk_ / name) << "";
      fs::resize_file(disk_ / name, 100'000);
    }
    std::ofstream(disk_ / kFileListName) << "installer argument\nA.EXE\nB.DL_\n";
    setFreeDiskSpaceForTesting(450'000);
  }
  void TearDown() override {
    setFreeDiskSpaceForTesting(std::nullopt);
    setPlatformIdForTesting(std::nullopt);
    setProcessListUnreadableForTesting(false);
  }

  CheckOutcome run() { return runChecks(module_, dllresText, ui_); }
  static bool flagWritten() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kInstallationKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }

  fs::path disk_;
  std::string module_;
  RecordingUi ui_;
};

TEST_F(SetupCheckSequence, PassingChecksRecordTheLocationAndEnterTheSourceDirectory) {
  CheckOutcome outcome = run();
  EXPECT_TRUE(outcome.passed);
  EXPECT_TRUE(ui_.shown.empty());
  EXPECT_TRUE(outcome.normalMode);
  EXPECT_FALSE(outcome.productsIniFound);
  EXPECT_EQ(outcome.sourceDirectory, disk_.string() + "/");
  EXPECT_EQ(outcome.installLocation, [&] {
    std::string upper = disk_.string();
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
  }());
  EXPECT_EQ(fs::current_path(), disk_);
  EXPECT_TRUE(flagWritten());
}

TEST_F(SetupCheckSequence, TheFirstFailureShowsItsBoxAndEndsTheChecks) {
  struct Case {
    const char* what;
    std::function<void()> arrange;
    std::string box;
  };
  const std::string missing = (disk_ / "C.EXE").string();
  const Case cases[] = {
      {"platform id 2", [] { setPlatformIdForTesting(VER_PLATFORM_WIN32_NT); }, "box Setup: Needs Windows 95"},
      {"unreadable process list", [] { setProcessListUnreadableForTesting(true); }, "box Setup: Another one"},
      {"449 999 bytes free", [] { setFreeDiskSpaceForTesting(449'999); }, "box Setup: No room"},
      {"a missing file",
       [&] { std::ofstream(disk_ / kFileListName) << "installer argument\nA.EXE\nC.EXE\nB.DL_\n"; },
       "box File Load Error: Could not find " + missing + " on the installation diskette\nError: 2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    ui_.shown.clear();
    c.arrange();
    CheckOutcome outcome = run();
    EXPECT_FALSE(outcome.passed);
    EXPECT_EQ(ui_.shown, std::vector<std::string>{c.box});
    EXPECT_FALSE(flagWritten());
    TearDown();
  }
}

TEST_F(SetupCheckSequence, ASecondSetupIsTurnedAwayWithTheDefaultTextWhenItHasNone) {
  testing::NamedProgram first("one/setup"), second("two/setup");
  ASSERT_TRUE(testing::runsItsImage(first, "setup"));
  ASSERT_TRUE(testing::runsItsImage(second, "setup"));
  CheckOutcome outcome = runChecks(module_, [](UINT id) { return id == kTextCaption ? "Setup" : ""; }, ui_);
  EXPECT_FALSE(outcome.passed);
  EXPECT_EQ(ui_.shown, std::vector<std::string>{std::string("box Setup: ") + kAnotherSetupDefault});
}

TEST_F(SetupCheckSequence, ProductsIniAsksForTheServerInstallationBehindTheSplash) {
  std::ofstream(disk_ / "products.ini") << "[products]\n";
  for (int answer : {IDNO, IDYES}) {
    SCOPED_TRACE(answer);
    ui_.shown.clear();
    ui_.answers = {answer};
    CheckOutcome outcome = run();
    EXPECT_TRUE(outcome.passed);
    EXPECT_TRUE(outcome.productsIniFound);
    EXPECT_EQ(ui_.shown, (std::vector<std::string>{"splash hidden", "box Setup: Server? [yes/no]", "splash shown"}));
    EXPECT_EQ(outcome.normalMode, answer == IDNO);
    EXPECT_EQ(outcome.serverDirectory, answer == IDYES ? disk_.string() : "");
  }
}

}  // namespace
}  // namespace wf::setup
