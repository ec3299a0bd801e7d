// The Tidewater status and remote operator-panel pages over a scripted
// printer: the lamps follow the icon's lights, the pattern's text, the
// panel's button, and Quick Setup's file choice and refusal.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/quick_dlg.h"
#include "framework/controls.h"
#include "framework/scripted_shell.h"
#include "meridian/meridian_family.h"
#include "prtgui/prt_open_dlg.h"
#include "prtgui/prt_open_frame.h"
#include "test_dirs.h"
#include "test_fixture.h"
#include "tidewater/tw_family.h"
#include "tidewater/tw_op_panel.h"
#include "tidewater/tw_status.h"
#include "window_steps.h"

namespace wf::testing {
namespace {

constexpr int kStatusView = 32775;
constexpr int kPanelView = 32772;
using States = std::vector<UINT>;

class TwPanelPagesTest : public PrinterFixture {
 protected:
  void SetUp() override {
    PrinterFixture::SetUp();
    InitMeridianGuiDLL(nullptr, &RegisterDLL);
    InitTidewaterGuiDLL(nullptr, &RegisterDLL);
  }
  void TearDown() override {
    list_.DeleteAllPrinters();
    PrinterFixture::TearDown();
  }

  // A local Tidewater printer of an administrator, its notebook open on `view`.
  CWFTwIcon* open(std::uint16_t handle, int view) {
    printer_ = addLocal(handle, "LPT2", 3, "Corvane Pagecrest II");
    fakebce::setPrtInfoFor(handle, prtInfo(handle, "LPT2", BCE_NET_LOCAL | 0x8000, 2));
    list_.NewPrinterIcon(printer_, nullptr);
    auto* icon = dynamic_cast<CWFTwIcon*>(icons().back());
    EXPECT_NE(icon, nullptr);
    EXPECT_TRUE(icon->OpenPrinterA(view));
    return icon;
  }
  CPrtOpenDlg* notebook(CWFTwIcon* icon) { return icon->GetOpenFrame()->GetNotebook(); }
  // Lets the printer show `text` as its panel: the panel data worker reads it.
  void showPanel(CWFTwIcon* icon, const std::string& text) {
    printer_->panelText = text;
    CPrtOStatus::UpdateROPData(
        reinterpret_cast<void*>(static_cast<std::uintptr_t>(icon->GetPrinterHandle())));
    pump();
  }
  template <class Page>
  static States states(Page* page) {
    States out;
    for (int i = 0; i < 6; ++i) out.push_back(page->GetLamp(i).GetState());
    return out;
  }
  static CString family(CWFTwIcon* icon, UINT id) { return familyString(icon->GetResourceInstance(0), id); }
  // The main program's string `id`.
  CString program(UINT id) const { return familyString(resources_, id); }
  std::vector<std::string> calls(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& call : printer_->calls())
      if (call.rfind(prefix, 0) == 0) out.push_back(call);
    return out;
  }

