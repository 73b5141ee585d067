// Stored Access queries rewritten for MySQL: whole words only, letters A-Z
// folded, the sort order ASC and quoted text left alone; and the three
// replacement rules the rewrite is built from.
#include "dao/dao_database.h"

#include "platform/text_codec.h"

#include <gtest/gtest.h>

namespace {

struct replacement_case {
  const wchar_t* text;
  const wchar_t* what;
  const wchar_t* with;
  const wchar_t* expected;
};

using replace_fn = std::wstring& (*)(std::wstring&, const wchar_t*, const wchar_t*);

void expect_replacements(replace_fn replace, std::initializer_list<replacement_case> cases)
{
  for (const auto& c : cases) {
    std::wstring text = c.text;
    std::wstring& result = replace(text, c.what, c.with);
    EXPECT_EQ(&result, &text) << "the text is changed in place";
    EXPECT_EQ(text, c.expected) << plat::to_utf8(c.text) << " / " << plat::to_utf8(c.what);
  }
}

} // namespace

TEST(DaoViewSql, ReplacingAnywhereFoldsOnlyAToZAndSearchesOnInsideTheNewText)
{
  expect_replacements(dao_database::replace_no_case,
                      {
                          {L"[a]![b]", L"]![", L"].[", L"[a].[b]"},
                          {L"xLENy LenLen", L"len", L"L", L"xLy LL"},
                          // From one after the occurrence: "xa" + "ab" holds a new "aab".
                          {L"aabab", L"aab", L"xa", L"xxa"},
                          {L"ÄÖ äö", L"äö", L"-", L"ÄÖ -"},
                          {L"", L"x", L"y", L""},
                      });
}

TEST(DaoViewSql, WordsAreReplacedOnlyWhereTheyStandAlone)
{
  expect_replacements(dao_database::replace_word_no_case,
                      {
                          {L"Len(x) LenX(x) xlen(y)", L"len", L"length", L"length(x) LenX(x) xlen(y)"},
                          {L"len", L"len", L"length", L"length"},
                          {L"a + len", L"len", L"length", L"a + length"},
                          {L"len, len\tlen\r\nlen\n", L"len", L"length", L"len, length\tlength\r\nlength\n"},
                          {L"_len(x) élen(x) 9len(x) (len(x))", L"len", L"length", L"_length(x) élen(x) 9len(x) (length(x))"},
                          {L"IIf(IIf(a))", L"iif", L"if", L"if(if(a))"},
                          {L"len(a) & 'len(b)' & \"Len c\" & [len d]", L"len", L"length",
                           L"length(a) & 'len(b)' & \"Len c\" & [len d]"},
                      });
}

TEST(DaoViewSql, CallsAreReplacedOnlyOutsideQuotedText)
{
  expect_replacements(dao_database::replace_call_no_case,
                      {
                          {L"Asc(x), asc (y), ASC\t(z)", L"asc", L"ascii", L"ascii(x), ascii (y), ascii\t(z)"},
                          {L"ORDER BY x ASC", L"asc", L"ascii", L"ORDER BY x ASC"},
                          {L"ORDER BY x ASC, y asc\r\n", L"asc", L"ascii", L"ORDER BY x ASC, y asc\r\n"},
                          {L"WHERE a = 'asc (x)' OR b = \"Asc(y)\"", L"asc", L"ascii", L"WHERE a = 'asc (x)' OR b = \"Asc(y)\""},
                          {L"'it''s', asc(x), 'asc(y)'", L"asc", L"ascii", L"'it''s', ascii(x), 'asc(y)'"},
                          {L"[O'Brien], asc(x), [asc(y)]", L"asc", L"ascii", L"[O'Brien], ascii(x), [asc(y)]"},
                          {L"basc(x) asc_(y) asc", L"asc", L"ascii", L"basc(x) asc_(y) asc"},
                      });
}

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
      {L"SELECT Asc(a) FROM t WHERE b = 'asc (x)' ORDER BY a ASC",
       L"SELECT ascii(a) FROM t WHERE b = 'asc (x)' ORDER BY a ASC"},
      {L"SELECT * FROM t WITH OWNERACCESS OPTION;", L"SELECT * FROM t ;"},
      {L"SELECT Sqr(a), StDev(b), StrComp(c, d), CLng(e), Chr(65) FROM t",
       L"SELECT sqrt(a), stddev(b), strcmp(c, d), round(e), char(65) FROM t"},
      {L"SELECT * FROM t WHERE a ALike 'x%'", L"SELECT * FROM t WHERE a like 'x%'"},
      // Literals keep every character.
      {L"SELECT Len(a) FROM t WHERE b <> 'Len (x) <> UCase(y)' AND c = \"a <> b\"",
       L"SELECT length(a) FROM t WHERE b != 'Len (x) <> UCase(y)' AND c = \"a <> b\""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(dao_database::rewrite_view_sql(c.access), c.mysql) << plat::to_utf8(c.access);
}
