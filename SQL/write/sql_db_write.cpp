// The statements that write a MySQL database: CREATE, DROP and emptying of tables,
// and the two runners the row writer sends rows with. Every name reaches a
// statement quoted; a prepared statement is closed on every way out, and its
// parameters are exactly the fields the caller listed, in statement order.
#include "SQL/write/sql_db_write.h"

#include "SQL/sql_engi.h"
#include "SQL/sql_util.h"
#include "SQL/sql_vali.h"
#include "SQL/write/sql_create_retry.h"
#include "SQL/write/sql_engi_write.h"
#include "SQL/write/sql_init.h"
#include "SQL/write/sql_tab_write.h"
#include "TK/tk_codepage.h"
#include "TK/tk_error_reporter.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "UDB/udb_field.h"
#include "UDB/udb_properties.h"
#include "UDB/udb_recs.h"
#include "base/format.h"
#include "platform/case_fold.h"

#include <mysqld_error.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

// Long data goes to the server in pieces of this many bytes.
constexpr std::size_t long_data_piece = 131072;

// The last server versions that name a MyISAM table by default and that take
// TYPE= for the storage engine.
constexpr std::uint32_t last_myisam_default = 0x031722;  // 3.23.34
constexpr std::uint32_t last_type_clause = 0x040016;     // 4.0.22
constexpr std::uint32_t first_dynamic_row_format = 0x050500;  // 5.5.0

std::wstring node_value(const udb_properties* node, const wchar_t* key)
{
  if (node == nullptr)
    return {};
  const udb_properties::values& values = node->get_values();
  const auto it = values.find(key);
  return it == values.end() ? std::wstring() : it->second;
}

[[noreturn]] void prepared_failure(const char* what, MYSQL_STMT* stmt)
{
  const std::string reason = mysql_stmt_error(stmt);
  tk_log_message(2, what, reason);
  throw sql_prep_stmt_failed_exception(reason);
}

// "the column 'a' is", "the columns 'a', 'b' are": the names a report lists,
// with the words that agree with their number.
std::wstring named_list(const std::vector<std::wstring>& names, const wchar_t* one_noun, const wchar_t* nouns,
                        const wchar_t* one_verb, const wchar_t* verb)
{
  std::wstring list = L"the ";
  list += names.size() == 1 ? one_noun : nouns;
  for (std::size_t i = 0; i < names.size(); ++i)
    list += (i == 0 ? L" '" : L", '") + names[i] + L"'";
  list += L' ';
  list += names.size() == 1 ? one_verb : verb;
  return list;
}

// What the table lost or changed to have the server take it, one report each.
void report_changes(const std::wstring& table, const std::vector<std::wstring>& widened,
                    const std::vector<std::wstring>& given_up_keys, const std::vector<std::wstring>& cut_keys)
{
  const std::wstring context = L"Table '" + table + L"'";
  const auto report = [&](const std::wstring& text) {
    tk_report_item_failure(context, tk_exception(tk_wstring_to_utf8(text), tk_level_recoverable));
  };
  if (!widened.empty())
    report(L"The server refused the row's size; " + named_list(widened, L"column", L"columns", L"is", L"are") +
           L" TEXT instead of VARCHAR.");
  for (const std::wstring& key : given_up_keys)
    report(key);
  if (!cut_keys.empty())
    report(L"The server takes keys of fewer bytes; " + named_list(cut_keys, L"index", L"indexes", L"holds", L"hold") +
           L" shorter prefixes of its texts.");
}

} // namespace

sql_write_database::sql_write_database(sql_write_engine& engine, const std::wstring& name,
                                       std::uint32_t mode)
    : sql_database(engine, name, mode)
{
}

std::unique_ptr<sql_table> sql_write_database::open_table(const std::wstring& listed, std::uint32_t mode)
{
  return std::make_unique<sql_write_table>(this, listed, &relationships_, mode);
}

