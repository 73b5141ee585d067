// Reading and printing date and time texts. Every cell of a date column passes
// through here twice, so parsing works on views of the caller's text and printing
// on a fixed buffer: neither allocates unless the system parser is needed.
#include "OLE/ole_date.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "platform/oleaut/oa_date.h"
#include "platform/text_codec.h"

#include <utility>

namespace {

// The locale the system parser is asked with; it reads no locale-dependent forms.
constexpr LCID system_default_locale = 1033;

std::string_view trim_blanks(std::string_view text)
{
  while (!text.empty() && text.front() == ' ')
    text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ')
    text.remove_suffix(1);
  return text;
}

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
unsigned digit_value(char c) { return static_cast<unsigned>(c - '0'); }

// The few scanf conversions the text patterns are written in, over a view:
// a whole number within 16 signed bits, a literal character, and a bounded
// blank-free token that is never copied.
class scanner {
public:
  explicit scanner(std::string_view text) : text_(text) {}

  // White space, then digits (after a sign only where negative is asked for).
  bool number(WORD& out, bool* negative = nullptr)
  {
    std::size_t p = skip_spaces(pos_);
    bool minus = false;
    if (negative != nullptr && p < text_.size() && (text_[p] == '-' || text_[p] == '+')) {
      minus = text_[p] == '-';
      ++p;
    }
    const std::size_t start = p;
    unsigned value = 0;
    while (p < text_.size() && is_digit(text_[p])) {
      value = value * 10 + digit_value(text_[p]);
      if (value > 32767)
        return false;
      ++p;
    }
    if (p == start)
      return false;
    pos_ = p;
    out = static_cast<WORD>(value);
    if (negative != nullptr)
      *negative = minus;
    return true;
  }

  bool literal(char c)
  {
    if (pos_ >= text_.size() || text_[pos_] != c)
      return false;
    ++pos_;
    return true;
  }

  void spaces() { pos_ = skip_spaces(pos_); }

  bool token(std::string_view& out)
  {
    const std::size_t start = skip_spaces(pos_);
    std::size_t p = start;
    while (p < text_.size() && !is_space(text_[p]))
      ++p;
    if (p == start)
      return false;
    out = text_.substr(start, p - start);
    pos_ = p;
    return true;
  }

