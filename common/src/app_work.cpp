#include "common/app_work.h"

#include "common/app_services.h"
#include "framework/win_thread.h"

namespace wf {

namespace {
constexpr const char* kQueueMutex = "ThreadQueue";
}

WorkItemQueue::WorkItemQueue() = default;

WorkItemQueue::~WorkItemQueue() {
  destroy();
}

void WorkItemQueue::create() {
  CMutex lock(kQueueMutex);
  lock.Wait(INFINITE);
  if (!queue_) queue_ = std::make_unique<CWFThreadQ>();
  lock.Release();
}

void WorkItemQueue::destroy() {
  CMutex lock(kQueueMutex);
  lock.Wait(INFINITE);
  queue_.reset();
  lock.Release();
}

void WorkItemQueue::beginThread(UINT (*proc)(void*), void* param, int priority, const char* name) {
  if (!accepting_) return;
  CMutex lock(kQueueMutex);
  lock.Wait(INFINITE);
  if (accepting_ && queue_) {
    auto* item = new CWFThread(proc, param, priority);
    if (name) item->SetString(name);
    queue_->Add(item);
  }
  lock.Release();
}

BOOL WorkItemQueue::isEmpty() const {
  return !queue_ || queue_->IsEmpty();
}

CWFThread* WorkItemQueue::removeHead() {
  if (!queue_ || queue_->IsEmpty()) return nullptr;
  return static_cast<CWFThread*>(queue_->RemoveHead());
}

BOOL EnumSpecCounter::create() {
  return semaphore_.Create("CWFAppEnumSpecificSemaphore", kUnits, kUnits);
}

void EnumSpecCounter::increase() {
  semaphore_.Wait(INFINITE);
  ++count_;
}

void EnumSpecCounter::decrease(WFWindowListServices* windows) {
  semaphore_.Release(1);
  if (--count_ == 0 && windows) {
    windows->PostToAll(WM_WF_RESORT, 0, 0);
    windows->PostToAll(WM_WF_SELECTITEM, 0, 0);
  }
}

void EnumSpecCounter::waitForAll() {
  CMutex sequence("CWFAppSequenceEnumMutex");
  sequence.Wait(INFINITE);
  sequence.Release();
  CMutex all("CWFAppEnumAllMutex");
  all.Wait(INFINITE);
  for (LONG i = 0; i < kUnits; ++i) semaphore_.Wait(INFINITE);
  all.Release();
}

void EnumSpecCounter::releaseAll() {
  semaphore_.Release(kUnits);
}

}  // namespace wf
