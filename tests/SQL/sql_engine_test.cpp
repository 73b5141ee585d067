// The engine's connection: connecting over TCP and through the local socket, the
// session it prepares, the errors it raises, and the names and versions it reads.
#include "sql_test_support.h"

#include "SQL/sql_engi.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace {

std::string session_value(sql_engine& engine, const char* statement)
{
  MYSQL* handle = engine.get_handle();
  if (mysql_query(handle, statement) != 0)
    return std::string("error: ") + mysql_error(handle);
  std::unique_ptr<MYSQL_RES, decltype(&mysql_free_result)> result(mysql_store_result(handle),
                                                                &mysql_free_result);
  MYSQL_ROW row = mysql_fetch_row(result.get());
  return row != nullptr && row[0] != nullptr ? row[0] : "NULL";
}

// Sets an environment variable for the life of the object.
class scoped_env {
public:
  scoped_env(const char* name, const std::string& value) : name_(name)
  {
    if (const char* old = std::getenv(name)) {
      had_ = true;
      old_ = old;
    }
    ::setenv(name, value.c_str(), 1);
  }
  ~scoped_env()
  {
    if (had_)
      ::setenv(name_, old_.c_str(), 1);
    else
      ::unsetenv(name_);
  }

private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

} // namespace

TEST(SqlEngineVersion, VersionTextsPackAsMajorMinorPatch)
{
  const struct {
    const char* text;
    std::uint32_t packed;
  } cases[] = {
      {"10.11.19-MariaDB-0+deb12u1", 0x0A0B13},
      {"5.5.5-10.11.6-MariaDB", 0x050505},
      {"5.7.30-log", 0x05071E},
      {"8.0.11", 0x08000B},
      {"3.23.44", 0x03172C},
      {"4.1.0", 0x040100},
      {"8.0", 0x080000},
      {"11", 0x0B0000},
  };
  for (const auto& c : cases) {
    std::uint32_t packed = 0;
    EXPECT_TRUE(sql_parse_server_version(c.text, packed)) << c.text;
    EXPECT_EQ(packed, c.packed) << c.text;
  }
  for (const char* text : {"abc", "", "-5.1.2", "MariaDB 10.11"}) {
    std::uint32_t packed = 7;
    EXPECT_FALSE(sql_parse_server_version(text, packed)) << text;
  }
  std::uint32_t packed = 0;
  EXPECT_FALSE(sql_parse_server_version(nullptr, packed));
}

