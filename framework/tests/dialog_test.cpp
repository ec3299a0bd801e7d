#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWhatsThis>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "framework/controls.h"
#include "framework/ddx.h"
#include "framework/dialog.h"
#include "framework/scripted_shell.h"
#include "framework/win_app.h"
#include "gui_pump.h"
#include "platform/runtime_dir.h"
#include "test_resources.h"
#include "wnd_widget.h"

namespace {

constexpr UINT kSettings = 200;

// The test library's templates are found through the chain.
class DialogTest : public wf::fw::testing::ResourceLibraryTest {
 protected:
  wf::fw::ScriptedShell shell;
};

void pressKey(CWnd* target, int key) {
  QWidget* w = wf::fw::widgetOf(target->m_hWnd);
  if (w->focusProxy()) w = w->focusProxy();
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(w, &press);
}

// Records the commands and notifications its controls send.
class SettingsDlg : public CDialog {
 public:
  SettingsDlg() : CDialog(kSettings) {}
  std::function<void(SettingsDlg&)> onInit;
  std::vector<std::string> log;
  int destroyed = 0;
  int chosen = 0;  // the list closed on an entry

  CString name = "laser";
  int copies = 3;
  int beep = BST_CHECKED;
  int port = 1;
  int listIndex = 1;
  int typeIndex = 2;
  CString model = "Vireo";
  CEdit nameEdit;

  BOOL OnInitDialog() override {
    for (CListControlBase* list :
         {static_cast<CListControlBase*>(GetDlgItem(1010)), static_cast<CListControlBase*>(GetDlgItem(1011)),
          static_cast<CListControlBase*>(GetDlgItem(1012))}) {
      list->AddString("Kestrel");
      list->AddString("Vireo");
      list->AddString("Osprey");
    }
    CDialog::OnInitDialog();
    if (onInit) onInit(*this);
    return TRUE;
  }
  void DoDataExchange(CDataExchange* dx) override {
    DDX_Control(dx, 1001, nameEdit);
    DDX_Text(dx, 1001, name);
    DDV_MaxChars(dx, name, 8);
    DDX_Text(dx, 1002, copies);
    DDV_MinMaxInt(dx, copies, 1, 99);
    DDX_Check(dx, 1003, beep);
    DDX_Radio(dx, 1004, port);
    DDX_LBIndex(dx, 1010, listIndex);
    DDX_CBIndex(dx, 1011, typeIndex);
    DDX_CBString(dx, 1012, model);
  }
  void PostNcDestroy() override { ++destroyed; }

