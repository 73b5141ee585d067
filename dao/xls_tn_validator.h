// The naming rules of worksheets: at most 31 UTF-16 units, none of \ ? * : $ [ ]
// / ', unique under every case mapping a reader compares sheet names by
// (plat::equal_in_any_case). Seeded with the names of the tables to convert, so a
// generated name never takes a name that a later table keeps as it is.
#pragma once

#include "UDB/udb_vali.h"

#include <string>
#include <vector>

class xls_tn_validator : public udb_validator {
public:
  // Excel's longest sheet title.
  static constexpr std::uint32_t max_title_units = 31;

  // Both lists become existing names, the first list first.
  xls_tn_validator(const std::vector<std::wstring>& first, const std::vector<std::wstring>& second);

  // A reader that holds two titles equal renames one of them, and a formula
  // or chart then reads the wrong sheet.
  bool same_name(const std::wstring& a, const std::wstring& b) const override;
};
