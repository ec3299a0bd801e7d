// The family's operator-intervention alerts: decoding into messages, the
// filter, the broker mask, the alert-type list, help, and the queues the
// view path digests.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "common/alert_dlg_list.h"
#include "common/notebook_messages.h"
#include "framework/scripted_shell.h"
#include "meridian_fixture.h"
#include "platform/message_queue.h"

namespace wf::testing {
namespace {

constexpr USHORT kHandle = 31;
using Alert = WFPrtObj::WFPALERTDATA;

// The protected decoders, and what the digests receive.
class ProbeIcon : public CWFMeridianIcon {
 public:
  using CWFMeridianIcon::CWFMeridianIcon;
  using CWFMeridianIcon::ProcessUIRAlerts;
  static CWFPrinterIcon* create(WFPrtObj* object, void* record) { return new ProbeIcon(object, record); }
  std::vector<WFPrtObj::JSALERTDATA*> jobDigests;
  std::vector<ULONG> resourceDigests;
  BOOL DigestJobStatData(WFPrtObj::JSALERTDATA* data) override {
    jobDigests.push_back(data);
    return TRUE;
  }
  BOOL DigestResMgmtData(CWFAlert*, WFPrtObj::DEVICEMGMTALERTDATA data) override {
    resourceDigests.push_back(data.result);
    return TRUE;
  }
};

class MeridianAlertTest : public MeridianFixture {
 protected:
  static constexpr DWORD kProbeFamily[] = {1};
  void SetUp() override {
    MeridianFixture::SetUp();
    families_.RegisterDLL(nullptr, "Probe", 0, &ProbeIcon::create, kProbeFamily, 1, nullptr);
    printer_ = addLocal(kHandle, "LPT1", 1, "Corvane Vireo");
    list_.NewPrinterIcon(printer_, nullptr);
    icon_ = dynamic_cast<ProbeIcon*>(icons().back());
    ASSERT_NE(icon_, nullptr);
    app_.soundEnabled = FALSE;
    for (int e = 0; e <= 23; ++e) app_.waveFiles[e] = "event" + std::to_string(e) + ".wav";
  }
  CWFAlert deviceStatus(long mask) {
    return CWFAlert(kHandle, printer_, 0, 1524, CWFAlert::NOT_PROCESSED, mask, 0, FALSE, FALSE, FALSE, FALSE);
  }
  // Raises the operator-intervention list and returns the result.
  UINT raise(std::vector<Alert> list) {
    printer_->alertLists["bidiQueryOperatorIV"] = std::move(list);
    CWFAlert alert = deviceStatus(0x10);
    return icon_->ProcessAlert(&alert);
  }
  CWFAlertMsg* storedFor(UINT specific) {
    CWFAlertMsgList& messages = icon_->GetAlertStorage().GetMessages();
    for (POSITION p = messages.GetHeadPosition(); p;) {
      auto* m = static_cast<CWFAlertMsg*>(messages.GetNext(p));
      if (m->GetAlert()->GetSpecificAlert() == specific) return m;
    }
    return nullptr;
  }
  std::vector<UINT> storedIds() { return PrinterFixture::storedIds(icon_); }
  ALERT_DLG_STRUCT item(UINT key, UINT state, const char* name = "x") {
    ALERT_DLG_STRUCT i;
    i.name = name;
    i.key = key;
    i.state = state;
    return i;
  }
  CWFPrinterIcon::ALERT_ACTION filter(UINT specific) {
    CWFAlert alert(kHandle, printer_, 0, 1524, CWFAlert::ACTIVE, 0, specific, FALSE, FALSE, FALSE, FALSE);
    CWFAlertMsg message(&alert, "", CFilename(), 0);
    return icon_->FilterAlerts(&message);
  }

