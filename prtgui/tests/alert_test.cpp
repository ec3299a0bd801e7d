// Alerts on the printer icon: arming the broker's captures, the broker's
// printer events, device-status decoding into stored messages, and what
// stored messages do to the notebook, its frame, sounds and help.
#include <gtest/gtest.h>

#include <ctime>
#include <mutex>
#include <tuple>

#include "alert_service.h"
#include "common/alert_dlg_list.h"
#include "common/notebook_messages.h"
#include "eventually.h"
#include "framework/scripted_shell.h"
#include "gui_pump.h"
#include "platform/clock.h"
#include "platform/message_queue.h"
#include "test_fixture.h"

namespace wf::testing {
namespace {

constexpr DWORD kAlertFamily = 7;
constexpr USHORT kHandle = 11;

using Alert = WFPrtObj::WFPALERTDATA;

// The icon's protected operations, and the refresh calls of configuration
// changes, recorded.
class AlertIcon : public CWFPrinterIcon {
 public:
  using CWFPrinterIcon::BuildAlertString;
  using CWFPrinterIcon::CompleteAlert;
  using CWFPrinterIcon::CWFPrinterIcon;
  using CWFPrinterIcon::ProcessBCEGeneralMsg;
  using CWFPrinterIcon::ProcessDeviceStatusAlert;
  using CWFPrinterIcon::ProcessSupplyAlerts;
  using CWFPrinterIcon::ProcessUIRAlerts;
  static CWFPrinterIcon* create(WFPrtObj* object, void* record) { return new AlertIcon(object, record); }
  int BelongsToFamily(ULONG key) override { return key == kAlertFamily; }

  std::vector<std::string> refreshes;
  void UpdateStorageOptions() override { refreshes.emplace_back("UpdateStorageOptions"); }
  void UpdateDeviceChars() override { refreshes.emplace_back("UpdateDeviceChars"); }
  int GetInputLevels() override {
    refreshes.emplace_back("GetInputLevels");
    return FALSE;
  }
  void PrinterReEnum(void* record) override {
    refreshes.emplace_back("PrinterReEnum");
    CWFPrinterIcon::PrinterReEnum(record);
  }
  // Units of the printer-object borrowing free now (50 when nobody borrows).
  int freeBorrowUnits() {
    int units = 0;
    while (units < 60 && m_prtObjUse.Wait(0) != wf::kWaitTimeout) ++units;
    if (units) m_prtObjUse.Release(units);
    return units;
  }
  void setArmedMask(ULONG mask) { m_activeAlerts.mask = mask; }
};

// Records the messages that reach it; WM_CLOSE leaves it open.
class Recorder : public CWnd {
 public:
  using Entry = std::tuple<UINT, WPARAM, LPARAM>;
  std::vector<Entry> received() {
    std::lock_guard lock(m_);
    return received_;
  }
  std::vector<UINT> messages() {
    std::vector<UINT> out;
    for (const Entry& e : received()) out.push_back(std::get<0>(e));
    return out;
  }
  void clear() {
    std::lock_guard lock(m_);
    received_.clear();
  }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_CLOSE || message == WM_SETICON || message >= WM_USER) {
      std::lock_guard lock(m_);
      received_.emplace_back(message, wParam, lParam);
      return 0;
    }
    return CWnd::WindowProc(message, wParam, lParam);
  }

 private:
  std::mutex m_;
  std::vector<Entry> received_;
};

