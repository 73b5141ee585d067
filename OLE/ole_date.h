// The system's date and time value: calendar parts, a kind and a microsecond
// fraction, read from the texts databases and users write and printed back in
// ISO-like form. Kind 0 prints empty; a time (kind 3) keeps its sign and full hours.
#pragma once

#include "platform/win_types.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

class ole_date {
public:
  enum kind_type : std::int32_t {
    kind_invalid = 0,
    kind_date_time = 1,
    kind_date = 2,
    kind_time = 3,
  };

  // Room for the longest text any value prints (every part is 16 bits wide).
  using text_buffer = std::array<char, 64>;

  ole_date();
  explicit ole_date(const SYSTEMTIME& time);
  explicit ole_date(const std::string& text);
  explicit ole_date(const std::wstring& text);

  // Replaces the value with the one read from the text (kind 0 when unreadable).
  void parse(std::string_view text);
  // The fixed forms in order, then the system's parser; false when none applies.
  bool import_from_string(std::string_view text);
  // Reads "ss[.fraction]" into the second, milliseconds and microseconds, rounding
  // the fraction and carrying a rounded-up second into the minute, hour and date.
  // A null text is an internal error; the view form returns false when the text
  // holds no number.
  void process_milliseconds(const char* seconds);
  bool process_milliseconds(std::string_view seconds);
  // A date and time with no date becomes a time, one at midnight a date.
  void refine_type();

  bool is_valid() const;
  static bool is_leap_year(int year);

  // Precision 0: no fraction; 6: microseconds; any other: milliseconds.
  std::string to_string(unsigned precision) const;
  // The text of to_string as wide text.
  std::wstring to_wstring(unsigned precision) const;
  // The text of to_string (narrow_form true) or of to_wstring, into a caller's
  // buffer: the allocation-free form for code that prints many values.
  std::string_view format(text_buffer& out, unsigned precision, bool narrow_form) const;

  std::int32_t get_kind() const { return kind_; }
  void set_kind(std::int32_t kind) { kind_ = kind; }
  // Hours are not reduced: a time of kind 3 may hold up to 65,535 of them.
  const SYSTEMTIME& get_time() const { return time_; }
  std::uint32_t get_microseconds() const { return microseconds_; }
  // Only a time (kind 3) can be negative; its parts hold the magnitude.
  bool is_negative() const { return negative_; }
  // A time of kind 3 that is no time of day: negative, or 24 hours or more.
  bool is_duration() const { return kind_ == kind_time && (negative_ || time_.wHour > 23); }

private:
  void clear();
  bool date_is_zero() const { return time_.wYear == 0 && time_.wMonth == 0 && time_.wDay == 0; }
  bool time_is_zero() const;
  bool date_is_calendar_date() const;
  void carry_second();
  bool read_timestamp(std::string_view text, bool with_time);
  bool read_pure_time(std::string_view text);
  int read_pattern(std::string_view text, char separator, std::string_view& seconds);
  bool read_with_system_parser(std::string_view text);

  std::int32_t kind_ = kind_invalid;
  std::uint32_t microseconds_ = 0;
  SYSTEMTIME time_;
  bool negative_ = false;
};
