// Whole conversion runs against the test server: a database of many kinds of
// tables and two queries into one .xlsx workbook read back with openpyxl, what
// the run tells its front end (missing tables, full sheets, too many columns),
// the progress values, and the endings of runs that fail.
#include "common_test_support.h"

#include "SQL/sql_util.h"
#include "platform/dao/dao_class_registry.h"
#include "platform/dao/dao_model.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

using namespace common_test;

namespace {

struct progress {
  std::string line;
  std::wstring name;
  std::int32_t tables_done;
  std::uint64_t record_count;
  std::uint64_t records_done;
};

const cell none{};
cell n(double v) { return cell(v); }
cell t(const std::string& v) { return cell(v); }

const std::string long_name_1 = "a_very_long_table_name_that_goes_on_one";
const std::string long_name_2 = "a_very_long_table_name_that_goes_on_two";

// 40,000 characters: a CR LF early on, then x up to 32,765 UTF-16 units once
// folded, then a character beyond U+FFFF whose pair would straddle the cut.
std::string long_source_text()
{
  std::string text = "start\r\nline" + std::string(32765 - 10, 'x') + "\xF0\x9F\x98\x80";
  return text + std::string(40000 - 32765 - 2, 't');
}
std::string long_sheet_text() { return "start\nline" + std::string(32765 - 10, 'x'); }

void create_every_type(scratch_database& db)
{
  db.run("CREATE TABLE every_type ("
         "id INT PRIMARY KEY, c_tinyint TINYINT, c_utinyint TINYINT UNSIGNED, c_smallint SMALLINT,"
         " c_mediumint MEDIUMINT, c_int INT, c_uint INT UNSIGNED, c_bigint BIGINT,"
         " c_ubigint BIGINT UNSIGNED, c_decimal DECIMAL(12,3), c_float FLOAT, c_double DOUBLE,"
         " c_bit1 BIT(1), c_bit12 BIT(12), c_date DATE, c_datetime DATETIME, c_timestamp TIMESTAMP NULL,"
         " c_time TIME, c_year YEAR, c_char CHAR(4), c_varchar VARCHAR(40), c_text TEXT,"
         " c_longtext LONGTEXT, c_blob BLOB, c_binary BINARY(3), c_varbinary VARBINARY(8),"
         " c_enum ENUM('red','green'), c_set SET('a','b','c'), c_json JSON)");
  db.run("INSERT INTO every_type VALUES (1, -5, 200, -30000, 8000000, -2000000000, 4000000000,"
         " -9000000000, 18000000000, 12345.678, 1.5, 2.25, b'1', b'101010101010', '2024-02-29',"
         " '2023-12-31 23:59:58', '2021-06-01 12:00:00', '838:59:59', 2024, 'ab',"
         " 'h\xC3\xA9llo \xE2\x82\xAC', 'one\r\ntwo\rthree\nfour', 'short long text', 'blob bytes',"
         " 'xyz', x'00FF10', 'green', 'a,c', '{\"k\": [1, 2]}')");
  db.run("INSERT INTO every_type (id) VALUES (2)");
  db.run("INSERT INTO every_type (id, c_time, c_varchar, c_longtext) VALUES (3, '-12:30:05', '', '" +
         long_source_text() + "')");
}

grid every_type_rows(bool blob_to_text)
{
  grid rows;
  rows.push_back({t("id"), t("c_tinyint"), t("c_utinyint"), t("c_smallint"), t("c_mediumint"),
                  t("c_int"), t("c_uint"), t("c_bigint"), t("c_ubigint"), t("c_decimal"),
                  t("c_float"), t("c_double"), t("c_bit1"), t("c_bit12"), t("c_date"),
                  t("c_datetime"), t("c_timestamp"), t("c_time"), t("c_year"), t("c_char"),
                  t("c_varchar"), t("c_text"), t("c_longtext"), t("c_blob"), t("c_binary"),
                  t("c_varbinary"), t("c_enum"), t("c_set"), t("c_json")});
  rows.push_back({n(1), n(-5), n(200), n(-30000), n(8000000), n(-2000000000), n(4000000000),
                  n(-9000000000), n(18000000000), n(12345.678), n(1.5), n(2.25), n(1), n(2730),
                  t("2024-02-29"), t("2023-12-31 23:59:58"), t("2021-06-01 12:00:00"),
                  t("838:59:59"), n(2024), t("ab"), t("h\xC3\xA9llo \xE2\x82\xAC"),
                  t("one\ntwo\nthree\nfour"), t("short long text"),
                  t(blob_to_text ? "blob bytes" : "<Binary Field>"), t("<Binary Field>"),
                  t("<Binary Field>"), t("green"), t("a,c"), t("{\"k\": [1, 2]}")});
  std::vector<cell> empty(29, none);
  empty[0] = n(2);
  rows.push_back(empty);
  std::vector<cell> third(29, none);
  third[0] = n(3);
  third[17] = t("-12:30:05");
  third[22] = t(long_sheet_text());
  rows.push_back(third);
  return rows;
}

} // namespace

