// Streaming a table or query: every MySQL column type read back as its typed value,
// page boundaries, queries with joins, unusual names, and a stream that breaks.
#include "sql_test_support.h"

#include "SQL/sql_recs.h"
#include "UDB/udb_field.h"
#include "UDB/udb_recs.h"
#include "TK/tk_log.h"
#include "base/format.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

// "<VARTYPE>:<text>" of a value; byte arrays print as 0x..., empty values as "0:",
// a time of day without a date, a NUL inside a text as \0.
std::string render(const udb_field& field)
{
  const VARTYPE vt = field.get_type();
  if (vt == VT_BSTR) {
    const BSTR text = field.get_variant().bstrVal;
    std::string shown = "8:";
    for (const char c : plat::to_utf8(std::wstring_view(text, SysStringLen(text))))
      shown += c == '\0' ? std::string("\\0") : std::string(1, c);
    return shown;
  }
  if (vt == VT_DATE)
    return "7:" + plat::to_utf8(field.get_date().to_wstring(6));
  if (vt == (VT_ARRAY | VT_UI1) && field.get_size() == 0)
    return "8209:(no bytes)";
  return base::sprintf("%d:%s", vt, field.to_string());
}

// Every row of a recordset, each cell rendered, read the way the conversion reads.
std::vector<std::vector<std::string>> read_all(udb_recordset& rows)
{
  std::vector<std::vector<std::string>> out;
  for (rows.reset(); !rows.is_eof(); rows.next()) {
    const udb_record* record = rows.get_item();
    if (record == nullptr)
      throw std::runtime_error("a row is missing");
    std::vector<std::string> cells;
    for (const auto& field : *record)
      cells.push_back(render(*field));
    out.push_back(std::move(cells));
  }
  return out;
}

struct column_case {
  const char* name;
  const char* declaration;
  VARTYPE vartype;           // of the column's descriptor
  const char* high_literal;  // row 1
  const char* high;          // its value
  const char* low_literal;   // row 2
  const char* low;
  // Where a row read for another database (no text limit) differs from a
  // workbook's: the values as the server holds them.
  const char* held_high = nullptr;
  const char* held_low = nullptr;
};

