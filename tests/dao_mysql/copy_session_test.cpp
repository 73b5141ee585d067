// Copies whose sessions a server would change unseen: sql_modes set globally
// (CHAR padded, quotes read as names, zero dates refused, 0 renumbered), a
// time zone other than the other server's, and FLOAT values of more than six
// digits. Each copy must hold, value by value and by CHECKSUM TABLE, what the
// server makes of the source's rows in the copy's own column types.
#include "SQL/write/recording_reporter.h"
#include "copy_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

// Per row, what a copy must keep: the bytes of each value, a TIMESTAMP's
// instant and a FLOAT's single with every digit.
std::string values_of(sql_admin& admin, const std::string& table)
{
  admin.run("SET SESSION time_zone = '+00:00'");
  return admin.value("SELECT GROUP_CONCAT(CONCAT_WS('|', id, IFNULL(HEX(c), '-'), IFNULL(HEX(d), '-'), "
                     "IFNULL(UNIX_TIMESTAMP(ts), '-'), IFNULL(f + 0e0, '-')) ORDER BY id SEPARATOR ' / ') FROM " +
                     table);
}

// The rows an id 0 made under NO_AUTO_VALUE_ON_ZERO, padded and empty CHARs, a
// month 0, a zero date and a 30 February, TIMESTAMPs and FLOATs past six digits.
void fill_session_cases(sql_admin& admin, const scratch_database& db)
{
  admin.run("SET SESSION sql_mode = 'NO_AUTO_VALUE_ON_ZERO,ALLOW_INVALID_DATES', time_zone = '+00:00'");
  admin.run("CREATE TABLE " + db.quoted() + ".cases (id INT NOT NULL AUTO_INCREMENT PRIMARY KEY, c CHAR(5), "
            "d DATE, ts TIMESTAMP NULL DEFAULT NULL, f FLOAT) CHARACTER SET utf8mb4");
  admin.run("INSERT INTO " + db.quoted() + ".cases VALUES "
            "(0, 'ab', '2024-00-15', FROM_UNIXTIME(1717243200), 16777217), "
            "(1, '', '0000-00-00', FROM_UNIXTIME(1), 123.456787109375), "
            "(2, 'abcde', '2024-02-30', '2038-01-19 03:14:07', 3.4028234663852886e38), "
            "(3, 'x y', '2024-02-29', '2024-03-31 02:30:00', 1.17549435e-38), "
            "(4, NULL, NULL, NULL, NULL)");
}

// The copy against a table like it that the server fills from the source on
// the copy's server: every value and the checksum.
void expect_copy_holds(sql_admin& admin, const scratch_database& source, const scratch_database& copy)
{
  admin.run("SET SESSION sql_mode = 'NO_AUTO_VALUE_ON_ZERO,ALLOW_INVALID_DATES', time_zone = '+00:00'");
  admin.run("CREATE TABLE " + copy.quoted() + ".expected LIKE " + copy.quoted() + ".cases");
  admin.run("INSERT INTO " + copy.quoted() + ".expected SELECT * FROM " + source.quoted() + ".cases");
  EXPECT_EQ(values_of(admin, copy.quoted() + ".cases"), values_of(admin, copy.quoted() + ".expected"));
  EXPECT_EQ(checksum_of(admin, copy.quoted() + ".cases"), checksum_of(admin, copy.quoted() + ".expected"));
}

} // namespace

// Each mode set globally on a server of the test's own whose zone is +05:00,
// then copies on new connections: within that server, through Access and back,
// and onto the shared server, whose zone is UTC.
TEST(CopySession, ModesAndTimeZoneTheServersSetChangeNoCopiedValue)
{
  second_test_server second;
  sql_admin own(second.info());
  sql_admin shared;
  own.run("SET GLOBAL time_zone = '+05:00'");
  scratch_database source(own, "_src");
  fill_session_cases(own, source);
  const std::string source_values = values_of(own, source.quoted() + ".cases");

  const char* const modes[] = {"PAD_CHAR_TO_FULL_LENGTH", "ANSI_QUOTES", "STRICT_ALL_TABLES,NO_ZERO_DATE,NO_ZERO_IN_DATE",
                               "NO_BACKSLASH_ESCAPES", ""};
  for (const char* mode : modes) {
    SCOPED_TRACE(std::string("global sql_mode '") + mode + "'");
    own.run(std::string("SET GLOBAL sql_mode = '") + mode + "'");
    recording_reporter reporter;
    scratch_database copy(own, "_copy");
    scratch_database back(own, "_back");
    scratch_database far(shared, "_far");
    auto reader = copy_reader(second.info());
    auto writer = connected_engine<sql_write_engine>(second.info());
    auto far_writer = connected_engine<sql_write_engine>();
    access_file access;
    {
      auto from = reader->open_db(source.wname(), 1, L"");
      auto to = writer->open_db(copy.wname(), 0, L"");
      copy_tables(*from, *to);
      // The view's "total" is a text, whatever the server's quotes.
      to->create_views({{L"labelled", L"SELECT \"total\" AS label, id FROM cases"}});
      auto far_to = far_writer->open_db(far.wname(), 0, L"");
      copy_tables(*from, *far_to);
      auto to_back = writer->open_db(back.wname(), 0, L"");
      access.copy_through(*from, *to_back);
    }
    expect_no_reports(reporter);
    EXPECT_EQ(values_of(own, copy.quoted() + ".cases"), source_values);
    expect_copy_holds(own, source, copy);
    expect_copy_holds(own, source, back);
    EXPECT_EQ(values_of(shared, far.quoted() + ".cases"), source_values);
    EXPECT_EQ(own.value("SELECT GROUP_CONCAT(DISTINCT label) FROM " + copy.quoted() + ".labelled"), "total");
  }
}

