// The statistics page's counters, buttons and rights, and the resource base
// page's routing of commands and list-view notifications to its virtuals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/list_ctrl.h"
#include "notebook_fixture.h"

namespace wf::testing {
namespace {

class StatisticsTest : public NotebookFixture {
 protected:
  // Opens the notebook on the statistics page with the printer's counts cached.
  CPrtOStatistics* openStatistics(CWFPrinterIcon* icon) {
    printer(icon)->pageCounts.counters[0] = 123456;
    printer(icon)->pageCounts.counters[1] = 40;
    printer(icon)->pageCounts.counters[3] = 12;
    icon->UpdatePageCounts(FALSE);
    runWork();
    EXPECT_TRUE(icon->OpenPrinterA(0));
    runWork();
    pump();
    CPrtOpenDlg* notebook = icon->GetOpenFrame()->GetNotebook();
    const int index = icon->IsUserAdmin() ? 2 : 1;
    EXPECT_TRUE(notebook->SetActivePage(index));
    pump();
    return dynamic_cast<CPrtOStatistics*>(notebook->GetPage(index));
  }
  static ScriptedPrtObj* printer(CWFPrinterIcon* icon) {
    return static_cast<ScriptedPrtObj*>(icon->GetPrinterObj());
  }
  static std::string text(CWnd* page, int id) {
    CString out;
    page->GetDlgItem(id)->GetWindowText(out);
    return out.str();
  }
  static std::vector<std::string> shown(CWnd* page) {
    return {text(page, 1014), text(page, 1013), text(page, 1015)};
  }
  static int count(const std::vector<std::string>& calls, const std::string& name) {
    return static_cast<int>(std::count(calls.begin(), calls.end(), name));
  }
};

TEST_F(StatisticsTest, CountersComeFromTheCacheAndRefreshRereadsThem) {
  CWFPrinterIcon* icon = makeIcon(31, {});
  CPrtOStatistics* page = openStatistics(icon);
  ASSERT_NE(page, nullptr);
  ASSERT_NE(page->GetSafeHwnd(), 0u);
  EXPECT_EQ(shown(page), (std::vector<std::string>{"40", "12", "123456"}));
  EXPECT_TRUE(page->GetDlgItem(1017)->IsWindowEnabled());

  // Refresh queues the reading worker; its WM_WF_JOBSTAT shows the new counts.
  printer(icon)->pageCounts.counters[1] = 41;
  click(page, 1019);
  const auto work = runWork();
  ASSERT_EQ(work.size(), 1u);
  EXPECT_NE(work[0].first.find("UpdatePC()"), std::string::npos);
  EXPECT_EQ(count(printer(icon)->calls(), "bidiResetHostPageCount"), 0);
  pump();
  EXPECT_EQ(shown(page), (std::vector<std::string>{"41", "12", "123456"}));

  // Saving reads the controls back and asks the printer nothing.
  const auto before = printer(icon)->calls().size();
  click(page, 1018);
  EXPECT_TRUE(page->UpdateData(TRUE));
  EXPECT_TRUE(app_.ThreadMgrQIsEmpty());
  EXPECT_EQ(printer(icon)->calls().size(), before);
}

TEST_F(StatisticsTest, ResetClearsTheUserCountForAnAdministrator) {
  CWFPrinterIcon* icon = makeIcon(32, {});
  CPrtOStatistics* page = openStatistics(icon);
  ASSERT_NE(page, nullptr);
  click(page, 1017);
  runWork();
  EXPECT_EQ(count(printer(icon)->calls(), "bidiResetHostPageCount"), 1);
  EXPECT_EQ(text(page, 1013), "12");  // until the worker's message arrives
  pump();
  EXPECT_EQ(shown(page), (std::vector<std::string>{"40", "0", "123456"}));
}

TEST_F(StatisticsTest, AUserWithoutRightsSeesResetDisabled) {
  PrinterSpec user;
  user.admin = false;
  CPrtOStatistics* page = openStatistics(makeIcon(33, user));
  ASSERT_NE(page, nullptr);
  EXPECT_FALSE(page->GetDlgItem(1017)->IsWindowEnabled());
  EXPECT_TRUE(page->GetDlgItem(1019)->IsWindowEnabled());
}

TEST_F(StatisticsTest, CapturedDataShowsTheIconsOwnCounters) {
  auto* icon = static_cast<NotebookIcon*>(makeIcon(34, {}));
  CPrtOStatistics* page = openStatistics(icon);
  ASSERT_NE(page, nullptr);
  icon->SetUseCapture(TRUE);
  icon->UpdateCPowerOnPages(5);
  icon->UpdateCTotalPages(7);
  icon->UpdateCUserPageCount(1);
  EXPECT_TRUE(page->UpdateData(FALSE));
  EXPECT_EQ(shown(page), (std::vector<std::string>{"45", "13", "123463"}));
  EXPECT_EQ(icon->GetPowerOnPages(), 40u);  // the cache is left alone
}

// Records each virtual the resource page's message map reaches.
class RecordingResourcePage : public CPrtOResourceMgmt {
 public:
  explicit RecordingResourcePage(std::vector<std::string>* log) : CPrtOResourceMgmt(nullptr), log_(log) {}
  void UpdateCustomData() override { log_->push_back("UpdateCustomData"); }
  void ExchangeResourceInfo(CDataExchange* dx) override {
    log_->push_back(dx->m_bSaveAndValidate ? "ExchangeResourceInfo save" : "ExchangeResourceInfo show");
  }
  void OnResRefresh() override { log_->push_back("OnResRefresh"); }
  void OnResCopy() override { log_->push_back("OnResCopy"); }
  void OnResMove() override { log_->push_back("OnResMove"); }
  void OnResDelete() override { log_->push_back("OnResDelete"); }
  void OnResFormat() override { log_->push_back("OnResFormat"); }
  void OnDownloadFont() override { log_->push_back("OnDownloadFont"); }
  void OnDownloadDemo() override { log_->push_back("OnDownloadDemo"); }
  void OnDownloadOverlay() override { log_->push_back("OnDownloadOverlay"); }
  void OnLVNGetDispInfo(NMHDR* h, LRESULT*) override { note("OnLVNGetDispInfo", h); }
  void OnLVNColumnClick(NMHDR* h, LRESULT*) override { note("OnLVNColumnClick", h); }
  void OnLVNInsertItem(NMHDR* h, LRESULT*) override { note("OnLVNInsertItem", h); }