class AlertTest : public PrinterFixture {
 protected:
  void SetUp() override {
    PrinterFixture::SetUp();
    families_.RegisterDLL(nullptr, "Alerts", 0, &AlertIcon::create, &kAlertFamily, 1, nullptr);
    printer_ = addLocal(kHandle, "LPT1", kAlertFamily);
    list_.NewPrinterIcon(printer_, nullptr);
    icon_ = dynamic_cast<AlertIcon*>(icons().back());
    ASSERT_NE(icon_, nullptr);
    ASSERT_TRUE(frame_.CreateEx(0, "AlertFrame", "frame", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, 0));
    ASSERT_TRUE(notebook_.CreateEx(0, "AlertNotebook", "notebook", WS_CHILD, 0, 0, 100, 100, frame_.m_hWnd));
    wf::setNowForTest([this] { return now_; });
    app_.waveFiles = {{21, "jam.wav"}, {1, "cover.wav"}, {8, "allclear.wav"}, {6, "toner.wav"}};
    app_.windowList.normalWindowFound = TRUE;
  }
  void TearDown() override {
    wf::setNowForTest({});
    if (!icons().empty()) icon_->SetOpenDlgHandle(0);
    notebook_.DestroyWindow();
    frame_.DestroyWindow();
    PrinterFixture::TearDown();
  }
  void openNotebook() { icon_->SetOpenDlgHandle(notebook_.m_hWnd); }
  // Delivers what was posted to this thread's windows.
  void pump() {
    wf::fw::testing::pumpUntil([] {
      wf::Message m;
      while (wf::peekMessage(m, wf::PeekMode::Remove)) wf::dispatchMessage(m);
      return true;
    });
  }
  // (function, mask) of the broker's capture and release calls.
  static std::vector<std::pair<std::string, std::uint32_t>> armingCalls() {
    std::vector<std::pair<std::string, std::uint32_t>> out;
    for (const auto& call : fakebce::calls())
      if (call.function == "BceCaptureAlerts" || call.function == "BceReleaseAlerts")
        out.emplace_back(call.function, call.netMask);
    return out;
  }
  CWFAlert deviceStatus(long mask) {
    return CWFAlert(kHandle, printer_, 0, 1524, CWFAlert::NOT_PROCESSED, mask, 0, FALSE, FALSE, FALSE, FALSE);
  }
  CWFAlert event(ULONG type, long extra = 0) {
    return CWFAlert(kHandle, printer_, 0, type, CWFAlert::NOT_PROCESSED, extra, 0, FALSE, FALSE, FALSE,
                    FALSE);
  }
  // (specific alert, sub-type, state) of every stored message, newest first.
  std::vector<std::tuple<UINT, UINT, int>> stored() {
    std::vector<std::tuple<UINT, UINT, int>> out;
    CWFAlertMsgList& messages = icon_->GetAlertStorage().GetMessages();
    for (POSITION p = messages.GetHeadPosition(); p;) {
      const CWFAlert* a = static_cast<CWFAlertMsg*>(messages.GetNext(p))->GetAlert();
      out.emplace_back(a->GetSpecificAlert(), a->GetSubType(), a->GetActiveState());
    }
    return out;
  }
  std::vector<std::string> played() {
    std::vector<std::string> out;
    for (const auto& call : shell_.sound.calls()) out.push_back(call.file);
    return out;
  }

  wf::fw::ScriptedShell shell_;
  ScriptedPrtObj* printer_ = nullptr;
  AlertIcon* icon_ = nullptr;
  Recorder frame_;
  Recorder notebook_;
  std::time_t now_ = 1'800'000'000;
};

// ---- Arming ----

TEST_F(AlertTest, UsersArmOnceAndTheLastOneReleasesAndClosesTheNotebook) {
  openNotebook();
  icon_->IncrementUsageCount();
  icon_->IncrementUsageCount();
  EXPECT_EQ(runQueuedWork(),
            std::vector<std::string>{"[Quorra 1210 - LPT1] ArmAlerts() to activate initial"});
  // Default states monitor every class.
  EXPECT_EQ(armingCalls(), (std::vector<std::pair<std::string, std::uint32_t>>{{"BceCaptureAlerts", 0x1FF}}));
  EXPECT_EQ(icon_->GetActiveAlerts()->mask, 0x1FFu);

  icon_->DecrementUsageCount();
  EXPECT_TRUE(runQueuedWork().empty());
  EXPECT_TRUE(frame_.messages().empty());
  icon_->DecrementUsageCount();
  EXPECT_EQ(runQueuedWork(), std::vector<std::string>{"[Quorra 1210 - LPT1] ArmAlerts() to disarm all"});
  EXPECT_EQ(armingCalls().back(), std::make_pair(std::string("BceReleaseAlerts"), 0u));
  EXPECT_EQ(icon_->GetActiveAlerts()->mask, 0u);
  EXPECT_EQ(frame_.messages(), std::vector<UINT>{WM_CLOSE});
}

TEST_F(AlertTest, InitialMaskFollowsTheBaseStates) {
  for (int i = 0; i < CWFPrinterIcon::kBaseAlertCount; ++i) icon_->SetBaseAlertFlag(i, 0);
  ALERTS alerts{0xFFFFFFFF};
  icon_->SetInitialAlerts(&alerts);
  EXPECT_EQ(alerts.mask, 0x180u);
  // Only the paper-jam rows on: the jam class joins.
  icon_->SetBaseAlertFlag(5, 1);
  alerts.mask = 0;
  icon_->SetInitialAlerts(&alerts);
  EXPECT_EQ(alerts.mask, 0x184u);
}

