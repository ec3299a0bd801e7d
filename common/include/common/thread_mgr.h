#pragma once
// Background work: the application queues CWFThread items by priority
// (CWFApp::BeginThread); CWFThreadMgr's dispatcher polls the queue every
// 500 ms and runs the items on at most GetMaxThreads() workers at once. When
// every slot is busy, a worker older than 2 minutes is given up (logged, its
// slot freed); at shutdown the queue drains for at most 2 minutes. Workers
// are never killed: one given up finishes on its own and its thread object
// is deleted once it has ended.
#include "framework/collections.h"
#include "framework/ctime.h"

class CWinThread;

class CWFThread : public CObject {
  DECLARE_DYNAMIC(CWFThread)
 public:
  CWFThread() = default;
  CWFThread(UINT (*proc)(void*), void* param, int priority)
      : m_pfnProc(proc), m_pParam(param), m_nPriority(priority) {}

  void SetString(LPCSTR name) { m_name = name; }
  BOOL IsStringEmpty() const { return m_name.IsEmpty(); }
  const CString& GetString() const { return m_name; }

  UINT (*m_pfnProc)(void*) = nullptr;
  void* m_pParam = nullptr;
  int m_nPriority = 0;              // the worker's priority; higher runs first
  CWinThread* m_pWorker = nullptr;  // set and owned by the dispatcher
  CTime m_StartTime;

 private:
  CString m_name;
};

// Highest priority first, first in first out among equals; owns its items.
class CWFThreadQ : public CObList {
  DECLARE_DYNAMIC(CWFThreadQ)
 public:
  CWFThreadQ() : CObList(10) {}
  ~CWFThreadQ() override;
  BOOL Add(CWFThread* item);
};

class CWFThreadMgr : public CObject {
  DECLARE_DYNAMIC(CWFThreadMgr)
 public:
  CWFThreadMgr() = default;
  ~CWFThreadMgr() override;

  // Starts the dispatcher; 0.
  int Initialize();
  // Asks the dispatcher to drain and end, and waits for it.
  void Shutdown();

  // The shutdown flag, under the mutex "ThreadLock".
  BOOL GetThreadLock();
  void SetThreadLock(BOOL lock);
  // The application's queue, under the mutex "ThreadQueue".
  BOOL QueueIsEmpty();
  CWFThread* QueueRemoveHead();

 private:
  static UINT Dispatch(void* manager);

  BOOL m_bLock = FALSE;
  CWinThread* m_pDispatcher = nullptr;
};
