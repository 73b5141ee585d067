// The wizard's side of error reporting: the list of at most 20 error texts that
// the finish page shows, and the boxes and dialogs that a report opens. Any
// thread may call it; every window is made and shown on the GUI thread.
#pragma once

#include "common/run_front_end.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class QWidget;

class gui_error_front {
public:
  static constexpr std::size_t max_errors = 20;

  // The Continue/Abort answer and the state of its "do not show again" box.
  struct continue_answer {
    bool abort = false;
    bool do_not_show = false;
  };

  // title: the wizard's title once it has been shown, else empty; owner: the
  // window the dialogs belong to, may be none.
  using title_source = std::function<QString()>;
  using owner_source = std::function<QWidget*()>;

  explicit gui_error_front(title_source title = {}, owner_source owner = {});

  // Keeps the text when fewer than max_errors are kept; later texts are dropped.
  void add_error(const std::string& text);
  std::vector<std::string> errors() const;
  void clear_errors();

  // Level 0: the Continue/Abort dialog; a dialog that cannot be shown continues.
  continue_answer ask_continue(const std::string& text);
  // Level 1: an error box.
  void show_error(const std::string& text);
  // Level 2: the internal-error dialog; returns its result. Ending the process
  // afterwards is the caller's business.
  int show_internal_error(const std::string& text);

  // A report of the error handler: the text joins the list (not at level 2);
  // unless quiet, level 0 asks Continue or Abort, level 1 shows the error box,
  // level 2 the internal-error dialog, after which the program ends.
  report_answer report(std::uint32_t level, const std::string& text, bool quiet);

private:
  QString title() const;
  QWidget* owner() const;

  title_source title_;
  owner_source owner_;
  mutable std::mutex mutex_;
  std::vector<std::string> errors_;
};

// Ends the wizard after an internal error, at once and without unwinding: no
// setting is stored from a state the program no longer trusts.
[[noreturn]] void end_wizard(const qvt_process_exit& exit);

// Runs the function on the GUI thread and waits for it: directly when called
// there (a blocking hop to itself would deadlock), else through the event loop.
void run_on_gui_thread(const std::function<void()>& function);
