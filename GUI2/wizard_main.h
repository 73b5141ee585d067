// The whole of the wizard process from the QApplication to the exit code: the
// error handler, the converter (which reads and, when destroyed, writes the
// settings), the shell and its pages. Nothing thrown on the way escapes it. The
// shipped program adds nothing around it; a caller may watch the run through
// the hooks (the tests' driver does, to answer boxes without a user).
#pragma once

#include <functional>

class QApplication;
class wizard_program;

struct wizard_main_hooks {
  // Once the application and the error handler stand, before the converter.
  std::function<void(QApplication&)> started;
  // Once the pages are built, before the wizard is shown.
  std::function<void(wizard_program&)> program_ready;
};

int wizard_main(int argc, char** argv, const wizard_main_hooks& hooks = {});
