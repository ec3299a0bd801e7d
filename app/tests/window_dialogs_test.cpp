// The window, column and filter dialogs, driven as a user would: typed
// text, clicked buttons, answered boxes.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
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
#include "framework/controls.h"

namespace {

using wf::ERROR_SUCCESS;
using wf::HKEY_CURRENT_USER;
using wf::KEY_ALL_ACCESS;
using wf::KEY_READ;
using wf::REG_SZ;
using wf::RegDeleteKeyA;
constexpr DWORD kDialogFamily = 0x7E5A;
const std::string kDialogWindows = std::string(CWFApp::kAppKey) + "\\WFWindows\\";
const std::string kFilters = std::string(CWFApp::kAppKey) + "\\Filters\\";

class NamedIcon : public CWFPrinterIcon {
 public:
  NamedIcon(void* record, USHORT handle) : CWFPrinterIcon(nullptr, record) { m_hPrinter = handle; }
  static USHORT next;
  static CWFPrinterIcon* create(WFPrtObj*, void* record) { return new NamedIcon(record, next++); }
};
USHORT NamedIcon::next = 300;

void setCaption(const std::string& key, const char* caption) {
  HKEY window = nullptr;
  RegCreateKeyExA(HKEY_CURRENT_USER, (kDialogWindows + key).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                  &window, nullptr);
  RegSetValueExA(window, "caption", 0, REG_SZ, reinterpret_cast<const BYTE*>(caption),
                 static_cast<DWORD>(std::strlen(caption) + 1));
  RegCloseKey(window);
}

bool dialogKeyExists(const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

void storeFilter(const char* name, const WINDOWFILTER& filter) {
  HKEY filters = nullptr;
  RegCreateKeyExA(HKEY_CURRENT_USER, kFilters.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &filters,
                  nullptr);
  WriteFilter(filters, name, filter);
  RegCloseKey(filters);
}

CEdit* edit(CDialog& dialog, UINT id) {
  return dynamic_cast<CEdit*>(dialog.GetDlgItem(static_cast<int>(id)));
}
CButton* button(CDialog& dialog, UINT id) {
  return dynamic_cast<CButton*>(dialog.GetDlgItem(static_cast<int>(id)));
}
std::string textOf(CDialog& dialog, UINT id) {
  CString text;
  dialog.GetDlgItemText(static_cast<int>(id), text);
  return text.str();
}

class WindowDialogs : public wf::testing::AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    static const DWORD ids[] = {kDialogFamily};
    app_.GetPrinterDLLManager()->RegisterDLL(nullptr, "Test", 0, &NamedIcon::create, ids, 1, nullptr);
    frame_ = CMainFrame::Make("wrenfield");
    ASSERT_NE(frame_, nullptr);
    app_.m_pMainWnd = frame_;
  }
  void TearDown() override {
    closeWindows(app_);
    dispatch();
    app_.GetPrinterList()->DeleteAllPrinters();
    AppFixture::TearDown();
  }
  CWFPrinterIcon* printer(const char* name) {
    ENUMBINARYDATA record{};
    std::strncpy(record.name, name, sizeof record.name - 1);
    record.familyKey = kDialogFamily;
    NETADDRESS address{};
    std::strncpy(address.local, name, sizeof address.local - 1);
    return app_.GetPrinterList()->CreateGhostPrinter(&address, &record, 0);
  }
  std::vector<std::string> rows() {
    std::vector<std::string> names;
    for (CWFPrinterIcon* icon : frame_->GetView()->Printers()) names.push_back(icon->GetName().str());
    return names;
  }
  std::vector<std::string> boxes() {
    std::vector<std::string> texts;
    for (const auto& call : shell_.messageBox.calls()) texts.push_back(call.caption + "|" + call.text);
    return texts;
  }
  static std::string message(UINT id) {
    CString text;
    text.LoadString(id);
    return text.str();
  }
  // Runs the Window Name dialog with `act` and answers what it ends with.
  INT_PTR runName(const CString& start, std::function<void(CDialog&)> act) {
    dialogs_.on(IDD_WINDOW_NAME, std::move(act));
    CWindowNameDlg dialog(frame_, start);
    const INT_PTR result = dialog.DoModal();
    name_ = dialog.m_name.str();
    replace_ = dialog.m_replace;
    return result;
  }

