// Titles, axes, legend and data table of a chart part. A setting outside its
// list leaves out the element it would choose rather than write half of it;
// every element a writer opens is closed before it returns.
#include "xlsx/charts/chart_parts.h"

#include "xlsx/xml_emitter.h"
#include "xlsx/xml_text.h"

#include <charconv>

namespace XlsxBook {

namespace {

const char* CrossingName(AxisCrossing crosses)
{
  switch (crosses) {
  case CrossAutoZero: return "autoZero";
  case CrossMin: return "min";
  case CrossMax: return "max";
  }
  return nullptr;
}

// A scale bound in the form every reader takes, whatever the process locale:
// the shortest text that reads back as the same number. A text that names no
// number writes nothing; the chart parts writer refuses such a model first.
void BoundElement(CXmlEmitter& xml, const char* name, const std::wstring& text)
{
  const std::optional<double> value = AxisBound(text);
  if (!value)
    return;
  char buffer[32];
  const char* const end = std::to_chars(buffer, buffer + sizeof buffer, *value).ptr;
  ValElement(xml, name, std::string_view(buffer, static_cast<std::size_t>(end - buffer)));
}

// What both kinds of axis write up to the tick labels; they differ only in the
// side a hidden axis is drawn on. The title of an axis that stands upright is
// turned to run along it.
void AxisHead(CDiagramSheet& chart, const DiagramAxis& axis, const char* position, bool vertical)
{
  CXmlEmitter& xml = *chart.writer;
  ValElement(xml, "c:axId", axis.id);
  xml << XmlToken::StartTag("c:scaling");
  ValElement(xml, "c:orientation", "minMax");
  BoundElement(xml, "c:max", axis.max);
  BoundElement(xml, "c:min", axis.min);
  xml << XmlToken::EndTag();
  ValElement(xml, "c:delete", axis.side == AxisHidden ? 1 : 0);
  ValElement(xml, "c:axPos", position);
  if (axis.grid == GridMajor || axis.grid == GridBoth)
    xml << XmlToken::StartTag("c:majorGridlines") << XmlToken::EndTag();
  if (axis.grid == GridMinor || axis.grid == GridBoth)
    xml << XmlToken::StartTag("c:minorGridlines") << XmlToken::EndTag();
  WriteChartTitle(chart, axis.title.c_str(), axis.title_size, vertical);
  if (axis.source_linked)
    xml << XmlToken::StartTag("c:numFmt") << XmlToken::Attribute("formatCode") << "General"
        << XmlToken::Attribute("sourceLinked") << 1 << XmlToken::EndTag();
  ValElement(xml, "c:tickLblPos", "nextTo");
}

// c:crossAx and c:crosses; an axis crossed by no axis (id 0) has neither.
void Crossing(CXmlEmitter& xml, const DiagramAxis& axis, std::uint32_t crossing_axis_id)
{
  ValElement(xml, "c:crossAx", crossing_axis_id);
  if (const char* crosses = CrossingName(axis.crosses))
    ValElement(xml, "c:crosses", crosses);
}

} // namespace

void WriteChartTitle(CDiagramSheet& chart, const wchar_t* text, std::uint32_t size,
                                bool vertical)
{
  // Readers take an empty title for a text of its own ("None"), so a title
  // that XML cannot hold a character of is no title.
  const std::wstring escaped = XmlText(text != nullptr ? text : L"", XmlTextUse::kLiteralContent);
  if (escaped.empty())
    return;
  CXmlEmitter& xml = *chart.writer;
  // Hundredths of a point; wide enough that no size wraps.
  const std::uint64_t hundredths = std::uint64_t{size} * 100;
  xml << XmlToken::StartTag("c:title") << XmlToken::StartTag("c:tx") << XmlToken::StartTag("c:rich")
      << XmlToken::StartTag("a:bodyPr");
  if (vertical)
    xml << XmlToken::Attribute("rot") << -5400000 << XmlToken::Attribute("vert") << "horz";
  xml << XmlToken::EndTag() << XmlToken::StartTag("a:lstStyle") << XmlToken::EndTag()
      << XmlToken::StartTag("a:p") << XmlToken::StartTag("a:pPr") << XmlToken::StartTag("a:defRPr")
      << XmlToken::Attribute("lang") << "en-US" << XmlToken::Attribute("sz") << hundredths
      << XmlToken::EndTag() << XmlToken::EndTag();
  xml << XmlToken::StartTag("a:r") << XmlToken::StartTag("a:rPr") << XmlToken::Attribute("lang")
      << "en-US" << XmlToken::Attribute("sz") << hundredths << XmlToken::EndTag()
      << XmlToken::StartTag("a:t") << XmlToken::CloseStartTag()
      << escaped << XmlToken::EndTag()
      << XmlToken::EndTag();
  xml << XmlToken::StartTag("a:endParaRPr") << XmlToken::Attribute("lang") << "en-US"
      << XmlToken::EndTag();
  xml << XmlToken::EndTag("c:tx");
  xml << XmlToken::StartTag("c:layout") << XmlToken::EndTag();
  ValElement(xml, "c:overlay", 0);
  xml << XmlToken::EndTag();
}

void WriteCategoryAxis(CDiagramSheet& chart, const DiagramAxis& axis,
                                  std::uint32_t crossing_axis_id, bool vertical)
{
  CXmlEmitter& xml = *chart.writer;
  const char* position = axis.side == AxisLeft    ? "l"
                         : axis.side == AxisRight ? "r"
                         : axis.side == AxisTop   ? "t"
                                                  : "b";
  xml << XmlToken::StartTag("c:catAx");
  AxisHead(chart, axis, position, vertical);
  if (axis.label_rotation != -1) {
    // Degrees to 60000ths of a degree; wide, so that no rotation overflows.
    const std::int64_t rotation = std::int64_t{axis.label_rotation} * 60000;
    xml << XmlToken::StartTag("c:txPr") << XmlToken::StartTag("a:bodyPr")
        << XmlToken::Attribute("rot") << rotation << XmlToken::EndTag()
        << XmlToken::StartTag("a:lstStyle") << XmlToken::EndTag() << XmlToken::StartTag("a:p")
        << XmlToken::StartTag("a:pPr") << XmlToken::StartTag("a:defRPr") << XmlToken::EndTag()
        << XmlToken::EndTag() << XmlToken::StartTag("a:endParaRPr")
        << XmlToken::Attribute("lang") << "en-US" << XmlToken::EndTag() << XmlToken::EndTag()
        << XmlToken::EndTag();
  }
  if (crossing_axis_id != 0)
    Crossing(xml, axis, crossing_axis_id);
  ValElement(xml, "c:auto", 1);
  ValElement(xml, "c:lblAlgn", "ctr");
  ValElement(xml, "c:lblOffset", 100);
  if (axis.label_skip != -1)
    ValElement(xml, "c:tickLblSkip", axis.label_skip);
  if (axis.mark_skip != -1)
    ValElement(xml, "c:tickMarkSkip", axis.mark_skip);
  xml << XmlToken::EndTag();
}

void WriteValueAxis(CDiagramSheet& chart, const DiagramAxis& axis,
                               std::uint32_t crossing_axis_id, bool vertical)
{
  CXmlEmitter& xml = *chart.writer;
  const char* position = axis.side == AxisRight    ? "r"
                         : axis.side == AxisTop    ? "t"
                         : axis.side == AxisBottom ? "b"
                                                   : "l";
  xml << XmlToken::StartTag("c:valAx");
  AxisHead(chart, axis, position, vertical);
  if (crossing_axis_id != 0) {
    Crossing(xml, axis, crossing_axis_id);
    ValElement(xml, "c:crossBetween", "between");
  }
  xml << XmlToken::EndTag();
}

void WriteChartLegend(CDiagramSheet& chart)
{
  const std::int32_t place = chart.legend;
  if (place < LegendLeftOverlay || place > LegendBottom)
    return;
  const bool overlay = place <= LegendBottomOverlay;
  const wchar_t position = L"lrtb"[(place - LegendLeftOverlay) % 4];
  CXmlEmitter& xml = *chart.writer;
  xml << XmlToken::StartTag("c:legend");
  ValElement(xml, "c:legendPos", position);
  xml << XmlToken::StartTag("c:layout") << XmlToken::EndTag();
  ValElement(xml, "c:overlay", overlay ? 1 : 0);
  xml << XmlToken::EndTag();
}

void WriteDataTable(CDiagramSheet& chart)
{
  if (chart.data_table != DataTableShown && chart.data_table != DataTableWithKeys)
    return;
  CXmlEmitter& xml = *chart.writer;
  xml << XmlToken::StartTag("c:dTable");
  ValElement(xml, "c:showHorzBorder", 1);
  ValElement(xml, "c:showVertBorder", 1);
  ValElement(xml, "c:showOutline", 1);
  if (chart.data_table == DataTableWithKeys)
    ValElement(xml, "c:showKeys", 1);
  xml << XmlToken::EndTag();
}

} // namespace XlsxBook
