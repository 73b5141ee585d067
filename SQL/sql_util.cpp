// Column types and cell values of the MySQL engine. A cell becomes a value without
// any allocation of its own except the value's text or byte array; the rules are
// the same whether a row is read by its table's schema or by its result's fields.
#include "SQL/sql_util.h"

#include "SQL/sql_engi.h"
#include "TK/tk_codepage.h"
#include "TK/tk_log.h"
#include "platform/text_codec.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <cwctype>
#include <string>
#include <vector>

namespace {

// The VARTYPE of a cell of a column known only by its type and flags: what the
// column descriptor gets, short of the BIT width.
VARTYPE cell_vartype(int type, int flags)
{
  VARTYPE vt = get_vartype(type, flags);
  const bool binary = (flags & BINARY_FLAG) != 0;
  if ((type == MYSQL_TYPE_STRING || type == MYSQL_TYPE_GEOMETRY) && binary)
    vt = ole_variant::vt_byte_array;
  if (sql_is_byte_array(vt) && (sql_blob_to_text() || !binary)) {
    tk_log_message(2, "Change type from BLOB to TEXT");
    vt = VT_BSTR;
  }
  return vt;
}

std::string_view up_to_nul(std::string_view text)
{
  return text.substr(0, text.find('\0'));
}

std::wstring_view up_to_nul(std::wstring_view text)
{
  return text.substr(0, text.find(L'\0'));
}

// Integers a double holds exactly.
constexpr std::uint64_t exact_integer_limit = std::uint64_t{1} << 53;

// "0000-00-00" with an optional time of zeros (" 00:00:00[.000000]"): the server's
// "no date".
bool is_zero_date(std::string_view text)
{
  if (text.substr(0, 10) != "0000-00-00")
    return false;
  return std::all_of(text.begin() + 10, text.end(),
                     [](char c) { return c == '0' || c == ' ' || c == ':' || c == '.'; });
}

// "YYYY-MM-DD..." whose month or day is zero: a date the server's lax modes
// accept and no calendar holds.
bool has_zero_date_part(std::string_view text)
{
  if (text.size() < 10 || text[4] != '-' || text[7] != '-')
    return false;
  for (const std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u})
    if (text[i] < '0' || text[i] > '9')
      return false;
  return text.substr(5, 2) == "00" || text.substr(8, 2) == "00";
}

// A decimal number's significant digits and where its point sits: the value is
// 0.<digits> x 10^point. Zero has no digits. Held in place: cells are many.
struct decimal_digits {
  bool negative = false;
  std::array<char, 80> digits{};  // a DECIMAL has at most 65
  std::size_t count = 0;
  long point = 0;

  std::string_view view() const { return std::string_view(digits.data(), count); }
  bool operator==(const decimal_digits& other) const
  {
    return view() == other.view() && (count == 0 || (negative == other.negative && point == other.point));
  }
};

// Reads "[-+]digits[.digits][e[-+]digits]"; false for anything else.
bool read_decimal(std::string_view text, decimal_digits& out)
{
  std::size_t i = 0;
  out = decimal_digits();
  if (i < text.size() && (text[i] == '-' || text[i] == '+'))
    out.negative = text[i++] == '-';
  bool any = false;
  bool seen_point = false;
  long point = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      any = true;
      if (out.count == 0 && c == '0') {
        if (seen_point)
          --point;
        continue;
      }
      if (out.count == out.digits.size())
        return false;
      out.digits[out.count++] = c;
      if (!seen_point)
        ++point;
    } else if (c == '.' && !seen_point) {
      seen_point = true;
    } else {
      break;
    }
  }
  if (!any)
    return false;
  if (i < text.size()) {
    if (text[i] != 'e' && text[i] != 'E')
      return false;
    ++i;
    if (i < text.size() && text[i] == '+')
      ++i;
    long exponent = 0;
    const auto [end, error] = std::from_chars(text.data() + i, text.data() + text.size(), exponent);
    if (error != std::errc() || end != text.data() + text.size())
      return false;
    point += exponent;
  }
  while (out.count > 0 && out.digits[out.count - 1] == '0')
    --out.count;
  out.point = point;
  return true;
}

