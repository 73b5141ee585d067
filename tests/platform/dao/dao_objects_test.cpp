// The DAO objects as the conversion calls them: class creation, the error list
// after every kind of failure, argument kinds, booleans, pending rows and the
// lifetime of objects made from one another.
#include "dao_test_support.h"

#include "platform/dao/dao_model.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <functional>
#include <vector>

using namespace dao_test;

namespace {

constexpr HRESULT dao_hr(LONG number)
{
  return plat::dao::dao_hresult(number);
}

TEST(dao_registry, EveryEngineClassGivesADBEngineAndNothingElse)
{
  for (const CLSID& clsid : {plat::dao::clsid_dbengine_35, plat::dao::clsid_dbengine_36, plat::dao::clsid_dbengine_120}) {
    ref<DAODBEngine> engine;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, DAODBEngine::iid, reinterpret_cast<void**>(engine.put())),
              S_OK);
    EXPECT_TRUE(engine);
  }

  ref<IUnknown> outer_object;
  ASSERT_EQ(CoCreateInstance(plat::dao::clsid_dbengine_36, nullptr, CLSCTX_ALL, IID_IUnknown,
                             reinterpret_cast<void**>(outer_object.put())),
            S_OK);
  const CLSID unknown = {0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
  struct refusal {
    const char* what;
    CLSID clsid;
    IUnknown* outer;
    IID iid;
    HRESULT expected;
  } refusals[] = {
      {"unknown class", unknown, nullptr, DAODBEngine::iid, REGDB_E_CLASSNOTREG},
      {"interface the engine lacks", plat::dao::clsid_dbengine_36, nullptr, DAORecordset::iid, E_NOINTERFACE},
      {"outer object", plat::dao::clsid_dbengine_36, outer_object.get(), DAODBEngine::iid, CLASS_E_NOAGGREGATION},
  };
  for (const auto& r : refusals) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(r.clsid, r.outer, CLSCTX_ALL, r.iid, &object), r.expected) << r.what;
    EXPECT_EQ(object, nullptr) << r.what;
  }

  // A machine without the engine.
  ASSERT_TRUE(plat::dao::unregister_class(plat::dao::clsid_dbengine_36));
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(plat::dao::clsid_dbengine_36, nullptr, CLSCTX_ALL, DAODBEngine::iid, &object),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(object, nullptr);
  plat::dao::register_class(plat::dao::clsid_dbengine_36, &plat::dao::create_dbengine);
}

struct column {
  std::wstring name;
  short type;
  LONG size;
};

class dao_workbook : public ::testing::Test {
protected:
  void SetUp() override { make_engine(engine); }

  std::wstring path_of(const std::string& file) const
  {
    const std::string path = dir.file(file);
    return {path.begin(), path.end()};
  }

  HRESULT open(const std::string& file, ref<DAODatabase>& database, const std::wstring& connect = L"Excel 8.0;",
               bool read_only = false)
  {
    return engine->OpenDatabase(bstr(path_of(file)), boolean(false), boolean(read_only), text(connect),
                                database.put());
  }

  // Defines a table as the conversion does and appends it.
  HRESULT add_table(DAODatabase* database, const std::wstring& name, const std::vector<column>& columns)
  {
    ref<DAOTableDef> table;
    EXPECT_EQ(database->CreateTableDef(text(name), i4(0), text(L""), text(L""), table.put()), S_OK);
    ref<DAOFields> fields;
    EXPECT_EQ(table->get_Fields(fields.put()), S_OK);
    for (const column& c : columns) {
      ref<DAOField> field;
      EXPECT_EQ(table->CreateField(text(c.name), i4(c.type), i4(c.size), field.put()), S_OK);
      EXPECT_EQ(field->put_Required(1), S_OK);
      if (c.type == plat::dao::db_text || c.type == plat::dao::db_memo) {
        EXPECT_EQ(field->put_AllowZeroLength(1), S_OK);
      }
      EXPECT_EQ(fields->Append(field.get()), S_OK);
    }
    ref<DAOTableDefs> tables;
    EXPECT_EQ(database->get_TableDefs(tables.put()), S_OK);
    return tables->Append(table.get());
  }

