// The recordsets of the MySQL engine: sql_tmp_recordset, a forward cursor over one
// statement's streamed result (catalogue listings, counts), and sql_recordset, the
// source cursor over a table or query. Both hold a bounded batch of rows, and
// neither may outlive the database that made it or share the connection with
// another open stream.
#pragma once

#include "SQL/sql_limq.h"
#include "SQL/sql_rec.h"
#include "SQL/sql_util.h"
#include "UDB/udb_recs.h"
#include "UDB/udb_relship.h"

#include <mysql.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class sql_database;

class sql_tmp_recordset : public udb_recordset {
public:
  static constexpr std::uint32_t cache_size = 1000;

  // Runs the UTF-8 statement and takes its result; reads no rows yet.
  sql_tmp_recordset(MYSQL* handle, const std::string& statement);
  // Takes over a streamed result and reads its first rows.
  sql_tmp_recordset(MYSQL* handle, MYSQL_RES* result);
  ~sql_tmp_recordset() override;

  // Reads the first batch; a recordset without a result is an internal error.
  void initialize();
  void fill_cache();
  void clean_cache();

  void append_record(const udb_record& record, std::uint32_t count) override;
  udb_record* get_item() override;
  bool is_eof() override;
  void next() override;
  // Back to the first record of the batch held now.
  void reset() override;

protected:
  unsigned get_field_count() const { return field_count_; }
  MYSQL_FIELD* get_fields() const { return fields_; }

private:
  void take_result();

  MYSQL* handle_;
  unsigned field_count_ = 0;
  MYSQL_FIELD* fields_ = nullptr;
  std::uint32_t position_ = 0;
  sql_result_ptr result_;
  std::vector<std::unique_ptr<sql_record>> cache_;
  std::uint32_t cached_ = 0;  // records of the current batch
  std::unique_ptr<sql_row_plan> plan_;
  bool ended_ = false;
};

// "SHOW DATABASES", names read as text whatever flags the server gives them.
class sql_list_databases_rs : public sql_tmp_recordset {
public:
  explicit sql_list_databases_rs(MYSQL* handle);
};

// The base tables of the current database.
class sql_list_tables_rs : public sql_tmp_recordset {
public:
  explicit sql_list_tables_rs(MYSQL* handle);
};

class sql_recordset : public udb_recordset {
public:
  // A table.
  sql_recordset(sql_database* owner, const std::wstring& name, udb_relationships* relationships);
  // A SELECT query.
  sql_recordset(sql_database* owner, const std::wstring& name, const std::wstring& query_text,
                udb_relationships* relationships);
  ~sql_recordset() override;

  void append_record(const udb_record& record, std::uint32_t count) override;
  udb_record* get_item() override;
  bool is_eof() override;
  void next() override;
  void prev() override;
  void reset() override;

  // Forgets the rows of the page.
  void clean();
  std::int64_t get_rec_count();

protected:
  sql_database* get_sql_owner() const { return sql_owner_; }
  udb_relationships* get_relationships() const { return relationships_; }
  // The MySQL type of each column, in result order.
  const std::vector<int>& get_field_types() const { return field_types_; }

private:
  void initialize();

  sql_database* sql_owner_;
  std::unique_ptr<sql_limited_query> stream_;
  // A query's count, taken when it was opened, that no reading has used yet.
  bool count_unread_ = false;
  udb_relationships* relationships_;
  std::uint64_t position_ = 0;
  std::uint32_t page_slot_ = 0;
  std::uint32_t page_rows_ = 0;  // slots of the page that hold rows of this page
  sql_limited_query::page page_;
  std::vector<int> field_types_;
  // The table's columns as the stream selects them, empty for *: a copy reads
  // each FLOAT with every digit of its single.
  std::wstring select_columns_;
};
