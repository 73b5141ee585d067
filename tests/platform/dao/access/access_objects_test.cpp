// The objects of an Access database read back after a reopen: every field type
// with its values, field properties, indexes and their flags, stored and
// temporary queries, relations in MSysRelationships, and recordset movement.
#include "access_test_support.h"

using namespace dao_test;
using namespace plat::dao;

namespace {

using rows_t = std::vector<std::vector<std::wstring>>;

struct typed_case {
  field_spec field;
  arg value;
  VARTYPE read_as;
  std::wstring read_back;
};

TEST_F(access_test, EveryFieldTypeKeepsItsValuesAndReadsBackTyped)
{
  const std::wstring snow = L"Sn\u00f6 \u65e5\u672c \U0001F600";
  const std::vector<typed_case> cases = {
      {{L"b", db_boolean}, boolean(true), VT_BOOL, L"-1"},
      {{L"u8", db_byte}, i4(255), VT_UI1, L"255"},
      {{L"i16", db_integer}, i2(-32768), VT_I2, L"-32768"},
      {{L"i32", db_long}, i4(-2147483647 - 1), VT_I4, L"-2147483648"},
      {{L"money", db_currency}, r8(1234567.8912), VT_CY, L"1234567.8912"},
      {{L"f", db_single}, r8(0.5), VT_R4, L"0.5"},
      {{L"d", db_double}, r8(-1.25e-300), VT_R8, L"-1.25E-300"},
      {{L"when", db_date}, date(36526.75), VT_DATE, L"2000-01-01 18:00:00"},
      {{L"bin", db_binary, 10}, bytes(std::string("a\0b\0", 4)), VT_ARRAY | VT_UI1, L"bytes:97,0,98,0,"},
      {{L"t", db_text, 20}, text(snow), VT_BSTR, snow},
      {{L"blob", db_long_binary}, bytes(std::string(3, '\0')), VT_ARRAY | VT_UI1, L"bytes:0,0,0,"},
      {{L"memo", db_memo}, text(std::wstring(70000, L'm')), VT_BSTR, std::wstring(70000, L'm')},
      {{L"g", db_guid}, text(L"{6B29FC40-CA47-1067-B31D-00DD010662DA}"), VT_BSTR,
       L"{6B29FC40-CA47-1067-B31D-00DD010662DA}"},
      {{L"big", db_big_int}, text(L"-9223372036854775807"), VT_I8, L"-9223372036854775807"},
      {{L"empty", db_text, 5}, text(L""), VT_BSTR, L""},
  };
  std::vector<field_spec> fields;
  for (const typed_case& c : cases)
    fields.push_back(c.field);
  {
    ref<DAODatabase> database;
    ASSERT_EQ(create("types.mdb", database), S_OK);
    ASSERT_EQ(add_table(database.get(), L"all", fields), S_OK);
    ref<DAORecordset> rows;
    ASSERT_EQ(open_rows(database.get(), L"all", rows), S_OK);
    std::vector<std::pair<std::wstring, arg>> values;
    for (const typed_case& c : cases)
      values.emplace_back(c.field.name, c.value);
    ASSERT_EQ(add_row(rows.get(), values), S_OK) << to_narrow(last_error(engine.get()).description);
    std::vector<std::pair<std::wstring, arg>> nulls;
    for (const typed_case& c : cases)
      nulls.emplace_back(c.field.name, owned::null());
    ASSERT_EQ(add_row(rows.get(), nulls), S_OK);
    ASSERT_EQ(database->Close(), S_OK);
  }
  ref<DAODatabase> database;
  ASSERT_EQ(open("types.mdb", database), S_OK);
  ref<DAORecordset> rows;
  ASSERT_EQ(open_rows(database.get(), L"all", rows, db_read_only), S_OK);
  LONG count = 0;
  ASSERT_EQ(rows->get_RecordCount(&count), S_OK);
  ASSERT_EQ(count, 2);
  ref<DAOFields> read_fields;
  ASSERT_EQ(rows->get_Fields(read_fields.put()), S_OK);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const typed_case& c = cases[i];
    ref<DAOField> field;
    ASSERT_EQ(read_fields->get_Item(ui2(static_cast<unsigned short>(i)), field.put()), S_OK);
    short type = 0;
    field->get_Type(&type);
    EXPECT_EQ(type, c.field.type) << to_narrow(c.field.name);
    arg value;
    ASSERT_EQ(field->get_Value(&value.v), S_OK);
    EXPECT_EQ(value.v.vt, c.read_as) << to_narrow(c.field.name);
    if (c.read_as == VT_DATE)
      EXPECT_DOUBLE_EQ(value.v.date, 36526.75);
    else
      EXPECT_EQ(text_of(value.v), c.read_back) << to_narrow(c.field.name);
  }
  ASSERT_EQ(rows->MoveNext(), S_OK);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    arg value;
    ASSERT_EQ(rows->get_Collect(text(cases[i].field.name), &value.v), S_OK);
    EXPECT_EQ(value.v.vt, VT_NULL) << to_narrow(cases[i].field.name);
  }
}

