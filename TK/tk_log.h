// The log file: one process-wide tk_logger holds its state, and tk_log_message
// writes one line per call when a logger exists, is enabled and the level reaches
// its threshold (1 detail, 2 function entry and main steps, 3 progress and
// errors). The file is emptied once, at the first message after logging was
// switched on, then opened, appended to and closed for every message. Logging
// never raises and never changes errno.
#pragma once

#include "TK/tk_singl.h"
#include "base/format.h"

#include <string>
#include <string_view>

class tk_logger : public tk_singleton<tk_logger> {
public:
  // A null file name means the program's own path with the extension ".log".
  tk_logger(const char* file_name, bool enabled, int threshold, bool time_stamps);
  ~tk_logger() override = default;

  const std::string& get_file_name() const { return file_name_; }
  void set_file_name(const std::string& file_name) { file_name_ = file_name; }
  bool is_enabled() const { return enabled_; }
  // Switching logging on arms the one-time emptying of the file.
  void enable(bool on);

  // Empties the file once per logger, the first time it is asked while enabled.
  void truncate_if();

  // Whether a message of this level is to be written; empties the file first.
  static bool accepts(int level);
  // Appends one line (time stamp, text, CR LF) to the log file.
  static void write_line(std::string_view text);
  static void write_line(std::wstring_view text);

private:
  std::string file_name_;
  int threshold_;
  bool line_end_ = true;
  bool enabled_;
  bool truncated_ = false;
  bool time_stamps_;
};

// The program's path with its extension replaced by ".log".
std::string tk_default_log_name();

namespace tk_log_detail {
// Formats and writes one line; a format that does not fit its arguments is
// logged as such instead of the line.
void format_and_write(const char* format, fmt::format_args args);
// The wide form: the formatted text is cut to 10,239 characters and written as UTF-8.
void format_and_write(const wchar_t* format, base::wformat_args args);
} // namespace tk_log_detail

template <class... Args>
void tk_log_message(int level, const char* format, const Args&... args)
{
  if (tk_logger::accepts(level))
    tk_log_detail::format_and_write(format, base::make_args(args...));
}

template <class... Args>
void tk_log_message(int level, const wchar_t* format, const Args&... args)
{
  if (tk_logger::accepts(level))
    tk_log_detail::format_and_write(format, base::make_wargs(args...));
}
