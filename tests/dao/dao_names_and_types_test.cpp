// The name rules of DAO targets and worksheets, the column type map, the value
// conversions DAO needs and the quoting of text defaults, as tables of cases.
#include "dao_layer_support.h"

#include "OLE/ole_exceptions.h"
#include "dao/dao_record.h"
#include "dao/dao_recordset.h"
#include "dao/dao_schema_initializer.h"
#include "dao/dao_validators.h"
#include "dao/xls_tn_validator.h"
#include "platform/dao/excel/workbook.h"

using namespace dao_layer_test;
namespace db = plat::dao;

TEST(DaoNames, WorksheetNamesRefuseTheNineCharactersAndStayUnique)
{
  const xls_tn_validator validator({L"Orders"}, {L"orders", L"people"});
  for (const wchar_t c : std::wstring(L"\\?*:$[]/'")) {
    const std::wstring name = std::wstring(L"a") + c + L"b";
    EXPECT_FALSE(validator.is_acceptable(name)) << plat::to_utf8(name);
    EXPECT_EQ(validator.get_safe_name(name), L"a_b") << plat::to_utf8(name);
  }
  for (const wchar_t* fine : {L"a.b", L"a!b", L"a`b", L"Ünïcödé", L"with space"})
    EXPECT_TRUE(validator.is_acceptable(fine)) << plat::to_utf8(fine);
  EXPECT_EQ(validator.get_safe_name(L"People"), L"people00000");
  // Names a reader of sheet titles holds equal are one name here too.
  xls_tn_validator folded({L"Sat\u0131\u015f"}, {});
  EXPECT_TRUE(folded.is_duplicated(L"SATI\u015e"));
  folded.add_restricted_name(L"Stra\u00dfe");
  EXPECT_FALSE(folded.is_acceptable(L"STRASSE"));
  EXPECT_TRUE(folded.is_acceptable(L"Strasse2"));
  EXPECT_EQ(validator.get_safe_name(L"A:B$"), L"a_b_");
  // The workbook's 31-unit title limit is the validator's, so cut names stay distinct.
  const std::wstring long_name(40, L'x');
  EXPECT_FALSE(validator.is_acceptable(long_name));
  EXPECT_EQ(validator.get_safe_name(long_name).size(), 30u);
}

