// The statements that write a MySQL database: CREATE, DROP and emptying of tables,
// and the two runners the row writer sends rows with. Every name reaches a
// statement quoted; a prepared statement is closed on every way out, and its
// parameters are exactly the fields the caller listed, in statement order.
#include "SQL/sql_db.h"

#include "SQL/sql_engi.h"
#include "SQL/sql_init.h"
#include "SQL/sql_util.h"
#include "TK/tk_codepage.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "UDB/udb_field.h"
#include "UDB/udb_properties.h"
#include "UDB/udb_recs.h"

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
  tk_log_message(2, what, std::string(mysql_stmt_error(stmt)));
  throw sql_prep_stmt_failed_exception();
}

} // namespace

std::unique_ptr<udb_recordset> sql_database::create_table(const std::wstring& name,
                                                          const udb_schema& schema,
                                                          const udb_indexes& indexes)
{
  tk_log_message(2, L"sql_database::create_table(%s)", name);
  if ((mode_ & udb_mode_read_only) != 0)
    throw tk_mail_assertion("sql_db", 336);
  if (is_table_exist(name))
    return get_table(name, udb_mode_append);

  sql_engine& engine = sql_engine::instance();
  const std::uint32_t version = engine.get_server_version();
  const udb_properties* table_node =
      engine.get_properties() != nullptr ? engine.get_properties()->get_child(name) : nullptr;

  std::wstring auto_increment_name;
  sql_schema_initializer columns(name, schema, indexes, auto_increment_name);
  std::vector<std::wstring> clauses;
  columns.get_init_chunks(clauses, table_node);
  if (!indexes.empty() || !auto_increment_name.empty()) {
    sql_indexes_initializer index_clauses(columns.get_schema(), indexes, auto_increment_name,
                                          columns.get_names_map());
    index_clauses.get_init_chunks(clauses);
  }

  std::wstring statement = L"CREATE TABLE " + engine.get_safe_name(name) + L" (";
  for (std::size_t i = 0; i < clauses.size(); ++i)
    statement += (i == 0 ? L"" : L", ") + clauses[i];
  statement += L")";
  const std::wstring charset = node_value(table_node, L"character set");
  if (!charset.empty())
    statement += L" character set " + charset;
  std::wstring storage = node_value(table_node, L"engine");
  if (storage.empty())
    storage = version <= last_myisam_default ? L"MyISAM" : engine.get_table_engine();
  statement += (version <= last_type_clause ? L" TYPE=" : L" ENGINE=") + storage;

  tk_log_message(2, L"Run SQL-query: %s\n", statement);
  query_append(tk_wstring_to_utf8(statement));

  table_names_.push_back(name);
  tk_log_message(1, "Step #1");
  tk_log_message(2, L"udb_names_map::add_fn_map(%s)", name);
  names_map_.add_fn_map(name, columns.get_names_map());
  tk_log_message(1, "Step #2");
  return get_table(name, 2);
}

bool sql_database::delete_tab(const std::wstring& name)
{
  tk_log_message(2, L"sql_database::delete_tab (%s)", name);
  if ((mode_ & udb_mode_read_only) != 0)
    throw tk_mail_assertion("sql_db", 446);
  if (!is_table_exist(name))
    throw tk_mail_assertion("sql_db", 447);
  query_append(tk_wstring_to_utf8(L"DROP TABLE IF EXISTS " + sql_engine::instance().get_safe_name(name) +
                                  L" CASCADE"));
  return udb_database::delete_tab(name);
}

void sql_database::empty_table(const std::wstring& name)
{
  udb_database::empty_table(sql_engine::instance().get_safe_name(name));
}

void sql_database::query_append(const std::string& statement)
{
  tk_log_message(2, "sql_database::query_append(q_len=%d)", statement.size());
  tk_log_message(2, "(%s)", statement);
  tk_log_message(1, "sql_database::do_query1(%s)", statement);
  // Success is the connection's error number once the (absent) result is taken.
  mysql_real_query(handle_, statement.data(), static_cast<unsigned long>(statement.size()));
  const sql_result_ptr result(mysql_use_result(handle_));
  if (mysql_errno(handle_) != 0) {
    tk_log_message(3, "QUERY=%s", statement);
    sql_raise(handle_);
  }
}

void sql_database::prepared_statement(const std::string& statement, const udb_record& record,
                                      const std::vector<const udb_field*>& parameters)
{
  tk_log_message(1, "sql_database::prepared_statement(%s, %d)", statement, parameters.size());
  const sql_stmt_ptr stmt(mysql_stmt_init(handle_));
  if (stmt == nullptr) {
    tk_log_message(2, "mysql_stmt_init failed: error=%s", std::string(mysql_error(handle_)));
    throw sql_prep_stmt_failed_exception();
  }
  if (mysql_stmt_prepare(stmt.get(), statement.data(), static_cast<unsigned long>(statement.size())) != 0)
    prepared_failure("mysql_stmt_prepare failed: error=%s", stmt.get());
  // A parameter the statement does not have, or one it has and nobody fills,
  // would put values into the wrong columns.
  if (mysql_stmt_param_count(stmt.get()) != parameters.size()) {
    tk_log_message(2, "Parameter count %d, fields %d", mysql_stmt_param_count(stmt.get()),
                   parameters.size());
    throw sql_prep_stmt_failed_exception();
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
    std::size_t count = static_cast<std::size_t>(field.get_bytes(data, storage));
    // A text ends at its first NUL, as it does in a statement's literal.
    if (field.get_variant().vt == VT_BSTR)
      count = std::min(count, static_cast<std::size_t>(
                                  std::find(data, data + count, '\0') - data));
    std::size_t pos = 0;
    do {
      const std::size_t piece = std::min(long_data_piece, count - pos);
      tk_log_message(1, "prepared_statement: pos=%d, len=%d", pos, piece);
      if (mysql_stmt_send_long_data(stmt.get(), static_cast<unsigned>(k),
                                    reinterpret_cast<const char*>(data) + pos,
                                    static_cast<unsigned long>(piece)) != 0) {
        tk_log_message(2, "mysql_stmt_send_long_data failed (pos=%d, res=%d, error=%s)", pos, piece,
                       std::string(mysql_stmt_error(stmt.get())));
        throw sql_prep_stmt_failed_exception();
      }
      pos += piece;
    } while (pos < count);
  }

  if (mysql_stmt_execute(stmt.get()) != 0) {
    tk_log_message(3, "QUERY=%s", statement);
    tk_log_message(3, "mysql_stmt_execute failed: error=%s", std::string(mysql_stmt_error(stmt.get())));
    tk_log_message(3, "row size=%d", record.get_total_size());
    throw sql_prep_stmt_failed_exception();
  }
}
