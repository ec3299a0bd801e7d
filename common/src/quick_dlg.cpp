#include "common/quick_dlg.h"

#include <new>

#include "common/printer_icon.h"
#include "framework/controls.h"
#include "framework/shell_calls.h"

namespace {

// The main program's strings.
enum : UINT {
  kFrom = 2,
  kTo = 3,
  kRestore = 4,
  kSave = 5,
  kCancelSend = 6,
  kFailed = 40,
  kDone = 41,
  kCaption = 43,
  kCancelSave = 48,
};
constexpr int kCascadeShift = 15;
constexpr int kProgressBar = 1133;
// Posted to itself when the run could not start.
constexpr UINT WM_QS_START_FAILED = WM_USER + 0x1B9;

CString load(UINT id) {
  CString text;
  text.LoadString(id);
  return text;
}

}  // namespace

BEGIN_MESSAGE_MAP(CQuickDlg, CDialog)
ON_MESSAGE(WM_WF_NOTIFICATION, OnWFNotification)
ON_MESSAGE(WM_QS_START_FAILED, onStartFailed)
END_MESSAGE_MAP()

CQuickDlg::CQuickDlg(CWFPrinterIcon* icon, CString file, USHORT cascade, BOOL send, CWnd* parent)
    : CDialog(IDD, parent), m_pIcon(icon), m_file(file), m_cascade(cascade), m_bSend(send) {}

CQuickDlg::~CQuickDlg() {
  delete m_pControl;
}

void CQuickDlg::DoDataExchange(CDataExchange*) {}

int CQuickDlg::ask(UINT textId, UINT type) {
  return MessageBox(GetSafeHwnd(), load(textId), load(kCaption), type);
}

BOOL CQuickDlg::OnInitDialog() {
  if (m_cascade != 1) {
    RECT rect;
    GetWindowRect(&rect);
    const int shift = (m_cascade - 1) * kCascadeShift;
    MoveWindow(rect.left + shift, rect.top + shift, rect.right - rect.left, rect.bottom - rect.top);
  }
  SetText();
  m_steps = StartQuickSetup();
  if (m_steps == 0) {
    // Finished once creation has returned: the caller still holds the dialog.
    PostMessage(WM_QS_START_FAILED);
    return CDialog::OnInitDialog();
  }
  SetupProgressBar();
  CDialog::OnInitDialog();
  return TRUE;
}

void CQuickDlg::SetText() {
  SetWindowText(load(kCaption) + load(m_bSend ? kRestore : kSave));
  const CString printer = m_pIcon ? m_pIcon->GetName() : CString();
  SetDlgItemText(1131, load(kFrom) + (m_bSend ? m_file : printer));
  SetDlgItemText(1132, load(kTo) + (m_bSend ? printer : m_file));
}

ULONG CQuickDlg::StartQuickSetup() {
  WFPrtObj* object = m_pIcon ? m_pIcon->GetPrinterObj() : nullptr;
  if (!object) return 0;
  m_pControl = new (std::nothrow) WFQSThreadControl(m_file.str(), nullptr, 0, object, m_bSend, GetSafeHwnd(),
                                                    1, WFQSThreadControl::WF_ACTION_RUN);
  ULONG steps = 0;
  if (m_pControl) {
    const long rc = m_bSend ? object->bidiQuickSetupSend(m_pControl, &steps)
                            : object->bidiQuickSetupReceive(m_pControl, &steps);
    if (rc != 0) steps = 0;
  }
  m_position = 0;
  // The transfer thread goes on using the object through the control.
  m_pIcon->ReleasePrinterObj();
  return steps;
}

void CQuickDlg::SetupProgressBar() {
  if (auto* bar = dynamic_cast<CProgressCtrl*>(GetDlgItem(kProgressBar))) {
    bar->SetRange(1, static_cast<short>(m_steps & 0xFFFF));
    bar->SetStep(1);
  }
}

void CQuickDlg::MoveProgressBar() {
  if (auto* bar = dynamic_cast<CProgressCtrl*>(GetDlgItem(kProgressBar)))
    bar->SetPos(static_cast<int>(m_position));
}

LRESULT CQuickDlg::onStartFailed(WPARAM, LPARAM) {
  ask(kFailed, MB_OK);
  finish();
  return 0;
}

LRESULT CQuickDlg::OnWFNotification(WPARAM wParam, LPARAM) {
  if (wParam == QS_NOTIFY_STEP) {
    ++m_position;
    MoveProgressBar();
    return 0;
  }
  if (wParam != QS_NOTIFY_DONE && wParam != QS_NOTIFY_ERROR) return 0;
  if (m_bAsking) {
    m_deferredEnd = wParam;
    return 0;
  }
  if (wParam == QS_NOTIFY_ERROR) {
    m_bErrorShown = TRUE;
    ask(kFailed, MB_OK);
    finish();
  } else if (!m_bErrorShown) {
    if (!m_bCancelled) ask(kDone, MB_OK);
    finish();
  }
  return 0;
}

void CQuickDlg::OnCancel() {
  if (!m_pControl || m_bAsking) return;
  m_pControl->lock(1);
  m_bAsking = TRUE;
  const int answer = ask(m_bSend ? kCancelSend : kCancelSave, MB_YESNO);
  m_bAsking = FALSE;
  m_pControl->unlock(1);
  if (answer == IDYES) {
    m_pControl->setWFThreadAction(WFQSThreadControl::WF_ACTION_STOP);
    m_bCancelled = TRUE;
  }
  if (const WPARAM end = std::exchange(m_deferredEnd, 0)) OnWFNotification(end, 0);
}

void CQuickDlg::finish() {
  delete std::exchange(m_pControl, nullptr);
  EndDialog(2);
  CWnd* parent = m_pParentWnd;
  // The parent deletes this dialog while handling the message.
  if (parent) ::SendMessage(parent->GetSafeHwnd(), WM_WF_QSDONE, 0, reinterpret_cast<LPARAM>(this));
}
