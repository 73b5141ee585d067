// Sessions over an existing workbook: reopening appends sheets and keeps the
// old ones byte for byte (bar their relocated INDEX positions), one session
// takes rows for its sheets in any order, and every way a session can fail
// leaves the destination as it was, with a DAO error.
#include "excel_test_support.h"

#include "excel_damage.h"

#include "platform/dao/excel/container.h"

#include <random>

#include <sys/mount.h>

using namespace excel_test;
using plat::dao::excel_column;
using plat::dao::excel_workbook;
namespace dao = plat::dao;

namespace {

std::uint32_t u32(const std::string& s, std::size_t at)
{
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i)
    v = (v << 8) | static_cast<std::uint8_t>(s[at + static_cast<std::size_t>(i)]);
  return v;
}

// Sheet positions from the BOUNDSHEET records of a stream.
std::vector<std::uint32_t> sheet_positions(const std::string& s)
{
  std::vector<std::uint32_t> out;
  for (std::size_t pos = 0; pos + 4 <= s.size();) {
    const auto type = static_cast<unsigned>(static_cast<std::uint8_t>(s[pos]) | (static_cast<std::uint8_t>(s[pos + 1]) << 8));
    const auto size = static_cast<unsigned>(static_cast<std::uint8_t>(s[pos + 2]) | (static_cast<std::uint8_t>(s[pos + 3]) << 8));
    if (type == 0x0085)
      out.push_back(u32(s, pos + 4));
    if (type == 0x000A)
      break;
    pos += 4 + size;
  }
  return out;
}

void write_one_sheet(const std::string& path, biff_version v, const std::wstring& name, const std::wstring& word)
{
  excel_workbook book(path, v);
  const std::size_t sheet = book.add_sheet(name, {{L"word", dao::db_text}, {L"n", dao::db_long}});
  for (int r = 0; r < 40; ++r)
    append(book, sheet, {text(word + std::to_wstring(r % 3)), r % 4 == 0 ? null() : i4(r)});
  book.close();
}

class ExcelSession : public testing::TestWithParam<biff_version> {};

TEST_P(ExcelSession, ReopeningAppendsSheetsAndKeepsTheOldOnes)
{
  const bool biff8 = GetParam() == biff_version::biff8;
  const temp_dir dir;
  const std::string path = dir.file("book.xls");
  write_one_sheet(path, GetParam(), L"First", L"shared");
  const std::string before = stream_of(path, biff8);
  {
    excel_workbook book(path, GetParam());
    ASSERT_EQ(book.sheet_count(), 1u);
    EXPECT_EQ(book.sheet_name(0), L"First");
    EXPECT_EQ(book.sheet_rows(0), 40u);
    EXPECT_TRUE(book.sheet_columns(0).empty());
    EXPECT_EQ(dao_error_of([&] { append(book, 0, {text(L"x")}); }), 3219);
    EXPECT_EQ(dao_error_of([&] { book.add_sheet(L"FIRST", {}); }), 3010);
    const std::size_t sheet = book.add_sheet(L"Second", {{L"word", dao::db_text}});
    append(book, sheet, {text(L"shared1")});  // a string the old sheet holds
    append(book, sheet, {text(L"fresh")});
    book.close();
  }
  write_one_sheet(dir.file("third.xls"), GetParam(), L"Third", L"other");
  {
    excel_workbook book(path, GetParam());
    EXPECT_EQ(book.sheet_count(), 2u);
    const std::size_t sheet = book.add_sheet(L"Third", {{L"n", dao::db_double}});
    append(book, sheet, {r8(2.5)});
    book.close();
  }

  const std::string report = xlrd_cells(path);
  for (const char* line : {"S \"First\" 41 2", "1,0 s \"shared0\"", "2,1 n 1.0", "40,0 s \"shared0\"",
                           "S \"Second\" 3 1", "1,0 s \"shared1\"", "2,0 s \"fresh\"", "S \"Third\" 2 1",
                           "1,0 n 2.5"})
    EXPECT_NE(report.find(line), std::string::npos) << line << "\n" << report;

  // The first sheet moved as a whole: only its INDEX positions differ, by the move.
  const std::string after = stream_of(path, biff8);
  const std::uint32_t old_at = sheet_positions(before).at(0);
  const std::uint32_t new_at = sheet_positions(after).at(0);
  const std::size_t length = before.size() - old_at;
  ASSERT_GE(after.size(), new_at + length);
  const std::size_t index = (biff8 ? 20 : 12) + 4;  // BOF, then the INDEX header
  const std::size_t first_position = index + (biff8 ? 12 : 8);
  const std::size_t index_end = index + static_cast<std::uint8_t>(before[old_at + index - 2]);
  EXPECT_EQ(before.substr(old_at, first_position), after.substr(new_at, first_position));
  for (std::size_t at = first_position; at < index_end; at += 4)
    EXPECT_EQ(u32(after, new_at + at), u32(before, old_at + at) + (new_at - old_at));
  EXPECT_EQ(before.substr(old_at + index_end, length - index_end), after.substr(new_at + index_end, length - index_end));
}

