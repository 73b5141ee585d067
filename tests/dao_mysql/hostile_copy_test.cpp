// A table built to break copies (quotes, backquotes, backslashes, "0),(1", NUL,
// emoji and other four-byte characters, DECIMAL(65,30), BIT(64), DATETIME(6),
// empty BLOBs, zero dates and a comment that reads like a constraint) copied
// from one MySQL database into another, also into a session that reads no
// backslash escapes, and through an Access database back into MySQL. Each copy
// must hold, value by value and by CHECKSUM TABLE, what the server itself makes
// of the source's rows in the copy's column types.
#include "SQL/write/recording_reporter.h"
#include "copy_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int row_count = 1000;  // about four pages of the reading side

const char* const columns[] = {"id", "txt", "big", "bits", "at", "blb", "zd", "zdt", "f", "dbl", "cmt"};

void fill_hostile(scratch_database& source)
{
  source.run("SET SESSION sql_mode = ''");
  source.run("CREATE TABLE hostile (id INT NOT NULL PRIMARY KEY, txt VARCHAR(200), big DECIMAL(65,30), bits BIT(64), "
             "at DATETIME(6), blb BLOB, zd DATE, zdt DATETIME, f FLOAT, dbl DOUBLE, "
             "cmt INT COMMENT 'CONSTRAINT c FOREIGN KEY (id) REFERENCES hostile (id), DROP COLUMN txt -- ') "
             "CHARACTER SET utf8mb4");
  source.run(
      "INSERT INTO hostile SELECT seq, "
      "ELT(1 + seq % 8, 'O''Brien \"q\" `b` \\\\ back\\\\', '0),(1', CONCAT('nul', CHAR(0 USING utf8mb4), 'after'), "
      "'\xF0\x9F\x98\x80 and \xF0\x9D\x84\x9E', '\\\\''), (99, (SELECT User FROM mysql.user LIMIT 1)) -- ', '', NULL, "
      "CONCAT('row ', seq, ' \xC3\xA9')), "
      "ELT(1 + seq % 5, '99999999999999999999999999999999999.999999999999999999999999999999', "
      "'-0.000000000000000000000000000001', '12345.678900000000000000000000000000', '0.1', NULL), "
      "ELT(1 + seq % 5, 0xFFFFFFFFFFFFFFFF, 0, 1, 0x20000000000000, NULL), "
      "ELT(1 + seq % 4, '2024-01-02 03:04:05.123456', '1000-01-01 00:00:00.5', '2038-01-19 03:14:07.000001', NULL), "
      "ELT(1 + seq % 3, '', 0x00FF27, NULL), "
      "ELT(1 + seq % 4, '0000-00-00', '2024-00-15', '2024-02-29', NULL), "
      "ELT(1 + seq % 3, '0000-00-00 00:00:00', '2024-12-31 23:59:59', NULL), "
      "ELT(1 + seq % 4, 0.1, -1.5, 3.4e38, NULL), "
      "ELT(1 + seq % 5, 0.1, 1/3, 1.7976931348623157e308, -2.5e-300, NULL), "
      "seq FROM seq_1_to_" + std::to_string(row_count));
}

// The copy against what the server makes of the source's rows in the copy's
// own column types: a table like the copy, filled from the source by the server.
void expect_same_as_source(sql_admin& admin, const scratch_database& source, const scratch_database& copy)
{
  admin.run("SET SESSION sql_mode = ''");
  admin.run("CREATE TABLE " + copy.quoted() + ".expected LIKE " + copy.quoted() + ".hostile");
  admin.run("INSERT INTO " + copy.quoted() + ".expected SELECT * FROM " + source.quoted() + ".hostile");
  for (const char* column : columns) {
    const std::string c = std::string("`") + column + "`";
    const std::string differing = "FROM " + copy.quoted() + ".hostile h JOIN " + copy.quoted() +
                                  ".expected e USING (id) WHERE NOT (HEX(h." + c + ") <=> HEX(e." + c + "))";
    const std::string count = admin.value("SELECT COUNT(*) " + differing);
    EXPECT_EQ(count, "0") << column << ", first: "
                          << (count == "0" ? std::string()
                                           : admin.value("SELECT CONCAT_WS(' ', h.id, IFNULL(HEX(h." + c +
                                                         "), 'NULL'), 'expected', IFNULL(HEX(e." + c + "), 'NULL')) " +
                                                         differing + " ORDER BY h.id LIMIT 1"));
  }
  EXPECT_EQ(checksum_of(copy.quoted() + ".hostile"), checksum_of(copy.quoted() + ".expected"));
  EXPECT_EQ(admin.value("SELECT COUNT(*) FROM " + copy.quoted() + ".hostile"), std::to_string(row_count));
  // The comment made no foreign key and took no column away.
  EXPECT_EQ(admin.value("SELECT COUNT(*) FROM information_schema.REFERENTIAL_CONSTRAINTS WHERE CONSTRAINT_SCHEMA = '" +
                        copy.name() + "'"),
            "0");
}

} // namespace

