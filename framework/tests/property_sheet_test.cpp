#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTabBar>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "framework/controls.h"
#include "framework/ddx.h"
#include "framework/property_sheet.h"
#include "framework/scripted_shell.h"
#include "test_resources.h"
#include "wnd_widget.h"

namespace {

using Log = std::vector<std::string>;

class SheetTest : public wf::fw::testing::ResourceLibraryTest {
 protected:
  SheetTest() : ResourceLibraryTest("wftestres3") {}
  wf::fw::ScriptedShell shell;
};

// Tells what the sheet asks of it; its edit (when the template has one) holds `text`.
class LoggedPage : public CPropertyPage {
 public:
  LoggedPage(Log& log, std::string name, UINT templateId, int editId = 0, UINT captionId = 0)
      : CPropertyPage(templateId, captionId), log_(log), name_(std::move(name)), editId_(editId) {}
  bool allowLeave = true;
  bool allowApply = true;
  CString text = "first";

  BOOL OnInitDialog() override {
    log_.push_back(name_ + " init");
    return CPropertyPage::OnInitDialog();
  }
  BOOL OnSetActive() override {
    log_.push_back(name_ + " active");
    return CPropertyPage::OnSetActive();
  }
  BOOL OnKillActive() override {
    log_.push_back(name_ + " kill");
    return allowLeave && CPropertyPage::OnKillActive();
  }
  BOOL OnApply() override {
    log_.push_back(name_ + " apply");
    return allowApply && CPropertyPage::OnApply();
  }
  void OnOK() override { log_.push_back(name_ + " ok"); }
  void OnCancel() override { log_.push_back(name_ + " cancel"); }
  void DoDataExchange(CDataExchange* dx) override {
    if (editId_) DDX_Text(dx, editId_, text);
  }

 private:
  Log& log_;
  std::string name_;
  int editId_;
};

struct Pages {
  Log log;
  LoggedPage general{log, "general", 300, 3001};
  LoggedPage copies{log, "copies", 301};
  LoggedPage sounds{log, "sounds", 302, 0, 40};
  void addTo(CPropertySheet& sheet) {
    sheet.AddPage(&general);
    sheet.AddPage(&copies);
    sheet.AddPage(&sounds);
  }
};

QTabBar* tabsOf(CPropertySheet& sheet) {
  return wf::fw::widgetOf(sheet.m_hWnd)->findChild<QTabBar*>();
}

CString textOf(CWnd* w) {
  CString text;
  w->GetWindowText(text);
  return text;
}

// Runs `act` from the sheet's own loop once it is up.
void whenRunning(std::function<void()> act) {
  QMetaObject::invokeMethod(qApp, std::move(act), Qt::QueuedConnection);
}

void clickButton(CPropertySheet& sheet, int id) {
  static_cast<CButton*>(sheet.GetDlgItem(id))->Click();
}

}  // namespace