TEST(ConversionRun, DatabaseAndQueriesBecomeOneWorkbookOfTheFormatsRules)
{
  captured_handler errors;
  sql_admin admin;
  scratch_database db(admin, "_run");
  create_every_type(db);
  db.run("CREATE TABLE `empty table` (a INT, b VARCHAR(10))");
  std::string wide_table = "CREATE TABLE wide (";
  std::string wide_values = "INSERT INTO wide VALUES (";
  for (int i = 1; i <= 300; ++i) {
    wide_table += (i > 1 ? ", c" : "c") + std::to_string(i) + " INT";
    wide_values += (i > 1 ? ", " : "") + std::to_string(i * 10);
  }
  db.run(wide_table + ")");
  db.run(wide_values + ")");
  const std::vector<std::string> odd_names = {"my table", "it's quoted", "back`quote",
                                              "\xC3\x9Cn\xC3\xAF\x63\xC3\xB8\x64\xC3\xA9 \xE2\x82\xACuro",
                                              "double\"quote", long_name_1, long_name_2};
  for (const std::string& name : odd_names) {
    std::string quoted;
    for (const char c : name)
      quoted += c == '`' ? std::string("``") : std::string(1, c);
    db.run("CREATE TABLE `" + quoted + "` (name VARCHAR(80))");
    db.run("INSERT INTO `" + quoted + "` VALUES (" + sql_quote_literal(admin.handle(), name) + ")");
  }

  temp_dir dir;
  connected_converter run(db.wname(), wide(dir.file("out.xlsx")));
  qorvant_converter& c = run.converter;
  std::vector<progress> seen;
  errors.front.on_call = [&](const std::string& call) {
    if (call.rfind("entry_started ", 0) == 0)
      seen.push_back({call, c.get_current_name(), c.tables_done.load(), c.record_count.load(),
                      c.records_done.load()});
  };

  c.selected_queries = {
      {L"Totals", L"SELECT COUNT(*) AS n, SUM(c_int) AS total FROM every_type"},
      {L"Folded texts",
       L"SELECT id, CONCAT('a', CHAR(13 USING utf8mb4), CHAR(10 USING utf8mb4), 'b',\r\n"
       L" CHAR(13 USING utf8mb4), 'c', CHAR(10 USING utf8mb4)) AS folded,"
       L" REPEAT('y', 40000) AS long_text FROM every_type WHERE id = 1"}};
  c.selected_tables = {L"every_type", L"empty table", L"wide"};
  for (const std::string& name : odd_names)
    c.selected_tables.push_back(wide(name));
  c.selected_tables.push_back(L"gone_table");

  c();

  EXPECT_TRUE(c.finished.load());
  EXPECT_TRUE(c.reached_end);
  const std::string database = db.name();
  std::vector<std::string> calls = {"run_started " + database + " 11"};
  const auto entry = [&calls](const std::string& name, int records) {
    calls.push_back("entry_started " + name + " " + std::to_string(records));
    calls.push_back("entry_converted " + name + " " + std::to_string(records));
  };
  entry("Totals", 1);
  entry("Folded texts", 1);
  entry("every_type", 3);
  entry("empty table", 0);
  entry("wide", 1);
  for (const std::string& name : odd_names)
    entry(name, 1);
  calls.push_back("entry_skipped gone_table");
  calls.push_back("run_finished 1");
  EXPECT_EQ(errors.front.calls, calls);

  std::vector<expected_sheet> sheets;
  sheets.push_back({"Totals", {{t("n"), t("total")}, {n(3), n(-2000000000)}}});
  sheets.push_back({"Folded texts",
                    {{t("id"), t("folded"), t("long_text")},
                     {n(1), t("a\nb\nc\n"), t(std::string(32766, 'y'))}}});
  sheets.push_back({"every_type", every_type_rows(false)});
  sheets.push_back({"empty table", {{t("a"), t("b")}}});
  grid wide_rows(2);
  for (int i = 1; i <= 300; ++i) {
    wide_rows[0].push_back(t("c" + std::to_string(i)));
    wide_rows[1].push_back(n(i * 10));
  }
  sheets.push_back({"wide", wide_rows});
  const std::vector<std::string> odd_titles = {
      "my table", "it_s quoted", "back`quote", odd_names[3], "double\"quote",
      long_name_1.substr(0, 30), long_name_2.substr(0, 25) + "00000"};
  for (std::size_t i = 0; i < odd_names.size(); ++i)
    sheets.push_back({odd_titles[i], {{t("name")}, {t(odd_names[i])}}});
  EXPECT_EQ(workbook_differences(dir.file("out.xlsx"), sheets), "");

  // The counters as each sheet began: entries done before it, its record count.
  ASSERT_EQ(seen.size(), 12u);
  const struct {
    std::string call;
    std::int32_t done;
    std::uint64_t records;
  } sheet_starts[] = {
      {"entry_started Totals 1", 0, 1},
      {"entry_started Folded texts 1", 1, 1},
      {"entry_started every_type 3", 2, 3},
      {"entry_started empty table 0", 3, 0},
      {"entry_started wide 1", 4, 1},
  };
  for (std::size_t i = 0; i < std::size(sheet_starts); ++i) {
    EXPECT_EQ(seen[i].line, sheet_starts[i].call);
    EXPECT_EQ(seen[i].tables_done, sheet_starts[i].done) << seen[i].line;
    EXPECT_EQ(seen[i].record_count, sheet_starts[i].records) << seen[i].line;
    EXPECT_EQ(seen[i].records_done, 0u) << seen[i].line;
  }
  EXPECT_EQ(seen[3].name, L"empty table");
  // Every entry counts as done, the missing table too; between entries the
  // record counters rest at 0.
  EXPECT_EQ(c.table_count.load(), 11);
  EXPECT_EQ(c.tables_done.load(), 13);
  EXPECT_EQ(c.record_count.load(), 0u);
  EXPECT_EQ(c.records_done.load(), 0u);
  EXPECT_EQ(c.get_current_name(), L"gone_table");
  // The tables stay queued behind the queries, for a profile stored afterwards.
  ASSERT_EQ(c.selected_queries.size(), 13u);
  EXPECT_EQ(c.selected_queries[2], (udb_converter::name_text{L"every_type", L""}));
}

