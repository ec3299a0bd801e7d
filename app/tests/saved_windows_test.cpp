// Saved windows under "WFWindows": what a close writes, what a new window
// of the same name reads back, the saved-printer walk, stored filters, the
// window-name helpers and the desktop entry of a named window.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/list_view.h"
#include "app/main_frame.h"
#include "app/window_dialogs.h"
#include "app/window_filter.h"
#include "app/window_list.h"
#include "app_fixture.h"
#include "common/printer_dll.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"
#include "eventually.h"
#include "framework/controls.h"
#include "recording_manager.h"
#include "wfprtmgr/wfprtmgr.h"

namespace {

using wf::ERROR_SUCCESS;
using wf::HKEY_CURRENT_USER;
using wf::KEY_ALL_ACCESS;
using wf::KEY_READ;
using wf::REG_BINARY;
using wf::REG_DWORD;
using wf::REG_SZ;
using wf::RegDeleteKeyA;
constexpr DWORD kTestFamily = 0x7E58;
const std::string kWindows = std::string(CWFApp::kAppKey) + "\\WFWindows\\";

class SavedIcon : public CWFPrinterIcon {
 public:
  SavedIcon(void* record, USHORT handle) : CWFPrinterIcon(nullptr, record) { m_hPrinter = handle; }
  static USHORT nextHandle;
  static CWFPrinterIcon* create(WFPrtObj*, void* record) { return new SavedIcon(record, nextHandle++); }
};
USHORT SavedIcon::nextHandle = 200;

using wf::testing::RecordingManager;

std::vector<std::string> savedValueNames(const std::string& path) {
  std::vector<std::string> names;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
  for (DWORD i = 0;; ++i) {
    char name[260];
    DWORD size = sizeof name;
    if (RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.push_back(name);
  }
  RegCloseKey(key);
  return names;
}

std::vector<std::string> subkeys(const std::string& path) {
  std::vector<std::string> names;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
  for (DWORD i = 0;; ++i) {
    char name[260];
    DWORD size = sizeof name;
    if (RegEnumKeyExA(key, i, name, &size) != ERROR_SUCCESS) break;
    names.push_back(name);
  }
  RegCloseKey(key);
  return names;
}

bool keyExists(const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

void setSavedValue(const std::string& path, const char* name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  ASSERT_EQ(
      RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
      ERROR_SUCCESS);
  RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
}
void setSavedNumber(const std::string& path, const char* name, DWORD value) {
  setSavedValue(path, name, REG_DWORD, &value, 4);
}
// The saved window's place, as its four numbers.
void setPlace(const std::string& path, DWORD left, DWORD right, DWORD top, DWORD bottom) {
  setSavedNumber(path, "posleft", left);
  setSavedNumber(path, "posright", right);
  setSavedNumber(path, "postop", top);
  setSavedNumber(path, "posbottom", bottom);
}
void setText(const std::string& path, const char* name, const std::string& text) {
  setSavedValue(path, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}
std::optional<DWORD> number(const std::string& path, const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
  DWORD value = 0;
  DWORD size = 4;
  DWORD type = 0;
  const LONG r = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  if (r != ERROR_SUCCESS) return std::nullopt;
  return value;
}
std::string text(const std::string& path, const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "<none>";
  char buffer[300] = {};
  DWORD size = sizeof buffer;
  DWORD type = 0;
  const LONG r = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  return r == ERROR_SUCCESS ? std::string(buffer) : "<none>";
}

class SavedWindows : public wf::testing::AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    static const DWORD ids[] = {kTestFamily};
    app_.GetPrinterDLLManager()->RegisterDLL(nullptr, "Test", 0, &SavedIcon::create, ids, 1, nullptr);
  }
  void TearDown() override {
    dispatch();
    app_.JoinSavedPrinterWalks();
    closeWindows(app_);
    dispatch();
    app_.GetPrinterList()->DeleteAllPrinters();
    for (CWFPrinterIcon* icon : unlisted_) delete icon;
    AppFixture::TearDown();
  }
  CMainFrame* open(const char* name) {
    CMainFrame* frame = CMainFrame::Make(name);
    EXPECT_NE(frame, nullptr) << name;
    if (!app_.m_pMainWnd) app_.m_pMainWnd = frame;
    return frame;
  }
  void close(CMainFrame* frame) {
    frame->SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
    if (app_.m_pMainWnd == frame) app_.m_pMainWnd = nullptr;
    dispatch();
  }
  // A missing printer on a local port of that name.
  CWFPrinterIcon* ghost(const char* port, CWFPrinterList* list = nullptr) {
    ENUMBINARYDATA record{};
    std::strncpy(record.name, port, sizeof record.name - 1);
    record.familyKey = kTestFamily;
    NETADDRESS address{};
    std::strncpy(address.local, port, sizeof address.local - 1);
    CWFPrinterIcon* icon = (list ? list : app_.GetPrinterList())->CreateGhostPrinter(&address, &record, 0);
    EXPECT_NE(icon, nullptr) << port;
    return icon;
  }

  CWFApp app_;
  std::vector<CWFPrinterIcon*> unlisted_;
};

TEST_F(SavedWindows, CloseWritesTheTableAndOnlyPrintersStillListed) {
  CMainFrame* frame = open("wrenfield");
  ASSERT_TRUE(frame->GetSavePrinters());
  std::vector<CWFPrinterIcon*> icons;
  for (const char* port : {"LPT1", "LPT2", "LPT3", "LPT4", "LPT5"}) {
    icons.push_back(ghost(port));
    frame->GetView()->AddPrinter(icons.back());
  }
  // Item 2 then shows a printer the program's printer list does not hold.
  CWFPrinterList elsewhere;
  CWFPrinterIcon* unlisted = ghost("LPT9", &elsewhere);
  frame->GetView()->ReplacePrinter(icons[2], unlisted);
  unlisted_.push_back(unlisted);
  close(frame);

  const std::string path = kWindows + "wrenfield";
  EXPECT_EQ(savedValueNames(path),
            (std::vector<std::string>{"caption", "postop", "posbottom", "posleft", "posright", "sortcol",
                                      "saveprinters", "viewstate", "maximized", "namecolumn", "modelcolumn",
                                      "connectcol", "statuscol", "adaptertypecol", "addresscol", "netwarecol",
                                      "clnicknamecol", "iphost"}));
  EXPECT_EQ(text(path, "caption"), "Wrenfield Printer Utility");
  EXPECT_EQ(subkeys(path + "\\printers"), (std::vector<std::string>{"     0", "     1", "     3", "     4"}));
  EXPECT_EQ(text(path + "\\printers\\     3", "localport"), "LPT4");
  // The default filter: no pattern, only the flags.
  EXPECT_EQ(savedValueNames(path + "\\filter"), (std::vector<std::string>{"OffOn"}));
  EXPECT_EQ(number(path + "\\filter", "OffOn"), 0xFBu);
}

TEST_F(SavedWindows, DetailsWidthsSurviveAnotherViewAndComeBackInDetails) {
  CMainFrame* frame = open("wrenfield");
  frame->GetView()->SetColumnWidth(1, 77);
  frame->SendMessage(WM_COMMAND, 1100, 0);  // Large Icons
  frame->GetView()->SetSortColumn(1, FALSE);
  close(frame);
  const std::string path = kWindows + "wrenfield";
  EXPECT_EQ(number(path, "viewstate"), 0u);
  EXPECT_EQ(number(path, "modelcolumn"), 77u);
  EXPECT_EQ(number(path, "sortcol"), 1u);

  setSavedNumber(path, "viewstate", 1);
  frame = open("wrenfield");
  EXPECT_EQ(frame->GetView()->GetViewMode(), 1);
  EXPECT_EQ(frame->GetView()->GetColumnWidth(1), 77);
  EXPECT_EQ(frame->GetView()->GetSortColumn(), 1);
}

TEST_F(SavedWindows, SavePrintersOffLeavesNoPrintersKey) {
  const std::string path = kWindows + "plain";
  setText(path + "\\printers\\     0", "localport", "LPT1");
  setSavedNumber(path, "saveprinters", 0);
  CMainFrame* frame = open("plain");
  EXPECT_FALSE(frame->GetSavePrinters());
  close(frame);
  EXPECT_FALSE(keyExists(path + "\\printers"));
  EXPECT_EQ(number(path, "saveprinters"), 0u);
}

TEST_F(SavedWindows, RestoreReadsGoodValuesAndKeepsDefaultsForBadOnes) {
  struct Case {
    const char* what;
    std::function<void(const std::string&)> write;
    std::function<void(CMainFrame*)> check;
  };
  const std::string path = kWindows + "restored";
  const Case cases[] = {
      {"a caption of another type leaves the title", [](const std::string& p) { setSavedNumber(p, "caption", 5); },
       [](CMainFrame* f) { EXPECT_EQ(f->GetTitle().str(), "restored"); }},
      {"an empty caption leaves the title", [](const std::string& p) { setText(p, "caption", ""); },
       [](CMainFrame* f) { EXPECT_EQ(f->GetTitle().str(), "restored"); }},
      {"an unterminated caption leaves the title",
       [](const std::string& p) { setSavedValue(p, "caption", REG_SZ, "abc", 3); },
       [](CMainFrame* f) { EXPECT_EQ(f->GetTitle().str(), "restored"); }},
      {"a caption over 259 bytes leaves the title",
       [](const std::string& p) { setText(p, "caption", std::string(260, 'x')); },
       [](CMainFrame* f) { EXPECT_EQ(f->GetTitle().str(), "restored"); }},
      {"a caption is taken", [](const std::string& p) { setText(p, "caption", "Lab printers"); },
       [](CMainFrame* f) { EXPECT_EQ(f->GetTitle().str(), "Lab printers"); }},
      {"sortcol outside 0-8 reads 0", [](const std::string& p) { setSavedNumber(p, "sortcol", 9); },
       [](CMainFrame* f) { EXPECT_EQ(f->GetView()->GetSortColumn(), 0); }},
      {"sortcol is taken", [](const std::string& p) { setSavedNumber(p, "sortcol", 8); },
       [](CMainFrame* f) { EXPECT_EQ(f->GetView()->GetSortColumn(), 8); }},
      {"viewstate outside 0-3 reads Details", [](const std::string& p) { setSavedNumber(p, "viewstate", 4); },
       [](CMainFrame* f) { EXPECT_EQ(f->GetView()->GetViewMode(), 1); }},
      {"viewstate is taken", [](const std::string& p) { setSavedNumber(p, "viewstate", 3); },
       [](CMainFrame* f) { EXPECT_EQ(f->GetView()->GetViewMode(), 3); }},
      {"a missing saveprinters counts as 1", [](const std::string& p) { setSavedNumber(p, "sortcol", 0); },
       [](CMainFrame* f) { EXPECT_TRUE(f->GetSavePrinters()); }},
      {"an empty rectangle keeps the default place",
       [](const std::string& p) { setPlace(p, 300, 300, 10, 400); },
       [](CMainFrame* f) {
         RECT r{};
         f->GetWindowRect(&r);
         EXPECT_NE(r.right - r.left, 0);
       }},
      {"a rectangle places the window", [](const std::string& p) { setPlace(p, 40, 540, 30, 430); },
       [](CMainFrame* f) {
         RECT r{};
         f->GetWindowRect(&r);
         EXPECT_EQ(r.right - r.left, 500);
         EXPECT_EQ(r.bottom - r.top, 400);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
    c.write(path);
    CMainFrame* frame = open("restored");
    ASSERT_NE(frame, nullptr);
    c.check(frame);
    frame->DestroyWindow();
    app_.m_pMainWnd = nullptr;
    dispatch();
  }
}

TEST_F(SavedWindows, FiltersRoundTripAndBadValuesKeepTheFields) {
  const std::string path = std::string(CWFApp::kAppKey) + "\\Filters";
  HKEY filters = app_.GetFilterKey();
  ASSERT_NE(filters, nullptr);
  WINDOWFILTER all;
  WriteFilter(filters, "Stars", all);
  EXPECT_EQ(savedValueNames(path + "\\Stars"), (std::vector<std::string>{"OffOn"}));
  EXPECT_EQ(number(path + "\\Stars", "OffOn"), 0xFBu);

  WINDOWFILTER some;
  some.name = "LAB*";
  some.tcpHost = "HOST?";
  some.showLocal = FALSE;
  some.bidiOnly = TRUE;
  some.serial = FALSE;
  WriteFilter(filters, "Some", some);
  EXPECT_EQ(savedValueNames(path + "\\Some"), (std::vector<std::string>{"Name", "TCPHost", "OffOn"}));
  EXPECT_EQ(number(path + "\\Some", "OffOn"), 0xDEu);
  WINDOWFILTER back;
  ReadFilter(filters, "Some", back);
  EXPECT_EQ(back.name.str(), "LAB*");
  EXPECT_EQ(back.tcpHost.str(), "HOST?");
  EXPECT_EQ(back.connection.str(), "*");
  EXPECT_FALSE(back.showLocal);
  EXPECT_TRUE(back.bidiOnly);
  EXPECT_FALSE(back.serial);
  EXPECT_TRUE(back.parallel);

  // Over 80 characters, unterminated, another type: the field stays.
  setText(path + "\\Bad", "Name", std::string(81, 'N'));
  setSavedValue(path + "\\Bad", "Connection", REG_SZ, "LPT", 3);
  setSavedNumber(path + "\\Bad", "NWLogin", 7);
  const WORD shortFlags = 0;
  setSavedValue(path + "\\Bad", "OffOn", REG_DWORD, &shortFlags, 2);
  WINDOWFILTER kept;
  ReadFilter(filters, "Bad", kept);
  EXPECT_EQ(kept.name.str(), "*");
  EXPECT_EQ(kept.connection.str(), "*");
  EXPECT_EQ(kept.nwLogin.str(), "*");
  EXPECT_TRUE(kept.showLocal);
  EXPECT_FALSE(kept.bidiOnly);
  RegCloseKey(filters);

  EXPECT_EQ(app_.GetStoredFilterCount(), 3);
  EXPECT_TRUE(app_.DoesFilterExist("some"));
  EXPECT_FALSE(app_.DoesFilterExist("other"));
  EXPECT_EQ(app_.FillFilterNames(nullptr), 5);
}

TEST_F(SavedWindows, RenameChangesTheHighestSubkeyWithThatCaptionOnly) {
  setText(kWindows + "WFWin2", "caption", "Shared");
  setText(kWindows + "WFWin3", "caption", "Shared");
  setText(kWindows + "WFWin4", "caption", "shared");
  CMainFrame::RenameInRegistry("Shared", "Renamed");
  EXPECT_EQ(text(kWindows + "WFWin2", "caption"), "Shared");
  EXPECT_EQ(text(kWindows + "WFWin3", "caption"), "Renamed");
  EXPECT_EQ(text(kWindows + "WFWin4", "caption"), "shared");
}

TEST_F(SavedWindows, WindowNamesSkipSavedOnesAndDuplicatesIgnoreCase) {
  setText(kWindows + "WFWin2", "caption", "Second");
  setText(kWindows + "WFWin3", "caption", "Third");
  app_.SetWindowCount(1);
  EXPECT_EQ(app_.GetNewWindowName().str(), "WFWin4");
  EXPECT_EQ(app_.GetWindowCount(), 4u);
  EXPECT_EQ(app_.GetNewWindowName().str(), "WFWin5");

  EXPECT_TRUE(app_.IsDuplicateWindowName("THIRD"));
  EXPECT_FALSE(app_.IsDuplicateWindowName("Fourth"));
  app_.CleanUpRegistry("THIRD");  // case-sensitive: nothing goes
  EXPECT_TRUE(keyExists(kWindows + "WFWin3"));
  app_.CleanUpRegistry("Third");
  EXPECT_FALSE(keyExists(kWindows + "WFWin3"));
  EXPECT_TRUE(keyExists(kWindows + "WFWin2"));
}

// The walk asks for saved printers in reverse subkey order; what it reads
// of odd values never reaches past them.
TEST_F(SavedWindows, SavedPrintersAreAskedLastFirstAndBecomeGhosts) {
  auto owned = std::make_unique<RecordingManager>();
  RecordingManager* manager = owned.get();
  app_.SetPrtMgr(std::move(owned));
  app_.SetUseGhosts(TRUE);
  app_.SetStartupEnumAll(FALSE);
  const std::string printers = kWindows + "walked\\printers\\";
  ENUMBINARYDATA record{};
  std::strcpy(record.name, "Saved");
  record.familyKey = kTestFamily;
  setText(printers + "     0", "localport", "LPT1");
  setSavedValue(printers + "     0", "data", REG_BINARY, &record, sizeof record);
  setText(printers + "     1", "localport", std::string(100, 'L'));  // longer than its part
  setSavedValue(printers + "     1", "data", REG_BINARY, &record, 50);    // shorter than the base part
  setSavedNumber(printers + "     2", "sortcol", 1);                      // no address at all
  BYTE netware[30] = {1, 2, 3};
  setSavedValue(printers + "     3", "netware", REG_BINARY, netware, 24);
  setSavedValue(printers + "     4", "netware", REG_BINARY, netware, 30);  // too long: part stays zero
  setText(printers + "     4", "localport", "LPT4");

  // No main window yet, as at start-up: the listed window is enough.
  CMainFrame* frame = CMainFrame::Make("walked");
  ASSERT_NE(frame, nullptr);
  ASSERT_TRUE(wf::testing::eventually([&] { return manager->asked().size() == 4; }));
  app_.JoinSavedPrinterWalks();
  const auto asked = manager->asked();
  EXPECT_EQ(asked[0].local, "LPT4");
  EXPECT_EQ(asked[0].netware, std::vector<BYTE>(24, 0));
  EXPECT_EQ(asked[1].local, "");
  EXPECT_EQ(asked[1].netware[2], 3);
  EXPECT_EQ(asked[2].local, "");
  EXPECT_FALSE(asked[2].record);
  EXPECT_EQ(asked[3].local, "LPT1");
  EXPECT_TRUE(asked[3].record);
  for (const auto& a : asked) EXPECT_EQ(a.flag, 1);  // start-up enumeration off
  // Only the request with a stored record names a family that can be made.
  ASSERT_TRUE(wf::testing::eventually([&] {
    dispatch();
    return frame->GetView()->GetItemCount() == 1;
  }));
  EXPECT_EQ(frame->GetView()->GetPrinterAt(0)->GetName().str(), "Saved");
  EXPECT_EQ(app_.GetEnumSpecCount(), 0);
}

TEST_F(SavedWindows, ShortcutIsADesktopEntryThatOpensTheWindow) {
  const std::filesystem::path folder = CWFApp::ShortcutFolder();
  ASSERT_EQ(folder.parent_path(), std::filesystem::path(std::getenv("WRENFIELD_ROOT")) / "applications");
  EXPECT_EQ(folder.filename(), "Wrenfield Printer Utility");
  ASSERT_TRUE(app_.CreateWFShortcut("WFWin7", "Lab \"100%\""));
  std::ifstream in(folder / "Lab \"100%\".desktop");
  std::stringstream entry;
  entry << in.rdbuf();
  const std::string program = std::string(app_.GetProgramDirectory()) + "/wrenfld";
  EXPECT_EQ(entry.str(),
            "[Desktop Entry]\nType=Application\nName=Lab \"100%\"\nComment=Lab \"100%\"\n"
            "Exec=\"" +
                program + "\" \"WFWin7\"\nPath=" + app_.GetProgramDirectory() + "\n");
  struct stat info {};
  ASSERT_EQ(::stat((folder / "Lab \"100%\".desktop").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  ASSERT_TRUE(app_.CreateWFShortcut("a$b\\c%d", "Odd"));
  std::ifstream odd(folder / "Odd.desktop");
  std::string line;
  while (std::getline(odd, line) && line.rfind("Exec=", 0) != 0) {
  }
  EXPECT_EQ(line, "Exec=\"" + program + "\" \"a\\\\$b\\\\\\\\c%%d\"");

  for (const char* bad : {"", ".", "..", "a/b"}) EXPECT_FALSE(app_.CreateWFShortcut("n", bad)) << bad;
  EXPECT_FALSE(app_.CreateWFShortcut("n", std::string(251, 't').c_str()));
}

TEST_F(SavedWindows, ShortcutFailsWhenItsFolderCannotBeMade) {
  const std::filesystem::path folder = CWFApp::ShortcutFolder();
  std::filesystem::create_directories(folder.parent_path());
  std::ofstream(folder.string()) << "in the way";
  EXPECT_FALSE(app_.CreateWFShortcut("WFWin2", "Blocked"));
}

// The whole round: a window made with New Window, set up and closed, comes
// back by the name its desktop entry starts it with.
TEST_F(SavedWindows, ANewWindowClosedAndReopenedByItsShortcutIsTheSame) {
  auto owned = std::make_unique<RecordingManager>();
  RecordingManager* manager = owned.get();
  app_.SetPrtMgr(std::move(owned));
  app_.SetUseGhosts(TRUE);
  app_.SetStartupEnumAll(FALSE);
  for (const char* port : {"LPT1", "LPT2", "LPT3", "COM1"}) ghost(port);
  CMainFrame* main = open("wrenfield");
  wf::fw::ScriptedDialogs dialogs;
  dialogs.on(IDD_WINDOW_NAME, [](CDialog& d) {
    dynamic_cast<CEdit*>(d.GetDlgItem(IDC_WINDOW_NAME))->TypeText("Lab");
    dynamic_cast<CButton*>(d.GetDlgItem(IDOK))->Click();
  });
  dialogs.on(IDD_FILTER, [](CDialog& d) {
    dynamic_cast<CEdit*>(d.GetDlgItem(IDC_NAME_PATTERN))->TypeText("lpt*");
    dynamic_cast<CButton*>(d.GetDlgItem(IDOK))->Click();
  });
  main->SendMessage(WM_COMMAND, 32786, 0);
  dispatch();
  CMainFrame* lab = app_.GetWFWindowList()->FindWindowA(CString("Lab"));
  ASSERT_NE(lab, nullptr);
  ASSERT_EQ(lab->GetView()->GetItemCount(), 3);
  const std::string name = lab->GetName().str();
  lab->SendMessage(WM_COMMAND, 32834, 0);  // save the printers
  lab->SendMessage(WM_COMMAND, 1100, 0);   // Large Icons
  lab->GetView()->SetSortColumn(1, FALSE);
  close(lab);

  std::ifstream entry(CWFApp::ShortcutFolder() / "Lab.desktop");
  std::stringstream desktop;
  desktop << entry.rdbuf();
  EXPECT_NE(desktop.str().find(" \"" + name + "\"\n"), std::string::npos) << desktop.str();

  CMainFrame* again = open(name.c_str());
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->GetTitle().str(), "Lab");
  EXPECT_EQ(again->GetView()->GetViewMode(), 0);
  EXPECT_EQ(again->GetView()->GetSortColumn(), 1);
  EXPECT_EQ(again->GetFilter().name.str(), "LPT*");
  EXPECT_TRUE(again->GetSavePrinters());
  // Found again, each replaces its old icon in the windows: served here.
  ASSERT_TRUE(wf::testing::eventually([&] {
    dispatch();
    return manager->asked().size() == 3;
  }));
  std::vector<std::string> asked;
  for (const auto& a : manager->asked()) asked.push_back(a.local);
  std::vector<std::string> saved = asked;
  std::sort(saved.begin(), saved.end());
  EXPECT_EQ(saved, (std::vector<std::string>{"LPT1", "LPT2", "LPT3"}));
  // Last subkey first: the reverse of the order the items had at the close.
  std::vector<std::string> items;
  for (const std::string& sub : subkeys(kWindows + name + "\\printers"))
    items.push_back(text(kWindows + name + "\\printers\\" + sub, "localport"));
  EXPECT_EQ(asked, std::vector<std::string>(items.rbegin(), items.rend()));
  EXPECT_TRUE(wf::testing::eventually([&] {
    dispatch();
    return again->GetView()->GetItemCount() == 3;
  }));
}

}  // namespace
