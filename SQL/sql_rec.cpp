// Row plans, cell values and rows of the MySQL engine. A cell is read by the kind
// its column's plan decided; refilling a row replaces values inside the fields it
// already has, which keep their names.
#include "SQL/sql_rec.h"

#include "SQL/sql_engi.h"
#include "SQL/sql_util.h"
#include "TK/tk_codepage.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "platform/text_codec.h"

#include <algorithm>
#include <atomic>
#include <limits>

namespace {

std::uint64_t next_plan_id()
{
  static std::atomic<std::uint64_t> last{0};
  return ++last;
}

sql_column::kind kind_of(VARTYPE vartype, int type)
{
  if (sql_is_byte_array(vartype))
    return sql_column::kind::bytes;
  if (vartype == VT_BSTR)
    return sql_column::kind::text;
  if (type == MYSQL_TYPE_BIT && vartype == VT_UI8)
    return sql_column::kind::bits;
  if (vartype == VT_BOOL)
    return sql_column::kind::boolean;
  return sql_column::kind::typed;
}

ole_variant typed_value(VARTYPE type, const char* cell, unsigned long length)
{
  ole_variant value;
  if (cell != nullptr)
    sql_assign_typed(value, type, std::string_view(cell, length));
  return value;
}

std::uint32_t size_of(unsigned long length)
{
  return static_cast<std::uint32_t>(
      std::min<unsigned long>(length, std::numeric_limits<std::uint32_t>::max()));
}

} // namespace

sql_row_plan::sql_row_plan(unsigned count, const MYSQL_FIELD* fields, std::size_t kept)
    : id_(next_plan_id())
{
  if (fields == nullptr)
    throw tk_mail_assertion("sql_rec", 20);
  columns_.reserve(count);
  for (unsigned i = 0; i < count; ++i) {
    sql_column& column = columns_.emplace_back();
    column.name = sql_field_name(fields[i]);
    column.type = static_cast<int>(fields[i].type);
    column.vartype = sql_column_vartype(fields[i]);
    column.how = kind_of(column.vartype, column.type);
    column.kept_units = kept;
  }
}

sql_row_plan::sql_row_plan(const udb_schema& schema, unsigned count, const MYSQL_FIELD* fields,
                           std::size_t kept)
    : id_(next_plan_id())
{
  if (fields == nullptr)
    throw tk_mail_assertion("sql_rec", 20);
  columns_.reserve(count);
  for (unsigned i = 0; i < count; ++i) {
    sql_column& column = columns_.emplace_back();
    column.type = static_cast<int>(fields[i].type);
    if (i < schema.size()) {
      column.name = schema[i]->name;
      column.vartype = schema[i]->vartype;
    } else {
      column.name = sql_field_name(fields[i]);
      column.vartype = sql_column_vartype(fields[i]);
    }
    column.how = kind_of(column.vartype, column.type);
    column.kept_units = kept;
  }
}

sql_field::sql_field(const std::wstring& name, int type, unsigned long length, int flags,
                     const char* cell)
    : udb_field(name, size_of(length), ::get_variant(type, length, flags, cell), false, false)
{
  tk_log_message(1, L"sql_field::ctor2(%s,%d,%d)", name, type, length);
}

sql_field::sql_field(const std::wstring& name, int type, unsigned long length, int flags,
                     const wchar_t* cell)
    : udb_field(name, size_of(length), ::get_variant(type, length, flags, cell), false, false)
{
  tk_log_message(1, L"sql_field::ctor1(%s,%d,%d)", name, type, length);
}

sql_field::sql_field(const t_ftd& descriptor, unsigned long length, const char* cell)
    : udb_field(descriptor.name, size_of(length),
                sql_is_byte_array(descriptor.vartype)
                    ? ::get_variant(MYSQL_TYPE_BLOB, length, BINARY_FLAG, cell)
                    : typed_value(descriptor.vartype, cell, length),
                false, false)
{
  tk_log_message(1, L"sql_field::ctor3(%s,%d,%d)", descriptor.name, descriptor.vartype, length);
}

sql_field::sql_field(const sql_column& column, const char* cell, unsigned long length)
    : udb_field(column.name, 0, ole_variant(), false, false)
{
  assign(column, cell, length);
}

