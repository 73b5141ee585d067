// Column types and cell values from fabricated result columns: the type map, the
// binary rule, MySQL's special date and time texts, BIT values, and rows refilled
// in place.
#include "SQL/sql_engi.h"
#include "SQL/sql_rec.h"
#include "SQL/sql_util.h"
#include "platform/text_codec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

MYSQL_FIELD field_of(enum_field_types type, unsigned flags, unsigned charset, unsigned long length,
                     const char* name = "c")
{
  MYSQL_FIELD field;
  std::memset(&field, 0, sizeof field);
  field.name = const_cast<char*>(name);
  field.name_length = static_cast<unsigned>(std::strlen(name));
  field.type = type;
  field.flags = flags;
  field.charsetnr = charset;
  field.length = length;
  return field;
}

std::string render(const ole_variant& value)
{
  if (value.get_type() == VT_BSTR)
    return "8:" + plat::to_utf8(value.to_wstring());
  if (value.get_type() == VT_DATE)
    return "7:" + plat::to_utf8(value.get_date().to_wstring(6));
  return std::to_string(value.get_type()) + ":" + value.to_string();
}

constexpr unsigned utf8mb4_general = 45;
constexpr unsigned utf8mb4_bin = 46;

} // namespace

TEST(SqlValues, ColumnTypesMapToTheirVartypes)
{
  sql_engine engine;  // blob-to-text off
  const VARTYPE bytes = VT_ARRAY | VT_UI1;
  const struct {
    enum_field_types type;
    unsigned flags, charset;
    unsigned long length;
    VARTYPE vartype;
  } cases[] = {
      {MYSQL_TYPE_LONG, UNSIGNED_FLAG, 63, 10, VT_UI4},
      {MYSQL_TYPE_INT24, UNSIGNED_FLAG, 63, 8, VT_I4},
      {MYSQL_TYPE_SHORT, 0, 63, 6, VT_I2},
      {MYSQL_TYPE_YEAR, UNSIGNED_FLAG, 63, 4, VT_UI2},
      {MYSQL_TYPE_NEWDECIMAL, 0, 63, 12, VT_DECIMAL},
      {MYSQL_TYPE_BIT, UNSIGNED_FLAG, 63, 1, VT_BOOL},
      {MYSQL_TYPE_BIT, UNSIGNED_FLAG, 63, 16, VT_UI8},
      {MYSQL_TYPE_BLOB, BINARY_FLAG, 63, 65535, bytes},
      {MYSQL_TYPE_BLOB, 0, utf8mb4_general, 65535, VT_BSTR},           // TEXT
      {MYSQL_TYPE_BLOB, BINARY_FLAG, utf8mb4_bin, 65535, VT_BSTR},     // JSON, _bin TEXT
      {MYSQL_TYPE_VAR_STRING, BINARY_FLAG, 63, 8, bytes},               // VARBINARY
      {MYSQL_TYPE_VAR_STRING, BINARY_FLAG, utf8mb4_bin, 40, VT_BSTR},  // _bin VARCHAR
      {MYSQL_TYPE_STRING, BINARY_FLAG, 63, 4, bytes},                   // BINARY(4)
      {MYSQL_TYPE_STRING, BINARY_FLAG, utf8mb4_bin, 144, VT_BSTR},     // UUID
      {MYSQL_TYPE_GEOMETRY, BINARY_FLAG, 63, 4294967295ul, bytes},
  };
  for (const auto& c : cases) {
    const MYSQL_FIELD field = field_of(c.type, c.flags, c.charset, c.length);
    EXPECT_EQ(sql_column_vartype(field), c.vartype) << c.type << " flags " << c.flags;
  }
  engine.set_blob_to_text(true);
  EXPECT_EQ(sql_column_vartype(field_of(MYSQL_TYPE_BLOB, BINARY_FLAG, 63, 65535)), VT_BSTR);
  EXPECT_EQ(get_vartype(MYSQL_TYPE_LONG_BLOB, BINARY_FLAG), VT_BSTR);
  engine.set_blob_to_text(false);
  EXPECT_EQ(get_vartype(MYSQL_TYPE_LONG_BLOB, BINARY_FLAG), bytes);
  EXPECT_EQ(get_vartype(MYSQL_TYPE_LONG_BLOB, 0), bytes);
  EXPECT_EQ(get_vartype(MYSQL_TYPE_LONGLONG, UNSIGNED_FLAG), VT_UI8);
}

