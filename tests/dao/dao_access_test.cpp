// Access databases through the DAO layer: created and reopened (with a
// password too), tables of every field type, their indexes and relations
// written and read back, stored queries as views, and queries over the data.
#include "dao_layer_support.h"

#include "../UDB/udb_log_capture.h"

#include "TK/tk_error_reporter.h"
#include "UDB/udb_recs.h"
#include "UDB/udb_relship.h"
#include "dao/dao_bstr.h"
#include "platform/dao/dao_model.h"

#include <map>
#include <memory>

using namespace dao_layer_test;

namespace {

// Takes the item failures the layer reports while it lives.
class recording_reporter : public tk_error_reporter {
public:
  void set_context(const std::wstring& name) override { context_ = name; }
  void handle(const tk_exception& e, bool) override
  {
    reports.push_back(context_ + L": " + wide(e.get_message()));
  }
  std::vector<std::wstring> reports;

private:
  std::wstring context_;
};

udb_index index_of(const std::wstring& name, std::vector<std::wstring> fields, bool unique = false,
                   bool primary = false)
{
  return udb_index(name, unique, primary, fields);
}

std::vector<std::wstring> names_of(const udb_schema& schema)
{
  std::vector<std::wstring> names;
  for (const auto& column : schema)
    names.push_back(column->name);
  return names;
}

class DaoAccess : public engine_fixture {
protected:
  std::wstring path(const char* file) { return wide(dir.file(file)); }

  // A new database holding the tables, closed so that its file is complete.
  void create(const std::wstring& file, const std::vector<std::pair<std::wstring, udb_schema>>& tables,
              const std::vector<udb_indexes>& indexes = {}, const udb_relationships& relations = {})
  {
    auto base = engine.create_db(file);
    for (std::size_t i = 0; i < tables.size(); ++i)
      base->create_table(tables[i].first, tables[i].second, i < indexes.size() ? indexes[i] : udb_indexes())
          .reset();
    base->create_relationships(relations);
    dynamic_cast<dao_database&>(*base).close();
  }

  // The DAO database of a file for calls the DAO layer does not make.
  DAODatabase& dao_of(udb_database& base) { return *dynamic_cast<dao_database&>(base).get_dao_database(); }

  void store_query(udb_database& base, const std::wstring& name, const std::wstring& sql)
  {
    const dao_bstr query_name(name), text(sql);
    VARIANT n, s;
    n.vt = s.vt = VT_BSTR;
    n.bstrVal = query_name;
    s.bstrVal = text;
    ole_com_ptr<DAOQueryDef> query;
    ASSERT_EQ(dao_of(base).CreateQueryDef(n, s, query.put()), S_OK);
  }
};

const udb_schema people = schema_of({{L"id", VT_I4, 0, true}, {L"name", VT_BSTR, 40}, {L"city", VT_BSTR, 40}});

} // namespace

TEST_F(DaoAccess, DatabasesReopenWithTheirPasswordOnly)
{
  const std::wstring open_file = path("open.mdb");
  create(open_file, {{L"t", people}});
  auto reopened = engine.open_db(open_file, 0, L"");
  EXPECT_EQ(reopened->get_table_names(), std::vector<std::wstring>{L"t"});
  reopened.reset();

  // The engine's own creation takes no password; DAO's takes one in the locale.
  const std::wstring locked = path("locked.mdb");
  {
    const dao_bstr name(locked), locale(std::wstring(L";LANGID=0x0409;CP=1252;COUNTRY=0;pwd=s3cret"));
    VARIANT option;
    option.vt = VT_I4;
    option.lVal = 0;
    ole_com_ptr<DAODatabase> database;
    ASSERT_EQ(engine.get_dbengine()->CreateDatabase(name, locale, option, database.put()), S_OK);
    ASSERT_EQ(database->Close(), S_OK);
  }
  for (const std::wstring& wrong : {std::wstring(), std::wstring(L"S3CRET"), std::wstring(L"other")}) {
    try {
      engine.open_db(locked, 0, wrong);
      ADD_FAILURE() << "opened with '" << plat::to_utf8(wrong) << "'";
    } catch (const dao_exception& e) {
      EXPECT_EQ(e.get_code(), 0x10000u + 3031);
    }
  }
  auto base = engine.open_db(locked, 0, L"s3cret");
  base->create_table(L"kept", people, udb_indexes()).reset();
  base.reset();
  EXPECT_EQ(engine.open_db(locked, 1, L"s3cret")->get_table_names(), std::vector<std::wstring>{L"kept"});
}

