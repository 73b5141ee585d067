// The console lines of a run. Names and texts pass plat::terminal_safe, so a
// table name cannot carry control sequences to the user's terminal.
#include "qvtbatch/console_front_end.h"

#include "TK/tk_convr.h"
#include "TK/tk_exception.h"
#include "platform/text_codec.h"

#include <ostream>

console_front_end::console_front_end(const tk_converter& silent_of, std::ostream& out, std::ostream& err)
    : converter_(silent_of), out_(out), err_(err)
{
}

void console_front_end::run_started(const std::wstring& source, std::int32_t table_count)
{
  if (!converter_.silent)
    out_ << "Converting database " << plat::terminal_safe(source) << "(" << table_count << " tables)"
         << std::endl;
}

// Written whatever --silent says, as the program always has.
void console_front_end::entry_started(const std::wstring& name, std::uint64_t record_count)
{
  out_ << "Converting table " << plat::terminal_safe(name);
  if (record_count != 0)
    out_ << " (" << record_count << " records)";
  out_ << std::endl;
}

void console_front_end::entry_skipped(const std::wstring& name)
{
  err_ << "Table " << plat::terminal_safe(name) << " not exists" << std::endl;
}

void console_front_end::entry_converted(const std::wstring& /*name*/, std::uint64_t /*records*/)
{
  // Only the system log tells it.
}

bool console_front_end::columns_truncated(const std::wstring& name, std::uint32_t limit)
{
  if (!converter_.silent)
    err_ << "Table " << plat::terminal_safe(name) << " will be truncated up to " << limit
         << " columns." << std::endl;
  return true;
}

report_answer console_front_end::report(std::uint32_t level, const std::string& text, bool quiet)
{
  // An internal error is printed even when quiet.
  if (level == tk_level_internal) {
    out_ << "Internal error: " << text << std::endl;
    return report_answer::end_program;
  }
  if (!quiet)
    out_ << "Error:" << std::endl << plat::terminal_safe(text) << std::endl;
  return level == tk_level_error ? report_answer::end_program : report_answer::go_on;
}

void console_front_end::run_failed(const std::string& what)
{
  if (!converter_.silent)
    err_ << what << std::endl;
}

void console_front_end::run_finished(bool /*reached_end*/)
{
  // main turns the ending into the exit code.
}
