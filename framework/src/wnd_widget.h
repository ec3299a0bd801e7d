#pragma once
// The widget that draws a CWnd created on the GUI thread. Qt's window events
// become the window's messages; closing from the title bar is the system
// Close command, so the window's handlers decide what happens.
#include <QWidget>

#include "framework/wnd.h"

namespace wf::fw {

class WndWidget : public QWidget {
 public:
  WndWidget(HWND hwnd, QWidget* parent);
  HWND hwnd() const { return hwnd_; }
  // True while WM_PAINT runs from this widget's paint event.
  bool painting() const { return painting_; }

 protected:
  void closeEvent(QCloseEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void moveEvent(QMoveEvent* e) override;
  void changeEvent(QEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  bool event(QEvent* e) override;

 private:
  LRESULT deliver(UINT message, WPARAM wParam, LPARAM lParam);
  void positionChanged(UINT flags);
  void keyMenu();
  HWND hwnd_;
  bool painting_ = false;
  bool altAlone_ = false;  // Alt went down and nothing else came since
};

}  // namespace wf::fw

namespace wf::fw {
// The user changed the window's state through its frame.
void noteWidgetState(HWND hwnd, bool visible, bool minimized, bool maximized);
// The widget that draws a window of this process; null off the GUI thread or for windows without one.
WndWidget* widgetOf(HWND hwnd);

// A window's rectangle as the original measures it: a top-level window by
// its outer frame on the screen, a child by itself in its parent's client
// coordinates. The frame's width is known once the window system has given
// it (before that it counts as none).
QRect outerGeometry(const QWidget* w);
void setOuterGeometry(QWidget* w, const QRect& outer);
// What the window system's frame adds around a top-level window.
QMargins frameMargins(const QWidget* w);
}  // namespace wf::fw
