#pragma once
// Messages posted to a printer's open notebook (the window that
// CWFPrinterIcon::GetOpenDlgHandle names), by the icon's workers, the
// family modules and the main program, and the view commands that name the
// notebook's pages. wParam carries nothing in any of them.
#include "platform/win_types.h"

constexpr UINT WM_WF_UPDATEPAGE = 0x467;      // 1127: every shown page rereads its data
constexpr UINT WM_WF_OPPANEL = 0x468;         // 1128: the panel text changed
constexpr UINT WM_WF_JOBSTAT = 0x46A;         // 1130: new page counts
constexpr UINT WM_WF_RESMGMT = 0x470;         // 1136: the resource page rereads
constexpr UINT WM_WF_RESQUERYDISK = 0x471;    // 1137: the resource page asks the printer again
constexpr UINT WM_WF_MESSAGE = 0x472;         // 1138: lParam a global block of text, or 0
constexpr UINT WM_WF_RESLISTINGDONE = 0x474;  // 1140: a listing ended
constexpr UINT WM_WF_RESNEWITEM = 0x478;      // 1144: lParam one listed item
// Not to the notebook: to the dialog waiting for a disk or flash operation.
constexpr UINT WM_WF_RESOPRESULT = 0x475;  // 1141: lParam a global block of result text

// View commands: the printer's pages, also the entries of its menu.
constexpr UINT WF_VIEW_STATUS = 32775;
constexpr UINT WF_VIEW_OPPANEL = 32772;
constexpr UINT WF_VIEW_STATISTICS = 32779;
constexpr UINT WF_VIEW_RESOURCES = 32797;
constexpr UINT WF_VIEW_ADAPTER = 32776;
constexpr UINT WF_VIEW_CORLINK = 110;
constexpr UINT WF_VIEW_NETWARE = 109;
constexpr UINT WF_VIEW_TCPIP = 111;
