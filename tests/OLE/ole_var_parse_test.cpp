// Values read from the texts a MySQL server sends, under the column's VARTYPE,
// also under a German locale; and the type changes in place, including the
// ones that must refuse rather than produce a wrong or undefined number.
#include "OLE/ole_var.h"

#include "OLE/ole_exceptions.h"
#include "ole_var_test_support.h"
#include "platform/text_codec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

using namespace ole_var_test;

namespace {

constexpr VARTYPE byte_array = VT_ARRAY | VT_UI1;
constexpr double infinity = std::numeric_limits<double>::infinity();

struct parse_case {
  const char* text;
  VARTYPE asked;
  VARTYPE type;          // of the result
  const wchar_t* wide;   // to_wstring of the result
  double number;         // to_double, where the type has one
};

// Every numeric form a MySQL column sends, at its limits.
const parse_case mysql_cases[] = {
  {"-128", VT_I1, VT_I1, L"-128", -128},                                      // TINYINT
  {"255", VT_UI1, VT_UI1, L"255", 255},                                       // TINYINT UNSIGNED
  {"-32768", VT_I2, VT_I2, L"-32768", -32768},                                // SMALLINT
  {"65535", VT_UI2, VT_UI2, L"65535", 65535},                                 // SMALLINT UNSIGNED, YEAR
  {"-8388608", VT_I4, VT_I4, L"-8388608", -8388608},                          // MEDIUMINT
  {"-2147483648", VT_I4, VT_I4, L"-2147483648", -2147483648.0},               // INT
  {"4294967295", VT_UI4, VT_UI4, L"4294967295", 4294967295.0},                // INT UNSIGNED
  {"-9223372036854775808", VT_I8, VT_I8, L"-9223372036854775808", -9223372036854775808.0},  // BIGINT
  {"9223372036854775807", VT_I8, VT_I8, L"9223372036854775807", 9223372036854775807.0},
  {"18446744073709551615", VT_UI8, VT_UI8, L"18446744073709551615", 18446744073709551615.0},  // BIGINT UNSIGNED
  {"1.1", VT_R4, VT_R4, L"1.100000e+00", 1.1},                                // FLOAT
  {"-3.40282e38", VT_R4, VT_R4, L"-3.402820e+38", -3.40282e38},
  {"1.17549e-38", VT_R4, VT_R4, L"1.175490e-38", 1.17549e-38},
  {"0.1", VT_R8, VT_R8, L"1.0000000000000001e-01", 0.1},                     // DOUBLE
  {"1.7976931348623157e308", VT_R8, VT_R8, L"1.7976931348623157e+308", 1.7976931348623157e308},
  {"-2.2250738585072014e-308", VT_R8, VT_R8, L"-2.2250738585072014e-308", -2.2250738585072014e-308},
  {"4.9e-324", VT_R8, VT_R8, L"4.9406564584124654e-324", 4.9406564584124654e-324},
  {"12345.67", VT_DECIMAL, VT_DECIMAL, L"12345.67", 12345.67},               // DECIMAL
  {"-0.000000000000000000000000000001", VT_DECIMAL, VT_DECIMAL, L"0", 0},    // beyond 28 places
  {"79228162514264337593543950335", VT_DECIMAL, VT_DECIMAL, L"79228162514264337593543950335", 7.922816251426434e28},
  {"0.000000000000000000000000000000", VT_DECIMAL, VT_DECIMAL, L"0", 0},     // DECIMAL(65,30) zero
  {"12.50", VT_DECIMAL, VT_DECIMAL, L"12.5", 12.5},
  {"1", VT_BOOL, VT_BOOL, L"1", 1},                                          // BIT(1)
  {"12.3456", VT_CY, VT_CY, L"12.3456", 12.3456},
};

void expect_parsed(const parse_case& c)
{
  const ole_variant value = ole_variant::from_string(c.text, c.asked);
  EXPECT_EQ(value.get_type(), c.type) << c.text;
  EXPECT_EQ(value.to_wstring(), c.wide) << c.text;
  if (ole_is_numeric_vt(value.get_type())) {
    EXPECT_EQ(value.to_double(), c.number) << c.text;
  }
}

} // namespace

