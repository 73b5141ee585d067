// Damages bytes of a workbook's stream in place, through the storage's own
// in-place writes, for the tests of damaged workbooks.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace excel_test {

// Writes each (position, byte) into the stream ("Workbook" or "Book") of the
// compound file; false when the file or stream cannot be opened for writing.
bool damage_stream(const std::string& path, bool biff8,
                   const std::vector<std::pair<std::uint64_t, std::uint8_t>>& bytes);

} // namespace excel_test
