// The wizard program: the QApplication first and last, then the error handler,
// the converter (which reads and, when destroyed, writes the settings), the
// shell and its pages. Nothing thrown on the way escapes main.
#include "GUI2/error_dialogs.h"
#include "GUI2/gui_error_front.h"
#include "GUI2/gui_initialize.h"
#include "GUI2/qt_desktop.h"
#include "GUI2/wizard_front_end.h"
#include "GUI2/wizard_pages.h"
#include "GUI2/wizard_program.h"
#include "GUI2/wizard_shell.h"
#include "TK/tk_exception.h"
#include "common/err_handler.h"
#include "common/qvt_converter.h"

#include <QApplication>
#include <QPushButton>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

namespace {

// Test-only: QVT_GUI_SMOKE=1 closes the wizard as soon as its first page is shown.
bool smoke_run()
{
  const char* value = std::getenv("QVT_GUI_SMOKE");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

// Test-only: QVT_GUI_AUTO=1 answers every box with its default button, the
// Continue/Abort dialog with Continue and the internal-error dialog with OK,
// after writing their texts to standard error, and leaves the finish page with
// Finish, so that a whole run goes by without a user.
bool auto_run()
{
  const char* value = std::getenv("QVT_GUI_AUTO");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

void start_auto_answers(QApplication& app)
{
  auto* timer = new QTimer(&app);
  QObject::connect(timer, &QTimer::timeout, &app, [] {
    QWidget* modal = QApplication::activeModalWidget();
    const bool shell_up = wizard_shell::exists();
    if (modal != nullptr && !(shell_up && modal == &wizard_shell::instance())) {
      if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        std::fprintf(stderr, "%s\n", box->text().toUtf8().constData());
        if (QPushButton* button = box->defaultButton())
          button->click();
        else
          box->reject();
      } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        if (auto* text = dialog->findChild<QLabel*>(QStringLiteral("c1320")))
          std::fprintf(stderr, "%s\n", text->text().toUtf8().constData());
        // The internal-error dialog has no Escape: OK ends it (and the program).
        if (qobject_cast<dlg_error_ex*>(dialog) != nullptr)
          dialog->done(dlg_error_ex::ok_id);
        else
          dialog->reject();
      }
      return;
    }
    if (shell_up && wizard_shell::instance().isVisible()) {
      wizard_page* page = wizard_shell::instance().current_page();
      if (page != nullptr && page->id() == page_finish)
        wizard_shell::instance().press_finish();
    }
  });
  timer->start(50);
}

} // namespace

int main(int argc, char** argv)
{
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

  if (auto_run())
    start_auto_answers(app);

  int code = 0;
  try {
    qorvant_converter converter(qvt_program::gui);
    converter.set_front_end(front_end);
    // Qt has taken its own options out of argv by now.
    const std::wstring command_line = wizard_command_line(argc, argv);
    // A quick launch whose profile does not load ends here, converting nothing.
    if (command_line.empty() || prepare_quick_launch(converter, command_line)) {
      wizard_program program(converter, command_line);
      if (smoke_run())
        QTimer::singleShot(0, &program.shell(), [&program] { program.shell().done(wizard_shell::result_cancel); });
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
