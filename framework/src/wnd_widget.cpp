#include "wnd_widget.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QWhatsThis>

#include "platform/window_messages.h"

namespace wf::fw {

WndWidget::WndWidget(HWND hwnd, QWidget* parent) : QWidget(parent), hwnd_(hwnd) {}

LRESULT WndWidget::deliver(UINT message, WPARAM wParam, LPARAM lParam) {
  return wf::sendMessage(hwnd_, message, wParam, lParam).value_or(0);
}

void WndWidget::closeEvent(QCloseEvent* e) {
  e->ignore();
  deliver(WM_SYSCOMMAND, SC_CLOSE, 0);
}

void WndWidget::paintEvent(QPaintEvent*) {
  painting_ = true;
  deliver(WM_PAINT, 0, 0);
  painting_ = false;
}

void WndWidget::positionChanged(UINT flags) {
  WINDOWPOS pos{hwnd_, 0, x(), y(), width(), height(), flags};
  deliver(WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
}

void WndWidget::resizeEvent(QResizeEvent*) {
  positionChanged(SWP_NOMOVE);
  UINT type = isMinimized() ? SIZE_MINIMIZED : isMaximized() ? SIZE_MAXIMIZED : SIZE_RESTORED;
  // The client size: without a frame's menu bar.
  const QSize client = contentsRect().size();
  deliver(
      WM_SIZE, type,
      static_cast<LPARAM>(MAKELONG(static_cast<WORD>(client.width()), static_cast<WORD>(client.height()))));
}

void WndWidget::moveEvent(QMoveEvent*) {
  positionChanged(SWP_NOSIZE);
}

void WndWidget::changeEvent(QEvent* e) {
  if (e->type() == QEvent::ActivationChange) {
    deliver(WM_ACTIVATE, MAKELONG(isActiveWindow() ? WA_ACTIVE : WA_INACTIVE, isMinimized() ? 1 : 0), 0);
  } else if (e->type() == QEvent::WindowStateChange) {
    noteWidgetState(hwnd_, isVisible(), isMinimized(), isMaximized());
    positionChanged(SWP_NOMOVE);
  }
  QWidget::changeEvent(e);
}

void WndWidget::contextMenuEvent(QContextMenuEvent* e) {
  const QPoint p = e->globalPos();
  deliver(WM_CONTEXTMENU, hwnd_,
          static_cast<LPARAM>(MAKELONG(static_cast<WORD>(p.x()), static_cast<WORD>(p.y()))));
}

void WndWidget::keyPressEvent(QKeyEvent* e) {
  altAlone_ = e->key() == Qt::Key_Alt && !e->isAutoRepeat();
  if (e->key() == Qt::Key_F10 && e->modifiers() == Qt::NoModifier) return keyMenu();
  if (e->key() != Qt::Key_F1) return QWidget::keyPressEvent(e);
  HELPINFO info;
  info.hItemHandle = hwnd_;
  deliver(WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
}

void WndWidget::keyReleaseEvent(QKeyEvent* e) {
  // Alt pressed and released on its own is keyboard access to the menu, as F10.
  if (e->key() == Qt::Key_Alt && std::exchange(altAlone_, false)) return keyMenu();
  QWidget::keyReleaseEvent(e);
}

void WndWidget::keyMenu() {
  // The top-level window decides, whichever of its windows has the focus.
  auto* top = dynamic_cast<WndWidget*>(window());
  wf::sendMessage(top ? top->hwnd() : hwnd_, WM_SYSCOMMAND, SC_KEYMENU, 0);
}

bool WndWidget::event(QEvent* e) {
  // A click in context-help mode: the help request names the window clicked,
  // as F1 does; the mode ends with it.
  if (e->type() != QEvent::WhatsThis) return QWidget::event(e);
  const QPoint at = static_cast<QHelpEvent*>(e)->globalPos();
  HELPINFO info;
  info.hItemHandle = hwnd_;
  info.MousePos = CPoint{at.x(), at.y()};
  // Left once the click is through: the mode's own filter is still running.
  QMetaObject::invokeMethod(
      qApp, [] { QWhatsThis::leaveWhatsThisMode(); }, Qt::QueuedConnection);
  deliver(WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
  return true;
}

}  // namespace wf::fw