TEST_F(AlertTest, FilteredAlertsKeepTheHighClassesAndStoreTheStates) {
  icon_->setArmedMask(0x10000 | 0x180 | 0x7F);
  CWFAlertDlgList list;
  ALERT_DLG_STRUCT supplies{"Supplies Problem", 24, 1};
  list.Add(&supplies);
  icon_->TurnOnFilteredAlerts(&list);
  runQueuedWork();
  EXPECT_EQ(armingCalls(),
            (std::vector<std::pair<std::string, std::uint32_t>>{{"BceCaptureAlerts", 0x10188}}));
  EXPECT_EQ(icon_->GetBaseAlertFlag(18), 1);  // row of id 24
  EXPECT_EQ(icon_->GetBaseAlertFlag(0), 0);
}

TEST_F(AlertTest, PanelClassSwitchesOnceAndARefusedCaptureKeepsTheMask) {
  icon_->ActivatePanelAlerts(TRUE);
  runQueuedWork();
  EXPECT_TRUE(icon_->GetPanelAlertsActive());
  icon_->ActivatePanelAlerts(TRUE);
  EXPECT_TRUE(runQueuedWork().empty());

  fakebce::setCaptureResult(-5);
  icon_->ActivatePanelAlerts(FALSE);
  runQueuedWork();
  EXPECT_TRUE(icon_->GetPanelAlertsActive());
  EXPECT_EQ(icon_->GetActiveAlerts()->mask, 0x10000u);
}

TEST_F(AlertTest, AChoiceForAPrinterWithoutBidiIsKeptButNotArmed) {
  printer_->caps.bidiActive = FALSE;
  CWFAlertDlgList list;
  ALERT_DLG_STRUCT supplies{"Supplies Problem", 24, 1}, jam{"Paper Jam", 6104, 0};
  list.Add(&supplies);
  list.Add(&jam);
  icon_->SetBaseAlertFlag(18, 0);
  icon_->SetBaseAlertFlag(5, 1);
  icon_->TurnOnFilteredAlerts(&list);
  EXPECT_TRUE(runQueuedWork().empty());
  EXPECT_TRUE(armingCalls().empty());
  EXPECT_EQ(icon_->GetBaseAlertFlag(18), 1);  // row of id 24
  EXPECT_EQ(icon_->GetBaseAlertFlag(5), 0);   // row of id 6104
}

TEST_F(AlertTest, APrinterWithoutBidiArmsNothingButClosesItsNotebook) {
  printer_->caps.bidiActive = FALSE;
  openNotebook();
  icon_->IncrementUsageCount();
  icon_->DecrementUsageCount();
  EXPECT_TRUE(runQueuedWork().empty());
  EXPECT_TRUE(armingCalls().empty());
  EXPECT_EQ(frame_.messages(), std::vector<UINT>{WM_CLOSE});
}

TEST_F(AlertTest, AReleaseAndAnArmQueuedTogetherEndInTheLaterOne) {
  icon_->IncrementUsageCount();
  icon_->DecrementUsageCount();
  icon_->IncrementUsageCount();
  // Both workers start together; the newer one runs first.
  std::unique_ptr<CWFThread> arm(app_.ThreadMgrQRemoveHead());
  std::unique_ptr<CWFThread> release(app_.ThreadMgrQRemoveHead());
  std::unique_ptr<CWFThread> rearm(app_.ThreadMgrQRemoveHead());
  ASSERT_TRUE(arm && release && rearm);
  rearm->m_pfnProc(rearm->m_pParam);
  release->m_pfnProc(release->m_pParam);
  arm->m_pfnProc(arm->m_pParam);
  EXPECT_EQ(armingCalls(), (std::vector<std::pair<std::string, std::uint32_t>>{{"BceCaptureAlerts", 0x1FF}}));
  EXPECT_EQ(icon_->GetActiveAlerts()->mask, 0x1FFu);
}

TEST_F(AlertTest, AlertTypeListJoinsStatesAndRecordsRemovals) {
  CWFAlertDlgList list;
  ALERT_DLG_STRUCT a{"Paper Jam", 6104, 1}, b{"Paper Jam", 6104, 2}, c{"Jam", 23, 0};
  list.Add(&a);
  list.Add(&b);
  list.Add(&c);
  EXPECT_EQ(list.GetCount(), 2);
  EXPECT_EQ(list.GetAlertState(6104), 3u);
  EXPECT_EQ(list.GetAlertState(99), 0u);
  list.UpdateState("Paper Jam", 0);
  list.UpdateState("Paper Jam", 0);
  list.UpdateState("paper jam", 1);  // names match exactly
  EXPECT_EQ(list.GetAlertState(6104), 0u);
  EXPECT_EQ(list.GetRemovedList().GetCount(), 2);
}

