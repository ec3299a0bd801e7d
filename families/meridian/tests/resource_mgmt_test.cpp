// Disk and flash management on the Meridian icon: arming and listing both
// devices, the listing's alerts, the operation workers and their results,
// and the waiting windows' locks.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <tuple>

#include "common/notebook_messages.h"
#include "framework/global_memory.h"
#include "framework/scripted_shell.h"
#include "gui_pump.h"
#include "meridian/res_mgmt_item.h"
#include "meridian_fixture.h"
#include "platform/message_queue.h"

namespace wf::testing {
namespace {

constexpr std::uint16_t kHandle = 21;

// What a window was posted: the message and, for text, the text (the
// block freed as a receiver must); for an item, "item <device> <name>".
class Receiver : public CWnd {
 public:
  using Entry = std::pair<UINT, std::string>;
  std::vector<Entry> received() {
    std::lock_guard lock(m_);
    return received_;
  }
  void clear() {
    std::lock_guard lock(m_);
    received_.clear();
  }
  int count(UINT message) {
    int n = 0;
    for (const Entry& e : received()) n += e.first == message;
    return n;
  }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message < WM_USER || message == WM_WF_UPDATEPAGE) return CWnd::WindowProc(message, wParam, lParam);
    std::string what;
    if ((message == WM_WF_MESSAGE || message == WM_WF_RESOPRESULT) && lParam) {
      auto block = reinterpret_cast<HGLOBAL>(lParam);
      what = static_cast<const char*>(GlobalLock(block));
      GlobalUnlock(block);
      GlobalFree(block);
    } else if (message == WM_WF_RESNEWITEM) {
      auto* item = reinterpret_cast<CWFResMgmtItem*>(lParam);
      what = "item " + std::to_string(item->GetResourceID()) + " " + item->GetName().str();
      delete item;
    }
    std::lock_guard lock(m_);
    received_.emplace_back(message, what);
    return 0;
  }

 private:
  std::mutex m_;
  std::vector<Entry> received_;
};

WFPrtObj::DEVICEMGMTALERTDATA entry(const char* text, BYTE more = 1) {
  WFPrtObj::DEVICEMGMTALERTDATA r;
  r.kind = 16;
  r.moreEntries = more;
  r.entryFlag = 1;
  r.entry = text;
  return r;
}
WFPrtObj::DEVICEMGMTALERTDATA outcome(BYTE kind, ULONG result) {
  WFPrtObj::DEVICEMGMTALERTDATA r;
  r.kind = kind;
  r.result = result;
  return r;
}

class ResourceMgmtTest : public MeridianFixture {
 protected:
  void SetUp() override {
    MeridianFixture::SetUp();
    icon_ = addMeridian(kHandle, "LPT1");
    ASSERT_NE(icon_, nullptr);
    printer_ = printer(kHandle);
    ASSERT_TRUE(frame_.CreateEx(0, "ResFrame", "frame", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, 0));
    ASSERT_TRUE(notebook_.CreateEx(0, "ResNotebook", "notebook", WS_CHILD, 0, 0, 100, 100, frame_.m_hWnd));
    ASSERT_TRUE(dialog_.CreateEx(0, "ResDialog", "dialog", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, 0));
    wf::setTimeScaleForTest(0.001);
  }
  void TearDown() override {
    wf::setTimeScaleForTest(1.0);
    if (!icons().empty()) icon_->SetOpenDlgHandle(0);
    pump();
    dialog_.DestroyWindow();
    notebook_.DestroyWindow();
    frame_.DestroyWindow();
    MeridianFixture::TearDown();
  }
  void storage(ULONG flash, ULONG disk) {
    printer_->storage.flashSize = flash;
    printer_->storage.flashFree = flash;
    printer_->storage.diskSize = disk;
    printer_->storage.diskFree = disk;
  }
  // The page's side: the notebook open and its list ready.
  void openPage() {
    icon_->SetOpenDlgHandle(notebook_.m_hWnd);
    icon_->SetRMListView(TRUE);
  }
  void pump() {
    wf::Message m;
    while (wf::peekMessage(m, wf::PeekMode::Remove)) wf::dispatchMessage(m);
  }
  // The printer reports `record` under a new key; the alert path takes it.
  UINT alert(const WFPrtObj::DEVICEMGMTALERTDATA& record) {
    const USHORT key = ++key_;
    printer_->resAlerts[key] = record;
    CWFAlert a(kHandle, printer_, key, 1525, CWFAlert::NOT_PROCESSED, 0, 0, FALSE, FALSE, FALSE, FALSE);
    const UINT handled = icon_->ProcessResMgmtAlert(&a);
    pump();
    return handled;
  }
  std::vector<std::string> requests() {
    std::vector<std::string> out;
    for (const std::string& c : printer_->calls())
      if (c.rfind("bidiDevice", 0) == 0 && c.rfind("bidiDeviceQueryAlert", 0) != 0) out.push_back(c);
    return out;
  }
  static int captures() {
    int n = 0;
    for (const auto& call : fakebce::calls())
      n += call.function == "BceCaptureAlerts" && (call.netMask & 0x1000);
    return n;
  }
  std::vector<std::string> boxes() {
    std::vector<std::string> out;
    for (const auto& call : shell_.messageBox.calls()) out.push_back(call.text + "|" + call.caption);
    return out;
  }
  static std::string named(UINT id, const char* name) {
    std::string format = text(id).str();
    format.replace(format.find("%s"), 2, name);
    return format;
  }
  std::string listingError() { return text(40056).str() + "|" + text(40057).str(); }