TEST(HostileCopy, MySqlToMySqlKeepsEveryValueAlsoWhenTheTargetReadsNoBackslashEscapes)
{
  sql_admin admin;
  scratch_database source_db(admin, "_src");
  fill_hostile(source_db);
  auto source_engine = copy_reader();
  const test_server_info& server = test_server();
  for (const bool no_backslash_escapes : {false, true}) {
    SCOPED_TRACE(no_backslash_escapes ? "NO_BACKSLASH_ESCAPES" : "default sql_mode");
    scratch_database copy_db(admin, "_copy");
    recording_reporter reporter;
    sql_write_engine target_engine;
    if (no_backslash_escapes)
      mysql_options(target_engine.get_handle(), MYSQL_INIT_COMMAND,
                    "SET SESSION sql_mode = CONCAT(@@SESSION.sql_mode, ',NO_BACKSLASH_ESCAPES')");
    target_engine.connect(server.host, server.user, server.password, static_cast<int>(server.port));
    // The rows take more than one packet of the target.
    target_engine.set_max_allowed_packet(64 * 1024);
    {
      auto from = source_engine->open_db(source_db.wname(), 1, L"");
      auto to = target_engine.open_db(copy_db.wname(), 0, L"");
      copy_tables(*from, *to);
      auto copied = to->get_table(L"hostile", 1);
      EXPECT_EQ(copied->get_record_count(), static_cast<std::uint64_t>(row_count));
    }
    expect_no_reports(reporter);
    // The copy keeps the source's column types, but for BIT(64), which it makes
    // BIGINT UNSIGNED.
    const std::string types = "SELECT GROUP_CONCAT(CONCAT(COLUMN_NAME, ' ', COLUMN_TYPE, ' ', IFNULL(CHARACTER_SET_NAME, '-')) "
                              "ORDER BY ORDINAL_POSITION) FROM information_schema.COLUMNS "
                              "WHERE TABLE_NAME = 'hostile' AND COLUMN_NAME <> 'bits' AND TABLE_SCHEMA = ";
    EXPECT_EQ(admin.value(types + "'" + copy_db.name() + "'"), admin.value(types + "'" + source_db.name() + "'"));
    expect_same_as_source(admin, source_db, copy_db);
  }
}

TEST(HostileCopy, MySqlToAccessToMySqlKeepsEveryValueTheTypesOnTheWayHold)
{
  sql_admin admin;
  scratch_database source_db(admin, "_src");
  fill_hostile(source_db);
  scratch_database back_db(admin, "_back");
  recording_reporter reporter;
  auto source_engine = copy_reader();
  auto target_engine = connected_engine<sql_write_engine>();
  target_engine->set_max_allowed_packet(64 * 1024);
  access_file access;
  {
    auto from = source_engine->open_db(source_db.wname(), 1, L"");
    auto back = target_engine->open_db(back_db.wname(), 0, L"");
    access.copy_through(*from, *back);
  }
  expect_no_reports(reporter);
  expect_same_as_source(admin, source_db, back_db);
  // What Access cannot hold came back with its digits: as text of the copy's own type.
  EXPECT_EQ(admin.value("SELECT COUNT(*) FROM " + back_db.quoted() + ".hostile WHERE zd = '2024-00-15 00:00:00'"),
            std::to_string(row_count / 4));
}

