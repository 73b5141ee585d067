// One worksheet part (xl/worksheets/sheet<n>.xml), streamed: the head is written
// when the sheet is made, every row and cell goes to the file as it is added, and
// Save() writes the tail and closes the file. Memory does not grow with the rows.
// The file is always the whole part; a sheet that is packed while it is written
// also sends every byte to the packer, and says afterwards whether the packer
// got exactly the file's bytes.
#pragma once

#include "xlsx/xlsx_file_writer.h"
#include "xlsx/xml_emitter.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace XlsxBook {

class CSharedStrings;
struct CommentData;
using CommentList = std::vector<CommentData>;

// Excel's grid.
inline constexpr std::uint32_t kMaxSheetRows = 1048576;
inline constexpr std::uint32_t kMaxSheetColumns = 16384;
// Longest sheet title, in UTF-16 units.
inline constexpr std::size_t kMaxTitleUnits = 31;

// A text cell; the text is read up to its first NUL and only while AddCell runs.
struct CellDataStr {
  std::wstring_view value;
  std::uint32_t style_id = 0;
};
struct CellDataDbl {
  double value = 0;
  std::uint32_t style_id = 0;
};
// Columns first..last (0-based) get the width.
struct ColumnWidth {
  std::uint32_t first = 0;
  std::uint32_t last = 0;
  float width = 0;
};

class CWorksheet {
public:
  // Creates <temp_folder>/xl/worksheets/sheet<number>.xml (and its folders) and
  // writes the head up to the pending sheetData. A part that cannot be created
  // raises tk_exception level 1 "Cannot create temporary file '<path>': <reason>".
  CWorksheet(std::uint32_t number, const std::vector<ColumnWidth>& widths,
             const std::wstring& temp_folder);
  // Without Save() the part is left well nested but without its tail.
  virtual ~CWorksheet();
  CWorksheet(const CWorksheet&) = delete;
  CWorksheet& operator=(const CWorksheet&) = delete;

  // Starts the next row (ending one still open); height 0 means the default.
  void OpenRow(std::uint32_t height = 0);
  void CloseRow();
  // One cell in the next column of the open row. An empty text, a number that
  // is not finite and a column past XFD write no cell; the column still advances.
  // Text cells need m_sharedStrings.
  void AddCell(const CellDataStr& data);
  void AddCell(const CellDataDbl& data);

  // Ends an open row and sheetData, writes the tail, fills in the true
  // dimension and closes the file. True when the whole part reached the disk;
  // false (reason in GetLastError()) on any write failure. A sheet already
  // closed writes nothing and gives the same answer again.
  bool Save();
  const std::string& GetLastError() const { return m_lastError; }
  bool IsOpen() const { return m_emitter != nullptr; }

  // Stores the title, taken up to its first NUL and cut to 31 UTF-16 units
  // (never inside a surrogate pair).
  void AssignTitle(const std::wstring& title);
  const std::wstring& GetTitle() const { return m_sheetTitle; }
  // The title escaped for XML (get_safe_string).
  std::wstring GetSafeTitle() const;

  // Text made safe for XML content and attribute values: the attribute form of
  // XmlText (xlsx/xml_text.h), so characters XML 1.0 forbids are dropped.
  static std::wstring get_safe_string(const std::wstring& text);

  // "A1" references: bijective base-26 letters of the 0-based column and the
  // 1-based row. MakeCellRef(column, row, buffer) writes them, without a
  // terminator, and returns the count (at most kCellRefMax: 7 letters, 10 digits).
  static constexpr std::size_t kCellRefMax = 17;
  static std::size_t MakeCellRef(std::uint32_t column, std::uint32_t row, char* buffer);
  static std::wstring MakeCellRef(std::uint32_t column, std::uint32_t row);
  // The packed form: column in the high 32 bits, row in the low ones.
  static std::wstring MakeCellRef(std::uint64_t position);

  std::uint32_t GetRowNumber() const { return m_rowNumber; }

  // From here on the part also goes to the packer, through the pipe that
  // `open_packer` opens once the first bytes leave the buffer. The dimension
  // in the head, which the packer would otherwise get before the rows that
  // decide it, is filled in now as `expected_rows` more data rows below the
  // rows so far make it. False when bytes reached the file already: the
  // packer must get the part from its start.
  // A part that grows past `limit` bytes is no longer streamed (StreamIntact
  // is false then).
  bool StreamTo(std::function<plat::unique_fd()> open_packer, std::uint64_t expected_rows,
                std::uint64_t limit = UINT64_MAX);
  // A write to the packer failed: its reader (zip) is gone.
  bool StreamBroken() const
  {
    return m_streamError != 0 || (m_partStream && m_partStream->MirrorError() != 0);
  }
  // After Save: the packer got the part, byte for byte as the file holds it
  // (the rows matched the expectation, or the head was still unsent when they
  // did not).
  bool StreamIntact() const { return m_streamIntact; }
  // The packer gets nothing more; the file goes on alone.
  void DropStream();

  // Fields the workbook reads or sets.
  std::vector<std::wstring> m_formulaRefs;
  CSharedStrings* m_sharedStrings = nullptr;  // borrowed, set by the workbook
  CommentList* m_commentList = nullptr;       // borrowed, set by the workbook
  std::vector<std::wstring> m_mergeRefs;
  std::uint32_t m_sheetNumber = 0;
  std::wstring m_tempFolder;
  std::wstring m_sheetTitle;
  bool m_hasFormulas = false;
  bool m_hasComments = false;
  std::uint32_t m_pageOrientation = 0;

private:
  void OpenSheetFile(std::uint32_t frozen_columns, std::uint32_t frozen_rows,
                     const std::vector<ColumnWidth>& widths);
  void WritePanes(std::uint32_t x, std::uint32_t y);
  bool WriteSheetRels();
  void NoteCell();
  void PatchDimension();
  // The dimension slot as it reads for the used range to (column, row); row 0
  // means no cell.
  static std::string DimensionSlot(std::uint32_t max_column, std::uint32_t max_row);
  bool Fail(const std::string& text);

  std::unique_ptr<CFileWriter> m_partStream;
  std::unique_ptr<CXmlEmitter> m_emitter;
  std::string m_lastError;
  std::uint64_t m_dimensionOffset = 0;
  std::string m_dimensionText;  // what the slot holds now
  bool m_streamed = false;
  bool m_streamIntact = false;
  int m_streamError = 0;
  std::uint32_t m_rowNumber = 0;
  std::uint32_t m_columnIndex = 0;
  bool m_rowOpen = false;
  // The used range from A1, for the dimension; no cell yet while m_maxRow is 0.
  std::uint32_t m_maxRow = 0;
  std::uint32_t m_maxColumn = 0;
};

} // namespace XlsxBook
