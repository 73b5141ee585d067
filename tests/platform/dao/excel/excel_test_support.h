// Helpers of the workbook-driver tests: values to append, the expected DAO
// error, and what the real readers (xlrd, LibreOffice, olefile) make of a file.
#pragma once

#include "support/command_output.h"

#include "support/temp_dir.h"

#include "platform/dao/excel/container.h"
#include "platform/dao/excel/workbook.h"
#include "platform/dao/owned_variant.h"
#include "platform/text_codec.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <sys/wait.h>

namespace excel_test {

using plat::dao::biff_version;

// A VARIANT that owns what it holds.
using value = owned::variant;
using owned::boolean;
using owned::date;
using owned::i4;
using owned::null;
using owned::r8;
using owned::text;

inline void append(plat::dao::excel_workbook& book, std::size_t sheet, const std::vector<value>& row)
{
  std::vector<VARIANT> raw;
  for (const value& x : row)
    raw.push_back(x.v);
  book.append_row(sheet, raw.data(), raw.size());
}

// The DAO error number `f` raises; 0 when it returns.
inline int dao_error_of(const std::function<void()>& f)
{
  try {
    f();
  } catch (const plat::dao::dao_error& e) {
    return e.number();
  }
  return 0;
}


inline std::string here()
{
  return (std::filesystem::path(QVT_TESTS_DIR) / "platform" / "dao" / "excel").string();
}

// xlrd's reading of the workbook (see excel_cells.py), or its error output.
inline std::string xlrd_cells(const std::string& path)
{
  return test_support::command_output("/usr/bin/python3 '" + here() + "/excel_cells.py' '" + path + "' 2>&1");
}

// Runs a Python snippet with the path as sys.argv[1]; its output.
inline std::string python(const std::string& code, const std::string& path)
{
  const temp_dir scratch;
  const std::string script = scratch.file("snippet.py");
  write_file(script, code);
  return test_support::command_output("/usr/bin/python3 '" + script + "' '" + path + "' 2>&1");
}

// The workbook stream of a written file, whole.
inline std::string stream_of(const std::string& path, bool biff8)
{
  plat::dao::container_reader reader(path, biff8);
  std::string bytes;
  char chunk[65536];
  for (std::size_t n; (n = reader.read_at(bytes.size(), chunk, sizeof chunk)) > 0;)
    bytes.append(chunk, n);
  return bytes;
}
inline std::string stream_of(const std::string& path, biff_version v)
{
  return stream_of(path, v == biff_version::biff8);
}

inline const char* name_of(biff_version v)
{
  return v == biff_version::biff5 ? "biff5" : "biff8";
}

} // namespace excel_test
