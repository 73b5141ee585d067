// The column and index clauses of one CREATE TABLE. Every column gets a name the
// server accepts (the renamed ones are recorded, source name to new name), and
// every index clause the server would refuse is left out, so that the table itself
// is always created: an index is given up, never the table.
#pragma once

#include "SQL/write/sql_types.h"
#include "UDB/udb_index.h"
#include "UDB/udb_names_map.h"

#include <memory>
#include <string>
#include <vector>

class sql_engine;
class udb_properties;
class udb_validator;

class sql_schema_initializer {
public:
  // `auto_increment_name` receives the auto-increment column's name when the
  // clauses are made; `indexes` are the source table's, by source column names.
  // The engine (its server version and character set) must outlive the object.
  sql_schema_initializer(const sql_engine& engine, const std::wstring& table, const udb_schema& source,
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
  // The widest VARCHAR column becomes a TEXT (a row the server finds too large
  // fits once enough of them are); its name, or empty when none is left. Clauses
  // made afterwards declare it so.
  std::wstring widen_widest_text();

private:
  std::wstring column_clause(std::size_t i, const udb_properties* table_node);

  const sql_engine& engine_;
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
  // which must outlive this object, as must the engine.
  sql_indexes_initializer(const sql_engine& engine, const sql_schema& columns, const udb_indexes& source,
                          const std::wstring& auto_increment_name, const t_names_map& names_map);

  // Appends one clause per index the server takes, then an index for the
  // auto-increment column when no written index holds it. Key parts keep their
  // prefix lengths.
  void get_init_chunks(std::vector<std::wstring>& chunks);

  const udb_indexes& get_indexes() const { return indexes_; }
  // What the last get_init_chunks could not make of the unique and primary
  // keys, one sentence each: the server would take rows they refuse.
  const std::vector<std::wstring>& get_given_up_keys() const { return given_up_keys_; }
  // The indexes whose text parts the last get_init_chunks cut to fit the key
  // limits; only keys that refuse no row are cut.
  const std::vector<std::wstring>& get_cut_keys() const { return cut_keys_; }
  // The most bytes the server takes for a key and for one part of it, when it
  // said less than the usual 3,072 (a COMPACT row format, MyISAM).
  void limit_keys(std::uint64_t key_bytes, std::uint64_t part_bytes);

private:
  // The index's clause, or an empty text when the index is given up, and then
  // why not.
  std::wstring index_clause(const udb_index& index, bool& holds_auto_increment, std::wstring& why_not,
                           bool& cut) const;
  // The name a source field has among the new table's columns.
  std::wstring column_name_of(const std::wstring& field) const;

  const sql_engine& engine_;
  udb_indexes indexes_;
  std::vector<std::wstring> given_up_keys_;
  std::vector<std::wstring> cut_keys_;
  std::uint64_t key_bytes_ = 0;  // 0: the usual limits
  std::uint64_t part_bytes_ = 0;
  std::wstring auto_increment_name_;
  const sql_schema& columns_;
  const t_names_map& names_map_;
};
