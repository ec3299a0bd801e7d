#pragma once
// The one-name entry dialogs of the workstation list dialogs: an edit of at
// most 15 characters, OK enabled by the first change. `refused` characters
// (with control codes) show notice 2205 and bring the previous text back.
#include "framework/cstring.h"
#include "framework/dialog.h"

namespace wf::netui {

constexpr int kWsNameChars = 15;

class WsNameEntry {
 public:
  WsNameEntry(int editId, const char* refused) : editId_(editId), refused_(refused) {}
  void init(CDialog& dialog);
  // Call for each WM_COMMAND; TRUE when it was the edit's change.
  BOOL command(CDialog& dialog, WPARAM wParam);
  const CString& text() const { return text_; }

 private:
  int editId_;
  const char* refused_;  // null: every character taken
  CString text_;
  bool restoring_ = false;
};

}  // namespace wf::netui
