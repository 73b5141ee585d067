// Writes rows × 10 mixed columns through the .xlsx destination (xlsx_database,
// xlsx_worksheet) and reports rows per second for the rows alone and for the
// whole save (zip included), with the process's peak memory.
// Usage: xlsx_write_bench [rows (1000000)] [destination (a temporary .xlsx)]
#include "UDB/udb_field.h"
#include "UDB/udb_recs.h"
#include "UDB/udb_schema.h"
#include "platform/text_codec.h"
#include "xlsx/xlsx_db.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

namespace {

double seconds_since(std::chrono::steady_clock::time_point start)
{
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

long peak_rss_kib()
{
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv)
{
  const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
  const std::string destination =
      argc > 2 ? argv[2]
               : (std::filesystem::temp_directory_path() /
                  ("xlsx_bench_" + std::to_string(getpid()) + ".xlsx"))
                     .string();
  const wchar_t* names[] = {L"id",     L"amount", L"ratio", L"status", L"customer",
                            L"note",   L"flag",   L"big",   L"created", L"empty"};
  const wchar_t* statuses[] = {L"new", L"paid", L"shipped", L"returned & refunded"};

  try {
    std::wstring wide_destination;
    plat::utf8_to_wide(destination, wide_destination);
    xlsx_database db(wide_destination, false);
    udb_schema schema;
    for (const wchar_t* name : names)
      schema.emplace_back().name = name;
    std::unique_ptr<udb_recordset> table = db.create_table(L"bench", schema, {});

    // One record, refilled per row, as a source lends its current record.
    udb_record record;
    for (const wchar_t* name : names)
      record.emplace_back(name, 0u, ole_variant(), false, false);

    const auto start = std::chrono::steady_clock::now();
    for (long r = 0; r < rows; ++r) {
      *record[0] = ole_variant(static_cast<int>(r));
      *record[1] = ole_variant(static_cast<double>(r) * 1.25 + 0.01);
      *record[2] = ole_variant(1.0 / static_cast<double>(r + 1));
      *record[3] = ole_variant(statuses[r % 4]);
      *record[4] = ole_variant(L"Customer " + std::to_wstring(r % 50000));
      *record[5] = ole_variant(L"Order " + std::to_wstring(r) + L" <note> \u20AC");
      *record[6] = ole_variant(r % 3 == 0);
      *record[7] = ole_variant(static_cast<long long>(r) * 1000003LL);
      *record[8] = ole_variant(L"2024-01-31 10:20:30");
      *record[9] = ole_variant();
      table->append_record(record, 10);
    }
    const double append_time = seconds_since(start);
    db.save_table(table.get(), 0);
    table.reset();
    db.save();
    const double total_time = seconds_since(start);

    std::error_code ignored;
    const auto size = std::filesystem::file_size(destination, ignored);
    std::printf("rows: %ld x 10 columns\n", rows);
    std::printf("rows written: %.0f rows/s (%.2f s)\n", static_cast<double>(rows) / append_time,
                append_time);
    std::printf("with save and zip: %.0f rows/s (%.2f s)\n", static_cast<double>(rows) / total_time,
                total_time);
    std::printf("package: %.1f MB\n", static_cast<double>(size) / 1e6);
    std::printf("peak memory: %.1f MB\n", static_cast<double>(peak_rss_kib()) / 1024.0);
    if (argc <= 2)
      std::filesystem::remove(destination, ignored);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "failed: %s\n", e.what());
    return 1;
  }
  return 0;
}
