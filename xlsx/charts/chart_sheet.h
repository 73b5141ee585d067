// A chart sheet of the workbook: a chart over ranges of its worksheets, with a
// main and an optional secondary group of series, a title, a legend and a data
// table. Its chart part is open from creation until the workbook's Save writes
// it and the four parts that show it as a sheet of its own.
#pragma once

#include "xlsx/xlsx_book.h"
#include "xlsx/xlsx_file_writer.h"
#include "xlsx/xml_emitter.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace XlsxBook {

class CWorksheet;

enum DiagramKind : std::int32_t {
  DiagramNone = -1,
  DiagramLine = 0,
  DiagramBar = 1,
  DiagramScatter = 2,
};

enum LegendPlace : std::int32_t {
  LegendNone = 0,
  LegendLeftOverlay = 1,
  LegendRightOverlay = 2,
  LegendTopOverlay = 3,
  LegendBottomOverlay = 4,
  LegendLeft = 5,
  LegendRight = 6,
  LegendTop = 7,
  LegendBottom = 8,
};

enum DataTableMode : std::int32_t {
  DataTableNone = 0,
  DataTableShown = 1,
  DataTableWithKeys = 2,
};

enum BarOrientation : std::int32_t {
  BarVertical = 0,
  BarHorizontal = 1,
};

enum BarStacking : std::int32_t {
  BarClustered = 0,
  BarStacked = 1,
  BarPercentStacked = 2,
};

enum ScatterLook : std::int32_t {
  ScatterSmoothMarker = 0,
  ScatterMarkersOnly = 1,
};

enum AxisSide : std::int32_t {
  AxisHidden = 0,
  AxisLeft = 1,
  AxisRight = 2,
  AxisTop = 3,
  AxisBottom = 4,
};

enum GridMode : std::int32_t {
  GridNone = 0,
  GridMajor = 1,
  GridMinor = 2,
  GridBoth = 3,
};

enum AxisCrossing : std::int32_t {
  CrossAutoZero = 0,
  CrossMin = 1,
  CrossMax = 2,
};

// A cell of a worksheet, both counted from 0 (row 0 is sheet row 1, column 0 is A).
struct DiagramCell {
  std::uint32_t row = 0;
  std::uint32_t col = 0;
};

// One series: its values, and its categories (the X values of a scatter series).
struct DiagramSeries {
  const CWorksheet* category_sheet = nullptr;  // borrowed; null: no categories
  DiagramCell category_first;
  DiagramCell category_last;  // row 0, column 0 counts as no categories
  const CWorksheet* value_sheet = nullptr;     // borrowed; never null when written
  DiagramCell value_first;
  DiagramCell value_last;
  std::wstring title;  // empty, or nothing XML can hold: the series has no name
  bool marked = false;  // diamond markers (line and scatter groups)
  bool smooth = false;  // smoothed line (line and scatter groups)
  bool dashed = false;  // dashed line (line groups only)

  bool HasCategories() const
  {
    return category_sheet != nullptr && (category_last.row != 0 || category_last.col != 0);
  }
};

struct DiagramAxis {
  std::uint32_t id = 0;  // groups and crossing axes name the axis by it
  std::wstring title;    // empty, or nothing XML can hold: no title
  std::uint32_t title_size = 10;  // points, 1 to 4000
  AxisSide side = AxisBottom;
  GridMode grid = GridNone;
  AxisCrossing crosses = CrossAutoZero;
  bool source_linked = false;  // number format "General" linked to the source
  std::wstring min, max;       // scale bounds, numbers as AxisBound reads them; empty: automatic
  std::int32_t label_skip = -1;      // category axes only; -1: not written
  std::int32_t mark_skip = -1;       // category axes only; -1: not written
  std::int32_t label_rotation = -1;  // degrees, category axes only; -1: not written
};

// The number an axis bound names: the whole text a decimal number in the C
// locale's form ("15", "-0.5", "1.5e1"), finite. Nothing for an empty text and
// for anything else ("1,5e1", "auto", " 15"), which no reader takes as a bound.
std::optional<double> AxisBound(std::wstring_view text);

class CDiagramSheet : public CChartSheetEntry {
public:
  // Creates <temp_folder>/xl/charts/chart<number>.xml (and its folders) and
  // keeps it open for the chart part writer. A part that cannot be created
  // raises tk_exception level 1 "Cannot create temporary file '<path>': <reason>".
  CDiagramSheet(std::uint32_t number, const std::wstring& temp_folder, const std::wstring& name);
  // An unfinished chart part is closed as it stands; the workbook's folder goes anyway.
  ~CDiagramSheet() override;
  CDiagramSheet(const CDiagramSheet&) = delete;
  CDiagramSheet& operator=(const CDiagramSheet&) = delete;

  // The five parts (chart_parts.h), each listed first; the failure names the
  // chart sheet.
  bool WriteParts(PartFolder& parts) override;

  // Ends the chart part: destroys the writer (closing every open element) and
  // closes the file. True when the whole part reached the disk; the reason of a
  // failure is kept for the workbook.
  bool FinishChartPart(std::string& error);

  // The chart part, open until the chart parts are written.
  std::unique_ptr<CFileWriter> stream;
  std::unique_ptr<CXmlEmitter> writer;

  std::wstring temp_folder;

  std::vector<DiagramSeries> series;   // the main group; must not be empty
  std::vector<DiagramSeries> series2;  // the secondary group; may be empty
  std::wstring title;                  // empty, or nothing XML can hold: no chart title
  std::uint32_t title_size = 18;       // points, 1 to 4000
  LegendPlace legend = LegendRight;
  DataTableMode data_table = DataTableNone;
  DiagramKind kind = DiagramLine;
  DiagramKind kind2 = DiagramNone;
  BarOrientation bar_orientation = BarVertical;
  BarStacking bar_stacking = BarClustered;
  ScatterLook scatter_look = ScatterSmoothMarker;
  DiagramAxis x_axis, y_axis;    // the main group's axes
  DiagramAxis x_axis2, y_axis2;  // the secondary group's axes
};

} // namespace XlsxBook