  CWFApp app_;
  CMainFrame* frame_ = nullptr;
  wf::fw::ScriptedDialogs dialogs_;
  std::string name_;
  BOOL replace_ = FALSE;
};

TEST_F(WindowDialogs, WindowNameRefusesEachForbiddenCharacter) {
  const std::string bad = message(80);
  for (char c : std::string("\"<>*|\\:/,")) {
    SCOPED_TRACE(std::string(1, c));
    const size_t before = shell_.messageBox.calls().size();
    runName("", [c](CDialog& d) {
      edit(d, IDC_WINDOW_NAME)->TypeText((std::string("ab") + c + "d").c_str());
      button(d, IDOK)->Click();
    });
    EXPECT_EQ(name_, "abd");
    ASSERT_EQ(shell_.messageBox.calls().size(), before + 1);
    EXPECT_EQ(boxes().back(), "Wrenfield|" + bad);
  }
}

TEST_F(WindowDialogs, WindowNameOfAnOpenOrStoredWindowAsksBeforeReplacing) {
  CMainFrame* open = CMainFrame::Make("Open");
  ASSERT_NE(open, nullptr);
  setCaption("WFWin9", "Stored");
  setCaption("WFWin8", "Case");
  auto typeAndOk = [](const char* name, bool thenCancel) {
    return [name, thenCancel](CDialog& d) {
      edit(d, IDC_WINDOW_NAME)->TypeText(name);
      button(d, IDOK)->Click();
      // Still open after the box's Cancel: the posted Cancel ends it.
      if (thenCancel) d.PostMessage(WM_COMMAND, IDCANCEL, 0);
    };
  };
  shell_.messageBox.script(IDCANCEL);
  EXPECT_EQ(runName("", typeAndOk("open", true)), IDCANCEL);
  EXPECT_EQ(boxes().back(), "Wrenfield|" + message(81));

  EXPECT_EQ(runName("", typeAndOk("Open", false)), IDOK);
  EXPECT_TRUE(replace_);
  EXPECT_TRUE(dialogKeyExists(kDialogWindows + "WFWin9"));

  EXPECT_EQ(runName("", typeAndOk("Stored", false)), IDOK);
  EXPECT_FALSE(replace_);
  EXPECT_FALSE(dialogKeyExists(kDialogWindows + "WFWin9"));

  // A stored caption differing in case is a duplicate, and not deleted.
  const size_t before = shell_.messageBox.calls().size();
  EXPECT_EQ(runName("", typeAndOk("CASE", false)), IDOK);
  EXPECT_EQ(shell_.messageBox.calls().size(), before + 1);
  EXPECT_TRUE(dialogKeyExists(kDialogWindows + "WFWin8"));
}

TEST_F(WindowDialogs, AnEmptyWindowNameUsesTheNextNumberWithoutTakingIt) {
  app_.SetWindowCount(4);
  setCaption("WFWin5", "Taken");
  EXPECT_EQ(runName("", [](CDialog& d) { button(d, IDOK)->Click(); }), IDOK);
  EXPECT_EQ(name_, "Wrenfield Printer Utility - WFWin6");
  EXPECT_EQ(app_.GetWindowCount(), 5u);
}

TEST_F(WindowDialogs, FilterEditsTakeCapitalsAndRefuseBadCharacters) {
  app_.SetNetsAvailable(0xF);
  std::vector<std::string> seen;
  dialogs_.on(IDD_FILTER, [&](CDialog& d) {
    edit(d, IDC_ADDRESS_PATTERN)->TypeText("a");
    seen.push_back(textOf(d, IDC_ADDRESS_PATTERN));
    edit(d, IDC_ADDRESS_PATTERN)->TypeText("AG");
    seen.push_back(textOf(d, IDC_ADDRESS_PATTERN));
    for (char c : std::string("\\/:;?=<>+[]\"|,")) {
      edit(d, IDC_LOGIN_PATTERN)->TypeText((std::string("x") + c).c_str());
      seen.push_back(textOf(d, IDC_LOGIN_PATTERN));
    }
    button(d, IDCANCEL)->Click();
  });
  frame_->SendMessage(WM_COMMAND, 32818, 0);
  ASSERT_EQ(seen.size(), 16u);
  EXPECT_EQ(seen[0], "A");
  EXPECT_EQ(seen[1], "A");
  for (size_t i = 2; i < seen.size(); ++i) EXPECT_EQ(seen[i], "X") << i;
  const auto texts = boxes();
  ASSERT_EQ(texts.size(), 15u);
  EXPECT_EQ(texts[0], "Filter Printers|" + message(62));
  for (size_t i = 1; i < texts.size(); ++i) EXPECT_EQ(texts[i], "Filter Printers|" + message(63)) << i;
}

