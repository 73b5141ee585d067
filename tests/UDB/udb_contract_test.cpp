// The engine, database and recordset interfaces: the base bodies every engine
// inherits, and the contract the conversion core relies on, proven through an
// in-memory engine used only through the base classes.
#include "UDB/udb_db.h"
#include "UDB/udb_engine.h"
#include "UDB/udb_field.h"
#include "UDB/udb_recs.h"
#include "memory_engine.h"
#include "platform/process.h"
#include "platform/text_codec.h"
#include "support/temp_dir.h"
#include "udb_log_capture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {

// What the conversion core does with a table: read the source to its end and
// fill a destination built from the source's schema, through the interfaces only.
std::uint64_t copy_table(udb_database& source, udb_database& destination, const std::wstring& name)
{
  std::unique_ptr<udb_recordset> in = source.get_table(name, 1);
  std::unique_ptr<udb_recordset> out =
      destination.create_table(in->get_name(), in->get_schema(), udb_indexes());
  std::uint64_t rows = 0;
  in->reset();
  for (; !in->is_eof(); in->next()) {
    const udb_record* record = in->get_item();
    if (record == nullptr)
      continue;
    out->append_record(*record, static_cast<std::uint32_t>(record->size()));
    ++rows;
  }
  out->save();
  return rows;
}

ole_variant::byte_vector bytes(std::initializer_list<unsigned char> list)
{
  return ole_variant::byte_vector(list);
}

class UdbContract : public testing::Test {
protected:
  void SetUp() override
  {
    std::unique_ptr<udb_database> db = engine.create_db(L"shop");
    udb_schema schema;
    schema.emplace_back(4u, L"ID", VT_I4, true, true, ole_variant(), 0u, L"");
    schema.emplace_back(40u, L"Name", VT_BSTR, false, false, ole_variant(), 0u, L"");
    schema.emplace_back(16u, L"Photo", ole_variant::vt_byte_array, false, false, ole_variant(), 0u,
                        L"");
    udb_indexes indexes;
    indexes.push_back(udb_index(L"PRIMARY", true, true, {L"ID"}));
    std::unique_ptr<udb_recordset> orders = db->create_table(L"Orders", schema, indexes);
    const struct {
      int id;
      const wchar_t* name;
      ole_variant::byte_vector photo;
    } rows[] = {{1, L"Ann", bytes({1, 2})}, {7, L"B\u00f6rje \U0001F600", {}}, {3, L"", bytes({0xFF})}};
    for (const auto& r : rows) {
      udb_record record;
      // Fields in another order and case than the columns: matched by name.
      record.emplace_back(L"name", 40u, ole_variant(r.name), false, false);
      record.emplace_back(L"photo", 16u, ole_variant(r.photo), false, false);
      record.emplace_back(L"id", 4u, ole_variant(r.id), true, true);
      orders->append_record(record, 3);
    }
    orders->save();
    EXPECT_EQ(orders->get_record_count(), 3u);
  }

  // Every row as the texts of its fields, read through the base interface.
  static std::vector<std::vector<std::wstring>> read_all(udb_recordset& rs)
  {
    std::vector<std::vector<std::wstring>> out;
    rs.reset();
    while (!rs.is_eof()) {
      udb_record* record = rs.get_item();
      EXPECT_NE(record, nullptr);
      if (record == nullptr)
        break;
      std::vector<std::wstring> row;
      for (const auto& f : *record)
        row.push_back(f->get_name() + L"=" + f->to_wstring());
      out.push_back(row);
      rs.next();
    }
    EXPECT_EQ(rs.get_item(), nullptr);
    return out;
  }

  const std::vector<std::vector<std::wstring>> expected{
      {L"ID=1", L"Name=Ann", L"Photo=0x0102"},
      {L"ID=7", L"Name=B\u00f6rje \U0001F600", L"Photo="},
      {L"ID=3", L"Name=", L"Photo=0xFF"},
  };
  memory_engine engine;
};

} // namespace