// Row 3 is NULL in every column.
const column_case all_columns[] = {
    {"ti", "TINYINT", VT_I1, "127", "16:127", "-128", "16:-128"},
    {"tiu", "TINYINT UNSIGNED", VT_UI1, "255", "17:255", "0", "17:0"},
    {"si", "SMALLINT", VT_I2, "32767", "2:32767", "-32768", "2:-32768"},
    {"siu", "SMALLINT UNSIGNED", VT_UI2, "65535", "18:65535", "0", "18:0"},
    {"mi", "MEDIUMINT", VT_I4, "8388607", "3:8388607", "-8388608", "3:-8388608"},
    {"miu", "MEDIUMINT UNSIGNED", VT_I4, "16777215", "3:16777215", "0", "3:0"},
    {"i", "INT", VT_I4, "2147483647", "3:2147483647", "-2147483648", "3:-2147483648"},
    {"iu", "INT UNSIGNED", VT_UI4, "4294967295", "19:4294967295", "0", "19:0"},
    // Integers a double cannot hold keep the server's digits as text.
    {"bi", "BIGINT", VT_I8, "9223372036854775807", "8:9223372036854775807",
     "-9223372036854775808", "8:-9223372036854775808"},
    {"bi53", "BIGINT", VT_I8, "9007199254740992", "20:9007199254740992", "-9007199254740993",
     "8:-9007199254740993"},
    {"biu", "BIGINT UNSIGNED", VT_UI8, "18446744073709551615", "8:18446744073709551615", "0",
     "21:0"},
    // A DECIMAL stays a number when the shortest form of its double prints its digits.
    {"d65", "DECIMAL(65,30)", VT_DECIMAL,
     "'99999999999999999999999999999999999.999999999999999999999999999999'",
     "8:99999999999999999999999999999999999.999999999999999999999999999999",
     "'-12345.678900000000000000000000000000'", "14:-12345.6789"},
    {"d65s", "DECIMAL(65,30)", VT_DECIMAL, "'0.000000000000000000000000000001'",
     "5:1.0000000000000001e-30", "'0.1'", "14:0.1"},
    {"d30", "DECIMAL(30,10)", VT_DECIMAL, "'12345678901234567890.0123456789'",
     "8:12345678901234567890.0123456789", "'123456789012345.6'", "14:123456789012345.6"},
    {"d10", "DECIMAL(10,2)", VT_DECIMAL, "12345678.91", "14:12345678.91", "-0.01", "14:-0.01"},
    {"f", "FLOAT", VT_R4, "3.40282e38", "4:3.402820e+38", "-1.5", "4:-1.500000e+00"},
    {"d", "DOUBLE", VT_R8, "1.7976931348623157e308", "5:1.7976931348623157e+308", "-2.5e-300",
     "5:-2.5000000000000000e-300"},
    {"dt", "DATE", VT_DATE, "'9999-12-31'", "7:9999-12-31", "'1000-01-01'", "7:1000-01-01"},
    {"dtm", "DATETIME(6)", VT_DATE, "'9999-12-31 23:59:59.999999'", "7:9999-12-31 23:59:59.999999",
     "'0000-00-00 00:00:00'", "0:", nullptr, "8:0000-00-00 00:00:00.000000"},
    {"ts", "TIMESTAMP NULL DEFAULT NULL", VT_DATE, "'2038-01-19 03:14:07'",
     "7:2038-01-19 03:14:07", "'2000-02-29 12:00:00'", "7:2000-02-29 12:00:00"},
    {"tm", "TIME", VT_DATE, "'838:59:59'", "8:838:59:59", "'-00:00:01'", "8:-00:00:01"},
    {"tm2", "TIME", VT_DATE, "'23:59:59'", "7:23:59:59", "'00:00:00'", "7:00:00:00"},
    {"zd", "DATE", VT_DATE, "'0000-00-00'", "0:", "'2024-02-29'", "7:2024-02-29", "8:0000-00-00"},
    // Dates with a zero or impossible part keep the server's text.
    {"zp", "DATE", VT_DATE, "'2024-00-15'", "8:2024-00-15", "'2024-02-00'", "8:2024-02-00"},
    {"zi", "DATETIME", VT_DATE, "'2024-02-30 10:00:00'", "8:2024-02-30 10:00:00",
     "'0000-00-00 10:15:00'", "8:0000-00-00 10:15:00"},
    {"yr", "YEAR", VT_UI2, "2155", "18:2155", "1901", "18:1901"},
    {"b1", "BIT(1)", VT_BOOL, "b'1'", "11:1", "b'0'", "11:0"},
    {"b16", "BIT(16)", VT_UI8, "b'1111111111111111'", "21:65535", "b'0000000000000001'", "21:1"},
    {"b64", "BIT(64)", VT_UI8, "0xFFFFFFFFFFFFFFFF", "8:18446744073709551615", "0x20000000000000",
     "21:9007199254740992"},
    {"en", "ENUM('a','b')", VT_BSTR, "'b'", "8:b", "'a'", "8:a"},
    {"st", "SET('x','y')", VT_BSTR, "'x,y'", "8:x,y", "''", "8:"},
    {"ch", "CHAR(4)", VT_BSTR, "'abcd'", "8:abcd", "''", "8:"},
    // A NUL is dropped for a workbook; the text after it stays.
    {"nul", "VARCHAR(10)", VT_BSTR, "'a\\0b'", "8:ab", "CONCAT(CHAR(0), 'x')", "8:x", "8:a\\0b", "8:\\0x"},
    {"vc", "VARCHAR(20)", VT_BSTR, "'h\xF0\x9F\x98\x80 \xC3\xBC'", "8:h\xF0\x9F\x98\x80 \xC3\xBC",
     "''", "8:"},
    {"vcb", "VARCHAR(10) COLLATE utf8mb4_bin", VT_BSTR, "'Bin\xC3\xA4'", "8:Bin\xC3\xA4", "''", "8:"},
    {"bn", "BINARY(4)", VT_ARRAY | VT_UI1, "0x00010203", "8209:0x00010203", "0x00000000",
     "8209:0x00000000"},
    {"vb", "VARBINARY(8)", VT_ARRAY | VT_UI1, "0x00FF00", "8209:0x00FF00", "''", "8209:(no bytes)"},
    {"tb", "TINYBLOB", VT_ARRAY | VT_UI1, "0x00", "8209:0x00", "''", "8209:(no bytes)"},
    {"bl", "BLOB", VT_ARRAY | VT_UI1, "'blob'", "8209:0x626C6F62", "''", "8209:(no bytes)"},
    {"mb", "MEDIUMBLOB", VT_ARRAY | VT_UI1, "0x0102", "8209:0x0102", "''", "8209:(no bytes)"},
    {"lb", "LONGBLOB", VT_ARRAY | VT_UI1, "0x000102FF", "8209:0x000102FF", "''", "8209:(no bytes)"},
    {"tt", "TINYTEXT", VT_BSTR, "'tiny'", "8:tiny", "''", "8:"},
    {"tx", "TEXT", VT_BSTR, "'text \xF0\x9F\x98\x80'", "8:text \xF0\x9F\x98\x80", "''", "8:"},
    {"mt", "MEDIUMTEXT", VT_BSTR, "'medium'", "8:medium", "''", "8:"},
    {"lt", "LONGTEXT", VT_BSTR, "'long'", "8:long", "''", "8:"},
    {"js", "JSON", VT_BSTR, "'{\"k\": [1, \"\xF0\x9F\x98\x80\"]}'",
     "8:{\"k\": [1, \"\xF0\x9F\x98\x80\"]}", "'[]'", "8:[]"},
    {"g", "GEOMETRY", VT_BSTR, "ST_GeomFromText('POINT(1 2)')", "8:POINT(1 2)",
     "ST_GeomFromText('LINESTRING(0 0,1 1)')", "8:LINESTRING(0 0,1 1)"},
};