  HRESULT open_rows(DAODatabase* database, const std::wstring& table, ref<DAORecordset>& rows, LONG options = 8)
  {
    ref<DAOQueryDef> query;
    const HRESULT hr = database->CreateQueryDef(text(L""), text(L"SELECT * FROM [" + table + L"]"), query.put());
    if (FAILED(hr))
      return hr;
    return query->OpenRecordset(i2(2), i2(static_cast<short>(options)), rows.put());
  }

  LONG table_rows(DAODatabase* database, const std::wstring& name)
  {
    ref<DAOTableDefs> tables;
    ref<DAOTableDef> table;
    LONG count = -1;
    EXPECT_EQ(database->get_TableDefs(tables.put()), S_OK);
    EXPECT_EQ(tables->get_Item(text(name), table.put()), S_OK);
    EXPECT_EQ(table->get_RecordCount(&count), S_OK);
    return count;
  }

  temp_dir dir;
  ref<DAODBEngine> engine;
};

const std::vector<column> people = {{L"Name", plat::dao::db_text, 40},
                                    {L"Age", plat::dao::db_long, 4},
                                    {L"Born", plat::dao::db_date, 8}};

TEST_F(dao_workbook, TheConversionRoadDefinesASheetAddsRowsAndReopens)
{
  ref<DAODatabase> database;
  ASSERT_EQ(open("book.xls", database), S_OK);
  ASSERT_EQ(add_table(database.get(), L"People", people), S_OK);

  // What the recordset's schema reading finds.
  ref<DAOTableDefs> tables;
  ref<DAOTableDef> table;
  ASSERT_EQ(database->get_TableDefs(tables.put()), S_OK);
  short count = 0;
  ASSERT_EQ(tables->get_Count(&count), S_OK);
  EXPECT_EQ(count, 1);
  ASSERT_EQ(tables->get_Item(ui2(0), table.put()), S_OK);
  BSTR name = nullptr;
  LONG attributes = -1, records = -1;
  ASSERT_EQ(table->get_Name(&name), S_OK);
  EXPECT_EQ(take(name), L"People");
  ASSERT_EQ(table->get_Attributes(&attributes), S_OK);
  EXPECT_EQ(attributes, 0);
  ASSERT_EQ(table->get_RecordCount(&records), S_OK);
  EXPECT_EQ(records, 0);
  ref<DAOIndexes> indexes;
  ASSERT_EQ(table->get_Indexes(indexes.put()), S_OK);
  ASSERT_EQ(indexes->get_Count(&count), S_OK);
  EXPECT_EQ(count, 0);
  ref<DAOQueryDefs> queries;
  ASSERT_EQ(database->get_QueryDefs(queries.put()), S_OK);
  ASSERT_EQ(queries->get_Count(&count), S_OK);
  EXPECT_EQ(count, 0);

  ref<DAOFields> fields;
  ASSERT_EQ(table->get_Fields(fields.put()), S_OK);
  ASSERT_EQ(fields->get_Count(&count), S_OK);
  ASSERT_EQ(count, 3);
  for (unsigned short i = 0; i < 3; ++i) {
    ref<DAOField> field;
    ASSERT_EQ(fields->get_Item(ui2(i), field.put()), S_OK);
    short type = 0;
    LONG size = 0;
    VARIANT_BOOL required = 0;
    ASSERT_EQ(field->get_Type(&type), S_OK);
    ASSERT_EQ(field->get_Size(&size), S_OK);
    ASSERT_EQ(field->get_Required(&required), S_OK);
    EXPECT_EQ(type, people[i].type);
    EXPECT_EQ(size, people[i].size);
    EXPECT_EQ(required, VARIANT_TRUE);
    // A workbook field has no Description or Format: 3270 with Errors filled.
    ref<DAOProperties> properties;
    ASSERT_EQ(field->get_Properties(properties.put()), S_OK);
    for (const wchar_t* property : {L"Description", L"Format"}) {
      ref<DAOProperty> found;
      EXPECT_EQ(properties->get_Item(text(property), found.put()), dao_hr(3270));
      EXPECT_FALSE(found);
      EXPECT_EQ(last_error(engine.get()).number, 3270);
    }
  }

  ref<DAORecordset> rows;
  ASSERT_EQ(open_rows(database.get(), L"People", rows), S_OK);
  VARIANT_BOOL eof = 0;
  ASSERT_EQ(rows->get_EOF(&eof), S_OK);
  EXPECT_EQ(eof, VARIANT_TRUE);
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(rows->AddNew(), S_OK);
    ASSERT_EQ(rows->put_Collect(text(L"name"), text(L"Ann")), S_OK);
    ASSERT_EQ(rows->put_Collect(text(L"AGE"), i4(30 + i)), S_OK);
    ASSERT_EQ(rows->put_Collect(text(L"Born"), date(36526.0)), S_OK);
    ASSERT_EQ(rows->Update(1, VARIANT_FALSE), S_OK);
  }
  ASSERT_EQ(rows->get_RecordCount(&records), S_OK);
  EXPECT_EQ(records, 3);
  EXPECT_EQ(table_rows(database.get(), L"PEOPLE"), 3);
  ASSERT_EQ(database->Close(), S_OK);
  EXPECT_EQ(rows->AddNew(), dao_hr(3420));

  ref<DAODatabase> again;
  ASSERT_EQ(open("book.xls", again), S_OK);
  EXPECT_EQ(table_rows(again.get(), L"people"), 3);
  EXPECT_EQ(add_table(again.get(), L"PEOPLE", people), dao_hr(3010));
  EXPECT_EQ(again->Close(), S_OK);
}

