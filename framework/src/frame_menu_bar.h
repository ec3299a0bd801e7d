#pragma once
// The Qt face of a frame's menu: a QMenuBar in the top margin of the frame's
// widget (outside the client area), rebuilt from the CMenu model. Each popup
// is refilled from the model as it opens, after the owner has answered
// WM_INITMENUPOPUP, so update handlers and run-time menu changes show.
// Chosen commands are posted to the owner as WM_COMMAND; the item under the
// pointer is announced with WM_SETMESSAGESTRING.
#include <QWidget>

#include "framework/menu.h"

namespace wf::fw {

// Shows `menu` as `frame`'s menu bar for `owner`; a null menu removes the bar.
void showMenuBar(QWidget* frame, HWND owner, HMENU menu);
// Keyboard access to the bar: its first enabled item opens. FALSE without a bar.
bool openMenuBar(QWidget* frame);

}  // namespace wf::fw
