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

#include "bench_server.h"

#include <mysql.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <unistd.h>

int main(int argc, char** argv)
{
  const long rows = argc > 1 ? std::atol(argv[1]) : 256;
  const long mib = argc > 2 ? std::atol(argv[2]) : 16;
  const unsigned long limit = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 32766;
  try {
    auto coordinates = bench::server_coordinates();
    bench::scratch_database db(coordinates, "qvt_bench_long_" + std::to_string(::getpid()));
    // A row of 16 MiB is more than the server's default packet; connections made
    // afterwards (the engine's) see the new value.
    db.run("SET GLOBAL max_allowed_packet = " + std::to_string((mib + 48) << 20));
    db.run("CREATE TABLE long_texts (id INT PRIMARY KEY, body LONGTEXT)");
    const auto fill_start = std::chrono::steady_clock::now();
    // 16 bytes a piece, line ends in CR LF as many exported texts have them.
    const std::string pieces = std::to_string(mib << 16);
    for (long id = 1; id <= rows; ++id)
      db.run("INSERT INTO long_texts VALUES (" + std::to_string(id) +
                   ", REPEAT('text of a row\\r\\n', " + pieces + "))");
    std::printf("filled %ld rows of %ld MiB in %.1f s\n", rows, mib,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - fill_start).count());

    sql_engine engine;
    engine.set_text_limit(static_cast<std::uint32_t>(limit));
    engine.connect(coordinates["host"], coordinates["user"], coordinates["password"],
                   std::stoi(coordinates["port"]));
    auto source = engine.open_db(db.wide_name(), 1, L"");
    const long before = bench::status_kib("VmRSS");
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
                bench::status_kib("VmHWM"), static_cast<double>(bench::status_kib("VmHWM")) / 1024.0);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "error: %s\n", e.what());
    return 1;
  }
  return 0;
}
