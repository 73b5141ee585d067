// Code page 1252 is Latin-1 except in 0x80..0x9F, where 27 positions hold
// typographic characters and five are unassigned; the table maps that range.
#include "platform/dao/excel/biff_text.h"

#include <array>
#include <cmath>

namespace plat::dao::biff {

namespace {

// The characters of 0x80..0x9F; 0 where the code page assigns none.
constexpr std::array<char16_t, 32> high_range = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::uint8_t cp1252_byte(wchar_t ch, std::uint8_t stand_in)
{
  const auto cp = static_cast<char32_t>(ch);
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
    return static_cast<std::uint8_t>(cp);
  for (std::size_t i = 0; i < high_range.size(); ++i)
    if (high_range[i] != 0 && high_range[i] == cp)
      return static_cast<std::uint8_t>(0x80 + i);
  return stand_in;
}

wchar_t* put2(wchar_t* out, unsigned value)
{
  *out++ = static_cast<wchar_t>(L'0' + value / 10 % 10);
  *out++ = static_cast<wchar_t>(L'0' + value % 10);
  return out;
}

} // namespace

std::size_t to_cp1252(std::wstring_view text, std::uint8_t* out, std::size_t max_bytes,
                      std::uint8_t stand_in)
{
  const std::size_t n = std::min(text.size(), max_bytes);
  for (std::size_t i = 0; i < n; ++i)
    out[i] = cp1252_byte(text[i], stand_in);
  return n;
}

std::wstring from_cp1252(const std::uint8_t* bytes, std::size_t size)
{
  std::wstring out(size, L'\0');
  for (std::size_t i = 0; i < size; ++i) {
    const std::uint8_t b = bytes[i];
    const char16_t high = (b >= 0x80 && b < 0xA0) ? high_range[b - 0x80u] : char16_t{0};
    out[i] = high != 0 ? static_cast<wchar_t>(high) : (b >= 0x80 && b < 0xA0 ? L'\xFFFD' : static_cast<wchar_t>(b));
  }
  return out;
}

std::size_t to_utf16_units(std::wstring_view text, char16_t* out, std::size_t max_units,
                           bool& narrow)
{
  std::size_t n = 0;
  bool all_narrow = true;
  for (const wchar_t ch : text) {
    auto cp = static_cast<char32_t>(ch);
    if (cp < 0x100) {
      if (n == max_units)
        break;
      out[n++] = static_cast<char16_t>(cp);
      continue;
    }
    all_narrow = false;
    if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
      cp = 0xFFFD;
    if (cp < 0x10000) {
      if (n == max_units)
        break;
      out[n++] = static_cast<char16_t>(cp);
    } else {
      if (n + 2 > max_units)
        break;
      cp -= 0x10000;
      out[n++] = static_cast<char16_t>(0xD800 + (cp >> 10));
      out[n++] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
  }
  narrow = all_narrow;
  if (!all_narrow) {
    // A wide character may have been left out by the cut: recheck what is kept.
    narrow = true;
    for (std::size_t i = 0; i < n && narrow; ++i)
      narrow = out[i] < 0x100;
  }
  return n;
}

bool date_parts(DATE value, SYSTEMTIME& parts, date_form& form)
{
  if (!std::isfinite(value))
    return false;
  // The form is the value's own: rounded to the second, 23:59:59.5 would be the
  // next midnight, a date without its time of day.
  const double day = std::trunc(value);
  const double fraction = std::fabs(value - day);
  form = day == 0.0 ? date_form::time : fraction == 0.0 ? date_form::date : date_form::date_time;
  // Rounding to the second never carries a time of day into a second day, nor
  // the calendar's last second past its end: both stay at 23:59:59.
  constexpr double last_second = 86399.0 / 86400.0;
  const bool carries = fraction > last_second &&
                       (form == date_form::time || VariantTimeToSystemTime(day + 1.0, &parts) == 0);
  const DATE shown = carries ? day + std::copysign(last_second, value) : value;
  return VariantTimeToSystemTime(shown, &parts) != 0;
}

bool excel_serial(DATE value, double& serial, date_form& form)
{
  if (!(value >= 0.0) || (value >= 1.0 && value < 2.0) || value >= 2958466.0)
    return false;
  SYSTEMTIME parts;
  if (!date_parts(value, parts, form))
    return false;
  serial = (value >= 2.0 && value < 61.0) ? value - 1.0 : value;
  return true;
}

std::size_t date_text(DATE value, wchar_t* out)
{
  SYSTEMTIME t;
  date_form form;
  if (!std::isfinite(value) || !date_parts(value, t, form))
    return 0;
  wchar_t* p = out;
  if (form != date_form::time) {
    p = put2(p, t.wYear / 100u);
    p = put2(p, t.wYear % 100u);
    *p++ = L'-';
    p = put2(p, t.wMonth);
    *p++ = L'-';
    p = put2(p, t.wDay);
    if (form == date_form::date_time)
      *p++ = L' ';
  }
  if (form != date_form::date) {
    p = put2(p, t.wHour);
    *p++ = L':';
    p = put2(p, t.wMinute);
    *p++ = L':';
    p = put2(p, t.wSecond);
  }
  return static_cast<std::size_t>(p - out);
}

} // namespace plat::dao::biff
