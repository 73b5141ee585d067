// Opens the run scope first, so that a failing timer still ends with the run
// marked finished.
#include "GUI2/gui_run_scope.h"

#include "GUI2/wizard_shell.h"

gui_run_scope::gui_run_scope(std::atomic<bool>& finished) : scope_(finished, false)
{
  wizard_shell::instance().set_timer(tick_ms);
}
