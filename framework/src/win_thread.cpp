#include "framework/win_thread.h"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "frame_idle.h"
#include "framework/win_app.h"
#include "gui_thread.h"
#include "platform/clock.h"
#include "platform/message_queue.h"
#include "platform/thread.h"
#include "platform/trace.h"
#include "platform/window_messages.h"
#include "thread_state.h"

IMPLEMENT_DYNAMIC(CWinThread, CCmdTarget)

struct CWinThread::State {
  std::mutex m;
  std::condition_variable cv;
  int suspendCount = 0;
  bool created = false;
  bool ended = false;
  DWORD exitCode = STILL_ACTIVE;
  int priority = THREAD_PRIORITY_NORMAL;
  pid_t tid = 0;
  // The object and its running thread; the handle stays valid while either lives.
  std::atomic<int> holders{1};
};

struct ThreadAccess {
  static void main(CWinThread* thread, std::shared_ptr<CWinThread::State> state);
};

namespace wf::fw {
namespace {

// Private to the framework, in the range the original left to applications.
constexpr UINT kMessageBoxAnswer = 0xBF00;

thread_local CWinThread* currentThread = nullptr;
thread_local bool ownLoop = false;
thread_local int quitCode = 0;
thread_local std::map<WPARAM, int> boxAnswers;  // message box answers not yet waited for

// Handles of thread objects or threads still alive, so a stale handle is refused.
struct LiveHandles {
  std::mutex m;
  std::map<HANDLE, std::shared_ptr<CWinThread::State>> handles;
};
LiveHandles& liveHandles() {
  static auto* l = new LiveHandles;
  return *l;
}

std::shared_ptr<CWinThread::State> stateOf(HANDLE handle) {
  std::lock_guard lock(liveHandles().m);
  auto it = liveHandles().handles.find(handle);
  return it == liveHandles().handles.end() ? nullptr : it->second;
}

void releaseHandle(CWinThread::State* state) {
  if (--state->holders > 0) return;
  std::lock_guard lock(liveHandles().m);
  liveHandles().handles.erase(state);
}

// Nice values for the original priorities; raising above normal needs
// privileges a user rarely has, so failing to is not an error.
int niceOf(int priority) {
  if (priority <= THREAD_PRIORITY_IDLE) return 19;
  if (priority >= THREAD_PRIORITY_TIME_CRITICAL) return -10;
  return -priority * 5;
}

void applyPriority(pid_t tid, int priority) {
  if (tid) ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), niceOf(priority));
}

}  // namespace

void setCurrentWinThread(CWinThread* thread) {
  currentThread = thread;
}
bool threadRunsOwnLoop() {
  return ownLoop;
}
int lastQuitCode() {
  return quitCode;
}
void setLastQuitCode(int code) {
  quitCode = code;
}

bool postMessageBoxAnswer(DWORD thread, WPARAM token, int answer) {
  return wf::postThreadMessage(thread, kMessageBoxAnswer, token, answer);
}

int waitForMessageBoxAnswer(WPARAM token) {
  std::optional<int> quit;
  for (;;) {
    if (auto it = boxAnswers.find(token); it != boxAnswers.end()) {
      int answer = it->second;
      boxAnswers.erase(it);
      if (quit) wf::postQuitMessage(*quit);
      return answer;
    }
    wf::Message m;
    if (!wf::getMessage(m)) {
      if (m.message != wf::WM_QUIT) return 0;
      quit = static_cast<int>(m.wParam);
      continue;
    }
    if (m.hwnd == 0 && m.message == kMessageBoxAnswer)
      boxAnswers[m.wParam] = static_cast<int>(m.lParam);
    else if (m.hwnd != 0)
      wf::dispatchMessage(m);
  }
}

}  // namespace wf::fw

void ThreadAccess::main(CWinThread* thread, std::shared_ptr<CWinThread::State> state) {
  {
    std::unique_lock lock(state->m);
    state->tid = static_cast<pid_t>(::syscall(SYS_gettid));
    wf::fw::applyPriority(state->tid, state->priority);
    state->cv.wait(lock, [&] { return state->suspendCount <= 0; });
  }
  wf::fw::setCurrentWinThread(thread);
  DWORD code;
  if (thread->proc_) {
    code = thread->proc_(thread->param_);
  } else if (thread->InitInstance()) {
    code = static_cast<DWORD>(thread->Run());
  } else {
    code = static_cast<DWORD>(thread->ExitInstance());
  }
  wf::fw::setCurrentWinThread(nullptr);
  // Read before the end is told: an owner may delete the object at once.
  const bool autoDelete = thread->m_bAutoDelete;
  if (autoDelete) delete thread;
  std::lock_guard lock(state->m);
  state->exitCode = code;
  state->ended = true;
  // The thread lets go of its handle before anyone learns it ended, so an
  // owner that waits and then deletes the object finds the handle gone.
  wf::fw::releaseHandle(state.get());
  state->cv.notify_all();
}

