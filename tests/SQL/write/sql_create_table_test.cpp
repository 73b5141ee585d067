// The column and index clauses of CREATE TABLE: the type of every descriptor, the
// row budget, the clause texts for new and old servers, the index limits, and
// tables built from those clauses on the real server and read back.
#include "SQL/sql_test_support.h"
#include "SQL/write/sql_db_write.h"
#include "SQL/write/sql_engi_write.h"
#include "property_tree.h"
#include "recording_reporter.h"

#include "SQL/write/sql_create_retry.h"
#include "SQL/write/sql_init.h"
#include "SQL/write/sql_types.h"
#include "TK/tk_exception.h"
#include "UDB/udb_field.h"
#include "UDB/udb_recs.h"

#include <gtest/gtest.h>
#include <mysqld_error.h>

#include <string>
#include <vector>

namespace {

constexpr std::uint32_t server_10_11 = 0x0A0B00;
constexpr VARTYPE byte_array = VT_ARRAY | VT_UI1;

t_ftd column(const std::wstring& name, VARTYPE type, std::uint32_t size, std::uint32_t sub_type = 0,
             const ole_variant& default_value = ole_variant(), bool not_null = false,
             bool auto_increment = false)
{
  return t_ftd(size, name, type, not_null, auto_increment, default_value, sub_type, L"");
}

t_ftd seconds(t_ftd column, std::uint32_t digits)
{
  column.scale = digits;
  return column;
}

udb_schema schema_of(std::initializer_list<t_ftd> columns)
{
  udb_schema schema;
  for (const t_ftd& c : columns)
    schema.emplace_back(c);
  return schema;
}

struct table_definition {
  std::vector<std::wstring> columns;
  std::vector<std::wstring> indexes;
  std::wstring auto_increment_name;
  t_names_map renamed;
  std::vector<std::wstring> column_names;

  std::string create_statement(const std::string& table) const
  {
    std::wstring body;
    for (const auto* list : {&columns, &indexes})
      for (const std::wstring& clause : *list)
        body += (body.empty() ? L"" : L", ") + clause;
    return "CREATE TABLE `" + table + "` (" + plat::to_utf8(body) + ")";
  }
};

// What the table writer does with the two initializers, in the same order.
table_definition define(const sql_engine& engine, const udb_schema& source, const udb_indexes& indexes,
                        const udb_properties* table_node = nullptr)
{
  table_definition d;
  sql_schema_initializer columns(engine, L"t", source, indexes, d.auto_increment_name);
  columns.get_init_chunks(d.columns, table_node);
  sql_indexes_initializer index_clauses(engine, columns.get_schema(), indexes, d.auto_increment_name,
                                        columns.get_names_map());
  index_clauses.get_init_chunks(d.indexes);
  d.renamed = columns.get_names_map();
  for (const auto& c : columns.get_schema())
    d.column_names.push_back(c->name);
  return d;
}

udb_indexes indexes_of(std::initializer_list<udb_index> list)
{
  udb_indexes indexes;
  for (const udb_index& i : list)
    indexes.push_back(i);
  return indexes;
}

} // namespace