TEST_F(DaoAccess, EveryColumnTypeGetsItsFieldAndItsValuesBack)
{
  const struct {
    const wchar_t* name;
    VARTYPE vartype;
    std::uint32_t size;
    std::uint32_t dw_reserved;
    const wchar_t* value;
    VARTYPE read_type;
    const wchar_t* read_value;
  } cases[] = {
      {L"i2", VT_I2, 0, 0, L"-3", VT_I2, L"-3"},
      {L"i1", VT_I1, 0, 0, L"-5", VT_I2, L"-5"},
      {L"i4", VT_I4, 0, 0, L"70000", VT_I4, L"70000"},
      {L"ui2", VT_UI2, 0, 0, L"65535", VT_I4, L"65535"},
      {L"r4", VT_R4, 0, 0, L"1.5", VT_R4, L"1.500000e+00"},
      {L"r8", VT_R8, 0, 0, L"2.25", VT_R8, L"2.2500000000000000e+00"},
      {L"dec", VT_DECIMAL, 0, 0, L"12.5", VT_R8, L"1.2500000000000000e+01"},
      {L"ui4", VT_UI4, 0, 0, L"4000000000", VT_R8, L"4.0000000000000000e+09"},
      {L"i8", VT_I8, 0, 0, L"-9000000000", VT_R8, L"-9.0000000000000000e+09"},
      {L"ui8", VT_UI8, 0, 0, L"9000000000", VT_R8, L"9.0000000000000000e+09"},
      {L"cy", VT_CY, 0, 0, L"7.25", VT_CY, L"7.25"},
      {L"dt", VT_DATE, 0, 1, L"2024-02-29 13:45:10", VT_DATE, L"2024-02-29 13:45:10"},
      {L"txt", VT_BSTR, 255, 0, L"short text", VT_BSTR, L"short text"},
      {L"memo", VT_BSTR, 256, 0, L"long text", VT_BSTR, L"long text"},
      {L"memo0", VT_BSTR, 0, 0, L"any text", VT_BSTR, L"any text"},
      {L"yes", VT_BOOL, 0, 0, L"1", VT_BOOL, L"1"},
      {L"byte", VT_UI1, 0, 0, L"200", VT_UI1, L"200"},
      {L"bin", VT_BLOB, 16, 0, L"", VT_ARRAY | VT_UI1, L""},
      {L"lbin", VT_ARRAY | VT_UI1, 0, 0, L"", VT_ARRAY | VT_UI1, L""},
      {L"blobmemo", VT_BLOB, 0, 8, L"as text", VT_BSTR, L"as text"},
  };
  udb_schema schema;
  udb_record row;
  for (const auto& c : cases) {
    schema.emplace_back(c.size, c.name, c.vartype, false, false, ole_variant(), c.dw_reserved, std::wstring());
    // A text blob's values come as text.
    const VARTYPE value_type = c.dw_reserved == 8 ? VT_BSTR : c.vartype;
    row.emplace_back(std::wstring(), 0u, *c.value == 0 ? null_value() : ole_variant::from_wstring(c.value, value_type),
                     false, false);
  }
  const std::wstring file = path("types.mdb");
  {
    auto base = engine.create_db(file);
    auto table = base->create_table(L"every", schema, udb_indexes());
    table->append_record(row, 1);
  }
  auto base = engine.open_db(file, 1, L"");
  auto table = base->get_table(L"every", 1);
  ASSERT_EQ(table->get_schema().size(), std::size(cases));
  EXPECT_EQ(table->get_record_count(), 1u);
  const udb_record* read = table->get_item();
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const t_ftd& column = *table->get_schema()[i];
    SCOPED_TRACE(plat::to_utf8(cases[i].name));
    EXPECT_EQ(column.name, cases[i].name);
    EXPECT_EQ(column.vartype, cases[i].read_type);
    if (cases[i].vartype == VT_BSTR && cases[i].size == 255) {
      EXPECT_EQ(column.size, 255u);
    }
    if (*cases[i].read_value != 0) {
      EXPECT_EQ((*read)[i]->to_wstring(), cases[i].read_value);
    }
  }
}

