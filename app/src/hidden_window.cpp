#include "app/hidden_window.h"

#include "framework/win_thread.h"
#include "framework/window_class.h"

BEGIN_MESSAGE_MAP(CWFHiddenWnd, CWnd)
ON_WM_DESTROY()
END_MESSAGE_MAP()

BOOL CWFHiddenWnd::CreateHidden() {
  m_className = AfxRegisterWndClass(0);
  if (m_className.IsEmpty()) return FALSE;
  return CreateEx(WS_EX_TRANSPARENT, m_className, "", WS_POPUP, 9999, 9999, 10, 10, 0);
}

void CWFHiddenWnd::OnDestroy() {
  CWnd::OnDestroy();
  OnHiddenDestroy();
  m_className.Empty();
  PostQuitMessage(0);
}
