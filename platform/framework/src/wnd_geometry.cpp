// Window geometry and repainting, through the window's widget. The client
// area is the widget's contents rectangle: a frame's menu bar sits in its
// top margin, outside it.
#include "framework/wnd.h"
#include "wnd_widget.h"

namespace {

QPoint clientOrigin(const QWidget* w) { return w->contentsRect().topLeft(); }

}  // namespace

void CWnd::GetClientRect(LPRECT rect) const {
  if (!rect) return;
  QWidget* w = wf::fw::widgetOf(m_hWnd);
  *rect = w ? RECT{0, 0, w->contentsRect().width(), w->contentsRect().height()} : RECT{};
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
  const QPoint origin = !w->isWindow() && w->parentWidget() ? clientOrigin(w->parentWidget()) : QPoint();
  w->setGeometry(origin.x() + x, origin.y() + y, std::max(0, width), std::max(0, height));
  if (repaint) w->update();
}

void CWnd::ClientToScreen(LPPOINT point) const {
  QWidget* w = wf::fw::widgetOf(m_hWnd);
  if (!w || !point) return;
  const QPoint p = w->mapToGlobal(QPoint(point->x, point->y) + clientOrigin(w));
  *point = {p.x(), p.y()};
}

void CWnd::ScreenToClient(LPPOINT point) const {
  QWidget* w = wf::fw::widgetOf(m_hWnd);
  if (!w || !point) return;
  const QPoint p = w->mapFromGlobal(QPoint(point->x, point->y)) - clientOrigin(w);
  *point = {p.x(), p.y()};
}

void CWnd::Invalidate(BOOL) {
  if (QWidget* w = wf::fw::widgetOf(m_hWnd)) w->update();
}

void CWnd::UpdateWindow() {
  if (QWidget* w = wf::fw::widgetOf(m_hWnd); w && w->isVisible()) w->repaint();
}
