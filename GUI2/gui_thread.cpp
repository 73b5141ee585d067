// Marshalling onto the GUI thread through Qt's queued invocations on the
// application object, which lives on that thread for the whole process.
#include "GUI2/gui_thread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <exception>

namespace gui {

bool on_gui_thread()
{
  const QCoreApplication* app = QCoreApplication::instance();
  return app == nullptr || QThread::currentThread() == app->thread();
}

void run_on_gui_thread(const std::function<void()>& work)
{
  if (on_gui_thread()) {
    work();
    return;
  }
  std::exception_ptr failure;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [&work, &failure] {
        try {
          work();
        } catch (...) {
          failure = std::current_exception();
        }
      },
      Qt::BlockingQueuedConnection);
  if (failure)
    std::rethrow_exception(failure);
}

} // namespace gui