std::unique_ptr<udb_recordset> sql_write_database::create_table(const std::wstring& name,
                                                          const udb_schema& schema,
                                                          const udb_indexes& indexes)
{
  tk_log_message(2, L"sql_database::create_table(%s)", name);
  if ((mode_ & udb_mode_read_only) != 0)
    throw tk_mail_assertion("sql_db", 336);
  // On a case-sensitive server `T` and `t` are two tables: only the name as
  // given is the table that exists. A name an earlier table was mended to is
  // not this table's: this one is mended in turn.
  const std::wstring mapped = names_map_.get_tn_mapped_name(name, true);
  const bool listed = std::find(table_names_.begin(), table_names_.end(), mapped) != table_names_.end();
  const bool taken = listed && names_map_.is_taken_by_other_table(mapped, name);
  if (listed && !taken)
    return get_table(mapped, udb_mode_append);

  sql_engine& engine = engine_;
  // A name the server cannot keep is mended as a column's is; the names map
  // tells what became of it.
  std::wstring created = name;
  if (taken || !sql_server_keeps_table_name(name)) {
    created = engine.create_tn_validator(table_names_, {})->get_safe_name(name);
    tk_log_message(2, L"Table '%s' is made as '%s'", name, created);
  }
  const std::uint32_t version = engine.get_server_version();
  const udb_properties* table_node =
      engine.get_properties() != nullptr ? engine.get_properties()->get_child(name) : nullptr;

  std::wstring auto_increment_name;
  sql_schema_initializer columns(engine, name, schema, indexes, auto_increment_name);
  const std::wstring charset = node_value(table_node, L"character set");
  std::wstring storage = node_value(table_node, L"engine");
  if (storage.empty())
    storage = version <= last_myisam_default ? L"MyISAM" : engine.get_table_engine();

  std::vector<std::wstring> widened;
  std::vector<std::wstring> given_up_keys;
  std::vector<std::wstring> cut_keys;
  sql_create_retry retry(version >= first_dynamic_row_format && plat::equal_no_case(storage, L"InnoDB"));
  for (;;) {
    std::vector<std::wstring> clauses;
    columns.get_init_chunks(clauses, table_node);
    if (!indexes.empty() || !auto_increment_name.empty()) {
      sql_indexes_initializer index_clauses(engine, columns.get_schema(), indexes, auto_increment_name,
                                            columns.get_names_map());
      index_clauses.limit_keys(retry.key_bytes(), retry.part_bytes());
      index_clauses.get_init_chunks(clauses);
      given_up_keys = index_clauses.get_given_up_keys();
      cut_keys = index_clauses.get_cut_keys();
    }
    std::wstring statement = L"CREATE TABLE " + engine.get_safe_name(created) + L" (";
    for (std::size_t i = 0; i < clauses.size(); ++i)
      statement += (i == 0 ? L"" : L", ") + clauses[i];
    statement += L")";
    if (!charset.empty())
      statement += L" character set " + charset;
    statement += (version <= last_type_clause ? L" TYPE=" : L" ENGINE=") + storage;
    if (retry.dynamic())
      statement += L" ROW_FORMAT=DYNAMIC";

    tk_log_message(2, L"Run SQL-query: %s\n", statement);
    try {
      query_append(tk_wstring_to_utf8(statement));
      break;
    } catch (const sql_exception& e) {
      const std::uint32_t number = e.get_code() & 0xFFFFu;
      if (number == ER_TABLE_EXISTS_ERROR) {
        // A server that folds table names holds this one under another case.
        const auto folded = std::find_if(table_names_.begin(), table_names_.end(),
                                         [&](const std::wstring& table) { return same_table_name(table, created); });
        if (folded != table_names_.end())
          return get_table(*folded, udb_mode_append);
        throw;
      }
      const sql_create_retry::step step = retry.after(number, e.get_message());
      if (step == sql_create_retry::step::give_up)
        throw;
      if (step == sql_create_retry::step::widen_a_text) {
        std::wstring column = columns.widen_widest_text();
        if (column.empty())
          throw;
        widened.push_back(std::move(column));
      }
    }
  }

  if (created != name)
    names_map_.add_tn_mapping(name, created);
  table_names_.push_back(created);
  tk_log_message(1, "Step #1");
  tk_log_message(2, L"udb_names_map::add_fn_map(%s)", created);
  names_map_.add_fn_map(created, columns.get_names_map());
  tk_log_message(1, "Step #2");

  report_changes(name, widened, given_up_keys, cut_keys);
  return get_table(created, 2);
}

bool sql_write_database::delete_tab(const std::wstring& name)
{
  tk_log_message(2, L"sql_database::delete_tab (%s)", name);
  if ((mode_ & udb_mode_read_only) != 0)
    throw tk_mail_assertion("sql_db", 446);
  const auto listed = find_listed(name);
  if (listed == table_names_.end())
    throw tk_mail_assertion("sql_db", 447);
  query_append(tk_wstring_to_utf8(L"DROP TABLE IF EXISTS " + engine_.get_safe_name(*listed) + L" CASCADE"));
  table_names_.erase(listed);
  return true;
}

void sql_write_database::empty_table(const std::wstring& name)
{
  udb_database::empty_table(engine_.get_safe_name(name));
}

