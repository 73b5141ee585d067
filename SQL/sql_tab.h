// A MySQL base table as a source: the recordset over its rows, with column
// descriptors refined from the server's own description of the table, its indexes
// and its foreign keys. The blob-to-text flag it switches on for the description is
// back to its previous value on every way out.
#pragma once

#include "SQL/sql_recs.h"

#include <cstdint>
#include <string>

class sql_table : public sql_recordset {
public:
  // Built by sql_database::get_table only.
  sql_table(sql_database* owner, const std::wstring& name, udb_relationships* relationships,
            std::uint32_t mode);
  ~sql_table() override;

  // Refines the columns; unless the mode means "no indexes" (no bit other than
  // 0x20 and 0x40 set) reads the indexes and foreign keys too.
  void initialize(std::uint32_t mode);

  // The writing side of the engine is not built: this raises a level-1 tk_exception.
  void append_record(const udb_record& record, std::uint32_t count) override;
  // Sends the rows appended and not yet sent; raises when the server refuses them.
  void send_pending();

  // Rows changed or removed by a tagged key (see sql_sync) or by the record's
  // key fields. Rows appended before are sent first; a statement the server
  // refuses is logged and the rows stay as they were.
  void update(const udb_record& record, const std::wstring& key) override;
  // Only when the record names every column of the table's key.
  void update(const udb_record& record) override;
  void delete_key(const std::wstring& key) override;
  // The rows whose columns equal all the record's fields (NULL equals NULL).
  void delete_key(const udb_record& record) override;

private:
  void refine_columns();
  void read_indexes();
  void read_foreign_keys();

  std::uint32_t cached_rec_size_ = 0;  // kept for the row writer
  std::string pending_query_;          // likewise
};