TEST_F(UdbContract, SourceIsReadToItsEndWithCountKeyAndAutoValue)
{
  std::unique_ptr<udb_database> db = engine.open_db(L"shop", 1, L"");
  ASSERT_TRUE(db->is_table_exist(L"ORDERS"));
  std::unique_ptr<udb_recordset> rs = db->get_table(L"orders", 1);

  EXPECT_FALSE(rs->is_query());
  EXPECT_EQ(rs->get_record_count(), 3u);
  EXPECT_EQ(rs->get_last_auto_value(), 7u);
  EXPECT_EQ(rs->get_key_index(), 0);
  ASSERT_EQ(rs->get_schema().size(), 3u);
  EXPECT_EQ(rs->get_schema().get_field_type(L"photo"), ole_variant::vt_byte_array);

  EXPECT_EQ(read_all(*rs), expected);
  // A second reading starts again at the first row.
  EXPECT_EQ(read_all(*rs), expected);
}

TEST_F(UdbContract, DestinationFilledFromASourceReadsBackTheSameRows)
{
  std::unique_ptr<udb_database> source = engine.open_db(L"shop", 1, L"");
  std::unique_ptr<udb_database> destination = engine.create_db(L"book");
  EXPECT_EQ(copy_table(*source, *destination, L"Orders"), 3u);

  ASSERT_EQ(destination->get_table_names(), std::vector<std::wstring>{L"Orders"});
  std::unique_ptr<udb_recordset> back = destination->get_table(L"Orders", 1);
  EXPECT_EQ(read_all(*back), expected);
  // The destination's columns are the source's descriptors, shared.
  std::unique_ptr<udb_recordset> in = source->get_table(L"Orders", 1);
  EXPECT_EQ(back->get_schema()[1].get(), in->get_schema()[1].get());
}

TEST_F(UdbContract, RowsOfAnUnsavedDestinationAreNotWritten)
{
  std::unique_ptr<udb_database> db = engine.create_db(L"scratch");
  udb_schema schema;
  schema.emplace_back(4u, L"n", VT_I4, false, false, ole_variant(), 0u, L"");
  {
    std::unique_ptr<udb_recordset> out = db->create_table(L"t", schema, udb_indexes());
    udb_record record;
    record.emplace_back(L"n", 4u, ole_variant(5), false, false);
    out->append_record(record, 1);
  }
  EXPECT_EQ(db->get_table(L"t", 1)->get_record_count(), 0u);
}

TEST_F(UdbContract, QueryRecordsetIsAQueryAndReadsLikeATable)
{
  std::unique_ptr<udb_database> db = engine.open_db(L"shop", 1, L"");
  ASSERT_TRUE(db->test_query(L"SELECT * FROM Orders"));
  std::unique_ptr<udb_recordset> rs = db->get_query(L"q", L"SELECT * FROM Orders", 1);
  EXPECT_TRUE(rs->is_query());
  EXPECT_EQ(rs->get_name(), L"q");
  EXPECT_EQ(read_all(*rs), expected);
}

TEST_F(UdbContract, LentRecordIsReusedFromRowToRow)
{
  std::unique_ptr<udb_database> db = engine.open_db(L"shop", 1, L"");
  std::unique_ptr<udb_recordset> rs = db->get_table(L"Orders", 1);
  rs->reset();
  udb_record* first = rs->get_item();
  rs->next();
  EXPECT_EQ(rs->get_item(), first);
  EXPECT_EQ(first->get_field(L"id").to_long(), 7);
  EXPECT_EQ(dynamic_cast<memory_reader&>(*rs).loads_that_built_fields, 1u);
}

