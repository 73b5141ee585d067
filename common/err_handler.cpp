// The error handler and the run scope. Every report is logged before the front
// end sees it; what ends the program is an exception, so the run's open workbook
// and source are closed on the way out.
#include "common/err_handler.h"

#include "TK/tk_codepage.h"
#include "TK/tk_log.h"
#include "dao/dao_error_map.h"
#include "platform/clock.h"
#include "base/format.h"
#include "platform/text_codec.h"

#include <algorithm>

namespace {

constexpr const char* cannot_connect_text =
    "Cannot connect to the MySQL server. Check to verify that MySQL server\n"
    "is launched and the correct host/port values were given.";
constexpr const char* authentication_text =
    "The program does not support authentication protocol requested by server.\n"
    "See 'Troubleshooting' article of the product documentation.";

} // namespace

const tk_error_entry mysql_error_map[] = {
    {0x400414, "Access denied. Ask your system administrator to grant you\n"
               "the necessary privileges to write into the database."},
    {0x400415, "Access denied. Verify the user name and password are correct, and you have\n"
               "the necessary privileges to connect to the target MySQL server."},
    {0x400426, dao_duplicate_values_text},
    {0x40042F, "Primary key in the original database is too long.\n"
               "Restart the program with \"Skip converting indexes\"\n"
               "checkbox selected in order to resolve the conflict.\n"},
    {0x40046A, "You are not allowed to connect to the destination MySQL server.\n"
               "Ask your system administrator to grant you necessary privileges\n"
               "to create new databases on target MySQL server."},
    {0x40041B, "Failed to overwrite MySQL database. It is being used by\n"
               "another application. Specify a different destination name."},
    // 2002: a refused TCP connection or a missing local socket.
    {0x4007D2, cannot_connect_text},
    {0x4007D3, cannot_connect_text},
    {0x4007D5, cannot_connect_text},
    {0x4007D6, "Transferred value is too big. Increase MySQL max packet size and try\n"
               "again. See 'Troubleshooting' article of the product documentation."},
    {0x4004E1, authentication_text},
    {0x4004E2, authentication_text},
    {0x4004E3, authentication_text},
};
const std::size_t mysql_error_map_size = std::size(mysql_error_map);

const tk_error_entry date_range_error_map[] = {
    {0x10D15, "Date fields of the source database do not fall in the\n"
              "range accepted by MS Excel. Restart the program with\n"
              "\"Convert dates into strings\" checkbox selected.\n"},
};
const std::size_t date_range_error_map_size = std::size(date_range_error_map);

const tk_error_entry date_range_console_error_map[] = {
    {0x10D15, "Date fields of the source database do not fall in the\n"
              "range accepted by MS Excel. Restart the program with\n"
              "the --date2str option.\n"},
};
const std::size_t date_range_console_error_map_size = std::size(date_range_console_error_map);

error_handler::error_handler(std::size_t count, const tk_error_entry* table)
    : err_map(count, table), front_end_(&null_front_end::instance())
{
  tk_log_message(2, "error_handler::ctor");
}

error_handler::~error_handler() = default;

void error_handler::load_err_map(std::size_t count, const tk_error_entry* table)
{
  tk_log_message(2, "error_handler::load_err_map");
  err_map.load_map(count, table);
}

void error_handler::set_context(const std::wstring& name)
{
  // Converted before the lock is taken: a reader waits for a swap, never for
  // the conversion.
  std::string text;
  try {
    text = tk_wstring_to_ansi(name);
  } catch (const tk_exception&) {
    text.clear();
  }
  const std::lock_guard<std::mutex> lock(context_lock_);
  context_.swap(text);
}

void error_handler::set_context(const std::wstring& name, std::uint32_t record)
{
  set_context(base::sprintf(L"%s, record #%u", name, record));
}

std::string error_handler::get_context() const
{
  const std::lock_guard<std::mutex> lock(context_lock_);
  return context_;
}

void error_handler::handle(const tk_exception& e, bool no_abort)
{
  tk_log_message(2, "error_handler::handle");
  if (e.get_level() == tk_level_internal) {
    tk_log_message(3, "Internal error:\n%s", e.get_message());
    front_end_->report(tk_level_internal, e.get_message(), do_not_show.load());
    throw qvt_process_exit{-1};
  }

  std::string text = get_context();
  if (!text.empty())
    text += ": ";
  const std::string mapped = err_map.convert(e.get_code());
  text += mapped.empty() ? e.get_message() : mapped;
  tk_log_message(3, "Error:\n%s", text);
  std::replace(text.begin(), text.end(), '\n', ' ');

  const std::uint32_t level = e.get_level() == tk_level_error ? tk_level_error : tk_level_recoverable;
  tk_log_message(1, level == tk_level_error ? "Got 1-level error" : "Got 0-level error");
  switch (front_end_->report(level, text, do_not_show.load())) {
  case report_answer::go_on:
    return;
  case report_answer::go_on_quietly:
    do_not_show.store(true);
    return;
  case report_answer::abort_run:
    if (!no_abort)
      throw tk_final_exception();
    return;
  case report_answer::end_program:
    break;
  }
  throw qvt_process_exit{-1};
}

init_conversion::init_conversion(std::atomic<bool>& finished, bool no_com)
    : finished_(finished), no_com_(no_com)
{
  tk_log_message(2, "init_conversion::ctor");
  const SYSTEMTIME now = plat::local_time();
  tk_log_message(3, "Conversion started on %02d/%02d/%04d at %02d:%02d:%02d", now.wDay, now.wMonth,
                 now.wYear, now.wHour, now.wMinute, now.wSecond);
}

init_conversion::~init_conversion()
{
  tk_log_message(2, "init_conversion::dtor");
  const SYSTEMTIME now = plat::local_time();
  tk_log_message(3, "Conversion ended on %02d/%02d/%04d at %02d:%02d:%02d", now.wDay, now.wMonth,
                 now.wYear, now.wHour, now.wMinute, now.wSecond);
  finished_.store(true, std::memory_order_release);
}
