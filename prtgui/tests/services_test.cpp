// Icon services: broker result checks, refresh after re-enumeration and
// the test page worker.
#include <filesystem>
#include <fstream>

#include "broker/corbce.h"
#include "eventually.h"
#include "framework/scripted_shell.h"
#include "platform/message_queue.h"
#include "platform/window_messages.h"
#include "test_dirs.h"
#include "test_fixture.h"

namespace wf::testing {
namespace {

constexpr UINT WM_WF_TESTPAGEDONE = 0x479;

class ServicesTest : public PrinterFixture {
 protected:
  void SetUp() override {
    PrinterFixture::SetUp();
    programDir_ = testDataRoot() / "program";
    std::filesystem::create_directories(programDir_);
    app_.setProgramDirectory(programDir_.string());
    window_ = wf::createWindow("TestPageNotify", [this](HWND, std::uint32_t message, WPARAM w, LPARAM l) {
      if (message == WM_WF_TESTPAGEDONE) done_.emplace_back(w, l);
      return LRESULT{0};
    });
    notify_.m_hWnd = window_;
  }
  void TearDown() override {
    notify_.m_hWnd = 0;
    wf::destroyWindow(window_);
    PrinterFixture::TearDown();
  }
  CWFPrinterIcon* listed(std::uint16_t handle, const char* port = "LPT1") {
    list_.NewPrinterIcon(addLocal(handle, port), nullptr);
    return icons().back();
  }

  std::filesystem::path programDir_;
  HWND window_ = 0;
  CWnd notify_;
  std::vector<std::pair<WPARAM, LPARAM>> done_;
};

TEST_F(ServicesTest, TheTestPageSendsTheFirst4096BytesAndAFormFeed) {
  std::ofstream(programDir_ / "verify.txt") << std::string(5000, 'x');
  app_.appId = 3;
  CWFPrinterIcon* icon = listed(11);
  EXPECT_TRUE(icon->PrintTestPage(&notify_));
  EXPECT_EQ(runQueuedWork(),
            std::vector<std::string>{"[Quorra 1210 - LPT1] Print() from CWFPrinterIcon::PrintTestPage()"});
  const auto writes = fakebce::callsOf("BceWrite");
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].request, std::string(4096, 'x') + "\f");
  EXPECT_EQ(writes[0].appId, 3u);
  EXPECT_EQ(writes[0].handle, 11u);
  EXPECT_EQ(fakebce::callsOf("BceStartDoc").size(), 1u);
  EXPECT_EQ(fakebce::callsOf("BceEndDoc").size(), 1u);
  ASSERT_EQ(done_.size(), 1u);
  EXPECT_EQ(done_[0].first, 1u);
  EXPECT_EQ(done_[0].second, reinterpret_cast<LPARAM>(icon));
}

TEST_F(ServicesTest, TestPageFailuresReportZero) {
  CWFPrinterIcon* icon = listed(11);
  struct Case {
    bool file;
    std::int32_t startDoc, write;
    size_t writes, endDocs;
  } cases[] = {{false, 0, 0, 0, 0}, {true, 1, 0, 0, 0}, {true, 0, -8, 1, 1}};
  for (const Case& c : cases) {
    fakebce::reset();
    fakebce::setPrtInfoFor(11, prtInfo(11, "LPT1"));
    std::filesystem::remove(programDir_ / "VERIFY.TXT");
    if (c.file) std::ofstream(programDir_ / "VERIFY.TXT") << "short page";
    fakebce::setDocResults(c.startDoc, c.write);
    done_.clear();
    icon->PrintTestPage(&notify_);
    runQueuedWork();
    EXPECT_EQ(fakebce::callsOf("BceWrite").size(), c.writes);
    EXPECT_EQ(fakebce::callsOf("BceEndDoc").size(), c.endDocs);
    ASSERT_EQ(done_.size(), 1u);
    EXPECT_EQ(done_[0].first, 0u);
  }
}

TEST_F(ServicesTest, NoTestPageWithoutAConnectionOrWithoutTheIcon) {
  std::ofstream(programDir_ / "VERIFY.TXT") << "page";
  auto object = localPrinter(11, "LPT1");
  fakebce::setPrtInfoFor(11, prtInfo(11, "LPT1", BCE_NET_IP));  // no connection code
  list_.NewPrinterIcon(add(std::move(object)), nullptr);
  EXPECT_FALSE(icons().at(0)->PrintTestPage(&notify_));
  EXPECT_TRUE(app_.ThreadMgrQIsEmpty());

  CWFPrinterIcon* gone = listed(12, "LPT2");
  gone->PrintTestPage(&notify_);
  list_.DeletePrinterIcon(gone);
  runQueuedWork();
  EXPECT_TRUE(done_.empty());
  EXPECT_TRUE(fakebce::callsOf("BceStartDoc").empty());
}

