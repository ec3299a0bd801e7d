// The Keystone icon: registration, the stored record and the six family
// alerts (decoded, listed, armed, filtered and helped).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/alert_dlg_list.h"
#include "framework/scripted_shell.h"
#include "ky_test_fixture.h"
#include "platform/clock.h"
#include "platform/message_queue.h"
#include "prtobj/prtobj_util.h"

namespace wf::testing {
namespace {

using Alert = WFPrtObj::WFPALERTDATA;

TEST_F(KeystoneIconTest, KeySevenMakesKeystoneIcons) {
  CWFKstoneIcon probe;
  EXPECT_TRUE(probe.BelongsToFamily(7));
  EXPECT_FALSE(probe.BelongsToFamily(6));
  EXPECT_STREQ(probe.GetRuntimeClass()->m_lpszClassName, "CWFKstoneIcon");
  ASSERT_NE(probe.GetPrinterDLL(), nullptr);
  EXPECT_EQ(probe.GetPrinterDLL()->GetName(), "Vireo N");
  EXPECT_EQ(probe.GetGhostName(), CString("Help, missing Vireo N"));
  EXPECT_EQ(probe.SupportInputLevels(), 1);
  EXPECT_FALSE(family(49000).IsEmpty());
}

TEST_F(KeystoneIconTest, TheRecordKeepsSixFlagsFirstRowHighest) {
  KEYSTONEBINARYDATA stored{};
  stored.meridian.base.familyKey = 7;
  stored.meridian.storedAlerts = 0x7FFFFFF;
  stored.storedAlerts = 0x21 | 0xFFC0;  // bits above the six are ignored
  ProbeKyIcon* icon = add(41, &stored);
  const BOOL expected[6] = {1, 0, 0, 0, 0, 1};  // 6203 and 6190 only
  for (int i = 0; i < 6; ++i) EXPECT_EQ(icon->GetFamilyAlertFlag(i), expected[i]) << i;
  KEYSTONEBINARYDATA written{};
  icon->CreateSpecificBinaryData(&written);
  EXPECT_EQ(written.storedAlerts, 0x21u);
  EXPECT_EQ(written.meridian.storedAlerts, 0x7FFFFFFu);

  EXPECT_EQ(refreshedWord(add(42), 112), 0x3Fu);
}

TEST_F(KeystoneIconTest, InterventionAndJamRowsCompleteWithTheirSwitches) {
  const struct {
    USHORT id;
    UINT text, help, subType;
    const char* wave;
    bool canContinue, canReset;
    DWORD helpTopic;
  } cases[] = {{6156, 597, 3504, 5, "attention.wav", false, false, 2210},
               {6162, 102, 3504, 5, "offline.wav", true, false, 2223},
               {6170, 49011, 3504, 5, "attention.wav", false, false, 1938},
               {6228, 49010, 3504, 5, "attention.wav", true, true, 1940},
               {6187, 49003, 4524, 3, "", true, false, 2226},
               {6188, 49001, 3511, 3, "", true, false, 2227},
               {6190, 49002, 3510, 3, "", true, false, 2228}};
  wf::fw::ScriptedShell shell;
  std::uint16_t handle = 60;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    ProbeKyIcon* icon = add(handle);
    auto* printer = static_cast<ScriptedPrtObj*>(app_.printers[handle]);
    CWFAlert alert(handle++, printer, 0, 1524, CWFAlert::NOT_PROCESSED, 0, 0, FALSE, FALSE, FALSE, FALSE);
    std::vector<Alert> only = {{c.id, 0}};
    const UINT result = c.subType == 5 ? icon->ProcessUIRAlerts(&alert, 1, only.data(), 0)
                                       : icon->ProcessPaperJamAlerts(&alert, 1, only.data(), 0);
    EXPECT_EQ(result, 9u);
    ASSERT_EQ(storedIds(icon), (std::vector<UINT>{c.id}));
    CWFAlertMsg* message = icon->GetAlertStorage().GetTopAlertMsg();
    EXPECT_EQ(message->GetText(), family(c.text));
    EXPECT_EQ(message->GetBitmapID(), c.help);
    EXPECT_EQ(message->GetFile().GetPath(), CString(c.wave));
    const CWFAlert* stored = message->GetAlert();
    EXPECT_EQ(stored->GetSubType(), c.subType);
    EXPECT_EQ(bool(stored->GetEnableContinue()), c.canContinue);
    EXPECT_EQ(bool(stored->GetEnableReset()), c.canReset);
    EXPECT_TRUE(stored->GetHardError());
    icon->ShowHelpforError();
    ASSERT_FALSE(app_.helpCalls().empty());
    EXPECT_EQ(app_.helpCalls().back(), (std::pair<UINT, std::uintptr_t>{HELP_CONTEXT, c.helpTopic}));
  }
}

TEST_F(KeystoneIconTest, AlertChoicesSetFlagsClassBitsAndFilters) {
  ProbeKyIcon* icon = add(45);
  auto* printer = static_cast<ScriptedPrtObj*>(app_.printers[45]);
  CWFAlertDlgList list;
  icon->UpdateAlertList(&list);
  for (UINT id : {6203u, 6228u, 6170u, 6156u, 6188u, 6190u}) EXPECT_EQ(list.GetAlertState(id), 1u) << id;
  // Only 6203 stays on: the warning class, not the jam or intervention ones
  // (unless the Meridian part already asked for them).
  for (UINT title : {49010u, 49011u, 597u, 49001u, 49002u}) list.UpdateState(family(title), 0);
  ALERTS mask{};
  icon->SetBceAlerts(&list, &mask, TRUE);
  EXPECT_EQ(icon->CreateKeystoneStoredAlerts(), 0x20u);
  EXPECT_TRUE(mask.mask & 0x20);
  const struct {
    UINT id;
    CWFPrinterIcon::ALERT_ACTION action;
  } filters[] = {{6203, CWFPrinterIcon::ALERT_SHOW},
                 {6190, CWFPrinterIcon::ALERT_SUPPRESS},
                 {6156, CWFPrinterIcon::ALERT_SUPPRESS}};
  for (const auto& f : filters) {
    CWFAlert a(45, printer, 0, 1524, CWFAlert::ACTIVE, 0, f.id, FALSE, FALSE, FALSE, FALSE);
    CWFAlertMsg m(&a, "", CFilename(), 0);
    EXPECT_EQ(icon->FilterAlerts(&m), f.action) << f.id;
  }
}

TEST_F(KeystoneIconTest, PaperLowNamesTheTrayAndItsLevelOrRaisesNothing) {
  ProbeKyIcon* icon = add(46);
  auto* printer = static_cast<ScriptedPrtObj*>(app_.printers[46]);
  printer->inputBins = {{3, 7103, 500, "Tray 1", 1, 1}, {4, 7104, 200, "Tray 2", 1, 1}};
  printer->alertLists["bidiQueryInputStatus"] = {{6209, (4 << 8) | 2}, {6209, (3 << 8) | 0}};
  CWFAlert alert(46, printer, 0, 1524, CWFAlert::NOT_PROCESSED, 0, 0, FALSE, FALSE, FALSE, FALSE);

  // A tray the input status does not report: handled, no alert.
  std::vector<Alert> missing = {{6203, 5}};
  EXPECT_EQ(icon->ProcessWarningAlerts(&alert, 1, missing.data(), 0), 0u);
  EXPECT_TRUE(storedIds(icon).empty());
  EXPECT_EQ(icon->GetPaperLowErrorString(5), CString());

  std::vector<Alert> low = {{6203, 4}};
  EXPECT_EQ(icon->ProcessWarningAlerts(&alert, 1, low.data(), 0), 9u);
  ASSERT_EQ(storedIds(icon), (std::vector<UINT>{6203}));
  const CString tray = icon->GetTrayName(4);
  const CString level = icon->GetTrayLevelName(4);
  ASSERT_FALSE(tray.IsEmpty());
  ASSERT_FALSE(level.IsEmpty());
  CWFAlertMsg* message = icon->GetAlertStorage().GetTopAlertMsg();
  EXPECT_EQ(message->GetText(), family(49009) + " - " + tray + " - " + level);
  EXPECT_EQ(message->GetAlert()->GetSubType(), 6u);
  EXPECT_FALSE(message->GetAlert()->GetHardError());
  EXPECT_EQ(icon->GetTrayLevelPercent(4), 30u) << "the level taken on the way";
}

// What the job-buffering window was posted.
class Receiver : public CWnd {
 public:
  struct Entry {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const Entry&) const = default;
  };
  std::vector<Entry> received;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message < WM_USER) return CWnd::WindowProc(message, wParam, lParam);
    received.push_back({message, wParam, lParam});
    return 0;
  }
};
using Posted = std::vector<Receiver::Entry>;

