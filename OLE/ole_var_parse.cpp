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

void ole_variant::change_type(VARTYPE type)
{
  const VARTYPE vt = var_.vt;
  tk_log_message(1, "ole_variant::change_type(old=%d,new=%d)", vt, type);

  // 1. The two names of a byte array.
  if ((vt == vt_byte_array && type == VT_BLOB) || (vt == VT_BLOB && type == vt_byte_array)) {
    tk_log_message(1, "Replace by synonym");
    var_.vt = type;
    return;
  }
  // 2. Nothing to change.
  if (type == vt || vt == VT_EMPTY || vt == VT_NULL || (is_binary_type(vt) && is_binary_type(type))) {
    tk_log_message(1, "Type cannot be changed");
    return;
  }
  // 3. Words only: "1" and "0" are numbers, not booleans, here.
  if (vt == VT_BSTR && type == VT_BOOL) {
    const std::wstring_view text = bstr_view(var_.bstrVal);
    const auto any_of = [text](std::initializer_list<std::wstring_view> words) {
      return std::any_of(words.begin(), words.end(), [text](std::wstring_view word) { return plat::equal_no_case(text, word); });
    };
    VARIANT_BOOL value = VARIANT_FALSE;
    if (any_of({L"yes", L"t", L"true"}))
      value = VARIANT_TRUE;
    else if (!any_of({L"no", L"f", L"false"}))
      throw ole_cast_exception();
    clear();
    var_.vt = VT_BOOL;
    var_.boolVal = value;
    return;
  }
  // 4. From the 64-bit integers, whose value the VARIANT does not carry.
  if (vt == VT_I8 || vt == VT_UI8) {
    const bool is_signed = vt == VT_I8;
    const std::uint64_t bits = is_signed ? static_cast<std::uint64_t>(i8_) : ui8_;
    VARIANT out{};
    switch (type) {
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
      out.fltVal = is_signed ? static_cast<float>(i8_) : static_cast<float>(ui8_);
      break;
    case VT_R8:
      out.dblVal = is_signed ? static_cast<double>(i8_) : static_cast<double>(ui8_);
      break;
    case VT_CY: {
      std::int64_t scaled = 0;
      const bool overflow = is_signed ? __builtin_mul_overflow(i8_, std::int64_t{10000}, &scaled)
                                      : ui8_ > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max() / 10000);
      if (overflow)
        throw ole_cast_exception();
      out.cyVal.int64 = is_signed ? scaled : static_cast<std::int64_t>(ui8_) * 10000;
      break;
    }
    case VT_BSTR: {
      std::array<char, 24> buffer;
      const std::wstring text = ascii_to_wide(is_signed ? decimal_text(i8_, buffer) : decimal_text(ui8_, buffer));
      attach_wstring(text);
      return;
    }
    case VT_DECIMAL: {
      tk_log_message(1, is_signed ? "VT_I8->VT_DECIMAL" : "VT_UI8->VT_DECIMAL");
      DECIMAL value{};
      if (FAILED(is_signed ? VarDecFromI8(i8_, &value) : VarDecFromUI8(ui8_, &value)))
        throw ole_cast_exception();
      clear();
      var_.set_decimal(value);
      return;
    }
    case VT_I8:
      set_i8(static_cast<std::int64_t>(bits));
      return;
    case VT_UI8:
      set_ui8(bits);
      return;
    default:
      throw ole_cast_exception();
    }
    clear();
    var_ = out;
    var_.vt = type;
    return;
  }
  // 5. A date becomes its text, and nothing else.
  if (vt == VT_DATE) {
    if (type != VT_BSTR)
      throw ole_cast_exception();
    ole_date::text_buffer buffer;
    attach_wstring(ascii_to_wide(date_.format(buffer, 6, false)));
    return;
  }
  // 6. To the 64-bit integers.
  if (type == VT_I8 || type == VT_UI8) {
    const bool to_signed = type == VT_I8;
    std::int64_t s = 0;
    std::uint64_t u = 0;
    bool from_signed = true;  // s holds the value, else u
    switch (vt) {
    case VT_I2: s = var_.iVal; break;
    case VT_BOOL: s = var_.boolVal; break;
    case VT_I4: s = var_.lVal; break;
    case VT_INT: s = var_.intVal; break;
    case VT_I1: s = var_.cVal; break;
    case VT_UI1: u = var_.bVal; from_signed = false; break;
    case VT_UI2: u = var_.uiVal; from_signed = false; break;
    case VT_UI4: u = var_.ulVal; from_signed = false; break;
    case VT_UINT: u = var_.uintVal; from_signed = false; break;
    case VT_R4:
    case VT_R8: {
      // A real out of range or NaN is refused: no member is left holding a
      // stale number labelled as the result.
      HRESULT hr = S_OK;
      if (to_signed)
        hr = vt == VT_R4 ? VarI8FromR4(var_.fltVal, &s) : VarI8FromR8(var_.dblVal, &s);
      else
        hr = vt == VT_R4 ? VarUI8FromR4(var_.fltVal, &u) : VarUI8FromR8(var_.dblVal, &u);
      if (to_signed)
        tk_log_message(1, vt == VT_R4 ? "from FLOAT: res=%lld, hr=%08X" : "from DOUBLE: res=%lld, hr=%08X", s, hr);
      else
        tk_log_message(1, vt == VT_R4 ? "from FLOAT: res=%llu, hr=%08X" : "from DOUBLE: res=%llu, hr=%08X", u, hr);
      if (FAILED(hr))
        throw ole_cast_exception();
      from_signed = to_signed;
      break;
    }
    case VT_CY: {
      const std::int64_t c = var_.cyVal.int64;
      s = c / 10000;
      if (c > 0 && (c / 1000) % 10 >= 5)
        ++s;
      break;
    }
    case VT_DECIMAL: {
      tk_log_message(1, to_signed ? "VT_DECIMAL->VT_I8" : "VT_DECIMAL->VT_UI8");
      const DECIMAL value = var_.decimal();
      if (FAILED(to_signed ? VarI8FromDec(&value, &s) : VarUI8FromDec(&value, &u)))
        throw ole_cast_exception();
      from_signed = to_signed;
      break;
    }
    default:
      throw ole_cast_exception();
    }
    const std::uint64_t bits = from_signed ? static_cast<std::uint64_t>(s) : u;
    if (to_signed)
      set_i8(static_cast<std::int64_t>(bits));
    else
      set_ui8(bits);
    return;
  }
  // 7. To the 32- and 16-bit integers: reals rounded half away from zero,
  // decimals through Automation, every other type left as it is.
  if (type == VT_I4 || type == VT_UI4 || type == VT_I2 || type == VT_UI2) {
    if (vt == VT_R4 || vt == VT_R8) {
      const double value = vt == VT_R4 ? static_cast<double>(var_.fltVal) : var_.dblVal;
      const double rounded = std::round(value);
      // VT_UI4 also takes the values above the signed range; the rest must fit
      // 32 signed bits before 16-bit targets are cut.
      const double upper = type == VT_UI4 ? 4294967295.0 : 2147483647.0;
      if (!(rounded >= -2147483648.0 && rounded <= upper))
        throw ole_cast_exception();
      const auto whole = static_cast<std::int64_t>(rounded);
      clear();
      switch (type) {
      case VT_I4: var_.lVal = static_cast<LONG>(whole); break;
      case VT_UI4: var_.ulVal = static_cast<ULONG>(whole); break;
      case VT_I2: var_.iVal = static_cast<std::int16_t>(whole); break;
      default: var_.uiVal = static_cast<WORD>(whole); break;
      }
      var_.vt = type;
      return;
    }
    if (vt == VT_DECIMAL) {
      const DECIMAL value = var_.decimal();
      VARIANT out{};
      HRESULT hr = S_OK;
      switch (type) {
      case VT_I4: tk_log_message(1, "VT_DECIMAL->VT_I4"); hr = VarI4FromDec(&value, &out.lVal); break;
      case VT_UI4: tk_log_message(1, "VT_DECIMAL->VT_UI4"); hr = VarUI4FromDec(&value, &out.ulVal); break;
      case VT_I2: tk_log_message(1, "VT_DECIMAL->VT_I2"); hr = VarI2FromDec(&value, &out.iVal); break;
      default: tk_log_message(1, "VT_DECIMAL->VT_UI2"); hr = VarUI2FromDec(&value, &out.uiVal); break;
      }
      if (FAILED(hr))
        throw ole_cast_exception();
      clear();
      var_ = out;
      var_.vt = type;
    }
    return;
  }
  // 8. To VT_I1: only from a decimal.
  if (type == VT_I1) {
    if (vt == VT_DECIMAL) {
      tk_log_message(1, "VT_DECIMAL->VT_I1");
      const DECIMAL value = var_.decimal();
      signed char out = 0;
      if (FAILED(VarI1FromDec(&value, &out)))
        throw ole_cast_exception();
      clear();
      var_.vt = VT_I1;
      var_.cVal = out;
    }
    return;
  }
  // 9. To a date: only from a text that is one.
  if (type == VT_DATE) {
    if (vt != VT_BSTR)
      throw ole_cast_exception();
    std::string narrow;
    plat::wide_to_utf8(bstr_view(var_.bstrVal), narrow);
    ole_date date;
    date.parse(narrow);
    if (!date.is_valid())
      throw ole_cast_exception();
    set_date(date);
    return;
  }
  // 10. A byte array becomes text and nothing else.
  if (is_binary_type(vt)) {
    tk_log_message(1, "src.vt is binary, a_type=%d", type);
    if (type != VT_BSTR || var_.parray == nullptr || SafeArrayGetDim(var_.parray) != 1)
      return;
    const std::uint32_t count = std::min(get_safe_array_size(var_.parray), max_rendered_bytes);
    const auto* bytes = static_cast<const char*>(var_.parray->pvData);
    const std::string_view raw(bytes, count);
    std::wstring text;
    if (!plat::utf8_to_wide(raw.substr(0, raw.find('\0')), text))
      throw ole_cast_exception();
    attach_wstring(text);
    return;
  }
  // 11. Anything else to a byte array: the value's bytes in memory order.
  if (is_binary_type(type)) {
    tk_log_message(1, "a_type is binary, src.vt=%d", vt);
    std::array<unsigned char, sizeof(VARIANT)> raw;
    std::memcpy(raw.data(), &var_, sizeof var_);
    constexpr std::size_t value_offset = offsetof(VARIANT, llVal);
    byte_vector bytes;
    switch (vt) {
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
      const std::string narrow = plat::to_utf8(bstr_view(var_.bstrVal));
      convert_to_byte_array(narrow.data(), narrow.size(), bytes);
      break;
    }
    default:
      throw ole_cast_exception();
    }
    *this = bytes;
    return;
  }
  // 12. Every other pair is Automation's.
  if (FAILED(VariantChangeType(&var_, &var_, 0, type))) {
    tk_log_message(1, "VariantChangeType failed");
    if (tk_logger::accepts(1))
      tk_log_message(1, "to_string()=%s", to_string());
    throw ole_cast_exception();
  }
}