  wf::fw::ScriptedShell shell_;
  CWFMeridianIcon* icon_ = nullptr;
  ScriptedPrtObj* printer_ = nullptr;
  Receiver frame_;
  Receiver notebook_;
  Receiver dialog_;
  USHORT key_ = 100;
};

using Posted = std::vector<Receiver::Entry>;

// ---- Arming and listing ----

TEST_F(ResourceMgmtTest, FlashIsListedFirstThenTheDiskUntilTheLastEntry) {
  storage(2048, 100000);
  openPage();
  icon_->ActivateResMgmtAlerts(TRUE);
  EXPECT_EQ(runQueuedWork(), std::vector<std::string>{"[Corvane Vireo 12 - LPT1] ArmRMAlerts()"});
  EXPECT_EQ(captures(), 1);
  EXPECT_TRUE(icon_->AreRMAlertsOn());
  EXPECT_EQ(requests(), std::vector<std::string>{"bidiDeviceFileListing 2"});
  EXPECT_FALSE(icon_->IsNewListingAllowed());
  EXPECT_EQ(notebook_.received(), (Posted{{WM_WF_MESSAGE, text(40060).str()}}));
  notebook_.clear();

  EXPECT_EQ(alert(entry("2;logo.ovl;L1;overlay;1024;Company logo")), 0x20u);
  alert(entry("2;form.mac;F2;macro;512;Invoice form", 0));
  EXPECT_EQ(notebook_.received(), (Posted{{WM_WF_RESNEWITEM, "item 2 logo.ovl"},
                                          {WM_WF_RESNEWITEM, "item 2 form.mac"},
                                          {WM_WF_RESQUERYDISK, ""},
                                          {WM_WF_MESSAGE, text(40061).str()}}));
  notebook_.clear();

  // The page answers the query by asking for the disk.
  icon_->StartDeviceList(1);
  EXPECT_EQ(requests().back(), "bidiDeviceFileListing 1");
  alert(entry("1;sans.fnt;S3;font;100000;Sans serif family", 0));
  EXPECT_EQ(notebook_.received(), (Posted{{WM_WF_MESSAGE, text(40061).str()},
                                          {WM_WF_RESNEWITEM, "item 1 sans.fnt"},
                                          {WM_WF_MESSAGE, ""},
                                          {WM_WF_RESLISTINGDONE, ""}}));
  EXPECT_TRUE(icon_->IsRefreshAllowed());
  EXPECT_EQ(notebook_.count(WM_WF_RESQUERYDISK), 0);
}

