// Updates and deletes of a MySQL table's rows, by the record's key fields and by
// tagged key texts, against the test server: every effect is read back through a
// connection of the test's own, so the engine's reading side cannot mask it.
#include "SQL/sql_test_support.h"
#include "SQL/write/sql_db_write.h"
#include "SQL/write/sql_engi_write.h"

#include "SQL/sql_tab.h"
#include "SQL/write/sql_sync.h"
#include "TK/tk_exception.h"
#include "UDB/udb_field.h"
#include "UDB/udb_recs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct cell {
  const wchar_t* name;
  ole_variant value;      // VT_EMPTY stands for NULL
  std::uint32_t size = 40;  // 0 makes a text a large object, left out of SET lists
};

udb_record record_of(std::initializer_list<cell> cells)
{
  udb_record record;
  for (const cell& c : cells)
    record.emplace_back(c.name, c.size, c.value, false, false);
  return record;
}

const char* const fixture_tables[] = {
    "CREATE TABLE one (id INT PRIMARY KEY, name VARCHAR(40), v INT, bin VARBINARY(4))",
    "CREATE TABLE two (a INT, b VARCHAR(10), v INT, PRIMARY KEY (a, b))",
    "CREATE TABLE nokey (id INT, name VARCHAR(40))",
    "CREATE TABLE txt (code VARCHAR(20) PRIMARY KEY, v INT)",
};

const char* const fixture_rows[] = {
    "INSERT INTO one VALUES (1,'a',10,NULL), (2,'b',20,NULL), (3,NULL,30,NULL), (4,'a',40,NULL),"
    " (5,'<x>',50,NULL), (7,'a&b',70,NULL), (8,'a',80,0x1F)",
    "INSERT INTO two VALUES (1,'x',1), (1,'y',2), (2,'x',3)",
    "INSERT INTO nokey VALUES (1,'a'), (1,'a')",
    "INSERT INTO txt VALUES ('o''b',1), ('a\\\\b',2), ('p',3)",
};

// The fixture tables on the test server, opened through the engine as a
// destination would be (indexes read, so the key is known).
class SqlUpdate : public testing::Test {
protected:
  void SetUp() override
  {
    for (const char* statement : fixture_tables)
      db_.run(statement);
    refill();
    engine_ = connected_engine<sql_write_engine>();
    database_ = engine_->open_db(db_.wname(), 1, L"");
  }

  // Every table back to its first rows.
  void refill()
  {
    for (const char* table : {"one", "two", "nokey", "txt"})
      db_.run(std::string("DELETE FROM ") + table);
    for (const char* statement : fixture_rows)
      db_.run(statement);
  }

  std::unique_ptr<udb_recordset> table(const wchar_t* name) { return database_->get_table(name, 1); }

  // The rows as "c1|c2|..." in the order of their columns, joined by ",";
  // NULL shows as "~".
  std::string rows(const std::string& table, const std::string& columns)
  {
    std::string cells;
    std::size_t start = 0;
    while (start <= columns.size()) {
      const std::size_t end = std::min(columns.find(',', start), columns.size());
      cells += (cells.empty() ? "" : ",") + ("IFNULL(" + columns.substr(start, end - start) + ",'~')");
      start = end + 1;
    }
    return admin_.value("SELECT IFNULL(GROUP_CONCAT(CONCAT_WS('|'," + cells + ") ORDER BY " + columns +
                        " SEPARATOR ','),'') FROM " + db_.quoted() + "." + table);
  }
  std::string ids(const std::string& table) { return rows(table, "id"); }

  sql_admin admin_;
  scratch_database db_{admin_};
  std::unique_ptr<sql_write_engine> engine_;
  std::unique_ptr<udb_database> database_;
};

} // namespace

