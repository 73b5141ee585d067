// Reading ole_variant values from text and changing their type in place. Numbers
// are read as the C library's "C" locale reads them, whatever the process
// locale, and no integer or real conversion here can overflow or lose its sign.
#include "OLE/ole_var.h"

#include "OLE/ole_exceptions.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "platform/case_fold.h"
#include "platform/text_codec.h"

#include <locale.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <string>

namespace {

constexpr LCID en_us = 1033;

template <class Char>
bool is_c_space(Char c)
{
  return c == Char(' ') || (c >= Char('\t') && c <= Char('\r'));
}

// Leading blanks, an optional sign and decimal digits up to the first other
// character, as atoi and "%u" read them; the magnitude saturates.
struct integer_text {
  bool negative = false;
  std::uint64_t magnitude = 0;
};

integer_text scan_integer(std::string_view text)
{
  integer_text out;
  std::size_t p = 0;
  while (p < text.size() && is_c_space(text[p]))
    ++p;
  if (p < text.size() && (text[p] == '+' || text[p] == '-'))
    out.negative = text[p++] == '-';
  constexpr std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
  for (; p < text.size() && text[p] >= '0' && text[p] <= '9'; ++p) {
    const auto digit = static_cast<unsigned>(text[p] - '0');
    out.magnitude = out.magnitude > (max - digit) / 10 ? max : out.magnitude * 10 + digit;
  }
  return out;
}

// A signed result clamped to the type's range (atoi and _atoi64 saturate).
template <class T>
T signed_value(const integer_text& number)
{
  constexpr auto max = static_cast<std::uint64_t>(std::numeric_limits<T>::max());
  if (!number.negative)
    return static_cast<T>(std::min(number.magnitude, max));
  if (number.magnitude > max)
    return std::numeric_limits<T>::min();
  return static_cast<T>(-static_cast<std::int64_t>(number.magnitude));
}

// An unsigned result as strtoul reads it: saturated, a "-" wraps around.
template <class T>
T unsigned_value(const integer_text& number)
{
  const T magnitude = static_cast<T>(std::min<std::uint64_t>(number.magnitude, std::numeric_limits<T>::max()));
  return number.negative ? static_cast<T>(T{0} - magnitude) : magnitude;
}

std::int32_t c_atoi(std::string_view text)
{
  return signed_value<std::int32_t>(scan_integer(text));
}

// The "C" locale, for reading reals the way atof does without the process's
// decimal mark.
locale_t c_locale()
{
  struct holder {
    locale_t locale = newlocale(LC_ALL_MASK, "C", nullptr);
    ~holder()
    {
      if (locale != nullptr)
        freelocale(locale);
    }
  };
  static const holder instance;
  if (instance.locale == nullptr)
    throw tk_mail_assertion("ole_var", 1560);
  return instance.locale;
}

// atof of the text with every "," read as ".".
double c_atof(std::string_view text)
{
  std::array<char, 96> local;
  std::string spill;
  char* buffer = local.data();
  if (text.size() >= local.size()) {
    spill.resize(text.size());
    buffer = spill.data();
  }
  std::replace_copy(text.begin(), text.end(), buffer, ',', '.');
  buffer[text.size()] = '\0';
  return strtod_l(buffer, nullptr, c_locale());
}

// The float nearest the double, overflowing to an infinity as IEEE rounding does
// (a plain conversion of an out-of-range double is undefined).
float narrow_to_float(double value)
{
  // Half an ulp above the largest float: from there on the nearest is infinity.
  constexpr double limit = static_cast<double>(std::numeric_limits<float>::max()) + 0x1p103;
  if (value >= limit)
    return std::numeric_limits<float>::infinity();
  if (value <= -limit)
    return -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

// The number text widened for the Automation parsers, "," read as "."; the text
// is ASCII in every ordinary case and then needs no decoding.
bool widen_number(std::string_view text, std::wstring& out)
{
  out.clear();
  const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) {
    // Widened in place: assigning from char iterators would build a temporary.
    out.resize(text.size());
    std::copy(text.begin(), text.end(), out.begin());
  } else if (!plat::utf8_to_wide(text, out))
    return false;
  std::replace(out.begin(), out.end(), L',', L'.');
  return true;
}

template <class Char>
unsigned hex_digit(Char c)
{
  // Upper-case digits up to "F", lower-case above it; any other character
  // counts as 0.
  static constexpr char upper[] = "0123456789ABCDEF";
  static constexpr char lower[] = "0123456789abcdef";
  const char* table = c > Char('F') ? lower : upper;
  for (unsigned i = 0; i < 16; ++i)
    if (c == Char(table[i]))
      return i;
  return 0;
}

template <class Char>
std::basic_string_view<Char> up_to_nul(std::basic_string_view<Char> text)
{
  return text.substr(0, text.find(Char(0)));
}

std::wstring_view bstr_view(BSTR text)
{
  if (text == nullptr)
    return {};
  return up_to_nul(std::wstring_view(text, SysStringLen(text)));
}

// Hexadecimal text, with an optional "0x" or "\x", to a byte array of `type`.
template <class Char>
ole_variant parse_hex(std::basic_string_view<Char> text, VARTYPE type)
{
  tk_log_message(1, "GOT BLOB");
  ole_variant result;
  if (text.empty()) {
    tk_log_message(1, "Empty BLOB");
    return result;
  }
  if (text.size() % 2 != 0) {
    tk_log_message(2, "Incorrect BLOB (size is odd)");
    return result;
  }
  const bool prefix = (text[0] == Char('0') || text[0] == Char('\\')) && (text[1] == Char('x') || text[1] == Char('X'));
  const std::size_t count = text.size() / 2 - (prefix ? 1 : 0);
  tk_log_message(1, "Got BLOB size: %d", count);
  if (count > std::numeric_limits<std::uint32_t>::max())
    throw tk_mail_assertion("ole_var", 1354);
  result.allocate_safe_array(static_cast<std::uint32_t>(count));

  void* data = nullptr;
  SAFEARRAY* array = result.get_variant().parray;
  if (FAILED(SafeArrayAccessData(array, &data)))
    throw tk_mail_assertion("ole_var", 1354);
  auto* bytes = static_cast<unsigned char*>(data);
  std::size_t next = 0;
  for (std::size_t i = prefix ? 2 : 0; i < text.size() && text[i] != Char(0); i += 2)
    bytes[next++] = static_cast<unsigned char>(hex_digit(text[i]) << 4 | hex_digit(text[i + 1]));
  SafeArrayUnaccessData(array);

  result.change_type(type);
  if (tk_logger::accepts(1))  // the text of a large array is costly to make
    tk_log_message(1, "Before return: res=%s", result.to_string());
  return result;
}

bool is_binary_type(VARTYPE vt)
{
  return vt == VT_BLOB || vt == VT_BLOB_OBJECT || vt == ole_variant::vt_byte_array;
}

std::wstring ascii_to_wide(std::string_view text)
{
  return std::wstring(text.begin(), text.end());
}

template <class T>
std::string_view decimal_text(T value, std::array<char, 24>& buffer)
{
  const auto end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value).ptr;
  return std::string_view(buffer.data(), static_cast<std::size_t>(end - buffer.data()));
}

} // namespace

