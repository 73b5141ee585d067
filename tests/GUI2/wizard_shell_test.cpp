// The page stack on a toy three-page wizard: navigation codes, skipping, the
// buttons a page sets, Cancel's question, help, the timer, the log box and the
// boxes' captions, and what happens to a hook that throws.
#include "GUI2/error_dialogs.h"
#include "GUI2/file_dialog.h"
#include "GUI2/wizard_page.h"
#include "GUI2/wizard_shell.h"
#include "TK/tk_exception.h"
#include "common/qvt_converter.h"
#include "gui_test_support.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>

namespace {

class toy_page : public wizard_page {
public:
  toy_page(int id, unsigned buttons, unsigned flags, const QString& name) : wizard_page(id, buttons, flags)
  {
    set_header(name, QStringLiteral("A page of the toy wizard"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(name, this));
  }

  int page_init() override
  {
    ++inits;
    if (buttons_in_init)
      set_wizard_buttons(*buttons_in_init);
    return init_result;
  }
  int on_next() override
  {
    if (throw_on_next)
      throw std::runtime_error("the next step failed");
    return next_code;
  }
  int on_back() override { return back_code; }
  void on_help() override { ++helps; }
  void on_timer() override
  {
    ++ticks;
    ticked_on_gui_thread = QThread::currentThread() == qApp->thread();
  }

  int init_result = 1;
  int next_code = go_adjacent;
  int back_code = go_adjacent;
  bool throw_on_next = false;
  std::optional<unsigned> buttons_in_init;
  int inits = 0;
  int helps = 0;
  std::atomic<int> ticks{0};
  std::atomic<bool> ticked_on_gui_thread{false};
};

class ToyWizard : public testing::Test {
protected:
  ToyWizard()
      : shell(QStringLiteral("Tabloom 5.5"), QIcon(), QPixmap(), QPixmap()),
        one(201, wizb_next, psp_has_help, QStringLiteral("One")),
        two(202, wizb_back | wizb_next, psp_has_help, QStringLiteral("Two")),
        three(203, wizb_back | wizb_finish, 0, QStringLiteral("Three"))
  {
    shell.add_page(one);
    shell.add_page(two);
    shell.add_page(three);
  }
  ~ToyWizard() override
  {
    if (shell.timer_running())
      shell.kill_timer();
  }

  void start()
  {
    shell.start();
    shell.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&shell));
  }
  int current() const { return shell.current_page() == nullptr ? 0 : shell.current_page()->id(); }
  QPushButton* button(const char* name) { return shell.findChild<QPushButton*>(QLatin1String(name)); }

  wizard_shell shell;
  toy_page one;
  toy_page two;
  toy_page three;
};

TEST_F(ToyWizard, NextAndBackFollowTheirCodes)
{
  start();
  save_screen(shell, QStringLiteral("toy_page_one"));
  struct step {
    bool next;
    int code;
    int from;
    int to;
  };
  const step steps[] = {
      {true, wizard_page::stay, 201, 201},       {true, wizard_page::go_adjacent, 201, 202},
      {false, wizard_page::stay, 202, 202},      {false, wizard_page::go_adjacent, 202, 201},
      {true, 203, 201, 203},                     {false, 201, 203, 201},
      {true, 999, 201, 201},  // no such page: the move is refused
  };
  for (const step& s : steps) {
    ASSERT_EQ(current(), s.from);
    toy_page& page = s.from == 201 ? one : s.from == 202 ? two : three;
    (s.next ? page.next_code : page.back_code) = s.code;
    if (s.next)
      shell.press_next();
    else
      shell.press_back();
    EXPECT_EQ(current(), s.to) << (s.next ? "next" : "back") << " with " << s.code << " from " << s.from;
  }
  shell.go_to(203);
  save_screen(shell, QStringLiteral("toy_page_three"));
}

TEST_F(ToyWizard, APageThatDeclinesIsSkippedInTheDirectionOfTravel)
{
  start();
  two.init_result = 0;
  shell.press_next();
  EXPECT_EQ(current(), 203);
  shell.press_back();
  EXPECT_EQ(current(), 201);
  EXPECT_EQ(two.inits, 2);

  // With nothing left to accept, the page stays where it is.
  three.init_result = 0;
  shell.press_next();
  EXPECT_EQ(current(), 201);
  EXPECT_TRUE(button("c12324")->isEnabled());
}

