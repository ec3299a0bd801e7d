#include "modal_loop.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <atomic>
#include <vector>

#include "frame_idle.h"
#include "gui_thread.h"
#include "framework/win_app.h"

namespace wf::fw {
namespace {

std::atomic<bool> ended{false};       // boxes answer at once from here on
std::atomic<bool> unwinding{false};   // modal loops end as a cancel meanwhile
std::atomic<bool> loopReturned{false};

// The cancels of this thread's running modal loops, innermost last.
thread_local std::vector<const std::function<void()>*> runningLoops;

constexpr int kUnwindPollMs = 20;

// Message boxes and the shell's other dialogs are Qt's own.
bool anyQtDialogShown() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* dialog = qobject_cast<QDialog*>(widget);
    if (dialog && dialog->isVisible()) return true;
  }
  return false;
}

void rejectQtDialogs() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* dialog = qobject_cast<QDialog*>(widget);
    if (dialog && dialog->isVisible()) dialog->done(QDialog::Rejected);
  }
}

// The frames are asked only once every loop has returned to its caller
// (closing a frame under a dialog's loop would leave the dialog's caller
// running against a destroyed window) and the application's loop runs (a
// start still under way makes its frames after a cancelled box).
void endFramesWhenUnwound() {
  if (!unwinding) return;
  if (!runningLoops.empty() || anyQtDialogShown() || !guiLoopRunning()) {
    QTimer::singleShot(kUnwindPollMs, &endFramesWhenUnwound);
    return;
  }
  queryEndSessionFrames();
}

}  // namespace

void runUntilEnded(const bool& ended, QEventLoop*& loop, const std::function<void()>& cancel) {
  if (unwinding && !ended) cancel();
  QEventLoop nested;
  loop = &nested;
  runningLoops.push_back(&cancel);
  // What shows changed: idle work runs once the loop waits.
  noteGuiActivity();
  if (!ended) nested.exec();
  runningLoops.pop_back();
  loop = nullptr;
}

bool sessionEnded() {
  return ended;
}

void sessionEndDone() {
  loopReturned = true;
  unwinding = false;
}

void endSession() {
  if (ended.exchange(true)) return;
  rejectQtDialogs();
  // The shutdown runs already: its own dialog stays, only boxes end.
  if (loopReturned) return;
  unwinding = true;
  const bool modal = !runningLoops.empty() || anyQtDialogShown() || !guiLoopRunning();
  // Innermost first; a cancel only marks its loop, which returns later.
  for (auto it = runningLoops.rbegin(); it != runningLoops.rend(); ++it) (**it)();
  if (modal)
    QTimer::singleShot(0, &endFramesWhenUnwound);
  else
    queryEndSessionFrames();
}

}  // namespace wf::fw
