// Z order, activation and the window rectangle around a client area.
#include "framework/wnd.h"
#include "wnd_widget.h"

namespace {

void setTopmost(QWidget* w, bool on) {
  if (w->windowFlags().testFlag(Qt::WindowStaysOnTopHint) == on) return;
  // Changing a window's flags hides it; it comes back as it was.
  const bool shown = w->isVisible();
  w->setWindowFlag(Qt::WindowStaysOnTopHint, on);
  if (shown) w->show();
}

void activate(QWidget* w) {
  QWidget* top = w->window();
  top->raise();
  top->activateWindow();
}

}  // namespace

BOOL CWnd::SetWindowPos(HWND insertAfter, int x, int y, int width, int height, UINT flags) {
  QWidget* w = wf::fw::widgetOf(m_hWnd);
  if (!w) return FALSE;
  if (!(flags & SWP_NOZORDER)) {
    if (insertAfter == HWND_TOPMOST || insertAfter == HWND_NOTOPMOST) {
      if (w->isWindow()) setTopmost(w, insertAfter == HWND_TOPMOST);
    } else if (QWidget* after = insertAfter == HWND_TOP ? nullptr : wf::fw::widgetOf(insertAfter)) {
      w->stackUnder(after);
    } else {
      w->raise();
    }
  }
  if ((flags & (SWP_NOMOVE | SWP_NOSIZE)) != (SWP_NOMOVE | SWP_NOSIZE)) {
    QRect r = wf::fw::outerGeometry(w);
    if (!(flags & SWP_NOMOVE)) r.moveTo(x, y);
    if (!(flags & SWP_NOSIZE)) r.setSize(QSize(std::max(0, width), std::max(0, height)));
    wf::fw::setOuterGeometry(w, r);
  }
  if (flags & SWP_SHOWWINDOW) {
    if (w->isWindow()) w->setAttribute(Qt::WA_ShowWithoutActivating, (flags & SWP_NOACTIVATE) != 0);
    ShowWindow(SW_SHOW);
  }
  if (flags & SWP_HIDEWINDOW) ShowWindow(SW_HIDE);
  if (!(flags & SWP_NOACTIVATE) && w->isWindow() && w->isVisible()) activate(w);
  return TRUE;
}

BOOL CWnd::BringWindowToTop() {
  QWidget* w = wf::fw::widgetOf(m_hWnd);
  if (!w) return FALSE;
  if (w->isWindow())
    activate(w);
  else
    w->raise();
  return TRUE;
}

BOOL CWnd::SetForegroundWindow() {
  QWidget* w = wf::fw::widgetOf(m_hWnd);
  if (!w) return FALSE;
  activate(w);
  return TRUE;
}

void CWnd::CalcWindowRect(LPRECT clientRect, UINT) {
  QWidget* w = wf::fw::widgetOf(m_hWnd);
  if (!w || !clientRect) return;
  // A frame's menu bar sits in the widget's margin, outside the client area.
  const QMargins around = w->contentsMargins() + wf::fw::frameMargins(w);
  clientRect->left -= around.left();
  clientRect->top -= around.top();
  clientRect->right += around.right();
  clientRect->bottom += around.bottom();
}