TEST_F(ToyWizard, ButtonsSetInPageInitWinOverThePagesOwn)
{
  start();
  EXPECT_FALSE(button("c12323")->isEnabled());  // Back
  EXPECT_TRUE(button("c12324")->isEnabled());   // Next

  two.buttons_in_init = wizb_none;
  shell.press_next();
  ASSERT_EQ(current(), 202);
  EXPECT_FALSE(button("c12323")->isEnabled());
  EXPECT_FALSE(button("c12324")->isEnabled());
  EXPECT_TRUE(button("c2")->isEnabled());  // only Cancel acts
  save_screen(shell, QStringLiteral("toy_page_two"));

  shell.go_to(203);
  EXPECT_TRUE(button("c12325")->isVisible());  // Finish in Next's place
  EXPECT_FALSE(button("c12324")->isVisible());
}

TEST_F(ToyWizard, CancelAsksWithNoAsTheDefault)
{
  start();
  seen_box seen;
  answer_next_box(seen, Qt::Key_Return, QStringLiteral("exit_question"));
  shell.press_cancel();
  ASSERT_TRUE(seen.shown);
  EXPECT_EQ(seen.caption, QStringLiteral("Tabloom 5.5 Question"));
  EXPECT_EQ(seen.text, QStringLiteral("Are you sure you want to exit the wizard?"));
  EXPECT_EQ(seen.default_button, QStringLiteral("No"));
  EXPECT_TRUE(shell.isVisible());  // Enter chose No
  EXPECT_EQ(current(), 201);

  // Escape in the wizard asks the same; Yes closes it as cancelled.
  seen = {};
  when_modal_shows([](QWidget& box) {
    auto* yes = qobject_cast<QMessageBox*>(&box)->button(QMessageBox::Yes);
    QTest::mouseClick(yes, Qt::LeftButton);
  });
  QTest::keyClick(&shell, Qt::Key_Escape);
  EXPECT_FALSE(shell.isVisible());
  EXPECT_EQ(shell.result(), wizard_shell::result_cancel);
}

TEST_F(ToyWizard, FinishPageIgnoresEscapeWhenCancelIsOff)
{
  start();
  shell.go_to(203);
  shell.enable_button(wizard_cancel_button, false);
  QTest::keyClick(&shell, Qt::Key_Escape);
  EXPECT_TRUE(shell.isVisible());
  shell.close();  // the close box finishes
  EXPECT_FALSE(shell.isVisible());
  EXPECT_EQ(shell.result(), wizard_shell::result_finish);
}

TEST_F(ToyWizard, F1AndTheHelpButtonReachThePagesHelp)
{
  start();
  QApplication::setActiveWindow(&shell);
  QTest::keyClick(button("c12324"), Qt::Key_F1);
  QTest::mouseClick(button("c9"), Qt::LeftButton);
  EXPECT_EQ(one.helps, 2);

  // A page without help: the button is off, F1 still reaches the page.
  shell.go_to(203);
  EXPECT_FALSE(button("c9")->isEnabled());
  QTest::mouseClick(button("c9"), Qt::LeftButton);
  QTest::keyClick(button("c12325"), Qt::Key_F1);
  EXPECT_EQ(three.helps, 1);
}

TEST_F(ToyWizard, AHookThatThrowsIsReportedAndTheWizardStays)
{
  start();
  one.throw_on_next = true;
  seen_box seen;
  answer_next_box(seen, Qt::Key_Return, QStringLiteral("error_box"));
  shell.press_next();
  EXPECT_TRUE(seen.shown);
  EXPECT_EQ(seen.caption, QStringLiteral("Tabloom 5.5 Error"));
  EXPECT_EQ(seen.text, QStringLiteral("the next step failed"));
  EXPECT_EQ(current(), 201);
}