TEST_F(access_test, FieldDefinitionsAndPropertiesReadBackAndAreEnforced)
{
  {
    ref<DAODatabase> database;
    ASSERT_EQ(create("f.mdb", database), S_OK);
    ASSERT_EQ(add_table(database.get(), L"t",
                        {{L"id", db_long, 0, false, db_auto_incr_field},
                         {L"name", db_text, 10, true, 0, L"", false},
                         {L"greeting", db_text, 20, false, 0, L"\"it's\""},
                         {L"n", db_long, 0, false, 0, L"5"},
                         {L"stamp", db_date, 0, false, 0, L"=Now()"}}),
              S_OK);
    ref<DAORecordset> rows;
    ASSERT_EQ(open_rows(database.get(), L"t", rows), S_OK);
    const struct {
      const char* what;
      std::vector<std::pair<std::wstring, arg>> row;
      HRESULT expected;
    } cases[] = {
        {"defaults and a counter", {{L"name", text(L"a")}}, S_OK},
        {"an explicit counter value", {{L"id", i4(10)}, {L"name", text(L"b")}}, S_OK},
        {"the counter goes on after it", {{L"name", text(L"c")}, {L"n", owned::null()}}, S_OK},
        {"required field left out", {{L"n", i4(1)}}, dao_hr(3314)},
        {"required field given Null", {{L"name", owned::null()}}, dao_hr(3314)},
        {"zero-length text refused", {{L"name", text(L"")}}, dao_hr(3315)},
        {"text longer than its size", {{L"name", text(L"elevenchars")}}, dao_hr(3163)},
        {"value of another type", {{L"name", text(L"d")}, {L"n", text(L"five")}}, dao_hr(3421)},
    };
    for (const auto& c : cases)
      EXPECT_EQ(add_row(rows.get(), c.row), c.expected) << c.what;
    EXPECT_EQ(last_error(engine.get()).number, 3421);
    ASSERT_EQ(database->Close(), S_OK);
  }
  run_on_file("f.mdb", "UPDATE __dao_fields SET description = 'The name', format = 'Short Date' "
                       "WHERE tbl = 't' AND name = 'name'");
  ref<DAODatabase> database;
  ASSERT_EQ(open("f.mdb", database), S_OK);
  EXPECT_EQ(read_all(database.get(), L"SELECT id, name, greeting, n, stamp IS NULL FROM t ORDER BY id"),
            (rows_t{{L"1", L"a", L"it's", L"5", L"1"}, {L"10", L"b", L"it's", L"5", L"1"},
                    {L"11", L"c", L"it's", L"<null>", L"1"}}));

  ref<DAOTableDefs> tables;
  ref<DAOTableDef> table;
  ref<DAOFields> fields;
  ASSERT_EQ(database->get_TableDefs(tables.put()), S_OK);
  ASSERT_EQ(tables->get_Item(text(L"T"), table.put()), S_OK);
  ASSERT_EQ(table->get_Fields(fields.put()), S_OK);
  const struct {
    std::wstring name;
    short type;
    LONG size;
    VARIANT_BOOL required;
    LONG auto_increment;
    std::wstring default_value, description, format;
  } expected[] = {
      {L"id", db_long, 4, VARIANT_FALSE, db_auto_incr_field, L"", L"", L""},
      {L"name", db_text, 10, VARIANT_TRUE, 0, L"", L"The name", L"Short Date"},
      {L"greeting", db_text, 20, VARIANT_FALSE, 0, L"\"it's\"", L"", L""},
      {L"n", db_long, 4, VARIANT_FALSE, 0, L"5", L"", L""},
      {L"stamp", db_date, 8, VARIANT_FALSE, 0, L"=Now()", L"", L""},
  };
  short count = 0;
  ASSERT_EQ(fields->get_Count(&count), S_OK);
  ASSERT_EQ(count, 5);
  for (short i = 0; i < count; ++i) {
    const auto& e = expected[i];
    ref<DAOField> field;
    ASSERT_EQ(fields->get_Item(i2(i), field.put()), S_OK);
    BSTR name = nullptr;
    short type = 0;
    LONG size = 0, attributes = 0;
    VARIANT_BOOL required = 0;
    arg default_value;
    field->get_Name(&name);
    field->get_Type(&type);
    field->get_Size(&size);
    field->get_Required(&required);
    field->get_Attributes(&attributes);
    field->get_DefaultValue(&default_value.v);
    EXPECT_EQ(take(name), e.name);
    EXPECT_EQ(type, e.type) << i;
    EXPECT_EQ(size, e.size) << i;
    EXPECT_EQ(required, e.required) << i;
    EXPECT_EQ(attributes & db_auto_incr_field, e.auto_increment) << i;
    EXPECT_EQ(text_of(default_value.v), e.default_value) << i;

    ref<DAOProperties> properties;
    ASSERT_EQ(field->get_Properties(properties.put()), S_OK);
    for (const auto& [property_name, value] : {std::pair{L"Description", e.description}, {L"Format", e.format}}) {
      ref<DAOProperty> property;
      const HRESULT hr = properties->get_Item(text(property_name), property.put());
      if (value.empty()) {
        EXPECT_EQ(hr, dao_hr(3270)) << i;
        EXPECT_EQ(last_error(engine.get()).number, 3270);
        continue;
      }
      ASSERT_EQ(hr, S_OK);
      arg read;
      ASSERT_EQ(property->get_Value(&read.v), S_OK);
      EXPECT_EQ(text_of(read.v), value);
    }
  }
}

