#pragma once
// The never-seen window a service thread of the program runs: popup,
// transparent, 10 by 10 at 9999, 9999, of a class registered with the
// framework's defaults. Destroying it ends the thread's message loop.
#include "framework/wnd.h"

class CWFHiddenWnd : public CWnd {
 public:
  BOOL CreateHidden();

 protected:
  void OnDestroy();
  // What the service forgets as its window goes, before the loop ends.
  virtual void OnHiddenDestroy() {}
  DECLARE_MESSAGE_MAP()

 private:
  CString m_className;
};
