#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "framework/global_memory.h"
#include "framework/menu.h"
#include "framework/wnd.h"
#include "gui_pump.h"
#include "platform/clock.h"
#include "platform/thread.h"
#include "timers.h"
#include "window_client.h"

using wf::fw::testing::pumpUntil;

namespace {

constexpr UINT WM_RECORD = WM_USER + 1;  // what wf-testchild's win-post sends
constexpr UINT WM_ASK = WM_USER + 50;

// Logs each message with the thread it ran on; a global block in lParam is
// read and freed, as the system's receivers do.
class LogWnd : public CWnd {
 public:
  struct Entry {
    UINT message;
    WPARAM wParam;
    std::string text;
    wf::ThreadId thread;
  };
  std::vector<Entry> entries() const {
    std::lock_guard lock(m_);
    return entries_;
  }
  std::size_t count() const {
    std::lock_guard lock(m_);
    return entries_.size();
  }
  std::vector<UINT_PTR> timers() const {
    std::lock_guard lock(m_);
    return timers_;
  }

 protected:
  LRESULT OnRecord(WPARAM w, LPARAM l) {
    std::string text;
    if (std::size_t size = GlobalSize(reinterpret_cast<HGLOBAL>(l))) {
      const char* p = static_cast<const char*>(GlobalLock(reinterpret_cast<HGLOBAL>(l)));
      text.assign(p, strnlen(p, size));
      GlobalUnlock(reinterpret_cast<HGLOBAL>(l));
      GlobalFree(reinterpret_cast<HGLOBAL>(l));
    }
    std::lock_guard lock(m_);
    entries_.push_back({WM_RECORD, w, text, wf::currentThreadId()});
    return 0;
  }
  LRESULT OnAsk(WPARAM w, LPARAM) {
    return static_cast<LRESULT>(w * 2 + (wf::currentThreadId() == owner ? 1 : 0));
  }
  void OnTimer(UINT_PTR id) {
    std::lock_guard lock(m_);
    timers_.push_back(id);
  }
  DECLARE_MESSAGE_MAP()

 public:
  wf::ThreadId owner = wf::currentThreadId();

 private:
  mutable std::mutex m_;
  std::vector<Entry> entries_;
  std::vector<UINT_PTR> timers_;
};

BEGIN_MESSAGE_MAP(LogWnd, CWnd)
ON_MESSAGE(WM_RECORD, OnRecord)
ON_MESSAGE(WM_ASK, OnAsk)
ON_WM_TIMER()
END_MESSAGE_MAP()

class GuiWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    baseline = wf::fw::liveGlobalBlocks();
    ASSERT_TRUE(wnd.CreateEx(0, "WfLogWindow", "log", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, 0));
  }
  std::size_t baseline = 0;
  LogWnd wnd;
};

}  // namespace

TEST_F(GuiWindow, PostsFromAWorkerArriveOnTheGuiThreadInOrder) {
  const HWND hwnd = wnd.m_hWnd;
  std::thread worker([hwnd] {
    for (int i = 0; i < 50; ++i) {
      char text[16];
      std::snprintf(text, sizeof text, "job %d", i);
      // Every other message carries a text block; its sender lets go of it.
      LPARAM block = i % 2 ? reinterpret_cast<LPARAM>(wf::fw::globalTextCopy(text)) : 0;
      ASSERT_TRUE(PostMessage(hwnd, WM_RECORD, static_cast<WPARAM>(i), block));
    }
  });
  worker.join();
  ASSERT_TRUE(pumpUntil([&] { return wnd.count() == 50; }));
  auto entries = wnd.entries();
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(entries[i].wParam, static_cast<WPARAM>(i));
    EXPECT_EQ(entries[i].thread, wnd.owner);
    EXPECT_EQ(entries[i].text, i % 2 ? "job " + std::to_string(i) : "");
  }
  EXPECT_EQ(wf::fw::liveGlobalBlocks(), baseline);
}

TEST_F(GuiWindow, SendFromAnotherThreadRunsOnTheOwnerAndReturnsItsResult) {
  EXPECT_EQ(wnd.SendMessage(WM_ASK, 5), 11);  // same thread: direct
  std::atomic<LRESULT> answer{-1};
  std::thread worker([&] { answer = SendMessage(wnd.m_hWnd, WM_ASK, 20, 0); });
  ASSERT_TRUE(pumpUntil([&] { return answer != -1; }));
  worker.join();
  EXPECT_EQ(answer, 41);  // ran on the GUI thread
}