TEST_F(access_test, IndexesKeepTheirFlagsAndUniqueOnesRefuseDuplicates)
{
  {
    ref<DAODatabase> database;
    ASSERT_EQ(create("ix.mdb", database), S_OK);
    ASSERT_EQ(add_table(database.get(), L"t", {{L"a", db_long}, {L"b", db_text, 10}, {L"c", db_long}},
                        {{L"pk", {L"a"}, true, true}, {L"ub", {L"b", L"c"}, false, true}, {L"plain", {L"c"}}}),
              S_OK);
    ref<DAORecordset> rows;
    ASSERT_EQ(open_rows(database.get(), L"t", rows), S_OK);
    EXPECT_EQ(add_row(rows.get(), {{L"a", i4(1)}, {L"b", text(L"x")}, {L"c", i4(1)}}), S_OK);
    EXPECT_EQ(add_row(rows.get(), {{L"a", i4(1)}, {L"b", text(L"y")}, {L"c", i4(1)}}), dao_hr(3022));
    EXPECT_EQ(last_error(engine.get()).number, 3022);
    // Text compares without case, as in Jet.
    EXPECT_EQ(add_row(rows.get(), {{L"a", i4(2)}, {L"b", text(L"X")}, {L"c", i4(1)}}), dao_hr(3022));
    EXPECT_EQ(rows->Update(db_update_regular, VARIANT_FALSE), dao_hr(3022));  // still pending
    ASSERT_EQ(rows->put_Collect(text(L"c"), i4(2)), S_OK);
    EXPECT_EQ(rows->Update(db_update_regular, VARIANT_FALSE), S_OK);

    // An index added to a stored table is made at once; one over duplicates is refused.
    ref<DAOTableDefs> tables;
    ref<DAOTableDef> table;
    ref<DAOIndexes> indexes;
    ASSERT_EQ(database->get_TableDefs(tables.put()), S_OK);
    ASSERT_EQ(tables->get_Item(text(L"t"), table.put()), S_OK);
    ASSERT_EQ(table->get_Indexes(indexes.put()), S_OK);
    EXPECT_EQ(add_index(table.get(), indexes.get(), {L"ub2", {L"b"}, false, true}), dao_hr(3022));
    EXPECT_EQ(add_index(table.get(), indexes.get(), {L"PLAIN", {L"b"}}), dao_hr(3284));
    EXPECT_EQ(add_index(table.get(), indexes.get(), {L"pk2", {L"b"}, true, true}), dao_hr(3283));
    EXPECT_EQ(add_index(table.get(), indexes.get(), {L"late", {L"b"}, false, false}), S_OK);
    ASSERT_EQ(database->Close(), S_OK);
  }
  ref<DAODatabase> database;
  ASSERT_EQ(open("ix.mdb", database), S_OK);
  ref<DAOTableDefs> tables;
  ref<DAOTableDef> table;
  ref<DAOIndexes> indexes;
  ASSERT_EQ(database->get_TableDefs(tables.put()), S_OK);
  ASSERT_EQ(tables->get_Item(text(L"t"), table.put()), S_OK);
  ASSERT_EQ(table->get_Indexes(indexes.put()), S_OK);
  const struct {
    std::wstring name;
    VARIANT_BOOL primary, unique;
    std::vector<std::wstring> fields;
  } expected[] = {{L"pk", VARIANT_TRUE, VARIANT_TRUE, {L"a"}},
                  {L"ub", VARIANT_FALSE, VARIANT_TRUE, {L"b", L"c"}},
                  {L"plain", VARIANT_FALSE, VARIANT_FALSE, {L"c"}},
                  {L"late", VARIANT_FALSE, VARIANT_FALSE, {L"b"}}};
  short count = 0;
  ASSERT_EQ(indexes->get_Count(&count), S_OK);
  ASSERT_EQ(count, 4);
  for (short i = 0; i < count; ++i) {
    ref<DAOIndex> index;
    ASSERT_EQ(indexes->get_Item(ui2(static_cast<unsigned short>(i)), index.put()), S_OK);
    BSTR name = nullptr;
    VARIANT_BOOL primary = 0, unique = 0, foreign = -1;
    index->get_Name(&name);
    index->get_Primary(&primary);
    index->get_Unique(&unique);
    index->get_Foreign(&foreign);
    EXPECT_EQ(take(name), expected[i].name);
    EXPECT_EQ(primary, expected[i].primary) << i;
    EXPECT_EQ(unique, expected[i].unique) << i;
    EXPECT_EQ(foreign, VARIANT_FALSE) << i;
    EXPECT_EQ(index->put_Unique(VARIANT_FALSE), dao_hr(3251));  // a stored index no longer changes
    arg holder;
    ASSERT_EQ(index->get_Fields(&holder.v), S_OK);
    ref<DAOIndexFields> fields;
    ASSERT_EQ(holder.v.pdispVal->QueryInterface(DAOIndexFields::iid, reinterpret_cast<void**>(fields.put())), S_OK);
    short field_count = 0;
    fields->get_Count(&field_count);
    std::vector<std::wstring> names;
    for (short j = 0; j < field_count; ++j) {
      arg item;
      ASSERT_EQ(fields->get_Item(i4(j), &item.v), S_OK);
      ref<DAOField> field;
      ASSERT_EQ(item.v.pdispVal->QueryInterface(DAOField::iid, reinterpret_cast<void**>(field.put())), S_OK);
      BSTR field_name = nullptr;
      field->get_Name(&field_name);
      names.push_back(take(field_name));
    }
    EXPECT_EQ(names, expected[i].fields);
  }
  EXPECT_EQ(read_all(database.get(), L"SELECT a, b, c FROM [t] ORDER BY a"),
            (rows_t{{L"1", L"x", L"1"}, {L"2", L"X", L"2"}}));
}

