// The .xlsx destination behind the engine-neutral database interface: every
// create_table becomes a sheet of one workbook, written to the destination path
// when the run is over. Nothing reaches the destination before save, and a save
// that fails is reported, never passed off as success.
#pragma once

#include "UDB/udb_db.h"

#include <memory>
#include <string>

namespace XlsxBook {
class CWorkbook;
}

class xlsx_database : public udb_database {
public:
  // The destination path is the database's name. With one_book_per_table every
  // table becomes a workbook of its own, written by save_table into the folder
  // that the path names.
  xlsx_database(const std::wstring& destination, bool one_book_per_table);
  // An unsaved workbook is discarded together with its temporary folder.
  ~xlsx_database() override;

  // A new sheet named after the table, its header row already written; the
  // indexes are ignored.
  std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema& schema,
                                              const udb_indexes& indexes) override;
  // No recordset: a workbook is not read back.
  std::unique_ptr<udb_recordset> get_query(const std::wstring& name, const std::wstring& sql,
                                           std::uint32_t mode) override;
  // Not supported: an internal error.
  std::unique_ptr<udb_recordset> get_table(const std::wstring& name, std::uint32_t mode) override;
  bool test_query(const std::wstring& sql) override;

  // Writes the workbook to the destination and lets it go; one without a sheet
  // is let go unsaved, and the destination stays as it was. A failed save raises
  // tk_exception level 1 "Cannot create the destination file '<path>': <why>".
  void save();
  // Closes one table's sheet; with one_book_per_table also writes its workbook
  // as "<folder>/<table>[(n)].xlsx" (n > 0 adds the suffix), failing as save.
  void save_table(udb_recordset* table, int n);

  bool has_workbook() const { return workbook_ != nullptr; }

  // The run will make `sheets` sheets: zip packs each while its rows are
  // written (a workbook that turns out otherwise is packed at save, the same).
  void stream_sheets(std::uint32_t sheets);
  // `rows` more records will be appended to the table (at most; fewer only
  // cost the early packing). Raises xlsx_cannot_create when zip has ended.
  void expect_rows(udb_recordset* table, std::uint64_t rows);

private:
  void save_workbook(const std::wstring& path);

  std::unique_ptr<XlsxBook::CWorkbook> workbook_;
  bool one_book_per_table_;
};
