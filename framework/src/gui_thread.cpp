#include "gui_thread.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <mutex>
#include <optional>
#include <vector>

#include "framework/win_thread.h"
#include "platform/trace.h"
#include "platform/window_messages.h"
#include "thread_state.h"

namespace wf::fw {
namespace {

const QEvent::Type kPostedEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class PostedEvent : public QEvent {
 public:
  explicit PostedEvent(Message m) : QEvent(kPostedEvent), message(std::move(m)) {}
  Message message;
};

// GUI-thread state; touched on the GUI thread only.
struct GuiLoops {
  std::vector<QEventLoop*> running;
  std::optional<int> pendingQuit;  // WM_QUIT taken while no loop ran
  LONG idleCount = 0;
  bool idleWanted = true;
};
GuiLoops& loops() {
  static GuiLoops l;
  return l;
}

void quit(int code) {
  if (loops().running.empty())
    loops().pendingQuit = code;
  else
    loops().running.back()->exit(code);
}

class Pump : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() == kWakeEvent) {
      processSentMessages();
      noteGuiActivity();
      return true;
    }
    if (e->type() != kPostedEvent) return QObject::event(e);
    Message& m = static_cast<PostedEvent*>(e)->message;
    if (m.message == wf::WM_QUIT && m.hwnd == 0) {
      quit(static_cast<int>(m.wParam));
    } else if (m.hwnd != 0) {
      dispatchMessage(m);
    }
    noteGuiActivity();
    return true;
  }
};

// Posts become Qt events of the pump, which lives on the GUI thread.
class QtQueue final : public MessageQueue {
 public:
  explicit QtQueue(Pump* pump) : pump_(pump) {}
  bool post(Message message) override { return send(new PostedEvent(std::move(message))); }
  void wake() override { send(new QEvent(kWakeEvent)); }

 private:
  bool send(QEvent* e) {
    if (!QCoreApplication::instance()) {
      delete e;
      return false;
    }
    QCoreApplication::postEvent(pump_, e);
    return true;
  }
  Pump* pump_;
};

}  // namespace

bool isGuiThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

void ensureGuiQueue() {
  static Pump* pump = nullptr;  // GUI thread only; kept: posts may arrive until the process ends
  if (pump || !isGuiThread()) return;
  pump = new Pump;
  if (!installThreadQueue(std::make_shared<QtQueue>(pump)))
    platformTrace("framework: the GUI thread had a message queue before the Qt one");
}

bool queueToGuiThread(std::function<void()> work) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return false;
  QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
  return true;
}

void noteGuiActivity() {
  loops().idleWanted = true;
  loops().idleCount = 0;
}

bool guiLoopRunning() {
  return !loops().running.empty();
}

int runGuiLoop(CWinThread* thread) {
  ensureGuiQueue();
  if (auto code = std::exchange(loops().pendingQuit, std::nullopt)) {
    setLastQuitCode(*code);
    return *code;
  }
  QEventLoop loop;
  loops().running.push_back(&loop);
  noteGuiActivity();
  QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, &loop,
                   [&loop, thread] {
                     if (!loops().idleWanted || !thread) return;
                     if (thread->OnIdle(loops().idleCount++))
                       QTimer::singleShot(0, &loop, [] {});  // keeps the loop from waiting: more idle work
                     else
                       loops().idleWanted = false;
                   });
  int code = loop.exec();
  loops().running.pop_back();
  setLastQuitCode(code);
  return code;
}

}  // namespace wf::fw
