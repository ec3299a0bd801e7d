#include "common/wait_objects.h"

#include "platform/sync.h"

IMPLEMENT_DYNAMIC(CWinSync, CObject)
IMPLEMENT_DYNAMIC(CEvent, CWinSync)
IMPLEMENT_DYNAMIC(CSemaphore, CWinSync)
IMPLEMENT_DYNAMIC(CMutex, CWinSync)

namespace {

wf::SyncHandle sync(HANDLE handle) {
  return reinterpret_cast<wf::SyncHandle>(handle);
}
HANDLE handleOf(wf::SyncHandle handle) {
  return reinterpret_cast<HANDLE>(handle);
}
std::string_view nameOf(LPCSTR name) {
  return name ? std::string_view(name) : std::string_view();
}

}  // namespace

CWinSync::CWinSync(HANDLE handle) : m_hObject(handle) {}

CWinSync::~CWinSync() {
  if (m_hObject) wf::closeSyncHandle(sync(m_hObject));
  m_hObject = nullptr;
}

DWORD CWinSync::Wait(DWORD milliseconds) {
  if (!m_hObject) return wf::kWaitTimeout;
  return wf::waitForObject(sync(m_hObject), milliseconds);
}

CWinSync::operator HANDLE() const {
  return m_hObject;
}

HANDLE CWinSync::GetHandle() const {
  return m_hObject;
}

void CWinSync::Attach(HANDLE handle) {
  m_hObject = handle;
}

HANDLE CWinSync::Detach() {
  HANDLE handle = m_hObject;
  m_hObject = nullptr;
  return handle;
}

CEvent::CEvent(LPCSTR name, BOOL manualReset)
    : CWinSync(handleOf(wf::createEvent(nameOf(name), manualReset != FALSE, false))) {}

BOOL CEvent::Signal() {
  return m_hObject && wf::setEvent(sync(m_hObject));
}

BOOL CEvent::Reset() {
  return m_hObject && wf::resetEvent(sync(m_hObject));
}

BOOL CEvent::Pulse() {
  return m_hObject && wf::pulseEvent(sync(m_hObject));
}

CSemaphore::CSemaphore() = default;

CSemaphore::CSemaphore(LPCSTR name, LONG initialCount, LONG maximumCount)
    : CWinSync(handleOf(wf::createSemaphore(nameOf(name), initialCount, maximumCount))) {}

BOOL CSemaphore::Release(LONG count) {
  return m_hObject && wf::releaseSemaphore(sync(m_hObject), count);
}

BOOL CSemaphore::Create(LPCSTR name, LONG initialCount, LONG maximumCount) {
  if (m_hObject) wf::closeSyncHandle(sync(m_hObject));
  m_hObject = handleOf(wf::createSemaphore(nameOf(name), initialCount, maximumCount));
  return m_hObject != nullptr;
}

CMutex::CMutex(LPCSTR name, BOOL initiallyOwned)
    : CWinSync(handleOf(wf::createMutex(nameOf(name), initiallyOwned != FALSE))) {}

BOOL CMutex::Release() {
  return m_hObject && wf::releaseMutex(sync(m_hObject));
}
