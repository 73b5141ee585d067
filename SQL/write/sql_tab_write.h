// A MySQL base table as a destination: the source table with rows appended,
// changed and removed. Only a sql_write_database opens one; rows gathered and
// not yet sent go out at the latest when it is deleted.
#pragma once

#include "SQL/sql_tab.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class sql_write_database;
struct sql_write_outcome;

class sql_write_table : public sql_table {
public:
  // Built by sql_write_database only, which must outlive it.
  sql_write_table(sql_write_database* owner, const std::wstring& name,
                  udb_relationships* relationships, std::uint32_t mode);
  ~sql_write_table() override;

  // Adds one row, matched to the columns by name: gathered into one multi-row
  // statement while the engine appends fast, else sent at once. A record that
  // does not fit the table's columns raises and leaves nothing behind. Rows the
  // server ignores (INSERT IGNORE) or takes with a changed value are reported
  // through the installed tk_error_reporter once their statement has gone, with
  // the server's first reasons, and do not count as appended.
  void append_record(const udb_record& record, std::uint32_t count) override;
  // Sends the gathered rows; their failure raises.
  void save() override;
  // Sends the gathered rows and forgets them, also when the server refuses them
  // (which raises).
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
  // How records whose fields bear these names map to the table's columns.
  struct write_plan {
    std::vector<std::wstring> field_names;
    std::uint32_t server_version = 0;
    bool fits = false;                   // every column (or field) found its match
    std::vector<std::size_t> fields;     // per item: the record field
    std::vector<const t_ftd*> columns;   // per item: the column written
    std::string columns_by_version;      // the column list, bare on old servers
    std::string columns_quoted;          // the column list, always quoted
    std::string table_by_version;        // the table's name, bare on old servers
    bool columns_first = true;
  };

  sql_write_database& database() const;
  void fast_append(const udb_record& record);
  void slow_append(const udb_record& record);
  // How records named as this one map to the columns; raises when they do not fit.
  const write_plan& plan_for(const udb_record& record, bool fast);
  // The row as one statement of its own: a prepared one when the row is larger
  // than a statement may be, with its long values as parameters.
  void send_row(const udb_record& record, const write_plan& plan, const char* keyword,
                bool safe_names, bool prepared);
  // With `parameters`, the long values (or, with `every_text`, all texts and
  // byte arrays) become placeholders listed there.
  void append_values(const udb_record& record, const write_plan& plan, std::string& out,
                     std::vector<const udb_field*>* parameters, bool every_text = false) const;
  // After a statement of `rows` rows: those the server refused or changed are
  // reported and no longer counted.
  void account_written(std::uint64_t rows, const sql_write_outcome& outcome);

  std::uint32_t cached_rec_size_ = 0;  // fields of the rows gathered in pending_query_
  std::uint32_t pending_rows_ = 0;     // rows gathered in pending_query_
  std::string pending_query_;          // rows gathered, not yet sent
  std::string pending_head_;           // keyword, table and columns of pending_query_
  std::unique_ptr<write_plan> plan_;   // the last records' shape, reused while it lasts
  std::string head_;                   // buffers reused from row to row
  std::string values_;
};
