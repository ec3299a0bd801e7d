// Window geometry and repainting, through the window's widget.
#include "framework/wnd.h"
#include "wnd_widget.h"

void CWnd::GetClientRect(LPRECT rect) const {
  if (!rect) return;
  QWidget* w = wf::fw::widgetOf(m_hWnd);
  *rect = w ? RECT{0, 0, w->width(), w->height()} : RECT{};
}

void CWnd::GetWindowRect(LPRECT rect) const {
  if (!rect) return;
  QWidget* w = wf::fw::widgetOf(m_hWnd);
  if (!w) {
    *rect = RECT{};
    return;
  }
  const QPoint origin = w->isWindow() ? w->pos() : w->mapToGlobal(QPoint(0, 0));
  *rect = RECT{origin.x(), origin.y(), origin.x() + w->width(), origin.y() + w->height()};
}

void CWnd::MoveWindow(int x, int y, int width, int height, BOOL repaint) {
  QWidget* w = wf::fw::widgetOf(m_hWnd);
  if (!w) return;
  w->setGeometry(x, y, std::max(0, width), std::max(0, height));
  if (repaint) w->update();
}

void CWnd::ClientToScreen(LPPOINT point) const {
  QWidget* w = wf::fw::widgetOf(m_hWnd);
  if (!w || !point) return;
  const QPoint p = w->mapToGlobal(QPoint(point->x, point->y));
  *point = {p.x(), p.y()};
}

void CWnd::ScreenToClient(LPPOINT point) const {
  QWidget* w = wf::fw::widgetOf(m_hWnd);
  if (!w || !point) return;
  const QPoint p = w->mapFromGlobal(QPoint(point->x, point->y));
  *point = {p.x(), p.y()};
}

void CWnd::Invalidate(BOOL) {
  if (QWidget* w = wf::fw::widgetOf(m_hWnd)) w->update();
}

void CWnd::UpdateWindow() {
  if (QWidget* w = wf::fw::widgetOf(m_hWnd); w && w->isVisible()) w->repaint();
}
