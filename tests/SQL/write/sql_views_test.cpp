// Views brought from another SQL dialect: the text rewrites as one table of
// cases, and views created on the test server that return the rows MySQL's
// functions give, with a refused view reported and the next one still made.
#include "SQL/sql_test_support.h"
#include "SQL/write/sql_db_write.h"
#include "SQL/write/sql_engi_write.h"
#include "recording_reporter.h"

#include "SQL/write/sql_views.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using SqlView = sql_reporting_test;

} // namespace

TEST_F(SqlView, TextOfOtherDialectsBecomesMySql)
{
  const struct {
    const wchar_t* source;
    const wchar_t* refined;
  } cases[] = {
      {L"select isnull(a,0), getdate(), len(name) from t",
       L"select ifnull(a,0), curdate(), length(name) from t;"},
      {L"SELECT ISNULL(a) FROM t", L"SELECT ISNULL(a) FROM t;"},
      {L"SELECT ISNULL(f(a, b), c) FROM t", L"SELECT ISNULL(f(a, b), c) FROM t;"},
      // Counted from d1 to d2 in both dialects.
      {L"SELECT DATEDIFF(day, d1, d2) FROM t", L"SELECT DATEDIFF(d2, d1) FROM t;"},
      {L"SELECT DATEDIFF(dd, f(a, b), 'x,y') FROM t", L"SELECT DATEDIFF('x,y', f(a, b)) FROM t;"},
      {L"SELECT DATEDIFF(d2, d1) FROM t", L"SELECT DATEDIFF(d2, d1) FROM t;"},
      // Quoted text and longer words keep every character.
      {L"SELECT strlen(a), 'len(b) isnull(c, d)', \"getdate()\" FROM t WHERE s = 'DATEDIFF(day, a, b)'",
       L"SELECT strlen(a), 'len(b) isnull(c, d)', \"getdate()\" FROM t WHERE s = 'DATEDIFF(day, a, b)';"},
      {L"SELECT `len(x)`, len(x) FROM t", L"SELECT `len(x)`, length(x) FROM t;"},
      {L"SELECT 'it''s len(a)', len(a) FROM t", L"SELECT 'it''s len(a)', length(a) FROM t;"},
      // A quote after a backslash stays inside its literal, in either kind of
      // quote; a backslash escapes nothing in a quoted name.
      {L"SELECT 'it\\'s' AS a, 'len(x)   two  spaces' AS b", L"SELECT 'it\\'s' AS a, 'len(x)   two  spaces' AS b;"},
      {L"SELECT \"q\\\"  len(y)\", len(y) FROM t", L"SELECT \"q\\\"  len(y)\", length(y) FROM t;"},
      {L"SELECT 'x\\\\', len(y), '[z]' FROM [t]", L"SELECT 'x\\\\', length(y), '[z]' FROM `t`;"},
      {L"SELECT `a\\`,   len(x)", L"SELECT `a\\`, length(x);"},
      // Only whole words are functions.
      {L"SELECT getdate_x, replicate_n, isnull_count, x.getdate(), isnull(a, b) FROM t",
       L"SELECT getdate_x, replicate_n, isnull_count, x.curdate(), ifnull(a, b) FROM t;"},
      {L"SELECT DATEADD(day, 1, d) FROM t", L"SELECT DATEADD(day, 1, d) FROM t;"},
      {L"SELECT DATEADD(d, 1) FROM t", L"SELECT date_add(d, 1) FROM t;"},
      {L"SELECT REPLICATE(REPLICATE('a', 2), 3)", L"SELECT REPLICATE(repeat('a', 2), 3);"},
      {L"SELECT [Order Date] FROM [Order Lines]", L"SELECT `Order Date` FROM `Order Lines`;"},
      {L"SELECT o.id FROM Orders o", L"SELECT o.id FROM `orders_1` o;"},
      {L"SELECT [Orders].[Amount] FROM [Orders]", L"SELECT `orders_1`.`amount_1` FROM `orders_1`;"},
      {L"SELECT x FROM t WHERE y LIKE '[a]%'", L"SELECT x FROM t WHERE y LIKE '[a]%';"},
      {L"SELECT a,\r\n\t  b\nFROM   t WHERE c = 'one\n  two'",
       L"SELECT a, b FROM t WHERE c = 'one\n  two';"},
      {L"\n select \"x  y\" ", L" select \"x  y\" ;"},
  };
  sql_write_database& target = open();
  target.get_names_map().add_tn_mapping(L"Orders", L"orders_1");
  t_names_map fields;
  fields.add(L"Amount", L"amount_1");
  target.get_names_map().add_fn_map(L"orders_1", fields);

  for (const auto& c : cases)
    EXPECT_EQ(target.refine_view_in(c.source), c.refined) << plat::to_utf8(c.source);
}

TEST(SqlViewConverter, OnlyCallsOfOneCommaQualify)
{
  const struct {
    const wchar_t* text;
    std::size_t position;
    bool one_comma;
  } cases[] = {
      {L"isnull(a, b)", 0, true},
      {L"x = isnull(a)", 4, false},
      {L"isnull(f(a, b), c)", 0, false},
      {L"isnull(a, b)) + f(c, d)", 0, true},
      {L"isnull(a, b)", std::wstring::npos, false},
      {L"isnull(a, b)", 12, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(sql_view_converter::check_isnull_for_replace(c.text, c.position), c.one_comma)
        << plat::to_utf8(c.text);
}

TEST_F(SqlView, ViewsAreMadeAndAFailureStopsOnlyItsOwn)
{
  db.run("CREATE TABLE t (id INT PRIMARY KEY, a INT NULL, name VARCHAR(20))");
  db.run("INSERT INTO t VALUES (1, NULL, 'abc'), (2, 5, 'de')");
  sql_write_database& target = open();

  target.create_views({
      {L"v_ok", L"select id, isnull(a, 0) as a, len(name) as n from [t]"},
      {L"v_blank", L" select 1"},
      {L"v_with", L"WITH x AS (SELECT 1) SELECT * FROM x"},
      {L"v_bad", L"select nosuch from t"},
      {L"v|line", L"SELECT REPLICATE('-', 3) AS line"},
      {L"v_days", L"select datediff(day, '2024-01-01', '2024-01-31') as d, 'len(x)' as t"},
  });

  ASSERT_EQ(reporter.reports.size(), 1u);
  EXPECT_EQ(reporter.reports[0].context, L"View 'v_bad'");
  EXPECT_EQ(admin.value("SELECT GROUP_CONCAT(TABLE_NAME ORDER BY TABLE_NAME) FROM "
                        "information_schema.VIEWS WHERE TABLE_SCHEMA='" + db.name() + "'"),
            "v_days,v_line,v_ok");
  EXPECT_EQ(admin.value("SELECT CONCAT(d, ' ', t) FROM " + db.quoted() + ".v_days"), "30 len(x)");
  EXPECT_EQ(admin.value("SELECT GROUP_CONCAT(CONCAT_WS(',', id, a, n) ORDER BY id SEPARATOR ';') FROM " +
                        db.quoted() + ".v_ok"),
            "1,0,3;2,5,2");
  EXPECT_EQ(admin.value("SELECT line FROM " + db.quoted() + ".v_line"), "---");
  EXPECT_EQ(target.get_names_map().get_tn_mapped_name(L"v|line"), L"v_line");
}
