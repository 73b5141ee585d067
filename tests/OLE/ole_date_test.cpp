// Date and time texts: what each form reads as, how it prints back, and the
// texts that must come out empty (zero dates, impossible calendar dates).
#include "OLE/ole_date.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

struct date_case {
  const char* text;
  int kind;
  int year, month, day, hour, minute, second, milliseconds;
  unsigned microseconds;
  bool negative;
  const char* narrow;    // to_string(6)
  const wchar_t* wide;   // to_wstring(6)
};

// Texts the servers send, texts users type, and the faults each once hid.
const date_case cases[] = {
  // MySQL's own forms
  {"2024-02-29", 2, 2024, 2, 29, 0, 0, 0, 0, 0, false, "2024-02-29", L"2024-02-29"},
  {"2024-01-31 10:20:30.123456", 1, 2024, 1, 31, 10, 20, 30, 123, 123456, false,
   "2024-01-31 10:20:30.123456", L"2024-01-31 10:20:30.123456"},
  {"2024-01-31 10:20:30", 1, 2024, 1, 31, 10, 20, 30, 0, 0, false, "2024-01-31 10:20:30",
   L"2024-01-31 10:20:30"},
  {"2024-05-01 00:00:00", 2, 2024, 5, 1, 0, 0, 0, 0, 0, false, "2024-05-01", L"2024-05-01"},
  {"2024-05-01 00:00:00.000400", 1, 2024, 5, 1, 0, 0, 0, 0, 400, false,
   "2024-05-01 00:00:00.000400", L"2024-05-01 00:00:00.000400"},
  {"10:20:30", 3, 0, 0, 0, 10, 20, 30, 0, 0, false, "10:20:30", L"10:20:30"},
  {"838:59:59", 3, 0, 0, 0, 838, 59, 59, 0, 0, false, "838:59:59", L"838:59:59"},
  {"-838:59:59", 3, 0, 0, 0, 838, 59, 59, 0, 0, true, "-838:59:59", L"-838:59:59"},
  {"-12:30:00.5", 3, 0, 0, 0, 12, 30, 0, 500, 500000, true, "-12:30:00.500000",
   L"-12:30:00.500000"},
  {"-00:30:00", 3, 0, 0, 0, 0, 30, 0, 0, 0, true, "-00:30:00", L"-00:30:00"},
  {"-00:00:00", 3, 0, 0, 0, 0, 0, 0, 0, 0, false, "00:00:00", L"00:00:00"},
  {"00:00:00", 3, 0, 0, 0, 0, 0, 0, 0, 0, false, "00:00:00", L"00:00:00"},
  {"0000-00-00", 0, 0, 0, 0, 0, 0, 0, 0, 0, false, "", L""},
  {"0000-00-00 00:00:00", 0, 0, 0, 0, 0, 0, 0, 0, 0, false, "", L""},
  {"0000-00-00 00:00:00.000000", 0, 0, 0, 0, 0, 0, 0, 0, 0, false, "", L""},
  {"00000000000000", 0, 0, 0, 0, 0, 0, 0, 0, 0, false, "", L""},
  {"00000000", 0, 0, 0, 0, 0, 0, 0, 0, 0, false, "", L""},
  // A time printed by to_string reads back as that time.
  {"0000-00-00 10:15:00", 3, 0, 0, 0, 10, 15, 0, 0, 0, false, "10:15:00", L"10:15:00"},
  // Timestamps
  {"20240229123045", 1, 2024, 2, 29, 12, 30, 45, 0, 0, false, "2024-02-29 12:30:45",
   L"2024-02-29 12:30:45"},
  {"20240501000000", 2, 2024, 5, 1, 0, 0, 0, 0, 0, false, "2024-05-01", L"2024-05-01"},
  {"20230229", 0, 0, 0, 0, 0, 0, 0, 0, 0, false, "", L""},
  {"20240229", 2, 2024, 2, 29, 0, 0, 0, 0, 0, false, "2024-02-29", L"2024-02-29"},
  // Pure times
  {"12:30", 3, 0, 0, 0, 12, 30, 0, 0, 0, false, "12:30:00", L"12:30:00"},
  {"7:05:09.5", 3, 0, 0, 0, 7, 5, 9, 500, 500000, false, "07:05:09.500000",
   L"07:05:09.500000"},
  {"10:59:59.9999999", 3, 0, 0, 0, 11, 0, 0, 0, 0, false, "11:00:00", L"11:00:00"},
  {"23:59:59.9999999", 3, 0, 0, 0, 24, 0, 0, 0, 0, false, "24:00:00", L"24:00:00"},
  {"12:30 foo", 0, 0, 0, 0, 0, 0, 0, 0, 0, false, "", L""},
  {"1:05", 0, 0, 0, 0, 0, 0, 0, 0, 0, false, "", L""},
  {"12:61:00", 0, 0, 0, 0, 0, 0, 0, 0, 0, false, "", L""},
  {"12:30:99", 0, 0, 0, 0, 0, 0, 0, 0, 0, false, "", L""},
  {"12:30:xx", 0, 0, 0, 0, 0, 0, 0, 0, 0, false, "", L""},
  // AM and PM
  {"01:15 PM", 3, 0, 0, 0, 13, 15, 0, 0, 0, false, "13:15:00", L"13:15:00"},
  {"12:15 AM", 3, 0, 0, 0, 0, 15, 0, 0, 0, false, "00:15:00", L"00:15:00"},
  {"12:15 PM", 3, 0, 0, 0, 12, 15, 0, 0, 0, false, "12:15:00", L"12:15:00"},
  {"2024-01-05 12:15:00 am", 1, 2024, 1, 5, 0, 15, 0, 0, 0, false, "2024-01-05 00:15:00",
   L"2024-01-05 00:15:00"},
  {"1:15 PM", 0, 0, 0, 0, 0, 0, 0, 0, 0, false, "", L""},
  // Fractions: rounding half away from zero, carries into the date
  {"2024-01-31 10:20:30.1234567", 1, 2024, 1, 31, 10, 20, 30, 123, 123457, false,
   "2024-01-31 10:20:30.123457", L"2024-01-31 10:20:30.123457"},
  {"2024-01-31 10:20:30.9995", 1, 2024, 1, 31, 10, 20, 30, 999, 999500, false,
   "2024-01-31 10:20:30.999500", L"2024-01-31 10:20:30.999500"},
  {"2024-01-31 23:59:59.9999996", 2, 2024, 2, 1, 0, 0, 0, 0, 0, false, "2024-02-01",
   L"2024-02-01"},
  {"2024-12-31 23:59:59.99999951", 2, 2025, 1, 1, 0, 0, 0, 0, 0, false, "2025-01-01",
   L"2025-01-01"},
  {"9999-12-31 23:59:59.9999999", 1, 9999, 12, 31, 23, 59, 59, 999, 999999, false,
   "9999-12-31 23:59:59.999999", L"9999-12-31 23:59:59.999999"},
  // Other separators and the day-year swap
  {"31.12.2024", 2, 2024, 12, 31, 0, 0, 0, 0, 0, false, "2024-12-31", L"2024-12-31"},
  {"11/12/2024 10:00:00", 1, 2024, 12, 11, 10, 0, 0, 0, 0, false, "2024-12-11 10:00:00",
   L"2024-12-11 10:00:00"},
  {"  2024-1-5  ", 2, 2024, 1, 5, 0, 0, 0, 0, 0, false, "2024-01-05", L"2024-01-05"},
  // Through the system parser
  {"2024-01-05 10:20", 1, 2024, 1, 5, 10, 20, 0, 0, 0, false, "2024-01-05 10:20:00",
   L"2024-01-05 10:20:00"},
  {"2024-01-05T10:20:30", 1, 2024, 1, 5, 10, 20, 30, 0, 0, false, "2024-01-05 10:20:30",
   L"2024-01-05 10:20:30"},
  {"5 Jan 2024", 2, 2024, 1, 5, 0, 0, 0, 0, 0, false, "2024-01-05", L"2024-01-05"},
  // Not dates
  {"2023-02-29", 0, 0, 0, 0, 0, 0, 0, 0, 0, false, "", L""},
  {"2023-02-29 10:00:00", 0, 0, 0, 0, 0, 0, 0, 0, 0, false, "", L""},
  {"2024-04-31 23:59:59.9999999", 0, 0, 0, 0, 0, 0, 0, 0, 0, false, "", L""},
  {"2024-13-01", 0, 0, 0, 0, 0, 0, 0, 0, 0, false, "", L""},
  {"0000-01-01", 0, 0, 0, 0, 0, 0, 0, 0, 0, false, "", L""},
  {"2024-01-01 24:00:00", 0, 0, 0, 0, 0, 0, 0, 0, 0, false, "", L""},
  {"2024-01-01 10:00:61", 0, 0, 0, 0, 0, 0, 0, 0, 0, false, "", L""},
  {"2024-01-05xyz", 0, 0, 0, 0, 0, 0, 0, 0, 0, false, "", L""},
  {"garbage", 0, 0, 0, 0, 0, 0, 0, 0, 0, false, "", L""},
  {"    ", 0, 0, 0, 0, 0, 0, 0, 0, 0, false, "", L""},
};

