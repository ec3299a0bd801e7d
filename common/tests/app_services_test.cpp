#include "common/app_services.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/wait_objects.h"
#include "fake_wf_app.h"
#include "framework/wnd.h"
#include "platform/window_messages.h"

namespace {

using wf::testing::FakeWFApp;

UINT nothing(void*) {
  return 0;
}

// A window of the test thread that keeps what reaches it.
class RecordingWindow {
 public:
  RecordingWindow() {
    window_.m_hWnd = wf::createWindow("WFTestWindow", [this](HWND, std::uint32_t message, WPARAM, LPARAM) {
      received_.push_back(message);
      return LRESULT{0};
    });
  }
  ~RecordingWindow() {
    wf::destroyWindow(window_.m_hWnd);
    window_.m_hWnd = 0;
  }
  CWnd* wnd() { return &window_; }
  HWND hwnd() const { return window_.m_hWnd; }
  // Dispatches what is queued and hands back what arrived.
  std::vector<UINT> take() {
    wf::Message m;
    while (wf::peekMessage(m, wf::PeekMode::Remove)) wf::dispatchMessage(m);
    return std::exchange(received_, {});
  }

 private:
  CWnd window_;
  std::vector<UINT> received_;
};

TEST(AppServices, TheApplicationIsReachedThroughTheFramework) {
  EXPECT_EQ(WFGetApp(), nullptr);
  {
    FakeWFApp app;
    EXPECT_EQ(WFGetApp(), static_cast<WFAppServices*>(&app));
    EXPECT_EQ(AfxGetApp(), &app);
    EXPECT_EQ(app.GetNormalImageList()->GetImageSize().cx, 32);
    EXPECT_EQ(app.GetNormalImageList()->GetImageSize().cy, 32);
    EXPECT_EQ(app.GetSmallImageList()->GetImageSize().cx, 16);
    EXPECT_EQ(app.GetSmallImageList()->GetImageSize().cy, 16);
    EXPECT_STREQ(app.GetAppRegistryKey(), "Software\\Corvane\\Wrenfield\\1.0");
    EXPECT_EQ(app.GetCascadePos()->step, 20);
  }
  EXPECT_EQ(WFGetApp(), nullptr);
}

TEST(AppServices, BeginThreadQueuesACopyOfTheNameByPriority) {
  FakeWFApp app;
  char name[] = "[Printer] Refresh";
  int param = 0;
  app.BeginThread(&nothing, &param, 0, name);
  std::strcpy(name, "reused");
  app.BeginThread(&nothing, nullptr, 1, nullptr);
  ASSERT_FALSE(app.ThreadMgrQIsEmpty());
  CWFThread* first = app.ThreadMgrQRemoveHead();
  CWFThread* second = app.ThreadMgrQRemoveHead();
  ASSERT_TRUE(first && second);
  EXPECT_TRUE(first->IsStringEmpty());
  EXPECT_EQ(first->m_nPriority, 1);
  EXPECT_EQ(second->GetString(), "[Printer] Refresh");
  EXPECT_EQ(second->m_pParam, &param);
  EXPECT_EQ(second->m_pfnProc, &nothing);
  EXPECT_EQ(app.ThreadMgrQRemoveHead(), nullptr);
  delete first;
  delete second;

  app.workQueue().setAccepting(false);
  app.BeginThread(&nothing, nullptr, 0, "late");
  EXPECT_TRUE(app.ThreadMgrQIsEmpty());
  app.workQueue().destroy();
  app.workQueue().setAccepting(true);
  app.BeginThread(&nothing, nullptr, 0, "no queue");
  EXPECT_TRUE(app.ThreadMgrQIsEmpty());
}

TEST(AppServices, TheLastEnumerationToEndAsksTheWindowsToResort) {
  FakeWFApp app;
  RecordingWindow window;
  app.windowList.addWindow(window.hwnd());
  app.IncreaseEnumSpecCount();
  app.IncreaseEnumSpecCount();
  EXPECT_EQ(app.GetEnumSpecCount(), 2);
  app.DecreaseEnumSpecCount();
  EXPECT_TRUE(app.windowList.calls().empty());
  app.DecreaseEnumSpecCount();
  EXPECT_EQ(app.GetEnumSpecCount(), 0);
  EXPECT_EQ(app.windowList.calls(), (std::vector<std::string>{"PostToAll 1148 0 0", "PostToAll 1152 0 0"}));
  EXPECT_EQ(window.take(), (std::vector<UINT>{WM_WF_RESORT, WM_WF_SELECTITEM}));
}

TEST(AppServices, WaitingForEnumerationsHoldsEveryUnit) {
  FakeWFApp app;
  app.IncreaseEnumSpecCount();
  std::atomic<bool> waited{false};
  std::thread whole([&] {
    app.WaitForEnumSpecsComplete();
    waited = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(waited) << "one enumeration still runs";
  app.DecreaseEnumSpecCount();
  whole.join();
  CSemaphore units("CWFAppEnumSpecificSemaphore", 0, 500);
  EXPECT_EQ(units.Wait(0), 258u) << "all 500 units are held";
  app.ReleaseAllEnumSpecs();
  EXPECT_EQ(units.Wait(0), 0u);
  EXPECT_TRUE(units.Release(1));
}

TEST(AppServices, BlinkListKeepsEveryEntry) {
  FakeWFApp app;
  RecordingWindow window;
  EXPECT_TRUE(app.AddToBlinkList(window.wnd()));
  EXPECT_TRUE(app.AddToBlinkList(window.wnd()));
  app.tickBlink();
  EXPECT_EQ(window.take(), (std::vector<UINT>{WM_WF_BLINK, WM_WF_BLINK}));
  EXPECT_FALSE(app.RemoveFromBlinkList(window.wnd()));
  EXPECT_TRUE(app.blinkTimerRunning());
  app.tickBlink();
  EXPECT_EQ(window.take(), std::vector<UINT>{WM_WF_BLINK});
  EXPECT_TRUE(app.RemoveFromBlinkList(window.wnd()));
  EXPECT_FALSE(app.blinkTimerRunning());
  app.tickBlink();
  EXPECT_TRUE(window.take().empty());
}

TEST(AppServices, FlashListHoldsEachWindowOnceAndOnlyWithTheSetting) {
  FakeWFApp app;
  RecordingWindow window;
  app.flashIcon = FALSE;
  EXPECT_FALSE(app.AddToFlashList(window.wnd()));
  EXPECT_FALSE(app.flashTimerRunning());
  app.flashIcon = TRUE;
  EXPECT_TRUE(app.AddToFlashList(window.wnd()));
  EXPECT_TRUE(app.AddToFlashList(window.wnd()));
  app.tickFlash();
  EXPECT_EQ(window.take(), std::vector<UINT>{WM_WF_FLASH});
  // Removal does not depend on the setting: a window added before flashing
  // was switched off must not stay listed after it is gone.
  app.flashIcon = FALSE;
  EXPECT_FALSE(app.RemoveFromFlashList(window.wnd()));
  EXPECT_FALSE(app.flashTimerRunning());
  app.flashIcon = TRUE;
  EXPECT_FALSE(app.RemoveFromFlashList(window.wnd()));
  app.tickFlash();
  EXPECT_TRUE(window.take().empty());
}

TEST(AppServices, SettingsLogAndHelpAreRecorded) {
  FakeWFApp app;
  app.loggingLevel = 0;
  app.Log(1, "hidden %d\n", 1);
  app.Log(0, "shown %s\n", "line");
  EXPECT_EQ(app.logLines(), std::vector<std::string>{"shown line\n"});
  app.waveFiles[8] = "c:\\sounds\\clear.wav";
  EXPECT_EQ(app.GetWaveFile(8).GetPath(), "c:\\sounds\\clear.wav");
  EXPECT_TRUE(app.GetWaveFile(3).GetPath().IsEmpty());
  app.WinHelp(4711, 1);
  EXPECT_EQ(app.helpCalls(), (std::vector<std::pair<UINT, std::uintptr_t>>{{1u, 4711u}}));
  EXPECT_EQ(app.GetPrinterFromHandle(11), nullptr);
}

TEST(AppServices, TheAlertManagerOwnsANotificationWindow) {
  FakeWFApp app;
  const HWND window = app.GetAlertManager()->GetNotificationWindow();
  ASSERT_NE(window, 0u);
  ASSERT_TRUE(wf::postMessage(window, 1524, 0x00120005, 7));
  wf::Message m;
  while (wf::peekMessage(m, wf::PeekMode::Remove)) wf::dispatchMessage(m);
  EXPECT_EQ(app.alertManager.received(), std::vector<std::string>{"1524 1179653 7"});
}

}  // namespace
