#pragma once
// The splash window shown while the program starts; it ends itself after 7 s
// and then shows the first printer window.
#include "framework/dialog.h"

class CSplashWnd : public CDialog {
 public:
  CSplashWnd() = default;
  // Modeless, from template 147, without parent.
  BOOL Create();

 protected:
  BOOL OnInitDialog() override;
  void OnPaint();
  void OnTimer(UINT_PTR id);
  DECLARE_MESSAGE_MAP()

 private:
  UINT_PTR m_timer = 0;
  BOOL m_oem = FALSE;
};
