// Numbering of the workbook's relationships, shared by xl/workbook.xml and its
// relationship part so that both always agree: rId1 styles, rId2 theme, the
// sheets from rId3 on, then the calculation chain when it exists, the chart
// sheets, and the shared strings when they exist.
#pragma once

#include <cstdint>

namespace XlsxBook {

struct WorkbookRelIds {
  WorkbookRelIds(std::uint32_t sheet_count, bool has_calc_chain, std::uint32_t chart_count,
                 bool has_shared_strings);

  static constexpr std::uint32_t styles = 1;
  static constexpr std::uint32_t theme = 2;
  // The id of the sheet at position i (from 0).
  static std::uint32_t Sheet(std::uint32_t i) { return 3 + i; }
  // The id of the chart sheet at position i (from 0).
  std::uint32_t Chart(std::uint32_t i) const { return first_chart + i; }
  std::uint32_t calc_chain = 0;      // 0 when there is none
  std::uint32_t first_chart = 0;
  std::uint32_t shared_strings = 0;  // 0 when there is none
};

} // namespace XlsxBook