TEST_F(DaoAccess, IndexesAreWrittenWithinDaosLimits)
{
  udb_schema wide_table = schema_of({{L"id", VT_I4}, {L"a.b", VT_I4}, {L"memo", VT_BSTR, 256},
                                     {L"bytes", VT_ARRAY | VT_UI1, 10}, {L"blob", VT_BLOB, 10}});
  std::vector<std::wstring> eleven;
  for (int i = 0; i < 11; ++i) {
    eleven.push_back(L"c" + std::to_wstring(i));
    wide_table.emplace_back(0u, eleven.back(), VT_I4, false, false, ole_variant(), 0u, std::wstring());
  }
  udb_indexes indexes;
  indexes.push_back(index_of(L"PRIMARY", {L"id"}, true, true));
  indexes.push_back(index_of(L"by.renamed", {L"a.b"}, true));  // name and column both renamed
  indexes.push_back(index_of(L"by/renamed", {L"c0", L"id"}));
  indexes.push_back(index_of(L"ten", std::vector<std::wstring>(eleven.begin(), eleven.begin() + 10)));
  indexes.push_back(index_of(L"eleven", eleven));
  indexes.push_back(index_of(L"on_memo", {L"id", L"memo"}));
  indexes.push_back(index_of(L"on_bytes", {L"bytes"}));
  indexes.push_back(index_of(L"on_blob", {L"blob"}, true));

  const std::wstring file = path("indexes.mdb");
  {
    const udb_log_capture log;
    create(file, {{L"t", wide_table}}, {indexes});
    EXPECT_TRUE(log.has("Field 'memo' cannot be part of index"));
    EXPECT_TRUE(log.has("Field 'bytes' cannot be part of index"));
    EXPECT_TRUE(log.has("Field 'blob' cannot be part of index"));
  }
  auto base = engine.open_db(file, 1, L"");
  const auto table = base->get_table(L"t", 1);
  const udb_indexes& read = table->get_indexes();
  std::vector<std::wstring> names;
  for (const udb_index& index : read)
    names.push_back(index.name);
  EXPECT_EQ(names, (std::vector<std::wstring>{L"PRIMARY", L"by_renamed", L"by_renamed00000", L"ten"}));
  ASSERT_EQ(read.size(), 4u);
  EXPECT_TRUE(read[0].primary);
  EXPECT_TRUE(read[1].unique);
  EXPECT_FALSE(read[1].primary);
  EXPECT_EQ(read[1].fields, std::vector<std::wstring>{L"a_b"});
  EXPECT_FALSE(read[2].unique);
  EXPECT_EQ(read[2].fields, (std::vector<std::wstring>{L"c0", L"id"}));
  EXPECT_EQ(read[3].fields.size(), 10u);
}

TEST_F(DaoAccess, ATableGetsItsFirstThirtyTwoIndexes)
{
  udb_schema schema;
  udb_indexes indexes;
  for (int i = 0; i < 40; ++i) {
    const std::wstring column = L"c" + std::to_wstring(i);
    schema.emplace_back(0u, column, VT_I4, false, false, ole_variant(), 0u, std::wstring());
    indexes.push_back(index_of(L"ix" + std::to_wstring(i), {column}));
  }
  const std::wstring file = path("many.mdb");
  create(file, {{L"t", schema}}, {indexes});
  auto base = engine.open_db(file, 1, L"");
  const auto table = base->get_table(L"t", 1);
  const udb_indexes& read = table->get_indexes();
  ASSERT_EQ(read.size(), 32u);
  EXPECT_EQ(read[31].name, L"ix31");
}

