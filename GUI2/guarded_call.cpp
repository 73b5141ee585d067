// Reports what a page hook threw, so that the wizard stays up after a level-0 or
// level-1 error; a level-2 error still ends the process through the handler. An
// error on a page is the user's to correct on that page: it is a plain error box,
// never the run's Continue/Abort report, and it stays out of the run's error list.
#include "GUI2/guarded_call.h"

#include "GUI2/gui_error_front.h"
#include "GUI2/wizard_shell.h"
#include "TK/tk_exception.h"
#include "common/err_handler.h"
#include "common/run_front_end.h"

#include <exception>
#include <stdexcept>

namespace gui {

namespace {

void report(const tk_exception& e) noexcept
{
  try {
    if (e.get_level() == tk_level_internal && error_handler::exists()) {
      error_handler::instance().handle(e, true);
      return;
    }
    wizard_shell::error(page_error_text(e));
  } catch (const qvt_process_exit& exit) {
    // An internal error: the program ends here, without unwinding.
    end_wizard(exit);
  } catch (...) {
    // The report itself failed: the wizard must still stay up.
  }
}

void report(const std::exception& e) noexcept
{
  try {
    wizard_shell::error(std::string(e.what()));
  } catch (...) {
  }
}

} // namespace

std::string page_error_text(const tk_exception& e)
{
  if (error_handler::exists()) {
    std::string mapped = error_handler::instance().err_map.convert(e.get_code());
    if (!mapped.empty())
      return mapped;
  }
  return e.get_message();
}

bool guarded(const std::function<void()>& work) noexcept
{
  try {
    work();
    return true;
  } catch (const tk_exception& e) {
    report(e);
  } catch (const tk_final_exception&) {
    // The user chose Abort: the work ends without a further word.
  } catch (const std::exception& e) {
    report(e);
  } catch (const qvt_process_exit& exit) {
    end_wizard(exit);
  } catch (...) {
    report(std::runtime_error("Unknown exception"));
  }
  return false;
}

} // namespace gui
