#include <sys/syscall.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include "platform/MessageQueue.h"

namespace {
// Drains a queue from the Qt event loop of its thread: when its wake descriptor becomes
// readable, and when its next timer is due. Lives on the queue's thread as a child of the
// application object; touched only there.
class TQtEventLoopBinding final : public QObject, public TEventLoopBinding {
public:
  TQtEventLoopBinding(TMessageQueue& Queue, QObject* Parent)
      : QObject(Parent), FQueue(Queue), FNotifier(Queue.WakeDescriptor(), QSocketNotifier::Read) {
    FTimer.setSingleShot(true);
    FTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&FNotifier, &QSocketNotifier::activated, this, [this] { FQueue.DeliverPending(); });
    QObject::connect(&FTimer, &QTimer::timeout, this, [this] {
      FQueue.ArrangedDrainCame();
      FQueue.DeliverPending();
    });
  }

  ~TQtEventLoopBinding() override { FQueue.DetachBinding(); }

  void ScheduleTimers(int Milliseconds) override {
    if (Milliseconds < 0)
      FTimer.stop();
    else
      FTimer.start(Milliseconds);
  }

private:
  TMessageQueue& FQueue;
  QSocketNotifier FNotifier;
  QTimer FTimer;
};

// Qt is asked about the main thread only: a worker started with std::thread has no Qt
// event loop, and asking Qt about it would make Qt adopt it.
bool IsMainThread() { return syscall(SYS_gettid) == getpid(); }
}  // namespace

bool EventLoopAvailable() { return QCoreApplication::instance() != nullptr; }

TEventLoopBinding* CreateEventLoopBinding(TMessageQueue& Queue) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || !IsMainThread() || !QAbstractEventDispatcher::instance()) return nullptr;
  // Owned by the application object, which deletes it if it goes before the queue.
  return new TQtEventLoopBinding(Queue, app);
}

void ProcessMessages() {
  const auto queue = TMessageQueue::ForCurrentThreadIfAny();
  if (queue) queue->DeliverPending();
  // The Qt loop's own events (timers, widgets) are pending whether or not a window of ours
  // has given the thread a queue yet.
  if (queue ? queue->HasEventLoop() : (EventLoopAvailable() && IsMainThread() && QAbstractEventDispatcher::instance()))
    QCoreApplication::processEvents();
}
