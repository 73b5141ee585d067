// Automation dates: calendar parts <-> days since 1899-12-30, and the strict
// last-resort date parser. Every DATE produced here lies in 100-01-01 ..
// 9999-12-31 and names a real proleptic Gregorian date and time of day.
#include "platform/oleaut/oa_date.h"

#include <cmath>
#include <cstdint>
#include <string_view>

namespace {

constexpr long long seconds_per_day = 86400;

// Day numbers counted from 1970-01-01 (Howard Hinnant's civil-calendar algorithms).
constexpr long long days_from_civil(long long y, unsigned m, unsigned d)
{
  y -= m <= 2 ? 1 : 0;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

struct civil {
  long long year;
  unsigned month;
  unsigned day;
};

constexpr civil civil_from_days(long long z)
{
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<long long>(yoe) + era * 400 + (m <= 2 ? 1 : 0), m, d};
}

constexpr long long epoch = days_from_civil(1899, 12, 30);
constexpr long long first_day = days_from_civil(100, 1, 1) - epoch;     // -657434
constexpr long long last_day = days_from_civil(9999, 12, 31) - epoch;   // 2958465
static_assert(first_day == -657434 && last_day == 2958465);

bool valid_calendar_date(long long year, int month, int day)
{
  return year >= 100 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= plat::days_in_month(static_cast<int>(year), month);
}

// A day number and a time of day (in seconds, may hold a fraction) as a DATE: for
// days before the epoch the fraction still counts forward from that day's midnight.
DATE make_date(long long day, double seconds)
{
  const double fraction = seconds / static_cast<double>(seconds_per_day);
  const auto whole = static_cast<double>(day);
  return day < 0 ? whole - fraction : whole + fraction;
}

// ---- the text parser ------------------------------------------------------------

class cursor {
public:
  explicit cursor(std::wstring_view text) : text_(text) {}

  bool at_end() const { return pos_ >= text_.size(); }
  wchar_t peek() const { return at_end() ? L'\0' : text_[pos_]; }
  std::size_t position() const { return pos_; }
  void rewind(std::size_t pos) { pos_ = pos; }
  void advance() { ++pos_; }

  bool blank() const { return peek() == L' ' || peek() == L'\t'; }
  // Skips blanks; tells whether there was at least one.
  bool blanks()
  {
    const std::size_t start = pos_;
    while (blank())
      ++pos_;
    return pos_ != start;
  }
  bool accept(wchar_t c)
  {
    if (peek() != c)
      return false;
    ++pos_;
    return true;
  }
  // min_digits..max_digits decimal digits.
  bool number(int min_digits, int max_digits, int& value)
  {
    int count = 0;
    value = 0;
    while (count < max_digits && peek() >= L'0' && peek() <= L'9') {
      value = value * 10 + static_cast<int>(peek() - L'0');
      ++pos_;
      ++count;
    }
    return count >= min_digits && !(peek() >= L'0' && peek() <= L'9');
  }
  // A run of ASCII letters, lowered.
  std::size_t word(char* out, std::size_t room)
  {
    std::size_t n = 0;
    while (true) {
      wchar_t c = peek();
      if (c >= L'A' && c <= L'Z')
        c = static_cast<wchar_t>(c - L'A' + L'a');
      if (c < L'a' || c > L'z')
        break;
      if (n < room)
        out[n] = static_cast<char>(c);
      ++n;
      ++pos_;
    }
    return n;
  }

private:
  std::wstring_view text_;
  std::size_t pos_ = 0;
};

int month_from_name(cursor& in)
{
  static constexpr std::string_view names[] = {"january", "february", "march",     "april",
                                               "may",     "june",     "july",      "august",
                                               "september", "october", "november", "december"};
  char buf[10];
  const std::size_t start = in.position();
  const std::size_t n = in.word(buf, sizeof buf);
  if (n >= 3 && n <= sizeof buf) {
    const std::string_view w(buf, n);
    for (int i = 0; i < 12; ++i) {
      const std::string_view full = names[i];
      if (w == full || (n == 3 && w == full.substr(0, 3))) {
        if (n == 3)
          in.accept(L'.');
        return i + 1;
      }
    }
  }
  in.rewind(start);
  return 0;
}

struct parsed_date {
  int year = 0;
  int month = 0;
  int day = 0;
};

bool read_date(cursor& in, parsed_date& out)
{
  const std::size_t start = in.position();
  // Year first: YYYY-M-D, YYYY/M/D or YYYY.M.D.
  if (in.number(4, 4, out.year)) {
    const wchar_t sep = in.peek();
    if ((sep == L'-' || sep == L'/' || sep == L'.') && in.accept(sep) &&
        in.number(1, 2, out.month) && in.accept(sep) && in.number(1, 2, out.day))
      return true;
    in.rewind(start);
    return false;
  }
  in.rewind(start);
  // D Month YYYY
  if (in.number(1, 2, out.day)) {
    if (in.blanks() && (out.month = month_from_name(in)) != 0 && in.blanks() &&
        in.number(4, 4, out.year))
      return true;
    in.rewind(start);
    return false;
  }
  // Month D[,] YYYY
  if ((out.month = month_from_name(in)) != 0 && in.blanks() && in.number(1, 2, out.day)) {
    in.accept(L',');
    if (in.blanks() && in.number(4, 4, out.year))
      return true;
  }
  in.rewind(start);
  return false;
}

// h:mm[:ss[.f]] [AM|PM] as seconds since midnight.
bool read_time(cursor& in, double& seconds)
{
  int hour = 0;
  int minute = 0;
  int second = 0;
  double fraction = 0.0;
  if (!in.number(1, 2, hour) || !in.accept(L':') || !in.number(2, 2, minute))
    return false;
  if (in.accept(L':')) {
    if (!in.number(2, 2, second))
      return false;
    if (in.accept(L'.')) {
      double scale = 0.1;
      bool any = false;
      while (in.peek() >= L'0' && in.peek() <= L'9') {
        fraction += scale * static_cast<double>(in.peek() - L'0');
        scale /= 10.0;
        any = true;
        in.advance();
      }
      if (!any)
        return false;
    }
  }
  const std::size_t before_marker = in.position();
  in.blanks();
  char marker[3];
  const std::size_t n = in.word(marker, sizeof marker);
  if (n == 2 && marker[1] == 'm' && (marker[0] == 'a' || marker[0] == 'p')) {
    if (hour < 1 || hour > 12)
      return false;
    hour = hour % 12 + (marker[0] == 'p' ? 12 : 0);
  } else if (n != 0) {
    return false;
  } else {
    in.rewind(before_marker);
  }
  if (hour > 23 || minute > 59 || second > 59)
    return false;
  seconds = hour * 3600.0 + minute * 60.0 + second + fraction;
  return true;
}

bool parse_date_text(std::wstring_view text, DATE& out)
{
  cursor in(text);
  in.blanks();
  parsed_date date;
  double seconds = 0.0;
  bool has_date = read_date(in, date);
  if (has_date) {
    if (in.accept(L'T')) {
      if (!read_time(in, seconds))
        return false;
    } else if (in.blanks() && !in.at_end() && !read_time(in, seconds)) {
      return false;
    }
  } else if (!read_time(in, seconds)) {
    return false;
  }
  in.blanks();
  if (!in.at_end())
    return false;
  long long day = 0;
  if (has_date) {
    if (!valid_calendar_date(date.year, date.month, date.day))
      return false;
    day = days_from_civil(date.year, static_cast<unsigned>(date.month),
                          static_cast<unsigned>(date.day)) -
          epoch;
  }
  out = make_date(day, seconds);
  return true;
}

} // namespace