TEST(SqlColumnTypes, EachDescriptorGetsItsMySqlType)
{
  t_ftd decimal = column(L"d", VT_DECIMAL, 12);
  decimal.precision = 10;
  decimal.scale = 2;
  const struct {
    t_ftd column;
    const wchar_t* type;
  } cases[] = {
      {column(L"c", VT_I1, 4), L"TINYINT"},
      {column(L"c", VT_UI1, 3), L"TINYINT UNSIGNED"},
      {column(L"c", VT_I2, 6), L"SMALLINT"},
      {column(L"c", VT_UI2, 5), L"SMALLINT UNSIGNED"},
      {column(L"c", VT_I4, 11), L"INT"},
      {column(L"c", VT_INT, 11), L"INT"},
      {column(L"c", VT_UI4, 10), L"INT UNSIGNED"},
      {column(L"c", VT_UINT, 10), L"INT UNSIGNED"},
      {column(L"c", VT_I8, 20), L"BIGINT"},
      {column(L"c", VT_UI8, 20), L"BIGINT UNSIGNED"},
      {column(L"c", VT_R4, 12), L"FLOAT"},
      {column(L"c", VT_R8, 22), L"DOUBLE"},
      {column(L"c", VT_BOOL, 1), L"TINYINT(1)"},
      {column(L"c", VT_CY, 19), L"DECIMAL(19,4)"},
      {decimal, L"DECIMAL(10,2)"},
      {column(L"c", VT_DECIMAL, 12), L"DOUBLE"},
      {column(L"c", VT_DATE, 19, 0), L"CHAR(19)"},
      {column(L"c", VT_DATE, 19, 1), L"DATETIME"},
      {column(L"c", VT_DATE, 10, 2), L"DATE"},
      {column(L"c", VT_DATE, 8, 3), L"TIME"},
      {column(L"c", VT_DATE, 19, 9), L"TIMESTAMP"},
      {column(L"c", VT_DATE, 10, 10), L"DATE"},
      {column(L"c", VT_DATE, 19, 2, L"now()"), L"TIMESTAMP"},
      {column(L"c", VT_DATE, 19, 0, L"SYSDATE()"), L"TIMESTAMP"},
      {column(L"c", VT_DATE, 19, 1, L"GetUtcDate()"), L"TIMESTAMP"},
      {column(L"c", VT_DATE, 19, 1, L"Date()"), L"DATE"},
      {column(L"c", VT_BSTR, 21844), L"VARCHAR(21844)"},
      // 21,845 characters cannot be a utf8 VARCHAR: the row limit refuses it.
      {column(L"c", VT_BSTR, 21845), L"MEDIUMTEXT"},
      {seconds(column(L"c", VT_DATE, 26, 1), 6), L"DATETIME(6)"},
      {seconds(column(L"c", VT_DATE, 12, 3), 3), L"TIME(3)"},
      {seconds(column(L"c", VT_DATE, 26, 9), 6), L"TIMESTAMP(6)"},
      {seconds(column(L"c", VT_DATE, 26, 0), 6), L"CHAR(26)"},
      {column(L"c", VT_BSTR, 5592405), L"MEDIUMTEXT"},
      {column(L"c", VT_BSTR, 5592406), L"LONGTEXT"},
      {column(L"c", VT_BSTR, 0), L"LONGTEXT"},
      {column(L"c", VT_BSTR, 100, 2), L"geometry"},
      {column(L"c", VT_BSTR, 100, 8), L"geometry"},
      {column(L"c", VT_BSTR, 7, 16), L"CHAR(7)"},
      {column(L"c", byte_array, 255), L"VARBINARY(255)"},
      {column(L"c", byte_array, 256), L"BLOB"},
      {column(L"c", VT_BLOB, 65535), L"BLOB"},
      {column(L"c", byte_array, 65536), L"MEDIUMBLOB"},
      {column(L"c", byte_array, 16777215), L"MEDIUMBLOB"},
      {column(L"c", byte_array, 16777216), L"LONGBLOB"},
      {column(L"c", VT_BLOB, 0), L"LONGBLOB"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(get_sql_native_type2(c.column), c.type)
        << c.column.vartype << " size " << c.column.size << " sub " << c.column.dw_reserved;
  // utf8mb4 takes four bytes a character; servers before 5.6.4 keep whole seconds.
  for (const auto& [size, type] : {std::pair{16383u, L"VARCHAR(16383)"}, std::pair{16384u, L"MEDIUMTEXT"},
                                   std::pair{4194303u, L"MEDIUMTEXT"}, std::pair{4194304u, L"LONGTEXT"}})
    EXPECT_EQ(get_sql_native_type2(column(L"c", VT_BSTR, size), 4), type) << size;
  EXPECT_EQ(get_sql_native_type2(seconds(column(L"c", VT_DATE, 26, 1), 6), 4, false), L"DATETIME");
  EXPECT_EQ(sql_bytes_per_char(L"UTF8MB4"), 4u);
  EXPECT_EQ(sql_bytes_per_char(L"utf8mb3"), 3u);
  EXPECT_EQ(sql_bytes_per_char(L"latin1"), 1u);
  EXPECT_EQ(sql_bytes_per_char(L"no such set"), 4u);

  for (VARTYPE unsupported : {VT_EMPTY, VT_NULL, VT_VARIANT, VT_ERROR})
    EXPECT_THROW(get_sql_native_type2(column(L"c", unsupported, 1)), tk_mail_assertion);
  EXPECT_EQ(get_native_type_name(0), L"BINARY");
  EXPECT_EQ(get_native_type_name(27), L"TINYTEXT");
  EXPECT_EQ(get_native_type_name(28), L"<Unknown type>");
}

TEST(SqlRowBudget, TheLargestShortTextsBecomeLongtextUntilTheRowFits)
{
  sql_schema one;
  one.push_back(std::make_shared<t_ftd>(column(L"big", VT_BSTR, 21844)));
  EXPECT_EQ(one[0]->size, 0u) << "87,376 budget bytes alone turn it into LONGTEXT";
  EXPECT_EQ(one.total_size(), 0u);

  sql_schema medium;
  medium.push_back(std::make_shared<t_ftd>(column(L"m", VT_BSTR, 21845)));
  medium.push_back(std::make_shared<t_ftd>(column(L"fixed", VT_BSTR, 200, 16)));
  medium.push_back(std::make_shared<t_ftd>(column(L"blob", VT_BLOB, 5000000)));
  EXPECT_TRUE(medium.lobs().empty());
  EXPECT_EQ(medium.total_size(), 12u + 200u + 12u);

  sql_schema twenty;
  for (int i = 1; i <= 20; ++i)
    twenty.push_back(std::make_shared<t_ftd>(column(L"c" + std::to_wstring(i), VT_BSTR, 1000)));
  for (std::size_t i = 0; i < 20; ++i)
    EXPECT_EQ(twenty[i]->size, i < 16 ? 1000u : 0u) << "column " << i + 1;
  EXPECT_EQ(twenty.total_size(), 64000u);
  EXPECT_EQ(twenty.lobs().size(), 16u);

  // A later, larger text goes first; other columns count their own size.
  sql_schema mixed;
  mixed.push_back(std::make_shared<t_ftd>(column(L"bin", VT_BLOB, 255)));
  mixed.push_back(std::make_shared<t_ftd>(column(L"num", VT_DECIMAL, 59745)));
  mixed.push_back(std::make_shared<t_ftd>(column(L"small", VT_BSTR, 100)));
  mixed.push_back(std::make_shared<t_ftd>(column(L"large", VT_BSTR, 2000)));
  EXPECT_EQ(mixed[2]->size, 100u);
  EXPECT_EQ(mixed[3]->size, 0u);
  EXPECT_EQ(mixed.total_size(), 60400u);
  EXPECT_THROW(mixed.push_back(nullptr), tk_mail_assertion);
}

TEST(SqlColumnClauses, EachClauseCarriesNameTypeCharsetNotNullDefaultAutoIncrementAndComment)
{
  sql_write_engine engine;
  engine.set_server_version(server_10_11);
  t_ftd native_lower = column(L"nl", VT_BSTR, 20);
  native_lower.native_type = L"varchar(20)";
  t_ftd native_upper = column(L"nu", VT_BSTR, 20);
  native_upper.native_type = L"VARCHAR(20)";
  t_ftd commented = column(L"note", VT_I4, 11);
  commented.comment = L"O'x\\";
  const udb_schema source = schema_of({
      column(L"id", VT_I4, 11, 0, ole_variant(), false, true),
      column(L"ID", VT_BSTR, 10),
      column(L"code", VT_BSTR, 8, 0, L"a'b"),
      column(L"qty", VT_I4, 11, 0, L"5", true),
      column(L"ratio", VT_R8, 22, 0, ole_variant(), false, true),
      native_lower,
      native_upper,
      commented,
      column(L"shape", VT_BSTR, 100, 2),
      column(L"memo", VT_BSTR, 0, 0, L"x"),
      column(L"pic", VT_BLOB, 100),
  });
  const udb_indexes indexes = indexes_of({udb_index(L"PRIMARY", true, true, {L"code"}),
                                          udb_index(L"k", false, false, {L"qty"})});
  property_node table;
  table.child(L"code").set(L"character_set", L"latin1");

  const table_definition d = define(engine, source, indexes, &table);
  const std::vector<std::wstring> expected = {
      L"`id` INT NOT NULL AUTO_INCREMENT",
      L"`id00000` VARCHAR(10) CHARACTER SET utf8",
      L"`code` VARCHAR(8) CHARACTER SET latin1 NOT NULL DEFAULT 'a\\'b'",
      L"`qty` INT NOT NULL DEFAULT 5",
      L"`ratio` DOUBLE NOT NULL",
      L"`nl` varchar(20)",
      L"`nu` VARCHAR(20) CHARACTER SET utf8",
      L"`note` INT COMMENT 'O\\'x\\\\'",
      L"`shape` geometry",
      L"`memo` LONGTEXT CHARACTER SET utf8",
      L"`pic` VARBINARY(100)",
  };
  EXPECT_EQ(d.columns, expected);
  EXPECT_EQ(d.auto_increment_name, L"id");
  EXPECT_EQ(d.renamed.size(), 1u);
  EXPECT_EQ(d.renamed.at(L"ID"), L"id00000");
  // The auto-increment column is in no index: it gets one of its own.
  EXPECT_EQ(d.indexes, (std::vector<std::wstring>{L"PRIMARY KEY (`code`)", L"INDEX `k` (`qty`)",
                                                  L"INDEX `id` (`id`)"}));

  const udb_schema two_counters = schema_of({column(L"a", VT_I4, 11, 0, ole_variant(), false, true),
                                             column(L"b", VT_I8, 20, 0, ole_variant(), false, true)});
  std::wstring auto_name;
  sql_schema_initializer init(engine, L"t", two_counters, udb_indexes(), auto_name);
  std::vector<std::wstring> chunks;
  EXPECT_THROW(init.get_init_chunks(chunks, nullptr), tk_mail_assertion);
}

TEST(SqlColumnClauses, OldServersGetBareNamesNoCharacterSetAndNotNullOnEveryIndexField)
{
  sql_write_engine engine;
  engine.set_server_version(0x031701);  // 3.23.1
  const udb_schema source = schema_of({column(L"name", VT_BSTR, 10), column(L"n", VT_I4, 11)});
  const table_definition d =
      define(engine, source, indexes_of({udb_index(L"k", false, false, {L"name"})}));
  EXPECT_EQ(d.columns, (std::vector<std::wstring>{L"name VARCHAR(10) NOT NULL", L"n INT"}));
  EXPECT_EQ(d.indexes, std::vector<std::wstring>{L"INDEX `k` (`name`)"});

  engine.set_server_version(0x040012);  // 4.0.18: an index field stays nullable
  EXPECT_EQ(define(engine, source, indexes_of({udb_index(L"k", false, false, {L"name"})})).columns[0],
            L"name VARCHAR(10)");
}

TEST(SqlIndexClauses, IndexesTheServerWouldRefuseAreGivenUpAndTheRestWritten)
{
  sql_write_engine engine;
  engine.set_server_version(server_10_11);
  std::vector<std::wstring> sixteen, seventeen;
  udb_schema source;
  for (int i = 0; i < 17; ++i) {
    const std::wstring name = L"f" + std::to_wstring(i);
    source.emplace_back(column(name, VT_I4, 11));
    (i < 16 ? sixteen : seventeen).push_back(name);
  }
  seventeen.insert(seventeen.begin(), sixteen.begin(), sixteen.end());
  for (const t_ftd& c : {column(L"t768", VT_BSTR, 768), column(L"t769", VT_BSTR, 769),
                         column(L"v600a", VT_BSTR, 600), column(L"v600b", VT_BSTR, 600),
                         column(L"id", VT_I4, 11, 0, ole_variant(), true, true),
                         column(L"pic", VT_BLOB, 10), column(L"Name", VT_BSTR, 10),
                         column(L"name", VT_BSTR, 10)})
    source.emplace_back(c);

  const udb_indexes indexes = indexes_of({
      udb_index(L"", false, false, {L"f1"}),
      udb_index(L"pk", true, true, {L"f0"}),
      udb_index(L"k16", false, false, sixteen),
      udb_index(L"k17", false, false, seventeen),
      udb_index(L"k768", false, false, {L"t768"}),
      // Over 768 characters a whole text is a plain key only (cut when too
      // long for the server); unique, it is given up.
      udb_index(L"k769", false, false, {L"t769"}),
      udb_index(L"u769", true, false, {L"t769"}),
      // 1,200 characters are 3,600 bytes in utf8: over InnoDB's 3,072, so the
      // prefix of a part is cut; a unique key would be given up instead.
      udb_index(L"k1200", false, false, {L"v600a", L"v600b"}),
      udb_index(L"u1200", true, false, {L"v600a", L"v600b"}),
      // The only index of the counter is given up: it must still become a key.
      udb_index(L"kid", false, false, {L"id", L"pic"}),
      udb_index(L"missing", false, false, {L"nowhere"}),
      udb_index(L"u", true, false, {L"name"}),
      udb_index(L"U ", true, false, {L"Name"}),
  });
  const table_definition d = define(engine, source, indexes);
  EXPECT_EQ(d.column_names[24], L"name00000");
  const std::vector<std::wstring> expected = {
      L"INDEX  (`f1`)",
      L"PRIMARY KEY (`f0`)",
      L"INDEX `k16` (`f0`, `f1`, `f2`, `f3`, `f4`, `f5`, `f6`, `f7`, `f8`, `f9`, `f10`, `f11`, "
      L"`f12`, `f13`, `f14`, `f15`)",
      L"INDEX `k768` (`t768`)",
      L"INDEX `k769` (`t769`)",
      L"INDEX `k1200` (`v600a`(424), `v600b`)",
      L"UNIQUE `u` (`name00000`)",
      L"UNIQUE `u00000` (`Name`)",
      L"INDEX `id` (`id`)",
  };
  EXPECT_EQ(d.indexes, expected);

  sql_admin admin;
  scratch_database db(admin);
  db.run(d.create_statement("limits"));
  EXPECT_EQ(admin.value("SELECT COUNT(DISTINCT INDEX_NAME) FROM information_schema.STATISTICS "
                        "WHERE TABLE_SCHEMA='" + db.name() + "' AND TABLE_NAME='limits'"),
            "9");
}

TEST(SqlIndexClauses, OnlySixtyThreeIndexesAreLookedAtAndFifteenOnOldServers)
{
  sql_write_engine engine;
  udb_schema source;
  udb_indexes indexes;
  for (int i = 0; i < 70; ++i) {
    const std::wstring name = L"c" + std::to_wstring(i);
    source.emplace_back(column(name, VT_I4, 11));
    indexes.push_back(udb_index(L"k" + std::to_wstring(i), false, false, {name}));
  }
  engine.set_server_version(server_10_11);
  const table_definition d = define(engine, source, indexes);
  EXPECT_EQ(d.indexes.size(), 63u);
  EXPECT_EQ(d.indexes.back(), L"INDEX `k62` (`c62`)");
  engine.set_server_version(0x040012);
  EXPECT_EQ(define(engine, source, indexes).indexes.size(), 15u);
  engine.set_server_version(server_10_11);

  sql_admin admin;
  scratch_database db(admin);
  db.run(d.create_statement("many"));
  EXPECT_EQ(admin.value("SELECT COUNT(DISTINCT INDEX_NAME) FROM information_schema.STATISTICS "
                        "WHERE TABLE_SCHEMA='" + db.name() + "' AND TABLE_NAME='many'"),
            "63");
}

TEST(SqlCreateTable, EveryTypeDefaultAndKeyIsCreatedAsDefinedAndReadsBack)
{
  auto engine = connected_engine<sql_write_engine>();
  t_ftd decimal = column(L"dec", VT_DECIMAL, 12, 0, L"1.25");
  decimal.precision = 10;
  decimal.scale = 2;
  t_ftd commented = column(L"name", VT_BSTR, 40, 0, L"O'Brien \\ x", true);
  commented.comment = L"O'x\\";
  const udb_schema source = schema_of({
      column(L"id", VT_I4, 11, 0, ole_variant(), false, true),
      column(L"i1", VT_I1, 4, 0, L"-3"),
      column(L"u1", VT_UI1, 3),
      column(L"i2", VT_I2, 6),
      column(L"u2", VT_UI2, 5),
      column(L"u4", VT_UI4, 10),
      column(L"i8", VT_I8, 20),
      column(L"u8", VT_UI8, 20),
      column(L"r4", VT_R4, 12),
      column(L"r8", VT_R8, 22),
      column(L"flag", VT_BOOL, 1, 0, L"1", true),
      column(L"cy", VT_CY, 19),
      decimal,
      column(L"dtext", VT_DATE, 19, 0),
      column(L"dt", VT_DATE, 19, 1, L"2001-02-03 04:05:06"),
      column(L"d", VT_DATE, 10, 2, L"2001-02-03"),
      column(L"t", VT_DATE, 8, 3),
      column(L"stamp", VT_DATE, 19, 9),
      column(L"today", VT_DATE, 10, 10),
      column(L"sys", VT_DATE, 19, 0, L"sysdate()"),
      commented,
      column(L"ID", VT_BSTR, 5),
      column(L"fixed", VT_BSTR, 3, 16),
      column(L"shape", VT_BSTR, 100, 2),
      column(L"medium", VT_BSTR, 21845),
      column(L"memo", VT_BSTR, 0),
      column(L"vb", byte_array, 16),
      // Stored off the row: it must not push the keyed texts out to LONGTEXT.
      column(L"pic", VT_BLOB, 70000),
  });
  const udb_indexes indexes = indexes_of({udb_index(L"PRIMARY", true, true, {L"name", L"i1"}),
                                          udb_index(L"by_id", true, false, {L"ID"})});
  const table_definition d = define(*engine, source, indexes);

  sql_admin admin;
  scratch_database db(admin);
  db.run(d.create_statement("all_types"));

  // What the server made of each clause, as its own catalogue shows it (a date kept
  // as text takes the database's character set).
  const std::string rows = "SELECT GROUP_CONCAT(CONCAT_WS('|', COLUMN_NAME, COLUMN_TYPE, IS_NULLABLE,"
                           " IFNULL(COLUMN_DEFAULT,'-'), EXTRA, IFNULL(CHARACTER_SET_NAME,'-'),"
                           " COLUMN_COMMENT) ORDER BY ORDINAL_POSITION SEPARATOR '\\n')"
                           " FROM information_schema.COLUMNS WHERE TABLE_SCHEMA='" +
                           db.name() + "' AND TABLE_NAME='all_types'";
  const std::string expected = "id|int(11)|NO|-|auto_increment|-|\n"
                               "i1|tinyint(4)|NO|-3||-|\n"
                               "u1|tinyint(3) unsigned|YES|NULL||-|\n"
                               "i2|smallint(6)|YES|NULL||-|\n"
                               "u2|smallint(5) unsigned|YES|NULL||-|\n"
                               "u4|int(10) unsigned|YES|NULL||-|\n"
                               "i8|bigint(20)|YES|NULL||-|\n"
                               "u8|bigint(20) unsigned|YES|NULL||-|\n"
                               "r4|float|YES|NULL||-|\n"
                               "r8|double|YES|NULL||-|\n"
                               "flag|tinyint(1)|NO|1||-|\n"
                               "cy|decimal(19,4)|YES|NULL||-|\n"
                               "dec|decimal(10,2)|YES|1.25||-|\n"
                               "dtext|char(19)|YES|NULL||utf8mb4|\n"
                               "dt|datetime|YES|'2001-02-03 04:05:06'||-|\n"
                               "d|date|YES|'2001-02-03'||-|\n"
                               "t|time|YES|NULL||-|\n"
                               "stamp|timestamp|YES|current_timestamp()||-|\n"
                               "today|date|YES|curdate()||-|\n"
                               "sys|timestamp|YES|current_timestamp()||-|\n"
                               "name|varchar(40)|NO|'O''Brien \\\\ x'||utf8mb4|O'x\\\n"
                               "id00000|varchar(5)|YES|NULL||utf8mb4|\n"
                               "fixed|char(3)|YES|NULL||utf8mb4|\n"
                               "shape|geometry|YES|NULL||-|\n"
                               "medium|mediumtext|YES|NULL||utf8mb4|\n"
                               "memo|longtext|YES|NULL||utf8mb4|\n"
                               "vb|varbinary(16)|YES|NULL||-|\n"
                               "pic|mediumblob|YES|NULL||-|";
  EXPECT_EQ(admin.value(rows), expected);

  // The reading side sees the same table: keys, counter and the date sub-types.
  auto target = engine->open_db(db.wname(), 1, L"");
  auto table = target->get_table(L"all_types", 1);
  const udb_schema& read = table->get_schema();
  ASSERT_EQ(read.size(), source.size());
  EXPECT_TRUE(read.find(L"id")->auto_increment);
  EXPECT_TRUE(read.find(L"name")->not_null);
  EXPECT_EQ(read.find(L"stamp")->dw_reserved, 9u);
  EXPECT_EQ(read.find(L"d")->dw_reserved, 2u);
  EXPECT_EQ(read.find(L"name")->default_value.to_wstring(), L"O'Brien \\ x");
  EXPECT_EQ(read.find(L"dec")->vartype, VT_DECIMAL);
  const udb_indexes& keys = table->get_indexes();
  ASSERT_EQ(keys.size(), 3u);
  EXPECT_EQ(keys[0].fields, (std::vector<std::wstring>{L"name", L"i1"}));
  EXPECT_EQ(keys[1].fields, std::vector<std::wstring>{L"id00000"});
  EXPECT_EQ(keys[2].name, L"id");
}

TEST(SqlCreateTable, RowBudgetCasesAreTablesTheServerTakes)
{
  auto engine = connected_engine<sql_write_engine>();
  sql_admin admin;
  scratch_database db(admin);
  udb_schema twenty;
  for (int i = 1; i <= 20; ++i)
    twenty.emplace_back(column(L"c" + std::to_wstring(i), VT_BSTR, 1000, 0, L"x"));
  // The server has utf8mb4: four bytes a character.
  const table_definition wide = define(*engine, twenty, udb_indexes());
  EXPECT_EQ(wide.columns[15], L"`c16` VARCHAR(1000) CHARACTER SET utf8mb4 DEFAULT 'x'");
  EXPECT_EQ(wide.columns[16], L"`c17` LONGTEXT CHARACTER SET utf8mb4");
  db.run(wide.create_statement("twenty"));

  for (std::uint32_t size : {16383u, 16384u, 21844u}) {
    const table_definition one = define(*engine, schema_of({column(L"t", VT_BSTR, size, 0, L"d")}),
                                        udb_indexes());
    db.run(one.create_statement("one_" + std::to_string(size)));
  }
  EXPECT_EQ(admin.value("SELECT GROUP_CONCAT(DATA_TYPE ORDER BY TABLE_NAME) FROM "
                        "information_schema.COLUMNS WHERE TABLE_SCHEMA='" + db.name() +
                        "' AND TABLE_NAME LIKE 'one%'"),
            "varchar,mediumtext,mediumtext");

}

TEST(SqlCreateRetry, EachRefusalChangesOneSettingAndTheAttemptsEnd)
{
  struct refusal {
    unsigned error_number;
    const char* message;
    sql_create_retry::step step;
    bool dynamic;  // whether the next statement asks for DYNAMIC rows
  };
  struct sequence {
    const char* what;
    bool can_ask_dynamic;
    std::vector<refusal> refusals;
  };
  using step = sql_create_retry::step;
  const std::string key_of_767 = "Specified key was too long; max key length is 767 bytes";
  const sequence sequences[] = {
      {"a row too big asks for DYNAMIC, then moves texts out",
       true,
       {{ER_TOO_BIG_ROWSIZE, "Row size too large", step::again, true},
        {ER_TOO_BIG_ROWSIZE, "Row size too large", step::widen_a_text, true}}},
      {"a server that refuses DYNAMIC is not asked again",
       true,
       {{ER_TOO_BIG_ROWSIZE, "Row size too large", step::again, true},
        {ER_ILLEGAL_HA_CREATE_OPTION, "does not support the create option", step::again, false},
        {ER_TOO_BIG_ROWSIZE, "Row size too large", step::widen_a_text, false},
        {ER_TOO_LONG_KEY, key_of_767.c_str(), step::again, false}}},
      {"a key too long is cut once to the limit the server named",
       false,
       {{ER_TOO_LONG_KEY, key_of_767.c_str(), step::again, false},
        {ER_TOO_LONG_KEY, key_of_767.c_str(), step::give_up, false}}},
      {"a key too long without a limit named stays refused",
       false,
       {{ER_INDEX_COLUMN_TOO_LONG, "Index column size too large", step::give_up, false}}},
      {"an option refused while none was asked for stays refused",
       true,
       {{ER_ILLEGAL_HA_CREATE_OPTION, "does not support the create option", step::give_up, false}}},
      {"any other refusal stands",
       true,
       {{ER_PARSE_ERROR, "You have an error in your SQL syntax", step::give_up, false}}},
  };
  for (const sequence& s : sequences) {
    SCOPED_TRACE(s.what);
    sql_create_retry retry(s.can_ask_dynamic);
    for (const refusal& r : s.refusals) {
      EXPECT_EQ(retry.after(r.error_number, r.message), r.step) << r.error_number;
      EXPECT_EQ(retry.dynamic(), r.dynamic) << r.error_number;
    }
  }
  sql_create_retry cut(false);
  cut.after(ER_TOO_LONG_KEY, "max key length is 1000 bytes");
  cut.after(ER_INDEX_COLUMN_TOO_LONG, "Index column size too large. The maximum column size is 767 bytes.");
  EXPECT_EQ(cut.key_bytes(), 1000u);
  EXPECT_EQ(cut.part_bytes(), 767u);
}

namespace {

// A table of the test's source database created on a target database through
// the engine-neutral interfaces, its rows copied by a second engine, as a copy
// between two servers would do it.
class SqlCopiedTable : public sql_reporting_test {
protected:
  std::unique_ptr<udb_recordset> copy(const std::wstring& table, scratch_database& to)
  {
    auto source = engine_->open_db(db.wname(), 1, L"");
    auto rows = source->get_table(table, 1);
    target_ = writer_->open_db(to.wname(), 0, L"");
    auto made = target_->create_table(table, rows->get_schema(), rows->get_indexes());
    for (rows->reset(); !rows->is_eof(); rows->next())
      made->append_record(*rows->get_item(), static_cast<std::uint32_t>(rows->get_item()->size()));
    made->save();
    return made;
  }

  std::unique_ptr<sql_write_engine> writer_ = connected_engine<sql_write_engine>();
  std::unique_ptr<udb_database> target_;
};

} // namespace

TEST_F(SqlCopiedTable, FractionalSecondsKeepTheirDigitsAndTheirColumnsPrecision)
{
  db.run("CREATE TABLE f (id INT PRIMARY KEY, dt DATETIME(6), tm TIME(6), ts TIMESTAMP(6) NULL, "
         "t3 TIMESTAMP(3) NOT NULL DEFAULT CURRENT_TIMESTAMP(3), d0 DATETIME)");
  db.run("INSERT INTO f VALUES (1, '2024-01-02 03:04:05.123456', '-838:59:58.999999', '2038-01-19 03:14:07.000001', "
         "'2001-02-03 04:05:06.789', '2024-01-02 03:04:05'), (2, '1000-01-01 00:00:00.5', '10:20:30.000009', NULL, "
         "'2001-02-03 04:05:06', NULL)");
  scratch_database to(admin, "_to");
  copy(L"f", to);
  const std::string columns = "SELECT GROUP_CONCAT(CONCAT(COLUMN_NAME, ' ', COLUMN_TYPE, ' ', IFNULL(COLUMN_DEFAULT, '-')) "
                              "ORDER BY ORDINAL_POSITION) FROM information_schema.COLUMNS WHERE TABLE_NAME = 'f' AND "
                              "TABLE_SCHEMA = ";
  EXPECT_EQ(admin.value(columns + "'" + to.name() + "'"),
            "id int(11) -,dt datetime(6) NULL,tm time(6) NULL,ts datetime(6) NULL,"
            "t3 timestamp(3) current_timestamp(3),d0 datetime NULL");
  const std::string rows = "SELECT GROUP_CONCAT(CONCAT_WS('|', id, dt, tm, IFNULL(ts, '-'), t3, IFNULL(d0, '-')) ORDER BY id) FROM ";
  EXPECT_EQ(admin.value(rows + to.quoted() + ".f"), admin.value(rows + db.quoted() + ".f"));
}

TEST_F(SqlCopiedTable, KeysKeepTheirPrefixesCountFourBytesACharacterAndLostUniqueOnesAreReported)
{
  // The source's keys fit its latin1 and utf8mb4 columns; the target makes every
  // text column utf8mb4.
  db.run("CREATE TABLE k (id INT PRIMARY KEY, a VARCHAR(2000) CHARACTER SET latin1, b TEXT, c VARCHAR(100), "
         "UNIQUE KEY ua (a(100)), UNIQUE KEY ub (b(50)), UNIQUE KEY uc (c(10), a(760)), KEY kn (a(700), c(100)))");
  db.run("INSERT INTO k VALUES (1, REPEAT('x', 1500), 'same start, then 1', 'c1'), "
         "(2, CONCAT('y', REPEAT('x', 1499)), 'other', 'c2')");
  scratch_database to(admin, "_to");
  auto made = copy(L"k", to);
  EXPECT_EQ(made->get_record_count(), 2u);
  EXPECT_EQ(admin.value("SELECT GROUP_CONCAT(CONCAT(INDEX_NAME, ':', COLUMN_NAME, ':', IFNULL(SUB_PART, '-')) "
                        "ORDER BY INDEX_NAME, SEQ_IN_INDEX) FROM information_schema.STATISTICS WHERE TABLE_SCHEMA = '" +
                        to.name() + "' AND TABLE_NAME = 'k'"),
            "kn:a:668,kn:c:-,PRIMARY:id:-,ua:a:100,ub:b:50");
  ASSERT_EQ(reporter.reports.size(), 2u);
  EXPECT_EQ(reporter.reports[0].context, L"Table 'k'");
  EXPECT_EQ(reporter.reports[0].message,
            "The unique index 'uc' is not created: its key of 3080 bytes is longer than the 3072 the server takes.");
  EXPECT_EQ(reporter.reports[1].message,
            "The server takes keys of fewer bytes; the index 'kn' holds shorter prefixes of its texts.");
  // The prefix still refuses what the source refused.
  EXPECT_THROW(admin.run("INSERT INTO " + to.quoted() + ".k (id, a) VALUES (3, CONCAT(REPEAT('x', 100), 'z'))"),
               std::runtime_error);
}

TEST_F(SqlCopiedTable, RowsTooLargeForThePageGetTheirWidestTextsAsTextAndOneReport)
{
  std::string columns, values;
  for (int i = 0; i < 40; ++i) {
    columns += ", c" + std::to_string(i) + (i == 7 ? " VARCHAR(61)" : " VARCHAR(60)");
    values += ", REPEAT('" + std::string(1, static_cast<char>('a' + i % 26)) + "', 60)";
  }
  // The source is utf8mb3: its rows fit InnoDB's page; at four bytes a character they do not.
  db.run("CREATE TABLE wide (id INT PRIMARY KEY" + columns + ", UNIQUE KEY u7 (c7)) CHARACTER SET utf8mb3");
  db.run("INSERT INTO wide VALUES (1" + values + ")");
  scratch_database to(admin, "_to");
  auto made = copy(L"wide", to);
  EXPECT_EQ(made->get_record_count(), 1u);
  const std::string text_columns = admin.value(
      "SELECT GROUP_CONCAT(COLUMN_NAME ORDER BY ORDINAL_POSITION) FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = '" +
      to.name() + "' AND TABLE_NAME = 'wide' AND DATA_TYPE = 'text'");
  EXPECT_EQ(text_columns.substr(0, 6), "c0,c1,") << text_columns;
  EXPECT_NE(text_columns.find("c7"), std::string::npos) << text_columns;
  ASSERT_EQ(reporter.reports.size(), 1u);
  EXPECT_EQ(reporter.reports[0].context, L"Table 'wide'");
  // The widest goes first.
  EXPECT_EQ(reporter.reports[0].message.substr(0, 59), "The server refused the row's size; the columns 'c7', 'c0', ");
  std::string list;
  for (int i = 0; i < 40; ++i)
    list += (i == 0 ? "" : ", ") + std::string("c") + std::to_string(i);
  const std::string same = "SELECT MD5(CONCAT_WS('|', " + list + ")) FROM ";
  EXPECT_EQ(admin.value(same + to.quoted() + ".wide"), admin.value(same + db.quoted() + ".wide"));
  // The key over the column made TEXT keeps its length as a prefix.
  EXPECT_EQ(admin.value("SELECT SUB_PART FROM information_schema.STATISTICS WHERE TABLE_SCHEMA = '" + to.name() +
                        "' AND INDEX_NAME = 'u7'"),
            "61");
}