TEST_F(SheetTest, ModelessSheetLivesInItsFrameAndMakesPagesOnFirstShow) {
  CWnd frame;
  ASSERT_TRUE(frame.CreateEx(0, "NotebookFrame", "Printer", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, 0));
  Pages pages;
  CPropertySheet sheet("", nullptr, 1);
  pages.addTo(sheet);
  EXPECT_EQ(sheet.GetPageCount(), 3);
  EXPECT_EQ(sheet.GetActiveIndex(), 1);

  ASSERT_TRUE(sheet.Create(&frame, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_SYSMENU));
  EXPECT_EQ(sheet.GetParent(), &frame);
  EXPECT_EQ(wf::fw::widgetOf(sheet.m_hWnd)->parentWidget(), wf::fw::widgetOf(frame.m_hWnd));
  EXPECT_EQ(sheet.GetDlgItem(IDOK), nullptr) << "a modeless sheet has no buttons";
  // Only the start page was shown; the others have no window and heard nothing.
  EXPECT_EQ(pages.log, (Log{"copies init", "copies active"}));
  EXPECT_EQ(pages.general.m_hWnd, 0u);
  EXPECT_EQ(pages.sounds.m_hWnd, 0u);
  EXPECT_EQ(pages.copies.GetParent(), &sheet);
  EXPECT_EQ(sheet.GetActivePage(), &pages.copies);

  QTabBar* tabs = tabsOf(sheet);
  ASSERT_NE(tabs, nullptr);
  EXPECT_EQ(tabs->currentIndex(), 1);
  // The caption string wins over the template's caption.
  EXPECT_EQ(tabs->tabText(0).toStdString(), "General");
  EXPECT_EQ(tabs->tabText(2).toStdString(), "&Sounds");

  // The user picks the first tab: the window is made, then activated.
  pages.log.clear();
  tabs->setCurrentIndex(0);
  EXPECT_EQ(pages.log, (Log{"copies kill", "general init", "general active"}));
  EXPECT_EQ(sheet.GetActiveIndex(), 0);
  EXPECT_TRUE(pages.general.IsWindowVisible());
  EXPECT_FALSE(pages.copies.IsWindowVisible());
  EXPECT_EQ(textOf(pages.general.GetDlgItem(3001)), CString("first"));

  // Every later activation runs OnSetActive again and shows the members anew.
  pages.log.clear();
  EXPECT_TRUE(sheet.SetActivePage(1));
  pages.general.text = "second";  // changed while the page is away
  EXPECT_TRUE(sheet.SetActivePage(&pages.general));
  EXPECT_EQ(pages.log, (Log{"general kill", "copies active", "copies kill", "general active"}));
  EXPECT_EQ(textOf(pages.general.GetDlgItem(3001)), CString("second"));
  EXPECT_EQ(pages.sounds.m_hWnd, 0u) << "never shown";

  EXPECT_FALSE(sheet.SetActivePage(3));
  EXPECT_EQ(sheet.GetPage(3), nullptr);

  // The frame's end takes the sheet and the pages' windows with it.
  const HWND page = pages.general.m_hWnd;
  frame.DestroyWindow();
  EXPECT_EQ(sheet.m_hWnd, 0u);
  EXPECT_FALSE(IsWindow(page));
}

TEST_F(SheetTest, RemovedPageLeavesTheSheetAndItsWindowGoes) {
  Pages pages;
  CPropertySheet sheet("", nullptr, 1);
  pages.addTo(sheet);
  CWnd frame;
  ASSERT_TRUE(frame.CreateEx(0, "RemoveFrame", "Sheet", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, 0) &&
              sheet.Create(&frame, WS_CHILD | WS_VISIBLE));
  const HWND shown = pages.copies.m_hWnd;
  ASSERT_NE(shown, 0u);

  // The active page goes: its window with it, the next page takes its place.
  pages.log.clear();
  sheet.RemovePage(&pages.copies);
  EXPECT_FALSE(IsWindow(shown));
  EXPECT_EQ(sheet.GetPageCount(), 2);
  EXPECT_EQ(sheet.GetPageIndex(&pages.copies), -1);
  EXPECT_EQ(sheet.GetActivePage(), &pages.sounds);
  EXPECT_EQ(pages.log, (Log{"sounds init", "sounds active"}));
  EXPECT_EQ(tabsOf(sheet)->count(), 2);
  EXPECT_EQ(tabsOf(sheet)->currentIndex(), 1);

  // A page before the active one: the active page keeps its page, not its index.
  sheet.RemovePage(0);
  EXPECT_EQ(sheet.GetActivePage(), &pages.sounds);
  EXPECT_EQ(sheet.GetActiveIndex(), 0);
  sheet.RemovePage(5);  // a bad index changes nothing
  EXPECT_EQ(sheet.GetPageCount(), 1);
  frame.DestroyWindow();
}

TEST_F(SheetTest, PageThatRefusesToLetGoStaysActive) {
  Pages pages;
  CPropertySheet sheet("Settings");
  pages.addTo(sheet);
  ASSERT_TRUE(sheet.Create());
  pages.general.allowLeave = false;
  pages.log.clear();

  EXPECT_FALSE(sheet.SetActivePage(1));
  QTabBar* tabs = tabsOf(sheet);
  tabs->setCurrentIndex(2);  // the user's click
  EXPECT_EQ(tabs->currentIndex(), 0);
  EXPECT_EQ(sheet.GetActiveIndex(), 0);
  EXPECT_EQ(pages.copies.m_hWnd, 0u);
  EXPECT_EQ(pages.sounds.m_hWnd, 0u);
  EXPECT_EQ(pages.log, (Log{"general kill", "general kill"}));
}

