// What the database benches share: the test server's coordinates, a database of
// their own on an admin connection, and the process's memory figures.
// Header only; every bench is one program of its own.
#pragma once

#include <mysql.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>

namespace bench {

// host=, port=, user=, password= lines of the file named by QVT_TEST_SERVER_ENV.
inline std::map<std::string, std::string> server_coordinates()
{
  const char* path = std::getenv("QVT_TEST_SERVER_ENV");
  if (path == nullptr)
    throw std::runtime_error("set QVT_TEST_SERVER_ENV to the env file of scripts/test-server");
  std::ifstream in(path);
  std::map<std::string, std::string> values;
  for (std::string line; std::getline(in, line);)
    if (const auto eq = line.find('='); eq != std::string::npos)
      values[line.substr(0, eq)] = line.substr(eq + 1);
  if (values["host"].empty())
    throw std::runtime_error(std::string("no coordinates in ") + path);
  return values;
}

// An admin connection over TCP and a database of the bench's own: created and
// made current with it, dropped (and the connection closed) when it goes.
class scratch_database {
public:
  scratch_database(std::map<std::string, std::string>& coordinates, std::string name)
      : admin_(mysql_init(nullptr)), name_(std::move(name))
  {
    unsigned protocol = MYSQL_PROTOCOL_TCP;
    mysql_options(admin_, MYSQL_OPT_PROTOCOL, &protocol);
    if (mysql_real_connect(admin_, coordinates["host"].c_str(), coordinates["user"].c_str(),
                           coordinates["password"].c_str(), nullptr,
                           static_cast<unsigned>(std::stoul(coordinates["port"])), nullptr, 0) == nullptr) {
      const std::string reason = std::string("admin connection: ") + mysql_error(admin_);
      mysql_close(admin_);
      throw std::runtime_error(reason);
    }
    try {
      run("CREATE DATABASE `" + name_ + "` CHARACTER SET utf8mb4");
      run("USE `" + name_ + "`");
    } catch (...) {
      mysql_close(admin_);
      throw;
    }
  }
  scratch_database(const scratch_database&) = delete;
  scratch_database& operator=(const scratch_database&) = delete;
  ~scratch_database()
  {
    try {
      run("DROP DATABASE IF EXISTS `" + name_ + "`");
    } catch (const std::exception& e) {
      std::fprintf(stderr, "cleanup: %s\n", e.what());
    }
    mysql_close(admin_);
  }

  const std::string& name() const { return name_; }
  std::wstring wide_name() const { return std::wstring(name_.begin(), name_.end()); }

  // One column of the first row of the statement's result ("NULL" for SQL NULL).
  std::string value(const std::string& statement, unsigned column)
  {
    if (mysql_real_query(admin_, statement.data(), statement.size()) != 0)
      throw std::runtime_error(statement.substr(0, 200) + ": " + mysql_error(admin_));
    MYSQL_RES* result = mysql_store_result(admin_);
    MYSQL_ROW row = result != nullptr ? mysql_fetch_row(result) : nullptr;
    std::string text = row == nullptr ? throw std::runtime_error(statement + ": no row")
                       : row[column] != nullptr ? row[column] : "NULL";
    mysql_free_result(result);
    return text;
  }

  void run(const std::string& statement)
  {
    if (mysql_real_query(admin_, statement.data(), statement.size()) != 0)
      throw std::runtime_error(statement.substr(0, 200) + ": " + mysql_error(admin_));
    mysql_free_result(mysql_store_result(admin_));
  }

private:
  MYSQL* admin_;
  std::string name_;
};

// A line of /proc/self/status in KiB: VmRSS now, VmHWM the peak so far.
inline long status_kib(const char* key)
{
  std::ifstream status("/proc/self/status");
  const std::string prefix = std::string(key) + ":";
  for (std::string line; std::getline(status, line);)
    if (line.rfind(prefix, 0) == 0)
      return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
  return -1;
}

} // namespace bench
