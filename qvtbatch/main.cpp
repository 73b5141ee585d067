// qvtbatch: one conversion of a MySQL database into a workbook, told by the
// command line. Exit code 0 when the run reached its end (also with nothing to
// write), 128 + the signal when SIGINT, SIGTERM or SIGHUP stopped it before its
// workbook was put in place, and -1 on every other ending, always once the
// run's objects are destroyed.
#include "TK/tk_log.h"
#include "common/err_handler.h"
#include "common/qvt_converter.h"
#include "common/run_stop.h"
#include "qvtbatch/console.h"
#include "qvtbatch/console_front_end.h"
#include "qvtbatch/options.h"
#include "platform/process.h"

#include <cerrno>
#include <csignal>
#include <exception>
#include <iostream>

namespace {

// The first stopping signal that stopped the run; 0 while none did. A signal
// that comes once the run puts its workbook in place is refused: the run
// finishes and its exit code says so, as the replaced destination does.
volatile std::sig_atomic_t stop_signal = 0;

extern "C" void on_stop_signal(int signal)
{
  const int saved_errno = errno;
  if (run_stop::request() && stop_signal == 0)
    stop_signal = signal;
  errno = saved_errno;
}

// The run stops cooperatively: it unwinds through its destructors, which remove
// the temporary and staging folders and keep the old destination.
void install_stop_handlers()
{
  struct sigaction action {};
  action.sa_handler = on_stop_signal;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP})
    sigaddset(&action.sa_mask, signal);
  // Restarted calls: the waits a run can be in are broken by the stop itself
  // (socket shut down, zip ended), and an interrupted write must not fail a stream.
  action.sa_flags = SA_RESTART;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP})
    ::sigaction(signal, &action, nullptr);
}

int run(qorvant_converter& converter, error_handler& handler, int argc, const char* const* argv)
{
  if (argc > 1) {
    try {
      if (parse_cmd_line(static_cast<unsigned>(argc), argv)) {
        // Only the checks here: an existing destination is replaced at the end
        // of a run that wrote a complete workbook, and kept on every other ending.
        common_check_dest(converter.destination);
        converter.connect_mysql_server();
        if (run_stop::requested())
          return -1;
        converter();
        return converter.reached_end ? 0 : -1;
      }
    } catch (const tk_exception& e) {
      // Levels 1 and 2 end the program from inside handle (qvt_process_exit).
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
  install_stop_handlers();
  plat::take_file_size_limit_as_write_failure();
  tk_logger logger(nullptr, false, 3, false);
  error_handler handler(dao_error_map_size, dao_error_map);
  handler.load_err_map(mysql_error_map_size, mysql_error_map);
  handler.load_err_map(date_range_console_error_map_size, date_range_console_error_map);
  qorvant_converter converter(qvt_program::console);
  console_front_end console(converter, std::cout, std::cerr);
  handler.set_front_end(console);
  converter.set_front_end(console);

  int code = -1;
  try {
    code = run(converter, handler, argc, argv);
  } catch (const qvt_process_exit& end) {
    code = end.code;
  }
  if (stop_signal == 0)
    return code;
  tk_log_message(3, "Stopped by signal %d", static_cast<int>(stop_signal));
  return 128 + stop_signal;
}