void create_all_types(scratch_database& db)
{
  std::string create = "CREATE TABLE all_types (id INT NOT NULL PRIMARY KEY";
  std::string names = "id";
  std::string high = "1";
  std::string low = "2";
  for (const auto& c : all_columns) {
    create += std::string(", `") + c.name + "` " + c.declaration;
    names += std::string(", `") + c.name + "`";
    high += std::string(", ") + c.high_literal;
    low += std::string(", ") + c.low_literal;
  }
  db.run("SET SESSION sql_mode = 'ALLOW_INVALID_DATES'");
  db.run(create + ")");
  db.run("INSERT INTO all_types (" + names + ") VALUES (" + high + "), (" + low + ")");
  db.run("INSERT INTO all_types (id) VALUES (3)");
}

} // namespace

TEST(SqlStream, EveryColumnTypeReadsBackAsItsTypedValue)
{
  sql_admin admin;
  scratch_database db(admin);
  create_all_types(db);
  auto engine = connected_engine();
  auto source = engine->open_db(db.wname(), 1, L"");
  // A workbook's text limit (the .xlsx cell), then none: as another database takes them.
  for (const std::uint32_t limit : {32766u, 0u}) {
    engine->set_text_limit(limit);
    auto table = source->get_table(L"all_types", 1);
    const udb_schema& schema = table->get_schema();
    ASSERT_EQ(schema.size(), std::size(all_columns) + 1);
    EXPECT_EQ(table->get_record_count(), 3u);
    const auto rows = read_all(*table);
    ASSERT_EQ(rows.size(), 3u);
    for (std::size_t i = 0; i < std::size(all_columns); ++i) {
      const column_case& c = all_columns[i];
      const bool held = limit == 0;
      EXPECT_EQ(schema[i + 1]->name, wide(c.name));
      EXPECT_EQ(schema[i + 1]->vartype, c.vartype) << c.name;
      EXPECT_EQ(rows[0][i + 1], held && c.held_high ? c.held_high : c.high) << c.name << " " << c.high_literal << " limit " << limit;
      EXPECT_EQ(rows[1][i + 1], held && c.held_low ? c.held_low : c.low) << c.name << " " << c.low_literal << " limit " << limit;
      EXPECT_EQ(rows[2][i + 1], "0:") << c.name << " NULL";
    }
  }
}

