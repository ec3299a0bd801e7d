#pragma once
// Framework threads. A user-interface thread (a CWinThread subclass started
// by run-time class) runs InitInstance, then its own message loop until
// PostQuitMessage, then ExitInstance. A worker thread runs one function. Both
// can start suspended, carry a priority and an exit code (STILL_ACTIVE while
// running) and delete their object when they end unless m_bAutoDelete is
// cleared. Threads are never killed: an owner waits for them with a bound.
#include <memory>

#include "framework/wnd.h"

using HANDLE = void*;
using AFX_THREADPROC = UINT (*)(LPVOID);

constexpr DWORD STILL_ACTIVE = 259;
constexpr DWORD CREATE_SUSPENDED = 0x00000004;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD INFINITE = 0xFFFFFFFF;

constexpr int THREAD_PRIORITY_LOWEST = -2;
constexpr int THREAD_PRIORITY_BELOW_NORMAL = -1;
constexpr int THREAD_PRIORITY_NORMAL = 0;
constexpr int THREAD_PRIORITY_ABOVE_NORMAL = 1;
constexpr int THREAD_PRIORITY_HIGHEST = 2;
constexpr int THREAD_PRIORITY_IDLE = -15;
constexpr int THREAD_PRIORITY_TIME_CRITICAL = 15;

class CWinThread : public CCmdTarget {
  DECLARE_DYNAMIC(CWinThread)
 public:
  CWinThread();
  explicit CWinThread(AFX_THREADPROC proc, LPVOID param);
  ~CWinThread() override;

  // Starts the thread; FALSE when it cannot be started.
  BOOL CreateThread(DWORD flags = 0, UINT stackSize = 0);
  // Counts down one suspension; the thread runs at 0. The previous count, or
  // 0xFFFFFFFF when the thread was not created.
  DWORD ResumeThread();
  BOOL SetThreadPriority(int priority);
  int GetThreadPriority() const;

  virtual BOOL InitInstance();
  // The message loop; its result is ExitInstance's.
  virtual int Run();
  virtual int ExitInstance();
  // Idle work between messages; TRUE asks for another call with count + 1.
  virtual BOOL OnIdle(LONG count);
  virtual BOOL PumpMessage();

  CWnd* GetMainWnd() const { return m_pMainWnd; }

  CWnd* m_pMainWnd = nullptr;
  BOOL m_bAutoDelete = TRUE;
  HANDLE m_hThread = nullptr;  // valid while the object lives
  DWORD m_nThreadID = 0;

  struct State;

 private:
  friend struct ThreadAccess;
  std::shared_ptr<State> state_;
  AFX_THREADPROC proc_ = nullptr;
  LPVOID param_ = nullptr;
};

// A worker running `proc(param)`; its result is the exit code.
CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int priority = THREAD_PRIORITY_NORMAL,
                           UINT stackSize = 0, DWORD flags = 0, void* security = nullptr);
// A user-interface thread of a class derived from CWinThread with DECLARE_DYNCREATE.
CWinThread* AfxBeginThread(CRuntimeClass* threadClass, int priority = THREAD_PRIORITY_NORMAL,
                           UINT stackSize = 0, DWORD flags = 0, void* security = nullptr);

// The framework thread object of the calling thread (the application on the GUI thread); null otherwise.
CWinThread* AfxGetThread();
// Ends the calling thread's message loop once earlier posts are handled.
void AfxPostQuitMessage(int exitCode);
void PostQuitMessage(int exitCode);

// FALSE for a handle of no live thread object.
BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode);
// The thread form of waiting on a handle: WAIT_OBJECT_0 once the thread has
// ended, WAIT_TIMEOUT after `ms` system milliseconds.
DWORD WaitForThread(HANDLE thread, DWORD ms);
