#pragma once
// What the framework knows about the calling thread.
#include "framework/win_thread.h"

namespace wf::fw {

void setCurrentWinThread(CWinThread* thread);

// True while the calling (non-GUI) thread runs a framework message loop.
bool threadRunsOwnLoop();

// Dispatches the calling thread's messages until the answer of message box
// `token` arrives; a quit met meanwhile is posted again afterwards.
int waitForMessageBoxAnswer(WPARAM token);
// Delivers that answer to `thread` from any thread.
bool postMessageBoxAnswer(DWORD thread, WPARAM token, int answer);

// The last quit code taken by the calling thread's loop.
int lastQuitCode();
void setLastQuitCode(int code);

}  // namespace wf::fw