TEST_F(dao_workbook, EveryFailureReturnsItsNumberAndFillsErrors)
{
  ref<DAODatabase> database;
  ASSERT_EQ(open("errors.xls", database), S_OK);
  ASSERT_EQ(add_table(database.get(), L"t", people), S_OK);
  ref<DAOTableDefs> tables;
  ASSERT_EQ(database->get_TableDefs(tables.put()), S_OK);
  ref<DAOTableDef> table;
  ASSERT_EQ(tables->get_Item(text(L"T"), table.put()), S_OK);
  ref<DAOFields> fields;
  ASSERT_EQ(table->get_Fields(fields.put()), S_OK);
  ref<DAORecordset> rows;
  ASSERT_EQ(open_rows(database.get(), L"t", rows), S_OK);
  // A workbook another session holds, and a file that is no workbook.
  ref<DAODatabase> holder;
  ASSERT_EQ(open("held.xls", holder), S_OK);
  ASSERT_EQ(add_table(holder.get(), L"t", people), S_OK);
  ASSERT_EQ(holder->Close(), S_OK);
  ASSERT_EQ(open("held.xls", holder), S_OK);
  write_file(dir.file("junk.xls"), std::string(600, 'x'));

  ref<DAOTableDef> out_table;
  ref<DAOField> out_field;
  ref<DAODatabase> out_database;
  ref<DAOQueryDef> out_query;
  ref<DAORecordset> out_rows;
  struct failure {
    const char* what;
    std::function<HRESULT()> call;
    LONG number;
  } failures[] = {
      {"table by unknown name", [&] { return tables->get_Item(text(L"nope"), out_table.put()); }, 3265},
      {"table past the end", [&] { return tables->get_Item(ui2(1), out_table.put()); }, 3265},
      {"field past the end", [&] { return fields->get_Item(i4(3), out_field.put()); }, 3265},
      {"table without fields", [&] { return add_table(database.get(), L"empty", {}); }, 3264},
      {"two fields of one name (ignoring case)", [&] {
         ref<DAOTableDef> twice;
         ref<DAOFields> list;
         ref<DAOField> first, second;
         database->CreateTableDef(text(L"twice"), i4(0), text(L""), text(L""), twice.put());
         twice->get_Fields(list.put());
         twice->CreateField(text(L"Name"), i4(plat::dao::db_text), i4(5), first.put());
         twice->CreateField(text(L"NAME"), i4(plat::dao::db_long), i4(4), second.put());
         list->Append(first.get());
         return list->Append(second.get());
       }, 3191},
      {"binary column in a workbook",
       [&] { return add_table(database.get(), L"blob", {{L"b", plat::dao::db_binary, 10}}); }, 3259},
      {"unknown field type", [&] { return table->CreateField(text(L"x"), i4(99), i4(0), out_field.put()); }, 3259},
      {"fields of an appended table", [&] {
         ref<DAOField> field;
         table->CreateField(text(L"late"), i4(plat::dao::db_long), i4(4), field.put());
         return fields->Append(field.get());
       }, 3251},
      {"query that is not SELECT * FROM [name]",
       [&] { return database->CreateQueryDef(text(L""), text(L"SELECT Name FROM [t]"), out_query.put()); }, 3129},
      {"query of a missing sheet", [&] { return open_rows(database.get(), L"missing", out_rows); }, 3078},
      {"table-type recordset", [&] {
         ref<DAOQueryDef> query;
         database->CreateQueryDef(text(L""), text(L"SELECT * FROM [t]"), query.put());
         return query->OpenRecordset(i2(1), i2(0), out_rows.put());
       }, 3219},
      {"Update without AddNew", [&] { return rows->Update(1, VARIANT_FALSE); }, 3020},
      {"Collect without AddNew", [&] { return rows->put_Collect(text(L"Name"), text(L"x")); }, 3020},
      {"no current record", [&] { return rows->MoveNext(); }, 3021},
      {"Collect of an unknown field", [&] {
         rows->AddNew();
         return rows->put_Collect(text(L"nope"), text(L"x"));
       }, 3265},
      {"Collect of an object", [&] {
         arg object;
         object.v.vt = VT_UNKNOWN;
         object.v.punkVal = table.get();
         table->AddRef();
         return rows->put_Collect(text(L"Name"), object);
       }, 3421},
      {"workbook held by another session", [&] { return open("held.xls", out_database); }, 3051},
      {"file that is no workbook", [&] { return open("junk.xls", out_database); }, 3274},
      {"missing folder", [&] { return open("no/such.xls", out_database); }, 3044},
      {"missing Access database", [&] { return open("a.mdb", out_database, L""); }, 3024},
      {"missing Access database with password", [&] { return open("a.mdb", out_database, L";pwd=secret"); }, 3024},
      {"driver not installed", [&] { return open("a.xlsx", out_database, L"Excel 12.0;"); }, 3170},
      {"Access database over an existing file", [&] {
         return engine->CreateDatabase(bstr(path_of("junk.xls")), bstr(L";LANGID=0x0409;CP=1252;COUNTRY=0"), i4(0),
                                       out_database.put());
       }, 3204},
      {"index on a sheet", [&] {
         ref<DAOIndexes> indexes;
         ref<DAOIndex> index;
         table->get_Indexes(indexes.put());
         table->CreateIndex(text(L"ix"), index.put());
         return indexes->Append(index.get());
       }, 3251},
  };
  for (const failure& f : failures) {
    SCOPED_TRACE(f.what);
    EXPECT_EQ(f.call(), dao_hr(f.number));
    const dao_failure error = last_error(engine.get());
    EXPECT_EQ(error.number, f.number);
    EXPECT_FALSE(error.description.empty());
  }
  EXPECT_FALSE(out_table || out_field || out_database || out_query || out_rows);

  // A definition field has no value, yet the out-value is initialised.
  ref<DAOField> field;
  ASSERT_EQ(fields->get_Item(i2(0), field.put()), S_OK);
  VARIANT value;
  value.vt = VT_I4;
  EXPECT_EQ(field->get_Value(&value), dao_hr(3219));
  EXPECT_EQ(value.vt, VT_EMPTY);

  // After Close every object of the database is done with.
  ASSERT_EQ(database->Close(), S_OK);
  short count = 0;
  EXPECT_EQ(tables->get_Count(&count), dao_hr(3420));
  EXPECT_EQ(database->Close(), dao_hr(3420));
  EXPECT_EQ(last_error(engine.get()).number, 3420);
}

