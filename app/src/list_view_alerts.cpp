// The alert settings of a window's selected printers (command 32795).
#include <algorithm>
#include <vector>

#include "app/alert_notify_dlg.h"
#include "app/list_view.h"
#include "app/main_frame.h"
#include "app/wf_app.h"
#include "app/window_list.h"
#include "common/alert_dlg_list.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"

namespace {

constexpr UINT kAlertsSetFocusMessage = 0x0007;

// The keys switched off and still off, each once. Each printer empties the
// list it clears from, so every one of them is given this same set.
std::vector<UINT> removedKeys(CWFAlertDlgList& list) {
  std::vector<UINT> keys;
  auto& removed = list.GetRemovedList();
  for (POSITION p = removed.GetHeadPosition(); p;) {
    const UINT key = removed.GetNext(p);
    if (list.GetAlertState(key) == 0 && std::find(keys.begin(), keys.end(), key) == keys.end())
      keys.push_back(key);
  }
  return keys;
}

}  // namespace

void CWFListView::OnAlertSettings() {
  CWFApp* app = WFGetWFApp();
  if (!app || !m_frame) return;
  CWFAlertDlgList list;
  for (CWFPrinterIcon* icon : selectedIcons()) icon->UpdateAlertList(&list);
  CWFAlertNotifyDlg dialog(&list, this);
  if (dialog.DoModal() == IDOK) {
    const std::vector<UINT> removed = removedKeys(list);
    CWFWindowList* windows = app->GetWFWindowList();
    // Read again: printers may have gone while the dialog was open.
    for (CWFPrinterIcon* icon : selectedIcons()) {
      if (!app->GetPrinterList()->IsInList(icon)) continue;
      auto& keys = list.GetRemovedList();
      keys.RemoveAll();
      for (UINT key : removed) keys.AddTail(key);
      icon->ClearRemovedAlerts(&list);
      if (windows) {
        windows->UpdatePrinterViews(icon->GetPrinterHandle(), nullptr);
        windows->AnyAlerts();
      }
      icon->TurnOnFilteredAlerts(&list);
      icon->ThreadUnlock();
    }
  }
  m_frame->PostMessage(kAlertsSetFocusMessage);
}
