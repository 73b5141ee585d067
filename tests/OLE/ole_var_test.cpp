// The value type: what each constructor holds, how values read back as text,
// numbers and booleans (also under a German locale), that copies own their
// content, and the extracts the writers take. Plus the small COM helpers.
#include "OLE/ole_var.h"

#include "OLE/ole_exceptions.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "ole_var_test_support.h"
#include "platform/text_codec.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

using namespace ole_var_test;

namespace {

constexpr VARTYPE byte_array = VT_ARRAY | VT_UI1;
constexpr double nan_value = std::numeric_limits<double>::quiet_NaN();
constexpr std::uint64_t ui8_max = std::numeric_limits<std::uint64_t>::max();

struct text_case {
  const char* what;
  ole_variant value;
  VARTYPE type;
  std::string narrow;
};

std::vector<text_case> text_cases()
{
  return {
    {"literal text", ole_variant("abc"), VT_BSTR, "abc"},
    {"wide literal", ole_variant(L"abc"), VT_BSTR, "abc"},
    {"utf-8 string", ole_variant(std::string("Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x98\x80")), VT_BSTR,
     "Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x98\x80"},
    {"wide string, every plane", ole_variant(std::wstring(L"A\u00e9\u20ac\U0001F600\U0010FFFD")), VT_BSTR,
     "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBD"},
    {"bool true", ole_variant(true), VT_BOOL, "1"},
    {"bool false", ole_variant(false), VT_BOOL, "0"},
    {"VT_BOOL holding 1 is false", raw_value(VT_BOOL, 1), VT_BOOL, "0"},
    {"char", ole_variant('A'), VT_I1, "65"},
    {"signed char", ole_variant(static_cast<signed char>(-128)), VT_I1, "-128"},
    {"byte", ole_variant(static_cast<unsigned char>(255)), VT_UI1, "255"},
    {"short", ole_variant(static_cast<short>(-32768)), VT_I2, "-32768"},
    {"unsigned short", ole_variant(static_cast<unsigned short>(65535)), VT_UI2, "65535"},
    {"int", ole_variant(-2147483647 - 1), VT_I4, "-2147483648"},
    {"unsigned int", ole_variant(4294967295u), VT_UI4, "4294967295"},
    {"VT_INT", raw_value(VT_INT, -7), VT_INT, "-7"},
    {"VT_UINT", raw_value(VT_UINT, 7), VT_UINT, "7"},
    {"int64_t", ole_variant(std::int64_t{-5}), VT_I8, "-5"},
    {"long long minimum", ole_variant(std::numeric_limits<long long>::min()), VT_I8, "-9223372036854775808"},
    {"uint64_t maximum", ole_variant(ui8_max), VT_UI8, "18446744073709551615"},
    {"unsigned long long", ole_variant(1ull), VT_UI8, "1"},
    {"double", ole_variant(1.5), VT_R8, "1.5000000000000000e+00"},
    {"double negative zero", ole_variant(-0.0), VT_R8, "-0.0000000000000000e+00"},
    {"double largest", ole_variant(std::numeric_limits<double>::max()), VT_R8, "1.7976931348623157e+308"},
    {"double NaN", ole_variant(nan_value), VT_R8, "0"},
    {"double infinity", ole_variant(-std::numeric_limits<double>::infinity()), VT_R8, "-inf"},
    {"float", ole_variant(1.5f), VT_R4, "1.500000e+00"},
    {"float NaN", ole_variant(std::numeric_limits<float>::quiet_NaN()), VT_R4, "0"},
    {"currency", ole_variant(CY{125000}), VT_CY, "12.5"},
    {"decimal", ole_variant(decimal_of(L"-0.5")), VT_DECIMAL, "-0.5"},
    {"decimal of 29 digits", ole_variant(decimal_of(L"79228162514264337593543950335")), VT_DECIMAL,
     "79228162514264337593543950335"},
    {"date", ole_variant(ole_date(std::string("2024-01-31 10:20:30.123456"))), VT_DATE,
     "2024-01-31 10:20:30.123456"},
    {"time of day", ole_variant(ole_date(std::string("10:15:00"))), VT_DATE, "10:15:00"},
    {"long time", ole_variant(ole_date(std::string("838:59:59"))), VT_DATE, "838:59:59"},
    {"negative time", ole_variant(ole_date(std::string("-01:00:00"))), VT_DATE, "-01:00:00"},
    {"bytes", ole_variant(std::vector<unsigned char>{0x00, 0xAB, 0x10}), byte_array, "0x00AB10"},
    {"no bytes", ole_variant(std::vector<unsigned char>{}), VT_EMPTY, ""},
    {"empty", ole_variant(), VT_EMPTY, ""},
    {"null", raw_value(VT_NULL), VT_NULL, ""},
    {"error", raw_value(VT_ERROR), VT_ERROR, ""},
  };
}

void expect_texts()
{
  for (const text_case& c : text_cases()) {
    EXPECT_EQ(c.value.get_type(), c.type) << c.what;
    EXPECT_EQ(c.value.to_string(), c.narrow) << c.what;
    std::wstring wide;
    ASSERT_TRUE(plat::utf8_to_wide(c.narrow, wide)) << c.what;
    EXPECT_EQ(c.value.to_wstring(), wide) << c.what;
  }
}

} // namespace

