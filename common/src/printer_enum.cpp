// The whole-system enumeration and the callback that the printer manager
// calls for every printer of every enumeration request.
#include <memory>
#include <new>
#include <thread>

#include "common/app_services.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"
#include "framework/frame_wnd.h"
#include "wfprtmgr/wfprtmgr.h"

namespace {

WFAppServices* app() {
  return WFGetApp();
}

void postToAll(UINT message, WPARAM wParam = 0) {
  if (app() && app()->GetWindowList()) app()->GetWindowList()->PostToAll(message, wParam, 0);
}

void enumerateAll(WFPrtMgr* manager, HWND notify, CWFPrinterList* list) {
  auto* request = new (std::nothrow) ENUMPRTDATA;
  if (!request) return;
  request->hNotify = notify;
  request->pList = list;
  request->mode = 0;
  if (app()) {
    app()->WaitForEnumSpecsComplete();
    app()->SetGlobalEnumState(1);
  }
  // The manager's end call frees the request.
  manager->enumAllPrinters(&EnumPrintersCallback, reinterpret_cast<std::uintptr_t>(request));
}

// Ends a request: the completion messages of a whole-system enumeration, or
// the ghost of a one-printer request that found nothing.
void endRequest(ENUMPRTDATA* request, bool windowsLeft) {
  if (request->mode == 0) {
    if (windowsLeft) {
      postToAll(WM_WF_ENUMCOMPLETE);
      postToAll(WM_WF_SELECTITEM);
      postToAll(WM_WF_ENUMALLDONE);
    }
    // Always: a later enumeration would wait for the units for ever.
    if (app()) {
      app()->SetGlobalEnumState(0);
      app()->ReleaseAllEnumSpecs();
    }
    return;
  }
  if (!windowsLeft || !request->pList) return;
  const bool ghost = request->mode == 2 || (request->mode == 1 && app() && app()->GetUseGhosts());
  if (!ghost) return;
  CWFPrinterIcon* icon = request->pList->CreateGhostPrinter(&request->address, request->pStoredRecord, 0);
  if (icon && request->hNotify)
    PostMessage(request->hNotify, WM_WF_ADDPRINTER, 0, reinterpret_cast<LPARAM>(icon));
}

}  // namespace

void CWFPrinterList::EnumeratePrinters(WFPrtMgr* manager, HWND notify) {
  if (!manager) return;
  // Detached: the hold keeps the manager until the thread is done with it.
  manager->holdEnumeration();
  std::thread([manager, notify, this] {
    enumerateAll(manager, notify, this);
    manager->releaseEnumeration();
  }).detach();
}

ULONG EnumPrintersCallback(WFPrtObj* printer, std::uintptr_t data, ULONG reason) {
  auto* request = reinterpret_cast<ENUMPRTDATA*>(data);
  if (!request) return 0;
  const ULONG mode = request->mode;
  const bool windowsLeft = app() && app()->AnyWindowsLeft();
  CWFPrinterList* list = request->pList;
  ULONG result = 1;

  if (printer && reason == WF_ENUM_REASON_REINIT_START) {
    if (windowsLeft && list)
      if (CWFPrinterIcon* icon = list->FindPrinterIcon(printer->getBCEHandle())) {
        icon->LockPrinterObj();
        icon->ThreadUnlock();
      }
    return 1;
  }
  // Unlocked whether or not a window is left: the last window may have
  // closed since reason 1 locked it.
  if (printer && reason == WF_ENUM_REASON_REINIT_DONE && list)
    if (CWFPrinterIcon* icon = list->FindPrinterIcon(printer->getBCEHandle())) {
      if (icon->IsPrinterObjLocked()) icon->UnlockPrinterObj();
      icon->ThreadUnlock();
    }
  if (printer && windowsLeft && list) {
    const CWFPrinterList::ErrorValue made = list->NewPrinterIcon(printer, request->pStoredRecord);
    if (made == CWFPrinterList::NOTHING_DONE) {
      result = 0;
    } else if (request->hNotify) {
      if (CWFPrinterIcon* icon = list->FindPrinterIcon(printer->getBCEHandle())) {
        PostMessage(request->hNotify, WM_WF_ADDPRINTER, 0, reinterpret_cast<LPARAM>(icon));
        icon->ThreadUnlock();
      }
    }
  } else if (!printer) {
    endRequest(request, windowsLeft);
  }
  // A one-printer request ends with its one call; a whole-system request
  // with its null call.
  if (mode != 0 || !printer) delete request;

  if ((mode == 1 || mode == 2) && windowsLeft && app()) {
    app()->DecreaseEnumSpecCount();
    if (app()->GetEnumSpecCount() == 0) postToAll(WM_SETMESSAGESTRING, AFX_IDS_IDLEMESSAGE);
  }
  return result;
}
