// The shared test server answers through the MySQL C API on loopback.
#include "support/test_server.h"

#include <gtest/gtest.h>
#include <mysql.h>

#include <memory>
#include <string>

TEST(TestServer, AnswersVersionQueryOverLoopbackTcp)
{
  const test_server_info& server = test_server();
  ASSERT_EQ(server.host, "127.0.0.1");

  std::unique_ptr<MYSQL, decltype(&mysql_close)> connection(mysql_init(nullptr), &mysql_close);
  ASSERT_TRUE(connection);
  unsigned protocol = MYSQL_PROTOCOL_TCP;
  mysql_options(connection.get(), MYSQL_OPT_PROTOCOL, &protocol);
  ASSERT_NE(mysql_real_connect(connection.get(), server.host.c_str(), server.user.c_str(),
                               server.password.c_str(), nullptr, server.port, nullptr, 0),
            nullptr)
    << mysql_error(connection.get());

  ASSERT_EQ(mysql_query(connection.get(), "SELECT VERSION()"), 0) << mysql_error(connection.get());
  std::unique_ptr<MYSQL_RES, decltype(&mysql_free_result)> result(
    mysql_store_result(connection.get()), &mysql_free_result);
  ASSERT_TRUE(result);
  MYSQL_ROW row = mysql_fetch_row(result.get());
  ASSERT_NE(row, nullptr);
  const std::string version = row[0];
  EXPECT_NE(version.find("MariaDB"), std::string::npos) << version;
}
