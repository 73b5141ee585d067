// The .xls road as the converter drives it: create or open the workbook, define
// one sheet per entry, append its rows, close; xlrd reads what was written.
#include "dao_layer_support.h"

#include "UDB/udb_recs.h"
#include "dao/dao_recordset.h"

using namespace dao_layer_test;

namespace {

// One entry of a run: a sheet with its rows.
void write_entry(dao_database& base, const std::wstring& sheet, const udb_schema& schema,
                 const std::vector<std::vector<ole_variant>>& rows)
{
  auto table = base.create_table(sheet, schema, udb_indexes());
  ASSERT_NE(table, nullptr);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const udb_record record = record_of(rows[i]);
    table->append_record(record, static_cast<std::uint32_t>(record.size()));
  }
  EXPECT_EQ(table->get_record_count(), rows.size());
}

const udb_schema& mixed_schema()
{
  static const udb_schema schema = schema_of({{L"id", VT_I4},
                                              {L"name", VT_BSTR, 40},
                                              {L"big", VT_I8},
                                              {L"price", VT_R8},
                                              {L"flag", VT_BOOL},
                                              {L"small", VT_UI2},
                                              {L"memo", VT_BSTR, 0}});
  return schema;
}

} // namespace

using DaoRoad = engine_fixture;

TEST_F(DaoRoad, NewWorkbookHoldsTheRowsOfMixedTypes)
{
  for (const wchar_t* connect : {L"Excel 8.0;", L"Excel 5.0;"}) {
    SCOPED_TRACE(plat::to_utf8(connect));
    const std::string path = dir.file(connect[6] == L'8' ? "mixed8.xls" : "mixed5.xls");
    auto base = engine.create_dao_src(wide(path), connect);
    ASSERT_EQ(base->get_mode(), 114u);
    write_entry(*base, L"shop", mixed_schema(),
                {{ole_variant(1), ole_variant(L"Ann"), ole_variant(9007199254740993LL), ole_variant(2.5),
                  ole_variant(true), ole_variant(static_cast<unsigned short>(65535)), ole_variant(L"long text")},
                 {ole_variant(2), null_value(), ole_variant(-7LL), ole_variant(-0.25), ole_variant(false),
                  ole_variant(static_cast<unsigned short>(0)), ole_variant(L"")}});
    base->close();
    EXPECT_EQ(xlrd_cells(path),
              "S \"shop\" 3 7\n"
              "0,0 s \"id\"\n0,1 s \"name\"\n0,2 s \"big\"\n0,3 s \"price\"\n0,4 s \"flag\"\n0,5 s \"small\"\n"
              "0,6 s \"memo\"\n"
              "1,0 n 1.0 General\n1,1 s \"Ann\"\n1,2 n 9007199254740992.0 General\n1,3 n 2.5 General\n"
              "1,4 b 1\n1,5 n 65535.0 General\n1,6 s \"long text\"\n"
              "2,0 n 2.0 General\n2,2 n -7.0 General\n2,3 n -0.25 General\n2,4 b 0\n2,5 n 0.0 General\n"
              "2,6 s \"\"\n");
  }
}

TEST_F(DaoRoad, OpeningAnExistingWorkbookAppendsASheetAndKeepsTheFirst)
{
  for (const wchar_t* connect : {L"Excel 8.0;", L"Excel 5.0;"}) {
    SCOPED_TRACE(plat::to_utf8(connect));
    const std::string path = dir.file(connect[6] == L'8' ? "two8.xls" : "two5.xls");
    const udb_schema schema = schema_of({{L"n", VT_I4}});
    {
      auto base = engine.create_dao_src(wide(path), connect);
      write_entry(*base, L"first", schema, {{ole_variant(1)}});
      base->close();
    }
    auto base = engine.open_dao_src(wide(path), connect, 8);
    EXPECT_EQ(base->get_mode(), 40u);
    EXPECT_EQ(base->get_table_names(), std::vector<std::wstring>{L"first"});
    write_entry(*base, L"second", schema, {{ole_variant(2)}, {ole_variant(3)}});
    EXPECT_EQ(base->get_table_names(), (std::vector<std::wstring>{L"first", L"second"}));
    base->close();
    EXPECT_EQ(xlrd_cells(path), "S \"first\" 2 1\n0,0 s \"n\"\n1,0 n 1.0 General\n"
                                "S \"second\" 3 1\n0,0 s \"n\"\n1,0 n 2.0 General\n2,0 n 3.0 General\n");
  }
}

