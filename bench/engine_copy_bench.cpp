// Copies a table of mixed columns between engines through the engine-neutral
// interfaces, as a converter between two databases would: MySQL to MySQL (two
// engines, two databases), MySQL into an Access database and that Access
// database back into MySQL. Each copy runs in a child process of its own, so
// its wall time and peak memory (ru_maxrss) are its alone; the child prints its
// resident memory as the rows go, which must stay flat whatever the length.
// Every copy is checked against the source with CHECKSUM TABLE (the Access one
// against what the server makes of the source in the copy's column types).
//
//   engine_copy_bench [rows (1000000)]
// The server's coordinates come from the file named by QVT_TEST_SERVER_ENV, as
// scripts/test-server writes it; the Access file goes to TMPDIR.
#include "SQL/sql_db.h"
#include "SQL/sql_engi.h"
#include "SQL/write/sql_engi_write.h"
#include "UDB/udb_db.h"
#include "UDB/udb_field.h"
#include "UDB/udb_recs.h"
#include "dao/dao_database.h"
#include "dao/dao_engine.h"
#include "platform/dao/access/access_driver.h"

#include "bench_server.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

using clock_type = std::chrono::steady_clock;

struct run_result {
  bool ok = false;
  double seconds = 0;
  long peak_kib = 0;
};

// The table's rows through the recordsets of both sides, resident memory
// printed every tenth of the way.
void copy_table(udb_database& from, udb_database& to, const std::wstring& name, long rows)
{
  auto source = from.get_table(name, 1);
  auto target = to.create_table(name, source->get_schema(), source->get_indexes());
  long done = 0;
  const long step = rows >= 10 ? rows / 10 : 1;
  for (source->reset(); !source->is_eof(); source->next()) {
    const udb_record& row = *source->get_item();
    target->append_record(row, static_cast<std::uint32_t>(row.size()));
    if (++done % step == 0)
      std::printf("    %8ld rows, resident %6ld KiB\n", done, bench::status_kib("VmRSS"));
  }
  target->save();
  std::fflush(stdout);
  if (static_cast<long>(target->get_record_count()) != rows)
    throw std::runtime_error("the copy counts " + std::to_string(target->get_record_count()) + " rows");
}

std::unique_ptr<sql_write_engine> connect(std::map<std::string, std::string>& server)
{
  auto engine = std::make_unique<sql_write_engine>();
  engine->connect(server["host"], server["user"], server["password"], std::stoi(server["port"]));
  return engine;
}

// The copy in a child of its own: 0 when it went through.
template <class Copy>
run_result in_child(const char* title, Copy&& copy)
{
  std::printf("%s\n", title);
  std::fflush(stdout);
  const auto start = clock_type::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    try {
      copy();
      std::fflush(stdout);
      ::_exit(0);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "copy failed: %s\n", e.what());
      ::_exit(1);
    }
  }
  run_result r;
  int status = 0;
  rusage usage{};
  if (::wait4(pid, &status, 0, &usage) == pid) {
    r.seconds = std::chrono::duration<double>(clock_type::now() - start).count();
    r.peak_kib = usage.ru_maxrss;
    r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  std::printf("  %s: %.2f s, peak %.1f MiB\n", r.ok ? "done" : "FAILED", r.seconds,
              static_cast<double>(r.peak_kib) / 1024.0);
  return r;
}

} // namespace

