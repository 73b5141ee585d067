// Changes and removals of rows in a MySQL destination table, chosen by the
// table's key or by a tagged key text. Rows appended before go out first, so a
// change never overtakes them; a statement the server refuses is only logged.
// Conditions compare with <=>, so a NULL in a key field matches NULL.
#include "SQL/write/sql_tab_write.h"

#include "OLE/ole_misc.h"
#include "SQL/sql_engi.h"
#include "SQL/sql_util.h"
#include "SQL/write/sql_db_write.h"
#include "SQL/write/sql_literals.h"
#include "SQL/write/sql_sync.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "UDB/udb_field.h"
#include "UDB/udb_vali.h"
#include "platform/case_fold.h"
#include "platform/text_codec.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>
#include <system_error>
#include <utility>
#include <vector>

namespace {

struct matched_field {
  const udb_field* field;
  std::wstring column;  // the name the table gave the field's column
};

// The record's fields that name a column of the table, in record order, each
// with its column's name as the field-name rules map it; the rest are left out.
std::vector<matched_field> match_fields(const sql_engine& engine, const udb_record& record,
                                        const udb_schema& schema)
{
  const std::unique_ptr<udb_validator> validator = engine.create_fn_validator(record);
  std::vector<matched_field> matched;
  for (const auto& field : record) {
    const std::wstring& name = field->get_name();
    std::wstring column = validator->is_acceptable(name) ? name : validator->get_safe_name(name);
    tk_log_message(1, L"Got mappend fn: %s", column);
    if (!schema.find_field(column)) {
      tk_log_message(1, L"Field '%s' is not found in schema", column);
      continue;
    }
    matched.push_back({field.get(), std::move(column)});
  }
  return matched;
}

// A text or byte value whose length the source did not give: left out of SET
// lists rather than written as empty.
bool is_large_object(const udb_field& field)
{
  const VARTYPE type = field.get_type();
  return field.get_stored_size() == 0 &&
         (type == VT_BLOB || type == ole_variant::vt_byte_array || type == VT_BSTR);
}

// "`column`" + op + the value's literal. A FLOAT column holds a single: the
// value it is compared with is that single, written with an exponent so that the
// server reads it as a double of exactly the stored value (0.1 as written never
// equals the single 0.1 the column holds).
std::string term(const matched_field& match, const udb_schema& schema, const char* op)
{
  std::string text = plat::to_utf8(sql_quote_name(match.column)) + op;
  const t_ftd* column = schema.find(match.column);
  if (column != nullptr && column->vartype == VT_R4 && ole_is_numeric_vt(match.field->get_type())) {
    const double single = static_cast<double>(static_cast<float>(match.field->to_double()));
    char digits[32];
    const auto printed = std::to_chars(digits, digits + sizeof digits, single, std::chars_format::scientific);
    if (printed.ec == std::errc() && std::isfinite(single))
      return text.append(digits, printed.ptr);
  }
  return text + to_mysql_str(*match.field);
}

void append_joined(std::string& list, const char* separator, const std::string& item)
{
  if (!list.empty())
    list += separator;
  list += item;
}

std::string set_list(const std::vector<matched_field>& fields, const udb_schema& schema)
{
  std::string sets;
  for (const matched_field& match : fields) {
    if (is_large_object(*match.field)) {
      tk_log_message(2, L"Field %s is LOB, skip it", match.field->get_name());
      continue;
    }
    append_joined(sets, ", ", term(match, schema, "="));
  }
  return sets;
}

} // namespace

void sql_write_table::update(const udb_record& record, const std::wstring& key)
{
  tk_log_message(1, L"sql_table::update(key=%s)", key);
  send_pending();
  if (key.empty()) {
    tk_log_message(1, "Missing key for update");
    return;
  }
  std::string statement = plat::to_utf8(L"UPDATE " + get_sql_owner()->get_engine().get_safe_name(name_) + L" SET ") +
                          set_list(match_fields(get_sql_owner()->get_engine(), record, schema_), schema_) + " WHERE ";
  try {
    sql_sync sync(get_sql_owner());
    statement += plat::to_utf8(sync.get_filter_subquery(name_, key));
    tk_log_message(2, "UPDATE QUERY: %s", statement);
    database().query_append(statement);
  } catch (const std::exception& e) {
    tk_log_message(3, "ERROR on UPDATE: %s", e.what());
  } catch (...) {
  }
}

void sql_write_table::update(const udb_record& record)
{
  tk_log_message(1, "sql_table::update");
  send_pending();
  if (key_index_ < 0) {
    tk_log_message(1, "There's no primary/unique key");
    return;
  }
  if (static_cast<std::size_t>(key_index_) >= indexes_.size())
    throw tk_mail_assertion("sql_tab", 692);
  const std::vector<std::wstring>& key = indexes_[static_cast<std::size_t>(key_index_)].fields;
  const std::vector<matched_field> fields = match_fields(get_sql_owner()->get_engine(), record, schema_);

  // Every key column must be named, or the condition would select more rows
  // than the one the record stands for.
  std::vector<bool> named(key.size(), false);
  std::vector<matched_field> others;
  std::string conditions;
  for (const matched_field& match : fields) {
    const auto in_key = std::find_if(key.begin(), key.end(), [&](const std::wstring& column) {
      return plat::equal_no_case(column, match.column);
    });
    if (in_key == key.end()) {
      tk_log_message(1, L"Field %s is NOT a part of UKey", match.field->get_name());
      others.push_back(match);
      continue;
    }
    tk_log_message(1, L"Field %s is a part of UKey", match.field->get_name());
    named[static_cast<std::size_t>(in_key - key.begin())] = true;
    append_joined(conditions, " AND ", term(match, schema_, "<=>"));
  }
  const std::string statement = plat::to_utf8(L"UPDATE " + get_sql_owner()->get_engine().get_safe_name(name_)) +
                                " SET " + set_list(others, schema_) + " WHERE " + conditions;
  tk_log_message(2, "UPDATE QUERY: %s", statement);
  if (conditions.empty() || std::find(named.begin(), named.end(), false) != named.end()) {
    tk_log_message(1, "Missing primary/unique key");
    return;
  }
  try {
    database().query_append(statement);
  } catch (const std::exception& e) {
    tk_log_message(2, "ERROR on UPDATE0: %s", e.what());
  } catch (...) {
  }
}

void sql_write_table::delete_key(const std::wstring& key)
{
  tk_log_message(2, L"sql_table::delete_key(%s)", key);
  send_pending();
  std::string statement =
      plat::to_utf8(L"delete from " + get_sql_owner()->get_engine().get_safe_name(name_) + L" where ");
  try {
    sql_sync sync(get_sql_owner());
    statement += plat::to_utf8(sync.get_filter_subquery(name_, key));
    database().query_append(statement);
  } catch (const std::exception& e) {
    tk_log_message(2, "ERROR on DELETE: %s", e.what());
  } catch (...) {
    tk_log_message(3, "Unknown exception");
  }
}

void sql_write_table::delete_key(const udb_record& record)
{
  tk_log_message(1, "sql_table::delete_key");
  send_pending();
  std::string conditions;
  for (const matched_field& match : match_fields(get_sql_owner()->get_engine(), record, schema_))
    append_joined(conditions, " AND ", term(match, schema_, "<=>"));
  const std::string statement =
      plat::to_utf8(L"DELETE FROM " + get_sql_owner()->get_engine().get_safe_name(name_)) + " WHERE " + conditions;
  try {
    database().query_append(statement);
  } catch (const std::exception& e) {
    tk_log_message(2, "ERROR on DELETE: %s", e.what());
  } catch (...) {
  }
}
