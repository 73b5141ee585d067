// Sheets built through xlsx_database and xlsx_worksheet from schemas and records,
// saved as real packages and read back by openpyxl in normal and read-only mode
// (which trusts the dimension), cell for cell; unzip -t and xmllint check the rest.
#include "book_test_support.h"

#include "OLE/ole_misc.h"
#include "UDB/udb_field.h"
#include "UDB/udb_recs.h"
#include "UDB/udb_schema.h"
#include "xlsx/xlsx_db.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

namespace {

// One table as given to the database, and the JSON grid openpyxl must read.
struct sheet_data {
  std::wstring name;
  std::vector<std::wstring> columns;
  std::vector<std::vector<ole_variant>> rows;
};

std::string json_string(std::string_view utf8)
{
  std::string out = "\"";
  for (const char c : utf8) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      static constexpr char hex[] = "0123456789abcdef";
      out += "\\u00";
      out += hex[u >> 4];
      out += hex[u & 15];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// What a reader sees of a text cell: the text up to its first NUL, without the
// characters XML cannot carry, cut to 32,767 UTF-16 units.
std::string visible_text(const std::wstring& text)
{
  std::wstring kept;
  std::size_t units = 0;
  for (const wchar_t ch : text) {
    const auto cp = static_cast<std::uint32_t>(ch);
    if (cp == 0)
      break;
    const bool allowed = (cp >= 0x20 || cp == 9 || cp == 10 || cp == 13) &&
                         !(cp >= 0xD800 && cp <= 0xDFFF) && cp != 0xFFFE && cp != 0xFFFF &&
                         cp <= 0x10FFFF;
    if (!allowed)
      continue;
    units += cp > 0xFFFF ? 2 : 1;
    if (units > 32767)
      break;
    kept += ch;
  }
  return plat::to_utf8(kept);
}

std::string json_cell(const ole_variant& value)
{
  const VARTYPE vt = value.get_type();
  if (vt == VT_EMPTY || vt == VT_NULL)
    return "null";
  if (ole_is_numeric_vt(vt)) {
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, value.to_double()).ptr;
    return std::string(digits, end);
  }
  const std::wstring text = value.to_wstring();
  if (text.empty() || text[0] == L'\0')
    return "null";
  return json_string(visible_text(text));
}

std::string expected_json(const std::vector<sheet_data>& sheets,
                          const std::vector<std::wstring>& titles)
{
  std::string out = "{\"sheets\": [";
  for (std::size_t s = 0; s < sheets.size(); ++s) {
    out += s ? ", " : "";
    out += "{\"title\": " + json_string(plat::to_utf8(titles[s])) + ", \"rows\": [[";
    for (std::size_t c = 0; c < sheets[s].columns.size(); ++c) {
      out += c ? ", " : "";
      out += json_cell(ole_variant(sheets[s].columns[c]));
    }
    out += "]";
    for (const auto& row : sheets[s].rows) {
      out += ", [";
      for (std::size_t c = 0; c < row.size(); ++c) {
        out += c ? ", " : "";
        out += json_cell(row[c]);
      }
      out += "]";
    }
    out += "]}";
  }
  return out + "]}";
}

class SheetRoundTrip : public book_test::book_fixture {
protected:
  // Writes the tables into one workbook and checks it from the outside.
  void RoundTrip(const std::vector<sheet_data>& sheets, const std::vector<std::wstring>& titles)
  {
    const std::string path = out("book.xlsx");
    {
      std::wstring wide_path;
      plat::utf8_to_wide(path, wide_path);
      xlsx_database db(wide_path, false);
      for (const sheet_data& s : sheets) {
        udb_schema schema;
        for (const std::wstring& column : s.columns)
          schema.emplace_back().name = column;
        std::unique_ptr<udb_recordset> table = db.create_table(s.name, schema, {});
        for (const auto& row : s.rows) {
          udb_record record;
          for (const ole_variant& value : row)
            record.emplace_back(L"f", 0u, value, false, false);
          table->append_record(record, static_cast<std::uint32_t>(record.size()));
        }
        db.save_table(table.get(), 0);
      }
      db.save();
    }
    EXPECT_TRUE(temp_leftovers().empty());

    int status = -1;
    const std::string tested =
        book_test::command_output("unzip -t -q " + book_test::quoted(path) + " 2>&1", &status);
    EXPECT_EQ(status, 0) << tested;
    const std::filesystem::path unpacked = dir_.path() / "unpacked";
    book_test::command_output("unzip -q " + book_test::quoted(path) + " -d " +
                                  book_test::quoted(unpacked.string()),
                              &status);
    ASSERT_EQ(status, 0);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(unpacked)) {
      if (entry.is_regular_file()) {
        EXPECT_TRUE(book_test::xml_well_formed(entry.path().string())) << entry.path();
      }
    }