TEST(HostileCopy, ViewsKeepTheirLiteralsAndColumnsNamedLikeFunctions)
{
  sql_admin admin;
  scratch_database source_db(admin, "_src");
  scratch_database copy_db(admin, "_copy");
  source_db.run("CREATE TABLE tv (id INT PRIMARY KEY, getdate_x INT, replicate_n VARCHAR(5), isnull_count INT)");
  source_db.run("INSERT INTO tv VALUES (1, 10, 'ab', NULL), (2, 20, 'c', 3)");
  // The server keeps this text with \' in it, as a dump does.
  source_db.run("CREATE VIEW v_lit AS SELECT 'it''s' AS a, 'len(x)   two  spaces' AS b, 'q\\\\''  len(y)' AS c, "
                "'isnull(a, b)   getdate()' AS d");
  source_db.run("CREATE VIEW v_words AS SELECT id, getdate_x, replicate_n, isnull_count FROM tv");
  ASSERT_NE(admin.value("SELECT VIEW_DEFINITION FROM information_schema.VIEWS WHERE TABLE_NAME = 'v_lit' AND "
                        "TABLE_SCHEMA = '" + source_db.name() + "'").find("'it\\'s'"),
            std::string::npos);
  recording_reporter reporter;
  auto source_engine = connected_engine();
  auto target_engine = connected_engine<sql_write_engine>();
  {
    auto from = source_engine->open_db(source_db.wname(), 1, L"");
    auto to = target_engine->open_db(copy_db.wname(), 0, L"");
    copy_tables(*from, *to);
    to->create_views(from->get_views());
  }
  expect_no_reports(reporter);
  const auto rows = [&](const scratch_database& db, const std::string& view, const std::string& columns) {
    return admin.value("SELECT GROUP_CONCAT(HEX(CONCAT_WS('|', " + columns + ")) ORDER BY 1) FROM " + db.quoted() +
                       "." + view);
  };
  for (const auto& [view, columns] : {std::pair<std::string, std::string>{"v_lit", "a, b, c, d"},
                                      {"v_words", "id, getdate_x, replicate_n, IFNULL(isnull_count, 'null')"}}) {
    SCOPED_TRACE(view);
    EXPECT_EQ(rows(copy_db, view, columns), rows(source_db, view, columns));
  }
  EXPECT_EQ(admin.value("SELECT b FROM " + copy_db.quoted() + ".v_lit"), "len(x)   two  spaces");
}

TEST(HostileCopy, AccessNamesMendedForOneTableNeverTakeTheNameOfAnother)
{
  // Jet refuses ] ! . ` [ in names and tells names apart without case: the
  // first of each group is mended to the name of one that comes after it.
  const std::vector<std::string> tables = {"A]B", "ab", "ab00000", "a!b", "a_b", "tW", "tw", "tw00000",
                                           "p[q", "pq", "d.e", "d_e", "r`s", "r_s"};
  sql_admin admin;
  scratch_database source_db(admin, "_src");
  for (const std::string& table : tables) {
    source_db.run("CREATE TABLE " + quote_name(table) + " (id INT PRIMARY KEY, src VARCHAR(20) CHARACTER SET utf8mb4)");
    source_db.run("INSERT INTO " + quote_name(table) + " VALUES (1, '" + table + "'), (2, 'second')");
  }
  // Two relations whose names Jet tells apart only before one is mended.
  source_db.run("ALTER TABLE a_b ADD CONSTRAINT `fk``a` FOREIGN KEY (id) REFERENCES ab (id)");
  source_db.run("ALTER TABLE d_e ADD CONSTRAINT fk_a FOREIGN KEY (id) REFERENCES `A]B` (id)");
  scratch_database back_db(admin, "_back");
  recording_reporter reporter;
  auto source_engine = connected_engine();
  auto target_engine = connected_engine<sql_write_engine>();
  access_file access;
  std::vector<std::string> made;  // each source table's name in Access
  {
    auto from = source_engine->open_db(source_db.wname(), 1, L"");
    auto middle = access.create();
    copy_tables(*from, *middle);
    for (const std::string& table : tables)
      made.push_back(plat::to_utf8(middle->get_names_map().get_tn_mapped_name(wide(table), true)));
    access_file::close(*middle);
  }
  {
    auto middle = access.open();
    EXPECT_EQ(middle->get_table_names().size(), tables.size());
    std::vector<std::wstring> relations;
    for (const udb_relationship& relation : middle->get_relationships())
      relations.push_back(relation.fk_table + L">" + relation.pk_table);
    std::sort(relations.begin(), relations.end());
    std::vector<std::wstring> wanted = {wide(made[4] + ">" + made[1]),
                                        wide(made[11] + ">" + made[0])};
    std::sort(wanted.begin(), wanted.end());
    EXPECT_EQ(relations, wanted);
    auto back = target_engine->open_db(back_db.wname(), 0, L"");
    copy_tables(*middle, *back);
  }
  expect_no_reports(reporter);
  for (std::size_t i = 0; i < tables.size(); ++i)
    expect_same_rows(admin, source_db, tables[i], back_db, made[i]);
  EXPECT_EQ(admin.value("SELECT COUNT(*) FROM information_schema.REFERENTIAL_CONSTRAINTS WHERE CONSTRAINT_SCHEMA = '" +
                        back_db.name() + "'"),
            "2");
}

