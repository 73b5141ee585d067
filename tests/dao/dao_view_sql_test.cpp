// Stored Access queries rewritten for MySQL: whole words only, letters A-Z
// folded, and the sort order ASC left alone.
#include "dao/dao_database.h"

#include "platform/text_codec.h"

#include <gtest/gtest.h>

TEST(DaoViewSql, AccessWordsBecomeMySqlWordsOnlyWhereTheyStandAlone)
{
  const struct {
    const wchar_t* access;
    const wchar_t* mysql;
  } cases[] = {
      {L"SELECT Len(x), LenX(x), xlen(y) FROM t WHERE len", L"SELECT length(x), LenX(x), xlen(y) FROM t WHERE length"},
      {L"SELECT len, y FROM t", L"SELECT len, y FROM t"},
      {L"SELECT [a]![b] FROM t WHERE x <> 1", L"SELECT [a].[b] FROM t WHERE x != 1"},
      {L"SELECT IIf(a, UCase(b), LCase(c)) FROM t", L"SELECT if(a, upper(b), lower(c)) FROM t"},
      {L"SELECT Nz(a), Mid$(b, 1), Left$(c, 2), Right$(d, 3) FROM t",
       L"SELECT ifnull(a), mid(b, 1), left(c, 2), right(d, 3) FROM t"},
      {L"SELECT Asc(a), ASC (b) FROM t ORDER BY a ASC", L"SELECT ascii(a), ascii (b) FROM t ORDER BY a ASC"},
      {L"SELECT a FROM t ORDER BY a asc\r\n", L"SELECT a FROM t ORDER BY a asc\r\n"},
      {L"SELECT * FROM t WITH OWNERACCESS OPTION;", L"SELECT * FROM t ;"},
      {L"SELECT Sqr(a), StDev(b), StrComp(c, d), CLng(e), Chr(65) FROM t",
       L"SELECT sqrt(a), stddev(b), strcmp(c, d), round(e), char(65) FROM t"},
      {L"SELECT * FROM t WHERE a ALike 'x%'", L"SELECT * FROM t WHERE a like 'x%'"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(dao_database::rewrite_view_sql(c.access), c.mysql) << plat::to_utf8(c.access);
}
