// Column types and cell values of the MySQL engine. A cell becomes a value without
// any allocation of its own except the value's text or byte array; the rules are
// the same whether a row is read by its table's schema or by its result's fields.
#include "SQL/sql_util.h"

#include "SQL/sql_engi.h"
#include "TK/tk_codepage.h"
#include "TK/tk_log.h"

#include <algorithm>
#include <cstring>
#include <cwctype>
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

bool starts_with_zero_date(std::string_view text)
{
  return text.substr(0, 10) == "0000-00-00";
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

std::wstring sql_derived_table(const std::wstring& query, const wchar_t* alias)
{
  std::size_t end = query.size();
  while (end > 0 && (query[end - 1] == L';' || std::iswspace(static_cast<wint_t>(query[end - 1]))))
    --end;
  std::wstring text = L"(";
  text.append(query, 0, end);
  text += L"\n) as ";
  text += alias;
  return text;
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

void sql_assign_typed(ole_variant& out, VARTYPE type, std::string_view text)
{
  text = up_to_nul(text);
  switch (type) {
  case VT_BSTR:
    out.attach_string(text);
    return;
  case VT_BOOL:
    out = ole_variant(!text.empty() && text[0] != '\0');
    return;
  case VT_DATE:
    if (starts_with_zero_date(text)) {
      out = ole_variant();
      return;
    }
    if (is_duration_text(text)) {
      out.attach_string(text);
      return;
    }
    break;
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
    value = ole_variant(static_cast<unsigned long long>(sql_bit_value(cell, length)));
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