TEST(ConversionRun, BlobToTextWritesBlobColumnsAsText)
{
  captured_handler errors;
  sql_admin admin;
  scratch_database db(admin, "_blob");
  db.run("CREATE TABLE blobs (id INT, b BLOB, lb LONGBLOB, tx TEXT)");
  db.run("INSERT INTO blobs VALUES (1, 'blob bytes', 'line\r\nbreak', 'text'), (2, NULL, '', NULL)");
  for (const bool as_text : {false, true}) {
    temp_dir dir;
    connected_converter run(db.wname(), wide(dir.file("blob.xlsx")));
    run.converter.blob_to_text = as_text;
    run.converter();
    EXPECT_TRUE(run.converter.reached_end);
    EXPECT_EQ(run.converter.engine.is_blob_to_text(), as_text);
    const grid rows = {{t("id"), t("b"), t("lb"), t("tx")},
                       {n(1), t(as_text ? "blob bytes" : "<Binary Field>"),
                        t(as_text ? "line\nbreak" : "<Binary Field>"), t("text")},
                       // An empty BLOB is still a value; an empty text writes no cell.
                       {n(2), none, as_text ? none : t("<Binary Field>"), none}};
    EXPECT_EQ(workbook_differences(dir.file("blob.xlsx"), {{"blobs", rows}}), "")
        << "blob_to_text " << as_text;
  }
}