TEST_F(SheetTest, FailedCheckOnTheActivePageKeepsIt) {
  // The base OnKillActive reads and checks the controls.
  class CheckedPage : public CPropertyPage {
   public:
    CheckedPage() : CPropertyPage(301) {}
    int copies = 5;
    void DoDataExchange(CDataExchange* dx) override {
      DDX_Text(dx, 3011, copies);
      DDV_MinMaxInt(dx, copies, 1, 99);
    }
  } checked;
  Log log;
  LoggedPage other(log, "other", 300);
  CPropertySheet sheet("Settings");
  sheet.AddPage(&checked);
  sheet.AddPage(&other);
  ASSERT_TRUE(sheet.Create());
  static_cast<CEdit*>(checked.GetDlgItem(3011))->TypeText("500");
  EXPECT_FALSE(sheet.SetActivePage(1));
  EXPECT_EQ(sheet.GetActivePage(), &checked);
  EXPECT_EQ(shell.messageBox.calls().size(), 1u);
  EXPECT_EQ(other.m_hWnd, 0u);
}

TEST_F(SheetTest, ApplyFollowsSetModifiedAndReachesOnlyShownPages) {
  Pages pages;
  CPropertySheet sheet("Settings");
  pages.addTo(sheet);
  std::vector<bool> applyEnabled;
  auto applyState = [&] { applyEnabled.push_back(sheet.GetDlgItem(ID_APPLY_NOW)->IsWindowEnabled()); };
  whenRunning([&] {
    applyState();  // nothing changed yet
    pages.general.SetModified();
    applyState();  // a change enables Apply
    sheet.SetActivePage(1);
    pages.copies.SetModified();
    pages.general.SetModified(FALSE);
    applyState();  // one page still changed
    pages.log.clear();
    clickButton(sheet, ID_APPLY_NOW);
    applyState();  // cleared after the pages applied
    EXPECT_TRUE(IsWindow(sheet.m_hWnd)) << "Apply keeps the sheet open";
    clickButton(sheet, IDOK);
  });
  EXPECT_EQ(sheet.DoModal(), IDOK);
  EXPECT_EQ(applyEnabled, (std::vector<bool>{false, true, true, false}));
  // Apply and OK: the active page lets go, then the shown pages apply in order.
  EXPECT_EQ(pages.log, (Log{"copies kill", "general apply", "general ok", "copies apply", "copies ok",
                            "copies kill", "general apply", "general ok", "copies apply", "copies ok"}));
  EXPECT_EQ(sheet.m_hWnd, 0u);
  EXPECT_EQ(pages.general.m_hWnd, 0u);
}

TEST_F(SheetTest, RefusedApplyKeepsTheSheetOpenOnThatPage) {
  Pages pages;
  CPropertySheet sheet("Settings", nullptr, 1);
  pages.addTo(sheet);
  whenRunning([&] {
    sheet.SetActivePage(0);
    pages.copies.allowApply = false;
    pages.general.SetModified();
    clickButton(sheet, IDOK);
    EXPECT_TRUE(IsWindow(sheet.m_hWnd));
    EXPECT_EQ(sheet.GetActiveIndex(), 1);
    EXPECT_TRUE(sheet.GetDlgItem(ID_APPLY_NOW)->IsWindowEnabled()) << "nothing was applied in full";
    clickButton(sheet, IDCANCEL);
  });
  EXPECT_EQ(sheet.DoModal(), IDCANCEL);
  EXPECT_EQ(std::count(pages.log.begin(), pages.log.end(), "copies apply"), 1);
  // Cancel reaches the shown pages only.
  EXPECT_EQ(std::vector<std::string>(pages.log.end() - 2, pages.log.end()),
            (Log{"general cancel", "copies cancel"}));
  EXPECT_EQ(std::count(pages.log.begin(), pages.log.end(), "sounds cancel"), 0);
}

