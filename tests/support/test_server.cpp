#include "support/test_server.h"

#include <cstdlib>
#include <fstream>
#include <map>
#include <stdexcept>

namespace {

test_server_info load()
{
  const char* path = std::getenv("QVT_TEST_SERVER_ENV");
  if (path == nullptr || *path == '\0')
    throw std::runtime_error("QVT_TEST_SERVER_ENV is not set: run the tests through ctest");
  std::ifstream in(path);
  if (!in)
    throw std::runtime_error(std::string("no test server: cannot read ") + path);
  std::map<std::string, std::string> values;
  for (std::string line; std::getline(in, line);) {
    const auto eq = line.find('=');
    if (eq != std::string::npos)
      values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  test_server_info info;
  info.host = values["host"];
  info.port = static_cast<unsigned>(std::stoul(values.at("port")));
  info.user = values["user"];
  info.password = values["password"];
  info.socket = values["socket"];
  return info;
}

} // namespace

const test_server_info& test_server()
{
  static const test_server_info info = load();
  return info;
}