TEST_F(ResourceMgmtTest, OneDeviceIsListedAloneAndNoneEndsAtOnce) {
  struct Case {
    ULONG flash, disk;
    std::vector<std::string> requests;
    bool doneAtOnce;
  } cases[] = {{0, 100000, {"bidiDeviceFileListing 1"}, false}, {0, 0, {}, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.disk);
    storage(c.flash, c.disk);
    openPage();
    const std::size_t before = requests().size();
    icon_->ActivateResMgmtAlerts(TRUE);
    runQueuedWork();
    const std::vector<std::string> all = requests();
    EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<long>(before), all.end()), c.requests);
    EXPECT_EQ(notebook_.count(WM_WF_RESLISTINGDONE), c.doneAtOnce ? 1 : 0);
    if (!c.doneAtOnce) {
      alert(entry("1;a.fnt;A;font;10;Alpha", 0));
      EXPECT_EQ(notebook_.count(WM_WF_RESLISTINGDONE), 1);
    }
    EXPECT_EQ(notebook_.count(WM_WF_RESQUERYDISK), 0);
    EXPECT_TRUE(icon_->IsRefreshAllowed());
    icon_->OnRefresh();
    pump();
    notebook_.clear();
  }
}

TEST_F(ResourceMgmtTest, ArmingTwiceListsAgainWithoutWaitingOrCapturing) {
  storage(0, 500);
  openPage();
  icon_->ActivateResMgmtAlerts(TRUE);
  runQueuedWork();
  alert(entry("1;a.fnt;A;font;10;Alpha", 0));
  icon_->ActivateResMgmtAlerts(TRUE);
  runQueuedWork();
  EXPECT_EQ(captures(), 1);
  EXPECT_EQ(requests(), (std::vector<std::string>{"bidiDeviceFileListing 1", "bidiDeviceFileListing 1"}));
}

TEST_F(ResourceMgmtTest, ARefusedCaptureEndsTheListingAndTheNextActivationCapturesAgain) {
  storage(2048, 0);
  openPage();
  fakebce::setCaptureResult(-5);
  icon_->ActivateResMgmtAlerts(TRUE);
  runQueuedWork();
  EXPECT_EQ(boxes(), std::vector<std::string>{listingError()});
  EXPECT_FALSE(icon_->AreRMAlertsOn());
  EXPECT_TRUE(icon_->IsRefreshAllowed());
  EXPECT_EQ(notebook_.received(), (Posted{{WM_WF_MESSAGE, ""}, {WM_WF_RESLISTINGDONE, ""}}));
  EXPECT_TRUE(requests().empty());

  fakebce::setCaptureResult(0);
  icon_->ActivateResMgmtAlerts(TRUE);
  runQueuedWork();
  EXPECT_EQ(captures(), 2);
  EXPECT_EQ(requests(), std::vector<std::string>{"bidiDeviceFileListing 2"});
}

TEST_F(ResourceMgmtTest, ArmingKeepsClassesArmedMeanwhileAndDisarmingClearsOnlyItsOwn) {
  storage(0, 0);
  icon_->ActivateResMgmtAlerts(TRUE);
  // Armed after the request was queued: the worker must keep it.
  icon_->GetActiveAlerts()->mask = 0x10180;
  runQueuedWork();
  EXPECT_EQ(icon_->GetActiveAlerts()->mask, 0x11180u);
  icon_->ActivateResMgmtAlerts(FALSE);
  runQueuedWork();
  EXPECT_EQ(icon_->GetActiveAlerts()->mask, 0x10180u);
  EXPECT_FALSE(icon_->AreRMAlertsOn());
}

TEST_F(ResourceMgmtTest, ListingFailuresShowTheBoxAndEndOrSkip) {
  storage(2048, 0);
  openPage();
  icon_->ActivateResMgmtAlerts(TRUE);
  runQueuedWork();
  notebook_.clear();

  // An entry the request object cannot parse is skipped; the listing goes on.
  alert(entry("2;short;entry"));
  EXPECT_EQ(boxes(), std::vector<std::string>{listingError()});
  EXPECT_FALSE(icon_->IsNewListingAllowed());
  alert(entry("3;odd.fnt;O;font;1;Unknown device"));
  EXPECT_EQ(boxes().size(), 2u);
  alert(entry("2;ok.fnt;K;font;12K;Twelve", 1));
  EXPECT_EQ(notebook_.received(), (Posted{{WM_WF_RESNEWITEM, "item 2 ok.fnt"}}));

  // A record the request object refuses is not queued.
  const USHORT before = key_;
  CWFAlert unknown(kHandle, printer_, before + 50, 1525, CWFAlert::NOT_PROCESSED, 0, 0, FALSE, FALSE, FALSE,
                   FALSE);
  EXPECT_EQ(icon_->ProcessResMgmtAlert(&unknown), 0u);
  EXPECT_EQ(boxes().size(), 3u);
  EXPECT_EQ(icon_->GetResMgmtAlerts().GetCount(), 0);

  // A failed listing ends it.
  auto failed = entry("", 0);
  failed.result = 7;
  failed.entryFlag = 0;
  alert(failed);
  EXPECT_EQ(boxes().size(), 4u);
  EXPECT_TRUE(icon_->IsRefreshAllowed());
  EXPECT_EQ(notebook_.received().back(), (Receiver::Entry{WM_WF_MESSAGE, ""}));
  // Entries after the end are dropped.
  notebook_.clear();
  alert(entry("2;late.fnt;L;font;1;Late", 0));
  EXPECT_TRUE(notebook_.received().empty());
}

