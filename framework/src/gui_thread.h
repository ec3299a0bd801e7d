#pragma once
// The GUI thread: the thread of the Qt application object. Its platform
// message queue is Qt's event queue, so posted and sent messages run between
// Qt events, in order.
#include <functional>

class CWinThread;

namespace wf::fw {

bool isGuiThread();

// Makes the Qt event queue the GUI thread's message queue (once); call on
// the GUI thread before it first posts, creates a window or runs a loop.
void ensureGuiQueue();

// Queues `work` to the GUI thread and returns at once; false without a Qt application.
bool queueToGuiThread(std::function<void()> work);

// The GUI thread's message loop until WM_QUIT; runs `thread`'s idle work
// whenever the loop is about to wait. Returns the quit code.
int runGuiLoop(CWinThread* thread);
// True while runGuiLoop runs on this thread, under any nested loops.
bool guiLoopRunning();

// A posted message was handled: idle work may run again.
void noteGuiActivity();

}  // namespace wf::fw
