// A table's description: column descriptors refined from SHOW COLUMNS, indexes in
// column order, foreign keys from the server's catalogue.
#include "sql_test_support.h"

#include "SQL/sql_tab.h"
#include "UDB/udb_recs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const t_ftd& column(const udb_recordset& table, const wchar_t* name)
{
  const t_ftd* found = table.get_schema().find(name);
  if (found == nullptr)
    throw std::runtime_error("no column " + plat::to_utf8(name));
  return *found;
}

} // namespace

TEST(SqlSchema, ColumnsAreRefinedFromTheServersDescription)
{
  sql_admin admin;
  scratch_database db(admin);
  db.run("SET SESSION sql_mode = ''");
  db.run("CREATE TABLE cols ("
         "v40 VARCHAR(40), f74 FLOAT(7,4), f FLOAT, d102 DOUBLE(10,2), mt MEDIUMTEXT, mb MEDIUMBLOB,"
         "js JSON, i_null INT, i_zero INT NOT NULL DEFAULT 0, d0 DATE NOT NULL DEFAULT '0000-00-00',"
         "ts TIMESTAMP NOT NULL DEFAULT CURRENT_TIMESTAMP, dt DATETIME NOT NULL DEFAULT '2020-01-02 03:04:05',"
         "b1 BIT(1) NOT NULL DEFAULT b'1', b16 BIT(16) NOT NULL DEFAULT b'101',"
         "s VARCHAR(5) NOT NULL DEFAULT 'ab''c', dc DECIMAL(10,2) DEFAULT 1.50,"
         "dec0 DECIMAL(10,0), decu DECIMAL(10,2) UNSIGNED, bu BIGINT UNSIGNED, dtm DATETIME,"
         "vb VARBINARY(4) NOT NULL DEFAULT 'AB', expr INT NOT NULL DEFAULT (1 + 1),"
         "neg INT DEFAULT -5, hidden INT INVISIBLE)");
  auto engine = connected_engine();
  auto source = engine->open_db(db.wname(), 1, L"");
  auto table = source->get_table(L"cols", 1);
  EXPECT_FALSE(engine->is_blob_to_text());
  EXPECT_EQ(table->get_schema().find(L"hidden"), nullptr);

  const struct {
    const wchar_t* name;
    VARTYPE vartype;
    std::uint32_t size, precision, scale;
    bool not_null;
    std::uint32_t sub_type;
    std::string default_value;  // "<VARTYPE>:<text>"
  } cases[] = {
      {L"v40", VT_BSTR, 40, 0, 0, false, 0, "0:"},
      {L"f74", VT_DECIMAL, 7, 7, 4, false, 0, "0:"},
      {L"f", VT_R4, 12, 0, 0, false, 0, "0:"},
      {L"d102", VT_R8, 10, 0, 0, false, 0, "0:"},
      {L"mt", VT_BSTR, 16777215 * 4, 0, 0, false, 0, "0:"},
      {L"mb", VT_ARRAY | VT_UI1, 16777215, 0, 0, false, 0, "0:"},
      {L"js", VT_BSTR, 4294967295u, 0, 0, false, 0, "0:"},
      {L"i_null", VT_I4, 11, 0, 0, false, 0, "0:"},
      {L"i_zero", VT_I4, 11, 0, 0, true, 0, "3:0"},
      {L"d0", VT_DATE, 10, 0, 0, false, 2, "0:"},
      {L"ts", VT_DATE, 19, 0, 0, true, 9, "0:"},
      {L"dt", VT_DATE, 19, 0, 0, true, 1, "0:"},
      {L"b1", VT_BOOL, 1, 0, 0, true, 0, "11:1"},
      {L"b16", VT_UI8, 16, 0, 0, true, 0, "21:5"},
      {L"s", VT_BSTR, 5, 0, 0, true, 0, "8:ab'c"},
      {L"dc", VT_DECIMAL, 12, 10, 2, false, 0, "14:1.5"},
      {L"dec0", VT_DECIMAL, 11, 10, 0, false, 0, "0:"},
      {L"decu", VT_DECIMAL, 11, 10, 2, false, 0, "0:"},
      {L"bu", VT_UI8, 20, 0, 0, false, 2, "0:"},
      {L"dtm", VT_DATE, 19, 0, 0, false, 1, "0:"},
      {L"vb", VT_ARRAY | VT_UI1, 4, 0, 0, true, 0, "8209:0x4142"},
      {L"expr", VT_I4, 11, 0, 0, true, 0, "0:"},
      {L"neg", VT_I4, 11, 0, 0, false, 0, "3:-5"},
  };
  for (const auto& c : cases) {
    const t_ftd& d = column(*table, c.name);
    const std::string name = plat::to_utf8(c.name);
    EXPECT_EQ(d.vartype, c.vartype) << name;
    EXPECT_EQ(d.size, c.size) << name;
    EXPECT_EQ(d.precision, c.precision) << name;
    EXPECT_EQ(d.scale, c.scale) << name;
    EXPECT_EQ(d.not_null, c.not_null) << name;
    EXPECT_EQ(d.dw_reserved, c.sub_type) << name;
    const std::string rendered = d.default_value.get_type() == VT_BSTR
                                     ? "8:" + plat::to_utf8(d.default_value.to_wstring())
                                     : std::to_string(d.default_value.get_type()) + ":" +
                                           d.default_value.to_string();
    EXPECT_EQ(rendered, c.default_value) << name;
  }
}