CWinThread::CWinThread() : state_(std::make_shared<State>()) {
  m_hThread = state_.get();
  std::lock_guard lock(wf::fw::liveHandles().m);
  wf::fw::liveHandles().handles[m_hThread] = state_;
}

CWinThread::CWinThread(AFX_THREADPROC proc, LPVOID param) : CWinThread() {
  proc_ = proc;
  param_ = param;
}

CWinThread::~CWinThread() {
  wf::fw::releaseHandle(state_.get());
}

BOOL CWinThread::CreateThread(DWORD flags, UINT) {
  {
    std::lock_guard lock(state_->m);
    if (state_->created) return FALSE;
    state_->created = true;
    state_->suspendCount = (flags & CREATE_SUSPENDED) ? 1 : 0;
  }
  ++state_->holders;
  try {
    std::thread([this, state = state_] { ThreadAccess::main(this, state); }).detach();
  } catch (const std::system_error& e) {
    wf::platformTrace(std::string("framework: cannot start a thread: ") + e.what());
    --state_->holders;
    std::lock_guard lock(state_->m);
    state_->created = false;
    return FALSE;
  }
  return TRUE;
}

DWORD CWinThread::ResumeThread() {
  std::lock_guard lock(state_->m);
  if (!state_->created) return 0xFFFFFFFF;
  const int previous = state_->suspendCount;
  if (previous > 0 && --state_->suspendCount == 0) state_->cv.notify_all();
  return static_cast<DWORD>(previous);
}

BOOL CWinThread::SetThreadPriority(int priority) {
  std::lock_guard lock(state_->m);
  state_->priority = priority;
  wf::fw::applyPriority(state_->tid, priority);
  return TRUE;
}

int CWinThread::GetThreadPriority() const {
  std::lock_guard lock(state_->m);
  return state_->priority;
}

BOOL CWinThread::InitInstance() {
  return FALSE;
}

int CWinThread::ExitInstance() {
  return wf::fw::lastQuitCode();
}

BOOL CWinThread::OnIdle(LONG count) {
  if (count == 0) wf::fw::idleUpdateFrames(m_pMainWnd);
  return count < 1;
}

BOOL CWinThread::PumpMessage() {
  wf::Message m;
  if (!wf::getMessage(m)) {
    wf::fw::setLastQuitCode(m.message == wf::WM_QUIT ? static_cast<int>(m.wParam) : 0);
    return FALSE;
  }
  if (m.hwnd != 0) wf::dispatchMessage(m);
  return TRUE;
}

int CWinThread::Run() {
  const bool outer = std::exchange(wf::fw::ownLoop, true);
  LONG idleCount = 0;
  bool idle = true;
  for (;;) {
    wf::Message peeked;
    while (idle && !wf::peekMessage(peeked, wf::PeekMode::NoRemove))
      if (!OnIdle(idleCount++)) idle = false;
    if (!PumpMessage()) break;
    idle = true;
    idleCount = 0;
  }
  wf::fw::ownLoop = outer;
  return ExitInstance();
}

CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int priority, UINT stackSize, DWORD flags,
                           void*) {
  auto* thread = new CWinThread(proc, param);
  thread->SetThreadPriority(priority);
  if (!thread->CreateThread(flags, stackSize)) {
    delete thread;
    return nullptr;
  }
  return thread;
}

CWinThread* AfxBeginThread(CRuntimeClass* threadClass, int priority, UINT stackSize, DWORD flags, void*) {
  CObject* object = threadClass ? threadClass->CreateObject() : nullptr;
  auto* thread = dynamic_cast<CWinThread*>(object);
  if (!thread) {
    delete object;
    return nullptr;
  }
  thread->SetThreadPriority(priority);
  if (!thread->CreateThread(flags, stackSize)) {
    delete thread;
    return nullptr;
  }
  return thread;
}

CWinThread* AfxGetThread() {
  if (wf::fw::currentThread) return wf::fw::currentThread;
  return wf::fw::isGuiThread() ? AfxGetApp() : nullptr;
}

void AfxPostQuitMessage(int exitCode) {
  wf::fw::ensureGuiQueue();
  wf::postQuitMessage(exitCode);
}

void PostQuitMessage(int exitCode) {
  AfxPostQuitMessage(exitCode);
}

BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode) {
  auto state = wf::fw::stateOf(thread);
  if (!state || !exitCode) return FALSE;
  std::lock_guard lock(state->m);
  *exitCode = state->exitCode;
  return TRUE;
}

DWORD WaitForThread(HANDLE thread, DWORD ms) {
  auto state = wf::fw::stateOf(thread);
  if (!state) return WAIT_FAILED;
  std::unique_lock lock(state->m);
  auto ended = [&] { return state->ended; };
  if (ms == INFINITE)
    state->cv.wait(lock, ended);
  else if (!state->cv.wait_until(lock, wf::deadlineAfter(ms), ended))
    return WAIT_TIMEOUT;
  return WAIT_OBJECT_0;
}
