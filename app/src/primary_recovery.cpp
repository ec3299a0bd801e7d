// The broker's primary went away: the windows say that nothing is watched,
// the program registers again and enumerates again, keeping its windows.
#include <utility>

#include "app/alert_manager.h"
#include "app/main_frame.h"
#include "app/wf_app.h"
#include "app/window_list.h"
#include "broker/corbce.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"
#include "wfprtmgr/wfprtmgr.h"

namespace {

constexpr UINT kNotWatchedStatus = 173;
constexpr UINT kRegisterRetryMs = 2000;

// `change` for every icon while the list holds it.
template <class Change>
void forEachHeldIcon(CWFPrinterList& list, Change&& change) {
  for (CWFPrinterIcon* icon : list.GetIcons()) {
    if (!list.IsInList(icon)) continue;
    change(icon);
    icon->ThreadUnlock();
  }
}

}  // namespace

void CWFApp::PrimaryGone() {
  if (m_primaryLost) return;
  m_primaryLost = TRUE;
  Log(0, "The printer service's primary went away: registering again");
  CString status;
  status.LoadString(kNotWatchedStatus);
  forEachHeldIcon(m_printerList, [&](CWFPrinterIcon* icon) {
    icon->SetStatus(status);
    if (CWFWindowList* windows = GetWFWindowList()) windows->UpdatePrinterViews(icon->GetPrinterHandle(), nullptr);
  });
  if (CWFWindowList* windows = GetWFWindowList()) windows->PostToAll(WM_SETMESSAGESTRING, AFX_IDS_IDLEMESSAGE, 0);
  // A moment for the user to see it, and for a program that takes the
  // primary's place first to be ready.
  if (m_pMainWnd)
    m_pMainWnd->SetTimer(WF_REGISTER_TIMER, kRegisterRetryMs);
  else
    RetryRegistration();
}

void CWFApp::RetryRegistration() {
  if (!m_primaryLost || !m_alertManager || !m_prtMgr) return;
  if (m_appId != WF_APP_NOT_REGISTERED) {
    BceUnregisterApp(static_cast<std::uint16_t>(m_appId));
    m_appId = WF_APP_NOT_REGISTERED;
  }
  const short id = BceRegisterApp(m_alertManager->GetNotificationWindow());
  if (id < 0) {
    // Another program may be taking the primary's place: its channel is
    // not up yet.
    if (m_pMainWnd) m_pMainWnd->SetTimer(WF_REGISTER_TIMER, kRegisterRetryMs);
    return;
  }
  if (m_pMainWnd) m_pMainWnd->KillTimer(WF_REGISTER_TIMER);
  m_appId = id;
  m_prtMgr->setBceAppId(id);
  // The trace belongs to the primary: a new one starts without it.
  if (GetBidiTrace()) BceStartTrace(nullptr, 0);
  m_primaryLost = FALSE;
  m_rearmWanted = true;
  Log(0, "Registered again as application %d", static_cast<int>(id));
  GlobalReEnum();
}

void CWFApp::RearmAlertsAfterRecovery() {
  if (!std::exchange(m_rearmWanted, false)) return;
  // The new primary knows no capture of ours.
  forEachHeldIcon(m_printerList, [](CWFPrinterIcon* icon) {
    if (icon->GetUsageCount() > 0) icon->ActivateInitialAlerts();
  });
}