TEST(OleVariantParse, EveryMySqlNumberReadsBackExactly)
{
  for (const parse_case& c : mysql_cases)
    expect_parsed(c);
}

TEST(OleVariantParse, NumbersReadTheSameUnderAGermanLocale)
{
  german_locale german;
  if (!german.active())
    GTEST_SKIP() << "de_DE.UTF-8 is not installed";
  ASSERT_EQ(std::atof("12.5"), 12.0);  // the C library now stops at the "."
  for (const parse_case& c : mysql_cases)
    expect_parsed(c);
  EXPECT_EQ(ole_variant::from_string("12,5", VT_R8).to_double(), 12.5);
  EXPECT_EQ(ole_variant::from_wstring(L"2.5", VT_R4).to_double(), 2.5);
}

TEST(OleVariantParse, DecimalsBeyondTwentyNineDigitsArriveAsTheNearestDouble)
{
  const char* const texts[] = {
    // DECIMAL(65,30) at its limits, and the 40 digits of the edge case
    "99999999999999999999999999999999999.999999999999999999999999999999",
    "-12345678901234567890123456789012345.123456789012345678901234567891",
    "1234567890123456789012345678901234567890",
  };
  for (const char* text : texts) {
    const ole_variant value = ole_variant::from_string(text, VT_DECIMAL);
    EXPECT_EQ(value.get_type(), VT_R8) << text;
    EXPECT_EQ(value.to_double(), std::strtod(text, nullptr)) << text;
  }
  EXPECT_EQ(ole_variant::from_string("12,5", VT_DECIMAL).to_wstring(), L"12.5");
}

TEST(OleVariantParse, IntegersAreReadAsTheCLibraryReadsThem)
{
  struct integer_case {
    const char* text;
    VARTYPE type;
    const char* expected;
  };
  const integer_case cases[] = {
    {"  +12abc", VT_I4, "12"},
    {"12,5", VT_I4, "12"},
    {"abc", VT_I4, "0"},
    {"99999999999", VT_I4, "2147483647"},                        // saturates as MSVC's atoi
    {"-99999999999", VT_I4, "-2147483648"},
    {"70000", VT_I2, "4464"},                                     // cut to 16 bits
    {"-1", VT_UI1, "255"},                                        // cut to 8 bits
    {"99999999999999999999", VT_I8, "9223372036854775807"},
    {"-99999999999999999999", VT_I8, "-9223372036854775808"},
    {"99999999999999999999", VT_UI8, "18446744073709551615"},
    {"-1", VT_UI8, "18446744073709551615"},                       // "%llu" wraps a sign
    {"x", VT_UI8, "0"},
    {"4294967296", VT_UI4, "4294967295"},
  };
  for (const integer_case& c : cases) {
    const ole_variant value = ole_variant::from_string(c.text, c.type);
    EXPECT_EQ(value.get_type(), c.type) << c.text;
    EXPECT_EQ(value.to_string(), c.expected) << c.text;
  }
}

TEST(OleVariantParse, RealsOutOfRangeAndNotANumberAreDefined)
{
  EXPECT_EQ(ole_variant::from_string("1e39", VT_R4).to_double(), infinity);  // beyond float
  EXPECT_EQ(ole_variant::from_string("-1e400", VT_R8).to_double(), -infinity);
  EXPECT_EQ(ole_variant::from_string("1e-400", VT_R8).to_double(), 0.0);
  EXPECT_EQ(ole_variant::from_string("3.4028235e38", VT_R4).to_double(), 3.4028235e38);
  const ole_variant nan = ole_variant::from_string("nan", VT_R8);
  EXPECT_TRUE(std::isnan(nan.to_double()));
  EXPECT_EQ(nan.to_wstring(), L"0");
  EXPECT_EQ(ole_variant::from_string("inf", VT_R4).to_wstring(), L"inf");
  EXPECT_EQ(ole_variant::from_string("junk", VT_R8).to_double(), 0.0);
}

