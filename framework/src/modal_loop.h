#pragma once
// The nested loop a modal dialog or sheet runs until its ending call, and the
// end of the session, which ends every such loop as a cancel.
#include <QEventLoop>
#include <QWidget>

#include <functional>

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
// `cancel` ends the loop when the session ends, at once when it is ending.
void runUntilEnded(const bool& ended, QEventLoop*& loop, const std::function<void()>& cancel);

// True once endSession ran: a box asked for answers as cancelled (its
// escape) without showing, also during the shutdown.
bool sessionEnded();

// The application's loop has returned (or never ran): the shutdown's own
// dialogs run to their end from here on.
void sessionEndDone();

}  // namespace wf::fw