TEST_F(DaoRoad, RefusedRecordsRaiseTheirDaoErrorAndTheNextRecordsStillGoIn)
{
  const std::string path = dir.file("refused.xls");
  auto base = engine.create_dao_src(wide(path), L"Excel 8.0;");
  auto table = base->create_table(L"t", schema_of({{L"d", VT_DATE}, {L"s", VT_BSTR, 10}}), udb_indexes());

  VARIANT too_late;
  VariantInit(&too_late);
  too_late.vt = VT_DATE;
  too_late.date = 2958466.0;  // the day after 9999-12-31
  ole_variant late;
  late.attach_variant(too_late);
  try {
    table->append_record(record_of({late, ole_variant(L"x")}), 2);
    ADD_FAILURE() << "a date out of range was taken";
  } catch (const dao_exception& e) {
    EXPECT_EQ(e.get_code(), 0x10000u | 3349u);
    EXPECT_EQ(e.get_level(), 0u);
    EXPECT_EQ(e.get_message(), "Numeric field overflow.");
  }

  // A record of the wrong width is refused before any value is written.
  try {
    table->append_record(record_of({ole_variant(L"only one")}), 1);
    ADD_FAILURE() << "a short record was taken";
  } catch (const dao_exception&) {
    ADD_FAILURE() << "a short record reached DAO";
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.get_level(), 0u);
    EXPECT_EQ(e.get_message(), "The structures of data source does not conform to the destination table.");
  }
  const std::uint64_t counted = table->get_record_count();
  VARIANT fine;
  VariantInit(&fine);
  fine.vt = VT_DATE;
  fine.date = 45000.25;
  ole_variant day;
  day.attach_variant(fine);
  table->append_record(record_of({day, ole_variant(L"after")}), 2);
  EXPECT_EQ(table->get_record_count(), counted + 1);
  table.reset();
  base->close();
  EXPECT_EQ(xlrd_cells(path), "S \"t\" 2 2\n0,0 s \"d\"\n0,1 s \"s\"\n"
                              "1,0 d 2023-03-15 06:00:00 yyyy\\-mm\\-dd\\ hh:mm:ss\n1,1 s \"after\"\n");
}

TEST_F(DaoRoad, NullsInNotNullColumnsAreWrittenEmptyAndOthersAsTheyCame)
{
  const std::string path = dir.file("nulls.xls");
  auto base = engine.create_dao_src(wide(path), L"Excel 8.0;");
  auto table = base->create_table(L"t",
                                  schema_of({{L"text", VT_BSTR, 20, true},
                                             {L"number", VT_I4, 0, true},
                                             {L"free", VT_BSTR, 20, false}}),
                                  udb_indexes());
  table->append_record(record_of({null_value(), null_value(), null_value()}), 3);
  table->append_record(record_of({ole_variant(L"a"), ole_variant(5), ole_variant(L"b")}), 3);
  table.reset();
  base->close();
  EXPECT_EQ(xlrd_cells(path), "S \"t\" 3 3\n0,0 s \"text\"\n0,1 s \"number\"\n0,2 s \"free\"\n"
                              "1,0 s \"\"\n"
                              "2,0 s \"a\"\n2,1 n 5.0 General\n2,2 s \"b\"\n");
}

TEST_F(DaoRoad, ColumnNamesDaoRefusesAreRenamedAndMapped)
{
  const std::string path = dir.file("names.xls");
  auto base = engine.create_dao_src(wide(path), L"Excel 8.0;");
  auto table = base->create_table(
      L"t", schema_of({{L"Name", VT_I4}, {L"name", VT_I4}, {L" x", VT_I4}, {L"a.b", VT_I4}, {L"[q]", VT_I4}}),
      udb_indexes());
  std::vector<std::wstring> names;
  for (const auto& column : table->get_schema())
    names.push_back(column->name);
  EXPECT_EQ(names, (std::vector<std::wstring>{L"Name", L"name00000", L"x", L"a_b", L"q"}));
  const udb_names_map& map = base->get_names_map();
  EXPECT_EQ(map.get_fn_mapped_name(L"t", L"name"), L"name00000");
  EXPECT_EQ(map.get_fn_mapped_name(L"t", L"a.b"), L"a_b");
  EXPECT_EQ(map.get_fn_mapped_name(L"t", L"Name"), L"Name");
  table.reset();
  base->close();
  EXPECT_EQ(xlrd_cells(path), "S \"t\" 1 5\n0,0 s \"Name\"\n0,1 s \"name00000\"\n0,2 s \"x\"\n0,3 s \"a_b\"\n"
                              "0,4 s \"q\"\n");
}