// An Indexes collection handed out before its table was stored still creates
// what is appended to it in the file, so the unique index refuses a duplicate.
TEST_F(access_test, IndexesTakenBeforeTheTableWasStoredCreateTheirIndexInTheFile)
{
  ref<DAODatabase> database;
  ASSERT_EQ(create("late_ix.mdb", database), S_OK);
  ref<DAOTableDef> table;
  ASSERT_EQ(database->CreateTableDef(text(L"t"), i4(0), text(L""), text(L""), table.put()), S_OK);
  ref<DAOFields> fields;
  ASSERT_EQ(table->get_Fields(fields.put()), S_OK);
  ref<DAOField> field;
  ASSERT_EQ(table->CreateField(text(L"a"), i4(db_long), i4(0), field.put()), S_OK);
  ASSERT_EQ(fields->Append(field.get()), S_OK);
  ref<DAOIndexes> indexes;
  ASSERT_EQ(table->get_Indexes(indexes.put()), S_OK);
  ref<DAOTableDefs> tables;
  ASSERT_EQ(database->get_TableDefs(tables.put()), S_OK);
  ASSERT_EQ(tables->Append(table.get()), S_OK);
  EXPECT_EQ(add_index(table.get(), indexes.get(), {L"ua", {L"a"}, false, true}), S_OK);
  ref<DAORecordset> rows;
  ASSERT_EQ(open_rows(database.get(), L"t", rows), S_OK);
  EXPECT_EQ(add_row(rows.get(), {{L"a", i4(1)}}), S_OK);
  EXPECT_EQ(add_row(rows.get(), {{L"a", i4(1)}}), dao_hr(3022));
}