TEST_F(DaoAccess, RelationsAreWrittenAndReadBackGroupedWithTheirRules)
{
  const udb_schema parent = schema_of({{L"a", VT_I4, 0, true}, {L"b", VT_BSTR, 10, true}, {L"c", VT_I4}});
  const udb_schema child = schema_of({{L"id", VT_I4}, {L"pa", VT_I4}, {L"pb", VT_BSTR, 10}, {L"pc", VT_I4}});
  udb_indexes parent_keys;
  parent_keys.push_back(index_of(L"pk", {L"a", L"b"}, true, true));
  parent_keys.push_back(index_of(L"by_c", {L"c"}));  // not unique: the relation on c needs its own
  udb_relationships relations;
  relations.emplace_back(L"child", L"parent", std::vector<std::wstring>{L"pa", L"pb"},
                         std::vector<std::wstring>{L"a", L"b"}, L"ON DELETE CASCADE ON UPDATE CASCADE");
  relations.emplace_back(L"child", L"parent", std::vector<std::wstring>{L"pc"}, std::vector<std::wstring>{L"c"},
                         L"");
  relations.back().name = L"fk_c";
  relations.emplace_back(L"child", L"missing", std::vector<std::wstring>{L"pa"}, std::vector<std::wstring>{L"a"},
                         L"");
  relations.back().name = L"fk_missing";
  relations.emplace_back(L"parent", L"child", std::vector<std::wstring>{L"c"}, std::vector<std::wstring>{L"id"},
                         L"ON UPDATE CASCADE");
  relations.back().name = L"fk_back";

  const std::wstring file = path("relations.mdb");
  {
    recording_reporter reporter;
    create(file, {{L"parent", parent}, {L"child", child}}, {parent_keys});
    auto base = engine.open_db(file, 0, L"");
    base->create_relationships(relations);
    // A relationship DAO refuses is reported under its name; the next one is made.
    ASSERT_EQ(reporter.reports.size(), 1u);
    EXPECT_EQ(reporter.reports[0].rfind(L"fk_missing: ", 0), 0u) << plat::to_utf8(reporter.reports[0]);
  }
  auto base = engine.open_db(file, 0, L"");
  const udb_relationships& read = base->get_relationships();
  ASSERT_EQ(read.size(), 3u);
  std::map<std::wstring, const udb_relationship*> by_columns;
  for (const udb_relationship& r : read)
    by_columns[r.fk_table + L"." + r.fk_flds[0]] = &r;
  const udb_relationship& both = *by_columns.at(L"child.pa");
  EXPECT_EQ(both.pk_table, L"parent");
  EXPECT_EQ(both.fk_flds, (std::vector<std::wstring>{L"pa", L"pb"}));
  EXPECT_EQ(both.pk_flds, (std::vector<std::wstring>{L"a", L"b"}));
  EXPECT_EQ(both.rule, L" ON DELETE CASCADE ON UPDATE CASCADE");
  EXPECT_EQ(by_columns.at(L"child.pc")->rule, L"");
  EXPECT_EQ(by_columns.at(L"parent.c")->rule, L" ON UPDATE CASCADE");
  // Names are the layer's own, unique ignoring case.
  EXPECT_EQ(both.name.rfind(L"FK_parent_child", 0), 0u);
  EXPECT_NE(by_columns.at(L"child.pc")->name, both.name);

  // The unique indexes the relations needed were added, and only those.
  std::vector<std::wstring> parent_indexes;
  const auto parent_table = base->get_table(L"parent", 1);
  for (const udb_index& index : parent_table->get_indexes())
    parent_indexes.push_back(index.name + (index.unique ? L"!" : L""));
  ASSERT_EQ(parent_indexes.size(), 3u);
  EXPECT_EQ(parent_indexes[2].rfind(L"ui_parent", 0), 0u);
  EXPECT_EQ(parent_indexes[2].back(), L'!');
}

TEST_F(DaoAccess, AppendModeWritesNoRelation)
{
  const std::wstring file = path("append.mdb");
  create(file, {{L"p", people}, {L"c", people}});
  udb_relationships relations;
  relations.emplace_back(L"c", L"p", std::vector<std::wstring>{L"id"}, std::vector<std::wstring>{L"id"}, L"");
  engine.open_db(file, 8, L"")->create_relationships(relations);
  EXPECT_TRUE(engine.open_db(file, 0, L"")->get_relationships().empty());
}

TEST_F(DaoAccess, NavigationPaneTablesTakeNoPartInTheForeignKeys)
{
  const std::wstring file = path("navpane.mdb");
  udb_indexes key;
  key.push_back(index_of(L"pk", {L"id"}, true, true));
  create(file, {{L"msysnavpanegroups", people}, {L"p", people}, {L"c", people}}, {key, key});
  {
    auto base = engine.open_db(file, 0, L"");
    udb_relationships relations;
    relations.emplace_back(L"c", L"msysnavpanegroups", std::vector<std::wstring>{L"id"},
                           std::vector<std::wstring>{L"id"}, L"");
    relations.emplace_back(L"msysnavpanegroups", L"p", std::vector<std::wstring>{L"id"},
                           std::vector<std::wstring>{L"id"}, L"");
    relations.back().name = L"FK_second";
    relations.emplace_back(L"c", L"p", std::vector<std::wstring>{L"id"}, std::vector<std::wstring>{L"id"}, L"");
    relations.back().name = L"FK_kept";
    base->create_relationships(relations);
  }
  auto base = engine.open_db(file, 0, L"");
  ASSERT_EQ(base->get_relationships().size(), 1u);
  EXPECT_EQ(base->get_relationships()[0].fk_table, L"c");
  EXPECT_EQ(base->get_relationships()[0].pk_table, L"p");
}