ole_variant ole_variant::from_string(std::string_view text, VARTYPE type)
{
  tk_log_message(1, "ole_variant::from_string('%s', 0x%08X)", text, type);
  ole_variant result;
  if (text.empty()) {
    if (type == VT_BSTR)
      result.attach_wstring(std::wstring_view());
    return result;
  }
  VARIANT& var = result.var_;
  switch (type) {
  case VT_I2:
    var.vt = VT_I2;
    var.iVal = static_cast<std::int16_t>(c_atoi(text));
    break;
  case VT_I4:
    var.vt = VT_I4;
    var.lVal = c_atoi(text);
    break;
  case VT_I1:
    var.vt = VT_I1;
    var.cVal = static_cast<signed char>(c_atoi(text));
    break;
  case VT_UI1:
    var.vt = VT_UI1;
    var.bVal = static_cast<BYTE>(c_atoi(text));
    break;
  case VT_UI2:
    var.vt = VT_UI2;
    var.uiVal = static_cast<WORD>(c_atoi(text));
    break;
  case VT_UI4:
    var.vt = VT_UI4;
    var.ulVal = unsigned_value<std::uint32_t>(scan_integer(text));
    break;
  case VT_I8:
    result.set_i8(signed_value<std::int64_t>(scan_integer(text)));
    break;
  case VT_UI8:
    result.set_ui8(unsigned_value<std::uint64_t>(scan_integer(text)));
    break;
  case VT_R4:
    var.vt = VT_R4;
    var.fltVal = narrow_to_float(c_atof(text));
    break;
  case VT_R8:
    var.vt = VT_R8;
    var.dblVal = c_atof(text);
    break;
  case VT_CY: {
    tk_log_message(1, "GOT VT_CY");
    thread_local std::wstring wide;
    if (!widen_number(text, wide))
      throw tk_mail_assertion("ole_var", 1613);
    CY value{};
    const HRESULT hr = VarCyFromStr(wide.c_str(), en_us, 0, &value);
    if (FAILED(hr)) {
      tk_log_message(2, "VarCyFromStr failed: %08X", hr);
      break;
    }
    var.vt = VT_CY;
    var.cyVal = value;
    break;
  }
  case VT_DECIMAL: {
    tk_log_message(1, "GOT VT_DECIMAL");
    thread_local std::wstring wide;
    if (!widen_number(text, wide))
      throw tk_mail_assertion("ole_var", 1643);
    DECIMAL value{};
    const HRESULT hr = VarDecFromStr(wide.c_str(), en_us, 0, &value);
    if (FAILED(hr)) {
      // A number beyond DECIMAL's 29 digits still arrives as a number.
      tk_log_message(2, "ERROR: VarDecFromStr for '%s' failed (hr=%08X)", text, hr);
      var.vt = VT_R8;
      var.dblVal = c_atof(text);
      break;
    }
    var.set_decimal(value);
    break;
  }
  case VT_DATE: {
    tk_log_message(1, "GOT VT_DATE");
    ole_date date;
    date.parse(text);
    if (date.is_valid())
      result.set_date(date);
    break;
  }
  case VT_BOOL: {
    tk_log_message(1, "ole_variant::from_string(VT_BOOL, '%s')", text);
    bool value = false;
    const auto any_of = [text](std::initializer_list<std::string_view> words) {
      return std::any_of(words.begin(), words.end(), [text](std::string_view word) { return plat::equal_no_case(text, word); });
    };
    if (any_of({"1", "yes", "t", "true"}))
      value = true;
    else if (any_of({"0", "no", "f", "false"}))
      value = false;
    else
      value = c_atoi(text) != 0;
    var.vt = VT_BOOL;
    var.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    break;
  }
  case vt_byte_array:
  case VT_BLOB:
    return parse_hex(text, type);
  default:
    tk_log_message(1, "default processing");
    result.attach_string(text);
    // A text asked for as text is already what was asked for.
    if (type != VT_BSTR && FAILED(VariantChangeType(&var, &var, 0, type)))
      throw ole_type_exception();
    break;
  }
  return result;
}

