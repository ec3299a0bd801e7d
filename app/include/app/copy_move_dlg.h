#pragma once
// The dialogs of copying, moving and deleting printers: the choice of the
// window to copy or move to, and the four-button confirmation.
#include "framework/cstring.h"
#include "framework/dialog.h"

constexpr UINT IDD_COPY_WINDOW = 148;
constexpr UINT IDD_MOVE_WINDOW = 149;
constexpr UINT IDD_CONFIRM_ALL = 150;
constexpr UINT IDC_WINDOW_CHOICE = 1028;
constexpr UINT IDC_CONFIRM_TEXT = 1037;
constexpr UINT IDC_CONFIRM_YES = 1038;
constexpr UINT IDC_CONFIRM_YES_ALL = 3;
constexpr UINT IDC_CONFIRM_NO = 2;
constexpr UINT IDC_CONFIRM_STOP = 1039;

// Lists every open window but the caller's; OK ends with the chosen index,
// Cancel hands the focus back to the caller.
class CWFWindowChoiceDlg : public CDialog {
 public:
  CWFWindowChoiceDlg(UINT templateId, CWnd* parent);

  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  void OnCancel() override;

  // The window-list index the chosen entry names; -1 without a choice.
  int TargetIndex() const;

  int m_nWindow = -1;  // the chosen list index
  int m_nCaller = -1;  // the caller's window-list index

 private:
  CWnd* m_pCaller;
};

class CCopyDlg : public CWFWindowChoiceDlg {
 public:
  explicit CCopyDlg(CWnd* parent) : CWFWindowChoiceDlg(IDD_COPY_WINDOW, parent) {}
};

class CMoveDlg : public CWFWindowChoiceDlg {
 public:
  explicit CMoveDlg(CWnd* parent) : CWFWindowChoiceDlg(IDD_MOVE_WINDOW, parent) {}
};

// Ends with 1038 (Yes), 3 (Yes to All), 2 (No, Escape, the close box) or
// 1039 (Stop).
class CConfirmAllDlg : public CDialog {
 public:
  CConfirmAllDlg(const CString& caption, const CString& message, CWnd* parent);

  BOOL OnInitDialog() override;

 protected:
  void OnYes() { EndDialog(IDC_CONFIRM_YES); }
  void OnYesToAll() { EndDialog(IDC_CONFIRM_YES_ALL); }
  void OnStop() { EndDialog(IDC_CONFIRM_STOP); }
  void OnCancel() override { EndDialog(IDC_CONFIRM_NO); }

 private:
  CString m_caption;
  CString m_message;
  DECLARE_MESSAGE_MAP()
};
