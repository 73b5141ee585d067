// Error reports in the wizard. Dialogs are application-modal because a report
// from the converting thread has no window of its own to belong to, and the
// wizard must not be used while it waits for the answer.
#include "GUI2/gui_error_front.h"

#include "GUI2/error_dialogs.h"
#include "GUI2/gui_thread.h"
#include "GUI2/wizard_shell.h"

#include <QApplication>

#include <cstdlib>

namespace {

QString shell_title()
{
  return wizard_shell::is_initialized() ? wizard_shell::instance().title() : QString();
}

QWidget* owner()
{
  if (wizard_shell::is_initialized() && wizard_shell::instance().isVisible())
    return &wizard_shell::instance();
  return nullptr;
}

} // namespace

void end_wizard(const qvt_process_exit& exit)
{
  std::_Exit(exit.code & 0xFF);
}

void gui_error_front::add_error(const std::string& text)
{
  gui::run_on_gui_thread([&] {
    if (!wizard_shell::is_initialized())
      return;
    std::vector<std::string>& errors = wizard_shell::instance().errors;
    if (errors.size() < wizard_shell::max_errors)
      errors.push_back(text);
  });
}

gui_error_front::continue_answer gui_error_front::ask_continue(const std::string& text)
{
  continue_answer answer;
  gui::run_on_gui_thread([&] {
    if (QApplication::instance() == nullptr)
      return;
    dlg_error_continue dialog(QString::fromStdString(text), shell_title(), owner());
    dialog.setWindowModality(Qt::ApplicationModal);
    answer.abort = dialog.exec() == dlg_error_continue::abort_id;
    answer.do_not_show = dialog.do_not_show();
  });
  return answer;
}

int gui_error_front::show_internal_error(const std::string& text)
{
  int result = dlg_error_ex::ok_id;
  gui::run_on_gui_thread([&] {
    if (QApplication::instance() == nullptr)
      return;
    dlg_error_ex dialog(QString::fromStdString(text), shell_title(), owner());
    dialog.setWindowModality(Qt::ApplicationModal);
    result = dialog.exec();
  });
  return result;
}

report_answer gui_error_front::report(std::uint32_t level, const std::string& text, bool quiet)
{
  if (level >= 2) {
    show_internal_error(text);
    return report_answer::end_program;
  }
  add_error(text);
  if (quiet)
    return report_answer::go_on;
  if (level == 1) {
    wizard_shell::error(text);
    return report_answer::go_on;
  }
  const continue_answer answer = ask_continue(text);
  if (answer.abort)
    return report_answer::abort_run;
  return answer.do_not_show ? report_answer::go_on_quietly : report_answer::go_on;
}