TEST(OleVariant, EachConstructorHoldsItsTypeAndPrintsItsValue)
{
  expect_texts();
}

TEST(OleVariant, TextsAreTheSameUnderAGermanLocale)
{
  german_locale german;
  if (!german.active())
    GTEST_SKIP() << "de_DE.UTF-8 is not installed";
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  expect_texts();
  EXPECT_EQ(ole_variant(1.5).to_wstring(), L"1.5000000000000000e+00");
}

TEST(OleVariant, NoPointerOrLiteralBecomesABoolean)
{
  EXPECT_EQ(ole_variant("<Binary Field>").get_type(), VT_BSTR);
  ole_variant value(1);
  value = L"x";
  EXPECT_EQ(value.get_type(), VT_BSTR);
  value = "y";
  EXPECT_EQ(value.to_wstring(), L"y");
  char buffer[] = "z";
  EXPECT_EQ(ole_variant(buffer).get_type(), VT_BSTR);
  static_assert(!std::is_constructible_v<ole_variant, const int*>);
  static_assert(!std::is_constructible_v<ole_variant, SAFEARRAY*>);
  static_assert(!std::is_constructible_v<ole_variant, const void*>);
}

TEST(OleVariant, TextKeepsEmbeddedNulsButReadsUpToTheFirst)
{
  const std::wstring text(L"ab\0cd", 5);
  const ole_variant value(text);
  EXPECT_EQ(SysStringLen(value.get_variant().bstrVal), 5u);
  const ole_variant copy(value);
  EXPECT_EQ(SysStringLen(copy.get_variant().bstrVal), 5u);
  EXPECT_EQ(copy.to_wstring(), L"ab");
  EXPECT_EQ(copy.to_string(), "ab");
  // A BSTR is copied as SysAllocString does: up to its first NUL.
  const ole_variant from_bstr(value.get_variant().bstrVal);
  EXPECT_EQ(SysStringLen(from_bstr.get_variant().bstrVal), 2u);
}

TEST(OleVariant, NarrowTextThatIsNotUtf8KeepsEverythingButTheBadBytes)
{
  ole_variant value(std::string("ok"));
  value.attach_string("a\xFF\xFE" "b");
  EXPECT_EQ(value.get_type(), VT_BSTR);
  EXPECT_EQ(value.to_wstring(), L"a\uFFFD\uFFFDb");
}

TEST(OleVariant, DatesKeepTheirDateAndGiveCOMAVariantTime)
{
  struct date_case {
    const char* text;
    double variant_time;
  };
  const date_case cases[] = {
    {"2024-01-31 12:00:00.999", 45322.5},  // milliseconds do not reach the DATE
    {"1899-12-30", 0.0},
    {"10:15:00", 10.25 / 24},
    {"838:59:59", (838 * 3600 + 59 * 60 + 59) / 86400.0},
    {"-01:00:00", -1.0 / 24},
  };
  for (const date_case& c : cases) {
    const ole_variant value(ole_date{std::string(c.text)});
    EXPECT_EQ(value.get_type(), VT_DATE) << c.text;
    EXPECT_DOUBLE_EQ(value.get_variant().date, c.variant_time) << c.text;
  }
  const ole_variant date(ole_date{std::string("2024-01-31 10:20:30.123456")});
  const ole_variant copy(date);
  EXPECT_EQ(copy.get_date().get_microseconds(), 123456u);
  EXPECT_EQ(copy.get_variant().date, date.get_variant().date);
}

