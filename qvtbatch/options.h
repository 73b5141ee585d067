// The console program's options: their table (in matching order), the usage
// text, and parse_cmd_line, which moves a command line into the converter.
// Connection options reach the converter only when no profile was loaded.
#pragma once

#include "qvtbatch/tk_cmdli.h"

#include <string>

enum qvtbatch_option : int {
  opt_blob2text = 0,
  opt_date2str = 1,
  opt_dest = 2,
  opt_help = 3,
  opt_host = 4,
  opt_logfile = 5,
  opt_port = 6,
  opt_pswd = 7,
  opt_silent = 8,
  opt_split = 9,
  opt_src = 10,
  opt_tab_file = 11,
  opt_user = 12,
  opt_wrap = 13,
  opt_xls_ver = 14,
  opt_profile = 15,
};

// Ended by {0, ""}.
extern const tk_cmd_option qvtbatch_options[];

inline constexpr int qvtbatch_version_major = 5;
inline constexpr int qvtbatch_version_minor = 5;

// The usage text, lines joined by line feeds, without a final one.
std::string usage_text();

// Applies the options to the converter in their order. False when some argument
// is no option (the caller prints the usage); an invalid or missing setting ends
// the program through fatal_error_exit; a value that is not UTF-8 raises a
// level-1 tk_exception naming the argument; the converter's exceptions pass on.
bool parse_cmd_line(unsigned argc, const char* const* argv);
