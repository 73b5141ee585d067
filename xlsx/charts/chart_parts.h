// The writers of a chart sheet's parts: the chart part, which is finished
// through the writer it was opened with, its plot groups, axes, titles, legend
// and data table (chart_groups.cpp, chart_axes.cpp), and the chartsheet and
// drawing parts with their relationships that show the chart as a sheet.
#pragma once

#include "xlsx/charts/chart_sheet.h"

#include <cstdint>
#include <string>
#include <vector>

namespace XlsxBook {

// The five parts of one chart sheet: it finishes the chart part, then writes
// the chartsheet and drawing parts and their relationships. False when the
// model cannot be drawn (no main series, a group kind outside the list, a
// series without its sheet or reaching past the grid, an axis bound that is
// no number, a written title's size outside 1 to 4000 points) or a part could
// not be written; `error` then says why. A model that cannot be drawn is
// refused before anything is written.
bool WriteChartParts(CDiagramSheet& chart, std::string& error);

// The plot groups, into the chart part at its current position.
void WriteBarChart(CDiagramSheet& chart, DiagramAxis& x_axis, std::uint32_t y_axis_id,
                   const std::vector<DiagramSeries>& series, std::uint32_t first_index,
                   BarOrientation orientation, BarStacking stacking);
void WriteLineChart(CDiagramSheet& chart, DiagramAxis& x_axis, std::uint32_t y_axis_id,
                    const std::vector<DiagramSeries>& series, std::uint32_t first_index);
void WriteScatterChart(CDiagramSheet& chart, std::uint32_t x_axis_id, std::uint32_t y_axis_id,
                       const std::vector<DiagramSeries>& series, std::uint32_t first_index,
                       ScatterLook look);

// Titles, axes, legend and data table of the chart part. A vertical title is
// turned to run upwards; an axis's title is vertical when the axis stands
// upright (the Y axis, or the X axis of horizontal bars). A title with no
// character that XML can hold writes nothing.
void WriteChartTitle(CDiagramSheet& chart, const wchar_t* text, std::uint32_t size, bool vertical);
void WriteCategoryAxis(CDiagramSheet& chart, const DiagramAxis& axis,
                       std::uint32_t crossing_axis_id, bool vertical);
void WriteValueAxis(CDiagramSheet& chart, const DiagramAxis& axis, std::uint32_t crossing_axis_id,
                    bool vertical);
void WriteChartLegend(CDiagramSheet& chart);
void WriteDataTable(CDiagramSheet& chart);

} // namespace XlsxBook
