// Exact decimal arithmetic and locale-free number text for the Automation
// stand-in. Nothing here reads the process locale: digits are parsed by hand and
// doubles go through std::from_chars/std::to_chars.
#include "platform/oleaut/number_core.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace plat::oa {

namespace {

constexpr std::array<uint128, max_digits + 1> make_powers()
{
  std::array<uint128, max_digits + 1> powers{};
  uint128 power = 1;
  for (auto& entry : powers) {
    entry = power;
    power *= 10;
  }
  return powers;
}

constexpr auto powers_of_ten = make_powers();

// Powers of ten that a double holds exactly.
constexpr std::array<double, 23> exact_double_powers = {
  1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
  1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22,
};

template <class Char>
bool is_blank(Char c)
{
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

template <class Char>
bool is_digit(Char c)
{
  return c >= '0' && c <= '9';
}

template <class Char>
bool scan(std::basic_string_view<Char> text, number_text& out)
{
  out.negative = false;
  out.digits = char_buffer{};
  out.exponent = 0;

  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && is_blank(text[i]))
    ++i;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    out.negative = text[i] == '-';
    ++i;
  }
  bool any_digit = false;
  bool seen_point = false;
  long long fraction_digits = 0;
  for (; i < n; ++i) {
    const Char c = text[i];
    if (is_digit(c)) {
      any_digit = true;
      if (out.digits.size() != 0 || c != '0')
        out.digits.push_back(static_cast<char>(c));
      if (seen_point)
        ++fraction_digits;
    } else if (c == '.' && !seen_point) {
      seen_point = true;
    } else {
      break;
    }
  }
  if (!any_digit)
    return false;

  long long exponent = 0;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool exponent_negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
      exponent_negative = text[i] == '-';
      ++i;
    }
    if (i >= n || !is_digit(text[i]))
      return false;
    // Saturates far beyond any representable magnitude.
    for (; i < n && is_digit(text[i]); ++i)
      if (exponent < 1'000'000'000)
        exponent = exponent * 10 + (text[i] - '0');
    if (exponent_negative)
      exponent = -exponent;
  }
  while (i < n && is_blank(text[i]))
    ++i;
  if (i != n)
    return false;

  out.exponent = exponent - fraction_digits;
  if (out.digits.size() == 0)
    out.negative = false;
  return true;
}

// Writes the decimal digits of value (at least one) and returns their count.
int write_digits(uint128 value, char* out)
{
  constexpr std::uint64_t chunk = 10'000'000'000'000'000'000u;  // 10^19
  char reversed[40];
  int count = 0;
  while (value >= chunk) {
    auto low = static_cast<std::uint64_t>(value % chunk);
    value /= chunk;
    for (int i = 0; i < 19; ++i) {
      reversed[count++] = static_cast<char>('0' + low % 10);
      low /= 10;
    }
  }
  auto rest = static_cast<std::uint64_t>(value);
  do {
    reversed[count++] = static_cast<char>('0' + rest % 10);
    rest /= 10;
  } while (rest != 0);
  std::reverse_copy(reversed, reversed + count, out);
  return count;
}

// "digits" "e-" "scale" for std::from_chars.
int write_scientific(const exact_number& value, char* out)
{
  int length = write_digits(value.magnitude, out);
  out[length++] = 'e';
  out[length++] = '-';
  const auto result = std::to_chars(out + length, out + length + 4, value.scale);
  return static_cast<int>(result.ptr - out);
}

template <class Real>
Real exact_to_real(const exact_number& value)
{
  Real result = 0;
  char text[48];
  const int length = write_scientific(value, text);
  // The magnitude stays below 2^127 and the scale at or above 0: always in range.
  std::from_chars(text, text + length, result);
  return value.negative ? -result : result;
}

template <class Real>
HRESULT text_to_real(const number_text& number, Real& out)
{
  const std::string_view digits = number.digits.view();
  out = 0;
  if (digits.empty())
    return S_OK;
  // The power of ten of the leading digit decides the far cases before they
  // reach the parser.
  const long long leading = number.exponent + static_cast<long long>(digits.size()) - 1;
  if (leading > 400)
    return DISP_E_OVERFLOW;
  if (leading < -400)
    return S_OK;
  char_buffer text;
  text.append(digits);
  char exponent[24];
  exponent[0] = 'e';
  const auto end = std::to_chars(exponent + 1, exponent + sizeof exponent, number.exponent).ptr;
  text.append(std::string_view(exponent, static_cast<std::size_t>(end - exponent)));
  const std::string_view view = text.view();
  Real result = 0;
  const auto parsed = std::from_chars(view.data(), view.data() + view.size(), result);
  if (parsed.ec == std::errc::result_out_of_range) {
    if (leading > 0)
      return DISP_E_OVERFLOW;
    result = 0;
  }
  out = number.negative ? -result : result;
  return S_OK;
}

} // namespace

