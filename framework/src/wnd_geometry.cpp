// Window geometry and repainting, through the window's widget. The client
// area is the widget's contents rectangle: a frame's menu bar sits in its
// top margin, outside it.
#include "framework/wnd.h"
#include "wnd_widget.h"

namespace {

QPoint clientOrigin(const QWidget* w) {
  return w->contentsRect().topLeft();
}

}  // namespace

QMargins wf::fw::frameMargins(const QWidget* w) {
  if (!w->isWindow()) return {};
  const QRect outer = w->frameGeometry(), inner = w->geometry();
  return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
          outer.bottom() - inner.bottom()};
}

QRect wf::fw::outerGeometry(const QWidget* w) {
  if (w->isWindow()) return w->frameGeometry();
  const QPoint origin = w->parentWidget() ? clientOrigin(w->parentWidget()) : QPoint();
  return w->geometry().translated(-origin);
}

void wf::fw::setOuterGeometry(QWidget* w, const QRect& outer) {
  const QMargins frame = frameMargins(w);
  const QPoint origin = !w->isWindow() && w->parentWidget() ? clientOrigin(w->parentWidget()) : QPoint();
  const QRect inner = outer.marginsRemoved(frame).translated(origin);
  w->setGeometry(inner.x(), inner.y(), std::max(0, inner.width()), std::max(0, inner.height()));
}

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
  QRect r = wf::fw::outerGeometry(w);
  if (!w->isWindow()) r.moveTopLeft(w->mapToGlobal(QPoint(0, 0)));
  *rect = RECT{r.x(), r.y(), r.x() + r.width(), r.y() + r.height()};
}

void CWnd::MoveWindow(int x, int y, int width, int height, BOOL repaint) {
  QWidget* w = wf::fw::widgetOf(m_hWnd);
  if (!w) return;
  wf::fw::setOuterGeometry(w, QRect(x, y, std::max(0, width), std::max(0, height)));
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

void CWnd::InvalidateRect(LPCRECT rect, BOOL) {
  QWidget* w = wf::fw::widgetOf(m_hWnd);
  if (!w) return;
  if (rect) {
    w->update(QRect(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top));
  } else {
    w->update();
  }
}

void CWnd::SetRedraw(BOOL redraw) {
  if (QWidget* w = wf::fw::widgetOf(m_hWnd)) w->setUpdatesEnabled(redraw != FALSE);
}

void CWnd::UpdateWindow() {
  if (QWidget* w = wf::fw::widgetOf(m_hWnd); w && w->isVisible()) w->repaint();
}
