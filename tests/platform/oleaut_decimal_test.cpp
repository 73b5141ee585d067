// DECIMAL: exact text in and out up to 29 digits, the overflow that sends wider
// numbers to a double, correctly rounded doubles and ties-to-even narrowing.
#include "platform/oleaut/decimal.h"

#include <gtest/gtest.h>

#include <charconv>
#include <random>
#include <string>

namespace {

std::wstring text_of(const DECIMAL& value)
{
  BSTR text = nullptr;
  EXPECT_EQ(VarBstrFromDec(&value, 1033, 0, &text), S_OK);
  const plat::unique_bstr owner(text);
  return std::wstring(text, SysStringLen(text));
}

DECIMAL parse(const wchar_t* text)
{
  DECIMAL value{};
  EXPECT_EQ(VarDecFromStr(text, 1033, 0, &value), S_OK) << text;
  return value;
}

} // namespace

TEST(OleautDecimal, TextRoundTripsExactlyOrReportsWhyNot)
{
  struct Case {
    const wchar_t* text;
    HRESULT result;
    const wchar_t* back;  // VarBstrFromDec of the parsed value
  } const cases[] = {
    {L"0", S_OK, L"0"},
    {L"-0", S_OK, L"0"},
    {L"-0.5", S_OK, L"-0.5"},
    {L"12.50", S_OK, L"12.5"},
    {L"  +7  ", S_OK, L"7"},
    {L".25", S_OK, L"0.25"},
    {L"1.5e3", S_OK, L"1500"},
    {L"1.5E-3", S_OK, L"0.0015"},
    {L"79228162514264337593543950335", S_OK, L"79228162514264337593543950335"},
    {L"-79228162514264337593543950335", S_OK, L"-79228162514264337593543950335"},
    {L"79228162514264337593543950336", DISP_E_OVERFLOW, nullptr},
    {L"7.9228162514264337593543950336e28", DISP_E_OVERFLOW, nullptr},
    {L"1e29", DISP_E_OVERFLOW, nullptr},
    // 28 fractional digits are kept; a 29th and 30th are rounded, ties to even.
    {L"0.1234567890123456789012345678", S_OK, L"0.1234567890123456789012345678"},
    {L"0.12345678901234567890123456785", S_OK, L"0.1234567890123456789012345678"},
    {L"0.123456789012345678901234567851", S_OK, L"0.1234567890123456789012345679"},
    // More significant digits than 96 bits hold: the fraction gives way.
    {L"1234567890.12345678901234567890", S_OK, L"1234567890.1234567890123456789"},
    {L"79228162514264337593543950334.5", S_OK, L"79228162514264337593543950334"},
    {L"79228162514264337593543950335.5", DISP_E_OVERFLOW, nullptr},
    {L"0.00000000000000000000000000001", S_OK, L"0"},
    // A DECIMAL(65,30) value: the caller falls back to a double.
    {L"12345678901234567890123456789012345.123456789012345678901234567890", DISP_E_OVERFLOW, nullptr},
    {L"0.000000000000000000000000000000000000000000000000000000000000000001", S_OK, L"0"},
    {L"1x", DISP_E_TYPEMISMATCH, nullptr},
    {L"1,5", DISP_E_TYPEMISMATCH, nullptr},
    {L"", DISP_E_TYPEMISMATCH, nullptr},
    {L".", DISP_E_TYPEMISMATCH, nullptr},
    {L"-", DISP_E_TYPEMISMATCH, nullptr},
    {L"1e", DISP_E_TYPEMISMATCH, nullptr},
    {L"1.2.3", DISP_E_TYPEMISMATCH, nullptr},
    {L"1e99999999999999999999", DISP_E_OVERFLOW, nullptr},
    {L"1e-99999999999999999999", S_OK, L"0"},
  };
  for (const auto& c : cases) {
    DECIMAL value{};
    EXPECT_EQ(VarDecFromStr(c.text, 1033, 0, &value), c.result) << c.text;
    if (c.back != nullptr && c.result == S_OK) {
      EXPECT_EQ(text_of(value), c.back) << c.text;
    }
  }
}

TEST(OleautDecimal, ParsedFieldsAreTheDocumentedLayout)
{
  const DECIMAL value = parse(L"-12345.67");
  EXPECT_EQ(value.scale, 2);
  EXPECT_EQ(value.sign, DECIMAL_NEG);
  EXPECT_EQ(value.Hi32, 0u);
  EXPECT_EQ(value.Lo64, 1234567u);
  const DECIMAL largest = parse(L"79228162514264337593543950335");
  EXPECT_EQ(largest.Hi32, 0xFFFFFFFFu);
  EXPECT_EQ(largest.Lo64, 0xFFFFFFFFFFFFFFFFu);
}

// Random decimals of 1 to 28 digits: the text comes back unchanged and the
// double is the correctly rounded one, which catches carry and scale faults.
TEST(OleautDecimal, RandomDecimalsRoundTripAndConvertToTheNearestDouble)
{
  std::mt19937_64 random(20240105);
  for (int round = 0; round < 5000; ++round) {
    const int digits = 1 + static_cast<int>(random() % 28);
    const int scale = static_cast<int>(random() % static_cast<unsigned>(digits + 1));
    auto digit = [&](char lowest) { return static_cast<char>(lowest + static_cast<int>(random() % static_cast<std::uint64_t>('9' - lowest + 1))); };
    std::string text = random() % 2 == 0 ? "-" : "";
    if (digits == scale)
      text += '0';
    for (int i = 0; i < digits - scale; ++i)
      text += digit(i == 0 ? '1' : '0');
    if (scale > 0) {
      text += '.';
      for (int i = 0; i < scale; ++i)
        text += digit(i == scale - 1 ? '1' : '0');
    }
    const std::wstring wide(text.begin(), text.end());
    const DECIMAL value = parse(wide.c_str());
    EXPECT_EQ(text_of(value), wide);
    double expected = 0;
    std::from_chars(text.data(), text.data() + text.size(), expected);
    double actual = 0;
    ASSERT_EQ(VarR8FromDec(&value, &actual), S_OK);
    EXPECT_EQ(actual, expected) << text;
  }
}