TEST_F(WindowDialogs, FilterFieldsOfMissingNetworksShowAStarDisabled) {
  struct Case {
    UINT nets;
    std::vector<UINT> disabled;
  };
  const Case cases[] = {
      {0xF, {}},
      {0x2, {IDC_LOGIN_PATTERN, IDC_NICKNAME_PATTERN}},
      {0x1 | 0x8, {IDC_HOST_PATTERN}},
      {0x0, {IDC_HOST_PATTERN, IDC_LOGIN_PATTERN, IDC_NICKNAME_PATTERN, IDC_ADDRESS_PATTERN}},
  };
  frame_->GetFilter().tcpHost = "HOST";
  frame_->GetFilter().nwLogin = "LOGIN";
  frame_->GetFilter().clNickname = "NICK";
  frame_->GetFilter().netAddress = "00C0";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.nets);
    app_.SetNetsAvailable(c.nets);
    std::vector<UINT> disabled;
    dialogs_.on(IDD_FILTER, [&](CDialog& d) {
      for (UINT id : {IDC_HOST_PATTERN, IDC_LOGIN_PATTERN, IDC_NICKNAME_PATTERN, IDC_ADDRESS_PATTERN}) {
        if (d.GetDlgItem(static_cast<int>(id))->IsWindowEnabled()) continue;
        disabled.push_back(id);
        EXPECT_EQ(textOf(d, id), "*") << id;
      }
      button(d, IDCANCEL)->Click();
    });
    frame_->SendMessage(WM_COMMAND, 32818, 0);
    EXPECT_EQ(disabled, c.disabled);
  }
}

TEST_F(WindowDialogs, FilterOkAppliesAndTheRowsFollowDefaultsStayAfterCancel) {
  for (const char* name : {"ALPHA", "BETA"}) frame_->GetView()->AddPrinter(printer(name));
  dialogs_.on(IDD_FILTER, [](CDialog& d) {
    edit(d, IDC_NAME_PATTERN)->TypeText("alp*");
    button(d, IDOK)->Click();
  });
  frame_->SendMessage(WM_COMMAND, 32818, 0);
  EXPECT_EQ(frame_->GetFilter().name.str(), "ALP*");
  EXPECT_EQ(rows(), std::vector<std::string>{"ALPHA"});

  dialogs_.on(IDD_FILTER, [](CDialog& d) {
    button(d, IDC_FILTER_DEFAULTS)->Click();
    EXPECT_EQ(textOf(d, IDC_NAME_PATTERN), "*");
    button(d, IDCANCEL)->Click();
  });
  frame_->SendMessage(WM_COMMAND, 32818, 0);
  EXPECT_EQ(frame_->GetFilter().name.str(), "*");
  EXPECT_EQ(rows(), std::vector<std::string>{"ALPHA"});  // rows change only after an OK
}