TEST(OleVariantParse, EmptyTextIsEmptyExceptForText)
{
  for (const VARTYPE type : {VT_I4, VT_UI8, VT_R8, VT_DECIMAL, VT_DATE, VT_BOOL, byte_array, VT_BLOB})
    EXPECT_EQ(ole_variant::from_string("", type).get_type(), VT_EMPTY) << type;
  const ole_variant text = ole_variant::from_string("", VT_BSTR);
  EXPECT_EQ(text.get_type(), VT_BSTR);
  EXPECT_EQ(text.to_wstring(), L"");
  EXPECT_EQ(ole_variant::from_wstring(L"", VT_BSTR).get_type(), VT_BSTR);
}

TEST(OleVariantParse, TextOfEveryPlaneIsKept)
{
  const std::wstring wide = L"a\u00e9\u0416\u65e5\u20ac\U0001F600\U0010FFFD";
  const std::string narrow = plat::to_utf8(wide);
  const ole_variant from_narrow = ole_variant::from_string(narrow, VT_BSTR);
  EXPECT_EQ(from_narrow.to_wstring(), wide);
  EXPECT_EQ(from_narrow.to_string(), narrow);
  EXPECT_EQ(ole_variant::from_wstring(wide, VT_BSTR).to_wstring(), wide);
  // The wide form copies up to the first NUL.
  EXPECT_EQ(SysStringLen(ole_variant::from_wstring(std::wstring(L"ab\0c", 4), VT_BSTR).get_variant().bstrVal), 2u);
}

TEST(OleVariantParse, DatesKeepMicrosecondsAndFullHours)
{
  struct date_case {
    const char* text;
    VARTYPE type;
    const wchar_t* wide;
  };
  const date_case cases[] = {
    {"2024-01-05 10:20:30.123456", VT_DATE, L"2024-01-05 10:20:30.123456"},  // DATETIME(6)
    {"2024-02-29", VT_DATE, L"2024-02-29"},                                  // DATE
    {"10:15:00", VT_DATE, L"10:15:00"},                           // TIME of day
    {"838:59:59", VT_DATE, L"838:59:59"},                                    // TIME at its limits
    {"-838:59:59.000001", VT_DATE, L"-838:59:59.000001"},
    {"-00:30:00", VT_DATE, L"-00:30:00"},
    {"0000-00-00 00:00:00", VT_EMPTY, L""},                                  // zero dates
    {"0000-00-00", VT_EMPTY, L""},
    {"2024-02-30", VT_EMPTY, L""},
    {"not a date", VT_EMPTY, L""},
  };
  for (const date_case& c : cases) {
    const ole_variant value = ole_variant::from_string(c.text, VT_DATE);
    EXPECT_EQ(value.get_type(), c.type) << c.text;
    EXPECT_EQ(value.to_wstring(), c.wide) << c.text;
    const ole_variant copy = value;
    EXPECT_EQ(copy.to_wstring(), c.wide) << c.text;
  }
  EXPECT_EQ(ole_variant::from_wstring(L"2024-01-05 10:20:30.5", VT_DATE).to_string(), "2024-01-05 10:20:30.500000");
}

TEST(OleVariantParse, BooleanWordsNumbersAndOtherText)
{
  struct bool_case {
    const char* text;
    bool expected;
  };
  const bool_case cases[] = {
    {"Yes", true}, {"T", true}, {"TRUE", true}, {"1", true}, {"2", true}, {"-1", true},
    {"No", false}, {"F", false}, {"false", false}, {"0", false}, {"maybe", false}, {" yes", false},
  };
  for (const bool_case& c : cases) {
    const ole_variant value = ole_variant::from_string(c.text, VT_BOOL);
    EXPECT_EQ(value.get_type(), VT_BOOL) << c.text;
    EXPECT_EQ(value.get_variant().boolVal, c.expected ? VARIANT_TRUE : VARIANT_FALSE) << c.text;
  }
}