 protected:
  void OnNameChange() { log.push_back("name change"); }
  void OnNameUpdate() { log.push_back("name update"); }
  void OnListChange() { log.push_back("list change"); }
  void OnTypeChange() { log.push_back("type change"); }
  void OnTypeChosen() { ++chosen; }
  void OnBeep() { log.push_back("beep clicked"); }
  void OnContextMenu(CWnd* window, CPoint) {
    log.push_back("context " + std::to_string(window->GetDlgCtrlID()));
  }
  BOOL OnHelpInfo(HELPINFO* info) {
    log.push_back("help " + std::to_string(info->iCtrlId));
    return TRUE;
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(SettingsDlg, CDialog)
ON_EN_CHANGE(1001, OnNameChange)
ON_EN_UPDATE(1001, OnNameUpdate)
ON_LBN_SELCHANGE(1010, OnListChange)
ON_CBN_SELCHANGE(1011, OnTypeChange)
ON_CBN_SELENDOK(1011, OnTypeChosen)
ON_BN_CLICKED(1003, OnBeep)
ON_WM_CONTEXTMENU()
ON_WM_HELPINFO()
END_MESSAGE_MAP()

TEST_F(DialogTest, TemplateGivesEachControlItsIdTextStyleAndPlace) {
  SettingsDlg dlg;
  ASSERT_TRUE(dlg.Create());
  CString text;
  dlg.GetWindowText(text);
  EXPECT_EQ(text, CString("Printer Settings"));

  struct Expect {
    int id;
    const CRuntimeClass* kind;
    const char* text;
    DWORD style;
    int x, y;
  } expected[] = {
      {1001, RUNTIME_CLASS(CEdit), "laser", ES_UPPERCASE, 50, 7},
      {1003, RUNTIME_CLASS(CButton), "&Beep", BS_AUTOCHECKBOX, 7, 45},
      {1005, RUNTIME_CLASS(CButton), "LPT&2", BS_AUTORADIOBUTTON, 107, 64},
      {1010, RUNTIME_CLASS(CListBox), "", LBS_NOTIFY, 7, 100},
      {1011, RUNTIME_CLASS(CComboBox), "", CBS_DROPDOWNLIST, 100, 100},
      {1013, RUNTIME_CLASS(CProgressCtrl), "", WS_BORDER, 7, 155},
      {1015, RUNTIME_CLASS(CSpinButtonCtrl), "", UDS_SETBUDDYINT, 170, 155},
      {IDOK, RUNTIME_CLASS(CButton), "OK", BS_DEFPUSHBUTTON, 128, 178},
  };
  for (const Expect& e : expected) {
    auto* control = dynamic_cast<CControlWnd*>(dlg.GetDlgItem(e.id));
    ASSERT_TRUE(control) << e.id;
    EXPECT_TRUE(control->IsKindOf(e.kind)) << e.id;
    control->GetWindowText(text);
    EXPECT_EQ(text, CString(e.text)) << e.id;
    EXPECT_EQ(control->GetStyle() & e.style, e.style) << e.id;
    EXPECT_TRUE(control->GetStyle() & WS_CHILD) << e.id;
    QWidget* w = wf::fw::widgetOf(control->m_hWnd);
    EXPECT_EQ(w->pos(), QPoint(dialogUnitsToPixelsX(e.x), dialogUnitsToPixelsY(e.y))) << e.id;
  }
  EXPECT_EQ(dlg.GetDlgItem(4242), nullptr);
  // DDX_Control made the member the control.
  EXPECT_EQ(dlg.GetDlgItem(1001), &dlg.nameEdit);
  EXPECT_EQ(LOWORD(dlg.GetDefID()), IDOK);
}

TEST_F(DialogTest, ModelessDialogEndsAndIsDestroyed) {
  SettingsDlg dlg;
  ASSERT_TRUE(dlg.Create());
  dlg.ShowWindow(SW_SHOW);
  dlg.SendMessage(WM_COMMAND, IDCANCEL, 0);
  EXPECT_FALSE(dlg.IsWindowVisible());
  EXPECT_TRUE(IsWindow(dlg.m_hWnd));  // ended, not destroyed
  const HWND control = dlg.GetDlgItem(1002)->m_hWnd;
  EXPECT_TRUE(dlg.DestroyWindow());
  EXPECT_EQ(dlg.m_hWnd, 0u);
  EXPECT_FALSE(IsWindow(control));
  EXPECT_EQ(dlg.destroyed, 1);
}

TEST_F(DialogTest, DoModalAnswersAsScripted) {
  struct Case {
    const char* what;
    std::function<void(SettingsDlg&)> act;
    INT_PTR expected;
  } cases[] = {
      {"OK command", [](SettingsDlg& d) { d.PostMessage(WM_COMMAND, IDOK, 0); }, IDOK},
      {"Cancel command", [](SettingsDlg& d) { d.PostMessage(WM_COMMAND, IDCANCEL, 0); }, IDCANCEL},
      {"Esc in an edit", [](SettingsDlg& d) { pressKey(d.GetDlgItem(1002), Qt::Key_Escape); }, IDCANCEL},
      {"Enter in an edit", [](SettingsDlg& d) { pressKey(d.GetDlgItem(1002), Qt::Key_Return); }, IDOK},
      {"close box", [](SettingsDlg& d) { d.PostMessage(WM_CLOSE); }, IDCANCEL},
      {"ended in OnInitDialog", [](SettingsDlg& d) { d.EndDialog(77); }, 77},
      {"Enter while OK is disabled",
       [](SettingsDlg& d) {
         d.GetDlgItem(IDOK)->EnableWindow(FALSE);
         pressKey(d.GetDlgItem(1002), Qt::Key_Return);
         d.log.push_back(IsWindow(d.m_hWnd) && d.IsWindowVisible() ? "still open" : "gone");
         d.PostMessage(WM_COMMAND, IDCANCEL, 0);
       },
       IDCANCEL},
  };
  for (const Case& c : cases) {
    SettingsDlg dlg;
    dlg.onInit = [&](SettingsDlg& d) {
      // After the dialog shows: act from the loop.
      QMetaObject::invokeMethod(
          qApp, [&d, &c] { c.act(d); }, Qt::QueuedConnection);
    };
    EXPECT_EQ(dlg.DoModal(), c.expected) << c.what;
    EXPECT_EQ(dlg.m_hWnd, 0u) << c.what;
    if (std::string(c.what) == "Enter while OK is disabled") {
      EXPECT_EQ(dlg.log.back(), "still open");
    }
  }
}

// The session's end (SIGTERM, the log-out) ends every modal loop as a
// cancel, the inner one and the one it runs in, and a dialog begun
// afterwards ends at once instead of waiting for a user who has gone.
TEST_F(DialogTest, TheSessionsEndCancelsEveryModalLoopAndLaterOnes) {
  SettingsDlg outer, inner, later;
  INT_PTR innerResult = 0;
  inner.onInit = [](SettingsDlg&) {
    QMetaObject::invokeMethod(qApp, [] { wf::fw::endSession(); }, Qt::QueuedConnection);
  };
  outer.onInit = [&](SettingsDlg&) {
    QMetaObject::invokeMethod(qApp, [&] { innerResult = inner.DoModal(); }, Qt::QueuedConnection);
  };
  EXPECT_EQ(outer.DoModal(), IDCANCEL);
  EXPECT_EQ(innerResult, IDCANCEL);
  EXPECT_EQ(later.DoModal(), IDCANCEL) << "begun while the session ends";
  EXPECT_EQ(later.m_hWnd, 0u);
}

TEST_F(DialogTest, ModalHookActsOnADialogMadeElsewhere) {
  int selectedInInit = -2;
  {
    wf::fw::ScriptedDialogs dialogs;
    dialogs.on(kSettings, [&](CDialog& d) {
      auto* list = static_cast<CListBox*>(d.GetDlgItem(1010));
      selectedInInit = list->GetCurSel();
      list->UserSelect(0);
      d.EndDialog(IDOK);
    });
    dialogs.on(4711, {});
    SettingsDlg dlg;
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(selectedInInit, 1) << "the hook runs after OnInitDialog";
    ASSERT_FALSE(dlg.log.empty());
    EXPECT_EQ(dlg.log.back(), "list change");
    EXPECT_EQ(dialogs.runs(kSettings), 1);
    EXPECT_EQ(dialogs.runs(4711), 0);
  }
  // Gone with its ScriptedDialogs: the dialog runs its own loop again.
  SettingsDlg dlg;
  dlg.onInit = [](SettingsDlg& d) {
    QMetaObject::invokeMethod(
        qApp, [&d] { d.PostMessage(WM_COMMAND, IDCANCEL, 0); }, Qt::QueuedConnection);
  };
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_EQ(std::count(dlg.log.begin(), dlg.log.end(), "list change"), 0);
}

TEST_F(DialogTest, MissingTemplateFailsCleanly) {
  CDialog missing(4711);
  EXPECT_EQ(missing.DoModal(), -1);
  EXPECT_FALSE(missing.Create());
  EXPECT_EQ(missing.m_hWnd, 0u);
}

TEST_F(DialogTest, DataExchangeRoundTripsEveryKind) {
  SettingsDlg dlg;
  ASSERT_TRUE(dlg.Create());  // OnInitDialog writes the members out
  CString text;
  dlg.GetDlgItemText(1001, text);
  EXPECT_EQ(text, CString("laser"));  // only typing is upper-cased
  EXPECT_EQ(dlg.nameEdit.GetLimitText(), 8u);
  EXPECT_EQ(dlg.GetDlgItemInt(1002), 3u);
  EXPECT_EQ(dlg.IsDlgButtonChecked(1003), UINT(BST_CHECKED));
  EXPECT_EQ(dlg.IsDlgButtonChecked(1005), UINT(BST_CHECKED));
  EXPECT_EQ(dlg.IsDlgButtonChecked(1004), UINT(BST_UNCHECKED));
  EXPECT_EQ(static_cast<CListBox*>(dlg.GetDlgItem(1010))->GetCurSel(), 1);
  EXPECT_EQ(static_cast<CComboBox*>(dlg.GetDlgItem(1011))->GetCurSel(), 2);
  EXPECT_EQ(static_cast<CComboBox*>(dlg.GetDlgItem(1012))->GetCurSel(), 1);

  // The user changes everything.
  dlg.nameEdit.TypeText("duplex unit");  // cut to the limit, upper case
  dlg.SetDlgItemText(1002, "12");
  static_cast<CButton*>(dlg.GetDlgItem(1003))->Click();
  static_cast<CButton*>(dlg.GetDlgItem(1006))->Click();
  static_cast<CListBox*>(dlg.GetDlgItem(1010))->UserSelect(2);
  static_cast<CComboBox*>(dlg.GetDlgItem(1011))->UserSelect(0);
  dlg.GetDlgItem(1012)->SetWindowText("Kite");  // typed, not in the list
  ASSERT_TRUE(dlg.UpdateData(TRUE));
  EXPECT_EQ(dlg.name, CString("DUPLEX U"));
  EXPECT_EQ(dlg.copies, 12);
  EXPECT_EQ(dlg.beep, BST_UNCHECKED);
  EXPECT_EQ(dlg.port, 2);
  EXPECT_EQ(dlg.IsDlgButtonChecked(1005), UINT(BST_UNCHECKED));  // the radio group moved its check
  EXPECT_EQ(dlg.listIndex, 2);
  EXPECT_EQ(dlg.typeIndex, 0);
  EXPECT_EQ(dlg.model, CString("Kite"));
  EXPECT_TRUE(shell.messageBox.calls().empty());

  // Written back, a prefix of an item selects that item in a drop down.
  dlg.model = "osp";
  dlg.port = -1;
  ASSERT_TRUE(dlg.UpdateData(FALSE));
  EXPECT_EQ(static_cast<CComboBox*>(dlg.GetDlgItem(1012))->GetCurSel(), 2);
  for (int id : {1004, 1005, 1006}) EXPECT_EQ(dlg.IsDlgButtonChecked(id), UINT(BST_UNCHECKED)) << id;
}

// The copies field read as a byte instead.
class ByteDlg : public SettingsDlg {
 public:
  BYTE level = 7;
  void DoDataExchange(CDataExchange* dx) override { DDX_Text(dx, 1002, level); }
};

TEST_F(DialogTest, AByteTakesZeroTo255AndShowsTheRangeOtherwise) {
  ByteDlg dlg;
  ASSERT_TRUE(dlg.Create());
  EXPECT_EQ(dlg.GetDlgItemInt(1002), 7u);
  const struct {
    const char* typed;
    bool taken;
    BYTE value;
  } cases[] = {{"0", true, 0}, {" 255", true, 255}, {"256", false, 0}, {"-1", false, 0}, {"x", false, 0}, {"", false, 0}};
  for (const auto& c : cases) {
    dlg.level = 42;
    dlg.SetDlgItemText(1002, c.typed);
    const auto before = shell.messageBox.calls().size();
    EXPECT_EQ(dlg.UpdateData(TRUE), c.taken ? TRUE : FALSE) << c.typed;
    if (c.taken) {
      EXPECT_EQ(dlg.level, c.value) << c.typed;
      EXPECT_EQ(shell.messageBox.calls().size(), before);
    } else {
      EXPECT_EQ(dlg.level, 42) << c.typed;
      ASSERT_EQ(shell.messageBox.calls().size(), before + 1) << c.typed;
      EXPECT_EQ(shell.messageBox.calls().back().text, "Please enter an integer between 0 and 255.");
    }
  }
}

TEST_F(DialogTest, FailedCheckKeepsTheDialogOpenWithTheFocusOnTheControl) {
  struct Case {
    const char* typed;
    const char* message;
  } cases[] = {
      {"0", "Please enter an integer between 1 and 99."},
      {"100", "Please enter an integer between 1 and 99."},
      {"", "Please enter an integer."},
  };
  for (const Case& c : cases) {
    SettingsDlg dlg;
    ASSERT_TRUE(dlg.Create());
    dlg.ShowWindow(SW_SHOW);
    QWidget* window = wf::fw::widgetOf(dlg.m_hWnd);
    window->activateWindow();
    ASSERT_TRUE(wf::fw::testing::pumpUntil([&] { return window->isActiveWindow(); }));
    dlg.SetDlgItemText(1002, c.typed);
    dlg.beep = 42;
    const auto before = shell.messageBox.calls().size();
    dlg.SendMessage(WM_COMMAND, IDOK, 0);
    ASSERT_EQ(shell.messageBox.calls().size(), before + 1) << c.typed;
    EXPECT_EQ(shell.messageBox.calls().back().text, c.message);
    EXPECT_TRUE(dlg.IsWindowVisible()) << c.typed;
    EXPECT_EQ(CWnd::GetFocus(), dlg.GetDlgItem(1002)) << c.typed;
    EXPECT_EQ(dlg.beep, 42) << "exchange stops at the failure";
  }
}

TEST_F(DialogTest, EditTellsRealChangesOnly) {
  SettingsDlg dlg;
  ASSERT_TRUE(dlg.Create());
  dlg.log.clear();
  dlg.nameEdit.SetWindowText("laser");  // the same text
  EXPECT_TRUE(dlg.log.empty());
  dlg.nameEdit.SetWindowText("INKJET");
  dlg.SetDlgItemText(1001, "INKJET");
  EXPECT_EQ(dlg.log, (std::vector<std::string>{"name update", "name change"}));
  // Typed through the widget: upper case and the limit apply.
  auto* line = wf::fw::widgetOf(dlg.nameEdit.m_hWnd)->findChild<QLineEdit*>();
  ASSERT_TRUE(line);
  line->setFocus();
  QKeyEvent key(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x");
  QApplication::sendEvent(line, &key);
  CString text;
  dlg.nameEdit.GetWindowText(text);
  EXPECT_EQ(text, CString("INKJETX"));
  EXPECT_EQ(dlg.log.size(), 4u);

  auto* number = static_cast<CEdit*>(dlg.GetDlgItem(1002));
  number->TypeText("1a2-3");
  number->GetWindowText(text);
  EXPECT_EQ(text, CString("123"));
}

TEST_F(DialogTest, SelectionsNotifyOnlyForTheUser) {
  SettingsDlg dlg;
  ASSERT_TRUE(dlg.Create());
  dlg.log.clear();
  auto* list = static_cast<CListBox*>(dlg.GetDlgItem(1010));
  auto* type = static_cast<CComboBox*>(dlg.GetDlgItem(1011));
  list->SetCurSel(0);
  type->SetCurSel(0);
  list->AddString("Harrier");
  type->DeleteString(0);
  EXPECT_TRUE(dlg.log.empty());

  // The user, through the widgets.
  wf::fw::widgetOf(list->m_hWnd)->findChild<QListWidget*>()->setCurrentRow(2);
  emit wf::fw::widgetOf(type->m_hWnd)->findChild<QComboBox*>()->activated(1);
  type->UserSelect(1);  // the same item again: no change
  EXPECT_EQ(dlg.log, (std::vector<std::string>{"list change", "type change"}));
  EXPECT_EQ(list->GetCurSel(), 2);
  CString text;
  type->GetWindowText(text);
  EXPECT_EQ(text, CString("Osprey"));

  list->SetItemData(2, 0xBEEF);
  EXPECT_EQ(list->GetItemData(2), DWORD_PTR{0xBEEF});
  EXPECT_EQ(list->GetItemData(9), static_cast<DWORD_PTR>(LB_ERR));
  EXPECT_EQ(list->FindStringExact(-1, "VIREO"), 1);
  EXPECT_EQ(list->SetCurSel(9), LB_ERR);
  EXPECT_EQ(list->GetCurSel(), -1);
}

TEST_F(DialogTest, AnExtendedSelectionListKeepsSeveralSelectedItems) {
  SettingsDlg dlg;
  ASSERT_TRUE(dlg.Create());
  CListBox list;
  ASSERT_TRUE(
      list.CreateEx(0, "ListBox", "", WS_CHILD | LBS_SORT | LBS_EXTENDEDSEL, 0, 0, 80, 60, dlg.m_hWnd, 2000));
  for (const char* name : {"Osprey", "Harrier", "Kestrel"}) list.AddString(name);
  EXPECT_EQ(list.SetSel(0), 0);
  EXPECT_EQ(list.SetSel(2), 0);
  list.InsertString(0, "Buzzard");  // the selection moves with its items
  int items[4] = {};
  ASSERT_EQ(list.GetSelItems(4, items), 2);
  EXPECT_EQ(std::vector<int>(items, items + 2), (std::vector<int>{1, 3}));
  EXPECT_EQ(list.GetSelCount(), 2);
  EXPECT_EQ(list.GetSel(0), 0);
  EXPECT_EQ(list.SetSel(-1, FALSE), 0);
  EXPECT_EQ(list.GetSelCount(), 0);
  EXPECT_EQ(list.SetSel(9), LB_ERR);
  list.SetSel(1);
  list.ResetContent();
  EXPECT_EQ(list.GetSelCount(), 0);
  list.SetHorizontalExtent(240);
  EXPECT_EQ(list.GetHorizontalExtent(), 240);

  // The user's selection through the widget.
  list.AddString("Merlin");
  list.AddString("Hobby");
  QListWidget* widget = wf::fw::widgetOf(list.m_hWnd)->findChild<QListWidget*>();
  widget->item(1)->setSelected(true);
  EXPECT_EQ(list.GetSel(1), 1);
  EXPECT_EQ(list.GetSel(0), 0);

  auto* single = static_cast<CListBox*>(dlg.GetDlgItem(1010));
  EXPECT_EQ(single->SetSel(0), LB_ERR) << "one selection only";
  EXPECT_EQ(single->GetSelCount(), LB_ERR);
}

TEST_F(DialogTest, HelpAndContextMenuNameTheControl) {
  SettingsDlg dlg;
  ASSERT_TRUE(dlg.Create());
  dlg.log.clear();
  pressKey(dlg.GetDlgItem(1002), Qt::Key_F1);
  QWidget* check = wf::fw::widgetOf(dlg.GetDlgItem(1003)->m_hWnd)->focusProxy();
  QContextMenuEvent right(QContextMenuEvent::Mouse, QPoint(2, 2), check->mapToGlobal(QPoint(2, 2)));
  QApplication::sendEvent(check, &right);
  EXPECT_EQ(dlg.log, (std::vector<std::string>{"help 1002", "context 1003"}));
}

// The context-help template; records the help requests.
class HelpDlg : public CDialog {
 public:
  HelpDlg() : CDialog(100u) {}
  std::vector<int> asked;

 protected:
  BOOL OnHelpInfo(HELPINFO* info) {
    asked.push_back(info->iCtrlId);
    return TRUE;
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(HelpDlg, CDialog)
ON_WM_HELPINFO()
END_MESSAGE_MAP()

TEST_F(DialogTest, TitleBarHelpThenAClickAsksForHelpOnThatControl) {
  HelpDlg dlg;
  ASSERT_TRUE(dlg.Create());
  dlg.ShowWindow(SW_SHOW);
  EXPECT_TRUE(wf::fw::widgetOf(dlg.m_hWnd)->windowFlags().testFlag(Qt::WindowContextHelpButtonHint));
  SettingsDlg plain;  // its template has no help button
  ASSERT_TRUE(plain.Create());
  EXPECT_FALSE(wf::fw::widgetOf(plain.m_hWnd)->windowFlags().testFlag(Qt::WindowContextHelpButtonHint));

  // What the title-bar button does; the click on the edit field names the control.
  QWhatsThis::enterWhatsThisMode();
  QWidget* edit = wf::fw::widgetOf(dlg.GetDlgItem(1001)->m_hWnd)->focusProxy();
  const QPoint at(3, 3);
  QMouseEvent press(QEvent::MouseButtonPress, at, edit->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(edit, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, at, edit->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(edit, &release);
  EXPECT_EQ(dlg.asked, std::vector<int>{1001});
  EXPECT_TRUE(wf::fw::testing::pumpUntil([] { return !QWhatsThis::inWhatsThisMode(); }));

  // Out of the mode a click is only a click.
  QMouseEvent again(QEvent::MouseButtonPress, at, edit->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(edit, &again);
  EXPECT_EQ(dlg.asked.size(), 1u);
}

TEST_F(DialogTest, ProgressAndSpinKeepTheirRanges) {
  SettingsDlg dlg;
  ASSERT_TRUE(dlg.Create());
  auto* bar = static_cast<CProgressCtrl*>(dlg.GetDlgItem(1013));
  bar->SetRange(0, 30);
  bar->SetStep(20);
  EXPECT_EQ(bar->StepIt(), 0);
  EXPECT_EQ(bar->GetPos(), 20);
  bar->StepIt();
  EXPECT_EQ(bar->GetPos(), 10);  // past the end it starts again
  EXPECT_EQ(bar->SetPos(500), 10);
  EXPECT_EQ(bar->GetPos(), 30);

  auto* spin = static_cast<CSpinButtonCtrl*>(dlg.GetDlgItem(1015));
  EXPECT_EQ(spin->GetBuddy(), dlg.GetDlgItem(1014));  // the control before it
  spin->SetRange(1, 3);
  spin->SetPos(2);
  EXPECT_EQ(dlg.GetDlgItemInt(1014), 2u);
  spin->Spin(5);
  EXPECT_EQ(spin->GetPos(), 3);
  dlg.SetDlgItemText(1014, "1");  // typed in the buddy
  EXPECT_EQ(spin->GetPos(), 1);
  spin->Spin(-1);
  EXPECT_EQ(dlg.GetDlgItemInt(1014), 1u);
}

// Records what its scroll bar tells it and sets the position asked for.
class ScrollOwner : public CWnd {
 public:
  struct Scroll {
    UINT code, position;
    bool fromBar;
    bool operator==(const Scroll&) const = default;
  };
  std::vector<Scroll> scrolls;
  CScrollBar* bar = nullptr;
  void OnHScroll(UINT code, UINT position, CScrollBar* from) {
    scrolls.push_back({code, position, from == bar});
  }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(ScrollOwner, CWnd)
ON_WM_HSCROLL()
END_MESSAGE_MAP()

TEST_F(DialogTest, AScrollBarLeavesItsPositionToItsParent) {
  ScrollOwner owner;
  ASSERT_TRUE(owner.CreateEx(0, "ScrollOwner", "owner", WS_OVERLAPPED, 0, 0, 200, 60, 0));
  std::unique_ptr<CWnd> made = AfxCreateControlObject("ScrollBar");
  auto* bar = dynamic_cast<CScrollBar*>(made.get());
  ASSERT_NE(bar, nullptr);
  owner.bar = bar;
  ASSERT_TRUE(
      bar->CreateEx(0, "ScrollBar", "", WS_CHILD | WS_VISIBLE | SBS_HORZ, 0, 0, 150, 16, owner.m_hWnd, 7));
  bar->SetScrollRange(0, 100);
  EXPECT_EQ(bar->SetScrollPos(250), 0);
  EXPECT_EQ(bar->GetScrollPos(), 100) << "clamped to the range";
  bar->SetScrollRange(10, 50);
  EXPECT_EQ(bar->GetScrollPos(), 50);
  int lower = 0, upper = 0;
  bar->GetScrollRange(&lower, &upper);
  EXPECT_EQ(std::pair(lower, upper), std::pair(10, 50));

  using S = ScrollOwner::Scroll;
  bar->UserScroll(SB_THUMBTRACK, 33);
  bar->UserScroll(SB_THUMBPOSITION, 34);
  bar->UserScroll(SB_LINELEFT);
  EXPECT_EQ(owner.scrolls, (std::vector<S>{{SB_THUMBTRACK, 33, true},
                                           {SB_THUMBPOSITION, 34, true},
                                           {SB_ENDSCROLL, 0, true},
                                           {SB_LINELEFT, 0, true},
                                           {SB_ENDSCROLL, 0, true}}));
  EXPECT_EQ(bar->GetScrollPos(), 50) << "the bar does not move by itself";

  // The widget's own actions come the same way and show the position kept.
  auto* widget = wf::fw::widgetOf(bar->m_hWnd)->findChild<QScrollBar*>();
  ASSERT_NE(widget, nullptr);
  owner.scrolls.clear();
  bar->SetScrollPos(30);
  widget->triggerAction(QAbstractSlider::SliderPageStepSub);
  widget->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ(
      owner.scrolls,
      (std::vector<S>{
          {SB_PAGELEFT, 0, true}, {SB_ENDSCROLL, 0, true}, {SB_RIGHT, 0, true}, {SB_ENDSCROLL, 0, true}}));
  EXPECT_EQ(widget->value(), 30);

  owner.scrolls.clear();
  bar->EnableWindow(FALSE);
  bar->UserScroll(SB_PAGERIGHT);
  EXPECT_TRUE(owner.scrolls.empty());
  bar->DestroyWindow();
  owner.DestroyWindow();
}

}  // namespace

namespace {

std::vector<std::string> comboEntries(CDialog& dlg, int id) {
  auto* combo = static_cast<CComboBox*>(dlg.GetDlgItem(id));
  std::vector<std::string> out;
  for (int i = 0; i < combo->GetCount(); ++i) {
    CString text;
    combo->GetLBText(i, text);
    out.push_back(text.str());
  }
  return out;
}

TEST_F(DialogTest, DirectoryListingGivesTheMatchingFilesWithoutRegardToCase) {
  const auto dir = wf::dataRoot().value() / "waves";
  std::filesystem::create_directories(dir / "sub.wav");  // a directory is not listed
  for (const char* name : {"b.wav", "A.WAV", "c.txt", "d.Wav"}) std::ofstream(dir / name) << "x";
  SettingsDlg dlg;
  ASSERT_TRUE(dlg.Create());
  char before[4096];
  ASSERT_NE(::getcwd(before, sizeof before), nullptr);

  std::string wanted = (dir / "*.WAV").string();
  EXPECT_TRUE(dlg.DlgDirListComboBox(wanted.data(), 1011, 1001, DDL_READWRITE));
  EXPECT_EQ(comboEntries(dlg, 1011), (std::vector<std::string>{"A.WAV", "b.wav", "d.Wav"}));
  CString shown;
  dlg.GetDlgItemText(1001, shown);
  EXPECT_EQ(shown, CString((dir.string() + "/").c_str()));
  char after[4096];
  ASSERT_NE(::getcwd(after, sizeof after), nullptr);
  EXPECT_STREQ(before, after);

  std::string missing = (dir / "gone" / "*.WAV").string();
  EXPECT_FALSE(dlg.DlgDirListComboBox(missing.data(), 1011, 0, DDL_READWRITE));
  EXPECT_TRUE(comboEntries(dlg, 1011).empty());
  dlg.DestroyWindow();
}

TEST_F(DialogTest, ChoosingAComboEntryTellsTheChoiceEvenWhenUnchanged) {
  SettingsDlg dlg;
  ASSERT_TRUE(dlg.Create());
  auto* combo = static_cast<CComboBox*>(dlg.GetDlgItem(1011));
  dlg.log.clear();
  combo->UserSelect(0);
  combo->UserSelect(0);
  EXPECT_EQ(dlg.chosen, 2);
  EXPECT_EQ(std::count(dlg.log.begin(), dlg.log.end(), "type change"), 1);
  dlg.DestroyWindow();
}

TEST_F(DialogTest, ListBoxOfManySelectionsAndTheEditCaret) {
  CDialog dialog(220);
  ASSERT_TRUE(dialog.Create());
  auto* many = static_cast<CListBox*>(dialog.GetDlgItem(1201));
  for (const char* bird : {"Kestrel", "Vireo", "Osprey"}) many->AddString(bird);
  EXPECT_EQ(many->GetSelCount(), 0);
  EXPECT_EQ(many->SetSel(0), 0);
  EXPECT_EQ(many->SetSel(2), 0);
  EXPECT_EQ(many->SetSel(3), LB_ERR);
  int chosen[3] = {-1, -1, -1};
  EXPECT_EQ(many->GetSelItems(3, chosen), 2);
  EXPECT_EQ(chosen[0], 0);
  EXPECT_EQ(chosen[1], 2);
  EXPECT_EQ(many->GetSel(1), 0);
  // A deleted item takes its mark with it.
  many->DeleteString(0);
  EXPECT_EQ(many->GetSelItems(3, chosen), 1);
  EXPECT_EQ(chosen[0], 1);
  EXPECT_EQ(many->SetSel(-1, FALSE), 0);
  EXPECT_EQ(many->GetSelCount(), 0);
  many->SetHorizontalExtent(300);
  EXPECT_EQ(many->GetHorizontalExtent(), 300);

  auto* edit = static_cast<CEdit*>(dialog.GetDlgItem(1202));
  edit->SetWindowText("LPT1");
  edit->SetSel(-1, -1);
  int start = 0, end = 0;
  edit->GetSel(start, end);
  EXPECT_EQ(start, 4);
  EXPECT_EQ(end, 4);
  edit->SetSel(1, 3);
  edit->GetSel(start, end);
  EXPECT_EQ(start, 1);
  EXPECT_EQ(end, 3);
  dialog.DestroyWindow();
}

TEST_F(DialogTest, SingleSelectionBoxesRefuseTheCallsOfMany) {
  CDialog dialog(kSettings);
  ASSERT_TRUE(dialog.Create());
  auto* single = static_cast<CListBox*>(dialog.GetDlgItem(1010));
  single->AddString("Kestrel");
  EXPECT_EQ(single->SetSel(0), LB_ERR);
  EXPECT_EQ(single->GetSelCount(), LB_ERR);
  dialog.DestroyWindow();
}

// A program run end to end takes its answers from a file: each line one run.
TEST_F(DialogTest, AnswersFileDrivesDialogsWithoutAHook) {
  const std::string path = ::testing::TempDir() + "/answers-" + std::to_string(::getpid());
  {
    std::FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("200: text 1001 kes; check 1003 0; click 1\n200: click 2\nnot a line\n", file);
    std::fclose(file);
  }
  ::setenv("WRENFIELD_UI_ANSWERS", path.c_str(), 1);
  SettingsDlg first;
  EXPECT_EQ(first.DoModal(), IDOK);
  EXPECT_EQ(first.name.str(), "KES");
  EXPECT_EQ(first.beep, 0);
  SettingsDlg second;
  EXPECT_EQ(second.DoModal(), IDCANCEL);
  ::unsetenv("WRENFIELD_UI_ANSWERS");
  std::remove(path.c_str());
}

}  // namespace
