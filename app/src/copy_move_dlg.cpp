#include "app/copy_move_dlg.h"

#include "app/main_frame.h"
#include "app/wf_app.h"
#include "app/window_list.h"
#include "framework/controls.h"
#include "framework/ddx.h"

namespace {
constexpr UINT kCopyMoveSetFocusMessage = 0x0007;
}  // namespace

CWFWindowChoiceDlg::CWFWindowChoiceDlg(UINT templateId, CWnd* parent)
    : CDialog(templateId, parent), m_pCaller(parent) {}

BOOL CWFWindowChoiceDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  auto* list = static_cast<CListBox*>(GetDlgItem(IDC_WINDOW_CHOICE));
  CWFApp* app = WFGetWFApp();
  CWFWindowList* windows = app ? app->GetWFWindowList() : nullptr;
  if (list && windows) {
    int index = 0;
    for (CMainFrame* window : windows->Windows()) {
      if (window == m_pCaller)
        m_nCaller = index;
      else
        list->AddString(window->GetTitle());
      ++index;
    }
    if (list->GetCount() > 0) list->SetCurSel(0);
    m_nWindow = list->GetCurSel();
  }
  return TRUE;
}

void CWFWindowChoiceDlg::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_LBIndex(dx, IDC_WINDOW_CHOICE, m_nWindow);
}

void CWFWindowChoiceDlg::OnCancel() {
  if (m_pCaller) m_pCaller->PostMessage(kCopyMoveSetFocusMessage);
  CDialog::OnCancel();
}

int CWFWindowChoiceDlg::TargetIndex() const {
  if (m_nWindow < 0) return -1;
  // The caller's own entry is left out of the list.
  return m_nCaller >= 0 && m_nWindow >= m_nCaller ? m_nWindow + 1 : m_nWindow;
}

BEGIN_MESSAGE_MAP(CConfirmAllDlg, CDialog)
ON_BN_CLICKED(IDC_CONFIRM_YES, OnYes)
ON_BN_CLICKED(IDC_CONFIRM_YES_ALL, OnYesToAll)
ON_BN_CLICKED(IDC_CONFIRM_STOP, OnStop)
END_MESSAGE_MAP()

CConfirmAllDlg::CConfirmAllDlg(const CString& caption, const CString& message, CWnd* parent)
    : CDialog(IDD_CONFIRM_ALL, parent), m_caption(caption), m_message(message) {}

BOOL CConfirmAllDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetWindowText(m_caption);
  SetDlgItemText(IDC_CONFIRM_TEXT, m_message);
  return TRUE;
}