TEST(OleVariant, ToDoubleReadsEveryNumericTypeAndRefusesOthers)
{
  struct double_case {
    const char* what;
    ole_variant value;
    double expected;
  };
  const double_case cases[] = {
    {"empty", ole_variant(), 0.0},
    {"null", raw_value(VT_NULL), 0.0},
    {"I1", ole_variant(static_cast<signed char>(-3)), -3.0},
    {"UI1", ole_variant(static_cast<unsigned char>(200)), 200.0},
    {"I2", ole_variant(static_cast<short>(-300)), -300.0},
    {"UI2", ole_variant(static_cast<unsigned short>(60000)), 60000.0},
    {"I4", ole_variant(-70000), -70000.0},
    {"UI4", ole_variant(4294967295u), 4294967295.0},
    {"INT", raw_value(VT_INT, -5), -5.0},
    {"UINT", raw_value(VT_UINT, 0xFFFFFFFF), 4294967295.0},
    {"I8", ole_variant(std::int64_t{-9007199254740993}), -9007199254740992.0},
    {"UI8 maximum", ole_variant(ui8_max), 18446744073709551616.0},
    {"R4 as written", ole_variant(1.1f), 1.1},
    {"R4 large", ole_variant(3.40282e38f), 3.40282e38},
    {"R8", ole_variant(2.5), 2.5},
    {"CY", ole_variant(CY{-25000}), -2.5},
    {"DECIMAL", ole_variant(decimal_of(L"12345.67")), 12345.67},
    {"DECIMAL long", ole_variant(decimal_of(L"0.1000000000000000055511151231")), 0.1},
    {"BOOL true", ole_variant(true), 1.0},
    {"BOOL holding 1", raw_value(VT_BOOL, 1), 0.0},
  };
  for (const double_case& c : cases)
    EXPECT_EQ(c.value.to_double(), c.expected) << c.what;

  EXPECT_TRUE(std::isnan(ole_variant(nan_value).to_double()));
  for (const ole_variant& other : {ole_variant("1"), ole_variant(ole_date{std::string("2024-01-01")}),
                                   ole_variant(std::vector<unsigned char>{1}), raw_value(VT_ERROR)}) {
    try {
      (void)other.to_double();
      ADD_FAILURE() << "type " << other.get_type() << " gave a number";
    } catch (const tk_mail_assertion& e) {
      EXPECT_EQ(e.get_message(), make_err_meggase("ole_var", 940));
    }
  }
}

TEST(OleVariant, ToLongAndToBoolFollowEachTypesRule)
{
  struct integer_case {
    const char* what;
    ole_variant value;
    std::int32_t as_long;
    bool as_bool;
  };
  const integer_case cases[] = {
    {"I8 beyond 32 bits", ole_variant(std::int64_t{4294967297}), 1, true},
    {"I8 of 2^32", ole_variant(std::int64_t{4294967296}), 0, true},
    {"UI8 maximum", ole_variant(ui8_max), -1, true},
    {"R8 toward zero", ole_variant(-2.9), -2, true},
    {"R8 beyond 32 bits", ole_variant(1e20), 0, true},
    {"R8 just below 2^31", ole_variant(2147483647.9), 2147483647, true},
    {"R8 at -2^31 - 1", ole_variant(-2147483649.0), 0, true},
    {"R8 NaN", ole_variant(nan_value), 0, true},
    {"R8 small", ole_variant(0.25), 0, true},
    {"R8 zero", ole_variant(0.0), 0, false},
    {"R4 NaN", ole_variant(std::numeric_limits<float>::quiet_NaN()), 0, true},
    {"CY ties to even", ole_variant(CY{25000}), 2, true},
    {"CY 3.5", ole_variant(CY{35000}), 4, true},
    {"CY beyond 32 bits", ole_variant(CY{std::numeric_limits<std::int64_t>::max()}), 0, false},
    {"DECIMAL 0.5", ole_variant(decimal_of(L"0.5")), 0, false},
    {"DECIMAL -2.5", ole_variant(decimal_of(L"-2.5")), -2, true},
    {"BOOL true", ole_variant(true), 1, true},
    {"BOOL holding 1", raw_value(VT_BOOL, 1), 0, false},
    {"UI4 maximum", ole_variant(4294967295u), -1, true},
    {"UI1", ole_variant(static_cast<unsigned char>(200)), 200, true},
    {"I1", ole_variant(static_cast<signed char>(-1)), -1, true},
    {"INT", raw_value(VT_INT, 5), 5, true},
    {"UINT", raw_value(VT_UINT, 5), 5, true},
    {"text", ole_variant("5"), 0, false},
    {"date", ole_variant(ole_date{std::string("2024-01-01")}), 0, false},
    {"empty", ole_variant(), 0, false},
  };
  for (const integer_case& c : cases) {
    EXPECT_EQ(c.value.to_long(), c.as_long) << c.what;
    EXPECT_EQ(c.value.to_bool(), c.as_bool) << c.what;
  }
}

