#pragma once
// Dialog data exchange: DoDataExchange moves values between a dialog's
// members and its controls, both ways (UpdateData). A failed read or range
// check shows its message, puts the focus on the control and marks the
// exchange failed; the rest of that exchange does nothing, and UpdateData
// answers FALSE, so OnOK keeps the dialog open.
#include "framework/controls.h"
#include "framework/dialog.h"

class CDataExchange {
 public:
  CDataExchange(CDialog* dialog, BOOL saveAndValidate)
      : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}

  // The control `id` (remembered for a following check); null when missing.
  CWnd* PrepareCtrl(int id);
  CWnd* PrepareEditCtrl(int id) { return PrepareCtrl(id); }
  // Shows nothing itself: the caller has shown the message.
  void Fail();
  BOOL failed() const { return failed_; }
  CWnd* lastControl() const { return last_; }

  CDialog* m_pDlgWnd;
  BOOL m_bSaveAndValidate;

 private:
  CWnd* last_ = nullptr;
  BOOL failed_ = FALSE;
};

void DDX_Text(CDataExchange* dx, int id, CString& value);
void DDX_Text(CDataExchange* dx, int id, int& value);
void DDX_Text(CDataExchange* dx, int id, UINT& value);
void DDX_Text(CDataExchange* dx, int id, long& value);
void DDX_Text(CDataExchange* dx, int id, BYTE& value);
void DDX_Check(CDataExchange* dx, int id, int& value);
// `value` is the index of the checked radio button in the group that starts at `id`; -1 none.
void DDX_Radio(CDataExchange* dx, int id, int& value);
void DDX_CBIndex(CDataExchange* dx, int id, int& index);
// Read: the combo box's text. Write: selects the first item starting with it
// (no case), or for a drop down with no such item puts the text in its edit field.
void DDX_CBString(CDataExchange* dx, int id, CString& value);
void DDX_LBIndex(CDataExchange* dx, int id, int& index);
// Makes `control` the dialog's control `id` the first time.
void DDX_Control(CDataExchange* dx, int id, CWnd& control);

void DDV_MinMaxInt(CDataExchange* dx, int value, int minValue, int maxValue);
void DDV_MinMaxUInt(CDataExchange* dx, UINT value, UINT minValue, UINT maxValue);
void DDV_MinMaxLong(CDataExchange* dx, long value, long minValue, long maxValue);
// Writing limits the typing of the edit control exchanged just before.
void DDV_MaxChars(CDataExchange* dx, const CString& value, int maxChars);
