// What the MySQL engine's tests share: a second connection of their own (to build
// fixtures and to kill the engine's connection), a scratch database with a unique
// name that is dropped at the end, and an engine connected to the test server.
#pragma once

#include "SQL/sql_db.h"
#include "SQL/sql_engi.h"
#include "support/test_server.h"
#include "support/text.h"

#include <gtest/gtest.h>
#include <mysql.h>

#include <atomic>
#include <memory>
#include <chrono>
#include <string>
#include <thread>
#include <unistd.h>

// A plain client connection to the test server over loopback TCP.
class sql_admin {
public:
  sql_admin() : sql_admin(test_server()) {}
  explicit sql_admin(const test_server_info& server) : handle_(mysql_init(nullptr), &mysql_close)
  {
    unsigned protocol = MYSQL_PROTOCOL_TCP;
    mysql_options(handle_.get(), MYSQL_OPT_PROTOCOL, &protocol);
    if (mysql_real_connect(handle_.get(), server.host.c_str(), server.user.c_str(),
                           server.password.c_str(), nullptr, server.port, nullptr, 0) == nullptr)
      throw std::runtime_error(std::string("admin connection: ") + mysql_error(handle_.get()));
    run("SET NAMES utf8mb4");
  }

  // Runs one statement and drops any rows it returns.
  void run(const std::string& statement)
  {
    if (mysql_real_query(handle_.get(), statement.data(), statement.size()) != 0)
      throw std::runtime_error(statement.substr(0, 200) + ": " + mysql_error(handle_.get()));
    mysql_free_result(mysql_store_result(handle_.get()));
  }

  // The first column of the first row, "NULL" for SQL NULL.
  std::string value(const std::string& statement)
  {
    if (mysql_real_query(handle_.get(), statement.data(), statement.size()) != 0)
      throw std::runtime_error(statement + ": " + mysql_error(handle_.get()));
    std::unique_ptr<MYSQL_RES, decltype(&mysql_free_result)> result(mysql_store_result(handle_.get()),
                                                                  &mysql_free_result);
    MYSQL_ROW row = result ? mysql_fetch_row(result.get()) : nullptr;
    if (row == nullptr)
      throw std::runtime_error(statement + ": no row");
    return row[0] != nullptr ? row[0] : "NULL";
  }

  MYSQL* handle() { return handle_.get(); }

private:
  std::unique_ptr<MYSQL, decltype(&mysql_close)> handle_;
};

// A database of its own for one test, dropped when the test ends.
class scratch_database {
public:
  explicit scratch_database(sql_admin& admin, const std::string& suffix = "") : admin_(admin)
  {
    static std::atomic<int> counter{0};
    name_ = "qvt_sql_" + std::to_string(::getpid()) + "_" + std::to_string(++counter) + suffix;
    admin_.run("DROP DATABASE IF EXISTS " + quoted());
    admin_.run("CREATE DATABASE " + quoted() + " CHARACTER SET utf8mb4");
  }
  ~scratch_database()
  {
    try {
      admin_.run("DROP DATABASE IF EXISTS " + quoted());
    } catch (...) {
    }
  }
  scratch_database(const scratch_database&) = delete;
  scratch_database& operator=(const scratch_database&) = delete;

  const std::string& name() const { return name_; }
  std::wstring wname() const { return std::wstring(name_.begin(), name_.end()); }  // ASCII
  std::string quoted() const
  {
    std::string q = "`";
    for (char c : name_) {
      if (c == '`')
        q += '`';
      q += c;
    }
    return q + "`";
  }
  // Runs a statement with this database as the current one.
  void run(const std::string& statement)
  {
    admin_.run("USE " + quoted());
    admin_.run(statement);
  }

private:
  sql_admin& admin_;
  std::string name_;
};

// Kills, from a connection of its own, the first session that the server's
// process list shows under `condition` (a WHERE clause over its columns), as a
// lost server would end it; gives up after about half a minute. `armed` false
// makes it do nothing, so that a table of cases may lose the server in some
// rows only.
class session_killer {
public:
  explicit session_killer(const std::string& condition, bool armed = true)
  {
    if (!armed)
      return;
    thread_ = std::thread([condition] {
      sql_admin watcher;
      for (int attempt = 0; attempt < 6000; ++attempt) {
        // The process list read while sessions come and go may fail: look again.
        std::string id = "0";
        try {
          id = watcher.value("SELECT COALESCE(MAX(id), 0) FROM information_schema.processlist WHERE (" +
                             condition + ") AND id <> CONNECTION_ID()");
        } catch (const std::runtime_error&) {
        }
        if (id != "0") {
          watcher.run("KILL " + id);
          return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    });
  }
  ~session_killer() { join(); }
  session_killer(const session_killer&) = delete;
  session_killer& operator=(const session_killer&) = delete;

  void join()
  {
    if (thread_.joinable())
      thread_.join();
  }

private:
  std::thread thread_;
};

// An engine connected to the test server over loopback TCP (a sql_write_engine
// for the tests of the writing side).
template <class Engine = sql_engine>
std::unique_ptr<Engine> connected_engine(const test_server_info& server = test_server())
{
  auto engine = std::make_unique<Engine>();
  engine->connect(server.host, server.user, server.password, static_cast<int>(server.port));
  return engine;
}

