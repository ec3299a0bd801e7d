#include "accelerators.h"

#include <QApplication>
#include <QWidget>

#include "framework/frame_wnd.h"
#include "framework/virtual_keys.h"
#include "wnd_widget.h"

namespace wf::fw {

WORD virtualKey(int key) {
  if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
    return static_cast<WORD>(key);
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return static_cast<WORD>(VK_F1 + (key - Qt::Key_F1));
  switch (key) {
    case Qt::Key_Backspace:
      return VK_BACK;
    case Qt::Key_Tab:
      return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return VK_RETURN;
    case Qt::Key_Escape:
      return VK_ESCAPE;
    case Qt::Key_Space:
      return VK_SPACE;
    case Qt::Key_PageUp:
      return VK_PRIOR;
    case Qt::Key_PageDown:
      return VK_NEXT;
    case Qt::Key_End:
      return VK_END;
    case Qt::Key_Home:
      return VK_HOME;
    case Qt::Key_Left:
      return VK_LEFT;
    case Qt::Key_Up:
      return VK_UP;
    case Qt::Key_Right:
      return VK_RIGHT;
    case Qt::Key_Down:
      return VK_DOWN;
    case Qt::Key_Insert:
      return VK_INSERT;
    case Qt::Key_Delete:
      return VK_DELETE;
    default:
      return 0;
  }
}

namespace {

BYTE modifierFlags(Qt::KeyboardModifiers modifiers) {
  BYTE flags = 0;
  if (modifiers & Qt::ShiftModifier) flags |= res::FSHIFT;
  if (modifiers & Qt::ControlModifier) flags |= res::FCONTROL;
  if (modifiers & Qt::AltModifier) flags |= res::FALT;
  return flags;
}

// The frame whose window holds `widget`, when it has an accelerator table.
CFrameWnd* frameWithAccelerators(QWidget* widget) {
  auto* top = widget ? dynamic_cast<WndWidget*>(widget->window()) : nullptr;
  auto* frame = top ? dynamic_cast<CFrameWnd*>(CWnd::FromHandlePermanent(top->hwnd())) : nullptr;
  return frame && frame->m_hAccelTable ? frame : nullptr;
}

class AcceleratorFilter : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (e->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
    CFrameWnd* frame = frameWithAccelerators(static_cast<QWidget*>(watched));
    if (!frame) return false;
    const auto* table = static_cast<const res::AcceleratorTable*>(frame->m_hAccelTable);
    const UINT command = acceleratorCommand(*table, *static_cast<QKeyEvent*>(e));
    if (command == 0) return false;
    frame->PostMessage(WM_COMMAND, MAKELONG(static_cast<WORD>(command), 1), 0);
    return true;
  }
};

}  // namespace

UINT acceleratorCommand(const res::AcceleratorTable& table, const QKeyEvent& key) {
  const WORD vk = virtualKey(key.key());
  const BYTE modifiers = modifierFlags(key.modifiers());
  const QString text = key.text();
  for (UINT i = 0; i < table.count; ++i) {
    const res::Accelerator& a = table.entries[i];
    if (a.fVirt & res::FVIRTKEY) {
      if (vk != 0 && a.key == vk && (a.fVirt & (res::FSHIFT | res::FCONTROL | res::FALT)) == modifiers)
        return a.cmd;
    } else if (text.size() == 1 && text.at(0).unicode() == a.key &&
               ((a.fVirt & res::FALT) != 0) == ((modifiers & res::FALT) != 0)) {
      // A character: Shift and Control are already part of it.
      return a.cmd;
    }
  }
  return 0;
}

void translateFrameAccelerators() {
  static AcceleratorFilter* filter = nullptr;  // GUI thread only; lives with the application
  if (filter || !QCoreApplication::instance()) return;
  filter = new AcceleratorFilter;
  filter->setParent(QCoreApplication::instance());
  QCoreApplication::instance()->installEventFilter(filter);
}

}  // namespace wf::fw
