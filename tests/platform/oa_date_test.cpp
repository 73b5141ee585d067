// Automation dates: calendar parts <-> days since 1899-12-30 with the system's
// rounding and range, and the strict last-resort parser.
#include "platform/oleaut/oa_date.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

SYSTEMTIME make_time(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
  SYSTEMTIME st;
  st.wYear = static_cast<WORD>(y);
  st.wMonth = static_cast<WORD>(mo);
  st.wDay = static_cast<WORD>(d);
  st.wHour = static_cast<WORD>(h);
  st.wMinute = static_cast<WORD>(mi);
  st.wSecond = static_cast<WORD>(s);
  st.wMilliseconds = static_cast<WORD>(ms);
  return st;
}

void expect_parts(const SYSTEMTIME& st, int y, int mo, int d, int h, int mi, int s)
{
  EXPECT_EQ(st.wYear, y);
  EXPECT_EQ(st.wMonth, mo);
  EXPECT_EQ(st.wDay, d);
  EXPECT_EQ(st.wHour, h);
  EXPECT_EQ(st.wMinute, mi);
  EXPECT_EQ(st.wSecond, s);
  EXPECT_EQ(st.wMilliseconds, 0);
}

} // namespace

TEST(OaDate, SystemTimeCountsDaysFromTheEpochAndDropsMilliseconds)
{
  struct {
    SYSTEMTIME st;
    DATE expected;
  } cases[] = {
    {make_time(1899, 12, 30), 0.0},
    {make_time(2024, 1, 31, 12, 0, 0, 999), 45322.5},
    {make_time(1899, 12, 29, 6, 0, 0), -1.25},  // the fraction counts forward from midnight
    {make_time(1899, 12, 31, 18, 0, 0), 1.75},
    {make_time(1900, 3, 1), 61.0},  // no phantom 1900-02-29
    {make_time(100, 1, 1), -657434.0},
    {make_time(9999, 12, 31), 2958465.0},
  };
  for (const auto& c : cases) {
    DATE value = -7.0;
    ASSERT_NE(SystemTimeToVariantTime(&c.st, &value), 0) << c.expected;
    EXPECT_DOUBLE_EQ(value, c.expected);
  }
}

TEST(OaDate, SystemTimeRefusesWhatIsNoCalendarDateOrTimeOfDay)
{
  const SYSTEMTIME refused[] = {
    make_time(0, 0, 0, 10, 0, 0),  // a pure time
    make_time(99, 12, 31),        make_time(10000, 1, 1),       make_time(2023, 2, 29),
    make_time(2024, 4, 31),       make_time(2024, 13, 1),       make_time(2024, 1, 0),
    make_time(2024, 1, 1, 24),    make_time(2024, 1, 1, 0, 60), make_time(2024, 1, 1, 0, 0, 60),
  };
  for (const auto& st : refused) {
    DATE value = -7.0;
    EXPECT_EQ(SystemTimeToVariantTime(&st, &value), 0) << st.wYear << "-" << st.wMonth << "-" << st.wDay;
    EXPECT_EQ(value, -7.0);
  }
  EXPECT_EQ(SystemTimeToVariantTime(nullptr, nullptr), 0);
}

TEST(OaDate, VariantTimeGivesPartsRoundedToTheSecond)
{
  SYSTEMTIME st;
  ASSERT_NE(VariantTimeToSystemTime(-1.25, &st), 0);
  expect_parts(st, 1899, 12, 29, 6, 0, 0);
  ASSERT_NE(VariantTimeToSystemTime(-0.5, &st), 0);  // day 0 either side of zero
  expect_parts(st, 1899, 12, 30, 12, 0, 0);
  ASSERT_NE(VariantTimeToSystemTime(45322.5 + 0.4 / 86400, &st), 0);
  expect_parts(st, 2024, 1, 31, 12, 0, 0);
  EXPECT_EQ(st.wDayOfWeek, 3);  // a Wednesday
  ASSERT_NE(VariantTimeToSystemTime(45322.5 + 0.6 / 86400, &st), 0);
  expect_parts(st, 2024, 1, 31, 12, 0, 1);
  // Rounding up at the day's last half second moves to the next day, also across
  // a month end and, for negative dates, towards the epoch.
  ASSERT_NE(VariantTimeToSystemTime(45322.0 + 86399.7 / 86400, &st), 0);
  expect_parts(st, 2024, 2, 1, 0, 0, 0);
  ASSERT_NE(VariantTimeToSystemTime(-(1.0 + 86399.7 / 86400), &st), 0);
  expect_parts(st, 1899, 12, 30, 0, 0, 0);
}