TEST_P(ExcelSession, SheetsOfOneSessionKeepTheirRowsWhenRowsGoBackToAnEarlierSheet)
{
  const temp_dir dir;
  const std::string path = dir.file("many.xls");
  {
    excel_workbook book(path, GetParam());
    // Each sheet taken up again in the middle of a block of 32 rows.
    const std::size_t a = book.add_sheet(L"A", {{L"n", dao::db_long}, {L"t", dao::db_text}});
    const auto rows = [&](std::size_t sheet, int first, int last) {
      for (int r = first; r <= last; ++r)
        append(book, sheet, {i4(r), text(L"t" + std::to_wstring(r))});
    };
    rows(a, 1, 40);
    const std::size_t b = book.add_sheet(L"B", {{L"n", dao::db_long}, {L"t", dao::db_text}});
    rows(b, 1, 5);
    rows(a, 41, 70);
    rows(b, 6, 8);
    book.close();
  }
  const std::string report = xlrd_cells(path);
  for (const char* line : {"S \"A\" 71 2", "40,0 n 40.0", "41,1 s \"t41\"", "70,0 n 70.0", "S \"B\" 9 2",
                           "5,1 s \"t5\"", "6,0 n 6.0", "8,1 s \"t8\""})
    EXPECT_NE(report.find(line), std::string::npos) << line << "\n" << report;
  EXPECT_EQ(report.find("?"), std::string::npos) << report;
}

TEST_P(ExcelSession, ASessionWithNothingNewWritesNothing)
{
  const temp_dir dir;
  const std::string path = dir.file("none.xls");
  {
    excel_workbook book(path, GetParam());
    book.close();
  }
  EXPECT_FALSE(std::filesystem::exists(path));
  write_one_sheet(path, GetParam(), L"Kept", L"w");
  const auto written = std::filesystem::last_write_time(path);
  const std::string bytes = read_file(path);
  {
    excel_workbook book(path, GetParam());
    book.add_sheet(L"Dropped", {{L"a", dao::db_text}});  // never closed: discarded
  }
  {
    excel_workbook book(path, GetParam());
    book.close();
    book.close();
  }
  EXPECT_EQ(read_file(path), bytes);
  EXPECT_EQ(std::filesystem::last_write_time(path), written);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST_P(ExcelSession, AFileThatIsNoWorkbookOfThisVersionIsRefused)
{
  const temp_dir dir;
  const biff_version other = GetParam() == biff_version::biff8 ? biff_version::biff5 : biff_version::biff8;
  write_one_sheet(dir.file("other.xls"), other, L"S", L"w");
  write_one_sheet(dir.file("good.xls"), GetParam(), L"S", L"w");
  const std::string good = read_file(dir.file("good.xls"));
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"text", "just a line of text\n"},
      {"empty", ""},
      {"zip package", std::string("PK\x03\x04\x14\x00\x00\x00", 8) + std::string(600, 'z')},
      {"truncated", good.substr(0, good.size() / 2)},
      {"other version", read_file(dir.file("other.xls"))},
  };
  for (const auto& c : cases) {
    const std::string path = dir.file(std::string(c.name) + ".xls");
    write_file(path, c.bytes);
    EXPECT_EQ(dao_error_of([&] { excel_workbook book(path, GetParam()); }), 3274) << c.name;
    EXPECT_EQ(read_file(path), c.bytes) << c.name;
  }
}

TEST_P(ExcelSession, AFileInUseOrAnUnusablePathIsRefused)
{
  const temp_dir dir;
  const std::string path = dir.file("locked.xls");
  write_one_sheet(path, GetParam(), L"S", L"w");
  {
    excel_workbook first(path, GetParam());
    EXPECT_EQ(dao_error_of([&] { excel_workbook second(path, GetParam()); }), 3051);
    first.close();
    EXPECT_EQ(dao_error_of([&] { excel_workbook third(path, GetParam()); }), 0);
  }
  write_file(dir.file("plain"), "x");
  EXPECT_EQ(dao_error_of([&] { excel_workbook b(dir.file("missing/book.xls"), GetParam()); }), 3044);
  EXPECT_EQ(dao_error_of([&] { excel_workbook b(dir.file("plain/book.xls"), GetParam()); }), 3044);
  EXPECT_EQ(dao_error_of([&] { excel_workbook b(dir.path().string(), GetParam()); }), 3044);
}