TEST_F(access_test, StoredQueriesAreListedAndRunAndTemporaryOnesAreNot)
{
  {
    ref<DAODatabase> database;
    ASSERT_EQ(create("q.mdb", database), S_OK);
    ASSERT_EQ(add_table(database.get(), L"people", {{L"name", db_text, 20}, {L"age", db_long}}), S_OK);
    ref<DAORecordset> rows;
    ASSERT_EQ(open_rows(database.get(), L"people", rows), S_OK);
    for (const auto& [name, age] : {std::pair{L"Ann", 31}, {L"Bob", 17}, {L"Cy", 45}})
      ASSERT_EQ(add_row(rows.get(), {{L"name", text(name)}, {L"age", i4(age)}}), S_OK);
    ref<DAOQueryDef> query;
    ASSERT_EQ(database->CreateQueryDef(text(L"adults"), text(L"SELECT [name] FROM [people] WHERE age >= 18"),
                                       query.put()),
              S_OK);
    ASSERT_EQ(database->CreateQueryDef(text(L"ADULTS"), text(L"SELECT 1"), query.put()), dao_hr(3012));
    ASSERT_EQ(database->CreateQueryDef(text(L""), text(L"SELECT 2"), query.put()), S_OK);
    ASSERT_EQ(database->Close(), S_OK);
  }
  ref<DAODatabase> database;
  ASSERT_EQ(open("q.mdb", database), S_OK);
  ref<DAOQueryDefs> queries;
  ASSERT_EQ(database->get_QueryDefs(queries.put()), S_OK);
  short count = 0;
  ASSERT_EQ(queries->get_Count(&count), S_OK);
  ASSERT_EQ(count, 1);
  ref<DAOQueryDef> query;
  ASSERT_EQ(queries->get_Item(ui2(0), query.put()), S_OK);
  BSTR name = nullptr, sql = nullptr;
  query->get_Name(&name);
  query->get_SQL(&sql);
  EXPECT_EQ(take(name), L"adults");
  const std::wstring stored = take(sql);
  EXPECT_EQ(stored, L"SELECT [name] FROM [people] WHERE age >= 18");
  EXPECT_EQ(read_all(database.get(), stored), (rows_t{{L"Ann"}, {L"Cy"}}));

  // The count the DAO layer takes of a query: a subquery without an alias.
  ref<DAORecordset> counted;
  ASSERT_EQ(query_rows(database.get(), L"select count(*) from (" + stored + L")", counted, db_read_only), S_OK);
  ASSERT_EQ(counted->MoveFirst(), S_OK);
  ref<DAOFields> fields;
  ref<DAOField> first;
  ASSERT_EQ(counted->get_Fields(fields.put()), S_OK);
  ASSERT_EQ(fields->get_Item(i4(0), first.put()), S_OK);
  arg value;
  ASSERT_EQ(first->get_Value(&value.v), S_OK);
  ASSERT_EQ(VariantChangeType(&value.v, &value.v, 0, VT_UI4), S_OK);
  EXPECT_EQ(value.v.ulVal, 2u);

  // Append-only: no row is read, yet rows are added; a query with a computed column takes none.
  ref<DAORecordset> appending;
  ASSERT_EQ(query_rows(database.get(), L"SELECT * FROM [people]", appending, db_append_only), S_OK);
  VARIANT_BOOL bof = 0, eof = 0;
  appending->get_BOF(&bof);
  appending->get_EOF(&eof);
  EXPECT_EQ(bof, VARIANT_TRUE);
  EXPECT_EQ(eof, VARIANT_TRUE);
  EXPECT_EQ(appending->MoveFirst(), dao_hr(3021));
  EXPECT_EQ(add_row(appending.get(), {{L"name", text(L"Dee")}}), S_OK);
  LONG added = 0;
  appending->get_RecordCount(&added);
  EXPECT_EQ(added, 1);
  ref<DAORecordset> joined;
  ASSERT_EQ(query_rows(database.get(), L"SELECT name, age + 1 FROM people", joined, 0), S_OK);
  EXPECT_EQ(joined->AddNew(), dao_hr(3027));

  // Whatever cannot be read as rows is refused, and changes nothing.
  const struct {
    const char* what;
    std::wstring sql;
    LONG number;
  } refused[] = {
      {"action query", L"DELETE FROM people", 3219},
      {"syntax error", L"SELEKT * FROM people", 3129},
      {"missing table", L"SELECT * FROM [nobody]", 3078},
  };
  for (const auto& r : refused) {
    ref<DAORecordset> rows;
    EXPECT_EQ(query_rows(database.get(), r.sql, rows, 1), dao_hr(r.number)) << r.what;
    EXPECT_EQ(last_error(engine.get()).number, r.number) << r.what;
  }
  EXPECT_EQ(read_all(database.get(), L"SELECT count(*) FROM people"), (rows_t{{L"4"}}));
}

