// What the conversion-core tests share: an error handler with the program's text
// tables whose output and process exits are captured, a converter connected to
// the test server, and the expected-workbook check through openpyxl.
#pragma once

#include "SQL/sql_test_support.h"
#include "common/err_handler.h"
#include "common/qvt_converter.h"
#include "support/temp_dir.h"
#include "support/test_server.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include <sys/wait.h>

namespace common_test {

// The handler both programs build, writing into `out` and recording exits.
struct captured_handler {
  std::ostringstream out;
  std::vector<int> exits;
  error_handler handler{dao_error_map_size, dao_error_map};

  captured_handler()
  {
    handler.load_err_map(mysql_error_map_size, mysql_error_map);
    handler.load_err_map(date_range_error_map_size, date_range_error_map);
    handler.set_output(out);
    handler.set_exit_function([this](int code) { exits.push_back(code); });
  }
};

// A console converter connected to the test server, its console captured.
struct connected_converter {
  std::ostringstream out;
  std::ostringstream err;
  qorvant_converter converter;

  explicit connected_converter(const std::wstring& source, const std::wstring& destination)
  {
    const test_server_info& server = test_server();
    converter.set_console(out, err);
    converter.store_mysql_settings(server.host, server.user, server.password,
                                   std::to_string(server.port));
    converter.connect_mysql_server();
    converter.source = source;
    converter.destination = destination;
    converter.format_version = xls_format_excel_2010;
  }
};

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

// Runs a command of our own making; its standard output, and the exit status.
inline std::string command_output(const std::string& command, int& status)
{
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    status = -1;
    return out;
  }
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
    out.append(buffer, n);
  const int rc = ::pclose(pipe);
  status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

// Every cell of the workbook, as openpyxl reads it, against the expected sheets;
// the checker's report of differences, empty when the workbook matches.
inline std::string workbook_differences(const std::string& workbook,
                                        const std::vector<expected_sheet>& sheets,
                                        const temp_dir& scratch)
{
  const std::string expected = scratch.file("expected.json");
  write_file(expected, to_json(sheets));
  const std::filesystem::path checker =
      std::filesystem::path(__FILE__).parent_path().parent_path() / "xlsx" / "check_cells.py";
  int status = 0;
  std::string report = command_output("/usr/bin/python3 '" + checker.string() + "' '" + workbook +
                                          "' '" + expected + "' 2>&1",
                                      status);
  if (status != 0 && report.empty())
    report = "checker failed with status " + std::to_string(status);
  return report;
}

// Sheet titles of the workbook, one a line.
inline std::string sheet_titles(const std::string& workbook)
{
  int status = 0;
  return command_output("/usr/bin/python3 -c 'import sys, openpyxl\n"
                        "print(\"\\n\".join(openpyxl.load_workbook(sys.argv[1]).sheetnames))' '" +
                            workbook + "' 2>&1",
                        status);
}

} // namespace common_test
