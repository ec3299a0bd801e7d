// Which alert classes the broker captures for the icon's printer, and when.
// Capture and release run on workers; requests carry full masks and a
// sequence number so that a late older request never undoes a newer one.
#include "common/alert_dlg_list.h"
#include "common/app_services.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"
#include "framework/wnd.h"
#include "icon_alert_tables.h"
#include "icon_strings.h"

using wf::prtgui::kBaseAlerts;
using wf::prtgui::loadString;

namespace {

struct ARMALERTSPARAM {
  USHORT hPrinter;
  ALERTS alerts;
  ULONG arm;  // 1 capture, 0 release
  std::uint32_t sequence;
};

struct ClassIds {
  ULONG bit;
  std::initializer_list<UINT> ids;
};
const ClassIds kClassIds[] = {{0x10, {20, 6118, 6102, 6103}},
                              {0x1, {6117, 21, 6113}},
                              {0x4, {6104, 23, 6105, 6106, 6107, 6108}},
                              {0x20, {6135, 6226, 6116}},
                              {0x40, {25, 6115}},
                              {0x8, {24}},
                              {0x2, {22, 6114}}};

constexpr ULONG kLowClasses = 0x7F;
constexpr ULONG kPanelClass = 0x10000;

UINT ArmAlerts(void* param) {
  auto* request = static_cast<ARMALERTSPARAM*>(param);
  WFAppServices* app = WFGetApp();
  CWFPrinterList* list = app ? app->GetPrinterList() : nullptr;
  CWFPrinterIcon* icon = list ? list->FindPrinterIcon(request->hPrinter) : nullptr;
  if (!icon) {
    delete request;
    return 0;
  }
  icon->ApplyArmRequest(request->sequence, request->arm != 0, &request->alerts);
  icon->ThreadUnlock();
  delete request;
  return 0;
}

}  // namespace

void CWFPrinterIcon::queueArming(ULONG mask, ULONG arm, int priority, const char* label) {
  WFAppServices* app = WFGetApp();
  if (!app) return;
  auto* request = new ARMALERTSPARAM{m_hPrinter, {static_cast<std::uint32_t>(mask)}, arm, 0};
  {
    std::lock_guard lock(m_armLock);
    request->sequence = ++m_armIssued;
  }
  CString name = BuildDescriptiveString(label);
  app->BeginThread(&ArmAlerts, request, priority, name);
}

void CWFPrinterIcon::ApplyArmRequest(std::uint32_t sequence, BOOL arm, ALERTS* alerts) {
  std::lock_guard lock(m_armLock);
  // Requests of one poll run side by side; only the newest may decide.
  if (sequence <= m_armApplied) return;
  m_armApplied = sequence;
  WFAppServices* app = WFGetApp();
  const short appId = app ? app->GetAppID() : 0;
  if (arm) {
    WFAlertManagerServices* manager = app ? app->GetAlertManager() : nullptr;
    SetAlerts(appId, manager ? manager->GetNotificationWindow() : 0, alerts);
  } else {
    ReleaseAlerts(appId);
  }
}

void CWFPrinterIcon::IncrementUsageCount() {
  if (++m_usageCount == 1 && GetBidiActive() && !IsUnknownPrinter()) ActivateInitialAlerts();
}

void CWFPrinterIcon::DecrementUsageCount() {
  if (m_usageCount == 0 || --m_usageCount != 0) return;
  // The notebook closes first: its pages switch the panel class off with an
  // arming request of their own, and only the newest request counts, so the
  // release must come after it or the printer stays armed.
  CWnd* notebook = m_hOpenDlg ? CWnd::FromHandle(m_hOpenDlg) : nullptr;
  CWnd* frame = notebook ? notebook->GetParent() : nullptr;
  if (frame) frame->SendMessage(WM_CLOSE, 0, 0);
  if (GetBidiActive() && !IsUnknownPrinter()) queueArming(0, 0, 0, "ArmAlerts() to disarm all");
}

void CWFPrinterIcon::ActivateInitialAlerts() {
  if (!GetBidiActive()) return;
  ALERTS alerts{0};
  SetInitialAlerts(&alerts);
  queueArming(alerts.mask, 1, 0, "ArmAlerts() to activate initial");
}

void CWFPrinterIcon::SetInitialAlerts(ALERTS* alerts) {
  alerts->mask = (alerts->mask & kLowClasses) | 0x80 | 0x100;
  CWFAlertDlgList list;
  UpdateAlertList(&list);
  SetBceAlerts(&list, alerts, FALSE);
}

void CWFPrinterIcon::UpdateAlertList(CWFAlertDlgList* list) {
  if (GetPrinterFamily() == WF_GENERIC_FAMILY_KEY) return;
  for (int row = 0; row < kBaseAlertCount; ++row) {
    ALERT_DLG_STRUCT item;
    item.name = loadString(kBaseAlerts[row].nameString);
    item.key = kBaseAlerts[row].alertId;
    item.state = static_cast<UINT>(m_baseAlertFlags[row]);
    list->Add(&item);
  }
}

void CWFPrinterIcon::SetBceAlerts(CWFAlertDlgList* list, ALERTS* alerts, int store) {
  alerts->mask &= ~kLowClasses;
  for (const ClassIds& entry : kClassIds)
    for (UINT id : entry.ids)
      if (list->GetAlertState(id)) alerts->mask |= entry.bit;
  if (store)
    for (int row = 0; row < kBaseAlertCount; ++row)
      m_baseAlertFlags[row] = static_cast<int>(list->GetAlertState(kBaseAlerts[row].alertId));
}

void CWFPrinterIcon::TurnOnFilteredAlerts(CWFAlertDlgList* list) {
  // The user's choice is kept even when nothing can be armed now (a ghost,
  // bidi off), so the record saves it and a later arming follows it.
  ALERTS alerts = m_activeAlerts;
  SetBceAlerts(list, &alerts, TRUE);
  if (!GetBidiActive() || IsUnknownPrinter()) return;
  queueArming(alerts.mask, 1, 0, "ArmAlerts() to activate filtered");
}

void CWFPrinterIcon::ActivatePanelAlerts(BOOL on) {
  const BOOL wanted = on ? 1 : 0;
  if (!GetBidiActive() || IsUnknownPrinter() || wanted == GetPanelAlertsActive()) return;
  const ULONG mask = (m_activeAlerts.mask & ~kPanelClass) | (wanted ? kPanelClass : 0);
  queueArming(mask, 1, wanted ? 1 : 0, "ArmAlerts() for Panel");
}

int CWFPrinterIcon::SetAlerts(short appId, HWND window, ALERTS* alerts) {
  const long rc = BceCaptureAlerts(static_cast<std::uint16_t>(appId), m_hPrinter, alerts, window, 0);
  if (!BCEReturnCheck(rc)) return FALSE;
  m_activeAlerts = *alerts;
  return TRUE;
}

void CWFPrinterIcon::ReleaseAlerts(short appId) {
  if (!GetBidiActive()) return;
  if (BCEReturnCheck(BceReleaseAlerts(static_cast<std::uint16_t>(appId), m_hPrinter, 1)))
    m_activeAlerts.mask = 0;
}
