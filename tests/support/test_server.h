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
