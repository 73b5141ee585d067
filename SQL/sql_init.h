// The column and index clauses of one CREATE TABLE. Every column gets a name the
// server accepts (the renamed ones are recorded, source name to new name), and
// every index clause the server would refuse is left out, so that the table itself
// is always created: an index is given up, never the table.
#pragma once

#include "SQL/sql_types.h"
#include "UDB/udb_index.h"
#include "UDB/udb_names_map.h"

#include <memory>
#include <string>
#include <vector>

class udb_properties;
class udb_validator;

class sql_schema_initializer {
public:
  // `auto_increment_name` receives the auto-increment column's name when the
  // clauses are made; `indexes` are the source table's, by source column names.
  sql_schema_initializer(const std::wstring& table, const udb_schema& source,
                         const udb_indexes& indexes, std::wstring& auto_increment_name);
  ~sql_schema_initializer();
  sql_schema_initializer(const sql_schema_initializer&) = delete;
  sql_schema_initializer& operator=(const sql_schema_initializer&) = delete;

  // Appends one clause per column, in column order. `table_node` is the table's
  // node of the caller's property tree, or null. A second auto-increment column is
  // an internal error.
  void get_init_chunks(std::vector<std::wstring>& chunks, const udb_properties* table_node);

  const sql_schema& get_schema() const { return schema_; }
  // Source column name to the name the column got, for the renamed columns.
  const t_names_map& get_names_map() const;

private:
  std::wstring column_clause(std::size_t i, const udb_properties* table_node);

  std::wstring table_;
  sql_schema schema_;
  std::vector<std::wstring> source_names_;  // per column of schema_
  std::wstring& auto_increment_name_;
  const udb_indexes& indexes_;
  std::unique_ptr<udb_validator> validator_;
};

class sql_indexes_initializer {
public:
  // `columns` and `names_map` are those of the table's sql_schema_initializer,
  // which must outlive this object.
  sql_indexes_initializer(const sql_schema& columns, const udb_indexes& source,
                          const std::wstring& auto_increment_name, const t_names_map& names_map);

  // Appends one clause per index the server takes, then an index for the
  // auto-increment column when no written index holds it.
  void get_init_chunks(std::vector<std::wstring>& chunks);

  const udb_indexes& get_indexes() const { return indexes_; }

private:
  // The index's clause, or an empty text when the index is given up.
  std::wstring index_clause(const udb_index& index, bool& holds_auto_increment) const;
  // The name a source field has among the new table's columns.
  std::wstring column_name_of(const std::wstring& field) const;

  udb_indexes indexes_;
  std::wstring auto_increment_name_;
  const sql_schema& columns_;
  const t_names_map& names_map_;
};
