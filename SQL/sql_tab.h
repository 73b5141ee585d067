// A MySQL base table as a source: the recordset over its rows, with column
// descriptors refined from the server's own description of the table, its indexes
// and its foreign keys. The blob-to-text flag it switches on for the description
// is back to its previous value on every way out. Writing into a table is
// sql_write_table's (SQL/write/).
#pragma once

#include "SQL/sql_recs.h"

#include <cstdint>
#include <string>

class sql_table : public sql_recordset {
public:
  // Built by sql_database::get_table only (a sql_write_database's as a
  // sql_write_table).
  sql_table(sql_database* owner, const std::wstring& name, udb_relationships* relationships,
            std::uint32_t mode);
  ~sql_table() override;

  // Refines the columns; unless the mode means "no indexes" (no bit other than
  // 0x20 and 0x40 set) reads the indexes and foreign keys too.
  void initialize(std::uint32_t mode);

private:
  void refine_columns();
  void read_indexes();
  void read_foreign_keys();
};
