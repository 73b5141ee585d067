// The five parts of every chart sheet: the chart part, finished through the
// writer it was opened with, and the chartsheet and drawing parts with their
// relationships, which show the chart as a sheet of its own. A model that cannot
// be drawn is refused before anything is written.
#include "xlsx/charts/chart_parts.h"

#include "xlsx/package_names.h"
#include "xlsx/part_folder.h"
#include "xlsx/part_writers.h"
#include "xlsx/relationships.h"
#include "xlsx/xlsx_she.h"
#include "xlsx/xml_emitter.h"
#include "xlsx/xml_text.h"

#include "base/format.h"
#include "platform/text_codec.h"

#include <functional>
#include <memory>
#include <span>

namespace XlsxBook {

namespace {

// The text sizes readers draw, in points (written in hundredths of a point).
constexpr std::uint32_t kMinTitlePoints = 1, kMaxTitlePoints = 4000;

bool IsGroupKind(DiagramKind kind)
{
  return kind == DiagramLine || kind == DiagramBar || kind == DiagramScatter;
}

// Why the model cannot be drawn, or empty. Every series needs its value cells,
// and a scatter series also its X values, which it always names; every range
// lies inside the grid, and every axis bound is a number.
std::string DrawingProblem(const CDiagramSheet& chart)
{
  if (chart.series.empty())
    return "the chart has no series";
  if (!IsGroupKind(chart.kind))
    return "the chart kind is not line, bar or scatter";
  if (!chart.series2.empty() && !IsGroupKind(chart.kind2))
    return "the secondary chart kind is not line, bar or scatter";
  const auto ranges_missing = [](const std::vector<DiagramSeries>& list, DiagramKind kind) {
    for (const DiagramSeries& s : list)
      if (s.value_sheet == nullptr || (kind == DiagramScatter && s.category_sheet == nullptr))
        return true;
    return false;
  };
  if (ranges_missing(chart.series, chart.kind) || ranges_missing(chart.series2, chart.kind2))
    return "a series has no sheet for its values or X values";

  const auto in_grid = [](DiagramCell cell) {
    return cell.row < kMaxSheetRows && cell.col < kMaxSheetColumns;
  };
  const auto past_grid = [&](const std::vector<DiagramSeries>& list, DiagramKind kind) {
    for (const DiagramSeries& s : list) {
      if (!in_grid(s.value_first) || !in_grid(s.value_last))
        return true;
      // Categories are written when present, X values always.
      if ((s.HasCategories() || kind == DiagramScatter) &&
          (!in_grid(s.category_first) || !in_grid(s.category_last)))
        return true;
    }
    return false;
  };
  if (past_grid(chart.series, chart.kind) || past_grid(chart.series2, chart.kind2))
    return "a series range reaches past the last row or column of a sheet";

  // Readers refuse the whole workbook over a title size they cannot draw, so
  // only the sizes of titles that are written are checked.
  const auto title_size_problem = [](const std::wstring& title, std::uint32_t size) {
    if (!HasXmlText(title) || (size >= kMinTitlePoints && size <= kMaxTitlePoints))
      return std::string();
    return base::sprintf("the title size %u is not between %u and %u points", size,
                         kMinTitlePoints, kMaxTitlePoints);
  };
  if (std::string problem = title_size_problem(chart.title, chart.title_size); !problem.empty())
    return problem;

  // The secondary axes are drawn only with secondary series.
  const std::size_t drawn_axes = chart.series2.empty() ? 2 : 4;
  const DiagramAxis* axes[] = {&chart.x_axis, &chart.y_axis, &chart.x_axis2, &chart.y_axis2};
  for (const DiagramAxis* axis : std::span(axes, drawn_axes)) {
    if (std::string problem = title_size_problem(axis->title, axis->title_size); !problem.empty())
      return problem;
    for (const std::wstring* bound : {&axis->min, &axis->max})
      if (!bound->empty() && !AxisBound(*bound))
        return base::sprintf("the axis bound '%s' is not a number", plat::to_utf8(*bound));
    if (!axis->min.empty() && !axis->max.empty() && *AxisBound(axis->min) >= *AxisBound(axis->max))
      return base::sprintf("the axis bounds %s to %s leave no scale", plat::to_utf8(axis->min),
                           plat::to_utf8(axis->max));
  }
  return {};
}

// One plot group over its two axes; the first series is numbered first_index.
void WriteGroup(CDiagramSheet& chart, DiagramKind kind, DiagramAxis& x_axis,
                const DiagramAxis& y_axis, const std::vector<DiagramSeries>& series,
                std::uint32_t first_index)
{
  switch (kind) {
  case DiagramLine:
    WriteLineChart(chart, x_axis, y_axis.id, series, first_index);
    break;
  case DiagramBar:
    WriteBarChart(chart, x_axis, y_axis.id, series, first_index,
                             chart.bar_orientation, chart.bar_stacking);
    break;
  case DiagramScatter:
    // Scatter X values are numbers, shown as the cells show them.
    x_axis.source_linked = true;
    WriteScatterChart(chart, x_axis.id, y_axis.id, series, first_index,
                                 chart.scatter_look);
    break;
  case DiagramNone:
    break;
  }
}

// The X axis is a category axis under lines and bars, a value axis under
// scatter points; the Y axis is always a value axis. The Y axis stands upright
// but under horizontal bars, where the X axis does.
void WriteAxes(CDiagramSheet& chart, DiagramKind kind, const DiagramAxis& x_axis,
               const DiagramAxis& y_axis)
{
  const bool x_upright = kind == DiagramBar && chart.bar_orientation == BarHorizontal;
  if (kind == DiagramScatter)
    WriteValueAxis(chart, x_axis, y_axis.id, false);
  else
    WriteCategoryAxis(chart, x_axis, y_axis.id, x_upright);
  WriteValueAxis(chart, y_axis, x_axis.id, !x_upright);
}

void WriteChartSpace(CDiagramSheet& chart)
{
  CXmlEmitter& xml = *chart.writer;
  xml << XmlToken::Declaration() << XmlToken::StartTag("c:chartSpace")
      << XmlToken::Attribute("xmlns:c") << ns::drawing_chart << XmlToken::Attribute("xmlns:a")
      << ns::drawing_main << XmlToken::Attribute("xmlns:r") << ns::package_relationships;
  ValElement(xml, "c:lang", "en-US");
  ValElement(xml, "c:roundedCorners", 1);
  xml << XmlToken::StartTag("c:chart");
  WriteChartTitle(chart, chart.title.c_str(), chart.title_size, false);
  xml << XmlToken::StartTag("c:plotArea") << XmlToken::StartTag("c:layout") << XmlToken::EndTag();

  // A secondary group is drawn only with series of its own: without them it
  // would name axes that are never written.
  const bool secondary = !chart.series2.empty();
  WriteGroup(chart, chart.kind, chart.x_axis, chart.y_axis, chart.series, 0);
  if (secondary)
    WriteGroup(chart, chart.kind2, chart.x_axis2, chart.y_axis2, chart.series2,
               static_cast<std::uint32_t>(chart.series.size()));
  WriteAxes(chart, chart.kind, chart.x_axis, chart.y_axis);
  if (secondary)
    WriteAxes(chart, chart.kind2, chart.x_axis2, chart.y_axis2);
  WriteDataTable(chart);
  xml << XmlToken::EndTag("c:plotArea");

  WriteChartLegend(chart);
  ValElement(xml, "c:plotVisOnly", 1);
  xml << XmlToken::EndTag("c:chart");
}

void WriteChartsheet(CXmlEmitter& xml)
{
  xml << XmlToken::Declaration() << XmlToken::StartTag("chartsheet")
      << XmlToken::Attribute("xmlns") << ns::spreadsheet_main << XmlToken::Attribute("xmlns:r")
      << ns::office_relationships;
  xml << XmlToken::StartTag("sheetPr") << XmlToken::EndTag();
  xml << XmlToken::StartTag("sheetViews") << XmlToken::StartTag("sheetView")
      << XmlToken::Attribute("zoomScale") << 85 << XmlToken::Attribute("workbookViewId") << 0
      << XmlToken::Attribute("zoomToFit") << 1 << XmlToken::EndTag() << XmlToken::EndTag();
  xml << XmlToken::StartTag("pageMargins") << XmlToken::Attribute("left") << 0.7
      << XmlToken::Attribute("right") << 0.7 << XmlToken::Attribute("top") << 0.75
      << XmlToken::Attribute("bottom") << 0.75 << XmlToken::Attribute("header") << 0.3
      << XmlToken::Attribute("footer") << 0.3 << XmlToken::EndTag();
  xml << XmlToken::StartTag("drawing") << XmlToken::Attribute("r:id") << RelationshipId(1)
      << XmlToken::EndTag();
}

// One frame filling the sheet from its origin; the chart sheet's name is the
// frame's name.
void WriteDrawing(CXmlEmitter& xml, const std::wstring& name)
{
  const auto point = [&xml](const char* element, const char* x, const char* y, int x_value,
                            int y_value) {
    xml << XmlToken::StartTag(element) << XmlToken::Attribute(x) << x_value
        << XmlToken::Attribute(y) << y_value << XmlToken::EndTag();
  };
  xml << XmlToken::Declaration() << XmlToken::StartTag("xdr:wsDr")
      << XmlToken::Attribute("xmlns:xdr") << ns::spreadsheet_drawing
      << XmlToken::Attribute("xmlns:a") << ns::drawing_main;
  xml << XmlToken::StartTag("xdr:absoluteAnchor");
  point("xdr:pos", "x", "y", 0, 0);
  point("xdr:ext", "cx", "cy", 9312088, 6084794);
  xml << XmlToken::StartTag("xdr:graphicFrame") << XmlToken::Attribute("macro") << "";
  xml << XmlToken::StartTag("xdr:nvGraphicFramePr") << XmlToken::StartTag("xdr:cNvPr")
      << XmlToken::Attribute("id") << 2 << XmlToken::Attribute("name")
      << XmlText(name, XmlTextUse::kAttribute) << XmlToken::EndTag();
  xml << XmlToken::StartTag("xdr:cNvGraphicFramePr") << XmlToken::StartTag("a:graphicFrameLocks")
      << XmlToken::Attribute("noGrp") << 1 << XmlToken::EndTag() << XmlToken::EndTag()
      << XmlToken::EndTag();
  xml << XmlToken::StartTag("xdr:xfrm");
  point("a:off", "x", "y", 0, 0);
  point("a:ext", "cx", "cy", 0, 0);
  xml << XmlToken::EndTag();
  xml << XmlToken::StartTag("a:graphic") << XmlToken::StartTag("a:graphicData")
      << XmlToken::Attribute("uri") << ns::drawing_chart << XmlToken::StartTag("c:chart")
      << XmlToken::Attribute("xmlns:c") << ns::drawing_chart << XmlToken::Attribute("xmlns:r")
      << ns::office_relationships << XmlToken::Attribute("r:id") << RelationshipId(1)
      << XmlToken::EndTag("xdr:graphicFrame");
  xml << XmlToken::StartTag("xdr:clientData") << XmlToken::EndTag();
}

} // namespace

bool WriteChartParts(CDiagramSheet& chart, std::string& error)
{
  error = DrawingProblem(chart);
  if (!error.empty())
    return false;
  if (!chart.writer) {
    error = "the chart part is not open";
    return false;
  }

  WriteChartSpace(chart);
  if (!chart.FinishChartPart(error))
    return false;

  const std::uint32_t n = chart.number;
  const auto part = [&](const std::wstring& name, const std::function<void(CXmlEmitter&)>& write) {
    return WritePartFile(chart.temp_folder + L"/" + name, write, error);
  };
  const auto link = [](const char* type, const std::wstring& target) {
    return [type, target](CXmlEmitter& xml) { WriteRelationships(xml, {{1, type, target}}); };
  };
  return part(base::sprintf(L"xl/chartsheets/_rels/sheet%u.xml.rels", n),
              link(rel::drawing, base::sprintf(L"../drawings/drawing%u.xml", n))) &&
         part(base::sprintf(L"xl/chartsheets/sheet%u.xml", n), WriteChartsheet) &&
         part(base::sprintf(L"xl/drawings/_rels/drawing%u.xml.rels", n),
              link(rel::chart, base::sprintf(L"../charts/chart%u.xml", n))) &&
         part(base::sprintf(L"xl/drawings/drawing%u.xml", n),
              [&chart](CXmlEmitter& xml) { WriteDrawing(xml, chart.name); });
}

bool CDiagramSheet::WriteParts(PartFolder& parts)
{
  for (const wchar_t* pattern :
       {L"xl/charts/chart%u.xml", L"xl/chartsheets/sheet%u.xml",
        L"xl/chartsheets/_rels/sheet%u.xml.rels", L"xl/drawings/drawing%u.xml",
        L"xl/drawings/_rels/drawing%u.xml.rels"})
    parts.List(base::sprintf(pattern, number));
  std::string error;
  if (!WriteChartParts(*this, error))
    return parts.Fail(base::sprintf("chart sheet '%s': %s", plat::to_utf8(name), error));
  return true;
}

} // namespace XlsxBook