TEST(SqlSchema, IndexesKeepTheirColumnOrderAndThePrimaryKeyIsTheKey)
{
  sql_admin admin;
  scratch_database db(admin);
  db.run("CREATE TABLE ix (a INT, b INT, c INT, d INT, g GEOMETRY NOT NULL,"
         "PRIMARY KEY (b, a), UNIQUE KEY u_c (c), KEY k_dc (d, c), SPATIAL KEY sp (g))");
  auto engine = connected_engine();
  auto source = engine->open_db(db.wname(), 1, L"");
  auto table = source->get_table(L"ix", 1);
  const udb_indexes& indexes = table->get_indexes();
  ASSERT_EQ(indexes.size(), 4u);
  const struct {
    const wchar_t* name;
    bool unique, primary;
    std::vector<std::wstring> fields;
  } cases[] = {
      {L"PRIMARY", true, true, {L"b", L"a"}},
      {L"u_c", true, false, {L"c"}},
      {L"k_dc", false, false, {L"d", L"c"}},
      {L"sp", false, false, {L"g"}},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(indexes[i].name, cases[i].name);
    EXPECT_EQ(indexes[i].unique, cases[i].unique) << i;
    EXPECT_EQ(indexes[i].primary, cases[i].primary) << i;
    EXPECT_FALSE(indexes[i].unique_constraint);
    EXPECT_EQ(indexes[i].fields, cases[i].fields) << i;
  }
  EXPECT_EQ(table->get_key_index(), 0);
}

TEST(SqlSchema, ForeignKeysOfLinkedTablesBecomeRelationshipsOfTheDatabase)
{
  sql_admin admin;
  scratch_database db(admin);
  db.run("CREATE TABLE parent (id INT, code CHAR(2), PRIMARY KEY (id, code)) ENGINE=InnoDB");
  // A comment and a check that read like a constraint are no foreign keys.
  db.run("CREATE TABLE child (n INT PRIMARY KEY, pid INT, `p``code` CHAR(2),"
         " secret INT COMMENT 'CONSTRAINT c FOREIGN KEY (n) REFERENCES parent (id), DROP COLUMN secret -- ',"
         " CONSTRAINT `fk_child` FOREIGN KEY (pid, `p``code`) REFERENCES parent (id, code) "
         "ON DELETE CASCADE ON UPDATE SET NULL,"
         " CONSTRAINT `chk` CHECK (secret <> 0 OR 'FOREIGN KEY (n) REFERENCES parent (id)' <> '')) ENGINE=InnoDB");
  auto engine = connected_engine();
  auto source = engine->open_db(db.wname(), 1, L"");
  auto parent = source->get_table(L"parent", 1);
  EXPECT_TRUE(source->get_relationships().empty());
  auto child = source->get_table(L"child", 1);
  const udb_relationships& links = source->get_relationships();
  ASSERT_EQ(links.size(), 1u);
  EXPECT_EQ(links[0].name, L"fk_child");
  EXPECT_EQ(links[0].second_text, L"");
  EXPECT_EQ(links[0].fk_table, L"child");
  EXPECT_EQ(links[0].pk_table, L"parent");
  EXPECT_EQ(links[0].fk_flds, (std::vector<std::wstring>{L"pid", L"p`code"}));
  EXPECT_EQ(links[0].pk_flds, (std::vector<std::wstring>{L"id", L"code"}));
  EXPECT_EQ(links[0].rule, L"ON DELETE CASCADE ON UPDATE SET NULL");
}

TEST(SqlSchema, ModesWithoutIndexesReadNeitherIndexesNorForeignKeys)
{
  sql_admin admin;
  scratch_database db(admin);
  db.run("CREATE TABLE parent (id INT PRIMARY KEY)");
  db.run("CREATE TABLE child (id INT PRIMARY KEY, pid INT, FOREIGN KEY (pid) REFERENCES parent (id))");
  auto engine = connected_engine();
  auto source = engine->open_db(db.wname(), 1, L"");
  for (const std::uint32_t mode : {0u, 0x20u, 0x40u, 0x60u}) {
    auto child = source->get_table(L"child", mode);
    EXPECT_TRUE(child->get_indexes().empty()) << mode;
    EXPECT_TRUE(source->get_relationships().empty()) << mode;
  }
  auto child = source->get_table(L"CHILD", 1);
  EXPECT_EQ(child->get_name(), L"child");
  EXPECT_EQ(child->get_indexes().size(), 2u);
  EXPECT_EQ(source->get_relationships().size(), 1u);
}

TEST(SqlSchema, BlobToTextIsBackAfterAFailedDescription)
{
  sql_admin admin;
  scratch_database db(admin);
  db.run("CREATE TABLE gone (a INT)");
  auto engine = connected_engine();
  auto source = engine->open_db(db.wname(), 1, L"");
  db.run("DROP TABLE gone");
  for (const bool flag : {false, true}) {
    engine->set_blob_to_text(flag);
    EXPECT_THROW(source->get_table(L"gone", 1), sql_exception);
    EXPECT_EQ(engine->is_blob_to_text(), flag);
  }
}