TEST(SqlStream, AQueryReadsTheSameValuesFromTheResultsOwnColumns)
{
  sql_admin admin;
  scratch_database db(admin);
  create_all_types(db);
  auto engine = connected_engine();
  engine->set_text_limit(32766);  // a workbook's rows
  auto source = engine->open_db(db.wname(), 1, L"");
  std::string select = "SELECT id";
  for (const auto& c : all_columns)
    select += std::string(", ") + (std::string(c.name) == "g" ? "ST_AsText(g) AS g" : c.name);
  auto query = source->get_query(L"q", wide(select + " FROM all_types ORDER BY id"), 1);
  const auto rows = read_all(*query);
  ASSERT_EQ(rows.size(), 3u);
  for (std::size_t i = 0; i < std::size(all_columns); ++i) {
    const column_case& c = all_columns[i];
    // A query's DECIMAL(65,30) and FLOAT columns carry no SHOW COLUMNS refinement.
    EXPECT_EQ(rows[0][i + 1], c.high) << c.name;
    EXPECT_EQ(rows[1][i + 1], c.low) << c.name;
    EXPECT_EQ(rows[2][i + 1], "0:") << c.name;
  }
}

TEST(SqlStream, PagesOf256RowsFollowEachOtherWithoutGapsOrRepeats)
{
  sql_admin admin;
  scratch_database db(admin);
  auto engine = connected_engine();
  for (const int count : {0, 1, 255, 256, 257, 513}) {
    const std::string table = "n" + std::to_string(count);
    db.run("CREATE TABLE " + table + " (id INT PRIMARY KEY, label VARCHAR(10))");
    if (count > 0)
      db.run("INSERT INTO " + table + " SELECT seq, CONCAT('r', seq) FROM seq_1_to_" +
             std::to_string(count));
  }
  auto source = engine->open_db(db.wname(), 1, L"");
  for (const int count : {0, 1, 255, 256, 257, 513}) {
    auto rows = source->get_table(wide("n" + std::to_string(count)), 1);
    EXPECT_EQ(rows->get_record_count(), static_cast<std::uint64_t>(count));
    int expected = 1;
    for (rows->reset(); !rows->is_eof(); rows->next(), ++expected) {
      const udb_record* record = rows->get_item();
      ASSERT_NE(record, nullptr) << count << " rows, row " << expected;
      ASSERT_EQ((*record)[0]->to_long(), expected) << count << " rows";
      ASSERT_EQ((*record)[1]->to_wstring(), L"r" + std::to_wstring(expected));
    }
    EXPECT_EQ(expected, count + 1);
    EXPECT_EQ(rows->get_item(), nullptr) << count << " rows";
  }
}

