// Column types for CREATE TABLE. Dates whose default means "now" become TIMESTAMP
// by the same keyword list that makes their DEFAULT CURRENT_TIMESTAMP, so a column
// never gets a default its type cannot hold; a text's type follows the bytes its
// character set gives a character.
#include "SQL/write/sql_types.h"

#include "SQL/write/sql_literals.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "platform/case_fold.h"
#include "base/format.h"

#include <algorithm>
#include <array>
#include <map>

std::uint32_t sql_bytes_per_char(std::wstring_view charset)
{
  static constexpr std::pair<std::wstring_view, std::uint32_t> known[] = {
      {L"utf8mb4", 4}, {L"utf16", 4},  {L"utf16le", 4}, {L"utf32", 4}, {L"gb18030", 4},
      {L"utf8", 3},    {L"utf8mb3", 3}, {L"ujis", 3},   {L"eucjpms", 3},
      {L"ucs2", 2},    {L"big5", 2},   {L"gbk", 2},     {L"sjis", 2},  {L"cp932", 2},
      {L"euckr", 2},   {L"gb2312", 2},
      {L"latin1", 1},  {L"latin2", 1}, {L"latin5", 1},  {L"latin7", 1}, {L"ascii", 1},
      {L"cp1250", 1},  {L"cp1251", 1}, {L"cp1256", 1},  {L"cp1257", 1}, {L"cp850", 1},
      {L"cp852", 1},   {L"cp866", 1},  {L"dec8", 1},    {L"greek", 1}, {L"hebrew", 1},
      {L"hp8", 1},     {L"keybcs2", 1}, {L"koi8r", 1},  {L"koi8u", 1}, {L"macce", 1},
      {L"macroman", 1}, {L"swe7", 1},  {L"tis620", 1},  {L"armscii8", 1}, {L"geostd8", 1},
      {L"binary", 1}};
  for (const auto& [name, bytes] : known)
    if (plat::equal_no_case(name, charset))
      return bytes;
  return 4;
}

std::uint32_t sql_max_varchar_chars(std::uint32_t bytes_per_char)
{
  return (65535 - 2) / std::max<std::uint32_t>(bytes_per_char, 1);
}

std::uint32_t sql_max_mediumtext_chars(std::uint32_t bytes_per_char)
{
  return 16777215 / std::max<std::uint32_t>(bytes_per_char, 1);
}

const std::wstring& get_native_type_name(int id)
{
  static const std::map<int, std::wstring> names = [] {
    static constexpr std::array<const wchar_t*, 28> table = {
        L"BINARY",        L"BIT",        L"TINYINT",    L"TINYINT UNSIGNED", L"SMALLINT",
        L"SMALLINT UNSIGNED", L"INT",    L"INT UNSIGNED", L"BIGINT",        L"BIGINT UNSIGNED",
        L"FLOAT",         L"DECIMAL",    L"DOUBLE",     L"CHAR",             L"VARBINARY",
        L"VARCHAR",       L"DATETIME",   L"DATE",       L"TIME",             L"TIMESTAMP",
        L"LONGBLOB",      L"TINYBLOB",   L"BLOB",       L"MEDIUMBLOB",       L"TEXT",
        L"LONGTEXT",      L"MEDIUMTEXT", L"TINYTEXT"};
    std::map<int, std::wstring> m;
    for (std::size_t i = 0; i < table.size(); ++i)
      m.emplace(static_cast<int>(i), table[i]);
    return m;
  }();
  static const std::wstring unknown = L"<Unknown type>";
  const auto it = names.find(id);
  if (it != names.end())
    return it->second;
  tk_log_message(1, "Type %d wasn't found", id);
  return unknown;
}

namespace {

// "(n)" of a date, time or timestamp with fractional seconds.
std::wstring fraction(const t_ftd& column, bool fractional_seconds)
{
  if (!fractional_seconds || column.scale == 0)
    return {};
  return base::sprintf(L"(%d)", std::min<std::uint32_t>(column.scale, sql_max_fractional_digits));
}

std::wstring date_type(const t_ftd& column, bool fractional_seconds)
{
  const std::wstring def = column.default_value.to_wstring();
  tk_log_message(1, L"Got date def.value: '%s'", def);
  const std::wstring digits = fraction(column, fractional_seconds);
  if (column.dw_reserved == sql_date_now || sql_is_timestamp_keyword(def)) {
    tk_log_message(2, "Customize date type due to NOW() def.value");
    return L"TIMESTAMP" + digits;
  }
  if (column.dw_reserved == sql_date_today || plat::equal_no_case(def, L"date()")) {
    tk_log_message(2, "Customize date type due to date() def.value");
    return L"DATE";
  }
  switch (column.dw_reserved & 3U) {
  case sql_date_as_text:
    // "yyyy-mm-dd hh:mm:ss", and the point and digits of its fraction
    return column.scale == 0 ? L"CHAR(19)" : base::sprintf(L"CHAR(%d)", 20 + std::min<std::uint32_t>(column.scale, sql_max_fractional_digits));
  case sql_date_time:
    return L"DATETIME" + digits;
  case sql_date_only:
    tk_log_message(2, "Got pure date");
    return L"DATE";
  default:
    return L"TIME" + digits;
  }
}

std::wstring text_type(const t_ftd& column, std::uint32_t bytes_per_char)
{
  tk_log_message(1, "process as text");
  const std::uint32_t n = column.size;
  if (column.dw_reserved == sql_text_geometry || column.dw_reserved == sql_text_geometry2) {
    tk_log_message(2, "process VT_BSTR as geometry");
    return L"geometry";
  }
  if (column.dw_reserved == sql_text_fixed) {
    tk_log_message(2, "process VT_BSTR as fixed width CHAR");
    return base::sprintf(L"CHAR(%d)", n);
  }
  if (n == 0 || n > sql_max_mediumtext_chars(bytes_per_char))
    return L"LONGTEXT";
  if (n > sql_max_varchar_chars(bytes_per_char)) {
    tk_log_message(2, "case insensitive MEDIUMTEXT");
    return L"MEDIUMTEXT";
  }
  tk_log_message(2, "case insensitive VARCHAR");
  return base::sprintf(L"VARCHAR(%d)", n);
}

std::wstring binary_type(const t_ftd& column)
{
  tk_log_message(1, "process as blob");
  const std::uint32_t n = column.size;
  if (n == 0 || n > sql_max_mediumblob)
    return L"LONGBLOB";
  if (n > sql_max_blob)
    return L"MEDIUMBLOB";
  if (n > sql_max_varbinary)
    return L"BLOB";
  return base::sprintf(L"VARBINARY(%d)", n);
}

} // namespace

