// Whole workbooks built through xlsx_database from schemas and records, saved
// with the real zip program and read back by unzip, xmllint and openpyxl; and
// every way a save can fail, each a level-1 error that leaves nothing behind.
#include "book_test_support.h"

#include "xlsx/xlsx_book.h"
#include "xlsx/xlsx_db.h"
#include "xlsx/xlsx_she.h"

#include "TK/tk_exception.h"
#include "UDB/udb_field.h"
#include "UDB/udb_recs.h"
#include "UDB/udb_schema.h"
#include "TK/tk_module.h"
#include "platform/child_process.h"
#include "base/format.h"
#include "platform/files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace XlsxBook;
using book_test::command_output;
using book_test::env_var;
using book_test::quoted;

namespace {

// A cell as the test gives it and as openpyxl should read it (JSON).
struct cell {
  ole_variant value;
  std::string json;
};

struct table {
  std::wstring name;
  std::vector<std::wstring> columns;
  std::vector<std::vector<cell>> rows;
};

std::string json_text(const std::wstring& text)
{
  std::string out = "\"";
  for (char c : plat::to_utf8(text)) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      out += base::sprintf("\\u%04x", static_cast<unsigned>(c));
    } else {
      out += c;
    }
  }
  return out + "\"";
}

cell text(const std::wstring& value)
{
  return {ole_variant(value), json_text(value)};
}

cell none()
{
  return {ole_variant(), "null"};
}

template <class T>
cell number(T value, std::string json)
{
  return {ole_variant(value), std::move(json)};
}

void add_table(xlsx_database& db, const table& t)
{
  udb_schema schema;
  for (const std::wstring& column : t.columns) {
    t_ftd& descriptor = schema.emplace_back();
    descriptor.name = column;
    descriptor.vartype = VT_BSTR;
  }
  std::unique_ptr<udb_recordset> sheet = db.create_table(t.name, schema, {});
  for (const auto& row : t.rows) {
    udb_record record;
    for (std::size_t i = 0; i < row.size(); ++i)
      record.emplace_back(i < t.columns.size() ? t.columns[i] : L"", 0u, row[i].value, false, false);
    sheet->append_record(record, static_cast<std::uint32_t>(record.size()));
  }
  db.save_table(sheet.get(), 0);
}

// [{"title": ..., "rows": [[header...], [cells...]]}, ...]
std::string expected_json(const std::vector<table>& tables, const std::vector<std::wstring>& titles)
{
  std::string out = "[";
  for (std::size_t t = 0; t < tables.size(); ++t) {
    out += (t ? ", " : "") + std::string("{\"title\": ") + json_text(titles[t]) + ", \"rows\": [[";
    for (std::size_t c = 0; c < tables[t].columns.size(); ++c)
      out += (c ? ", " : "") +
             (tables[t].columns[c].empty() ? std::string("null") : json_text(tables[t].columns[c]));
    out += "]";
    for (const auto& row : tables[t].rows) {
      out += ", [";
      for (std::size_t c = 0; c < row.size(); ++c)
        out += (c ? ", " : "") + row[c].json;
      out += "]";
    }
    out += "]}";
  }
  return out + "]";
}

constexpr const char* openpyxl_check = R"(
import json, sys, openpyxl
path, expected_path = sys.argv[1], sys.argv[2]
with open(expected_path, encoding='utf-8') as f:
    expected = json.load(f)
def norm(rows):
    rows = [list(r) for r in rows]
    for r in rows:
        while r and r[-1] is None:
            r.pop()
    while rows and not rows[-1]:
        rows.pop()
    return rows
problems = []
for read_only in (False, True):
    mode = 'read_only' if read_only else 'normal'
    # A file object, so that a destination without the .xlsx extension is read too.
    wb = openpyxl.load_workbook(open(path, 'rb'), read_only=read_only)
    titles = [s['title'] for s in expected]
    if wb.sheetnames != titles:
        problems.append(f'{mode}: titles {wb.sheetnames!r} != {titles!r}')
    for s in expected:
        if s['title'] in wb.sheetnames:
            got = norm(wb[s['title']].iter_rows(values_only=True))
            want = norm(s['rows'])
            if got != want:
                problems.append(f'{mode} {s["title"]!r}:\n  got  {got!r}\n  want {want!r}')
    if read_only:
        wb.close()
if problems:
    sys.stderr.write('\n'.join(problems) + '\n')
    sys.exit(1)
)";

