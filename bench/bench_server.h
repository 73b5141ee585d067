// What the database benches share: the test server's coordinates, an admin
// connection over TCP, plain statements on it, and the process's memory figures.
// Header only; every bench is one program of its own.
#pragma once

#include <mysql.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>

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

// A connected handle, or null after saying why on stderr; the caller closes it.
inline MYSQL* connect_admin(std::map<std::string, std::string>& coordinates)
{
  MYSQL* admin = mysql_init(nullptr);
  unsigned protocol = MYSQL_PROTOCOL_TCP;
  mysql_options(admin, MYSQL_OPT_PROTOCOL, &protocol);
  if (mysql_real_connect(admin, coordinates["host"].c_str(), coordinates["user"].c_str(),
                         coordinates["password"].c_str(), nullptr,
                         static_cast<unsigned>(std::stoul(coordinates["port"])), nullptr, 0) == nullptr) {
    std::fprintf(stderr, "admin connection: %s\n", mysql_error(admin));
    mysql_close(admin);
    return nullptr;
  }
  return admin;
}

inline void run(MYSQL* admin, const std::string& statement)
{
  if (mysql_real_query(admin, statement.data(), statement.size()) != 0)
    throw std::runtime_error(statement.substr(0, 200) + ": " + mysql_error(admin));
  mysql_free_result(mysql_store_result(admin));
}

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