  ScriptedPrtObj* printer_ = nullptr;
  wf::fw::ScriptedShell shell_;
};

TEST_F(TwPanelPagesTest, TheIconAddsTheFamilysStatusAndPanelPages) {
  CWFTwIcon* icon = open(41, kPanelView);
  runQueuedWork();
  EXPECT_NE(dynamic_cast<CTwStatus*>(notebook(icon)->GetPage(0)), nullptr);
  EXPECT_NE(dynamic_cast<CTwOpPanel*>(notebook(icon)->GetPage(1)), nullptr);
  EXPECT_EQ(notebook(icon)->GetActiveIndex(), 1);
}

TEST_F(TwPanelPagesTest, ThePanelPageArmsOnceAndShowsTheLightsAndTheirMeaning) {
  CWFTwIcon* icon = open(42, kPanelView);
  auto* page = dynamic_cast<CTwOpPanel*>(notebook(icon)->GetPage(1));
  ASSERT_NE(page, nullptr);
  const auto first = runQueuedWork();
  EXPECT_TRUE(icon->GetPanelAlertsActive());
  EXPECT_EQ(std::count_if(first.begin(), first.end(),
                          [](const std::string& label) {
                            return label.find("UpdateROPData() from CTwOpPanel::OnSetActive()") !=
                                   std::string::npos;
                          }),
            1);
  // The lamps stand over their placeholders with the creation values.
  for (int i = 0; i < 6; ++i) {
    CRect lamp, place;
    page->GetLamp(i).GetWindowRect(&lamp);
    EXPECT_EQ(page->GetLamp(i).GetDlgCtrlID(), 1044 + i);
    page->GetDlgItem(1044 + i)->GetWindowRect(&place);
    EXPECT_EQ(lamp, place) << i;
  }
  // Already armed: showing the page again queues nothing.
  notebook(icon)->SetActivePage(0);
  notebook(icon)->SetActivePage(1);
  EXPECT_TRUE(runQueuedWork().empty());

  const struct {
    std::string panel;
    States states;
    UINT string;  // 0: the text before stays
    bool blinking;
  } cases[] = {
      {std::string(6, '\x02') + "SERVICE", {2, 2, 2, 2, 2, 2}, 50118, true},
      {std::string("\x01\0\0\0\0\0", 6), {1, 0, 0, 0, 0, 0}, 547, false},
      {std::string("\x02\x02", 2), {2, 2, 0, 0, 0, 0}, 50121, true},  // the missing lights are off
      {std::string("\x03\0\0\0\0\0", 6), {0, 0, 0, 0, 0, 0}, 0, false},
      {std::string("\x01\x01\x01\x01\x01\x01", 6), {1, 1, 1, 1, 1, 1}, 50104, false},
      {std::string("\0\0\0\0\x01\x01", 6), {0, 0, 0, 0, 1, 1}, 50114, false},
  };
  CString shown;
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.panel));
    showPanel(icon, c.panel);
    EXPECT_EQ(states(page), c.states);
    if (c.string) shown = family(icon, c.string);
    CString text;
    page->GetDlgItem(1043)->GetWindowText(text);
    EXPECT_EQ(text, shown);
    EXPECT_EQ(app_.blinkTimerRunning(), c.blinking);
  }

  // Without panel data nothing changes.
  icon->FreeOPPanelData();
  ASSERT_FALSE(icon->GetROPData().has_value());
  page->UpdateData(FALSE);
  EXPECT_EQ(states(page), (States{0, 0, 0, 0, 1, 1}));
  EXPECT_EQ(page->GetMessageText(), family(icon, 50114));
}

TEST_F(TwPanelPagesTest, TheStatusPageShowsTheLightsAsASmallPanelInItsFrame) {
  CWFTwIcon* icon = open(43, kStatusView);
  runQueuedWork();
  pump();
  auto* page = dynamic_cast<CTwStatus*>(notebook(icon)->GetPage(0));
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->GetDlgItem(107), nullptr) << "no base mini panel";
  CRect frame;
  page->GetDlgItem(1057)->GetWindowRect(&frame);
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(page->GetLamp(i).GetDlgCtrlID(), 1044 + i);
    CString label;
    page->GetLabel(i).GetWindowText(label);
    EXPECT_EQ(label, family(icon, 50001 + static_cast<UINT>(i)));
    EXPECT_TRUE(page->GetLabel(i).IsWindowVisible());
    for (CWnd* part : {static_cast<CWnd*>(&page->GetLamp(i)), &page->GetLabel(i)}) {
      CRect rect;
      part->GetWindowRect(&rect);
      EXPECT_TRUE(frame.PtInRect(CPoint(rect.left, rect.top))) << "laid out in frame 1057";
    }
  }
  // The profile's panel text ("" here) gave lights of all off.
  EXPECT_EQ(states(page), (States{0, 0, 0, 0, 0, 0}));

  showPanel(icon, std::string(6, '\x02'));
  EXPECT_EQ(states(page), (States{2, 2, 2, 2, 2, 2}));
  EXPECT_TRUE(app_.blinkTimerRunning());
  showPanel(icon, std::string("\x01\0\x07\0\0\0", 6));
  EXPECT_EQ(states(page), (States{1, 0, 0, 0, 0, 0}));
  EXPECT_FALSE(app_.blinkTimerRunning());

  icon->FreeOPPanelData();
  page->UpdateMiniOpPanel();
  EXPECT_EQ(states(page), (States{1, 0, 0, 0, 0, 0}));
}

TEST_F(TwPanelPagesTest, ShortAndLongPressesSendCodesTwoAndFour) {
  CWFTwIcon* icon = open(44, kPanelView);
  runQueuedWork();
  CWnd* page = notebook(icon)->GetPage(1);
  click(page, 1000);
  click(page, 1001);
  const auto labels = runQueuedWork();
  ASSERT_EQ(labels.size(), 2u);
  EXPECT_NE(labels[0].find("PressROPButtons() from CTwOpPanel::OnShortPress()"), std::string::npos);
  EXPECT_NE(labels[1].find("PressROPButtons() from CTwOpPanel::OnLongPress()"), std::string::npos);
  EXPECT_EQ(calls("bidiROPPushButton"),
            (std::vector<std::string>{"bidiROPPushButton 2", "bidiROPPushButton 4"}));
}

