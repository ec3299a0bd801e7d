// The advanced settings page over a scripted Tidewater printer: what the
// workers read, send and reset, what the page shows and how it reports.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tidewater/tw_adv_dlg.h"
#include "tw_page_fixture.h"

namespace wf::testing {
namespace {

// The page with its up-down controls in reach.
class AdvPage : public CTwAdvDlg {
 public:
  using CTwAdvDlg::CTwAdvDlg;
  CSpinButtonCtrl& powerSaverSpin() { return m_powerSaverSpin; }
};

class AdvancedPageTest : public TidewaterPageFixture<> {
 protected:
  void SetUp() override {
    SetUpPage({{4122, "1"},
               {4121, "30"},
               {4118, "20"},
               {4119, "1"},
               {4120, "1"},
               {4123, "1"},
               {4130, "1"},
               {4126, "1"},
               {4124, "1"},
               {4125, "0"}},
              [](TwIcon* icon) -> CPropertyPage* { return new AdvPage(icon); });
  }
  CTwAdvDlg* open(TwIcon* icon) { return TidewaterPageFixture::open<CTwAdvDlg>(icon); }
};

TEST_F(AdvancedPageTest, ReadsInOrderAndShowsThePrintersValues) {
  TwIcon* icon = makeIcon();
  icon->SetPPDS(0);
  CWnd* page = activate(icon);
  ASSERT_NE(dynamic_cast<CTwAdvDlg*>(page), nullptr);
  EXPECT_EQ(icon->GetPendingQueries(), 1);
  const auto labels = readFirst();
  ASSERT_FALSE(labels.empty());
  EXPECT_NE(labels.back().find("UpdateAdvanced() from CTwAdvDlg::OnInitDialog()"), std::string::npos);

  EXPECT_EQ(printer_->reads, (std::vector<int>{4122, 4121, 4118, 4119, 4120, 4123, 4130, 4126, 4124, 4125}));
  EXPECT_EQ(icon->GetJamRecovery(), 1);
  EXPECT_EQ(icon->GetPowerSaver(), 30u);
  EXPECT_EQ(icon->GetTimeout(), 20u);
  EXPECT_TRUE(icon->GetPPDS());
  EXPECT_TRUE(icon->IsUS());  // LUSDEFAULTS is on
  EXPECT_EQ(text(page, 1030), CString("30"));
  EXPECT_EQ(text(page, 1029), CString("20"));
  EXPECT_EQ(static_cast<CComboBox*>(page->GetDlgItem(1027))->GetCurSel(), 1);
  const int shown[] = {checked(page, 1031), checked(page, 1032), checked(page, 1033),
                       checked(page, 1034), checked(page, 1035), checked(page, 1036)};
  EXPECT_EQ(std::vector<int>(std::begin(shown), std::end(shown)), (std::vector<int>{1, 1, 1, 1, 1, 0}));
  EXPECT_EQ(text(page, 1042), family(50164));
  EXPECT_TRUE(enabled(page, 1042));
  EXPECT_FALSE(enabled(page, 1037));
  EXPECT_FALSE(enabled(page, 1040));  // no flash
  EXPECT_EQ(icon->GetPendingQueries(), 0);
  EXPECT_TRUE(printer_->sent.empty());
}

TEST_F(AdvancedPageTest, AFailedReadStopsTheReadingAndLeavesTheUSFlagOn) {
  TwIcon* icon = makeIcon();
  icon->SetUS(0);
  icon->SetLFafterCR(0);
  printer_->failing = {4123};  // honour init
  CTwAdvDlg* page = open(icon);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(printer_->reads, (std::vector<int>{4122, 4121, 4118, 4119, 4120, 4123}));
  EXPECT_EQ(icon->GetAutoContinue(), 1);  // read before the failure
  EXPECT_EQ(icon->GetLFafterCR(), 0);     // never read
  EXPECT_EQ(icon->IsUS(), 1);
  EXPECT_TRUE(page->IsDataValid());
}

TEST_F(AdvancedPageTest, ABadValueFromThePrinterStopsTheReadingAndKeepsTheCache) {
  const char* bad[] = {"", "x1", "121", "123456", "-5"};
  for (const char* value : bad) {
    SCOPED_TRACE(value);
    TwIcon* icon = makeIcon();
    printer_->values[4121] = value;  // power saver
    CTwAdvDlg* page = open(icon);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(printer_->reads, (std::vector<int>{4122, 4121}));
    EXPECT_EQ(icon->GetPowerSaver(), 15u);
    EXPECT_EQ(icon->GetTimeout(), 0u);  // never read
    list_.DeleteAllPrinters();
    pump();
  }
}

TEST_F(AdvancedPageTest, APrinterWithoutPPDSIsNotAskedAndItsButtonIsOff) {
  TwIcon::ppdsCapable = FALSE;
  TwIcon* icon = makeIcon();
  icon->SetPPDS(1);
  CTwAdvDlg* page = open(icon);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(std::count(printer_->reads.begin(), printer_->reads.end(), 4130), 0);
  EXPECT_EQ(icon->GetPPDS(), 0);
  EXPECT_EQ(text(page, 1042), family(50163));
  EXPECT_FALSE(enabled(page, 1042));
}

TEST_F(AdvancedPageTest, SetSendsTheChangedSettingsInFlagOrderThenGreysSet) {
  TwIcon* icon = makeIcon();
  auto* page = static_cast<AdvPage*>(open(icon));
  ASSERT_NE(page, nullptr);
  check(page, 1032, 0);  // auto continue off
  EXPECT_TRUE(enabled(page, 1037));
  page->powerSaverSpin().Spin(1);  // 30 -> 31
  EXPECT_EQ(page->GetChangeFlags(), (1u << 1) | (1u << 4));
  click(page, 1037);
  const auto labels = runQueuedWork();
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_NE(labels[0].find("SetAdvanced() from CTwAdvDlg::OnAdvSet()"), std::string::npos);
  pump();
  EXPECT_EQ(printer_->sent, (std::vector<std::string>{"POWERSAVE=31", "AUTOCONT=0"}));
  EXPECT_FALSE(enabled(page, 1037));
  EXPECT_EQ(page->GetChangeFlags(), 0u);
  EXPECT_TRUE(shell_.messageBox.calls().empty());

  // Nothing changed: nothing is sent, and the run still reports success.
  click(page, 1037);
  runQueuedWork();
  pump();
  EXPECT_EQ(printer_->sent.size(), 2u);
  EXPECT_TRUE(shell_.messageBox.calls().empty());
}

TEST_F(AdvancedPageTest, ValuesOutOfRangeShowTheRangeMessageAndSendNothing) {
  TwIcon* icon = makeIcon();
  CTwAdvDlg* page = open(icon);
  ASSERT_NE(page, nullptr);
  // The range message puts the focus back on the field: the frame must be active.
  CWnd* frame = icon->GetOpenFrame();
  frame->SetForegroundWindow();
  ASSERT_TRUE(wf::fw::testing::pumpUntil([&] { return CWnd::GetFocus() != nullptr; }));
  const struct {
    int edit;
    const char* typed;
  } cases[] = {{1030, "121"}, {1029, "256"}};
  for (const auto& c : cases) {
    page->GetDlgItem(c.edit)->SetWindowText(c.typed);
    const std::size_t boxes = shell_.messageBox.calls().size();
    click(page, 1037);
    runQueuedWork();
    EXPECT_EQ(shell_.messageBox.calls().size(), boxes + 1) << c.typed;
    EXPECT_EQ(CWnd::GetFocus(), page->GetDlgItem(c.edit)) << c.typed;
    EXPECT_TRUE(printer_->sent.empty()) << c.typed;
    EXPECT_EQ(icon->GetPowerSaver(), 30u);
    EXPECT_EQ(icon->GetTimeout(), 20u);
    page->GetDlgItem(c.edit)->SetWindowText(c.edit == 1030 ? "30" : "20");
  }
}

TEST_F(AdvancedPageTest, DefaultsSendSevenSettingsAndLeaveHonourInitAndUS) {
  TwIcon* icon = makeIcon();
  CTwAdvDlg* page = open(icon);
  ASSERT_NE(page, nullptr);
  click(page, 1038);
  const auto labels = runQueuedWork();
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_NE(labels[0].find("DefaultsAdvanced() from CTwAdvDlg::OnAdvDefaults()"), std::string::npos);
  pump();
  EXPECT_EQ(printer_->sent,
            (std::vector<std::string>{"JAMRECOVERY=2", "POWERSAVE=15", "TIMEOUT=0", "PAGEPROTECT=0",
                                      "AUTOCONT=0", "LAUTOCRLF=0", "LAUTOLFCR=0"}));
  EXPECT_EQ(icon->GetHonorInit(), 1);
  EXPECT_EQ(icon->IsUS(), 1);
  EXPECT_EQ(text(page, 1030), CString("15"));
  EXPECT_EQ(static_cast<CComboBox*>(page->GetDlgItem(1027))->GetCurSel(), 0);
  EXPECT_EQ(checked(page, 1033), 1);
}

TEST_F(AdvancedPageTest, ALockedPrinterObjectFailsTheRunWithTheFamilysMessage) {
  TwIcon* icon = makeIcon();
  CTwAdvDlg* page = open(icon);
  ASSERT_NE(page, nullptr);
  check(page, 1035, 0);
  ASSERT_TRUE(icon->LockPrinterObj());
  click(page, 1037);
  runQueuedWork();
  pump();
  EXPECT_TRUE(printer_->sent.empty());
  const auto boxes = shell_.messageBox.calls();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, family(50160).str());
  EXPECT_EQ(boxes[0].caption, "Wrenfield Warning");
  EXPECT_EQ(boxes[0].style & MB_ICONEXCLAMATION, MB_ICONEXCLAMATION);
  EXPECT_NE(page->GetChangeFlags(), 0u);  // still to be sent
  EXPECT_TRUE(enabled(page, 1037));
  icon->UnlockPrinterObj();
}

TEST_F(AdvancedPageTest, PPDSFlipsAtOnceAndEachPressSendsItsValue) {
  TwIcon* icon = makeIcon();
  CTwAdvDlg* page = open(icon);
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(icon->GetPPDS());
  click(page, 1042);
  EXPECT_FALSE(icon->GetPPDS());
  EXPECT_EQ(text(page, 1042), family(50163));
  click(page, 1042);
  EXPECT_EQ(text(page, 1042), family(50164));
  const auto labels = runQueuedWork();
  ASSERT_EQ(labels.size(), 2u);
  EXPECT_NE(labels[0].find("TidewaterAdvFunction() from CTwAdvDlg::OnEnablePPDS()"), std::string::npos);
  EXPECT_EQ(printer_->sent, (std::vector<std::string>{"LPPDS=0", "LPPDS=1"}));
}

TEST_F(AdvancedPageTest, FactoryDefaultsAskFirstThenRereadThePage) {
  TwIcon* icon = makeIcon();
  CTwAdvDlg* page = open(icon);
  ASSERT_NE(page, nullptr);
  wf::fw::ScriptedDialogs dialogs;
  dialogs.on(504, [](CDialog& box) { box.EndDialog(IDCANCEL); });
  click(page, 1041);
  EXPECT_TRUE(runQueuedWork().empty());
  EXPECT_EQ(dialogs.runs(504), 1);

  dialogs.on(504, [](CDialog& box) { box.EndDialog(IDOK); });
  printer_->values[4121] = "45";  // what the printer holds after its reset
  printer_->reads.clear();
  click(page, 1041);
  const auto labels = runQueuedWork();
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_NE(labels[0].find("TidewaterAdvFunction() from CTwAdvDlg::OnFactoryDefaults()"), std::string::npos);
  pump();
  EXPECT_EQ(printer_->sent, (std::vector<std::string>{"INITIALIZE"}));
  EXPECT_EQ(printer_->reads.size(), 10u);
  EXPECT_EQ(text(page, 1030), CString("45"));
  EXPECT_EQ(icon->GetPendingQueries(), 0);
}

TEST_F(AdvancedPageTest, TestPageAndFlashDirectory) {
  printer_->flashSize = 0x100000;
  TwIcon* icon = makeIcon();
  CTwAdvDlg* page = open(icon);
  ASSERT_NE(page, nullptr);
  EXPECT_TRUE(enabled(page, 1040));
  click(page, 1039);
  click(page, 1040);
  runQueuedWork();
  EXPECT_EQ(printer_->sent, (std::vector<std::string>{"TESTPAGE", "DIRECTORY"}));
}

TEST_F(AdvancedPageTest, WorkersForAPrinterGoneEndQuietly) {
  TwIcon* icon = makeIcon();
  CTwAdvDlg* page = open(icon);
  ASSERT_NE(page, nullptr);
  check(page, 1035, 0);
  click(page, 1037);
  click(page, 1038);
  click(page, 1039);
  ASSERT_TRUE(list_.DeletePrinterIcon(icon));
  pump();
  runQueuedWork();  // each frees its block; ASan reports one left behind
  EXPECT_TRUE(printer_->sent.empty());
}

TEST_F(AdvancedPageTest, HelpTableNamesEveryControl) {
  TwIcon* icon = makeIcon();
  CTwAdvDlg page(icon);
  const std::map<DWORD, DWORD> topics = helpTopics(page);
  const std::map<DWORD, DWORD> expected = {
      {1027, 10101}, {1070, 10101}, {1057, 10102}, {1030, 10102}, {1058, 10103}, {1029, 10103}, {1031, 10104},
      {1032, 10105}, {1033, 10106}, {1034, 10107}, {1035, 10108}, {1036, 10109}, {1039, 10110}, {1040, 10111},
      {1041, 10112}, {1042, 10113}, {1037, 10406}, {1038, 10407}, {1068, 0},     {1088, 0},     {1069, 0}};
  EXPECT_EQ(topics, expected);
  EXPECT_EQ(page.GetHelpFile(), CString("VIREOE.HLP"));
}

}  // namespace
}  // namespace wf::testing