TEST_F(SqlUpdate, RecordSetsTheOtherColumnsOfTheRowItsKeyNames)
{
  auto one = table(L"one");
  ASSERT_GE(one->get_key_index(), 0);
  one->update(record_of({{L"name", L"bee"}, {L"id", 2}, {L"v", 21}, {L"extra", 5}}));
  EXPECT_EQ(rows("one", "id,name,v"), "1|a|10,2|bee|21,3|~|30,4|a|40,5|<x>|50,7|a&b|70,8|a|80");

  // A text of no stated size is a large object and stays as it was; NULL is set.
  one->update(record_of({{L"id", 1}, {L"name", L"zzz", 0}, {L"v", ole_variant()}}));
  EXPECT_EQ(rows("one", "id,name,v").substr(0, 8), "1|a|~,2|");

  auto two = table(L"two");
  two->update(record_of({{L"a", 1}, {L"b", L"y"}, {L"v", 9}}));
  EXPECT_EQ(rows("two", "a,b,v"), "1|x|1,1|y|9,2|x|3");
}

TEST_F(SqlUpdate, RecordMustNameEveryKeyColumnInAnyCase)
{
  const struct {
    const char* what;
    const char* table;
    const char* columns;
    std::vector<cell> cells;
    std::string expected;
  } cases[] = {
      // Without the check, `a`=1 alone would rewrite both rows of a=1.
      {"one key column missing", "two", "a,b,v", {{L"a", 1}, {L"v", 9}}, "1|x|1,1|y|2,2|x|3"},
      {"key names in another case", "two", "a,b,v", {{L"B", L"y"}, {L"A", 1}, {L"v", 9}}, "1|x|1,1|y|9,2|x|3"},
      {"only key columns: nothing to set", "two", "a,b,v", {{L"a", 2}, {L"b", L"x"}}, "1|x|1,1|y|2,2|x|3"},
      {"table without a key", "nokey", "id,name", {{L"id", 1}, {L"name", L"z"}}, "1|a,1|a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    refill();
    auto target = table(wide(c.table).c_str());
    udb_record record;
    for (const cell& f : c.cells)
      record.emplace_back(f.name, f.size, f.value, false, false);
    EXPECT_NO_THROW(target->update(record));
    EXPECT_EQ(rows(c.table, c.columns), c.expected);
  }
}

TEST_F(SqlUpdate, TaggedKeyUpdatesTheRowsItSelects)
{
  auto one = table(L"one");
  one->update(record_of({{L"v", 99}}), L"<id>7</id><name>a&amp;b</name>");
  one->update(record_of({{L"v", 0}}), L"<name>a</name>");
  EXPECT_EQ(rows("one", "id,v"), "1|0,2|20,3|30,4|0,5|50,7|99,8|0");

  // Refused keys change nothing and reach the caller as nothing.
  EXPECT_NO_THROW(one->update(record_of({{L"v", -1}}), L"<id>1 OR 1=1</id>"));
  EXPECT_NO_THROW(one->update(record_of({{L"v", -1}}), L""));
  EXPECT_EQ(rows("one", "id,v"), "1|0,2|20,3|30,4|0,5|50,7|99,8|0");
}

TEST_F(SqlUpdate, TaggedKeyDeletesOnlyWhatItNames)
{
  const struct {
    const wchar_t* table;
    const wchar_t* key;
    std::string remaining;
  } cases[] = {
      {L"one", L"<id>7</id><name>a&amp;b</name>", "1,2,3,4,5,8"},
      {L"one", L"<name>a</name>", "2,3,5,7"},
      {L"one", L"<name>&lt;x&gt;</name>", "1,2,3,4,7,8"},
      {L"one", L"<bin>0x1F</bin>", "1,2,3,4,5,7"},
      // Injection probes and broken keys: no row may go.
      {L"one", L"<id>1 OR 1=1</id>", "1,2,3,4,5,7,8"},
      {L"one", L"<name>x</name><id>0 OR 1</id>", "1,2,3,4,5,7,8"},
      {L"one", L"<name>a' OR '1'='1</name>", "1,2,3,4,5,7,8"},
      {L"one", L"<name>a\\' OR 1=1 -- </name>", "1,2,3,4,5,7,8"},
      {L"one", L"<id`!=0 OR `id>1</id>", "1,2,3,4,5,7,8"},
      {L"one", L"<bin>x'1F'</bin>", "1,2,3,4,5,7,8"},
      {L"one", L"<id>1", "1,2,3,4,5,7,8"},
      {L"one", L"", "1,2,3,4,5,7,8"},
      {L"txt", L"<code>o'b</code>", "a\\b,p"},
      {L"txt", L"<code>a\\b</code>", "o'b,p"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(plat::to_utf8(c.key));
    refill();
    auto target = table(c.table);
    EXPECT_NO_THROW(target->delete_key(std::wstring(c.key)));
    EXPECT_EQ(c.table == std::wstring(L"one") ? ids("one") : rows("txt", "code"), c.remaining);
  }
}

TEST_F(SqlUpdate, RecordDeletesTheRowsEqualToAllItsFields)
{
  auto one = table(L"one");
  // NULL equals NULL here, so the row is found.
  one->delete_key(record_of({{L"id", 3}, {L"name", ole_variant()}, {L"v", 30}, {L"unknown", 1}}));
  EXPECT_EQ(ids("one"), "1,2,4,5,7,8");
  one->delete_key(record_of({{L"name", L"a"}}));
  EXPECT_EQ(ids("one"), "2,5,7");
  one->delete_key(record_of({{L"id", 2}, {L"v", 21}}));
  EXPECT_EQ(ids("one"), "2,5,7");
}

TEST_F(SqlUpdate, RecordWithFloatColumnsFindsTheSingleTheColumnHolds)
{
  db_.run("CREATE TABLE fl (id INT PRIMARY KEY, f FLOAT, g FLOAT, d DOUBLE)");
  db_.run("INSERT INTO fl VALUES (1, 0.1, 3.4e38, 0.1), (2, 1.1, -2.5, 1.1)");
  database_ = engine_->open_db(db_.wname(), 1, L"");
  auto fl = table(L"fl");
  // The row as a copy reads it (singles) and as a double written by hand gives it.
  fl->delete_key(record_of({{L"id", 1}, {L"f", 0.1f}, {L"g", 3.4e38f}, {L"d", 0.1}}));
  EXPECT_EQ(ids("fl"), "2");
  fl->update(record_of({{L"id", 2}, {L"f", 1.1}, {L"g", -2.5}, {L"d", 9.5}}));
  EXPECT_EQ(rows("fl", "id,d"), "2|9.5");
  fl->delete_key(record_of({{L"f", 1.1}, {L"g", -2.5}}));
  EXPECT_EQ(ids("fl"), "");
}

TEST_F(SqlUpdate, FilterQuotesNamesAndTextsAndKeepsOnlyNumbersBare)
{
  sql_sync sync(dynamic_cast<sql_database*>(database_.get()));
  const struct {
    const wchar_t* key;
    const wchar_t* condition;
  } cases[] = {
      {L"<id>7</id><name>a&amp;b</name>", L"`id`=7 and `name`='a&b'"},
      {L"<ID>-2.5e3</ID>", L"`ID`=-2.5e3"},
      {L"<name>&lt;o'b\\&gt;</name>", L"`name`='<o\\'b\\\\>'"},
      {L"<other>1</other>", L"`other`='1'"},
      {L"<bin>0x1f</bin>", L"`bin`=0x1f"},
      {L"<na`me>x</na`me>", L"`na``me`='x'"},
      {L"", L""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(sync.get_filter_subquery(L"one", c.key), c.condition) << plat::to_utf8(c.key);

  for (const wchar_t* refused : {L"<id>&lt;</id>", L"<id></id>", L"<id>1 OR 1=1</id>", L"<v>0x1F</v>",
                                 L"<id>7", L"<id>7<", L"<<id>7</id>"})
    EXPECT_THROW(sync.get_filter_subquery(L"one", refused), tk_exception) << plat::to_utf8(refused);
}

TEST_F(SqlUpdate, ChangesReachRowsAppendedBefore)
{
  auto one = table(L"one");
  one->append_record(record_of({{L"id", 20}, {L"name", L"new"}, {L"v", 1}}), 3);
  one->update(record_of({{L"id", 20}, {L"v", 2}}));
  one->append_record(record_of({{L"id", 21}, {L"name", L"gone"}, {L"v", 1}}), 3);
  one->delete_key(std::wstring(L"<id>21</id>"));
  one.reset();
  EXPECT_EQ(rows("one", "id,v").substr(rows("one", "id,v").rfind(',') + 1), "20|2");
  EXPECT_EQ(admin_.value("SELECT COUNT(*) FROM " + db_.quoted() + ".one WHERE id = 21"), "0");
}
