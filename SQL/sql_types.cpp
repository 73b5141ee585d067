// Column types for CREATE TABLE. Dates whose default means "now" become TIMESTAMP
// by the same keyword list that makes their DEFAULT CURRENT_TIMESTAMP, so a column
// never gets a default its type cannot hold.
#include "SQL/sql_types.h"

#include "SQL/sql_literals.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "platform/case_fold.h"
#include "platform/format.h"

#include <array>
#include <map>

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

std::wstring date_type(const t_ftd& column)
{
  const std::wstring def = column.default_value.to_wstring();
  tk_log_message(1, L"Got date def.value: '%s'", def);
  if (column.dw_reserved == sql_date_now || sql_is_timestamp_keyword(def)) {
    tk_log_message(2, "Customize date type due to NOW() def.value");
    return L"TIMESTAMP";
  }
  if (column.dw_reserved == sql_date_today || plat::equal_no_case(def, L"date()")) {
    tk_log_message(2, "Customize date type due to date() def.value");
    return L"DATE";
  }
  switch (column.dw_reserved & 3U) {
  case sql_date_as_text:
    return L"CHAR(19)";  // "yyyy-mm-dd hh:mm:ss"
  case sql_date_time:
    return L"DATETIME";
  case sql_date_only:
    tk_log_message(2, "Got pure date");
    return L"DATE";
  default:
    return L"TIME";
  }
}

std::wstring text_type(const t_ftd& column)
{
  tk_log_message(1, "process as text");
  const std::uint32_t n = column.size;
  if (column.dw_reserved == sql_text_geometry || column.dw_reserved == sql_text_geometry2) {
    tk_log_message(2, "process VT_BSTR as geometry");
    return L"geometry";
  }
  if (column.dw_reserved == sql_text_fixed) {
    tk_log_message(2, "process VT_BSTR as fixed width CHAR");
    return plat::sprintf(L"CHAR(%d)", n);
  }
  if (n == 0 || n > sql_max_mediumtext)
    return L"LONGTEXT";
  if (n > sql_max_varchar) {
    tk_log_message(2, "case insensitive MEDIUMTEXT");
    return L"MEDIUMTEXT";
  }
  tk_log_message(2, "case insensitive VARCHAR");
  return plat::sprintf(L"VARCHAR(%d)", n);
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
  return plat::sprintf(L"VARBINARY(%d)", n);
}

// Only a VARCHAR can give way to LONGTEXT: a fixed-width CHAR of size 0 would
// keep nothing of its values, and geometry ignores the size.
bool is_varchar(const t_ftd& column)
{
  return column.vartype == VT_BSTR && column.size >= 1 && column.size <= sql_max_varchar &&
         column.dw_reserved != sql_text_fixed && column.dw_reserved != sql_text_geometry &&
         column.dw_reserved != sql_text_geometry2;
}

// TEXT and BLOB values live outside the row; the row holds their length and a
// pointer. Counting their whole size would turn the table's short texts into
// LONGTEXT for nothing, and with them drop every index that holds one.
bool is_stored_off_row(const t_ftd& column)
{
  if (column.vartype == VT_BSTR)
    return column.dw_reserved != sql_text_fixed &&
           (column.size == 0 || column.size > sql_max_varchar);
  if (column.vartype == VT_BLOB || column.vartype == (VT_ARRAY | VT_UI1))
    return column.size == 0 || column.size > sql_max_varbinary;
  return false;
}

} // namespace

std::wstring get_sql_native_type2(const t_ftd& column)
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
    return plat::sprintf(L"DECIMAL(%d,%d)", column.precision, column.scale);
  case VT_DATE:
    return date_type(column);
  case VT_BSTR:
    return text_type(column);
  case VT_BLOB:
  case VT_ARRAY | VT_UI1:
    return binary_type(column);
  default:
    throw tk_mail_assertion("sql_util", 604);
  }
}

sql_schema::sql_schema() : udb_schema(true)
{
  tk_log_message(2, "sql_schema::ctor");
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
