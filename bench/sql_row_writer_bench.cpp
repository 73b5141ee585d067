// Writes rows into MySQL through the engine's row writer, the way a copy into a
// MySQL database does, and loads the same rows with the `mariadb` client from a
// dump of extended INSERTs, in the same run: wall times, their ratio, the peak
// memory of this process, and a check that both tables hold the same rows.
//
//   sql_row_writer_bench [rows] [single_rows] [large_rows]
//     rows         batched appends (default 1000000)
//     single_rows  one statement a row, the fast-append switch off (default 100000)
//     large_rows   rows with a 2 MiB byte array, sent as long data through the
//                  prepared statement (default 100)
// The server's coordinates come from the file named by QVT_TEST_SERVER_ENV, as
// scripts/test-server writes it; `mariadb` is looked for in PATH.
#include "OLE/ole_date.h"
#include "SQL/sql_db.h"
#include "SQL/sql_engi.h"
#include "SQL/write/sql_engi_write.h"
#include "UDB/udb_field.h"
#include "UDB/udb_recs.h"
#include "UDB/udb_schema.h"
#include "platform/child_process.h"
#include "base/format.h"

#include "bench_server.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point start)
{
  return std::chrono::duration<double>(clock_type::now() - start).count();
}

constexpr std::size_t large_bytes = 2 * 1024 * 1024;

// The columns: integer key, small and big integers, decimal, double, two texts,
// a byte, a date and a date-time; with `large`, a LONGBLOB as the eleventh.
udb_schema bench_schema(bool large)
{
  udb_schema schema;
  const auto add = [&](const wchar_t* name, VARTYPE type, std::uint32_t size, std::uint32_t sub) {
    t_ftd& c = schema.emplace_back(size, name, type, false, false, ole_variant(), sub, L"");
    if (type == VT_DECIMAL) {
      c.precision = 12;
      c.scale = 2;
    }
  };
  add(L"id", VT_I4, 11, 0);
  add(L"qty", VT_I2, 6, 0);
  add(L"code", VT_I8, 20, 0);
  add(L"price", VT_DECIMAL, 14, 0);
  add(L"ratio", VT_R8, 22, 0);
  add(L"name", VT_BSTR, 40, 0);
  add(L"note", VT_BSTR, 200, 0);
  add(L"level", VT_UI1, 3, 0);
  add(L"born", VT_DATE, 10, 2);
  add(L"stamp", VT_DATE, 19, 1);
  if (large)
    add(L"payload", VT_ARRAY | VT_UI1, 0, 0);
  return schema;
}

struct row_values {
  int id;
  short qty;
  long long code;
  long long cents;
  double ratio;
  std::string name, note;
  unsigned char level;
  SYSTEMTIME born, stamp;
};

row_values values_of(int i)
{
  row_values v;
  v.id = i + 1;
  v.qty = static_cast<short>(i % 30000);
  v.code = 1000000000000LL + i * 7919LL;
  v.cents = (i * 37LL) % 10000000;
  v.ratio = (i % 1000) / 8.0;  // exact in binary and in decimal
  v.name = "name " + std::to_string(i);
  v.note = "note for row " + std::to_string(i) + ", plain text of moderate length";
  v.level = static_cast<unsigned char>(i % 256);
  v.born = SYSTEMTIME{};
  v.born.wYear = static_cast<WORD>(1950 + i % 60);
  v.born.wMonth = static_cast<WORD>(1 + i % 12);
  v.born.wDay = static_cast<WORD>(1 + i % 28);
  v.stamp = v.born;
  v.stamp.wHour = static_cast<WORD>(i % 24);
  v.stamp.wMinute = static_cast<WORD>(i % 60);
  v.stamp.wSecond = static_cast<WORD>((i / 60) % 60);
  return v;
}

std::string cents_text(long long cents)
{
  return base::sprintf("%lld.%02lld", cents / 100, cents % 100);
}

std::string date_text(const SYSTEMTIME& t)
{
  return base::sprintf("%04d-%02d-%02d", t.wYear, t.wMonth, t.wDay);
}

std::string date_time_text(const SYSTEMTIME& t)
{
  return date_text(t) + base::sprintf(" %02d:%02d:%02d", t.wHour, t.wMinute, t.wSecond);
}

// The payload of a large row: its bytes are the row number and a counter.
std::vector<unsigned char> payload_of(int i)
{
  std::vector<unsigned char> bytes(large_bytes);
  for (std::size_t k = 0; k < bytes.size(); ++k)
    bytes[k] = static_cast<unsigned char>((k * 131 + static_cast<std::size_t>(i)) & 0xFF);
  return bytes;
}

// One record, its fields refilled for every row as a source's would be.
class row_source {
public:
  explicit row_source(const udb_schema& schema)
  {
    for (const auto& c : schema)
      record_.emplace_back(c->name, c->size, ole_variant(), false, false);
  }

  const udb_record& fill(int i, bool large)
  {
    const row_values v = values_of(i);
    *record_[0] = ole_variant(v.id);
    *record_[1] = ole_variant(v.qty);
    *record_[2] = ole_variant(v.code);
    *record_[3] = ole_variant(cents_text(v.cents));
    *record_[4] = ole_variant(v.ratio);
    *record_[5] = ole_variant(v.name);
    *record_[6] = ole_variant(v.note);
    *record_[7] = ole_variant(v.level);
    ole_date born(v.born);
    born.set_kind(ole_date::kind_date);
    *record_[8] = ole_variant(born);
    *record_[9] = ole_variant(ole_date(v.stamp));
    if (large)
      *record_[10] = ole_variant(payload_of(i));
    return record_;
  }

private:
  udb_record record_;
};