  ScriptedPrtObj* printer_ = nullptr;
  ProbeIcon* icon_ = nullptr;
};

TEST_F(MeridianAlertTest, FamilyIdsBecomeMessagesAndTheBaseTakesTheRest) {
  EXPECT_EQ(raise({{6137, 0}, {6174, 0}, {6102, 0}}), 9u);
  EXPECT_EQ(storedIds(), (std::vector<UINT>{6102, 6174, 6137})) << "no remainder: all three handled";
  struct Expect {
    UINT id;
    const char* text;
    const char* sound;
    BOOL cont, reset;
  } expects[] = {{6137, "Short Paper Error", "event14.wav", TRUE, TRUE},
                 {6174, "Wrong Toner Cartridge Installed", "", FALSE, FALSE}};
  app_.waveFiles.erase(18);
  for (const Expect& e : expects) {
    SCOPED_TRACE(e.id);
    CWFAlertMsg* m = storedFor(e.id);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->GetText(), e.text);
    EXPECT_EQ(m->GetBitmapID(), 3504u);
    const CWFAlert* a = m->GetAlert();
    EXPECT_EQ(a->GetSubType(), 5u);
    EXPECT_EQ(a->GetActiveState(), CWFAlert::ACTIVE);
    EXPECT_EQ(std::make_tuple(a->GetEnableContinue(), a->GetEnableReset(), a->GetHardError()),
              std::make_tuple(e.cont, e.reset, TRUE));
  }
  EXPECT_EQ(storedFor(6137)->GetFile().GetPath(), "event14.wav");
  EXPECT_EQ(storedFor(6174)->GetFile().GetPath(), "event18.wav");
}

TEST_F(MeridianAlertTest, AnUnknownIdLeavesTheBaseItsRemainder) {
  EXPECT_EQ(raise({{6137, 0}, {6178, 0}}), 9u);
  EXPECT_EQ(storedIds(), (std::vector<UINT>{20, 6137}));
}

TEST_F(MeridianAlertTest, ListsWithRepeatsOrNothingDecodeEachIdOnce) {
  EXPECT_EQ(icon_->ProcessUIRAlerts(nullptr, 3, nullptr, 0), 0u);
  EXPECT_EQ(raise({}), 0u);
  EXPECT_TRUE(storedIds().empty());
  EXPECT_EQ(raise({{6137, 0}, {6137, 0}, {9999, 0}}), 9u);
  EXPECT_EQ(storedIds(), (std::vector<UINT>{20, 6137}));
}

TEST_F(MeridianAlertTest, WithoutBidiTheFamilyTypesAnswerNothing) {
  printer_->caps.bidiActive = FALSE;
  const std::size_t before = printer_->calls().size();
  for (ULONG type : {1524ul, 1525ul, 1526ul, 1527ul}) {
    CWFAlert alert(kHandle, printer_, 0, type, CWFAlert::NOT_PROCESSED, 0x10, 0, FALSE, FALSE, FALSE, FALSE);
    EXPECT_EQ(icon_->ProcessAlert(&alert), 0u) << type;
  }
  for (std::size_t i = before; i < printer_->calls().size(); ++i)
    EXPECT_EQ(printer_->calls()[i].rfind("bidiQuery", 0), std::string::npos) << printer_->calls()[i];
  // A printer event reaches the base whatever the link.
  wf::fw::ScriptedShell shell;
  CWFAlert lost(kHandle, printer_, 0, 100, CWFAlert::NOT_PROCESSED, 0, 0, FALSE, FALSE, FALSE, FALSE);
  EXPECT_NE(icon_->ProcessAlert(&lost), 0u);
  const std::vector<std::string> calls = printer_->calls();
  EXPECT_NE(std::find(calls.begin(), calls.end(), "setBidiOff"), calls.end());
}

TEST_F(MeridianAlertTest, JobAndResourceTypesGoToTheirHandlers) {
  CWFAlert jobs(kHandle, printer_, 0, 1526, CWFAlert::NOT_PROCESSED, 0, 0, FALSE, FALSE, FALSE, FALSE);
  EXPECT_EQ(icon_->ProcessAlert(&jobs), 0x10u);
  CWFAlert resources(kHandle, printer_, 0, 1525, CWFAlert::NOT_PROCESSED, 0, 0, FALSE, FALSE, FALSE, FALSE);
  EXPECT_EQ(icon_->ProcessAlert(&resources), 0u);
}

TEST_F(MeridianAlertTest, TheFilterFollowsTheFamilyFlagsAfterTheBase) {
  icon_->SetStoredAlertFlag(26, FALSE);
  EXPECT_EQ(filter(6174), CWFPrinterIcon::ALERT_SUPPRESS);
  icon_->SetStoredAlertFlag(26, TRUE);
  EXPECT_EQ(filter(6174), CWFPrinterIcon::ALERT_SHOW);
  EXPECT_EQ(filter(6178), CWFPrinterIcon::ALERT_FAMILY);
  // 6135 is a base type first: its base flag (12) decides.
  icon_->SetBaseAlertFlag(12, 0);
  icon_->SetStoredAlertFlag(21, TRUE);
  EXPECT_EQ(filter(6135), CWFPrinterIcon::ALERT_SUPPRESS);
  // A switched-off type is dropped as it arrives.
  icon_->SetStoredAlertFlag(0, FALSE);
  EXPECT_EQ(raise({{6137, 0}}), 9u);
  EXPECT_EQ(storedFor(6137), nullptr);
}

TEST_F(MeridianAlertTest, TheMaskGainsInterventionForAnyFamilyType) {
  icon_->RestoreVireoAlerts(0);
  {
    CWFAlertDlgList list;
    ALERT_DLG_STRUCT on = item(6137, 1);
    list.Add(&on);
    ALERTS alerts{0};
    icon_->SetBceAlerts(&list, &alerts, FALSE);
    EXPECT_EQ(alerts.mask & 0x10, 0x10u);
    EXPECT_EQ(icon_->CreateVireoStoredAlerts(), 0u) << "flags kept without store";
    icon_->SetBceAlerts(&list, &alerts, TRUE);
    EXPECT_EQ(icon_->CreateVireoStoredAlerts(), 0x4000000u);
  }
  {
    CWFAlertDlgList list;
    for (UINT id : {6137u, 6174u}) {
      ALERT_DLG_STRUCT off = item(id, 0);
      list.Add(&off);
    }
    ALERTS alerts{0};
    icon_->SetBceAlerts(&list, &alerts, FALSE);
    EXPECT_EQ(alerts.mask & 0x10, 0u);
  }
}

TEST_F(MeridianAlertTest, InitialAlertsAskForJobStatisticsOnlyWhenTracking) {
  ALERTS alerts{0};
  icon_->SetInitialAlerts(&alerts);
  EXPECT_EQ(alerts.mask & 0x800, 0u);
  EXPECT_EQ(alerts.mask & 0x10, 0x10u);
  icon_->SetTrackingJS(TRUE);
  alerts.mask = 0;
  icon_->SetInitialAlerts(&alerts);
  EXPECT_EQ(alerts.mask & 0x800, 0x800u);
}

TEST_F(MeridianAlertTest, TheAlertListHoldsBaseAndFamilyTypesOnce) {
  icon_->SetBaseAlertFlag(12, 0);  // 6135 off as a base type, on as a family one
  icon_->SetStoredAlertFlag(2, FALSE);
  CWFAlertDlgList list;
  icon_->UpdateAlertList(&list);
  EXPECT_EQ(list.GetCount(), 48);
  EXPECT_EQ(list.GetAlertState(6135), 1u);
  EXPECT_EQ(list.GetAlertState(6127), 0u);
  EXPECT_EQ(list.GetAlertState(6137), 1u);
  CString name6174, name6133;
  for (POSITION p = list.GetHeadPosition(); p;) {
    auto* i = reinterpret_cast<ALERT_DLG_STRUCT*>(list.GetNext(p));
    if (i->key == 6174) name6174 = i->name;
    if (i->key == 6133) name6133 = i->name;
  }
  EXPECT_EQ(name6174, "Wrong Toner Cartridge Installed");
  EXPECT_EQ(name6133, "Incorrect Manual Feed");
}

TEST_F(MeridianAlertTest, HelpUsesTheFamilyContextsElseTheBase) {
  const std::pair<std::vector<Alert>, std::uintptr_t> cases[] = {
      {{{6179, 0}}, 1914}, {{{6132, 0}}, 1914}, {{{6174, 0}}, 1939}, {{{6137, 0}}, 1927}};
  for (const auto& [list, context] : cases) {
    SCOPED_TRACE(context);
    raise(list);
    icon_->ShowHelpforError();
    ASSERT_FALSE(app_.helpCalls().empty());
    EXPECT_EQ(app_.helpCalls().back(), std::make_pair(UINT{HELP_CONTEXT}, context));
    raise({});
  }
  printer_->alertLists.clear();
  printer_->alertLists["bidiQueryPaperJams"] = {{6104, 0}};
  CWFAlert jam = deviceStatus(0x4);
  icon_->ProcessAlert(&jam);
  icon_->ShowHelpforError();
  EXPECT_EQ(app_.helpCalls().back(), std::make_pair(UINT{HELP_CONTEXT}, std::uintptr_t{1922}));
}

TEST_F(MeridianAlertTest, ViewUpdatesDigestTheOldestQueuedMessage) {
  CWnd notebook;
  ASSERT_TRUE(notebook.CreateEx(0, "MeridianNotebook", "notebook", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, 0));
  CWFAlert alert = deviceStatus(0);
  icon_->SetTrackingJS(TRUE);
  auto* first = new WFPrtObj::JSALERTDATA;
  auto* second = new WFPrtObj::JSALERTDATA;
  icon_->GetJobStatAlerts().Add(&alert, first);
  icon_->GetJobStatAlerts().Add(&alert, second);
  EXPECT_FALSE(icon_->UpdateViews(0x10)) << "no notebook to tell";
  icon_->SetOpenDlgHandle(notebook.m_hWnd);
  EXPECT_TRUE(icon_->UpdateViews(0x10));
  icon_->SetOpenDlgHandle(0);
  EXPECT_EQ(icon_->jobDigests, (std::vector<WFPrtObj::JSALERTDATA*>{first, second}));
  EXPECT_EQ(icon_->GetJobStatAlerts().GetCount(), 0);
  wf::Message m;
  bool posted = false;
  while (wf::peekMessage(m, wf::PeekMode::Remove)) posted |= m.message == WM_WF_JOBSTAT;
  EXPECT_TRUE(posted);

  // Without tracking the queued record goes unread.
  icon_->SetTrackingJS(FALSE);
  icon_->GetJobStatAlerts().Add(&alert, new WFPrtObj::JSALERTDATA);
  icon_->UpdateViews(0x10);
  EXPECT_EQ(icon_->GetJobStatAlerts().GetCount(), 0);
  EXPECT_EQ(icon_->jobDigests.size(), 2u);

  WFPrtObj::DEVICEMGMTALERTDATA data;
  for (ULONG result : {7ul, 8ul}) {
    data.result = result;
    icon_->GetResMgmtAlerts().Add(&alert, &data);
  }
  EXPECT_TRUE(icon_->UpdateViews(0x20));
  EXPECT_EQ(icon_->resourceDigests, std::vector<ULONG>{7});
  EXPECT_EQ(icon_->GetResMgmtAlerts().GetCount(), 1);
  notebook.DestroyWindow();
}

}  // namespace
}  // namespace wf::testing
