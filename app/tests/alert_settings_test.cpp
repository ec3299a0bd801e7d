// The Alert Notification dialog on its list, and the alert settings of a
// window's selected printers, with a Meridian printer beside a base one.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/alert_notify_dlg.h"
#include "app/list_view.h"
#include "app/main_frame.h"
#include "app/window_list.h"
#include "app_fixture.h"
#include "common/alert_dlg_list.h"
#include "common/printer_list.h"
#include "eventually.h"
#include "framework/dc.h"
#include "meridian/meridian_family.h"
#include "meridian/meridian_icon.h"
#include "platform/clock.h"
#include "platform/registry.h"
#include "recording_manager.h"
#include "tidewater/tw_family.h"
#include "tidewater/tw_icon.h"

namespace {

using wf::testing::AppFixture;
using Names = std::vector<std::string>;

constexpr DWORD kBaseFamily = 0x7E58;
constexpr UINT kAlertSettings = 32795;

ALERT_DLG_STRUCT item(const char* name, UINT key, UINT state) {
  ALERT_DLG_STRUCT i;
  i.name = name;
  i.key = key;
  i.state = state;
  return i;
}

Names entries(CListBox* box) {
  Names out;
  for (int i = 0; i < box->GetCount(); ++i) {
    CString text;
    box->GetText(i, text);
    out.push_back(text.str());
  }
  return out;
}

std::vector<std::pair<UINT, UINT>> states(CWFAlertDlgList& list) {
  std::vector<std::pair<UINT, UINT>> out;
  for (POSITION p = list.GetHeadPosition(); p;) {
    auto* i = reinterpret_cast<ALERT_DLG_STRUCT*>(list.GetNext(p));
    out.emplace_back(i->key, i->state);
  }
  return out;
}

std::vector<UINT> removed(CWFAlertDlgList& list) {
  std::vector<UINT> out;
  for (POSITION p = list.GetRemovedList().GetHeadPosition(); p;)
    out.push_back(list.GetRemovedList().GetNext(p));
  return out;
}

class AlertNotification : public AppFixture {
 protected:
  // Runs the dialog on `list`; `act` works on it before OK.
  void run(CWFAlertDlgList& list, const std::function<void(CDialog&)>& act) {
    dialogs_.on(IDD_ALERT_NOTIFICATION, [&](CDialog& dlg) {
      types_ = entries(box(dlg, IDC_ALERT_TYPES));
      act(dlg);
      monitored_ = entries(box(dlg, IDC_ALERT_MONITORED));
      dlg.EndDialog(IDOK);
    });
    CWFAlertNotifyDlg dialog(&list, nullptr);
    EXPECT_EQ(dialog.DoModal(), IDOK);
  }
  static CListBox* box(CDialog& dlg, UINT id) { return static_cast<CListBox*>(dlg.GetDlgItem(id)); }
  static void select(CDialog& dlg, UINT id, const Names& names) {
    CListBox* list = box(dlg, id);
    for (const std::string& name : names) list->SetSel(list->FindStringExact(-1, name.c_str()));
  }
  static void click(CDialog& dlg, UINT id) { static_cast<CButton*>(dlg.GetDlgItem(id))->Click(); }

