#pragma once
// Idle-time updates of every frame of a thread, not only its main window.
class CWnd;

namespace wf::fw {

// Sends WM_IDLEUPDATECMDUI to `mainWindow` and to the calling thread's other
// visible frames, which pass it on to their bars.
void idleUpdateFrames(CWnd* mainWindow);

}  // namespace wf::fw
