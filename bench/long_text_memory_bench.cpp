// Reads a table of very long texts through the engine the way a conversion to
// .xlsx reads its source, and reports the peak resident memory: with the
// destination's text limit set, a page of 256 rows holds only the cut texts, and
// the client library holds one row at a time, whatever the size of a cell.
//
//   long_text_memory_bench [rows] [MiB per text] [text limit]   (256 16 32766; limit 0: none)
// The server's coordinates come from the file named by QVT_TEST_SERVER_ENV
// (host=, port=, user=, password= lines), as scripts/test-server writes it.
#include "SQL/sql_db.h"
#include "SQL/sql_engi.h"
#include "UDB/udb_field.h"
#include "UDB/udb_recs.h"

#include <mysql.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace {

std::map<std::string, std::string> server_coordinates()
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

// A line of /proc/self/status in KiB: VmRSS now, VmHWM the peak so far.
long status_kib(const char* key)
{
  std::ifstream status("/proc/self/status");
  const std::string prefix = std::string(key) + ":";
  for (std::string line; std::getline(status, line);)
    if (line.rfind(prefix, 0) == 0)
      return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
  return -1;
}

void run(MYSQL* admin, const std::string& statement)
{
  if (mysql_real_query(admin, statement.data(), statement.size()) != 0)
    throw std::runtime_error(statement.substr(0, 200) + ": " + mysql_error(admin));
  mysql_free_result(mysql_store_result(admin));
}

} // namespace

int main(int argc, char** argv)
{
  const long rows = argc > 1 ? std::atol(argv[1]) : 256;
  const long mib = argc > 2 ? std::atol(argv[2]) : 16;
  const unsigned long limit = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 32766;
  auto coordinates = server_coordinates();
  const std::string database = "qvt_bench_long_" + std::to_string(::getpid());

  MYSQL* admin = mysql_init(nullptr);
  unsigned protocol = MYSQL_PROTOCOL_TCP;
  mysql_options(admin, MYSQL_OPT_PROTOCOL, &protocol);
  if (mysql_real_connect(admin, coordinates["host"].c_str(), coordinates["user"].c_str(),
                         coordinates["password"].c_str(), nullptr,
                         static_cast<unsigned>(std::stoul(coordinates["port"])), nullptr, 0) == nullptr) {
    std::fprintf(stderr, "admin connection: %s\n", mysql_error(admin));
    return 1;
  }
  int status = 0;
  try {
    // A row of 16 MiB is more than the server's default packet; connections made
    // afterwards (the engine's) see the new value.
    run(admin, "SET GLOBAL max_allowed_packet = " + std::to_string((mib + 48) << 20));
    run(admin, "CREATE DATABASE `" + database + "` CHARACTER SET utf8mb4");
    run(admin, "USE `" + database + "`");
    run(admin, "CREATE TABLE long_texts (id INT PRIMARY KEY, body LONGTEXT)");
    const auto fill_start = std::chrono::steady_clock::now();
    // 16 bytes a piece, line ends in CR LF as many exported texts have them.
    const std::string pieces = std::to_string(mib << 16);
    for (long id = 1; id <= rows; ++id)
      run(admin, "INSERT INTO long_texts VALUES (" + std::to_string(id) +
                     ", REPEAT('text of a row\\r\\n', " + pieces + "))");
    std::printf("filled %ld rows of %ld MiB in %.1f s\n", rows, mib,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - fill_start).count());

    sql_engine engine;
    engine.set_text_limit(static_cast<std::uint32_t>(limit));
    engine.connect(coordinates["host"], coordinates["user"], coordinates["password"],
                   std::stoi(coordinates["port"]));
    auto source = engine.open_db(std::wstring(database.begin(), database.end()), 1, L"");
    const long before = status_kib("VmRSS");
    const auto start = std::chrono::steady_clock::now();
    auto table = source->get_table(L"long_texts", 1);
    long read = 0;
    std::size_t longest = 0;
    for (table->reset(); !table->is_eof(); table->next()) {
      const udb_record* record = table->get_item();
      if (record == nullptr)
        throw std::runtime_error("row " + std::to_string(read) + " is missing");
      longest = std::max(longest, (*record)[1]->to_wstring().size());
      ++read;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("read %ld rows in %.1f s; longest text held: %zu characters (limit %lu)\n", read,
                seconds, longest, limit);
    std::printf("resident memory: %ld KiB before opening the table, peak %ld KiB (%.0f MiB)\n", before,
                status_kib("VmHWM"), static_cast<double>(status_kib("VmHWM")) / 1024.0);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "error: %s\n", e.what());
    status = 1;
  }
  try {
    run(admin, "DROP DATABASE IF EXISTS `" + database + "`");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "cleanup: %s\n", e.what());
  }
  mysql_close(admin);
  return status;
}