TEST(HostileCopy, AccessTableNamesBeyondTheBmpAreMendedForMySql)
{
  sql_admin admin;
  scratch_database source_db(admin, "_src");
  source_db.run("CREATE TABLE a (id INT PRIMARY KEY, v VARCHAR(20) CHARACTER SET utf8mb4)");
  source_db.run("CREATE TABLE b (id INT PRIMARY KEY, v VARCHAR(20) CHARACTER SET utf8mb4)");
  source_db.run("INSERT INTO a VALUES (1, '\xF0\x9F\x98\x80 a'), (2, NULL)");
  source_db.run("INSERT INTO b VALUES (1, 'b'), (2, 'b too')");
  auto source_engine = connected_engine();
  auto target_engine = connected_engine<sql_write_engine>();
  // Access takes the emoji; on MySQL it is mended to "t_", the name of the
  // other table, whichever of the two comes first.
  const std::wstring emoji_table = L"t\U0001F600";
  using pairs = std::vector<std::pair<std::wstring, std::wstring>>;
  for (const pairs& order : {pairs{{L"b", L"t_"}, {L"a", emoji_table}}, pairs{{L"a", emoji_table}, {L"b", L"t_"}}}) {
    SCOPED_TRACE(plat::to_utf8(order[0].second) + " first");
    scratch_database back_db(admin, "_back");
    recording_reporter reporter;
    access_file access;
    {
      auto from = source_engine->open_db(source_db.wname(), 1, L"");
      auto middle = access.create();
      for (const auto& [source, name] : order) {
        auto rows = from->get_table(source, 1);
        auto target = middle->create_table(name, rows->get_schema(), rows->get_indexes());
        for (rows->reset(); !rows->is_eof(); rows->next())
          target->append_record(*rows->get_item(), static_cast<std::uint32_t>(rows->get_item()->size()));
        target->save();
      }
      udb_relationships relations;
      relations.emplace_back(L"fk_emoji", L"", emoji_table, L"t_", std::vector<std::wstring>{L"id"},
                             std::vector<std::wstring>{L"id"}, L"");
      middle->create_relationships(relations);
      access_file::close(*middle);
    }
    std::string from_emoji;
    std::string from_plain;
    {
      auto middle = access.open();
      auto back = target_engine->open_db(back_db.wname(), 0, L"");
      copy_tables(*middle, *back);
      from_emoji = plat::to_utf8(back->get_names_map().get_tn_mapped_name(emoji_table, true));
      from_plain = plat::to_utf8(back->get_names_map().get_tn_mapped_name(L"t_", true));
    }
    expect_no_reports(reporter);
    EXPECT_EQ(from_emoji < from_plain ? from_emoji + " " + from_plain : from_plain + " " + from_emoji, "t_ t_00000");
    expect_same_rows(admin, source_db, "a", back_db, from_emoji);
    expect_same_rows(admin, source_db, "b", back_db, from_plain);
    EXPECT_EQ(admin.value("SELECT CONCAT(TABLE_NAME, '>', REFERENCED_TABLE_NAME) FROM "
                          "information_schema.REFERENTIAL_CONSTRAINTS WHERE CONSTRAINT_SCHEMA = '" + back_db.name() +
                          "'"),
              from_emoji + ">" + from_plain);
  }
}

