// Private to the Automation stand-in: exact decimal numbers, their locale-free
// text forms and the rounding every conversion shares. A value is exact until a
// conversion narrows it, and every narrowing rounds ties to even.
#pragma once

#include "platform/oleaut/bstr.h"
#include "platform/oleaut/decimal.h"
#include "platform/oleaut/hresult.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace plat::oa {

__extension__ typedef unsigned __int128 uint128;
__extension__ typedef __int128 int128;

inline constexpr int max_digits = 38;  // every 38-digit number fits in uint128
inline constexpr uint128 decimal_max = (uint128{1} << 96) - 1;
inline constexpr int decimal_max_scale = 28;

// 10^n for 0 <= n <= 38.
uint128 pow10(int n);

// (-1)^negative × magnitude / 10^scale. magnitude stays below 2^127.
struct exact_number {
  uint128 magnitude = 0;
  bool negative = false;
  int scale = 0;
};

template <class T>
exact_number exact_from_integer(T value)
{
  exact_number out;
  if constexpr (std::numeric_limits<T>::is_signed) {
    out.negative = value < 0;
    // Unsigned wrap gives the magnitude also for the most negative value.
    const auto bits = static_cast<std::uint64_t>(static_cast<std::int64_t>(value));
    out.magnitude = out.negative ? uint128{0 - bits} : uint128{bits};
  } else {
    out.magnitude = static_cast<std::uint64_t>(value);
  }
  return out;
}

// A text buffer that stays on the stack for every ordinary number.
class char_buffer {
public:
  void push_back(char c);
  void append(std::string_view text);
  std::string_view view() const;
  std::size_t size() const { return size_; }

private:
  std::array<char, 96> local_{};
  std::string spill_;
  std::size_t size_ = 0;
};

// A number read from text: (-1)^negative × digits × 10^exponent, digits without
// leading zeros (empty for zero).
struct number_text {
  bool negative = false;
  char_buffer digits;
  long long exponent = 0;
};

// Blanks, an optional sign, digits with at most one ".", an optional exponent
// ("e" or "E", optional sign, digits), blanks. False for anything else,
// including a text without a digit.
bool scan_number(std::wstring_view text, number_text& out);
bool scan_number(std::string_view text, number_text& out);

// The value × 10^scale rounded to an integer (ties to even); false when that
// needs more than 38 digits.
bool scaled_integer(const number_text& number, int scale, uint128& out);

// The value as a DECIMAL: the most fractional digits (at most 28) that fit in
// 96 bits, rounded; DISP_E_OVERFLOW when even the integer part does not fit.
HRESULT to_decimal(const number_text& number, exact_number& out);

// The double's (float's) leading `digits` significant digits as a DECIMAL.
HRESULT decimal_from_real(double value, int digits, exact_number& out);

// Rounds (ties to even) or extends to `scale` fractional digits; false when the
// result would not fit.
bool rescale(exact_number& value, int scale);

// Correctly rounded.
double to_double(const exact_number& value);
float to_float(const exact_number& value);
// DISP_E_OVERFLOW beyond the type's range; a value too small to tell from 0 is 0.
HRESULT to_double(const number_text& number, double& out);
HRESULT to_float(const number_text& number, float& out);

// The DECIMAL's value; false when its scale or sign byte is out of range.
bool from_decimal(const DECIMAL& value, exact_number& out);
// The caller guarantees scale <= 28 and magnitude <= decimal_max.
DECIMAL make_decimal(const exact_number& value);

// Nearest integer, ties to even, whatever the floating-point rounding mode.
double round_half_even(double value);

template <class T>
HRESULT to_integer(exact_number value, T& out)
{
  if (!rescale(value, 0) || value.magnitude > static_cast<uint128>(std::numeric_limits<int128>::max()))
    return DISP_E_OVERFLOW;
  const int128 signed_value = value.negative ? -static_cast<int128>(value.magnitude) : static_cast<int128>(value.magnitude);
  if (signed_value < static_cast<int128>(std::numeric_limits<T>::min()) ||
      signed_value > static_cast<int128>(std::numeric_limits<T>::max()))
    return DISP_E_OVERFLOW;
  out = static_cast<T>(signed_value);
  return S_OK;
}

template <class T>
HRESULT to_integer(double value, T& out)
{
  if (!std::isfinite(value))
    return DISP_E_OVERFLOW;
  const double rounded = round_half_even(value);
  // 2^digits is exact in a double; so is the lower bound, -2^digits or 0.
  const double upper = static_cast<double>(std::numeric_limits<T>::max() / 2 + 1) * 2.0;
  const double lower = std::numeric_limits<T>::is_signed ? -upper : 0.0;
  if (!(rounded >= lower && rounded < upper))
    return DISP_E_OVERFLOW;
  out = static_cast<T>(rounded);
  return S_OK;
}

// "-123.45": no grouping, trailing fractional zeros dropped, "0" for zero.
void append_text(const exact_number& value, char_buffer& out);
// At most `digits` significant digits in the manner of printf's "%.*G" with a
// "." ("1E+20", "1.5E-07", "0.0001"); "NaN", "Infinity", "-Infinity".
void append_real_text(double value, int digits, char_buffer& out);

// A BSTR of the ASCII text; E_OUTOFMEMORY when it cannot be allocated.
HRESULT make_bstr(std::string_view ascii, BSTR* out);

} // namespace plat::oa