ole_variant ole_variant::from_wstring(std::wstring_view text, VARTYPE type)
{
  tk_log_message(1, L"ole_variant::from_wstring(%s,%d)", text, type);
  if (type == VT_BSTR) {
    ole_variant result;
    result.attach_wstring(up_to_nul(text));
    return result;
  }
  if (type == vt_byte_array || type == VT_BLOB)
    return parse_hex(text, type);
  tk_log_message(1, "=== RIGHT BEFORE W2A_EX ===");
  thread_local std::string narrow;
  plat::wide_to_utf8(up_to_nul(text), narrow);
  ole_variant result = from_string(narrow, type);
  if (narrow.capacity() > (1u << 20))
    std::string().swap(narrow);
  return result;
}

// ---------------------------------------------------------------------------
// Type changes in place. Each way a value may change type is one rule below;
// change_type tries them in order and the first that covers the pair of types
// makes the change or refuses it, leaving the value as it was. The order is
// part of the meaning: a synonym or a no-op wins over everything, the 64-bit
// integers and dates are settled before any rule about the target looks at
// them, and only what no rule covers reaches Automation.

struct ole_variant::type_rules {
  static bool is_short_integer(VARTYPE type)
  {
    return type == VT_I4 || type == VT_UI4 || type == VT_I2 || type == VT_UI2;
  }