TEST(SqlStream, ARecordIsLentUntilItsPageIsReplacedAndTheFirstPageIsHeldBeforeReset)
{
  sql_admin admin;
  scratch_database db(admin);
  db.run("CREATE TABLE n (id INT PRIMARY KEY)");
  db.run("INSERT INTO n SELECT seq FROM seq_1_to_300");
  auto engine = connected_engine();
  auto source = engine->open_db(db.wname(), 1, L"");
  auto rows = source->get_table(L"n", 1);
  // Before reset the first page of the first reading is held.
  ASSERT_NE(rows->get_item(), nullptr);
  EXPECT_EQ((*rows->get_item())[0]->to_long(), 1);
  EXPECT_THROW(rows->next(), tk_mail_assertion);

  rows->reset();
  const udb_record* first = rows->get_item();
  for (int i = 0; i < 255; ++i)
    rows->next();
  EXPECT_EQ((*first)[0]->to_long(), 1);  // still the first page
  EXPECT_EQ((*rows->get_item())[0]->to_long(), 256);
  rows->prev();
  EXPECT_EQ((*rows->get_item())[0]->to_long(), 255);
  rows->next();
  rows->next();
  EXPECT_EQ((*rows->get_item())[0]->to_long(), 257);
  // A second reset starts the reading again.
  rows->reset();
  EXPECT_EQ((*rows->get_item())[0]->to_long(), 1);
  EXPECT_THROW(rows->append_record(udb_record(), 0), tk_exception);
}

TEST(SqlStream, JoinQueryWithAliasesKeepsItsColumnNamesAndRows)
{
  sql_admin admin;
  scratch_database db(admin);
  db.run("CREATE TABLE customers (id INT PRIMARY KEY, name VARCHAR(20))");
  db.run("CREATE TABLE orders (id INT PRIMARY KEY, customer_id INT, total DECIMAL(8,2))");
  db.run("INSERT INTO customers VALUES (1, 'Ann'), (2, 'Bo')");
  db.run("INSERT INTO orders VALUES (10, 1, 5.50), (11, 2, 7.25), (12, 1, 1.00)");
  auto engine = connected_engine();
  auto source = engine->open_db(db.wname(), 1, L"");
  const std::wstring base =
      L"SELECT c.name AS customer, o.total AS amount FROM customers c JOIN orders o "
      L"ON o.customer_id = c.id ORDER BY o.id";
  // A final semicolon or line comment, which the query test accepts, works here too.
  for (const std::wstring& text : {base, base + L";", base + L" ;\n", base + L" -- newest last",
                                   base + L" # note"}) {
    EXPECT_TRUE(source->test_query(text));
    auto query = source->get_query(L"sales", text, 1);
    EXPECT_TRUE(query->is_query());
    EXPECT_EQ(query->get_query_text(), text);
    ASSERT_EQ(query->get_schema().size(), 2u);
    EXPECT_EQ(query->get_schema()[0]->name, L"customer");
    EXPECT_EQ(query->get_schema()[1]->name, L"amount");
    EXPECT_EQ(query->get_schema()[1]->vartype, VT_DECIMAL);
    EXPECT_EQ(query->get_schema()[1]->precision, 8u);
    EXPECT_EQ(query->get_schema()[1]->scale, 2u);
    EXPECT_EQ(query->get_record_count(), 3u);
    const std::vector<std::vector<std::string>> expected = {
        {"8:Ann", "14:5.5"}, {"8:Bo", "14:7.25"}, {"8:Ann", "14:1"}};
    EXPECT_EQ(read_all(*query), expected);
  }
  EXPECT_THROW(source->get_query(L"bad", L"SELECT nope FROM customers", 1), sql_exception);
}

