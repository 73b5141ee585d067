// How the source server shapes a run of qvtbatch: a connection lost in the middle
// ends the run, a query that fails part-way keeps the rows before its error,
// tables whose names differ only in case each give their own rows under titles
// no reader holds equal, and the local server is reached by its port or
// reported in the program's words.
#include "qvtbatch_test_support.h"
#include "support/libreoffice_profile.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace qvtbatch_test;

namespace {

std::vector<std::string> login_options()
{
  const test_server_info& server = test_server();
  return {"--user=" + server.user, "--pswd=" + server.password};
}

std::string count_lines(const std::string& text)
{
  return std::to_string(std::count(text.begin(), text.end(), '\n'));
}

} // namespace

TEST_F(QvtbatchTest, LostConnectionEndsTheRunWithOneReportAnd255AndWritesNoWorkbook)
{
  sql_admin admin;
  scratch_database db(admin, "_lost");
  db.run("CREATE TABLE a_first (id INT)");
  db.run("INSERT INTO a_first VALUES (1)");
  db.run("CREATE TABLE big (id INT PRIMARY KEY, pad CHAR(200))");
  db.run("INSERT INTO big SELECT seq, REPEAT('y', 200) FROM seq_1_to_200000");
  db.run("CREATE TABLE z_last (id INT)");
  db.run("INSERT INTO z_last VALUES (2)");

  for (const std::string format : {"2", "1", "0"}) {
    SCOPED_TRACE("--xls_ver=" + format);
    const std::string destination = format == "2" ? "out.xlsx" : "out.xls";
    write_file(file(destination), "previous workbook");
    // An earlier split run's numbered workbook: the lost run's rows past the
    // sheet's last row never take its place.
    write_file(file("out(1).xls"), "earlier numbered workbook");

    // A second connection kills the program's as soon as it streams the big table.
    session_killer killer("db='" + db.name() + "' AND info = 'SELECT * FROM `big`'");
    const run_result r = run(server_options() + std::vector<std::string>{"--src=" + db.name(), "--xls_ver=" + format,
                                                                         "--split", "--dest=out"});
    killer.join();

    EXPECT_EQ(r.code, 255) << r;
    // The entries before it converted, the last one is not attempted, and the
    // loss is told once, with the client library's words in brackets.
    const std::string start = "Converting database " + db.name() + "(3 tables)\n"
                              "Converting table a_first (1 records)\n"
                              "Converting table big (200000 records)\n"
                              "Error:\nbig: The connection to the MySQL server was lost (";
    const std::string end = "). Nothing more can be read from it.\n";
    EXPECT_EQ(r.out.substr(0, start.size()), start) << r;
    ASSERT_GE(r.out.size(), end.size()) << r;
    EXPECT_EQ(r.out.substr(r.out.size() - end.size()), end) << r;
    EXPECT_EQ(count_lines(r.out), "5") << r;
    EXPECT_EQ(r.err, "");
    // No workbook of this run: the old files are untouched, and nothing of the
    // run is left beside them.
    EXPECT_EQ(read_file(file(destination)), "previous workbook");
    EXPECT_EQ(read_file(file("out(1).xls")), "earlier numbered workbook");
    EXPECT_EQ(entry_names(dir()), (std::vector<std::string>{"out(1).xls", destination}));
    std::filesystem::remove(file(destination));
    std::filesystem::remove(file("out(1).xls"));
  }
}

