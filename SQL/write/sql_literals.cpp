// Values as MySQL literals. A text goes into a statement bare only when the server
// can read nothing from it but the number it shows; everything else is quoted by
// one escaping rule, so no value can change the shape of the statement around it.
// The rule escapes with backslashes, which the engine keeps its sessions reading
// (sql_engine::keep_backslash_escapes); a NUL is escaped too and stays in the value.
#include "SQL/write/sql_literals.h"

#include "OLE/ole_date.h"
#include "OLE/ole_guid.h"
#include "OLE/ole_misc.h"
#include "SQL/sql_util.h"
#include "SQL/write/sql_types.h"
#include "TK/tk_log.h"
#include "TK/tk_string.h"
#include "UDB/udb_field.h"
#include "UDB/udb_schema.h"
#include "platform/text_codec.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cwchar>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>

namespace {

// A value longer than this travels as a prepared statement's long data.
constexpr std::uint32_t long_parameter_size = 0x100000;
constexpr std::size_t guid_length = 36;

template <class Char>
using string_t = std::basic_string<Char>;
template <class Char>
using view_t = std::basic_string_view<Char>;

template <class Char>
string_t<Char> ascii(std::string_view text)
{
  return string_t<Char>(text.begin(), text.end());
}

template <class Char>
bool is_digit(Char c)
{
  return c >= Char('0') && c <= Char('9');
}

template <class Char>
bool is_hex_digit(Char c)
{
  return is_digit(c) || (c >= Char('a') && c <= Char('f')) || (c >= Char('A') && c <= Char('F'));
}

template <class Char>
std::size_t skip_digits(view_t<Char> text, std::size_t i)
{
  while (i < text.size() && is_digit(text[i]))
    ++i;
  return i;
}

// Optional sign, digits with an optional fraction, an optional exponent: a text the
// server reads as the number it shows and as nothing else.
template <class Char>
bool is_plain_number(view_t<Char> text)
{
  std::size_t i = 0;
  if (i < text.size() && (text[i] == Char('+') || text[i] == Char('-')))
    ++i;
  const std::size_t integer_end = skip_digits(text, i);
  std::size_t digits = integer_end - i;
  i = integer_end;
  if (i < text.size() && text[i] == Char('.')) {
    const std::size_t fraction_end = skip_digits(text, i + 1);
    digits += fraction_end - i - 1;
    i = fraction_end;
  }
  if (digits == 0)
    return false;
  if (i < text.size() && (text[i] == Char('e') || text[i] == Char('E'))) {
    ++i;
    if (i < text.size() && (text[i] == Char('+') || text[i] == Char('-')))
      ++i;
    const std::size_t exponent_end = skip_digits(text, i);
    if (exponent_end == i)
      return false;
    i = exponent_end;
  }
  return i == text.size();
}

// What a byte-array column may take bare: a hexadecimal literal (its bytes), or
// decimal digits the server stores as they stand (no leading zero, exact in BIGINT).
template <class Char>
bool is_lob_number(view_t<Char> text)
{
  if (text.size() > 2 && text[0] == Char('0') && (text[1] == Char('x') || text[1] == Char('X')))
    return std::all_of(text.begin() + 2, text.end(), is_hex_digit<Char>);
  return !text.empty() && text.size() <= 18 && (text[0] != Char('0') || text.size() == 1) &&
         std::all_of(text.begin(), text.end(), is_digit<Char>);
}

// 36 hexadecimal digits and dashes in a row: the cheap test that spares the GUID
// extractor (and its copies) for every other text.
template <class Char>
bool has_guid_run(view_t<Char> text)
{
  std::size_t run = 0;
  for (const Char c : text) {
    run = is_hex_digit(c) || c == Char('-') ? run + 1 : 0;
    if (run == guid_length)
      return true;
  }
  return false;
}

template <class Char>
void append_quoted(string_t<Char>& out, view_t<Char> text)
{
  const auto special = [](Char c) { return c == Char('\\') || c == Char('\'') || c == Char(0); };
  out.reserve(out.size() + text.size() + 2 +
              static_cast<std::size_t>(std::count_if(text.begin(), text.end(), special)));
  out += Char('\'');
  for (const Char c : text) {
    if (special(c)) {
      if constexpr (sizeof(Char) == 1)
        tk_log_message(1, "Got symbol to mask (2): %d", int(c));
      else
        tk_log_message(1, L"Got symbol to mask (1): %d", int(c));
      out += Char('\\');
      // A NUL goes as \0: the value keeps it and the statement holds no NUL byte.
      out += c == Char(0) ? Char('0') : c;
      continue;
    }
    out += c;
  }
  out += Char('\'');
}

template <class Char>
string_t<Char> quoted(view_t<Char> text)
{
  string_t<Char> out;
  append_quoted(out, text);
  return out;
}

ole_date parse_date(std::string_view text)
{
  ole_date date;
  date.parse(text);
  return date;
}

ole_date parse_date(std::wstring_view text)
{
  return ole_date(std::wstring(text));
}

// Appends the literal, so that a statement is built without a string per value.
template <class Char>
void append_text_literal(string_t<Char>& out, view_t<Char> text, VARTYPE type)
{
  constexpr bool narrow = sizeof(Char) == 1;
  if constexpr (narrow)
    tk_log_message(1, "to_mysql_str(%s)", text);
  else
    tk_log_message(1, L"to_mysql_wstr(%s)", text);
  if (type == VT_EMPTY || type == VT_NULL) {
    tk_log_message(1, "******* NULL VALUE ******");
    out += ascii<Char>("NULL");
    return;
  }
  if (text.empty()) {
    out += ascii<Char>("''");
    return;
  }
  if (type == VT_DATE) {
    ole_date::text_buffer buffer;
    const std::string_view printed = parse_date(text).format(buffer, 6, narrow);
    if constexpr (narrow)
      append_quoted(out, printed);
    else
      append_quoted(out, std::wstring_view(ascii<Char>(printed)));
    return;
  }
  if (sql_is_byte_array(type)) {
    tk_log_message(1, "GOT BLOB");
    if (!is_lob_number(text)) {
      append_quoted(out, text);
      return;
    }
    tk_log_message(1, "BLOB IS VALID");
    out += text;
    return;
  }
  if (ole_is_date_or_bstr(type) || !is_plain_number(text))
    append_quoted(out, text);
  else
    out += text;
}

template <class Char>
string_t<Char> text_literal(view_t<Char> text, VARTYPE type)
{
  string_t<Char> out;
  append_text_literal(out, text, type);
  return out;
}

// A GUID column's value as the 36 characters of its GUID, when the text holds one.
template <class Char>
bool append_guid(string_t<Char>& out, view_t<Char> text)
{
  if (text.size() < guid_length || !has_guid_run(text))
    return false;
  const ole_guid_extractor guid{string_t<Char>(text)};
  if (!guid.is_valid())
    return false;
  tk_log_message(1, "BSTR IS AN GUID");
  std::wstring digits;
  guid.get_guid(digits);
  out += Char('\'');
  out.append(digits.begin(), digits.end());  // ASCII by the extractor's check
  out += Char('\'');
  return true;
}

// The value's text as UTF-8, NULs and all, in a buffer the thread reuses: texts
// and dates cost no allocation of their own.
std::string_view value_text(const ole_variant& value)
{
  thread_local std::string buffer;
  const VARIANT& v = value.get_variant();
  if (v.vt == VT_BSTR) {
    const std::wstring_view text(v.bstrVal, v.bstrVal != nullptr ? SysStringLen(v.bstrVal) : 0);
    plat::wide_to_utf8(text, buffer);
  } else if (v.vt == VT_DATE) {
    ole_date::text_buffer printed;
    buffer.assign(value.get_date().format(printed, 6, true));
  } else {
    buffer = value.to_string();
  }
  return buffer;
}

bool holds_bytes(const ole_variant& value)
{
  const VARTYPE held = value.get_variant().vt;
  return held == ole_variant::vt_byte_array || held == VT_BLOB;
}

bool equals_ignoring_ascii_case(std::wstring_view a, std::wstring_view b)
{
  const auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](wchar_t x, wchar_t y) {
           return lower(x) == lower(y);
         });
}

