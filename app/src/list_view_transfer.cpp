// Copy, move and delete of the selected printers of a window. Boxes run
// their own message loops, during which alerts, refreshes or a second start
// may change both windows: each item is found again by its icon after a
// box, and the target is held by its handle.
#include <memory>
#include <set>

#include "app/copy_move_dlg.h"
#include "app/list_view.h"
#include "app/main_frame.h"
#include "app/wf_app.h"
#include "app/window_list.h"
#include "common/app_services.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"
#include "framework/shell_calls.h"

namespace {

enum TransferStringId : UINT {
  kCopyCaption = 7,
  kMoveCaption = 32,
  kAlreadyThere = 31,
  kCopyQuestion = 33,
  kMoveQuestion = 34,
  kDeleteCaption = 35,
  kDeleteQuestion = 36,
};

constexpr UINT kTransferSetFocusMessage = 0x0007;

CString loadedTransferText(UINT id) {
  CString text;
  text.LoadString(id);
  return text;
}

// The window of this handle while it is still open.
CMainFrame* openWindow(HWND handle) {
  CWFApp* app = WFGetWFApp();
  CWFWindowList* windows = app ? app->GetWFWindowList() : nullptr;
  if (!windows || !handle) return nullptr;
  for (CMainFrame* window : windows->Windows())
    if (window->GetSafeHwnd() == handle) return window;
  return nullptr;
}

// The printer's name while the printer list holds it; false when gone.
bool printerName(CWFPrinterIcon* icon, CString& name) {
  CWFApp* app = WFGetWFApp();
  if (!app || !app->GetPrinterList()->IsInList(icon)) return false;
  name = icon->GetName();
  icon->ThreadUnlock();
  return true;
}

void activate(CMainFrame* window) {
  if (window->IsIconic()) window->ShowWindow(SW_RESTORE);
  window->BringWindowToTop();
}

}  // namespace

// One command's walk over the selected items and its answers so far.
struct CWFListView::TransferRun {
  BOOL confirming = FALSE;
  UINT caption = 0;
  bool yesToAll = false;
  int firstSelected = -1;
  std::set<CWFPrinterIcon*> visited;
};

CWFPrinterIcon* CWFListView::nextSelected(TransferRun& run) const {
  for (int item = GetNextItem(-1, LVNI_SELECTED); item >= 0; item = GetNextItem(item, LVNI_SELECTED)) {
    CWFPrinterIcon* icon = GetPrinterAt(item);
    if (!icon || !run.visited.insert(icon).second) continue;
    if (run.firstSelected < 0) run.firstSelected = item;
    return icon;
  }
  return nullptr;
}

CWFListView::Answer CWFListView::confirm(TransferRun& run, const CString& message) {
  if (!run.confirming || run.yesToAll) return Answer::go;
  CConfirmAllDlg box(loadedTransferText(run.caption), message, this);
  switch (box.DoModal()) {
    case IDC_CONFIRM_YES_ALL:
      run.yesToAll = true;
      return Answer::go;
    case IDC_CONFIRM_YES:
      return Answer::go;
    case IDC_CONFIRM_STOP:
      return Answer::stop;
    default:
      return Answer::skip;
  }
}

void CWFListView::selectAfterRemoval(int firstSelected) {
  const int remaining = GetItemCount();
  const int index = firstSelected >= 0 && firstSelected < remaining ? firstSelected : remaining - 1;
  m_frame->PostMessage(WM_WF_SELECTITEM, static_cast<WPARAM>(index), 0);
}

void CWFListView::OnCopyPrinters() {
  transfer(false);
}

void CWFListView::OnMovePrinters() {
  transfer(true);
}

void CWFListView::transfer(bool move) {
  CWFApp* app = WFGetWFApp();
  CWFWindowList* windows = app ? app->GetWFWindowList() : nullptr;
  // Without a selection or a second window there is nothing to do.
  if (!windows || !m_frame || GetSelectedCount() == 0 || windows->GetCount() < 2) return;

  std::unique_ptr<CWFWindowChoiceDlg> choice;
  if (move)
    choice = std::make_unique<CMoveDlg>(m_frame);
  else
    choice = std::make_unique<CCopyDlg>(m_frame);
  if (choice->DoModal() != IDOK) return;
  CMainFrame* target = windows->FindWindowA(choice->TargetIndex());
  if (!target || target == m_frame) return;
  const HWND targetHandle = target->GetSafeHwnd();

  TransferRun run;
  run.confirming = move ? app->GetMoveConf() : app->GetCopyConf();
  run.caption = move ? kMoveCaption : kCopyCaption;
  const CString question = loadedTransferText(move ? kMoveQuestion : kCopyQuestion);
  while (CWFPrinterIcon* icon = nextSelected(run)) {
    CString name;
    if (!(target = openWindow(targetHandle))) break;
    if (!printerName(icon, name)) continue;
    if (!target->LacksPrinter(icon)) {
      CString text;
      text.Format(loadedTransferText(kAlreadyThere), static_cast<LPCSTR>(name));
      MessageBox(GetSafeHwnd(), text, loadedTransferText(run.caption), MB_OK);
      continue;
    }
    CString text;
    text.Format(question, static_cast<LPCSTR>(name), static_cast<LPCSTR>(target->GetTitle()));
    const Answer answer = confirm(run, text);
    if (answer == Answer::stop) break;
    if (answer == Answer::skip) continue;
    // A box's loop may have closed the target or taken the printer away.
    if (!(target = openWindow(targetHandle))) break;
    if (FindItem(icon) < 0 || !target->LacksPrinter(icon)) continue;
    // A printer the target refuses stays where it is.
    if (target->GetView()->AddPrinter(icon) < 0) continue;
    if (move) deleteAt(FindItem(icon));
  }

  if (move) {
    m_frame->UpdateAlertIcon();
    selectAfterRemoval(run.firstSelected);
  }
  if ((target = openWindow(targetHandle))) {
    activate(target);
    target->UpdateAlertIcon();
  }
}

void CWFListView::OnDeletePrinters() {
  CWFApp* app = WFGetWFApp();
  if (!app || !m_frame || GetSelectedCount() == 0) return;
  TransferRun run;
  run.confirming = app->GetDeleteConf();
  run.caption = kDeleteCaption;
  const CString question = loadedTransferText(kDeleteQuestion);
  while (CWFPrinterIcon* icon = nextSelected(run)) {
    CString name;
    if (!printerName(icon, name)) continue;
    CString text;
    text.Format(question, static_cast<LPCSTR>(name));
    const Answer answer = confirm(run, text);
    if (answer == Answer::stop) break;
    if (answer == Answer::skip) continue;
    // Found again: the box may have let the printer go or the items move.
    deleteAt(FindItem(icon));
  }
  m_frame->UpdateAlertIcon();
  selectAfterRemoval(run.firstSelected);
  m_frame->PostMessage(kTransferSetFocusMessage);
}