  // VT_BLOB and VT_ARRAY|VT_UI1 hold the same SAFEARRAY: only the tag changes.
  static void rename_byte_array(ole_variant& value, VARTYPE to)
  {
    tk_log_message(1, "Replace by synonym");
    value.var_.vt = to;
  }

  // The same type, no value at all, or one byte array kind for another: there
  // is nothing to convert, and refusing would fail a caller for no reason.
  static void keep(ole_variant&, VARTYPE)
  {
    tk_log_message(1, "Type cannot be changed");
  }

  // Only the words: "1" and "0" are numbers here, and a number is no boolean,
  // so they are refused rather than read as Automation would.
  static void words_to_bool(ole_variant& value, VARTYPE)
  {
    const std::wstring_view text = bstr_view(value.var_.bstrVal);
    const auto any_of = [text](std::initializer_list<std::wstring_view> words) {
      return std::any_of(words.begin(), words.end(), [text](std::wstring_view word) { return plat::equal_no_case(text, word); });
    };
    VARIANT_BOOL result = VARIANT_FALSE;
    if (any_of({L"yes", L"t", L"true"}))
      result = VARIANT_TRUE;
    else if (!any_of({L"no", L"f", L"false"}))
      throw ole_cast_exception();
    value.clear();
    value.var_.vt = VT_BOOL;
    value.var_.boolVal = result;
  }

  // The VARIANT does not carry a 64-bit integer's value (the member does), so
  // Automation cannot convert from one: narrower integers take the low bits,
  // reals and currency the value, text and DECIMAL the exact digits.
  static void from_64_bit_integer(ole_variant& value, VARTYPE to)
  {
    const bool is_signed = value.var_.vt == VT_I8;
    const std::uint64_t bits = is_signed ? static_cast<std::uint64_t>(value.i8_) : value.ui8_;
    VARIANT out{};
    switch (to) {
    case VT_I2:
    case VT_UI2:
      out.uiVal = static_cast<WORD>(bits);
      break;
    case VT_BOOL:
      out.boolVal = bits != 0 ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
      out.ulVal = static_cast<ULONG>(bits);
      break;
    case VT_I1:
    case VT_UI1:
      out.bVal = static_cast<BYTE>(bits);
      break;
    case VT_R4:
      out.fltVal = is_signed ? static_cast<float>(value.i8_) : static_cast<float>(value.ui8_);
      break;
    case VT_R8:
      out.dblVal = is_signed ? static_cast<double>(value.i8_) : static_cast<double>(value.ui8_);
      break;
    case VT_CY:
      out.cyVal.int64 = currency_of_64_bit_integer(value, is_signed);
      break;
    case VT_BSTR: {
      std::array<char, 24> buffer;
      value.attach_wstring(ascii_to_wide(is_signed ? decimal_text(value.i8_, buffer) : decimal_text(value.ui8_, buffer)));
      return;
    }
    case VT_DECIMAL:
      decimal_of_64_bit_integer(value, is_signed);
      return;
    case VT_I8:
      value.set_i8(static_cast<std::int64_t>(bits));
      return;
    case VT_UI8:
      value.set_ui8(bits);
      return;
    default:
      throw ole_cast_exception();
    }
    value.clear();
    value.var_ = out;
    value.var_.vt = to;
  }

