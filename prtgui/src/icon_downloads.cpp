// Downloads to the printer: the tool kit does the work, given the driver
// setup request for the queue the user chooses.
#include "common/app_services.h"
#include "common/printer_icon.h"
#include "common/tag_list.h"
#include "corwf32/corwf32.h"
#include "framework/shell_calls.h"
#include "icon_strings.h"
#include "platform/module.h"

using wf::prtgui::loadString;

BOOL CWFPrinterIcon::DownloadFont(CWnd* parent, HINSTANCE instance) {
  return Download(parent, instance, WFTAG_OP_FONT);
}

BOOL CWFPrinterIcon::DownloadDemo(CWnd* parent, HINSTANCE instance) {
  return Download(parent, instance, WFTAG_OP_DEMO);
}

BOOL CWFPrinterIcon::DownloadOverlay(CWnd* parent, HINSTANCE instance) {
  return Download(parent, instance, WFTAG_OP_OVERLAY);
}

BOOL CWFPrinterIcon::Download(CWnd* parent, HINSTANCE instance, USHORT operation) {
  WFAppServices* app = WFGetApp();
  HINSTANCE toolKit = app ? app->GetToolKitDLL() : nullptr;
  auto entry =
      toolKit ? wf::moduleEntryAs<wf::toolkit::CVToolKit32Fn>(toolKit, wf::toolkit::kEntryName) : nullptr;
  const HWND owner = parent ? parent->GetSafeHwnd() : 0;
  if (!entry) {
    MessageBox(owner, loadString(wf::prtgui::kToolKitMissing), loadString(wf::prtgui::kToolKitCaption),
               MB_OK | MB_ICONEXCLAMATION);
    return FALSE;
  }
  CWFTagList list;
  if (!list.BuildList(this, parent, operation)) return FALSE;
  return entry(owner, instance, static_cast<void*>(list)) == 0;
}