TEST(OleVariant, CopiesOwnTheirContentAndSelfAssignmentChangesNothing)
{
  ole_variant bytes(std::vector<unsigned char>{1, 2, 3});
  ole_variant copy(bytes);
  copy.attach_binary(std::vector<unsigned char>{9, 9, 9});
  EXPECT_EQ(bytes_of(bytes), (std::vector<unsigned char>{1, 2, 3}));
  EXPECT_EQ(bytes_of(copy), (std::vector<unsigned char>{9, 9, 9}));

  ole_variant values[] = {ole_variant("text"), ole_variant(std::int64_t{-5}), ole_variant(ui8_max),
                          ole_variant(ole_date{std::string("838:59:59")}), bytes};
  for (ole_variant& value : values) {
    const std::string before = value.to_string();
    ole_variant& alias = value;
    value = alias;
    EXPECT_EQ(value.to_string(), before);
    value = std::move(alias);
    EXPECT_EQ(value.to_string(), before);
    ole_variant assigned;
    assigned = value;
    EXPECT_EQ(assigned.get_type(), value.get_type());
    EXPECT_EQ(assigned.to_string(), before);
    // A text assigned from the value's own BSTR is copied before the old one goes.
    if (value.get_type() == VT_BSTR) {
      value = value.get_variant().bstrVal;
      EXPECT_EQ(value.to_string(), before);
    }
  }

  ole_variant moved(std::move(values[0]));
  EXPECT_EQ(moved.to_string(), "text");
  EXPECT_EQ(values[0].get_type(), VT_EMPTY);  // NOLINT(bugprone-use-after-move)
  values[1] = std::move(moved);
  EXPECT_EQ(values[1].to_string(), "text");
}

TEST(OleVariant, NoBytesLeaveTheValueAsItWas)
{
  ole_variant value("keep");
  value = std::vector<unsigned char>{};
  EXPECT_EQ(value.get_type(), VT_BSTR);
  EXPECT_EQ(value.to_string(), "keep");
  value = std::vector<unsigned char>{0xFF};
  EXPECT_EQ(value.get_type(), byte_array);
  EXPECT_EQ(value.to_string(), "0xFF");
}

TEST(OleVariant, ArraysAreResizedInPlaceKeepingTheirType)
{
  ole_variant value = ole_variant::from_string("0xAB", VT_BLOB);
  value.allocate_safe_array(3);
  EXPECT_EQ(value.get_type(), VT_BLOB);
  EXPECT_EQ(bytes_of(value), (std::vector<unsigned char>{0xAB, 0, 0}));
  value.allocate_safe_array(0);
  EXPECT_EQ(value.to_string(), "");
  EXPECT_EQ(ole_variant::get_safe_array_size(value.get_variant().parray), 0u);
  EXPECT_EQ(ole_variant::get_safe_array_size(nullptr), 0u);
}

TEST(OleVariant, LargeByteArraysCopyWholeAndRenderUpToTheCap)
{
  const std::uint32_t size = ole_variant::max_rendered_bytes + 1;
  ole_variant value;
  value.allocate_safe_array(size);
  auto* bytes = static_cast<unsigned char*>(value.get_variant().parray->pvData);
  bytes[0] = 0xA5;
  bytes[size - 2] = 0x5A;
  bytes[size - 1] = 0x01;
  const ole_variant copy(value);
  bytes[0] = 0;
  ASSERT_EQ(ole_variant::get_safe_array_size(copy.get_variant().parray), size);
  EXPECT_EQ(static_cast<const unsigned char*>(copy.get_variant().parray->pvData)[size - 1], 0x01);
  const std::string text = copy.to_string();
  ASSERT_EQ(text.size(), 2u + 240000000u);
  EXPECT_EQ(text.substr(0, 6), "0xA500");
  EXPECT_EQ(text.substr(text.size() - 4), "005A");  // the last byte is past the cap
}

