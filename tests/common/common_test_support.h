// What the conversion-core tests share: an error handler with the program's text
// tables reporting to a recording front end, a converter connected to the test
// server and reporting to the same, and the expected-workbook check through openpyxl.
#pragma once

#include "SQL/sql_test_support.h"
#include "common/err_handler.h"
#include "common/qvt_converter.h"
#include "recording_front_end.h"
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

// The handler both programs build, reporting to `front`.
struct captured_handler {
  recording_front_end front;
  error_handler handler{dao_error_map_size, dao_error_map};

  captured_handler()
  {
    handler.load_err_map(mysql_error_map_size, mysql_error_map);
    handler.load_err_map(date_range_error_map_size, date_range_error_map);
    handler.set_front_end(front);
  }
};

// The exit codes of the reports that ended the program while `act` ran.
template <class Act>
std::vector<int> exits_of(Act&& act)
{
  try {
    act();
  } catch (const qvt_process_exit& end) {
    return {end.code};
  }
  return {};
}

// A console converter connected to the test server. It tells the front end
// the process's handler reports to, when there is a handler, so that a run's
// calls and its reports make one sequence.
struct connected_converter {
  qorvant_converter converter;

  connected_converter(const std::wstring& source, const std::wstring& destination)
  {
    const test_server_info& server = test_server();
    if (error_handler::exists())
      converter.set_front_end(error_handler::instance().front_end());
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
