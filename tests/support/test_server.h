// Where the shared MariaDB test server listens. scripts/test-server starts it for
// the whole ctest run and writes its coordinates to the file that the
// QVT_TEST_SERVER_ENV variable names.
#pragma once

#include <string>

struct test_server_info {
  std::string host;
  unsigned port = 0;
  std::string user;
  std::string password;
  std::string socket;
};

// The running server; raises std::runtime_error when none was started, so a test
// that needs it fails instead of passing silently.
const test_server_info& test_server();

// A second server of the test's own, started by scripts/test-server into a
// temporary folder and stopped when the object goes: a test that sets global
// variables or needs two servers takes one, and the shared server stays as
// every other test expects it.
class second_test_server {
public:
  second_test_server();
  ~second_test_server();
  second_test_server(const second_test_server&) = delete;
  second_test_server& operator=(const second_test_server&) = delete;

  const test_server_info& info() const { return info_; }

private:
  std::string state_;
  test_server_info info_;
};
