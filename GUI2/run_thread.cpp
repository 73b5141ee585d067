// The wizard's run thread. Waiting for the worker runs a local event loop on the
// GUI thread: a worker that sits in run_on_gui_thread (a report's box) gets its
// answer there, so the join that follows never waits on the GUI thread itself.
#include "GUI2/run_thread.h"

#include "GUI2/gui_error_front.h"
#include "GUI2/gui_thread.h"
#include "TK/tk_log.h"
#include "common/qvt_converter.h"
#include "common/run_stop.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <thread>

run_thread::run_thread(qorvant_converter& converter) : tk_thread(false), run_(converter) {}

run_thread::~run_thread()
{
  try {
    if (is_running())
      stop_and_wait();
  } catch (...) {
    tk_log_message(3, "run_thread::dtor - the worker could not be joined");
  }
}

tk_thread_functor* run_thread::get_functor()
{
  return &run_;
}

bool run_thread::request_stop()
{
  if (tk_thread_functor* run = functor())
    run->request_stop();
  return run_stop::requested();
}

void run_thread::stop_and_wait()
{
  request_stop();
  wait();
}

void run_thread::wait()
{
  if (is_running() && QCoreApplication::instance() != nullptr && gui::on_gui_thread()) {
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, &loop, [this, &loop] {
      if (!is_running())
        loop.quit();
    });
    poll.start();
    if (is_running())
      loop.exec(QEventLoop::ExcludeUserInputEvents);
  }
  // Off the GUI thread nothing waits on this thread's events: a plain wait serves.
  while (is_running())
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  release();
}

void run_thread::run_functor::operator()()
{
  tk_log_message(2, "run_thread: the run starts");
  try {
    converter_();
  } catch (const qvt_process_exit& exit) {
    // An internal error was reported: the program ends, as from the GUI thread.
    end_wizard(exit);
  }
}

void run_thread::run_functor::request_stop()
{
  converter_.request_stop();
}

bool run_thread::run_functor::stop_requested() const noexcept
{
  return converter_.stop_requested();
}
