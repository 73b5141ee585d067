// Texts and dates as a workbook stream holds them: code page 1252 bytes (BIFF5),
// UTF-16 units cut on a character boundary (BIFF8), Excel's 1900 serials, and
// the ISO-like texts a text column shows.
#pragma once

#include "platform/oleaut/oa_date.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace plat::dao::biff {

// Writes at most `max_bytes` code page 1252 bytes for the text into `out` and
// returns how many; characters outside the code page become `stand_in`.
std::size_t to_cp1252(std::wstring_view text, std::uint8_t* out, std::size_t max_bytes,
                      std::uint8_t stand_in);
std::wstring from_cp1252(const std::uint8_t* bytes, std::size_t size);

// Writes at most `max_units` UTF-16 units for the text into `out` (a character
// above U+FFFF as its pair, never cut in half; a lone surrogate or an invalid
// value as U+FFFD) and returns how many; `narrow` tells whether every unit is
// below 0x100, so the text can be stored one byte per unit.
std::size_t to_utf16_units(std::wstring_view text, char16_t* out, std::size_t max_units,
                           bool& narrow);

// How a date value shows: a time of day alone (the day is 1899-12-30), a date
// alone (at midnight) or both.
enum class date_form { date_time, date, time };

// The calendar form of a date value, rounded to the second but never into the
// next day when that would change what the value is (a time of day, the last
// day of 9999); the form is the unrounded value's. False when the value lies
// outside the years 100..9999.
bool date_parts(DATE value, SYSTEMTIME& parts, date_form& form);

// Excel's 1900-system serial of a date value, which counts the nonexistent
// 1900-02-29: values before 1900-03-01 are one day less. False for what Excel
// cannot show as a date: negative values, 1899-12-31 and years past 9999.
bool excel_serial(DATE value, double& serial, date_form& form);

// "yyyy-mm-dd hh:mm:ss", "yyyy-mm-dd" or "hh:mm:ss" by the value's form into
// `out` (room for 19 characters); returns the length, 0 when the value has no
// calendar form.
std::size_t date_text(DATE value, wchar_t* out);

} // namespace plat::dao::biff
