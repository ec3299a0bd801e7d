// The main program end to end: wf-printer-sim plays smoke.scenario, wrenfld
// runs offscreen in fresh directories, and its UI snapshot says what its
// windows show.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "../e2e/child/e2e_child.h"
#include "broker/corbce.h"
#include "child_process.h"
#include "eventually.h"
#include "platform/module.h"
#include "platform/registry.h"
#include "platform/version_info.h"
#include "platform/window_messages.h"
#include "test_dirs.h"

namespace {

namespace fs = std::filesystem;
using wf::testing::ChildProcess;
using wf::testing::eventually;

struct Window {
  std::string className;
  std::string title;
  std::string state;
  std::string icon;      // "icon=<resource id>"
  std::string listMode;  // "mode=<n>"
  std::vector<std::string> widths;
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
    sim_ = std::make_unique<ChildProcess>("wf-printer-sim", std::vector<std::string>{WF_SMOKE_SCENARIO});
    ASSERT_EQ(sim_->readLine(), "ready");
  }
  void TearDown() override {
    ::unsetenv("WRENFIELD_UI_SNAPSHOT");
    ::unsetenv("WRENFIELD_TIME_SCALE");
    ::unsetenv("WRENFIELD_UI_ANSWERS");
  }

  std::vector<Window> windows() const {
    std::vector<Window> result;
    std::ifstream in(snapshot_);
    std::string line;
    while (std::getline(in, line)) {
      auto fields = split(line);
      if (fields.empty()) continue;
      if (fields[0] == "window" && fields.size() >= 5)
        result.push_back(
            {fields[1], fields[2], fields[4].substr(fields[4].find('=') + 1), fields[3], "", {}, {}, {}});
      if (result.empty()) continue;
      if (fields[0] == "pane" && fields.size() >= 3) result.back().panes.push_back(fields[2]);
      if (fields[0] == "list" && fields.size() >= 3) result.back().listMode = fields[2];
      if (fields[0] == "column" && fields.size() >= 4) result.back().widths.push_back(fields[3]);
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

  // The row of the printer on `port` in the first window; empty while there is none.
  std::vector<std::string> rowOf(const char* port) const {
    auto shown = windows();
    if (shown.empty()) return {};
    for (const auto& row : shown[0].rows) {
      // index, image, selected, name, model, connection, ...
      if (row.size() > 5 && row[5] == port) return row;
    }
    return {};
  }
  std::vector<std::string> genericPrinterRow() const { return rowOf("LPT5:"); }
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

// The peer world beside the local printers: every printer another computer
// shares that a family claims gets its row; the one LPT2 is redirected to
// shows by that port.
TEST_F(WrenfldSmoke, ShowsThePrintersPeersShare) {
  ::setenv("WRENFIELD_SCENARIO", WF_PEER_SCENARIO, 1);
  ChildProcess peers("wf-peer-sim", std::vector<std::string>{WF_PEER_SCENARIO});
  ASSERT_EQ(peers.readLine(), "ready");
  ChildProcess wrenfld("wrenfld");
  auto peerRows = [&] {
    std::vector<std::string> names;
    auto shown = windows();
    if (shown.empty()) return names;
    for (const auto& row : shown[0].rows) {
      for (const auto& field : row) {
        std::string folded = field;
        for (char& c : folded) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (folded.find("\\\\PEER") != std::string::npos) names.push_back(field);
      }
    }
    std::sort(names.begin(), names.end());
    return names;
  };
  const std::vector<std::string> expected = {"LPT2:  (\\\\peer1\\color2)", "\\\\PEER10\\INK",
                                             "\\\\PEER1\\LASER"};
  EXPECT_TRUE(eventually([&] { return peerRows() == expected; }, 60000)) << ::testing::PrintToString(peerRows());
  const int status = endWithSigterm(wrenfld);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  peers.call("quit", 100);
  EXPECT_EQ(peers.waitExit(), 0);
  ::unsetenv("WRENFIELD_SCENARIO");
}

TEST_F(WrenfldSmoke, MeridianPrintersShowTheirFamilyModelsAndAlerts) {
  ChildProcess wrenfld("wrenfld");
  // The family's strings 40002 and 40007, 40006 with "+" for key 5.
  ASSERT_TRUE(eventually(
      [&] {
        return rowOf("LPT1:").size() > 4 && rowOf("LPT1:")[4] == "Corvane Vireo 16" &&
               rowOf("LPT6:").size() > 4 && rowOf("LPT6:")[4] == "Corvane Vireo 16 DX+";
      },
      60000))
      << "LPT1 " << (rowOf("LPT1:").size() > 4 ? rowOf("LPT1:")[4] : "") << ", LPT6 "
      << (rowOf("LPT6:").size() > 4 ? rowOf("LPT6:")[4] : "");
  EXPECT_EQ(rowOf("LPT1:").at(3), "Corvane Vireo 10");
  EXPECT_EQ(rowOf("LPT6:").at(3), "Corvane Vireo 10 Plus");
  EXPECT_EQ(rowOf("LPT1:").at(1), "image=5") << "the family's first image, behind the generic five";
  EXPECT_EQ(rowOf("LPT6:").at(1), "image=5");
  // The Tidewater printer names the maker: the family's string 50165.
  ASSERT_TRUE(eventually(
      [&] { return rowOf("LPT2:").size() > 4 && rowOf("LPT2:")[4] == "Corvane Pagecrest"; }, 60000))
      << "LPT2 " << (rowOf("LPT2:").size() > 4 ? rowOf("LPT2:")[4] : "");
  EXPECT_EQ(rowOf("LPT2:").at(1), "image=10") << "behind the generic family's and Vireo's five";
  // The Keystone printer names the maker: the family's string 49000, behind Tidewater's five.
  ASSERT_TRUE(
      eventually([&] { return rowOf("LPT3:").size() > 4 && rowOf("LPT3:")[4] == "Corvane Vireo N"; }, 60000))
      << "LPT3 " << (rowOf("LPT3:").size() > 4 ? rowOf("LPT3:")[4] : "");
  EXPECT_EQ(rowOf("LPT3:").at(1), "image=15");
  // The Halcyon printer: the family's string 45000, behind Keystone's five.
  ASSERT_TRUE(
      eventually([&] { return rowOf("LPT4:").size() > 4 && rowOf("LPT4:")[4] == "Corvane Vireo C"; }, 60000))
      << "LPT4 " << (rowOf("LPT4:").size() > 4 ? rowOf("LPT4:")[4] : "");
  EXPECT_EQ(rowOf("LPT4:").at(1), "image=20");
  ASSERT_TRUE(eventually([&] { return showsTheGenericPrinter(); }, 60000));
  auto shown = windows();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].rows.size(), 6u);
  EXPECT_EQ(shown[0].panes[1], "6 printer(s)");

  // A family intervention (6137, the family's string 40008) on LPT1 shows in
  // its row with the hard-error image; cleared, the row is as before.
  const std::vector<std::string> before = rowOf("LPT1:");
  ASSERT_GT(before.size(), 6u);
  ASSERT_EQ(sim_->call("LPT1.alert 6 = 01 01 FF 00"), "ok");
  // Sent once the program captured the printer's interventions.
  ASSERT_TRUE(eventually([&] { return sim_->call("LPT1.raise-status = 0x10") == "ok"; }, 60000));
  std::vector<std::string> raised;
  ASSERT_TRUE(eventually(
      [&] {
        raised = rowOf("LPT1:");
        return raised.size() > 6 && raised[6] == "Short Paper Error" && raised[1] == "image=7";
      },
      60000))
      << (raised.size() > 6 ? raised[1] + " " + raised[6] : "no row");
  EXPECT_EQ(rowOf("LPT6:").at(1), "image=5") << "the other Meridian printer stays as it was";

  ASSERT_EQ(sim_->call("LPT1.clear-alert 6 = 1"), "ok");
  ASSERT_EQ(sim_->call("LPT1.raise-status = 0"), "ok");
  std::vector<std::string> cleared;
  EXPECT_TRUE(eventually(
      [&] {
        cleared = rowOf("LPT1:");
        return cleared.size() > 6 && cleared[6] == before[6] && cleared[1] == before[1];
      },
      60000))
      << (cleared.size() > 6 ? cleared[1] + " " + cleared[6] : "no row");

  const int status = endWithSigterm(wrenfld);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST_F(WrenfldSmoke, ASecondStartHandsItsWindowNameOver) {
  // A window of a new name asks for its filter first: Cancel.
  const fs::path answers = wf::testing::testDataRoot() / "ui.answers";
  std::ofstream(answers) << "151: click 2\n";
  ::setenv("WRENFIELD_UI_ANSWERS", answers.c_str(), 1);
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
  // The second window's name is new, so its filter dialog comes first: Cancel.
  const fs::path answers = wf::testing::testDataRoot() / "ui.answers";
  std::ofstream(answers) << "151: click 2\n";
  ::setenv("WRENFIELD_UI_ANSWERS", answers.c_str(), 1);
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
}

// A paper jam on the generic printer shows in its row and flashes the
// window's icon while it lasts; cleared, both come back.
TEST_F(WrenfldSmoke, APaperJamShowsAndFlashesWhileItLasts) {
  wf::HKEY settings = nullptr;
  ASSERT_EQ(wf::RegCreateKeyExA(wf::HKEY_CURRENT_USER, "Software\\Corvane\\Wrenfield\\1.0\\Settings", 0,
                                nullptr, 0, wf::KEY_ALL_ACCESS, nullptr, &settings, nullptr),
            wf::ERROR_SUCCESS);
  const wf::DWORD flags = 0x10F0 | 0x4;  // the defaults and FlashIcon
  wf::RegSetValueExA(settings, "globalflags", 0, wf::REG_DWORD, reinterpret_cast<const wf::BYTE*>(&flags), 4);
  wf::RegCloseKey(settings);

  ChildProcess wrenfld("wrenfld");
  ASSERT_TRUE(eventually([&] { return genericPrinterRow().size() > 6; }, 60000));
  const std::vector<std::string> before = genericPrinterRow();
  ASSERT_EQ(sim_->call("LPT5.alert 5 = 01 FF 01 00"), "ok");
  // Sent once the program captured the printer's alerts.
  ASSERT_TRUE(eventually([&] { return sim_->call("LPT5.raise-status = 0x4") == "ok"; }, 60000));
  std::vector<std::string> jammed;
  ASSERT_TRUE(eventually(
      [&] {
        jammed = genericPrinterRow();
        // The status text and the hard-error image.
        return jammed.size() > 6 && jammed[6].find("Paper Jam") != std::string::npos &&
               jammed[1] != before[1];
      },
      60000));
  // The window's icon alternates while the jam lasts.
  EXPECT_TRUE(eventually([&] { return !windows().empty() && windows()[0].icon == "icon=132"; }, 30000));
  EXPECT_TRUE(eventually([&] { return !windows().empty() && windows()[0].icon == "icon=102"; }, 30000));
  EXPECT_TRUE(eventually([&] { return !windows().empty() && windows()[0].icon == "icon=132"; }, 30000));

  ASSERT_EQ(sim_->call("LPT5.clear-alert 5 = 1"), "ok");
  ASSERT_EQ(sim_->call("LPT5.raise-status = 0x4"), "ok");
  EXPECT_TRUE(eventually(
      [&] {
        const auto row = genericPrinterRow();
        return row.size() > 6 && row[6] == before[6] && row[1] == before[1] &&
               windows()[0].icon == "icon=102";
      },
      60000));
  const int status = endWithSigterm(wrenfld);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// A window saved at an earlier close, opened by its name as its shortcut
// does: title, view, columns, filter and its own printers come back; a
// printer whose port is gone stays away without ghosts (app_tests show the
// ghost it becomes with them).
TEST_F(WrenfldSmoke, ASavedWindowOpensWithItsOwnPrinters) {
  const std::string app = "Software\\Corvane\\Wrenfield\\1.0\\";
  auto set = [&](const std::string& key, const char* name, wf::DWORD type, const void* data, wf::DWORD size) {
    wf::HKEY handle = nullptr;
    ASSERT_EQ(wf::RegCreateKeyExA(wf::HKEY_CURRENT_USER, (app + key).c_str(), 0, nullptr, 0,
                                  wf::KEY_ALL_ACCESS, nullptr, &handle, nullptr),
              wf::ERROR_SUCCESS);
    wf::RegSetValueExA(handle, name, 0, type, static_cast<const wf::BYTE*>(data), size);
    wf::RegCloseKey(handle);
  };
  auto number = [&](const std::string& key, const char* name, wf::DWORD value) {
    set(key, name, wf::REG_DWORD, &value, 4);
  };
  auto text = [&](const std::string& key, const char* name, const std::string& value) {
    set(key, name, wf::REG_SZ, value.c_str(), static_cast<wf::DWORD>(value.size() + 1));
  };
  number("Settings", "globalflags", 0x0070);  // the defaults without start-up enumeration and ghosts
  text("WFWindows\\Lab", "caption", "Lab printers");
  number("WFWindows\\Lab", "sortcol", 2);
  number("WFWindows\\Lab", "viewstate", 1);
  number("WFWindows\\Lab", "saveprinters", 1);
  number("WFWindows\\Lab", "modelcolumn", 0);  // hidden
  number("WFWindows\\Lab", "connectcol", 123);
  number("WFWindows\\Lab\\filter", "OffOn", 0xFB);
  text("WFWindows\\Lab\\printers\\     0", "localport", "LPT5");
  text("WFWindows\\Lab\\printers\\     1", "localport", "LPT9");

  ChildProcess lab("wrenfld", {"Lab"});
  std::vector<std::string> ports;
  ASSERT_TRUE(eventually(
      [&] {
        const auto shown = windows();
        if (shown.size() != 1 || shown[0].title != "Lab printers") return false;
        ports.clear();
        for (const auto& row : shown[0].rows)
          if (row.size() > 5) ports.push_back(row[5]);
        // Asked for and answered: no enumeration left.
        return ports == std::vector<std::string>{"LPT5"} && !shown[0].panes.empty() &&
               shown[0].panes[0] == "Ready";
      },
      60000))
      << ports.size();
  const Window window = windows()[0];
  EXPECT_EQ(window.listMode, "mode=1");
  ASSERT_GT(window.widths.size(), 2u);
  EXPECT_EQ(window.widths[1], "0");
  EXPECT_EQ(window.widths[2], "123");
  const int status = endWithSigterm(lab);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// A first window of a new name asks for its filter before it shows; the
// answer decides which of the printers it takes.
TEST_F(WrenfldSmoke, ANewlyNamedWindowShowsWhatItsFilterLets) {
  const fs::path answers = wf::testing::testDataRoot() / "ui.answers";
  std::ofstream(answers) << "151: text 1043 7301*; click 1\n";
  ::setenv("WRENFIELD_UI_ANSWERS", answers.c_str(), 1);
  ChildProcess lab("wrenfld", {"Lab"});
  std::vector<std::string> names;
  EXPECT_TRUE(eventually(
      [&] {
        const auto shown = windows();
        if (shown.size() != 1 || shown[0].title != "Lab" || shown[0].panes.empty() ||
            shown[0].panes[0] != "Ready")
          return false;
        names.clear();
        for (const auto& row : shown[0].rows)
          if (row.size() > 3) names.push_back(row[3]);
        return names == std::vector<std::string>{"7301 plus"};
      },
      60000))
      << names.size();
  const int status = endWithSigterm(lab);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace

// Job statistics tracked by default and a file named in the settings: a
// job another application prints on LPT1 lands as one job line, and the
// file is complete after SIGTERM.
TEST_F(WrenfldSmoke, APrintedJobBecomesOneLineOfTheJobStatisticsFile) {
  const fs::path file = wf::testing::testDataRoot() / "jobs.csv";
  wf::HKEY settings = nullptr;
  ASSERT_EQ(wf::RegCreateKeyExA(wf::HKEY_CURRENT_USER, "Software\\Corvane\\Wrenfield\\1.0\\Settings", 0,
                                nullptr, 0, wf::KEY_ALL_ACCESS, nullptr, &settings, nullptr),
            wf::ERROR_SUCCESS);
  const wf::DWORD flags = 0x10F0 | 0x400;  // the defaults and JSTracking
  wf::RegSetValueExA(settings, "globalflags", 0, wf::REG_DWORD, reinterpret_cast<const wf::BYTE*>(&flags), 4);
  const std::string name = file.string();
  wf::RegSetValueExA(settings, "jsfilename", 0, wf::REG_SZ, reinterpret_cast<const wf::BYTE*>(name.c_str()),
                     static_cast<wf::DWORD>(name.size() + 1));
  wf::RegCloseKey(settings);
  ASSERT_EQ(sim_->call("LPT1.job-source = 3"), "ok");
  ASSERT_EQ(sim_->call("LPT1.job-seconds = 42"), "ok");

  ChildProcess wrenfld("wrenfld");
  // Tracking captured the job statistics class of the Meridian on LPT1: a
  // report of no sheets is sent once it has, and comes back as a line.
  ASSERT_TRUE(eventually([&] { return !rowOf("LPT1:").empty(); }, 60000));
  ASSERT_TRUE(eventually(
      [&] { return sim_->call("LPT1.raise-alert = 03 01 00 00 00 00 00 00 00 00 00 00 00") == "ok"; },
      60000));
  auto contents = [&] {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  ASSERT_TRUE(eventually([&] { return contents().find("\r\n") != std::string::npos; }, 30000)) << contents();
  const std::size_t before = contents().size();

  wf::testing::EndToEndChild printing;
  ASSERT_GT(printing.registerApp(), 0);
  const auto listed = printing.enumerate(BCE_NET_LOCAL);
  ASSERT_FALSE(listed.handles.empty());
  const std::string uel = "\x1B%-12345X";
  const std::string job = uel + "@PJL JOB NAME=\"report\"\r\n@PJL ENTER LANGUAGE=PCL\r\none\ftwo\fthree\f" +
                          uel + "@PJL EOJ\r\n" + uel;
  // The handles in port order: LPT1 first.
  EXPECT_EQ(printing.startDoc(listed.handles[0]), BCE_OK);
  EXPECT_EQ(printing.writeBytes(listed.handles[0], job).result, BCE_OK);
  ASSERT_TRUE(eventually([&] { return contents().find(",,,report,") != std::string::npos; }, 30000))
      << contents();
  printing.unregisterApp();

  const int status = endWithSigterm(wrenfld);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  const std::string written = contents().substr(before);
  EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 1) << written;
  EXPECT_TRUE(written.starts_with("LPT1:,")) << written;
  EXPECT_TRUE(written.ends_with(",,,report,,,,,,\r\n")) << written;
}

namespace {

constexpr std::uint32_t kCommandMessage = 0x0111;  // WM_COMMAND
constexpr wf::WParam kAboutCommand = 57664;
constexpr wf::WParam kCancel = 2;

// The titles of the dialogs and boxes the program shows now.
std::vector<std::string> dialogTitles(const std::vector<std::vector<std::string>>& toplevels) {
  std::vector<std::string> titles;
  for (const auto& line : toplevels)
    if (line.size() > 1 && line[0] == "#32770" && !line[1].empty()) titles.push_back(line[1]);
  return titles;
}

// Ended, without reaping it, so waitExit still reads its status.
bool hasEnded(const ChildProcess& program) {
  siginfo_t info{};
  return ::waitid(P_PID, static_cast<id_t>(program.pid()), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == program.pid();
}

class WrenfldShutdown : public WrenfldSmoke {
 protected:
  std::vector<std::string> dialogs() const { return dialogTitles(linesOf("toplevel")); }
  bool shows(const std::string& title) const {
    const auto now = dialogs();
    return std::find(now.begin(), now.end(), title) != now.end();
  }
  // SIGTERM, then an exit within the shutdown's own steps (five paced
  // pauses) and a margin for a loaded machine: a modal loop that kept the
  // program alive would take the whole bound.
  void endsInOrderOnSigterm(ChildProcess& program) {
    // Not ChildProcess::kill: that waits for the end without a bound.
    ASSERT_EQ(::kill(program.pid(), SIGTERM), 0);
    EXPECT_TRUE(eventually([&] { return hasEnded(program); }, 50000)) << "still running after SIGTERM";
    const int status = program.waitExit();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
};

TEST_F(WrenfldShutdown, SigtermEndsItWhateverModalBoxOrDialogIsOpen) {
  struct Case {
    const char* what;
    const char* shown;  // the dialog's or box's title
    bool refusedRoot;   // the registry box at start-up
    std::vector<std::string> secondStart;
    bool about;
  };
  const Case cases[] = {
      {"About", "About Wrenfield", false, {}, true},
      {"the filter dialog of a second start's window", "Filter Printers", false, {"Other"}, false},
      {"the registry box of a refused data root", "Error", true, {}, false},
  };
  const std::string root = ::getenv("WRENFIELD_ROOT");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(snapshot_);
    const fs::path refused = wf::testing::testDataRoot() / "refused";
    if (c.refusedRoot) {
      fs::create_directories(refused);
      ::chmod(refused.c_str(), 0755);
      ::setenv("WRENFIELD_ROOT", refused.c_str(), 1);
    }
    ChildProcess wrenfld("wrenfld");
    ::setenv("WRENFIELD_ROOT", root.c_str(), 1);
    if (!c.refusedRoot) ASSERT_TRUE(eventually([&] { return windows().size() == 1; }, 60000));
    if (c.about) {
      const wf::Hwnd frame = wf::findWindow("WrenfieldMainFrame");
      ASSERT_NE(frame, 0u);
      ASSERT_TRUE(wf::postMessage(frame, kCommandMessage, kAboutCommand, 0));
    }
    if (!c.secondStart.empty()) {
      ChildProcess second("wrenfld", c.secondStart);
      second.waitExit();
    }
    ASSERT_TRUE(eventually([&] { return shows(c.shown); }, 60000)) << dialogs().size();
    endsInOrderOnSigterm(wrenfld);
  }
}

// Second starts hand their names over and end while the first still shows
// the first name's filter dialog; the windows open in turn, one dialog at a
// time, each after the dialog before it was answered.
TEST_F(WrenfldShutdown, SecondStartsEndAtOnceAndTheirWindowsOpenOneDialogAtATime) {
  ChildProcess first("wrenfld");
  ASSERT_TRUE(eventually([&] { return windows().size() == 1 && linesOf("toplevel").empty(); }, 60000));
  auto titles = [&] {
    std::vector<std::string> names;
    for (const auto& window : windows()) names.push_back(window.title);
    return names;
  };
  const std::vector<std::string> names = {"A", "B", "C"};
  for (const std::string& name : names) {
    ChildProcess second("wrenfld", {name});
    const int status = second.waitExit();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << name << " " << status;
    ASSERT_TRUE(eventually([&] { return shows("Filter Printers"); }, 60000)) << name;
  }
  // All three ended while A's dialog is open: one dialog, and only A's
  // window is made (it waits, hidden, for its filter).
  EXPECT_EQ(dialogs(), std::vector<std::string>{"Filter Printers"});
  std::vector<std::string> expected = {titles().at(0), "A"};
  EXPECT_EQ(titles(), expected);
  for (size_t answered = 0; answered < names.size(); ++answered) {
    const wf::Hwnd dialog = wf::findWindow("#32770");
    ASSERT_NE(dialog, 0u) << names[answered];
    ASSERT_TRUE(wf::postMessage(dialog, kCommandMessage, kCancel, 0)) << names[answered];
    // The next name's window comes only now, with its own dialog.
    if (answered + 1 < names.size()) expected.push_back(names[answered + 1]);
    ASSERT_TRUE(eventually([&] { return titles() == expected; }, 60000))
        << names[answered] << ": " << titles().size();
    EXPECT_LE(dialogs().size(), 1u) << "dialogs nest after " << names[answered];
  }
  EXPECT_TRUE(eventually([&] { return dialogs().empty(); }, 30000));
  endsInOrderOnSigterm(first);
}

}  // namespace

namespace {

// wf-printers watching alerts is the broker's primary and wrenfld its
// secondary; wf-printers ends. The window says at once that nothing is
// watched, takes the primary's place without a restart and shows a paper
// jam again.
TEST_F(WrenfldSmoke, APrimaryThatEndsIsReplacedAndAlertsReachTheWindowAgain) {
  ChildProcess watcher("wf-printers", {"--watch", "20"});
  std::string line;
  do line = watcher.readLine();
  while (line.rfind("watching alerts", 0) != 0 && line.rfind("err", 0) != 0);
  ASSERT_EQ(line.rfind("watching alerts", 0), 0u) << line;
  ChildProcess wrenfld("wrenfld");
  ASSERT_TRUE(eventually([&] { return windows().size() == 1 && windows()[0].rows.size() == 6; }, 60000));
  ASSERT_EQ(genericPrinterRow().at(6), "Ready");

  const int ended = watcher.waitExit();
  EXPECT_TRUE(WIFEXITED(ended) && WEXITSTATUS(ended) == 0) << ended;
  // Budget 25,000 system ms: 5 s at this pace.
  std::vector<std::string> statuses;
  EXPECT_TRUE(eventually(
      [&] {
        const auto shown = windows();
        if (shown.size() != 1 || shown[0].panes.empty() || shown[0].rows.empty()) return false;
        statuses.clear();
        for (const auto& row : shown[0].rows) statuses.push_back(row.size() > 6 ? row[6] : "");
        return shown[0].panes[0].find("not being watched") != std::string::npos &&
               std::all_of(statuses.begin(), statuses.end(),
                           [](const std::string& s) { return s == "Not being watched"; });
      },
      25000))
      << (statuses.empty() ? "no rows" : statuses[0]);

  // Registered again and enumerated again: every printer is back and a
  // program started now registers with the new primary and reaches them.
  EXPECT_TRUE(eventually(
      [&] {
        const auto row = genericPrinterRow();
        return row.size() > 6 && row[6] == "Ready";
      },
      60000));
  ChildProcess lister("wf-printers");
  std::string listed;
  do listed = lister.readLine();
  while (listed.rfind("local enumeration", 0) != 0 && listed.rfind("err", 0) != 0);
  EXPECT_EQ(listed, "local enumeration: result 0, 6 printer(s)");
  EXPECT_EQ(lister.waitExit(), 0);

  // A paper jam reaches the window again. The printer still sends the
  // class the old primary enabled, so it is raised again until the window
  // has captured it anew and shows it.
  ASSERT_EQ(sim_->call("LPT5.alert 5 = 01 FF 01 00"), "ok");
  auto lastRaise = std::chrono::steady_clock::time_point{};
  std::vector<std::string> jammed;
  EXPECT_TRUE(eventually(
      [&] {
        if (std::chrono::steady_clock::now() - lastRaise > std::chrono::milliseconds(300)) {
          sim_->call("LPT5.raise-status = 0x4");
          lastRaise = std::chrono::steady_clock::now();
        }
        jammed = genericPrinterRow();
        return jammed.size() > 6 && jammed[6].find("Paper Jam") != std::string::npos;
      },
      60000))
      << (jammed.size() > 6 ? jammed[6] : "no row");
  // The enumeration that brings them back may still be adding rows.
  std::size_t rows = 0;
  EXPECT_TRUE(eventually(
      [&] {
        rows = windows().at(0).rows.size();
        return rows == 6u;
      },
      60000))
      << rows << " rows: every printer comes back";
  const int status = endWithSigterm(wrenfld);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace

namespace {

// wrenfld and four wf-printers started at the same moment, again and again:
// whichever becomes the primary and leaves, the window ends with every
// printer, and SIGTERM ends it in order.
TEST_F(WrenfldShutdown, FiveProgramsAtOnceLeaveTheWindowWithEveryPrinter) {
  for (int round = 0; round < 10; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    fs::remove(snapshot_);
    std::vector<ChildProcess> programs;
    programs.emplace_back("wrenfld");
    for (int i = 0; i < 4; ++i) programs.emplace_back("wf-printers");
    for (size_t i = 1; i < programs.size(); ++i) programs[i].waitExit();
    std::vector<std::string> ports;
    EXPECT_TRUE(eventually(
        [&] {
          const auto shown = windows();
          if (shown.size() != 1) return false;
          ports.clear();
          for (const auto& row : shown[0].rows)
            if (row.size() > 6 && row[6] == "Ready") ports.push_back(row[5]);
          std::sort(ports.begin(), ports.end());
          return ports == std::vector<std::string>{"LPT1:", "LPT2:", "LPT3:", "LPT4:", "LPT5:", "LPT6:"};
        },
        60000))
        << ports.size() << " printers ready";
    endsInOrderOnSigterm(programs[0]);
  }
}

}  // namespace

namespace {

// wf-printers watching alerts as wrenfld's secondary: wrenfld, the primary,
// ends; wf-printers says so and ends at once with a failure instead of
// watching nothing for the rest of its time.
TEST_F(WrenfldShutdown, AWatchingWfPrintersEndsWhenItsPrimaryGoes) {
  ChildProcess wrenfld("wrenfld");
  ASSERT_TRUE(eventually([&] { return windows().size() == 1 && windows()[0].rows.size() == 6; }, 60000));
  ChildProcess watcher("wf-printers", {"--watch", "600"});  // two minutes at this pace
  std::string line;
  do line = watcher.readLine();
  while (line.rfind("watching alerts", 0) != 0 && line.rfind("err", 0) != 0);
  ASSERT_EQ(line.rfind("watching alerts", 0), 0u) << line;
  endsInOrderOnSigterm(wrenfld);
  EXPECT_TRUE(eventually([&] { return hasEnded(watcher); }, 50000)) << "still watching";
  const int status = watcher.waitExit();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
}

}  // namespace