TEST_F(ServicesTest, ResultChecksReactOnlyToALostLink) {
  wf::fw::ScriptedShell shell;
  ScriptedPrtObj* object = addLocal(11, "LPT1");
  list_.NewPrinterIcon(object, nullptr);
  CWFPrinterIcon* icon = icons().at(0);
  icon->SetStatus("Printing");
  const size_t callsBefore = app_.windowList.calls().size();
  EXPECT_TRUE(icon->BCEReturnCheck(0));
  EXPECT_FALSE(icon->BCEReturnCheck(-2));  // bidi still on: nothing changes
  EXPECT_EQ(icon->GetStatus(), "Printing");
  EXPECT_EQ(app_.windowList.calls().size(), callsBefore);

  object->caps.bidiActive = FALSE;
  EXPECT_FALSE(icon->BCEReturnCheck(BCE_ERR_NOT_CAPABLE));
  EXPECT_EQ(icon->GetStatus(), "Status not available");
  EXPECT_EQ(app_.windowList.calls().back(), "UpdatePrinterViews 11 0");
  EXPECT_TRUE(shell.messageBox.calls().empty());  // nobody armed its alerts

  icon->IncrementUsageCount();
  icon->BCEReturnCheck(BCE_ERR_NOT_CAPABLE);
  // A notice off the GUI thread is shown elsewhere while this one goes on.
  wf::testing::eventually([&] { return !shell.messageBox.calls().empty(); });
  const auto boxes = shell.messageBox.calls();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Quorra 1210 - LPT1");
  EXPECT_NE(boxes[0].text.find("for  Quorra 1210 - LPT1 was lost"), std::string::npos);
  EXPECT_EQ(boxes[0].style & MB_ICONSTOP, MB_ICONSTOP);
}

TEST_F(ServicesTest, ReEnumerationRestoresTheRecordAndQueuesTheModel) {
  ScriptedPrtObj* object = addLocal(11, "LPT1");
  list_.NewPrinterIcon(object, nullptr);
  CWFPrinterIcon* icon = icons().at(0);
  ENUMBINARYDATA record{};
  std::strcpy(record.name, "Restored");
  record.storedAlerts = 0x1FFFFF;
  fakebce::setPrtInfoFor(11, prtInfo(11, "LPT1", BCE_NET_LOCAL | 0x8000));
  icon->PrinterReEnum(&record);
  EXPECT_EQ(icon->GetName(), "Restored");
  EXPECT_EQ(icon->GetBaseAlertFlag(0), 0);
  EXPECT_EQ(icon->GetStatus(), "Ready");
  EXPECT_TRUE(icon->IsUserAdmin());  // the connection word was read again
  EXPECT_EQ(runQueuedWork(),
            std::vector<std::string>{
                "[Restored - LPT1] RefreshPrinterModel() from CWFPrinterIcon::PrinterReEnum()"});
  EXPECT_EQ(icon->GetModel(), "Corvane  Laser Printer");
}

TEST_F(ServicesTest, AlertQueriesAndTheHistorySnapshot) {
  CWFPrinterIcon* icon = listed(11);
  EXPECT_FALSE(icon->EnableContinueAndReset(TRUE));
  CWFAlert jam(11, nullptr, 1, 101, CWFAlert::ACTIVE, 0, 6110, TRUE, FALSE, TRUE, FALSE);
  jam.SetSubType(ALERT_SUBTYPE_PAPERJAM);
  icon->GetAlertStorage().LogEvent(&jam, "Paper jam", CFilename(), 7);
  EXPECT_TRUE(icon->GetAnyHardErrors());
  EXPECT_EQ(icon->Get1stHardErrorStr(), "Paper jam");
  EXPECT_EQ(icon->Get1stActiveAlertBMP(), 7u);
  EXPECT_TRUE(icon->EnableContinueAndReset(TRUE));
  EXPECT_FALSE(icon->EnableContinueAndReset(FALSE));
  EXPECT_NE(icon->IsAlertActive(6110), nullptr);

  CWFAlertHistoryEntry* first = icon->GetNextAlertHistory(FALSE);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->GetDescription(), "Paper jam");
  EXPECT_EQ(icon->GetNextAlertHistory(TRUE), nullptr);
}

TEST_F(ServicesTest, APanelMessageHandsItsDataToItsPrintersIcon) {
  listed(11);
  const CWFAlert alert(11, nullptr, 1, 1531, CWFAlert::ACTIVE, 0, 0, FALSE, FALSE, FALSE, FALSE);
  {
    // Freed by the icon; a leak would fail the sanitized run.
    CWFPanelAlertMsg message(&alert, new WFPrtObj::OPPANELDATA);
  }
  int untouched = 7;
  const CWFAlert gone(12, nullptr, 1, 1531, CWFAlert::ACTIVE, 0, 0, FALSE, FALSE, FALSE, FALSE);
  { CWFPanelAlertMsg message(&gone, &untouched); }
  EXPECT_EQ(untouched, 7);
  // An icon going with queued panel alerts frees their data itself.
  icons().at(0)->GetPanelAlerts().Add(&alert, new WFPrtObj::OPPANELDATA);
  list_.DeleteAllPrinters();
}

}  // namespace
}  // namespace wf::testing