TEST_F(GuiWindow, PostsFromAnotherProcessArriveInOrderWithTheirText) {
  wf::testing::ChildProcess child;
  wf::testing::WindowClient windows(child);
  const HWND hwnd = wnd.m_hWnd;
  EXPECT_EQ(windows.find("wflogwindow"), hwnd);
  EXPECT_TRUE(windows.isWindow(hwnd));
  EXPECT_EQ(windows.post(hwnd, 20, "line"), 0);
  ASSERT_TRUE(pumpUntil([&] { return wnd.count() == 20; }));
  auto entries = wnd.entries();
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(entries[i].wParam, static_cast<WPARAM>(i));
    EXPECT_EQ(entries[i].text, "line" + std::to_string(i));
    EXPECT_EQ(entries[i].thread, wnd.owner);
  }
  EXPECT_EQ(wf::fw::liveGlobalBlocks(), baseline);

  const HWND gone = wnd.m_hWnd;
  ASSERT_TRUE(wnd.DestroyWindow());
  EXPECT_FALSE(windows.isWindow(hwnd));
  EXPECT_EQ(windows.post(hwnd, 1, "late"), 1);
  EXPECT_FALSE(IsWindow(gone));
}

TEST_F(GuiWindow, PostsToADestroyedWindowFailAndFreeTheirBlock) {
  const HWND hwnd = wnd.m_hWnd;
  // Queued before the window goes: dropped with it, never handled.
  ASSERT_TRUE(PostMessage(hwnd, WM_RECORD, 1, reinterpret_cast<LPARAM>(wf::fw::globalTextCopy("queued"))));
  ASSERT_TRUE(wnd.DestroyWindow());
  EXPECT_FALSE(PostMessage(hwnd, WM_RECORD, 2, reinterpret_cast<LPARAM>(wf::fw::globalTextCopy("late"))));
  EXPECT_EQ(SendMessage(hwnd, WM_ASK, 1, 0), 0);
  QCoreApplication::processEvents();
  EXPECT_EQ(wnd.count(), 0u);
  EXPECT_EQ(wf::fw::liveGlobalBlocks(), baseline);
}

TEST_F(GuiWindow, TimersRestartByIdStopOnKillAndWithTheWindow) {
  wf::setTimeScaleForTest(0.05);
  EXPECT_EQ(wnd.SetTimer(7, 200), 7u);
  EXPECT_EQ(wnd.SetTimer(7, 100), 7u);  // the same timer, restarted
  EXPECT_EQ(wnd.SetTimer(8, 100), 8u);
  ASSERT_TRUE(pumpUntil([&] {
    auto t = wnd.timers();
    return std::count(t.begin(), t.end(), 7) >= 3 && std::count(t.begin(), t.end(), 8) >= 3;
  }));
  EXPECT_FALSE(wnd.KillTimer(9));
  EXPECT_TRUE(wnd.KillTimer(7));
  EXPECT_FALSE(wnd.KillTimer(7));
  QCoreApplication::processEvents();  // a tick queued before the kill may still arrive
  const auto afterKill = wnd.timers();
  const auto sevens = std::count(afterKill.begin(), afterKill.end(), 7);
  ASSERT_TRUE(pumpUntil([&] {
    auto t = wnd.timers();
    return std::count(t.begin(), t.end(), 8) >= std::count(afterKill.begin(), afterKill.end(), 8) + 3;
  }));
  auto later = wnd.timers();
  EXPECT_EQ(std::count(later.begin(), later.end(), 7), sevens);

  const HWND hwnd = wnd.m_hWnd;
  ASSERT_TRUE(wnd.DestroyWindow());
  EXPECT_FALSE(wf::fw::killWindowTimer(hwnd, 8));  // went with the window
  EXPECT_EQ(wnd.SetTimer(8, 100), 0u);
  wf::setTimeScaleForTest(1);
}

TEST_F(GuiWindow, GreyedSystemMenuEntriesIgnoreTheirCommandsUntilReverted) {
  CMenu* menu = wnd.GetSystemMenu(FALSE);
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(wnd.GetSystemMenu(FALSE), menu);  // the window's one copy
  for (UINT command : {SC_RESTORE, SC_MOVE, SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE, SC_CLOSE})
    EXPECT_EQ(menu->GetMenuState(command, MF_BYCOMMAND) & MF_GRAYED, 0u) << command;
  EXPECT_EQ(menu->EnableMenuItem(SC_MAXIMIZE, MF_BYCOMMAND | MF_GRAYED), MF_ENABLED);
  menu->EnableMenuItem(SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
  EXPECT_EQ(menu->GetMenuState(SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED, MF_GRAYED);
  wnd.SendMessage(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  wnd.SendMessage(WM_SYSCOMMAND, SC_CLOSE | 2, 0);  // low bits are the system's own
  EXPECT_FALSE(wnd.IsZoomed());
  EXPECT_NE(wnd.m_hWnd, HWND{0});
  EXPECT_EQ(wnd.GetSystemMenu(TRUE), nullptr);
  EXPECT_EQ(wnd.GetSystemMenu(FALSE)->GetMenuState(SC_MAXIMIZE, MF_BYCOMMAND) & MF_GRAYED, 0u);
  wnd.SendMessage(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  EXPECT_TRUE(wnd.IsZoomed());
}
