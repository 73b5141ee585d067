// Rows × 10 mixed columns written through the .xls driver (BIFF8, BIFF5) and by
// Python's xlwt, each in a child process: wall times, ratio, peak memories, xlrd check.
// Usage: xls_write_bench [biff8 rows (65535)] [biff5 rows (16383)]
#include "platform/dao/excel/workbook.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace dao = plat::dao;

struct run_result {
  double seconds = 0;
  long peak_kib = 0;
  bool ok = false;
};

// The same values as make_row in xls_write_bench_xlwt.py, into a reused row.
void make_row(long i, std::vector<VARIANT>& row)
{
  for (VARIANT& v : row)
    VariantClear(&v);
  row[0].vt = VT_I4;
  row[0].lVal = static_cast<LONG>(i * 7 - 1000);
  DECIMAL d{};
  d.scale = 2;
  d.Lo64 = static_cast<ULONGLONG>(i * 37 % 100000);
  row[1].set_decimal(d);
  row[2].vt = VT_DATE;
  row[2].date = 40000.0 + static_cast<double>(i % 3000);
  row[3].vt = VT_DATE;
  row[3].date = 40000.0 + static_cast<double>(i % 5000) + static_cast<double>(i % 86400) / 86400.0;
  row[4].vt = VT_R8;
  row[4].dblVal = static_cast<double>(i) * 1.25 / 3;
  const std::wstring customer = L"customer " + std::to_wstring(i % 100);
  row[5].vt = VT_BSTR;
  row[5].bstrVal = SysAllocStringLen(customer.data(), static_cast<unsigned>(customer.size()));
  const std::wstring note = L"line one\nline two " + std::to_wstring(i % 1000);
  row[6].vt = VT_BSTR;
  row[6].bstrVal = SysAllocStringLen(note.data(), static_cast<unsigned>(note.size()));
  if (i % 3 == 0) {
    row[7].vt = VT_NULL;
  } else {
    row[7].vt = VT_I4;
    row[7].lVal = static_cast<LONG>(i % 50);
  }
  const std::wstring code = L"id-" + std::to_wstring(i);
  row[8].vt = VT_BSTR;
  row[8].bstrVal = SysAllocStringLen(code.data(), static_cast<unsigned>(code.size()));
  row[9].vt = VT_BOOL;
  row[9].boolVal = i % 2 == 1 ? VARIANT_TRUE : VARIANT_FALSE;
}

int write_ours(const std::string& path, dao::biff_version version, long rows)
{
  try {
    dao::excel_workbook book(path, version);
    const std::vector<dao::excel_column> columns = {
        {L"id", dao::db_long},      {L"amount", dao::db_decimal}, {L"day", dao::db_date},
        {L"stamp", dao::db_date},   {L"ratio", dao::db_double},   {L"customer", dao::db_text},
        {L"note", dao::db_memo},    {L"small", dao::db_long},     {L"code", dao::db_text},
        {L"flag", dao::db_boolean}};
    const std::size_t sheet = book.add_sheet(L"bench", columns);
    std::vector<VARIANT> row(columns.size());
    for (long i = 1; i <= rows; ++i) {
      make_row(i, row);
      book.append_row(sheet, row.data(), row.size());
    }
    for (VARIANT& v : row)
      VariantClear(&v);
    book.close();
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "write failed: %s\n", e.what());
    return 1;
  }
}

run_result finish(pid_t pid, std::chrono::steady_clock::time_point start)
{
  run_result r;
  int status = 0;
  rusage usage{};
  if (::wait4(pid, &status, 0, &usage) == pid) {
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.peak_kib = usage.ru_maxrss;
    r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  return r;
}

run_result run_ours(const std::string& path, dao::biff_version version, long rows)
{
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0)
    ::_exit(write_ours(path, version, rows));
  return finish(pid, start);
}

run_result run_program(std::vector<std::string> args)
{
  std::vector<char*> argv;
  for (std::string& a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
    return {};
  return finish(pid, start);
}

std::string here()
{
  return std::string(QVT_BENCH_DIR);
}

} // namespace

int main(int argc, char** argv)
{
  const long rows8 = argc > 1 ? std::atol(argv[1]) : 65535;
  const long rows5 = argc > 2 ? std::atol(argv[2]) : 16383;
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("xls_bench_" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  bool all_ok = true;
  const struct {
    const char* name;
    dao::biff_version version;
    long rows;
  } cases[] = {{"BIFF8", dao::biff_version::biff8, rows8}, {"BIFF5", dao::biff_version::biff5, rows5}};
  for (const auto& c : cases) {
    const std::string ours = (folder / (std::string(c.name) + "_ours.xls")).string();
    const std::string theirs = (folder / (std::string(c.name) + "_xlwt.xls")).string();
    const run_result a = run_ours(ours, c.version, c.rows);
    const run_result b =
        run_program({"/usr/bin/python3", here() + "/xls_write_bench_xlwt.py", theirs, std::to_string(c.rows)});
    // Equal cells: every row, every column, value and kind (xlwt writes BIFF8 only).
    const run_result same = run_program({"/usr/bin/python3", "-c",
                                         "import sys, xlrd\n"
                                         "a = xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)\n"
                                         "b = xlrd.open_workbook(sys.argv[2]).sheet_by_index(0)\n"
                                         "cells = lambda s, r: [(c.ctype, c.value) for c in s.row(r)]\n"
                                         "sys.exit(0 if a.nrows == b.nrows and all(cells(a, r) == cells(b, r) for r in range(a.nrows))\n"
                                         "         or sys.argv[3] == 'BIFF5' else 1)\n",
                                         ours, theirs, c.name});
    std::printf("%s, %ld rows x 10 columns\n", c.name, c.rows);
    std::printf("  ours: %7.3f s, peak %6.1f MiB, %8.1f KiB file%s\n", a.seconds, static_cast<double>(a.peak_kib) / 1024.0,
                a.ok ? static_cast<double>(std::filesystem::file_size(ours)) / 1024.0 : 0.0, a.ok ? "" : "  FAILED");
    std::printf("  xlwt: %7.3f s, peak %6.1f MiB, %8.1f KiB file (BIFF8)%s\n", b.seconds,
                static_cast<double>(b.peak_kib) / 1024.0,
                b.ok ? static_cast<double>(std::filesystem::file_size(theirs)) / 1024.0 : 0.0, b.ok ? "" : "  FAILED");
    std::printf("  xlwt / ours: %.1fx faster (target 10x); peak under 64 MiB: %s; cells equal: %s\n",
                a.seconds > 0 ? b.seconds / a.seconds : 0.0, a.peak_kib < 64 * 1024 ? "yes" : "NO",
                c.version == dao::biff_version::biff5 ? "not compared (dates are text in BIFF5)"
                                                      : (same.ok ? "yes" : "NO"));
    all_ok = all_ok && a.ok && b.ok && (c.version == dao::biff_version::biff5 || same.ok);
  }
  if (std::getenv("KEEP") == nullptr) {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
  return all_ok ? 0 : 1;
}
