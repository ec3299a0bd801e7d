// The splash window, the About box and the More Info box.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/about_dlg.h"
#include "app/main_frame.h"
#include "app/more_info_dlg.h"
#include "app/splash_wnd.h"
#include "app/window_list.h"
#include "app_fixture.h"
#include "framework/dc.h"
#include "framework/gdi.h"
#include "platform/module.h"
#include "platform/registry.h"
#include "test_dirs.h"

namespace {

namespace fs = std::filesystem;
using wf::ERROR_SUCCESS;
using wf::HKEY_CURRENT_USER;
using wf::KEY_ALL_ACCESS;
using wf::REG_BINARY;
using wf::REG_DWORD;
using wf::REG_NONE;
using wf::testing::AppFixture;

void setSettingsValue(const char* name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(CWFApp::kAppKey) + "\\Settings").c_str(), 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
  RegCloseKey(key);
}

// ---- Splash ----

class Splash : public AppFixture {
 protected:
  void TearDown() override {
    closeWindows(app_);
    AppFixture::TearDown();
  }
  // How many of a grid of points of the splash show `bitmap` scaled to the client area.
  int matchingPoints(CSplashWnd& splash, UINT bitmap, int* points) {
    CDC shown, expected, source;
    shown.CreateCompatibleDC(nullptr);
    expected.CreateCompatibleDC(nullptr);
    source.CreateCompatibleDC(nullptr);
    CBitmap shownBits, expectedBits, picture;
    shownBits.CreateBitmap(550, 225, 1, 32, nullptr);
    expectedBits.CreateBitmap(550, 225, 1, 32, nullptr);
    if (!picture.LoadBitmap(bitmap)) return -1;
    shown.SelectObject(&shownBits);
    expected.SelectObject(&expectedBits);
    source.SelectObject(&picture);
    const CSize size = picture.GetSize();
    expected.StretchBlt(0, 0, 550, 225, &source, 0, 0, size.cx, size.cy, SRCCOPY);
    PrintWindow(splash.m_hWnd, shown.GetSafeHdc(), 0);
    int same = 0;
    *points = 0;
    for (int x = 5; x < 550; x += 27) {
      for (int y = 5; y < 225; y += 22) {
        ++*points;
        same += shown.GetPixel(x, y) == expected.GetPixel(x, y);
      }
    }
    return same;
  }
  CWFApp app_;
};

TEST_F(Splash, FramelessCentredAndShowingThePictureOfTheInstallation) {
  struct Case {
    const char* what;
    DWORD type;
    std::vector<BYTE> oem;
    UINT picture;
    UINT other;
  };
  const Case cases[] = {
      {"no OEM value", REG_NONE, {}, 107, 129},
      {"OEM 1", REG_DWORD, {1, 0, 0, 0}, 129, 107},
      {"OEM of two bytes keeps 0", REG_BINARY, {1, 0}, 107, 129},
      {"OEM 0", REG_DWORD, {0, 0, 0, 0}, 107, 129},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.type != REG_NONE) setSettingsValue("OEM", c.type, c.oem.data(), static_cast<DWORD>(c.oem.size()));
    CSplashWnd splash;
    ASSERT_TRUE(splash.Create());
    EXPECT_TRUE(splash.IsWindowVisible());
    CRect outer, client;
    splash.GetWindowRect(&outer);
    splash.GetClientRect(&client);
    EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - 550) / 2);
    EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - 225) / 2);
    EXPECT_EQ(outer.Width(), 550);
    EXPECT_EQ(outer.Height(), 225);
    EXPECT_EQ(client.Width(), 550) << "no frame";
    EXPECT_EQ(client.Height(), 225) << "no frame";
    int points = 0;
    EXPECT_EQ(matchingPoints(splash, c.picture, &points), points);
    EXPECT_LT(matchingPoints(splash, c.other, &points), points);
    splash.DestroyWindow();
  }
}