TEST_F(ToyWizard, TheTimerRunsOnceAndTicksOnlyTheCurrentPage)
{
  start();
  shell.press_next();
  // Started from a worker, as a run does it; the ticks arrive on the GUI thread.
  std::thread worker([] { wizard_shell::start_progress_timer(); });
  worker.join();
  EXPECT_THROW(shell.set_timer(10), tk_mail_assertion);
  shell.kill_timer();
  shell.set_timer(10);
  ASSERT_TRUE(wait_until([this] { return two.ticks >= 2; }));
  EXPECT_TRUE(two.ticked_on_gui_thread);
  EXPECT_EQ(one.ticks, 0);
  EXPECT_EQ(three.ticks, 0);

  shell.kill_timer();
  const int ticks = two.ticks;
  QTest::qWait(50);
  EXPECT_EQ(two.ticks, ticks);
  shell.kill_timer();  // a second kill does nothing
  shell.set_timer(10);  // and a new run may start it again
  EXPECT_TRUE(shell.timer_running());
}

TEST_F(ToyWizard, TheLogGoesToTheCurrentPagesBoxOnly)
{
  auto* box = new QPlainTextEdit(&two);
  box->setObjectName(QStringLiteral("c1016"));
  start();
  shell.write_log(L"before ");  // page one has no box
  shell.press_next();
  // The worker waits for the GUI thread, which must keep its loop running meanwhile.
  std::atomic<bool> written{false};
  std::thread worker([this, &written] {
    shell.write_log(L"from the run\r\n");
    written = true;
  });
  EXPECT_TRUE(wait_until([&written] { return written.load(); }));
  worker.join();
  shell.write_log(L"last");
  EXPECT_EQ(box->toPlainText().toStdString(), "from the run\nlast");
}

TEST(WizardBoxes, CaptionsNameTheWizardOnlyOnceItHasShown)
{
  seen_box seen;
  answer_next_box(seen, Qt::Key_Return);
  wizard_shell::error(std::string("no shell yet"));
  EXPECT_EQ(seen.caption, QStringLiteral("Error"));

  wizard_shell shell(QStringLiteral("Tabloom 5.5"), QIcon(), QPixmap(), QPixmap());
  toy_page page(201, wizb_next, 0, QStringLiteral("One"));
  shell.add_page(page);
  seen = {};
  answer_next_box(seen, Qt::Key_Return);
  wizard_shell::message(L"not shown yet");
  EXPECT_EQ(seen.caption, QStringLiteral("Message"));

  shell.start();
  shell.show();
  struct box_case {
    const char* caption;
    const char* screen;
    std::function<void()> show;
  };
  const box_case cases[] = {
      {"Tabloom 5.5 Error", "error_box_from_run", [] { wizard_shell::error(L"An error"); }},
      {"Tabloom 5.5 Message", "message_box", [] { wizard_shell::message(L"A message"); }},
      {"Tabloom 5.5 Question", "question_box", [] { wizard_shell::question(L"A question?", 0); }},
  };
  for (const box_case& c : cases) {
    seen = {};
    answer_next_box(seen, Qt::Key_Return, QLatin1String(c.screen));
    // From a worker: the box still shows on the GUI thread.
    std::thread worker(c.show);
    while (!seen.shown)
      QTest::qWait(10);
    worker.join();
    EXPECT_EQ(seen.caption, QLatin1String(c.caption));
  }
  // Without the No-default flag, Enter is Yes.
  answer_next_box(seen, Qt::Key_Return);
  EXPECT_TRUE(wizard_shell::question(L"Go on?", 0));
}

