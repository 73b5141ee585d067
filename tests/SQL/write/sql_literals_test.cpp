// Values as MySQL literals: texts, fields and column defaults as statement text,
// then the same literals sent to the test server and read back, so that quoting,
// escaping and the hostile texts are judged by the server itself.
#include "SQL/sql_test_support.h"
#include "SQL/write/sql_db_write.h"
#include "SQL/write/sql_engi_write.h"

#include "SQL/write/sql_literals.h"
#include "UDB/udb_field.h"
#include "UDB/udb_schema.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

const VARTYPE bytes_vt = ole_variant::vt_byte_array;
const std::string guid = "6F9619FF-8B86-D011-B42D-00C04FC964FF";

udb_field field_of(const ole_variant& value)
{
  return udb_field(L"c", 0, value, false, false);
}

t_ftd column_of(VARTYPE type, std::uint32_t sub_type = 0, bool not_null = false,
                const ole_variant& default_value = ole_variant())
{
  return t_ftd(0, L"c", type, not_null, false, default_value, sub_type, L"");
}

ole_variant byte_array(const std::string& bytes)
{
  ole_variant value;
  value.allocate_safe_array(0);
  value.attach_binary(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  return value;
}

ole_variant date_of(const char* text)
{
  return ole_variant(ole_date(std::string(text)));
}

std::string hex_of(const std::string& bytes)
{
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (const char byte : bytes) {
    const auto c = static_cast<unsigned char>(byte);
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

} // namespace

TEST(LiteralText, TextsOfATypeBecomeTheSameLiteralNarrowAndWide)
{
  const struct {
    std::string text;
    VARTYPE type;
    std::string literal;
  } cases[] = {
      {"O'Brien", VT_BSTR, R"('O\'Brien')"},
      {R"(a\b)", VT_BSTR, R"('a\\b')"},
      {"l1\r\nl2\tx\"y%", VT_BSTR, "'l1\r\nl2\tx\"y%'"},
      // A NUL stays in the value, escaped: the statement holds no NUL byte.
      {std::string("a\0b", 3), VT_BSTR, R"('a\0b')"},
      {"", VT_BSTR, "''"},
      {"", VT_I4, "''"},
      {"x", VT_NULL, "NULL"},
      {"x", VT_EMPTY, "NULL"},
      {"12", VT_I4, "12"},
      {"-1.5e-3", VT_R8, "-1.5e-3"},
      // A text that looks like a GUID is text: only a GUID column's values are GUIDs.
      {"{" + guid + "}", VT_BSTR, "'{" + guid + "}'"},
      {"guid {" + guid + "}", VT_BSTR, "'guid {" + guid + "}'"},
      {"guid{" + guid + "}x", VT_BSTR, "'guid{" + guid + "}x'"},
      {"guid {6F9619FF-8B86-D011-B42D-00C04FC9'4FF}", VT_BSTR,
       R"('guid {6F9619FF-8B86-D011-B42D-00C04FC9\'4FF}')"},
      {"6F9619FF-8B86-D011-B42D-00C04FC964FX", VT_BSTR, "'6F9619FF-8B86-D011-B42D-00C04FC964FX'"},
      {"{" + guid + "}", VT_I4, "'{" + guid + "}'"},  // a GUID is text only in a text
      {"0x1f2E", VT_BLOB, "0x1f2E"},
      {"0x1G", VT_BLOB, "'0x1G'"},
      {"0x", VT_BLOB, "'0x'"},
      {"12345", bytes_vt, "12345"},
      {"007", bytes_vt, "'007'"},  // bare, the server would store 7
      {"1x23", VT_BLOB, "'1x23'"},
      {"it's", VT_BLOB, R"('it\'s')"},
      {"2024-01-31", VT_I4, "'2024-01-31'"},  // bare, the server computes 1992
      {"0),(1", VT_I4, "'0),(1'"},
      {"(SELECT 1)", VT_R8, "'(SELECT 1)'"},
      {"1e", VT_R8, "'1e'"},
      {".5", VT_R8, ".5"},
      {"2024-02-29 13:14:15.000123", VT_DATE, "'2024-02-29 13:14:15.000123'"},
      {"2024-02-29 13:14:15", VT_DATE, "'2024-02-29 13:14:15'"},
      {"2001-02-03", VT_DATE, "'2001-02-03'"},
      {"10:20:30.5", VT_DATE, "'10:20:30.500000'"},
      {"-838:59:59", VT_DATE, "'-838:59:59'"},
      {"0000-00-00 00:00:00", VT_DATE, "''"},  // the servers' "no date"
      {"no date", VT_DATE, "''"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(to_mysql_str(c.text, c.type), c.literal) << c.text;
    EXPECT_EQ(to_mysql_wstr(wide(c.text), c.type), wide(c.literal)) << c.text << " (wide)";
  }
}

TEST(LiteralField, FieldsBecomeTheLiteralsOfTheirColumns)
{
  const std::int64_t i8_min = std::numeric_limits<std::int64_t>::min();
  const std::uint64_t ui8_max = std::numeric_limits<std::uint64_t>::max();
  const struct {
    const char* name;
    ole_variant value;
    t_ftd column;
    std::string literal;
  } cases[] = {
      {"bytes", byte_array(std::string("\x00\xAB\x10", 3)), column_of(bytes_vt), "0x00AB10"},
      {"no bytes", byte_array(""), column_of(bytes_vt), "''"},  // empty, not NULL
      {"geometry", ole_variant("POINT(1 2)"), column_of(VT_BSTR, 2), "ST_GeomFromText('POINT(1 2)')"},
      {"hostile geometry", ole_variant("POINT(1 2)'),('x"), column_of(VT_BSTR, 8),
       R"(ST_GeomFromText('POINT(1 2)\'),(\'x'))"},
      {"text", ole_variant("O'Brien"), column_of(VT_BSTR), R"('O\'Brien')"},
      {"guid-like text", ole_variant("{" + guid + "}"), column_of(VT_BSTR), "'{" + guid + "}'"},
      {"guid", ole_variant("{" + guid + "}"), column_of(VT_BSTR, 1), "'" + guid + "'"},
      {"no guid in a guid column", ole_variant("{x}"), column_of(VT_BSTR, 1), "'{x}'"},
      {"text with NUL", ole_variant(std::wstring(L"a\0b", 3)), column_of(VT_BSTR), R"('a\0b')"},
      {"number in text column", ole_variant(12), column_of(VT_BSTR), "12"},
      {"date text into INT", ole_variant("2024-01-31"), column_of(VT_I4), "'2024-01-31'"},
      {"injection into INT", ole_variant("0),(1"), column_of(VT_I4), "'0),(1'"},
      {"number text into INT", ole_variant("42"), column_of(VT_I4), "42"},
      {"NULL into NOT NULL INT with default", ole_variant(), column_of(VT_I4, 0, true, ole_variant(5)), "5"},
      {"NULL into NOT NULL INT", ole_variant(), column_of(VT_I4, 0, true), "''"},
      {"NULL into INT", ole_variant(), column_of(VT_I4), "NULL"},
      {"NULL into NOT NULL text", ole_variant(), column_of(VT_BSTR, 0, true, ole_variant("d")), "NULL"},
      {"empty text into DATE", ole_variant(""), column_of(VT_DATE), "NULL"},
      {"NULL into bytes", ole_variant(), column_of(bytes_vt, 0, true), "NULL"},
      {"INT min", ole_variant(std::numeric_limits<std::int32_t>::min()), column_of(VT_I4), "-2147483648"},
      {"BIGINT min", ole_variant(i8_min), column_of(VT_I8), "-9223372036854775808"},
      {"BIGINT UNSIGNED max", ole_variant(ui8_max), column_of(VT_UI8), "18446744073709551615"},
      {"true", ole_variant(true), column_of(VT_BOOL), "1"},
      {"date", date_of("2024-02-29 13:14:15.000123"), column_of(VT_DATE, 1), "'2024-02-29 13:14:15.000123'"},
      {"zero date", date_of("0000-00-00"), column_of(VT_DATE, 2), "NULL"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(get_fld_append_str(field_of(c.value), c.column, false), c.literal) << c.name;
  EXPECT_EQ(to_mysql_str(field_of(ole_variant("a\\'b"))), R"('a\\\'b')");
  EXPECT_EQ(to_mysql_str(field_of(byte_array(""))), "''");
  EXPECT_EQ(to_mysql_str(field_of(ole_variant())), "NULL");
}

TEST(LiteralField, OnlyPreparedStatementsTakeLongValuesAsParameters)
{
  const t_ftd column = column_of(bytes_vt);
  const udb_field at_limit = field_of(byte_array(std::string(1048576, '\x01')));
  const udb_field beyond = field_of(byte_array(std::string(1048577, '\x01')));
  const std::string literal = get_fld_append_str(at_limit, column, true);
  EXPECT_EQ(literal.size(), 2u + 2 * 1048576u);
  EXPECT_EQ(literal.substr(0, 6), "0x0101");
  EXPECT_EQ(get_fld_append_str(beyond, column, true), "?");
  EXPECT_EQ(get_fld_append_str(beyond, column, false).size(), 2u + 2 * 1048577u);
  EXPECT_EQ(get_fld_append_str(field_of(ole_variant()), column, true), "NULL");
}

namespace {

// A default, what the column definition gets, and how the server shows it back
// (information_schema.COLUMNS.COLUMN_DEFAULT) on a column of the given SQL type.
struct default_case {
  VARTYPE type;
  std::uint32_t sub_type;
  ole_variant value;
  std::wstring literal;
  const char* sql_type;
  const char* shown;
};

std::vector<default_case> default_cases()
{
  return {
      {VT_I4, 0, ole_variant("007"), L"", "INT", ""},
      {VT_I4, 0, ole_variant("7"), L"7", "INT", "7"},
      {VT_I4, 0, ole_variant("-3"), L"-3", "INT", "-3"},
      {VT_I4, 0, ole_variant(" 7"), L"", "INT", ""},
      {VT_UI4, 0, ole_variant("4294967296"), L"", "INT UNSIGNED", ""},
      {VT_I4, 0, ole_variant("2147483647"), L"2147483647", "INT", "2147483647"},
      {VT_I4, 0, ole_variant("-2147483648"), L"-2147483648", "INT", "-2147483648"},
      {VT_I4, 0, ole_variant("2147483648"), L"", "INT", ""},
      {VT_I8, 0, ole_variant("-9223372036854775808"), L"-9223372036854775808", "BIGINT",
       "-9223372036854775808"},
      {VT_I8, 0, ole_variant("9223372036854775808"), L"", "BIGINT", ""},
      {VT_UI8, 0, ole_variant("-1"), L"", "BIGINT UNSIGNED", ""},
      {VT_R8, 0, ole_variant("0.0"), L"0.0", "DOUBLE", "0"},
      {VT_R8, 0, ole_variant(" 2.5e3 "), L"2.5e3", "DOUBLE", "2500"},
      {VT_R8, 0, ole_variant("1.5abc"), L"", "DOUBLE", ""},
      {VT_R8, 0, ole_variant("abc"), L"", "DOUBLE", ""},
      {VT_R8, 0, ole_variant("1, `x` INT"), L"", "DOUBLE", ""},
      {VT_R8, 0, ole_variant("0,0"), L"", "DOUBLE", ""},
      {VT_R8, 0, ole_variant("1e999"), L"", "DOUBLE", ""},
      {VT_R8, 0, ole_variant("newid()"), L"", "DOUBLE", ""},
      {VT_DATE, 0, ole_variant("SYSDATE"), L"CURRENT_TIMESTAMP", "DATETIME", "current_timestamp()"},
      {VT_DATE, 0, ole_variant("sysdate()"), L"CURRENT_TIMESTAMP", "DATETIME", "current_timestamp()"},
      {VT_DATE, 0, ole_variant("now()"), L"CURRENT_TIMESTAMP", "DATETIME", "current_timestamp()"},
      {VT_DATE, 1, ole_variant("CURRENT_TIMESTAMP"), L"CURRENT_TIMESTAMP", "DATETIME", "current_timestamp()"},
      {VT_DATE, 0, ole_variant("GetUtcDate()"), L"CURRENT_TIMESTAMP", "DATETIME", "current_timestamp()"},
      {VT_DATE, 0, ole_variant("newid()"), L"", "DATETIME", ""},
      // Between apostrophes, which every sql_mode reads as a text (ANSI_QUOTES makes
      // a double-quoted one a name).
      {VT_DATE, 2, ole_variant("2001-02-03 10:20:30"), L"'2001-02-03'", "DATE", "'2001-02-03'"},
      {VT_DATE, 3, ole_variant("2001-02-03 10:20:30"), L"'10:20:30'", "TIME", "'10:20:30'"},
      {VT_DATE, 1, ole_variant("2001-02-03 10:20:30.25"), L"'2001-02-03 10:20:30.250000'", "DATETIME(6)",
       "'2001-02-03 10:20:30.250000'"},
      {VT_DATE, 1, ole_variant("no date"), L"", "DATETIME", ""},
      {VT_DATE, 9, ole_variant(), L"CURRENT_TIMESTAMP", "TIMESTAMP", "current_timestamp()"},
      {VT_DATE, 10, ole_variant(), L"CURRENT_DATE()", "DATE", "curdate()"},
      {VT_DATE, 11, ole_variant(), L"CURRENT_TIME()", "TIME", "curtime()"},
      {VT_BSTR, 0, ole_variant("C:\\it's"), LR"('C:\\it\'s')", "VARCHAR(20)", R"('C:\\it''s')"},
      {VT_BSTR, 0, ole_variant("to_char(sysdate,'yyyy-mm-dd hh24:mi:ss')"), L"", "VARCHAR(60)", ""},
  };
}

} // namespace

TEST(LiteralDefault, DefaultsAreKeptOnlyInTheFormTheServerShowsBack)
{
  for (const default_case& c : default_cases())
    EXPECT_EQ(make_mysql_def_val(column_of(c.type, c.sub_type, false, c.value)), c.literal)
        << plat::to_utf8(c.value.to_wstring()) << " sub-type " << c.sub_type;
}

TEST(LiteralDefault, EveryTimestampKeywordIsOneList)
{
  for (const wchar_t* keyword : {L"NOW()", L"now()", L"sysdate", L"SYSDATE()", L"getdate()",
                                 L"getutcdate()", L"current_timestamp"})
    EXPECT_TRUE(sql_is_timestamp_keyword(keyword)) << plat::to_utf8(keyword);
  for (const wchar_t* other : {L"now", L"getdate", L"date()", L" NOW()", L"sysdate() "})
    EXPECT_FALSE(sql_is_timestamp_keyword(other)) << plat::to_utf8(other);
  EXPECT_EQ(sql_quote_wtext(LR"(O'x\)"), LR"('O\'x\\')");
}

TEST(LiteralServer, ValuesReadBackAsTheyWere)
{
  sql_admin admin;
  scratch_database db(admin);
  db.run("CREATE TABLE v (id INT PRIMARY KEY, t TEXT CHARACTER SET utf8mb4, b BLOB, i BIGINT, "
         "u BIGINT UNSIGNED, r DOUBLE, dt DATETIME(6), tm TIME(6), d DATE, g GEOMETRY)");
  const std::string with_nul("a\0b'\\", 5);
  const struct {
    const char* column;
    std::string literal;
    std::string read_back;  // the bytes (text, blob) or the server's text
  } cases[] = {
      {"t", get_fld_append_str(field_of(ole_variant("O'Brien \\ \" % \\'")), column_of(VT_BSTR), false),
       "O'Brien \\ \" % \\'"},
      {"t", to_mysql_str(with_nul, VT_BSTR), with_nul},
      {"t", get_fld_append_str(field_of(ole_variant("\xF0\x9F\x98\x80 \xC3\xA9")), column_of(VT_BSTR), false),
       "\xF0\x9F\x98\x80 \xC3\xA9"},
      {"t", get_fld_append_str(field_of(ole_variant("l1\r\nl2\t")), column_of(VT_BSTR), false), "l1\r\nl2\t"},
      {"t", get_fld_append_str(field_of(ole_variant("C:\\")), column_of(VT_BSTR), false), "C:\\"},
      {"b", get_fld_append_str(field_of(byte_array(std::string("\x00'\\\xFF", 4))), column_of(bytes_vt), false),
       std::string("\x00'\\\xFF", 4)},
      {"b", to_mysql_str("x'\\", VT_BLOB), "x'\\"},
      {"b", to_mysql_str("0x00FF", VT_BLOB), std::string("\x00\xFF", 2)},
      {"i", get_fld_append_str(field_of(ole_variant(std::numeric_limits<std::int64_t>::min())),
                               column_of(VT_I8), false),
       "-9223372036854775808"},
      {"u", get_fld_append_str(field_of(ole_variant(std::numeric_limits<std::uint64_t>::max())),
                               column_of(VT_UI8), false),
       "18446744073709551615"},
      {"r", get_fld_append_str(field_of(ole_variant(std::numeric_limits<double>::max())), column_of(VT_R8), false),
       "1.7976931348623157e308"},
      {"r", get_fld_append_str(field_of(ole_variant(-2.5e-300)), column_of(VT_R8), false), "-2.5e-300"},
      {"dt", get_fld_append_str(field_of(date_of("2024-02-29 13:14:15.000123")), column_of(VT_DATE, 1), false),
       "2024-02-29 13:14:15.000123"},
      {"dt", get_fld_append_str(field_of(date_of("0000-00-00 00:00:00")), column_of(VT_DATE, 1), false), "NULL"},
      {"dt", get_fld_append_str(field_of(ole_variant("0000-00-00 00:00:00")), column_of(VT_DATE, 1), false),
       "0000-00-00 00:00:00.000000"},
      {"tm", get_fld_append_str(field_of(date_of("-838:59:59")), column_of(VT_DATE, 3), false),
       "-838:59:59.000000"},
      {"d", get_fld_append_str(field_of(date_of("9999-12-31")), column_of(VT_DATE, 2), false), "9999-12-31"},
      {"g", get_fld_append_str(field_of(ole_variant("POINT(1 2)")), column_of(VT_BSTR, 2), false),
       "POINT(1 2)"},
      {"i", get_fld_append_str(field_of(ole_variant()), column_of(VT_I8), false), "NULL"},
  };
  int id = 0;
  for (const auto& c : cases) {
    ++id;
    const std::string column = c.column;
    db.run("INSERT INTO v (id, " + column + ") VALUES (" + std::to_string(id) + ", " + c.literal + ")");
    const std::string where = " FROM v WHERE id = " + std::to_string(id);
    if (column == "t" || column == "b")
      EXPECT_EQ(admin.value("SELECT HEX(" + column + ")" + where), hex_of(c.read_back)) << c.literal;
    else if (column == "g")
      EXPECT_EQ(admin.value("SELECT ST_AsText(g)" + where), c.read_back) << c.literal;
    else
      EXPECT_EQ(admin.value("SELECT " + column + where), c.read_back) << c.literal;
  }
}

TEST(LiteralServer, HostileValuesNeverChangeTheStatementsShape)
{
  sql_admin admin;
  scratch_database db(admin);
  db.run("CREATE TABLE h (id INT AUTO_INCREMENT PRIMARY KEY, n INT, t TEXT, g GEOMETRY)");
  const char* hostile[] = {"0),(1",         "1); DROP TABLE h; --", "(SELECT 5)", "x' OR '1'='1",
                           "\\",            "'",                    "\\'),(2",    "2024-01-31",
                           "guid {6F9619FF-8B86-D011-B42D-00C04FC9'4FF}",     "POINT(1 2)'),('x"};
  int rows = 0;
  for (const char* text : hostile) {
    const udb_field value = field_of(ole_variant(text));
    for (const auto& [column, literal] :
         {std::pair{"n", get_fld_append_str(value, column_of(VT_I4), false)},
          std::pair{"t", get_fld_append_str(value, column_of(VT_BSTR), false)},
          std::pair{"g", get_fld_append_str(value, column_of(VT_BSTR, 2), false)}}) {
      // IGNORE: a value the column cannot hold is converted with a warning, so
      // every statement inserts exactly one row unless its shape was changed.
      db.run(std::string("INSERT IGNORE INTO h (") + column + ") VALUES (" + literal + ")");
      ++rows;
      EXPECT_EQ(admin.value("SELECT COUNT(*) FROM " + db.quoted() + ".h"), std::to_string(rows)) << literal;
    }
    EXPECT_EQ(admin.value("SELECT HEX(t) FROM " + db.quoted() + ".h ORDER BY id DESC LIMIT 1, 1"),
              hex_of(text));
  }
  // A date is never computed as 2024 - 1 - 31.
  EXPECT_EQ(admin.value("SELECT COUNT(*) FROM " + db.quoted() + ".h WHERE n = 1992"), "0");
}

TEST(LiteralServer, DefaultsAreTakenByCreateTable)
{
  sql_admin admin;
  scratch_database db(admin);
  int table = 0;
  for (const default_case& c : default_cases()) {
    const std::wstring literal = make_mysql_def_val(column_of(c.type, c.sub_type, false, c.value));
    if (literal.empty())
      continue;
    const std::string name = "d" + std::to_string(++table);
    db.run("CREATE TABLE " + name + " (c " + c.sql_type + " DEFAULT " + plat::to_utf8(literal) + ")");
    EXPECT_EQ(admin.value("SELECT COLUMN_DEFAULT FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = '" +
                          db.name() + "' AND TABLE_NAME = '" + name + "'"),
              c.shown)
        << plat::to_utf8(literal);
  }
}