// ---- Broker events ----

TEST_F(AlertTest, DisconnectionStoresTheLostMessageAndClosesTheNotebook) {
  openNotebook();
  CWFAlert alert = event(100);
  EXPECT_EQ(icon_->ProcessAlert(&alert), 11u);
  EXPECT_FALSE(icon_->GetBidiActive());
  pump();
  EXPECT_EQ(frame_.messages(), std::vector<UINT>{WM_CLOSE});
  ASSERT_EQ(shell_.messageBox.calls().size(), 1u);
  EXPECT_NE(shell_.messageBox.calls()[0].text.find("Quorra 1210 - LPT1"), std::string::npos);
  ASSERT_EQ(stored(), (std::vector<std::tuple<UINT, UINT, int>>{{0, 0, CWFAlert::ACTIVE}}));
  EXPECT_EQ(icon_->GetAlertStorage().GetTopAlertMsg()->GetText(), "Printer connection lost");
  EXPECT_EQ(icon_->freeBorrowUnits(), 50);
}

TEST_F(AlertTest, ResyncAsksTheManagerAndClearsTheDisconnection) {
  CWFAlert lost = event(100);
  icon_->ProcessAlert(&lost);
  CWFAlert resync = event(101);
  EXPECT_EQ(icon_->ProcessAlert(&resync), 11u);
  EXPECT_TRUE(stored().empty());
  EXPECT_EQ(icon_->freeBorrowUnits(), 50);

  CWFAlert again = event(100);
  icon_->ProcessAlert(&again);
  app_.prtMgr = nullptr;
  CWFAlert orphan = event(101);
  EXPECT_EQ(icon_->ProcessAlert(&orphan), 0u);
  EXPECT_EQ(stored().size(), 1u);
  EXPECT_EQ(icon_->freeBorrowUnits(), 50);
}

TEST_F(AlertTest, RemovalAndChangeEvents) {
  struct Case {
    ULONG type;
    long extra;
    std::uint32_t connections;
    UINT result;
    bool reEnum;
  };
  const Case cases[] = {
      {102, 0xFFF, BCE_NET_LOCAL, 16, false},
      {102, 1, BCE_NET_LOCAL, 11, true},
      {102, 1, 0, 16, false},
      {200, 0, BCE_NET_LOCAL, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    fakebce::setPrtInfoFor(kHandle, prtInfo(kHandle, "LPT1", c.connections));
    icon_->refreshes.clear();
    const auto before = printer_->calls().size();
    CWFAlert alert = event(c.type, c.extra);
    EXPECT_EQ(icon_->ProcessAlert(&alert), c.result);
    EXPECT_EQ(!icon_->refreshes.empty(), c.reEnum);
    const auto calls = printer_->calls();
    EXPECT_EQ(std::count(calls.begin() + before, calls.end(), "bidiInitialize"), c.reEnum ? 1 : 0);
    EXPECT_EQ(icon_->freeBorrowUnits(), 50);
  }
  runQueuedWork();
}

// ---- Device status ----

TEST_F(AlertTest, ClassesThatLeftTheMaskAreClearedBySweep) {
  printer_->alertLists["bidiQueryPaperJams"] = {{6104, 0}};
  CWFAlert jam = deviceStatus(0x4);
  EXPECT_EQ(icon_->ProcessAlert(&jam), 9u);
  EXPECT_EQ(stored(), (std::vector<std::tuple<UINT, UINT, int>>{{6104, 3, CWFAlert::ACTIVE}}));

  const auto before = printer_->calls().size();
  CWFAlert clear = deviceStatus(0);
  EXPECT_EQ(icon_->ProcessAlert(&clear), 9u);
  EXPECT_TRUE(stored().empty());
  const auto calls = printer_->calls();
  EXPECT_EQ(std::count(calls.begin() + before, calls.end(), "bidiQueryPaperJams"), 0);

  // Mask 0 after 0: every message swept.
  CWFAlert offline = deviceStatus(0x100);
  icon_->ProcessAlert(&offline);
  CWFAlert zero = deviceStatus(0);
  icon_->ProcessAlert(&zero);
  CWFAlert other = event(1530);
  other.SetSpecificAlert(77);
  icon_->CompleteAlert(&other, CWFAlert::ACTIVE, 0, ALERT_SUBTYPE_NONE, CString("x"), 0, CFilename(), 0, 0,
                       0);
  ASSERT_EQ(stored().size(), 1u);
  CWFAlert zeroAgain = deviceStatus(0);
  EXPECT_EQ(icon_->ProcessAlert(&zeroAgain), 9u);
  EXPECT_TRUE(stored().empty());
}

TEST_F(AlertTest, DecodersCompleteTheirRowsAndTheRemainder) {
  struct Case {
    const char* query;
    long mask;
    std::vector<Alert> list;
    std::vector<UINT> specifics;  // newest first
    UINT result;
  };
  const Case cases[] = {
      {"bidiQueryOperatorIV", 0x10, {{6102, 0}, {7000, 0}}, {20, 6102}, 9},
      {"bidiQueryInputStatus", 0x1, {{6209, 0}}, {}, 0},
      {"bidiQuerySupplies", 0x8, {{6223, 6120}}, {24}, 9},
      {"bidiQuerySupplies", 0x8, {{6223, 6116}}, {17}, 9},
      {"bidiQueryWarnings", 0x20, {{6223, 6120}, {9999, 0}}, {}, 0},
      {"bidiQueryPaperJams", 0x4, {}, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.query) + " " + std::to_string(c.list.size()));
    printer_->alertLists.clear();
    printer_->alertLists[c.query] = c.list;
    CWFAlert alert = deviceStatus(c.mask);
    EXPECT_EQ(icon_->ProcessAlert(&alert), c.result);
    std::vector<UINT> specifics;
    for (const auto& [specific, subType, state] : stored()) specifics.push_back(specific);
    EXPECT_EQ(specifics, c.specifics);
    CWFAlert clear = deviceStatus(0);
    icon_->ProcessAlert(&clear);
    now_ += 10;
  }
}

