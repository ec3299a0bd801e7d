#pragma once
// CQuickDlg: the modeless progress dialog of one Quick Setup transfer
// (template 158 of the main program's resources). It starts the transfer on
// the request object's thread, follows its WM_WF_NOTIFICATION messages,
// asks before a cancel, and ends by sending WM_WF_QSDONE (lParam: the
// dialog) to its parent, which destroys and deletes it. A notification
// that ends the run while the cancel question is open is handled once the
// question is answered; a run that cannot start ends after Create returned.
#include "framework/dialog.h"
#include "prtobj/thread_control.h"

class CWFPrinterIcon;

constexpr UINT WM_WF_QSDONE = 2489;

class CQuickDlg : public CDialog {
 public:
  enum { IDD = 158 };

  // `parent` receives WM_WF_QSDONE and must delete the dialog then.
  CQuickDlg(CWFPrinterIcon* icon, CString file, USHORT cascade, BOOL send, CWnd* parent);
  ~CQuickDlg() override;

  BOOL OnInitDialog() override;
  void OnCancel() override;
  void DoDataExchange(CDataExchange* dx) override;
  LRESULT OnWFNotification(WPARAM wParam, LPARAM lParam);

 protected:
  void SetText();
  ULONG StartQuickSetup();
  void SetupProgressBar();
  void MoveProgressBar();

  CWFPrinterIcon* m_pIcon;
  CString m_file;
  USHORT m_cascade;
  BOOL m_bSend;
  BOOL m_bCancelled = FALSE;
  BOOL m_bErrorShown = FALSE;
  ULONG m_steps = 0;
  WFQSThreadControl* m_pControl = nullptr;
  ULONG m_position = 0;

 private:
  LRESULT onStartFailed(WPARAM, LPARAM);
  void finish();
  int ask(UINT textId, UINT type);

  BOOL m_bAsking = FALSE;    // the cancel question is open
  WPARAM m_deferredEnd = 0;  // an ending notification that came meanwhile
  DECLARE_MESSAGE_MAP()
};