// Reads a DECIMAL's text as a number and as the nearest double; false when it
// is no decimal number.
bool read_decimal(std::string_view text, double& value, decimal_digits& exact)
{
  if (!read_decimal(text, exact))
    return false;
  const char* first = text.data();
  if (!text.empty() && text[0] == '+')
    ++first;
  const auto [end, error] = std::from_chars(first, text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

// Whether the shortest text that reads back as the double has the number's digits.
bool double_keeps_digits(double value, const decimal_digits& exact)
{
  char buffer[64];
  const auto printed = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  decimal_digits shortest;
  return printed.ec == std::errc() &&
         read_decimal(std::string_view(buffer, static_cast<std::size_t>(printed.ptr - buffer)), shortest) &&
         shortest == exact;
}

// VT_I8 and VT_UI8 cells beyond what a double holds keep the server's digits.
bool is_beyond_double(std::string_view text, VARTYPE type)
{
  const char* const end = text.data() + text.size();
  if (type == VT_UI8) {
    std::uint64_t value = 0;
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end && value > exact_integer_limit;
  }
  std::int64_t value = 0;
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  return error == std::errc() && stop == end &&
         (value > static_cast<std::int64_t>(exact_integer_limit) ||
          value < -static_cast<std::int64_t>(exact_integer_limit));
}

// "[-]H:MM:SS[.f]" that is no time of day (negative, or 24 hours or more): a
// duration, which no date value can hold.
bool is_duration_text(std::string_view text)
{
  std::size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative)
    ++i;
  unsigned long hours = 0;
  const std::size_t first = i;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    if (hours < 1000000)
      hours = hours * 10 + static_cast<unsigned long>(text[i] - '0');
    ++i;
  }
  if (i == first)
    return false;
  for (int part = 0; part < 2; ++part) {
    if (i + 3 > text.size() || text[i] != ':' || text[i + 1] < '0' || text[i + 1] > '9' ||
        text[i + 2] < '0' || text[i + 2] > '9')
      return false;
    i += 3;
  }
  if (i < text.size()) {
    if (text[i] != '.')
      return false;
    for (++i; i < text.size(); ++i)
      if (text[i] < '0' || text[i] > '9')
        return false;
  }
  return negative || hours > 23;
}

void assign_bytes(ole_variant& out, const unsigned char* bytes, std::size_t count)
{
  if (count == 0) {
    // attach_binary keeps the old value for no bytes; an empty cell is an empty array.
    out.allocate_safe_array(0);
    return;
  }
  out.attach_binary(bytes, count);
}

} // namespace

bool sql_is_byte_array(VARTYPE type)
{
  return type == VT_BLOB || type == VT_BLOB_OBJECT || type == ole_variant::vt_byte_array;
}

bool sql_blob_to_text()
{
  return tk_singleton<sql_engine>::exists() && sql_engine::instance().is_blob_to_text();
}

std::size_t sql_kept_units()
{
  if (!tk_singleton<sql_engine>::exists())
    return 0;
  const std::uint32_t limit = sql_engine::instance().get_text_limit();
  // Folding CR LF into LF halves a text at most: twice the limit, and one unit
  // more so that a pair at the limit is seen whole, still yields the same cut.
  return limit == 0 ? 0 : std::size_t{limit} * 2 + 1;
}

void sql_assign_text(ole_variant& out, std::string_view utf8, std::size_t max_units)
{
  if (max_units == 0) {
    out.attach_string(utf8);
    return;
  }
  std::size_t keep = plat::utf8_prefix(utf8, max_units);
  std::size_t nuls = static_cast<std::size_t>(std::count(utf8.begin(), utf8.begin() + static_cast<std::ptrdiff_t>(keep), '\0'));
  if (nuls == 0) {
    out.attach_string(utf8.substr(0, keep));
    return;
  }
  // The NULs are dropped, so as many characters more are kept.
  while (nuls > 0 && keep < utf8.size()) {
    const std::size_t more = plat::utf8_prefix(utf8.substr(keep), nuls);
    nuls = static_cast<std::size_t>(std::count(utf8.begin() + static_cast<std::ptrdiff_t>(keep),
                                               utf8.begin() + static_cast<std::ptrdiff_t>(keep + more), '\0'));
    keep += more;
  }
  thread_local std::wstring wide;
  plat::utf8_to_wide_lenient(utf8.substr(0, keep), wide);
  std::erase(wide, L'\0');
  out.attach_wstring(wide);
  if (wide.capacity() > 65536)
    std::wstring().swap(wide);
}

void sql_assign_bits(ole_variant& out, const char* cell, unsigned long length)
{
  const std::uint64_t value = sql_bit_value(cell, length);
  if (value > exact_integer_limit)
    out.attach_string(std::to_string(value));
  else
    out = ole_variant(static_cast<unsigned long long>(value));
}