TEST(SqlStream, AQuerysRowsComeInItsOwnOrderOverManyPages)
{
  sql_admin admin;
  scratch_database db(admin);
  // 600 orders whose dates run in another order than their ids: 7 and 600
  // have no common factor, so every date is one order's.
  db.run("CREATE TABLE orders (id INT PRIMARY KEY, status VARCHAR(8), ordered_at DATETIME)");
  db.run("INSERT INTO orders SELECT seq, IF(seq % 3 = 0, 'open', 'done'), "
         "TIMESTAMP '2024-01-01 00:00:00' + INTERVAL (seq * 7) % 600 MINUTE FROM seq_1_to_600");
  auto engine = connected_engine();
  auto source = engine->open_db(db.wname(), 1, L"");
  // Newest first: the minutes (id * 7) % 600 from 599 down to 0.
  std::vector<long> newest_first(600);
  for (long id = 1; id <= 600; ++id)
    newest_first[static_cast<std::size_t>(599 - (id * 7) % 600)] = id;
  const std::vector<long> open_newest_first = [&] {
    std::vector<long> open;
    std::copy_if(newest_first.begin(), newest_first.end(), std::back_inserter(open), [](long id) { return id % 3 == 0; });
    return open;
  }();
  const struct {
    const wchar_t* text;
    std::vector<long> ids;
  } cases[] = {
      {L"SELECT id, status FROM orders ORDER BY ordered_at DESC", newest_first},
      {L"SELECT id FROM orders ORDER BY ordered_at DESC -- newest first", newest_first},
      {L"WITH o AS (SELECT id, ordered_at FROM orders) SELECT id FROM o ORDER BY ordered_at DESC", newest_first},
      {L"(SELECT id, ordered_at FROM orders WHERE id <= 300) UNION ALL "
       L"(SELECT id, ordered_at FROM orders WHERE id > 300) ORDER BY ordered_at DESC",
       newest_first},
      {L"SELECT id FROM orders ORDER BY ordered_at DESC LIMIT 10, 500",
       std::vector<long>(newest_first.begin() + 10, newest_first.begin() + 510)},
      {L"SELECT id FROM orders WHERE status = 'open' ORDER BY ordered_at DESC", open_newest_first},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(plat::to_utf8(c.text));
    auto query = source->get_query(L"q", c.text, 1);
    EXPECT_EQ(query->get_record_count(), c.ids.size());
    std::vector<long> read;
    for (query->reset(); !query->is_eof(); query->next())
      read.push_back((*query->get_item())[0]->to_long());
    EXPECT_EQ(read, c.ids);
  }
}

TEST(SqlStream, GeometryTableIsReadThroughItsWellKnownText)
{
  sql_admin admin;
  scratch_database db(admin);
  db.run("CREATE TABLE gt (id INT PRIMARY KEY, g GEOMETRY)");
  db.run("INSERT INTO gt VALUES (1, ST_GeomFromText('POINT(1 2)')), (2, NULL)");
  auto engine = connected_engine();
  auto source = engine->open_db(db.wname(), 1, L"");
  auto table = source->get_table(L"gt", 1);
  EXPECT_TRUE(table->is_query());
  EXPECT_EQ(table->get_query_text(), L"SELECT `id`,ST_AsText(`g`) as `g` FROM `gt`");
  EXPECT_EQ(table->get_schema()[1]->dw_reserved, 2u);
  EXPECT_EQ(table->get_record_count(), 2u);
  const std::vector<std::vector<std::string>> expected = {{"3:1", "8:POINT(1 2)"}, {"3:2", "0:"}};
  EXPECT_EQ(read_all(*table), expected);
}

TEST(SqlStream, UnusualNamesAreReadAsThemselves)
{
  sql_admin admin;
  scratch_database db(admin);
  const std::string evil = "x` union select user(),@@version #";
  db.run("CREATE TABLE x (a INT, b VARCHAR(100))");
  db.run("INSERT INTO x VALUES (99, 'wrong table')");
  db.run("CREATE TABLE `x`` union select user(),@@version #` (a INT AUTO_INCREMENT PRIMARY KEY, `b``q` VARCHAR(100))");
  db.run("INSERT INTO `x`` union select user(),@@version #` VALUES (1, 'one'), (2, 'two')");
  // Characters beyond U+FFFF are refused in names by MariaDB; cells hold them.
  db.run("CREATE TABLE `t\xE2\x82\xAC\xC3\xBC` (`c\xE2\x82\xAC\xE4\xB8\xAD` VARCHAR(10))");
  db.run("INSERT INTO `t\xE2\x82\xAC\xC3\xBC` VALUES ('\xF0\x9F\x98\x80\xF0\x9F\x8E\x89')");
  auto engine = connected_engine();
  auto source = engine->open_db(db.wname(), 1, L"");

  ASSERT_TRUE(source->is_table_exist(wide(evil)));
  auto table = source->get_table(wide(evil), 1);
  EXPECT_EQ(table->get_record_count(), 2u);
  EXPECT_EQ(table->get_last_auto_value(), 2u);
  ASSERT_EQ(table->get_schema().size(), 2u);
  EXPECT_EQ(table->get_schema()[1]->name, L"b`q");
  const std::vector<std::vector<std::string>> expected = {{"3:1", "8:one"}, {"3:2", "8:two"}};
  EXPECT_EQ(read_all(*table), expected);
  ASSERT_EQ(table->get_indexes().size(), 1u);
  table.reset();

  auto accented = source->get_table(L"t\u20AC\u00FC", 1);
  EXPECT_EQ(accented->get_schema()[0]->name, L"c\u20AC\u4E2D");
  accented->reset();
  ASSERT_FALSE(accented->is_eof());
  EXPECT_EQ((*accented->get_item())[0]->to_wstring(), L"\U0001F600\U0001F389");
}