TEST(OleVariantParse, HexadecimalTextBecomesBytes)
{
  struct hex_case {
    const wchar_t* text;
    VARTYPE asked;
    VARTYPE type;
    std::vector<unsigned char> bytes;
  };
  const hex_case cases[] = {
    {L"0x0aFF", byte_array, byte_array, {10, 255}},
    {L"\\xAB", byte_array, byte_array, {171}},
    {L"0A1B", byte_array, byte_array, {10, 27}},
    {L"0X", byte_array, byte_array, {}},
    {L"ABC", byte_array, VT_EMPTY, {}},
    {L"0xAB", VT_BLOB, VT_BLOB, {171}},
  };
  for (const hex_case& c : cases) {
    const std::string narrow = plat::to_utf8(c.text);
    for (const ole_variant& value : {ole_variant::from_string(narrow, c.asked), ole_variant::from_wstring(c.text, c.asked)}) {
      EXPECT_EQ(value.get_type(), c.type) << narrow;
      EXPECT_EQ(bytes_of(value), c.bytes) << narrow;
    }
  }
  // "0x" alone is an array of no elements, not an empty value.
  EXPECT_EQ(ole_variant::get_safe_array_size(ole_variant::from_string("0x", byte_array).get_variant().parray), 0u);
  // A large value reads whole.
  const std::string big = "0x" + std::string(2 * 1000000, 'F');
  EXPECT_EQ(bytes_of(ole_variant::from_string(big, byte_array)), std::vector<unsigned char>(1000000, 0xFF));
}

TEST(OleVariantParse, OtherTypesGoThroughTheGeneralConversion)
{
  const ole_variant value = ole_variant::from_string("42", VT_INT);
  EXPECT_EQ(value.get_type(), VT_INT);
  EXPECT_EQ(value.to_double(), 42.0);
  EXPECT_EQ(ole_variant::from_wstring(L"7", VT_UINT).to_double(), 7.0);
  EXPECT_THROW(ole_variant::from_wstring(L"-7", VT_UINT), ole_type_exception);
  EXPECT_THROW(ole_variant::from_string("abc", VT_INT), ole_type_exception);
  EXPECT_THROW(ole_variant::from_string("1", VT_ERROR), ole_type_exception);
  EXPECT_THROW(ole_variant::from_wstring(L"1", VT_I4 | VT_ARRAY), ole_type_exception);
  EXPECT_EQ(ole_variant::from_string("abc", VT_CY).get_type(), VT_EMPTY);  // currency failures are empty
}

