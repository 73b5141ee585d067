// The wizard's answers to the core, from any thread. The stop check is made
// again on the GUI thread, where a report queued before the stop is taken up
// only after it, possibly while the GUI thread already waits for the worker.
#include "GUI2/wizard_front_end.h"

#include "GUI2/gui_error_front.h"
#include "GUI2/gui_thread.h"
#include "GUI2/wizard_shell.h"
#include "TK/tk_log.h"
#include "common/qvt_converter.h"

namespace {

// The run of the wizard was asked to stop (the user left it).
bool run_stopping()
{
  return qorvant_converter::exists() && qorvant_converter::instance().stopping();
}

} // namespace

void wizard_front_end::run_started(const std::wstring& source, std::int32_t table_count)
{
  tk_log_message(3, L"Converting database %s (%d tables)", source, table_count);
}

void wizard_front_end::entry_started(const std::wstring& /*name*/, std::uint64_t /*record_count*/)
{
  // The progress page reads the entry from the converter.
}

void wizard_front_end::entry_skipped(const std::wstring& name)
{
  tk_log_message(3, L"Table %s not exists", name);
}

void wizard_front_end::entry_converted(const std::wstring& name, std::uint64_t records)
{
  // The progress page has no log box: the line goes to the system log only.
  tk_log_message(3, L"Table '%s' (%llu records) is converted", name, static_cast<unsigned long long>(records));
}

std::string wizard_front_end::truncation_text(std::uint32_t limit)
{
  return "Table will be truncated up to " + std::to_string(limit) + " columns.";
}

bool wizard_front_end::columns_truncated(const std::wstring& /*name*/, std::uint32_t limit)
{
  bool go_on = false;
  gui::run_on_gui_thread([&] {
    if (run_stopping())
      return;
    go_on = !gui_error_front::ask_continue(truncation_text(limit)).abort;
  });
  return go_on;
}

report_answer wizard_front_end::report(std::uint32_t level, const std::string& text, bool quiet)
{
  const report_answer stopped = level >= 2 ? report_answer::end_program : report_answer::abort_run;
  if (run_stopping())
    return stopped;
  report_answer answer = stopped;
  gui::run_on_gui_thread([&] {
    if (!run_stopping())
      answer = gui_error_front::report(level, text, quiet);
  });
  return answer;
}

void wizard_front_end::run_failed(const std::string& what)
{
  gui::run_on_gui_thread([&] {
    if (run_stopping())
      return;
    // A run that failed must not end on the success text.
    gui_error_front::add_error(what);
    wizard_shell::error(what);
  });
}

void wizard_front_end::run_finished(bool reached_end)
{
  tk_log_message(2, "The run ended (%d)", static_cast<int>(reached_end));
}
