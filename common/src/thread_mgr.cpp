#include "common/thread_mgr.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "common/app_services.h"
#include "common/wait_objects.h"
#include "framework/win_thread.h"
#include "platform/clock.h"
#include "platform/trace.h"

IMPLEMENT_DYNAMIC(CWFThread, CObject)
IMPLEMENT_DYNAMIC(CWFThreadQ, CObList)
IMPLEMENT_DYNAMIC(CWFThreadMgr, CObject)

namespace {

constexpr DWORD kPollMs = 500;
constexpr int kDefaultMaxThreads = 20;
const CTimeSpan kMaxWorkerAge(0, 0, 2, 0);
const CTimeSpan kShutdownGrace(0, 0, 2, 0);

void logGivenUp(const char* format, const CWFThread* item) {
  if (WFAppServices* app = WFGetApp())
    app->Log(1, format, item->IsStringEmpty() ? "(unknown)" : static_cast<LPCSTR>(item->GetString()));
}

bool stillRunning(const CWFThread* item) {
  DWORD code = 0;
  return !GetExitCodeThread(item->m_pWorker->m_hThread, &code) || code == STILL_ACTIVE;
}

void destroy(CWFThread* item) {
  delete item->m_pWorker;
  delete item;
}

// Workers still running when their dispatcher ended stay with the process
// (their thread objects are read by the framework after they return).
void leaveToProcessEnd(std::vector<CWFThread*>& running) {
  if (running.empty()) return;
  static std::mutex m;
  static auto* kept = new std::vector<CWFThread*>;
  std::lock_guard lock(m);
  kept->insert(kept->end(), running.begin(), running.end());
  wf::platformTrace("ThreadMgr: " + std::to_string(running.size()) +
                    " worker(s) still running at the dispatcher's end are left to the process's end");
  running.clear();
}

// The dispatcher's own state; no other thread touches it.
class Dispatcher {
 public:
  explicit Dispatcher(CWFThreadMgr* manager) : manager_(manager), slots_(slotCount(), nullptr) {}

  void run() {
    for (;;) {
      wf::sleepFor(kPollMs);
      const BOOL shuttingDown = manager_->GetThreadLock();
      if (shuttingDown) {
        const CTime now = CTime::GetCurrentTime();
        if (!deadlineSet_) {
          deadline_ = now + kShutdownGrace;
          deadlineSet_ = true;
        }
        if (now > deadline_) force_ = true;
      }
      for (auto& slot : slots_) {
        if (slot && !stillRunning(slot)) {
          destroy(slot);
          slot = nullptr;
          --busy_;
        }
        if (!manager_->QueueIsEmpty() && !slot) slot = start(manager_->QueueRemoveHead());
      }
      reapGivenUp();
      if (busy_ == static_cast<int>(slots_.size())) freeSlotsOfOldWorkers();
      busy_ = static_cast<int>(std::count_if(slots_.begin(), slots_.end(), [](auto* s) { return s; }));
      if ((manager_->GetThreadLock() && manager_->QueueIsEmpty() && busy_ == 0) || force_) break;
    }
    finish();
  }

 private:
  static std::size_t slotCount() {
    WFAppServices* app = WFGetApp();
    const int count = app ? app->GetMaxThreads() : kDefaultMaxThreads;
    return static_cast<std::size_t>(count > 0 ? count : kDefaultMaxThreads);
  }

  CWFThread* start(CWFThread* item) {
    if (!item) return nullptr;
    item->m_StartTime = CTime::GetCurrentTime();
    item->m_pWorker = AfxBeginThread(item->m_pfnProc, item->m_pParam, item->m_nPriority, 0, CREATE_SUSPENDED);
    if (!item->m_pWorker) {
      wf::platformTrace("ThreadMgr: a worker could not be started; its item is dropped");
      delete item;
      return nullptr;
    }
    item->m_pWorker->m_bAutoDelete = FALSE;
    item->m_pWorker->ResumeThread();
    ++busy_;
    return item;
  }

