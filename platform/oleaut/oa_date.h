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
HRESULT VarDateFromStr(const wchar_t* text, LCID locale, ULONG flags, DATE* out);