TEST_F(access_test, MovingThroughRowsStopsAtBothEnds)
{
  ref<DAODatabase> database;
  ASSERT_EQ(create("m.mdb", database), S_OK);
  ASSERT_EQ(add_table(database.get(), L"t", {{L"n", db_long}}), S_OK);
  ref<DAORecordset> rows;
  ASSERT_EQ(open_rows(database.get(), L"t", rows), S_OK);
  for (LONG n : {1, 2, 3})
    ASSERT_EQ(add_row(rows.get(), {{L"n", i4(n)}}), S_OK);
  ASSERT_EQ(query_rows(database.get(), L"SELECT n FROM t ORDER BY n", rows, db_read_only), S_OK);
  const auto at = [&] {
    arg value;
    return SUCCEEDED(rows->get_Collect(i2(0), &value.v)) ? text_of(value.v) : L"none";
  };
  const auto ends = [&] {
    VARIANT_BOOL bof = 0, eof = 0;
    rows->get_BOF(&bof);
    rows->get_EOF(&eof);
    return std::pair{bof == VARIANT_TRUE, eof == VARIANT_TRUE};
  };
  EXPECT_EQ(at(), L"1");
  EXPECT_EQ(ends(), std::pair(false, false));
  // The rows stream: the count is known before they are read, and going back
  // finds the row before.
  LONG before = 0;
  rows->get_RecordCount(&before);
  EXPECT_EQ(before, 3);
  EXPECT_EQ(rows->MoveNext(), S_OK);
  EXPECT_EQ(rows->MoveNext(), S_OK);
  EXPECT_EQ(rows->MovePrevious(), S_OK);
  EXPECT_EQ(at(), L"2");
  EXPECT_EQ(rows->MoveNext(), S_OK);
  EXPECT_EQ(at(), L"3");
  EXPECT_EQ(rows->MoveLast(), S_OK);
  EXPECT_EQ(at(), L"3");
  EXPECT_EQ(rows->MoveNext(), S_OK);
  EXPECT_EQ(ends(), std::pair(false, true));
  EXPECT_EQ(at(), L"none");
  EXPECT_EQ(rows->MoveNext(), dao_hr(3021));
  EXPECT_EQ(rows->MovePrevious(), S_OK);
  EXPECT_EQ(at(), L"3");
  EXPECT_EQ(rows->MoveFirst(), S_OK);
  EXPECT_EQ(rows->MovePrevious(), S_OK);
  EXPECT_EQ(ends(), std::pair(true, false));
  EXPECT_EQ(rows->MovePrevious(), dao_hr(3021));
  EXPECT_EQ(rows->MoveNext(), S_OK);
  EXPECT_EQ(at(), L"1");
  LONG count = 0;
  rows->get_RecordCount(&count);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(rows->AddNew(), dao_hr(3027));
}

TEST_F(access_test, ValuesTheirTypesCannotHoldAreKeptAsTheirText)
{
  ref<DAODatabase> database;
  ASSERT_EQ(create("v.mdb", database), S_OK);
  ASSERT_EQ(add_table(database.get(), L"t", {{L"id", db_long}, {L"d", db_date}, {L"x", db_double}, {L"n", db_long}}),
            S_OK);
  ref<DAORecordset> rows;
  ASSERT_EQ(open_rows(database.get(), L"t", rows), S_OK);
  const struct {
    LONG id;
    std::wstring d, x, n;
    HRESULT expected;
  } cases[] = {
      {1, L"838:59:59", L"12345678901234567890.0123456789", L"", S_OK},
      {2, L"2024-00-15", L"18446744073709551615", L"", S_OK},
      {3, L"0000-00-00 00:00:00", L"0.5", L"7", S_OK},
      // No value of the field's kind: refused, as Jet refuses it.
      {4, L"", L"", L"five", dao_hr(3421)},
      {5, L"no date", L"", L"", dao_hr(3421)},
  };
  for (const auto& c : cases) {
    std::vector<std::pair<std::wstring, arg>> row = {{L"id", i4(c.id)}};
    for (const auto& [name, value] : {std::pair{L"d", &c.d}, std::pair{L"x", &c.x}, std::pair{L"n", &c.n}})
      if (!value->empty())
        row.emplace_back(name, text(*value));
    EXPECT_EQ(add_row(rows.get(), row), c.expected) << c.id;
  }
  ASSERT_EQ(database->Close(), S_OK);
  ASSERT_EQ(open("v.mdb", database), S_OK);
  // Read back as the texts they were; what the types hold, as numbers.
  EXPECT_EQ(read_all(database.get(), L"SELECT id, d, x, n FROM t WHERE id <> 3 ORDER BY id"),
            (rows_t{{L"1", L"838:59:59", L"12345678901234567890.0123456789", L"<null>"},
                    {L"2", L"2024-00-15", L"18446744073709551615", L"<null>"}}));
  EXPECT_EQ(read_all(database.get(), L"SELECT typeof(d), typeof(x), typeof(n), x, n FROM t WHERE id = 3"),
            (rows_t{{L"text", L"real", L"integer", L"0.5", L"7"}}));
}

