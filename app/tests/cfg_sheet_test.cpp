// The settings sheet: which pages apply, remember and revert, the sound
// list from a wave directory, the job statistics size and Delete Jobs, the
// driver update path and program, and one sheet at a time.
#include <gtest/gtest.h>

#include <QMetaObject>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app/cfg_sheet.h"
#include "app/main_frame.h"
#include "app/window_list.h"
#include "app_fixture.h"
#include "common/printer_dll.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"
#include "eventually.h"
#include "framework/controls.h"
#include "platform/module.h"
#include "platform/registry.h"
#include "platform/runtime_dir.h"
#include "platform/window_messages.h"

namespace {

using wf::ERROR_SUCCESS;
using wf::HKEY_CURRENT_USER;
using wf::KEY_ALL_ACCESS;
using wf::REG_OPTION_NON_VOLATILE;
using wf::REG_SZ;
using wf::testing::eventually;

void whenRunning(std::function<void()> act) {
  QMetaObject::invokeMethod(qApp, std::move(act), Qt::QueuedConnection);
}

void click(CWnd* page, UINT id) {
  static_cast<CButton*>(page->GetDlgItem(id))->Click();
}

std::vector<std::string> entries(CWnd* page, UINT id) {
  auto* list = static_cast<CComboBox*>(page->GetDlgItem(id));
  std::vector<std::string> out;
  for (int i = 0; i < list->GetCount(); ++i) {
    CString text;
    list->GetLBText(i, text);
    out.push_back(text.str());
  }
  return out;
}

class Settings : public wf::testing::AppFixture {
 protected:
  // Runs the sheet on `page`; `act` runs inside it and ends it.
  void runSheet(int page, std::function<void(CCfgPs&)> act) {
    whenRunning([act] {
      CCfgPs* sheet = CCfgPs::Open();
      ASSERT_NE(sheet, nullptr);
      act(*sheet);
    });
    CCfgPs::Show(nullptr, page);
    EXPECT_EQ(CCfgPs::Open(), nullptr);
  }

