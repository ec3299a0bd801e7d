#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "eventually.h"
#include "framework/scripted_shell.h"
#include "framework/shell_calls.h"
#include "framework/win_thread.h"
#include "gui_pump.h"
#include "platform/thread.h"

using wf::fw::testing::pumpUntil;

namespace {

constexpr UINT WM_JOB = WM_USER + 10;
constexpr UINT WM_QUIT_NOW = WM_USER + 11;
constexpr UINT WM_ASK_USER = WM_USER + 12;

// What the service thread's window saw, readable from the test.
struct ServiceLog {
  std::mutex m;
  std::vector<std::string> lines;
  std::atomic<HWND> window{0};
  std::atomic<wf::ThreadId> thread{0};
  std::atomic<bool> exited{false};
  void add(std::string line) {
    std::lock_guard lock(m);
    lines.push_back(std::move(line));
  }
  std::vector<std::string> copy() {
    std::lock_guard lock(m);
    return lines;
  }
};
ServiceLog* serviceLog = nullptr;

class ServiceWnd : public CWnd {
 protected:
  LRESULT OnJob(WPARAM w, LPARAM) {
    serviceLog->add("job " + std::to_string(w) +
                    (wf::currentThreadId() == serviceLog->thread ? "" : " elsewhere"));
    return 0;
  }
  LRESULT OnQuitNow(WPARAM code, LPARAM) {
    PostQuitMessage(static_cast<int>(code));
    return 0;
  }
  LRESULT OnAskUser(WPARAM, LPARAM) {
    int answer = AfxMessageBox("The job statistics data file is about to exceed its maximum size limit.",
                               MB_ABORTRETRYIGNORE | MB_ICONEXCLAMATION);
    serviceLog->add("answer " + std::to_string(answer));
    return 0;
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ServiceWnd, CWnd)
ON_MESSAGE(WM_JOB, OnJob)
ON_MESSAGE(WM_QUIT_NOW, OnQuitNow)
ON_MESSAGE(WM_ASK_USER, OnAskUser)
END_MESSAGE_MAP()

// A user-interface thread with a hidden window as its main window.
class ServiceThread : public CWinThread {
  DECLARE_DYNCREATE(ServiceThread)
 public:
  BOOL InitInstance() override {
    serviceLog->thread = wf::currentThreadId();
    if (!window_.CreateEx(WS_EX_TRANSPARENT, "WfServiceWindow", "", WS_POPUP, 9999, 9999, 10, 10, 0))
      return FALSE;
    m_pMainWnd = &window_;
    serviceLog->window = window_.m_hWnd;
    return TRUE;
  }
  int ExitInstance() override {
    serviceLog->exited = true;
    return CWinThread::ExitInstance();
  }

 private:
  ServiceWnd window_;
};
IMPLEMENT_DYNCREATE(ServiceThread, CWinThread)

class UiThreads : public ::testing::Test {
 protected:
  void SetUp() override { serviceLog = &log; }
  void TearDown() override { serviceLog = nullptr; }