TEST(ConversionRun, FullSheetStopsItsTableWithOneReportAndTheRunGoesOn)
{
  captured_handler errors;
  sql_admin admin;
  scratch_database db(admin, "_limit");
  db.run("CREATE TABLE big (id INT PRIMARY KEY)");
  db.run("INSERT INTO big SELECT seq FROM seq_1_to_8");
  db.run("CREATE TABLE after_big (id INT)");
  db.run("INSERT INTO after_big VALUES (41), (42)");
  temp_dir dir;
  connected_converter run(db.wname(), wide(dir.file("limit.xlsx")));
  qorvant_converter& c = run.converter;
  c.selected_tables = {L"big", L"after_big"};
  c.row_limit = 5;
  std::uint64_t done_at_report = 0;
  errors.front.on_call = [&](const std::string& call) {
    if (call.rfind("report ", 0) == 0)
      done_at_report = c.records_done.load();
  };

  c();

  EXPECT_EQ(errors.front.reports(),
            std::vector<std::string>{
                "report 0 big: The worksheet is full: only the first 5 of 8 records were written "
                "(Excel 2010-2016 holds at most 5 data rows per worksheet)"});
  EXPECT_EQ(done_at_report, 5u);
  EXPECT_TRUE(c.reached_end);
  EXPECT_EQ(workbook_differences(dir.file("limit.xlsx"),
                                 {{"big", {{t("id")}, {n(1)}, {n(2)}, {n(3)}, {n(4)}, {n(5)}}},
                                  {"after_big", {{t("id")}, {n(41)}, {n(42)}}}}),
            "");
}

namespace {

// Takes the DAO engine's class out of the class store while it lives.
class missing_dao_engine {
public:
  explicit missing_dao_engine(bool missing) : missing_(missing)
  {
    if (missing_)
      plat::dao::unregister_class(plat::dao::clsid_dbengine_36);
  }
  ~missing_dao_engine()
  {
    if (missing_)
      plat::dao::register_class(plat::dao::clsid_dbengine_36, plat::dao::create_dbengine);
  }
  missing_dao_engine(const missing_dao_engine&) = delete;
  missing_dao_engine& operator=(const missing_dao_engine&) = delete;

private:
  bool missing_;
};

} // namespace

