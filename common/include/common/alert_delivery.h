#pragma once
// The alert service's work on one broker message, shared by the main
// program's hidden alert window and the tests' double of it: the message
// becomes a CWFAlert for the printer's icon, the printer's rows and the
// windows' alert icons follow, and a printer the broker removed goes.
#include <functional>

#include "common/alerts.h"
#include "common/app_services.h"

// The icon's answer when a removed printer has no connection left.
constexpr UINT WF_ALERT_PRINTER_GONE = 0x10;

// The printer events and alert classes the service handles.
BOOL WFIsAlertMessage(UINT message);

// Printer handle in the low word of wParam, the broker's alert key in the
// high word, the message as its type, lParam as its extra data.
CWFAlert WFAlertFromMessage(UINT message, WPARAM wParam, LPARAM lParam);

// Delivers one alert to its printer's icon and answers the icon's result
// bits; 0 for a null alert or a printer no icon has.
UINT WFDeliverAlert(WFAppServices* app, CWFAlert* alert);

// One message: `deliver` is null until the service is attached, and the
// message then answers 0. A removal answered exactly 0x10 takes the printer
// out of every window before the manager forgets it and the icon goes.
UINT WFHandleAlertMessage(WFAppServices* app, UINT message, WPARAM wParam, LPARAM lParam,
                          const std::function<UINT(CWFAlert*)>& deliver);
