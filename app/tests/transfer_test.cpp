// Copy, move and delete of printers between printer windows: the window
// choice, the confirmation answers, the selection afterwards, usage counts,
// and printers that go away while a box is up.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/copy_move_dlg.h"
#include "app/list_view.h"
#include "app/main_frame.h"
#include "app/window_list.h"
#include "app_fixture.h"
#include "common/printer_dll.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"
#include "framework/controls.h"
#include "platform/window_messages.h"

namespace {

constexpr DWORD kTestFamily = 0x7E57;
constexpr UINT kCopy = 32789, kMove = 32790, kDelete = 32791;

// A printer known by name and handle, without a printer object.
class NamedIcon : public CWFPrinterIcon {
 public:
  NamedIcon(void* record, USHORT handle) : CWFPrinterIcon(nullptr, record) { m_hPrinter = handle; }
  static USHORT nextHandle;
  static CWFPrinterIcon* create(WFPrtObj*, void* record) { return new NamedIcon(record, nextHandle); }
};
USHORT NamedIcon::nextHandle = 0;

class Transfer : public wf::testing::AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    static const DWORD ids[] = {kTestFamily};
    app_.GetPrinterDLLManager()->RegisterDLL(nullptr, "Test", 0, &NamedIcon::create, ids, 1, nullptr);
    app_.SetCopyConf(FALSE);
    app_.SetMoveConf(FALSE);
    app_.SetDeleteConf(FALSE);
  }
  void TearDown() override {
    closeWindows(app_);
    app_.GetPrinterList()->DeleteAllPrinters();
    AppFixture::TearDown();
  }

  CMainFrame* open(const char* title) { return openWindow(app_, title); }
  CWFPrinterIcon* printer(const char* name) {
    ENUMBINARYDATA record{};
    std::strncpy(record.name, name, sizeof record.name - 1);
    record.familyKey = kTestFamily;
    NETADDRESS address{};
    std::strncpy(address.local, name, sizeof address.local - 1);
    NamedIcon::nextHandle = static_cast<USHORT>(100 + icons_.size());
    CWFPrinterIcon* icon = app_.GetPrinterList()->CreateGhostPrinter(&address, &record, 0);
    EXPECT_NE(icon, nullptr) << name;
    icons_[name] = icon;
    return icon;
  }
  // Printers P1..Pn in `window`, each selected when `select` says so.
  void fill(CMainFrame* window, int count) {
    for (int i = 1; i <= count; ++i) {
      const std::string name = "P" + std::to_string(i);
      CWFPrinterIcon* icon = icons_.count(name) ? icons_[name] : printer(name.c_str());
      window->GetView()->AddPrinter(icon);
    }
  }
  void select(CMainFrame* window, std::vector<int> items) {
    CWFListView* view = window->GetView();
    for (int i = 0; i < view->GetItemCount(); ++i) view->SetItemState(i, 0, LVIS_SELECTED | LVIS_FOCUSED);
    for (int i : items) view->SetItemState(i, LVIS_SELECTED, LVIS_SELECTED);
  }
  std::vector<std::string> names(CMainFrame* window) {
    std::vector<std::string> out;
    for (CWFPrinterIcon* icon : window->GetView()->Printers()) out.push_back(icon->GetName().str());
    return out;
  }
  std::vector<int> selected(CMainFrame* window) {
    std::vector<int> out;
    CWFListView* view = window->GetView();
    for (int i = view->GetNextItem(-1, LVNI_SELECTED); i >= 0; i = view->GetNextItem(i, LVNI_SELECTED))
      out.push_back(i);
    return out;
  }
  void command(CMainFrame* window, UINT id) {
    window->SendMessage(WM_COMMAND, id, 0);
    dispatch();
  }
  // Answers the confirmation boxes in turn: a button id, or 0 for Escape.
  void answerConfirmations(std::vector<int> answers, std::function<void(int)> during = {}) {
    dialogs_.on(IDD_CONFIRM_ALL, [this, answers, during](CDialog& box) {
      const int turn = static_cast<int>(confirmTexts_.size());
      CString text;
      box.GetDlgItemText(IDC_CONFIRM_TEXT, text);
      CString caption;
      box.GetWindowText(caption);
      confirmTexts_.push_back(caption.str() + "|" + text.str());
      if (during) during(turn);
      const int answer = turn < static_cast<int>(answers.size()) ? answers[turn] : IDC_CONFIRM_NO;
      if (answer == 0)
        box.SendMessage(WM_COMMAND, IDCANCEL, 0);
      else
        static_cast<CButton*>(box.GetDlgItem(answer))->Click();
    });
  }
  // Chooses list entry `entry` of the window dialog, or cancels it (-1).
  void chooseWindow(UINT templateId, int entry) {
    dialogs_.on(templateId, [this, entry](CDialog& dlg) {
      auto* list = static_cast<CListBox*>(dlg.GetDlgItem(IDC_WINDOW_CHOICE));
      listed_.clear();
      for (int i = 0; i < list->GetCount(); ++i) {
        CString text;
        list->GetText(i, text);
        listed_.push_back(text.str());
      }
      if (entry < 0) return dlg.EndDialog(IDCANCEL);
      list->UserSelect(entry);
      dlg.EndDialog(IDOK);
      dlg.UpdateData(TRUE);
    });
  }

  CWFApp app_;
  wf::fw::ScriptedDialogs dialogs_;
  std::map<std::string, CWFPrinterIcon*> icons_;
  std::vector<std::string> confirmTexts_;
  std::vector<std::string> listed_;
};

