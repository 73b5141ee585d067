// Currency and floating-point conversions: ties to even, overflow instead of
// undefined casts, Automation's number text, and no dependence on LC_NUMERIC.
#include "platform/oleaut/currency.h"
#include "platform/oleaut/real.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

namespace {

constexpr double nan_value = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

std::wstring take(BSTR text)
{
  const plat::unique_bstr owner(text);
  return std::wstring(text, SysStringLen(text));
}

std::wstring text_of_r8(double value)
{
  BSTR text = nullptr;
  EXPECT_EQ(VarBstrFromR8(value, 1033, 0, &text), S_OK);
  return take(text);
}

} // namespace

TEST(OleautCurrency, TextKeepsFourDigitsRoundsTiesToEvenAndStopsAtTheRange)
{
  struct Case {
    const wchar_t* text;
    HRESULT result;
    LONGLONG int64;
  } const cases[] = {
    {L"12.5", S_OK, 125000},
    {L" -0.0001 ", S_OK, -1},
    {L"1.00005", S_OK, 10000},
    {L"1.00015", S_OK, 10002},
    {L"1.000051", S_OK, 10001},
    {L"922337203685477.5807", S_OK, 9223372036854775807},
    {L"-922337203685477.5808", S_OK, -9223372036854775807 - 1},
    {L"922337203685477.5808", DISP_E_OVERFLOW, 0},
    {L"1e40", DISP_E_OVERFLOW, 0},
    {L"12,5", DISP_E_TYPEMISMATCH, 0},
    {L"abc", DISP_E_TYPEMISMATCH, 0},
  };
  for (const auto& c : cases) {
    CY value{};
    EXPECT_EQ(VarCyFromStr(c.text, 1033, 0, &value), c.result) << c.text;
    if (c.result == S_OK) {
      EXPECT_EQ(value.int64, c.int64) << c.text;
    }
  }
}

TEST(OleautCurrency, ConvertsToNumbersAndText)
{
  LONG out = 0;
  EXPECT_EQ(VarI4FromCy(CY{25000}, &out), S_OK);
  EXPECT_EQ(out, 2);
  EXPECT_EQ(VarI4FromCy(CY{35000}, &out), S_OK);
  EXPECT_EQ(out, 4);
  EXPECT_EQ(VarI4FromCy(CY{-25000}, &out), S_OK);
  EXPECT_EQ(out, -2);
  EXPECT_EQ(VarI4FromCy(CY{21474836475000}, &out), DISP_E_OVERFLOW);

  double real = 0;
  EXPECT_EQ(VarR8FromCy(CY{-125000}, &real), S_OK);
  EXPECT_EQ(real, -12.5);

  BSTR text = nullptr;
  ASSERT_EQ(VarBstrFromCy(CY{-9223372036854775807 - 1}, 1033, 0, &text), S_OK);
  EXPECT_EQ(take(text), L"-922337203685477.5808");
  ASSERT_EQ(VarBstrFromCy(CY{1000000}, 1033, 0, &text), S_OK);
  EXPECT_EQ(take(text), L"100");

  CY currency{};
  EXPECT_EQ(VarCyFromR8(0.00025, &currency), S_OK);
  EXPECT_EQ(currency.int64, 2);
  EXPECT_EQ(VarCyFromR8(nan_value, &currency), DISP_E_OVERFLOW);
  EXPECT_EQ(VarCyFromR8(1e15, &currency), DISP_E_OVERFLOW);
  EXPECT_EQ(VarCyFromI8(922337203685478, &currency), DISP_E_OVERFLOW);
}

