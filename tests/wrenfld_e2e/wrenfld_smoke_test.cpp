// The main program end to end: wf-printer-sim plays demo.scenario, wrenfld
// runs offscreen in fresh directories, and its UI snapshot says what its
// windows show.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "eventually.h"
#include "platform/module.h"
#include "platform/version_info.h"
#include "test_dirs.h"

namespace {

namespace fs = std::filesystem;
using wf::testing::ChildProcess;
using wf::testing::eventually;

struct Window {
  std::string className;
  std::string title;
  std::string state;
  std::vector<std::string> panes;
  std::vector<std::vector<std::string>> rows;  // fields after "row"
};

std::vector<std::string> split(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream in(line);
  std::string field;
  while (std::getline(in, field, '\t')) fields.push_back(field);
  return fields;
}

class WrenfldSmoke : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(wf::testing::testDataRoot());
    ::chmod(wf::testing::testDataRoot().c_str(), 0700);
    snapshot_ = wf::testing::testDataRoot() / "ui.snapshot";
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("WRENFIELD_UI_SNAPSHOT", snapshot_.c_str(), 1);
    ::setenv("WRENFIELD_TIME_SCALE", "0.2", 1);
    sim_ = std::make_unique<ChildProcess>("wf-printer-sim",
                                          std::vector<std::string>{WF_SIM_SCENARIO_DIR "/demo.scenario"});
    ASSERT_EQ(sim_->readLine(), "ready");
  }
  void TearDown() override {
    ::unsetenv("WRENFIELD_UI_SNAPSHOT");
    ::unsetenv("WRENFIELD_TIME_SCALE");
  }

  std::vector<Window> windows() const {
    std::vector<Window> result;
    std::ifstream in(snapshot_);
    std::string line;
    while (std::getline(in, line)) {
      auto fields = split(line);
      if (fields.empty()) continue;
      if (fields[0] == "window" && fields.size() >= 5)
        result.push_back({fields[1], fields[2], fields[4].substr(fields[4].find('=') + 1), {}, {}});
      if (result.empty()) continue;
      if (fields[0] == "pane" && fields.size() >= 3) result.back().panes.push_back(fields[2]);
      if (fields[0] == "row") result.back().rows.emplace_back(fields.begin() + 1, fields.end());
    }
    return result;
  }

  // The fields after the kind of every line of that kind.
  std::vector<std::vector<std::string>> linesOf(const std::string& kind) const {
    std::vector<std::vector<std::string>> result;
    std::ifstream in(snapshot_);
    std::string line;
    while (std::getline(in, line)) {
      auto fields = split(line);
      if (!fields.empty() && fields[0] == kind) result.emplace_back(fields.begin() + 1, fields.end());
    }
    return result;
  }

  // LPT5's row in the first window; empty while there is none.
  std::vector<std::string> genericPrinterRow() const {
    auto shown = windows();
    if (shown.empty()) return {};
    for (const auto& row : shown[0].rows) {
      // index, image, selected, name, model, connection, ...
      if (row.size() > 5 && row[5] == "LPT5:") return row;
    }
    return {};
  }
  bool showsTheGenericPrinter() const { return !genericPrinterRow().empty(); }

  static int endWithSigterm(ChildProcess& program) {
    program.kill(SIGTERM);
    return program.waitExit();
  }

  fs::path snapshot_;
  std::unique_ptr<ChildProcess> sim_;
};

TEST_F(WrenfldSmoke, ShowsThePrintersAFamilyClaimsAndShutsDownInOrder) {
  ChildProcess wrenfld("wrenfld");
  ASSERT_TRUE(eventually([&] { return showsTheGenericPrinter(); }, 60000));
  // The model rule names only printers of family key 0; the generic
  // family's key is 0xFFFFFFFF, so its model cell stays empty.
  EXPECT_EQ(genericPrinterRow().at(4), "");
  auto shown = windows();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].className, "WrenfieldMainFrame");
  EXPECT_EQ(shown[0].title, "Wrenfield Printer Utility");
  ASSERT_EQ(shown[0].panes.size(), 2u);
  EXPECT_EQ(shown[0].panes[1], std::to_string(shown[0].rows.size()) + " printer(s)");
  const int status = endWithSigterm(wrenfld);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  // The slot was freed: a new process becomes the primary and finds the printer.
  fs::remove(snapshot_);
  ChildProcess again("wrenfld");
  EXPECT_TRUE(eventually([&] { return showsTheGenericPrinter(); }, 60000));
  const int second = endWithSigterm(again);
  EXPECT_TRUE(WIFEXITED(second) && WEXITSTATUS(second) == 0) << second;
}

TEST_F(WrenfldSmoke, ASecondStartHandsItsWindowNameOver) {
  ChildProcess first("wrenfld");
  ASSERT_TRUE(eventually([&] { return windows().size() == 1; }, 60000));
  ChildProcess other("wrenfld", {"Other"});
  const int handedOver = other.waitExit();
  EXPECT_TRUE(WIFEXITED(handedOver) && WEXITSTATUS(handedOver) == 0) << handedOver;
  ASSERT_TRUE(eventually([&] { return windows().size() == 2; }, 30000));
  std::vector<std::string> titles;
  for (const auto& window : windows()) titles.push_back(window.title);
  EXPECT_NE(std::find(titles.begin(), titles.end(), "Other"), titles.end());
  // Started bare, a second process only restores the existing window.
  ChildProcess bare("wrenfld");
  bare.waitExit();
  EXPECT_EQ(windows().size(), 2u);
  const int status = endWithSigterm(first);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(Wrenfld, TheProgramCarriesItsVersionRecord) {
  const wf::VersionRead read = wf::readVersionInfo(wf::moduleDirectory() / "wrenfld");
  ASSERT_EQ(read.status, wf::VersionStatus::Found);
  ASSERT_NE(read.info.value("FileVersion"), nullptr);
  EXPECT_FALSE(read.info.value("FileVersion")->empty());
}

TEST_F(WrenfldSmoke, TheSplashStandsCentredUntilItHandsOverToTheFirstWindow) {
  // At the real pace the splash stays 7 s, longer than the start-up, so the
  // first snapshot still shows it.
  ::setenv("WRENFIELD_TIME_SCALE", "1", 1);
  ChildProcess wrenfld("wrenfld");
  ASSERT_TRUE(eventually([&] { return !linesOf("toplevel").empty(); }, 60000));
  const auto screen = linesOf("screen");
  const auto splash = linesOf("toplevel");
  ASSERT_EQ(screen.size(), 1u);
  ASSERT_EQ(splash.size(), 1u);
  const int width = std::stoi(screen[0].at(0).substr(6));
  const int height = std::stoi(screen[0].at(1).substr(7));
  EXPECT_EQ(std::vector<std::string>(splash[0].begin() + 2, splash[0].end()),
            (std::vector<std::string>{"x=" + std::to_string((width - 550) / 2),
                                      "y=" + std::to_string((height - 225) / 2), "width=550", "height=225",
                                      "frameless=1"}));
  auto shown = windows();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].state, "hidden") << "the first window waits for the splash";

  ASSERT_TRUE(eventually(
      [&] {
        auto now = windows();
        return linesOf("toplevel").empty() && now.size() == 1 && now[0].state == "normal";
      },
      60000));
  // The splash is over: a window made from now on shows itself.
  ChildProcess other("wrenfld", {"Other"});
  other.waitExit();
  EXPECT_TRUE(eventually(
      [&] {
        auto now = windows();
        return now.size() == 2 && now[0].state == "normal" && now[1].state == "normal";
      },
      30000));
  const int status = endWithSigterm(wrenfld);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