TEST_F(AlertTest, EveryDecoderRowStoresItsTextHelpSoundAndFlags) {
  app_.soundEnabled = FALSE;  // the files are only stored here
  app_.waveFiles.clear();
  for (int e = 0; e <= 23; ++e) app_.waveFiles[e] = "event" + std::to_string(e) + ".wav";
  struct Row {
    UINT subType;
    Alert element;  // {0, 0}: an unknown id, for the remainder
    UINT specific;
    const char* text;
    int sound;
    UINT help;
    BOOL cont, reset, hard;
  };
  const Row rows[] = {
      {1, {6113, 0}, 6113, "Paper Out", 2, 3509, 1, 1, 1},
      {1, {6117, 0}, 6117, "Input Tray Empty", 15, 3509, 0, 0, 1},
      {1, {1, 0}, 21, "Input Problem", 5, 3504, 0, 0, 1},
      {2, {6114, 0}, 6114, "Output Bin Full", 4, 3515, 1, 0, 1},
      {2, {1, 0}, 22, "Printer Needs Attention", 5, 3504, 0, 0, 1},
      {3, {6104, 0}, 6104, "Paper Jam", 21, 3510, 1, 0, 1},
      {3, {6105, 0}, 6105, "Paper Jam in Input Area", 0, 3512, 1, 0, 1},
      {3, {6106, 0}, 6106, "Paper Jam in Duplex Unit", 22, 3511, 1, 0, 1},
      {3, {6107, 0}, 6107, "Paper Jam in Output Area", 23, 3513, 1, 0, 1},
      {3, {6108, 0}, 6108, "Paper Jam in Envelope Feeder", 0, 3510, 1, 0, 1},
      {3, {1, 0}, 23, "Paper Jam (Other)", 0, 3504, 0, 0, 1},
      {4, {6223, 6116}, 17, "Toner Low", 6, 3514, 1, 0, 0},
      {4, {1, 0}, 24, "Supplies Problem", 5, 3504, 0, 0, 1},
      {5, {6102, 0}, 6102, "Cover Open", 1, 3505, 0, 0, 1},
      {5, {6103, 0}, 6103, "Door Open", 3, 3506, 0, 0, 1},
      {5, {6118, 0}, 6118, "Operator Intervention Required", 5, 3504, 0, 0, 1},
      {5, {1, 0}, 20, "Printer Needs Attention", 5, 3504, 0, 0, 1},
      {6, {6135, 0}, 6135, "Printer Warning", 5, 3504, 1, 0, 0},
      {6, {6226, 0}, 6226, "Printer Warning", 5, 3504, 1, 0, 0},
      {6, {6223, 6116}, 17, "Toner Low", 6, 3514, 1, 0, 0},
      {8, {6115, 0}, 6115, "Service Requested", 7, 3504, 0, 0, 1},
      {8, {1, 0}, 25, "Service Problem", 5, 3504, 0, 0, 1},
  };
  const char* queries[] = {"",
                           "bidiQueryInputStatus",
                           "bidiQueryOutputStatus",
                           "bidiQueryPaperJams",
                           "bidiQuerySupplies",
                           "bidiQueryOperatorIV",
                           "bidiQueryWarnings",
                           "",
                           "bidiQueryServiceReq"};
  const long masks[] = {0, 0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x80, 0x40};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.specific);
    printer_->alertLists.clear();
    printer_->alertLists[queries[row.subType]] = {row.element};
    CWFAlert alert = deviceStatus(masks[row.subType]);
    EXPECT_EQ(icon_->ProcessAlert(&alert), 9u);
    CWFAlertMsg* message = icon_->GetAlertStorage().GetTopAlertMsg();
    ASSERT_NE(message, nullptr);
    const CWFAlert* a = message->GetAlert();
    EXPECT_EQ(a->GetSpecificAlert(), row.specific);
    EXPECT_EQ(a->GetSubType(), row.subType);
    EXPECT_EQ(message->GetText(), row.text);
    EXPECT_EQ(message->GetFile().GetPath(), ("event" + std::to_string(row.sound) + ".wav").c_str());
    EXPECT_EQ(message->GetBitmapID(), row.help);
    EXPECT_EQ(std::make_tuple(a->GetEnableContinue(), a->GetEnableReset(), a->GetHardError()),
              std::make_tuple(row.cont, row.reset, row.hard));
    CWFAlert clear = deviceStatus(0);
    icon_->ProcessAlert(&clear);
  }
}

