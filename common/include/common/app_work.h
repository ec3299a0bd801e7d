#pragma once
// The application's work-item queue and its count of one-printer
// enumerations, as the main program runs them (and the test double with it).
#include <atomic>
#include <memory>

#include "common/thread_mgr.h"
#include "common/wait_objects.h"

class WFWindowListServices;

namespace wf {

// The queue that CWFThreadMgr drains. BeginThread adds under "ThreadQueue"
// while work is accepted; the two queue calls expect the caller to hold it.
class WorkItemQueue {
 public:
  WorkItemQueue();
  ~WorkItemQueue();

  // The queue exists from create() until destroy(); work is accepted only
  // while it exists and accepting is set.
  void create();
  void destroy();
  void setAccepting(bool accepting) { accepting_ = accepting; }
  bool accepting() const { return accepting_; }

  // The name is copied, so the caller's buffer may be reused at once.
  void beginThread(UINT (*proc)(void*), void* param, int priority, const char* name);
  BOOL isEmpty() const;
  CWFThread* removeHead();

 private:
  std::atomic<bool> accepting_{false};
  std::unique_ptr<CWFThreadQ> queue_;
};

// The 500-unit semaphore "CWFAppEnumSpecificSemaphore": one unit per running
// one-printer enumeration; a whole enumeration takes all of them.
class EnumSpecCounter {
 public:
  static constexpr LONG kUnits = 500;

  // FALSE when the semaphore cannot be made.
  BOOL create();
  // Waits for a unit, then counts one more enumeration.
  void increase();
  // Gives the unit back; the last one to end asks every printer window to
  // resort and select (WM_WF_RESORT, then WM_WF_SELECTITEM).
  void decrease(WFWindowListServices* windows);
  // Returns once no one-printer enumeration runs, holding every unit.
  void waitForAll();
  void releaseAll();
  int count() const { return count_; }

 private:
  CSemaphore semaphore_;
  std::atomic<int> count_{0};
};

}  // namespace wf