TEST(SqlEngineNames, SafeNameQuotesEveryNameAndDoublesItsBackquotes)
{
  sql_engine engine;
  const std::wstring n64(64, L'n');
  const std::wstring n65 = std::wstring(64, L'n') + L"x";
  const struct {
    std::wstring name;
    std::wstring quoted;
  } cases[] = {
      {L"orders", L"`orders`"},
      // A name that looks quoted is a name with backquotes in it.
      {L"`already`", L"```already```"},
      {L"`a``b`", L"```a````b```"},
      {L"`already", L"```already`"},
      {L"`a`b`", L"```a``b```"},
      {L"`", L"````"},
      {L"`x` WHERE 1=1 --", L"```x`` WHERE 1=1 --`"},
      {L"", L""},
      {n64, L"`" + n64 + L"`"},
      {n65, L"`" + std::wstring(63, L'n') + L"`"},
      {L"a`b", L"`a``b`"},
      {L"x` union select 1 #", L"`x`` union select 1 #`"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(engine.get_safe_name(c.name), c.quoted) << plat::to_utf8(c.name);
}

TEST(SqlEngineConnect, ConnectsOverTcpAndPreparesTheSession)
{
  sql_admin admin;
  auto engine = connected_engine();
  EXPECT_TRUE(engine->is_connected());

  std::uint32_t expected = 0;
  ASSERT_TRUE(sql_parse_server_version(admin.value("SELECT VERSION()").c_str(), expected));
  EXPECT_EQ(engine->get_server_version(), expected);
  EXPECT_FALSE(engine->is_old_version());

  EXPECT_EQ(session_value(*engine, "SELECT @@character_set_client"), "utf8mb4");
  EXPECT_EQ(session_value(*engine, "SELECT @@character_set_results"), "utf8mb4");
  EXPECT_GE(std::stol(session_value(*engine, "SELECT @@session.wait_timeout")), 28800);
  EXPECT_EQ(session_value(*engine, "SELECT @@foreign_key_checks"), "0");
  EXPECT_EQ(session_value(*engine, "SELECT DATABASE()"), "NULL");
}

TEST(SqlEngineConnect, WrongPasswordRaisesTheServersCodeAndText)
{
  const test_server_info& server = test_server();
  sql_engine engine;
  try {
    engine.connect(server.host, server.user, server.password + "-wrong", static_cast<int>(server.port));
    FAIL() << "connected with a wrong password";
  } catch (const sql_exception& e) {
    EXPECT_EQ(e.get_code(), 0x400000u + 1045u);
    EXPECT_EQ(e.get_level(), 0u);
    EXPECT_NE(std::string(e.what()).find("Access denied"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(engine.is_connected());

  // The same engine connects once the password is right.
  engine.connect(server.host, server.user, server.password, static_cast<int>(server.port));
  EXPECT_TRUE(engine.is_connected());
  EXPECT_EQ(session_value(engine, "SELECT 1"), "1");
}

TEST(SqlEngineConnect, UnknownHostAndClosedPortRaiseTheClientLibrarysCode)
{
  const test_server_info& server = test_server();
  const struct {
    std::string host;
    int port;
    unsigned code;
    const char* text;
  } cases[] = {
      {"no-such-host.invalid", 3306, 2005, "no-such-host.invalid"},
      // Port 1 of the loopback address has no server behind it.
      {"127.0.0.1", 1, 2002, "127.0.0.1"},
  };
  for (const auto& c : cases) {
    sql_engine engine;
    try {
      engine.connect(c.host, server.user, server.password, c.port);
      ADD_FAILURE() << "connected to " << c.host;
    } catch (const sql_exception& e) {
      EXPECT_EQ(e.get_code(), 0x400000u + c.code) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.text), std::string::npos) << e.what();
    }
    EXPECT_FALSE(engine.is_connected());
  }
}

TEST(SqlEngineConnect, SecondConnectReplacesTheFirstConnection)
{
  sql_admin admin;
  auto engine = connected_engine();
  const unsigned long first = mysql_thread_id(engine->get_handle());
  const test_server_info& server = test_server();
  engine->connect(server.host, server.user, server.password, static_cast<int>(server.port));
  const unsigned long second = mysql_thread_id(engine->get_handle());
  EXPECT_NE(first, second);
  EXPECT_EQ(session_value(*engine, "SELECT @@foreign_key_checks"), "0");
  // The first connection was closed, not left behind.
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (admin.value("SELECT COUNT(*) FROM information_schema.processlist WHERE id=" +
                    std::to_string(first)) == "0")
      break;
    ::usleep(20000);
  }
  EXPECT_EQ(admin.value("SELECT COUNT(*) FROM information_schema.processlist WHERE id=" +
                        std::to_string(first)),
            "0");
}

TEST(SqlEngineConnect, LocalhostAndEmptyHostGoThroughTheSocketOfTheOptionGroup)
{
  // The engine names its option-file group; a user's ~/.my.cnf can point the
  // group at a socket, as here at the test server's.
  const test_server_info& server = test_server();
  temp_dir home;
  write_file(home.file(".my.cnf"), "[Norvale MySQL Lib]\nsocket=" + server.socket + "\n");
  const scoped_env env("HOME", home.path().string());
  for (const std::string host : {"localhost", ""}) {
    sql_engine engine;
    engine.connect(host, server.user, server.password, 0);
    EXPECT_TRUE(engine.is_connected());
    EXPECT_NE(std::string(mysql_get_host_info(engine.get_handle())).find("socket"), std::string::npos)
        << mysql_get_host_info(engine.get_handle());
    EXPECT_EQ(session_value(engine, "SELECT @@character_set_client"), "utf8mb4");
  }
}

TEST(SqlEngineDatabases, IsDbExistSelectsAnExistingDatabaseOnly)
{
  sql_admin admin;
  scratch_database db(admin);
  auto engine = connected_engine();
  EXPECT_FALSE(engine->is_db_exist(L"qvt_no_such_database"));
  EXPECT_TRUE(engine->is_db_exist(db.wname()));
  EXPECT_EQ(session_value(*engine, "SELECT DATABASE()"), db.name());
}

TEST(SqlEngineDatabases, DatabaseListFollowsTheServersOrder)
{
  sql_admin admin;
  scratch_database db(admin);
  // MariaDB refuses characters beyond U+FFFF in names (error 1300); these are the widest it takes.
  scratch_database accented(admin, "_\xE2\x82\xAC\xC3\xBC\xE4\xB8\xAD");
  auto engine = connected_engine();

  std::vector<std::wstring> expected;
  {
    MYSQL* handle = admin.handle();
    ASSERT_EQ(mysql_query(handle, "SHOW DATABASES"), 0);
    std::unique_ptr<MYSQL_RES, decltype(&mysql_free_result)> result(mysql_store_result(handle),
                                                                  &mysql_free_result);
    while (MYSQL_ROW row = mysql_fetch_row(result.get()))
      expected.push_back(wide(row[0]));
  }
  // Other tests create and drop databases meanwhile: the order is compared over
  // the names both listings hold, and ours must be in it.
  const auto in_both_orders = [&expected, &db, &accented](const std::vector<std::wstring>& listed) {
    std::vector<std::wstring> shared_listed, shared_expected;
    for (const std::wstring& name : listed)
      if (std::find(expected.begin(), expected.end(), name) != expected.end())
        shared_listed.push_back(name);
    for (const std::wstring& name : expected)
      if (std::find(listed.begin(), listed.end(), name) != listed.end())
        shared_expected.push_back(name);
    EXPECT_EQ(shared_listed, shared_expected);
    for (const std::wstring& ours : {wide(db.name()), wide(accented.name())})
      EXPECT_NE(std::find(shared_listed.begin(), shared_listed.end(), ours), shared_listed.end()) << plat::to_utf8(ours);
  };
  in_both_orders(engine->get_contents());

  std::vector<std::wstring> out;
  engine->get_contents(out);
  in_both_orders(out);
}

TEST(SqlEngineDatabases, DatabaseListOfAClosedConnectionIsEmptyAndRaisesNothing)
{
  sql_engine engine;
  EXPECT_TRUE(engine.get_contents().empty());
}

TEST(SqlEngineDatabases, OpeningAnUnknownDatabaseRaisesTheServersError)
{
  auto engine = connected_engine();
  try {
    engine->open_db(L"qvt_no_such_database", 1, L"");
    FAIL() << "opened an unknown database";
  } catch (const sql_exception& e) {
    EXPECT_EQ(e.get_code(), 0x400000u + 1049u);
    EXPECT_NE(std::string(e.what()).find("qvt_no_such_database"), std::string::npos) << e.what();
  }
}

TEST(SqlEngineExceptions, FixedTextExceptionsCarryTheirLevelAndCode)
{
  const sql_auth_not_supported_exception auth;
  EXPECT_EQ(auth.get_level(), 1u);
  EXPECT_EQ(auth.get_code(), 0u);
  EXPECT_STREQ(auth.what(),
               "The program does not support authentication protocol requested by server. See "
               "'Troubleshooting' article of the product documentation.");
  // A prepared statement's failure carries the server's reason when there is one.
  const sql_prep_stmt_failed_exception prep("Duplicate entry '1' for key 'PRIMARY'");
  EXPECT_EQ(prep.get_level(), 1u);
  EXPECT_EQ(prep.get_code(), 0x400BB9u);
  EXPECT_STREQ(prep.what(), "Failed to execute prepared statement: Duplicate entry '1' for key 'PRIMARY'");
  EXPECT_STREQ(sql_prep_stmt_failed_exception("").what(), "Failed to execute prepared statement");
}