namespace plat {

bool is_gregorian_leap_year(int year)
{
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int days_in_month(int year, int month)
{
  static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12)
    return 0;
  return month == 2 && is_gregorian_leap_year(year) ? 29 : days[month - 1];
}

} // namespace plat

int SystemTimeToVariantTime(const SYSTEMTIME* system_time, DATE* out)
{
  if (system_time == nullptr || out == nullptr)
    return 0;
  const SYSTEMTIME& st = *system_time;
  if (!valid_calendar_date(st.wYear, st.wMonth, st.wDay) || st.wHour > 23 ||
      st.wMinute > 59 || st.wSecond > 59)
    return 0;
  // The system ignores the milliseconds here.
  const long long day = days_from_civil(st.wYear, st.wMonth, st.wDay) - epoch;
  *out = make_date(day, st.wHour * 3600.0 + st.wMinute * 60.0 + st.wSecond);
  return 1;
}

int VariantTimeToSystemTime(DATE value, SYSTEMTIME* out)
{
  if (out == nullptr || !(value > static_cast<double>(first_day - 1) &&
                          value < static_cast<double>(last_day + 1)))
    return 0;
  const double whole = std::trunc(value);
  long long day = static_cast<long long>(whole);
  // Rounded to the whole second, as the system does; milliseconds come out 0.
  long long seconds = std::llround(std::fabs(value - whole) * static_cast<double>(seconds_per_day));
  if (seconds >= seconds_per_day) {
    seconds -= seconds_per_day;
    ++day;
  }
  if (day > last_day)
    return 0;
  const civil c = civil_from_days(day + epoch);
  SYSTEMTIME st;
  st.wYear = static_cast<WORD>(c.year);
  st.wMonth = static_cast<WORD>(c.month);
  st.wDay = static_cast<WORD>(c.day);
  st.wDayOfWeek = static_cast<WORD>(((day % 7) + 7 + 6) % 7);  // 1899-12-30 was a Saturday
  st.wHour = static_cast<WORD>(seconds / 3600);
  st.wMinute = static_cast<WORD>(seconds / 60 % 60);
  st.wSecond = static_cast<WORD>(seconds % 60);
  st.wMilliseconds = 0;
  *out = st;
  return 1;
}

HRESULT VarDateFromStr(const wchar_t* text, LCID /*locale*/, ULONG /*flags*/, DATE* out)
{
  if (text == nullptr)
    return E_INVALIDARG;
  if (out == nullptr)
    return E_POINTER;
  DATE value = 0.0;
  if (!parse_date_text(std::wstring_view(text), value))
    return DISP_E_TYPEMISMATCH;
  *out = value;
  return S_OK;
}
