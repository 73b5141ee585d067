// The wizard of one process: the shell and its pages, built in the program's
// order and torn down in the reverse one (pages first, then the shell). The
// converter is borrowed and outlives both.
#pragma once

#include "GUI2/wizard_page.h"
#include "GUI2/wizard_shell.h"

#include <memory>
#include <string>
#include <vector>

class qorvant_converter;

// "Tabloom 5.5": the window title and the prefix of every box caption.
QString wizard_title();

// The profile path of a quick launch: the arguments after the program's name,
// joined with single blanks; empty for a normal start.
std::wstring wizard_command_line(int argc, const char* const* argv);

// A quick launch's settings and connection, before the wizard exists: loads the
// profile, checks the destination (an existing file is kept until the run
// replaces it) and connects to the server. A profile that does not load is
// reported and the answer is false: nothing is converted then. A failing load
// that raises its own error, a failing check or a failing connection is thrown
// for the program's top to report.
bool prepare_quick_launch(qorvant_converter& converter, const std::wstring& profile);

class wizard_program {
public:
  // An empty command line gives all seven pages from the welcome page on; a
  // profile path gives the progress and finish pages only.
  wizard_program(qorvant_converter& converter, const std::wstring& command_line);

  wizard_shell& shell() noexcept { return shell_; }
  int run() { return shell_.run(); }

private:
  wizard_shell shell_;
  std::vector<std::unique_ptr<wizard_page>> pages_;  // declared after the shell: destroyed first
};
