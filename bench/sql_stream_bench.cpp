// Streams a large MySQL table through the engine the way a conversion reads a
// source, and reports rows per second, the heap allocations per row and the
// resident memory along the way: memory must stay flat (one page of rows held).
//
//   sql_stream_bench [rows]     (default 1000000)
// The server's coordinates come from the file named by QVT_TEST_SERVER_ENV
// (host=, port=, user=, password= lines), as scripts/test-server writes it.
#include "SQL/sql_db.h"
#include "SQL/sql_engi.h"
#include "UDB/udb_field.h"
#include "UDB/udb_recs.h"

#include "bench_server.h"

#include <mysql.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <new>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::atomic<unsigned long long> allocations{0};

} // namespace

// Counts every allocation through operator new.
void* operator new(std::size_t size)
{
  ++allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size))
    return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept
{
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
  std::free(p);
}

int main(int argc, char** argv)
{
  const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
  try {
    auto coordinates = bench::server_coordinates();
    bench::scratch_database db(coordinates, "qvt_bench_" + std::to_string(::getpid()));
    db.run("CREATE TABLE big (id INT PRIMARY KEY, name VARCHAR(40), amount DECIMAL(12,2),"
               " created DATETIME, ratio DOUBLE, flag BIT(1), note TEXT, data VARBINARY(16))");
    const auto fill_start = std::chrono::steady_clock::now();
    db.run("INSERT INTO big SELECT seq, CONCAT('customer ', seq), seq / 100,"
               " '2024-01-01' + INTERVAL (seq % 100000) MINUTE, seq / 7, seq % 2,"
               " REPEAT('n', seq % 64), UNHEX(MD5(seq)) FROM seq_1_to_" + std::to_string(rows));
    std::printf("filled %ld rows in %.1f s\n", rows,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - fill_start).count());

    sql_engine engine;
    engine.connect(coordinates["host"], coordinates["user"], coordinates["password"],
                   std::stoi(coordinates["port"]));
    auto source = engine.open_db(db.wide_name(), 1, L"");
    const long before_open = bench::status_kib("VmRSS");
    auto table = source->get_table(L"big", 1);
    table->reset();

    const auto start = std::chrono::steady_clock::now();
    const unsigned long long allocations_before = allocations.load();
    std::vector<std::pair<long, long>> samples;  // (rows read, RSS KiB)
    long read = 0;
    long long checksum = 0;
    for (; !table->is_eof(); table->next()) {
      const udb_record* record = table->get_item();
      if (record == nullptr)
        throw std::runtime_error("row " + std::to_string(read) + " is missing");
      checksum += (*record)[0]->to_long();
      ++read;
      if (read % (rows / 10 > 0 ? rows / 10 : 1) == 0)
        samples.emplace_back(read, bench::status_kib("VmRSS"));
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const unsigned long long allocated = allocations.load() - allocations_before;

    std::printf("streamed %ld rows x 8 columns in %.2f s: %.0f rows/s (checksum %lld)\n", read,
                seconds, static_cast<double>(read) / seconds, checksum);
    std::printf("operator new calls while streaming: %.2f per row, %.3f per cell\n",
                read > 0 ? static_cast<double>(allocated) / static_cast<double>(read) : 0.0,
                read > 0 ? static_cast<double>(allocated) / static_cast<double>(read) / 8.0 : 0.0);
    std::printf("resident memory: %ld KiB before opening the table\n", before_open);
    for (const auto& [at, kib] : samples)
      std::printf("  after %8ld rows: %ld KiB\n", at, kib);
    if (!samples.empty())
      std::printf("growth from the first sample to the last: %ld KiB\n",
                  samples.back().second - samples.front().second);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "error: %s\n", e.what());
    return 1;
  }
  return 0;
}