// The server shows an integer default as its decimal digits; any other spelling
// (007, +7, blanks, a value beyond the type) would be refused or read differently.
// The text is read as the C library reads it, saturated at the limits of the type:
// 32 bits for the small types, 64 for VT_I8 and VT_UI8 (printed back unsigned).
bool is_canonical_integer(const std::wstring& text, VARTYPE type)
{
  wchar_t* end = nullptr;
  long long value = std::wcstoll(text.c_str(), &end, 10);
  if (type != VT_I8 && type != VT_UI8)
    value = std::clamp<long long>(value, std::numeric_limits<std::int32_t>::min(),
                                  std::numeric_limits<std::int32_t>::max());
  const std::wstring back = type == VT_UI8 ? std::to_wstring(static_cast<unsigned long long>(value))
                                           : std::to_wstring(value);
  return back == text;
}

// A whole number text of finite magnitude: anything after the number (1.5abc, or
// "1, `x` INT") would break or extend the column definition.
bool is_real_default(const std::wstring& text)
{
  if (!is_plain_number(std::wstring_view(text)))
    return false;
  const std::string narrow(text.begin() + (text[0] == L'+' ? 1 : 0), text.end());  // ASCII
  double value = 0;
  const auto [end, error] = std::from_chars(narrow.data(), narrow.data() + narrow.size(), value);
  return error == std::errc() && end == narrow.data() + narrow.size();
}