TEST(OleVariant, GetAtCopiesPiecesOfTextsAndArrays)
{
  char buffer[64];
  std::uint32_t written = 0;
  const ole_variant text("abcdef");
  EXPECT_EQ(text.get_at(buffer, 2, 3, &written), 3u);
  EXPECT_STREQ(buffer, "cde");
  EXPECT_EQ(written, 3u);
  EXPECT_EQ(text.get_at(buffer, 6, 3), 0u);

  // Positions count characters and the bytes are counted apart, so a caller
  // moving on by the result never skips part of a text.
  const ole_variant wide(L"\u65e5\u672c\u8a9e\U0001F600");
  EXPECT_EQ(wide.get_at(buffer, 1, 2, &written), 2u);
  EXPECT_STREQ(buffer, "\xE6\x9C\xAC\xE8\xAA\x9E");
  EXPECT_EQ(written, 6u);
  EXPECT_EQ(wide.get_at(buffer, 3, 10, &written), 1u);
  EXPECT_EQ(written, 4u);

  const ole_variant bytes(std::vector<unsigned char>{1, 2, 3, 0xAB, 0xCD});
  EXPECT_EQ(bytes.get_at(buffer, 3, 100, &written), 2u);
  EXPECT_STREQ(buffer, "ABCD");
  EXPECT_EQ(written, 4u);
  EXPECT_EQ(bytes.get_at(buffer, 5, 1), 0u);
  EXPECT_EQ(ole_variant(5).get_at(buffer, 0, 1), 0u);
}

TEST(OleVariant, GetBytesLendsArraysAndConvertsText)
{
  const unsigned char* data = nullptr;
  std::string storage;
  const ole_variant bytes(std::vector<unsigned char>{7, 8});
  EXPECT_EQ(bytes.get_bytes(data, storage), 2);
  EXPECT_EQ(data, bytes.get_variant().parray->pvData);

  const ole_variant text(L"\u00e9t\u00e9");
  EXPECT_EQ(text.get_bytes(data, storage), 5);  // bytes of UTF-8, not characters
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data)), "\xC3\xA9t\xC3\xA9");

  data = nullptr;
  EXPECT_EQ(ole_variant().get_bytes(data, storage), 0);
  EXPECT_EQ(data, nullptr);
  try {
    (void)ole_variant(1.0).get_bytes(data, storage);
    ADD_FAILURE() << "a double gave raw bytes";
  } catch (const tk_mail_assertion& e) {
    EXPECT_EQ(e.get_message(), make_err_meggase("ole_var", 1235));
  }
}

TEST(OleVariant, AttachedVariantsFillTheMembersBesideThem)
{
  VARIANT raw{};
  raw.vt = VT_I8;
  raw.llVal = -42;
  ole_variant value;
  value.attach_variant(raw);
  EXPECT_EQ(raw.vt, VT_EMPTY);
  EXPECT_EQ(value.to_string(), "-42");

  raw.vt = VT_DATE;
  raw.date = 45322.5;
  value.attach_variant(raw);
  EXPECT_EQ(value.to_string(), "2024-01-31 12:00:00");

  // What a COM receiver is handed carries the 64-bit value too.
  EXPECT_EQ(ole_variant(ui8_max).get_variant().ullVal, ui8_max);
}

TEST(OleMisc, NumericTypesAreExactlyTheFifteen)
{
  const std::set<VARTYPE> numeric = {VT_I2, VT_I4, VT_R4, VT_R8, VT_CY, VT_BOOL, VT_DECIMAL, VT_I1,
                                     VT_UI1, VT_UI2, VT_UI4, VT_I8, VT_UI8, VT_INT, VT_UINT};
  for (unsigned type = 0; type <= 0xFFFF; ++type)
    EXPECT_EQ(ole_is_numeric_vt(static_cast<VARTYPE>(type)), numeric.count(static_cast<VARTYPE>(type)) == 1) << type;
}