class KeystoneJobBufferingTest : public KeystoneIconTest {
 protected:
  void SetUp() override {
    KeystoneIconTest::SetUp();
    icon_ = add(kHandle);
    ASSERT_TRUE(window_.CreateEx(0, "JBWindow", "jb", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, 0));
    wf::setTimeScaleForTest(0.001);
  }
  void TearDown() override {
    wf::setTimeScaleForTest(1.0);
    window_.DestroyWindow();
    KeystoneIconTest::TearDown();
  }
  UINT alert(const WFPrtObj::DEVICEMGMTALERTDATA& record) {
    auto* printer = static_cast<ScriptedPrtObj*>(app_.printers[kHandle]);
    const USHORT key = ++key_;
    printer->resAlerts[key] = record;
    CWFAlert a(kHandle, printer, key, 1525, CWFAlert::NOT_PROCESSED, 0, 0, FALSE, FALSE, FALSE, FALSE);
    const UINT handled = icon_->ProcessResMgmtAlert(&a);
    runQueuedWork();
    return handled;
  }
  static int captures() {
    int n = 0;
    for (const auto& call : fakebce::calls())
      n += call.function == "BceCaptureAlerts" && (call.netMask & 0x1000);
    return n;
  }
  static constexpr std::uint16_t kHandle = 70;
  ProbeKyIcon* icon_ = nullptr;
  Receiver window_;
  USHORT key_ = 100;
};

