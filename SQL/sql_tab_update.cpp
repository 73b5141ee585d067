// Changes and removals of rows in a MySQL destination table, chosen by the
// table's key or by a tagged key text. Rows appended before go out first, so a
// change never overtakes them; a statement the server refuses is only logged.
// Conditions compare with <=>, so a NULL in a key field matches NULL.
#include "SQL/sql_tab.h"

#include "SQL/sql_db.h"
#include "SQL/sql_engi.h"
#include "SQL/sql_literals.h"
#include "SQL/sql_sync.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "UDB/udb_field.h"
#include "UDB/udb_vali.h"
#include "platform/case_fold.h"
#include "platform/text_codec.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace {

struct matched_field {
  const udb_field* field;
  std::wstring column;  // the name the table gave the field's column
};

// The record's fields that name a column of the table, in record order, each
// with its column's name as the field-name rules map it; the rest are left out.
std::vector<matched_field> match_fields(const udb_record& record, const udb_schema& schema)
{
  const std::unique_ptr<udb_validator> validator = sql_engine::instance().create_fn_validator(record);
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

// "`column`" + op + the value's literal.
std::string term(const matched_field& match, const char* op)
{
  return plat::to_utf8(sql_engine::instance().get_safe_name(match.column)) + op + to_mysql_str(*match.field);
}

void append_joined(std::string& list, const char* separator, const std::string& item)
{
  if (!list.empty())
    list += separator;
  list += item;
}

std::string set_list(const std::vector<matched_field>& fields)
{
  std::string sets;
  for (const matched_field& match : fields) {
    if (is_large_object(*match.field)) {
      tk_log_message(2, L"Field %s is LOB, skip it", match.field->get_name());
      continue;
    }
    append_joined(sets, ", ", term(match, "="));
  }
  return sets;
}

} // namespace

void sql_table::update(const udb_record& record, const std::wstring& key)
{
  tk_log_message(1, L"sql_table::update(key=%s)", key);
  send_pending();
  if (key.empty()) {
    tk_log_message(1, "Missing key for update");
    return;
  }
  std::string statement = plat::to_utf8(L"UPDATE " + sql_engine::instance().get_safe_name(name_) + L" SET ") +
                          set_list(match_fields(record, schema_)) + " WHERE ";
  try {
    sql_sync sync(get_sql_owner());
    statement += plat::to_utf8(sync.get_filter_subquery(name_, key));
    tk_log_message(2, "UPDATE QUERY: %s", statement);
    get_sql_owner()->query_append(statement);
  } catch (const std::exception& e) {
    tk_log_message(3, "ERROR on UPDATE: %s", e.what());
  } catch (...) {
  }
}

void sql_table::update(const udb_record& record)
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
  const std::vector<matched_field> fields = match_fields(record, schema_);

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
    append_joined(conditions, " AND ", term(match, "<=>"));
  }
  const std::string statement = plat::to_utf8(L"UPDATE " + sql_engine::instance().get_safe_name(name_)) +
                                " SET " + set_list(others) + " WHERE " + conditions;
  tk_log_message(2, "UPDATE QUERY: %s", statement);
  if (conditions.empty() || std::find(named.begin(), named.end(), false) != named.end()) {
    tk_log_message(1, "Missing primary/unique key");
    return;
  }
  try {
    get_sql_owner()->query_append(statement);
  } catch (const std::exception& e) {
    tk_log_message(2, "ERROR on UPDATE0: %s", e.what());
  } catch (...) {
  }
}

void sql_table::delete_key(const std::wstring& key)
{
  tk_log_message(2, L"sql_table::delete_key(%s)", key);
  send_pending();
  std::string statement =
      plat::to_utf8(L"delete from " + sql_engine::instance().get_safe_name(name_) + L" where ");
  try {
    sql_sync sync(get_sql_owner());
    statement += plat::to_utf8(sync.get_filter_subquery(name_, key));
    get_sql_owner()->query_append(statement);
  } catch (const std::exception& e) {
    tk_log_message(2, "ERROR on DELETE: %s", e.what());
  } catch (...) {
    tk_log_message(3, "Unknown exception");
  }
}

void sql_table::delete_key(const udb_record& record)
{
  tk_log_message(1, "sql_table::delete_key");
  send_pending();
  std::string conditions;
  for (const matched_field& match : match_fields(record, schema_))
    append_joined(conditions, " AND ", term(match, "<=>"));
  const std::string statement =
      plat::to_utf8(L"DELETE FROM " + sql_engine::instance().get_safe_name(name_)) + " WHERE " + conditions;
  try {
    get_sql_owner()->query_append(statement);
  } catch (const std::exception& e) {
    tk_log_message(2, "ERROR on DELETE: %s", e.what());
  } catch (...) {
  }
}