// CURRENT_TIMESTAMP with the column's fractional digits: a TIMESTAMP(6) takes no
// other.
std::wstring current_timestamp(const t_ftd& column)
{
  if (column.scale == 0)
    return L"CURRENT_TIMESTAMP";
  return L"CURRENT_TIMESTAMP(" + std::to_wstring(std::min<std::uint32_t>(column.scale, sql_max_fractional_digits)) + L")";
}

std::wstring date_default(const std::wstring& text, const t_ftd& column)
{
  tk_log_message(2, "Got DATE def value");
  const std::uint32_t sub_type = column.dw_reserved;
  if (sql_is_timestamp_keyword(text)) {
    tk_log_message(1, "Special processing for getdate()");
    return current_timestamp(column);
  }
  ole_date date(text);
  const bool read = date.get_kind() != ole_date::kind_invalid;
  if (read && (sub_type & 3u) == 2u)
    date.set_kind(ole_date::kind_date);
  else if (read && (sub_type & 3u) == 3u)
    date.set_kind(ole_date::kind_time);
  const std::wstring printed = date.to_wstring(6);
  tk_log_message(2, L"After canonization: %s", printed);
  // Between apostrophes: under ANSI_QUOTES a double-quoted text is a name.
  return printed.empty() ? std::wstring() : quoted(std::wstring_view(printed));
}

} // namespace

std::string to_mysql_str(const std::string& utf8, VARTYPE type)
{
  return text_literal(std::string_view(utf8), type);
}

std::wstring to_mysql_wstr(const std::wstring& text, VARTYPE type)
{
  return text_literal(std::wstring_view(text), type);
}

std::string to_mysql_str(const udb_field& field)
{
  std::string out;
  append_field_literal(out, field);
  return out;
}

std::string get_fld_append_str(const udb_field& field, const t_ftd& column, bool prepared)
{
  std::string out;
  append_fld_str(out, field, column, prepared);
  return out;
}

void append_field_literal(std::string& out, const udb_field& field)
{
  tk_log_message(1, "to_mysql_str");
  const VARTYPE type = field.get_type();
  if (type == VT_R4 && std::isfinite(field.get_variant().fltVal)) {
    // The single's exact value as a double: the server reads the text as a
    // double and narrows it to the very same single, which its own six digits
    // (or a single's shortest text, rounded twice) would not promise.
    char digits[32];
    const auto printed = std::to_chars(digits, digits + sizeof digits,
                                       static_cast<double>(field.get_variant().fltVal),
                                       std::chars_format::scientific);
    out.append(digits, printed.ptr);
    return;
  }
  if (!holds_bytes(field) && !sql_is_byte_array(type)) {
    append_text_literal(out, value_text(field), type);
    return;
  }
  tk_log_message(1, "special processing for BLOBs");
  const unsigned char* bytes = nullptr;
  std::string unused;
  if (!holds_bytes(field)) {
    out += "NULL";
    return;
  }
  const std::int64_t count = field.get_bytes(bytes, unused);
  if (count == 0) {
    out += "''";  // an empty byte array is a value, not a NULL
    return;
  }
  const std::size_t start = out.size();
  out.resize(start + 2 + 2 * static_cast<std::size_t>(count));
  out[start] = '0';
  out[start + 1] = 'x';
  // The digits' terminator lands on the string's own.
  tk_bytes_to_hex(static_cast<unsigned>(count), bytes, out.data() + start + 2);
  tk_log_message(1, "to_mysql_str - at the END");
}

