// Numbering of the workbook's relationships, shared by xl/workbook.xml and its
// relationship part so that both always agree: rId1 styles, rId2 theme, the
// sheets from rId3 on, then the calculation chain and the shared strings when
// they exist.
#pragma once

#include <cstdint>

namespace XlsxBook {

struct WorkbookRelIds {
  WorkbookRelIds(std::uint32_t sheet_count, bool has_calc_chain, bool has_shared_strings);

  static constexpr std::uint32_t styles = 1;
  static constexpr std::uint32_t theme = 2;
  // The id of the sheet at position i (from 0).
  static std::uint32_t Sheet(std::uint32_t i) { return 3 + i; }
  std::uint32_t calc_chain = 0;      // 0 when there is none
  std::uint32_t shared_strings = 0;  // 0 when there is none
};

} // namespace XlsxBook