TEST_F(Splash, ItsTimerShowsTheFirstWindowEndsTheSplashAndClearsTheFlag) {
  app_.SetSplashShowing(TRUE);
  CMainFrame* frame = CMainFrame::Make("first");
  ASSERT_NE(frame, nullptr);
  EXPECT_FALSE(frame->IsWindowVisible()) << "hidden while the splash shows";
  app_.m_pMainWnd = frame;
  CSplashWnd splash;
  ASSERT_TRUE(splash.Create());
  splash.SendMessage(WM_TIMER, 5);  // not its timer
  EXPECT_TRUE(IsWindow(splash.m_hWnd));
  EXPECT_TRUE(app_.GetSplashShowing());
  const HWND window = splash.m_hWnd;
  splash.SendMessage(WM_TIMER, 6);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(KillTimer(window, 6));
  EXPECT_TRUE(frame->IsWindowVisible());
  EXPECT_FALSE(app_.GetSplashShowing());
}

// ---- About ----

class About : public AppFixture {
 protected:
  void TearDown() override {
    wf::fw::setModalDialogHook(100, {});
    wf::fw::setModalDialogHook(154, {});
    AppFixture::TearDown();
  }
  CWFApp app_;
};

TEST_F(About, ShowsTheProgramsFileVersionWithFullStops) {
  CString shown;
  wf::fw::setModalDialogHook(100, [&](CDialog& box) {
    box.GetDlgItemText(102, shown);
    box.EndDialog(IDOK);
  });
  CAboutDlg about;
  EXPECT_EQ(about.DoModal(), IDOK);
  EXPECT_EQ(shown.str(), "1. 2. 3. 4");
}