TEST(ConversionRun, RunsThatCannotGoOnReportOnceKeepTheOldWorkbookAndEndFinished)
{
  sql_admin admin;
  scratch_database db(admin, "_end");
  db.run("CREATE TABLE t (id INT)");
  db.run("INSERT INTO t VALUES (1)");
  const std::string dao_text =
      "Failed to load Data Access Objects (DAO) support library. Microsoft Access installation is "
      "required to proceed with the application. ";
  const struct {
    const char* what;
    std::wstring source;
    std::uint32_t format;
    bool bad_path;
    bool stop;
    std::string report_start;  // the one report's start, if any
    std::vector<int> exits;
  } cases[] = {
      {"unknown database", L"qvt_no_such_database", 2, false, false,
       "report 0 Unknown database 'qvt_no_such_database'", {}},
      {"no DAO engine", db.wname(), 0, false, false, "report 1 " + dao_text, {-1}},
      {"no DAO engine either", db.wname(), 1, false, false, "report 1 " + dao_text, {-1}},
      {"destination cannot be replaced", db.wname(), 2, true, false,
       "report 1 Cannot create the destination file '/proc/version': ", {-1}},
      {"no such format", db.wname(), 7, false, false, "report 2 Internal error: \ncode=", {-1}},
      {"stop asked before the run", db.wname(), 2, false, true, "", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // The .xls cases stand for a machine without the DAO engine.
    const missing_dao_engine missing(c.format < 2);
    captured_handler errors;
    temp_dir dir;
    const std::string old = dir.file("old.xlsx");
    write_file(old, "the previous workbook");
    connected_converter run(c.source, wide(c.bad_path ? "/proc/version" : old));
    run.converter.format_version = c.format;
    run.converter.selected_tables = {L"t"};
    if (c.stop)
      run.converter.request_stop();
    // Left from an earlier report: a new run starts without it.
    errors.handler.set_context(L"earlier, record #9");

    // A report that ends the program reaches the caller of the run.
    EXPECT_EQ(exits_of([&] { run.converter(); }), c.exits);

    EXPECT_TRUE(run.converter.finished.load());
    EXPECT_FALSE(run.converter.reached_end);
    const std::vector<std::string> reports = errors.front.reports();
    if (c.report_start.empty()) {
      EXPECT_TRUE(reports.empty());
    } else {
      ASSERT_EQ(reports.size(), 1u);
      EXPECT_EQ(reports[0].substr(0, c.report_start.size()), c.report_start) << reports[0];
    }
    ASSERT_FALSE(errors.front.calls.empty());
    EXPECT_EQ(errors.front.calls.back(), "run_finished 0");
    // The run failed or stopped before it could write: nothing was deleted.
    if (!c.bad_path) {
      EXPECT_EQ(read_file(old), "the previous workbook");
    }
    // The run's objects are closed; the next run of the process starts clean.
    EXPECT_EQ(errors.handler.get_context(), "");
  }
}

TEST(ConversionRun, AConverterStoppedOnceRunsAgainAfterTheStoppedRunEnds)
{
  captured_handler errors;
  sql_admin admin;
  scratch_database db(admin, "_again");
  db.run("CREATE TABLE t (id INT)");
  db.run("INSERT INTO t VALUES (1), (2)");
  temp_dir dir;
  connected_converter run(db.wname(), wide(dir.file("out.xlsx")));
  run.converter.selected_tables = {L"t"};

  // The wizard's Cancel reaches the converter as its thread functor's stop.
  tk_thread_functor& functor = run.converter;
  functor.request_stop();
  EXPECT_TRUE(run.converter.stopping());
  EXPECT_TRUE(functor.stop_requested());
  run.converter();
  EXPECT_FALSE(run.converter.reached_end);
  EXPECT_FALSE(std::filesystem::exists(dir.file("out.xlsx")));

  // The stop ended with its run: nothing says "stopping" any more, and the next
  // start (connecting again, as the stop shut the source's socket down)
  // converts the whole table.
  EXPECT_FALSE(run.converter.stopping());
  EXPECT_FALSE(functor.stop_requested());
  run.converter.connect_mysql_server();
  run.converter();
  EXPECT_TRUE(run.converter.reached_end);
  EXPECT_EQ(workbook_differences(dir.file("out.xlsx"), {{"t", {{t("id")}, {n(1)}, {n(2)}}}}), "");
  EXPECT_TRUE(errors.front.reports().empty());
}

TEST(ConversionRun, EntryErrorsNameTheirEntryAndAFailedSaveEndsTheRunWithoutThatName)
{
  sql_admin admin;
  scratch_database db(admin, "_save");
  db.run("CREATE TABLE t (id INT)");
  db.run("INSERT INTO t VALUES (1)");
  // .xlsx packs its sheets while they are read, the .xls formats put their
  // staged workbook in place at the end: both fail their last step the same way.
  for (const std::uint32_t format : {2u, 1u, 0u}) {
    SCOPED_TRACE("format " + std::to_string(format));
    captured_handler errors;
    temp_dir dir;
    // A folder where the workbook should go: every entry converts, the save fails.
    const std::string folder = dir.file(format == 2 ? "out.xlsx" : "out.xls");
    std::filesystem::create_directory(folder);
    connected_converter run(db.wname(), wide(folder));
    run.converter.format_version = format;
    run.converter.selected_queries = {{L"bad query", L"SELECT * FROM nowhere"}};
    run.converter.selected_tables = {L"t"};

    EXPECT_EQ(exits_of([&] { run.converter(); }), std::vector<int>{-1});

    const std::vector<std::string>& calls = errors.front.calls;
    ASSERT_EQ(calls.size(), 6u);
    EXPECT_EQ(calls[0], "run_started " + db.name() + " 1");
    EXPECT_EQ(calls[1], "report 0 bad query: Table '" + db.name() + ".nowhere' doesn't exist");
    EXPECT_EQ(calls[2], "entry_started t 1");
    EXPECT_EQ(calls[3], "entry_converted t 1");
    const std::string failed_save = "report 1 Cannot create the destination file '" + folder + "'";
    EXPECT_EQ(calls[4].substr(0, failed_save.size()), failed_save) << calls[4];
    EXPECT_EQ(calls[5], "run_finished 0");
    EXPECT_FALSE(run.converter.reached_end);
    EXPECT_TRUE(run.converter.finished.load());
    // Nothing of the run is left beside the folder in the way.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    EXPECT_TRUE(std::filesystem::is_empty(folder));
  }
}

TEST(ConversionRun, ProfileDrivesAWholeRunAndCountsItsTables)
{
  captured_handler errors;
  sql_admin admin;
  scratch_database db(admin, "_profile");
  db.run("CREATE TABLE t (id INT)");
  db.run("INSERT INTO t VALUES (7)");
  db.run("CREATE TABLE counted (name VARCHAR(5))");
  temp_dir dir;
  const test_server_info& server = test_server();
  const std::string workbook = dir.file("from profile.xlsx");
  write_file(dir.file("p.qvt"), "[Selected Tables]\r\nt=\r\nq=SELECT COUNT(*) AS n FROM t\r\ncounted=\r\n"
                                "[Generic settings]\r\nsrc=" + db.name() + "\r\ndest=" + workbook +
                                    "\r\n[MS Excel settings]\r\nformat version=2\r\n"
                                    "[MySQL settings]\r\nhost=" + server.host + "\r\nuser=" +
                                    server.user + "\r\npassword=" + server.password +
                                    "\r\nport=" + std::to_string(server.port) + "\r\n");
  qorvant_converter converter;
  converter.set_front_end(errors.front);
  ASSERT_TRUE(converter.load_profile(wide(dir.file("p.qvt"))));
  converter.connect_mysql_server();

  converter();

  EXPECT_TRUE(converter.reached_end);
  EXPECT_EQ(errors.front.calls,
            (std::vector<std::string>{"run_started " + db.name() + " 2", "entry_started t 1",
                                      "entry_converted t 1", "entry_started q 1",
                                      "entry_converted q 1", "entry_started counted 0",
                                      "entry_converted counted 0", "run_finished 1"}));
  EXPECT_EQ(converter.table_count.load(), 2);
  EXPECT_EQ(workbook_differences(workbook,
                                 {{"t", {{t("id")}, {n(7)}}},
                                  {"q", {{t("n")}, {n(1)}}},
                                  {"counted", {{t("name")}}}}),
            "");
}

TEST(ConversionRun, AnEntryWithTooManyColumnsAsksWhetherTheRunGoesOn)
{
  sql_admin admin;
  scratch_database db(admin, "_wide");
  std::string wide_table = "CREATE TABLE wide (";
  for (int i = 1; i <= 300; ++i)
    wide_table += (i > 1 ? ", c" : "c") + std::to_string(i) + " INT";
  db.run(wide_table + ")");
  db.run("INSERT INTO wide (c1) VALUES (1)");
  db.run("CREATE TABLE after (id INT)");
  db.run("INSERT INTO after VALUES (2)");
  for (const bool go_on : {true, false}) {
    SCOPED_TRACE(go_on ? "go on" : "stop");
    captured_handler errors;
    errors.front.keep_truncated = go_on;
    temp_dir dir;
    const std::string old = dir.file("old.xls");
    write_file(old, "the previous workbook");
    connected_converter run(db.wname(), wide(old));
    run.converter.format_version = 1;
    run.converter.selected_tables = {L"wide", L"after"};

    run.converter();

    const std::string started = "run_started " + db.name() + " 2";
    const std::vector<std::string> calls =
        go_on ? std::vector<std::string>{started, "columns_truncated wide 255", "entry_started wide 1",
                                         "entry_converted wide 1", "entry_started after 1",
                                         "entry_converted after 1", "run_finished 1"}
              // Stopped there: quietly, and the old workbook stays.
              : std::vector<std::string>{started, "columns_truncated wide 255", "run_finished 0"};
    EXPECT_EQ(errors.front.calls, calls);
    EXPECT_EQ(run.converter.reached_end, go_on);
    EXPECT_EQ(read_file(old) == "the previous workbook", !go_on);
  }
}