TEST_F(Transfer, CopyWithoutConfirmationCopiesAllAndReportsThoseAlreadyThere) {
  CMainFrame* source = open("A source");
  CMainFrame* target = open("B target");
  fill(source, 3);
  target->GetView()->AddPrinter(icons_["P2"]);
  select(source, {0, 1, 2});
  chooseWindow(IDD_COPY_WINDOW, 0);
  command(source, kCopy);
  EXPECT_EQ(listed_, std::vector<std::string>{"B target"}) << "never the calling window";
  EXPECT_EQ(names(target), (std::vector<std::string>{"P2", "P1", "P3"}));
  EXPECT_EQ(names(source), (std::vector<std::string>{"P1", "P2", "P3"}));
  EXPECT_EQ(boxTexts(), std::vector<std::string>{"P2 is already in the destination window."});
  EXPECT_EQ(shell_.messageBox.calls().at(0).caption, "Copy a Printer");
  EXPECT_EQ(confirmTexts_.size(), 0u);
  for (const char* name : {"P1", "P2", "P3"}) EXPECT_EQ(icons_[name]->GetUsageCount(), 2u) << name;
}

TEST_F(Transfer, TheEntryBelowTheCallerTargetsTheWindowAfterIt) {
  CMainFrame* first = open("1 first");
  CMainFrame* caller = open("2 caller");
  CMainFrame* third = open("3 third");
  fill(caller, 1);
  select(caller, {0});
  chooseWindow(IDD_COPY_WINDOW, 1);
  command(caller, kCopy);
  EXPECT_EQ(listed_, (std::vector<std::string>{"1 first", "3 third"}));
  EXPECT_EQ(names(third), std::vector<std::string>{"P1"});
  EXPECT_TRUE(names(first).empty());
}

