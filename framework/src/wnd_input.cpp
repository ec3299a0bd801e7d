// Enabled state, focus and children of a window, through its widget.
#include <QApplication>
#include <QWhatsThis>

#include "framework/virtual_keys.h"
#include "framework/wnd.h"
#include "wnd_widget.h"

namespace {

// The framework window a widget belongs to (itself or an ancestor).
CWnd* owningWnd(QWidget* w) {
  for (; w; w = w->parentWidget())
    if (auto* host = dynamic_cast<wf::fw::WndWidget*>(w)) return CWnd::FromHandlePermanent(host->hwnd());
  return nullptr;
}

}  // namespace

BOOL CWnd::EnableWindow(BOOL enable) {
  QWidget* w = wf::fw::widgetOf(m_hWnd);
  if (!w) return FALSE;
  const BOOL wasDisabled = !w->isEnabled();
  w->setEnabled(enable != FALSE);
  return wasDisabled;
}

BOOL CWnd::IsWindowEnabled() const {
  QWidget* w = wf::fw::widgetOf(m_hWnd);
  return !w || w->isEnabled();
}

CWnd* CWnd::SetFocus() {
  CWnd* previous = GetFocus();
  if (QWidget* w = wf::fw::widgetOf(m_hWnd)) {
    // A control's own editor takes the focus, not the frame around it.
    QWidget* target = w->focusProxy() ? w->focusProxy() : w;
    target->setFocus(Qt::OtherFocusReason);
  }
  return previous;
}

CWnd* CWnd::GetFocus() {
  QWidget* focused = QApplication::focusWidget();
  if (!focused) {
    // Offscreen or inactive: the focus the active window would give.
    if (QWidget* window = QApplication::activeWindow()) focused = window->focusWidget();
  }
  return owningWnd(focused);
}

CWnd* CWnd::GetDlgItem(int id) const {
  QWidget* w = wf::fw::widgetOf(m_hWnd);
  if (!w) return nullptr;
  // WndWidget has no meta-object of its own, so findChildren would also hand
  // out plain widgets placed inside the window (tab rows, scroll areas).
  for (auto* widget : w->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    auto* child = dynamic_cast<wf::fw::WndWidget*>(widget);
    if (!child) continue;
    CWnd* wnd = FromHandlePermanent(child->hwnd());
    if (wnd && wnd->GetDlgCtrlID() == id) return wnd;
  }
  return nullptr;
}

short GetKeyState(int key) {
  // The state as of the input event the GUI thread handles now.
  const Qt::KeyboardModifiers modifiers = QApplication::keyboardModifiers();
  const Qt::MouseButtons buttons = QApplication::mouseButtons();
  bool down = false;
  switch (key) {
    case VK_SHIFT:
      down = modifiers & Qt::ShiftModifier;
      break;
    case VK_CONTROL:
      down = modifiers & Qt::ControlModifier;
      break;
    case VK_MENU:
      down = modifiers & Qt::AltModifier;
      break;
    case VK_LBUTTON:
      down = buttons & Qt::LeftButton;
      break;
    case VK_RBUTTON:
      down = buttons & Qt::RightButton;
      break;
    case VK_MBUTTON:
      down = buttons & Qt::MiddleButton;
      break;
    default:
      break;
  }
  return down ? static_cast<short>(0x8000) : 0;
}

void EnterContextHelpMode() {
  if (!InContextHelpMode()) QWhatsThis::enterWhatsThisMode();
}

BOOL InContextHelpMode() {
  return QWhatsThis::inWhatsThisMode() ? TRUE : FALSE;
}
