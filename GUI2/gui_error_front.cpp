// Error reports in the wizard. Dialogs are application-modal because a report
// from the converting thread has no window of its own to belong to, and the
// wizard must not be used while it waits for the answer.
#include "GUI2/gui_error_front.h"

#include "GUI2/error_dialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

#include <cstdlib>

void run_on_gui_thread(const std::function<void()>& function)
{
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr || QThread::currentThread() == app->thread()) {
    function();
    return;
  }
  QMetaObject::invokeMethod(app, [&function] { function(); }, Qt::BlockingQueuedConnection);
}

void end_wizard(const qvt_process_exit& exit)
{
  std::_Exit(exit.code & 0xFF);
}

gui_error_front::gui_error_front(title_source title, owner_source owner)
    : title_(std::move(title)), owner_(std::move(owner))
{
}

void gui_error_front::add_error(const std::string& text)
{
  const std::lock_guard lock(mutex_);
  if (errors_.size() < max_errors)
    errors_.push_back(text);
}

std::vector<std::string> gui_error_front::errors() const
{
  const std::lock_guard lock(mutex_);
  return errors_;
}

void gui_error_front::clear_errors()
{
  const std::lock_guard lock(mutex_);
  errors_.clear();
}

QString gui_error_front::title() const
{
  return title_ ? title_() : QString();
}

QWidget* gui_error_front::owner() const
{
  return owner_ ? owner_() : nullptr;
}

gui_error_front::continue_answer gui_error_front::ask_continue(const std::string& text)
{
  continue_answer answer;
  run_on_gui_thread([&] {
    if (QApplication::instance() == nullptr)
      return;
    dlg_error_continue dialog(QString::fromStdString(text), title(), owner());
    dialog.setWindowModality(Qt::ApplicationModal);
    answer.abort = dialog.exec() == dlg_error_continue::abort_id;
    answer.do_not_show = dialog.do_not_show();
  });
  return answer;
}

void gui_error_front::show_error(const std::string& text)
{
  run_on_gui_thread([&] {
    if (QApplication::instance() == nullptr)
      return;
    QMessageBox box(QMessageBox::Critical, error_caption(title()), QString::fromStdString(text),
                    QMessageBox::Ok, owner());
    box.setObjectName(QStringLiteral("error_box"));
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
  });
}

int gui_error_front::show_internal_error(const std::string& text)
{
  int result = dlg_error_ex::ok_id;
  run_on_gui_thread([&] {
    if (QApplication::instance() == nullptr)
      return;
    dlg_error_ex dialog(QString::fromStdString(text), title(), owner());
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
    show_error(text);
    return report_answer::go_on;
  }
  const continue_answer answer = ask_continue(text);
  if (answer.abort)
    return report_answer::abort_run;
  return answer.do_not_show ? report_answer::go_on_quietly : report_answer::go_on;
}