 private:
  void note(const char* what, NMHDR* h) {
    log_->push_back(std::string(what) + " " + std::to_string(h->idFrom));
  }
  std::vector<std::string>* log_;
};

class ResourceBaseTest : public PrinterFixture {
 protected:
  // Shows `page` in a sheet of its own, then sends each command and notification.
  std::vector<std::string> drive(CPrtOResourceMgmt* page) {
    CPropertySheet sheet("Resources");
    sheet.AddPage(page);
    EXPECT_TRUE(sheet.Create());
    EXPECT_NE(page->GetSafeHwnd(), 0u);
    for (int id : {1045, 1046, 1047, 1048, 1049, 1056, 1057, 1058}) {
      CWnd* button = page->GetDlgItem(id);
      EXPECT_NE(button, nullptr) << id;
      page->SendMessage(WM_COMMAND, MAKELONG(id, BN_CLICKED), button ? button->GetSafeHwnd() : 0);
    }
    for (UINT code : {LVN_GETDISPINFO, LVN_COLUMNCLICK, LVN_INSERTITEM}) {
      NMHDR header;
      header.hwndFrom = 0;  // the family's page makes the list
      header.idFrom = 1039;
      header.code = code;
      page->SendMessage(WM_NOTIFY, 1039, reinterpret_cast<LPARAM>(&header));
    }
    page->UpdateData(TRUE);
    sheet.DestroyWindow();
    return log_;
  }
  std::vector<std::string> log_;
};

TEST_F(ResourceBaseTest, EachCommandAndNotificationReachesItsVirtual) {
  RecordingResourcePage page(&log_);
  EXPECT_EQ(drive(&page),
            (std::vector<std::string>{
                "UpdateCustomData", "ExchangeResourceInfo show", "OnResCopy", "OnResMove", "OnResDelete",
                "OnResFormat", "OnResRefresh", "OnDownloadFont", "OnDownloadDemo", "OnDownloadOverlay",
                "OnLVNGetDispInfo 1039", "OnLVNColumnClick 1039", "OnLVNInsertItem 1039", "UpdateCustomData",
                "ExchangeResourceInfo save"}));
}

TEST_F(ResourceBaseTest, TheBaseAloneDoesNothing) {
  CPrtOResourceMgmt page(nullptr);
  EXPECT_TRUE(drive(&page).empty());
  EXPECT_NE(page.GetHelpIDs()[0], 0u);
}

}  // namespace
}  // namespace wf::testing
