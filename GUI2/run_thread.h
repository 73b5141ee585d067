// The worker of a wizard run: the converter's run on a thread of its own. A
// stop is only ever asked for, and the wait for the worker's end keeps the GUI
// thread's events going, so a worker waiting for a box is always answered.
#pragma once

#include "TK/tk_threa.h"

class qorvant_converter;

class run_thread : public tk_thread {
public:
  explicit run_thread(qorvant_converter& converter);
  // A worker still running is stopped and waited for.
  ~run_thread() override;

  // Asks the run to stop: false when the run refused, because it is putting
  // its workbook in place already (it finishes then, as any run does).
  bool request_stop();
  // Asks the run to stop, then waits for the worker's end and joins it.
  void stop_and_wait();
  // Waits for the worker's end, answering what it asks of the GUI thread
  // meanwhile, and joins it.
  void wait();

protected:
  tk_thread_functor* get_functor() override;

private:
  // The converter's run, with an internal error that ends the program caught at
  // the top of the thread. Its stop is the converter's, which the run lifts when
  // it ends: a flag of the functor's own would stay set after a stopped run.
  class run_functor : public tk_thread_functor {
  public:
    explicit run_functor(qorvant_converter& converter) : converter_(converter) {}
    void operator()() override;
    void request_stop() override;
    bool stop_requested() const noexcept override;

  private:
    qorvant_converter& converter_;
  };

  run_functor run_;
};