TEST_F(QvtbatchTest, ConnectionLostWhileTheServerEvaluatesAQueryEndsTheRunWith255InEveryFormat)
{
  sql_admin admin;
  scratch_database db(admin, "_lost_query");
  for (const std::string format : {"2", "1", "0"}) {
    SCOPED_TRACE("--xls_ver=" + format);
    const std::string tag = "lost_" + db.name() + "_" + format;
    write_file(file("slow.qvt"), server_profile(db.name(), "slow=SELECT SLEEP(60) AS pause, '" + tag + "' AS tag\r\n"));
    const std::string destination = format == "2" ? "out.xlsx" : "out.xls";
    write_file(file(destination), "previous workbook");
    // A second connection kills the program's once the server evaluates the query.
    session_killer killer("info LIKE '%" + tag + "%'");
    const run_result r = run({"--profile=slow.qvt", "--xls_ver=" + format, "--dest=out"});
    killer.join();
    EXPECT_EQ(r.code, 255) << r;
    const std::string start = "Converting database " + db.name() + "(0 tables)\n"
                              "Error:\nslow: The connection to the MySQL server was lost (";
    EXPECT_EQ(r.out.substr(0, start.size()), start) << r;
    EXPECT_EQ(count_lines(r.out), "3") << r;
    EXPECT_EQ(read_file(file(destination)), "previous workbook");
    std::filesystem::remove(file(destination));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir()), {}), 1) << "nothing but the profile is left";
  }
}

TEST_F(QvtbatchTest, QueryFailingPartWayKeepsItsRowsAndTheRunGoesOn)
{
  sql_admin admin;
  scratch_database db(admin, "_rows");
  db.run("CREATE TABLE t (id INT PRIMARY KEY)");
  db.run("INSERT INTO t SELECT seq FROM seq_1_to_10000");
  db.run("CREATE TABLE after (id INT)");
  db.run("INSERT INTO after VALUES (42)");
  const test_server_info& server = test_server();
  // The server raises at row 5,000, a runtime error of one row's expression.
  write_file(file("run.qvt"), "[Generic settings]\r\nsrc=" + db.name() + "\r\ndest=out.xlsx\r\n"
                              "[MS Excel settings]\r\nformat version=2\r\n"
                              "[MySQL settings]\r\nhost=" + server.host + "\r\nport=" +
                              std::to_string(server.port) + "\r\nuser=" + server.user +
                              "\r\npassword=" + server.password + "\r\n"
                              "[Selected Tables]\r\n"
                              "failing=SELECT id, IF(id=5000, (SELECT 1 UNION SELECT 2), id) AS v "
                              "FROM t ORDER BY id\r\n"
                              "after=\r\n");
  const run_result r = run({"--profile=run.qvt"});

  ASSERT_EQ(r.code, 0) << r;
  EXPECT_EQ(r.out, "Converting database " + db.name() + "(1 tables)\n"
                   "Converting table failing (10000 records)\n"
                   "Error:\nfailing: Subquery returns more than 1 row\n"
                   "Converting table after (1 records)\n");
  EXPECT_EQ(r.err, "");
  grid failing = {{"id", "v"}};
  for (int id = 1; id < 5000; ++id)
    failing.push_back({double(id), double(id)});
  EXPECT_EQ(workbook_differences(file("out.xlsx"), {{"failing", failing}, {"after", {{"id"}, {42.0}}}}), "");
}

TEST_F(QvtbatchTest, AQueryIsEvaluatedOnceToCountItAndOnceToReadIt)
{
  sql_admin admin;
  scratch_database db(admin, "_evaluations");
  // The server's own statement log, as a table, while the runs last.
  struct statement_log {
    explicit statement_log(sql_admin& a) : admin(a), output(a.value("SELECT @@GLOBAL.log_output"))
    {
      admin.run("SET GLOBAL log_output = 'TABLE'");
      admin.run("SET GLOBAL general_log = ON");
    }
    ~statement_log()
    {
      admin.run("SET GLOBAL general_log = OFF");
      admin.run("SET GLOBAL log_output = '" + output + "'");
    }
    sql_admin& admin;
    std::string output;
  };
  for (const std::string format : {"2", "1", "0"}) {
    SCOPED_TRACE("--xls_ver=" + format);
    // A report that waits on the server: each evaluation costs its SLEEP.
    const std::string tag = "evaluated_" + db.name() + "_" + format;
    write_file(file("slow.qvt"), server_profile(db.name(), "slow=SELECT SLEEP(0.2) AS pause, '" + tag + "' AS tag\r\n"));
    run_result r;
    {
      const statement_log log(admin);
      r = run({"--profile=slow.qvt", "--xls_ver=" + format, "--dest=out"});
    }
    ASSERT_EQ(r.code, 0) << r;
    EXPECT_EQ(r.out.find("Error:"), std::string::npos) << r;
    // Prepared statements describe the query; only these two evaluate it.
    EXPECT_EQ(admin.value("SELECT COUNT(*) FROM mysql.general_log WHERE command_type IN ('Query', 'Execute') "
                          "AND argument LIKE '%" + tag + "%'"),
              "2");
  }
  admin.run("TRUNCATE TABLE mysql.general_log");
}