TEST(OleautDecimal, NarrowingToIntegersRoundsTiesToEvenAndReportsOverflow)
{
  struct Case {
    const wchar_t* text;
    HRESULT result;
    LONG value;
  } const cases[] = {
    {L"2.5", S_OK, 2},           {L"3.5", S_OK, 4},
    {L"-2.5", S_OK, -2},         {L"0.5", S_OK, 0},
    {L"2.5000000001", S_OK, 3},  {L"-2147483648.5", S_OK, -2147483647 - 1},
    {L"2147483647.4", S_OK, 2147483647},
    {L"2147483647.5", DISP_E_OVERFLOW, 0},
    {L"-2147483649", DISP_E_OVERFLOW, 0},
  };
  for (const auto& c : cases) {
    const DECIMAL value = parse(c.text);
    LONG out = 0;
    EXPECT_EQ(VarI4FromDec(&value, &out), c.result) << c.text;
    if (c.result == S_OK) {
      EXPECT_EQ(out, c.value) << c.text;
    }
  }

  const DECIMAL small_negative = parse(L"-0.4");
  ULONG unsigned_out = 1;
  EXPECT_EQ(VarUI4FromDec(&small_negative, &unsigned_out), S_OK);
  EXPECT_EQ(unsigned_out, 0u);
  const DECIMAL negative = parse(L"-0.6");
  EXPECT_EQ(VarUI4FromDec(&negative, &unsigned_out), DISP_E_OVERFLOW);
  BYTE byte = 0;
  const DECIMAL big = parse(L"255.5");
  EXPECT_EQ(VarUI1FromDec(&big, &byte), DISP_E_OVERFLOW);
  signed char tiny = 0;
  const DECIMAL low = parse(L"-128.5");
  EXPECT_EQ(VarI1FromDec(&low, &tiny), S_OK);
  EXPECT_EQ(tiny, -128);
}

TEST(OleautDecimal, SixtyFourBitExtremesAreExact)
{
  DECIMAL value{};
  ASSERT_EQ(VarDecFromUI8(18446744073709551615u, &value), S_OK);
  EXPECT_EQ(text_of(value), L"18446744073709551615");
  ULONGLONG unsigned_back = 0;
  EXPECT_EQ(VarUI8FromDec(&value, &unsigned_back), S_OK);
  EXPECT_EQ(unsigned_back, 18446744073709551615u);
  LONGLONG signed_back = 0;
  EXPECT_EQ(VarI8FromDec(&value, &signed_back), DISP_E_OVERFLOW);

  const LONGLONG minimum = -9223372036854775807 - 1;
  ASSERT_EQ(VarDecFromI8(minimum, &value), S_OK);
  EXPECT_EQ(text_of(value), L"-9223372036854775808");
  EXPECT_EQ(VarI8FromDec(&value, &signed_back), S_OK);
  EXPECT_EQ(signed_back, minimum);
}

TEST(OleautDecimal, DoublesBecomeTheirFifteenDigitDecimal)
{
  struct Case {
    double value;
    HRESULT result;
    const wchar_t* text;
  } const cases[] = {
    {0.1, S_OK, L"0.1"},
    {2.5, S_OK, L"2.5"},
    {-1234.5678, S_OK, L"-1234.5678"},
    {1e20, S_OK, L"100000000000000000000"},
    {1.0 / 3.0, S_OK, L"0.333333333333333"},
    {1e-30, S_OK, L"0"},
    {1e29, DISP_E_OVERFLOW, nullptr},
    {std::numeric_limits<double>::quiet_NaN(), DISP_E_OVERFLOW, nullptr},
    {std::numeric_limits<double>::infinity(), DISP_E_OVERFLOW, nullptr},
  };
  for (const auto& c : cases) {
    DECIMAL value{};
    EXPECT_EQ(VarDecFromR8(c.value, &value), c.result) << c.value;
    if (c.result == S_OK) {
      EXPECT_EQ(text_of(value), c.text) << c.value;
    }
  }
  DECIMAL decimal = parse(L"2.5");
  EXPECT_EQ(decimal.scale, 1);
  ASSERT_EQ(VarDecFromR4(0.1f, &decimal), S_OK);
  EXPECT_EQ(text_of(decimal), L"0.1");
}

TEST(OleautDecimal, MalformedDecimalsAreRefused)
{
  DECIMAL value = parse(L"1.5");
  value.scale = 29;
  double out = 0;
  EXPECT_EQ(VarR8FromDec(&value, &out), E_INVALIDARG);
  value.scale = 1;
  value.sign = 0x01;
  BSTR text = nullptr;
  EXPECT_EQ(VarBstrFromDec(&value, 1033, 0, &text), E_INVALIDARG);
  EXPECT_EQ(text, nullptr);
}