  CWinThread* start() {
    CWinThread* thread =
        AfxBeginThread(RUNTIME_CLASS(ServiceThread), THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    if (!thread) return nullptr;
    thread->m_bAutoDelete = FALSE;
    thread->ResumeThread();
    if (!pumpUntil([&] { return log.window != 0; })) return nullptr;
    return thread;
  }
  ServiceLog log;
};

}  // namespace

TEST_F(UiThreads, HiddenWindowTakesPostsInOrderAndQuitEndsTheThread) {
  CWinThread* thread = start();
  ASSERT_NE(thread, nullptr);
  EXPECT_TRUE(thread->IsKindOf(RUNTIME_CLASS(CWinThread)));
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(PostMessage(log.window, WM_JOB, i, 0));
  ASSERT_TRUE(PostMessage(log.window, WM_QUIT_NOW, 3, 0));
  EXPECT_EQ(WaitForThread(thread->m_hThread, 10'000), WAIT_OBJECT_0);
  auto lines = log.copy();
  ASSERT_EQ(lines.size(), 20u);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(lines[i], "job " + std::to_string(i));
  EXPECT_TRUE(log.exited);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread->m_hThread, &code));
  EXPECT_EQ(code, 3u);  // the quit code, through ExitInstance
  delete thread;
}

TEST_F(UiThreads, ClosingTheMainWindowEndsTheThread) {
  CWinThread* thread = start();
  ASSERT_NE(thread, nullptr);
  const HWND window = log.window;
  ASSERT_TRUE(PostMessage(window, WM_CLOSE, 0, 0));  // default processing destroys it
  EXPECT_EQ(WaitForThread(thread->m_hThread, 10'000), WAIT_OBJECT_0);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(PostMessage(window, WM_JOB, 1, 0));
  EXPECT_EQ(thread->m_pMainWnd, nullptr);
  delete thread;
}

TEST_F(UiThreads, AThreadWithItsOwnLoopKeepsHandlingPostsWhileItsBoxIsOpen) {
  wf::fw::ScriptedShell shell;
  CWinThread* thread = start();
  ASSERT_NE(thread, nullptr);
  const HWND window = log.window;
  // The user answers only after the thread has handled posts made while the box is up.
  shell.messageBox.respondWith([&](const wf::fw::MessageBoxRequest&) {
    for (int i = 0; i < 3; ++i) PostMessage(window, WM_JOB, i, 0);
    const bool handled = wf::testing::eventually([&] { return log.copy().size() == 3; });
    return handled ? IDIGNORE : IDABORT;
  });
  ASSERT_TRUE(PostMessage(window, WM_ASK_USER, 0, 0));
  ASSERT_TRUE(pumpUntil([&] { return log.copy().size() == 4; }));
  EXPECT_EQ(log.copy(), (std::vector<std::string>{"job 0", "job 1", "job 2", "answer 5"}));
  auto calls = shell.messageBox.calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].style, MB_ABORTRETRYIGNORE | MB_ICONEXCLAMATION);

  ASSERT_TRUE(PostMessage(window, WM_CLOSE, 0, 0));
  EXPECT_EQ(WaitForThread(thread->m_hThread, 10'000), WAIT_OBJECT_0);
  delete thread;
}

namespace {

struct Gate {
  std::mutex m;
  std::condition_variable cv;
  bool open = false;
  bool ran = false;
};

UINT gatedWorker(LPVOID param) {
  auto* gate = static_cast<Gate*>(param);
  std::unique_lock lock(gate->m);
  gate->ran = true;
  gate->cv.notify_all();
  gate->cv.wait(lock, [&] { return gate->open; });
  return 7;
}

}  // namespace

TEST(Workers, StartSuspendedReadStillActiveWhileRunningThenTheirExitCode) {
  Gate gate;
  CWinThread* worker = AfxBeginThread(gatedWorker, &gate, THREAD_PRIORITY_BELOW_NORMAL, 0, CREATE_SUSPENDED);
  ASSERT_NE(worker, nullptr);
  worker->m_bAutoDelete = FALSE;
  EXPECT_EQ(worker->GetThreadPriority(), THREAD_PRIORITY_BELOW_NORMAL);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(worker->m_hThread, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_EQ(WaitForThread(worker->m_hThread, 0), WAIT_TIMEOUT);
  {
    std::lock_guard lock(gate.m);
    EXPECT_FALSE(gate.ran);  // suspended: not started yet
  }
  EXPECT_EQ(worker->ResumeThread(), 1u);
  EXPECT_EQ(worker->ResumeThread(), 0u);  // already running
  {
    std::unique_lock lock(gate.m);
    gate.cv.wait(lock, [&] { return gate.ran; });
  }
  ASSERT_TRUE(GetExitCodeThread(worker->m_hThread, &code));
  EXPECT_EQ(code, 259u);
  {
    std::lock_guard lock(gate.m);
    gate.open = true;
  }
  gate.cv.notify_all();
  EXPECT_EQ(WaitForThread(worker->m_hThread, 10'000), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeThread(worker->m_hThread, &code));
  EXPECT_EQ(code, 7u);
  HANDLE stale = worker->m_hThread;
  delete worker;
  EXPECT_FALSE(GetExitCodeThread(stale, &code));
  EXPECT_EQ(WaitForThread(stale, 0), WAIT_FAILED);
}

TEST(Workers, AnAutoDeletingWorkerRunsOnceAndGoes) {
  static std::atomic<int> runs{0};
  runs = 0;
  CWinThread* worker = AfxBeginThread([](LPVOID) -> UINT { return ++runs; }, nullptr);
  ASSERT_NE(worker, nullptr);
  EXPECT_TRUE(pumpUntil([] { return runs == 1; }));
  EXPECT_EQ(AfxBeginThread(static_cast<CRuntimeClass*>(nullptr)), nullptr);
  EXPECT_EQ(AfxBeginThread(RUNTIME_CLASS(CWnd)), nullptr);  // not a thread class
}

TEST(MessageBoxRules, AWorkersNoticeIsShownElsewhereAndAnswersOkAtOnce) {
  wf::fw::ScriptedShell shell;
  shell.messageBox.script(IDCANCEL);  // whatever the user does, the worker had its OK
  std::atomic<int> answer{-1};
  std::thread worker([&] { answer = AfxMessageBox("Printer offline", MB_OK | MB_ICONINFORMATION); });
  worker.join();  // did not wait for the GUI thread, which has not run yet
  EXPECT_EQ(answer, IDOK);
  ASSERT_TRUE(pumpUntil([&] { return shell.messageBox.calls().size() == 1; }));
  EXPECT_EQ(shell.messageBox.calls()[0].text, "Printer offline");
}
