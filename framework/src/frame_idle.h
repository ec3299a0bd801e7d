#pragma once
// Idle-time updates of every frame of a thread, not only its main window.
#include <string>

class CWnd;

namespace wf::fw {

// Sends WM_IDLEUPDATECMDUI to `mainWindow` and to the calling thread's other
// visible frames, which pass it on to their bars.
void idleUpdateFrames(CWnd* mainWindow);

// Sends WM_QUERYENDSESSION to every frame of the calling thread.
void queryEndSessionFrames();

// With WRENFIELD_UI_SNAPSHOT set: the calling thread's frames as text (see
// README), written through a temporary file and a rename when it changed;
// with WRENFIELD_UI_PICTURES set, each frame's picture as <dir>/frame<n>.png too.
void writeUiSnapshot();

// A message box that was answered: kept for the snapshot, which lists every
// box of the run in order as "box<TAB>caption<TAB>text<TAB>answer", and
// written at once (on the GUI thread).
void recordShownBox(const std::string& caption, const std::string& text, int answer);

}  // namespace wf::fw