TEST_F(TwPanelPagesTest, ReceiveAsksForAFileToWriteWithTheProgramsTexts) {
  CWFTwIcon* icon = open(45, kPanelView);
  runQueuedWork();
  CWnd* page = notebook(icon)->GetPage(1);
  const auto request = saveCancelled(shell_, page, 1033);
  EXPECT_EQ(request.title, program(43).str());
  EXPECT_EQ(request.filter, program(44).str());
  EXPECT_EQ(request.owner, page->GetSafeHwnd());
  EXPECT_TRUE(app_.ThreadMgrQIsEmpty()) << "a cancelled dialog changes nothing";
}

TEST_F(TwPanelPagesTest, SendAsksFirstAndRefusesAMismatchWithThePrintersName) {
  CWFTwIcon* icon = open(46, kPanelView);
  runQueuedWork();
  CWnd* page = notebook(icon)->GetPage(1);
  icon->SetName("Office 100%s");

  shell_.messageBox.script(IDCANCEL);
  click(page, 1034);
  EXPECT_TRUE(shell_.fileDialog.calls().empty());
  ASSERT_EQ(shell_.messageBox.calls().size(), 1u);
  EXPECT_EQ(shell_.messageBox.calls()[0].text, program(82).str());

  // A mismatching file, one that cannot be opened, then Cancel.
  const auto dir = wf::testing::testRuntimeDir();
  const std::string wrong = (dir / "wrong.psf").string();
  std::ofstream(wrong) << "not settings";
  const std::string missing = (dir / "missing%n.psf").string();
  printer_->verifyRc = 2;
  const auto boxes = restoreRefusedFiles(shell_, page, 1034, wrong, missing);
  ASSERT_EQ(boxes.size(), 4u);
  CString refused;
  refused.Format(program(47).str().c_str(), "Office 100%s");
  EXPECT_EQ(boxes[2].text, refused.str());
  EXPECT_EQ(boxes[3].text, refused.str()) << "an unreadable file is refused the same way";
  EXPECT_EQ(calls("verifyQuickSetupFile").size(), 1u);
  EXPECT_TRUE(app_.ThreadMgrQIsEmpty());

  // Without the printer object nothing is checked or sent, and the command ends.
  forget(46);
  shell_.messageBox.script(IDOK);
  shell_.fileDialog.script({IDOK, wrong});
  click(page, 1034);
  EXPECT_EQ(shell_.fileDialog.calls().size(), 4u);
  EXPECT_EQ(shell_.messageBox.calls().size(), 5u) << "the question alone";
  EXPECT_EQ(calls("verifyQuickSetupFile").size(), 1u);
  EXPECT_TRUE(app_.ThreadMgrQIsEmpty());
}

TEST_F(TwPanelPagesTest, QuickSetupDoneDeletesTheProgressDialogAndHelpIsThePages) {
  CWFTwIcon* icon = open(47, kPanelView);
  runQueuedWork();
  auto* page = dynamic_cast<CTwOpPanel*>(notebook(icon)->GetPage(1));
  ASSERT_NE(page, nullptr);
  auto* dialog = new CQuickDlg(icon, "settings.psf", 0, TRUE, page);
  EXPECT_EQ(page->SendMessage(WM_WF_QSDONE, 0, reinterpret_cast<LPARAM>(dialog)), 0);
  EXPECT_EQ(page->SendMessage(WM_WF_QSDONE, 0, 0), 0);  // ASan reports the dialog if it stayed

  std::vector<std::pair<DWORD, DWORD>> help;
  for (const DWORD* p = page->GetHelpIDs(); p[0] || p[1]; p += 2) help.emplace_back(p[0], p[1]);
  EXPECT_EQ(help, (std::vector<std::pair<DWORD, DWORD>>{
                      {1044, 10201}, {1060, 10201}, {1045, 10202}, {1062, 10202}, {1046, 10203},
                      {1061, 10203}, {1047, 10204}, {1063, 10204}, {1048, 10205}, {1064, 10205},
                      {1049, 10206}, {1065, 10206}, {1043, 10207}, {1033, 10213}, {1034, 10209},
                      {1001, 10210}, {1000, 10208}, {1059, 10212}, {1066, 0},     {1067, 10212}}));
}

}  // namespace
}  // namespace wf::testing
