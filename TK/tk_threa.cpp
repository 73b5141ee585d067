// Worker threads with a cooperative stop. The worker publishes its end through
// ended_ as its very last act, so "running" never needs a timed wait, and every
// join happens on a thread that has ended or been asked to stop.
#include "TK/tk_threa.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"

#include <chrono>
#include <system_error>

void tk_thread_functor::operator()()
{
  while (!is_done() && !stop_requested())
    wait_step();
  finish();
}

bool tk_thread_functor::is_done() { return false; }

void tk_thread_functor::wait_step()
{
  std::unique_lock lock(wake_mutex_);
  wake_.wait_for(lock, std::chrono::milliseconds(100), [this] { return stop_requested(); });
}

void tk_thread_functor::finish() {}

void tk_thread_functor::request_stop()
{
  {
    // Set under the lock so that a wait_step between its check and its wait
    // cannot miss the wake-up.
    std::lock_guard lock(wake_mutex_);
    stop_.store(true, std::memory_order_release);
  }
  wake_.notify_all();
  on_stop_requested();
}

tk_thread::tk_thread(bool owns_functor) : owns_functor_(owns_functor) {}

tk_thread::~tk_thread()
{
  try {
    if (is_running()) {
      tk_log_message(2, "tk_thread::dtor - stopping the worker");
      functor_->request_stop();
    }
    if (thread_.joinable())
      thread_.join();
    release();
  } catch (const std::exception& e) {
    tk_log_message(3, "tk_thread::dtor - %s", e.what());
  } catch (...) {
    tk_log_message(3, "tk_thread::dtor - unknown exception");
  }
}

bool tk_thread::is_running() const noexcept
{
  return thread_.joinable() && !ended_.load(std::memory_order_acquire);
}

void tk_thread::start()
{
  if (is_running())
    throw tk_mail_assertion("tk_threa", 92);
  release();
  if (functor_ != nullptr)
    throw tk_mail_assertion("tk_threa", 100);
  tk_thread_functor* functor = get_functor();
  if (functor == nullptr)
    throw tk_mail_assertion("tk_threa", 105);
  functor_ = functor;
  if (owns_functor_ && owned_.get() != functor)
    owned_.reset(functor);

  ended_.store(false, std::memory_order_release);
  try {
    thread_ = std::thread([this, functor] {
      thread_proc(functor);
      ended_.store(true, std::memory_order_release);
    });
  } catch (const std::system_error& e) {
    ended_.store(true, std::memory_order_release);
    tk_log_message(3, "tk_thread::start - %s", e.what());
    throw tk_exception(std::string("Cannot start a worker thread: ") + e.code().message(), 1);
  }
}

void tk_thread::release()
{
  if (is_running())
    throw tk_mail_assertion("tk_threa", 71);
  if (thread_.joinable())
    thread_.join();
  owned_.reset();
  functor_ = nullptr;
}

int tk_thread::thread_proc(tk_thread_functor* functor)
{
  try {
    if (functor == nullptr)
      throw tk_mail_assertion("tk_threa", 149);
    (*functor)();
  } catch (const std::exception& e) {
    tk_log_message(3, "tk_thread::thread_proc - unhandled exception: %s", e.what());
  } catch (...) {
    tk_log_message(3, "tk_thread::thread_proc - unhandled exception");
  }
  return 1;
}

tk_thread_functor* tk_thread::get_functor()
{
  owned_ = std::make_unique<tk_thread_functor>();
  owns_functor_ = true;
  return owned_.get();
}
