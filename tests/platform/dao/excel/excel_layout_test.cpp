// The written stream walked as the restyling walks it (fourth FONT, XFs 15-24,
// BOUNDSHEET run, BOF -> INDEX -> DBCELL -> first ROW -> header cells), and the
// INDEX, DBCELL and EXTSST positions readers jump by.
#include "excel_test_support.h"

#include "platform/dao/excel/container.h"

using namespace excel_test;
using plat::dao::excel_column;
using plat::dao::excel_workbook;
namespace dao = plat::dao;

namespace {

struct record {
  std::uint16_t type = 0, size = 0;
  const std::uint8_t* data = nullptr;
};

class stream_walk {
public:
  explicit stream_walk(const std::string& s) : s_(s) {}
  record at(std::size_t pos) const
  {
    record r;
    if (pos + 4 > s_.size())
      return r;
    r.type = u16(pos);
    r.size = u16(pos + 2);
    if (pos + 4 + r.size <= s_.size())
      r.data = reinterpret_cast<const std::uint8_t*>(s_.data() + pos + 4);
    return r;
  }
  std::uint16_t u16(std::size_t pos) const
  {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(s_[pos]) |
                                      (static_cast<std::uint8_t>(s_[pos + 1]) << 8));
  }
  std::uint32_t u32(std::size_t pos) const { return u16(pos) | (std::uint32_t{u16(pos + 2)} << 16); }

private:
  const std::string& s_;
};

class ExcelLayout : public testing::TestWithParam<biff_version> {};

