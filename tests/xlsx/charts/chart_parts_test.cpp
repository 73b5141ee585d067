// Chart sheets: the plot groups, axes, titles, legend and data table of the
// chart part, the chartsheet and drawing parts beside it, and whole workbooks
// with charts read back by openpyxl and LibreOffice. Parts are checked as
// parsed (xml_outline.py) rather than compared as bytes.
#include "xlsx/book_test_support.h"
#include "support/reader_process.h"

#include "xlsx/charts/chart_parts.h"
#include "xlsx/package_names.h"
#include "xlsx/xlsx_book.h"
#include "xlsx/xlsx_she.h"
#include "xlsx/xml_emitter.h"
#include "support/libreoffice_profile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>

using namespace XlsxBook;
using book_test::command_output;
using book_test::quoted;

namespace {

const std::filesystem::path here = std::filesystem::path(QVT_TESTS_DIR) / "xlsx" / "charts";

// The file as xml_outline.py prints it: whole, or the elements at `path`. One
// outline process serves the whole test.
std::string outline(const std::string& file, const std::string& path = {})
{
  static test_support::reader_process reader(
      {"/usr/bin/python3", (here.parent_path() / "xml_outline.py").string(), "--serve"});
  int status = -1;
  const std::string said = reader.ask(file + "\t" + path, &status);
  EXPECT_EQ(status, 0) << file << ": " << said;
  return said;
}

// The names of the elements an outline starts with, in order: "c:layout c:lineChart".
std::string heads(const std::string& text)
{
  std::istringstream in(text);
  std::string line, names;
  while (std::getline(in, line))
    if (!line.empty() && line[0] != ' ' && line != "--")
      names += (names.empty() ? "" : " ") + line.substr(0, line.find(' '));
  return names;
}

// Outline lines of single elements, each as the script ends a match.
std::string found(std::initializer_list<const char*> lines)
{
  std::string text;
  for (const char* line : lines)
    text += std::string(line) + "\n--\n";
  return text;
}

DiagramSeries series_of(const CWorksheet* sheet, DiagramCell first, DiagramCell last,
                        const std::wstring& title = {})
{
  DiagramSeries s;
  s.value_sheet = sheet;
  s.value_first = first;
  s.value_last = last;
  s.title = title;
  return s;
}

DiagramSeries with_categories(DiagramSeries s, const CWorksheet* sheet, DiagramCell first,
                              DiagramCell last)
{
  s.category_sheet = sheet;
  s.category_first = first;
  s.category_last = last;
  return s;
}

// A workbook with a sheet "Data" and one chart sheet.
class Chart : public book_test::book_fixture {
protected:
  Chart() : data_(book_.AddSheet2(L"Data", {})), chart_(&book_.AddChartSheet(L"Diagram")) {}

  std::string folder() const { return plat::to_utf8(book_.GetTempFolder()); }
  std::string chart_part(const CDiagramSheet& chart) const
  {
    return folder() + "/xl/charts/chart" + std::to_string(chart.number) + ".xml";
  }

  // Writes what `write` emits inside a bare c:chartSpace, closes the chart part
  // and outlines the elements at `path` under the root.
  std::string fragment(const std::function<void(CDiagramSheet&)>& write, const std::string& path)
  {
    CXmlEmitter& xml = *chart_->writer;
    xml << XmlToken::Declaration() << XmlToken::StartTag("c:chartSpace")
        << XmlToken::Attribute("xmlns:c") << ns::drawing_chart << XmlToken::Attribute("xmlns:a")
        << ns::drawing_main;
    write(*chart_);
    EXPECT_EQ(xml.Depth(), 1u) << "a writer closes every element it opens";
    std::string error;
    EXPECT_TRUE(chart_->FinishChartPart(error)) << error;
    return outline(chart_part(*chart_), path);
  }

  // B2:B5, C2:C5 ... of Data: column `col`, rows 2 to 5.
  DiagramSeries column_series(std::uint32_t col, const std::wstring& title = {}) const
  {
    return series_of(data_, {1, col}, {4, col}, title);
  }
  DiagramSeries months(DiagramSeries s) const { return with_categories(s, data_, {1, 0}, {4, 0}); }

