#include "common/alert_delivery.h"

#include "broker/corbce.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"
#include "wfprtmgr/wfprtmgr.h"

BOOL WFIsAlertMessage(UINT message) {
  switch (message) {
    case WM_BCE_DISCONNECTED:
    case WM_BCE_RESYNC:
    case WM_BCE_PRINTER_REMOVED:
    case WM_BCE_PRINTER_CHANGED:
    case 1531:
    case 1532:
    case 1574:
    case 1575:
    case 1576:
      return TRUE;
    default:
      // The class-4 alert is among them: the broker posts it too.
      return message >= WM_BCE_DSA_ALERT && message <= WM_BCE_ALERT_4;
  }
}

CWFAlert WFAlertFromMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return CWFAlert(static_cast<USHORT>(wParam & 0xFFFF), nullptr, static_cast<UINT>((wParam >> 16) & 0xFFFF),
                  message, CWFAlert::NOT_PROCESSED, static_cast<long>(lParam), 0, FALSE, FALSE, FALSE, FALSE);
}

UINT WFDeliverAlert(WFAppServices* app, CWFAlert* alert) {
  if (!alert || !app) return 0;
  CWFPrinterList* list = app->GetPrinterList();
  const USHORT printer = alert->GetPrinterHandle();
  CWFPrinterIcon* icon = list ? list->FindPrinterIcon(printer) : nullptr;
  if (!icon) return 0;
  const UINT result = icon->ProcessAlert(alert);
  WFWindowListServices* windows = app->GetWindowList();
  if (windows && (result & 0x3)) windows->UpdatePrinterViews(printer, nullptr);
  if (windows) windows->AnyAlerts();
  icon->ThreadUnlock();
  return result;
}

UINT WFHandleAlertMessage(WFAppServices* app, UINT message, WPARAM wParam, LPARAM lParam,
                          const std::function<UINT(CWFAlert*)>& deliver) {
  UINT result = 0;
  {
    CWFAlert alert = WFAlertFromMessage(message, wParam, lParam);
    if (deliver) result = deliver(&alert);
  }
  if (message != WM_BCE_PRINTER_REMOVED || result != WF_ALERT_PRINTER_GONE || !app) return result;
  const auto printer = static_cast<USHORT>(wParam & 0xFFFF);
  if (WFWindowListServices* windows = app->GetWindowList()) windows->RemovePrinter(printer, nullptr);
  if (WFPrtMgr* manager = app->GetPrtMgr()) manager->removePrinter(printer);
  CWFPrinterList* list = app->GetPrinterList();
  if (CWFPrinterIcon* icon = list ? list->FindPrinterIcon(printer) : nullptr) {
    icon->ThreadUnlock();
    list->DeletePrinterIcon(icon);
  }
  return result;
}