uint128 pow10(int n)
{
  return powers_of_ten[static_cast<std::size_t>(n)];
}

void char_buffer::push_back(char c)
{
  if (size_ < local_.size()) {
    local_[size_] = c;
  } else {
    if (size_ == local_.size())
      spill_.assign(local_.data(), size_);
    spill_.push_back(c);
  }
  ++size_;
}

void char_buffer::append(std::string_view text)
{
  for (const char c : text)
    push_back(c);
}

std::string_view char_buffer::view() const
{
  if (size_ > local_.size())
    return spill_;
  return {local_.data(), size_};
}

bool scan_number(std::wstring_view text, number_text& out)
{
  return scan(text, out);
}

bool scan_number(std::string_view text, number_text& out)
{
  return scan(text, out);
}

bool scaled_integer(const number_text& number, int scale, uint128& out)
{
  const std::string_view digits = number.digits.view();
  const auto count = static_cast<long long>(digits.size());
  out = 0;
  if (count == 0)
    return true;
  const long long shift = number.exponent + scale;
  if (shift >= 0) {
    if (count + shift > max_digits)
      return false;
    for (const char c : digits)
      out = out * 10 + static_cast<unsigned>(c - '0');
    out *= pow10(static_cast<int>(shift));
    return true;
  }
  const long long kept = count + shift;
  if (kept > max_digits)
    return false;
  if (kept < 0)
    return true;  // below a tenth of the last unit: rounds to 0
  const auto split = static_cast<std::size_t>(kept);
  for (std::size_t i = 0; i < split; ++i)
    out = out * 10 + static_cast<unsigned>(digits[i] - '0');
  const char first_dropped = digits[split];
  const bool rest_nonzero = digits.find_first_not_of('0', split + 1) != std::string_view::npos;
  if (first_dropped > '5' || (first_dropped == '5' && (rest_nonzero || (out & 1) != 0)))
    ++out;
  return true;
}

HRESULT to_decimal(const number_text& number, exact_number& out)
{
  out = exact_number{};
  const auto count = static_cast<long long>(number.digits.size());
  const long long wanted_scale = std::clamp(-number.exponent, 0LL, static_cast<long long>(decimal_max_scale));
  if (count == 0) {
    out.scale = static_cast<int>(wanted_scale);
    return S_OK;
  }
  const long long integer_digits = count + number.exponent;
  constexpr long long decimal_max_digits = 29;
  if (integer_digits > decimal_max_digits)
    return DISP_E_OVERFLOW;
  int scale = static_cast<int>(std::min(wanted_scale, decimal_max_digits - std::max(integer_digits, 0LL)));
  for (;; --scale) {
    uint128 magnitude = 0;
    if (scaled_integer(number, scale, magnitude) && magnitude <= decimal_max) {
      out.magnitude = magnitude;
      out.negative = number.negative && magnitude != 0;
      out.scale = scale;
      return S_OK;
    }
    if (scale == 0)
      return DISP_E_OVERFLOW;
  }
}

HRESULT decimal_from_real(double value, int digits, exact_number& out)
{
  if (!std::isfinite(value))
    return DISP_E_OVERFLOW;
  out = exact_number{};
  if (value == 0)
    return S_OK;
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, digits - 1);
  // Drop the mantissa's trailing zeros so that 2.5 keeps scale 1.
  const std::string_view written(text, static_cast<std::size_t>(result.ptr - text));
  const std::size_t e = written.find('e');
  std::size_t mantissa_end = written.find_last_not_of('0', e - 1) + 1;
  if (written[mantissa_end - 1] == '.')
    --mantissa_end;
  char_buffer trimmed;
  trimmed.append(written.substr(0, mantissa_end));
  trimmed.append(written.substr(e));
  number_text number;
  scan_number(trimmed.view(), number);
  return to_decimal(number, out);
}

