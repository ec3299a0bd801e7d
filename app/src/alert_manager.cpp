#include "app/alert_manager.h"

#include "common/wait_objects.h"

namespace {

constexpr DWORD kStartWait = 3000;
constexpr DWORD kEndWait = 10000;

// Signalled by the alert thread once its window exists.
CEvent& startEvent() {
  static CEvent event;
  return event;
}

}  // namespace

IMPLEMENT_DYNCREATE(CWFAlertWndThread, CWinThread)

CWFAlertWndThread::CWFAlertWndThread() : m_wnd(this) {}

BOOL CWFAlertWndThread::InitInstance() {
  const BOOL created = m_wnd.CreateHidden();
  if (created) {
    m_hWndAlert = m_wnd.GetSafeHwnd();
    m_pMainWnd = &m_wnd;
  }
  startEvent().Signal();
  return created;
}

CWFAlertManager::~CWFAlertManager() {
  Shutdown();
}

BOOL CWFAlertManager::Initialize() {
  startEvent().Reset();
  auto* thread = static_cast<CWFAlertWndThread*>(AfxBeginThread(RUNTIME_CLASS(CWFAlertWndThread)));
  if (!thread) return FALSE;
  // The thread is kept even when it is late, so Shutdown can still end it.
  m_pThread = thread;
  m_hThread = thread->m_hThread;
  if (startEvent().Wait(kStartWait) != WAIT_OBJECT_0 || !thread->m_hWndAlert) return FALSE;
  thread->m_pManager = this;
  return TRUE;
}

void CWFAlertManager::Shutdown() {
  if (!m_pThread) return;
  if (HWND window = m_pThread->m_hWndAlert) {
    ::PostMessage(window, WM_CLOSE, 0, 0);
    WaitForThread(m_hThread, kEndWait);
  }
  m_pThread = nullptr;
  m_hThread = nullptr;
}

HWND CWFAlertManager::GetNotificationWindow() {
  return m_pThread ? m_pThread->m_hWndAlert.load() : 0;
}
