#include "framework/ddx.h"

#include <QString>

#include <limits>

#include "framework/shell_calls.h"

CWnd* CDataExchange::PrepareCtrl(int id) {
  last_ = m_pDlgWnd->GetDlgItem(id);
  return last_;
}

void CDataExchange::Fail() {
  failed_ = TRUE;
  if (last_) last_->SetFocus();
}

namespace {

// Shows the message of a failed read or check and fails the exchange.
void failWith(CDataExchange* dx, LPCSTR message) {
  AfxMessageBox(message, MB_OK | MB_ICONEXCLAMATION);
  dx->Fail();
}

// Reads a whole number between lo and hi from the control's text.
bool readNumber(CDataExchange* dx, int id, long long lo, long long hi, LPCSTR message, long long& out) {
  CString text;
  if (CWnd* w = dx->PrepareEditCtrl(id)) w->GetWindowText(text);
  bool ok = false;
  const long long value = QString::fromStdString(text.str()).trimmed().toLongLong(&ok);
  if (!ok || value < lo || value > hi) {
    failWith(dx, message);
    return false;
  }
  out = value;
  return true;
}

template <class T>
void textNumber(CDataExchange* dx, int id, T& value, LPCSTR format, LPCSTR message) {
  if (dx->failed()) return;
  if (dx->m_bSaveAndValidate) {
    long long read = 0;
    if (readNumber(dx, id, std::numeric_limits<T>::min(), std::numeric_limits<T>::max(), message, read))
      value = static_cast<T>(read);
  } else if (CWnd* w = dx->PrepareEditCtrl(id)) {
    CString text;
    text.Format(format, value);
    w->SetWindowText(text);
  }
}

template <class T>
void checkRange(CDataExchange* dx, T value, T lo, T hi, LPCSTR format) {
  if (dx->failed() || !dx->m_bSaveAndValidate || (value >= lo && value <= hi)) return;
  CString message;
  message.Format(format, lo, hi);
  failWith(dx, message);
}

CListControlBase* listControl(CDataExchange* dx, int id) {
  return dynamic_cast<CListControlBase*>(dx->PrepareCtrl(id));
}

}  // namespace

void DDX_Text(CDataExchange* dx, int id, CString& value) {
  if (dx->failed()) return;
  CWnd* w = dx->PrepareEditCtrl(id);
  if (!w) return;
  if (dx->m_bSaveAndValidate)
    w->GetWindowText(value);
  else
    w->SetWindowText(value);
}

void DDX_Text(CDataExchange* dx, int id, int& value) {
  textNumber(dx, id, value, "%d", "Please enter an integer.");
}
void DDX_Text(CDataExchange* dx, int id, long& value) {
  textNumber(dx, id, value, "%ld", "Please enter an integer.");
}
void DDX_Text(CDataExchange* dx, int id, UINT& value) {
  textNumber(dx, id, value, "%u", "Please enter a positive integer.");
}

void DDX_Text(CDataExchange* dx, int id, BYTE& value) {
  if (dx->failed()) return;
  if (!dx->m_bSaveAndValidate) {
    UINT wide = value;
    DDX_Text(dx, id, wide);
    return;
  }
  long long read = 0;
  if (readNumber(dx, id, 0, 255, "Please enter an integer between 0 and 255.", read)) value = static_cast<BYTE>(read);
}

void DDX_Check(CDataExchange* dx, int id, int& value) {
  if (dx->failed()) return;
  auto* button = dynamic_cast<CButton*>(dx->PrepareCtrl(id));
  if (!button) return;
  if (dx->m_bSaveAndValidate)
    value = button->GetCheck();
  else
    button->SetCheck(value);
}

void DDX_Radio(CDataExchange* dx, int id, int& value) {
  if (dx->failed()) return;
  CWnd* first = dx->PrepareCtrl(id);
  if (!first) return;
  // The group: the radio buttons from `id` up to the next control that starts a group.
  if (dx->m_bSaveAndValidate) value = -1;
  int index = 0;
  for (int next = id;; ++next) {
    auto* button = dynamic_cast<CButton*>(dx->m_pDlgWnd->GetDlgItem(next));
    if (!button || (next != id && (button->GetStyle() & WS_GROUP))) break;
    const UINT type = button->GetButtonStyle();
    if (type != BS_RADIOBUTTON && type != BS_AUTORADIOBUTTON) break;
    if (dx->m_bSaveAndValidate) {
      if (button->GetCheck() == BST_CHECKED) value = index;
    } else {
      button->SetCheck(index == value ? BST_CHECKED : BST_UNCHECKED);
    }
    ++index;
  }
}

void DDX_CBIndex(CDataExchange* dx, int id, int& index) {
  if (dx->failed()) return;
  if (auto* combo = listControl(dx, id)) {
    if (dx->m_bSaveAndValidate)
      index = combo->GetCurSel();
    else
      combo->SetCurSel(index);
  }
}

void DDX_LBIndex(CDataExchange* dx, int id, int& index) {
  DDX_CBIndex(dx, id, index);
}

void DDX_CBString(CDataExchange* dx, int id, CString& value) {
  if (dx->failed()) return;
  auto* combo = dynamic_cast<CComboBox*>(dx->PrepareCtrl(id));
  if (!combo) return;
  if (dx->m_bSaveAndValidate) {
    combo->GetWindowText(value);
    return;
  }
  if (combo->SelectString(-1, value) == CB_ERR && (combo->GetStyle() & 0x3) != CBS_DROPDOWNLIST)
    combo->SetWindowText(value);
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
  if (control.m_hWnd) return;
  if (!dx->m_pDlgWnd->SubclassDlgItem(static_cast<UINT>(id), &control)) dx->Fail();
}

void DDV_MinMaxInt(CDataExchange* dx, int value, int minValue, int maxValue) {
  checkRange(dx, value, minValue, maxValue, "Please enter an integer between %d and %d.");
}
void DDV_MinMaxUInt(CDataExchange* dx, UINT value, UINT minValue, UINT maxValue) {
  checkRange(dx, value, minValue, maxValue, "Please enter an integer between %u and %u.");
}
void DDV_MinMaxLong(CDataExchange* dx, long value, long minValue, long maxValue) {
  checkRange(dx, value, minValue, maxValue, "Please enter an integer between %ld and %ld.");
}

void DDV_MaxChars(CDataExchange* dx, const CString& value, int maxChars) {
  if (dx->failed()) return;
  if (!dx->m_bSaveAndValidate) {
    if (auto* edit = dynamic_cast<CEdit*>(dx->lastControl())) edit->LimitText(maxChars);
    return;
  }
  if (value.GetLength() > maxChars) {
    CString message;
    message.Format("Enter no more than %d characters.", maxChars);
    failWith(dx, message);
  }
}