TEST_F(SheetTest, KeysAndClosingEndTheModalSheet) {
  auto press = [](CWnd* control, int key) {
    QWidget* w = wf::fw::widgetOf(control->m_hWnd);
    if (w->focusProxy()) w = w->focusProxy();
    QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
  };
  struct Case {
    const char* what;
    std::function<void(CPropertySheet&, Pages&)> act;
    INT_PTR expected;
  } cases[] = {
      {"Esc in a page", [&](CPropertySheet&, Pages& p) { press(p.general.GetDlgItem(3001), Qt::Key_Escape); },
       IDCANCEL},
      {"Enter in a page",
       [&](CPropertySheet&, Pages& p) { press(p.general.GetDlgItem(3001), Qt::Key_Return); }, IDOK},
      {"close box", [](CPropertySheet& s, Pages&) { s.PostMessage(WM_CLOSE); }, IDCANCEL},
  };
  for (const Case& c : cases) {
    Pages pages;
    CPropertySheet sheet("Settings");
    pages.addTo(sheet);
    whenRunning([&] { c.act(sheet, pages); });
    EXPECT_EQ(sheet.DoModal(), c.expected) << c.what;
    EXPECT_EQ(pages.general.m_hWnd, 0u) << c.what;
  }
}

TEST_F(SheetTest, SheetWithoutPagesOrWithAMissingTemplateFails) {
  CPropertySheet empty("Empty");
  EXPECT_EQ(empty.DoModal(), -1);
  Log log;
  LoggedPage good(log, "good", 300);
  CPropertyPage missing(4711);
  CPropertySheet sheet("Broken");
  sheet.AddPage(&good);
  sheet.AddPage(&missing);
  EXPECT_EQ(sheet.DoModal(), -1);
  EXPECT_FALSE(sheet.Create());
  EXPECT_EQ(sheet.m_hWnd, 0u);
  EXPECT_TRUE(log.empty());
}

namespace {

// A sheet that does the work of its buttons itself.
class OwnButtonsSheet : public CPropertySheet {
 public:
  explicit OwnButtonsSheet(Log& log) : CPropertySheet("Own"), log_(log) {}

 protected:
  void OnOwnApply() { log_.push_back(leaveActivePage() ? "sheet apply" : "sheet apply refused"); }
  void OnOwnOk() {
    log_.push_back("sheet ok");
    EndDialog(IDOK);
  }
  void OnOwnCancel() {
    log_.push_back("sheet cancel");
    EndDialog(IDCANCEL);
  }
  DECLARE_MESSAGE_MAP()

 private:
  Log& log_;
};

BEGIN_MESSAGE_MAP(OwnButtonsSheet, CPropertySheet)
ON_COMMAND(ID_APPLY_NOW, OnOwnApply)
ON_COMMAND(IDOK, OnOwnOk)
ON_COMMAND(IDCANCEL, OnOwnCancel)
END_MESSAGE_MAP()

TEST_F(SheetTest, ASheetWithItsOwnButtonHandlersDoesTheirWorkItself) {
  Pages pages;
  OwnButtonsSheet sheet(pages.log);
  pages.addTo(sheet);
  whenRunning([&] {
    pages.general.SetModified();
    pages.log.clear();
    clickButton(sheet, ID_APPLY_NOW);
    clickButton(sheet, IDOK);
  });
  EXPECT_EQ(sheet.DoModal(), IDOK);
  // The pages' own apply never ran: the sheet's handlers took the buttons.
  EXPECT_EQ(pages.log, (Log{"general kill", "sheet apply", "sheet ok"}));

  Pages others;
  OwnButtonsSheet closing(others.log);
  others.addTo(closing);
  whenRunning([&] { closing.PostMessage(WM_CLOSE); });
  EXPECT_EQ(closing.DoModal(), IDCANCEL);
  EXPECT_EQ(std::count(others.log.begin(), others.log.end(), "sheet cancel"), 1);
  EXPECT_EQ(std::count(others.log.begin(), others.log.end(), "general cancel"), 0);
}

}  // namespace