class BookSave : public book_test::book_fixture {
protected:
  // The package passes unzip -t, lists [Content_Types].xml first and no folder
  // entries, every part is well-formed XML, and openpyxl reads every cell back
  // in normal and read-only mode.
  void check_package(const std::string& path, const std::vector<table>& tables,
                     const std::vector<std::wstring>& titles, std::vector<std::string> parts)
  {
    int status = -1;
    const std::string tested = command_output("unzip -t -q " + quoted(path) + " 2>&1", &status);
    EXPECT_EQ(status, 0) << tested;

    const std::string listing = command_output("unzip -Z1 " + quoted(path), &status);
    ASSERT_EQ(status, 0);
    std::vector<std::string> names;
    for (std::size_t start = 0, end; (end = listing.find('\n', start)) != std::string::npos; start = end + 1)
      names.push_back(listing.substr(start, end - start));
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.front(), "[Content_Types].xml");
    std::sort(names.begin(), names.end());
    std::sort(parts.begin(), parts.end());
    EXPECT_EQ(names, parts);

    const std::filesystem::path unpacked = dir_.path() / "unpacked";
    std::filesystem::remove_all(unpacked);
    command_output("unzip -q " + quoted(path) + " -d " + quoted(unpacked.string()), &status);
    ASSERT_EQ(status, 0);
    for (const std::string& name : names)
      EXPECT_TRUE(book_test::xml_well_formed((unpacked / name).string())) << name;

    const std::string script = (dir_.path() / "check.py").string();
    const std::string expected = (dir_.path() / "expected.json").string();
    write_file(script, openpyxl_check);
    write_file(expected, expected_json(tables, titles));
    const std::string said = command_output(
        "/usr/bin/python3 " + quoted(script) + " " + quoted(path) + " " + quoted(expected) + " 2>&1",
        &status);
    EXPECT_EQ(status, 0) << said;
  }

  // Nothing but the expected files in the destination folder, nothing in TEMP.
  void expect_clean(const std::vector<std::string>& wanted_files)
  {
    EXPECT_EQ(book_test::entries(out_), wanted_files);
    EXPECT_TRUE(temp_leftovers().empty());
  }

  static std::vector<std::string> package_parts(int sheets, bool shared_strings)
  {
    std::vector<std::string> parts = {"[Content_Types].xml", "_rels/.rels",
                                      "docProps/app.xml",    "docProps/core.xml",
                                      "xl/_rels/workbook.xml.rels", "xl/styles.xml",
                                      "xl/theme/theme1.xml", "xl/workbook.xml"};
    for (int i = 1; i <= sheets; ++i)
      parts.push_back(base::sprintf("xl/worksheets/sheet%d.xml", i));
    if (shared_strings)
      parts.push_back("xl/sharedStrings.xml");
    return parts;
  }

  std::string current_dir() const
  {
    std::string dir;
    plat::current_dir(dir);
    return dir;
  }
};

const std::vector<table> sample_tables()
{
  return {
      {L"Orders",
       {L"id", L"name", L"", L"price"},
       {
           {number(1, "1"), text(L"Tom & Jerry's"), none(), number(2.5, "2.5")},
           {number(-7LL, "-7"), text(L"a<b>\"c\" / \\"), text(L"x"), number(0.1, "0.1")},
           {number(9007199254740992LL, "9007199254740992"), text(L"  leading and trailing  "),
            none(), number(1234567.0, "1234567")},
           {none(), text(L"tab\there, line\nbreak"), none(), none()},
           {text(L"\u20AC10 \u2013 \u2019quoted\u2019 \u00A0nbsp"), text(L"$5 {json} |pipe|"),
            text(L"\U0001F600 \u041F\u0440\u0438\u0432\u0435\u0442"), number(1e15, "1e15")},
       }},
      {L"orders", {L"only"}, {{text(L"Tom & Jerry's")}, {text(L"_x0041_")}}},
      {std::wstring(40, L'L'), {L"n"}, {{number(3, "3")}}},
      {std::wstring(40, L'L') + L"2", {L"n"}, {}},
  };
}

} // namespace

TEST_F(BookSave, WorkbookFromSchemasAndRecordsReadsBackCellForCell)
{
  const std::string before = current_dir();
  const std::vector<table> tables = sample_tables();
  const std::string destination = out("book.xlsx");
  {
    xlsx_database db(wide(destination), false);
    for (const table& t : tables)
      add_table(db, t);
    db.save();
    EXPECT_FALSE(db.has_workbook());
  }
  EXPECT_EQ(current_dir(), before);
  expect_clean({"book.xlsx"});
  check_package(destination, tables,
                {L"Orders", L"orders00001", std::wstring(31, L'L'), std::wstring(26, L'L') + L"00001"},
                package_parts(4, true));
}

