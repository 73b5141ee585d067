// The wizard's side of error reporting: a report's text joins the shell's list
// of at most 20 errors that the finish page shows, and opens its box or dialog.
// Any thread may call it; the list and every window are touched on the GUI thread.
#pragma once

#include "common/run_front_end.h"

#include <cstdint>
#include <string>

class gui_error_front {
public:
  // The Continue/Abort answer and the state of its "do not show again" box.
  struct continue_answer {
    bool abort = false;
    bool do_not_show = false;
  };

  // Appends the text to the shell's error list when the wizard has been shown
  // and the list holds fewer than wizard_shell::max_errors texts.
  static void add_error(const std::string& text);

  // Level 0: the Continue/Abort dialog; without a GUI it continues.
  static continue_answer ask_continue(const std::string& text);
  // Level 2: the internal-error dialog; returns its result. Ending the program
  // afterwards is the caller's business.
  static int show_internal_error(const std::string& text);

  // A report of the error handler: the text joins the list (not at level 2);
  // unless quiet, level 0 asks Continue or Abort, level 1 shows the error box,
  // level 2 the internal-error dialog, after which the program ends.
  static report_answer report(std::uint32_t level, const std::string& text, bool quiet);
};

// Ends the wizard after an internal error, at once and without unwinding: no
// setting is stored from a state the program no longer trusts.
[[noreturn]] void end_wizard(const qvt_process_exit& exit);

