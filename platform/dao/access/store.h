// The Access side of the engine: one SQLite file per database, whose catalogue
// tables (__dao_*) keep what SQLite cannot (DAO types, properties, index flags,
// stored queries, the password's salted hash). The session holds the tables as
// the catalogue describes them; every change goes through it and the catalogue
// together, so the two never differ. Changes are one transaction, committed by
// Database.Close or when the last object of the session goes.
#pragma once

#include "platform/dao/dao_model.h"
#include "platform/dao/recordset_object.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace plat::dao {

// The DAO numbers only the Access side raises.
enum access_number : std::int32_t {
  err_object_exists = 3012,
  err_duplicate_key = 3022,
  err_file_not_found = 3024,
  err_bad_password = 3031,
  err_invalid_path = 3044,
  err_file_in_use = 3045,
  err_field_too_small = 3163,
  err_database_exists = 3204,
  err_primary_exists = 3283,
  err_in_relationship = 3303,
  err_index_exists = 3284,
  err_required_null = 3314,
  err_zero_length = 3315,
  err_unrecognized_format = 3343,
  err_relation_no_fields = 3366,
  err_relation_fields = 3368,
  err_no_unique_index = 3372,
};
[[noreturn]] void raise(access_number number, std::wstring_view name = {});
// The failure of an SQLite call as the DAO error Jet gives for it: a unique
// key 3022, NOT NULL 3314, a missing table 3078, other SQL errors 3129.
[[noreturn]] void raise_sqlite(sqlite3* db, int code);

// One prepared statement; columns and parameters count from 0.
class sql_statement {
public:
  sql_statement(sqlite3* db, std::string_view sql);
  sql_statement(const sql_statement&) = delete;
  sql_statement& operator=(const sql_statement&) = delete;
  ~sql_statement();

  sql_statement& bind(int at, std::wstring_view text);
  sql_statement& bind(int at, long long number);
  // True while a row is there; a failure raises.
  bool step();
  // Runs a statement that gives no rows.
  void run();
  void reset();
  long long integer(int at) const;
  std::wstring text(int at) const;
  bool is_null(int at) const;
  sqlite3_stmt* get() const { return stmt_; }
  sqlite3* db() const { return db_; }

private:
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

// A change of several statements that happens whole or not at all inside the
// session's transaction: undone unless commit() is reached.
class savepoint {
public:
  explicit savepoint(sqlite3* db);
  savepoint(const savepoint&) = delete;
  savepoint& operator=(const savepoint&) = delete;
  ~savepoint();
  void commit();

private:
  sqlite3* db_;
  bool done_ = false;
};

// An identifier quoted for SQLite, whatever it holds.
std::string quoted_name(std::wstring_view name);

struct access_table {
  table_ptr def;
  std::vector<index_ptr> indexes;
  // In the file: loaded from it, or created there by TableDefs.Append.
  bool stored = false;
  std::ptrdiff_t find_index(std::wstring_view name) const;
};
using access_table_ptr = std::shared_ptr<access_table>;

struct access_recordset;

struct access_session {
  access_session(std::shared_ptr<error_state> errors, std::wstring name, sqlite3* db, bool read_only);
  access_session(const access_session&) = delete;
  access_session& operator=(const access_session&) = delete;
  ~access_session();

  std::shared_ptr<error_state> errors;
  std::wstring name;
  bool read_only;
  std::vector<access_table_ptr> tables;
  open_recordsets<access_recordset> recordsets;

  // The connection of an open session; 3420 once closed.
  sqlite3* db();
  std::ptrdiff_t find_table(std::wstring_view name) const;
  const access_table_ptr& table(std::wstring_view name) const;  // 3265 when unknown
  // A change of the database: 3027 when it was opened read-only.
  sqlite3* writable_db();
  // Closes the open recordsets and commits; the session ends even when the
  // commit fails (the file then keeps its previous state) and the failure is
  // raised.
  void close();

private:
  sqlite3* db_;
};
using access_session_ptr = std::shared_ptr<access_session>;

// The engine's two entry points for an Access database. `locale` may carry
// ";pwd=..." (the new database's password); `connect` is "" or ";pwd=...".
com_ref<DAODatabase> create_access_database(std::shared_ptr<error_state> errors, const std::wstring& path,
                                            std::wstring_view locale);
com_ref<DAODatabase> open_access_database(std::shared_ptr<error_state> errors, const std::wstring& path,
                                          std::wstring_view connect, bool exclusive, bool read_only);
// The password part of a connect or locale string ("" when there is none).
std::wstring password_of(std::wstring_view connect);
// The salted hash kept in the file for `password`, and its check.
std::string password_record(std::wstring_view password);
bool password_matches(std::wstring_view password, std::string_view record);

// The catalogue.
void create_catalogue(sqlite3* db, std::wstring_view password);
// Fails with 3343 when the file is not a database of this engine.
void check_catalogue(sqlite3* db);
std::string stored_password(sqlite3* db);
void load_tables(access_session& session);
// Creates the table with its fields and indexes, and records them.
void store_table(access_session& session, access_table& table);
void store_index(access_session& session, const access_table& table, const index_data& index);
void drop_table(access_session& session, const access_table& table);
struct stored_query {
  std::wstring name, sql;
};
std::vector<stored_query> load_queries(access_session& session);
void store_query(access_session& session, const stored_query& query);
std::vector<relation_data> load_relations(access_session& session);
void store_relation(access_session& session, const relation_data& relation);

// The objects.
com_ref<DAODatabase> make_access_database(access_session_ptr session);
com_ref<DAOTableDefs> make_access_tabledefs(access_session_ptr session);
com_ref<DAOTableDef> make_access_tabledef(access_session_ptr session, access_table_ptr table);
com_ref<DAOTableDef> new_access_tabledef(access_session_ptr session, std::wstring name, LONG attributes);
// A recordset over the rows of `sql`; `type` and `options` as
// QueryDef.OpenRecordset takes them.
com_ref<DAORecordset> open_access_recordset(access_session_ptr session, const std::wstring& sql, short type,
                                            LONG options);
// The fields `sql` gives, described from the catalogue where a column is a
// table's, else from its value.
std::shared_ptr<field_list> query_fields(access_session& session, const std::wstring& sql);
void close_access_recordset(access_recordset& recordset) noexcept;

} // namespace plat::dao