  void freeSlotsOfOldWorkers() {
    const CTime now = CTime::GetCurrentTime();
    for (auto& slot : slots_) {
      if (!slot || now - slot->m_StartTime <= kMaxWorkerAge) continue;
      if (stillRunning(slot)) {
        logGivenUp("[ThreadMgr] Terminating to free slot: %s\n", slot);
        givenUp_.push_back(slot);
      } else {
        destroy(slot);
      }
      slot = nullptr;
      --busy_;
    }
  }

  void reapGivenUp() {
    std::erase_if(givenUp_, [](CWFThread* item) {
      if (stillRunning(item)) return false;
      destroy(item);
      return true;
    });
  }

  void finish() {
    std::vector<CWFThread*> running;
    for (auto& slot : slots_) {
      if (!slot) continue;
      if (stillRunning(slot)) {
        logGivenUp("[ThreadMgr] Terminating on shutdown: %s\n", slot);
        running.push_back(slot);
      } else {
        destroy(slot);
      }
      slot = nullptr;
    }
    reapGivenUp();
    running.insert(running.end(), givenUp_.begin(), givenUp_.end());
    givenUp_.clear();
    leaveToProcessEnd(running);
  }

  CWFThreadMgr* manager_;
  std::vector<CWFThread*> slots_;
  std::vector<CWFThread*> givenUp_;  // still running, no longer in a slot
  int busy_ = 0;
  bool deadlineSet_ = false;
  CTime deadline_;
  bool force_ = false;
};

}  // namespace

CWFThreadQ::~CWFThreadQ() {
  while (!IsEmpty()) delete static_cast<CWFThread*>(RemoveHead());
}

BOOL CWFThreadQ::Add(CWFThread* item) {
  if (!item) return FALSE;
  POSITION after = nullptr;
  for (POSITION p = GetHeadPosition(); p;) {
    POSITION at = p;
    if (static_cast<CWFThread*>(GetNext(p))->m_nPriority >= item->m_nPriority) after = at;
  }
  if (after)
    InsertAfter(after, item);
  else if (IsEmpty())
    AddTail(item);
  else
    AddHead(item);
  return TRUE;
}

CWFThreadMgr::~CWFThreadMgr() {
  Shutdown();
}

int CWFThreadMgr::Initialize() {
  if (m_pDispatcher) return 0;
  m_pDispatcher = AfxBeginThread(&CWFThreadMgr::Dispatch, this, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
  if (!m_pDispatcher) return 0;
  // Kept so that Shutdown can wait for it.
  m_pDispatcher->m_bAutoDelete = FALSE;
  m_pDispatcher->ResumeThread();
  return 0;
}

void CWFThreadMgr::Shutdown() {
  if (!m_pDispatcher) return;
  SetThreadLock(TRUE);
  WaitForThread(m_pDispatcher->m_hThread, INFINITE);
  delete m_pDispatcher;
  m_pDispatcher = nullptr;
}

BOOL CWFThreadMgr::GetThreadLock() {
  CMutex lock("ThreadLock");
  lock.Wait(INFINITE);
  const BOOL value = m_bLock;
  lock.Release();
  return value;
}

void CWFThreadMgr::SetThreadLock(BOOL value) {
  CMutex lock("ThreadLock");
  lock.Wait(INFINITE);
  m_bLock = value;
  lock.Release();
}

BOOL CWFThreadMgr::QueueIsEmpty() {
  CMutex lock("ThreadQueue");
  lock.Wait(INFINITE);
  WFAppServices* app = WFGetApp();
  const BOOL empty = app ? app->ThreadMgrQIsEmpty() : TRUE;
  lock.Release();
  return empty;
}

CWFThread* CWFThreadMgr::QueueRemoveHead() {
  CMutex lock("ThreadQueue");
  lock.Wait(INFINITE);
  WFAppServices* app = WFGetApp();
  CWFThread* item = app ? app->ThreadMgrQRemoveHead() : nullptr;
  lock.Release();
  return item;
}

UINT CWFThreadMgr::Dispatch(void* manager) {
  Dispatcher(static_cast<CWFThreadMgr*>(manager)).run();
  return 0;
}
