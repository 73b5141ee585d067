// The wizard as the tests start it: the shipped program's whole run, plus two
// switches no user has. QVT_GUI_SMOKE=1 closes the wizard as soon as its first
// page is shown. QVT_GUI_AUTO=1 answers every box with its default button, the
// Continue/Abort dialog with Continue and the internal-error dialog with OK,
// after writing their texts to standard error, and leaves the finish page with
// Finish, so that a whole run goes by without a user.
#include "GUI2/error_dialogs.h"
#include "GUI2/wizard_main.h"
#include "GUI2/wizard_pages.h"
#include "GUI2/wizard_program.h"
#include "GUI2/wizard_shell.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool switched_on(const char* variable)
{
  const char* value = std::getenv(variable);
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
  wizard_main_hooks hooks;
  if (switched_on("QVT_GUI_AUTO"))
    hooks.started = start_auto_answers;
  if (switched_on("QVT_GUI_SMOKE"))
    hooks.program_ready = [](wizard_program& program) {
      QTimer::singleShot(0, &program.shell(), [&program] { program.shell().done(wizard_shell::result_cancel); });
    };
  return wizard_main(argc, argv, hooks);
}
