// A printer window filling itself while an enumeration thread replaces the
// very icons it was told about: the posted icons and the list's snapshots
// go stale under the window, which must neither touch a freed icon nor
// wait for ever on the list.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/list_view.h"
#include "app/main_frame.h"
#include "app_fixture.h"
#include "common/printer_dll.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"
#include "prtobj/wfprtobj.h"
#include "wfprtmgr/wfprtmgr.h"

namespace {

constexpr DWORD kRaceFamily = 0x7E59;
constexpr USHORT kFirstHandle = 11;
constexpr int kPrinters = 6;
constexpr int kRounds = 150;

// Of no generic family, so every report of its printer replaces its icon.
class ReplacedIcon : public CWFPrinterIcon {
 public:
  ReplacedIcon(WFPrtObj* object, void* record) : CWFPrinterIcon(nullptr, record) {
    m_hPrinter = object ? object->getBCEHandle() : 0;
    m_bGhost = FALSE;
    // Ports that are no part of one another: the address tells them apart.
    setText(m_port, CString("P") + CString(std::to_string(m_hPrinter).c_str()) + ":");
  }
  static CWFPrinterIcon* create(WFPrtObj* object, void* record) { return new ReplacedIcon(object, record); }
};

// Ends the process with a message when the race has locked up: the test
// would otherwise wait for ever.
class HangWatch {
 public:
  explicit HangWatch(std::chrono::seconds limit)
      : thread_([this, limit] {
          std::unique_lock lock(m_);
          if (!done_.wait_for(lock, limit, [this] { return finished_; })) {
            std::fputs("window fill and enumeration deadlocked\n", stderr);
            std::abort();
          }
        }) {}
  ~HangWatch() {
    {
      std::lock_guard lock(m_);
      finished_ = true;
    }
    done_.notify_all();
    thread_.join();
  }

 private:
  std::mutex m_;
  std::condition_variable done_;
  bool finished_ = false;
  std::thread thread_;
};

class WindowFillRace : public wf::testing::AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    static const DWORD ids[] = {kRaceFamily};
    app_.GetPrinterDLLManager()->RegisterDLL(nullptr, "Race", 0, &ReplacedIcon::create, ids, 1, nullptr);
    for (int i = 0; i < kPrinters; ++i)
      objects_.push_back(std::make_unique<WFPrtObj>(static_cast<USHORT>(kFirstHandle + i), kRaceFamily, FALSE));
  }
  void TearDown() override {
    closeWindows(app_);
    app_.GetPrinterList()->DeleteAllPrinters();
    AppFixture::TearDown();
  }

  // One whole-system enumeration as the printer manager runs it.
  void enumerate(HWND notify) {
    auto* request = new ENUMPRTDATA;
    request->hNotify = notify;
    request->pList = app_.GetPrinterList();
    const auto data = reinterpret_cast<std::uintptr_t>(request);
    for (auto& object : objects_) EnumPrintersCallback(object.get(), data, WF_ENUM_REASON_NEW);
    EnumPrintersCallback(nullptr, data, WF_ENUM_REASON_NEW);
  }

  CWFApp app_;
  std::vector<std::unique_ptr<WFPrtObj>> objects_;
};

TEST_F(WindowFillRace, AReplacingEnumerationNeverStrandsOrLocksTheFill) {
  CMainFrame* window = openWindow(app_, "Race");
  ASSERT_NE(window, nullptr);
  const HWND notify = window->GetSafeHwnd();
  {
    HangWatch watch(std::chrono::seconds(240));
    std::atomic<bool> enumerating{true};
    std::thread enumeration([&] {
      for (int round = 0; round < kRounds; ++round) enumerate(notify);
      enumerating = false;
    });
    // The GUI thread fills the window from what the enumeration posts, and
    // from the list itself now and then, as a window made meanwhile does.
    for (int turn = 0; enumerating; ++turn) {
      dispatch();
      if (turn % 7 == 0) window->AddPassingPrinters();
      std::this_thread::yield();
    }
    enumeration.join();
    dispatch();
  }
  CWFPrinterList* list = app_.GetPrinterList();
  EXPECT_EQ(list->GetIcons().size(), static_cast<size_t>(kPrinters)) << "each printer has one icon";
  window->AddPassingPrinters();
  const std::vector<CWFPrinterIcon*> shown = window->GetView()->Printers();
  ASSERT_EQ(shown.size(), static_cast<size_t>(kPrinters)) << "one row per printer";
  std::vector<bool> seen(kPrinters, false);
  for (CWFPrinterIcon* icon : shown) {
    ASSERT_TRUE(list->IsInList(icon)) << "a row shows an icon the list no longer holds";
    const int index = icon->GetPrinterHandle() - kFirstHandle;
    icon->ThreadUnlock();
    ASSERT_TRUE(index >= 0 && index < kPrinters);
    EXPECT_FALSE(seen[index]) << "printer " << index << " shown twice";
    seen[index] = true;
  }
}

}  // namespace