TEST_F(access_test, NamesJetRefusesAreRefusedBeforeAnythingIsMade)
{
  ref<DAODatabase> database;
  ASSERT_EQ(create("n.mdb", database), S_OK);
  for (const wchar_t* name : {L"a]b", L"a[b", L"a.b", L"a!b", L"a`b"})
    EXPECT_EQ(add_table(database.get(), name, {{L"x", db_long}}), dao_hr(3125)) << plat::to_utf8(name);
  EXPECT_EQ(add_table(database.get(), L"t", {{L"x]y", db_long}}), dao_hr(3125));
  EXPECT_EQ(add_table(database.get(), L"t", {{L"x", db_long}}, {{L"i.x", {L"x"}}}), dao_hr(3125));
  // Nothing of them was made: the same names are free, and a good table follows.
  EXPECT_EQ(read_all(database.get(), L"SELECT count(*) FROM sqlite_master WHERE name NOT LIKE '\\_\\_dao%' "
                                     L"ESCAPE '\\' AND name NOT LIKE 'MSys%' AND name NOT LIKE 'sqlite%'"),
            (rows_t{{L"0"}}));
  EXPECT_EQ(add_table(database.get(), L"t", {{L"x", db_long}}), S_OK);
  ref<DAOTableDefs> tables;
  ASSERT_EQ(database->get_TableDefs(tables.put()), S_OK);
  short count = 0;
  tables->get_Count(&count);
  EXPECT_EQ(count, 2);  // MSysRelationships and t
}

class access_relations : public access_test {
protected:
  void SetUp() override
  {
    access_test::SetUp();
    ASSERT_EQ(create("r.mdb", database), S_OK);
    ASSERT_EQ(add_table(database.get(), L"parent", {{L"id", db_long}, {L"code", db_text, 5}, {L"other", db_long}},
                        {{L"PrimaryKey", {L"id"}, true, true}}),
              S_OK);
    ASSERT_EQ(add_table(database.get(), L"child",
                        {{L"parent_id", db_long}, {L"parent_code", db_text, 5}, {L"parent_other", db_long}}),
              S_OK);
  }

  HRESULT relate(const std::wstring& name, LONG attributes,
                 const std::vector<std::pair<std::wstring, std::wstring>>& pairs)
  {
    ref<DAORelation> relation;
    EXPECT_EQ(database->CreateRelation(text(name), text(L"parent"), text(L"child"), i4(attributes), relation.put()),
              S_OK);
    ref<DAOFields> fields;
    EXPECT_EQ(relation->get_Fields(fields.put()), S_OK);
    for (const auto& [referenced, foreign] : pairs) {
      ref<DAOField> field;
      EXPECT_EQ(relation->CreateField(text(referenced), i4(db_long), i4(0), field.put()), S_OK);
      EXPECT_EQ(field->put_ForeignName(bstr(foreign)), S_OK);
      EXPECT_EQ(fields->Append(field.get()), S_OK);
    }
    ref<DAORelations> relations;
    EXPECT_EQ(database->get_Relations(relations.put()), S_OK);
    return relations->Append(relation.get());
  }

  ref<DAODatabase> database;
};

