// The destination recordset of an .xlsx conversion: the header row of column
// names at construction, then one sheet row per appended record, each value a
// number or a text cell as its type says. Rows go straight to the sheet's part.
#pragma once

#include "TK/tk_exception.h"
#include "UDB/udb_recs.h"
#include "UDB/udb_schema.h"
#include "xlsx/xlsx_she.h"

#include <cstdint>
#include <string>

// A table reached the last row a sheet can hold: the records before it are in
// the sheet, the refused one and every later one are not. Level 0: the table
// copy reports it once and goes on with the next table.
class xlsx_row_limit_exception : public tk_exception {
public:
  xlsx_row_limit_exception(const std::wstring& table, std::uint64_t records_written);
  const std::wstring& get_table() const { return table_; }
  std::uint64_t get_records_written() const { return records_written_; }

private:
  std::wstring table_;
  std::uint64_t records_written_;
};

namespace XlsxBook {
class CWorkbook;
}

// The workbook as a whole cannot be made (zip failed or ended, the package could
// not be put in place): level 1, the run ends. It belongs to no table, whichever
// table's rows were being written when zip ended.
class xlsx_package_exception : public tk_exception {
public:
  using tk_exception::tk_exception;
};

// "Cannot create the destination file '<path>': <why>".
xlsx_package_exception xlsx_cannot_create(const std::wstring& destination, const std::string& why);

class xlsx_worksheet : public udb_recordset {
public:
  // Data rows a sheet holds below its header row.
  static constexpr std::uint32_t max_data_rows = XlsxBook::kMaxSheetRows - 1;

  // Writes the header row at once. The sheet is borrowed from its workbook.
  // max_rows lowers the data-row limit (tests); it never raises it.
  xlsx_worksheet(const std::wstring& name, XlsxBook::CWorksheet* sheet, const udb_schema& schema,
                 std::uint32_t max_rows = max_data_rows);
  ~xlsx_worksheet() override;

  // One data row from every field of the record, in order; count is not used.
  // Raises xlsx_row_limit_exception, writing nothing, once the sheet is full.
  void append_record(const udb_record& record, std::uint32_t count) override;
  // Closes the sheet part. A failure to write it raises tk_exception level 1.
  void save() override;

  std::uint32_t get_rows() const { return rows_; }
  std::uint32_t get_max_rows() const { return max_rows_; }
  XlsxBook::CWorksheet& get_sheet() { return *sheet_; }

  // The rows also go to the zip of `book`'s stream, packing `destination`:
  // a row after zip ended raises xlsx_cannot_create with zip's reason.
  void watch_stream(XlsxBook::CWorkbook* book, const std::wstring& destination);

private:
  XlsxBook::CWorksheet* sheet_;
  XlsxBook::CWorkbook* stream_book_ = nullptr;
  std::wstring destination_;
  std::uint32_t rows_ = 0;
  std::uint32_t max_rows_;
};