TEST_F(QvtbatchTest, TablesWhoseNamesDifferOnlyInCaseEachGiveTheirOwnRows)
{
  sql_admin admin;
  ASSERT_EQ(admin.value("SELECT @@lower_case_table_names"), "0") << "the server folds table names";
  scratch_database db(admin, "_case");
  for (const std::string name : {"Orders", "orders", "ORDERS"}) {
    db.run("CREATE TABLE `" + name + "` (v VARCHAR(10))");
    db.run("INSERT INTO `" + name + "` VALUES ('" + name + "'), ('" + name + "')");
  }
  const run_result r =
      run(server_options() + std::vector<std::string>{"--src=" + db.name(), "--xls_ver=2", "--dest=out.xlsx"});
  ASSERT_EQ(r.code, 0) << r;
  EXPECT_EQ(r.err, "");
  // The server lists ORDERS, Orders, orders; sheet titles are unique ignoring
  // case, so the later twins get generated titles.
  EXPECT_EQ(workbook_differences(file("out.xlsx"),
                                 {{"ORDERS", {{"v"}, {"ORDERS"}, {"ORDERS"}}},
                                  {"orders00000", {{"v"}, {"Orders"}, {"Orders"}}},
                                  {"orders00001", {{"v"}, {"orders"}, {"orders"}}}}),
            "");
}

// Each sheet as "title: first data cell", one a line, as openpyxl (.xlsx) or
// xlrd (.xls) reads the workbook.
std::string sheets_with_first_cell(const std::string& workbook)
{
  const std::string script =
      "import sys\n"
      "p = sys.argv[1]\n"
      "if p.endswith('.xlsx'):\n"
      "    import openpyxl\n"
      "    for s in openpyxl.load_workbook(p).worksheets: print('%s: %s' % (s.title, s['A2'].value))\n"
      "else:\n"
      "    import xlrd\n"
      "    for s in xlrd.open_workbook(p).sheets(): print('%s: %s' % (s.name, s.cell_value(1, 0)))\n";
  int status = 0;
  std::string out = workbook_check::command_output(
      "/usr/bin/python3 -c \"" + script + "\" '" + workbook + "' 2>&1", &status);
  return status == 0 ? out : "reader failed: " + out;
}