void sql_write_database::query_append(const std::string& statement)
{
  tk_log_message(2, "sql_database::query_append(q_len=%d)", statement.size());
  tk_log_message(2, "(%s)", statement);
  tk_log_message(1, "sql_database::do_query1(%s)", statement);
  engine_.keep_backslash_escapes();
  // Success is the connection's error number once the (absent) result is taken.
  mysql_real_query(handle_, statement.data(), static_cast<unsigned long>(statement.size()));
  const sql_result_ptr result(mysql_use_result(handle_));
  if (mysql_errno(handle_) != 0) {
    tk_log_message(3, "QUERY=%s", statement);
    sql_raise(handle_);
  }
}

sql_write_outcome sql_write_database::last_write_outcome() const
{
  const my_ulonglong affected = mysql_affected_rows(handle_);
  // The library's "no count" (-1) is a statement that wrote nothing.
  return {affected == static_cast<my_ulonglong>(-1) ? 0 : affected, mysql_warning_count(handle_)};
}

sql_write_outcome sql_write_database::prepared_statement(const std::string& statement, const udb_record& record,
                                                   const std::vector<const udb_field*>& parameters)
{
  tk_log_message(1, "sql_database::prepared_statement(%s, %d)", statement, parameters.size());
  engine_.keep_backslash_escapes();
  const sql_stmt_ptr stmt(mysql_stmt_init(handle_));
  if (stmt == nullptr) {
    const std::string reason = mysql_error(handle_);
    tk_log_message(2, "mysql_stmt_init failed: error=%s", reason);
    throw sql_prep_stmt_failed_exception(reason);
  }
  if (mysql_stmt_prepare(stmt.get(), statement.data(), static_cast<unsigned long>(statement.size())) != 0)
    prepared_failure("mysql_stmt_prepare failed: error=%s", stmt.get());
  // A parameter the statement does not have, or one it has and nobody fills,
  // would put values into the wrong columns.
  if (mysql_stmt_param_count(stmt.get()) != parameters.size()) {
    tk_log_message(2, "Parameter count %d, fields %d", mysql_stmt_param_count(stmt.get()),
                   parameters.size());
    throw sql_prep_stmt_failed_exception(base::sprintf("the statement has %d parameters for %d values",
                                                       mysql_stmt_param_count(stmt.get()), parameters.size()));
  }

  std::vector<MYSQL_BIND> binds(parameters.size());
  for (MYSQL_BIND& bind : binds) {
    std::memset(&bind, 0, sizeof bind);
    bind.buffer_type = MYSQL_TYPE_BLOB;
  }
  if (!binds.empty() && mysql_stmt_bind_param(stmt.get(), binds.data()) != 0)
    prepared_failure("Binding failed: error=%s", stmt.get());

  std::string storage;
  for (std::size_t k = 0; k < parameters.size(); ++k) {
    const udb_field& field = *parameters[k];
    tk_log_message(1, "Reading field #%d (size=%d)", k, field.get_size());
    const unsigned char* data = nullptr;
    // A text goes whole, NULs and all, as it does in a statement's literal.
    const std::size_t count = static_cast<std::size_t>(field.get_bytes(data, storage));
    std::size_t pos = 0;
    do {
      const std::size_t piece = std::min(long_data_piece, count - pos);
      tk_log_message(1, "prepared_statement: pos=%d, len=%d", pos, piece);
      if (mysql_stmt_send_long_data(stmt.get(), static_cast<unsigned>(k),
                                    reinterpret_cast<const char*>(data) + pos,
                                    static_cast<unsigned long>(piece)) != 0) {
        const std::string reason = mysql_stmt_error(stmt.get());
        tk_log_message(2, "mysql_stmt_send_long_data failed (pos=%d, res=%d, error=%s)", pos, piece, reason);
        throw sql_prep_stmt_failed_exception(reason);
      }
      pos += piece;
    } while (pos < count);
  }

  if (mysql_stmt_execute(stmt.get()) != 0) {
    const std::string reason = mysql_stmt_error(stmt.get());
    tk_log_message(3, "QUERY=%s", statement);
    tk_log_message(3, "mysql_stmt_execute failed: error=%s", reason);
    tk_log_message(3, "row size=%d", record.get_total_size());
    throw sql_prep_stmt_failed_exception(reason);
  }
  const my_ulonglong affected = mysql_stmt_affected_rows(stmt.get());
  const int warnings = mysql_stmt_warning_count(stmt.get());
  return {affected == static_cast<my_ulonglong>(-1) ? 0 : affected, static_cast<unsigned>(std::max(warnings, 0))};
}
