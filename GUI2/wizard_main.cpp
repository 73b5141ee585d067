#include "GUI2/wizard_main.h"

#include "GUI2/gui_error_front.h"
#include "GUI2/gui_initialize.h"
#include "GUI2/qt_desktop.h"
#include "GUI2/wizard_front_end.h"
#include "GUI2/wizard_program.h"
#include "GUI2/wizard_shell.h"
#include "TK/tk_exception.h"
#include "common/err_handler.h"
#include "common/qvt_converter.h"
#include "platform/process.h"

#include <QApplication>

#include <clocale>
#include <exception>
#include <string>

int wizard_main(int argc, char** argv, const wizard_main_hooks& hooks)
{
  plat::take_file_size_limit_as_write_failure();
  QApplication app(argc, argv);
  QApplication::setStyle(QStringLiteral("Fusion"));
  // Numbers are read and written with "." whatever the desktop's locale.
  std::setlocale(LC_NUMERIC, "C");

  // The internal-error dialog's clipboard and bug report go to this desktop.
  qt_desktop_services desktop;
  plat::set_desktop_services(&desktop);
  error_handler handler(dao_error_map_size, dao_error_map);
  handler.load_err_map(mysql_error_map_size, mysql_error_map);
  handler.load_err_map(date_range_error_map_size, date_range_error_map);
  wizard_front_end front_end;
  handler.set_front_end(front_end);
  if (!gui_initialize()) {
    wizard_shell::error(std::string("Failed to initialize GUI library"));
    return -1;
  }

  if (hooks.started)
    hooks.started(app);

  int code = 0;
  try {
    qorvant_converter converter(qvt_program::gui);
    converter.set_front_end(front_end);
    // Qt has taken its own options out of argv by now.
    const std::wstring command_line = wizard_command_line(argc, argv);
    // A quick launch whose profile does not load ends here, converting nothing.
    if (command_line.empty() || prepare_quick_launch(converter, command_line)) {
      wizard_program program(converter, command_line);
      if (hooks.program_ready)
        hooks.program_ready(program);
      code = program.run();
    }
  } catch (const tk_exception& e) {
    try {
      handler.handle(e, true);
    } catch (const qvt_process_exit& exit) {
      end_wizard(exit);
    }
  } catch (const tk_final_exception&) {
  } catch (const std::exception& e) {
    wizard_shell::error(std::string(e.what()));
  } catch (const qvt_process_exit& exit) {
    end_wizard(exit);
  }
  plat::set_desktop_services(nullptr);
  return code;
}