TEST_F(BookSave, NumbersOnlyWorkbookHasNoSharedStringsPart)
{
  const std::string destination = out("numbers.xlsx");
  // No columns, so no header texts either.
  const table t{L"n", {}, {{number(42, "42"), number(-0.5, "-0.5")}}};
  xlsx_database db(wide(destination), false);
  add_table(db, t);
  db.save();
  expect_clean({"numbers.xlsx"});
  check_package(destination, {t}, {L"n"}, package_parts(1, false));
}

TEST_F(BookSave, ZipDefaultOptionsFromTheEnvironmentDoNotChangeThePackage)
{
  // -j would drop the folders of every entry.
  env_var zip("ZIP", "-j");
  env_var zipopt("ZIPOPT", "-j");
  const std::string destination = out("book.xlsx");
  const table t{L"t", {L"x"}, {{text(L"a")}}};
  xlsx_database db(wide(destination), false);
  add_table(db, t);
  db.save();
  check_package(destination, {t}, {L"t"}, package_parts(1, true));
}

TEST_F(BookSave, DestinationIsReplacedWholeAndKeepsItsExactName)
{
  struct Case {
    std::string name;
    bool pre_existing;
  };
  const Case cases[] = {
      {"old.xlsx", true},  // an older, larger package: none of its entries survive
      {"no-extension", false},
      {"we\"ird $(touch pwned) 'x' `id`.xlsx", false},
  };
  for (const Case& c : cases) {
    const std::string destination = out(c.name);
    if (c.pre_existing) {
      xlsx_database old(wide(destination), false);
      add_table(old, {L"a", {L"x"}, {{text(L"old")}}});
      add_table(old, {L"b", {L"x"}, {}});
      add_table(old, {L"c", {L"x"}, {}});
      old.save();
    }
    xlsx_database db(wide(destination), false);
    const table t{L"new", {L"x"}, {{number(1, "1")}}};
    add_table(db, t);
    db.save();
    check_package(destination, {t}, {L"new"}, package_parts(1, true));
    expect_clean({c.name});
    std::filesystem::remove(destination);
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "pwned"));
}

TEST_F(BookSave, RelativeDestinationIsTakenFromTheCurrentDirectoryAtSaveTime)
{
  const std::string before = current_dir();
  ASSERT_TRUE(plat::change_dir(out_.string()));
  bool saved = false;
  {
    CWorkbook book;
    book.AddSheet2(L"a", {});
    saved = book.Save(L"relative.xlsx");
    EXPECT_EQ(current_dir(), out_.string()) << "the save never changes the current directory";
  }
  ASSERT_TRUE(plat::change_dir(before));
  EXPECT_TRUE(saved);
  expect_clean({"relative.xlsx"});
}

TEST_F(BookSave, OneWorkbookPerTableWritesEachTableIntoTheFolder)
{
  xlsx_database db(wide(out_.string()), true);
  for (int n : {0, 2}) {
    udb_schema schema;
    schema.emplace_back().name = L"x";
    auto sheet = db.create_table(L"t", schema, {});
    db.save_table(sheet.get(), n);
    EXPECT_FALSE(db.has_workbook());
  }
  db.save();  // nothing left to write
  expect_clean({"t(2).xlsx", "t.xlsx"});
}

TEST_F(BookSave, DatabaseWithoutTablesWritesNothingAndRefusesReading)
{
  {
    xlsx_database db(wide(out("never.xlsx")), false);
    db.save();
    EXPECT_EQ(db.get_query(L"q", L"select 1", 1), nullptr);
    EXPECT_TRUE(db.test_query(L"anything"));
    try {
      db.get_table(L"t", 1);
      ADD_FAILURE() << "reading a workbook back is not supported";
    } catch (const tk_exception& e) {
      EXPECT_EQ(e.get_level(), 2u);
    }
  }
  {
    xlsx_database dropped(wide(out("dropped.xlsx")), false);
    add_table(dropped, {L"t", {L"x"}, {{text(L"secret")}}});
  }
  // zip was started for sheets that never came: the old file stays.
  write_file(out("kept.xlsx"), "old workbook");
  {
    xlsx_database streamed(wide(out("kept.xlsx")), false);
    streamed.stream_sheets(2);
    streamed.save();
    EXPECT_FALSE(streamed.has_workbook());
  }
  EXPECT_EQ(read_file(out("kept.xlsx")), "old workbook");
  expect_clean({"kept.xlsx"});
}

