#include "app/alert_manager.h"
#include "app/main_frame.h"
#include "common/app_services.h"

#include "broker/corbce.h"
#include "common/alert_delivery.h"
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

BEGIN_MESSAGE_MAP(CWFAlertWnd, CWFHiddenWnd)
ON_MESSAGE(WM_BCE_DSA_ALERT, OnAlertMessage<WM_BCE_DSA_ALERT>)
ON_MESSAGE(WM_BCE_ALERT_2, OnAlertMessage<WM_BCE_ALERT_2>)
ON_MESSAGE(WM_BCE_JS_ALERT, OnAlertMessage<WM_BCE_JS_ALERT>)
ON_MESSAGE(WM_BCE_ROP_ALERT, OnAlertMessage<WM_BCE_ROP_ALERT>)
ON_MESSAGE(WM_BCE_ALERT_8, OnAlertMessage<WM_BCE_ALERT_8>)
ON_MESSAGE(WM_BCE_ALERT_16, OnAlertMessage<WM_BCE_ALERT_16>)
ON_MESSAGE(1531, OnAlertMessage<1531>)
ON_MESSAGE(1532, OnAlertMessage<1532>)
ON_MESSAGE(1574, OnAlertMessage<1574>)
ON_MESSAGE(1575, OnAlertMessage<1575>)
ON_MESSAGE(1576, OnAlertMessage<1576>)
ON_MESSAGE(WM_BCE_DISCONNECTED, OnAlertMessage<WM_BCE_DISCONNECTED>)
ON_MESSAGE(WM_BCE_RESYNC, OnAlertMessage<WM_BCE_RESYNC>)
ON_MESSAGE(WM_BCE_PRINTER_CHANGED, OnAlertMessage<WM_BCE_PRINTER_CHANGED>)
ON_MESSAGE(WM_BCE_PRINTER_REMOVED, OnAlertMessage<WM_BCE_PRINTER_REMOVED>)
// The broker posts class-4 alerts as well.
ON_MESSAGE(WM_BCE_ALERT_4, OnAlertMessage<WM_BCE_ALERT_4>)
ON_MESSAGE(WM_BCE_PRIMARY_GONE, OnPrimaryGone)
END_MESSAGE_MAP()

// The windows' thread does the recovery: it owns the printers' windows.
LRESULT CWFAlertWnd::OnPrimaryGone(WPARAM, LPARAM) {
  WFAppServices* app = WFGetApp();
  if (WFWindowListServices* windows = app ? app->GetWindowList() : nullptr)
    windows->PostToAll(WM_WF_PRIVATE_PRIMARYGONE, 0, 0);
  return 0;
}

LRESULT CWFAlertWnd::handleAlert(UINT message, WPARAM wParam, LPARAM lParam) {
  CWFAlertManager* manager = m_pThread ? m_pThread->m_pManager.load() : nullptr;
  std::function<UINT(CWFAlert*)> deliver;
  if (manager) deliver = [manager](CWFAlert* alert) { return manager->ProcessAlert(alert); };
  WFHandleAlertMessage(WFGetApp(), message, wParam, lParam, deliver);
  return 0;
}

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

UINT CWFAlertManager::ProcessAlert(CWFAlert* alert) {
  return WFDeliverAlert(WFGetApp(), alert);
}