TEST(SqlStream, BlobToTextDecidesHowBlobsReadAndTextStaysText)
{
  sql_admin admin;
  scratch_database db(admin);
  db.run("CREATE TABLE bt (lb LONGBLOB, vb VARBINARY(4), tx TEXT, cb VARCHAR(4) COLLATE utf8mb4_bin)");
  db.run("INSERT INTO bt VALUES (0x41004243, 0x4243, 'a\xF0\x9F\x98\x80', 'Zz')");
  auto engine = connected_engine();
  auto source = engine->open_db(db.wname(), 1, L"");
  const std::string query = "SELECT * FROM bt";
  for (const bool to_text : {false, true}) {
    engine->set_blob_to_text(to_text);
    auto table = source->get_table(L"bt", 1);
    auto rows = source->get_query(L"q", wide(query), 1);
    const std::vector<std::vector<std::string>> expected =
        to_text ? std::vector<std::vector<std::string>>{{"8:A\\0BC", "8:BC", "8:a\xF0\x9F\x98\x80", "8:Zz"}}
                : std::vector<std::vector<std::string>>{
                      {"8209:0x41004243", "8209:0x4243", "8:a\xF0\x9F\x98\x80", "8:Zz"}};
    EXPECT_EQ(read_all(*table), expected) << "blob to text " << to_text;
    table.reset();
    EXPECT_EQ(read_all(*rows), expected) << "blob to text " << to_text;
    EXPECT_EQ(engine->is_blob_to_text(), to_text);
  }
}

TEST(SqlStream, KilledConnectionMidStreamRaisesTheLostConnectionThatEndsTheRun)
{
  sql_admin admin;
  scratch_database db(admin);
  db.run("CREATE TABLE big (id INT PRIMARY KEY, pad CHAR(200))");
  db.run("INSERT INTO big SELECT seq, REPEAT('y', 200) FROM seq_1_to_200000");
  db.run("CREATE TABLE small (id INT)");
  auto engine = connected_engine();
  auto source = engine->open_db(db.wname(), 1, L"");
  auto table = source->get_table(L"big", 1);
  table->reset();
  std::uint64_t read = 0;
  for (; read < 300; ++read)
    table->next();
  admin.run("KILL " + std::to_string(mysql_thread_id(engine->get_handle())));
  const auto expect_lost = [](const sql_exception& e) {
    EXPECT_NE(dynamic_cast<const sql_connection_lost_exception*>(&e), nullptr) << e.what();
    EXPECT_EQ(e.get_level(), 1u);
    EXPECT_EQ(e.get_code(), 0x4007DDu);
    const std::string start = "The connection to the MySQL server was lost (";
    EXPECT_EQ(e.get_message().substr(0, start.size()), start);
  };
  try {
    for (; !table->is_eof(); table->next()) {
      ASSERT_NE(table->get_item(), nullptr) << "row " << read << " vanished without an error";
      ++read;
    }
    FAIL() << "the stream ended quietly after " << read << " rows";
  } catch (const sql_exception& e) {
    expect_lost(e);
    EXPECT_LT(read, 200000u);
  }
  table.reset();
  // The next table meets the closed connection ("gone away") the same way.
  try {
    source->get_table(L"small", 1);
    FAIL() << "a table was read after the connection was lost";
  } catch (const sql_exception& e) {
    expect_lost(e);
  }
}

