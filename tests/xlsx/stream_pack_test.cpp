// Packing while the rows are written: whatever the rows turn out to be, the
// package holds the parts the folder would have given, byte for byte; openpyxl
// and LibreOffice read a streamed package; and a zip that fails, or waits on a
// pipe nobody feeds, never outlives the workbook or leaves anything behind.
#include "book_test_support.h"

#include "xlsx/xlsx_book.h"
#include "xlsx/xlsx_db.h"
#include "xlsx/xlsx_she.h"
#include "xlsx/xlsx_worksheet.h"
#include "xlsx/zip_packer.h"

#include "UDB/udb_field.h"
#include "UDB/udb_recs.h"
#include "UDB/udb_schema.h"
#include "platform/child_process.h"
#include "base/format.h"
#include "support/libreoffice_profile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>

using namespace XlsxBook;
using book_test::command_output;
using book_test::env_var;
using book_test::quoted;

namespace {

std::string read_whole(const std::filesystem::path& path)
{
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_whole(const std::filesystem::path& path, const std::string& text)
{
  std::ofstream(path, std::ios::binary) << text;
}

// One sheet as a run makes it: a header row, then `rows` data rows, of which
// the last may have no cell; `expected` is what the run predicts (no
// prediction: the sheet is never offered to the stream).
struct sheet_plan {
  std::optional<std::uint64_t> expected;
  std::uint32_t rows = 0;
  bool last_row_empty = false;
};

struct book_plan {
  const char* what;
  std::uint32_t announced;  // sheets zip is told of; 0: no stream
  std::vector<sheet_plan> sheets;
  bool streamed;  // the stream made the package (else the folder was packed)
  std::uint64_t part_limit = 0;  // the largest part zip may get through a pipe; 0: the default
};

// Long enough rows that 40,000 of them carry the head past the writer's buffer;
// each text is three times a row's own bytes in the sheet, so that the shared
// strings can outgrow the sheets.
std::wstring row_text(std::uint32_t row)
{
  return base::sprintf(L"row %u of the stream test with some words to make it long", row % 977) +
         std::wstring(150, L'~');
}

bool build(const book_plan& plan, const std::string& destination, bool stream, std::string& error)
{
  CWorkbook book;
  if (stream && plan.announced > 0 && !book.StreamTo(wide(destination), plan.announced)) {
    error = "the stream did not start";
    return false;
  }
  for (std::size_t n = 0; n < plan.sheets.size(); ++n) {
    const sheet_plan& s = plan.sheets[n];
    CWorksheet* sheet = book.AddSheet2(base::sprintf(L"Sheet %zu", n + 1), {});
    sheet->OpenRow();
    sheet->AddCell(CellDataStr{L"id"});
    sheet->AddCell(CellDataStr{L"text"});
    sheet->CloseRow();
    if (stream && s.expected && !book.StreamSheet(*sheet, *s.expected, error))
      return false;
    for (std::uint32_t r = 1; r <= s.rows; ++r) {
      sheet->OpenRow();
      if (!(s.last_row_empty && r == s.rows)) {
        sheet->AddCell(CellDataDbl{static_cast<double>(r)});
        sheet->AddCell(CellDataStr{row_text(r)});
      }
    }
    if (!sheet->Save()) {
      error = sheet->GetLastError();
      return false;
    }
  }
  if (!book.Save(wide(destination))) {
    error = book.GetSaveError();
    return false;
  }
  return true;
}

class StreamPack : public book_test::book_fixture {
protected:
  // The package's entry names in their order.
  std::vector<std::string> listing(const std::string& path)
  {
    int status = -1;
    const std::string text = command_output("unzip -Z1 " + quoted(path), &status);
    EXPECT_EQ(status, 0) << text;
    std::vector<std::string> names;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
      names.push_back(line);
    return names;
  }

  // Each entry's name with the permission bits zip stored for it (a piped
  // entry's type says "p", which readers take as a file), in name order.
  std::map<std::string, std::string> modes(const std::string& path)
  {
    int status = -1;
    const std::string text = command_output("zipinfo " + quoted(path), &status);
    EXPECT_EQ(status, 0) << text;
    std::map<std::string, std::string> found;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
      if (line.size() < 10 || (line[0] != '-' && line[0] != 'p') || line[10] != ' ')
        continue;
      found[line.substr(line.rfind(' ') + 1)] = line.substr(1, 9);
    }
    EXPECT_FALSE(found.empty()) << text;
    return found;
  }

  std::filesystem::path unpack(const std::string& path, const std::string& name)
  {
    const std::filesystem::path folder = dir_.path() / name;
    std::filesystem::remove_all(folder);
    int status = -1;
    const std::string said =
        command_output("unzip -q " + quoted(path) + " -d " + quoted(folder.string()) + " 2>&1", &status);
    EXPECT_EQ(status, 0) << said;
    return folder;
  }

  // A zip that notes its process id, then runs the real one (or the script).
  std::string zip_noting_pid(const std::string& then)
  {
    const std::filesystem::path bin = dir_.path() / "bin";
    std::filesystem::create_directories(bin);
    write_whole(bin / "zip", "#!/bin/sh\necho $$ > " + quoted((dir_.path() / "zip.pid").string()) +
                                 "\n" + then);
    ::chmod((bin / "zip").c_str(), 0755);
    return bin.string() + ":/usr/bin:/bin";
  }

  // The noted zip has ended (and was reaped: no zombie holds its id).
  void expect_zip_gone()
  {
    const std::string pid = read_whole(dir_.path() / "zip.pid");
    ASSERT_FALSE(pid.empty());
    EXPECT_NE(::kill(std::stoi(pid), 0), 0) << "zip " << pid << " still exists";
  }

  // Nothing in the destination folder but `kept`, nothing in TEMP.
  void expect_clean(const std::vector<std::string>& kept)
  {
    EXPECT_EQ(book_test::entries(out_), kept);
    EXPECT_TRUE(temp_leftovers().empty());
  }
};

} // namespace

