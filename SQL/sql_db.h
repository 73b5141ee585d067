// One open MySQL database: its base tables and views as the server listed them
// when it was opened, and the tables, queries and statements it runs on its
// engine's connection, which it borrows and never closes. Everything it writes
// follows its own engine (server version, limits, switches), never another
// engine of the process.
#pragma once

#include "UDB/udb_db.h"

#include <mysql.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class sql_engine;
class udb_field;
class udb_record;

// What the server said of a statement that wrote rows.
struct sql_write_outcome {
  std::uint64_t affected = 0;  // rows written (a REPLACE counts a replaced row twice)
  unsigned warnings = 0;       // the statement's warning count
};

class sql_database : public udb_database {
public:
  // Lists the base tables and, unless the mode has bit 0x80, the views, on the
  // engine's connection; the engine must outlive the database.
  sql_database(sql_engine& engine, const std::wstring& name, std::uint32_t mode);
  ~sql_database() override;

  // A new source recordset over the table, which must be one the database
  // lists (an internal error otherwise): the listed table of exactly that
  // name, else the first one whose name differs only in case.
  std::unique_ptr<udb_recordset> get_table(const std::wstring& name, std::uint32_t mode) override;
  // A new source recordset over the SELECT's rows; the mode is not used.
  std::unique_ptr<udb_recordset> get_query(const std::wstring& name, const std::wstring& sql,
                                           std::uint32_t mode) override;
  // The statement's rows, a batch at a time, or null when it yields none;
  // sql_exception when it fails. The recordset must be deleted before the next
  // statement is sent.
  std::unique_ptr<udb_recordset> query(const std::wstring& sql) override;
  // True when the server can read the query as a run reads it. The statement
  // is only prepared and its columns read from the server's description of it:
  // nothing is evaluated, no table is read, and the text never runs.
  bool test_query(const std::wstring& sql) override;

  // CREATE TABLE with the columns and indexes the server takes, then the new table
  // opened for appending; its field-name map joins the names map. A table the
  // database lists under exactly that name (or, on a server that folds names,
  // under another case) is opened as it is and nothing is made. A row the
  // server finds too large gets its widest VARCHARs as TEXT until it fits; that,
  // and a unique key the server would not take, is reported through the
  // installed tk_error_reporter, and the table is made.
  std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema& schema,
                                              const udb_indexes& indexes) override;
  // DROP TABLE of a table the database lists, found as get_table finds it (an
  // internal error when none is).
  bool delete_tab(const std::wstring& name) override;
  // Deletes every row of the table.
  void empty_table(const std::wstring& name) override;

  // The views, each text rewritten by refine_view_in; a view the server refuses
  // is reported through the installed tk_error_reporter and skipped.
  void create_views(const udb_views& views) override;
  // The foreign keys, each with an index on both sides; a key that cannot be
  // made is reported and skipped. The call leaves no table locked and the
  // foreign-key checks on.
  void create_relationships(const udb_relationships& relationships) override;
  // An index over the fields (source names, mapped for the table) unless some
  // index of the table starts with them; failures raise.
  void create_fk_index_if(const std::wstring& table, const std::vector<std::wstring>& fields);

  // Runs one UTF-8 statement that yields no rows; sql_exception when it fails.
  // What it wrote is last_write_outcome's until the next statement.
  void query_append(const std::string& statement);
  sql_write_outcome last_write_outcome() const;
  // Runs one UTF-8 statement whose question marks stand, in order, for the
  // fields listed: their texts (as UTF-8) or bytes travel as long data. Every
  // failure is sql_prep_stmt_failed_exception with the server's reason.
  sql_write_outcome prepared_statement(const std::string& statement, const udb_record& record,
                                       const std::vector<const udb_field*>& parameters);

  // A view definition without its first comment and without this database's
  // qualifier (`name`.), found ignoring case.
  std::wstring refine_view_out(const std::wstring& text) const;
  // A view text of another dialect as MySQL reads it: blanks collapsed, renamed
  // tables and fields in backquotes, brackets as backquotes, six functions of
  // other dialects rewritten, and a closing ";".
  std::wstring refine_view_in(const std::wstring& text) const;

  MYSQL* get_handle() const { return handle_; }
  sql_engine& get_engine() const { return engine_; }

private:
  void init_tables();
  void init_views();
  // The listed table of exactly that name, else the first that differs only in case.
  std::vector<std::wstring>::iterator find_listed(const std::wstring& name);

  sql_engine& engine_;
  MYSQL* handle_;
};
