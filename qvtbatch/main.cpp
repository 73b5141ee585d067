// qvtbatch: one conversion of a MySQL database into a workbook, told by the
// command line. Exit code 0 only when the run reached its end and wrote its
// workbook; every other ending returns -1 once the run's objects are destroyed.
#include "TK/tk_log.h"
#include "common/err_handler.h"
#include "common/qvt_converter.h"
#include "qvtbatch/console.h"
#include "qvtbatch/options.h"

#include <exception>

namespace {

int run(qorvant_converter& converter, error_handler& handler, int argc, const char* const* argv)
{
  if (argc > 1) {
    try {
      if (parse_cmd_line(static_cast<unsigned>(argc), argv)) {
        // Only the checks here: the run deletes an existing destination once
        // the server has let it in and the source database is open, so that a
        // typing error in a connection setting costs the user nothing.
        common_check_dest(converter.destination);
        converter.connect_mysql_server();
        converter();
        return converter.reached_end ? 0 : -1;
      }
    } catch (const tk_exception& e) {
      // Levels 1 and 2 end the program inside handle.
      handler.handle(e, false);
      // A level-0 failure before the run (a refused login, an unknown host, an
      // unreadable table name): nothing was converted.
      return -1;
    } catch (const std::exception& e) {
      fatal_error_exit(e.what());
    }
  }
  fatal_error_exit(usage_text());
}

} // namespace

int main(int argc, char** argv)
{
  tk_logger logger(nullptr, false, 3, false);
  error_handler handler(dao_error_map_size, dao_error_map);
  handler.load_err_map(mysql_error_map_size, mysql_error_map);
  handler.load_err_map(date_range_error_map_size, date_range_error_map);
  handler.set_exit_function([](int code) { qvt_end_process(code); });
  qorvant_converter converter(qvt_program::console);

  try {
    return run(converter, handler, argc, argv);
  } catch (const qvt_process_exit& end) {
    return end.code;
  }
}
