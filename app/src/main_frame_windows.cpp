// The printer window's commands on windows themselves: New Window, Rename
// Window, Filter Printers, Columns, More Windows and the save-printers flag.
#include "app/main_frame.h"
#include "app/wf_app.h"
#include "app/window_dialogs.h"
#include "app/window_list.h"
#include "framework/shell_calls.h"

namespace {

constexpr UINT kWarning = 138;
constexpr UINT kNoNewWindow = 67;
constexpr UINT kNoShortcut = 68;

void warn(CWnd* owner, UINT textId) {
  CString text;
  CString caption;
  text.LoadString(textId);
  caption.LoadString(kWarning);
  MessageBox(owner->GetSafeHwnd(), text, caption, MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace

void CMainFrame::focusView() {
  if (m_pView) m_pView->SetFocus();
}

void CMainFrame::OnNewWindow() {
  CWindowNameDlg dialog(this, "");
  if (dialog.DoModal() != IDOK) return;
  CWFApp* app = WFGetWFApp();
  CWFWindowList* windows = app ? app->GetWFWindowList() : nullptr;
  if (!app || !windows) return;
  if (dialog.m_replace) {
    if (CMainFrame* open = windows->FindWindowA(dialog.m_name)) open->OnFilterPrinters();
    return;
  }
  CMainFrame* frame = CMainFrame::Make(app->GetNewWindowName());
  if (!frame || !windows->IsInWindowList(frame)) {
    warn(this, kNoNewWindow);
    return;
  }
  frame->SetTitle(dialog.m_name);
  windows->ReSortRenamedWindow(frame);  // the list keeps titles of its own
  frame->ShowWindow(SW_SHOWNORMAL);
  frame->UpdateWindow();
  frame->PostMessage(WM_WF_SELECTITEM, 0, 0);
  if (!app->CreateWFShortcut(frame->GetName(), dialog.m_name)) warn(this, kNoShortcut);
}

void CMainFrame::OnRenameWindow() {
  const CString old = GetTitle();
  CWindowNameDlg dialog(this, old);
  if (dialog.DoModal() == IDOK) {
    SetTitle(dialog.m_name);
    RenameInRegistry(old, dialog.m_name);
    if (CWFApp* app = WFGetWFApp()) {
      app->CreateWFShortcut(m_name, dialog.m_name);
      if (CWFWindowList* windows = app->GetWFWindowList()) windows->ReSortRenamedWindow(this);
    }
  }
  focusView();
}

void CMainFrame::OnFilterPrinters() {
  CFilterDlg dialog(this);
  if (dialog.DoModal() == IDOK && m_pView) {
    m_pView->RemoveFilteredOut(m_filter);
    AddPassingPrinters();
    UpdateAlertIcon();
    OnSelectItem(0, 0);
  }
  focusView();
}

void CMainFrame::OnColumns() {
  CSelectColumnsDlg dialog(m_pView, this);
  if (dialog.DoModal() == IDOK && m_pView) {
    for (int column = 1; column <= 8; ++column) m_pView->ShowColumn(column, dialog.m_columns[column - 1]);
  }
  focusView();
}

void CMainFrame::OnUpdateColumns(CCmdUI* ui) {
  ui->Enable(m_pView && m_pView->GetViewMode() == 1);
}

void CMainFrame::OnMoreWindows() {
  CWindowsDlg dialog(this);
  if (dialog.DoModal() == IDOK) {
    CWFWindowList* windows = WFGetWFApp() ? WFGetWFApp()->GetWFWindowList() : nullptr;
    if (CMainFrame* chosen = windows ? windows->FindWindowA(dialog.m_index) : nullptr) {
      if (chosen->IsMinimised()) chosen->PostMessage(WM_SYSCOMMAND, SC_RESTORE, WF_RESTORE_FROM_ICON);
      chosen->BringWindowToTop();
    }
  }
  focusView();
}

void CMainFrame::OnSavePrinters() {
  m_savePrinters = !m_savePrinters;
}

void CMainFrame::OnUpdateSavePrinters(CCmdUI* ui) {
  ui->SetCheck(m_savePrinters ? 1 : 0);
}