TEST_F(UdbContract, EmptyTableRunsDeleteThroughTheEnginesQuery)
{
  std::unique_ptr<udb_database> db = engine.open_db(L"shop", 0, L"");
  udb_log_capture log;
  db->empty_table(L"Orders");
  EXPECT_TRUE(log.has("udb_database::empty_table(Orders)"));
  EXPECT_EQ(db->get_table(L"Orders", 1)->get_record_count(), 0u);
}

// ---------------------------------------------------------------------------
// Base bodies of udb_database.

namespace {

class bare_database : public udb_database {
public:
  bare_database(bool case_sensitive, std::vector<std::wstring> tables)
      : udb_database(L"db", 1, case_sensitive)
  {
    table_names_ = std::move(tables);
  }
  std::unique_ptr<udb_recordset> create_table(const std::wstring&, const udb_schema&,
                                              const udb_indexes&) override
  {
    return nullptr;
  }
  std::unique_ptr<udb_recordset> get_query(const std::wstring&, const std::wstring&,
                                           std::uint32_t) override
  {
    return nullptr;
  }
  std::unique_ptr<udb_recordset> get_table(const std::wstring&, std::uint32_t) override
  {
    return nullptr;
  }
  bool test_query(const std::wstring&) override { return false; }

  void create_index(const std::wstring& table, std::uint32_t pass, const udb_index& index) override
  {
    created.push_back(table + L":" + std::to_wstring(pass) + L":" + index.name);
  }
  std::vector<std::wstring> created;
};

} // namespace

TEST(UdbDatabase, IsTableExistFollowsTheCaseFlag)
{
  struct {
    bool case_sensitive;
    std::vector<std::wstring> tables;
    const wchar_t* asked;
    bool found;
  } cases[] = {
      {false, {}, L"orders", false},
      {false, {L"Orders"}, L"orders", true},
      {true, {L"Orders"}, L"orders", false},
      {true, {L"Orders"}, L"Orders", true},
      {false, {L"\u00c4nderungen"}, L"\u00e4NDERUNGEN", true},
      {false, {L"Orders"}, L"Order", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case_sensitive " << c.case_sensitive);
    bare_database db(c.case_sensitive, c.tables);
    EXPECT_EQ(db.is_table_exist(c.asked), c.found);
  }
}

TEST(UdbDatabase, DeleteTabRemovesOnlyTheFirstMatch)
{
  bare_database db(false, {L"a", L"Orders", L"b", L"ORDERS"});
  EXPECT_TRUE(db.delete_tab(L"orders"));
  EXPECT_EQ(db.get_table_names(), (std::vector<std::wstring>{L"a", L"b", L"ORDERS"}));

  bare_database exact(true, {L"Orders"});
  udb_log_capture log;
  EXPECT_FALSE(exact.delete_tab(L"orders"));
  EXPECT_TRUE(log.has("Table not found!"));
  EXPECT_EQ(exact.get_table_names().size(), 1u);
}

TEST(UdbDatabase, CreateIndexesHandsEachIndexOnInOrder)
{
  bare_database db(false, {});
  udb_indexes indexes;
  indexes.push_back(udb_index(L"PRIMARY", true, true, {L"id"}));
  indexes.push_back(udb_index(L"by_name", false, false, {L"name"}));
  db.create_indexes(L"t", 42, indexes);
  EXPECT_EQ(db.created, (std::vector<std::wstring>{L"t:42:PRIMARY", L"t:42:by_name"}));
}

TEST(UdbDatabase, BaseQueryIsAnInternalError)
{
  bare_database db(false, {L"t"});
  for (auto run : {+[](udb_database& d) { d.query(L"select 1"); },
                   +[](udb_database& d) { d.empty_table(L"t"); }}) {
    try {
      run(db);
      ADD_FAILURE() << "no exception";
    } catch (const tk_exception& e) {
      EXPECT_EQ(e.get_level(), tk_level_internal);
      EXPECT_EQ(e.get_message(), make_err_meggase("udb_db", 111));
    }
  }
}

TEST(UdbDatabase, ClearNameListEmptiesTheCallersList)
{
  std::vector<std::wstring> names{L"a", L"b"};
  udb_database::clear_name_list(names);
  EXPECT_TRUE(names.empty());
}

// ---------------------------------------------------------------------------
// Base bodies of udb_engine.

namespace {

class bare_engine : public udb_engine {
public:
  std::unique_ptr<udb_database> create_db(const std::wstring&) override { return nullptr; }
  std::unique_ptr<udb_database> open_db(const std::wstring&, std::uint32_t,
                                        const std::wstring&) override
  {
    return nullptr;
  }
};

} // namespace

TEST(UdbEngine, DbDeleteRemovesTheFileAndReportsTheSystemError)
{
  temp_dir dir;
  const std::string path = dir.file("d\u00e4t.db");
  write_file(path, "x");
  bare_engine engine;
  std::wstring wide;
  ASSERT_TRUE(plat::utf8_to_wide(path, wide));

  EXPECT_TRUE(engine.is_db_exist(wide));
  EXPECT_TRUE(engine.db_delete(wide));
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_FALSE(engine.is_db_exist(wide));

  try {
    engine.db_delete(wide);
    ADD_FAILURE() << "no exception";
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.get_level(), tk_level_error);
    EXPECT_EQ(e.get_code(), static_cast<std::uint32_t>(ENOENT));
    EXPECT_EQ(e.get_message(), plat::error_text(ENOENT));
  }
}

