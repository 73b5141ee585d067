// The MySQL source table: column descriptors refined from SHOW COLUMNS, indexes
// from SHOW INDEX and foreign keys from the server's catalogue
// (information_schema), never from the text of a CREATE TABLE. Each listing is
// read to its end before the next statement goes out on the shared connection.
#include "SQL/sql_tab.h"

#include "OLE/ole_misc.h"
#include "SQL/sql_db.h"
#include "SQL/sql_engi.h"
#include "SQL/sql_sub_types.h"
#include "SQL/sql_util.h"
#include "TK/tk_codepage.h"
#include "TK/tk_log.h"
#include "TK/tk_string.h"
#include "UDB/udb_field.h"
#include "platform/case_fold.h"
#include "platform/text_codec.h"

#include <cwctype>

namespace {

// "<prefix>n)" or "<prefix>n,m)" at the start of a type text; numbers read as
// scanf's %d would read them.
bool read_numbers(const std::wstring& text, const wchar_t* prefix, int count, int* out)
{
  const std::wstring_view head(prefix);
  if (text.compare(0, head.size(), head) != 0)
    return false;
  std::size_t pos = head.size();
  for (int i = 0; i < count; ++i) {
    if (i > 0) {
      if (pos >= text.size() || text[pos] != L',')
        return false;
      ++pos;
    }
    const std::size_t first = pos;
    long value = 0;
    while (pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9') {
      if (value < 1000000)
        value = value * 10 + (text[pos] - L'0');
      ++pos;
    }
    if (pos == first)
      return false;
    out[i] = static_cast<int>(value);
  }
  return true;
}

bool ends_with(const std::wstring& text, const std::wstring& suffix)
{
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool is_zero_date(const std::wstring& text)
{
  return text.empty() || text == L"0000-00-00" || text == L"0000-00-00 00:00:00" ||
         text == L"00000000000000";
}

// CURRENT_TIMESTAMP in any case, also as MariaDB writes it: current_timestamp()
// or current_timestamp(6).
bool is_current_timestamp(const std::wstring& text)
{
  const std::wstring_view keyword = L"current_timestamp";
  if (text.size() < keyword.size() ||
      !plat::equal_no_case(std::wstring_view(text).substr(0, keyword.size()), keyword))
    return false;
  std::wstring_view rest = std::wstring_view(text).substr(keyword.size());
  if (rest.empty())
    return true;
  if (rest.front() != L'(' || rest.back() != L')')
    return false;
  for (const wchar_t c : rest.substr(1, rest.size() - 2))
    if (c < L'0' || c > L'9')
      return false;
  return true;
}

// A BIT default as the server shows it, b'0101'.
bool read_bit_literal(const std::wstring& text, std::uint64_t& value)
{
  if (text.size() < 3 || (text[0] != L'b' && text[0] != L'B') || text[1] != L'\'' || text.back() != L'\'')
    return false;
  value = 0;
  for (std::size_t i = 2; i + 1 < text.size(); ++i) {
    if (text[i] != L'0' && text[i] != L'1')
      return false;
    value = (value << 1) | static_cast<std::uint64_t>(text[i] - L'0');
  }
  return true;
}

// A number as the server writes a numeric default; anything else is an expression.
bool is_plain_number(const std::wstring& text)
{
  std::size_t i = 0;
  if (i < text.size() && (text[i] == L'-' || text[i] == L'+'))
    ++i;
  std::size_t digits = 0;
  for (; i < text.size() && std::iswdigit(static_cast<wint_t>(text[i])); ++i)
    ++digits;
  if (i < text.size() && text[i] == L'.')
    for (++i; i < text.size() && std::iswdigit(static_cast<wint_t>(text[i])); ++i)
      ++digits;
  if (digits > 0 && i < text.size() && (text[i] == L'e' || text[i] == L'E')) {
    ++i;
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+'))
      ++i;
    if (i == text.size())
      return false;
    while (i < text.size() && std::iswdigit(static_cast<wint_t>(text[i])))
      ++i;
  }
  return digits > 0 && i == text.size();
}

std::wstring text_of(const udb_field& field)
{
  return field.get_type() == VT_EMPTY ? std::wstring() : field.to_wstring();
}

} // namespace

sql_table::sql_table(sql_database* owner, const std::wstring& name, udb_relationships* relationships,
                     std::uint32_t mode)
    : sql_recordset(owner, name, relationships)
{
  tk_log_message(2, "sql_table::ctor");
  initialize(mode);
}

sql_table::~sql_table()
{
  tk_log_message(2, "sql_table::dtor");
}

void sql_table::initialize(std::uint32_t mode)
{
  tk_log_message(2, "sql_table::initialize(%d)", mode);
  refine_columns();
  if ((mode & ~std::uint32_t{0x60}) == 0) {
    tk_log_message(2, "Mode=no_indexes, nothing to do");
    return;
  }
  read_indexes();
  if (get_sql_owner()->get_engine().get_server_version() >= sql_version_fk_in_create)
    read_foreign_keys();
}

void sql_table::refine_columns()
{
  // Every column of the description is read as text, whatever flags it carries.
  const sql_blob_to_text_scope as_text;
  // FULL adds the comment, last: Field, Type, Collation, Null, Key, Default,
  // Extra, Privileges, Comment.
  std::unique_ptr<udb_recordset> columns = get_sql_owner()->query(L"SHOW FULL COLUMNS FROM " + sql_quote_name(name_));
  if (columns == nullptr)
    return;
  const std::vector<int>& types = get_field_types();
  for (columns->reset(); !columns->is_eof(); columns->next()) {
    const udb_record* row = columns->get_item();
    if (row == nullptr || row->size() < 9)
      continue;
    const std::wstring name = text_of(*(*row)[0]);
    const std::wstring type = text_of(*(*row)[1]);
    tk_log_message(2, L"Field '%s' has type: %s", name, type);
    std::size_t index = 0;
    while (index < schema_.size() && !plat::equal_no_case(schema_[index]->name, name))
      ++index;
    if (index == schema_.size())
      continue;  // not in the result (an invisible column)
    t_ftd& column = *schema_[index];

    int numbers[2] = {0, 0};
    if (read_numbers(type, L"varchar(", 1, numbers)) {
      tk_log_message(2, "Refining type/size for varchar(%d)", numbers[0]);
      column.vartype = VT_BSTR;
      column.size = static_cast<std::uint32_t>(numbers[0]);
    } else if (read_numbers(type, L"char(", 1, numbers)) {
      // In characters, as declared, and fixed: the result gives bytes.
      column.vartype = VT_BSTR;
      column.size = static_cast<std::uint32_t>(numbers[0]);
      column.dw_reserved = sql_text_fixed;
    } else if (read_numbers(type, L"float(", 2, numbers)) {
      tk_log_message(2, "Refining type for FLOAT(%d,%d)", numbers[0], numbers[1]);
      if (numbers[0] != 0 && numbers[1] != 0 && numbers[0] > numbers[1]) {
        column.vartype = VT_DECIMAL;
        column.precision = static_cast<std::uint32_t>(numbers[0]);
        column.scale = static_cast<std::uint32_t>(numbers[1]);
      }
    } else if (ends_with(type, L"text") || ends_with(type, L"TEXT")) {
      tk_log_message(2, "Change type from BLOB to TEXT");
      column.vartype = VT_BSTR;
    }

    column.comment = text_of(*(*row)[8]);
    // NULL: no default, or NULL itself; '' is a default of its own.
    const udb_field& default_field = *(*row)[5];
    if (default_field.get_type() == VT_EMPTY || default_field.get_type() == VT_NULL)
      continue;
    const std::wstring default_text = text_of(default_field);
    tk_log_message(2, L"Got default value: %s", default_text);
    tk_log_message(2, "Default value's type: %08X", column.vartype);
    switch (column.vartype) {
    case VT_DATE:
      if (is_zero_date(default_text)) {
        tk_log_message(2, "Skip empty def.values for date column");
        column.not_null = false;
      } else if (is_current_timestamp(default_text)) {
        tk_log_message(2, "Special processing for CURRENT_TIMESTAMP");
        column.dw_reserved = sql_date_now;
      }
      break;
    case VT_BOOL:
      tk_log_message(2, "Special processing for boolean");
      if (plat::equal_no_case(default_text, L"b'0'"))
        column.default_value = ole_variant(false);
      else if (plat::equal_no_case(default_text, L"b'1'"))
        column.default_value = ole_variant(true);
      break;
    default: {
      std::uint64_t bits = 0;
      if (index < types.size() && types[index] == MYSQL_TYPE_BIT) {
        if (read_bit_literal(default_text, bits))
          column.default_value = ole_variant(static_cast<unsigned long long>(bits));
        break;
      }
      if (column.vartype == ole_variant::vt_byte_array || column.vartype == VT_BLOB) {
        // The server shows a binary default as its bytes, not as hexadecimal.
        const std::string bytes = plat::to_utf8(default_text);
        column.default_value.attach_binary(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
        break;
      }
      // A default the type cannot hold (an expression) leaves the column without one.
      if (ole_is_numeric_vt(column.vartype) && !is_plain_number(default_text)) {
        tk_log_message(2, L"Default value '%s' is not used", default_text);
        break;
      }
      try {
        column.default_value = get_variant(column.vartype, default_text.c_str());
      } catch (const std::exception&) {
        tk_log_message(2, L"Default value '%s' is not used", default_text);
      }
      break;
    }
    }
  }
}

void sql_table::read_indexes()
{
  std::unique_ptr<udb_recordset> keys = get_sql_owner()->query(L"SHOW INDEX FROM " + sql_quote_name(name_));
  if (keys == nullptr)
    return;
  for (keys->reset(); !keys->is_eof(); keys->next()) {
    const udb_record* row = keys->get_item();
    if (row == nullptr || row->size() < 5)
      continue;
    const bool unique = !(*row)[1]->to_bool();
    const std::wstring key = text_of(*(*row)[2]);
    const std::wstring column = text_of(*(*row)[4]);
    // Sub_part: the characters (bytes) of a prefix part, NULL for a whole column.
    const std::uint32_t prefix =
        row->size() > 7 && (*row)[7]->get_type() != VT_EMPTY ? static_cast<std::uint32_t>((*row)[7]->to_long()) : 0;
    const bool primary = key == L"PRIMARY";
    tk_log_message(2, L"Got index '%s' (primary=%d, unique=%d)", key, int(primary), int(unique));
    tk_log_message(1, L"udb_indexes::is_acceptable_name(%s)", key);
    // The rows of one index come in column order.
    if (udb_index* index = indexes_.get_index(key)) {
      tk_log_message(1, L"udb_indexes::get_index(%s)", key);
      index->fields.push_back(column);
      if (prefix != 0 || !index->prefix_lengths.empty()) {
        index->prefix_lengths.resize(index->fields.size() - 1, 0);
        index->prefix_lengths.push_back(prefix);
      }
      continue;
    }
    tk_log_message(1, L"udb_index::ctor('%s',%d,%d)", key, int(unique), int(primary));
    udb_index index(key, unique, primary, {column});
    if (prefix != 0)
      index.prefix_lengths.push_back(prefix);
    add_index(index);
  }
}

void sql_table::read_foreign_keys()
{
  tk_log_message(2, "Extracting foreign keys");
  udb_relationships* relationships = get_relationships();
  if (relationships == nullptr)
    return;
  sql_database& owner = *get_sql_owner();
  if (owner.get_engine().get_server_version() < sql_version_referential) {
    tk_log_message(3, "The server names no foreign-key rules; no foreign keys are read");
    return;
  }
  // From the server's catalogue: a CREATE TABLE text would also show comments
  // and defaults that read like a constraint.
  const sql_blob_to_text_scope as_text;
  const std::string schema = sql_quote_literal(owner.get_handle(), tk_wstring_to_utf8(owner.get_name()));
  const std::string table = sql_quote_literal(owner.get_handle(), tk_wstring_to_utf8(name_));
  std::unique_ptr<udb_recordset> keys = owner.query(tk_utf8_to_wstring(
      "SELECT k.CONSTRAINT_NAME, k.COLUMN_NAME, k.REFERENCED_TABLE_NAME, k.REFERENCED_COLUMN_NAME, "
      "r.DELETE_RULE, r.UPDATE_RULE, k.TABLE_SCHEMA, k.REFERENCED_TABLE_SCHEMA "
      "FROM information_schema.KEY_COLUMN_USAGE k "
      "JOIN information_schema.REFERENTIAL_CONSTRAINTS r ON r.CONSTRAINT_SCHEMA = k.CONSTRAINT_SCHEMA "
      "AND r.TABLE_NAME = k.TABLE_NAME AND r.CONSTRAINT_NAME = k.CONSTRAINT_NAME "
      "WHERE k.TABLE_SCHEMA = " + schema + " AND k.TABLE_NAME = " + table +
      // Named for both sides, or the server opens every table and view of every
      // database to list their constraints, while other sessions change them.
      " AND r.CONSTRAINT_SCHEMA = " + schema + " AND r.TABLE_NAME = " + table +
      " AND k.REFERENCED_TABLE_NAME IS NOT NULL ORDER BY k.CONSTRAINT_NAME, k.ORDINAL_POSITION"));
  if (keys == nullptr)
    return;
  udb_relationships read;
  for (keys->reset(); !keys->is_eof(); keys->next()) {
    const udb_record* row = keys->get_item();
    if (row == nullptr || row->size() < 8)
      continue;
    const std::wstring name = text_of(*(*row)[0]);
    if (read.empty() || read.back().name != name) {
      // The clauses the server would print, RESTRICT (its default) left out.
      std::wstring rule;
      for (const auto& [clause, at] : {std::pair{L"ON DELETE ", 4}, std::pair{L"ON UPDATE ", 5}}) {
        const std::wstring action = text_of(*(*row)[static_cast<std::size_t>(at)]);
        if (!action.empty() && action != L"RESTRICT")
          rule += (rule.empty() ? L"" : L" ") + std::wstring(clause) + action;
      }
      read.emplace_back(name, std::wstring(), name_, text_of(*(*row)[2]), std::vector<std::wstring>(),
                        std::vector<std::wstring>(), rule);
      // A key into another database keeps it: the copy's table of the same
      // name is another table. Both names are the server's own spellings.
      if (std::wstring referenced = text_of(*(*row)[7]); referenced != text_of(*(*row)[6]))
        read.back().pk_schema = std::move(referenced);
    }
    read.back().fk_flds.push_back(text_of(*(*row)[1]));
    read.back().pk_flds.push_back(text_of(*(*row)[3]));
    tk_log_message(2, L"Got foreign key '%s': %s -> %s", name, read.back().fk_flds.back(), read.back().pk_table);
  }
  for (udb_relationship& key : read)
    relationships->push_back(std::move(key));
}