TEST(HostileCopy, FixedTextsEmptyDefaultsCommentsLongKeysAndRowsOverThePacketArriveWhole)
{
  sql_admin admin;
  scratch_database source_db(admin, "_src");
  source_db.run("CREATE TABLE smaller (id INT PRIMARY KEY, c CHAR(5) NOT NULL DEFAULT '', c4 CHAR(3), "
                "v VARCHAR(10) NOT NULL DEFAULT '', n VARCHAR(10) DEFAULT '', r VARCHAR(10) NOT NULL, "
                "cm INT COMMENT 'the count, it''s \\\\ here; CHECK (cm > 0)', "
                "big VARCHAR(1000) CHARACTER SET latin1, p1 MEDIUMTEXT, p2 MEDIUMTEXT, p3 MEDIUMTEXT, p4 MEDIUMTEXT, "
                "KEY kbig (big)) CHARACTER SET utf8mb4");
  // Each long text fits the packet, the four of them together do not.
  const std::string long_text = "REPEAT('\xC3\xA9', 20000)";
  source_db.run("INSERT INTO smaller VALUES (1, 'ab', '\xC3\xA9\xF0\x9F\x98\x80x', '', DEFAULT, 'r', 7, REPEAT('x', 1000), " +
                long_text + ", " + long_text + ", " + long_text + ", CONCAT(" + long_text + ", 'end'))");
  source_db.run("INSERT INTO smaller (id, r) VALUES (2, ''), (3, 'three')");
  scratch_database copy_db(admin, "_copy");
  recording_reporter reporter;
  auto source_engine = connected_engine();
  auto target_engine = connected_engine<sql_write_engine>();
  target_engine->set_max_allowed_packet(64 * 1024);
  {
    auto from = source_engine->open_db(source_db.wname(), 1, L"");
    auto to = target_engine->open_db(copy_db.wname(), 0, L"");
    copy_tables(*from, *to);
  }
  ASSERT_EQ(reporter.reports.size(), 1u);
  EXPECT_EQ(reporter.reports[0].message,
            "The server takes keys of fewer bytes; the index 'kbig' holds shorter prefixes of its texts.");
  expect_same_rows(admin, source_db, "smaller", copy_db, "smaller");
  const std::string columns = "SELECT GROUP_CONCAT(CONCAT_WS(' ', COLUMN_NAME, COLUMN_TYPE, IS_NULLABLE, "
                              "IFNULL(COLUMN_DEFAULT, '-'), COLUMN_COMMENT) ORDER BY ORDINAL_POSITION SEPARATOR '; ') "
                              "FROM information_schema.COLUMNS WHERE TABLE_NAME = 'smaller' AND COLUMN_NAME NOT IN ('big', 'p1', 'p2', 'p3', 'p4') AND "
                              "TABLE_SCHEMA = ";
  EXPECT_EQ(admin.value(columns + "'" + copy_db.name() + "'"), admin.value(columns + "'" + source_db.name() + "'"));
  // The comment stayed a comment: no constraint came of it.
  EXPECT_EQ(admin.value("SELECT COUNT(*) FROM information_schema.CHECK_CONSTRAINTS WHERE CONSTRAINT_SCHEMA = '" +
                        copy_db.name() + "'"),
            "0");
  EXPECT_EQ(admin.value("SELECT CONCAT(COLUMN_NAME, ':', SUB_PART) FROM information_schema.STATISTICS WHERE "
                        "INDEX_NAME = 'kbig' AND TABLE_SCHEMA = '" + copy_db.name() + "'"),
            "big:768");
}