TEST(OleMisc, DatesAndTextsAreQuoted)
{
  EXPECT_TRUE(ole_is_date_or_bstr(VT_DATE));
  EXPECT_TRUE(ole_is_date_or_bstr(VT_BSTR));
  EXPECT_FALSE(ole_is_date_or_bstr(VT_I4));
  EXPECT_FALSE(ole_is_date_or_bstr(VT_BSTR | VT_BYREF));
}

TEST(OleMisc, LargeIntegerHoldsTheOffsetInItsLowPart)
{
  EXPECT_EQ(ole_make_large_integer(0xFFFFFFFFu).QuadPart, 0xFFFFFFFFll);
  LARGE_INTEGER out{-1};
  ole_make_large_integer(7, out);
  EXPECT_EQ(out.QuadPart, 7);
}

TEST(OleMisc, RefCountIsReadWithoutChangingIt)
{
  struct counted : plat::com_object<IUnknown> {};
  auto* object = new counted;
  EXPECT_EQ(ole_get_ref_count(object), 1u);
  object->AddRef();
  EXPECT_EQ(ole_get_ref_count(object), 2u);
  object->Release();
  object->Release();
  try {
    ole_get_ref_count(nullptr);
    ADD_FAILURE() << "a null interface was counted";
  } catch (const tk_mail_assertion& e) {
    EXPECT_EQ(e.get_message(), make_err_meggase("ole_misc", 14));
  }
}

TEST(OleVariant, EveryLogLineFormatsAndTheFixedMessagesAreWritten)
{
  temp_dir folder;
  const std::string log_file = folder.file("values.log");
  {
    tk_logger logger(log_file.c_str(), true, 1, false);
    (void)ole_variant(std::numeric_limits<double>::quiet_NaN()).to_string();
    ole_variant text;
    text.attach_string("\xFF");
    (void)ole_variant(ole_date{std::string("0050-01-01")});
    (void)ole_variant::from_string("ABC", VT_BLOB);
    (void)ole_variant::from_string("0x0A", VT_BLOB).to_wstring();
    (void)ole_variant::from_string("x", VT_CY);
    (void)ole_variant::from_string("1234567890123456789012345678901234567890", VT_DECIMAL);
    (void)ole_variant::from_string("yes", VT_BOOL);
    (void)ole_variant::from_wstring(L"\u00e9", VT_I4);
    (void)ole_variant::from_wstring(L"12", VT_UI8).to_double();
    for (VARTYPE type : {VT_I8, VT_UI8, VT_I4, VT_UI2, VT_I1, VT_DECIMAL, VT_BSTR, VT_BLOB}) {
      for (const ole_variant& source : {ole_variant(2.5f), ole_variant(-2.5), ole_variant(decimal_of(L"7")),
                                        ole_variant(std::int64_t{7}), ole_variant(std::uint64_t{7}),
                                        ole_variant(std::vector<unsigned char>{'7'}), ole_variant("7")}) {
        ole_variant value = source;
        try {
          value.change_type(type);
        } catch (const ole_cast_exception&) {
        }
        (void)value.to_wstring();
      }
    }
    const unsigned char* data = nullptr;
    std::string storage;
    (void)ole_variant().get_bytes(data, storage);
    char buffer[16];
    (void)ole_variant("abc").get_at(buffer, 0, 2);
    (void)ole_variant(true).to_long();
    (void)ole_variant(1).to_bool();
    struct counted : plat::com_object<IUnknown> {};
    auto* object = new counted;
    (void)ole_get_ref_count(object);
    object->Release();
  }
  const std::string log = read_file(log_file);
  EXPECT_EQ(log.find("[bad log format]"), std::string::npos) << log.substr(log.find("[bad log format]"), 200);
  for (const char* line : {"Got NaN, replace it with 0",
                           "Failed to convert SYSTEMTIME->VARIANT", "Incorrect BLOB (size is odd)",
                           "Before return: res=0x0A", "VarCyFromStr failed: 80020005",
                           "ERROR: VarDecFromStr for '1234567890123456789012345678901234567890' failed (hr=8002000A)",
                           "ole_variant::from_string(VT_BOOL, 'yes')", "from FLOAT: res=2, hr=00000000",
                           "from DOUBLE: res=-2, hr=00000000", "VT_DECIMAL->VT_UI8", "VT_UI8->VT_DECIMAL",
                           "Just before SafeArrayDestroy0", "OLE_Variant is empty", "Replace by synonym"})
    EXPECT_NE(log.find(line), std::string::npos) << line;
}
