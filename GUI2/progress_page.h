// The progress page: starts the run on its worker thread when shown, turns the
// converter's progress values into a bar and a status line at every tick of the
// shell's timer, and moves on to the finish page only once the run has set
// finished and its worker has ended, so that nothing of the run is still going
// when the finish page reads the error list.
#pragma once

#include "GUI2/run_thread.h"
#include "GUI2/wizard_page.h"

#include <cstdint>
#include <functional>

class QLabel;
class QProgressBar;
class qorvant_converter;

// The bar's percent while entries are copied: entries done of all entries, plus
// the current entry's share by its records; 0 while the run has counted none.
std::uint32_t progress_percent(std::int32_t entries, std::int32_t entries_done, std::uint64_t records,
                               std::uint64_t records_done);
// The bar while the finished workbook is written: creeps towards 100 without
// reaching it (0, 50 after 10 ticks, 79 after 30).
std::uint32_t apply_phase_percent(std::uint32_t ticks);

class progress_page : public wizard_page {
  Q_OBJECT
public:
  // Starts the worker; a failure to start is thrown (a level-1 tk_exception).
  using thread_starter = std::function<void(run_thread&)>;
  using help_opener = std::function<void()>;

  explicit progress_page(qorvant_converter& converter);
  // A worker still running is stopped and waited for before the converter goes.
  ~progress_page() override;

  int page_init() override;
  void on_timer() override;
  // Asks the exit question; while it is up the run goes on but does not put
  // its workbook in place. No lets it go on; Yes hides the wizard at once,
  // stops the run, waits for its worker and closes the wizard (also when the
  // run had ended meanwhile, or was putting its workbook in place already).
  bool on_cancel() override;
  void on_help() override;

  // The run is over: finished set and the worker ended (or it never started).
  bool run_over() const;
  run_thread& worker() noexcept { return thread_; }

  void set_thread_starter(thread_starter starter) { start_ = std::move(starter); }
  void set_help_opener(help_opener opener) { open_help_ = std::move(opener); }

private:
  qorvant_converter& converter_;
  QProgressBar* bar_;
  QLabel* status_;
  std::uint32_t apply_ticks_ = 0;
  bool started_ = false;
  bool start_failed_ = false;
  bool asking_ = false;  // the exit question is up
  thread_starter start_;
  help_opener open_help_;
  run_thread thread_;  // declared last: its worker is stopped before anything above goes
};