TEST_F(About, TheIconTurnsAndEveryWayOutLeavesNoTimer) {
  struct Case {
    const char* what;
    UINT message;
    WPARAM command;
  };
  const Case cases[] = {
      {"OK", WM_COMMAND, IDOK}, {"Escape", WM_COMMAND, IDCANCEL}, {"close box", WM_CLOSE, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<UINT> icons;
    bool iconSet = true;
    HWND window = 0;
    wf::fw::setModalDialogHook(100, [&](CDialog& box) {
      window = box.m_hWnd;
      auto& about = dynamic_cast<CAboutDlg&>(box);
      for (int tick = 0; tick < 7; ++tick) {
        box.SendMessage(WM_TIMER, 2);
        icons.push_back(about.GetShownIcon());
        auto* picture = dynamic_cast<CStatic*>(box.GetDlgItem(0xFFFF));
        iconSet = iconSet && picture && picture->GetIcon() != nullptr;
      }
      box.SendMessage(c.message, c.command);
    });
    CAboutDlg about;
    about.DoModal();
    EXPECT_EQ(icons, (std::vector<UINT>{104, 105, 106, 107, 108, 109, 104}));
    EXPECT_TRUE(iconSet);
    ASSERT_NE(window, 0u);
    EXPECT_FALSE(KillTimer(window, 2));
  }
}

TEST_F(About, MissingPicturesDrawNothingAndTheWindowsStillWork) {
  wf::fw::leaveResourceChain(resources_);
  HINSTANCE bare = wf::loadModule("WFNOPICTURES.DLL");
  ASSERT_NE(bare, nullptr);
  wf::fw::joinResourceChain(bare);
  {
    CSplashWnd splash;
    ASSERT_TRUE(splash.Create());
    splash.UpdateWindow();
    CDC shot;
    shot.CreateCompatibleDC(nullptr);
    CBitmap bits;
    bits.CreateBitmap(550, 225, 1, 32, nullptr);
    shot.SelectObject(&bits);
    EXPECT_TRUE(PrintWindow(splash.m_hWnd, shot.GetSafeHdc(), 0));
    splash.DestroyWindow();

    std::vector<UINT> icons;
    CString version;
    wf::fw::setModalDialogHook(100, [&](CDialog& box) {
      for (int tick = 0; tick < 2; ++tick) {
        box.SendMessage(WM_TIMER, 2);
        icons.push_back(dynamic_cast<CAboutDlg&>(box).GetShownIcon());
      }
      box.GetDlgItemText(102, version);
      box.SendMessage(WM_COMMAND, IDOK);
    });
    CAboutDlg about;
    EXPECT_EQ(about.DoModal(), IDOK);
    EXPECT_EQ(icons, (std::vector<UINT>{104, 105}));
    EXPECT_EQ(version.str(), "1. 2. 3. 4");
  }
  wf::fw::leaveResourceChain(bare);
  wf::freeModule(bare);
  wf::fw::joinResourceChain(resources_);
}

// ---- More Info ----

struct Row {
  std::string file;
  std::string version;
  bool operator==(const Row&) const = default;
};

class ScriptedMoreInfo : public CMoreInfoDlg {
 public:
  std::int32_t answer = 0;
  BCEVERSIONEX record{};
  std::vector<Row> rows;
  int fileColumn = 0;
  int versionColumn = 0;
  int listWidth = 0;
  int averageChar = 0;
  std::vector<std::string> headings;

 protected:
  std::int32_t GetBrokerVersions(BCEVERSIONEX* out) override {
    *out = record;
    return answer;
  }
  BOOL OnInitDialog() override {
    CMoreInfoDlg::OnInitDialog();
    for (int i = 0; i < GetList().GetItemCount(); ++i)
      rows.push_back({GetList().GetItemText(i, 0).str(), GetList().GetItemText(i, 1).str()});
    fileColumn = GetList().GetColumnWidth(0);
    versionColumn = GetList().GetColumnWidth(1);
    headings = {GetList().GetColumnHeading(0).str(), GetList().GetColumnHeading(1).str()};
    CRect area;
    GetList().GetClientRect(&area);
    listWidth = area.Width();
    TEXTMETRIC metrics{};
    CClientDC dc(this);
    dc.GetTextMetrics(&metrics);
    averageChar = metrics.tmAveCharWidth;
    return TRUE;
  }
};

void setEntry(BCEVERSIONEXENTRY& entry, std::uint32_t ms, std::uint32_t ls, const char* file, std::size_t n) {
  entry.fileVersionMS = ms;
  entry.fileVersionLS = ls;
  std::memcpy(entry.fileName, file, n);
}

class MoreInfo : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    modules_ = wf::testing::testDataRoot() / "modules";
    fs::create_directories(modules_);
    // A family module with a version record and one without.
    fs::copy_file(wf::moduleDirectory() / "libspooloak.so", modules_ / "libmrprtgui.so");
    std::ofstream(modules_ / "libtwprtgui.so") << "no record here";
    wf::setModuleSearchPath({modules_});
    wf::fw::setModalDialogHook(154, [](CDialog& box) { box.EndDialog(IDOK); });
  }
  void TearDown() override {
    wf::fw::setModalDialogHook(154, {});
    wf::setModuleSearchPath({});
    ::unsetenv("WRENFIELD_SCENARIO");
    AppFixture::TearDown();
  }
  void modulesListed(const std::string& list) {
    const fs::path scenario = wf::testing::testDataRoot() / "more_info.scenario";
    std::ofstream(scenario) << "[spooloak]\nmodules = " << list << "\n";
    ::setenv("WRENFIELD_SCENARIO", scenario.c_str(), 1);
  }
  static std::string found(const char* name) { return wf::findModuleFile(name).value_or("").string(); }
  std::string programVersion(const char* name) {
    return WFReadFileVersionText(found(name).c_str(), "\\StringFileInfo\\040904b0\\FileVersion")
        .value_or("?");
  }

  CWFApp app_;
  fs::path modules_;
};