int main(int argc, char** argv)
{
  try {
    plat::dao::register_access_driver();  // the programs never open Access databases; this copy does
    const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
    auto server = bench::server_coordinates();
    const std::string stem = "qvt_copy_bench_" + std::to_string(::getpid());
    bench::scratch_database source(server, stem + "_src");
    bench::scratch_database copy(server, stem + "_copy");
    bench::scratch_database back(server, stem + "_back");
    const std::filesystem::path access_file =
        std::filesystem::path(std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp") / (stem + ".mdb");
    std::wstring access_path;
    for (const char c : access_file.string())
      access_path += static_cast<wchar_t>(c);

    std::printf("filling %ld rows of 10 mixed columns...\n", rows);
    source.run("CREATE TABLE bench_rows (id INT NOT NULL PRIMARY KEY, qty SMALLINT, code BIGINT, price DECIMAL(12,2), "
               "ratio DOUBLE, name VARCHAR(40), note VARCHAR(200), level TINYINT UNSIGNED, born DATE, stamp DATETIME)");
    source.run("INSERT INTO bench_rows SELECT seq, seq % 30000, 1000000000000 + seq * 7919, (seq * 37 % 10000000) / 100, "
               "(seq % 1000) / 8, CONCAT('name ', seq), IF(seq % 7 = 0, NULL, CONCAT('note for row ', seq, "
               "', plain text of moderate length')), seq % 256, DATE('1950-01-01') + INTERVAL (seq % 20000) DAY, "
               "TIMESTAMP('2000-01-01') + INTERVAL seq SECOND FROM seq_1_to_" + std::to_string(rows));

    const run_result mysql_to_mysql = in_child("MySQL -> MySQL (two engines)", [&] {
      auto reader = connect(server);
      auto writer = connect(server);
      auto from = reader->open_db(source.wide_name(), 1, L"");
      auto to = writer->open_db(copy.wide_name(), 0, L"");
      copy_table(*from, *to, L"bench_rows", rows);
    });
    const run_result mysql_to_access = in_child("MySQL -> Access", [&] {
      auto reader = connect(server);
      dao_engine dao(false);
      if (!dao.set_version_if(0))
        throw std::runtime_error("no DBEngine");
      auto from = reader->open_db(source.wide_name(), 1, L"");
      auto to = dao.create_db(access_path);
      copy_table(*from, *to, L"bench_rows", rows);
      dynamic_cast<dao_database&>(*to).close();
    });
    const run_result access_to_mysql = in_child("Access -> MySQL", [&] {
      dao_engine dao(false);
      if (!dao.set_version_if(0))
        throw std::runtime_error("no DBEngine");
      auto writer = connect(server);
      auto from = dao.open_db(access_path, 0, L"");
      auto to = writer->open_db(back.wide_name(), 0, L"");
      copy_table(*from, *to, L"bench_rows", rows);
    });
    std::filesystem::remove(access_file);

    // The copies against the source: the MySQL one keeps its types; the Access
    // one against the source as the server turns it into the copy's types.
    const auto checksum = [](bench::scratch_database& db, const std::string& table) {
      return db.value("CHECKSUM TABLE `" + db.name() + "`." + table, 1);
    };
    const bool same = checksum(copy, "bench_rows") == checksum(source, "bench_rows");
    back.run("SET SESSION sql_mode = ''");
    back.run("CREATE TABLE expected LIKE bench_rows");
    back.run("INSERT INTO expected SELECT * FROM `" + source.name() + "`.bench_rows");
    const bool same_back = checksum(back, "bench_rows") == checksum(back, "expected");

    std::printf("\n%-30s %10s %12s %12s %s\n", "copy", "seconds", "rows/s", "peak MiB", "checksum");
    const auto line = [&](const char* what, const run_result& r, const char* check) {
      std::printf("%-30s %10.2f %12.0f %12.1f %s\n", what, r.seconds, r.seconds > 0 ? static_cast<double>(rows) / r.seconds : 0.0,
                  static_cast<double>(r.peak_kib) / 1024.0, check);
    };
    line("MySQL -> MySQL", mysql_to_mysql, same ? "equal" : "DIFFERENT");
    line("MySQL -> Access", mysql_to_access, "-");
    line("Access -> MySQL", access_to_mysql, same_back ? "equal" : "DIFFERENT");
    return mysql_to_mysql.ok && mysql_to_access.ok && access_to_mysql.ok && same && same_back ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "engine_copy_bench: %s\n", e.what());
    return 1;
  }
}
