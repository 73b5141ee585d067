// Automation dates: a DATE is a double counting days since 1899-12-30 00:00, its
// fraction the time of day (for negative values the fraction still counts forward
// from midnight of the whole day, as the system's conversions do).
#pragma once

#include "platform/oleaut/hresult.h"
#include "platform/win_types.h"

using DATE = double;

// Both return nonzero on success and 0 when the value lies outside
// 100-01-01 .. 9999-12-31 or the parts are not a calendar date and time.
int SystemTimeToVariantTime(const SYSTEMTIME* system_time, DATE* out);
int VariantTimeToSystemTime(DATE value, SYSTEMTIME* out);

// The system's last-resort date parser. Deliberately strict and independent of
// any locale: it accepts only unambiguous forms the fixed parsers of the callers
// do not cover (for example "2024-01-05 10:20" and "2024-01-05T10:20:30") and
// refuses every text that is not a real calendar date, zero dates included.
// Returns S_OK or DISP_E_TYPEMISMATCH.
// Accepted, with blanks or tabs around: a date "YYYY-M-D" (or with "/" or "."
// between all three parts), "D Month YYYY" or "Month D[,] YYYY" (English month
// names or their three-letter forms, any case), each optionally followed by a
// blank or "T" and a time; or a time alone (day 0). A time is "h:mm[:ss[.f]]" with
// an optional AM/PM. Years 100..9999. locale and flags are ignored. A null text
// gives E_INVALIDARG, a null out E_POINTER.
HRESULT VarDateFromStr(const wchar_t* text, LCID locale, ULONG flags, DATE* out);

namespace plat {

// The proleptic Gregorian calendar the conversions above count in.
bool is_gregorian_leap_year(int year);
// Days of a month (1..12) of a year; 0 for a month outside 1..12.
int days_in_month(int year, int month);

} // namespace plat