TEST_F(WindowDialogs, SavingUnderAnExistingNameAsksAndCancelKeepsTheDialog) {
  WINDOWFILTER old;
  old.name = "OLD";
  storeFilter("Lab", old);
  dialogs_.on(IDD_FILTER, [](CDialog& d) {
    edit(d, IDC_NAME_PATTERN)->TypeText("NEW");
    button(d, IDC_FILTER_SAVE)->Click();
    button(d, IDC_FILTER_SAVE)->Click();
    button(d, IDCANCEL)->Click();
  });
  int runs = 0;
  dialogs_.on(IDD_SAVE_FILTER, [&runs](CDialog& d) {
    ++runs;
    button(d, IDOK)->Click();  // an empty name: nothing happens
    edit(d, IDC_FILTER_NAME)->TypeText("Lab");
    button(d, IDOK)->Click();
    if (runs == 1) d.PostMessage(WM_COMMAND, IDCANCEL, 0);
  });
  shell_.messageBox.script(IDCANCEL);
  shell_.messageBox.script(IDOK);
  frame_->SendMessage(WM_COMMAND, 32818, 0);
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(boxes(), (std::vector<std::string>{"Wrenfield Warning|" + message(139),
                                               "Wrenfield Warning|" + message(139)}));
  WINDOWFILTER stored;
  HKEY filters = app_.GetFilterKey();
  ReadFilter(filters, "Lab", stored);
  RegCloseKey(filters);
  EXPECT_EQ(stored.name.str(), "NEW");
}

