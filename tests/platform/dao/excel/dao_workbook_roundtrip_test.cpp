// Workbooks written through the DAO objects exactly as the conversion calls
// them, read back by xlrd: the header row, every kind of value, a dropped
// pending row, and a second session adding a sheet to the file.
#include "platform/dao/dao_test_support.h"

#include "platform/dao/excel/workbook.h"

#include "support/temp_dir.h"
#include "support/workbook_check.h"

#include <string>
#include <vector>

using namespace dao_test;

namespace {

// Every sheet as xlrd reads it: "#name" then one line per row, cells as
// s:text, n:number (dates too), b:0/1 or - for none.
std::string read_back(const std::string& workbook)
{
  int status = 0;
  std::string out = workbook_check::command_output(
      "/usr/bin/python3 -c 'import sys, xlrd\n"
      "book = xlrd.open_workbook(sys.argv[1])\n"
      "for sheet in book.sheets():\n"
      "  print(\"#\" + sheet.name)\n"
      "  for r in range(sheet.nrows):\n"
      "    cells = []\n"
      "    for c in range(sheet.ncols):\n"
      "      cell = sheet.cell(r, c)\n"
      "      if cell.ctype == 1: cells.append(\"s:\" + cell.value)\n"
      "      elif cell.ctype in (2, 3): cells.append(\"n:%r\" % cell.value)\n"
      "      elif cell.ctype == 4: cells.append(\"b:%d\" % cell.value)\n"
      "      else: cells.append(\"-\")\n"
      "    print(\" \".join(cells))\n"
      "' '" + workbook + "' 2>&1",
      &status);
  if (status != 0)
    out += "\n(xlrd failed with status " + std::to_string(status) + ")";
  return out;
}

struct format_case {
  const wchar_t* connect;
  const char* file;
  bool dates;  // Excel 5.0 keeps dates out of this test: its date form is the driver's own
};

class dao_roundtrip : public ::testing::TestWithParam<format_case> {};

TEST_P(dao_roundtrip, RowsWrittenThroughDaoReadBackWithXlrd)
{
  const format_case& format = GetParam();
  temp_dir dir;
  const std::string path = dir.file(format.file);
  const std::wstring wide_path(path.begin(), path.end());
  ref<DAODBEngine> engine;
  make_engine(engine);

  const auto write_sheet = [&](const std::wstring& sheet, const std::vector<std::vector<VARIANT>>& rows) {
    ref<DAODatabase> database;
    ASSERT_EQ(engine->OpenDatabase(bstr(wide_path), boolean(false), boolean(false), text(format.connect),
                                   database.put()),
              S_OK)
        << std::string(last_error(engine.get()).description.begin(), last_error(engine.get()).description.end());
    ref<DAOTableDef> table;
    ASSERT_EQ(database->CreateTableDef(text(sheet), i4(0), text(L""), text(L""), table.put()), S_OK);
    ref<DAOFields> fields;
    ASSERT_EQ(table->get_Fields(fields.put()), S_OK);
    const struct {
      const wchar_t* name;
      short type;
      LONG size;
    } columns[] = {{L"Name", plat::dao::db_text, 40},
                   {L"Age", plat::dao::db_long, 4},
                   {L"Member", plat::dao::db_boolean, 1},
                   {L"Born", plat::dao::db_date, 8}};
    for (const auto& c : columns) {
      ref<DAOField> field;
      ASSERT_EQ(table->CreateField(text(c.name), i4(c.type), i4(c.size), field.put()), S_OK);
      ASSERT_EQ(field->put_Required(0), S_OK);
      ASSERT_EQ(fields->Append(field.get()), S_OK);
    }
    ref<DAOTableDefs> tables;
    ASSERT_EQ(database->get_TableDefs(tables.put()), S_OK);
    ASSERT_EQ(tables->Append(table.get()), S_OK);

    ref<DAOQueryDef> query;
    ASSERT_EQ(database->CreateQueryDef(text(L""), text(L"SELECT * FROM [" + sheet + L"]"), query.put()), S_OK);
    ref<DAORecordset> recordset;
    ASSERT_EQ(query->OpenRecordset(i2(2), i2(8), recordset.put()), S_OK);
    // A row left pending is dropped by the next AddNew.
    ASSERT_EQ(recordset->AddNew(), S_OK);
    ASSERT_EQ(recordset->put_Collect(text(L"Name"), text(L"dropped")), S_OK);
    for (const auto& row : rows) {
      ASSERT_EQ(recordset->AddNew(), S_OK);
      for (std::size_t c = 0; c < row.size(); ++c)
        ASSERT_EQ(recordset->put_Collect(text(columns[c].name), row[c]), S_OK) << c;
      ASSERT_EQ(recordset->Update(1, VARIANT_FALSE), S_OK)
          << std::string(last_error(engine.get()).description.begin(), last_error(engine.get()).description.end());
    }
    ASSERT_EQ(recordset->Close(), S_OK);
    ASSERT_EQ(database->Close(), S_OK);
  };

  const arg ann = text(L"Ann"), bob = text(L"Bob"), zoe = text(L"Zo\u00EB"), none;
  arg null, age;
  null.v.vt = VT_NULL;
  age.v.vt = VT_UI2;
  age.v.uiVal = 65535;
  const arg thirty = i4(30), yes = boolean(true), no = boolean(false);
  const arg day = format.dates ? date(36526.0) : arg(), morning = format.dates ? date(36526.25) : arg();
  write_sheet(L"People", {{ann, thirty, yes, day}, {bob, null, no, none}, {zoe, age, none, morning}});
  write_sheet(L"Second", {{ann}});

  const std::string born = format.dates ? " n:36526.0" : " -";
  const std::string born_morning = format.dates ? " n:36526.25" : " -";
  EXPECT_EQ(read_back(path), "#People\n"
                             "s:Name s:Age s:Member s:Born\n"
                             "s:Ann n:30.0 b:1" + born + "\n"
                             "s:Bob - b:0 -\n"
                             "s:Zo\xC3\xAB n:65535.0 -" + born_morning + "\n"
                             "#Second\n"
                             "s:Name s:Age s:Member s:Born\n"
                             "s:Ann - - -\n");
}

INSTANTIATE_TEST_SUITE_P(Formats, dao_roundtrip,
                         ::testing::Values(format_case{L"Excel 8.0;", "book8.xls", true},
                                           format_case{L"Excel 5.0;", "book5.xls", false}),
                         [](const auto& instance) { return std::string(instance.param.dates ? "Excel8" : "Excel5"); });

} // namespace