std::wstring sql_quote_name(std::wstring_view name)
{
  std::wstring quoted;
  quoted.reserve(name.size() + 2);
  quoted += L'`';
  for (const wchar_t c : name) {
    if (c == L'`')
      quoted += L'`';
    quoted += c;
  }
  quoted += L'`';
  return quoted;
}

std::wstring sql_query_statement(const std::wstring& query)
{
  std::size_t end = query.size();
  while (end > 0 && (query[end - 1] == L';' || std::iswspace(static_cast<wint_t>(query[end - 1]))))
    --end;
  return query.substr(0, end) + L"\n";
}

std::wstring sql_derived_table(const std::wstring& query, const wchar_t* alias)
{
  return L"(" + sql_query_statement(query) + L") as " + alias;
}

std::string sql_quote_literal(MYSQL* handle, std::string_view utf8)
{
  std::string escaped(utf8.size() * 2 + 1, '\0');
  const unsigned long written =
      mysql_real_escape_string(handle, escaped.data(), utf8.data(), static_cast<unsigned long>(utf8.size()));
  if (written == static_cast<unsigned long>(-1))
    throw sql_exception(handle);
  escaped.resize(written);
  return "'" + escaped + "'";
}

unsigned sql_effective_flags(const MYSQL_FIELD& field)
{
  unsigned flags = field.flags;
  if (field.charsetnr != sql_binary_charset)
    flags &= ~static_cast<unsigned>(BINARY_FLAG);
  return flags;
}

std::wstring sql_field_name(const MYSQL_FIELD& field)
{
  if (field.name == nullptr)
    return std::wstring();
  return tk_utf8_to_wstring(std::string(field.name, field.name_length));
}

VARTYPE get_vartype(int type, int flags)
{
  tk_log_message(1, "get_vartype(%d,%d)", type, flags);
  const bool is_unsigned = (flags & UNSIGNED_FLAG) != 0;
  switch (type) {
  case MYSQL_TYPE_DECIMAL:
  case MYSQL_TYPE_NEWDECIMAL:
    return VT_DECIMAL;
  case MYSQL_TYPE_TINY:
    return is_unsigned ? VT_UI1 : VT_I1;
  case MYSQL_TYPE_SHORT:
    return is_unsigned ? VT_UI2 : VT_I2;
  case MYSQL_TYPE_LONG:
    return is_unsigned ? VT_UI4 : VT_I4;
  case MYSQL_TYPE_INT24:
    return VT_I4;
  case MYSQL_TYPE_LONGLONG:
    return is_unsigned ? VT_UI8 : VT_I8;
  case MYSQL_TYPE_FLOAT:
    return VT_R4;
  case MYSQL_TYPE_DOUBLE:
    return VT_R8;
  case MYSQL_TYPE_TIMESTAMP:
  case MYSQL_TYPE_DATE:
  case MYSQL_TYPE_TIME:
  case MYSQL_TYPE_DATETIME:
    return VT_DATE;
  case MYSQL_TYPE_YEAR:
    return VT_UI2;
  case MYSQL_TYPE_BIT:
    return VT_BOOL;
  case MYSQL_TYPE_TINY_BLOB:
  case MYSQL_TYPE_MEDIUM_BLOB:
  case MYSQL_TYPE_LONG_BLOB:
  case MYSQL_TYPE_BLOB: {
    const bool blob_to_text = sql_blob_to_text();
    tk_log_message(1, "Processing BLOB, blob_to_text=%d", int(blob_to_text));
    return blob_to_text ? VT_BSTR : ole_variant::vt_byte_array;
  }
  case MYSQL_TYPE_VAR_STRING:
    return (flags & BINARY_FLAG) != 0 ? ole_variant::vt_byte_array : VT_BSTR;
  default:
    return VT_BSTR;
  }
}

VARTYPE sql_column_vartype(const MYSQL_FIELD& field)
{
  const int type = static_cast<int>(field.type);
  if (type == MYSQL_TYPE_BIT && field.length > 1)
    return VT_UI8;
  return cell_vartype(type, static_cast<int>(sql_effective_flags(field)));
}

std::uint64_t sql_bit_value(const char* cell, unsigned long length)
{
  std::uint64_t value = 0;
  for (unsigned long i = 0; i < length; ++i)
    value = (value << 8) | static_cast<unsigned char>(cell[i]);
  return value;
}

