// The Excel side of the DAO stand-in: one workbook session in BIFF5 ("Excel
// 5.0;", stream "Book") or BIFF8 ("Excel 8.0;", stream "Workbook"). Opening
// parses only the globals of an existing workbook; new sheets spool their cells
// and strings to temporary files, so memory stays flat whatever the row count;
// close() writes a private file beside the destination and renames it over it.
// The destination is locked from open to close and never touched before close.
#pragma once

#include "platform/dao/dao_error.h"
#include "platform/dao/dao_interfaces.h"
#include "platform/oleaut/variant.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace plat::dao {

enum class biff_version { biff5, biff8 };

struct excel_column {
  std::wstring name;
  short type = db_text;  // a DAO field type
};

class excel_workbook {
public:
  // The workbook at `path` (UTF-8): an existing file must be a workbook of
  // this BIFF version (else 3274); a missing one gives an empty workbook, its
  // folder checked for writing (else 3044). A file locked by another session
  // raises 3051. Raises dao_error.
  excel_workbook(const std::string& path, biff_version version);
  // Discards what was not closed; the destination stays as it was.
  ~excel_workbook();
  excel_workbook(const excel_workbook&) = delete;
  excel_workbook& operator=(const excel_workbook&) = delete;

  biff_version version() const;

  // Sheets in workbook order: those of the existing file, then the added ones.
  std::size_t sheet_count() const;
  // The full name given to add_sheet (the file holds it cut to 31 UTF-16
  // units and made unique), or the name read from the file.
  const std::wstring& sheet_name(std::size_t sheet) const;
  // Data rows (the header row not counted).
  std::uint32_t sheet_rows(std::size_t sheet) const;
  // The columns of an added sheet; empty for a sheet read from the file.
  const std::vector<excel_column>& sheet_columns(std::size_t sheet) const;
  // The sheet of that name, compared without case; -1 when there is none.
  std::ptrdiff_t find_sheet(const std::wstring& name) const;

  // A new sheet whose row 0 holds the column names. A taken name (without
  // case) raises 3010; more than 256 columns or a binary column type 3259.
  std::size_t add_sheet(const std::wstring& name, const std::vector<excel_column>& columns);
  // One data row; values[i] belongs to column i (fewer values leave the rest
  // empty). VT_EMPTY/VT_NULL write no cell. A value that does not fit its column
  // raises 3421, a date outside Excel's range 3349, a row past the format's last
  // 3434; the row is then not written. Only added sheets take rows (else 3219).
  void append_row(std::size_t sheet, const VARIANT* values, std::size_t count);

  // Writes the workbook (never one without a sheet: then the destination is
  // left as it was) and releases the lock. A failure raises dao_error and
  // leaves the previous file in place. A second close does nothing.
  void close();

private:
  class impl;
  std::unique_ptr<impl> impl_;
};

} // namespace plat::dao
