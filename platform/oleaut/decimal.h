// The 96-bit Automation DECIMAL and its conversions. A DECIMAL is exact:
// ±(Hi32·2^64 + Lo64) / 10^scale with scale 0..28; text is read and written with
// "." whatever the locale, and every narrowing rounds ties to even.
#pragma once

#include "platform/oleaut/bstr.h"
#include "platform/oleaut/hresult.h"
#include "platform/oleaut/vartype.h"
#include "platform/win_types.h"

#include <cstdint>

// Sixteen bytes, little-endian, laid out so that a VARIANT can hold it whole:
// the first word is where a VARIANT keeps its type tag.
struct DECIMAL {
  WORD wReserved;
  BYTE scale;   // fractional digits, 0..28
  BYTE sign;    // 0 or DECIMAL_NEG
  ULONG Hi32;
  ULONGLONG Lo64;
};
static_assert(sizeof(DECIMAL) == 16);

inline constexpr BYTE DECIMAL_NEG = 0x80;

// Blanks, an optional sign, digits with an optional ".", an optional exponent,
// blanks. Exact while the value has at most 29 significant digits; further
// fractional digits are rounded (ties to even). DISP_E_OVERFLOW when the value
// is beyond ±79228162514264337593543950335, DISP_E_TYPEMISMATCH for anything
// else than a number. `locale` and `flags` are accepted and ignored.
HRESULT VarDecFromStr(const OLECHAR* text, LCID locale, ULONG flags, DECIMAL* out);
// "-123.45": no grouping, trailing fractional zeros dropped.
HRESULT VarBstrFromDec(const DECIMAL* value, LCID locale, ULONG flags, BSTR* out);

// The nearest double. E_INVALIDARG for a DECIMAL whose scale or sign byte is
// out of range, here and below.
HRESULT VarR8FromDec(const DECIMAL* value, double* out);

// Exact, scale 0.
HRESULT VarDecFromI8(LONGLONG value, DECIMAL* out);
HRESULT VarDecFromUI8(ULONGLONG value, DECIMAL* out);
// The double's 15 (the float's 7) significant digits, so 0.1 gives 0.1;
// NaN, infinities and values beyond the DECIMAL range give DISP_E_OVERFLOW.
HRESULT VarDecFromR8(double value, DECIMAL* out);
HRESULT VarDecFromR4(float value, DECIMAL* out);

// Rounded to an integer, ties to even; DISP_E_OVERFLOW outside the target range
// (a negative value that rounds to 0 is 0 for the unsigned targets).
HRESULT VarI1FromDec(const DECIMAL* value, signed char* out);
HRESULT VarI2FromDec(const DECIMAL* value, std::int16_t* out);
HRESULT VarI4FromDec(const DECIMAL* value, LONG* out);
HRESULT VarI8FromDec(const DECIMAL* value, LONGLONG* out);
HRESULT VarUI1FromDec(const DECIMAL* value, BYTE* out);
HRESULT VarUI2FromDec(const DECIMAL* value, WORD* out);
HRESULT VarUI4FromDec(const DECIMAL* value, ULONG* out);
HRESULT VarUI8FromDec(const DECIMAL* value, ULONGLONG* out);
