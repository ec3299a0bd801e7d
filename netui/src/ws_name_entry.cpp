#include "ws_name_entry.h"

#include <cstring>

#include "framework/controls.h"
#include "notices.h"

namespace wf::netui {

void WsNameEntry::init(CDialog& dialog) {
  static_cast<CEdit*>(dialog.GetDlgItem(editId_))->LimitText(kWsNameChars);
  dialog.GetDlgItem(IDOK)->EnableWindow(FALSE);
}

BOOL WsNameEntry::command(CDialog& dialog, WPARAM wParam) {
  if (LOWORD(wParam) != editId_ || HIWORD(wParam) != EN_CHANGE) return FALSE;
  if (restoring_) return TRUE;
  dialog.GetDlgItem(IDOK)->EnableWindow(TRUE);
  CString typed;
  dialog.GetDlgItemText(editId_, typed);
  bool refused = false;
  if (refused_)
    for (char c : typed.str())
      refused = refused || static_cast<unsigned char>(c) < 0x20 || c == 0x7F || std::strchr(refused_, c);
  if (!refused) {
    text_ = typed;
    return TRUE;
  }
  NtcBadCharCL(&dialog).DoModal();
  restoring_ = true;
  dialog.SetDlgItemText(editId_, text_);
  restoring_ = false;
  static_cast<CEdit*>(dialog.GetDlgItem(editId_))->SetSel(text_.GetLength(), text_.GetLength());
  return TRUE;
}

}  // namespace wf::netui