TEST_P(ExcelLayout, TheRestylingWalkFindsEveryPartItPatches)
{
  const bool biff8 = GetParam() == biff_version::biff8;
  const temp_dir dir;
  const std::string path = dir.file("layout.xls");
  const std::vector<std::size_t> widths = {3, 2, 5};
  // Sheet 1's distinct texts take the shared strings over many CONTINUEs.
  // Sheet 2 has a block of empty rows (64-95) between blocks with cells.
  const std::vector<std::uint32_t> data_rows = {100, 3000, 130};
  {
    excel_workbook book(path, GetParam());
    for (std::size_t s = 0; s < widths.size(); ++s) {
      std::vector<excel_column> columns;
      for (std::size_t c = 0; c < widths[s]; ++c)
        columns.push_back({L"1" + std::to_wstring(c), dao::db_long});  // numeric-looking names stay text
      const std::size_t sheet = book.add_sheet(L"S" + std::to_wstring(s), columns);
      for (std::uint32_t r = 0; r < data_rows[s]; ++r)
        if (s == 2 && r >= 33 && r < 100)
          append(book, sheet, {});
        else
          append(book, sheet, {r % 7 == 3 ? null() : i4(static_cast<int>(r)), text(L"t" + std::to_wstring(s == 1 ? r : r % 5))});
    }
    book.close();
  }
  const std::string s = stream_of(path, biff8);
  const stream_walk w(s);

  // Globals.
  int fonts = 0, xfs = 0;
  std::vector<std::uint32_t> sheets;
  std::size_t pos = 0, sst = 0, extsst = 0;
  bool after_run = false;
  std::size_t buckets_seen = 0;
  for (;;) {
    const record r = w.at(pos);
    ASSERT_NE(r.data, nullptr) << "record cut short at " << pos;
    EXPECT_LE(r.size, biff8 ? 8224 : 2080) << "record at " << pos;
    if (r.type == 0x0031 && ++fonts == 4) {
      EXPECT_GE(r.size, 12);
    }
    if (r.type == 0x00E0) {
      EXPECT_TRUE(sheets.empty()) << "XF after a BOUNDSHEET";
      EXPECT_EQ(r.size, biff8 ? 20 : 16) << "XF " << xfs;
      ++xfs;
    }
    if (r.type == 0x0085) {
      EXPECT_FALSE(after_run) << "BOUNDSHEETs not consecutive";
      EXPECT_GE(fonts, 4);
      sheets.push_back(w.u32(pos + 4));
    } else if (!sheets.empty()) {
      after_run = true;
    }
    if (r.type == 0x00FC)
      sst = pos;
    if (r.type == 0x00FF)
      extsst = pos;
    pos += 4 + r.size;
    if (r.type == 0x000A)
      break;
  }
  EXPECT_EQ(fonts, 5);
  EXPECT_GE(xfs, biff8 ? 28 : 24);  // 24 for the restyling; BIFF8 adds 24-27
  ASSERT_EQ(sheets.size(), widths.size());

  if (biff8) {
    // Each EXTSST entry points at a string inside the SST or a CONTINUE, at the
    // offset it gives from that record's start.
    ASSERT_NE(sst, 0u);
    ASSERT_NE(extsst, 0u);
    const record e = w.at(extsst);
    std::size_t buckets = 0;
    EXPECT_GE(w.u16(extsst + 4), 8);
    for (std::size_t k = 0; 6 + 8 * k + 8 <= e.size; ++k) {
      const std::uint32_t ib = w.u32(extsst + 6 + 8 * k);
      const std::uint16_t offset = w.u16(extsst + 10 + 8 * k);
      const record holder = w.at(ib - offset);
      EXPECT_TRUE(holder.type == 0x00FC || holder.type == 0x003C) << "bucket " << k;
      EXPECT_LE(w.u16(ib), 5) << "bucket " << k;          // characters of a short text
      EXPECT_EQ(s[ib + 2], '\0') << "bucket " << k;      // one byte each
      ++buckets;
    }
    buckets_seen = buckets;
  }

  if (biff8) {
    EXPECT_GT(buckets_seen, 64u);
  }
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    SCOPED_TRACE("sheet " + std::to_string(i));
    const std::uint32_t bof = sheets[i];
    ASSERT_EQ(w.at(bof).type, 0x0809);
    const std::size_t index = bof + 4 + w.at(bof).size;
    const record ir = w.at(index);
    ASSERT_EQ(ir.type, 0x020B);
    const std::size_t first = biff8 ? 16 : 12;
    ASSERT_GE(ir.size, first + 4);
    EXPECT_EQ(w.at(w.u32(index + 4 + first - 4)).type, 0x0055) << "DEFCOLWIDTH";
    const std::size_t blocks = (data_rows[i] + 1 + 31) / 32;
    ASSERT_EQ(ir.size, first + 4 * blocks);
    for (std::size_t b = 0; b < blocks; ++b) {
      const std::uint32_t dbcell = w.u32(index + 4 + first + 4 * b);
      const record d = w.at(dbcell);
      ASSERT_EQ(d.type, 0x00D7) << "block " << b;
      if (w.u32(dbcell + 4) == 0) {
        EXPECT_EQ(d.size, 4);
        EXPECT_TRUE(i == 2 && b == 2) << "block " << b << " has no rows";
        continue;
      }
      const std::uint32_t first_row = dbcell - w.u32(dbcell + 4);
      ASSERT_LT(first_row, dbcell);
      ASSERT_EQ(w.at(first_row).type, 0x0208);
      EXPECT_EQ(w.u16(first_row + 4) / 32, b) << "first ROW of the block";
      if (b != 0)
        continue;
      // The header: row 0 first, its cells from column 0 on without a gap.
      EXPECT_EQ(w.u16(first_row + 4), 0);
      std::size_t cell = first_row + 4 + w.at(first_row).size + w.u16(dbcell + 8);
      for (std::size_t c = 0; c < widths[i]; ++c) {
        const record r = w.at(cell);
        EXPECT_EQ(r.type, biff8 ? 0x00FD : 0x0204) << "column " << c;
        EXPECT_GE(r.size, 6);
        EXPECT_EQ(w.u16(cell + 4), 0);
        EXPECT_EQ(w.u16(cell + 6), c);
        EXPECT_LT(w.u16(cell + 8), 256);
        cell += 4 + r.size;
      }
      EXPECT_NE(w.u16(cell + 4), 0) << "a cell past the header in row 0";
    }
  }
  const std::string report = xlrd_cells(path);
  EXPECT_NE(report.find("S \"S0\" 101 3"), std::string::npos) << report;
  EXPECT_NE(report.find("100,1 s \"t4\""), std::string::npos) << report;
}

INSTANTIATE_TEST_SUITE_P(dao, ExcelLayout, testing::Values(biff_version::biff5, biff_version::biff8),
                         [](const auto& p) { return name_of(p.param); });

} // namespace