void expect_case(const ole_date& d, const date_case& c)
{
  const SYSTEMTIME& t = d.get_time();
  EXPECT_EQ(d.get_kind(), c.kind);
  EXPECT_EQ(d.is_valid(), c.kind != 0);
  EXPECT_EQ(t.wYear, c.year);
  EXPECT_EQ(t.wMonth, c.month);
  EXPECT_EQ(t.wDay, c.day);
  EXPECT_EQ(t.wHour, c.hour);
  EXPECT_EQ(t.wMinute, c.minute);
  EXPECT_EQ(t.wSecond, c.second);
  EXPECT_EQ(t.wMilliseconds, c.milliseconds);
  EXPECT_EQ(t.wDayOfWeek, 0);
  EXPECT_EQ(d.get_microseconds(), c.microseconds);
  EXPECT_EQ(d.is_negative(), c.negative);
  EXPECT_EQ(d.to_string(6), c.narrow);
  EXPECT_EQ(d.to_wstring(6), c.wide);
}

} // namespace

TEST(OleDate, TextsReadAndPrintAsTheirDatesAndTimes)
{
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    expect_case(ole_date(std::string(c.text)), c);
  }
}

TEST(OleDate, WideTextsReadAsTheirNarrowForms)
{
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string narrow(c.text);
    expect_case(ole_date(std::wstring(narrow.begin(), narrow.end())), c);
  }
  EXPECT_FALSE(ole_date(std::wstring(L"2024-01-05 \u00e9")).is_valid());
}