  // Currency counts ten-thousandths: a whole number too large for that is
  // refused, never wrapped.
  static std::int64_t currency_of_64_bit_integer(const ole_variant& value, bool is_signed)
  {
    std::int64_t scaled = 0;
    const bool overflow = is_signed ? __builtin_mul_overflow(value.i8_, std::int64_t{10000}, &scaled)
                                    : value.ui8_ > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max() / 10000);
    if (overflow)
      throw ole_cast_exception();
    return is_signed ? scaled : static_cast<std::int64_t>(value.ui8_) * 10000;
  }

  static void decimal_of_64_bit_integer(ole_variant& value, bool is_signed)
  {
    tk_log_message(1, is_signed ? "VT_I8->VT_DECIMAL" : "VT_UI8->VT_DECIMAL");
    DECIMAL result{};
    if (FAILED(is_signed ? VarDecFromI8(value.i8_, &result) : VarDecFromUI8(value.ui8_, &result)))
      throw ole_cast_exception();
    value.clear();
    value.var_.set_decimal(result);
  }

  // A date's text is the one the server sent, microseconds and durations
  // included; a date as a number would lose both, so that is refused.
  static void date_to_text(ole_variant& value, VARTYPE to)
  {
    if (to != VT_BSTR)
      throw ole_cast_exception();
    ole_date::text_buffer buffer;
    value.attach_wstring(ascii_to_wide(value.date_.format(buffer, 6, false)));
  }

  // The target's value lives in the member, which Automation does not fill:
  // integers widen, reals and DECIMAL round to even through Automation (a NaN
  // or a real out of range is refused rather than leaving a stale number), and
  // currency rounds its own way (half up for positive amounts only).
  static void to_64_bit_integer(ole_variant& value, VARTYPE to)
  {
    const bool to_signed = to == VT_I8;
    const VARIANT& var = value.var_;
    std::int64_t s = 0;
    std::uint64_t u = 0;
    bool from_signed = true;  // s holds the value, else u
    switch (var.vt) {
    case VT_I2: s = var.iVal; break;
    case VT_BOOL: s = var.boolVal; break;
    case VT_I4: s = var.lVal; break;
    case VT_INT: s = var.intVal; break;
    case VT_I1: s = var.cVal; break;
    case VT_UI1: u = var.bVal; from_signed = false; break;
    case VT_UI2: u = var.uiVal; from_signed = false; break;
    case VT_UI4: u = var.ulVal; from_signed = false; break;
    case VT_UINT: u = var.uintVal; from_signed = false; break;
    case VT_R4:
    case VT_R8:
      real_to_64_bit_integer(var, to_signed, s, u);
      from_signed = to_signed;
      break;
    case VT_CY: {
      const std::int64_t c = var.cyVal.int64;
      s = c / 10000;
      if (c > 0 && (c / 1000) % 10 >= 5)
        ++s;
      break;
    }
    case VT_DECIMAL: {
      tk_log_message(1, to_signed ? "VT_DECIMAL->VT_I8" : "VT_DECIMAL->VT_UI8");
      const DECIMAL decimal = var.decimal();
      if (FAILED(to_signed ? VarI8FromDec(&decimal, &s) : VarUI8FromDec(&decimal, &u)))
        throw ole_cast_exception();
      from_signed = to_signed;
      break;
    }
    default:
      throw ole_cast_exception();
    }
    const std::uint64_t bits = from_signed ? static_cast<std::uint64_t>(s) : u;
    if (to_signed)
      value.set_i8(static_cast<std::int64_t>(bits));
    else
      value.set_ui8(bits);
  }

  static void real_to_64_bit_integer(const VARIANT& var, bool to_signed, std::int64_t& s, std::uint64_t& u)
  {
    const bool is_float = var.vt == VT_R4;
    HRESULT hr = S_OK;
    if (to_signed) {
      hr = is_float ? VarI8FromR4(var.fltVal, &s) : VarI8FromR8(var.dblVal, &s);
      tk_log_message(1, is_float ? "from FLOAT: res=%lld, hr=%08X" : "from DOUBLE: res=%lld, hr=%08X", s, hr);
    } else {
      hr = is_float ? VarUI8FromR4(var.fltVal, &u) : VarUI8FromR8(var.dblVal, &u);
      tk_log_message(1, is_float ? "from FLOAT: res=%llu, hr=%08X" : "from DOUBLE: res=%llu, hr=%08X", u, hr);
    }
    if (FAILED(hr))
      throw ole_cast_exception();
  }

  // Reals round half away from zero and DECIMAL goes through Automation; every
  // other type is left as it is, without an error, so a caller that needs the
  // target type checks get_type() afterwards.
  static void to_short_integer(ole_variant& value, VARTYPE to)
  {
    const VARTYPE from = value.var_.vt;
    if (from == VT_R4 || from == VT_R8)
      round_real_to_short_integer(value, to);
    else if (from == VT_DECIMAL)
      decimal_to_short_integer(value, to);
  }

  static void round_real_to_short_integer(ole_variant& value, VARTYPE to)
  {
    const double real = value.var_.vt == VT_R4 ? static_cast<double>(value.var_.fltVal) : value.var_.dblVal;
    const double rounded = std::round(real);
    // VT_UI4 also takes the values above the signed range; the rest must fit
    // 32 signed bits before 16-bit targets are cut.
    const double upper = to == VT_UI4 ? 4294967295.0 : 2147483647.0;
    if (!(rounded >= -2147483648.0 && rounded <= upper))
      throw ole_cast_exception();
    const auto whole = static_cast<std::int64_t>(rounded);
    value.clear();
    VARIANT& var = value.var_;
    switch (to) {
    case VT_I4: var.lVal = static_cast<LONG>(whole); break;
    case VT_UI4: var.ulVal = static_cast<ULONG>(whole); break;
    case VT_I2: var.iVal = static_cast<std::int16_t>(whole); break;
    default: var.uiVal = static_cast<WORD>(whole); break;
    }
    var.vt = to;
  }

  static void decimal_to_short_integer(ole_variant& value, VARTYPE to)
  {
    const DECIMAL decimal = value.var_.decimal();
    VARIANT out{};
    HRESULT hr = S_OK;
    switch (to) {
    case VT_I4: tk_log_message(1, "VT_DECIMAL->VT_I4"); hr = VarI4FromDec(&decimal, &out.lVal); break;
    case VT_UI4: tk_log_message(1, "VT_DECIMAL->VT_UI4"); hr = VarUI4FromDec(&decimal, &out.ulVal); break;
    case VT_I2: tk_log_message(1, "VT_DECIMAL->VT_I2"); hr = VarI2FromDec(&decimal, &out.iVal); break;
    default: tk_log_message(1, "VT_DECIMAL->VT_UI2"); hr = VarUI2FromDec(&decimal, &out.uiVal); break;
    }
    if (FAILED(hr))
      throw ole_cast_exception();
    value.clear();
    value.var_ = out;
    value.var_.vt = to;
  }

  // As the short integers, but only a DECIMAL converts; any other type stays.
  static void decimal_to_i1(ole_variant& value, VARTYPE)
  {
    if (value.var_.vt != VT_DECIMAL)
      return;
    tk_log_message(1, "VT_DECIMAL->VT_I1");
    const DECIMAL decimal = value.var_.decimal();
    signed char out = 0;
    if (FAILED(VarI1FromDec(&decimal, &out)))
      throw ole_cast_exception();
    value.clear();
    value.var_.vt = VT_I1;
    value.var_.cVal = out;
  }

  // A date comes only from a text that is one, read as the server writes
  // dates; a number as a day count would be a guess.
  static void text_to_date(ole_variant& value, VARTYPE)
  {
    if (value.var_.vt != VT_BSTR)
      throw ole_cast_exception();
    std::string narrow;
    plat::wide_to_utf8(bstr_view(value.var_.bstrVal), narrow);
    ole_date date;
    date.parse(narrow);
    if (!date.is_valid())
      throw ole_cast_exception();
    value.set_date(date);
  }

  // Bytes become text as UTF-8 up to the first zero byte (a C string in a
  // BLOB); any other target leaves the bytes as they are.
  static void bytes_to_text(ole_variant& value, VARTYPE to)
  {
    tk_log_message(1, "src.vt is binary, a_type=%d", to);
    SAFEARRAY* array = value.var_.parray;
    if (to != VT_BSTR || array == nullptr || SafeArrayGetDim(array) != 1)
      return;
    const std::uint32_t count = std::min(get_safe_array_size(array), max_rendered_bytes);
    const std::string_view raw(static_cast<const char*>(array->pvData), count);
    std::wstring text;
    if (!plat::utf8_to_wide(raw.substr(0, raw.find('\0')), text))
      throw ole_cast_exception();
    value.attach_wstring(text);
  }

  // The bytes of the value as memory holds it (little-endian), a DECIMAL with
  // its whole VARIANT, a text as UTF-8; what has no bytes of its own is refused.
  // The result is VT_ARRAY|VT_UI1 whichever of the two names was asked for.
  static void value_to_bytes(ole_variant& value, VARTYPE)
  {
    tk_log_message(1, "a_type is binary, src.vt=%d", value.var_.vt);
    std::array<unsigned char, sizeof(VARIANT)> raw;
    std::memcpy(raw.data(), &value.var_, sizeof value.var_);
    constexpr std::size_t value_offset = offsetof(VARIANT, llVal);
    byte_vector bytes;
    switch (value.var_.vt) {
    case VT_I2:
    case VT_BOOL:
    case VT_UI2:
      convert_to_byte_array(raw.data() + value_offset, 2, bytes);
      break;
    case VT_I4:
    case VT_R4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
      convert_to_byte_array(raw.data() + value_offset, 4, bytes);
      break;
    case VT_R8:
    case VT_CY:
      convert_to_byte_array(raw.data() + value_offset, 8, bytes);
      break;
    case VT_DECIMAL:
      convert_to_byte_array(raw.data(), raw.size(), bytes);
      break;
    case VT_I1:
    case VT_UI1:
      convert_to_byte_array(raw.data() + value_offset, 1, bytes);
      break;
    case VT_BSTR: {
      tk_log_message(1, "VT_BSTR->binary");
      const std::string narrow = plat::to_utf8(bstr_view(value.var_.bstrVal));
      convert_to_byte_array(narrow.data(), narrow.size(), bytes);
      break;
    }
    default:
      throw ole_cast_exception();
    }
    value = bytes;
  }

  // What no rule above covers is a pair Automation knows (or refuses).
  static void by_automation(ole_variant& value, VARTYPE to)
  {
    if (SUCCEEDED(VariantChangeType(&value.var_, &value.var_, 0, to)))
      return;
    tk_log_message(1, "VariantChangeType failed");
    if (tk_logger::accepts(1))
      tk_log_message(1, "to_string()=%s", value.to_string());
    throw ole_cast_exception();
  }
};