// The same rows as extended INSERTs of about 1 MB each, as a dump holds them.
void write_dump(const std::string& path, const std::string& table, int rows, bool large)
{
  std::ofstream out(path, std::ios::binary);
  std::string statement;
  const std::string head = "INSERT INTO `" + table + "` VALUES ";
  for (int i = 0; i < rows; ++i) {
    const row_values v = values_of(i);
    std::string row = base::sprintf("(%d,%d,%lld,%s,%.17g,'%s','%s',%d,'%s','%s'", v.id, v.qty,
                                    v.code, cents_text(v.cents), v.ratio, v.name, v.note,
                                    int(v.level), date_text(v.born), date_time_text(v.stamp));
    if (large) {
      static const char digits[] = "0123456789ABCDEF";
      row += ",0x";
      for (unsigned char b : payload_of(i)) {
        row += digits[b >> 4];
        row += digits[b & 15];
      }
    }
    row += ')';
    if (!statement.empty() && statement.size() + row.size() > 1000000) {
      out << statement << ";\n";
      statement.clear();
    }
    statement += statement.empty() ? head : ",";
    statement += row;
  }
  if (!statement.empty())
    out << statement << ";\n";
  if (!out)
    throw std::runtime_error("cannot write " + path);
}

struct run_result {
  double engine_seconds;
  double mariadb_seconds;
  bool same_rows;
};

std::string checksum(bench::scratch_database& admin, const std::string& table)
{
  return admin.value("CHECKSUM TABLE `" + table + "`", 1);
}

run_result run_mode(const char* label, std::map<std::string, std::string>& server,
                    bench::scratch_database& admin, sql_write_engine& engine, int rows, bool fast,
                    bool large)
{
  const std::string ours = std::string("ours_") + label;
  const std::string theirs = std::string("theirs_") + label;
  const udb_schema schema = bench_schema(large);
  row_source source(schema);

  auto database = engine.open_db(admin.wide_name(), 2, L"");
  engine.set_fast_append(fast);
  const auto start = clock_type::now();
  {
    auto table = database->create_table(std::wstring(ours.begin(), ours.end()), schema,
                                        udb_indexes());
    for (int i = 0; i < rows; ++i)
      table->append_record(source.fill(i, large), 0);
    table->save();
  }
  const double engine_seconds = seconds_since(start);

  // The reference table has the types our table got, so the checksums compare rows.
  admin.run("CREATE TABLE `" + theirs + "` LIKE `" + ours + "`");
  const std::string dump = std::filesystem::temp_directory_path() /
                           ("qvt_writer_bench_" + std::to_string(::getpid()) + ".sql");
  write_dump(dump, theirs, rows, large);
  const std::string client = plat::find_in_path("mariadb");
  if (client.empty())
    throw std::runtime_error("mariadb client not found in PATH");
  const auto load_start = clock_type::now();
  const plat::child_result loaded = plat::run_program(
      client,
      {"--protocol=TCP", "--host=" + server["host"], "--port=" + server["port"],
       "--user=" + server["user"], "--password=" + server["password"],
       "--max-allowed-packet=64M", admin.name(), "-e", "source " + dump},
      "");
  const double mariadb_seconds = seconds_since(load_start);
  std::filesystem::remove(dump);
  if (!loaded.succeeded())
    throw std::runtime_error("mariadb: " + plat::describe_child_failure(loaded) + " " +
                             loaded.error_output);
  const std::string count = admin.value("SELECT COUNT(*) FROM `" + ours + "`", 0);
  const bool same = count == std::to_string(rows) && checksum(admin, ours) == checksum(admin, theirs);
  std::printf("%-8s %9d rows  engine %8.2f s (%9.0f rows/s)  mariadb %8.2f s  ratio %5.2f  %s\n",
              label, rows, engine_seconds, rows / engine_seconds, mariadb_seconds,
              engine_seconds / mariadb_seconds, same ? "same rows" : "ROWS DIFFER");
  std::fflush(stdout);
  return {engine_seconds, mariadb_seconds, same};
}

} // namespace

int main(int argc, char** argv)
{
  try {
    const int rows = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const int single_rows = argc > 2 ? std::atoi(argv[2]) : 100000;
    const int large_rows = argc > 3 ? std::atoi(argv[3]) : 100;
    auto server = bench::server_coordinates();
    bench::scratch_database admin(server, "qvt_writer_bench_" + std::to_string(::getpid()));
    sql_write_engine engine;
    engine.connect(server["host"], server["user"], server["password"], std::stoi(server["port"]));

    bool same = true;
    same &= run_mode("batched", server, admin, engine, rows, true, false).same_rows;
    same &= run_mode("single", server, admin, engine, single_rows, false, false).same_rows;
    same &= run_mode("prepared", server, admin, engine, large_rows, false, true).same_rows;
    std::printf("peak resident memory %ld KiB\n", bench::status_kib("VmHWM"));
    return same ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "sql_row_writer_bench: %s\n", e.what());
    return 1;
  }
}
