// The wizard's answers to the core's reports, from any thread.
#include "GUI2/wizard_front_end.h"

#include "GUI2/gui_error_front.h"

report_answer wizard_front_end::report(std::uint32_t level, const std::string& text, bool quiet)
{
  return gui_error_front::report(level, text, quiet);
}