std::wstring get_sql_native_type2(const t_ftd& column, std::uint32_t bytes_per_char, bool fractional_seconds)
{
  tk_log_message(1, L"get_sql_native_type2: %s(%d,%d,%d)", column.name, column.vartype,
                 column.size, column.dw_reserved);
  switch (column.vartype) {
  case VT_I1:
    return L"TINYINT";
  case VT_UI1:
    return L"TINYINT UNSIGNED";
  case VT_I2:
    return L"SMALLINT";
  case VT_UI2:
    return L"SMALLINT UNSIGNED";
  case VT_I4:
  case VT_INT:
    return L"INT";
  case VT_UI4:
  case VT_UINT:
    return L"INT UNSIGNED";
  case VT_I8:
    return L"BIGINT";
  case VT_UI8:
    return L"BIGINT UNSIGNED";
  case VT_R4:
    return L"FLOAT";
  case VT_R8:
    return L"DOUBLE";
  case VT_BOOL:
    return L"TINYINT(1)";
  case VT_CY:
    return L"DECIMAL(19,4)";
  case VT_DECIMAL:
    tk_log_message(1, "Scale/precision for decimal column: (%d, %d)", column.scale,
                   column.precision);
    if (column.precision == 0)
      return L"DOUBLE";
    return base::sprintf(L"DECIMAL(%d,%d)", column.precision, column.scale);
  case VT_DATE:
    return date_type(column, fractional_seconds);
  case VT_BSTR:
    return text_type(column, bytes_per_char);
  case VT_BLOB:
  case VT_ARRAY | VT_UI1:
    return binary_type(column);
  default:
    throw tk_mail_assertion("sql_util", 604);
  }
}

sql_schema::sql_schema(std::uint32_t max_varchar) : udb_schema(true), max_varchar_(max_varchar)
{
  tk_log_message(2, "sql_schema::ctor");
}

// Only a VARCHAR can give way to LONGTEXT: a fixed-width CHAR of size 0 would
// keep nothing of its values, and geometry ignores the size.
bool sql_schema::is_varchar(const t_ftd& column) const
{
  return column.vartype == VT_BSTR && column.size >= 1 && column.size <= max_varchar_ &&
         column.dw_reserved != sql_text_fixed && column.dw_reserved != sql_text_geometry &&
         column.dw_reserved != sql_text_geometry2;
}

// TEXT and BLOB values live outside the row; the row holds their length and a
// pointer. Counting their whole size would turn the table's short texts into
// LONGTEXT for nothing, and with them drop every index that holds one.
bool sql_schema::is_stored_off_row(const t_ftd& column) const
{
  if (column.vartype == VT_BSTR)
    return column.dw_reserved != sql_text_fixed && (column.size == 0 || column.size > max_varchar_);
  if (column.vartype == VT_BLOB || column.vartype == (VT_ARRAY | VT_UI1))
    return column.size == 0 || column.size > sql_max_varbinary;
  return false;
}

void sql_schema::push_back(descriptor column)
{
  if (!column)
    throw tk_mail_assertion("sql_sch", 24);
  tk_log_message(2, L"sql_schema::push_back(%s, size=%d)", column->name, column->size);
  const auto position = static_cast<std::uint32_t>(size());
  if (is_varchar(*column)) {
    tk_log_message(2, "Special processing for string values");
    auto at = lobs_.begin();
    while (at != lobs_.end() && (*this)[*at]->size > column->size)
      ++at;
    tk_log_message(2, "Insert new column into 'lobs' at pos=%d", at - lobs_.begin());
    lobs_.insert(at, position);
    total_size_ += 4ULL * column->size;
  } else if (is_stored_off_row(*column)) {
    total_size_ += sql_off_row_bytes;
  } else if (column->size < sql_max_mediumtext) {
    total_size_ += column->size;
  }
  udb_schema::push_back(std::move(column));

  if (total_size_ < sql_row_budget)
    return;
  tk_log_message(2, "Schema total size %d exceeds %d bytes, transforming schema...", total_size_,
                 65535);
  while (total_size_ >= sql_row_budget && !lobs_.empty()) {
    t_ftd& largest = *(*this)[lobs_.front()];
    tk_log_message(3, L"Column '%s' converted into LONG TEXT", largest.name);
    const std::uint64_t freed = 4ULL * largest.size;
    tk_log_message(2, "Decreasing total size at %d bytes", freed);
    total_size_ = total_size_ > freed ? total_size_ - freed : 0;
    tk_log_message(2, "New total_size = %d", total_size_);
    largest.size = 0;
    lobs_.erase(lobs_.begin());
  }
}
