#include "TK/tk_log.h"

#include "platform/clock.h"
#include "platform/process.h"
#include "platform/text_codec.h"

#include <cerrno>
#include <cstdio>
#include <memory>

namespace {

constexpr std::size_t wide_message_limit = 10239;

struct file_closer {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

// Keeps errno across the logger's own file calls: log lines sit between a failing
// call and the tk_exception_ex that reads its error.
class errno_guard {
public:
  errno_guard() : saved_(errno) {}
  ~errno_guard() { errno = saved_; }
  errno_guard(const errno_guard&) = delete;
  errno_guard& operator=(const errno_guard&) = delete;

private:
  int saved_;
};

} // namespace

std::string tk_default_log_name()
{
  std::string path = plat::executable_path();
  const auto slash = path.rfind('/');
  const auto dot = path.rfind('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1))
    path.erase(dot);
  return path + ".log";
}

tk_logger::tk_logger(const char* file_name, bool enabled, int threshold, bool time_stamps)
    : file_name_(file_name ? file_name : tk_default_log_name()),
      threshold_(threshold),
      enabled_(enabled),
      time_stamps_(time_stamps)
{
  if (enabled_)
    truncate_if();
}

void tk_logger::enable(bool on)
{
  if (on && !enabled_)
    truncated_ = false;
  enabled_ = on;
}

void tk_logger::truncate_if()
{
  if (!enabled_ || truncated_)
    return;
  errno_guard keep_errno;
  file_ptr emptied(std::fopen(file_name_.c_str(), "wb"));
  truncated_ = true;
}

bool tk_logger::accepts(int level)
{
  if (!exists())
    return false;
  tk_logger& logger = instance();
  if (!logger.enabled_)
    return false;
  logger.truncate_if();
  return level >= logger.threshold_;
}

void tk_logger::write_line(std::string_view text)
{
  if (!exists())
    return;
  const tk_logger& logger = instance();
  errno_guard keep_errno;
  file_ptr file(std::fopen(logger.file_name_.c_str(), "ab"));
  if (!file)
    return;
  if (logger.time_stamps_) {
    const SYSTEMTIME now = plat::local_time();
    std::fprintf(file.get(), "%02d:%02d:%02d ", now.wHour, now.wMinute, now.wSecond);
  }
  std::fwrite(text.data(), 1, text.size(), file.get());
  if (logger.line_end_)
    std::fwrite("\r\n", 1, 2, file.get());
}

void tk_logger::write_line(std::wstring_view text)
{
  write_line(std::string_view(plat::to_utf8(text.substr(0, wide_message_limit))));
}

namespace tk_log_detail {

// A format that does not match its arguments is a fault of the caller; the
// format itself is logged so that the line is not lost without a trace.
void format_and_write(const char* format, fmt::format_args args)
{
  try {
    tk_logger::write_line(base::vsprintf(format, args));
  } catch (...) {
    tk_logger::write_line(std::string("[bad log format] ") + (format ? format : ""));
  }
}

void format_and_write(const wchar_t* format, base::wformat_args args)
{
  try {
    tk_logger::write_line(base::vsprintf(format, args));
  } catch (...) {
    tk_logger::write_line(std::wstring(L"[bad log format] ") + (format ? format : L""));
  }
}

} // namespace tk_log_detail