  CWorkbook book_;
  CWorksheet* data_;
  CDiagramSheet* chart_;
};

// ---------------------------------------------------------------- plot groups

TEST_F(Chart, BarGroupWritesItsSeriesThenBothAxisIds)
{
  // Chart readers decode no _xHHHH_: the name is written as it reads.
  DiagramSeries first = months(column_series(1, L"Sales & <costs> _x0045_"));
  first.dashed = first.smooth = first.marked = true;  // nothing a bar shows
  DiagramSeries second = with_categories(column_series(2), data_, {0, 0}, {0, 0});
  DiagramAxis x_axis;
  x_axis.id = 7;
  const std::string written = fragment(
      [&](CDiagramSheet& c) {
        WriteBarChart(c, x_axis, 8, {first, second}, 0, BarHorizontal, BarStacked);
      },
      "c:barChart");
  EXPECT_EQ(written,
            "c:barChart\n"
            "  c:barDir val=bar\n"
            "  c:grouping val=stacked\n"
            "  c:ser\n"
            "    c:idx val=0\n"
            "    c:order val=0\n"
            "    c:tx\n"
            "      c:v = Sales & <costs> _x0045_\n"
            "    c:cat\n"
            "      c:numRef\n"
            "        c:f = 'Data'!$A2:$A5\n"
            "    c:val\n"
            "      c:numRef\n"
            "        c:f = 'Data'!$B2:$B5\n"
            "  c:ser\n"
            "    c:idx val=1\n"
            "    c:order val=1\n"
            "    c:val\n"
            "      c:numRef\n"
            "        c:f = 'Data'!$C2:$C5\n"
            "  c:axId val=7\n"
            "  c:axId val=8\n"
            "--\n");
  EXPECT_TRUE(x_axis.source_linked) << "one series with categories is enough";
}

TEST_F(Chart, BarDirectionAndGroupingFollowTheSettingsAndSkipUnknownOnes)
{
  struct Case {
    BarOrientation orientation;
    BarStacking stacking;
    std::string settings;  // outline of c:barDir and c:grouping
  };
  const Case cases[] = {
      {BarVertical, BarClustered, "c:barDir val=col\nc:grouping val=clustered\n"},
      {BarHorizontal, BarPercentStacked, "c:barDir val=bar\nc:grouping val=percentStacked\n"},
      {static_cast<BarOrientation>(2), BarStacked, "c:grouping val=stacked\n"},
      {BarVertical, static_cast<BarStacking>(-1), "c:barDir val=col\n"},
  };
  for (const Case& c : cases) {
    chart_ = &book_.AddChartSheet(L"Bars");
    const std::string written = fragment(
        [&](CDiagramSheet& d) {
          WriteBarChart(d, d.x_axis, 2, {column_series(1)}, 0, c.orientation,
                                   c.stacking);
        },
        "c:barChart/*");
    std::string settings;
    std::istringstream in(written);
    for (std::string line; std::getline(in, line);)
      if (line.rfind("c:barDir", 0) == 0 || line.rfind("c:grouping", 0) == 0)
        settings += line + "\n";
    EXPECT_EQ(settings, c.settings) << c.orientation << "/" << c.stacking;
    EXPECT_EQ(heads(written).substr(heads(written).find("c:ser")), "c:ser c:axId c:axId");
  }
}

TEST_F(Chart, LineGroupNumbersFromTheFirstIndexAndDrawsEachSeriesAsAsked)
{
  DiagramSeries north = column_series(1, L"North");
  north.dashed = north.marked = north.smooth = true;
  const DiagramSeries south = months(column_series(2));
  DiagramAxis x_axis;
  x_axis.id = 3;
  const std::string written = fragment(
      [&](CDiagramSheet& c) { WriteLineChart(c, x_axis, 4, {north, south}, 3); },
      "c:lineChart");
  EXPECT_EQ(written,
            "c:lineChart\n"
            "  c:grouping val=standard\n"
            "  c:ser\n"
            "    c:idx val=3\n"
            "    c:order val=3\n"
            "    c:tx\n"
            "      c:v = North\n"
            "    c:spPr\n"
            "      a:ln\n"
            "        a:prstDash val=dash\n"
            "    c:marker\n"
            "      c:symbol val=diamond\n"
            "    c:val\n"
            "      c:numRef\n"
            "        c:f = 'Data'!$B2:$B5\n"
            "    c:smooth val=1\n"
            "  c:ser\n"
            "    c:idx val=4\n"
            "    c:order val=4\n"
            "    c:marker\n"
            "      c:symbol val=none\n"
            "    c:cat\n"
            "      c:numRef\n"
            "        c:f = 'Data'!$A2:$A5\n"
            "    c:val\n"
            "      c:numRef\n"
            "        c:f = 'Data'!$C2:$C5\n"
            "    c:smooth val=0\n"
            "  c:marker val=1\n"
            "  c:smooth val=0\n"
            "  c:axId val=3\n"
            "  c:axId val=4\n"
            "--\n");
  EXPECT_TRUE(x_axis.source_linked);
}

TEST_F(Chart, CategoriesEndingAtTheFirstCellCountAsNone)
{
  const DiagramSeries s = with_categories(column_series(1), data_, {0, 0}, {0, 0});
  DiagramAxis bar_axis, line_axis;
  const std::string written = fragment(
      [&](CDiagramSheet& c) {
        WriteBarChart(c, bar_axis, 2, {s}, 0, BarVertical, BarClustered);
        WriteLineChart(c, line_axis, 2, {s}, 0);
      },
      ".//c:cat");
  EXPECT_EQ(written, "");
  EXPECT_FALSE(bar_axis.source_linked);
  EXPECT_FALSE(line_axis.source_linked);
}

TEST_F(Chart, ScatterGroupNamesItsXValuesAndDrawsMarkersOnlyWithoutALine)
{
  DiagramSeries height = months(column_series(1, L"Height"));
  height.smooth = height.dashed = true;  // dashed is for lines only
  const std::string written = fragment(
      [&](CDiagramSheet& c) {
        WriteScatterChart(c, 5, 6, {height}, 0, ScatterMarkersOnly);
      },
      "c:scatterChart");
  EXPECT_EQ(written,
            "c:scatterChart\n"
            "  c:scatterStyle val=lineMarker\n"
            "  c:ser\n"
            "    c:idx val=0\n"
            "    c:order val=0\n"
            "    c:tx\n"
            "      c:v = Height\n"
            "    c:spPr\n"
            "      a:ln w=28575\n"
            "        a:noFill\n"
            "    c:marker\n"
            "      c:symbol val=diamond\n"
            "    c:xVal\n"
            "      c:numRef\n"
            "        c:f = 'Data'!$A2:$A5\n"
            "    c:yVal\n"
            "      c:numRef\n"
            "        c:f = 'Data'!$B2:$B5\n"
            "    c:smooth val=1\n"
            "  c:axId val=5\n"
            "  c:axId val=6\n"
            "--\n");
}

TEST_F(Chart, ScatterLookDecidesStyleLineAndMarkers)
{
  struct Case {
    ScatterLook look;
    bool marked;
    std::string style, line, symbol;
  };
  const Case cases[] = {
      {ScatterSmoothMarker, false, found({"c:scatterStyle val=smoothMarker"}), "",
       found({"c:symbol val=none"})},
      {ScatterSmoothMarker, true, found({"c:scatterStyle val=smoothMarker"}), "",
       found({"c:symbol val=diamond"})},
      {ScatterMarkersOnly, false, found({"c:scatterStyle val=lineMarker"}),
       found({"a:ln w=28575\n  a:noFill"}), found({"c:symbol val=diamond"})},
      {static_cast<ScatterLook>(2), false, "", "", found({"c:symbol val=none"})},
  };
  for (const Case& c : cases) {
    chart_ = &book_.AddChartSheet(L"Points");
    DiagramSeries s = months(column_series(1));
    s.marked = c.marked;
    const std::string file = chart_part(*chart_);
    fragment([&](CDiagramSheet& d) { WriteScatterChart(d, 1, 2, {s}, 0, c.look); },
             ".");
    EXPECT_EQ(outline(file, ".//c:scatterStyle"), c.style) << c.look;
    EXPECT_EQ(outline(file, ".//c:spPr/a:ln"), c.line) << c.look;
    EXPECT_EQ(outline(file, ".//c:symbol"), c.symbol) << c.look;
  }
}

TEST_F(Chart, RangeFormulaQuotesTheSheetTitleAndFixesTheColumns)
{
  struct Case {
    std::wstring title;
    DiagramCell first, last;
    std::string formula;
  };
  const Case cases[] = {
      {L"Data2", {1, 1}, {12, 1}, "'Data2'!$B2:$B13"},
      {L"Sheet 1", {0, 0}, {9, 0}, "'Sheet 1'!$A1:$A10"},
      {L"It's data", {0, 0}, {2, 0}, "'It''s data'!$A1:$A3"},
      {L"a&b<c>\"d\"", {0, 26}, {99, 27}, "'a&b<c>\"d\"'!$AA1:$AB100"},
      {L"_x0041_ data", {0, 0}, {2, 0}, "'_x0041_ data'!$A1:$A3"},  // read as written
  };
  for (const Case& c : cases) {
    const CWorksheet* sheet = book_.AddSheet2(c.title, {});
    ASSERT_EQ(sheet->GetTitle(), c.title);
    chart_ = &book_.AddChartSheet(L"Formula");
    const std::string written = fragment(
        [&](CDiagramSheet& d) {
          WriteBarChart(d, d.x_axis, 2, {series_of(sheet, c.first, c.last)}, 0,
                                   BarVertical, BarClustered);
        },
        ".//c:val/c:numRef/c:f");
    EXPECT_EQ(written, "c:f = " + c.formula + "\n--\n");
  }
}

// ---------------------------------------------------------------- titles and axes

TEST_F(Chart, ChartTitleCarriesItsSizeInHundredthsOfAPoint)
{
  const std::string written = fragment(
      [](CDiagramSheet& c) {
        WriteChartTitle(c, L"Q1 <sales> & more _x0044_", 18, false);
      },
      "c:title");
  EXPECT_EQ(written,
            "c:title\n"
            "  c:tx\n"
            "    c:rich\n"
            "      a:bodyPr\n"
            "      a:lstStyle\n"
            "      a:p\n"
            "        a:pPr\n"
            "          a:defRPr lang=en-US sz=1800\n"
            "        a:r\n"
            "          a:rPr lang=en-US sz=1800\n"
            "          a:t = Q1 <sales> & more _x0044_\n"
            "        a:endParaRPr lang=en-US\n"
            "  c:layout\n"
            "  c:overlay val=0\n"
            "--\n");
}

// Readers take an empty title or name for a text of its own, so one left empty
// once the characters XML cannot hold are dropped is not written, and the size
// of a title not written is not checked.
TEST_F(Chart, TitleOrNameWithNothingXmlCanHoldWritesNoElement)
{
  chart_->title = L"\u0001\uFFFE";
  chart_->title_size = 0;
  chart_->y_axis.title = std::wstring(1, static_cast<wchar_t>(0xD800));  // a lone surrogate
  chart_->y_axis.title_size = 5000;
  chart_->series = {column_series(1, L"\u0002"), column_series(2, L"Kept")};
  std::string error;
  ASSERT_TRUE(WriteChartParts(*chart_, error)) << error;
  EXPECT_EQ(outline(chart_part(*chart_), ".//c:title"), "");
  EXPECT_EQ(outline(chart_part(*chart_), ".//c:tx"), found({"c:tx\n  c:v = Kept"}));
}

TEST_F(Chart, CategoryAxisWritesEverySettingInItsPlace)
{
  DiagramAxis axis;
  axis.id = 1;
  axis.title = L"Month";
  axis.title_size = 12;
  axis.side = AxisTop;
  axis.grid = GridBoth;
  axis.crosses = CrossMax;
  axis.source_linked = true;
  axis.min = L"1";
  axis.max = L"12";
  axis.label_skip = 2;
  axis.mark_skip = 3;
  axis.label_rotation = -45;
  const std::string written =
      fragment([&](CDiagramSheet& c) { WriteCategoryAxis(c, axis, 2, false); },
               "c:catAx");
  EXPECT_EQ(written,
            "c:catAx\n"
            "  c:axId val=1\n"
            "  c:scaling\n"
            "    c:orientation val=minMax\n"
            "    c:max val=12\n"
            "    c:min val=1\n"
            "  c:delete val=0\n"
            "  c:axPos val=t\n"
            "  c:majorGridlines\n"
            "  c:minorGridlines\n"
            "  c:title\n"
            "    c:tx\n"
            "      c:rich\n"
            "        a:bodyPr\n"
            "        a:lstStyle\n"
            "        a:p\n"
            "          a:pPr\n"
            "            a:defRPr lang=en-US sz=1200\n"
            "          a:r\n"
            "            a:rPr lang=en-US sz=1200\n"
            "            a:t = Month\n"
            "          a:endParaRPr lang=en-US\n"
            "    c:layout\n"
            "    c:overlay val=0\n"
            "  c:numFmt formatCode=General sourceLinked=1\n"
            "  c:tickLblPos val=nextTo\n"
            "  c:txPr\n"
            "    a:bodyPr rot=-2700000\n"
            "    a:lstStyle\n"
            "    a:p\n"
            "      a:pPr\n"
            "        a:defRPr\n"
            "      a:endParaRPr lang=en-US\n"
            "  c:crossAx val=2\n"
            "  c:crosses val=max\n"
            "  c:auto val=1\n"
            "  c:lblAlgn val=ctr\n"
            "  c:lblOffset val=100\n"
            "  c:tickLblSkip val=2\n"
            "  c:tickMarkSkip val=3\n"
            "--\n");
}

TEST_F(Chart, ValueAxisTurnsItsTitleAndIgnoresTheCategorySettings)
{
  DiagramAxis axis;
  axis.id = 2;
  axis.title = L"Euro & cent";
  axis.side = AxisLeft;
  axis.grid = GridMajor;
  axis.min = L"-0.5";
  axis.max = L"1.5e2";
  axis.label_skip = 2;
  axis.mark_skip = 3;
  axis.label_rotation = 30;
  const std::string written =
      fragment([&](CDiagramSheet& c) { WriteValueAxis(c, axis, 1, true); }, "c:valAx");
  EXPECT_EQ(written,
            "c:valAx\n"
            "  c:axId val=2\n"
            "  c:scaling\n"
            "    c:orientation val=minMax\n"
            "    c:max val=150\n"
            "    c:min val=-0.5\n"
            "  c:delete val=0\n"
            "  c:axPos val=l\n"
            "  c:majorGridlines\n"
            "  c:title\n"
            "    c:tx\n"
            "      c:rich\n"
            "        a:bodyPr rot=-5400000 vert=horz\n"
            "        a:lstStyle\n"
            "        a:p\n"
            "          a:pPr\n"
            "            a:defRPr lang=en-US sz=1000\n"
            "          a:r\n"
            "            a:rPr lang=en-US sz=1000\n"
            "            a:t = Euro & cent\n"
            "          a:endParaRPr lang=en-US\n"
            "    c:layout\n"
            "    c:overlay val=0\n"
            "  c:tickLblPos val=nextTo\n"
            "  c:crossAx val=1\n"
            "  c:crosses val=autoZero\n"
            "  c:crossBetween val=between\n"
            "--\n");
}

// Whatever the process locale, a bound is written in the one form readers take;
// a text that names no number writes nothing (and a whole chart with it is
// refused, below).
TEST_F(Chart, AxisBoundIsWrittenAsTheNumberItNamesOrNotAtAll)
{
  const std::pair<std::wstring, std::string> cases[] = {
      {L"15", "15"},        {L"1.5e1", "15"},  {L"-0.25", "-0.25"}, {L"0.1", "0.1"},
      {L"1E3", "1000"},     {L"1e21", "1e+21"}, {L"1,5e1", ""},     {L"auto", ""},
      {L" 15", ""},         {L"15 ", ""},      {L"inf", ""},        {L"nan", ""},
      {L"1e999", ""},       {L"\u0661", ""},   {L"", ""},
  };
  for (const auto& [text, written] : cases) {
    chart_ = &book_.AddChartSheet(L"Bounds");
    DiagramAxis axis;
    axis.max = text;
    EXPECT_EQ(fragment([&](CDiagramSheet& d) { WriteValueAxis(d, axis, 2, true); },
                       ".//c:max"),
              written.empty() ? "" : found({("c:max val=" + written).c_str()}))
        << plat::to_utf8(text);
  }
}

// The Y axis stands upright, except under horizontal bars, where the X axis
// does; only an upright axis has its title turned to run along it.
TEST_F(Chart, OnlyAnUprightAxisTurnsItsTitle)
{
  struct Case {
    DiagramKind kind;
    BarOrientation orientation;
    DiagramKind kind2;
    std::string titles;  // each axis title in the plot area's order
  };
  const Case cases[] = {
      {DiagramLine, BarVertical, DiagramNone, "level turned"},
      {DiagramBar, BarVertical, DiagramNone, "level turned"},
      {DiagramBar, BarHorizontal, DiagramNone, "turned level"},
      {DiagramScatter, BarHorizontal, DiagramNone, "level turned"},
      {DiagramBar, BarHorizontal, DiagramLine, "turned level level turned"},
  };
  for (const Case& c : cases) {
    chart_ = &book_.AddChartSheet(L"Titles");
    chart_->kind = c.kind;
    chart_->kind2 = c.kind2;
    chart_->bar_orientation = c.orientation;
    chart_->series = {months(column_series(1))};
    if (c.kind2 != DiagramNone)
      chart_->series2 = {months(column_series(2))};
    for (DiagramAxis* axis : {&chart_->x_axis, &chart_->y_axis, &chart_->x_axis2, &chart_->y_axis2})
      axis->title = L"Axis";
    std::string error;
    ASSERT_TRUE(WriteChartParts(*chart_, error)) << error;
    std::istringstream in(
        outline(chart_part(*chart_), "c:chart/c:plotArea/*/c:title/c:tx/c:rich/a:bodyPr"));
    std::string titles;
    for (std::string line; std::getline(in, line);) {
      if (line == "--")
        continue;
      titles += titles.empty() ? "" : " ";
      titles += line == "a:bodyPr rot=-5400000 vert=horz" ? "turned"
                : line == "a:bodyPr"                      ? "level"
                                                          : line;
    }
    EXPECT_EQ(titles, c.titles) << c.kind << "/" << c.orientation << "/" << c.kind2;
  }
}

TEST_F(Chart, LabelRotationIsWrittenInSixtyThousandthsUnlessMinusOne)
{
  struct Case {
    std::int32_t degrees;
    std::string body;
  };
  const Case cases[] = {
      {-45, found({"a:bodyPr rot=-2700000"})},
      {0, found({"a:bodyPr rot=0"})},
      {90, found({"a:bodyPr rot=5400000"})},
      {-1, ""},
      {40000, found({"a:bodyPr rot=2400000000"})},  // past 32 bits: no wrap
  };
  for (const Case& c : cases) {
    chart_ = &book_.AddChartSheet(L"Turned");
    DiagramAxis axis;
    axis.label_rotation = c.degrees;
    EXPECT_EQ(fragment([&](CDiagramSheet& d) { WriteCategoryAxis(d, axis, 2, false); },
                       ".//c:txPr/a:bodyPr"),
              c.body)
        << c.degrees;
  }
}

TEST_F(Chart, AxisSideGivesDeleteAndPositionForEitherKindOfAxis)
{
  struct Case {
    AxisSide side;
    std::string category, value;  // c:delete and c:axPos of each
  };
  const Case cases[] = {
      {AxisHidden, "1 b", "1 l"},
      {AxisLeft, "0 l", "0 l"},
      {AxisRight, "0 r", "0 r"},
      {AxisTop, "0 t", "0 t"},
      {AxisBottom, "0 b", "0 b"},
      {static_cast<AxisSide>(9), "0 b", "0 l"},
  };
  const auto value_of = [](const std::string& line) {
    return line.substr(line.find("val=") + 4, line.find('\n') - line.find("val=") - 4);
  };
  for (const Case& c : cases) {
    chart_ = &book_.AddChartSheet(L"Sides");
    DiagramAxis axis;
    axis.side = c.side;
    const std::string file = chart_part(*chart_);
    fragment(
        [&](CDiagramSheet& d) {
          WriteCategoryAxis(d, axis, 2, false);
          WriteValueAxis(d, axis, 2, true);
        },
        ".");
    const std::pair<const char*, std::string> kinds[] = {{"c:catAx", c.category},
                                                         {"c:valAx", c.value}};
    for (const auto& [kind, expected] : kinds)
      EXPECT_EQ(value_of(outline(file, std::string(kind) + "/c:delete")) + " " +
                    value_of(outline(file, std::string(kind) + "/c:axPos")),
                expected)
          << kind << " side " << c.side;
  }
}

TEST_F(Chart, AxisCrossedByNoAxisLeavesOutTheCrossingElements)
{
  DiagramAxis axis;
  axis.id = 1;
  const std::string written = fragment(
      [&](CDiagramSheet& c) {
        WriteCategoryAxis(c, axis, 0, false);
        WriteValueAxis(c, axis, 0, true);
      },
      "*");
  EXPECT_EQ(written,
            "c:catAx\n"
            "  c:axId val=1\n"
            "  c:scaling\n"
            "    c:orientation val=minMax\n"
            "  c:delete val=0\n"
            "  c:axPos val=b\n"
            "  c:tickLblPos val=nextTo\n"
            "  c:auto val=1\n"
            "  c:lblAlgn val=ctr\n"
            "  c:lblOffset val=100\n"
            "--\n"
            "c:valAx\n"
            "  c:axId val=1\n"
            "  c:scaling\n"
            "    c:orientation val=minMax\n"
            "  c:delete val=0\n"
            "  c:axPos val=b\n"
            "  c:tickLblPos val=nextTo\n"
            "--\n");
}

TEST_F(Chart, GridlinesAndCrossingFollowTheirSettingsAndSkipUnknownOnes)
{
  struct Case {
    GridMode grid;
    AxisCrossing crosses;
    std::string elements;  // the value axis's children after c:axPos
  };
  const Case cases[] = {
      {GridNone, CrossAutoZero, "c:tickLblPos c:crossAx c:crosses c:crossBetween"},
      {GridMajor, CrossMin, "c:majorGridlines c:tickLblPos c:crossAx c:crosses c:crossBetween"},
      {GridMinor, CrossMax, "c:minorGridlines c:tickLblPos c:crossAx c:crosses c:crossBetween"},
      {GridBoth, CrossAutoZero,
       "c:majorGridlines c:minorGridlines c:tickLblPos c:crossAx c:crosses c:crossBetween"},
      {static_cast<GridMode>(4), static_cast<AxisCrossing>(3),
       "c:tickLblPos c:crossAx c:crossBetween"},
  };
  for (const Case& c : cases) {
    chart_ = &book_.AddChartSheet(L"Grid");
    DiagramAxis axis;
    axis.grid = c.grid;
    axis.crosses = c.crosses;
    const std::string file = chart_part(*chart_);
    const std::string children =
        heads(fragment([&](CDiagramSheet& d) { WriteValueAxis(d, axis, 2, true); },
                       "c:valAx/*"));
    EXPECT_EQ(children.substr(children.find("c:axPos") + 8), c.elements) << c.grid;
    if (c.crosses <= CrossMax) {
      EXPECT_EQ(outline(file, ".//c:crosses"),
                found({c.crosses == CrossAutoZero ? "c:crosses val=autoZero"
                       : c.crosses == CrossMin    ? "c:crosses val=min"
                                                  : "c:crosses val=max"}));
    }
  }
}

// ---------------------------------------------------------------- legend and data table

TEST_F(Chart, LegendPlaceGivesPositionAndOverlay)
{
  const auto legend = [](const char* position, int overlay) {
    return std::string("c:legend\n  c:legendPos val=") + position +
           "\n  c:layout\n  c:overlay val=" + std::to_string(overlay) + "\n--\n";
  };
  const std::pair<std::int32_t, std::string> cases[] = {
      {LegendNone, ""},
      {LegendLeftOverlay, legend("l", 1)},
      {LegendRightOverlay, legend("r", 1)},
      {LegendTopOverlay, legend("t", 1)},
      {LegendBottomOverlay, legend("b", 1)},
      {LegendLeft, legend("l", 0)},
      {LegendRight, legend("r", 0)},
      {LegendTop, legend("t", 0)},
      {LegendBottom, legend("b", 0)},
      {9, ""},
      {-1, ""},
  };
  for (const auto& [place, expected] : cases) {
    chart_ = &book_.AddChartSheet(L"Legend");
    chart_->legend = static_cast<LegendPlace>(place);
    EXPECT_EQ(fragment([](CDiagramSheet& d) { WriteChartLegend(d); }, "*"), expected)
        << place;
  }
}

TEST_F(Chart, DataTableShowsBordersAndOutlineAndKeysWhenAsked)
{
  const std::string table = "c:dTable\n  c:showHorzBorder val=1\n  c:showVertBorder val=1\n"
                            "  c:showOutline val=1\n";
  const std::pair<std::int32_t, std::string> cases[] = {
      {DataTableNone, ""},
      {DataTableShown, table + "--\n"},
      {DataTableWithKeys, table + "  c:showKeys val=1\n--\n"},
      {3, ""},
  };
  for (const auto& [mode, expected] : cases) {
    chart_ = &book_.AddChartSheet(L"Table");
    chart_->data_table = static_cast<DataTableMode>(mode);
    EXPECT_EQ(fragment([](CDiagramSheet& d) { WriteDataTable(d); }, "*"), expected)
        << mode;
  }
}

// ---------------------------------------------------------------- the five parts

TEST_F(Chart, ChartSheetNumberThreeWritesItsFivePartsUnderItsNumber)
{
  book_.AddChartSheet(L"Second");
  CDiagramSheet& chart = book_.AddChartSheet(L"Third");
  ASSERT_EQ(chart.number, 3u);
  chart.legend = LegendNone;
  chart.series = {months(column_series(1))};
  std::string error;
  ASSERT_TRUE(WriteChartParts(chart, error)) << error;
  EXPECT_EQ(chart.writer, nullptr);
  EXPECT_EQ(chart.stream, nullptr);
  EXPECT_FALSE(WriteChartParts(chart, error)) << "a finished chart is not written twice";
  EXPECT_EQ(error, "the chart part is not open");

  const std::string root = folder() + "/xl/";
  for (const char* part : {"charts/chart3.xml", "chartsheets/sheet3.xml",
                           "chartsheets/_rels/sheet3.xml.rels", "drawings/drawing3.xml",
                           "drawings/_rels/drawing3.xml.rels"})
    EXPECT_TRUE(book_test::xml_well_formed(root + part)) << part;

  // Without title, legend or data table the chart holds its plot area only.
  const std::string chart_xml = root + "charts/chart3.xml";
  EXPECT_EQ(heads(outline(chart_xml)), "c:chartSpace");
  EXPECT_EQ(outline(chart_xml).substr(0, outline(chart_xml).find('\n')),
            "c:chartSpace xmlns:c=<chart> xmlns:a=<main> xmlns:r=<packageRels>");
  EXPECT_EQ(heads(outline(chart_xml, "*")), "c:lang c:roundedCorners c:chart");
  EXPECT_EQ(outline(chart_xml, "c:lang") + outline(chart_xml, "c:roundedCorners"),
            found({"c:lang val=en-US", "c:roundedCorners val=1"}));
  EXPECT_EQ(heads(outline(chart_xml, "c:chart/*")), "c:plotArea c:plotVisOnly");
  EXPECT_EQ(outline(chart_xml, "c:chart/c:plotVisOnly"), found({"c:plotVisOnly val=1"}));

  EXPECT_EQ(outline(root + "chartsheets/_rels/sheet3.xml.rels"),
            "Relationships xmlns=<packageRels>\n"
            "  Relationship Id=rId1 Type=<rel:drawing> Target=../drawings/drawing3.xml\n");
  EXPECT_EQ(outline(root + "chartsheets/sheet3.xml"),
            "chartsheet xmlns=<spreadsheet> xmlns:r=<officeRels>\n"
            "  sheetPr\n"
            "  sheetViews\n"
            "    sheetView zoomScale=85 workbookViewId=0 zoomToFit=1\n"
            "  pageMargins left=0.7 right=0.7 top=0.75 bottom=0.75 header=0.3 footer=0.3\n"
            "  drawing r:id=rId1\n");
  EXPECT_EQ(outline(root + "drawings/_rels/drawing3.xml.rels"),
            "Relationships xmlns=<packageRels>\n"
            "  Relationship Id=rId1 Type=<rel:chart> Target=../charts/chart3.xml\n");
  EXPECT_EQ(outline(root + "drawings/drawing3.xml"),
            "xdr:wsDr xmlns:xdr=<spreadsheetDrawing> xmlns:a=<main>\n"
            "  xdr:absoluteAnchor\n"
            "    xdr:pos x=0 y=0\n"
            "    xdr:ext cx=9312088 cy=6084794\n"
            "    xdr:graphicFrame macro=\n"
            "      xdr:nvGraphicFramePr\n"
            "        xdr:cNvPr id=2 name=Third\n"
            "        xdr:cNvGraphicFramePr\n"
            "          a:graphicFrameLocks noGrp=1\n"
            "      xdr:xfrm\n"
            "        a:off x=0 y=0\n"
            "        a:ext cx=0 cy=0\n"
            "      a:graphic\n"
            "        a:graphicData uri=<chart>\n"
            "          c:chart xmlns:c=<chart> xmlns:r=<officeRels> r:id=rId1\n"
            "    xdr:clientData\n");
  EXPECT_FALSE(std::filesystem::exists(root + "chartsheets/sheet1.xml"))
      << "only chart 3 was written";
}

TEST_F(Chart, PlotAreaHoldsBothGroupsThenTheirAxesThenTheDataTable)
{
  chart_->title = L"Sales";
  chart_->data_table = DataTableWithKeys;
  chart_->legend = LegendBottom;
  chart_->series = {months(column_series(1)), months(column_series(2)), column_series(3)};
  chart_->kind2 = DiagramBar;
  chart_->series2 = {column_series(4), months(column_series(5))};
  std::string error;
  ASSERT_TRUE(WriteChartParts(*chart_, error)) << error;

  const std::string file = chart_part(*chart_);
  EXPECT_EQ(heads(outline(file, "c:chart/*")), "c:title c:plotArea c:legend c:plotVisOnly");
  EXPECT_EQ(heads(outline(file, "c:chart/c:plotArea/*")),
            "c:layout c:lineChart c:barChart c:catAx c:valAx c:catAx c:valAx c:dTable");
  EXPECT_EQ(outline(file, ".//c:lineChart/c:ser/c:idx"),
            found({"c:idx val=0", "c:idx val=1", "c:idx val=2"}));
  EXPECT_EQ(outline(file, ".//c:barChart/c:ser/c:order"),
            found({"c:order val=3", "c:order val=4"}));
  // Each group names its own axes, and each axis the other one of its group.
  EXPECT_EQ(outline(file, "c:chart/c:plotArea/*/c:axId"),
            found({"c:axId val=1", "c:axId val=2", "c:axId val=3", "c:axId val=4", "c:axId val=1",
                   "c:axId val=2", "c:axId val=3", "c:axId val=4"}));
  EXPECT_EQ(outline(file, "c:chart/c:plotArea/*/c:crossAx"),
            found({"c:crossAx val=2", "c:crossAx val=1", "c:crossAx val=4", "c:crossAx val=3"}));
  EXPECT_EQ(outline(file, "c:chart/c:plotArea/c:catAx/c:numFmt"),
            found({"c:numFmt formatCode=General sourceLinked=1",
                   "c:numFmt formatCode=General sourceLinked=1"}));
  EXPECT_EQ(outline(file, "c:chart/c:title//a:t"), found({"a:t = Sales"}));
}

TEST_F(Chart, SecondaryGroupIsDrawnOnlyWithSeriesOfItsOwn)
{
  struct Case {
    DiagramKind kind, kind2;
    bool with_series2;
    std::string plot_area;
  };
  const Case cases[] = {
      {DiagramLine, DiagramNone, false, "c:layout c:lineChart c:catAx c:valAx"},
      // A group without series would name axes that are never written.
      {DiagramLine, DiagramBar, false, "c:layout c:lineChart c:catAx c:valAx"},
      {DiagramBar, DiagramLine, true,
       "c:layout c:barChart c:lineChart c:catAx c:valAx c:catAx c:valAx"},
      {DiagramScatter, DiagramNone, false, "c:layout c:scatterChart c:valAx c:valAx"},
      {DiagramLine, DiagramScatter, true,
       "c:layout c:lineChart c:scatterChart c:catAx c:valAx c:valAx c:valAx"},
  };
  for (const Case& c : cases) {
    chart_ = &book_.AddChartSheet(L"Groups");
    chart_->kind = c.kind;
    chart_->kind2 = c.kind2;
    // Scatter series always name X values, here ranges that end at A1.
    chart_->series = {with_categories(column_series(1), data_, {0, 0}, {0, 0})};
    if (c.with_series2)
      chart_->series2 = {with_categories(column_series(2), data_, {0, 0}, {0, 0})};
    std::string error;
    ASSERT_TRUE(WriteChartParts(*chart_, error)) << error;
    const std::string file = chart_part(*chart_);
    EXPECT_EQ(heads(outline(file, "c:chart/c:plotArea/*")), c.plot_area) << c.kind << c.kind2;
    // Scatter X values are numbers: their axis takes the cells' format even
    // though no series has categories.
    if (c.kind2 == DiagramScatter) {
      EXPECT_EQ(outline(file, "c:chart/c:plotArea/c:valAx[2]/c:numFmt"),
                found({"c:numFmt formatCode=General sourceLinked=1"}));
    }
    if (c.kind == DiagramScatter) {
      EXPECT_EQ(outline(file, "c:chart/c:plotArea/c:valAx[1]/c:numFmt"),
                found({"c:numFmt formatCode=General sourceLinked=1"}));
    }
  }
}

TEST_F(Chart, ModelThatCannotBeDrawnIsRefusedBeforeAnythingIsWritten)
{
  struct Case {
    const char* what;
    std::function<void(CDiagramSheet&, const CWorksheet*)> spoil;
    std::string error;
  };
  const Case cases[] = {
      {"no series", [](CDiagramSheet& c, const CWorksheet*) { c.series.clear(); },
       "the chart has no series"},
      {"no kind", [](CDiagramSheet& c, const CWorksheet*) { c.kind = DiagramNone; },
       "the chart kind is not line, bar or scatter"},
      {"unknown kind",
       [](CDiagramSheet& c, const CWorksheet*) { c.kind = static_cast<DiagramKind>(3); },
       "the chart kind is not line, bar or scatter"},
      {"secondary series without kind",
       [](CDiagramSheet& c, const CWorksheet* sheet) {
         c.series2 = {series_of(sheet, {0, 1}, {3, 1})};
       },
       "the secondary chart kind is not line, bar or scatter"},
      {"series without value sheet",
       [](CDiagramSheet& c, const CWorksheet*) { c.series.back().value_sheet = nullptr; },
       "a series has no sheet for its values or X values"},
      {"scatter series without X values",
       [](CDiagramSheet& c, const CWorksheet* sheet) {
         c.kind2 = DiagramScatter;
         c.series2 = {series_of(sheet, {0, 1}, {3, 1})};
       },
       "a series has no sheet for its values or X values"},
      {"values past the last column",
       [](CDiagramSheet& c, const CWorksheet*) { c.series.back().value_last.col = 20000; },
       "a series range reaches past the last row or column of a sheet"},
      {"categories past the last row",
       [](CDiagramSheet& c, const CWorksheet* sheet) {
         c.series.back() = with_categories(c.series.back(), sheet, {0, 0}, {2000000, 0});
       },
       "a series range reaches past the last row or column of a sheet"},
      {"secondary X values starting past the last row",
       [](CDiagramSheet& c, const CWorksheet* sheet) {
         c.kind2 = DiagramScatter;
         c.series2 = {with_categories(series_of(sheet, {0, 1}, {3, 1}), sheet,
                                      {kMaxSheetRows, 0}, {kMaxSheetRows, 0})};
       },
       "a series range reaches past the last row or column of a sheet"},
      {"bound with a decimal comma",
       [](CDiagramSheet& c, const CWorksheet*) { c.y_axis.max = L"1,5e1"; },
       "the axis bound '1,5e1' is not a number"},
      {"bound that is a word",
       [](CDiagramSheet& c, const CWorksheet*) { c.x_axis.min = L"auto"; },
       "the axis bound 'auto' is not a number"},
      {"bounds that leave no scale",
       [](CDiagramSheet& c, const CWorksheet*) {
         c.y_axis.min = L"5";
         c.y_axis.max = L"5.0";
       },
       "the axis bounds 5 to 5.0 leave no scale"},
      {"title size 0",
       [](CDiagramSheet& c, const CWorksheet*) {
         c.title = L"T";
         c.title_size = 0;
       },
       "the title size 0 is not between 1 and 4000 points"},
      {"title size past the largest",
       [](CDiagramSheet& c, const CWorksheet*) {
         c.title = L"T";
         c.title_size = 4001;
       },
       "the title size 4001 is not between 1 and 4000 points"},
      {"title size that would wrap in hundredths",
       [](CDiagramSheet& c, const CWorksheet*) {
         c.x_axis.title = L"X";
         c.x_axis.title_size = 100000000;
       },
       "the title size 100000000 is not between 1 and 4000 points"},
      {"title size of a secondary axis",
       [](CDiagramSheet& c, const CWorksheet* sheet) {
         c.kind2 = DiagramLine;
         c.series2 = {series_of(sheet, {0, 1}, {3, 1})};
         c.y_axis2.title = L"Y";
         c.y_axis2.title_size = 5000;
       },
       "the title size 5000 is not between 1 and 4000 points"},
      {"bound of a secondary axis",
       [](CDiagramSheet& c, const CWorksheet* sheet) {
         c.kind2 = DiagramLine;
         c.series2 = {series_of(sheet, {0, 1}, {3, 1})};
         c.y_axis2.min = L"-";
       },
       "the axis bound '-' is not a number"},
  };
  for (const Case& c : cases) {
    chart_ = &book_.AddChartSheet(L"Refused");
    chart_->series = {column_series(1)};
    c.spoil(*chart_, data_);
    std::string error;
    EXPECT_FALSE(WriteChartParts(*chart_, error)) << c.what;
    EXPECT_EQ(error, c.error) << c.what;
    ASSERT_NE(chart_->writer, nullptr) << c.what;
    EXPECT_EQ(chart_->writer->Depth(), 0u) << c.what << ": nothing written";
    EXPECT_FALSE(std::filesystem::exists(folder() + "/xl/chartsheets")) << c.what;
  }
}

TEST_F(Chart, PartThatCannotBeWrittenFailsWithTheReason)
{
  chart_->series = {column_series(1)};
  // A folder where the drawing part should go: the last of the five fails.
  std::filesystem::create_directories(folder() + "/xl/drawings/drawing1.xml");
  std::string error;
  EXPECT_FALSE(WriteChartParts(*chart_, error));
  EXPECT_NE(error.find("drawing1.xml"), std::string::npos) << error;
  EXPECT_TRUE(book_test::xml_well_formed(folder() + "/xl/chartsheets/sheet1.xml"));
}

} // namespace