TEST_F(access_relations, RelationsAreWrittenToMSysRelationshipsWithAForeignIndex)
{
  // Refused until the referenced fields have a unique index of exactly them.
  EXPECT_EQ(relate(L"byCode", 0, {{L"code", L"parent_code"}, {L"other", L"parent_other"}}), dao_hr(3372));
  EXPECT_EQ(last_error(engine.get()).number, 3372);
  ref<DAOTableDefs> tables;
  ref<DAOTableDef> parent;
  ref<DAOIndexes> indexes;
  ASSERT_EQ(database->get_TableDefs(tables.put()), S_OK);
  ASSERT_EQ(tables->get_Item(text(L"parent"), parent.put()), S_OK);
  ASSERT_EQ(parent->get_Indexes(indexes.put()), S_OK);
  ASSERT_EQ(add_index(parent.get(), indexes.get(), {L"ui_parent", {L"code", L"other"}, false, true}), S_OK);

  EXPECT_EQ(relate(L"byCode", 0x1100, {{L"code", L"parent_code"}, {L"other", L"parent_other"}}), S_OK);
  EXPECT_EQ(relate(L"byId", 0x2, {{L"id", L"parent_id"}}), S_OK);
  EXPECT_EQ(relate(L"BYID", 0, {{L"id", L"parent_id"}}), dao_hr(3012));
  EXPECT_EQ(relate(L"types", 0, {{L"id", L"parent_code"}}), dao_hr(3368));
  EXPECT_EQ(relate(L"nothing", 0, {}), dao_hr(3366));
  EXPECT_EQ(tables->Delete(bstr(L"child")), dao_hr(3303));
  ASSERT_EQ(database->Close(), S_OK);

  ref<DAODatabase> again;
  ASSERT_EQ(open("r.mdb", again), S_OK);
  EXPECT_EQ(read_all(again.get(), L"SELECT szRelationship, szColumn, szObject, szReferencedObject, "
                                  L"szReferencedColumn, grbit FROM MSysRelationships ORDER BY szRelationship"),
            (rows_t{{L"byCode", L"parent_code", L"child", L"parent", L"code", L"4352"},
                    {L"byCode", L"parent_other", L"child", L"parent", L"other", L"4352"},
                    {L"byId", L"parent_id", L"child", L"parent", L"id", L"2"}}));

  ref<DAORelations> relations;
  ASSERT_EQ(again->get_Relations(relations.put()), S_OK);
  short count = 0;
  ASSERT_EQ(relations->get_Count(&count), S_OK);
  ASSERT_EQ(count, 2);
  ref<DAORelation> relation;
  ASSERT_EQ(relations->get_Item(text(L"bycode"), relation.put()), S_OK);
  BSTR table = nullptr, foreign_table = nullptr;
  LONG attributes = 0;
  relation->get_Table(&table);
  relation->get_ForeignTable(&foreign_table);
  relation->get_Attributes(&attributes);
  EXPECT_EQ(take(table), L"parent");
  EXPECT_EQ(take(foreign_table), L"child");
  EXPECT_EQ(attributes, 0x1100);
  ref<DAOFields> fields;
  ref<DAOField> second;
  ASSERT_EQ(relation->get_Fields(fields.put()), S_OK);
  ASSERT_EQ(fields->get_Item(i4(1), second.put()), S_OK);
  BSTR name = nullptr, foreign_name = nullptr;
  second->get_Name(&name);
  second->get_ForeignName(&foreign_name);
  EXPECT_EQ(take(name), L"other");
  EXPECT_EQ(take(foreign_name), L"parent_other");

  // The many side got one Foreign index per relation, named after it.
  ref<DAOTableDefs> again_tables;
  ref<DAOTableDef> child;
  ref<DAOIndexes> child_indexes;
  ASSERT_EQ(again->get_TableDefs(again_tables.put()), S_OK);
  ASSERT_EQ(again_tables->get_Item(text(L"child"), child.put()), S_OK);
  ASSERT_EQ(child->get_Indexes(child_indexes.put()), S_OK);
  ASSERT_EQ(child_indexes->get_Count(&count), S_OK);
  ASSERT_EQ(count, 2);
  for (short i = 0; i < count; ++i) {
    ref<DAOIndex> index;
    ASSERT_EQ(child_indexes->get_Item(i2(i), index.put()), S_OK);
    BSTR index_name = nullptr;
    VARIANT_BOOL foreign = 0, unique = -1;
    index->get_Name(&index_name);
    index->get_Foreign(&foreign);
    index->get_Unique(&unique);
    EXPECT_EQ(take(index_name), i == 0 ? L"byCode" : L"byId");
    EXPECT_EQ(foreign, VARIANT_TRUE);
    EXPECT_EQ(unique, VARIANT_FALSE);
  }
}

TEST_F(access_relations, MSysRelationshipsIsListedAsASystemTableAndTheCatalogueIsNot)
{
  ref<DAOTableDefs> tables;
  ASSERT_EQ(database->get_TableDefs(tables.put()), S_OK);
  short count = 0;
  ASSERT_EQ(tables->get_Count(&count), S_OK);
  std::vector<std::pair<std::wstring, LONG>> listed;
  for (unsigned short i = 0; i < static_cast<unsigned short>(count); ++i) {
    ref<DAOTableDef> table;
    ASSERT_EQ(tables->get_Item(ui2(i), table.put()), S_OK);
    BSTR name = nullptr;
    LONG attributes = 0;
    table->get_Name(&name);
    table->get_Attributes(&attributes);
    listed.emplace_back(take(name), attributes);
  }
  EXPECT_EQ(listed, (std::vector<std::pair<std::wstring, LONG>>{
                        {L"MSysRelationships", db_system_object}, {L"parent", 0}, {L"child", 0}}));
  EXPECT_EQ(tables->Delete(bstr(L"MSysRelationships")), dao_hr(3251));
  EXPECT_EQ(tables->Delete(bstr(L"child")), S_OK);
  EXPECT_EQ(tables->Delete(bstr(L"child")), dao_hr(3265));
  ASSERT_EQ(tables->get_Count(&count), S_OK);
  EXPECT_EQ(count, 2);
}

} // namespace