TEST_F(dao_workbook, PositionsAndOptionsArriveAsAnyIntegerKindAndNamesIgnoreCase)
{
  ref<DAODatabase> database;
  ASSERT_EQ(engine->OpenDatabase(bstr(path_of("kinds.xls")), i4(0), i2(0), text(L"excel 5.0; HDR=YES"),
                                 database.put()),
            S_OK);
  ASSERT_EQ(add_table(database.get(), L"Sheet", people), S_OK);
  ref<DAOTableDefs> tables;
  ASSERT_EQ(database->get_TableDefs(tables.put()), S_OK);
  std::vector<arg> keys;
  keys.push_back(ui2(0));
  keys.push_back(i2(0));
  keys.push_back(i4(0));
  keys.push_back(r8(0));
  keys.push_back(text(L"sHEET"));
  for (const arg& key : keys) {
    ref<DAOTableDef> table;
    ASSERT_EQ(tables->get_Item(key, table.put()), S_OK) << key.v.vt;
    BSTR name = nullptr;
    ASSERT_EQ(table->get_Name(&name), S_OK);
    EXPECT_EQ(take(name), L"Sheet");
  }

  for (const wchar_t* sql : {L"select * from [sheet]", L"  SELECT\t*  FROM   [Sheet] ; "}) {
    ref<DAOQueryDef> query;
    ASSERT_EQ(database->CreateQueryDef(text(L""), text(sql), query.put()), S_OK) << sql;
    ref<DAOFields> fields;
    ASSERT_EQ(query->get_Fields(fields.put()), S_OK);
    short count = 0;
    ASSERT_EQ(fields->get_Count(&count), S_OK);
    EXPECT_EQ(count, 3);
    // Options as the schema reading (VT_I2) and the query count (VT_I4) pass them.
    ref<DAORecordset> rows;
    ASSERT_EQ(query->OpenRecordset(i2(2), i2(4), rows.put()), S_OK);
    EXPECT_EQ(rows->AddNew(), dao_hr(3027));
    ASSERT_EQ(query->OpenRecordset(i4(2), i4(8), rows.put()), S_OK);
    EXPECT_EQ(rows->AddNew(), S_OK);
  }
  for (const wchar_t* sql : {L"SELECT * FROM Sheet", L"SELECT * FROM [Sheet] WHERE 1", L"SELECT *FROM[Sheet]x"}) {
    ref<DAOQueryDef> query;
    EXPECT_EQ(database->CreateQueryDef(text(L""), text(sql), query.put()), dao_hr(3129)) << sql;
  }

  // Collect by position too, and the integer kinds the workbook lacks.
  ref<DAORecordset> rows;
  ASSERT_EQ(open_rows(database.get(), L"Sheet", rows), S_OK);
  ASSERT_EQ(rows->AddNew(), S_OK);
  struct kind {
    VARTYPE in;
    LONGLONG value;
    VARTYPE stored;
    double read;
  } kinds[] = {{VT_UI2, 65535, VT_I4, 65535}, {VT_I1, -5, VT_I4, -5}, {VT_UI4, 4000000000, VT_R8, 4e9},
               {VT_I8, 1LL << 40, VT_R8, 1099511627776.0}};
  for (const kind& k : kinds) {
    arg value;
    value.v.vt = k.in;
    value.v.llVal = k.value;
    if (k.in == VT_I1)
      value.v.cVal = static_cast<signed char>(k.value);
    ASSERT_EQ(rows->put_Collect(i2(1), value), S_OK) << k.in;
    arg back;
    ASSERT_EQ(rows->get_Collect(ui2(1), &back.v), S_OK);
    EXPECT_EQ(back.v.vt, k.stored) << k.in;
    EXPECT_EQ(k.stored == VT_I4 ? back.v.lVal : back.v.dblVal, k.read) << k.in;
  }
  ASSERT_EQ(rows->Update(1, VARIANT_FALSE), S_OK);
  EXPECT_EQ(database->Close(), S_OK);
}

