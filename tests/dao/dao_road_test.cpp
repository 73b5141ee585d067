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