TEST(OleDate, NumbersReadTheSameUnderAnyNumericLocale)
{
  const char* locale = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  if (locale == nullptr)
    locale = std::setlocale(LC_NUMERIC, "de_DE.utf8");
  if (locale == nullptr)
    GTEST_SKIP() << "no German locale installed";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    expect_case(ole_date(std::string(c.text)), c);
  }
  // A comma is no decimal mark here, whatever the locale says.
  const ole_date comma(std::string("7:05:09,5"));
  EXPECT_EQ(comma.get_time().wSecond, 9);
  EXPECT_EQ(comma.get_microseconds(), 0u);
  std::setlocale(LC_NUMERIC, "C");
}

TEST(OleDate, PrecisionChoosesMicrosecondsMillisecondsOrNone)
{
  const ole_date micro(std::string("2024-01-31 10:20:30.1234567"));
  EXPECT_EQ(micro.to_string(0), "2024-01-31 10:20:30");
  EXPECT_EQ(micro.to_string(3), "2024-01-31 10:20:30.123");
  EXPECT_EQ(micro.to_string(6), "2024-01-31 10:20:30.123457");
  const ole_date nines(std::string("10:20:30.9995"));
  EXPECT_EQ(nines.to_string(3), "10:20:30.999");
  EXPECT_EQ(nines.to_wstring(3), L"10:20:30.999");

  SYSTEMTIME st;
  st.wYear = 2024;
  st.wMonth = 1;
  st.wDay = 31;
  st.wHour = 25;  // kind 1 prints the hour of the day
  st.wMilliseconds = 250;
  const ole_date millis(st);
  EXPECT_EQ(millis.get_kind(), 1);
  EXPECT_EQ(millis.get_microseconds(), 0u);
  EXPECT_EQ(millis.to_string(6), "2024-01-31 01:00:00.250");
  EXPECT_EQ(millis.to_string(1), "2024-01-31 01:00:00.250");
  EXPECT_EQ(millis.to_wstring(0), L"2024-01-31 01:00:00");
}