TEST_F(AlertTest, ConfigurationChangesRefreshCachedDataAndLeave) {
  openNotebook();
  printer_->alertLists["bidiQueryConfigChg"] = {{6191, 0}, {6194, 0}, {6200, 0}, {6202, 0}, {6203, 0}};
  CWFAlert alert = deviceStatus(0x80);
  EXPECT_EQ(icon_->ProcessAlert(&alert), 9u);
  EXPECT_EQ(icon_->refreshes,
            (std::vector<std::string>{"UpdateStorageOptions", "UpdateDeviceChars", "GetInputLevels"}));
  // 6191 came with view flags 0 and stays; the others went to the notebook.
  EXPECT_EQ(stored(), (std::vector<std::tuple<UINT, UINT, int>>{{6191, 7, CWFAlert::ACTIVE}}));
  pump();
  EXPECT_EQ(notebook_.messages(), (std::vector<UINT>{WM_WF_UPDATEPAGE, WM_WF_UPDATEPAGE, WM_WF_UPDATEPAGE}));
  EXPECT_TRUE(played().empty());
}

TEST_F(AlertTest, InitialAlertsRunTheClassesInStatusOrder) {
  printer_->deviceStatus = 0x2 | 0x10 | 0x400;
  printer_->alertLists["bidiQueryPaperJams"] = {{6104, 0}};
  printer_->alertLists["bidiQueryOperatorIV"] = {{6102, 0}};
  EXPECT_EQ(icon_->GetInitialAlerts(), 9u);
  EXPECT_EQ(icon_->GetDSAClassFlags(), 0x114u);
  std::vector<UINT> specifics;
  for (const auto& [specific, subType, state] : stored()) specifics.push_back(specific);
  EXPECT_EQ(specifics, (std::vector<UINT>{6102, 6104, 6001}));
  EXPECT_EQ(icon_->freeBorrowUnits(), 50);
}

TEST_F(AlertTest, ARefusedListQueryStoresNothing) {
  printer_->alertLists["bidiQueryPaperJams"] = {{6104, 0}};
  printer_->alertListRc = -3;
  CWFAlert alert = deviceStatus(0x4);
  EXPECT_EQ(icon_->ProcessAlert(&alert), 0u);
  EXPECT_TRUE(stored().empty());
}

// ---- Presentation ----

TEST_F(AlertTest, ASwitchedOffTypeIsDroppedSilently) {
  openNotebook();
  icon_->SetBaseAlertFlag(5, 0);  // 6104
  printer_->alertLists["bidiQueryPaperJams"] = {{6104, 0}};
  CWFAlert alert = deviceStatus(0x4);
  icon_->ProcessAlert(&alert);
  EXPECT_TRUE(stored().empty());
  pump();
  EXPECT_TRUE(notebook_.messages().empty());
  EXPECT_TRUE(played().empty());
}

