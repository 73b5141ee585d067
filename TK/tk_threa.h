// Worker threads. A tk_thread runs the operator() of a tk_thread_functor on a
// std::thread of its own. A thread is never killed: stopping one asks its functor
// to stop (request_stop) and joins it, so the functor always unwinds through its
// own destructors and releases what it holds.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class tk_thread_functor {
public:
  tk_thread_functor() = default;
  virtual ~tk_thread_functor() = default;
  tk_thread_functor(const tk_thread_functor&) = delete;
  tk_thread_functor& operator=(const tk_thread_functor&) = delete;

  // The body of the thread; the default waits until is_done() or a stop request,
  // then calls finish().
  virtual void operator()();
  virtual bool is_done();
  // One pause of the default body: 100 ms, cut short by a stop request.
  virtual void wait_step();
  virtual void finish();

  // Asks the body to end soon; callable from any thread, any number of times.
  // Long work checks stop_requested() between its steps. A functor whose work
  // keeps a stop of its own (a conversion run) overrides both, so that it has
  // one stop to ask for, read and lift, never two that can disagree.
  virtual void request_stop();
  virtual bool stop_requested() const noexcept { return stop_.load(std::memory_order_acquire); }

protected:
  // Called on the requesting thread after the flag is set: the place to break a
  // blocking wait that the flag alone cannot reach (a socket read, a child process).
  virtual void on_stop_requested() {}

private:
  std::atomic<bool> stop_{false};
  std::mutex wake_mutex_;
  std::condition_variable wake_;
};

class tk_thread {
public:
  explicit tk_thread(bool owns_functor);
  // A running worker is asked to stop and joined; then the thread is released.
  // Raises nothing.
  virtual ~tk_thread();
  tk_thread(const tk_thread&) = delete;
  tk_thread& operator=(const tk_thread&) = delete;

  // Starts a worker on the functor that get_functor() gives. Raises
  // tk_mail_assertion while a worker runs, and a level-1 tk_exception when the
  // system cannot create a thread.
  void start();
  // Joins an ended worker and lets go of the functor (deleting it when owned).
  // Raises tk_mail_assertion while a worker runs.
  void release();
  bool is_running() const noexcept;

  tk_thread_functor* functor() const noexcept { return functor_; }

  // The thread's body: runs the functor and returns 1. Nothing escapes it: an
  // exception out of the functor is logged, never left to end the process.
  static int thread_proc(tk_thread_functor* functor);

protected:
  // The functor to run. The default makes a plain tk_thread_functor and takes
  // ownership of it; a derived class may hand out an object it keeps itself.
  virtual tk_thread_functor* get_functor();

private:
  std::thread thread_;
  std::atomic<bool> ended_{true};
  bool owns_functor_;
  tk_thread_functor* functor_ = nullptr;         // the running functor, owned or not
  std::unique_ptr<tk_thread_functor> owned_;   // set when functor_ is ours to delete
};