TEST_F(ResourceMgmtTest, PasswordFilesNeverReachThePageAndRefreshEndsTheListing) {
  storage(2048, 0);
  openPage();
  icon_->ActivateResMgmtAlerts(TRUE);
  runQueuedWork();
  notebook_.clear();
  alert(entry("2;readpassword.password;R;data;8;Read"));
  alert(entry("2;writepassword.password;W;data;8;Write"));
  EXPECT_TRUE(notebook_.received().empty());

  icon_->OnRefresh();
  pump();
  EXPECT_EQ(notebook_.received(), (Posted{{WM_WF_MESSAGE, ""}}));
  EXPECT_TRUE(icon_->IsRefreshAllowed());
  EXPECT_FALSE(icon_->AreRMAlertsOn());
}

TEST_F(ResourceMgmtTest, ItemsAreDroppedWhenTheNotebookIsClosedOrTheListNotReady) {
  storage(2048, 0);
  openPage();
  icon_->ActivateResMgmtAlerts(TRUE);
  runQueuedWork();
  notebook_.clear();
  icon_->SetRMListView(FALSE);
  alert(entry("2;a.fnt;A;font;1;A"));
  icon_->SetRMListView(TRUE);
  icon_->SetOpenDlgHandle(0);
  alert(entry("2;b.fnt;B;font;1;B"));
  EXPECT_TRUE(notebook_.received().empty());
  EXPECT_EQ(notebook_.count(WM_WF_RESNEWITEM), 0);
}

// ---- Operations and their results ----

TEST_F(ResourceMgmtTest, ResultsGoToTheRegisteredDialogWithTheStoredName) {
  icon_->CopyResource("Company logo", "logo.ovl", 2, 1, FALSE);
  icon_->CopyResource("Sans serif family", "sans.fnt", 1, 2, TRUE);
  icon_->DeleteResource("Invoice form", "form.mac", 2);
  icon_->FormatResource(2);
  runQueuedWork();
  EXPECT_EQ(requests(), (std::vector<std::string>{"bidiDeviceCopyFile logo.ovl 2 1 0",
                                                  "bidiDeviceCopyFile sans.fnt 1 2 1",
                                                  "bidiDeviceDeleteFile form.mac 2", "bidiDeviceFormat 2"}));
  const std::string flash = icon_->GetRMFmtDev().str();
  EXPECT_FALSE(flash.empty());
  struct Case {
    BYTE kind;
    std::function<void(HWND)> enroll;
    UINT failed, done;
    std::string name;
  } cases[] = {{17, [this](HWND w) { icon_->SetRMDelWindow(w); }, 40044, 40045, "Invoice form"},
               {18, [this](HWND w) { icon_->SetRMMoveWindow(w); }, 40039, 40040, "Sans serif family"},
               {19, [this](HWND w) { icon_->SetRMFmtWindow(w); }, 40047, 40048, flash},
               {20, [this](HWND w) { icon_->SetRMCopyWindow(w); }, 40036, 40037, "Company logo"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.kind));
    // None registered: dropped, its text freed.
    const std::size_t blocks = wf::fw::liveGlobalBlocks();
    alert(outcome(c.kind, 0));
    EXPECT_EQ(wf::fw::liveGlobalBlocks(), blocks);
    EXPECT_TRUE(dialog_.received().empty());
    c.enroll(dialog_.m_hWnd);
    alert(outcome(c.kind, 0));
    alert(outcome(c.kind, 3));
    EXPECT_EQ(dialog_.received(), (Posted{{WM_WF_RESOPRESULT, named(c.done, c.name.c_str())},
                                          {WM_WF_RESOPRESULT, named(c.failed, c.name.c_str())}}));
    EXPECT_TRUE(notebook_.received().empty());
    c.enroll(0);
    dialog_.clear();
  }
}

