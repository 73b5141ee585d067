// One .xlsx package under construction: its parts are files in a private
// temporary folder until Save packs them into the destination. The folder exists
// only while the workbook has something in it, and it is removed on every path
// (saved, failed or abandoned), so no exported data outlives the workbook.
#pragma once

#include "xlsx/chart_sheet.h"
#include "xlsx/styles.h"

#include "platform/files.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace XlsxBook {

class CWorksheet;      // xlsx/xlsx_she.h
struct ColumnWidth;    // xlsx/xlsx_she.h
class CSharedStrings;  // xlsx/shared_strings.h
class CXmlEmitter;     // xlsx/xml_emitter.h

// One run of formatted comment text.
struct CommentRunData {
  FontData font;
  std::wstring text;
};

// One cell comment: its text as runs, the cell, and the box that shows it
// (position and size in points). A box without a placement of its own (a
// negative position, or a width or height of 0 or less) becomes a default box
// beside its cell, anchored to the cell.
struct CommentData {
  std::int32_t sheet = 0;  // the sheet's number
  std::vector<CommentRunData> runs;
  std::uint64_t position = 0;  // column (from 0) in the high 32 bits, row (from 1) in the low
  std::wstring fill_colour = L"#ffffe1";  // a VML colour
  bool hidden = true;  // shown only while the cell is pointed at
  std::int32_t left = 0, top = 0, width = 0, height = 0;

  static std::uint64_t Position(std::uint32_t column, std::uint32_t row)
  {
    return (std::uint64_t{column} << 32) | row;
  }
};

// Writes one part file: its folders, a UTF-8 file writer, an emitter on it that
// `write` fills. False, with the reason in `error`, when the path is too long or
// the file could not be written completely.
bool WritePartFile(const std::wstring& path, const std::function<void(CXmlEmitter&)>& write,
                   std::string& error);

