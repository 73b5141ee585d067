// Copies into a server whose rows are COMPACT by default. The setting is the
// shared test server's own, global, so these tests run while no other does and
// put the server's value back when they end.
#include "../copy_support.h"
#include "SQL/write/property_tree.h"
#include "SQL/write/recording_reporter.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The server's default row format for the life of the guard.
class default_row_format {
public:
  default_row_format(sql_admin& admin, const std::string& format)
      : admin_(admin), before_(admin.value("SELECT @@GLOBAL.innodb_default_row_format"))
  {
    admin_.run("SET GLOBAL innodb_default_row_format = '" + format + "'");
  }
  ~default_row_format()
  {
    try {
      admin_.run("SET GLOBAL innodb_default_row_format = '" + before_ + "'");
    } catch (...) {
    }
  }
  default_row_format(const default_row_format&) = delete;
  default_row_format& operator=(const default_row_format&) = delete;

private:
  sql_admin& admin_;
  std::string before_;
};

} // namespace

TEST(CompactRowsCopy, TablesOfWideRowsAndLongKeysArriveWhole)
{
  sql_admin admin;
  scratch_database source_db(admin, "_src");
  std::string columns;
  std::string values;
  for (int i = 0; i < 40; ++i) {
    columns += ", c" + std::to_string(i) + " VARCHAR(80)";
    values += ", CONCAT(REPEAT('\xF0\x9F\x98\x80', 79), CHAR(65 + " + std::to_string(i % 26) + "))";
  }
  // The source asks for DYNAMIC rows itself; the copy inherits nothing of it.
  source_db.run("CREATE TABLE wide (id INT PRIMARY KEY" + columns + ") CHARACTER SET utf8mb4 ROW_FORMAT=DYNAMIC");
  source_db.run("INSERT INTO wide VALUES (1" + values + "), (2" + values + ")");
  source_db.run("CREATE TABLE ukey (id INT PRIMARY KEY, a VARCHAR(300), b VARCHAR(300), UNIQUE KEY ab (a(200), b(200)), "
                "KEY ka (a(250))) CHARACTER SET utf8mb4 ROW_FORMAT=DYNAMIC");
  source_db.run("INSERT INTO ukey VALUES (1, REPEAT('\xC3\xA9', 300), 'b'), (2, REPEAT('\xC3\xA9', 300), 'c'), "
                "(3, CONCAT(REPEAT('x', 250), 'y'), NULL)");
  // Made MyISAM, which keeps keys of 1,000 bytes at most and has no row format to ask.
  source_db.run("CREATE TABLE kmy (id INT PRIMARY KEY, a VARCHAR(300), b VARCHAR(300), KEY kab (a(200), b(200))) "
                "CHARACTER SET utf8mb4 ROW_FORMAT=DYNAMIC");
  source_db.run("INSERT INTO kmy VALUES (1, REPEAT('a', 300), REPEAT('\xC3\xA9', 300)), (2, 'x', NULL)");
  scratch_database copy_db(admin, "_copy");
  const default_row_format compact(admin, "compact");
  recording_reporter reporter;
  auto source_engine = connected_engine();
  auto target_engine = connected_engine<sql_write_engine>();
  property_node properties;
  properties.child(L"kmy").set(L"engine", L"MyISAM");
  target_engine->set_properties(&properties);
  {
    auto from = source_engine->open_db(source_db.wname(), 1, L"");
    auto to = target_engine->open_db(copy_db.wname(), 0, L"");
    copy_tables(*from, *to);
  }
  ASSERT_EQ(reporter.reports.size(), 1u);
  EXPECT_EQ(reporter.reports[0].context, L"Table 'kmy'");
  EXPECT_EQ(reporter.reports[0].message,
            "The server takes keys of fewer bytes; the index 'kab' holds shorter prefixes of its texts.");
  for (const char* table : {"wide", "ukey", "kmy"})
    expect_same_rows(admin, source_db, table, copy_db, table);
  EXPECT_EQ(admin.value("SELECT GROUP_CONCAT(CONCAT(TABLE_NAME, ':', ENGINE, ':', ROW_FORMAT) ORDER BY TABLE_NAME) FROM "
                        "information_schema.TABLES WHERE TABLE_SCHEMA = '" + copy_db.name() + "'"),
            "kmy:MyISAM:Dynamic,ukey:InnoDB:Dynamic,wide:InnoDB:Dynamic");
  EXPECT_EQ(admin.value("SELECT GROUP_CONCAT(CONCAT(TABLE_NAME, '.', INDEX_NAME, ':', COLUMN_NAME, ':', IFNULL(SUB_PART, '-')) "
                        "ORDER BY TABLE_NAME, INDEX_NAME, SEQ_IN_INDEX) FROM information_schema.STATISTICS "
                        "WHERE INDEX_NAME <> 'PRIMARY' AND TABLE_SCHEMA = '" + copy_db.name() + "'"),
            "kmy.kab:a:50,kmy.kab:b:200,ukey.ab:a:200,ukey.ab:b:200,ukey.ka:a:250");
  // The columns kept their types: nothing was turned into TEXT.
  EXPECT_EQ(admin.value("SELECT COUNT(*) FROM information_schema.COLUMNS WHERE DATA_TYPE <> 'varchar' AND "
                        "COLUMN_NAME <> 'id' AND TABLE_SCHEMA = '" + copy_db.name() + "'"),
            "0");
}