TEST_F(QvtbatchTest, TablesWhoseNamesAReaderHoldsEqualGetTitlesEveryReaderKeepsApart)
{
  sql_admin admin;
  ASSERT_EQ(admin.value("SELECT @@lower_case_table_names"), "0") << "the server folds table names";
  scratch_database db(admin, "_fold");
  // Upper case joins the first pairs (ı is I's lower case in Turkish), full case
  // folding the others (ß is ss, the ligature ﬁ is f and i).
  for (const std::string name : {"Sat\xC4\xB1\xC5\x9F", "SATI\xC5\x9E", "\xC4\xB1", "I", "Stra\xC3\x9F" "e",
                                 "STRASSE", "\xEF\xAC\x81", "fi"}) {
    db.run("CREATE TABLE `" + name + "` (v VARCHAR(10))");
    db.run("INSERT INTO `" + name + "` VALUES ('" + name + "')");
  }
  // The server lists the tables in the order of their bytes; a title a
  // reader holds equal to an earlier one is generated instead. Excel 5.0's
  // code page has no ı, Ş or ﬁ: those titles are first made of what it has.
  const std::string unicode_titles = "I: I\n"
                                     "SATI\xC5\x9E: SATI\xC5\x9E\n"
                                     "STRASSE: STRASSE\n"
                                     "sat\xC4\xB1\xC5\x9F" "00000: Sat\xC4\xB1\xC5\x9F\n"
                                     "stra\xC3\x9F" "e00000: Stra\xC3\x9F" "e\n"
                                     "fi: fi\n"
                                     "\xC4\xB1" "00000: \xC4\xB1\n"
                                     "\xEF\xAC\x81" "00000: \xEF\xAC\x81\n";
  const std::string code_page_titles = "I: I\nSATI_: SATI?\nSTRASSE: STRASSE\nsat__00000: Sat??\n"
                                       "stra\xC3\x9F" "e00000: Stra\xC3\x9F" "e\n"
                                       "fi: fi\n_00000: ?\n_00000~1: ?\n";
  std::vector<std::string> workbooks;
  for (const std::string format : {"0", "1", "2"}) {
    const std::string workbook = "out" + format + (format == "2" ? ".xlsx" : ".xls");
    const run_result r =
        run(server_options() + std::vector<std::string>{"--src=" + db.name(), "--xls_ver=" + format, "--dest=" + workbook});
    ASSERT_EQ(r.code, 0) << r;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(sheets_with_first_cell(file(workbook)), format == "0" ? code_page_titles : unicode_titles) << workbook;
    workbooks.push_back(workbook);
  }
  // LibreOffice renames a sheet whose title it holds equal to an earlier one;
  // the workbooks it saves again keep every title.
  int status = 0;
  workbook_check::command_output("cd '" + dir() + "' && soffice -env:UserInstallation=" +
                                     test_support::libreoffice_profile(dir()) +
                                     " --headless --convert-to xlsx --outdir lo " + workbooks[0] + " " +
                                     workbooks[1] + " " + workbooks[2] + " >/dev/null 2>&1",
                                 &status);
  for (const std::string workbook : {"out0", "out1", "out2"})
    EXPECT_EQ(sheets_with_first_cell(file("lo/" + workbook + ".xlsx")),
              workbook == "out0" ? code_page_titles : unicode_titles)
        << "LibreOffice, " << workbook;
}

TEST_F(QvtbatchTest, PortWithoutHostReachesTheLocalServerOverTcp)
{
  cli_database db;
  const std::string port = "--port=" + std::to_string(test_server().port);
  const run_result r = run(std::vector<std::string>{port} + login_options() +
                           std::vector<std::string>{"--src=" + db.name(), "--xls_ver=2", "--dest=out.xlsx"});
  ASSERT_EQ(r.code, 0) << r;
  EXPECT_EQ(workbook_differences(file("out.xlsx"),
                                 {cli_database::spaced_sheet(), cli_database::orders_sheet(),
                                  cli_database::people_sheet(false), cli_database::unicode_sheet()}),
            "");
}

TEST_F(QvtbatchTest, UnreachableLocalServerIsReportedInTheProgramsWords)
{
  const std::string closed = "--port=" + std::to_string(closed_port());
  // The local socket comes from the option group in the user's ~/.my.cnf.
  write_file(file(".my.cnf"), "[Norvale MySQL Lib]\nsocket=" + file("no/such.sock") + "\n");
  const struct {
    const char* what;
    std::vector<std::string> connection;
  } cases[] = {
      {"refused TCP connection", {"--host=127.0.0.1", closed}},
      {"refused TCP connection to the local server", {closed}},
      {"missing local socket", {"--port=3306"}},
      {"missing local socket, no port", {}},
  };
  for (const auto& c : cases) {
    write_file(file("out.xlsx"), "previous workbook");
    const run_result r = run(c.connection + login_options() +
                                 std::vector<std::string>{"--src=shop", "--xls_ver=2", "--dest=out.xlsx"},
                             false, {"HOME=" + dir()});
    EXPECT_EQ(r.code, 255) << c.what << "\n" << r;
    EXPECT_EQ(r.out, "Error:\nCannot connect to the MySQL server. Check to verify that MySQL server "
                     "is launched and the correct host/port values were given.\n")
        << c.what;
    EXPECT_EQ(read_file(file("out.xlsx")), "previous workbook") << c.what;
  }
}
