// The plot groups of a chart part (bar, line, scatter) and their series, which
// point at worksheet cells through range formulas. Every element a writer opens
// is closed before it returns, and every outside text passes XmlText in the form
// readers of charts read as written (they decode no _xHHHH_ here).
#include "xlsx/charts/chart_parts.h"

#include "xlsx/xlsx_she.h"
#include "xlsx/xml_emitter.h"
#include "xlsx/xml_text.h"

namespace XlsxBook {

namespace {

void EscapedTextElement(CXmlEmitter& xml, const char* name, const std::wstring& text)
{
  TextElement(xml, name, XmlText(text, XmlTextUse::kLiteralContent));
}

// 'Title'!$A1:$A10. Only the columns are absolute, so the reference stays on
// its rows. An apostrophe in the title is doubled, or it would end the quoted
// sheet name early.
std::wstring RangeFormula(const CWorksheet& sheet, DiagramCell first, DiagramCell last)
{
  std::wstring formula = L"'";
  for (const wchar_t c : sheet.GetTitle()) {
    formula += c;
    if (c == L'\'')
      formula += c;
  }
  formula += L"'!$";
  formula += CWorksheet::MakeCellRef(first.col, first.row + 1);
  formula += L":$";
  formula += CWorksheet::MakeCellRef(last.col, last.row + 1);
  return formula;
}

void RangeElement(CXmlEmitter& xml, const char* name, const CWorksheet& sheet, DiagramCell first,
                  DiagramCell last)
{
  xml << XmlToken::StartTag(name) << XmlToken::StartTag("c:numRef");
  EscapedTextElement(xml, "c:f", RangeFormula(sheet, first, last));
  xml << XmlToken::EndTag() << XmlToken::EndTag();
}

// c:ser, c:idx, c:order and the series name; the caller writes the rest and
// ends c:ser.
void BeginSeries(CXmlEmitter& xml, const DiagramSeries& s, std::uint32_t index)
{
  xml << XmlToken::StartTag("c:ser");
  ValElement(xml, "c:idx", index);
  ValElement(xml, "c:order", index);
  // An empty name would read as a name of its own; nothing left is no name.
  if (HasXmlText(s.title)) {
    xml << XmlToken::StartTag("c:tx");
    EscapedTextElement(xml, "c:v", s.title);
    xml << XmlToken::EndTag();
  }
}

void MarkerElement(CXmlEmitter& xml, bool diamond)
{
  xml << XmlToken::StartTag("c:marker");
  ValElement(xml, "c:symbol", diamond ? "diamond" : "none");
  xml << XmlToken::EndTag();
}

// Categories of a bar or line series. One series with categories is enough to
// make the X axis show their number format.
void CategoryElement(CXmlEmitter& xml, const DiagramSeries& s, DiagramAxis& x_axis)
{
  if (!s.HasCategories())
    return;
  x_axis.source_linked = true;
  RangeElement(xml, "c:cat", *s.category_sheet, s.category_first, s.category_last);
}

void AxisIds(CXmlEmitter& xml, std::uint32_t x_axis_id, std::uint32_t y_axis_id)
{
  ValElement(xml, "c:axId", x_axis_id);
  ValElement(xml, "c:axId", y_axis_id);
}

} // namespace

void WriteBarChart(CDiagramSheet& chart, DiagramAxis& x_axis, std::uint32_t y_axis_id,
                              const std::vector<DiagramSeries>& series, std::uint32_t first_index,
                              BarOrientation orientation, BarStacking stacking)
{
  CXmlEmitter& xml = *chart.writer;
  xml << XmlToken::StartTag("c:barChart");
  if (orientation == BarVertical || orientation == BarHorizontal)
    ValElement(xml, "c:barDir", orientation == BarVertical ? "col" : "bar");
  switch (stacking) {
  case BarClustered: ValElement(xml, "c:grouping", "clustered"); break;
  case BarStacked: ValElement(xml, "c:grouping", "stacked"); break;
  case BarPercentStacked: ValElement(xml, "c:grouping", "percentStacked"); break;
  }
  std::uint32_t index = first_index;
  for (const DiagramSeries& s : series) {
    BeginSeries(xml, s, index++);
    CategoryElement(xml, s, x_axis);
    RangeElement(xml, "c:val", *s.value_sheet, s.value_first, s.value_last);
    xml << XmlToken::EndTag();
  }
  AxisIds(xml, x_axis.id, y_axis_id);
  xml << XmlToken::EndTag();
}

void WriteLineChart(CDiagramSheet& chart, DiagramAxis& x_axis, std::uint32_t y_axis_id,
                               const std::vector<DiagramSeries>& series, std::uint32_t first_index)
{
  CXmlEmitter& xml = *chart.writer;
  xml << XmlToken::StartTag("c:lineChart");
  ValElement(xml, "c:grouping", "standard");
  std::uint32_t index = first_index;
  for (const DiagramSeries& s : series) {
    BeginSeries(xml, s, index++);
    if (s.dashed) {
      xml << XmlToken::StartTag("c:spPr") << XmlToken::StartTag("a:ln");
      ValElement(xml, "a:prstDash", "dash");
      xml << XmlToken::EndTag() << XmlToken::EndTag();
    }
    MarkerElement(xml, s.marked);
    CategoryElement(xml, s, x_axis);
    RangeElement(xml, "c:val", *s.value_sheet, s.value_first, s.value_last);
    ValElement(xml, "c:smooth", s.smooth ? 1 : 0);
    xml << XmlToken::EndTag();
  }
  ValElement(xml, "c:marker", 1);
  ValElement(xml, "c:smooth", 0);
  AxisIds(xml, x_axis.id, y_axis_id);
  xml << XmlToken::EndTag();
}

void WriteScatterChart(CDiagramSheet& chart, std::uint32_t x_axis_id,
                                  std::uint32_t y_axis_id, const std::vector<DiagramSeries>& series,
                                  std::uint32_t first_index, ScatterLook look)
{
  CXmlEmitter& xml = *chart.writer;
  const bool markers_only = look == ScatterMarkersOnly;
  xml << XmlToken::StartTag("c:scatterChart");
  if (look == ScatterSmoothMarker || markers_only)
    ValElement(xml, "c:scatterStyle", markers_only ? "lineMarker" : "smoothMarker");
  std::uint32_t index = first_index;
  for (const DiagramSeries& s : series) {
    BeginSeries(xml, s, index++);
    // Markers only: the connecting line is there but not drawn.
    if (markers_only)
      xml << XmlToken::StartTag("c:spPr") << XmlToken::StartTag("a:ln") << XmlToken::Attribute("w")
          << 28575 << XmlToken::StartTag("a:noFill") << XmlToken::EndTag() << XmlToken::EndTag()
          << XmlToken::EndTag();
    MarkerElement(xml, s.marked || markers_only);
    RangeElement(xml, "c:xVal", *s.category_sheet, s.category_first, s.category_last);
    RangeElement(xml, "c:yVal", *s.value_sheet, s.value_first, s.value_last);
    ValElement(xml, "c:smooth", s.smooth ? 1 : 0);
    xml << XmlToken::EndTag();
  }
  AxisIds(xml, x_axis_id, y_axis_id);
  xml << XmlToken::EndTag();
}

} // namespace XlsxBook
