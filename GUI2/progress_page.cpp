// The progress page. The 200 ms poll timer is started here, on the GUI thread,
// before the worker exists, so a worker that never starts still leads to the
// finish page, and the timer is set once only (the shell's rule).
#include "GUI2/progress_page.h"

#include "GUI2/wizard_pages.h"
#include "GUI2/wizard_shell.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "common/err_handler.h"
#include "common/qvt_converter.h"
#include "common/run_stop.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include <cmath>

std::uint32_t progress_percent(std::int32_t entries, std::int32_t entries_done, std::uint64_t records,
                               std::uint64_t records_done)
{
  if (entries <= 0 || entries_done < 0)
    return 0;
  const auto total = static_cast<std::uint64_t>(entries);
  std::uint64_t percent = static_cast<std::uint64_t>(entries_done) * 100 / total;
  if (records != 0)
    percent += records_done * 100 / records / total;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(percent, UINT32_MAX));
}

std::uint32_t apply_phase_percent(std::uint32_t ticks)
{
  return static_cast<std::uint32_t>(std::atan(ticks / 10.0) * 100.0 / std::asin(1.0));
}

progress_page::progress_page(qorvant_converter& converter)
    : wizard_page(page_progress, wizb_none, psp_has_help), converter_(converter), thread_(converter)
{
  setObjectName(QStringLiteral("progress_page"));
  set_header(QStringLiteral("Step 5 of 5"), QStringLiteral("Database conversion is in progress"));
  auto* page = new QVBoxLayout(this);
  page->addWidget(new QLabel(
      QStringLiteral("Database conversion is in progress. Please wait until the wizard completes")));
  page->addWidget(new QLabel(QStringLiteral("converting your MySQL database into MS Excel spreadsheet.")));
  page->addSpacing(16);
  status_ = new QLabel;
  set_control_id(*status_, 1323);
  // A long query name is cut by the label, not by a buffer.
  status_->setMinimumWidth(1);
  status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  page->addWidget(status_);
  bar_ = new QProgressBar;
  set_control_id(*bar_, 1321);
  bar_->setRange(0, 100);
  bar_->setValue(0);
  page->addWidget(bar_);
  page->addStretch();

  start_ = [](run_thread& thread) { thread.start(); };
  open_help_ = [] { wizard_shell::display_help(); };
}

progress_page::~progress_page()
{
  // Stopped here, while the page is still whole: no tick may reach it while the
  // wait runs the GUI thread's events.
  if (thread_.is_running()) {
    if (wizard_shell::exists())
      wizard_shell::instance().kill_timer();
    thread_.stop_and_wait();
  }
}

int progress_page::page_init()
{
  tk_log_message(2, "progress_page::page_init");
  set_wizard_buttons(wizb_none);
  bar_->setValue(0);
  status_->clear();
  wizard_shell& shell = wizard_shell::instance();
  if (!shell.timer_running())
    shell.set_timer(wizard_shell::progress_tick_ms);
  // One run per wizard: the page cannot be entered twice, but its run is started once only anyway.
  if (started_)
    return 1;
  started_ = true;
  // The finish page reports this run alone.
  shell.errors.clear();
  try {
    start_(thread_);
  } catch (const tk_exception& e) {
    // Reported (box and error list); the next tick goes on to the finish page.
    start_failed_ = true;
    if (error_handler::exists())
      error_handler::instance().handle(e, true);
    else
      wizard_shell::error(e.get_message());
  }
  return 1;
}

bool progress_page::run_over() const
{
  if (start_failed_)
    return true;
  return converter_.finished.load(std::memory_order_acquire) && !thread_.is_running();
}

void progress_page::on_timer()
{
  const std::uint32_t percent =
      progress_percent(converter_.entry_count.load(), converter_.tables_done.load(),
                       converter_.record_count.load(), converter_.records_done.load());
  // The finish page would come up under the exit question, which then asks
  // about a wizard that has moved on: the answer comes first.
  if (run_over() && !asking_) {
    wizard_shell::instance().kill_timer();
    wizard_shell::instance().go_to(page_finish);
    return;
  }
  if (percent < 100) {
    bar_->setValue(static_cast<int>(percent));
    const std::wstring name = converter_.get_current_name();
    status_->setText(name.empty() ? QString()
                                  : QStringLiteral("Processing table '%1'").arg(QString::fromStdWString(name)));
    return;
  }
  status_->setText(QStringLiteral("Applying format settings"));
  bar_->setValue(static_cast<int>(apply_phase_percent(apply_ticks_)));
  ++apply_ticks_;
}

bool progress_page::on_cancel()
{
  // While the question is up the run reads on, but it does not put its new
  // workbook in place: the answer decides whether it may replace the old one.
  const bool held = thread_.is_running() && run_stop::hold_commit();
  asking_ = true;
  const bool leave = wizard_page::on_cancel();
  asking_ = false;
  if (!leave) {
    if (held)
      run_stop::release_commit();
    return false;
  }
  // Yes closes the wizard, whatever the run did meanwhile. The window goes at
  // once; the run unwinds behind it. Only a run that was putting its workbook
  // in place before the question came finishes that first.
  wizard_shell& shell = wizard_shell::instance();
  shell.kill_timer();
  shell.hide();
  if (thread_.is_running()) {
    thread_.request_stop();
    thread_.wait();
  }
  // A run that ended on its own while the question was up left the hold.
  if (held)
    run_stop::release_commit();
  return true;
}

void progress_page::on_help()
{
  open_help_();
}

std::unique_ptr<wizard_page> make_progress_page(qorvant_converter& converter)
{
  return std::make_unique<progress_page>(converter);
}