void sql_field::assign(const sql_column& column, const char* cell, unsigned long length)
{
  size_ = size_of(length);
  if (cell == nullptr) {
    ole_variant::operator=(ole_variant());
    return;
  }
  switch (column.how) {
  case sql_column::kind::text:
    sql_assign_text(*this, std::string_view(cell, length), column.kept_units);
    break;
  case sql_column::kind::bytes:
    if (length == 0)
      allocate_safe_array(0);
    else
      attach_binary(reinterpret_cast<const unsigned char*>(cell),
                    column.kept_units == 0 ? length : std::min<std::size_t>(length, column.kept_units));
    break;
  case sql_column::kind::boolean:
    ole_variant::operator=(ole_variant(length > 0 && cell[0] != '\0'));
    break;
  case sql_column::kind::bits:
    sql_assign_bits(*this, cell, length);
    break;
  case sql_column::kind::typed:
    sql_assign_typed(*this, column.vartype, std::string_view(cell, length),
                     column.kept_units == 0 ? sql_cells::as_held : sql_cells::for_workbook);
    break;
  }
}

sql_record::sql_record(unsigned count, const udb_schema& schema, const unsigned long* lengths,
                       MYSQL_ROW row)
{
  tk_log_message(1, "sql_record::ctor2(n_fields=%d)", count);
  tk_log_message(1, "schema.size=%d", schema.size());
  const std::size_t n = std::min<std::size_t>(count, schema.size());
  reserve(n);
  for (std::size_t i = 0; i < n; ++i)
    emplace_back<sql_field>(*schema[i], lengths[i], row[i]);
}

sql_record::sql_record(unsigned count, const MYSQL_FIELD* fields, const unsigned long* lengths,
                       MYSQL_ROW row)
{
  const bool to_text = sql_blob_to_text();
  tk_log_message(1, "sql_record::ctor1(n_fields=%d)", count);
  tk_log_message(1, "is_blob_to_text=%d", int(to_text));
  if (fields == nullptr)
    throw tk_mail_assertion("sql_rec", 20);
  reserve(count);
  for (unsigned i = 0; i < count; ++i) {
    const int type = static_cast<int>(fields[i].type);
    const int flags = static_cast<int>(sql_effective_flags(fields[i]));
    tk_log_message(1, "field #%d has type %d", i, type);
    tk_log_message(1, "BINARY FLAG=%d", flags & BINARY_FLAG);
    const std::wstring name = sql_field_name(fields[i]);
    if (row[i] != nullptr && type >= MYSQL_TYPE_TINY_BLOB && type <= MYSQL_TYPE_STRING &&
        ((flags & BINARY_FLAG) == 0 || to_text)) {
      tk_log_message(1, "Extract as Unicode (text data)");
      tk_log_message(1, "a_src[idx]=%s", row[i]);
      std::wstring text;
      plat::utf8_to_wide_lenient(std::string_view(row[i], lengths[i]), text);
      // The text goes on as a C string: its NULs are dropped, not the rest.
      std::erase(text, L'\0');
      emplace_back<sql_field>(name, to_text ? MYSQL_TYPE_STRING : type, lengths[i], flags,
                              text.c_str());
    } else {
      tk_log_message(1, "Extract as ANSI (binary data)");
      emplace_back<sql_field>(name, type, lengths[i], flags, row[i]);
    }
  }
}

sql_record::sql_record(const sql_row_plan& plan, const unsigned long* lengths, MYSQL_ROW row)
    : plan_id_(plan.get_id())
{
  reserve(plan.size());
  for (std::size_t i = 0; i < plan.size(); ++i)
    emplace_back<sql_field>(plan[i], row[i], lengths[i]);
}

bool sql_record::refill(const sql_row_plan& plan, const unsigned long* lengths, MYSQL_ROW row)
{
  if (plan_id_ != plan.get_id() || size() != plan.size())
    return false;
  for (std::size_t i = 0; i < plan.size(); ++i)
    static_cast<sql_field*>((*this)[i])->assign(plan[i], row[i], lengths[i]);
  return true;
}