TEST_F(StreamPack, PackageHoldsTheFoldersPartsWhateverTheRowsTurnOutToBe)
{
  const book_plan plans[] = {
      {"rows as predicted, three sheets", 3, {{2, 2}, {0, 0}, {5000, 5000}}, true},
      // The head was still in the writer's buffer when the dimension changed.
      {"a small sheet with fewer rows than counted", 1, {{10, 4}}, true},
      {"a large sheet with fewer rows than counted", 1, {{50000, 40000}}, false},
      {"a large sheet whose last row has no cell", 1, {{40000, 40000, true}}, false},
      {"fewer sheets than announced", 3, {{2, 2}, {3, 3}}, false},
      {"more sheets than announced", 1, {{2, 2}, {3, 3}}, false},
      {"a sheet never offered to the stream", 2, {{std::nullopt, 2}, {3, 3}}, false},
      // zip refuses a piped entry of 4 GiB or more; the limit stands lowered
      // here between the sizes of the parts (a sheet of 5,000 rows about
      // 520 KB, of 977 rows about 100 KB; 977 shared strings about 220 KB).
      {"a sheet larger than a piped entry may be", 2, {{5000, 5000}, {2, 2}}, false, 300'000},
      {"a last sheet larger than a piped entry may be", 2, {{2, 2}, {5000, 5000}}, false, 300'000},
      {"shared strings larger than a piped entry may be", 2, {{2, 2}, {977, 977}}, false, 150'000},
      {"every part within the limit", 2, {{2, 2}, {977, 977}}, true, 300'000},
  };
  for (const book_plan& plan : plans) {
    SCOPED_TRACE(plan.what);
    SetStreamedPartLimit(plan.part_limit);
    const std::string streamed = out("streamed.xlsx");
    const std::string packed = out("packed.xlsx");
    std::string error;
    ASSERT_TRUE(build(plan, streamed, true, error)) << error;
    ASSERT_TRUE(build(plan, packed, false, error)) << error;

    const std::vector<std::string> names = listing(streamed);
    ASSERT_FALSE(names.empty());
    // A streamed package starts with the first sheet; a packed folder with the
    // content types.
    EXPECT_EQ(names.front(), plan.streamed ? "xl/worksheets/sheet1.xml" : "[Content_Types].xml");
    std::vector<std::string> sorted = names;
    std::vector<std::string> wanted = listing(packed);
    std::sort(sorted.begin(), sorted.end());
    std::sort(wanted.begin(), wanted.end());
    EXPECT_EQ(sorted, wanted);

    SetStreamedPartLimit(0);
    // Every entry as a classic package gives it: a reader extracts it with the
    // mode a part's file gets (readable by all under the usual umask).
    EXPECT_EQ(modes(streamed), modes(packed));

    const std::filesystem::path a = unpack(streamed, "a");
    const std::filesystem::path b = unpack(packed, "b");
    for (const std::string& name : wanted) {
      // The properties carry the moment of the save.
      if (name != "docProps/core.xml") {
        EXPECT_EQ(read_whole(a / name), read_whole(b / name)) << name;
      }
    }
    std::filesystem::remove(streamed);
    std::filesystem::remove(packed);
    expect_clean({});
  }
}

TEST_F(StreamPack, StreamedPackageReadsBackInOpenpyxlAndLibreOffice)
{
  const book_plan plan{"two sheets", 2, {{3, 3}, {1, 1}}, true};
  const std::string path = out("book.xlsx");
  std::string error;
  ASSERT_TRUE(build(plan, path, true, error)) << error;
  ASSERT_EQ(listing(path).front(), "xl/worksheets/sheet1.xml");

  std::string expected;
  for (const sheet_plan& s : plan.sheets) {
    expected += "id,text\n";
    for (std::uint32_t r = 1; r <= s.rows; ++r)
      expected += std::to_string(r) + "," + plat::to_utf8(row_text(r)) + "\n";
  }
  int status = -1;
  const std::string read = command_output(
      "/usr/bin/python3 -c " +
          quoted("import sys, openpyxl\n"
                 "book = openpyxl.load_workbook(sys.argv[1])\n"
                 "for sheet in book.worksheets:\n"
                 "    for row in sheet.iter_rows(values_only=True):\n"
                 "        print(','.join(str(v) for v in row))\n") +
          " " + quoted(path) + " 2>&1",
      &status);
  EXPECT_EQ(status, 0) << read;
  EXPECT_EQ(read, expected);

  // Each sheet as a CSV file of its own (LibreOffice's sheet option -1).
  const std::string profile = test_support::libreoffice_profile(dir_.path().string());
  const std::filesystem::path csv = dir_.path() / "csv";
  const std::string converted = command_output(
      "cd " + quoted(dir_.path().string()) + " && HOME=" + quoted(dir_.path().string()) +
          " soffice -env:UserInstallation=" + profile +
          " --headless --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,"
          "false,false,-1' --outdir " + quoted(csv.string()) + " " + quoted(path) + " 2>&1",
      &status);
  ASSERT_EQ(status, 0) << converted;
  EXPECT_EQ(read_whole(csv / "book-Sheet 1.csv") + read_whole(csv / "book-Sheet 2.csv"), expected);
}

TEST_F(StreamPack, ZipThatEndsWhileRowsAreWrittenEndsTheWorkbookWithItsOwnWords)
{
  struct Case {
    const char* what;
    std::string zip;     // after noting its id
    std::string reason;  // in the error
  };
  const Case cases[] = {
      {"zip fails at once", "echo 'zip I/O error: No space left on device' >&2\nexit 15\n",
       "the zip program could not create the package: No space left on device (zip I/O error: "
       "No space left on device)"},
      // Reads a little of the first sheet, then fails as on a full disk.
      {"zip fails in the middle of a sheet",
       "head -c 100000 xl/worksheets/sheet1.xml > /dev/null\n"
       "echo 'zip I/O error: No space left on device'\nexit 14\n",
       "the zip program could not write the package: No space left on device"},
      {"zip is killed", "kill -9 $$\n", "signal 9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    write_whole(out_ / "book.xlsx", "old workbook");
    env_var path("PATH", zip_noting_pid(c.zip));
    {
      xlsx_database db(wide(out("book.xlsx")), false);
      db.stream_sheets(2);
      udb_schema schema;
      t_ftd& column = schema.emplace_back();
      column.name = L"text";
      column.vartype = VT_BSTR;
      std::unique_ptr<udb_recordset> table = db.create_table(L"t", schema, {});
      try {
        db.expect_rows(table.get(), 200000);
        udb_record record;
        record.emplace_back(L"text", 0u, ole_variant(std::wstring(60, L'x')), false, false);
        for (int r = 0; r < 200000; ++r)
          table->append_record(record, 1);
        db.save_table(table.get(), 0);
        ADD_FAILURE() << "the rows went on after zip ended";
      } catch (const xlsx_package_exception& e) {
        EXPECT_EQ(e.get_level(), 1u);
        const std::string message = e.what();
        EXPECT_EQ(message.rfind("Cannot create the destination file '" + out("book.xlsx") + "': ", 0), 0u)
            << message;
        EXPECT_NE(message.find(c.reason), std::string::npos) << message;
      }
    }
    expect_zip_gone();
    EXPECT_EQ(read_whole(out_ / "book.xlsx"), "old workbook");
    expect_clean({"book.xlsx"});
  }
}

TEST_F(StreamPack, ZipWaitingOnPipesNobodyFeedsEndsWithTheWorkbook)
{
  // The real zip, told of three sheets: one is made and abandoned, one is
  // made and saved, and the workbook is dropped without a save (a failed or
  // stopped run); zip, blocked on a pipe, must end with it.
  env_var path("PATH", zip_noting_pid("exec /usr/bin/zip \"$@\"\n"));
  write_whole(out_ / "book.xlsx", "old workbook");
  {
    CWorkbook book;
    ASSERT_TRUE(book.StreamTo(wide(out("book.xlsx")), 3));
    CWorksheet* sheet = book.AddSheet2(L"a", {});
    std::string error;
    ASSERT_TRUE(book.StreamSheet(*sheet, 1, error)) << error;
    sheet->OpenRow();
    sheet->AddCell(CellDataStr{L"x"});
    ASSERT_TRUE(sheet->Save());
    book.AddSheet2(L"b", {});
  }
  expect_zip_gone();
  EXPECT_EQ(read_whole(out_ / "book.xlsx"), "old workbook");
  expect_clean({"book.xlsx"});
}

TEST_F(StreamPack, PipeThatCannotBeOpenedEndsZipAndTheFolderIsPacked)
{
  // A pipe gone from the staging folder (as one that cannot be opened for
  // want of descriptors): zip waits on it, so it must be ended, not awaited,
  // and the whole parts in the folder make the package.
  const struct {
    const char* what;
    const char* pipe;
  } cases[] = {
      {"a sheet's pipe", "xl/worksheets/sheet2.xml"},
      {"the pipe of a part fed at the save", "xl/styles.xml"},
  };
  const book_plan plan{"two sheets", 2, {{3, 3}, {5, 5}}, true};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    env_var path("PATH", zip_noting_pid("exec /usr/bin/zip \"$@\"\n"));
    std::string error;
    {
      CWorkbook book;
      ASSERT_TRUE(book.StreamTo(wide(out("book.xlsx")), 2));
      for (const std::string& name : book_test::entries(out_))
        if (name.starts_with(pack_staging_prefix))
          std::filesystem::remove(out_ / name / "parts" / c.pipe);
      for (std::size_t n = 0; n < plan.sheets.size(); ++n) {
        CWorksheet* sheet = book.AddSheet2(base::sprintf(L"Sheet %zu", n + 1), {});
        ASSERT_TRUE(book.StreamSheet(*sheet, plan.sheets[n].rows, error)) << error;
        for (std::uint32_t r = 1; r <= plan.sheets[n].rows; ++r) {
          sheet->OpenRow();
          sheet->AddCell(CellDataStr{row_text(r)});
        }
        ASSERT_TRUE(sheet->Save());
        EXPECT_FALSE(sheet->StreamBroken());
      }
      ASSERT_TRUE(book.Save(wide(out("book.xlsx")))) << book.GetSaveError();
    }
    expect_zip_gone();
    EXPECT_EQ(listing(out("book.xlsx")).front(), "[Content_Types].xml") << "the folder was packed";
    std::filesystem::remove(out_ / "book.xlsx");
    expect_clean({});
  }
}