void append_fld_str(std::string& out, const udb_field& field, const t_ftd& column, bool prepared)
{
  tk_log_message(1, "get_fld_append_str");
  const VARTYPE type = field.get_type();
  if (prepared && type != VT_EMPTY && field.get_size() > long_parameter_size) {
    tk_log_message(1, "fld->get_size()=%d", static_cast<int>(field.get_size()));
    tk_log_message(1, "Returns placeholder for prepared statement");
    out += '?';
    return;
  }
  if (column.vartype == VT_BSTR) {
    const std::string_view text = value_text(field);
    tk_log_message(1, "Got BSTR value: %s, flags=%d", text, static_cast<int>(column.dw_reserved));
    if (column.dw_reserved != 2 && column.dw_reserved != 8) {
      // Only a GUID column's values are GUIDs; a text that looks like one is text.
      if (column.dw_reserved == sql_text_guid && type == VT_BSTR && append_guid(out, text))
        return;
      append_text_literal(out, text, type);
      return;
    }
    out += "ST_GeomFromText(";
    append_quoted(out, text);
    out += ')';
    return;
  }

  const std::size_t start = out.size();
  if (ole_is_numeric_vt(column.vartype) && !ole_is_numeric_vt(type))
    append_text_literal(out, value_text(field), column.vartype);
  else
    append_field_literal(out, field);
  const std::string_view s = std::string_view(out).substr(start);
  tk_log_message(1, "Got field: %s, type=%08X", s, static_cast<unsigned>(type));
  const bool no_value =
      type == VT_EMPTY || type == VT_NULL || s.empty() || s == "\"\"" || s == "''";
  if (!no_value || sql_is_byte_array(column.vartype))
    return;
  if (!column.not_null) {
    tk_log_message(1, "Put NULL-field");
    out.resize(start);
    out += "NULL";
    return;
  }
  tk_log_message(1, "Put default value");
  const std::string default_text = column.default_value.to_string();
  if (!default_text.empty()) {
    out.resize(start);
    append_text_literal(out, std::string_view(default_text), column.vartype);
  }
  if (ole_is_numeric_vt(type)) {
    out.resize(start);
    out += '0';
  }
}

std::wstring make_mysql_def_val(const t_ftd& column)
{
  const VARTYPE type = column.vartype;
  const std::wstring text = column.default_value.to_wstring();
  tk_log_message(1, L"make_mysql_def_val(%d,%s)", static_cast<int>(type), text);
  if (text == L"to_char(sysdate,'yyyy-mm-dd hh24:mi:ss')") {
    tk_log_message(3, "Cannot set def.value as current timetsamp for varchar column");
    return {};
  }
  if (type == VT_DATE) {
    switch (column.dw_reserved) {
    case 9: tk_log_message(2, "Got NOW() def.value"); return current_timestamp(column);
    case 10: return L"CURRENT_DATE()";
    case 11: return L"CURRENT_TIME()";
    default: break;
    }
  }
  // An empty text is a default of its own (NOT NULL DEFAULT ''); no default
  // at all is no value.
  if (type == VT_BSTR && (!text.empty() || column.default_value.get_type() == VT_BSTR)) {
    tk_log_message(1, L"Got BSTR def value: %s", text);
    return to_mysql_wstr(text, VT_BSTR);
  }
  if (text.empty()) {
    tk_log_message(1, "Got empty def value");
    return {};
  }
  if (equals_ignoring_ascii_case(text, L"newid()")) {
    tk_log_message(1, "newid() is not supported");
    return {};
  }
  switch (type) {
  case VT_I2: case VT_I4: case VT_BOOL: case VT_I1: case VT_UI1:
  case VT_UI2: case VT_UI4: case VT_INT: case VT_UINT: case VT_I8: case VT_UI8:
    if (!is_canonical_integer(text, type))
      return {};
    tk_log_message(1, type == VT_I8    ? "__int64 default value is correct"
                      : type == VT_UI8 ? "unsigned __int64 default value is correct"
                                       : "Int/long default value is correct");
    return text;
  case VT_R4: case VT_R8: case VT_CY: case VT_DECIMAL: {
    const std::wstring number = tk_trim(text);
    return is_real_default(number) ? number : std::wstring();
  }
  case VT_DATE: return date_default(text, column);
  default: return {};
  }
}

bool sql_is_timestamp_keyword(const std::wstring& text)
{
  static constexpr std::array<std::wstring_view, 6> keywords = {
      L"NOW()", L"sysdate", L"sysdate()", L"getdate()", L"getutcdate()", L"CURRENT_TIMESTAMP"};
  return std::any_of(keywords.begin(), keywords.end(),
                     [&](std::wstring_view keyword) { return equals_ignoring_ascii_case(text, keyword); });
}

std::wstring sql_quote_wtext(const std::wstring& text)
{
  return quoted(std::wstring_view(text));
}