// A small file system of our own, for the failures only a real disk gives.
class small_mount {
public:
  small_mount(const std::string& folder, const char* options) : folder_(folder)
  {
    std::filesystem::create_directory(folder);
    mounted_ = ::mount("tmpfs", folder.c_str(), "tmpfs", 0, options) == 0;
  }
  ~small_mount()
  {
    if (mounted_)
      ::umount2(folder_.c_str(), MNT_DETACH);
  }
  small_mount(const small_mount&) = delete;
  small_mount& operator=(const small_mount&) = delete;
  bool mounted() const { return mounted_; }

private:
  std::string folder_;
  bool mounted_ = false;
};

TEST_P(ExcelSession, AFullDiskIsReportedAndTheOldWorkbookStays)
{
  const temp_dir dir;
  const std::string folder = dir.file("small");
  const small_mount disk(folder, "size=256k,mode=0700");
  if (!disk.mounted())
    GTEST_SKIP() << "mounting a tmpfs is not permitted here";
  const std::string path = folder + "/book.xls";
  write_one_sheet(path, GetParam(), L"Old", L"w");
  const std::string bytes = read_file(path);
  int number = 0;
  std::string description;
  bool appended = false;
  try {
    // The scratch files fit; the workbook beside them does not.
    excel_workbook book(path, GetParam());
    const std::size_t sheet = book.add_sheet(L"Big", {{L"t", dao::db_memo}});
    for (int r = 0; r < 700; ++r)
      append(book, sheet, {text(std::to_wstring(r) + std::wstring(200, L'y'))});
    appended = true;
    book.close();
  } catch (const dao::dao_error& e) {
    number = e.number();
    description = e.what();
  }
  EXPECT_TRUE(appended);
  EXPECT_EQ(number, 3026);
  EXPECT_NE(description.find("No space left on device"), std::string::npos) << description;
  EXPECT_EQ(read_file(path), bytes);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
}

TEST_P(ExcelSession, AFolderThatTakesNoFileIsAnInvalidPath)
{
  const temp_dir dir;
  const std::string folder = dir.file("readonly");
  const small_mount disk(folder, "size=64k");
  if (!disk.mounted() || ::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0)
    GTEST_SKIP() << "mounting a tmpfs is not permitted here";
  EXPECT_EQ(dao_error_of([&] { excel_workbook b(folder + "/book.xls", GetParam()); }), 3044);
}

// Damage inside the workbook stream (written in place through the storage):
// opening and appending either work or raise a DAO error, never crash or overrun.
TEST_P(ExcelSession, ADamagedStreamNeverCrashesTheReader)
{
  const bool biff8 = GetParam() == biff_version::biff8;
  const temp_dir dir;
  const std::string good = dir.file("good.xls");
  {
    excel_workbook book(good, GetParam());
    for (const wchar_t* name : {L"A", L"B"}) {
      const std::size_t sheet = book.add_sheet(name, {{L"t", dao::db_text}, {L"n", dao::db_double}});
      for (int r = 0; r < 70; ++r)
        append(book, sheet, {text(L"text " + std::to_wstring(r % 9)), r8(r)});
    }
    book.close();
  }
  const std::size_t size = stream_of(good, biff8).size();
  const std::string bytes = read_file(good);
  std::mt19937 random(20261210);
  int refused = 0;
  for (int round = 0; round < 150; ++round) {
    const std::string path = dir.file("damaged.xls");
    write_file(path, bytes);
    std::vector<std::pair<std::uint64_t, std::uint8_t>> damage;
    for (int k = 0; k < 4; ++k)
      damage.emplace_back(random() % size, static_cast<std::uint8_t>(random()));
    ASSERT_TRUE(damage_stream(path, biff8, damage));
    try {
      excel_workbook book(path, GetParam());
      const std::size_t sheet = book.add_sheet(L"New sheet", {{L"x", dao::db_long}});
      append(book, sheet, {i4(1)});
      book.close();
    } catch (const dao::dao_error&) {
      ++refused;
    }
  }
  EXPECT_GT(refused, 0);
}

INSTANTIATE_TEST_SUITE_P(dao, ExcelSession, testing::Values(biff_version::biff5, biff_version::biff8),
                         [](const auto& p) { return name_of(p.param); });

} // namespace