WFPrtObj::DEVICEMGMTALERTDATA outcome(BYTE kind, ULONG result, BYTE more = 0) {
  WFPrtObj::DEVICEMGMTALERTDATA r;
  r.kind = kind;
  r.moreEntries = more;
  r.result = result;
  return r;
}

TEST_F(KeystoneJobBufferingTest, ConfirmationsReachTheWaitingWindow) {
  icon_->ActivateResMgmtAlertsNotify(TRUE, window_.m_hWnd);
  runQueuedWork();
  window_.received.clear();
  const struct {
    WFPrtObj::DEVICEMGMTALERTDATA data;
    Posted posted;
  } cases[] = {{outcome(83, 0), {{WM_KY_JBALERT, 0, 83}}},
               {outcome(82, 0), {{WM_KY_JBALERT, 0, 82}}},
               {outcome(83, 1), {{WM_KY_JBERROR, 49034, 49025}}},
               {outcome(82, 0, 1), {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.data.kind));
    window_.received.clear();
    alert(c.data);
    EXPECT_EQ(window_.received, c.posted);
  }
  EXPECT_EQ(icon_->GetRMDiskBufWindow(), window_.m_hWnd);
  // A listing entry is Meridian's: a listing never started leaves the window alone.
  window_.received.clear();
  alert(outcome(16, 0));
  EXPECT_TRUE(window_.received.empty());
}

TEST_F(KeystoneJobBufferingTest, ArmingTwiceCapturesOnceAndAnswersTwice) {
  icon_->ActivateResMgmtAlertsNotify(TRUE, window_.m_hWnd);
  EXPECT_EQ(runQueuedWork(), std::vector<std::string>{"[Corvane Vireo N 17 - LPT3] ArmRMAlertsNotify()"});
  icon_->ActivateResMgmtAlertsNotify(TRUE, window_.m_hWnd);
  runQueuedWork();
  EXPECT_EQ(captures(), 1);
  EXPECT_TRUE(icon_->AreRMAlertsOn());
  EXPECT_EQ(window_.received, (Posted{{WM_KY_JBARMED, 0, 0}, {WM_KY_JBARMED, 0, 0}}));

  // Turning off releases whatever the answer and posts nothing.
  window_.received.clear();
  icon_->ActivateResMgmtAlertsNotify(FALSE, window_.m_hWnd);
  runQueuedWork();
  EXPECT_FALSE(icon_->AreRMAlertsOn());
  EXPECT_TRUE(window_.received.empty());
}

// A printer whose requests answer `reply` (without the first byte); an
// empty one fails the request.
class ReplyingPrinter : public ScriptedPrtObj {
 public:
  using ScriptedPrtObj::ScriptedPrtObj;
  std::string reply;

 protected:
  LONG bidiQuery(USHORT, const void*, ULONG, void** out, ULONG* len, BOOL, BOOL) override {
    if (reply.empty()) return -1;
    void* copy = wfPrtObjNew(reply.size());
    std::memcpy(copy, reply.data(), reply.size());
    *out = copy;
    *len = static_cast<ULONG>(reply.size());
    return 0;
  }
};

TEST_F(KeystoneIconTest, SpoolBufferPercentIsThePartition) {
  using namespace std::string_literals;
  auto owned = std::make_unique<ReplyingPrinter>(71, 7);
  ReplyingPrinter* printer = owned.get();
  printer->caps = localPrinter(71, "LPT3", 7)->caps;
  printer->deviceChars.model = "Corvane Vireo N 17";
  PrinterFixture::add(std::unique_ptr<ScriptedPrtObj>(std::move(owned)));
  list_.NewPrinterIcon(printer, nullptr);
  auto* icon = dynamic_cast<CWFKstoneIcon*>(icons().back());
  ASSERT_NE(icon, nullptr);

  printer->reply = "\x00\x14\x01\x00\x00\x00"s;
  unsigned char percent = 0;
  EXPECT_EQ(icon->GetSpoolBufferPercent(1, &percent), 1);
  EXPECT_EQ(percent, 20);
  // A refused or failed query leaves the output alone.
  for (const std::string& reply : {"\x01"s, ""s}) {
    printer->reply = reply;
    percent = 77;
    EXPECT_EQ(icon->GetSpoolBufferPercent(0, &percent), 2);
    EXPECT_EQ(percent, 77);
  }
}

TEST_F(KeystoneJobBufferingTest, ARefusedCaptureIsReported) {
  fakebce::setCaptureResult(-5);
  icon_->ActivateResMgmtAlertsNotify(TRUE, window_.m_hWnd);
  runQueuedWork();
  fakebce::setCaptureResult(0);
  EXPECT_FALSE(icon_->AreRMAlertsOn());
  EXPECT_EQ(window_.received, (Posted{{WM_KY_JBERROR, 49049, 49047}}));
}

}  // namespace
}  // namespace wf::testing
