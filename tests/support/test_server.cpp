#include "support/test_server.h"

#include "support/command_output.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>

namespace {

std::string test_server_script()
{
  return std::string(QVT_TESTS_DIR) + "/../scripts/test-server";
}

test_server_info load(const char* path)
{
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
  static const test_server_info info = [] {
    const char* path = std::getenv("QVT_TEST_SERVER_ENV");
    if (path == nullptr || *path == '\0')
      throw std::runtime_error("QVT_TEST_SERVER_ENV is not set: run the tests through ctest");
    return load(path);
  }();
  return info;
}

second_test_server::second_test_server()
{
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/qvt-second-server.XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("second test server: no state folder");
  state_ = pattern;
  int status = -1;
  const std::string out =
      test_support::command_output("'" + test_server_script() + "' start '" + state_ + "' 2>&1", &status);
  if (status != 0) {
    std::filesystem::remove_all(state_);
    throw std::runtime_error("second test server did not start: " + out);
  }
  info_ = load((state_ + "/env").c_str());
}

second_test_server::~second_test_server()
{
  test_support::command_output("'" + test_server_script() + "' stop '" + state_ + "' 2>&1");
  std::error_code ignored;
  std::filesystem::remove_all(state_, ignored);
}