bool rescale(exact_number& value, int scale)
{
  if (scale == value.scale)
    return true;
  if (scale > value.scale) {
    const int added = scale - value.scale;
    if (added > max_digits || value.magnitude > std::numeric_limits<uint128>::max() / 2 / pow10(added))
      return false;
    value.magnitude *= pow10(added);
  } else {
    const int dropped = value.scale - scale;
    if (dropped > max_digits) {
      value.magnitude = 0;
    } else {
      const uint128 divisor = pow10(dropped);
      const uint128 remainder = value.magnitude % divisor;
      const uint128 half = divisor / 2;
      value.magnitude /= divisor;
      if (remainder > half || (remainder == half && (value.magnitude & 1) != 0))
        ++value.magnitude;
    }
  }
  value.scale = scale;
  return true;
}

double to_double(const exact_number& value)
{
  if (value.magnitude == 0)
    return 0.0;
  // Both operands exact, so one correctly rounded division gives the answer.
  constexpr uint128 exact_mantissa_limit = uint128{1} << 53;
  if (value.magnitude < exact_mantissa_limit && value.scale < static_cast<int>(exact_double_powers.size())) {
    const double result = static_cast<double>(static_cast<std::uint64_t>(value.magnitude)) /
                          exact_double_powers[static_cast<std::size_t>(value.scale)];
    return value.negative ? -result : result;
  }
  return exact_to_real<double>(value);
}

float to_float(const exact_number& value)
{
  if (value.magnitude == 0)
    return 0.0f;
  return exact_to_real<float>(value);
}

HRESULT to_double(const number_text& number, double& out)
{
  return text_to_real(number, out);
}

HRESULT to_float(const number_text& number, float& out)
{
  return text_to_real(number, out);
}

bool from_decimal(const DECIMAL& value, exact_number& out)
{
  if (value.scale > decimal_max_scale || (value.sign != 0 && value.sign != DECIMAL_NEG))
    return false;
  out.magnitude = (uint128{value.Hi32} << 64) | value.Lo64;
  out.negative = value.sign == DECIMAL_NEG && out.magnitude != 0;
  out.scale = value.scale;
  return true;
}

DECIMAL make_decimal(const exact_number& value)
{
  DECIMAL out{};
  out.scale = static_cast<BYTE>(value.scale);
  out.sign = value.negative && value.magnitude != 0 ? DECIMAL_NEG : BYTE{0};
  out.Hi32 = static_cast<ULONG>(value.magnitude >> 64);
  out.Lo64 = static_cast<ULONGLONG>(value.magnitude);
  return out;
}

double round_half_even(double value)
{
  const double whole = std::trunc(value);
  const double fraction = std::fabs(value - whole);
  if (fraction < 0.5)
    return whole;
  const double away = whole + std::copysign(1.0, value);
  if (fraction > 0.5)
    return away;
  return std::fmod(whole, 2.0) == 0 ? whole : away;
}

void append_text(const exact_number& value, char_buffer& out)
{
  char digits[40];
  int count = write_digits(value.magnitude, digits);
  int scale = value.scale;
  // Trailing fractional zeros say nothing about the value.
  while (scale > 0 && count > 1 && digits[count - 1] == '0') {
    --count;
    --scale;
  }
  if (value.magnitude == 0) {
    out.push_back('0');
    return;
  }
  if (value.negative)
    out.push_back('-');
  const std::string_view text(digits, static_cast<std::size_t>(count));
  if (scale == 0) {
    out.append(text);
    return;
  }
  if (count > scale) {
    out.append(text.substr(0, static_cast<std::size_t>(count - scale)));
    out.push_back('.');
    out.append(text.substr(static_cast<std::size_t>(count - scale)));
    return;
  }
  out.append("0.");
  for (int i = count; i < scale; ++i)
    out.push_back('0');
  out.append(text);
}

void append_real_text(double value, int digits, char_buffer& out)
{
  if (std::isnan(value)) {
    out.append("NaN");
    return;
  }
  if (std::isinf(value)) {
    out.append(value < 0 ? "-Infinity" : "Infinity");
    return;
  }
  if (value == 0) {
    out.push_back('0');  // also for -0
    return;
  }
  char text[40];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, digits);
  for (const char* p = text; p != result.ptr; ++p)
    out.push_back(*p == 'e' ? 'E' : *p);
}

HRESULT make_bstr(std::string_view ascii, BSTR* out)
{
  BSTR text = SysAllocStringLen(nullptr, static_cast<unsigned int>(ascii.size()));
  if (text == nullptr)
    return E_OUTOFMEMORY;
  for (std::size_t i = 0; i < ascii.size(); ++i)
    text[i] = static_cast<OLECHAR>(static_cast<unsigned char>(ascii[i]));
  *out = text;
  return S_OK;
}

} // namespace plat::oa
