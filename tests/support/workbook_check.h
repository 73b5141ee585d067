// Reads a workbook back with openpyxl (through tests/xlsx/check_cells.py) and
// compares every cell with what a test expects.
#pragma once

#include "support/command_output.h"

#include "support/temp_dir.h"

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include <sys/wait.h>

namespace workbook_check {

// One expected cell: none, a number or a text (UTF-8).
using cell = std::variant<std::monostate, double, std::string>;
using grid = std::vector<std::vector<cell>>;

struct expected_sheet {
  std::string title;
  grid rows;
};

inline std::string json_text(const std::string& text)
{
  std::string out = "\"";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", u);
      out += buffer;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

inline std::string to_json(const std::vector<expected_sheet>& sheets)
{
  std::ostringstream out;
  out.precision(17);
  out << "{\"sheets\": [";
  for (std::size_t s = 0; s < sheets.size(); ++s) {
    out << (s ? ", " : "") << "{\"title\": " << json_text(sheets[s].title) << ", \"rows\": [";
    for (std::size_t r = 0; r < sheets[s].rows.size(); ++r) {
      out << (r ? ", " : "") << "[";
      const auto& row = sheets[s].rows[r];
      for (std::size_t c = 0; c < row.size(); ++c) {
        out << (c ? ", " : "");
        if (const auto* d = std::get_if<double>(&row[c]))
          out << *d;
        else if (const auto* t = std::get_if<std::string>(&row[c]))
          out << json_text(*t);
        else
          out << "null";
      }
      out << "]";
    }
    out << "]}";
  }
  out << "]}";
  return out.str();
}

using test_support::command_output;

// Every cell of the workbook, as openpyxl reads it, against the expected sheets:
// the checker's report of differences, empty when the workbook matches.
inline std::string workbook_differences(const std::string& workbook,
                                        const std::vector<expected_sheet>& sheets)
{
  const temp_dir scratch;
  const std::string expected = scratch.file("expected.json");
  write_file(expected, to_json(sheets));
  const std::filesystem::path checker =
      std::filesystem::path(QVT_TESTS_DIR) / "xlsx" / "check_cells.py";
  int status = 0;
  std::string report = command_output("/usr/bin/python3 '" + checker.string() + "' '" + workbook +
                                          "' '" + expected + "' 2>&1",
                                      &status);
  if (status != 0 && report.empty())
    report = "checker failed with status " + std::to_string(status);
  return report;
}

// Sheet titles of the workbook, one a line.
inline std::string sheet_titles(const std::string& workbook)
{
  return command_output("/usr/bin/python3 -c 'import sys, openpyxl\n"
                        "print(\"\\n\".join(openpyxl.load_workbook(sys.argv[1]).sheetnames))' '" +
                            workbook + "' 2>&1");
}

} // namespace workbook_check
