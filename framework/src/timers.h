#pragma once
// Window timers: one service thread posts WM_TIMER to the window when a
// timer is due. Like the original platform it never queues a second WM_TIMER
// for a timer whose last one is still waiting to be handled.
#include "framework/wnd.h"

namespace wf::fw {

// Starts or restarts timer (window, id); false when the window is not live.
bool setWindowTimer(HWND window, UINT_PTR id, UINT elapseMs);
bool killWindowTimer(HWND window, UINT_PTR id);
void killWindowTimers(HWND window);
// The window's WM_TIMER for `id` is being handled.
void windowTimerDelivered(HWND window, UINT_PTR id);

}  // namespace wf::fw