TEST(OleVariantChangeType, ConvertsAsTheTableSays)
{
  struct change_case {
    const char* what;
    ole_variant value;
    VARTYPE asked;
    VARTYPE type;
    std::string text;  // to_string of the result
  };
  const change_case cases[] = {
    {"byte array to its synonym", ole_variant(std::vector<unsigned char>{1, 2}), VT_BLOB, VT_BLOB, "0x0102"},
    {"synonym back", ole_variant::from_string("0x0102", VT_BLOB), byte_array, byte_array, "0x0102"},
    {"byte array to blob object", ole_variant(std::vector<unsigned char>{1}), VT_BLOB_OBJECT, byte_array, "0x01"},
    {"I2 to I4 stays", ole_variant(static_cast<short>(7)), VT_I4, VT_I2, "7"},
    {"text to I4 stays", ole_variant("12"), VT_I4, VT_BSTR, "12"},
    {"empty stays", ole_variant(), VT_I4, VT_EMPTY, ""},
    {"I8 to CY", ole_variant(std::int64_t{5}), VT_CY, VT_CY, "5"},
    {"I8 to BOOL", ole_variant(std::int64_t{1}), VT_BOOL, VT_BOOL, "1"},
    {"I8 2^16 to BOOL", ole_variant(std::int64_t{65536}), VT_BOOL, VT_BOOL, "1"},
    {"I8 0 to BOOL", ole_variant(std::int64_t{0}), VT_BOOL, VT_BOOL, "0"},
    {"I8 to I4 bits", ole_variant(std::int64_t{4294967297}), VT_I4, VT_I4, "1"},
    {"I8 to text", ole_variant(std::int64_t{-9}), VT_BSTR, VT_BSTR, "-9"},
    {"I8 to UI8 bits", ole_variant(std::int64_t{-1}), VT_UI8, VT_UI8, "18446744073709551615"},
    {"UI8 maximum to DECIMAL", ole_variant(std::numeric_limits<std::uint64_t>::max()), VT_DECIMAL, VT_DECIMAL,
     "18446744073709551615"},
    {"UI8 to R8", ole_variant(std::numeric_limits<std::uint64_t>::max()), VT_R8, VT_R8, "1.8446744073709552e+19"},
    {"CY 2.5 to I8", ole_variant(CY{25000}), VT_I8, VT_I8, "3"},
    {"CY -2.5 to I8", ole_variant(CY{-25000}), VT_I8, VT_I8, "-2"},
    {"BOOL to I8", ole_variant(true), VT_I8, VT_I8, "-1"},
    {"R8 to I8 ties to even", ole_variant(2.5), VT_I8, VT_I8, "2"},
    {"R8 to UI8", ole_variant(1e19), VT_UI8, VT_UI8, "10000000000000000000"},
    {"DECIMAL to UI8", ole_variant(decimal_of(L"18446744073709551615")), VT_UI8, VT_UI8, "18446744073709551615"},
    {"R8 2.5 to I4", ole_variant(2.5), VT_I4, VT_I4, "3"},
    {"R8 -2.5 to I4", ole_variant(-2.5), VT_I4, VT_I4, "-3"},
    {"R8 0.49999999999999994 to I4", ole_variant(0.49999999999999994), VT_I4, VT_I4, "0"},
    {"R8 to UI4 above 2^31", ole_variant(3e9), VT_UI4, VT_UI4, "3000000000"},
    {"R4 70000 to I2 cut", ole_variant(70000.0f), VT_I2, VT_I2, "4464"},
    {"DECIMAL to I2", ole_variant(decimal_of(L"-2.5")), VT_I2, VT_I2, "-2"},
    {"DECIMAL to I1", ole_variant(decimal_of(L"127")), VT_I1, VT_I1, "127"},
    {"R8 to I1 stays", ole_variant(1.0), VT_I1, VT_R8, "1.0000000000000000e+00"},
    {"text yes to BOOL", ole_variant("yes"), VT_BOOL, VT_BOOL, "1"},
    {"text F to BOOL", ole_variant(L"F"), VT_BOOL, VT_BOOL, "0"},
    {"date to text", ole_variant::from_string("10:15:00", VT_DATE), VT_BSTR, VT_BSTR, "10:15:00"},
    {"duration to text", ole_variant::from_string("-838:59:59", VT_DATE), VT_BSTR, VT_BSTR, "-838:59:59"},
    {"text to date", ole_variant("2024-01-05 10:20:30.25"), VT_DATE, VT_DATE, "2024-01-05 10:20:30.250000"},
    {"bytes to text", ole_variant(std::vector<unsigned char>{'a', 0xC3, 0xA9, 0, 'z'}), VT_BSTR, VT_BSTR, "a\xC3\xA9"},
    {"no bytes to text", ole_variant::from_string("0x", byte_array), VT_BSTR, VT_BSTR, ""},
    {"bytes to I4 stay", ole_variant(std::vector<unsigned char>{1}), VT_I4, byte_array, "0x01"},
    {"I4 to bytes", ole_variant(1), VT_BLOB, byte_array, "0x01000000"},
    {"BOOL to bytes", ole_variant(true), byte_array, byte_array, "0xFFFF"},
    {"R8 to bytes", ole_variant(1.0), byte_array, byte_array, "0x000000000000F03F"},
    {"DECIMAL to bytes", ole_variant(decimal_of(L"-1.5")), byte_array, byte_array, "0x0E00018000000000" "0F00000000000000"},
    {"text to bytes", ole_variant(L"\u00e9"), byte_array, byte_array, "0xC3A9"},
    {"empty text to bytes stays", ole_variant(L""), byte_array, VT_BSTR, ""},
    {"R8 to text", ole_variant(12.5), VT_BSTR, VT_BSTR, "12.5"},
    {"text to R8", ole_variant("12.5"), VT_R8, VT_R8, "1.2500000000000000e+01"},
    {"I4 to DECIMAL", ole_variant(-3), VT_DECIMAL, VT_DECIMAL, "-3"},
  };
  for (const change_case& c : cases) {
    ole_variant value = c.value;
    value.change_type(c.asked);
    EXPECT_EQ(value.get_type(), c.type) << c.what;
    EXPECT_EQ(value.to_string(), c.text) << c.what;
  }
}

