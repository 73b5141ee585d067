// One open MySQL database: its base tables and views as the server listed them
// when it was opened, and the tables, queries and statements it runs on its
// engine's connection, which it borrows and never closes. It reads; what writes
// derives from it in SQL/write/ and follows its own engine (server version,
// limits, switches), never another engine of the process.
#pragma once

#include "SQL/sql_util.h"
#include "UDB/udb_db.h"

#include <mysql.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class sql_engine;
class sql_table;

// A user's SELECT prepared as a derived table and never executed. That it
// prepares proves the text is one query: a statement of another kind (an
// UPDATE, a DROP, a SELECT ... INTO) cannot stand in that place. The server's
// description of the prepared result gives the query's columns without
// evaluating anything.
class sql_query_description {
public:
  sql_query_description(sql_stmt_ptr statement, sql_result_ptr columns)
      : statement_(std::move(statement)), columns_(std::move(columns))
  {
  }

  unsigned field_count() const { return mysql_num_fields(columns_.get()); }
  // Valid as long as the description lives.
  MYSQL_FIELD* fields() const { return mysql_fetch_fields(columns_.get()); }
  // Question marks in the text: parameters here, a syntax error when it runs.
  unsigned long parameter_count() const { return mysql_stmt_param_count(statement_.get()); }

private:
  sql_stmt_ptr statement_;
  sql_result_ptr columns_;
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
  // The query prepared as a derived table, and its text as it stands prepared
  // too (the run reads that text); sql_exception (with the server's reason)
  // when either does not prepare or the query describes no columns.
  sql_query_description describe_query(const std::wstring& sql);

  // This class only reads: making, dropping or emptying a table and making
  // views or foreign keys raise an internal error. Writing is the business of
  // sql_write_database (SQL/write/), which no program links.
  std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema& schema,
                                              const udb_indexes& indexes) override;
  bool delete_tab(const std::wstring& name) override;
  void empty_table(const std::wstring& name) override;
  void create_views(const udb_views& views) override;
  void create_relationships(const udb_relationships& relationships) override;

  // A view definition without its first comment and without this database's
  // qualifier (`name`.), found ignoring case.
  std::wstring refine_view_out(const std::wstring& text) const;

  MYSQL* get_handle() const { return handle_; }
  sql_engine& get_engine() const { return engine_; }

protected:
  // The recordset get_table hands out over a listed table.
  virtual std::unique_ptr<sql_table> open_table(const std::wstring& listed, std::uint32_t mode);
  // The listed table of exactly that name, else the first that differs only in case.
  std::vector<std::wstring>::iterator find_listed(const std::wstring& name);

  sql_engine& engine_;
  MYSQL* handle_;

private:
  void init_tables();
  void init_views();
};