TEST_F(WindowDialogs, SaveRefusesANameWithABackslash) {
  CSaveFilterDlg dialog(frame_);
  dialogs_.on(IDD_SAVE_FILTER, [](CDialog& d) {
    edit(d, IDC_FILTER_NAME)->TypeText("a\\b");
    button(d, IDOK)->Click();
    d.PostMessage(WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
}

TEST_F(WindowDialogs, RestoreAndDeleteOfStoredFilters) {
  // None stored: both say so.
  dialogs_.on(IDD_FILTER, [](CDialog& d) {
    button(d, IDC_FILTER_RESTORE)->Click();
    button(d, IDC_FILTER_DELETE)->Click();
    button(d, IDCANCEL)->Click();
  });
  frame_->SendMessage(WM_COMMAND, 32818, 0);
  EXPECT_EQ(boxes(), (std::vector<std::string>{"Wrenfield Warning|" + message(78),
                                               "Wrenfield Warning|" + message(78)}));

  WINDOWFILTER lab;
  lab.name = "LAB*";
  lab.showMissing = FALSE;
  storeFilter("Lab", lab);
  storeFilter("Office", WINDOWFILTER{});
  storeFilter("Zeta", WINDOWFILTER{});
  std::string restored;
  BOOL missingShown = TRUE;
  dialogs_.on(IDD_FILTER, [&](CDialog& d) {
    button(d, IDC_FILTER_RESTORE)->Click();
    restored = textOf(d, IDC_NAME_PATTERN);
    missingShown = d.IsDlgButtonChecked(IDC_SHOW_MISSING);
    button(d, IDC_FILTER_DELETE)->Click();
    button(d, IDCANCEL)->Click();
  });
  std::vector<std::string> listed;
  dialogs_.on(IDD_RESTORE_FILTER, [&](CDialog& d) {
    auto* list = dynamic_cast<CListBox*>(d.GetDlgItem(IDC_RESTORE_LIST));
    for (int i = 0; i < list->GetCount(); ++i) {
      CString name;
      list->GetText(i, name);
      listed.push_back(name.str());
    }
    EXPECT_EQ(list->GetCurSel(), 0);
    EXPECT_GT(list->GetHorizontalExtent(), 0);
    button(d, IDOK)->Click();
  });
  dialogs_.on(IDD_DELETE_FILTERS, [](CDialog& d) {
    auto* list = dynamic_cast<CListBox*>(d.GetDlgItem(IDC_DELETE_LIST));
    EXPECT_EQ(list->GetSelCount(), 0);
    list->SetSel(0);
    list->SetSel(2);
    RegDeleteKeyA(HKEY_CURRENT_USER, (kFilters + "Zeta").c_str());  // already gone: ignored
    button(d, IDOK)->Click();
  });
  frame_->SendMessage(WM_COMMAND, 32818, 0);
  EXPECT_EQ(listed, (std::vector<std::string>{"Lab", "Office", "Zeta"}));
  EXPECT_EQ(restored, "LAB*");
  EXPECT_FALSE(missingShown);
  EXPECT_EQ(frame_->GetFilter().name.str(), "*");  // the window takes it only on OK
  EXPECT_FALSE(dialogKeyExists(kFilters + "Lab"));
  EXPECT_TRUE(dialogKeyExists(kFilters + "Office"));
}

TEST_F(WindowDialogs, ColumnsStartFromTheShownColumns) {
  CWFListView* view = frame_->GetView();
  view->ShowColumn(2, FALSE);
  std::vector<int> checks;
  dialogs_.on(IDD_SELECT_COLUMNS, [&](CDialog& d) {
    for (UINT id : {1019u, 1020u, 1021u, 1130u}) checks.push_back(static_cast<int>(d.IsDlgButtonChecked(id)));
    button(d, 1021)->Click();  // status off
    button(d, 1020)->Click();  // connection on
    button(d, IDOK)->Click();
  });
  frame_->SendMessage(WM_COMMAND, 32804, 0);
  EXPECT_EQ(checks, (std::vector<int>{1, 0, 1, 1}));
  EXPECT_TRUE(view->ColumnShown(2));
  EXPECT_FALSE(view->ColumnShown(3));
}

TEST_F(WindowDialogs, NewWindowWithAFailingShortcutFolderStaysAndSaysSo) {
  const std::filesystem::path folder = CWFApp::ShortcutFolder();
  std::filesystem::create_directories(folder.parent_path());
  std::ofstream(folder.string()) << "in the way";
  dialogs_.on(IDD_WINDOW_NAME, [](CDialog& d) {
    edit(d, IDC_WINDOW_NAME)->TypeText("Lab");
    button(d, IDOK)->Click();
  });
  frame_->SendMessage(WM_COMMAND, 32786, 0);
  dispatch();
  CMainFrame* lab = app_.GetWFWindowList()->FindWindowA(CString("Lab"));
  ASSERT_NE(lab, nullptr);
  EXPECT_EQ(lab->GetName().Left(5).str(), "WFWin");
  EXPECT_EQ(boxes(), std::vector<std::string>{"Wrenfield Warning|" + message(68)});
  EXPECT_EQ(newWindowFilter_.runs(IDD_FILTER), 1);  // asked before it showed
}

TEST_F(WindowDialogs, NewWindowMakesTheShortcutAndMoreWindowsActivates) {
  dialogs_.on(IDD_WINDOW_NAME, [](CDialog& d) {
    edit(d, IDC_WINDOW_NAME)->TypeText("Office");
    button(d, IDOK)->Click();
  });
  frame_->SendMessage(WM_COMMAND, 32786, 0);
  dispatch();
  CMainFrame* office = app_.GetWFWindowList()->FindWindowA(CString("Office"));
  ASSERT_NE(office, nullptr);
  EXPECT_TRUE(std::filesystem::exists(CWFApp::ShortcutFolder() / "Office.desktop"));
  EXPECT_TRUE(boxes().empty());

  std::vector<std::string> listed;
  dialogs_.on(IDD_WINDOWS, [&](CDialog& d) {
    auto* list = dynamic_cast<CListBox*>(d.GetDlgItem(IDC_WINDOWS_LIST));
    for (int i = 0; i < list->GetCount(); ++i) {
      CString title;
      list->GetText(i, title);
      listed.push_back(title.str());
    }
    list->SetCurSel(0);
    button(d, IDOK)->Click();
  });
  frame_->SendMessage(WM_COMMAND, 32816, 0);
  EXPECT_EQ(listed, (std::vector<std::string>{"Office", "Wrenfield Printer Utility"}));
}

TEST_F(WindowDialogs, HelpOnAControlOpensTheProgramsHelpWithTheDialogsTable) {
  dialogs_.on(IDD_WINDOW_NAME, [](CDialog& d) {
    HELPINFO info;
    info.iCtrlId = IDC_WINDOW_NAME;
    info.hItemHandle = d.GetDlgItem(IDC_WINDOW_NAME)->GetSafeHwnd();
    d.SendMessage(WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    button(d, IDCANCEL)->Click();
  });
  CWindowNameDlg dialog(frame_, "");
  dialog.DoModal();
  const auto calls = shell_.help.calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].helpFile, std::string(app_.GetProgramDirectory()) + "/WRENFLD.HLP");
  EXPECT_EQ(calls[0].command, HELP_WM_HELP);
  EXPECT_EQ(calls[0].controlTable, (std::vector<std::pair<DWORD, DWORD>>{{1023, 600}}));
}

}  // namespace