// A FLOAT's single of more than six digits arrives whole, so that the copy's
// checksum is the source's and a row read from the source deletes its copy.
TEST(CopySession, FloatsKeepEveryDigitAndDeleteByRecordFindsTheirRows)
{
  sql_admin admin;
  scratch_database source(admin, "_src");
  scratch_database copy(admin, "_copy");
  source.run("CREATE TABLE floats (f FLOAT, u FLOAT UNSIGNED, n INT)");
  source.run("INSERT INTO floats VALUES (16777217, 0.1, 1), (123.456787109375, 3.4028234663852886e38, 2), "
             "(-1.17549435e-38, 1.401298464324817e-45, 3), (0.3, 7, 4), (NULL, NULL, 5)");
  recording_reporter reporter;
  auto reader = copy_reader();
  auto writer = connected_engine<sql_write_engine>();
  auto from = reader->open_db(source.wname(), 1, L"");
  auto to = writer->open_db(copy.wname(), 0, L"");
  copy_tables(*from, *to);
  expect_no_reports(reporter);
  EXPECT_EQ(checksum_of(admin, copy.quoted() + ".floats"), checksum_of(admin, source.quoted() + ".floats"));
  const std::string digits = "SELECT GROUP_CONCAT(CONCAT_WS('|', n, f + 0e0, u + 0e0) ORDER BY n) FROM ";
  EXPECT_EQ(admin.value(digits + copy.quoted() + ".floats"), admin.value(digits + source.quoted() + ".floats"));

  auto rows = from->get_table(L"floats", 1);
  auto target = to->get_table(L"floats", 1);
  for (rows->reset(); !rows->is_eof(); rows->next())
    target->delete_key(*rows->get_item());
  target->save();
  EXPECT_EQ(admin.value("SELECT COUNT(*) FROM " + copy.quoted() + ".floats"), "0");
}

// A key into another database keeps pointing there, though the copied
// database has a table of the same name: on its server the copy accepts and
// refuses the rows the source does. A server that lacks that database, and an
// Access database, which cannot relate to another, report the key and skip it.
// The keys between databases live on a server of the test's own: the shared
// server's other readers of the catalogue stay clear of them.
TEST(CopySession, KeysIntoAnotherDatabaseKeepItOrAreReportedAndSkipped)
{
  second_test_server second;
  sql_admin admin(second.info());
  scratch_database other(admin, "_other");
  scratch_database source(admin, "_src");
  scratch_database copy(admin, "_copy");
  other.run("CREATE TABLE parent (id INT PRIMARY KEY)");
  other.run("INSERT INTO parent VALUES (1), (2), (3)");
  source.run("CREATE TABLE parent (id INT PRIMARY KEY)");
  source.run("INSERT INTO parent VALUES (1)");
  source.run("CREATE TABLE xchild (id INT PRIMARY KEY, pid INT, CONSTRAINT to_other FOREIGN KEY (pid) REFERENCES " +
             other.quoted() + ".parent (id))");
  source.run("INSERT INTO xchild VALUES (1, 1), (2, 2)");
  const std::string references = "SELECT IFNULL(GROUP_CONCAT(CONCAT(REFERENCED_TABLE_SCHEMA, '.', "
                                 "REFERENCED_TABLE_NAME)), 'none') FROM information_schema.KEY_COLUMN_USAGE "
                                 "WHERE REFERENCED_TABLE_NAME IS NOT NULL AND TABLE_SCHEMA = ";

  {
    recording_reporter reporter;
    auto reader = copy_reader(second.info());
    auto writer = connected_engine<sql_write_engine>(second.info());
    auto from = reader->open_db(source.wname(), 1, L"");
    auto to = writer->open_db(copy.wname(), 0, L"");
    copy_tables(*from, *to);
    expect_no_reports(reporter);
  }
  EXPECT_EQ(admin.value(references + "'" + copy.name() + "'"), other.name() + ".parent");
  EXPECT_EQ(checksum_of(admin, copy.quoted() + ".xchild"), checksum_of(admin, source.quoted() + ".xchild"));
  copy.run("INSERT INTO xchild VALUES (3, 3)");
  EXPECT_THROW(copy.run("INSERT INTO xchild VALUES (4, 4)"), std::runtime_error);

  sql_admin far_admin;
  scratch_database far(far_admin, "_far");
  access_file access;
  for (const bool to_access : {false, true}) {
    SCOPED_TRACE(to_access ? "into Access" : "onto a server without the other database");
    recording_reporter reporter;
    auto reader = copy_reader(second.info());
    auto writer = connected_engine<sql_write_engine>();
    auto from = reader->open_db(source.wname(), 1, L"");
    std::unique_ptr<udb_database> to = to_access ? access.create() : writer->open_db(far.wname(), 0, L"");
    copy_tables(*from, *to);
    ASSERT_EQ(reporter.reports.size(), 1u);
    EXPECT_NE(plat::to_utf8(reporter.reports[0].context).find("to_other"), std::string::npos)
        << plat::to_utf8(reporter.reports[0].context);
    EXPECT_NE(reporter.reports[0].message.find(other.name()), std::string::npos) << reporter.reports[0].message;
    if (to_access) {
      access_file::close(*to);
      EXPECT_TRUE(access.open()->get_relationships().empty());
    }
  }
  EXPECT_EQ(far_admin.value(references + "'" + far.name() + "'"), "none");
  EXPECT_EQ(far_admin.value("SELECT COUNT(*) FROM " + far.quoted() + ".xchild"), "2");
}
