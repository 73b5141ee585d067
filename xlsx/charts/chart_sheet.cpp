// The chart sheet's own life: the workbook makes it here, its chart part is
// opened when it is made and closed by the chart parts writer, or as it stands
// when the sheet goes first.
#include "xlsx/charts/chart_sheet.h"

#include "xlsx/part_folder.h"
#include "xlsx/xlsx_book.h"
#include "xlsx/xlsx_she.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "base/format.h"
#include "platform/process.h"

#include <charconv>
#include <cmath>

namespace XlsxBook {

std::optional<double> AxisBound(std::wstring_view text)
{
  // from_chars reads the C locale's form whatever the process locale is.
  std::string narrow;
  for (const wchar_t c : text) {
    if (c <= 0 || c >= 0x80)
      return std::nullopt;
    narrow += static_cast<char>(c);
  }
  double value = 0;
  const char* const end = narrow.data() + narrow.size();
  const auto [stop, error] = std::from_chars(narrow.data(), end, value);
  if (narrow.empty() || error != std::errc() || stop != end || !std::isfinite(value))
    return std::nullopt;
  return value;
}

CDiagramSheet::CDiagramSheet(std::uint32_t chart_number, const std::wstring& folder,
                             const std::wstring& sheet_name)
    : CChartSheetEntry(chart_number, sheet_name), temp_folder(folder)
{
  // Distinct ids, so that every group names its own two axes; the secondary
  // value axis stands on the right.
  x_axis.id = 1;
  y_axis.id = 2;
  x_axis2.id = 3;
  y_axis2.id = 4;
  y_axis.side = AxisLeft;
  x_axis2.side = AxisHidden;
  y_axis2.side = AxisRight;
  y_axis2.crosses = CrossMax;

  const std::wstring path = temp_folder + L"/xl/charts/chart" + std::to_wstring(number) + L".xml";
  make_part_folders(path);
  auto file = std::make_unique<CFileWriter>();
  if (!file->Open(path))
    throw tk_exception(base::sprintf("Cannot create temporary file '%s': %s", file->Path(),
                                     plat::error_text(file->Error())),
                       tk_level_error);
  stream = std::move(file);
  writer = std::make_unique<CXmlEmitter>(*stream);
}

CDiagramSheet::~CDiagramSheet()
{
  writer.reset();
  stream.reset();
}

bool CDiagramSheet::FinishChartPart(std::string& error)
{
  if (!stream)
    return true;
  writer.reset();
  const bool written = stream->Close();
  if (!written)
    error = stream->ErrorText();
  stream.reset();
  return written;
}

CDiagramSheet& CWorkbook::AddChartSheet(const std::wstring& sheet_name)
{
  tk_log_message(2, L"CWorkbook::AddChartSheet(%s)", sheet_name);
  EnsureTempFolder();
  const auto chart_number = static_cast<std::uint32_t>(charts.size() + 1);
  const std::wstring title =
      UniqueTitle(sheet_name, static_cast<std::uint32_t>(m_sheets.size() + charts.size() + 1));
  auto chart = std::make_unique<CDiagramSheet>(chart_number, m_tempFolder, title);
  CDiagramSheet& made = *chart;
  charts.push_back(std::move(chart));
  return made;
}

} // namespace XlsxBook
