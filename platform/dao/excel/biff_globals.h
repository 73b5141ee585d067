// The workbook globals substream: five fonts, the number formats, 24 or more XFs
// at the positions the restyling relies on, the Normal style, one unbroken run
// of BOUNDSHEETs, the BIFF8 shared strings and EOF.
#pragma once

#include "platform/dao/excel/biff_records.h"

#include <cstdint>
#include <string>
#include <vector>

namespace plat::dao::biff {

class sst_table;

struct sheet_entry {
  std::wstring name;           // as the file holds it: at most 31 units
  std::uint16_t options = 0;   // BOUNDSHEET flags: visibility and sheet type
  std::uint64_t position = 0;  // of the sheet's BOF in the stream
};

class globals_writer {
public:
  // `sst` is the BIFF8 table; null for BIFF5.
  globals_writer(bool biff8, sst_table* sst);

  // Bytes of the substream for these sheets (their positions need not be set).
  std::uint64_t stream_size(const std::vector<sheet_entry>& sheets);
  void write(byte_sink& out, const std::vector<sheet_entry>& sheets);

private:
  void boundsheets(const std::vector<sheet_entry>& sheets, byte_buffer& out) const;

  bool biff8_;
  sst_table* sst_;
  byte_buffer fixed_;  // BOF to STYLE
};

} // namespace plat::dao::biff
