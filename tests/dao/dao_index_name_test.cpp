// Names of the unique indexes added for relations: "ui_", the table cut to fit
// 64 characters and the time as yymmddhhmmss, with a counter where the table
// already has the name.
#include "dao/dao_database.h"

#include <gtest/gtest.h>

namespace {

SYSTEMTIME at(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
  SYSTEMTIME t;
  t.wYear = year;
  t.wMonth = month;
  t.wDay = day;
  t.wHour = hour;
  t.wMinute = minute;
  t.wSecond = second;
  return t;
}

const SYSTEMTIME now = at(2024, 3, 7, 9, 5, 1);

} // namespace

TEST(DaoIndexName, TableNameIsCutSoTheTimeFitsInSixtyFourCharacters)
{
  const struct {
    std::wstring table;
    std::wstring expected;
  } cases[] = {
      {L"orders", L"ui_orders240307090501"},
      {L"", L"ui_240307090501"},
      {std::wstring(49, L'a'), L"ui_" + std::wstring(49, L'a') + L"240307090501"},
      {std::wstring(49, L'a') + L"bcdefghijk", L"ui_" + std::wstring(49, L'a') + L"240307090501"},
  };
  for (const auto& c : cases) {
    const std::wstring name = dao_database::gen_ui_name(c.table, {}, now);
    EXPECT_EQ(name, c.expected);
    EXPECT_LE(name.size(), 64u);
  }
  EXPECT_EQ(dao_database::gen_ui_name(L"t", {}, at(1999, 12, 31, 23, 59, 59)), L"ui_t991231235959");
  EXPECT_EQ(dao_database::gen_ui_name(L"t", {}, at(2100, 1, 1, 0, 0, 0)), L"ui_t000101000000");
}

TEST(DaoIndexName, NamesMadeInOneSecondForOneTableStayDistinct)
{
  for (const std::wstring& table : {std::wstring(L"orders"), std::wstring(60, L'x')}) {
    std::vector<std::wstring> taken{L"PrimaryKey"};
    for (int i = 0; i < 12; ++i) {
      const std::wstring name = dao_database::gen_ui_name(table, taken, now);
      EXPECT_LE(name.size(), 64u);
      EXPECT_EQ(name.substr(name.size() - 12), L"240307090501");
      for (const auto& other : taken)
        EXPECT_NE(name, other);
      taken.push_back(name);
    }
    EXPECT_EQ(taken[1], L"ui_" + table.substr(0, 49) + L"240307090501");
  }
  EXPECT_EQ(dao_database::gen_ui_name(L"orders", {L"UI_ORDERS240307090501"}, now), L"ui_orders_2240307090501");
  EXPECT_EQ(dao_database::gen_ui_name(std::wstring(60, L'x'), {L"ui_" + std::wstring(49, L'x') + L"240307090501"}, now),
            L"ui_" + std::wstring(47, L'x') + L"_2240307090501");
}
