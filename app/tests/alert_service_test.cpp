// The alert service: broker messages on the hidden window's thread become
// alerts for the printer's icon; a printer the broker removed leaves every
// window, the printer manager and the printer list.
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <vector>

#include "app/alert_manager.h"
#include "app/list_view.h"
#include "app/main_frame.h"
#include "app/window_list.h"
#include "app_fixture.h"
#include "broker/corbce.h"
#include "common/alert_delivery.h"
#include "common/printer_dll.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"
#include "eventually.h"
#include "wfprtmgr/wfprtmgr.h"

namespace {

constexpr DWORD kAlertFamily = 0x7E59;

struct Seen {
  UINT type;
  USHORT printer;
  UINT id;
  long extra;
  int state;
  bool operator==(const Seen&) const = default;
};

// Keeps every alert it is handed and answers the scripted bits.
class AlertIcon : public CWFPrinterIcon {
 public:
  AlertIcon(void* record, USHORT handle) : CWFPrinterIcon(nullptr, record) { m_hPrinter = handle; }
  static CWFPrinterIcon* create(WFPrtObj*, void* record) { return new AlertIcon(record, 101); }
  UINT ProcessAlert(CWFAlert* alert) override {
    std::lock_guard lock(m);
    seen.push_back({static_cast<UINT>(alert->GetType()), alert->GetPrinterHandle(), alert->GetAlertID(),
                    alert->GetExtraData(), alert->GetActiveState()});
    return answer;
  }
  static std::vector<Seen> taken() {
    std::lock_guard lock(m);
    return seen;
  }
  static std::mutex m;
  static std::vector<Seen> seen;
  static std::atomic<UINT> answer;
};
std::mutex AlertIcon::m;
std::vector<Seen> AlertIcon::seen;
std::atomic<UINT> AlertIcon::answer{0};

class ForgettingManager : public WFPrtMgr {
 public:
  ForgettingManager() : WFPrtMgr(1) {}
  void removePrinter(WFPrtObj::USHORT handle) override { forgotten.push_back(handle); }
  std::vector<USHORT> forgotten;  // written on the alert thread, read after it
};

class AlertService : public wf::testing::AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    static const DWORD ids[] = {kAlertFamily};
    app_.GetPrinterDLLManager()->RegisterDLL(nullptr, "Test", 0, &AlertIcon::create, ids, 1, nullptr);
    auto manager = std::make_unique<ForgettingManager>();
    manager_ = manager.get();
    app_.SetPrtMgr(std::move(manager));
    AlertIcon::seen.clear();
    AlertIcon::answer = 0;
  }
  void TearDown() override {
    alerts_.Shutdown();
    closeWindows(app_);
    app_.GetPrinterList()->DeleteAllPrinters();
    AppFixture::TearDown();
  }
  CWFPrinterIcon* printer() {
    ENUMBINARYDATA record{};
    std::strcpy(record.name, "Jammed");
    record.familyKey = kAlertFamily;
    NETADDRESS address{};
    std::strcpy(address.local, "LPT1");
    return app_.GetPrinterList()->CreateGhostPrinter(&address, &record, 0);
  }
  // Waits, serving the window's thread, until the icon saw `count` alerts.
  bool seenCount(size_t count) {
    return wf::testing::eventually([&] {
      dispatch();
      return AlertIcon::taken().size() == count;
    });
  }

  CWFApp app_;
  CWFAlertManager alerts_;
  ForgettingManager* manager_ = nullptr;
};

TEST_F(AlertService, MessagesBecomeAlertsAndARemovedPrinterGoesEverywhere) {
  CWFPrinterIcon* icon = printer();
  ASSERT_NE(icon, nullptr);
  CMainFrame* first = CMainFrame::Make("first");
  CMainFrame* second = CMainFrame::Make("second");
  app_.m_pMainWnd = first;
  first->GetView()->AddPrinter(icon);
  second->GetView()->AddPrinter(icon);
  ASSERT_TRUE(alerts_.Initialize());
  const HWND window = alerts_.GetNotificationWindow();
  ASSERT_NE(window, 0u);

  wf::postMessage(window, WM_BCE_DSA_ALERT, 0x00070065, 0x4);
  ASSERT_TRUE(seenCount(1));
  EXPECT_EQ(AlertIcon::taken()[0], (Seen{WM_BCE_DSA_ALERT, 101, 7, 0x4, CWFAlert::NOT_PROCESSED}));
  wf::postMessage(window, WM_BCE_ALERT_4, 0x00030065, 0);
  ASSERT_TRUE(seenCount(2));
  EXPECT_EQ(AlertIcon::taken()[1], (Seen{WM_BCE_ALERT_4, 101, 3, 0, CWFAlert::NOT_PROCESSED}));
  wf::postMessage(window, WM_BCE_DSA_ALERT, 0x00070099, 0x4);  // no icon has it

  // Removed while another connection is left: the printer stays.
  AlertIcon::answer = 0x11;
  wf::postMessage(window, WM_BCE_PRINTER_REMOVED, 101, BCE_PRINTER_DELETED);
  ASSERT_TRUE(seenCount(3));
  EXPECT_EQ(first->GetView()->GetItemCount(), 1);
  EXPECT_EQ(second->GetView()->GetItemCount(), 1);
  CWFPrinterIcon* held = app_.GetPrinterList()->FindPrinterIcon(101);
  ASSERT_NE(held, nullptr);
  held->ThreadUnlock();

  // Gone for good: out of both windows, the manager and the list.
  AlertIcon::answer = WF_ALERT_PRINTER_GONE;
  wf::postMessage(window, WM_BCE_PRINTER_REMOVED, 101, BCE_PRINTER_DELETED);
  ASSERT_TRUE(wf::testing::eventually([&] {
    dispatch();
    return app_.GetPrinterList()->GetIcons().empty();
  }));
  EXPECT_EQ(first->GetView()->GetItemCount(), 0);
  EXPECT_EQ(second->GetView()->GetItemCount(), 0);
  alerts_.Shutdown();
  EXPECT_EQ(manager_->forgotten, std::vector<USHORT>{101});
  EXPECT_EQ(alerts_.GetNotificationWindow(), 0u);
  EXPECT_EQ(AlertIcon::taken().size(), 4u);
}

TEST_F(AlertService, UnattachedMessagesAndUnknownPrintersAnswerZero) {
  ASSERT_NE(printer(), nullptr);
  EXPECT_EQ(WFHandleAlertMessage(&app_, WM_BCE_DSA_ALERT, 0x00070065, 0x4, nullptr), 0u);
  EXPECT_TRUE(AlertIcon::taken().empty());
  AlertIcon::answer = 0x2;
  EXPECT_EQ(alerts_.ProcessAlert(nullptr), 0u);
  CWFAlert unknown = WFAlertFromMessage(WM_BCE_JS_ALERT, 0x00010033, 9);
  EXPECT_EQ(alerts_.ProcessAlert(&unknown), 0u);
  CWFAlert known = WFAlertFromMessage(WM_BCE_JS_ALERT, 0x00010065, 9);
  EXPECT_EQ(alerts_.ProcessAlert(&known), 0x2u);
  EXPECT_TRUE(WFIsAlertMessage(WM_BCE_ALERT_4));
  EXPECT_FALSE(WFIsAlertMessage(1533));
}

}  // namespace