TEST_F(AlertTest, AHardErrorFlashesTheFrameAndItsClearingRestoresIt) {
  openNotebook();
  app_.flashIcon = TRUE;
  printer_->alertLists["bidiQueryPaperJams"] = {{6104, 0}};
  CWFAlert jam = deviceStatus(0x4);
  icon_->ProcessAlert(&jam);
  EXPECT_TRUE(app_.flashTimerRunning());
  EXPECT_EQ(played(), std::vector<std::string>{"jam.wav"});
  EXPECT_EQ(icon_->GetPlayedSounds(), std::vector<std::string>{"jam.wav"});
  pump();
  auto sets = [&] {
    std::vector<std::pair<WPARAM, LPARAM>> out;
    for (const auto& [m, w, l] : frame_.received())
      if (m == WM_SETICON) out.emplace_back(w, l);
    return out;
  };
  ASSERT_EQ(sets().size(), 2u);
  const auto errorIcons = sets();
  frame_.clear();

  now_ += 10;
  CWFAlert clear = deviceStatus(0);
  icon_->ProcessAlert(&clear);
  EXPECT_FALSE(app_.flashTimerRunning());
  EXPECT_EQ(played(), (std::vector<std::string>{"jam.wav", "allclear.wav"}));
  EXPECT_TRUE(icon_->GetPlayedSounds().empty());
  pump();
  ASSERT_EQ(sets().size(), 2u);
  EXPECT_EQ(sets()[0].first, ICON_SMALL);
  EXPECT_EQ(sets()[1].first, ICON_BIG);
  EXPECT_NE(sets()[0].second, errorIcons[0].second);
  for (const auto& call : shell_.sound.calls()) EXPECT_EQ(call.flags, 0x22001u);
}

TEST_F(AlertTest, SoundsAreSpacedThreeSecondsWithoutSleeping) {
  printer_->alertLists["bidiQueryPaperJams"] = {{6104, 0}, {6105, 0}};
  app_.waveFiles[0] = "jam.wav";  // 6105 plays the same file
  CWFAlert jam = deviceStatus(0x4);
  icon_->ProcessAlert(&jam);
  EXPECT_EQ(played(), std::vector<std::string>{"jam.wav"});
  EXPECT_TRUE(runQueuedWork().empty());

  printer_->alertLists["bidiQueryOperatorIV"] = {{6102, 0}};
  CWFAlert cover = deviceStatus(0x14);
  icon_->ProcessAlert(&cover);
  // Due 3 s after the first: handed to a worker, not played here.
  EXPECT_EQ(played(), std::vector<std::string>{"jam.wav"});
  wf::setTimeScaleForTest(0.001);
  EXPECT_EQ(runQueuedWork(), std::vector<std::string>{"[Quorra 1210 - LPT1] PlaySound() in 3000 ms"});
  wf::setTimeScaleForTest(1.0);
  EXPECT_EQ(played(), (std::vector<std::string>{"jam.wav", "cover.wav"}));
  EXPECT_EQ(icon_->GetPlayedSounds(), (std::vector<std::string>{"jam.wav", "cover.wav"}));
}

TEST_F(AlertTest, NoSoundWhenDisabledOrOnlyMinimisedAndFocusOnAlertRaises) {
  app_.windowList.normalWindowFound = FALSE;
  app_.focusOnAlert = TRUE;
  openNotebook();
  printer_->alertLists["bidiQueryPaperJams"] = {{6104, 0}};
  CWFAlert jam = deviceStatus(0x4);
  icon_->ProcessAlert(&jam);
  EXPECT_TRUE(played().empty());
  const auto calls = app_.windowList.calls();
  EXPECT_NE(std::find(calls.begin(), calls.end(), "RestoreOnError 11"), calls.end());
}

TEST_F(AlertTest, ClearRemovedAlertsCompletesTheSwitchedOffTypes) {
  printer_->alertLists["bidiQueryPaperJams"] = {{6104, 0}};
  printer_->alertLists["bidiQueryOperatorIV"] = {{6102, 0}};
  CWFAlert alert = deviceStatus(0x14);
  icon_->ProcessAlert(&alert);
  CWFAlertDlgList list;
  ALERT_DLG_STRUCT jam{"Paper Jam", 6104, 1};
  list.Add(&jam);
  list.UpdateState("Paper Jam", 0);
  icon_->ClearRemovedAlerts(&list);
  EXPECT_EQ(stored(), (std::vector<std::tuple<UINT, UINT, int>>{{6102, 5, CWFAlert::ACTIVE}}));
  EXPECT_EQ(list.GetRemovedList().GetCount(), 0);
}

