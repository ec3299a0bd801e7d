// The operator panel page of a scripted printer: buttons, the panel lock,
// Quick Setup file choice and refusal, and the progress dialog's end.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/quick_dlg.h"
#include "framework/controls.h"
#include "hostile_places.h"
#include "notebook_fixture.h"
#include "test_dirs.h"

namespace wf::testing {
namespace {

class OpPanelPageTest : public NotebookFixture {
 protected:
  static ScriptedPrtObj* printer(CWFPrinterIcon* icon) {
    return static_cast<ScriptedPrtObj*>(icon->GetPrinterObj());
  }
  CPrtOOpPanel* open(CWFPrinterIcon* icon) {
    EXPECT_TRUE(icon->OpenPrinterA(0));
    runWork();
    pump();
    CPrtOpenDlg* notebook = icon->GetOpenFrame()->GetNotebook();
    EXPECT_TRUE(notebook->SetActivePage(1));
    runWork();
    pump();
    return dynamic_cast<CPrtOOpPanel*>(notebook->GetPage(1));
  }
  static std::vector<std::string> calls(CWFPrinterIcon* icon, const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& call : printer(icon)->calls())
      if (call.rfind(prefix, 0) == 0) out.push_back(call);
    return out;
  }
  static CString string(UINT id) {
    wf::fw::ResourceHandleSwitch resources(wf::loadModule("WFGUIDLL.DLL"));
    CString text;
    text.LoadString(id);
    return text;
  }
};

TEST_F(OpPanelPageTest, EachButtonSendsItsCodeAndChangesNothingOnThePage) {
  CWFPrinterIcon* icon = makeIcon(51, {});
  CPrtOOpPanel* page = open(icon);
  ASSERT_NE(page, nullptr);
  CRect before;
  page->GetDlgItem(1037)->GetWindowRect(&before);
  click(page, 1037);
  const auto work = runWork();
  ASSERT_EQ(work.size(), 1u);
  EXPECT_NE(work[0].first.find("PressROPButtons()"), std::string::npos);
  EXPECT_EQ(calls(icon, "bidiROPPushButton"), (std::vector<std::string>{"bidiROPPushButton 2"}));
  CRect after;
  page->GetDlgItem(1037)->GetWindowRect(&after);
  EXPECT_EQ(after, before);

  for (int id = 1036; id <= 1043; ++id) click(page, id);
  runWork();
  EXPECT_EQ(
      calls(icon, "bidiROPPushButton"),
      (std::vector<std::string>{"bidiROPPushButton 2", "bidiROPPushButton 1", "bidiROPPushButton 2",
                                "bidiROPPushButton 4", "bidiROPPushButton 8", "bidiROPPushButton 16",
                                "bidiROPPushButton 32", "bidiROPPushButton 64", "bidiROPPushButton 128"}));
}

TEST_F(OpPanelPageTest, ButtonsArePlacedWhereThePanelPictureHasThem) {
  CPrtOOpPanel* page = open(makeIcon(52, {}));
  ASSERT_NE(page, nullptr);
  const struct {
    int id, x, y;
  } places[] = {{1037, 318, 28},  {1038, 318, 56}, {1039, 318, 84},
                {1040, 318, 112}, {1042, 45, 173}, {1041, 325, 173}};
  for (const auto& p : places) {
    CRect rect;
    page->GetDlgItem(p.id)->GetWindowRect(&rect);
    CPoint corner(rect.left, rect.top);
    page->ScreenToClient(&corner);
    EXPECT_EQ(corner.x, p.x) << p.id;
    EXPECT_EQ(corner.y, p.y) << p.id;
  }
}

TEST_F(OpPanelPageTest, APressForAPrinterDeletedMeanwhileSendsNothing) {
  CWFPrinterIcon* icon = makeIcon(53, {});
  CPrtOOpPanel* page = open(icon);
  ASSERT_NE(page, nullptr);
  click(page, 1036);
  click(page, 1035);
  auto* object = printer(icon);
  ASSERT_TRUE(list_.DeletePrinterIcon(icon));
  pump();
  runWork();  // both workers end quietly; ASan reports a block left behind
  for (const auto& call : object->calls()) {
    EXPECT_EQ(call.rfind("bidiROPPushButton", 0), std::string::npos) << call;
    EXPECT_EQ(call.rfind("bidiROPSetLock", 0), std::string::npos) << call;
  }
}

TEST_F(OpPanelPageTest, TheLockStaysTickedOrSpringsBackWhenRefused) {
  CWFPrinterIcon* icon = makeIcon(54, {});
  printer(icon)->panelLock = 0;
  CPrtOOpPanel* page = open(icon);
  ASSERT_NE(page, nullptr);
  auto* box = static_cast<CButton*>(page->GetDlgItem(1035));
  EXPECT_EQ(box->GetCheck(), 0);

  box->SetCheck(1);
  click(page, 1035);
  EXPECT_TRUE(icon->GetOpPanelLock());  // at once, before the worker
  runWork();
  pump();
  EXPECT_EQ(calls(icon, "bidiROPSetLock"), (std::vector<std::string>{"bidiROPSetLock 1"}));
  EXPECT_EQ(printer(icon)->panelLock, 1);
  EXPECT_EQ(box->GetCheck(), 1);

  // Refused: after the worker's WM_WF_OPPANEL the box shows the printer's state again.
  printer(icon)->lockRc = 0x004D;
  box->SetCheck(0);
  click(page, 1035);
  runWork();
  pump();
  EXPECT_EQ(printer(icon)->panelLock, 1);
  EXPECT_TRUE(icon->GetOpPanelLock());
  EXPECT_EQ(box->GetCheck(), 1);
}

TEST_F(OpPanelPageTest, SaveAsksForAFileToWriteAndCancelEndsIt) {
  CWFPrinterIcon* icon = makeIcon(55, {});
  CPrtOOpPanel* page = open(icon);
  ASSERT_NE(page, nullptr);
  const auto request = saveCancelled(shell_, page, 1033);
  EXPECT_EQ(request.fileName, "");
  EXPECT_EQ(request.title, string(43).str());
  EXPECT_EQ(request.filter, string(44).str());
  EXPECT_EQ(request.owner, page->GetSafeHwnd());
  EXPECT_TRUE(app_.ThreadMgrQIsEmpty());
}

TEST_F(OpPanelPageTest, RestoreRefusesAWrongFileAndOffersTheDialogAgain) {
  CWFPrinterIcon* icon = makeIcon(56, {});
  CPrtOOpPanel* page = open(icon);
  ASSERT_NE(page, nullptr);

  // Cancel in the first box: no file dialog.
  shell_.messageBox.script(IDCANCEL);
  click(page, 1034);
  EXPECT_TRUE(shell_.fileDialog.calls().empty());
  ASSERT_EQ(shell_.messageBox.calls().size(), 1u);
  EXPECT_EQ(shell_.messageBox.calls()[0].text, string(82).str());
  EXPECT_EQ(shell_.messageBox.calls()[0].caption, string(43).str());

  // A wrong header, then a path that cannot be opened (a '%' in it), then Cancel.
  const auto dir = wf::testing::testRuntimeDir();  // this case's own, owner-only
  const std::string wrong = (dir / "wf-oppanel-wrong.psf").string();
  std::ofstream(wrong) << "not settings";
  const std::string missing = (dir / "wf-100%s-missing.psf").string();
  printer(icon)->verifyRc = 2;
  const auto boxes = restoreRefusedFiles(shell_, page, 1034, wrong, missing);
  ASSERT_EQ(boxes.size(), 4u);
  CString refused;
  refused.Format(string(47).str().c_str(), wrong.c_str());
  EXPECT_EQ(boxes[2].text, refused.str());
  EXPECT_EQ(boxes[2].caption, string(43).str());
  EXPECT_NE(boxes[3].text.find(missing), std::string::npos);  // the '%' is shown, not read as a format
  EXPECT_EQ(calls(icon, "verifyQuickSetupFile").size(), 1u);
  EXPECT_TRUE(app_.ThreadMgrQIsEmpty());
  std::filesystem::remove(wrong);
}

TEST_F(OpPanelPageTest, RestoreRefusesAFifoAndADirectoryUnread) {
  CWFPrinterIcon* icon = makeIcon(57, {});
  CPrtOOpPanel* page = open(icon);
  ASSERT_NE(page, nullptr);
  const auto fifo = wf::testing::testRuntimeDir() / "fifo.psf",
             dir = wf::testing::testRuntimeDir() / "dir.psf";
  wf::testing::makeHostile(wf::testing::Hostile::fifo, fifo);
  wf::testing::makeHostile(wf::testing::Hostile::directory, dir);
  // Without a writer the FIFO would hold the page in its open.
  const auto boxes = restoreRefusedFiles(shell_, page, 1034, fifo.string(), dir.string());
  ASSERT_EQ(boxes.size(), 3u);  // the question, then one refusal each
  EXPECT_NE(boxes[1].text.find(fifo.string()), std::string::npos);
  EXPECT_NE(boxes[2].text.find(dir.string()), std::string::npos);
  EXPECT_TRUE(calls(icon, "verifyQuickSetupFile").empty());
}

TEST_F(OpPanelPageTest, QuickSetupDoneDeletesTheProgressDialog) {
  CWFPrinterIcon* icon = makeIcon(57, {});
  CPrtOOpPanel* page = open(icon);
  ASSERT_NE(page, nullptr);
  auto* dialog = new CQuickDlg(icon, "settings.psf", 0, TRUE, page);
  EXPECT_EQ(page->SendMessage(WM_WF_QSDONE, 0, reinterpret_cast<LPARAM>(dialog)), 0);
  EXPECT_EQ(page->SendMessage(WM_WF_QSDONE, 0, 0), 0);  // ASan reports the dialog if it stayed
}

}  // namespace
}  // namespace wf::testing
