#pragma once
// The alert service: a hidden window on a thread of its own, the one window
// the broker posts the program's printer events and alerts to.
#include <atomic>

#include "app/hidden_window.h"
#include "common/app_services.h"
#include "framework/win_thread.h"

class CWFAlert;
class CWFAlertWndThread;

class CWFAlertWnd : public CWFHiddenWnd {
 public:
  explicit CWFAlertWnd(CWFAlertWndThread* thread) : m_pThread(thread) {}

 protected:
  // Every printer event and alert class: one CWFAlert for the icon.
  template <UINT message>
  LRESULT OnAlertMessage(WPARAM wParam, LPARAM lParam) {
    return handleAlert(message, wParam, lParam);
  }
  DECLARE_MESSAGE_MAP()

  LRESULT OnPrimaryGone(WPARAM, LPARAM);

 private:
  LRESULT handleAlert(UINT message, WPARAM wParam, LPARAM lParam);

  CWFAlertWndThread* m_pThread;
};

class CWFAlertManager;

class CWFAlertWndThread : public CWinThread {
  DECLARE_DYNCREATE(CWFAlertWndThread)
 public:
  CWFAlertWndThread();
  BOOL InitInstance() override;

  CWFAlertWnd m_wnd;
  std::atomic<HWND> m_hWndAlert{0};
  std::atomic<CWFAlertManager*> m_pManager{nullptr};
};

class CWFAlertManager : public CObject, public WFAlertManagerServices {
 public:
  CWFAlertManager() = default;
  ~CWFAlertManager() override;

  // Starts the thread and waits at most 3000 ms for its window.
  BOOL Initialize();
  // Closes the window and waits at most 10 s for the thread.
  void Shutdown();
  HWND GetNotificationWindow() override;
  // Hands the alert to its printer's icon; the icon's result bits.
  UINT ProcessAlert(CWFAlert* alert);
  bool HasThread() const { return m_pThread != nullptr; }

 private:
  CWFAlertWndThread* m_pThread = nullptr;
  HANDLE m_hThread = nullptr;
};