  CWFApp app_;
  wf::fw::ScriptedDialogs dialogs_;
};

TEST_F(Settings, OkOnTheStartPageAppliesOnlyThatPageAndCancelRevertsToTheAppliedValues) {
  app_.SetMoveConf(TRUE);
  app_.SetJSFilename("old.txt");
  runSheet(4, [this](CCfgPs& sheet) {
    EXPECT_EQ(sheet.GetActiveIndex(), 4);
    app_.SetMoveConf(FALSE);  // changed behind the sheet: a page never shown keeps it
    sheet.m_jobStatsPage.SetDlgItemText(IDC_JS_FILE, "new.txt");
    click(&sheet, IDOK);
  });
  EXPECT_EQ(app_.GetJSFilename(), CString("new.txt"));
  EXPECT_FALSE(app_.GetMoveConf());

  app_.SetCopyConf(FALSE);
  runSheet(1, [this](CCfgPs& sheet) {
    click(&sheet.m_confirmPage, IDC_CFG_COPYCONF);
    click(&sheet, ID_APPLY_NOW);
    EXPECT_TRUE(app_.GetCopyConf());
    click(&sheet.m_confirmPage, IDC_CFG_COPYCONF);
    click(&sheet.m_confirmPage, IDC_CFG_DELETECONF);
    click(&sheet, IDCANCEL);
  });
  EXPECT_TRUE(app_.GetCopyConf());  // as applied, not as it was before the sheet
  EXPECT_FALSE(app_.GetDeleteConf());
}

TEST_F(Settings, ASecondRequestBringsTheOpenSheetToTheAskedPage) {
  CMainFrame* window = CMainFrame::Make("W1");
  ASSERT_NE(window, nullptr);
  app_.m_pMainWnd = window;
  int sheets = 0;
  whenRunning([&] {
    CCfgPs* first = CCfgPs::Open();
    ASSERT_NE(first, nullptr);
    window->SendMessage(WM_WF_OPENSETTINGS, 0, 3);
    EXPECT_EQ(CCfgPs::Open(), first);
    EXPECT_EQ(first->GetActiveIndex(), 3);
    sheets = 1;
    click(first, IDCANCEL);
  });
  window->SendMessage(WM_COMMAND, 32771, 0);
  EXPECT_EQ(sheets, 1);
  EXPECT_EQ(CCfgPs::Open(), nullptr);
  closeWindows(app_);
}

TEST_F(Settings, TheSoundListComesFromTheWaveDirectory) {
  const auto dir = wf::dataRoot().value() / "waves";
  std::filesystem::create_directories(dir);
  for (const char* name : {"a.wav", "B.WAV", "c.txt"}) std::ofstream(dir / name) << "x";
  for (int i = 0; i < CSoundPage::kEvents; ++i) app_.SetWaveFile(i, CFilename((dir / "B.WAV").c_str()));
  app_.SetWaveFile(3, CFilename("(None)"));
  runSheet(3, [&](CCfgPs& sheet) {
    CSoundPage& page = sheet.m_soundPage;
    EXPECT_EQ(entries(&page, IDC_SND_FILES), (std::vector<std::string>{"(None)", "a.wav", "B.WAV"}));
    auto* sounds = static_cast<CComboBox*>(page.GetDlgItem(IDC_SND_FILES));
    EXPECT_EQ(sounds->GetCurSel(), 2);
    CString shown;
    page.GetDlgItemText(IDC_SND_DIRECTORY, shown);
    EXPECT_EQ(shown, CString((dir.string() + "/").c_str()));

    // The event whose file is "(None)" lists it alone.
    auto* events = static_cast<CListBox*>(page.GetDlgItem(IDC_SND_EVENTS));
    for (int i = 0; i < events->GetCount(); ++i) {
      events->UserSelect(i);
      if (entries(&page, IDC_SND_FILES).size() == 1) break;
    }
    EXPECT_EQ(entries(&page, IDC_SND_FILES), (std::vector<std::string>{"(None)"}));

    // Choosing a sound: the event's file in the same directory.
    events->UserSelect(events->GetCount() - 1);
    sounds->UserSelect(1);
    click(&sheet, IDOK);
  });
  int changed = 0;
  for (int i = 0; i < CSoundPage::kEvents; ++i)
    changed += app_.GetWaveFile(i).GetPath().str().ends_with("a.wav");
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(app_.GetWaveFile(3).GetPath(), CString("(None)"));

  // Defaults act at once and survive Cancel.
  runSheet(3, [&](CCfgPs& sheet) {
    click(&sheet.m_soundPage, IDC_SND_DEFAULTS);
    click(&sheet, IDCANCEL);
  });
  EXPECT_NE(app_.GetWaveFile(3).GetPath(), CString("(None)"));
  EXPECT_TRUE(app_.GetWaveFile(3).GetPath().str().ends_with(".WAV"));

  // A directory that does not exist lists "(None)" only.
  app_.SetWaveFile(0, CFilename((dir / "gone" / "x.wav").c_str()));
  for (int i = 1; i < CSoundPage::kEvents; ++i)
    app_.SetWaveFile(i, CFilename((dir / "gone" / "x.wav").c_str()));
  runSheet(3, [&](CCfgPs& sheet) {
    EXPECT_EQ(entries(&sheet.m_soundPage, IDC_SND_FILES), (std::vector<std::string>{"(None)"}));
    click(&sheet, IDCANCEL);
  });
}

TEST_F(Settings, ASizeOutOfRangeOrEmptyGetsTheRangeMessageAndKeepsThePage) {
  app_.SetJSFileBounded(TRUE);
  app_.SetJSMaxSize(10);
  for (const char* text : {"4294967296", ""}) {
    shell_.messageBox.respondWith([](const wf::fw::MessageBoxRequest&) { return IDOK; });
    bool stayed = false;
    runSheet(4, [&](CCfgPs& sheet) {
      sheet.m_jobStatsPage.SetDlgItemText(IDC_JS_SIZE, text);
      click(&sheet, IDOK);
      stayed = sheet.GetSafeHwnd() && CCfgPs::Open() == &sheet;
      sheet.m_jobStatsPage.SetDlgItemText(IDC_JS_SIZE, "20");
      click(&sheet, IDOK);
    });
    EXPECT_TRUE(stayed) << text;
    EXPECT_EQ(app_.GetJSMaxSize(), 20u) << text;
    app_.SetJSMaxSize(10);
  }
  std::vector<std::string> texts;
  for (const auto& call : shell_.messageBox.calls()) texts.push_back(call.text);
  EXPECT_GE(texts.size(), 2u);
  for (const std::string& text : texts) EXPECT_EQ(text, "Please enter a positive integer.");
}

TEST_F(Settings, ASizeWithAMinusBeepsAndIsPutBackAndUncheckingTheBoundStoresZero) {
  app_.SetJSFileBounded(TRUE);
  app_.SetJSMaxSize(3000000000u);
  runSheet(4, [&](CCfgPs& sheet) {
    CJobStatsPage& page = sheet.m_jobStatsPage;
    static_cast<CEdit*>(page.GetDlgItem(IDC_JS_SIZE))->TypeText("-1");
    CString text;
    page.GetDlgItemText(IDC_JS_SIZE, text);
    EXPECT_EQ(text, CString("3000000000"));
    EXPECT_EQ(page.m_nSize, 3000000000u);
    click(&page, IDC_JS_BOUNDED);
    EXPECT_FALSE(page.GetDlgItem(IDC_JS_SIZE)->IsWindowEnabled());
    click(&sheet, IDOK);
  });
  std::vector<std::string> beeps;
  for (const auto& call : shell_.sound.calls())
    if (call.flags & SND_ALIAS) beeps.push_back(call.file);
  EXPECT_EQ(beeps, (std::vector<std::string>{"SystemExclamation"}));
  EXPECT_FALSE(app_.GetJSFileBounded());
  EXPECT_EQ(app_.GetJSMaxSize(), 0u);
}

TEST_F(Settings, DeleteJobsFitsTheDaysAndEveryApplyPostsLocalMidnight) {
  ::setenv("TZ", "America/New_York", 1);
  ::tzset();
  std::vector<LPARAM> posted;
  const HWND service = wf::createWindow("JSFTestWindow", [&](HWND, std::uint32_t message, WPARAM, LPARAM l) {
    if (message == WM_WF_JSFDELETEJOBS) posted.push_back(l);
    return LRESULT{0};
  });
  app_.SetJSFNotificationWindow(service);
  auto deliver = [] {
    QCoreApplication::processEvents();
    wf::Message m;
    while (wf::peekMessage(m, wf::PeekMode::Remove)) wf::dispatchMessage(m);
  };
  struct Case {
    int month, day, year, expectedDay;
  };
  std::vector<int> fitted;
  auto choose = [&](int month, int day, int year) {
    dialogs_.on(IDD_DELETE_JOBS, [&, month, day, year](CDialog& dlg) {
      auto* days = static_cast<CSpinButtonCtrl*>(dlg.GetDlgItem(IDC_DJ_DAYSPIN));
      auto* years = static_cast<CSpinButtonCtrl*>(dlg.GetDlgItem(IDC_DJ_YEARSPIN));
      auto* months = static_cast<CComboBox*>(dlg.GetDlgItem(IDC_DJ_MONTH));
      months->UserSelect(0);  // January: 31 days
      years->SetPos(year);
      days->SetPos(day);
      months->UserSelect(month - 1);
      dlg.SetDlgItemInt(IDC_DJ_YEAR, static_cast<UINT>(year));  // the year typed again
      fitted.push_back(days->GetPos());
      dlg.SendMessage(WM_COMMAND, IDOK, 0);
    });
  };
  const Case cases[] = {{4, 31, 2023, 30}, {2, 31, 2000, 29}, {2, 31, 1900, 28}};
  for (const Case& c : cases) {
    choose(c.month, c.day, c.year);
    runSheet(4, [](CCfgPs& sheet) {
      click(&sheet.m_jobStatsPage, IDC_JS_DELETE);
      click(&sheet, IDCANCEL);
    });
  }
  EXPECT_EQ(fitted, (std::vector<int>{30, 29, 28}));

  // Typed texts outside the up-downs' ranges count as their ends.
  std::pair<int, int> typed;
  dialogs_.on(IDD_DELETE_JOBS, [&](CDialog& dlg) {
    static_cast<CComboBox*>(dlg.GetDlgItem(IDC_DJ_MONTH))->UserSelect(0);
    dlg.SetDlgItemText(IDC_DJ_YEAR, "5000");
    dlg.SetDlgItemText(IDC_DJ_DAY, "0");
    dlg.SendMessage(WM_COMMAND, IDOK, 0);
    auto& jobs = static_cast<CDeleteJobsDlg&>(dlg);
    typed = {jobs.m_nYear, jobs.m_nDay};
  });
  runSheet(4, [](CCfgPs& sheet) {
    click(&sheet.m_jobStatsPage, IDC_JS_DELETE);
    click(&sheet, IDCANCEL);
  });
  EXPECT_EQ(typed, std::make_pair(3000, 1));
  deliver();
  EXPECT_TRUE(posted.empty());  // Cancel posts nothing

  choose(4, 30, 2023);
  runSheet(4, [](CCfgPs& sheet) {
    click(&sheet.m_jobStatsPage, IDC_JS_DELETE);
    click(&sheet.m_jobStatsPage, IDC_JS_TRACKING);
    click(&sheet, ID_APPLY_NOW);
    click(&sheet.m_jobStatsPage, IDC_JS_TRACKING);
    click(&sheet, ID_APPLY_NOW);
    click(&sheet, IDCANCEL);
  });
  deliver();
  // Each Apply: 2023-04-30 00:00 EDT.
  EXPECT_EQ(posted, (std::vector<LPARAM>{1682827200, 1682827200}));
  wf::destroyWindow(service);
  ::unsetenv("TZ");
  ::tzset();
}

TEST_F(Settings, DriverUpdatePathFromTheServerDirectoryAndStartRunsTheProgram) {
  runSheet(5, [](CCfgPs& sheet) {
    EXPECT_TRUE(sheet.m_driverPage.m_strPath.IsEmpty());
    EXPECT_FALSE(sheet.m_driverPage.GetDlgItem(IDC_DU_AUTO)->IsWindowEnabled());
    EXPECT_FALSE(sheet.m_driverPage.GetDlgItem(IDC_DU_START)->IsWindowEnabled());
    click(&sheet, IDCANCEL);
  });

  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Corvane\\Wrenfield\\1.0\\Settings\\Installation", 0,
                            nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const char server[] = "\\\\server\\drivers";
  RegSetValueExA(key, "Server Directory", 0, REG_SZ, reinterpret_cast<const BYTE*>(server), sizeof server);
  RegCloseKey(key);
  runSheet(5, [](CCfgPs& sheet) {
    EXPECT_EQ(sheet.m_driverPage.m_strPath, CString("\\\\server\\drivers\\CINSTALL.EXE"));
    EXPECT_TRUE(sheet.m_driverPage.GetDlgItem(IDC_DU_START)->IsWindowEnabled());
    click(&sheet, IDCANCEL);
  });

  const auto dir = wf::dataRoot().value();
  const auto script = dir / "update.sh";
  const auto out = dir / "update.out";
  {
    std::ofstream s(script);
    s << "#!/bin/sh\nprintf '%s' \"$*\" > " << out.string() << ".tmp\nmv " << out.string() << ".tmp "
      << out.string() << "\n";
  }
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  wf::setModuleSearchPath({WF_TOOLKIT_DIR});
  ASSERT_NE(app_.GetToolKitDLL(), nullptr);
  runSheet(5, [&](CCfgPs& sheet) {
    sheet.m_driverPage.SetDlgItemText(IDC_DU_PATH, script.c_str());
    click(&sheet.m_driverPage, IDC_DU_START);
    click(&sheet, IDCANCEL);
  });
  EXPECT_EQ(app_.PeekToolKitDLL(), nullptr);  // freed: the update may replace it
  wf::setModuleSearchPath({});
  ASSERT_TRUE(eventually([&] { return std::filesystem::exists(out); }));
  std::ifstream in(out);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "-u");
}

}  // namespace