TEST_F(DaoRoad, WorkbookThatCannotBeWrittenIsReportedByCloseAndOnlyOnce)
{
  const std::filesystem::path folder = dir.path() / "gone";
  std::filesystem::create_directory(folder);
  const std::string path = (folder / "lost.xls").string();
  auto base = engine.create_dao_src(wide(path), L"Excel 8.0;");
  write_entry(*base, L"t", schema_of({{L"n", VT_I4}}), {{ole_variant(1)}});
  std::filesystem::remove_all(folder);
  try {
    base->close();
    ADD_FAILURE() << "a workbook that could not be written was reported as written";
  } catch (const dao_exception& e) {
    EXPECT_EQ(e.get_code() & 0xFFFF0000u, 0x10000u);
    EXPECT_FALSE(e.get_message().empty());
  }
  EXPECT_TRUE(base->is_closed());
  EXPECT_NO_THROW(base->close());
  base.reset();  // the destructor closes nothing a second time
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(DaoRoad, ColumnsReadBackWithTheTypesAndSizesOfTheirDaoFields)
{
  auto base = engine.create_dao_src(wide(dir.file("types.xls")), L"Excel 8.0;");
  const struct {
    column wanted;
    VARTYPE vartype;
    std::uint32_t size;
    std::uint32_t dw_reserved;
  } cases[] = {
      {{L"i2", VT_I2}, VT_I2, 2, 0},
      {{L"i1", VT_I1}, VT_I2, 2, 0},
      {{L"i4", VT_I4, 0, true}, VT_I4, 4, 0},
      {{L"ui2", VT_UI2}, VT_I4, 4, 0},
      {{L"r4", VT_R4}, VT_R4, 4, 0},
      {{L"r8", VT_R8}, VT_R8, 8, 0},
      {{L"i8", VT_I8}, VT_R8, 8, 0},
      {{L"dec", VT_DECIMAL}, VT_R8, 8, 0},
      {{L"cy", VT_CY}, VT_CY, 8, 0},
      {{L"date", VT_DATE}, VT_DATE, 8, 1},
      {{L"text", VT_BSTR, 255}, VT_BSTR, 255, 0},
      {{L"memo", VT_BSTR, 256}, VT_BSTR, 0, 0},
      {{L"bool", VT_BOOL}, VT_BOOL, 1, 0},
      {{L"byte", VT_UI1}, VT_UI1, 1, 0},
  };
  std::vector<column> columns;
  for (const auto& c : cases)
    columns.push_back(c.wanted);
  auto table = base->create_table(L"t", schema_of(columns), udb_indexes());
  const udb_schema& read = table->get_schema();
  ASSERT_EQ(read.size(), std::size(cases));
  for (std::size_t i = 0; i < read.size(); ++i) {
    SCOPED_TRACE(plat::to_utf8(cases[i].wanted.name));
    EXPECT_EQ(read[i]->name, cases[i].wanted.name);
    EXPECT_EQ(read[i]->vartype, cases[i].vartype);
    EXPECT_EQ(read[i]->size, cases[i].size);
    EXPECT_EQ(read[i]->dw_reserved, cases[i].dw_reserved);
    EXPECT_EQ(read[i]->not_null, cases[i].wanted.not_null);
    // No default: an empty text for a text column, else no value.
    EXPECT_EQ(read[i]->default_value.get_type(), cases[i].vartype == VT_BSTR ? VT_BSTR : VT_EMPTY);
    EXPECT_EQ(read[i]->default_value.to_wstring(), L"");
  }
  EXPECT_TRUE(table->get_indexes().empty());
  EXPECT_EQ(table->get_record_count(), 0u);
}