TEST_F(DaoAccess, StoredQueriesAreReadAsViewsInMySqlWords)
{
  const std::wstring file = path("views.mdb");
  create(file, {{L"t", people}});
  {
    auto base = engine.open_db(file, 0, L"");
    store_query(*base, L"q1", L"SELECT UCase(name) AS n, Len(city) FROM [t] WHERE id <> 3 ORDER BY name ASC");
    store_query(*base, L"q2", L"SELECT [t]![name] FROM t WITH OWNERACCESS OPTION");
  }
  auto base = engine.open_db(file, 0, L"");
  ASSERT_EQ(base->get_views().size(), 2u);
  std::map<std::wstring, std::wstring> views(base->get_views().begin(), base->get_views().end());
  EXPECT_EQ(views.at(L"q1"), L"SELECT upper(name) AS n, length(city) FROM [t] WHERE id != 3 ORDER BY name ASC");
  EXPECT_EQ(views.at(L"q2"), L"SELECT [t].[name] FROM t ");
  // Mode bit 7 leaves them unread.
  base.reset();
  EXPECT_TRUE(engine.open_db(file, 128, L"")->get_views().empty());
}

TEST_F(DaoAccess, QueriesAreCountedOpenedAndTested)
{
  const std::wstring file = path("queries.mdb");
  {
    auto base = engine.create_db(file);
    auto table = base->create_table(L"t", people, udb_indexes());
    for (int i = 1; i <= 5; ++i)
      table->append_record(record_of({ole_variant(i), ole_variant(L"n" + std::to_wstring(i)),
                                      ole_variant(i % 2 == 0 ? L"even" : L"odd")}),
                           static_cast<std::uint32_t>(i));
  }
  auto base = engine.open_db(file, 0, L"");
  auto& dao = dynamic_cast<dao_database&>(*base);
  const std::wstring odd = L"SELECT id, name FROM [t] WHERE city = 'odd' ORDER BY id";
  EXPECT_EQ(dao.get_query_count(odd), 3u);
  EXPECT_EQ(dao.get_query_count(L"SELECT * FROM t WHERE id > 10"), 0u);

  auto query = base->get_query(L"odd ones", odd, 1);
  EXPECT_EQ(query->get_record_count(), 3u);
  EXPECT_EQ(names_of(query->get_schema()), (std::vector<std::wstring>{L"id", L"name"}));
  EXPECT_TRUE(query->get_indexes().empty());
  std::vector<std::wstring> read;
  for (; !query->is_eof(); query->next())
    read.push_back((*query->get_item())[1]->to_wstring());
  EXPECT_EQ(read, (std::vector<std::wstring>{L"n1", L"n3", L"n5"}));
  query.reset();
  // Append-only: the rows stay unseen while the count is still the query's.
  auto append_only = base->get_query(L"all", L"SELECT * FROM t", 0);
  EXPECT_EQ(append_only->get_record_count(), 5u);
  EXPECT_TRUE(append_only->is_eof());
  append_only.reset();

  for (const wchar_t* bad : {L"SELECT FROM WHERE", L"SELECT * FROM nowhere", L"SELECT nothing FROM t"}) {
    SCOPED_TRACE(plat::to_utf8(bad));
    EXPECT_FALSE(base->test_query(bad));
    EXPECT_THROW(base->get_query(L"bad", bad, 1), dao_exception);
  }
  EXPECT_TRUE(base->test_query(odd));
}

TEST_F(DaoAccess, EveryRelationNeedingAUniqueIndexGetsOneOfItsOwn)
{
  const std::wstring file = path("unique.mdb");
  const udb_schema parent = schema_of({{L"a", VT_I4}, {L"b", VT_I4}});
  const udb_schema child = schema_of({{L"x", VT_I4}, {L"y", VT_I4}});
  create(file, {{L"p", parent}, {L"c", child}});
  auto base = engine.open_db(file, 0, L"");
  udb_relationships relations;
  // Both within one second: the names must still differ.
  relations.emplace_back(L"c", L"p", std::vector<std::wstring>{L"x"}, std::vector<std::wstring>{L"a"}, L"");
  relations.emplace_back(L"c", L"p", std::vector<std::wstring>{L"y"}, std::vector<std::wstring>{L"b"}, L"");
  relations.back().name = L"FK_second";
  base->create_relationships(relations);
  {
    const auto table = base->get_table(L"p", 1);
    ASSERT_EQ(table->get_indexes().size(), 2u);
    EXPECT_NE(table->get_indexes()[0].name, table->get_indexes()[1].name);
    EXPECT_EQ(table->get_indexes()[1].fields, std::vector<std::wstring>{L"b"});
  }

  // Column lists of unequal length are no relationship at all.
  udb_relationships broken;
  broken.emplace_back(L"c", L"p", std::vector<std::wstring>{L"x", L"y"}, std::vector<std::wstring>{L"a"}, L"");
  EXPECT_THROW(base->create_relationships(broken), tk_mail_assertion);
  base.reset();
  EXPECT_EQ(engine.open_db(file, 0, L"")->get_relationships().size(), 2u);
}
