// An open database's catalogue (base tables, views), its statement runner and the
// temporary recordsets that read listings in batches.
#include "sql_test_support.h"

#include "SQL/sql_recs.h"
#include "TK/tk_codepage.h"
#include "TK/tk_exception.h"
#include "UDB/udb_field.h"
#include "UDB/udb_recs.h"
#include "UDB/udb_schema.h"
#include "platform/text_codec.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace {

std::vector<std::wstring> server_base_tables(sql_admin& admin, const scratch_database& db)
{
  admin.run("USE " + db.quoted());
  MYSQL* handle = admin.handle();
  const std::string statement = "show full tables where Table_type='BASE TABLE'";
  if (mysql_query(handle, statement.c_str()) != 0)
    throw std::runtime_error(mysql_error(handle));
  std::unique_ptr<MYSQL_RES, decltype(&mysql_free_result)> result(mysql_store_result(handle),
                                                                &mysql_free_result);
  std::vector<std::wstring> names;
  while (MYSQL_ROW row = mysql_fetch_row(result.get()))
    names.push_back(wide(row[0]));
  return names;
}

} // namespace

TEST(SqlCatalogue, ListsBaseTablesInTheServersOrderAndViewsWithTheirSql)
{
  sql_admin admin;
  scratch_database db(admin);
  db.run("CREATE TABLE b_second (a INT)");
  db.run("CREATE TABLE a_first (a INT, b VARCHAR(5))");
  db.run("CREATE TABLE `t\xE2\x82\xAC\xC3\xBC` (a INT)");
  db.run("CREATE VIEW v_first AS SELECT a FROM a_first");
  db.run("CREATE SEQUENCE s_not_a_table");
  auto engine = connected_engine();

  auto source = engine->open_db(db.wname(), 1, L"");
  EXPECT_EQ(source->get_table_names(), server_base_tables(admin, db));
  EXPECT_EQ(source->get_table_names().size(), 3u);
  EXPECT_TRUE(source->is_table_exist(L"A_FIRST"));
  EXPECT_TRUE(source->is_table_exist(L"t\u20AC\u00FC"));
  EXPECT_FALSE(source->is_table_exist(L"v_first"));
  EXPECT_FALSE(source->is_table_exist(L"s_not_a_table"));
  ASSERT_EQ(source->get_views().size(), 1u);
  EXPECT_EQ(source->get_views()[0].first, L"v_first");
  EXPECT_EQ(source->get_views()[0].second, L"select `a_first`.`a` AS `a` from `a_first`");
  EXPECT_FALSE(engine->is_blob_to_text());
  source.reset();

  // The wizard's table list leaves the views unread.
  auto listing = engine->open_db(db.wname(), 161, L"");
  EXPECT_EQ(listing->get_table_names().size(), 3u);
  EXPECT_TRUE(listing->get_views().empty());
}

TEST(SqlCatalogue, DatabaseWithoutTablesListsNothingAndGetTableIsAnInternalError)
{
  sql_admin admin;
  scratch_database db(admin);
  auto engine = connected_engine();
  auto source = engine->open_db(db.wname(), 1, L"");
  EXPECT_TRUE(source->get_table_names().empty());
  EXPECT_TRUE(source->get_views().empty());
  EXPECT_THROW(source->get_table(L"anything", 1), tk_mail_assertion);
}

TEST(SqlCatalogue, NamesWithQuotesAndBackquotesOpenWithTheirViews)
{
  sql_admin admin;
  scratch_database db(admin, "_o'k`x");
  db.run("CREATE TABLE t (a INT)");
  db.run("CREATE VIEW `v'w` AS SELECT a FROM t");
  auto engine = connected_engine();
  auto source = engine->open_db(wide(db.name()), 1, L"");
  ASSERT_EQ(source->get_views().size(), 1u);
  EXPECT_EQ(source->get_views()[0].first, L"v'w");
  // The definition loses the database's qualifier, whose backquote is doubled.
  EXPECT_EQ(source->get_views()[0].second, L"select `t`.`a` AS `a` from `t`");
}

