// What the conversion-core tests share: an error handler with the program's text
// tables whose output and process exits are captured, a converter connected to
// the test server, and the expected-workbook check through openpyxl.
#pragma once

#include "SQL/sql_test_support.h"
#include "common/err_handler.h"
#include "common/qvt_converter.h"
#include "support/temp_dir.h"
#include "support/workbook_check.h"
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

using workbook_check::cell;
using workbook_check::expected_sheet;
using workbook_check::grid;
using workbook_check::sheet_titles;
using workbook_check::workbook_differences;

} // namespace common_test