void ole_variant::change_type(VARTYPE type)
{
  const VARTYPE from = var_.vt;
  tk_log_message(1, "ole_variant::change_type(old=%d,new=%d)", from, type);
  // An if-chain rather than a table of function pointers: the tests and the
  // rules inline, and a change that falls through to Automation (the most
  // common one) pays for no indirect call on its way down.
  using R = type_rules;
  if ((from == vt_byte_array && type == VT_BLOB) || (from == VT_BLOB && type == vt_byte_array))
    R::rename_byte_array(*this, type);
  else if (type == from || from == VT_EMPTY || from == VT_NULL || (is_binary_type(from) && is_binary_type(type)))
    R::keep(*this, type);
  else if (from == VT_BSTR && type == VT_BOOL)
    R::words_to_bool(*this, type);
  else if (from == VT_I8 || from == VT_UI8)
    R::from_64_bit_integer(*this, type);
  else if (from == VT_DATE)
    R::date_to_text(*this, type);
  else if (type == VT_I8 || type == VT_UI8)
    R::to_64_bit_integer(*this, type);
  else if (R::is_short_integer(type))
    R::to_short_integer(*this, type);
  else if (type == VT_I1)
    R::decimal_to_i1(*this, type);
  else if (type == VT_DATE)
    R::text_to_date(*this, type);
  else if (is_binary_type(from))
    R::bytes_to_text(*this, type);
  else if (is_binary_type(type))
    R::value_to_bytes(*this, type);
  else
    R::by_automation(*this, type);
}