namespace {

constexpr DWORD kRestoreFamily = 0x7E59;

class PlainIcon : public CWFPrinterIcon {
 public:
  explicit PlainIcon(void* record) : CWFPrinterIcon(nullptr, record) { m_hPrinter = 300; }
  static CWFPrinterIcon* create(WFPrtObj*, void* record) { return new PlainIcon(record); }
};

TEST_F(Settings, RestorePutsBackThePrintersOwnNamesInEveryWindow) {
  static const DWORD ids[] = {kRestoreFamily};
  app_.GetPrinterDLLManager()->RegisterDLL(nullptr, "Test", 0, &PlainIcon::create, ids, 1, nullptr);
  ENUMBINARYDATA record{};
  std::strncpy(record.name, "LPT1", sizeof record.name - 1);
  record.familyKey = kRestoreFamily;
  NETADDRESS address{};
  std::strncpy(address.local, "LPT1", sizeof address.local - 1);
  CWFPrinterIcon* icon = app_.GetPrinterList()->CreateGhostPrinter(&address, &record, 0);
  ASSERT_NE(icon, nullptr);
  icon->SetGhostStatus(FALSE);  // a printer found: its own name is the printer's
  icon->SetName(nullptr);
  const CString own = icon->GetName();
  icon->SetName("Front desk");
  icon->SetUserDefinedName(TRUE);
  CMainFrame* first = CMainFrame::Make("W1");
  CMainFrame* second = CMainFrame::Make("W2");
  app_.m_pMainWnd = first;
  first->GetView()->AddPrinter(icon);
  second->GetView()->AddPrinter(icon);
  app_.startWorkQueue();
  runSheet(0, [](CCfgPs& sheet) {
    click(&sheet.m_optionsPage, IDC_CFG_RESTORE);
    click(&sheet, IDCANCEL);  // Restore is not undone
  });
  EXPECT_TRUE(eventually([&] { return !icon->HasUserDefinedName(); }));
  EXPECT_EQ(icon->GetName(), own);
  app_.stopWorkQueue();
  closeWindows(app_);
  app_.GetPrinterList()->DeleteAllPrinters();
}

}  // namespace