TEST_F(AlertTest, HelpFollowsTheCurrentError) {
  icon_->ShowHelpforError();
  EXPECT_TRUE(app_.helpCalls().empty());  // nothing stored
  const std::pair<std::vector<Alert>, std::uintptr_t> cases[] = {
      {{{6102, 0}}, 2210}, {{{7000, 0}}, 2231}, {{{6118, 0}}, 1918}};
  for (const auto& [list, context] : cases) {
    printer_->alertLists["bidiQueryOperatorIV"] = list;
    CWFAlert alert = deviceStatus(0x10);
    icon_->ProcessAlert(&alert);
    icon_->ShowHelpforError();
    ASSERT_FALSE(app_.helpCalls().empty());
    EXPECT_EQ(app_.helpCalls().back(), std::make_pair(UINT{HELP_CONTEXT}, context));
  }
  // A supplies remainder on top.
  printer_->alertLists.clear();
  printer_->alertLists["bidiQuerySupplies"] = {{1, 0}};
  CWFAlert supplies = deviceStatus(0x8);
  icon_->ProcessAlert(&supplies);
  icon_->ShowHelpforError();
  EXPECT_EQ(app_.helpCalls().back(), std::make_pair(UINT{HELP_CONTEXT}, std::uintptr_t{2231}));
}

TEST_F(AlertTest, PanelAlertsReachTheNotebookAndLeaveTheList) {
  CWFAlert panel(kHandle, printer_, 42, 1527, CWFAlert::NOT_PROCESSED, 0, 0, FALSE, FALSE, FALSE, FALSE);
  EXPECT_EQ(icon_->ProcessAlert(&panel), 4u);
  EXPECT_EQ(icon_->GetPanelAlerts().GetCount(), 0);
  openNotebook();
  EXPECT_EQ(icon_->ProcessAlert(&panel), 4u);
  EXPECT_EQ(icon_->GetPanelAlerts().GetCount(), 0);
  pump();
  EXPECT_EQ(notebook_.messages(), std::vector<UINT>{WM_WF_OPPANEL});
  const auto calls = printer_->calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "bidiROPQueryAlert 42"), 2);
  // Without bidi nothing is asked.
  printer_->caps.bidiActive = FALSE;
  EXPECT_EQ(icon_->ProcessAlert(&panel), 0u);
}

TEST_F(AlertTest, AnEmptyStorageShowsNothing) {
  EXPECT_FALSE(icon_->UpdateViews(9));
  EXPECT_FALSE(icon_->UpdateViews(4));
  EXPECT_EQ(icon_->FilterAlerts(nullptr), CWFPrinterIcon::ALERT_FAMILY);
}

TEST_F(AlertTest, AlertStringsJoinTheirParts) {
  EXPECT_EQ(icon_->BuildAlertString(CString("a"), CString(), CString("c")), "a - c");
  EXPECT_EQ(icon_->BuildAlertString(464, 0, 0), "Paper Jam");
  EXPECT_EQ(icon_->BuildAlertString(464, 10, 0), "Paper Jam - Cover Open");
}

// ---- Through the alert service ----

TEST_F(AlertTest, BrokerMessagesReachTheIconThroughTheAlertService) {
  AlertServiceDouble service;
  app_.alertService = &service;
  printer_->alertLists["bidiQueryPaperJams"] = {{6104, 0}};
  const HWND window = service.GetNotificationWindow();
  ASSERT_NE(window, 0u);
  // Device status 0x4 for handle 11 under broker key 7.
  wf::postMessage(window, 1524, (7u << 16) | kHandle, 0x4);
  ASSERT_TRUE(eventually([&] { return service.results().size() == 1; }));
  EXPECT_EQ(service.results()[0], "1524 9");
  const auto views = app_.windowList.calls();
  EXPECT_NE(std::find(views.begin(), views.end(), "UpdatePrinterViews 11 0"), views.end());
  EXPECT_EQ(stored(), (std::vector<std::tuple<UINT, UINT, int>>{{6104, 3, CWFAlert::ACTIVE}}));

  // A handle no icon has; then the broker deleting the printer.
  wf::postMessage(window, 1524, 99, 0x4);
  wf::postMessage(window, 102, kHandle, 0xFFF);
  ASSERT_TRUE(eventually([&] { return service.results().size() == 3; }));
  EXPECT_EQ(service.results()[1], "1524 0");
  EXPECT_EQ(service.results()[2], "102 16");
  EXPECT_TRUE(icons().empty());
  app_.alertService = nullptr;
}

}  // namespace
}  // namespace wf::testing