TEST_F(ResourceMgmtTest, ARefusedRequestTellsItsDialogAndTheWorkerEndsWithOne) {
  struct Case {
    const char* request;
    std::function<void()> start;
    std::function<void(HWND)> enroll;
    std::string text;
  } cases[] = {
      {"bidiDeviceCopyFile", [this] { icon_->CopyResource("Logo", "logo.ovl", 2, 1, FALSE); },
       [this](HWND w) { icon_->SetRMCopyWindow(w); }, named(40036, "Logo")},
      {"bidiDeviceCopyFile", [this] { icon_->CopyResource("Sans", "sans.fnt", 1, 2, TRUE); },
       [this](HWND w) { icon_->SetRMMoveWindow(w); }, named(40039, "Sans")},
      {"bidiDeviceDeleteFile", [this] { icon_->DeleteResource("Form", "form.mac", 1); },
       [this](HWND w) { icon_->SetRMDelWindow(w); }, named(40044, "Form")},
      {"bidiDeviceFormat", [this] { icon_->FormatResource(1); }, [this](HWND w) { icon_->SetRMFmtWindow(w); },
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request);
    printer_->rejects = {{c.request, -5}};
    c.enroll(dialog_.m_hWnd);
    c.start();
    std::unique_ptr<CWFThread> work(app_.ThreadMgrQRemoveHead());
    ASSERT_NE(work, nullptr);
    EXPECT_EQ(work->m_pfnProc(work->m_pParam), 1u);
    pump();
    const std::string expected = c.text.empty() ? named(40047, icon_->GetRMFmtDev().str().c_str()) : c.text;
    EXPECT_EQ(dialog_.received(), (Posted{{WM_WF_RESOPRESULT, expected}}));
    c.enroll(0);
    dialog_.clear();
  }
  // Accepted: nothing until the printer's alert.
  printer_->rejects.clear();
  icon_->SetRMDelWindow(dialog_.m_hWnd);
  icon_->DeleteResource("Form", "form.mac", 1);
  std::unique_ptr<CWFThread> work(app_.ThreadMgrQRemoveHead());
  EXPECT_EQ(work->m_pfnProc(work->m_pParam), 0u);
  pump();
  EXPECT_TRUE(dialog_.received().empty());
  icon_->SetRMDelWindow(0);
}

TEST_F(ResourceMgmtTest, AGetOnAnotherThreadWaitsForTheRelease) {
  icon_->SetRMCopyWindow(dialog_.m_hWnd);
  EXPECT_EQ(icon_->GetRMCopyWindow(), dialog_.m_hWnd);
  std::atomic<bool> got{false};
  std::thread other([&] {
    icon_->SetRMCopyWindow(0);
    got = true;
  });
  // The other thread cannot change the window while it is held here.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(got);
  icon_->ReleaseRMCopyWindow();
  other.join();
  EXPECT_TRUE(got);
  EXPECT_EQ(icon_->GetRMCopyWindow(), HWND(0));
  icon_->ReleaseRMCopyWindow();
}

TEST(ResMgmtItem, KeepsTheEntryAndCountsItsSizeDigits) {
  WFPrtObj::DEVICEDIRECTORYDATA d;
  d.device = 2;
  d.name = "logo.ovl";
  d.id = "L1";
  d.type = "overlay";
  d.size = "12K";
  d.description = std::string(500, 'x');
  CWFResMgmtItem item(d, "Flash");
  EXPECT_EQ(item.GetResourceID(), 2u);
  EXPECT_EQ(item.GetResourceName(), "Flash");
  EXPECT_EQ(item.GetSizeD(), 12u);
  EXPECT_EQ(item.GetSize(), "12K");
  EXPECT_EQ(item.GetDescription().GetLength(), 500);
  d.size = "none";
  EXPECT_EQ(CWFResMgmtItem(d, "").GetSizeD(), 0u);
  EXPECT_TRUE(CWFResMgmtItem().GetName().IsEmpty());
}

}  // namespace
}  // namespace wf::testing