TEST(OleVariantChangeType, ImpossibleConversionsRefuseAndLeaveTheValue)
{
  struct refusal {
    const char* what;
    ole_variant value;
    VARTYPE asked;
  };
  const refusal cases[] = {
    {"R8 beyond 64 bits to I8", ole_variant(1e30), VT_I8},
    {"NaN to I8", ole_variant(std::numeric_limits<double>::quiet_NaN()), VT_I8},
    {"negative to UI8", ole_variant(-1.0f), VT_UI8},
    {"NaN to I4", ole_variant(std::numeric_limits<double>::quiet_NaN()), VT_I4},
    {"R8 beyond 32 bits to I4", ole_variant(3e9), VT_I4},
    {"infinity to I2", ole_variant(std::numeric_limits<float>::infinity()), VT_I2},
    {"R8 beyond 32 bits to UI4", ole_variant(5e9), VT_UI4},
    {"DECIMAL beyond I4", ole_variant(decimal_of(L"2147483647.5")), VT_I4},
    {"DECIMAL negative to UI8", ole_variant(decimal_of(L"-1")), VT_UI8},
    {"I8 beyond currency", ole_variant(std::int64_t{1} << 62), VT_CY},
    {"UI8 beyond currency", ole_variant(std::numeric_limits<std::uint64_t>::max()), VT_CY},
    {"I8 to date", ole_variant(std::int64_t{1}), VT_DATE},
    {"I8 to bytes", ole_variant(std::int64_t{1}), byte_array},
    {"text 1 to BOOL", ole_variant("1"), VT_BOOL},
    {"date to R8", ole_variant::from_string("2024-01-01", VT_DATE), VT_R8},
    {"invalid text to date", ole_variant("2024-02-30"), VT_DATE},
    {"R8 to date", ole_variant(1.0), VT_DATE},
    {"text to I8", ole_variant("5"), VT_I8},
    {"not UTF-8 bytes to text", ole_variant(std::vector<unsigned char>{0xFF}), VT_BSTR},
    {"error to bytes", raw_value(VT_ERROR), byte_array},
    {"text to R8", ole_variant("abc"), VT_R8},
  };
  for (const refusal& c : cases) {
    ole_variant value = c.value;
    const std::string before = value.to_string();
    EXPECT_THROW(value.change_type(c.asked), ole_cast_exception) << c.what;
    EXPECT_EQ(value.get_type(), c.value.get_type()) << c.what;
    EXPECT_EQ(value.to_string(), before) << c.what;
  }
}