TEST(SqlValues, CellTextsReadAsTheirVartype)
{
  const struct {
    VARTYPE type;
    const char* cell;
    std::string value;
  } cases[] = {
      {VT_DATE, "0000-00-00", "0:"},
      {VT_DATE, "0000-00-00 00:00:00", "0:"},
      {VT_DATE, "0000-00-00 00:00:00.000000", "0:"},
      {VT_DATE, "838:59:59", "8:838:59:59"},
      {VT_DATE, "-10:00:00.5", "8:-10:00:00.5"},
      {VT_DATE, "24:00:00", "8:24:00:00"},
      {VT_DATE, "23:59:59", "7:23:59:59"},
      {VT_DATE, "2024-02-29 13:14:15.000123", "7:2024-02-29 13:14:15.000123"},
      {VT_DECIMAL, "12345.67", "14:12345.67"},
      {VT_DATE, "2023-02-29", "8:2023-02-29"},
      {VT_DECIMAL, "1234567890123456789012345678", "8:1234567890123456789012345678"},
      {VT_UI8, "18446744073709551615", "8:18446744073709551615"},
      {VT_UI8, "9007199254740992", "21:9007199254740992"},
      {VT_I8, "-9223372036854775808", "8:-9223372036854775808"},
      {VT_I8, "-9007199254740992", "20:-9007199254740992"},
      {VT_BOOL, "\x01", "11:1"},
      {VT_BOOL, "", "11:0"},
      {VT_BSTR, "a\xF0\x9F\x98\x80", "8:a\xF0\x9F\x98\x80"},
      {VT_I4, "", "0:"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(render(get_variant(c.type, c.cell)), c.value) << c.cell;
    std::wstring wide;
    ASSERT_TRUE(plat::utf8_to_wide(c.cell, wide));
    EXPECT_EQ(render(get_variant(c.type, wide.c_str())), c.value) << c.cell << " (wide)";
  }
  EXPECT_EQ(get_variant(VT_I4, static_cast<const char*>(nullptr)).get_type(), VT_EMPTY);
  EXPECT_EQ(get_variant(VT_BSTR, static_cast<const wchar_t*>(nullptr)).get_type(), VT_EMPTY);
}

TEST(SqlValues, CellsByMysqlTypeKeepBytesAndTheZerosOfTexts)
{
  sql_engine engine;
  const char binary4[] = {'\0', '\1', '\2', '\3'};
  EXPECT_EQ(render(get_variant(MYSQL_TYPE_STRING, 4, BINARY_FLAG, binary4)), "8209:0x00010203");
  EXPECT_EQ(render(get_variant(MYSQL_TYPE_VAR_STRING, 0, BINARY_FLAG, "")).substr(0, 5), "8209:");
  // Read with no text limit, a text is as the server holds it, NUL and all.
  const ole_variant nul = get_variant(MYSQL_TYPE_BLOB, 3, 0, "a\0b");
  ASSERT_EQ(nul.get_type(), VT_BSTR);
  EXPECT_EQ(std::wstring(nul.get_variant().bstrVal, SysStringLen(nul.get_variant().bstrVal)), std::wstring(L"a\0b", 3));
  const char bit16[] = {'\0', '\1'};
  EXPECT_EQ(render(get_variant(MYSQL_TYPE_BIT, 2, UNSIGNED_FLAG, bit16)), "21:1");
  EXPECT_EQ(render(get_variant(MYSQL_TYPE_BIT, 1, UNSIGNED_FLAG, "\1")), "11:1");
  EXPECT_EQ(get_variant(MYSQL_TYPE_LONG, 0, 0, static_cast<const char*>(nullptr)).get_type(), VT_EMPTY);
  // The wide form's length counts UTF-8 bytes; the wide text is shorter and bounds the read.
  EXPECT_EQ(render(get_variant(MYSQL_TYPE_VAR_STRING, 40, BINARY_FLAG, L"AB")), "8209:0x4142");
  EXPECT_EQ(render(get_variant(MYSQL_TYPE_VAR_STRING, 4, 0, L"\u00FC\u00E4")), "8:\xC3\xBC\xC3\xA4");
  EXPECT_EQ(sql_bit_value("\x01\x00\xFF", 3), 0x0100FFu);
}

TEST(SqlValues, RowsAreRefilledInPlaceByTheirOwnPlanOnly)
{
  sql_engine engine;
  MYSQL_FIELD fields[] = {
      field_of(MYSQL_TYPE_LONG, 0, 63, 11, "id"),
      field_of(MYSQL_TYPE_VAR_STRING, 0, utf8mb4_general, 40, "name"),
      field_of(MYSQL_TYPE_BLOB, BINARY_FLAG, 63, 65535, "data"),
  };
  const sql_row_plan plan(3, fields);
  char id1[] = "1", name1[] = "first", data1[] = {'\0', 'x'};
  char* row1[] = {id1, name1, data1};
  unsigned long lengths1[] = {1, 5, 2};
  sql_record record(plan, lengths1, row1);
  ASSERT_EQ(record.size(), 3u);
  const udb_field* name_field = record[1];
  EXPECT_EQ(name_field->get_name(), L"name");

  char id2[] = "22", name2[] = "second";
  char* row2[] = {id2, name2, nullptr};
  unsigned long lengths2[] = {2, 6, 0};
  ASSERT_TRUE(record.refill(plan, lengths2, row2));
  EXPECT_EQ(record[1], name_field);  // the same field, a new value
  EXPECT_EQ(render(*record[0]), "3:22");
  EXPECT_EQ(render(*record[1]), "8:second");
  EXPECT_EQ(record[1]->get_stored_size(), 6u);
  EXPECT_EQ(record[2]->get_type(), VT_EMPTY);

  const sql_row_plan other(3, fields);
  EXPECT_FALSE(record.refill(other, lengths1, row1));
  EXPECT_EQ(render(*record[0]), "3:22");
}

TEST(SqlValues, NamesAndQueriesGoIntoStatementsQuoted)
{
  EXPECT_EQ(sql_quote_name(L"a`b"), L"`a``b`");
  EXPECT_EQ(sql_quote_name(L""), L"``");
  const struct {
    std::wstring query, wrapped;
  } cases[] = {
      {L"SELECT 1", L"(SELECT 1\n) as q"},
      {L"SELECT 1; \n", L"(SELECT 1\n) as q"},
      {L"SELECT 1 -- why", L"(SELECT 1 -- why\n) as q"},
      {L"SELECT ';'", L"(SELECT ';'\n) as q"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(sql_derived_table(c.query, L"q"), c.wrapped);
}