TEST(OaDate, VariantTimeRefusesValuesOutsideTheCalendarRange)
{
  SYSTEMTIME st;
  ASSERT_NE(VariantTimeToSystemTime(-657434.5, &st), 0);
  expect_parts(st, 100, 1, 1, 12, 0, 0);
  ASSERT_NE(VariantTimeToSystemTime(2958465.99999, &st), 0);
  expect_parts(st, 9999, 12, 31, 23, 59, 59);
  for (const DATE refused : {-657435.0, 2958466.0, 2958465.999999999,
                             std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::infinity()})
    EXPECT_EQ(VariantTimeToSystemTime(refused, &st), 0) << refused;
}

TEST(OaDate, EveryDayOfTheRangeRoundTrips)
{
  for (DATE day = -657434; day <= 2958465; day += 1) {
    SYSTEMTIME st;
    ASSERT_NE(VariantTimeToSystemTime(day + (day < 0 ? -0.75 : 0.75), &st), 0) << day;
    EXPECT_EQ(st.wHour, 18);
    DATE back = 0.0;
    ASSERT_NE(SystemTimeToVariantTime(&st, &back), 0) << day;
    ASSERT_DOUBLE_EQ(back, day + (day < 0 ? -0.75 : 0.75));
  }
}

TEST(OaDate, TextParserAcceptsOnlyUnambiguousRealDates)
{
  const auto at = [](int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    const SYSTEMTIME st = make_time(y, mo, d, h, mi, s);
    DATE value = 0.0;
    SystemTimeToVariantTime(&st, &value);
    return value;
  };
  struct {
    const wchar_t* text;
    DATE expected;
  } accepted[] = {
    {L"2024-01-05 10:20", at(2024, 1, 5, 10, 20)},
    {L"2024-01-05T10:20:30", at(2024, 1, 5, 10, 20, 30)},
    {L" 2024/1/5 ", at(2024, 1, 5)},
    {L"2024.02.29 23:59:59", at(2024, 2, 29, 23, 59, 59)},
    {L"5 Jan 2024", at(2024, 1, 5)},
    {L"January 5, 2024 10:00 PM", at(2024, 1, 5, 22, 0)},
    {L"sep 30 2024 12:05 am", at(2024, 9, 30, 0, 5)},
    {L"10:20", 10.0 / 24 + 20.0 / 1440},
    {L"1899-12-29 06:00", -1.25},
  };
  for (const auto& c : accepted) {
    DATE value = -7.0;
    EXPECT_EQ(VarDateFromStr(c.text, 1033, 0, &value), S_OK) << c.text;
    EXPECT_NEAR(value, c.expected, 1e-9) << c.text;
  }
  DATE fraction = 0.0;
  ASSERT_EQ(VarDateFromStr(L"2024-01-05 10:20:30.5", 1033, 0, &fraction), S_OK);
  EXPECT_NEAR((fraction - at(2024, 1, 5, 10, 20, 30)) * 86400, 0.5, 1e-4);

  const wchar_t* refused[] = {
    L"0000-00-00", L"0000-00-00 00:00:00", L"2023-02-29", L"2024-02-30", L"2024-00-00",
    L"0000-01-01", L"0099-12-31", L"11/12/2024", L"31.12.2024", L"2024-01-05 25:00",
    L"2024-01-05 10:60", L"2024-01-05T", L"2024-01-05 10:20 x", L"13:00 PM", L"garbage",
    L"", L"20240105", L"2024-01-05 10:20:30.", L"Janvier 5 2024", L"2024-01-05 \u0661\u0660:20",
  };
  for (const wchar_t* text : refused) {
    DATE value = -7.0;
    EXPECT_EQ(VarDateFromStr(text, 1033, 0, &value), DISP_E_TYPEMISMATCH) << text;
    EXPECT_EQ(value, -7.0);
  }
  DATE value = 0.0;
  EXPECT_EQ(VarDateFromStr(nullptr, 1033, 0, &value), E_INVALIDARG);
  EXPECT_EQ(VarDateFromStr(L"2024-01-05", 1033, 0, nullptr), E_POINTER);
}
