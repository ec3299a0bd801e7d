#pragma once
// Accelerator tables of frames. Keys pressed anywhere in a frame's window are
// looked up in its table before the focused widget sees them, as the
// original message loop translated them first; a match becomes WM_COMMAND
// (notification code 1) posted to the frame, and the key goes no further.
#include <QKeyEvent>

#include "framework/resource_data.h"

namespace wf::fw {

// The original platform's virtual key of a Qt key; 0 when it has none.
WORD virtualKey(int key);

// The command `table` gives the key, 0 when none.
UINT acceleratorCommand(const res::AcceleratorTable& table, const QKeyEvent& key);

// Starts the translation for the process's frames (once; GUI thread).
void translateFrameAccelerators();

}  // namespace wf::fw
