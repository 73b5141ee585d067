// The options of the console program and what each does to the converter. A
// later option overwrites what an earlier one (or a loaded profile) set; the
// destination's extension follows the format version once all options are read.
#include "qvtbatch/options.h"

#include "TK/tk_codepage.h"
#include "TK/tk_exception.h"
#include "TK/tk_fname.h"
#include "TK/tk_log.h"
#include "common/err_handler.h"
#include "common/qvt_converter.h"
#include "base/format.h"
#include "qvtbatch/console.h"
#include "qvtbatch/tab_file.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

const tk_cmd_option qvtbatch_options[] = {
    {opt_blob2text, "--blob2text"},
    {opt_date2str, "--date2str"},
    {opt_dest, "--dest="},
    {opt_help, "--help"},
    {opt_host, "--host="},
    {opt_logfile, "--logfile="},
    {opt_port, "--port="},
    {opt_profile, "--profile="},
    {opt_pswd, "--pswd="},
    {opt_silent, "--silent"},
    {opt_split, "--split"},
    {opt_src, "--src="},
    {opt_tab_file, "--tab_file="},
    {opt_user, "--user="},
    {opt_wrap, "--wrap"},
    {opt_xls_ver, "--xls_ver="},
    {0, ""},
};

std::string usage_text()
{
  static constexpr const char* format =
      "QVTBATCH v%d.%d\n"
      "Usage: QVTBATCH.EXE OPTIONS\n"
      "\n"
      "   --blob2text    convert BLOB to text\n"
      "   --date2str     convert dates into strings\n"
      "   --dest=...     MS Excel spreadsheet name\n"
      "   --help         display this help message and exit\n"
      "   --host=...     MySQL server IP address or network name\n"
      "   --logfile=...  path to the file where execution trace will be written\n"
      "   --port=...     MySQL port\n"
      "   --profile=...  path to the file to load conversion settings from\n"
      "   --pswd=...     MySQL user password\n"
      "   --silent       disable program output\n"
      "   --split        split data into multiple spreadsheets if necessary\n"
      "   --src=...      MySQL database name\n"
      "   --tab_file=... file containing the list of tables to convert\n"
      "                  (one table name per line)\n"
      "   --user=...     MySQL user name\n"
      "   --wrap         wrap text into multiple lines in a cell\n"
      "   --xls_ver=...  format version for the destination MS Excel spreadsheet\n"
      "                  (0 - MS Excel 5.0, 1 - MS Excel 2000, 2 - MS Excel 2010+)\n"
      "\n"
      "NOTES:\n"
      "   1) You can omit 'host' parameter to connect local MySQL server.\n"
      "   2) It is necessary to specify 'port' parameter only if it differs from\n"
      "      the default MySQL port 3306.\n"
      "   3) If you omit 'tab_file' parameter, all database tables will be converted.\n"
      "   4) Command line parameters that contain spaces must be enclosed in quotes\n"
      "      (for example --dest=\"my database\")";
  return base::sprintf(format, qvtbatch_version_major, qvtbatch_version_minor);
}

namespace {

// The option's value as wide text. A value that is not text of the ANSI code
// page is refused here: skipping it would only lead to a misleading message
// about a missing setting later.
std::wstring widened(const char* option, const char* value)
{
  std::optional<std::wstring> wide = tk_try_ansi_to_wstring(value);
  if (!wide)
    throw tk_exception(base::sprintf("Argument '%s%s': Cannot convert to UNICODE string: %s", option, value,
                                     std::strerror(EILSEQ)),
                       tk_level_error);
  return std::move(*wide);
}

// The destination named last (by an option or a profile) takes the extension of
// the format named anywhere on the line: the order of the options decides
// nothing here.
void complete_destination(qorvant_converter& converter)
{
  tk_file_wname name(converter.destination);
  const bool old_format = static_cast<std::int32_t>(converter.format_version) < 2;
  name.set_ext(old_format ? L".xls" : L".xlsx");
  converter.destination = name.get_full_path();
  tk_log_message(2, L"\tgot dest %s", converter.destination);
}

void set_format_version(qorvant_converter& converter, const char* value)
{
  tk_log_message(2, "\tgot format version: %s", value);
  // Read as atol reads: leading blanks and a sign, digits while they last, 0
  // without any.
  const long number = std::strtol(value, nullptr, 10);
  if (number < 0 || number > 2)
    fatal_error_exit("MS Excel format version must be 0, 1 or 2");
  converter.format_version = static_cast<std::uint32_t>(number);
}

} // namespace

bool parse_cmd_line(unsigned argc, const char* const* argv)
{
  tk_log_message(2, "parse_cmd_line");
  for (unsigned i = 0; i < argc; ++i)
    tk_log_message(1, "parameter #%d: %s", i, argv[i]);

  qorvant_converter& converter = qorvant_converter::instance();
  std::string host;
  std::string user;
  std::string password;
  std::string port;
  bool profile_loaded = false;

  ansi_cmd_line line(static_cast<int>(argc), argv, qvtbatch_options);
  for (; line.has_more(); line.next()) {
    const char* value = line.get_value();
    switch (line.get_id()) {
    case opt_blob2text:
      tk_log_message(2, "\tset blob2text -> true");
      converter.blob_to_text = true;
      break;
    case opt_date2str:
      tk_log_message(2, "\tconvert dates into strings");
      converter.dates_to_strings = true;
      break;
    case opt_dest:
      // An empty name stands for no destination, not for the program file's.
      converter.destination = widened("--dest=", value);
      break;
    case opt_help:
      fatal_error_exit(usage_text());
    case opt_host:
      host = value;
      break;
    case opt_logfile:
      tk_log_message(1, "parse_cmd_line - got logfile %s", value);
      converter.set_logfile(value);
      break;
    case opt_port:
      port = value;
      break;
    case opt_profile:
    {
      const std::wstring path = widened("--profile=", value);
      tk_log_message(1, L"parse_cmd_line - got profile %s", path);
      profile_loaded = converter.load_profile(path);
      break;
    }
    case opt_pswd:
      password = value;
      break;
    case opt_silent:
      tk_log_message(1, "parse_cmd_line - silent mode is ON");
      converter.set_silent(true);
      error_handler::instance().do_not_show = true;
      break;
    case opt_split:
      tk_log_message(2, "\tsplit data into multiple files if necessary");
      converter.split_data = true;
      break;
    case opt_src:
      converter.source = widened("--src=", value);
      tk_log_message(2, L"\tparse_cmd_line - got src %s", converter.source);
      break;
    case opt_tab_file:
      tk_log_message(2, "\tparse_cmd_line - got tab_file %s", value);
      process_tab_file(value);
      break;
    case opt_user:
      user = value;
      break;
    case opt_wrap:
      tk_log_message(2, "\twrap text into multiple lines in a cell");
      converter.set_wrap_text(true);
      break;
    case opt_xls_ver:
      set_format_version(converter, value);
      break;
    default:
      // Unrecognised: the cursor keeps it for the usage answer.
      break;
    }
  }

  if (line.get_unknown_count() != 0)
    return false;

  if (converter.source.empty())
    fatal_error_exit("You should enter source MySQL database name");
  if (converter.destination.empty())
    fatal_error_exit("You should enter destination MS Excel spredsheet name");
  if (converter.format_version == xls_format_not_given)
    fatal_error_exit("You should specify MS Excel format version (use '--xls_ver' option)");

  complete_destination(converter);
  if (!profile_loaded)
    converter.store_mysql_settings(host, user, password, port);
  return true;
}