// Creates the missing folders of a part path (everything before its last '/' or
// '\', either read as '/'); the last component is never created. A folder that
// exists already is no error; false (errno set) when one cannot be made.
bool make_part_folders(const std::wstring& path);

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
  // "Sheet<n>", and a title equal (ignoring case) to an earlier sheet's or
  // chart sheet's becomes its first 26 units and a five-digit counter. Raises
  // tk_exception level 1 when the temporary folder or the sheet's part file
  // cannot be created.
  CWorksheet* AddSheet2(const std::wstring& title, const std::vector<ColumnWidth>& widths);

  // Attaches a comment to a cell of the sheet numbered comment.sheet. False,
  // and nothing kept, when no such sheet exists, when it is saved already, when
  // the cell lies outside the grid or when it has a comment already (readers
  // take one per cell).
  bool AddComment(CommentData comment);
  const std::vector<CommentData>& GetComments() const { return m_commentList; }

  // A new chart sheet, numbered after the chart sheets so far, whose chart part
  // is created at once. Its name follows the rules of a worksheet title and is
  // unique among all sheet names. The caller fills in the series and settings
  // before Save.
  // Raises tk_exception level 1 when the part cannot be created.
  CDiagramSheet& AddChartSheet(const std::wstring& name);
  const std::vector<std::unique_ptr<CDiagramSheet>>& GetCharts() const { return charts; }
  // The chart sheet's name escaped for the properties part (the workbook part
  // escapes the _xHHHH_ that its readers decode, too).
  static std::wstring GetSafeTitle(const CDiagramSheet& chart);

  // Writes the remaining parts, closes the sheets and packs the folder into the
  // destination (replaced only when packing succeeded). False when anything
  // failed; GetSaveError() then says what. The temporary folder is gone
  // afterwards either way, and a failed save leaves no destination behind.
  bool Save(const std::wstring& destination);
  // Why the last Save failed, as a sentence for the user; empty after success.
  const std::string& GetSaveError() const { return m_saveError; }

  // Removes the temporary folder and everything in it; nothing when it does not
  // exist. Never raises.
  void RemoveTempFolder();

  // The temporary folder (absolute); empty until it is created.
  const std::wstring& GetTempFolder() const { return m_tempFolder; }
  // Part names relative to the temporary folder, written or to be written.
  const std::vector<std::wstring>& GetPartList() const { return m_partList; }
  const std::vector<std::unique_ptr<CWorksheet>>& GetSheets() const { return m_sheets; }
  CSharedStrings& GetSharedStrings() { return *m_sharedStrings; }
  const CSharedStrings& GetSharedStrings() const { return *m_sharedStrings; }
  StyleRegistry& GetStyles() { return m_styles; }
  const StyleRegistry& GetStyles() const { return m_styles; }

  // Part writers, each writing its parts into the temporary folder; false when
  // a part's file could not be written completely (GetSaveError() says why).
  bool WriteCoreParts();      // docProps/core.xml, then _rels/.rels
  bool WriteAppPart();        // docProps/app.xml
  bool WriteContentTypes();   // [Content_Types].xml
  bool WriteCalcChain();      // xl/calcChain.xml, when a sheet has formulas
  // Whether a sheet lists formula cells, which the calculation chain then holds.
  bool HasFormulas() const;
  bool WriteTheme();          // xl/theme/theme1.xml
  bool WriteComments();       // xl/comments<n>.xml and xl/drawings/vmlDrawing<n>.vml
  bool WriteSharedStrings();  // xl/sharedStrings.xml when any text was stored
  bool WriteStyles();         // xl/styles.xml
  bool WriteWorkbookParts();  // xl/_rels/workbook.xml.rels, then xl/workbook.xml

  // The comments of one sheet: its comments part and the drawing of their
  // boxes, which claims the next blocks of shape ids that no drawing has.
  bool WriteSheetComments(const std::vector<const CommentData*>& comments);
  static void WriteComment(CXmlEmitter& xml, const CommentData& comment);
  void WriteCommentShape(CXmlEmitter& xml, const CommentData& comment);

  // The five parts of one chart sheet: it finishes the chart part, then writes
  // the chartsheet and drawing parts and their relationships. False when the
  // model cannot be drawn (no main series, a group kind outside the list, a
  // series without its sheet or reaching past the grid, an axis bound that is
  // no number) or a part could not be written; `error` then says why. A model
  // that cannot be drawn is refused before anything is written.
  static bool WriteChartParts(CDiagramSheet& chart, std::string& error);
  // The plot groups, into the chart part at its current position.
  static void WriteBarChart(CDiagramSheet& chart, DiagramAxis& x_axis, std::uint32_t y_axis_id,
                            const std::vector<DiagramSeries>& series, std::uint32_t first_index,
                            BarOrientation orientation, BarStacking stacking);
  static void WriteLineChart(CDiagramSheet& chart, DiagramAxis& x_axis, std::uint32_t y_axis_id,
                             const std::vector<DiagramSeries>& series, std::uint32_t first_index);
  static void WriteScatterChart(CDiagramSheet& chart, std::uint32_t x_axis_id,
                                std::uint32_t y_axis_id, const std::vector<DiagramSeries>& series,
                                std::uint32_t first_index, ScatterLook look);
  // Titles, axes, legend and data table of the chart part. A vertical title is
  // turned to run upwards; an axis's title is vertical when the axis stands
  // upright (the Y axis, or the X axis of horizontal bars).
  static void WriteChartTitle(CDiagramSheet& chart, const wchar_t* text, std::uint32_t size,
                              bool vertical);
  static void WriteCategoryAxis(CDiagramSheet& chart, const DiagramAxis& axis,
                                std::uint32_t crossing_axis_id, bool vertical);
  static void WriteValueAxis(CDiagramSheet& chart, const DiagramAxis& axis,
                             std::uint32_t crossing_axis_id, bool vertical);
  static void WriteChartLegend(CDiagramSheet& chart);
  static void WriteDataTable(CDiagramSheet& chart);

  // Blocks of the styles part, written from the style registry.
  void WriteNumFormats(CXmlEmitter& xml) const;
  void WriteFonts(CXmlEmitter& xml) const;
  void WriteFills(CXmlEmitter& xml) const;
  void WriteBorders(CXmlEmitter& xml) const;
  static void WriteBorderLine(CXmlEmitter& xml, const char* side, const BorderLineData& line);

  // The fixed part names, in this order.
  static constexpr std::size_t part_content_types = 0;
  static constexpr std::size_t part_package_rels = 1;
  static constexpr std::size_t part_core = 2;
  static constexpr std::size_t part_app = 3;
  static constexpr std::size_t part_workbook = 4;
  static constexpr std::size_t part_styles = 5;
  static constexpr std::size_t part_workbook_rels = 6;
  static constexpr std::size_t part_theme = 7;

private:
  // Creates the private temporary folder when it does not exist yet; raises
  // tk_exception level 1 when it cannot.
  void EnsureTempFolder();
  // Writes one part file through the part-file convention: folders, a UTF-8
  // file writer, an emitter on it; `write` fills the emitter. False (with the
  // reason kept in m_saveError) when the file could not be written completely.
  bool WritePart(const std::wstring& part_name, const std::function<void(CXmlEmitter&)>& write);
  bool Fail(std::string reason);
  // A sheet title that is not empty and that no earlier sheet or chart sheet has.
  std::wstring UniqueTitle(const std::wstring& wanted, std::uint32_t number) const;

  plat::private_temp_folder m_folder;
  std::wstring m_tempFolder;  // m_folder's path as wide text; empty while there is none
  std::vector<std::wstring> m_partList;
  std::vector<std::unique_ptr<CWorksheet>> m_sheets;
  std::vector<std::unique_ptr<CDiagramSheet>> charts;
  std::unique_ptr<CSharedStrings> m_sharedStrings;
  std::vector<CommentData> m_commentList;
  std::set<std::pair<std::int32_t, std::uint64_t>> m_commentedCells;  // (sheet, position)
  std::uint64_t m_shapeCounter = 0;    // the last shape id given
  std::uint64_t m_nextShapeBlock = 1;  // the first block of shape ids no drawing claimed
  StyleRegistry m_styles;
  std::string m_saveError;
};

} // namespace XlsxBook