TEST(UdbEngine, FolderIsNoDatabase)
{
  temp_dir dir;
  bare_engine engine;
  std::wstring wide;
  ASSERT_TRUE(plat::utf8_to_wide(dir.path().string(), wide));
  EXPECT_FALSE(engine.is_db_exist(wide));
  EXPECT_THROW(engine.db_delete(wide), tk_exception);
  EXPECT_TRUE(std::filesystem::is_directory(dir.path()));
}

// ---------------------------------------------------------------------------
// Base bodies of udb_recordset.

namespace {

class bare_recordset : public udb_recordset {
public:
  bare_recordset() : udb_recordset(nullptr, L"t", true) {}
  using udb_recordset::udb_recordset;
  void append_record(const udb_record&, std::uint32_t) override {}
};

udb_index make_index(const std::wstring& name, bool unique, bool primary,
                     std::vector<std::wstring> fields = {L"id"})
{
  return udb_index(name, unique, primary, fields);
}

} // namespace

TEST(UdbRecordset, BaseIsAnEmptyCursor)
{
  bare_recordset rs;
  rs.reset();
  EXPECT_TRUE(rs.is_eof());
  EXPECT_EQ(rs.get_item(), nullptr);
  EXPECT_EQ(rs.get_key_index(), -1);
  EXPECT_EQ(rs.get_record_count(), 0u);
  EXPECT_EQ(rs.get_owner(), nullptr);
}

TEST(UdbRecordset, IsQueryExactlyWhenMadeWithQueryText)
{
  EXPECT_FALSE(bare_recordset().is_query());
  EXPECT_TRUE(bare_recordset(nullptr, L"t", L"select 1", true).is_query());
  udb_log_capture log;
  bare_recordset by_name(std::wstring(L"named"));
  EXPECT_FALSE(by_name.is_query());
  EXPECT_TRUE(by_name.get_schema().get_flag());
  EXPECT_TRUE(log.has("udb_recordset::ctor(default)"));
}