void sql_assign_typed(ole_variant& out, VARTYPE type, std::string_view text, sql_cells cells)
{
  if (type == VT_BSTR) {
    sql_assign_text(out, text, 0);
    return;
  }
  text = up_to_nul(text);
  switch (type) {
  case VT_BOOL:
    out = ole_variant(!text.empty() && text[0] != '\0');
    return;
  case VT_DATE:
    if (is_zero_date(text)) {
      if (cells == sql_cells::as_held)
        out.attach_string(text);
      else
        out = ole_variant();
      return;
    }
    if (is_duration_text(text) || has_zero_date_part(text)) {
      out.attach_string(text);
      return;
    }
    out = ole_variant::from_string(text, type);
    // A date no calendar holds (30 February) is shown as the server wrote it.
    if (out.get_type() == VT_EMPTY && !text.empty())
      out.attach_string(text);
    return;
  case VT_I8:
  case VT_UI8:
    if (is_beyond_double(text, type)) {
      out.attach_string(text);
      return;
    }
    break;
  case VT_DECIMAL: {
    double value = 0;
    decimal_digits exact;
    if (!read_decimal(text, value, exact))
      break;
    if (!double_keeps_digits(value, exact)) {
      out.attach_string(text);
      return;
    }
    // Digits the decimal type cannot hold (scale above 28) go through the double.
    const long fraction = static_cast<long>(exact.count) - exact.point;
    if (fraction > 28 || exact.point > 28) {
      out = ole_variant(value);
      return;
    }
    break;
  }
  default:
    break;
  }
  out = ole_variant::from_string(text, type);
}

ole_variant get_variant(VARTYPE type, const char* cell)
{
  tk_log_message(1, "get_variant(char)");
  ole_variant value;
  if (cell == nullptr)
    return value;
  tk_log_message(1, "Type=%d, src=%s", type, cell);
  if (type == VT_BOOL) {
    value = ole_variant(cell[0] != '\0');
    return value;
  }
  sql_assign_typed(value, type, std::string_view(cell));
  return value;
}

ole_variant get_variant(VARTYPE type, const wchar_t* cell)
{
  tk_log_message(1, "get_variant(wchar_t)");
  ole_variant value;
  if (cell == nullptr)
    return value;
  tk_log_message(1, L"Type=%d, src=%s", type, cell);
  if (type == VT_BOOL) {
    value = ole_variant(cell[0] != L'\0');
    return value;
  }
  if (type == VT_BSTR) {
    value.attach_wstring(std::wstring_view(cell));
    return value;
  }
  sql_assign_typed(value, type, tk_wstring_to_utf8(cell));
  return value;
}

ole_variant get_variant(int type, unsigned long length, int flags, const char* cell)
{
  tk_log_message(1, "get_variant(char)");
  tk_log_message(1, "get_variant(2), type=%d, lenght=%d", type, length);
  ole_variant value;
  if (cell == nullptr) {
    tk_log_message(1, "process NULL-values");
    return value;
  }
  const VARTYPE vt = cell_vartype(type, flags);
  const auto* bytes = reinterpret_cast<const unsigned char*>(cell);
  if (sql_is_byte_array(vt)) {
    tk_log_message(1, "Extract BINARY value");
    assign_bytes(value, bytes, length);
  } else if (type == MYSQL_TYPE_BIT && length > 1) {
    sql_assign_bits(value, cell, length);
  } else if (vt == VT_BOOL) {
    value = ole_variant(length > 0 && cell[0] != '\0');
  } else {
    sql_assign_typed(value, vt, std::string_view(cell, length));
  }
  return value;
}

ole_variant get_variant(int type, unsigned long length, int flags, const wchar_t* cell)
{
  tk_log_message(1, "get_variant(wchar_t)");
  tk_log_message(1, "get_variant(2), type=%d, lenght=%d", type, length);
  ole_variant value;
  if (cell == nullptr) {
    tk_log_message(1, "process NULL-values");
    return value;
  }
  // `length` counts the UTF-8 bytes the text came from; the wide text is shorter.
  const std::wstring_view text(cell, std::min<std::size_t>(length, std::wcslen(cell)));
  const VARTYPE vt = cell_vartype(type, flags);
  if (sql_is_byte_array(vt)) {
    tk_log_message(1, "Process TEXT as BINARY");
    std::vector<unsigned char> bytes(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
      bytes[i] = static_cast<unsigned char>(text[i] & 0xFF);
    assign_bytes(value, bytes.data(), bytes.size());
  } else if (vt == VT_BSTR) {
    tk_log_message(1, "Extract TEXT value");
    value.attach_wstring(up_to_nul(std::wstring_view(cell)));
  } else if (vt == VT_BOOL) {
    value = ole_variant(!text.empty() && text[0] != L'\0');
  } else {
    sql_assign_typed(value, vt, tk_wstring_to_utf8(std::wstring(up_to_nul(text))));
  }
  return value;
}