TEST(OleDate, SystemTimeIsRefinedToDateOrTime)
{
  SYSTEMTIME st;
  EXPECT_EQ(ole_date(st).get_kind(), 3);
  EXPECT_EQ(ole_date(st).to_wstring(6), L"00:00:00");
  st.wYear = 2024;
  st.wMonth = 2;
  st.wDay = 29;
  EXPECT_EQ(ole_date(st).get_kind(), 2);
  st.wSecond = 1;
  EXPECT_EQ(ole_date(st).get_kind(), 1);
  EXPECT_EQ(ole_date().get_kind(), 0);
  EXPECT_FALSE(ole_date().is_valid());
  EXPECT_EQ(ole_date().to_string(6), "");
}

TEST(OleDate, DurationsAreTimesThatNoDayHolds)
{
  EXPECT_TRUE(ole_date(std::string("838:59:59")).is_duration());
  EXPECT_TRUE(ole_date(std::string("-00:30:00")).is_duration());
  EXPECT_FALSE(ole_date(std::string("23:59:59")).is_duration());
  EXPECT_FALSE(ole_date(std::string("2024-01-31 23:59:59")).is_duration());
}

TEST(OleDate, LongTextsAreRefusedOrReadWithoutOverrun)
{
  EXPECT_FALSE(ole_date(std::string(1000, '9')).is_valid());
  EXPECT_FALSE(ole_date("2024-01-31 10:20:" + std::string(1000, '5')).is_valid());
  EXPECT_FALSE(ole_date(std::string("99999:00:00")).is_valid());
  const ole_date long_fraction("2024-01-31 10:20:30." + std::string(1000, '4'));
  EXPECT_EQ(long_fraction.to_string(6), "2024-01-31 10:20:30.444444");
}

TEST(OleDate, LeapYearsFollowTheGregorianRuleWithYearZeroAsOne)
{
  EXPECT_TRUE(ole_date::is_leap_year(2024));
  EXPECT_TRUE(ole_date::is_leap_year(2000));
  EXPECT_FALSE(ole_date::is_leap_year(1900));
  EXPECT_FALSE(ole_date::is_leap_year(2023));
  EXPECT_FALSE(ole_date::is_leap_year(0));
}

TEST(OleDate, NullSecondsAreAnInternalError)
{
  ole_date d;
  try {
    d.process_milliseconds(static_cast<const char*>(nullptr));
    FAIL() << "no exception";
  } catch (const tk_mail_assertion& e) {
    EXPECT_EQ(e.get_level(), 2u);
  }
}

TEST(OleDate, ParsingLogsItsStepsAsWritten)
{
  temp_dir dir;
  const std::string path = dir.file("date.log");
  {
    tk_logger logger(path.c_str(), true, 1, false);
    ole_date d(std::string(" 31.12.2024 "));
    EXPECT_EQ(d.to_string(6), "2024-12-31");
    ole_date(std::string("12:15 AM"));
  }
  const std::string log = read_file(path);
  for (const char* line : {"ole_date::ole_date(' 31.12.2024 ')", "After tk_trim: 31.12.2024",
                           "Again buf1=31.12.2024", "ole_date::import_from_string(31.12.2024)",
                           "Trying pure time format...", "Trying datetime format #2",
                           "Swap day and year: day=2024, year=31",
                           "Format #2 succeeded (3 items)", "ole_date::to_string(6)",
                           "printing date...", "buf=2024-12-31", "Again buf1=12:15"})
    EXPECT_NE(log.find(line), std::string::npos) << line;
}