TEST(UdbRecordset, AddIndexChoosesThePrimaryOrFirstUniqueKey)
{
  struct {
    std::vector<udb_index> added;
    std::int32_t key;
    std::size_t listed;
  } cases[] = {
      {{make_index(L"u", true, false), make_index(L"pk", true, true)}, 1, 2},
      {{make_index(L"pk", true, true), make_index(L"u", true, false)}, 0, 2},
      {{make_index(L"u1", true, false), make_index(L"u2", true, false)}, 0, 2},
      {{make_index(L"plain", false, false), make_index(L"u", true, false)}, 1, 2},
      {{make_index(L"plain", false, false)}, -1, 1},
      // A second index of a listed name (any case) is not added, not even a primary.
      {{make_index(L"u", true, false), make_index(L"U", true, true, {L"x"})}, 0, 1},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    bare_recordset rs;
    for (const auto& index : cases[i].added)
      rs.add_index(index);
    EXPECT_EQ(rs.get_key_index(), cases[i].key);
    ASSERT_EQ(rs.get_indexes().size(), cases[i].listed);
  }
}

TEST(UdbRecordset, GetKeyCopiesTheKeyFieldsOrGivesNull)
{
  bare_recordset rs;
  udb_record record;
  record.emplace_back(L"Name", 10u, ole_variant(L"x"), false, false);
  record.emplace_back(L"B", 4u, ole_variant(2), false, false);
  record.emplace_back(L"A", 4u, ole_variant(1), true, false);

  try {
    rs.get_key(record);
    ADD_FAILURE() << "no exception";
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.get_level(), tk_level_error);
    EXPECT_STREQ(e.what(), "There's no primary/unique key");
  }

  rs.add_index(make_index(L"pk", true, true, {L"a", L"b"}));
  const std::unique_ptr<udb_record> key = rs.get_key(record);
  ASSERT_NE(key, nullptr);
  ASSERT_EQ(key->size(), 2u);
  EXPECT_EQ((*key)[0]->get_name(), L"A");
  EXPECT_TRUE((*key)[0]->is_not_null());
  EXPECT_EQ((*key)[1]->to_long(), 2);
  EXPECT_NE((*key)[0], record[2]);  // a copy, owned by the key

  bare_recordset partial;
  partial.add_index(make_index(L"pk", true, true, {L"a", L"missing"}));
  EXPECT_EQ(partial.get_key(record), nullptr);
}

TEST(UdbRecordset, FilterSubqueryBuildsTheCondition)
{
  bare_recordset rs;
  rs.get_schema().emplace_back(4u, L"id", VT_I4, false, false, ole_variant(), 0u, L"");
  rs.get_schema().emplace_back(20u, L"Name", VT_BSTR, false, false, ole_variant(), 0u, L"");
  rs.get_schema().emplace_back(8u, L"data", VT_BLOB, false, false, ole_variant(), 0u, L"");
  struct {
    const wchar_t* filter;
    const wchar_t* condition;
  } cases[] = {
      {L"", L""},
      {L"<id>5</id><name>a&amp;b</name>", L"\"id\"=5 and \"Name\"='a&b' "},
      {L"<NAME>&lt;x&gt;</NAME>", L"\"Name\"='<x>' "},
      {L"<data>0xAB01</data>", L"\"data\"=0xAB01"},
      {L"<id>-1.5e3</id>", L"\"id\"=-1.5e3"},
      // An apostrophe cannot end the literal early.
      {L"<name>O'Brien' or '1'='1</name>", L"\"Name\"='O''Brien'' or ''1''=''1' "},
      // What is no number is not put into the statement bare.
      {L"<id>1 or 1=1</id>", L"\"id\"='1 or 1=1' "},
      {L"<id></id>", L"\"id\"='' "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.filter);
    EXPECT_EQ(rs.get_filter_subquery(c.filter), c.condition);
  }
}

TEST(UdbRecordset, FilterSubqueryRejectsAColumnTheSchemaLacks)
{
  bare_recordset rs;
  rs.get_schema().emplace_back(4u, L"id", VT_I4, false, false, ole_variant(), 0u, L"");
  try {
    rs.get_filter_subquery(L"<id>1</id><other>2</other>");
    ADD_FAILURE() << "no exception";
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.get_level(), tk_level_recoverable);
    EXPECT_STREQ(e.what(), "The structure of data source does not conform to the destination table.");
  }
}