// Every failure: a level-1 error naming the destination, no destination file,
// no staging folder beside it, no temporary folder.
class BookSaveFailure : public BookSave {
protected:
  void expect_failed_save(const std::string& destination, const std::string& reason_part)
  {
    xlsx_database db(wide(destination), false);
    add_table(db, {L"t", {L"x"}, {{text(L"data")}, {number(1, "1")}}});
    try {
      db.save();
      ADD_FAILURE() << "the save of " << destination << " reported success";
    } catch (const tk_exception& e) {
      EXPECT_EQ(e.get_level(), 1u);
      const std::string message = e.what();
      EXPECT_EQ(message.rfind("Cannot create the destination file '" + destination + "': ", 0), 0u)
          << message;
      EXPECT_NE(message.find(reason_part), std::string::npos) << message;
    }
    EXPECT_FALSE(db.has_workbook());
    EXPECT_FALSE(std::filesystem::is_regular_file(destination));
    EXPECT_TRUE(temp_leftovers().empty());
  }

  // PATH holding only the given programs.
  std::string path_with(const std::vector<std::pair<std::string, std::string>>& scripts)
  {
    const std::filesystem::path bin = dir_.path() / "bin";
    std::filesystem::create_directories(bin);
    for (const auto& [name, body] : scripts) {
      write_file((bin / name).string(), "#!/bin/sh\n" + body);
      ::chmod((bin / name).c_str(), 0755);
    }
    return bin.string();
  }
};

TEST_F(BookSaveFailure, WithoutAZipProgramTheSaveFailsClearly)
{
  ASSERT_FALSE(plat::is_executable_file(tk_get_module_dir<std::string>() + "zip"));
  env_var path("PATH", path_with({}));
  expect_failed_save(out("book.xlsx"), "zip program was not found");
  expect_clean({});
}

TEST_F(BookSaveFailure, AZipThatFailsFailsTheSave)
{
  struct Case {
    const char* script;
    const char* reason;
  };
  const Case cases[] = {
      {"echo 'zip error: Could not create output file' >&2\nexit 15\n",
       "could not create the package (exit code 15) (zip error: Could not create output file)"},
      // zip's status alone names the likely cause of a failed write.
      {"exit 14\n", "could not write the package (exit code 14: a write error, most often No space left "
                    "on device)"},
      {"echo 'zip I/O error: No space left on device' >&2\nexit 14\n",
       "could not write the package: No space left on device (zip I/O error: No space left on device)"},
      {"exit 0\n", "wrote no package"},
      {"kill -9 $$\n", "signal 9"},
      // Writes a partial package, then fails: it must not reach the destination.
      {"for a; do out=$a; case $a in */package.xlsx) break;; esac; done\n"
       "echo partial > \"$out\"\nexit 18\n",
       "exit code 18"},
  };
  for (const Case& c : cases) {
    std::filesystem::remove_all(dir_.path() / "bin");
    env_var path("PATH", path_with({{"zip", c.script}}));
    expect_failed_save(out("book.xlsx"), c.reason);
    expect_clean({});
  }
}

TEST_F(BookSaveFailure, ADestinationFolderThatCannotBeWrittenFailsTheSave)
{
  write_file((dir_.path() / "plain-file").string(), "x");
  std::filesystem::create_directories(out_ / "a-folder.xlsx");
  struct Case {
    std::string destination;
    const char* reason;
  };
  const Case cases[] = {
      {(dir_.path() / "missing" / "book.xlsx").string(), "No such file or directory"},
      {(dir_.path() / "plain-file" / "book.xlsx").string(), "Not a directory"},
      {out("a-folder.xlsx"), "Is a directory"},
  };
  for (const Case& c : cases)
    expect_failed_save(c.destination, c.reason);
  expect_clean({"a-folder.xlsx"});
  EXPECT_TRUE(book_test::entries(out_ / "a-folder.xlsx").empty());
}

TEST_F(BookSaveFailure, APartThatCannotBeWrittenFailsTheSaveAndRemovesTheSheets)
{
  CWorkbook book;
  CWorksheet* sheet = book.AddSheet2(L"a", {});
  sheet->OpenRow();
  sheet->AddCell(CellDataStr{L"text"});
  const std::string folder = plat::to_utf8(book.GetTempFolder());
  // The folder's place taken by a file: no part can be created in it.
  std::filesystem::remove_all(folder);
  write_file(folder, "not a folder");
  EXPECT_FALSE(book.Save(wide(out("book.xlsx"))));
  EXPECT_NE(book.GetSaveError().find("Not a directory"), std::string::npos) << book.GetSaveError();
  expect_clean({});
}