TEST_F(dao_workbook, FlagsReadBackAsVariantTrueWhateverNonZeroWasWritten)
{
  ref<DAODatabase> database;
  ASSERT_EQ(open("flags.xls", database), S_OK);
  ref<DAOTableDef> table;
  ASSERT_EQ(database->CreateTableDef(text(L"t"), i4(0), text(L""), text(L""), table.put()), S_OK);
  ref<DAOField> field;
  ASSERT_EQ(table->CreateField(text(L"f"), i4(plat::dao::db_text), i4(10), field.put()), S_OK);
  ref<DAOIndex> index;
  ASSERT_EQ(table->CreateIndex(text(L"ix"), index.put()), S_OK);
  for (const VARIANT_BOOL written : {VARIANT_BOOL{1}, VARIANT_TRUE, VARIANT_BOOL{2}, VARIANT_FALSE}) {
    const VARIANT_BOOL expected = written != 0 ? VARIANT_TRUE : VARIANT_FALSE;
    VARIANT_BOOL read = 5;
    ASSERT_EQ(field->put_Required(written), S_OK);
    ASSERT_EQ(field->get_Required(&read), S_OK);
    EXPECT_EQ(read, expected) << written;
    ASSERT_EQ(field->put_AllowZeroLength(written), S_OK);
    ASSERT_EQ(field->get_AllowZeroLength(&read), S_OK);
    EXPECT_EQ(read, expected) << written;
    ASSERT_EQ(index->put_Unique(written), S_OK);
    ASSERT_EQ(index->get_Unique(&read), S_OK);
    EXPECT_EQ(read, expected) << written;
  }

  // Defaults are held as the expression text they are.
  struct default_case {
    arg value;
    std::wstring text;
  };
  default_case defaults[] = {{text(L"Now()"), L"Now()"}, {text(L"\"abc\""), L"\"abc\""}, {i4(42), L"42"}, {arg(), L""}};
  for (const default_case& d : defaults) {
    ASSERT_EQ(field->put_DefaultValue(d.value), S_OK);
    arg read;
    ASSERT_EQ(field->get_DefaultValue(&read.v), S_OK);
    ASSERT_EQ(read.v.vt, VT_BSTR);
    EXPECT_EQ(take(std::exchange(read.v.bstrVal, nullptr)), d.text);
  }
  // Fixed-size types keep their own size, as DAO's do.
  ref<DAOField> number;
  ASSERT_EQ(table->CreateField(text(L"n"), i4(plat::dao::db_long), i4(11), number.put()), S_OK);
  LONG size = 0;
  ASSERT_EQ(number->get_Size(&size), S_OK);
  EXPECT_EQ(size, 4);
  LONG attributes = 0;
  ASSERT_EQ(number->get_Attributes(&attributes), S_OK);
  ASSERT_EQ(number->put_Attributes(attributes | plat::dao::db_auto_incr_field), S_OK);
  ASSERT_EQ(number->get_Attributes(&attributes), S_OK);
  EXPECT_NE(attributes & plat::dao::db_auto_incr_field, 0);
}