TEST(SqlCatalogue, ViewDefinitionsLoseTheirFirstCommentAndTheDatabaseQualifier)
{
  sql_admin admin;
  scratch_database db(admin);
  auto engine = connected_engine();
  auto opened = engine->open_db(db.wname(), 161, L"");
  auto& source = dynamic_cast<sql_database&>(*opened);
  const std::wstring q = L"`" + db.wname() + L"`.";
  std::wstring upper_q = q;
  for (auto& c : upper_q)
    c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
  const struct {
    std::wstring text;
    std::wstring refined;
  } cases[] = {
      {L"/* ALGORITHM=UNDEFINED */ select " + q + L"`t`.`a` AS `a` from " + q + L"`t`",
       L" select `t`.`a` AS `a` from `t`"},
      {L"select " + upper_q + L"`t`.`a` from " + upper_q + L"`t`", L"select `t`.`a` from `t`"},
      {L"select /* one */ 1 /* two */", L"select  1 /* two */"},
      {L"select `t`.`a` from `t`", L"select `t`.`a` from `t`"},
      {L"select `other`.`t`.`a` from `other`.`t`", L"select `other`.`t`.`a` from `other`.`t`"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(source.refine_view_out(c.text), c.refined) << plat::to_utf8(c.text);
}

TEST(SqlCatalogue, QueryLendsRowsInBatchesOfAThousandAndResetRewindsTheBatch)
{
  sql_admin admin;
  scratch_database db(admin);
  db.run("CREATE TABLE n (id INT PRIMARY KEY)");
  db.run("INSERT INTO n SELECT seq FROM seq_1_to_2500");
  auto engine = connected_engine();
  auto source = engine->open_db(db.wname(), 161, L"");

  auto rows = source->query(L"SELECT id FROM n ORDER BY id");
  ASSERT_NE(rows, nullptr);
  rows->reset();
  int expected = 1;
  for (; !rows->is_eof() && expected <= 1500; rows->next(), ++expected)
    ASSERT_EQ((*rows->get_item())[0]->to_long(), expected);
  // Rows 1001 to 1500 are the batch held now; reset goes back to its start.
  rows->reset();
  ASSERT_FALSE(rows->is_eof());
  EXPECT_EQ((*rows->get_item())[0]->to_long(), 1001);
  for (expected = 1001; !rows->is_eof(); rows->next(), ++expected)
    ASSERT_EQ((*rows->get_item())[0]->to_long(), expected);
  EXPECT_EQ(expected, 2501);
  EXPECT_EQ(rows->get_item(), nullptr);
  EXPECT_THROW(rows->append_record(udb_record(), 0), tk_mail_assertion);
}

TEST(SqlCatalogue, StatementsWithoutRowsGiveNoRecordsetAndFailuresRaise)
{
  sql_admin admin;
  scratch_database db(admin);
  db.run("CREATE TABLE t (a INT)");
  auto engine = connected_engine();
  auto source = engine->open_db(db.wname(), 161, L"");

  EXPECT_EQ(source->query(L"SET @qvt_probe = 1"), nullptr);
  try {
    source->query(L"SELECT * FROM no_such_table");
    FAIL() << "a failing statement gave rows";
  } catch (const sql_exception& e) {
    EXPECT_EQ(e.get_code(), 0x400000u + 1146u);
    EXPECT_EQ(e.get_level(), 0u);
  }
  // The connection is usable after the failure.
  auto rows = source->query(L"SELECT @qvt_probe");
  ASSERT_NE(rows, nullptr);
  rows->reset();
  ASSERT_FALSE(rows->is_eof());
  EXPECT_EQ((*rows->get_item())[0]->to_long(), 1);
}

namespace {

// Rows the session's handlers have read so far (scans, index reads, temporary tables).
long long rows_read(udb_database& source)
{
  auto rows = source.query(
      L"SELECT SUM(VARIABLE_VALUE) FROM information_schema.SESSION_STATUS WHERE VARIABLE_NAME LIKE 'HANDLER_READ%'");
  rows->reset();
  return static_cast<long long>((*rows->get_item())[0]->to_double());
}

// Whether the run can read the query: its schema is what a sheet's header
// comes from, and its reading the rows.
bool run_reads(udb_database& source, const std::wstring& text)
{
  try {
    auto query = source.get_query(L"q", text, 1);
    query->reset();
    return !query->get_schema().empty();
  } catch (const tk_exception&) {
    return false;
  }
}

} // namespace

TEST(SqlCatalogue, TestQueryAgreesWithTheRunAndExecutesNothing)
{
  sql_admin admin;
  scratch_database db(admin);
  db.run("CREATE TABLE n (id INT)");
  db.run("INSERT INTO n SELECT seq FROM seq_1_to_3000");
  auto engine = connected_engine();
  auto source = engine->open_db(db.wname(), 161, L"");

  const struct {
    const wchar_t* text;
    bool readable;
  } cases[] = {
      {L"SELECT * FROM n", true},
      {L"  \n\t SELECT id FROM n", true},
      {L"SELECT id FROM n;", true},
      {L"SELECT id FROM n ;\n", true},
      {L"SELECT id FROM n -- note", true},
      {L"WITH w AS (SELECT id FROM n) SELECT id FROM w ORDER BY id DESC", true},
      {L"(SELECT id FROM n) UNION (SELECT 0) ORDER BY id", true},
      {L"VALUES (1), (2)", true},
      {L"SELEKT * FROM n", false},
      {L"SELECT * FROM missing", false},
      {L"", false},
      // Runs alone, but a sheet cannot take two columns of one name.
      {L"SELECT 1 AS a, 2 AS a", false},
      {L"SELECT id, id FROM n", false},
      // Statements that change data are never run by a check.
      {L"UPDATE n SET id = 0", false},
      {L"DELETE FROM n", false},
      {L"INSERT INTO n VALUES (0)", false},
      {L"DROP TABLE n", false},
      {L"SELECT 1; DELETE FROM n", false},
      {L"SELECT id FROM n INTO OUTFILE '/tmp/qvt_never_written'", false},
      {L"SELECT id INTO @qvt_never_set FROM n LIMIT 1", false},
      // A query only inside the parentheses a check puts around it.
      {L"SELECT 1) AS x, (SELECT 2", false},
      {L"SELECT 1) AS x, (SELECT 2) AS y; DELETE FROM n; SELECT (1", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(source->test_query(c.text), c.readable) << tk_wstring_to_utf8(c.text);
    EXPECT_EQ(run_reads(*source, c.text), c.readable) << tk_wstring_to_utf8(c.text);
  }
  EXPECT_EQ(admin.value("SELECT CONCAT(COUNT(*), ':', SUM(id)) FROM " + db.quoted() + ".n"), "3000:4501500");
  // The connection is free for the next statement after every check.
  auto rows = source->query(L"SELECT COUNT(*) FROM n");
  ASSERT_NE(rows, nullptr);
  rows->reset();
  ASSERT_FALSE(rows->is_eof());
  EXPECT_EQ((*rows->get_item())[0]->to_long(), 3000);
}

TEST(SqlCatalogue, TestQueryEvaluatesNothingOfAQueryWithoutFrom)
{
  sql_admin admin;
  scratch_database db(admin);
  db.run("CREATE TABLE calls (id INT AUTO_INCREMENT PRIMARY KEY)");
  db.run("CREATE FUNCTION logit() RETURNS INT MODIFIES SQL DATA BEGIN INSERT INTO calls VALUES (NULL); RETURN 1; END");
  auto engine = connected_engine();
  auto source = engine->open_db(db.wname(), 161, L"");

  // Run as a derived table, each of these is evaluated even under LIMIT 0.
  const std::wstring function = db.wname() + L".logit()";
  const struct {
    std::wstring text;
    bool readable;
  } cases[] = {
      {L"SELECT " + function + L" AS x, SLEEP(20) AS s", true},
      {L"SELECT logit() AS x", true},
      {L"SELECT (SELECT logit()) AS x FROM DUAL", true},
      {L"SELECT * FROM (SELECT logit() AS x) AS inner_table", true},
      {L"SELECT GET_LOCK('qvt_check_lock', 0) AS taken", true},
      // A parameter marker prepares, but the run's text cannot hold one.
      {L"SELECT ? AS x", false},
      {L"SELECT missing_function() AS x", false},
  };
  const auto start = std::chrono::steady_clock::now();
  for (const auto& c : cases)
    EXPECT_EQ(source->test_query(c.text), c.readable) << tk_wstring_to_utf8(c.text);
  // Far below the SLEEP: nothing waited for it.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(admin.value("SELECT COUNT(*) FROM " + db.quoted() + ".calls"), "0");
  EXPECT_EQ(admin.value("SELECT IS_USED_LOCK('qvt_check_lock')"), "NULL");
  // The connection is free for the next statement.
  auto rows = source->query(L"SELECT COUNT(*) FROM calls");
  ASSERT_NE(rows, nullptr);
  rows->reset();
  ASSERT_FALSE(rows->is_eof());
  EXPECT_EQ((*rows->get_item())[0]->to_long(), 0);
}

TEST(SqlCatalogue, TestQueryDoesNotReadTheRowsOfAHugeTable)
{
  sql_admin admin;
  scratch_database db(admin);
  db.run("CREATE TABLE huge (id INT, grp INT)");
  db.run("INSERT INTO huge SELECT seq, seq % 1000 FROM seq_1_to_300000");
  auto engine = connected_engine();
  auto source = engine->open_db(db.wname(), 161, L"");
  // The counter sees a scan of the table.
  const long long start = rows_read(*source);
  source->query(L"SELECT COUNT(*) FROM huge WHERE grp = 7").reset();
  ASSERT_GE(rows_read(*source) - start, 300000);

  for (const wchar_t* text : {L"SELECT * FROM huge", L"SELECT grp, COUNT(*) AS n FROM huge GROUP BY grp",
                              L"SELECT DISTINCT id FROM huge ORDER BY id DESC"}) {
    const long long before = rows_read(*source);
    EXPECT_TRUE(source->test_query(text)) << tk_wstring_to_utf8(text);
    EXPECT_LT(rows_read(*source) - before, 10000) << tk_wstring_to_utf8(text);
  }
}

TEST(SqlCatalogue, KilledConnectionDuringAListingRaisesInsteadOfEndingIt)
{
  sql_admin admin;
  scratch_database db(admin);
  db.run("CREATE TABLE big (id INT PRIMARY KEY, pad CHAR(200))");
  db.run("INSERT INTO big SELECT seq, REPEAT('x', 200) FROM seq_1_to_200000");
  auto engine = connected_engine();
  auto source = engine->open_db(db.wname(), 161, L"");

  auto rows = source->query(L"SELECT id, pad FROM big ORDER BY id");
  ASSERT_NE(rows, nullptr);
  rows->reset();
  ASSERT_FALSE(rows->is_eof());
  admin.run("KILL " + std::to_string(mysql_thread_id(engine->get_handle())));
  long read = 0;
  EXPECT_THROW(
      {
        for (; !rows->is_eof(); rows->next())
          ++read;
      },
      sql_connection_lost_exception);
  EXPECT_LT(read, 200000);
}

TEST(SqlCatalogue, CaseTwinsEachGiveTheirOwnRowsAndOtherCasesFallBackToAListedTwin)
{
  sql_admin admin;
  scratch_database db(admin);
  ASSERT_EQ(admin.value("SELECT @@lower_case_table_names"), "0") << "the server folds table names";
  db.run("CREATE TABLE `Orders` (v VARCHAR(10))");
  db.run("CREATE TABLE `orders` (v VARCHAR(10))");
  db.run("CREATE TABLE `ORDERS` (v VARCHAR(10))");
  db.run("INSERT INTO `Orders` VALUES ('Orders')");
  db.run("INSERT INTO `orders` VALUES ('orders')");
  db.run("INSERT INTO `ORDERS` VALUES ('ORDERS')");
  auto engine = connected_engine();
  auto source = engine->open_db(db.wname(), 1, L"");
  const auto& listed = source->get_table_names();
  const struct {
    std::wstring asked;
    std::wstring read;  // empty: the first listed twin
  } cases[] = {{L"Orders", L"Orders"}, {L"orders", L"orders"}, {L"ORDERS", L"ORDERS"}, {L"oRdErS", L""}};
  for (const auto& c : cases) {
    const std::wstring expected = c.read.empty() ? listed.at(0) : c.read;
    auto table = source->get_table(c.asked, 1);
    table->reset();
    ASSERT_FALSE(table->is_eof());
    EXPECT_EQ((*table->get_item())[0]->to_wstring(), expected) << plat::to_utf8(c.asked);
    EXPECT_EQ(table->get_name(), expected);
  }
}


TEST(SqlCatalogue, TheReadingEngineWritesNothingEvenInAWritingMode)
{
  sql_admin admin;
  scratch_database db(admin);
  db.run("CREATE TABLE t (id INT PRIMARY KEY)");
  db.run("INSERT INTO t VALUES (1), (2)");
  db.run("CREATE VIEW v AS SELECT id FROM t");
  auto engine = connected_engine();
  // Mode 0 is the one a writing engine makes tables and rows in.
  auto source = engine->open_db(db.wname(), 0, L"");
  udb_schema schema;
  schema.emplace_back(4, L"id", VT_I4, true, false, ole_variant(), 0, L"");
  udb_record row;
  row.emplace_back(L"id", 4, ole_variant(3), true, false);
  auto table = source->get_table(L"t", 0);

  const struct {
    const char* call;
    std::function<void()> run;
  } cases[] = {
      {"create_table", [&] { source->create_table(L"u", schema, udb_indexes()); }},
      {"delete_tab", [&] { source->delete_tab(L"t"); }},
      {"empty_table", [&] { source->empty_table(L"t"); }},
      {"create_views", [&] { source->create_views({{L"w", L"SELECT id FROM t"}}); }},
      {"create_relationships", [&] { source->create_relationships(udb_relationships()); }},
      {"create_db", [&] { engine->create_db(db.wname() + L"_new"); }},
      {"db_delete", [&] { engine->db_delete(db.wname()); }},
      {"append_record", [&] { table->append_record(row, 1); }},
  };
  for (const auto& c : cases)
    EXPECT_THROW(c.run(), tk_mail_assertion) << c.call;
  table->update(row);
  table->delete_key(row);
  table->delete_key(L"<id>1</id>");
  table->save();
  table.reset();

  EXPECT_EQ(admin.value("SELECT COUNT(*) FROM " + db.quoted() + ".t"), "2");
  EXPECT_EQ(admin.value("SELECT GROUP_CONCAT(TABLE_NAME ORDER BY TABLE_NAME) FROM information_schema.TABLES "
                        "WHERE TABLE_SCHEMA = '" + db.name() + "'"),
            "t,v");
  EXPECT_EQ(admin.value("SELECT COUNT(*) FROM information_schema.SCHEMATA WHERE SCHEMA_NAME = '" + db.name() + "_new'"),
            "0");
}