TEST_F(MoreInfo, ListsTheModulesFoundOnceEachNewestFirst) {
  modulesListed("MRPRTGUI.DLL,NOSUCH.DLL,MRPRTGUI.DLL,,TWPRTGUI.DLL,sub/MRPRTGUI.DLL," +
                std::string(300, 'A'));
  ScriptedMoreInfo box;
  box.answer = 1;
  box.DoModal();
  const std::string mr = (modules_ / "libmrprtgui.so").string();
  const std::vector<Row> expected = {
      {found("SPOOLOAK.DLL"), programVersion("SPOOLOAK.DLL")},
      {found("COMMON.DLL"), programVersion("COMMON.DLL")},
      {mr, programVersion("MRPRTGUI.DLL")},
  };
  EXPECT_EQ(box.rows, expected);
  EXPECT_NE(found("COMMON.DLL"), "");
  EXPECT_EQ(box.headings, (std::vector<std::string>{"Filename", "Version Number"}));
  EXPECT_EQ(box.fileColumn, 35 * box.averageChar);
  EXPECT_EQ(box.fileColumn + box.versionColumn, box.listWidth);
  EXPECT_GT(box.averageChar, 0);
}

TEST_F(MoreInfo, TheBrokerAndTheAvailableTransportsFollowTheirVersionWords) {
  modulesListed("none");
  app_.SetNetsAvailable(0x1 | 0x2 | 0x10);
  ScriptedMoreInfo box;
  setEntry(box.record.entries[0], 0x00020003, 0x00040005, "CORBCE.DLL", 10);
  setEntry(box.record.entries[1], 0x00010002, 0x00030004, "Cornw32.dll", 11);
  setEntry(box.record.entries[2], 0x00090009, 0x00090009, "CORCL32.DLL", 11);
  setEntry(box.record.entries[3], 0x00010002, 0x00030004, "NOSUCHIP32.DLL", 14);
  setEntry(box.record.entries[5], 0x000A0000, 0x0000000B, "ABCDEFGHIJKLMNOP", 16);  // no terminator
  box.DoModal();
  const std::vector<Row> expected = {
      {"ABCDEFGHIJKLMNOP", "10.00.00.11"},
      {"NOSUCHIP32.DLL", "1.02.03.04"},
      {found("Cornw32.dll").empty() ? "Cornw32.dll" : found("Cornw32.dll"), "1.02.03,04"},
      {found("CORBCE.DLL").empty() ? "CORBCE.DLL" : found("CORBCE.DLL"), "2.03.04.05"},
      {found("SPOOLOAK.DLL"), programVersion("SPOOLOAK.DLL")},
      {found("COMMON.DLL"), programVersion("COMMON.DLL")},
  };
  EXPECT_EQ(box.rows, expected);

  ScriptedMoreInfo failed;
  failed.record = box.record;
  failed.answer = 5;
  failed.DoModal();
  EXPECT_EQ(failed.rows.size(), 2u) << "no broker or transport row";
}

TEST_F(MoreInfo, AModuleNamedTwiceKeepsOneRowWithTheVersionGivenLast) {
  ScriptedMoreInfo box;
  box.answer = 1;
  wf::fw::setModalDialogHook(154, [](CDialog& dialog) {
    auto& more = dynamic_cast<CMoreInfoDlg&>(dialog);
    const int before = more.GetList().GetItemCount();
    more.AddVersionItem("/opt/Wrenfield/libX.so", "1");
    more.AddVersionItem("/opt/wrenfield/LIBX.so", "2");
    EXPECT_EQ(more.GetList().GetItemCount(), before + 1);
    EXPECT_EQ(more.GetList().GetItemText(0, 0).str(), "/opt/Wrenfield/libX.so") << "the path as found";
    EXPECT_EQ(more.GetList().GetItemText(0, 1).str(), "2");
    dialog.EndDialog(IDOK);
  });
  box.DoModal();
}

}  // namespace