TEST_F(dao_workbook, APendingRowIsDroppedByAddNewCancelUpdateAndClose)
{
  ref<DAODatabase> database;
  ASSERT_EQ(open("pending.xls", database), S_OK);
  ASSERT_EQ(add_table(database.get(), L"t", people), S_OK);
  ref<DAORecordset> rows;
  ASSERT_EQ(open_rows(database.get(), L"t", rows), S_OK);

  ASSERT_EQ(rows->AddNew(), S_OK);
  ASSERT_EQ(rows->put_Collect(text(L"Name"), text(L"dropped")), S_OK);
  ASSERT_EQ(rows->AddNew(), S_OK);
  arg value;
  ASSERT_EQ(rows->get_Collect(text(L"Name"), &value.v), S_OK);
  EXPECT_EQ(value.v.vt, VT_EMPTY);
  ASSERT_EQ(rows->put_Collect(text(L"Age"), i4(1)), S_OK);
  ASSERT_EQ(rows->Update(1, VARIANT_FALSE), S_OK);

  ASSERT_EQ(rows->AddNew(), S_OK);
  ASSERT_EQ(rows->CancelUpdate(), S_OK);
  EXPECT_EQ(rows->Update(1, VARIANT_FALSE), dao_hr(3020));

  ASSERT_EQ(rows->AddNew(), S_OK);
  ASSERT_EQ(rows->Close(), S_OK);
  EXPECT_EQ(rows->Update(1, VARIANT_FALSE), dao_hr(3420));
  EXPECT_EQ(table_rows(database.get(), L"t"), 1);

  // Database.Close drops the row of a recordset still open.
  ref<DAORecordset> more;
  ASSERT_EQ(open_rows(database.get(), L"t", more), S_OK);
  ASSERT_EQ(more->AddNew(), S_OK);
  ASSERT_EQ(database->Close(), S_OK);
  EXPECT_EQ(more->Update(1, VARIANT_FALSE), dao_hr(3420));
  ref<DAODatabase> again;
  ASSERT_EQ(open("pending.xls", again), S_OK);
  EXPECT_EQ(table_rows(again.get(), L"t"), 1);
}