    const std::string expected = dir_.file("expected.json");
    write_file(expected, expected_json(sheets, titles));
    const std::string checker =
        (std::filesystem::path(QVT_TESTS_DIR) / "xlsx" / "check_cells.py").string();
    const std::string said = book_test::command_output(
        "/usr/bin/python3 " + book_test::quoted(checker) + " " + book_test::quoted(path) + " " +
            book_test::quoted(expected) + " 2>&1",
        &status);
    EXPECT_EQ(status, 0) << said;
  }
};

ole_variant text(const std::wstring& value)
{
  return ole_variant(value);
}

} // namespace

TEST_F(SheetRoundTrip, NumbersOfEveryKindAndHardTextsReadBackCellForCell)
{
  const std::wstring emoji(1, static_cast<wchar_t>(0x1F600));
  const std::vector<ole_variant> values = {
      ole_variant(static_cast<signed char>(-128)),
      ole_variant(static_cast<unsigned char>(255)),
      ole_variant(static_cast<short>(-32768)),
      ole_variant(static_cast<unsigned short>(65535)),
      ole_variant(std::numeric_limits<std::int32_t>::min()),
      ole_variant(std::numeric_limits<std::uint32_t>::max()),
      ole_variant(std::int64_t{9007199254740992}),
      ole_variant(std::numeric_limits<std::int64_t>::min()),
      ole_variant(std::numeric_limits<std::uint64_t>::max()),
      ole_variant(1.1f),
      ole_variant(0.1),
      ole_variant(-0.0),
      ole_variant(1e-300),
      ole_variant(-1.7976931348623157e308),
      ole_variant(1234567.0),
      ole_variant::from_wstring(L"12345678901234567890.123", VT_DECIMAL),
      ole_variant::from_wstring(L"-922337203685477.5807", VT_CY),
      ole_variant(true),
      ole_variant(false),
      ole_variant(ole_date(std::wstring(L"2024-01-31 10:20:30"))),
      ole_variant(ole_variant::byte_vector{0xDE, 0xAD, 0xBE, 0xEF}),
      ole_variant(),
      ole_variant::from_wstring(L"", VT_NULL),
      text(L"Tom & Jerry's <b>\"bold\"</b>"),
      text(L"tab\there"),
      text(L"line1\nline2\r\nline3\rend"),
      text(L"   leading"),
      text(L"trailing   "),
      text(L"\t"),
      text(L"\u20AC 10 \u00A3 \u00B0 \u00B1 \u00D7 \u2013 \u2014 \u2019 \u201C\u201D \u2026 \u00AB\u00BB"),
      text(L"\u4E2D\u6587 \u65E5\u672C\u8A9E \uD55C\uAD6D\uC5B4 \u05E9\u05DC\u05D5\u05DD e\u0301"),
      text(emoji + L" " + emoji + emoji),
      text(L"ctrl\u0001\u0002\u001Fchars\u007F"),
      text(L"\u0001"),
      text(L"_x0041_ and _x000D_ stay literal"),
      text(L"&amp; &lt; &#39; entities stay literal"),
      text(L"$5 {json: [1, 2]} | ~ ` ^ \\ /"),
      text(L"0"),
      text(L"0123"),
      text(std::wstring(32767, L'x')),
      text(std::wstring(32766, L'y') + emoji),
      text(std::wstring(40000, L'z')),
  };
  sheet_data kinds{L"kinds", {L"value", L"after"}, {}};
  for (const ole_variant& value : values)
    kinds.rows.push_back({value, ole_variant(1)});
  RoundTrip({kinds}, {L"kinds"});
}

TEST_F(SheetRoundTrip, EmptyTablesAndThreeHundredColumnsKeepTheirShape)
{
  sheet_data empty{L"empty", {L"a", L"b", L"c"}, {}};
  sheet_data no_columns{L"no columns", {}, {{}, {}}};
  sheet_data nulls{L"nulls", {L"", L"b"}, {{ole_variant(), ole_variant()}, {ole_variant(), text(L"x")}}};
  sheet_data wide{L"wide", {}, {}};
  for (int c = 0; c < 300; ++c)
    wide.columns.push_back(c % 7 == 3 ? L"" : L"col " + std::to_wstring(c));
  for (int r = 0; r < 40; ++r) {
    std::vector<ole_variant> row;
    for (int c = 0; c < 300; ++c) {
      switch ((r + c) % 4) {
      case 0: row.emplace_back(r * 1000 + c); break;
      case 1: row.emplace_back(L"r" + std::to_wstring(r) + L"c" + std::to_wstring(c)); break;
      case 2: row.emplace_back(); break;
      default: row.emplace_back((r + 0.5) / (c + 1)); break;
      }
    }
    wide.rows.push_back(std::move(row));
  }
  RoundTrip({empty, no_columns, nulls, wide}, {L"empty", L"no columns", L"nulls", L"wide"});
}
