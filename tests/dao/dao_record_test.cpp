// Fields read back from DAO: a row's values with their column's name, size and
// flags, and the day 1899-12-30 (DAO's "no date") printed as no date.
#include "dao_layer_support.h"

#include "UDB/udb_recs.h"
#include "dao/dao_bstr.h"
#include "dao/dao_record.h"

using namespace dao_layer_test;

namespace {

VARIANT text_arg(const dao_bstr& text)
{
  VARIANT v;
  v.vt = VT_BSTR;
  v.bstrVal = text;
  return v;
}

VARIANT date_arg(double days)
{
  VARIANT v;
  v.vt = VT_DATE;
  v.date = days;
  return v;
}

} // namespace

using DaoRecord = engine_fixture;

TEST_F(DaoRecord, FieldsOfAPendingRowCarryTheirValuesAndColumns)
{
  auto base = engine.create_dao_src(wide(dir.file("read.xls")), L"Excel 8.0;");
  base->create_table(L"t",
                     schema_of({{L"when", VT_DATE, 0, true}, {L"day", VT_DATE}, {L"name", VT_BSTR, 12},
                                {L"empty", VT_I4}}),
                     udb_indexes())
      .reset();

  // The sheet's recordset as DAO gives it, with one row being added.
  const dao_bstr no_name(std::wstring{});
  const dao_bstr sql(std::wstring(L"SELECT * FROM [t]"));
  ole_com_ptr<DAOQueryDef> query;
  ASSERT_EQ(base->get_dao_database()->CreateQueryDef(text_arg(no_name), text_arg(sql), query.put()), S_OK);
  VARIANT dynaset, append_only;
  dynaset.vt = append_only.vt = VT_I4;
  dynaset.lVal = 2;
  append_only.lVal = 8;
  ole_com_ptr<DAORecordset> rows;
  ASSERT_EQ(query->OpenRecordset(dynaset, append_only, rows.put()), S_OK);
  ASSERT_EQ(rows->AddNew(), S_OK);
  const dao_bstr when(std::wstring(L"when")), day(std::wstring(L"day")), name(std::wstring(L"name"));
  const dao_bstr ann(std::wstring(L"Ann"));
  ASSERT_EQ(rows->put_Collect(text_arg(when), date_arg(10.25 / 24)), S_OK);  // 1899-12-30 10:15
  ASSERT_EQ(rows->put_Collect(text_arg(day), date_arg(0)), S_OK);            // 1899-12-30
  ASSERT_EQ(rows->put_Collect(text_arg(name), text_arg(ann)), S_OK);
  ole_com_ptr<DAOFields> fields;
  ASSERT_EQ(rows->get_Fields(fields.put()), S_OK);

  const dao_record record(fields.get());
  ASSERT_EQ(record.size(), 4u);
  const struct {
    const wchar_t* name;
    VARTYPE type;
    std::uint32_t size;
    bool not_null;
    const wchar_t* text;
  } cases[] = {
      {L"when", VT_DATE, 8, true, L"0000-00-00 10:15:00"},
      {L"day", VT_DATE, 8, false, L"00:00:00"},
      {L"name", VT_BSTR, 3, false, L"Ann"},
      {L"empty", VT_I4, 4, false, L""},  // no value: the column's type
  };
  for (std::size_t i = 0; i < record.size(); ++i) {
    SCOPED_TRACE(plat::to_utf8(cases[i].name));
    const udb_field& field = *record[i];
    EXPECT_EQ(field.get_name(), cases[i].name);
    EXPECT_EQ(field.get_type(), cases[i].type);
    EXPECT_EQ(field.get_size(), cases[i].size);
    EXPECT_EQ(field.is_not_null(), cases[i].not_null);
    EXPECT_EQ(field.to_wstring(), cases[i].text);
  }
  rows->Close();
}