TEST_F(dao_workbook, ARefusedRowStaysPendingWithItsErrorInErrors)
{
  ref<DAODatabase> database;
  ASSERT_EQ(open("refused.xls", database), S_OK);
  ASSERT_EQ(add_table(database.get(), L"t", people), S_OK);
  ref<DAORecordset> rows;
  ASSERT_EQ(open_rows(database.get(), L"t", rows), S_OK);
  ASSERT_EQ(rows->AddNew(), S_OK);
  ASSERT_EQ(rows->put_Collect(text(L"Born"), date(1.5)), S_OK);  // no such day in Excel
  EXPECT_EQ(rows->Update(1, VARIANT_FALSE), dao_hr(3349));
  EXPECT_EQ(last_error(engine.get()).number, 3349);
  EXPECT_EQ(rows->CancelUpdate(), S_OK);  // it was still pending

  ASSERT_EQ(rows->AddNew(), S_OK);
  ASSERT_EQ(rows->put_Collect(text(L"Born"), date(36526.5)), S_OK);
  ASSERT_EQ(rows->Update(1, VARIANT_FALSE), S_OK);
  LONG count = 0;
  ASSERT_EQ(rows->get_RecordCount(&count), S_OK);
  EXPECT_EQ(count, 1);
  // Rows written are not read back: only an append-only recordset opens now.
  ref<DAORecordset> reading;
  EXPECT_EQ(open_rows(database.get(), L"t", reading, 4), dao_hr(3251));
  EXPECT_EQ(database->Close(), S_OK);
}

TEST_F(dao_workbook, AFailedCloseIsReportedAndStillEndsTheSession)
{
  std::filesystem::create_directory(dir.path() / "gone");
  ref<DAODatabase> database;
  ASSERT_EQ(open("gone/book.xls", database), S_OK);
  ASSERT_EQ(add_table(database.get(), L"t", people), S_OK);
  std::filesystem::remove_all(dir.path() / "gone");

  const HRESULT hr = database->Close();
  EXPECT_TRUE(FAILED(hr));
  const dao_failure error = last_error(engine.get());
  EXPECT_EQ(hr, dao_hr(error.number));
  EXPECT_FALSE(error.description.empty());
  EXPECT_EQ(database->Close(), dao_hr(3420));
}

TEST_F(dao_workbook, ObjectsCountReferencesAndOutliveWhatMadeThem)
{
  ref<DAODatabase> database;
  ASSERT_EQ(open("refs.xls", database), S_OK);
  ASSERT_EQ(add_table(database.get(), L"t", people), S_OK);
  ref<DAOTableDefs> tables;
  ASSERT_EQ(database->get_TableDefs(tables.put()), S_OK);
  EXPECT_EQ(tables->AddRef(), 2u);
  EXPECT_EQ(tables->Release(), 1u);

  ref<DAORecordset> rows;
  ASSERT_EQ(open_rows(database.get(), L"t", rows), S_OK);
  ref<IUnknown> same;
  ASSERT_EQ(rows->QueryInterface(DAORecordset::iid, reinterpret_cast<void**>(same.put())), S_OK);
  EXPECT_EQ(rows->AddRef(), 3u);
  EXPECT_EQ(rows->Release(), 2u);

  // The database object goes; the session stays for what was made from it.
  database.put();
  short count = 0;
  ASSERT_EQ(tables->get_Count(&count), S_OK);
  EXPECT_EQ(count, 1);
  ASSERT_EQ(rows->AddNew(), S_OK);
  ASSERT_EQ(rows->Update(1, VARIANT_FALSE), S_OK);
  // Released without Close: nothing is written.
  tables.put();
  rows.put();
  same.put();
  EXPECT_FALSE(std::filesystem::exists(dir.file("refs.xls")));
}