TEST_F(Transfer, ConfirmedMoveAnswers) {
  struct Case {
    const char* what;
    std::vector<int> answers;
    std::vector<std::string> source, target;
    int boxes;
  };
  const Case cases[] = {
      {"stop on the second of five",
       {IDC_CONFIRM_YES, IDC_CONFIRM_STOP},
       {"P2", "P3", "P4", "P5"},
       {"P1"},
       2},
      {"yes to all on the first", {IDC_CONFIRM_YES_ALL}, {}, {"P1", "P2", "P3", "P4", "P5"}, 1},
      {"escape counts as no",
       {0, IDC_CONFIRM_YES, 0, 0, IDC_CONFIRM_YES},
       {"P1", "P3", "P4"},
       {"P2", "P5"},
       5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CMainFrame* source = open("A");
    CMainFrame* target = open("B");
    app_.SetMoveConf(TRUE);
    fill(source, 5);
    select(source, {0, 1, 2, 3, 4});
    confirmTexts_.clear();
    chooseWindow(IDD_MOVE_WINDOW, 0);
    answerConfirmations(c.answers);
    command(source, kMove);
    EXPECT_EQ(names(source), c.source);
    EXPECT_EQ(names(target), c.target);
    ASSERT_EQ(static_cast<int>(confirmTexts_.size()), c.boxes);
    EXPECT_EQ(confirmTexts_[0], "Move a Printer|Are you sure that you want to move P1 to B?");
    for (const auto& [name, icon] : icons_) EXPECT_EQ(icon->GetUsageCount(), 1u) << name;
    closeWindows(app_);
  }
}

TEST_F(Transfer, DeleteSelectsTheItemThatTookTheFirstPlaceOrTheNewLast) {
  struct Case {
    const char* what;
    std::vector<int> selectedItems;
    std::vector<std::string> left;
    std::vector<int> selectedAfter;
  };
  const Case cases[] = {
      {"from the middle", {1, 2}, {"P1", "P4", "P5"}, {1}},
      {"the last items", {3, 4}, {"P1", "P2", "P3"}, {2}},
      {"scattered", {0, 2, 4}, {"P2", "P4"}, {0}},
      {"all", {0, 1, 2, 3, 4}, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CMainFrame* window = open("A");
    fill(window, 5);
    select(window, c.selectedItems);
    command(window, kDelete);
    EXPECT_EQ(names(window), c.left);
    EXPECT_EQ(selected(window), c.selectedAfter);
    for (const std::string& name : c.left) EXPECT_EQ(icons_[name]->GetUsageCount(), 1u);
    closeWindows(app_);
    for (const auto& [name, icon] : icons_) EXPECT_EQ(icon->GetUsageCount(), 0u) << name;
  }
}

TEST_F(Transfer, ConfirmedDeleteAnswers) {
  CMainFrame* window = open("A");
  app_.SetDeleteConf(TRUE);
  fill(window, 4);
  select(window, {0, 1, 2, 3});
  answerConfirmations({IDC_CONFIRM_NO, IDC_CONFIRM_YES, IDC_CONFIRM_YES_ALL});
  command(window, kDelete);
  EXPECT_EQ(names(window), std::vector<std::string>{"P1"});
  EXPECT_EQ(confirmTexts_,
            (std::vector<std::string>{"Delete a Printer|Are you sure that you want to delete P1?",
                                      "Delete a Printer|Are you sure that you want to delete P2?",
                                      "Delete a Printer|Are you sure that you want to delete P3?"}));
}

TEST_F(Transfer, APrinterRemovedWhileItsBoxIsUpIsSkippedAndNoOtherTouched) {
  CMainFrame* window = open("A");
  CMainFrame* other = open("B");
  app_.SetDeleteConf(TRUE);
  fill(window, 4);
  fill(other, 4);
  select(window, {1, 2});
  // While P2's box is up the printer goes, as a printer-removed event takes it.
  answerConfirmations({IDC_CONFIRM_YES, IDC_CONFIRM_YES}, [&](int turn) {
    if (turn == 0) app_.GetWFWindowList()->RemovePrinter(icons_["P2"]->GetPrinterHandle(), nullptr);
    dispatch();
  });
  command(window, kDelete);
  EXPECT_EQ(names(window), (std::vector<std::string>{"P1", "P4"}));
  EXPECT_EQ(names(other), (std::vector<std::string>{"P1", "P3", "P4"}));
  EXPECT_EQ(confirmTexts_.size(), 2u);
}

TEST_F(Transfer, NothingHappensWithoutASelectionOrASecondWindow) {
  CMainFrame* window = open("A");
  fill(window, 3);
  select(window, {});
  command(window, kDelete);
  EXPECT_EQ(names(window), (std::vector<std::string>{"P1", "P2", "P3"}));
  EXPECT_TRUE(selected(window).empty());
  for (WPARAM outside : {static_cast<WPARAM>(-1), WPARAM{3}}) {
    window->PostMessage(WM_WF_SELECTITEM, outside, 0);
    dispatch();
    EXPECT_TRUE(selected(window).empty()) << "index " << static_cast<long>(outside);
  }

  select(window, {0});
  chooseWindow(IDD_COPY_WINDOW, 0);
  command(window, kCopy);
  command(window, kMove);
  EXPECT_EQ(dialogs_.runs(IDD_COPY_WINDOW), 0);
  EXPECT_EQ(dialogs_.runs(IDD_MOVE_WINDOW), 0);
  EXPECT_EQ(names(window), (std::vector<std::string>{"P1", "P2", "P3"}));

  // A cancelled choice changes nothing either.
  CMainFrame* second = open("B");
  chooseWindow(IDD_MOVE_WINDOW, -1);
  command(window, kMove);
  EXPECT_EQ(dialogs_.runs(IDD_MOVE_WINDOW), 1);
  EXPECT_TRUE(names(second).empty());
  EXPECT_EQ(names(window), (std::vector<std::string>{"P1", "P2", "P3"}));
}

}  // namespace