  bool rest_is_blank() const { return skip_spaces(pos_) == text_.size(); }

private:
  std::size_t skip_spaces(std::size_t p) const
  {
    while (p < text_.size() && is_space(text_[p]))
      ++p;
    return p;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

// Appends a number with at least `width` digits.
void put_number(char*& out, unsigned value, int width)
{
  char digits[10];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n < width)
    digits[n++] = '0';
  while (n > 0)
    *out++ = digits[--n];
}

} // namespace

ole_date::ole_date()
{
  tk_log_message(1, "ole_date::ole_date()");
}

ole_date::ole_date(const SYSTEMTIME& time) : kind_(kind_date_time), time_(time)
{
  tk_log_message(1, "ole_date::ole_date(SYSTEMTIME)");
  refine_type();
}

ole_date::ole_date(const std::string& text)
{
  parse(text);
}

ole_date::ole_date(const std::wstring& text)
{
  parse(plat::to_utf8(text));
}

void ole_date::clear()
{
  time_ = SYSTEMTIME{};
  microseconds_ = 0;
  negative_ = false;
}

bool ole_date::time_is_zero() const
{
  return time_.wHour == 0 && time_.wMinute == 0 && time_.wSecond == 0 &&
         time_.wMilliseconds == 0 && microseconds_ == 0;
}

bool ole_date::date_is_calendar_date() const
{
  return time_.wYear >= 1 && time_.wMonth >= 1 && time_.wMonth <= 12 && time_.wDay >= 1 &&
         time_.wDay <= plat::days_in_month(time_.wYear, time_.wMonth);
}

bool ole_date::is_leap_year(int year)
{
  return plat::is_gregorian_leap_year(year == 0 ? 1 : year);
}

void ole_date::parse(std::string_view text)
{
  tk_log_message(1, "ole_date::ole_date('%s')", text);
  kind_ = kind_invalid;
  clear();

  std::string_view buf = trim_blanks(text);
  tk_log_message(1, "After tk_trim: %s", buf);

  static constexpr std::string_view markers[] = {"AM", "PM", "am", "pm"};
  bool am = false;
  bool pm = false;
  for (const std::string_view marker : markers) {
    const std::size_t at = buf.find(marker);
    if (at != std::string_view::npos) {
      pm = marker[0] == 'P' || marker[0] == 'p';
      am = !pm;
      buf = trim_blanks(buf.substr(0, at));
      break;
    }
  }
  tk_log_message(1, "Again buf1=%s", buf);

  if (buf.size() < 5) {
    tk_log_message(2, "Invalid date/time format: '%s'", buf);
    return;
  }
  if (!import_from_string(buf) || kind_ == kind_date || negative_)
    return;
  // 12 AM is the first hour of the day, 12 PM the thirteenth.
  if (pm && time_.wHour < 12)
    time_.wHour = static_cast<WORD>(time_.wHour + 12);
  else if (am && time_.wHour == 12)
    time_.wHour = 0;
}

bool ole_date::import_from_string(std::string_view text)
{
  tk_log_message(1, "ole_date::import_from_string(%s)", text);
  kind_ = kind_invalid;
  clear();

  // A zero date ("0000-00-00", "00000000" ...) is no date whatever follows, and
  // the system parser refuses it too: stop at the first attempt that reads one.
  const auto read_zero_date = [this] {
    return (kind_ == kind_date || kind_ == kind_date_time) && date_is_zero();
  };
  const auto give_up = [this, text] {
    clear();
    kind_ = kind_invalid;
    tk_log_message(2, "Invalid date/time format: '%s'", text);
    return false;
  };

  if (text.size() == 14 || text.size() == 8) {
    const bool with_time = text.size() == 14;
    tk_log_message(1, with_time ? "Trying timestamp format (1)..." : "Trying timestamp format (2)...");
    if (read_timestamp(text, with_time))
      return true;
    if (read_zero_date())
      return give_up();
    kind_ = kind_invalid;
    clear();
  }

  tk_log_message(1, "Trying pure time format...");
  if (read_pure_time(text))
    return true;
  kind_ = kind_invalid;
  clear();

  static constexpr char separators[] = {'-', '/', '.'};
  for (int i = 0; i < 3; ++i) {
    tk_log_message(1, "Trying datetime format #%d", i);
    std::string_view seconds;
    const int items = read_pattern(text, separators[i], seconds);
    if (items == 3 || items == 6) {
      if (time_.wDay > 31 && time_.wYear < 32) {
        tk_log_message(2, "Swap day and year: day=%d, year=%d", static_cast<int>(time_.wDay),
                       static_cast<int>(time_.wYear));
        std::swap(time_.wDay, time_.wYear);
      }
      if (items == 3) {
        tk_log_message(1, "Format #%d succeeded (3 items)", i);
        kind_ = kind_date;
        if (is_valid())
          return true;
      } else {
        tk_log_message(1, "Format #%d succeeded (6 items)", i);
        kind_ = kind_date_time;
        // The seconds are read before the check, so that it sees them.
        if (process_milliseconds(seconds) && is_valid()) {
          refine_type();
          return true;
        }
      }
      if (read_zero_date())
        return give_up();
    }
    kind_ = kind_invalid;
    clear();
  }

  if (read_with_system_parser(text))
    return true;
  return give_up();
}

bool ole_date::read_timestamp(std::string_view text, bool with_time)
{
  for (const char c : text)
    if (!is_digit(c))
      return false;
  const auto field = [text](std::size_t at, std::size_t length) {
    unsigned value = 0;
    for (std::size_t i = at; i < at + length; ++i)
      value = value * 10 + digit_value(text[i]);
    return static_cast<WORD>(value);
  };
  time_.wYear = field(0, 4);
  time_.wMonth = field(4, 2);
  time_.wDay = field(6, 2);
  if (!with_time) {
    kind_ = kind_date;
    return is_valid();
  }
  time_.wHour = field(8, 2);
  time_.wMinute = field(10, 2);
  time_.wSecond = field(12, 2);
  if (time_.wDay > 31 && time_.wYear < 32) {
    tk_log_message(2, "Swap day and year: day=%d, year=%d", static_cast<int>(time_.wDay),
                   static_cast<int>(time_.wYear));
    std::swap(time_.wDay, time_.wYear);
  }
  kind_ = kind_date_time;
  if (!is_valid())
    return false;
  refine_type();
  return true;
}

bool ole_date::read_pure_time(std::string_view text)
{
  scanner in(text);
  bool negative = false;
  std::string_view seconds;
  int items = 0;
  if (in.number(time_.wHour, &negative)) {
    ++items;
    if (in.literal(':') && in.number(time_.wMinute)) {
      ++items;
      if (in.literal(':') && in.token(seconds))
        ++items;
    }
  }
  if (items == 2 && !in.rest_is_blank())
    return false;
  if (items < 2)
    return false;
  kind_ = kind_time;
  negative_ = negative;
  if (items == 3 && !process_milliseconds(seconds))
    return false;
  if (time_is_zero())
    negative_ = false;  // "-00:00:00" is plain zero
  return is_valid();
}

int ole_date::read_pattern(std::string_view text, char separator, std::string_view& seconds)
{
  scanner in(text);
  if (!in.number(time_.wYear))
    return 0;
  if (!in.literal(separator) || !in.number(time_.wMonth))
    return 1;
  if (!in.literal(separator) || !in.number(time_.wDay))
    return 2;
  // A date followed by anything but a time of this pattern is not taken as a bare
  // date: "2024-01-05T10:20:30" would lose its time. The system parser decides.
  if (in.rest_is_blank())
    return 3;
  in.spaces();
  if (!in.number(time_.wHour))
    return 0;
  if (!in.literal(':') || !in.number(time_.wMinute))
    return 4;
  if (!in.literal(':') || !in.token(seconds))
    return 5;
  return 6;
}

bool ole_date::read_with_system_parser(std::string_view text)
{
  std::wstring wide;
  DATE value = 0.0;
  SYSTEMTIME st;
  if (!plat::utf8_to_wide(text, wide) ||
      FAILED(VarDateFromStr(wide.c_str(), system_default_locale, 0, &value)) ||
      !VariantTimeToSystemTime(value, &st))
    return false;
  st.wDayOfWeek = 0;
  time_ = st;
  tk_log_message(1, "Got datetime using Microsoft API");
  kind_ = kind_date_time;
  refine_type();
  return true;
}

void ole_date::process_milliseconds(const char* seconds)
{
  if (seconds == nullptr)
    throw tk_mail_assertion("ole_date", 581);
  process_milliseconds(std::string_view(seconds));
}

bool ole_date::process_milliseconds(std::string_view seconds)
{
  tk_log_message(1, "ole_date::process_milliseconds");
  tk_log_message(1, "Got row sec: '%s'", seconds);

  // Whole seconds, then the first seven fraction digits: enough to round the
  // microseconds exactly, half away from zero, without a detour through double.
  std::size_t p = 0;
  bool any_digit = false;
  unsigned whole = 0;
  for (; p < seconds.size() && is_digit(seconds[p]); ++p) {
    if (whole < 100000)
      whole = whole * 10 + digit_value(seconds[p]);
    any_digit = true;
  }
  unsigned fraction = 0;  // seven digits
  if (p < seconds.size() && seconds[p] == '.') {
    int count = 0;
    for (++p; p < seconds.size() && is_digit(seconds[p]); ++p, ++count) {
      if (count < 7)
        fraction = fraction * 10 + digit_value(seconds[p]);
      any_digit = true;
    }
    for (; count < 7; ++count)
      fraction *= 10;
  }
  if (!any_digit)
    return false;

  time_.wSecond = static_cast<WORD>(whole > 65535 ? 65535 : whole);
  tk_log_message(1, "Got sec: %d", static_cast<int>(time_.wSecond));
  const unsigned micro = (fraction + 5) / 10;
  const unsigned milli = (fraction + 5000) / 10000;
  tk_log_message(1, "Got msec: %d", static_cast<int>(milli));
  tk_log_message(1, "Got microseconds: %d", static_cast<int>(micro));

  if (micro >= 1000000) {
    time_.wMilliseconds = 0;
    microseconds_ = 0;
    carry_second();
    return true;
  }
  // .9995: the second did not turn over, so neither may the milliseconds.
  time_.wMilliseconds = static_cast<WORD>(milli >= 1000 ? 999 : milli);
  microseconds_ = micro;
  return true;
}

void ole_date::carry_second()
{
  if (time_.wSecond > 60 || time_.wMinute > 60)
    return;  // no time at all; the check refuses it
  const bool dated = !date_is_zero() && date_is_calendar_date();
  if (dated && time_.wYear >= 9999 && time_.wMonth == 12 && time_.wDay == 31 &&
      time_.wHour == 23 && time_.wMinute == 59 && time_.wSecond >= 59) {
    // There is no later day to carry into: stay at the last representable instant.
    time_.wSecond = 59;
    time_.wMilliseconds = 999;
    microseconds_ = 999999;
    return;
  }
  if (++time_.wSecond < 60)
    return;
  time_.wSecond = static_cast<WORD>(time_.wSecond - 60);
  if (++time_.wMinute < 60)
    return;
  time_.wMinute = static_cast<WORD>(time_.wMinute - 60);
  ++time_.wHour;
  // A time of its own is a duration and keeps counting hours; a date and time
  // moves on to the next day.
  if (!dated || time_.wHour < 24)
    return;
  time_.wHour = static_cast<WORD>(time_.wHour - 24);
  if (++time_.wDay <= plat::days_in_month(time_.wYear, time_.wMonth))
    return;
  time_.wDay = 1;
  if (++time_.wMonth <= 12)
    return;
  time_.wMonth = 1;
  ++time_.wYear;
}

void ole_date::refine_type()
{
  tk_log_message(1, "ole_date::refine_type(%d,%d,%d,%d,%d,%d)", static_cast<int>(time_.wYear),
                 static_cast<int>(time_.wMonth), static_cast<int>(time_.wDay),
                 static_cast<int>(time_.wHour), static_cast<int>(time_.wMinute),
                 static_cast<int>(time_.wSecond));
  if (kind_ != kind_date_time)
    return;
  if (date_is_zero()) {
    tk_log_message(1, "Switch to 'pure' time");
    kind_ = kind_time;
  } else if (time_is_zero() && time_.wYear != 0 && time_.wMonth != 0 && time_.wDay != 0) {
    tk_log_message(1, "Switch to 'pure' date");
    kind_ = kind_date;
  }
}

bool ole_date::is_valid() const
{
  tk_log_message(1, "ole_date::is_valid");
  if (kind_ == kind_invalid)
    return false;
  if (date_is_zero()) {
    // The zero date of the servers means "no date", also at midnight.
    if (kind_ == kind_date || (kind_ == kind_date_time && time_is_zero())) {
      tk_log_message(1, "Got zero day/month/year");
      return false;
    }
    tk_log_message(1, "DATETIME is a pute time");
  } else {
    if (time_.wMonth < 1 || time_.wMonth > 12) {
      tk_log_message(1, "Invalid month");
      return false;
    }
    if (time_.wDay > 31) {
      tk_log_message(1, "Invalid day (1)");
      return false;
    }
    if (time_.wDay > plat::days_in_month(time_.wYear == 0 ? 1 : time_.wYear, time_.wMonth)) {
      tk_log_message(1, "Invalid day (2)");
      return false;
    }
    if (time_.wYear == 0 || time_.wDay == 0) {
      tk_log_message(1, "Got zero day/month/year");
      return false;
    }
    // A date's time of day has 24 hours; only a time of its own may run longer.
    if (time_.wHour > 23) {
      tk_log_message(2, "Invalid time");
      return false;
    }
  }
  if (time_.wMinute > 60 || time_.wSecond > 60) {
    tk_log_message(2, "Invalid time");
    return false;
  }
  return true;
}

std::string_view ole_date::format(text_buffer& out, unsigned precision, bool narrow_form) const
{
  tk_log_message(1, narrow_form ? "ole_date::to_string(%d)" : "ole_date::to_wstring(%d)",
                 static_cast<int>(precision));
  char* p = out.data();
  const auto put_date = [&] {
    put_number(p, time_.wYear, 4);
    *p++ = '-';
    put_number(p, time_.wMonth, 2);
    *p++ = '-';
    put_number(p, time_.wDay, 2);
  };
  const auto put_time = [&](unsigned hour) {
    put_number(p, hour, 2);
    *p++ = ':';
    put_number(p, time_.wMinute, 2);
    *p++ = ':';
    put_number(p, time_.wSecond, 2);
  };
  // Which fraction the precision asks for: 6 digits, 3 digits or none.
  const int fraction_digits = precision == 6 && microseconds_ != 0 ? 6
                              : precision != 0 && (time_.wMilliseconds != 0 || microseconds_ != 0)
                                  ? 3
                                  : 0;
  const auto put_fraction = [&] {
    if (fraction_digits == 0)
      return;
    *p++ = '.';
    put_number(p, fraction_digits == 6 ? microseconds_ : time_.wMilliseconds, fraction_digits);
  };

  switch (kind_) {
  case kind_date_time:
    tk_log_message(1, "printing datetime...");
    put_date();
    if (time_is_zero())
      break;
    if (fraction_digits == 6)
      tk_log_message(1, "Date has microseconds");
    else if (fraction_digits == 3)
      tk_log_message(1, narrow_form ? "Date has src.wMilliseconds" : "Date has wMilliseconds");
    else if (!narrow_form)
      tk_log_message(1, "Date has no fraction");
    *p++ = ' ';
    put_time(time_.wHour % 24u);
    put_fraction();
    break;
  case kind_date:
    tk_log_message(1, "printing date...");
    put_date();
    break;
  case kind_time:
    tk_log_message(1, "printing time...");
    // A time has no date: it prints the same in every form, full hours and sign.
    if (negative_)
      *p++ = '-';
    put_time(time_.wHour);
    put_fraction();
    break;
  default:
    break;
  }
  const std::string_view text(out.data(), static_cast<std::size_t>(p - out.data()));
  tk_log_message(1, "buf=%s", text);
  return text;
}

std::string ole_date::to_string(unsigned precision) const
{
  text_buffer buf;
  return std::string(format(buf, precision, true));
}

std::wstring ole_date::to_wstring(unsigned precision) const
{
  text_buffer buf;
  const std::string_view text = format(buf, precision, false);
  return std::wstring(text.begin(), text.end());
}
