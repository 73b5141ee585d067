// The quick launch as the user starts it: `qorvant <profile>` converts the
// profile's tables at once and ends on Finish; a profile that is missing or does
// not load, or a server that refuses the profile's login, is reported, converts
// nothing, deletes nothing, and the program ends with 0 without its wizard.
// The test driver with QVT_GUI_AUTO=1 answers its own boxes and Finish.
#include "wizard_run_support.h"

#include "platform/child_process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace wizard_run_test;

namespace {

// The program's last settings: a destination that exists, and "Open on exit"
// off so that no run of these tests hands a file to the desktop.
void store_last_settings(const std::string& destination)
{
  qorvant_converter last(qvt_program::gui);
  last.destination = wide(destination);
  last.open_on_exit = false;
}

plat::child_result run_qorvant(const std::vector<std::string>& args, const std::string& folder)
{
  ::setenv("QVT_GUI_AUTO", "1", 1);
  plat::child_result result = plat::run_program(QORVANT_TEST_DRIVER_PATH, args, folder);
  ::unsetenv("QVT_GUI_AUTO");
  return result;
}

TEST(QuickLaunch, AProfileOnTheCommandLineConvertsItsTablesAtOnce)
{
  sql_admin admin;
  scratch_database db(admin, "_quick");
  db.run("CREATE TABLE t1 (id INT, name VARCHAR(10))");
  db.run("INSERT INTO t1 VALUES (1, 'one'), (2, 'two')");
  db.run("CREATE TABLE t2 (x DOUBLE)");
  db.run("INSERT INTO t2 VALUES (0.5)");
  db.run("CREATE TABLE t3 (unused INT)");
  temp_dir dir;
  const std::string book = dir.file("shop.xlsx");
  write_file(book, "the previous workbook");
  store_last_settings(book);
  const std::string profile = dir.file("my shop.qvt");
  {
    const test_server_info& server = test_server();
    qorvant_converter settings(qvt_program::console);
    settings.store_mysql_settings(server.host, server.user, server.password, std::to_string(server.port));
    settings.source = wide(db.name());
    settings.destination = wide(book);
    settings.format_version = xls_format_excel_2010;
    settings.selected_queries = {{L"t1", L""}, {L"t2", L""}};
    ASSERT_TRUE(settings.store_profile(wide(profile)));
  }
  // A path with a blank arrives as two arguments.
  const plat::child_result result = run_qorvant({dir.file("my"), "shop.qvt"}, dir.path().string());
  ASSERT_TRUE(result.started);
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exit_code, wizard_shell::result_finish) << result.error_output;
  EXPECT_EQ(workbook_check::workbook_differences(
                book, {{"t1", {{"id", "name"}, {1.0, "one"}, {2.0, "two"}}}, {"t2", {{"x"}, {0.5}}}}),
            "");
}

TEST(QuickLaunch, AProfileThatCannotBeUsedConvertsAndDeletesNothing)
{
  sql_admin admin;
  scratch_database db(admin, "_refused");
  db.run("CREATE TABLE t (id INT)");
  temp_dir dir;
  const std::string book = dir.file("last.xlsx");
  const test_server_info& server = test_server();
  const std::string broken = dir.file("broken.qvt");
  write_file(broken, "a line before any section\n[MySQL settings]\nhost=127.0.0.1\n");
  const std::string refused = dir.file("refused.qvt");
  {
    qorvant_converter settings(qvt_program::console);
    settings.store_mysql_settings(server.host, server.user, "not the password", std::to_string(server.port));
    settings.source = wide(db.name());
    settings.destination = wide(book);
    settings.format_version = xls_format_excel_2010;
    settings.selected_queries = {{L"t", L""}};
    ASSERT_TRUE(settings.store_profile(wide(refused)));
  }
  const std::string folder_destination = dir.file("folder.qvt");
  {
    qorvant_converter settings(qvt_program::console);
    settings.store_mysql_settings(server.host, server.user, server.password, std::to_string(server.port));
    settings.source = wide(db.name());
    settings.destination = wide(dir.path().string() + "/");
    settings.format_version = xls_format_excel_2010;
    settings.selected_queries = {{L"t", L""}};
    ASSERT_TRUE(settings.store_profile(wide(folder_destination)));
  }
  const struct {
    const char* what;
    std::string profile;
    std::string message;
  } cases[] = {
      {"a folder as destination", folder_destination, "Destination name should specify a file, not folder."},
      {"missing", dir.file("no such.qvt"), "Profile does not exist. Please verify the correct path/name was given."},
      {"broken", broken, "Profile '" + broken + "' could not be loaded."},
      {"refused login", refused,
       "Access denied. Verify the user name and password are correct, and you have the necessary privileges "
       "to connect to the target MySQL server."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    write_file(book, "the previous workbook");
    store_last_settings(book);
    const plat::child_result result = run_qorvant({c.profile}, dir.path().string());
    ASSERT_TRUE(result.started);
    EXPECT_EQ(result.signal, 0);
    // Finish was never there to press: the wizard did not show.
    EXPECT_EQ(result.exit_code, 0) << result.error_output;
    EXPECT_NE(result.error_output.find(c.message), std::string::npos) << result.error_output;
    EXPECT_EQ(read_file(book), "the previous workbook");
  }
}

} // namespace