TEST_F(dao_workbook, IndexObjectsWorkThoughASheetHoldsNone)
{
  ref<DAODatabase> database;
  ASSERT_EQ(open("index.xls", database), S_OK);
  ref<DAOTableDef> table;
  ASSERT_EQ(database->CreateTableDef(text(L"t"), i4(0), text(L""), text(L""), table.put()), S_OK);
  ref<DAOIndex> index;
  ASSERT_EQ(table->CreateIndex(text(L"ix"), index.put()), S_OK);
  arg holder;
  ASSERT_EQ(index->get_Fields(&holder.v), S_OK);
  ASSERT_EQ(holder.v.vt, VT_DISPATCH);
  ref<DAOIndexFields> index_fields;
  ASSERT_EQ(holder.v.pdispVal->QueryInterface(DAOIndexFields::iid, reinterpret_cast<void**>(index_fields.put())),
            S_OK);
  ref<DAOField> field;
  ASSERT_EQ(index->CreateField(text(L"a"), i4(plat::dao::db_long), i4(0), field.put()), S_OK);
  ASSERT_EQ(index_fields->Append(field.get()), S_OK);
  short count = 0;
  ASSERT_EQ(index_fields->get_Count(&count), S_OK);
  EXPECT_EQ(count, 1);
  arg item;
  ASSERT_EQ(index_fields->get_Item(ui2(0), &item.v), S_OK);
  ASSERT_EQ(item.v.vt, VT_DISPATCH);
  ref<DAOField> member;
  ASSERT_EQ(item.v.pdispVal->QueryInterface(DAOField::iid, reinterpret_cast<void**>(member.put())), S_OK);
  BSTR name = nullptr;
  ASSERT_EQ(member->get_Name(&name), S_OK);
  EXPECT_EQ(take(name), L"a");
  VARIANT_BOOL foreign = 1;
  ASSERT_EQ(index->get_Foreign(&foreign), S_OK);
  EXPECT_EQ(foreign, VARIANT_FALSE);

  ref<DAORelations> relations;
  ASSERT_EQ(database->get_Relations(relations.put()), S_OK);
  ASSERT_EQ(relations->get_Count(&count), S_OK);
  EXPECT_EQ(count, 0);
  ref<DAORelation> relation;
  ASSERT_EQ(database->CreateRelation(text(L"r"), text(L"a"), text(L"b"), i4(0), relation.put()), S_OK);
  EXPECT_EQ(relations->Append(relation.get()), dao_hr(3251));
}

TEST_F(dao_workbook, AReadOnlyWorkbookTakesNoSheetAndNoRow)
{
  {
    ref<DAODatabase> database;
    ASSERT_EQ(open("ro.xls", database), S_OK);
    ASSERT_EQ(add_table(database.get(), L"t", people), S_OK);
    ASSERT_EQ(database->Close(), S_OK);
  }
  ref<DAODatabase> database;
  ASSERT_EQ(open("ro.xls", database, L"Excel 8.0;", true), S_OK);
  EXPECT_EQ(add_table(database.get(), L"u", people), dao_hr(3027));
  ref<DAORecordset> rows;
  ASSERT_EQ(open_rows(database.get(), L"t", rows), S_OK);
  EXPECT_EQ(rows->AddNew(), dao_hr(3027));
  EXPECT_EQ(database->Close(), S_OK);
}

} // namespace