TEST(WizardBoxes, AreWideEnoughForTheirTextsOwnLinesAndTheirCaption)
{
  wizard_shell shell(QStringLiteral("Tabloom 5.5"), QIcon(), QPixmap(), QPixmap());
  toy_page page(201, wizb_next, 0, QStringLiteral("One"));
  shell.add_page(page);
  shell.start();
  shell.show();
  const std::wstring access_denied =
      L"Access denied. Verify the user name and password are correct, and you have\n"
      L"the necessary privileges to connect to the target MySQL server.";
  struct box_case {
    const char* screen;
    std::function<void()> show;
  };
  const box_case cases[] = {
      {"box_fit_two_long_lines", [&] { wizard_shell::error(access_denied); }},
      {"box_fit_open_on_exit",
       [] {
         wizard_shell::message(L"Select the checkbox below to open the resulting file\n"
                               L"with MS Excel (it must be installed on your system).");
       }},
      {"box_fit_short_message", [] { wizard_shell::message(L"The query is correct."); }},
      {"box_fit_short_question", [] { wizard_shell::question(L"Go on?", 0); }},
      {"box_fit_continue_dialog",
       [&] {
         dlg_error_continue dialog(QString::fromStdWString(access_denied), shell.title(), &shell);
         dialog.exec();
       }},
      {"box_fit_continue_dialog_wrapped_line",
       [&] {
         // The report of a table over the sheet's last row: one line longer than a box may be wide.
         dlg_error_continue dialog(
             QStringLiteral("big_table_with_a_long_name: The worksheet is full: only the first 65535 of 1000000 "
                            "records were written (Excel 2000 holds at most 65535 data rows per worksheet)"),
             shell.title(), &shell);
         dialog.exec();
       }},
      {"box_fit_internal_error_dialog",
       [&] {
         dlg_error_ex dialog(QStringLiteral("Internal error: xlsx_she 44"), shell.title(), &shell);
         dialog.exec();
       }},
  };
  for (const box_case& c : cases) {
    SCOPED_TRACE(c.screen);
    std::string problem = "not shown";
    when_modal_shows([&](QWidget& box) {
      problem = box_fit_problem(box);
      save_screen_with_box(shell, box, QLatin1String(c.screen));
      if (auto* dialog = qobject_cast<dlg_error_ex*>(&box))
        dialog->done(dlg_error_ex::ok_id);
      else
        QTest::keyClick(&box, Qt::Key_Return);
    });
    c.show();
    EXPECT_EQ(problem, "");
  }
}

TEST(SaveDialog, AppendsTheDefaultExtensionUnlessThePathHoldsIt)
{
  struct extension_case {
    const wchar_t* chosen;
    const wchar_t* extension;
    const wchar_t* result;
  };
  const extension_case cases[] = {
      {L"/d/a", L"xls", L"/d/a.xls"},
      {L"/d/a.xlsx", L"xls", L"/d/a.xlsx"},   // holds ".xls"
      {L"/d/a.XLS", L".xls", L"/d/a.XLS.xls"},  // compared with case
      {L"/d/a.xls", L"xlsx", L"/d/a.xls.xlsx"},
      {L"/d/x.xlsx.bak", L".xlsx", L"/d/x.xlsx.bak"},
  };
  for (const extension_case& c : cases) {
    set_file_chooser([&c](const file_dialog_request&) { return QString::fromWCharArray(c.chosen); });
    save_file_dialog dialog(nullptr, L"MS Excel Files (.xls;.xlsx)|*.xls;*.xlsx|All Files (*.*)|*.*|",
                            L"Select destination MS Excel file", L"/srv/out/shop.xlsx", c.extension);
    ASSERT_TRUE(dialog.show());
    EXPECT_EQ(dialog.path(), c.result) << QString::fromWCharArray(c.chosen).toStdString();
    EXPECT_EQ(dialog.request().folder, QStringLiteral("/srv/out"));
    EXPECT_EQ(dialog.request().file_name, QStringLiteral("shop"));
    EXPECT_EQ(dialog.request().filter,
              QStringLiteral("MS Excel Files (.xls;.xlsx) (*.xls *.xlsx);;All Files (*.*) (*)"));
  }
  set_file_chooser([](const file_dialog_request&) { return QString(); });
  save_file_dialog cancelled(nullptr, L"", L"", L"", L"qvt");
  EXPECT_FALSE(cancelled.show());
  // A path without a folder starts in the user's current folder, not the program's.
  EXPECT_EQ(cancelled.request().folder, QDir::currentPath());
  EXPECT_THROW(save_file_dialog(nullptr, L"", L"", L"", nullptr), tk_mail_assertion);
  set_file_chooser({});
}

} // namespace
