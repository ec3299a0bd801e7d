// The presentation page over a scripted Tidewater printer: what it shows,
// the resolution rule for toner saver and PQET, what Set and Defaults send.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tidewater/tw_present_dlg.h"
#include "tw_page_fixture.h"

namespace wf::testing {
namespace {

constexpr int kResolution = 1016, kDarkness = 1017, kLines = 1018, kTop = 1019, kLeft = 1020;
constexpr int kPQET = 1021, kTonerSaver = 1022, kPortrait = 1023, kLandscape = 1024;
constexpr int kSet = 1025, kDefaults = 1026;

class PresentationPageTest : public TidewaterPageFixture<> {
 protected:
  void SetUp() override {
    SetUpPage({{4126, "1"},
               {4110, "300"},
               {4111, "4"},
               {4112, "64"},
               {4116, "-5"},
               {4117, "3"},
               {4115, "1"},
               {4114, "1"},
               {4113, "0"}},
              [](TwIcon* icon) -> CPropertyPage* { return new CTwPresentDlg(icon); });
  }
  CTwPresentDlg* open(TwIcon* icon) { return TidewaterPageFixture::open<CTwPresentDlg>(icon); }

  // What the two checks show: checked and enabled, toner saver first.
  static std::vector<int> checks(CWnd* page) {
    return {checked(page, kTonerSaver), enabled(page, kTonerSaver), checked(page, kPQET),
            enabled(page, kPQET)};
  }
};

TEST_F(PresentationPageTest, ReadsInOrderAndShowsThePrintersValues) {
  TwIcon* icon = makeIcon();
  CWnd* page = activate(icon);
  ASSERT_NE(dynamic_cast<CTwPresentDlg*>(page), nullptr);
  // Before the answer: the lists' first choices, Set greyed.
  EXPECT_EQ(selected(page, kDarkness), 2);
  EXPECT_EQ(selected(page, kResolution), 0);
  EXPECT_FALSE(enabled(page, kSet));
  EXPECT_EQ(icon->GetPendingQueries(), 1);
  const auto labels = readFirst();
  ASSERT_FALSE(labels.empty());
  EXPECT_NE(labels.back().find("UpdatePresentation() from CTwPresentDlg::OnInitDialog()"), std::string::npos);

  EXPECT_EQ(printer_->reads, (std::vector<int>{4126, 4110, 4111, 4112, 4116, 4117, 4115, 4114, 4113}));
  EXPECT_EQ(selected(page, kResolution), 0);
  EXPECT_EQ(entry(page, kResolution), family(50152));
  EXPECT_EQ(selected(page, kDarkness), 3);
  EXPECT_EQ(entry(page, kDarkness), family(50150));
  EXPECT_EQ(text(page, kLines), CString("64"));
  EXPECT_EQ(text(page, kTop), CString("-5"));
  EXPECT_EQ(text(page, kLeft), CString("3"));
  EXPECT_EQ(checked(page, kPortrait), 0);
  EXPECT_EQ(checked(page, kLandscape), 1);
  EXPECT_EQ(checks(page), (std::vector<int>{0, 1, 1, 1}));
  EXPECT_FALSE(enabled(page, kSet));
  EXPECT_EQ(icon->GetPendingQueries(), 0);
  EXPECT_TRUE(printer_->sent.empty());
}

TEST_F(PresentationPageTest, TonerSaverAndPQETFollowTheResolution) {
  const struct {
    const char* resolution;
    const char* tonerSaver;
    std::vector<int> shown;  // toner saver checked, enabled; PQET checked, enabled
  } cases[] = {
      {"300", "0", {0, 1, 1, 1}},
      {"300", "1", {1, 1, 0, 0}},  // PQET means nothing while the toner saver is on
      {"600", "1", {0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.resolution) + " " + c.tonerSaver);
    printer_->values[4110] = c.resolution;
    printer_->values[4113] = c.tonerSaver;
    TwIcon* icon = makeIcon();
    CTwPresentDlg* page = open(icon);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(checks(page), c.shown);
    EXPECT_EQ(icon->GetTonerSaver(), c.tonerSaver[0] == '1');  // the cache keeps what the printer said
    EXPECT_TRUE(icon->GetPQET());
    list_.DeleteAllPrinters();
    pump();
  }
}

TEST_F(PresentationPageTest, ChoosingTheResolutionAndTheTonerSaverSwitchTheChecks) {
  TwIcon* icon = makeIcon();
  CTwPresentDlg* page = open(icon);
  ASSERT_NE(page, nullptr);
  check(page, kTonerSaver, 1);
  EXPECT_EQ(checks(page), (std::vector<int>{1, 1, 1, 0}));
  check(page, kTonerSaver, 0);
  EXPECT_EQ(checks(page), (std::vector<int>{0, 1, 1, 1}));

  check(page, kTonerSaver, 1);
  choose(page, kResolution, 1);
  EXPECT_EQ(checks(page), (std::vector<int>{0, 0, 0, 0}));
  choose(page, kResolution, 0);
  EXPECT_EQ(checks(page), (std::vector<int>{0, 1, 0, 1}));
}

TEST_F(PresentationPageTest, SetAt600StoresNeitherTonerSaverNorPQETAndSendsTheResolution) {
  TwIcon* icon = makeIcon();
  CTwPresentDlg* page = open(icon);
  ASSERT_NE(page, nullptr);
  choose(page, kResolution, 1);
  EXPECT_TRUE(enabled(page, kSet));
  click(page, kSet);
  const auto labels = runQueuedWork();
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_NE(labels[0].find("SetPresentation() from CTwPresentDlg::OnPresSet()"), std::string::npos);
  pump();
  EXPECT_EQ(printer_->sent, (std::vector<std::string>{"RESOLUTION=600"}));
  EXPECT_EQ(icon->GetResolution(), WFTidewaterPrtObj::RES_600);
  EXPECT_FALSE(icon->GetTonerSaver());
  EXPECT_FALSE(icon->GetPQET());
  EXPECT_FALSE(enabled(page, kSet));
  EXPECT_EQ(page->GetChangeFlags(), 0u);
  EXPECT_TRUE(shell_.messageBox.calls().empty());
}

TEST_F(PresentationPageTest, SetSendsTheChangedSettingsInFlagOrder) {
  TwIcon* icon = makeIcon();
  CTwPresentDlg* page = open(icon);
  ASSERT_NE(page, nullptr);
  // Changed in another order than they go out.
  check(page, kPQET, 0);
  static_cast<CButton*>(page->GetDlgItem(kLandscape))->SetCheck(0);
  check(page, kPortrait, 1);
  page->GetDlgItem(kLeft)->SetWindowText("-128");  // the lowest margin is taken
  check(page, kTonerSaver, 1);
  choose(page, kDarkness, 0);
  page->GetDlgItem(kLines)->SetWindowText("255");
  click(page, kSet);
  runQueuedWork();
  pump();
  EXPECT_EQ(printer_->sent, (std::vector<std::string>{"DENSITY=1", "FORMLINES=255", "LEFTMARGIN=-128",
                                                      "ORIENTATION=0", "ECONOMODE=1", "RET=0"}));
  EXPECT_EQ(icon->GetLeftMargin(), -128);
  EXPECT_EQ(icon->GetTopMargin(), -5);
  EXPECT_EQ(icon->GetOrientation(), WFTidewaterPrtObj::ORIENT_PORTRAIT);
  EXPECT_EQ(icon->GetDarkness(), 1u);
  EXPECT_TRUE(shell_.messageBox.calls().empty());
}

TEST_F(PresentationPageTest, ValuesOutOfRangeShowTheRangeMessageAndSendNothing) {
  TwIcon* icon = makeIcon();
  CTwPresentDlg* page = open(icon);
  ASSERT_NE(page, nullptr);
  // The range message puts the focus back on the field: the frame must be active.
  icon->GetOpenFrame()->SetForegroundWindow();
  ASSERT_TRUE(wf::fw::testing::pumpUntil([&] { return CWnd::GetFocus() != nullptr; }));
  const struct {
    int edit;
    const char* typed;
    const char* kept;
  } cases[] = {{kTop, "-129", "-5"}, {kTop, "128", "-5"}, {kLeft, "-129", "3"},
               {kLeft, "128", "3"},  {kLines, "0", "64"}, {kLines, "256", "64"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    page->GetDlgItem(c.edit)->SetWindowText(c.typed);
    const std::size_t boxes = shell_.messageBox.calls().size();
    click(page, kSet);
    runQueuedWork();
    EXPECT_EQ(shell_.messageBox.calls().size(), boxes + 1);
    EXPECT_EQ(CWnd::GetFocus(), page->GetDlgItem(c.edit));
    EXPECT_TRUE(printer_->sent.empty());
    EXPECT_EQ(icon->GetTopMargin(), -5);
    EXPECT_EQ(icon->GetLeftMargin(), 3);
    EXPECT_EQ(icon->GetLinesPerPage(), 64u);
    page->GetDlgItem(c.edit)->SetWindowText(c.kept);
  }
}

TEST_F(PresentationPageTest, DefaultsSendSixSettingsLeaveTheMarginsAndShowTheChecksAgain) {
  printer_->values[4110] = "600";
  TwIcon* icon = makeIcon();
  CTwPresentDlg* page = open(icon);
  ASSERT_NE(page, nullptr);
  ASSERT_EQ(checks(page), (std::vector<int>{0, 0, 0, 0}));
  click(page, kDefaults);
  const auto labels = runQueuedWork();
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_NE(labels[0].find("DefaultsPresentation() from CTwPresentDlg::OnPresDefaults()"), std::string::npos);
  pump();
  EXPECT_EQ(printer_->sent, (std::vector<std::string>{"RESOLUTION=300", "DENSITY=3", "FORMLINES=60",
                                                      "ORIENTATION=0", "ECONOMODE=0", "RET=1"}));
  EXPECT_EQ(icon->GetTopMargin(), -5);
  EXPECT_EQ(icon->GetLeftMargin(), 3);
  EXPECT_EQ(text(page, kTop), CString("-5"));
  EXPECT_EQ(selected(page, kResolution), 0);
  EXPECT_EQ(selected(page, kDarkness), 2);
  EXPECT_EQ(text(page, kLines), CString("60"));
  EXPECT_EQ(checked(page, kPortrait), 1);
  // Back at 300 dpi the checks can be used again.
  EXPECT_EQ(checks(page), (std::vector<int>{0, 1, 1, 1}));
  EXPECT_FALSE(enabled(page, kSet));
}

TEST_F(PresentationPageTest, ALockedPrinterObjectFailsTheRunWithThePagesMessage) {
  TwIcon* icon = makeIcon();
  CTwPresentDlg* page = open(icon);
  ASSERT_NE(page, nullptr);
  check(page, kPQET, 0);
  ASSERT_TRUE(icon->LockPrinterObj());
  click(page, kSet);
  runQueuedWork();
  pump();
  icon->UnlockPrinterObj();
  EXPECT_TRUE(printer_->sent.empty());
  const auto boxes = shell_.messageBox.calls();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, family(50159).str());
  EXPECT_EQ(boxes[0].caption, "Wrenfield Warning");
  EXPECT_TRUE(enabled(page, kSet));
}

TEST_F(PresentationPageTest, HelpTableNamesEveryControl) {
  TwIcon* icon = makeIcon();
  CTwPresentDlg page(icon);
  const std::map<DWORD, DWORD> expected = {
      {1016, 10000}, {1082, 10000}, {1017, 10001}, {1083, 10001}, {1018, 10002}, {1084, 10002},
      {1019, 10003}, {1085, 10003}, {1020, 10004}, {1086, 10004}, {1023, 10005}, {1024, 10005},
      {1087, 10005}, {1022, 10006}, {1021, 10007}, {1025, 10406}, {1026, 10407}};
  EXPECT_EQ(helpTopics(page), expected);
  EXPECT_EQ(page.GetHelpFile(), CString("VIREOE.HLP"));
}

}  // namespace
}  // namespace wf::testing