TEST(DaoNames, FieldAndIndexNamesFollowTheirOwnRules)
{
  udb_indexes indexes;
  indexes.push_back(udb_index(L"by_name", false, false, {L"name"}));
  const dao_fn_validator fields(schema_of({{L"x", VT_I4}, {L"a_b", VT_I4}}));
  const dao_in_validator index_names(indexes);
  const struct {
    std::wstring name;
    bool field_ok;
    bool index_ok;
    const wchar_t* field_safe;
  } cases[] = {
      {L"plain", true, true, L"plain"},
      {L"", false, false, L"00000"},
      {L" x", false, false, L"x00000"},
      {L"x ", false, false, L"x00000"},
      {L"a.b", false, false, L"a_b00000"},
      {L"a!b", false, false, L"a_b00000"},
      {L"a`b", false, false, L"a_b00000"},
      {L"a/b", false, false, L"a_b00000"},
      {L"a'b", false, false, L"a_b00000"},
      {L"[q]", false, false, L"q"},
      {L"a:b", true, false, L"a:b"},
      {L"Mixed Case", true, true, L"mixed case"},
      {std::wstring(300, L'n'), true, true, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(plat::to_utf8(c.name));
    EXPECT_EQ(fields.is_acceptable(c.name), c.field_ok);
    EXPECT_EQ(index_names.is_acceptable(c.name), c.index_ok);
    if (c.field_safe != nullptr) {
      EXPECT_EQ(fields.get_safe_name(c.name), c.field_safe);
    }
  }
  EXPECT_EQ(index_names.get_safe_name(L"By_Name"), L"by_name00000");
}

TEST(DaoTypes, ColumnTypesMapToTheirDaoFieldTypes)
{
  constexpr VARTYPE bytes = VT_ARRAY | VT_UI1;
  const struct {
    VARTYPE vartype;
    std::uint32_t size;
    std::uint32_t dw_reserved;
    std::int32_t dao_type;  // 0: no DAO type
  } cases[] = {
      {VT_I2, 0, 0, db::db_integer},   {VT_I1, 0, 0, db::db_integer},  {VT_I4, 0, 0, db::db_long},
      {VT_UI2, 0, 0, db::db_long},     {VT_R4, 0, 0, db::db_single},   {VT_R8, 0, 0, db::db_double},
      {VT_DECIMAL, 0, 0, db::db_double}, {VT_UI4, 0, 0, db::db_double}, {VT_I8, 0, 0, db::db_double},
      {VT_UI8, 0, 0, db::db_double},   {VT_CY, 0, 0, db::db_currency}, {VT_DATE, 0, 0, db::db_date},
      {VT_BSTR, 1, 0, db::db_text},    {VT_BSTR, 255, 0, db::db_text}, {VT_BSTR, 256, 0, db::db_memo},
      {VT_BSTR, 0, 0, db::db_memo},    {VT_BOOL, 0, 0, db::db_boolean}, {VT_UI1, 0, 0, db::db_byte},
      {bytes, 255, 0, db::db_binary},  {bytes, 0, 0, db::db_long_binary}, {bytes, 10, 8, db::db_memo},
      {VT_BLOB, 256, 0, db::db_long_binary}, {VT_BLOB_OBJECT, 1, 0, db::db_binary},
      {VT_UNKNOWN, 0, 0, 0},           {VT_VARIANT, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "vt " << c.vartype << " size " << c.size << " sub " << c.dw_reserved);
    t_ftd column;
    column.vartype = c.vartype;
    column.size = c.size;
    column.dw_reserved = c.dw_reserved;
    if (c.dao_type == 0) {
      EXPECT_THROW(dao_field::get_native_type(column), ole_type_exception);
    } else {
      EXPECT_EQ(dao_field::get_native_type(column), c.dao_type);
    }
  }
}

TEST(DaoTypes, ValuesDaoDoesNotTakeAreRewrittenThroughTheirText)
{
  // 64-bit integers beyond a double's precision come out rounded.
  const struct {
    ole_variant value;
    VARTYPE type;
    double number;
  } cases[] = {
      {ole_variant(9223372036854775807LL), VT_R8, 9223372036854775808.0},
      {ole_variant(-9007199254740993LL), VT_R8, -9007199254740992.0},
      {ole_variant(18446744073709551615ULL), VT_R8, 18446744073709551616.0},
      {ole_variant(static_cast<unsigned short>(65535)), VT_I4, 65535},
      {ole_variant(4294967295u), VT_R8, 4294967295.0},
      {ole_variant(static_cast<signed char>(-5)), VT_I2, -5},
      {ole_variant(7), VT_EMPTY, 0},
      {ole_variant(L"text"), VT_EMPTY, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value.to_string());
    const ole_variant result = dao_get_valid_variant(c.value);
    EXPECT_EQ(result.get_type(), c.type);
    if (c.type != VT_EMPTY) {
      EXPECT_EQ(result.to_double(), c.number);
    }
  }
}

TEST(DaoTypes, TextDefaultsAreQuotedByWhatTheyHold)
{
  const struct {
    const wchar_t* text;
    const wchar_t* quoted;
  } cases[] = {
      {L"plain", L"\"plain\""},
      {L"it's", L"\"it's\""},
      {L"say \"hi\"", L"'say \"hi\"'"},
      {L"it's \"both\"", L"\"it's 'both'\""},
      {L"", L"\"\""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(dao_schema_initializer::quote_def_value(c.text), c.quoted) << plat::to_utf8(c.text);
}
