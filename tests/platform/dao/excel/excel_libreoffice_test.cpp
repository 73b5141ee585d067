// LibreOffice, a reader independent of xlrd, opens both versions and shows the
// same values for each (its CSV export holds the first sheet as displayed).
#include "excel_test_support.h"
#include "support/libreoffice_profile.h"

using namespace excel_test;
using plat::dao::excel_workbook;
namespace dao = plat::dao;

namespace {

std::string libreoffice_csv(const std::string& workbook, const temp_dir& dir)
{
  const std::string command =
      "cd '" + dir.path().string() + "' && HOME='" + dir.path().string() +
      "' soffice -env:UserInstallation=" + test_support::libreoffice_profile(dir.path().string()) +
      " --headless --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76' --outdir '" +
      dir.path().string() + "/out' '" + workbook + "' >/dev/null 2>&1";
  int status = 0;
  test_support::command_output(command, &status);
  return read_file(dir.file("out/" + std::filesystem::path(workbook).stem().string() + ".csv"));
}

class ExcelLibreOffice : public testing::TestWithParam<biff_version> {};

TEST_P(ExcelLibreOffice, ShowsTheValuesXlrdReads)
{
  const biff_version version = GetParam();
  {
    const temp_dir dir;
    const std::string path = dir.file("lo.xls");
    {
      excel_workbook book(path, version);
      const std::size_t sheet = book.add_sheet(
          L"First", {{L"id", dao::db_long}, {L"price", dao::db_double}, {L"ok", dao::db_boolean},
                     {L"day", dao::db_date}, {L"note", dao::db_memo}});
      append(book, sheet, {i4(1), r8(2.5), boolean(true), date(45000), text(L"caf\u00e9")});
      append(book, sheet, {i4(-7), null(), boolean(false), date(45000.75), text(L"a,b")});
      append(book, sheet, {null(), r8(1e-3), null(), date(0.5), null()});
      book.add_sheet(L"Second", {{L"x", dao::db_text}});
      book.close();
    }
    // LibreOffice shows a boolean cell under the General format as 1 or 0.
    EXPECT_EQ(libreoffice_csv(path, dir),
              "id,price,ok,day,note\n"
              "1,2.5,1,2023-03-15,café\n"
              "-7,,0,2023-03-15 18:00:00,\"a,b\"\n"
              ",0.001,,12:00:00,\n");
  }
}

INSTANTIATE_TEST_SUITE_P(dao, ExcelLibreOffice, testing::Values(biff_version::biff5, biff_version::biff8),
                         [](const auto& p) { return name_of(p.param); });

} // namespace