  CWFApp app_;
  wf::fw::ScriptedDialogs dialogs_;
  Names types_;
  Names monitored_;
};

TEST_F(AlertNotification, ButtonsEditTheList) {
  struct Case {
    const char* what;
    std::vector<ALERT_DLG_STRUCT> items;
    std::function<void(CDialog&)> act;
    std::vector<std::pair<UINT, UINT>> states;
    std::vector<UINT> removed;
    Names monitored;
  };
  const Case cases[] = {
      {"two printers' states join",
       {item("Jam", 1, 1), item("Jam", 1, 2), item("Door", 2, 0), item("Door", 2, 1)},
       [](CDialog&) {},
       {{1, 3}, {2, 1}},
       {},
       {"Door", "Jam"}},
      {"adding a monitored type sets 1",
       {item("Jam", 1, 3)},
       [](CDialog& d) {
         select(d, IDC_ALERT_TYPES, {"Jam"});
         click(d, IDC_ALERT_ADD);
       },
       {{1, 1}},
       {},
       {"Jam"}},
      {"each removal is recorded",
       {item("Jam", 1, 1), item("Door", 2, 1)},
       [](CDialog& d) {
         select(d, IDC_ALERT_MONITORED, {"Jam"});
         click(d, IDC_ALERT_REMOVE);
         select(d, IDC_ALERT_TYPES, {"Jam"});
         click(d, IDC_ALERT_ADD);
         select(d, IDC_ALERT_MONITORED, {"Jam"});
         click(d, IDC_ALERT_REMOVE);
       },
       {{1, 0}, {2, 1}},
       {1, 1},
       {"Door"}},
      {"one name, two keys",
       {item("Warning", 6135, 1), item("Warning", 6175, 1), item("Jam", 1, 1)},
       [](CDialog& d) {
         select(d, IDC_ALERT_MONITORED, {"Warning"});
         click(d, IDC_ALERT_REMOVE);
       },
       {{6135, 0}, {6175, 0}, {1, 1}},
       {6135, 6175},
       {"Jam"}},
      {"no selection changes nothing",
       {item("Jam", 1, 1), item("Door", 2, 0)},
       [](CDialog& d) {
         click(d, IDC_ALERT_ADD);
         click(d, IDC_ALERT_REMOVE);
       },
       {{1, 1}, {2, 0}},
       {},
       {"Jam"}},
      {"monitor all",
       {item("Jam", 1, 0), item("Door", 2, 2)},
       [](CDialog& d) { click(d, IDC_ALERT_MONITOR_ALL); },
       {{1, 1}, {2, 1}},
       {},
       {"Door", "Jam"}},
      {"clear all",
       {item("Jam", 1, 1), item("Door", 2, 0), item("Cover", 3, 1)},
       [](CDialog& d) { click(d, IDC_ALERT_CLEAR_ALL); },
       {{1, 0}, {2, 0}, {3, 0}},
       {3, 1},
       {}},
      {"an empty list",
       {},
       [](CDialog& d) {
         click(d, IDC_ALERT_MONITOR_ALL);
         click(d, IDC_ALERT_CLEAR_ALL);
         click(d, IDC_ALERT_ADD);
       },
       {},
       {},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CWFAlertDlgList list;
    for (ALERT_DLG_STRUCT i : c.items) list.Add(&i);
    run(list, c.act);
    EXPECT_EQ(states(list), c.states);
    EXPECT_EQ(removed(list), c.removed);
    EXPECT_EQ(monitored_, c.monitored);
  }
}

TEST_F(AlertNotification, ListsAreSortedWithTheirNamesOnceAndScrollToTheLongest) {
  CWFAlertDlgList list;
  for (ALERT_DLG_STRUCT i : {item("Paper Jam", 1, 1), item("Door", 2, 0), item("Paper Jam", 3, 0),
                             item("A much longer alert name", 4, 0)})
    list.Add(&i);
  int typesExtent = 0, monitoredExtent = 0, average = 0;
  run(list, [&](CDialog& d) {
    typesExtent = box(d, IDC_ALERT_TYPES)->GetHorizontalExtent();
    monitoredExtent = box(d, IDC_ALERT_MONITORED)->GetHorizontalExtent();
    CClientDC dc(box(d, IDC_ALERT_TYPES));
    TEXTMETRIC metrics{};
    dc.GetTextMetrics(&metrics);
    average = metrics.tmAveCharWidth;
  });
  EXPECT_EQ(types_, (Names{"A much longer alert name", "Door", "Paper Jam"}));
  EXPECT_EQ(monitored_, Names{"Paper Jam"});
  ASSERT_GT(average, 0);
  EXPECT_EQ(typesExtent, average * 24);
  EXPECT_EQ(monitoredExtent, average * 9);
}

TEST_F(AlertNotification, HelpNamesTheControlsOfTheTemplate) {
  CWFAlertDlgList list;
  run(list, [&](CDialog& d) {
    HELPINFO info;
    info.iCtrlId = IDC_ALERT_ADD;
    info.hItemHandle = d.GetDlgItem(IDC_ALERT_ADD)->m_hWnd;
    d.SendMessage(WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
  });
  ASSERT_EQ(shell_.help.calls().size(), 1u);
  const auto call = shell_.help.calls()[0];
  EXPECT_EQ(call.command, HELP_WM_HELP);
  EXPECT_EQ(call.helpFile, std::string(app_.GetProgramDirectory()) + "/WRENFLD.HLP");
  EXPECT_NE(call.window, 0u);
  EXPECT_EQ(call.controlTable,
            (std::vector<std::pair<DWORD, DWORD>>{
                {1025, 100}, {1026, 101}, {1027, 102}, {1028, 103}, {1017, 104}, {1038, 105}}));
}

// ---- The window's command ----

class AlertSettings : public AlertNotification {
 protected:
  void SetUp() override {
    AlertNotification::SetUp();
    static const DWORD ids[] = {kBaseFamily};
    app_.GetPrinterDLLManager()->RegisterDLL(nullptr, "Base", 0, &createBase, ids, 1, nullptr);
    InitMeridianGuiDLL(nullptr, &RegisterDLL);
    window_ = CMainFrame::Make("Alerts");
    ASSERT_NE(window_, nullptr);
    app_.m_pMainWnd = window_;
    meridian_ = printer("Vireo", 1);
    base_ = printer("Other", kBaseFamily);
    ASSERT_NE(dynamic_cast<CWFMeridianIcon*>(meridian_), nullptr);
    for (CWFPrinterIcon* icon : {meridian_, base_}) {
      window_->GetView()->AddPrinter(icon);
      raise(icon, 6104, 3);
    }
    raise(meridian_, 6137, 5);
    CWFListView* view = window_->GetView();
    for (int i = 0; i < view->GetItemCount(); ++i) view->SetItemState(i, LVIS_SELECTED, LVIS_SELECTED);
  }
  void TearDown() override {
    closeWindows(app_);
    app_.GetPrinterList()->DeleteAllPrinters();
    AlertNotification::TearDown();
  }
  // A remembered printer of its own handle (the Meridian one has 0).
  class BaseIcon : public CWFPrinterIcon {
   public:
    BaseIcon(WFPrtObj* object, void* record) : CWFPrinterIcon(object, record) { m_hPrinter = 77; }
  };
  static CWFPrinterIcon* createBase(WFPrtObj* object, void* record) { return new BaseIcon(object, record); }
  CWFPrinterIcon* printer(const char* name, DWORD family) {
    MERIDIANBINARYDATA record{};
    std::strcpy(record.base.name, name);
    record.base.familyKey = family;
    record.base.storedAlerts = 0x3FFFFF;
    record.storedAlerts = 0x7FFFFFF;
    NETADDRESS address{};
    std::strcpy(address.local, name);
    return app_.GetPrinterList()->CreateGhostPrinter(&address, &record, 0);
  }
  static void raise(CWFPrinterIcon* icon, UINT specific, UINT subType) {
    CWFAlert alert(icon->GetPrinterHandle(), nullptr, 0, 1524, CWFAlert::ACTIVE, 0, specific, FALSE, FALSE,
                   TRUE, FALSE);
    alert.SetSubType(subType);
    CMutex lock(icon->GetMutexName("AlertLock"));
    lock.Wait(wf::kInfinite);
    icon->GetAlertStorage().LogEvent(&alert, "text", CFilename(), 0);
    lock.Release();
  }
  static bool active(CWFPrinterIcon* icon, UINT specific) {
    return icon->GetAlertStorage().IsAlertActive(specific) != nullptr;
  }
  void command() {
    window_->GetView()->SendMessage(WM_COMMAND, kAlertSettings, 0);
    QCoreApplication::processEvents();
    wf::Message m;
    while (wf::peekMessage(m, wf::PeekMode::Remove)) wf::dispatchMessage(m);
  }
  static CString name(UINT id) {
    CString text;
    text.LoadString(id);
    return text;
  }

  CMainFrame* window_ = nullptr;
  CWFPrinterIcon* meridian_ = nullptr;
  CWFPrinterIcon* base_ = nullptr;
};

TEST_F(AlertSettings, ATypeRemovedAndAddedBackStaysOnEveryPrinter) {
  const std::string shortPaper = name(40008).str(), jam = name(464).str();
  dialogs_.on(IDD_ALERT_NOTIFICATION, [&](CDialog& d) {
    types_ = entries(box(d, IDC_ALERT_TYPES));
    select(d, IDC_ALERT_MONITORED, {shortPaper, jam});
    click(d, IDC_ALERT_REMOVE);
    select(d, IDC_ALERT_TYPES, {jam});
    click(d, IDC_ALERT_ADD);
    d.EndDialog(IDOK);
  });
  command();
  EXPECT_EQ(types_.size(), 45u) << "48 keys; \"Printer Warning\" names three, the tray name two";
  EXPECT_FALSE(active(meridian_, 6137));
  EXPECT_TRUE(active(meridian_, 6104));
  EXPECT_TRUE(active(base_, 6104));
  // The other family rows keep the intervention class captured.
  auto* meridian = dynamic_cast<CWFMeridianIcon*>(meridian_);
  CWFAlertDlgList list;
  meridian->UpdateAlertList(&list);
  list.UpdateState(shortPaper.c_str(), 0);
  ALERTS alerts{0};
  meridian->SetBceAlerts(&list, &alerts, TRUE);
  EXPECT_NE(alerts.mask & 0x10, 0u);
  EXPECT_FALSE(meridian->GetStoredAlertFlag(0));
}

TEST_F(AlertSettings, ATypeRemovedForTwoPrintersLeavesBoth) {
  const std::string jam = name(464).str();
  dialogs_.on(IDD_ALERT_NOTIFICATION, [&](CDialog& d) {
    select(d, IDC_ALERT_MONITORED, {jam});
    click(d, IDC_ALERT_REMOVE);
    d.EndDialog(IDOK);
  });
  command();
  EXPECT_FALSE(active(meridian_, 6104));
  EXPECT_FALSE(active(base_, 6104));
  EXPECT_TRUE(active(meridian_, 6137));
}

TEST_F(AlertSettings, APrinterDeletedWhileTheDialogIsOpenIsSkipped) {
  const std::string jam = name(464).str();
  dialogs_.on(IDD_ALERT_NOTIFICATION, [&](CDialog& d) {
    EXPECT_EQ(window_->GetView()->RemovePrinter(base_->GetPrinterHandle()), TRUE);
    EXPECT_TRUE(app_.GetPrinterList()->DeletePrinterIcon(base_));
    base_ = nullptr;
    select(d, IDC_ALERT_MONITORED, {jam});
    click(d, IDC_ALERT_REMOVE);
    d.EndDialog(IDOK);
  });
  command();
  EXPECT_FALSE(active(meridian_, 6104));
  EXPECT_EQ(app_.GetPrinterList()->GetIcons(), std::vector<CWFPrinterIcon*>{meridian_});
}

TEST_F(AlertSettings, CancelLeavesEverything) {
  const std::string jam = name(464).str();
  dialogs_.on(IDD_ALERT_NOTIFICATION, [&](CDialog& d) {
    select(d, IDC_ALERT_MONITORED, {jam});
    click(d, IDC_ALERT_REMOVE);
    d.EndDialog(IDCANCEL);
  });
  command();
  EXPECT_TRUE(active(meridian_, 6104));
  EXPECT_TRUE(active(base_, 6104));
}

// The family's choice travels with the printer through a saved window: its
// record holds the flags, and the ghost it comes back as filters by them.
TEST_F(AlertSettings, AWindowSavedWithAMeridianPrinterBringsBackItsChoice) {
  const std::string shortPaper = name(40008).str();
  dialogs_.on(IDD_ALERT_NOTIFICATION, [&](CDialog& d) {
    select(d, IDC_ALERT_MONITORED, {shortPaper});
    click(d, IDC_ALERT_REMOVE);
    d.EndDialog(IDOK);
  });
  command();
  if (!window_->GetSavePrinters()) window_->SendMessage(WM_COMMAND, 32834, 0);
  ASSERT_TRUE(window_->GetSavePrinters());
  const std::string printers =
      std::string(CWFApp::kAppKey) + "\\WFWindows\\" + window_->GetName().str() + "\\printers";
  const std::string name = window_->GetName().str();
  window_->SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
  app_.m_pMainWnd = window_ = nullptr;

  // The Meridian printer was item 0.
  wf::HKEY key = nullptr;
  ASSERT_EQ(wf::RegOpenKeyExA(wf::HKEY_CURRENT_USER, (printers + "\\     0").c_str(), 0, wf::KEY_READ, &key),
            wf::ERROR_SUCCESS);
  MERIDIANBINARYDATA saved{};
  DWORD type = 0, size = sizeof saved + 4;
  std::vector<BYTE> data(size);
  EXPECT_EQ(wf::RegQueryValueExA(key, "data", nullptr, &type, data.data(), &size), wf::ERROR_SUCCESS);
  wf::RegCloseKey(key);
  ASSERT_EQ(size, 112u);
  std::memcpy(&saved, data.data(), sizeof saved);
  EXPECT_STREQ(saved.base.name, "Vireo");
  EXPECT_EQ(saved.storedAlerts, 0x7FFFFFFu & ~(1u << 26)) << "only row 0 (6137) off";

  // Restored in a new list: both printers come back as ghosts.
  app_.GetPrinterList()->DeleteAllPrinters();
  meridian_ = base_ = nullptr;
  app_.SetPrtMgr(std::make_unique<wf::testing::RecordingManager>());
  app_.SetUseGhosts(TRUE);
  app_.SetStartupEnumAll(FALSE);
  window_ = CMainFrame::Make(name.c_str());
  ASSERT_NE(window_, nullptr);
  app_.m_pMainWnd = window_;
  ASSERT_TRUE(wf::testing::eventually([&] {
    QCoreApplication::processEvents();
    wf::Message m;
    while (wf::peekMessage(m, wf::PeekMode::Remove)) wf::dispatchMessage(m);
    return window_->GetView()->GetItemCount() == 2;
  }));
  app_.JoinSavedPrinterWalks();
  CWFMeridianIcon* restored = nullptr;
  for (int i = 0; i < 2; ++i)
    if (auto* icon = dynamic_cast<CWFMeridianIcon*>(window_->GetView()->GetPrinterAt(i))) restored = icon;
  ASSERT_NE(restored, nullptr);
  EXPECT_TRUE(restored->IsGhost());
  EXPECT_EQ(restored->GetName().str(), "Vireo");
  auto decides = [&](UINT specific) {
    CWFAlert alert(restored->GetPrinterHandle(), nullptr, 0, 1524, CWFAlert::ACTIVE, 0, specific, FALSE,
                   FALSE, FALSE, FALSE);
    CWFAlertMsg message(&alert, "", CFilename(), 0);
    return restored->FilterAlerts(&message);
  };
  EXPECT_EQ(decides(6137), CWFPrinterIcon::ALERT_SUPPRESS);
  EXPECT_EQ(decides(6174), CWFPrinterIcon::ALERT_SHOW);
}

class TidewaterAlertSettings : public AlertSettings {
 protected:
  void SetUp() override {
    AlertSettings::SetUp();
    InitTidewaterGuiDLL(nullptr, &RegisterDLL);
    TIDEWATERBINARYDATA record{};
    std::strcpy(record.meridian.base.name, "Pagecrest");
    record.meridian.base.familyKey = 3;
    record.meridian.base.storedAlerts = 0x3FFFFF;
    record.meridian.storedAlerts = 0x7FFFFFF;
    record.storedAlerts = 3;
    NETADDRESS address{};
    std::strcpy(address.local, "Pagecrest");
    tidewater_ = dynamic_cast<CWFTwIcon*>(app_.GetPrinterList()->CreateGhostPrinter(&address, &record, 0));
    ASSERT_NE(tidewater_, nullptr);
    CWFListView* view = window_->GetView();
    view->AddPrinter(tidewater_);
    for (int i = 0; i < view->GetItemCount(); ++i) view->SetItemState(i, 0, LVIS_SELECTED);
    view->SetItemState(view->GetItemCount() - 1, LVIS_SELECTED, LVIS_SELECTED);
    wf::fw::ResourceHandleSwitch resources(tidewater_->GetResourceInstance(0));
    clear_ = name(50008).str();
    toner_ = name(50009).str();
  }
  // The printer's alert stored as the family's decoder completes it.
  bool storedWhenRaised(UINT specific) {
    raise(tidewater_, specific, 5);
    tidewater_->UpdateViews(9);
    return active(tidewater_, specific);
  }

  CWFTwIcon* tidewater_ = nullptr;
  std::string clear_, toner_;
};

TEST_F(TidewaterAlertSettings, TidewaterPrintersOfferTheirTwoAlerts) {
  Names shown;
  dialogs_.on(IDD_ALERT_NOTIFICATION, [&](CDialog& d) {
    shown = entries(box(d, IDC_ALERT_MONITORED));
    d.EndDialog(IDCANCEL);
  });
  command();
  EXPECT_NE(std::find(shown.begin(), shown.end(), clear_), shown.end());
  EXPECT_NE(std::find(shown.begin(), shown.end(), toner_), shown.end());
}

TEST_F(TidewaterAlertSettings, TheClearPaperPathAlertSwitchedOffIsNoLongerStored) {
  dialogs_.on(IDD_ALERT_NOTIFICATION, [&](CDialog& d) {
    select(d, IDC_ALERT_MONITORED, {clear_});
    click(d, IDC_ALERT_REMOVE);
    d.EndDialog(IDOK);
  });
  command();
  EXPECT_FALSE(tidewater_->GetFamilyAlertFlag(0));
  EXPECT_TRUE(tidewater_->GetFamilyAlertFlag(1));
  EXPECT_FALSE(storedWhenRaised(6141));
  EXPECT_TRUE(storedWhenRaised(6140));
  EXPECT_TRUE(active(meridian_, 6137)) << "the other printers keep their choice";
}

}  // namespace