namespace {

// ---------------------------------------------------------------- whole workbooks

class ChartWorkbook : public book_test::book_fixture {
protected:
  // Six rows of numbers: the month in A, three measures in B to D.
  static CWorksheet* numbers(CWorkbook& book, const std::wstring& title)
  {
    CWorksheet* sheet = book.AddSheet2(title, {});
    for (int row = 1; row <= 6; ++row) {
      sheet->OpenRow();
      for (double value : {1.0 * row, 10.0 * row, 5.0 + row, 100.0 / row})
        sheet->AddCell(CellDataDbl{value});
    }
    return sheet;
  }

  static DiagramSeries column(const CWorksheet* sheet, std::uint32_t col, const std::wstring& title)
  {
    return with_categories(series_of(sheet, {0, col}, {5, col}, title), sheet, {0, 0}, {5, 0});
  }

  std::string unpack(const std::string& archive, const std::string& name) const
  {
    const std::string folder = (dir_.path() / name).string();
    int status = -1;
    const std::string said = command_output("unzip -q -o " + quoted(archive) + " -d " +
                                                quoted(folder) + " 2>&1",
                                            &status);
    EXPECT_EQ(status, 0) << said;
    return folder;
  }
};

TEST_F(ChartWorkbook, EveryPlotGroupIsSavedAndReadBackByOpenpyxlAndLibreOffice)
{
  const std::string path = out("charts.xlsx");
  {
    CWorkbook book;
    const CWorksheet* plain = numbers(book, L"Numbers");
    const CWorksheet* quoted_sheet = numbers(book, L"It's data");
    // LibreOffice decodes _xHHHH_ in sheet names, but not in formulas or titles.
    const CWorksheet* escape_sheet = numbers(book, L"_x0041_ data");

    CDiagramSheet& lines = book.AddChartSheet(L"Lines");
    lines.title = L"Monthly <totals> & more";
    lines.x_axis.title = L"Month";
    lines.y_axis.title = L"Amount";
    lines.legend = LegendRight;
    lines.data_table = DataTableWithKeys;
    lines.series = {column(plain, 1, L"Tens"), column(plain, 2, L"Fives")};
    lines.series[0].dashed = lines.series[1].marked = lines.series[1].smooth = true;

    CDiagramSheet& columns = book.AddChartSheet(L"Columns");
    columns.title = L"Stacked columns";
    columns.kind = DiagramBar;
    columns.bar_stacking = BarStacked;
    columns.legend = LegendTopOverlay;
    columns.series = {column(quoted_sheet, 1, L"Tens"), column(quoted_sheet, 2, L"Fives")};

    CDiagramSheet& bars = book.AddChartSheet(L"Bars");
    bars.title = L"Shares";
    bars.kind = DiagramBar;
    bars.bar_orientation = BarHorizontal;
    bars.x_axis.title = L"Month";  // upright under horizontal bars
    bars.y_axis.title = L"Share";
    bars.bar_stacking = BarPercentStacked;
    bars.data_table = DataTableShown;
    bars.series = {column(plain, 2, L"Fives"), column(plain, 3, L"Falling")};

    CDiagramSheet& smooth = book.AddChartSheet(L"Smooth points");
    smooth.title = L"Smooth";
    smooth.kind = DiagramScatter;
    smooth.series = {column(quoted_sheet, 3, L"Falling")};
    smooth.series[0].smooth = true;
    smooth.y_axis.grid = GridBoth;

    CDiagramSheet& points = book.AddChartSheet(L"Points");
    points.title = L"Points only";
    points.kind = DiagramScatter;
    points.scatter_look = ScatterMarkersOnly;
    points.legend = LegendBottom;
    points.series = {column(plain, 1, L"Tens"), column(plain, 2, L"Fives")};
    points.x_axis.title = L"Month";
    points.y_axis.title = L"Amount";

    CDiagramSheet& combo = book.AddChartSheet(L"Bob's combo");
    combo.title = L"Lines over bars";
    combo.x_axis.label_rotation = -45;
    combo.y_axis2.title = L"Falling";
    combo.series = {column(plain, 1, L"Tens"), column(plain, 2, L"Fives"),
                    column(quoted_sheet, 1, L"Their tens")};
    combo.kind2 = DiagramBar;
    combo.series2 = {column(plain, 3, L"Falling"), column(quoted_sheet, 3, L"Their falling")};

    // Names readers refuse as they are, texts that look escaped, bounds.
    CDiagramSheet& escapes = book.AddChartSheet(L"a/b");
    escapes.title = L"title _x0044_";
    escapes.series = {column(escape_sheet, 1, L"ser _x0045_")};
    escapes.y_axis.min = L"-10";
    escapes.y_axis.max = L"1.5e2";
    CDiagramSheet& bracketed = book.AddChartSheet(L"x[1]");
    bracketed.kind = DiagramBar;
    bracketed.series = {column(plain, 1, L"Tens")};
    CDiagramSheet& quoted_chart = book.AddChartSheet(L"chart on 'quoted'");
    quoted_chart.series = {column(quoted_sheet, 2, L"Fives")};
    // Titles and a name with nothing XML can hold are none; the sizes at either
    // end of what readers draw.
    CDiagramSheet& dropped = book.AddChartSheet(L"Dropped");
    dropped.title = L"\u0001\uFFFE";
    dropped.title_size = 0;
    dropped.x_axis.title = L"Smallest";
    dropped.x_axis.title_size = 1;
    dropped.y_axis.title = L"Largest";
    dropped.y_axis.title_size = 4000;
    dropped.series = {column(plain, 1, L"\u0002"), column(plain, 2, L"Fives")};

    ASSERT_TRUE(book.Save(wide(path))) << book.GetSaveError();
  }
  EXPECT_TRUE(temp_leftovers().empty());

  const std::string xlsx = unpack(path, "xlsx");
  for (const auto& entry : std::filesystem::recursive_directory_iterator(xlsx)) {
    if (entry.is_regular_file()) {
      EXPECT_TRUE(book_test::xml_well_formed(entry.path().string())) << entry.path();
    }
  }

  int status = -1;
  const std::string listed = command_output(
      "/usr/bin/python3 -c " +
          quoted("import sys, openpyxl\n"
                 "import re\n"
                 "book = openpyxl.load_workbook(sys.argv[1])\n"
                 "# openpyxl leaves _xHHHH_ in sheet names as written; Excel decodes it\n"
                 "print('|'.join(re.sub(r'_x([0-9A-Fa-f]{4})_',\n"
                 "                      lambda m: chr(int(m.group(1), 16)), s.title)\n"
                 "               for s in book.worksheets))\n"
                 "print('|'.join(s.title for s in book.chartsheets))\n"
                 "# an empty text element reads as the text 'None'\n"
                 "def text(title):\n"
                 "    return title and ''.join(str(r.t) for p in title.tx.rich.p for r in p.r)\n"
                 "for s in book.chartsheets:\n"
                 "    c = s._charts[0]\n"
                 "    print(s.title, text(c.title), text(c.x_axis.title), text(c.y_axis.title),\n"
                 "          [x.tx and x.tx.v for x in c.series], sep='|')\n") +
          " " + quoted(path) + " 2>&1",
      &status);
  EXPECT_EQ(status, 0) << listed;
  EXPECT_EQ(listed, "Numbers|It's data|_x0041_ data\n"
                    "Lines|Columns|Bars|Smooth points|Points|Bob's combo|a_b|x_1_|"
                    "chart on 'quoted_|Dropped\n"
                    "Lines|Monthly <totals> & more|Month|Amount|['Tens', 'Fives']\n"
                    "Columns|Stacked columns|None|None|['Tens', 'Fives']\n"
                    "Bars|Shares|Month|Share|['Fives', 'Falling']\n"
                    "Smooth points|Smooth|None|None|['Falling']\n"
                    "Points|Points only|Month|Amount|['Tens', 'Fives']\n"
                    "Bob's combo|Lines over bars|None|None|['Tens', 'Fives', 'Their tens']\n"
                    "a_b|title _x0044_|None|None|['ser _x0045_']\n"
                    "x_1_|None|None|None|['Tens']\n"
                    "chart on 'quoted_|None|None|None|['Fives']\n"
                    "Dropped|None|Smallest|Largest|[None, 'Fives']\n");

  const std::string profile = test_support::libreoffice_profile(dir_.path().string());
  const std::string converted = command_output(
      "cd " + quoted(dir_.path().string()) + " && HOME=" + quoted(dir_.path().string()) +
          " soffice -env:UserInstallation=" + profile +
          " --headless --convert-to ods --outdir " + quoted((dir_.path() / "ods").string()) + " " +
          quoted(path) + " 2>&1",
      &status);
  ASSERT_EQ(status, 0) << converted;
  const std::string ods = unpack((dir_.path() / "ods" / "charts.ods").string(), "ods");
  const std::string charts = command_output(
      "/usr/bin/python3 " + quoted((here / "ods_charts.py").string()) + " " + quoted(ods) + " 2>&1",
      &status);
  EXPECT_EQ(status, 0) << charts;
  const std::string numbers_a = "categories Numbers.A1:Numbers.A6; ";
  const std::string quoted_a = "categories 'It''s data'.A1:'It''s data'.A6; ";
  // Only upright axes have their titles turned (the X axis under horizontal
  // bars); bounds and texts read as they were given, and the sheet named
  // "_x0041_ data" keeps that name.
  EXPECT_EQ(charts,
            "Lines: line \"Monthly <totals> & more\"; primary-x title \"Month\"; " + numbers_a +
                "primary-y title \"Amount\" turned; "
                "line Numbers.B1:Numbers.B6 \"Tens\"; line Numbers.C1:Numbers.C6 \"Fives\"\n"
                "Columns: bar stacked \"Stacked columns\"; " + quoted_a +
                "bar 'It''s data'.B1:'It''s data'.B6 \"Tens\"; "
                "bar 'It''s data'.C1:'It''s data'.C6 \"Fives\"\n"
                "Bars: bar percentage vertical \"Shares\"; primary-x title \"Month\" turned; " +
                numbers_a + "primary-y title \"Share\"; "
                "bar Numbers.C1:Numbers.C6 \"Fives\"; bar Numbers.D1:Numbers.D6 \"Falling\"\n"
                "Smooth points: scatter \"Smooth\"; domain 'It''s data'.A1:'It''s data'.A6; "
                "scatter 'It''s data'.D1:'It''s data'.D6 \"Falling\"\n"
                "Points: scatter \"Points only\"; primary-x title \"Month\"; "
                "primary-y title \"Amount\" turned; domain Numbers.A1:Numbers.A6; "
                "scatter Numbers.B1:Numbers.B6 \"Tens\"; scatter Numbers.C1:Numbers.C6 \"Fives\"\n"
                "Bob's combo: bar \"Lines over bars\"; " + numbers_a +
                "secondary-y title \"Falling\" turned; "
                "line Numbers.B1:Numbers.B6 \"Tens\"; line Numbers.C1:Numbers.C6 \"Fives\"; "
                "line 'It''s data'.B1:'It''s data'.B6 \"Their tens\"; "
                "bar (secondary) Numbers.D1:Numbers.D6 \"Falling\"; "
                "bar (secondary) 'It''s data'.D1:'It''s data'.D6 \"Their falling\"\n"
                "a_b: line \"title _x0044_\"; categories '_x0041_ data'.A1:'_x0041_ data'.A6; "
                "primary-y scale -10 to 150; "
                "line '_x0041_ data'.B1:'_x0041_ data'.B6 \"ser _x0045_\"\n"
                "x_1_: bar \"\"; " + numbers_a + "bar Numbers.B1:Numbers.B6 \"Tens\"\n"
                "chart on 'quoted_: line \"\"; " + quoted_a +
                "line 'It''s data'.C1:'It''s data'.C6 \"Fives\"\n"
                "Dropped: line \"\"; primary-x title \"Smallest\"; " + numbers_a +
                "primary-y title \"Largest\" turned; "
                "line Numbers.B1:Numbers.B6 unnamed; line Numbers.C1:Numbers.C6 \"Fives\"\n");

  // The sheet list escapes the name its own way; the frame's name reads the same.
  EXPECT_NE(read_file(xlsx + "/xl/workbook.xml").find("name=\"Bob&#39;s combo\""),
            std::string::npos);
  EXPECT_EQ(outline(xlsx + "/xl/workbook.xml", ".//{*}sheet[@sheetId='9']"),
            found({"sheet name=Bob's combo sheetId=9 r:id=rId11"}));
  EXPECT_EQ(outline(xlsx + "/xl/drawings/drawing6.xml", ".//xdr:cNvPr"),
            found({"xdr:cNvPr id=2 name=Bob's combo"}));
}

// As with a series without its sheet: no destination, no temporary folder.
TEST_F(ChartWorkbook, ChartThatCannotBeDrawnFailsTheSaveAndLeavesNothingBehind)
{
  struct Case {
    const char* name;
    std::function<void(CDiagramSheet&, const CWorksheet*)> model;
    std::string error;
  };
  const Case cases[] = {
      {"Empty", [](CDiagramSheet&, const CWorksheet*) {}, "the chart has no series"},
      {"Far column",
       [](CDiagramSheet& c, const CWorksheet* sheet) {
         c.series = {series_of(sheet, {0, 20000}, {5, 20000})};
       },
       "a series range reaches past the last row or column of a sheet"},
      {"Far row",
       [](CDiagramSheet& c, const CWorksheet* sheet) {
         c.series = {series_of(sheet, {0, 1}, {2000000, 1})};
       },
       "a series range reaches past the last row or column of a sheet"},
      {"Comma",
       [](CDiagramSheet& c, const CWorksheet* sheet) {
         c.series = {column(sheet, 1, L"Tens")};
         c.y_axis.max = L"1,5e1";
       },
       "the axis bound '1,5e1' is not a number"},
      {"Auto",
       [](CDiagramSheet& c, const CWorksheet* sheet) {
         c.series = {column(sheet, 1, L"Tens")};
         c.y_axis.min = L"auto";
       },
       "the axis bound 'auto' is not a number"},
      {"Tiny title",
       [](CDiagramSheet& c, const CWorksheet* sheet) {
         c.series = {column(sheet, 1, L"Tens")};
         c.title = L"Tens";
         c.title_size = 0;
       },
       "the title size 0 is not between 1 and 4000 points"},
  };
  for (const Case& c : cases) {
    const std::string path = out("refused.xlsx");
    {
      CWorkbook book;
      const CWorksheet* sheet = numbers(book, L"Numbers");
      c.model(book.AddChartSheet(wide(c.name)), sheet);
      EXPECT_FALSE(book.Save(wide(path))) << c.name;
      EXPECT_EQ(book.GetSaveError(), std::string("chart sheet '") + c.name + "': " + c.error);
    }
    EXPECT_FALSE(std::filesystem::exists(path)) << c.name;
    EXPECT_TRUE(temp_leftovers().empty()) << c.name;
  }
}

} // namespace