TEST(OleautReal, NarrowingToSixtyFourBitsRoundsTiesToEvenAndNeverCastsOutOfRange)
{
  struct Case {
    double value;
    HRESULT signed_result;
    LONGLONG signed_value;
    HRESULT unsigned_result;
    ULONGLONG unsigned_value;
  } const cases[] = {
    {2.5, S_OK, 2, S_OK, 2},
    {3.5, S_OK, 4, S_OK, 4},
    {-2.5, S_OK, -2, DISP_E_OVERFLOW, 0},
    {-0.5, S_OK, 0, S_OK, 0},
    {-0.6, S_OK, -1, DISP_E_OVERFLOW, 0},
    {-9223372036854775808.0, S_OK, -9223372036854775807 - 1, DISP_E_OVERFLOW, 0},
    {9223372036854775808.0, DISP_E_OVERFLOW, 0, S_OK, 9223372036854775808u},
    {18446744073709549568.0, DISP_E_OVERFLOW, 0, S_OK, 18446744073709549568u},
    {18446744073709551616.0, DISP_E_OVERFLOW, 0, DISP_E_OVERFLOW, 0},
    {1e19, DISP_E_OVERFLOW, 0, S_OK, 10000000000000000000u},
    {nan_value, DISP_E_OVERFLOW, 0, DISP_E_OVERFLOW, 0},
    {infinity, DISP_E_OVERFLOW, 0, DISP_E_OVERFLOW, 0},
    {-infinity, DISP_E_OVERFLOW, 0, DISP_E_OVERFLOW, 0},
  };
  for (const auto& c : cases) {
    LONGLONG signed_out = 0;
    ULONGLONG unsigned_out = 0;
    EXPECT_EQ(VarI8FromR8(c.value, &signed_out), c.signed_result) << c.value;
    EXPECT_EQ(VarUI8FromR8(c.value, &unsigned_out), c.unsigned_result) << c.value;
    if (c.signed_result == S_OK) {
      EXPECT_EQ(signed_out, c.signed_value) << c.value;
    }
    if (c.unsigned_result == S_OK) {
      EXPECT_EQ(unsigned_out, c.unsigned_value) << c.value;
    }
  }
  LONGLONG from_float = 0;
  EXPECT_EQ(VarI8FromR4(std::numeric_limits<float>::infinity(), &from_float), DISP_E_OVERFLOW);
  EXPECT_EQ(VarI8FromR4(1.5f, &from_float), S_OK);
  EXPECT_EQ(from_float, 2);
  LONG narrow = 0;
  EXPECT_EQ(VarI4FromR8(2147483647.5, &narrow), DISP_E_OVERFLOW);
  float single = 0;
  EXPECT_EQ(VarR4FromR8(1e39, &single), DISP_E_OVERFLOW);
}

TEST(OleautReal, TextHasFifteenDigitsAPointAndTheExponentFormForFarMagnitudes)
{
  struct Case {
    double value;
    const wchar_t* text;
  } const cases[] = {
    {0, L"0"},
    {-0.0, L"0"},
    {1.5, L"1.5"},
    {-2.25, L"-2.25"},
    {0.1, L"0.1"},
    {1.0 / 3.0, L"0.333333333333333"},
    {123456789012345.0, L"123456789012345"},
    {1e15, L"1E+15"},
    {1e20, L"1E+20"},
    {0.0001, L"0.0001"},
    {1.5e-7, L"1.5E-07"},
    {1.7976931348623157e308, L"1.79769313486232E+308"},
    {nan_value, L"NaN"},
    {-infinity, L"-Infinity"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(text_of_r8(c.value), c.text) << c.value;
  BSTR text = nullptr;
  ASSERT_EQ(VarBstrFromR4(1.1f, 1033, 0, &text), S_OK);
  EXPECT_EQ(take(text), L"1.1");
}

TEST(OleautReal, TextToDoubleAcceptsBlanksAndPointOnly)
{
  struct Case {
    const wchar_t* text;
    HRESULT result;
    double value;
  } const cases[] = {
    {L" 12.5 ", S_OK, 12.5},
    {L"-1e-3", S_OK, -0.001},
    {L"1.7976931348623157e308", S_OK, 1.7976931348623157e308},
    {L"1e309", DISP_E_OVERFLOW, 0},
    {L"1e-400", S_OK, 0},
    {L"12,5", DISP_E_TYPEMISMATCH, 0},
    {L"nan", DISP_E_TYPEMISMATCH, 0},
    {L"0x10", DISP_E_TYPEMISMATCH, 0},
  };
  for (const auto& c : cases) {
    double out = -1;
    EXPECT_EQ(VarR8FromStr(c.text, 1033, 0, &out), c.result) << c.text;
    if (c.result == S_OK) {
      EXPECT_EQ(out, c.value) << c.text;
    }
  }
}

// A program whose LC_NUMERIC uses "," must still read and write ".".
TEST(OleautReal, NumbersIgnoreTheProcessNumericLocale)
{
  const char* const commas[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"};
  const char* chosen = nullptr;
  for (const char* name : commas)
    if (std::setlocale(LC_NUMERIC, name) != nullptr) {
      chosen = name;
      break;
    }
  if (chosen == nullptr)
    GTEST_SKIP() << "no locale with a decimal comma is installed";
  struct restore_c {
    ~restore_c() { std::setlocale(LC_NUMERIC, "C"); }
  } restore;

  double real = 0;
  EXPECT_EQ(VarR8FromStr(L"12.5", 1033, 0, &real), S_OK);
  EXPECT_EQ(real, 12.5);
  EXPECT_EQ(text_of_r8(0.5), L"0.5");
  CY currency{};
  EXPECT_EQ(VarCyFromStr(L"1.25", 1033, 0, &currency), S_OK);
  EXPECT_EQ(currency.int64, 12500);
  DECIMAL decimal{};
  ASSERT_EQ(VarDecFromStr(L"3.75", 1033, 0, &decimal), S_OK);
  EXPECT_EQ(VarR8FromDec(&decimal, &real), S_OK);
  EXPECT_EQ(real, 3.75);
  BSTR text = nullptr;
  ASSERT_EQ(VarBstrFromDec(&decimal, 1033, 0, &text), S_OK);
  EXPECT_EQ(take(text), L"3.75");
}
