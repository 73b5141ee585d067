// A MySQL database that is written: tables made, dropped and emptied, rows sent
// by the statement runners the row writer uses, views and foreign keys made. It
// is the reading database with the writing side added; only a sql_write_engine
// opens one, so a program that never writes carries none of this.
#pragma once

#include "SQL/sql_db.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class sql_write_engine;
class udb_field;
class udb_record;

// What the server said of a statement that wrote rows.
struct sql_write_outcome {
  std::uint64_t affected = 0;  // rows written (a REPLACE counts a replaced row twice)
  unsigned warnings = 0;       // the statement's warning count
};

class sql_write_database : public sql_database {
public:
  sql_write_database(sql_write_engine& engine, const std::wstring& name, std::uint32_t mode);

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

  // A view text of another dialect as MySQL reads it: blanks collapsed, renamed
  // tables and fields in backquotes, brackets as backquotes, six functions of
  // other dialects rewritten, and a closing ";".
  std::wstring refine_view_in(const std::wstring& text) const;

protected:
  // Its tables are destinations too.
  std::unique_ptr<sql_table> open_table(const std::wstring& listed, std::uint32_t mode) override;
};
