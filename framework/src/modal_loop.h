#pragma once
// The nested loop a modal dialog or sheet runs until its ending call.
#include <QEventLoop>
#include <QWidget>

#include "framework/wnd.h"
#include "wnd_widget.h"

namespace wf::fw {

// Application-modal and active, so no other window takes input meanwhile.
inline void showModal(CWnd& window) {
  QWidget* w = widgetOf(window.m_hWnd);
  if (w) w->setWindowModality(Qt::ApplicationModal);
  window.ShowWindow(SW_SHOW);
  if (w) w->activateWindow();
}

// Runs events until `ended`; the ending call quits the loop through `loop`.
inline void runUntilEnded(const bool& ended, QEventLoop*& loop) {
  QEventLoop nested;
  loop = &nested;
  if (!ended) nested.exec();
  loop = nullptr;
}

}  // namespace wf::fw
