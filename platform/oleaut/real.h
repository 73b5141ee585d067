// Conversions of the floating-point Automation types (VT_R4, VT_R8). Narrowing
// to an integer rounds ties to even; NaN, infinities and values out of range give
// DISP_E_OVERFLOW, never an undefined conversion. Text uses "." whatever the locale.
#pragma once

#include "platform/oleaut/bstr.h"
#include "platform/oleaut/hresult.h"
#include "platform/win_types.h"

HRESULT VarI4FromR8(double value, LONG* out);
HRESULT VarI8FromR8(double value, LONGLONG* out);
HRESULT VarUI8FromR8(double value, ULONGLONG* out);
HRESULT VarI8FromR4(float value, LONGLONG* out);
HRESULT VarUI8FromR4(float value, ULONGLONG* out);
// DISP_E_OVERFLOW for a finite double beyond the float range.
HRESULT VarR4FromR8(double value, float* out);

// The number text rules of VarDecFromStr; DISP_E_OVERFLOW beyond the double
// range, 0 for values too small to tell from 0.
HRESULT VarR8FromStr(const OLECHAR* text, LCID locale, ULONG flags, double* out);
// At most 15 (VT_R4: 7) significant digits, "." as the mark, the exponent form
// for large and small magnitudes ("1E+20", "1.5E-07"). NaN and infinities
// give "NaN", "Infinity" and "-Infinity".
HRESULT VarBstrFromR8(double value, LCID locale, ULONG flags, BSTR* out);
HRESULT VarBstrFromR4(float value, LCID locale, ULONG flags, BSTR* out);

namespace plat {

// The double nearest the float's shortest decimal form, not the float's exact
// binary value: a single-precision 1.1 gives 1.1, not 1.100000023841858, so a
// value widened for a double cell shows what the float was written as. NaN and
// infinities are widened as they are.
double float_as_written(float value);

} // namespace plat
