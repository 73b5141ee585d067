// One .xlsx package under construction: its parts are files in a private
// temporary folder until Save packs them into the destination. The folder exists
// only while the workbook has something in it, and it is removed on every path
// (saved, failed or abandoned), so no exported data outlives the workbook.
// A workbook told its sheets in advance (StreamTo) has zip pack the sheets while
// their rows are written; the folder still gets every part whole, so whenever
// the packed stream could differ from what the folder holds, Save packs the
// folder as it would have without the stream, and the package is the same.
#pragma once

#include "xlsx/part_folder.h"
#include "xlsx/styles.h"

#include "platform/files.h"

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace XlsxBook {

class CWorksheet;      // xlsx/xlsx_she.h
struct ColumnWidth;    // xlsx/xlsx_she.h
class CSharedStrings;  // xlsx/shared_strings.h
class CDiagramSheet;   // xlsx/charts/chart_sheet.h
class ZipStream;       // xlsx/zip_packer.h

// The largest part zip is fed through a pipe; a larger one is packed from the
// folder. 0 restores the default (just below 4 GiB); tests lower it to show the
// fallback without gigabytes of rows.
void SetStreamedPartLimit(std::uint64_t bytes) noexcept;

// One run of formatted comment text.
struct CommentRunData {
  FontData font;
  std::wstring text;
};

// One cell comment: its text as runs, the cell, and the box that shows it
// (position and size in points). A box without a placement of its own (a
// negative position, or a width or height of 0 or less) becomes a default box
// beside its cell, anchored to the cell. A placed box lies inside the sheet's
// default grid: 16,384 columns of 48 points by 1,048,576 rows of 15 points.
// Colours are hex "RRGGBB" or "#RRGGBB", and a run's font colour (FontData,
// when not the theme colour) may also carry its alpha first: "AARRGGBB".
struct CommentData {
  std::int32_t sheet = 0;  // the sheet's number
  std::vector<CommentRunData> runs;
  std::uint64_t position = 0;  // column (from 0) in the high 32 bits, row (from 1) in the low
  std::wstring fill_colour = L"#ffffe1";  // the box's colour
  bool hidden = true;  // shown only while the cell is pointed at
  std::int32_t left = 0, top = 0, width = 0, height = 0;

  static std::uint64_t Position(std::uint32_t column, std::uint32_t row)
  {
    return (std::uint64_t{column} << 32) | row;
  }
};

// A sheet that shows a chart, as the workbook lists it among its sheets. The
// chart sheets' own library (xlsx/charts/) makes them and writes their parts, so
// the workbook reaches those writers only through the chart sheets it holds.
class CChartSheetEntry {
public:
  CChartSheetEntry(std::uint32_t sheet_number, const std::wstring& sheet_name)
      : number(sheet_number), name(sheet_name)
  {
  }
  virtual ~CChartSheetEntry() = default;
  CChartSheetEntry(const CChartSheetEntry&) = delete;
  CChartSheetEntry& operator=(const CChartSheetEntry&) = delete;

  // Writes the chart sheet's parts, listing each in the part list; false, with
  // the reason in the folder, when a part could not be written.
  virtual bool WriteParts(PartFolder& parts) = 0;

  std::uint32_t number = 0;  // chart<number>.xml, chartsheets/sheet<number>.xml, ...
  std::wstring name;  // the sheet tab, as CWorkbook::AddChartSheet made it readable and unique
};

// What the comments and the chart sheets add lives in libraries of their own
// (xlsx/comments/, xlsx/charts/), which define AddComment and AddChartSheet: a
// program that never calls them carries neither them nor their part writers.
class CWorkbook {
public:
  // Nothing is created on disk until the first sheet or Save.
  CWorkbook();
  // Deletes the sheets and chart sheets, then removes the temporary folder if
  // it still exists.
  virtual ~CWorkbook();
  CWorkbook(const CWorkbook&) = delete;
  CWorkbook& operator=(const CWorkbook&) = delete;

  // A new sheet whose part file is created at once. The title follows the
  // rules every reader holds sheet names to: characters XML cannot carry are
  // dropped, the rest is cut to 31 UTF-16 units, and each of : \ / ? * [ ]
  // becomes "_", as does an apostrophe at either end. An empty title becomes
  // "Sheet<n>", and a title that a reader holds equal to an earlier sheet's or
  // chart sheet's (plat::equal_in_any_case: ı and I, ß and ss too) becomes its first 26 units and a five-digit counter. Raises
  // tk_exception level 1 when the temporary folder or the sheet's part file
  // cannot be created.
  CWorksheet* AddSheet2(const std::wstring& title, const std::vector<ColumnWidth>& widths);

  // Attaches a comment to a cell of the sheet numbered comment.sheet. False,
  // and nothing kept, when no such sheet exists, when it is saved already, when
  // the cell lies outside the grid, when it has a comment already (readers
  // take one per cell), when a colour is not in a form CommentData lists or
  // when a placed box reaches past the sheet. The first comment installs the
  // writer of the comment parts (xlsx/comments/).
  bool AddComment(CommentData comment);
  const std::vector<CommentData>& GetComments() const { return m_commentList; }

  // A new chart sheet, numbered after the chart sheets so far, whose chart part
  // is created at once. Its name follows the rules of a worksheet title and is
  // unique among all sheet names. The caller fills in the series and settings
  // before Save.
  // Raises tk_exception level 1 when the part cannot be created.
  CDiagramSheet& AddChartSheet(const std::wstring& name);
  const std::vector<std::unique_ptr<CChartSheetEntry>>& GetCharts() const { return charts; }
  // The chart sheet's name escaped for the properties part (the workbook part
  // escapes the _xHHHH_ that its readers decode, too).
  static std::wstring GetSafeTitle(const CChartSheetEntry& chart);

  // Writes the remaining parts (xlsx/part_writers.h), closes the sheets and
  // packs the folder into the destination (replaced only when packing
  // succeeded). False when anything failed; GetSaveError() then says what. The
  // temporary folder is gone afterwards either way, and a failed save leaves no
  // destination behind.
  bool Save(const std::wstring& destination);
  // Why the last Save failed, as a sentence for the user; empty after success.
  const std::string& GetSaveError() const { return m_saveError; }

  // Starts zip on the package that Save will write to `destination`, before
  // any sheet exists, for `sheets` sheets to come: each sheet is packed while
  // its rows are written (StreamSheet), the other parts at Save. False (and
  // nothing started) when zip cannot be started; Save then packs as usual.
  bool StreamTo(const std::wstring& destination, std::uint32_t sheets);
  // The sheet's rows go to zip from now on, `expected_rows` more data rows
  // predicted. A sheet out of zip's order or already larger than its buffer
  // quietly leaves the packing to Save. False, with the reason, when zip has
  // ended (died or stopped): the package cannot be made.
  bool StreamSheet(CWorksheet& sheet, std::uint64_t expected_rows, std::string& error);
  // Why zip ended while sheets were packed, once a sheet's StreamBroken() says so.
  std::string StreamFailure();

  // Ends a stream's zip, then removes the temporary folder and everything in
  // it; nothing when it does not exist. Never raises.
  void RemoveTempFolder();

  // The temporary folder (absolute); empty until it is created.
  const std::wstring& GetTempFolder() const { return m_tempFolder; }
  // Part names relative to the temporary folder, written or to be written.
  const std::vector<std::wstring>& GetPartList() const { return m_partList; }
  // The temporary folder as the part writers write into it, listing each part
  // in the part list. Its root is empty while the folder does not exist.
  PartFolder Parts() { return PartFolder(m_tempFolder, m_partList); }
  const std::vector<std::unique_ptr<CWorksheet>>& GetSheets() const { return m_sheets; }
  CSharedStrings& GetSharedStrings() { return *m_sharedStrings; }
  const CSharedStrings& GetSharedStrings() const { return *m_sharedStrings; }
  StyleRegistry& GetStyles() { return m_styles; }
  const StyleRegistry& GetStyles() const { return m_styles; }

private:
  // Creates the private temporary folder when it does not exist yet; false,
  // with the reason in `error`, when it cannot.
  bool CreateTempFolder(std::string& error);
  // Creates the temporary folder for a new sheet or chart sheet; raises
  // tk_exception level 1 when it cannot.
  void EnsureTempFolder();
  // The last steps of Save before packing: every sheet writes its tail (step
  // #1), every chart sheet its parts (step #2), each listed in the part list.
  bool SaveSheets(PartFolder& parts);
  bool SaveChartSheets(PartFolder& parts);
  // The stream's package holds exactly what the folder holds so far: every
  // sheet it was told of, each packed intact, and no part it does not know.
  bool StreamMatchesFolder() const;
  // Feeds the parts after the sheets to the stream and lets zip finish.
  bool FinishStream();
  // Copies the folder's part `name`, the stream's next entry, into its pipe.
  bool FeedPart(std::string_view name);
  // From here on Save packs the folder; the stream and its zip end.
  void DropStream(const char* why);
  // The sheets write their files alone from now on.
  void DropSheetStreams(const char* why);
  bool Fail(std::string reason);
  // A sheet title that is not empty and that no earlier sheet or chart sheet has.
  std::wstring UniqueTitle(const std::wstring& wanted, std::uint32_t number) const;

  plat::private_temp_folder m_folder;
  std::wstring m_tempFolder;  // m_folder's path as wide text; empty while there is none
  std::vector<std::wstring> m_partList;
  std::vector<std::unique_ptr<CWorksheet>> m_sheets;
  std::vector<std::unique_ptr<CChartSheetEntry>> charts;
  std::unique_ptr<CSharedStrings> m_sharedStrings;
  std::vector<CommentData> m_commentList;
  // The comment parts' writer, installed by the first comment; none without comments.
  bool (*m_commentsWriter)(const std::vector<CommentData>& comments, PartFolder& parts) = nullptr;
  std::set<std::pair<std::int32_t, std::uint64_t>> m_commentedCells;  // (sheet, position)
  StyleRegistry m_styles;
  std::string m_saveError;
  std::unique_ptr<ZipStream> m_stream;
  std::uint32_t m_streamSheets = 0;
  std::string m_streamTarget;
};

} // namespace XlsxBook