TEST(SqlStream, RowErrorMidStreamDeliversTheRowsBeforeItThenRaisesForTheQueryAlone)
{
  sql_admin admin;
  scratch_database db(admin);
  db.run("CREATE TABLE t (id INT PRIMARY KEY)");
  db.run("INSERT INTO t SELECT seq FROM seq_1_to_10000");
  auto engine = connected_engine();
  auto source = engine->open_db(db.wname(), 1, L"");
  // The server fails at row 5,000, in the middle of a page.
  const struct {
    const char* what;
    const wchar_t* sql;
    std::uint64_t good_rows;
  } cases[] = {
      {"mid-page", L"SELECT id, IF(id=5000, (SELECT 1 UNION SELECT 2), id) AS v FROM t ORDER BY id", 4999},
      {"first row", L"SELECT id, IF(id=1, (SELECT 1 UNION SELECT 2), id) AS v FROM t ORDER BY id", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::uint64_t read = 0;
    try {
      auto rows = source->get_query(L"q", c.sql, 1);
      for (rows->reset(); !rows->is_eof(); rows->next()) {
        const udb_record* record = rows->get_item();
        ASSERT_NE(record, nullptr) << "row " << read + 1 << " vanished without an error";
        ASSERT_EQ((*record)[0]->to_long(), static_cast<std::int32_t>(read + 1));
        ++read;
      }
      FAIL() << "the query ended quietly after " << read << " rows";
    } catch (const sql_exception& e) {
      EXPECT_EQ(dynamic_cast<const sql_connection_lost_exception*>(&e), nullptr);
      EXPECT_EQ(e.get_level(), 0u);
      EXPECT_EQ(e.get_code(), 0x400000u + 1242) << e.what();
    }
    EXPECT_EQ(read, c.good_rows);
  }
  // The connection is still good for the next entry.
  EXPECT_EQ(read_all(*source->get_table(L"t", 1)).size(), 10000u);
}

TEST(SqlStream, EveryLogLineOnTheReadingPathFormats)
{
  sql_admin admin;
  scratch_database db(admin);
  create_all_types(db);
  db.run("CREATE TABLE parent (id INT PRIMARY KEY)");
  db.run("CREATE TABLE child (id INT AUTO_INCREMENT PRIMARY KEY, pid INT, "
         "CONSTRAINT fk FOREIGN KEY (pid) REFERENCES parent (id))");
  db.run("CREATE VIEW v AS SELECT /* c */ id FROM parent");
  temp_dir dir;
  {
    tk_logger logger(dir.file("sql.log").c_str(), true, 1, false);
    auto engine = connected_engine();
    engine->get_contents();
    engine->is_db_exist(db.wname());
    auto source = engine->open_db(db.wname(), 1, L"");
    for (const wchar_t* name : {L"all_types", L"child"}) {
      auto table = source->get_table(name, 1);
      read_all(*table);
    }
    auto query = source->get_query(L"q", L"SELECT * FROM all_types", 1);
    read_all(*query);
    source->test_query(L"SELECT 1");
    engine->set_blob_to_text(true);
    auto as_text = source->get_table(L"all_types", 1);
    read_all(*as_text);
  }
  const std::string log = read_file(dir.file("sql.log"));
  EXPECT_GT(log.size(), 1000u);
  EXPECT_EQ(log.find("[bad log format]"), std::string::npos)
      << log.substr(log.find("[bad log format]"), 300);
  EXPECT_NE(log.find("sql_engine::connect("), std::string::npos);
  EXPECT_EQ(log.find(test_server().password), std::string::npos);
}
