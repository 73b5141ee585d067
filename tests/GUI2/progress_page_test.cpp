// The progress page: its percent over every entry, its status line and creeping
// bar, the move to the finish page only once the run is over, a worker that
// cannot start, whole runs against the test server read back with openpyxl,
// runs that end without a workbook, and Cancel in the middle of a long run,
// while the workbook waits for the answer, and once the workbook is being put
// in place.
#include "wizard_run_support.h"

#include "TK/tk_exception.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

using namespace wizard_run_test;

namespace {

TEST(ProgressPercent, CountsEveryEntryAndTheCurrentEntrysRecords)
{
  const struct {
    std::int32_t entries, done;
    std::uint64_t records, records_done;
    std::uint32_t percent;
  } cases[] = {
      {0, 0, 0, 0, 0},          // nothing counted yet
      {0, 3, 100, 50, 0},       // a run of nothing stays at 0
      {2, 1, 100, 50, 75},      // one done, the second half copied
      {4, 2, 0, 0, 50},         // two queries done of two queries and two tables
      {3, 1, 3, 1, 44},         // 33 + 11: both divisions truncate
      {1, 0, 1000000, 999999, 99},
      {2, 2, 0, 0, 100},        // every entry done: the workbook is being written
  };
  for (const auto& c : cases)
    EXPECT_EQ(progress_percent(c.entries, c.done, c.records, c.records_done), c.percent)
        << c.entries << " " << c.done << " " << c.records << " " << c.records_done;

  const std::pair<std::uint32_t, std::uint32_t> curve[] = {{0, 0}, {1, 6}, {10, 50}, {20, 70}, {30, 79}, {1000, 99}};
  for (const auto& [ticks, percent] : curve)
    EXPECT_EQ(apply_phase_percent(ticks), percent) << ticks;
}

TEST(ProgressPage, ShowsTheEntryThenTheApplyPhaseAndMovesOnOnceFinished)
{
  wizard_run run;
  run.progress.set_thread_starter([](run_thread&) {});  // the counters are set by hand
  run.start();
  ASSERT_EQ(run.current_id(), page_progress);
  EXPECT_TRUE(run.shell.timer_running());
  auto& bar = run.control<QProgressBar>(run.progress, 1321);
  auto& status = run.control<QLabel>(run.progress, 1323);

  // Before the run has counted its entries: 0 and no status.
  run.progress.on_timer();
  EXPECT_EQ(bar.value(), 0);
  EXPECT_EQ(status.text(), QString());

  run.converter.entry_count = 2;
  run.converter.tables_done = 1;
  run.converter.record_count = 100;
  run.converter.records_done = 50;
  run.converter.name_entry(L"orders");
  run.progress.on_timer();
  EXPECT_EQ(bar.value(), 75);
  EXPECT_EQ(status.text(), QStringLiteral("Processing table 'orders'"));

  run.converter.tables_done = 2;
  std::vector<int> bars;
  for (int i = 0; i <= 30; ++i) {
    run.progress.on_timer();
    bars.push_back(bar.value());
  }
  EXPECT_EQ(status.text(), QStringLiteral("Applying format settings"));
  EXPECT_EQ(bars[0], 0);
  EXPECT_EQ(bars[10], 50);
  EXPECT_EQ(bars[30], 79);

  // Finished below 100 %: the next tick of the shell's own timer moves on.
  run.converter.tables_done = 1;
  run.converter.finished = true;
  ASSERT_TRUE(wait_until([&] { return run.at_finish(); }, 2000));
  EXPECT_FALSE(run.shell.timer_running());
}

TEST(ProgressPage, AFinishedRunWaitsForItsWorkerToEnd)
{
  sql_admin admin;
  scratch_database db(admin, "_held");
  db.run("CREATE TABLE t (id INT)");
  db.run("INSERT INTO t VALUES (1), (2)");
  temp_dir dir;
  wizard_run run;
  run.set_run(db.name(), dir.file("held.xlsx"), xls_format_excel_2010);
  run.converter.selected_tables = {L"t"};
  // The run's last call is held, after the workbook set finished.
  struct holding_front_end : wizard_front_end {
    std::atomic<bool> release{false};
    std::atomic<bool> holding{false};
    void run_finished(bool reached_end) override
    {
      holding = true;
      while (!release)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      wizard_front_end::run_finished(reached_end);
    }
  } holding;
  run.converter.set_front_end(holding);
  run.start();
  ASSERT_TRUE(wait_until([&] { return holding.holding.load(); }, 20000));
  EXPECT_TRUE(run.converter.finished.load());
  QTest::qWait(3 * static_cast<int>(wizard_shell::progress_tick_ms));
  EXPECT_EQ(run.current_id(), page_progress);
  holding.release = true;
  EXPECT_TRUE(wait_until([&] { return run.at_finish(); }, 5000));
  EXPECT_FALSE(run.progress.worker().is_running());
}

TEST(ProgressPage, AWorkerThatCannotStartIsReportedAndLeadsToTheFinishPage)
{
  wizard_run run;
  const std::string failure = "Cannot start a worker thread: Resource temporarily unavailable";
  run.progress.set_thread_starter([&](run_thread&) { throw tk_exception(failure, tk_level_error); });
  seen_box box;
  answer_next_box(box, Qt::Key_Return);
  run.start();
  EXPECT_TRUE(box.shown);
  EXPECT_EQ(box.text.toStdString(), failure);
  ASSERT_TRUE(wait_until([&] { return run.at_finish(); }, 2000));
  EXPECT_EQ(run.control<QLabel>(run.finish, 1314).text(), finish_page::error_text());
  EXPECT_EQ(run.control<QPlainTextEdit>(run.finish, 1016).toPlainText().toStdString(), failure + "\n\n");
}

// Two tables and a query, or the same with two queries the server refuses.
TEST(WizardRun, ARunWritesTheWorkbookAndTheFinishPageTellsHowItWent)
{
  sql_admin admin;
  scratch_database db(admin, "_run");
  db.run("CREATE TABLE customers (id INT, name VARCHAR(20))");
  db.run("INSERT INTO customers VALUES (1, 'Ann'), (2, 'Bo')");
  db.run("CREATE TABLE orders (id INT, amount DOUBLE)");
  db.run("INSERT INTO orders VALUES (7, 2.5)");
  const struct {
    const char* what;
    bool with_errors;
  } cases[] = {{"success", false}, {"two refused queries", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    temp_dir dir;
    const std::string book = dir.file("shop.xlsx");
    write_file(book, "the previous workbook");
    wizard_run run;
    run.set_run(db.name(), book, xls_format_excel_2010);
    run.converter.selected_tables = {L"customers", L"orders"};
    run.converter.selected_queries = {{L"big orders", L"SELECT id FROM orders WHERE amount > 1"}};
    if (c.with_errors)
      run.converter.selected_queries = {{L"q1", L"SELECT * FROM no_such_table"},
                                        {L"q2", L"SELECT nonsense FROM orders"}};
    run.converter.open_on_exit = true;
    std::vector<QUrl> opened;
    run.finish.set_url_opener([&](const QUrl& url) {
      opened.push_back(url);
      return true;
    });
    report_answerer answers;
    run.start();
    ASSERT_TRUE(wait_until([&] { return run.at_finish(); }, 30000));
    EXPECT_FALSE(run.progress.worker().is_running());
    EXPECT_FALSE(run.shell.timer_running());

    using workbook_check::expected_sheet;
    std::vector<expected_sheet> sheets;
    if (!c.with_errors)
      sheets.push_back({"big orders", {{"id"}, {7.0}}});
    sheets.push_back({"customers", {{"id", "name"}, {1.0, "Ann"}, {2.0, "Bo"}}});
    sheets.push_back({"orders", {{"id", "amount"}, {7.0, 2.5}}});
    EXPECT_EQ(workbook_check::workbook_differences(book, sheets), "");

    QWidget& finish = run.finish;
    auto& errors = run.control<QPlainTextEdit>(finish, 1016);
    auto& open = run.control<QCheckBox>(finish, 1225);
    if (!c.with_errors) {
      EXPECT_TRUE(answers.texts.empty());
      EXPECT_EQ(run.control<QLabel>(finish, 1314).text(), finish_page::success_text());
      EXPECT_FALSE(errors.isVisible());
      EXPECT_TRUE(open.isVisible());
      EXPECT_TRUE(run.control<QLabel>(finish, 1320).isVisible());
      save_screen(run.shell, QStringLiteral("finish"));
    } else {
      ASSERT_EQ(answers.texts.size(), 2u);
      EXPECT_TRUE(answers.texts[0].startsWith(QStringLiteral("q1: "))) << answers.texts[0].toStdString();
      EXPECT_TRUE(answers.texts[1].startsWith(QStringLiteral("q2: "))) << answers.texts[1].toStdString();
      EXPECT_EQ(run.control<QLabel>(finish, 1314).text(), finish_page::error_text());
      EXPECT_TRUE(errors.isVisible());
      EXPECT_TRUE(errors.isReadOnly());
      EXPECT_EQ(errors.toPlainText(), answers.texts[0] + "\n\n" + answers.texts[1] + "\n\n");
      EXPECT_FALSE(open.isVisible());
      EXPECT_FALSE(run.control<QLabel>(finish, 1320).isVisible());
      save_screen(run.shell, QStringLiteral("finish_errors"));
    }
    // The box keeps its tick when hidden, and Finish opens what the run wrote.
    EXPECT_TRUE(open.isChecked());
    run.shell.press_finish();
    EXPECT_EQ(opened, std::vector<QUrl>{QUrl::fromLocalFile(QString::fromStdString(book))});
  }
}

// TMPDIR pointed at a folder of the test's own while it lives.
class private_tmpdir {
public:
  explicit private_tmpdir(const std::string& folder)
  {
    if (const char* old = std::getenv("TMPDIR"))
      old_ = old;
    std::filesystem::create_directory(folder);
    ::setenv("TMPDIR", folder.c_str(), 1);
  }
  ~private_tmpdir()
  {
    if (old_)
      ::setenv("TMPDIR", old_->c_str(), 1);
    else
      ::unsetenv("TMPDIR");
  }

private:
  std::optional<std::string> old_;
};

// Yes closes the wizard also when the run ended while the question was up, and
// the finish page never comes up under the question.
TEST(ProgressPage, YesClosesTheWizardAlsoAfterTheRunReachedItsEnd)
{
  wizard_run run;
  run.progress.set_thread_starter([](run_thread&) {});  // the run's ending is set by hand
  run.start();
  run.converter.reached_end = true;
  run.converter.finished.store(true);
  int page_under_question = 0;
  when_modal_shows([&](QWidget& modal) {
    run.progress.on_timer();
    page_under_question = run.current_id();
    qobject_cast<QMessageBox*>(&modal)->button(QMessageBox::Yes)->click();
  });
  run.shell.press_cancel();
  EXPECT_EQ(page_under_question, page_progress);
  EXPECT_FALSE(run.shell.isVisible());
  EXPECT_EQ(run.shell.result(), wizard_shell::result_cancel);
}

// The formats of the runs the Cancel tests stop. Excel 5.0's sheets fill
// before a Cancel can meet their rows: its run splits, so that the rows go on
// into numbered workbooks, none of which may be left.
struct cancelled_run {
  const char* what;
  std::uint32_t format;
  const char* destination;
  bool split;
};
constexpr cancelled_run cancelled_runs[] = {{".xlsx", xls_format_excel_2010, "shop.xlsx", false},
                                            {"Excel 2000", xls_format_excel_2000, "shop.xls", false},
                                            {"Excel 5.0", xls_format_excel_50, "shop.xls", true}};

TEST(WizardRun, CancelDuringALongRunHidesTheWizardStopsTheWorkerAndKeepsTheOldWorkbook)
{
  sql_admin admin;
  scratch_database db(admin, "_cancel");
  db.run("CREATE TABLE a_small (id INT)");
  db.run("INSERT INTO a_small VALUES (1), (2), (3)");
  db.run("CREATE TABLE big (id INT PRIMARY KEY, label VARCHAR(60), amount DOUBLE)");
  db.run("INSERT INTO big SELECT seq, CONCAT('row number ', seq, ' of the cancel test'), seq * 1.5"
         " FROM seq_1_to_1000000");
  for (const auto& c : cancelled_runs) {
    SCOPED_TRACE(c.what);
    temp_dir dir;
    const private_tmpdir tmp(dir.file("tmp"));
    std::filesystem::create_directory(dir.file("out"));
    const std::string book = dir.file("out/") + c.destination;
    const std::string old = std::string("previous workbook\0bytes", 23);
    write_file(book, old);

    wizard_run run;
    run.set_run(db.name(), book, c.format);
    run.converter.split_data = c.split;
    run.converter.selected_tables = {L"a_small", L"big"};
    auto& bar = run.control<QProgressBar>(run.progress, 1321);
    auto& status = run.control<QLabel>(run.progress, 1323);

    // The wizard runs modally, as in the program; in the middle of the second
    // table the user presses Cancel and answers Yes.
    QElapsedTimer clock;
    qint64 yes_at = -1;
    qint64 hidden_at = -1;
    qint64 ended_at = -1;
    QString question;
    QTimer watch;
    watch.setInterval(2);
    QObject::connect(&watch, &QTimer::timeout, [&] {
      if (yes_at >= 0 && hidden_at < 0 && !run.shell.isVisible())
        hidden_at = clock.elapsed();
    });
    QTimer user;
    user.setInterval(10);
    QObject::connect(&user, &QTimer::timeout, [&] {
      const bool mid_run = run.converter.get_current_name() == L"big" && run.converter.records_done.load() > 1000 &&
                           bar.value() >= 50 && !status.text().isEmpty();
      if (!mid_run || QApplication::activeModalWidget() != &run.shell)
        return;
      user.stop();
      EXPECT_EQ(status.text(), QStringLiteral("Processing table 'big'"));
      if (c.format == xls_format_excel_2010)
        save_screen(run.shell, QStringLiteral("progress"));
      when_modal_shows([&](QWidget& modal) {
        auto* box = qobject_cast<QMessageBox*>(&modal);
        ASSERT_NE(box, nullptr);
        question = box->text();
        if (c.format == xls_format_excel_2010)
          save_screen(*box, QStringLiteral("exit_question_during_run"));
        yes_at = clock.elapsed();
        box->button(QMessageBox::Yes)->click();
      });
      clock.start();
      watch.start();
      run.shell.press_cancel();
      ended_at = clock.elapsed();
      watch.stop();
    });
    user.start();
    // A run that never reaches the middle ends the test instead of hanging it.
    QTimer::singleShot(60000, &run.shell, [&] {
      if (user.isActive())
        run.shell.done(wizard_shell::result_finish);
    });
    const int result = run.shell.run();
    ASSERT_GE(ended_at, 0) << "the run never reached its second table";

    EXPECT_EQ(result, wizard_shell::result_cancel);
    EXPECT_EQ(question, QStringLiteral("Are you sure you want to exit the wizard?"));
    ASSERT_GE(yes_at, 0);
    EXPECT_FALSE(run.shell.isVisible());
    EXPECT_GE(hidden_at, 0);
    EXPECT_LT(hidden_at - yes_at, 500);
    EXPECT_FALSE(run.progress.worker().is_running());
    EXPECT_LT(ended_at - yes_at, 2000);
    EXPECT_TRUE(run.shell.errors.empty());
    EXPECT_EQ(read_file(book), old);
    EXPECT_EQ(entry_names(dir.file("out")), std::vector<std::string>{c.destination});
    EXPECT_TRUE(std::filesystem::is_empty(dir.file("tmp")));
  }
  // The server goes on writing the stopped runs' rows to their closed sockets
  // until its write timeout, holding the table: end those sessions for the drop.
  for (;;) {
    const std::string id = admin.value("SELECT IFNULL(MIN(ID), 0) FROM information_schema.PROCESSLIST WHERE DB = '" +
                                       db.name() + "' AND ID <> CONNECTION_ID()");
    if (id == "0")
      break;
    try {
      admin.run("KILL " + id);
    } catch (const std::runtime_error&) {
      // It ended meanwhile.
    }
  }
}

// A Cancel that comes once the run is putting its workbook in place: the stop
// is refused, so the run puts its workbook in place, and then the wizard closes.
TEST(WizardRun, CancelOnceTheWorkbookIsBeingPutInPlaceClosesTheWizardOnceTheRunEnds)
{
  sql_admin admin;
  scratch_database db(admin, "_late_cancel");
  db.run("CREATE TABLE t (id INT)");
  db.run("INSERT INTO t SELECT seq FROM seq_1_to_50000");
  for (const auto& c : cancelled_runs) {
    SCOPED_TRACE(c.what);
    temp_dir dir;
    const std::string book = dir.file(c.destination);
    write_file(book, "previous workbook");
    wizard_run run;
    run.set_run(db.name(), book, c.format);
    run.converter.split_data = c.split;
    run.converter.selected_tables = {L"t"};

    // Once rows flow, the test claims the moment of putting the workbook in
    // place, as a run that has reached it does; then the user cancels.
    bool cancelled = false;
    QTimer user;
    user.setInterval(5);
    QObject::connect(&user, &QTimer::timeout, [&] {
      if (run.converter.records_done.load() == 0 || QApplication::activeModalWidget() != &run.shell)
        return;
      user.stop();
      ASSERT_TRUE(run_stop::begin_commit());
      when_modal_shows([](QWidget& modal) { qobject_cast<QMessageBox*>(&modal)->button(QMessageBox::Yes)->click(); });
      run.shell.press_cancel();
      cancelled = true;
    });
    user.start();
    QTimer::singleShot(60000, &run.shell, [&] { run.shell.done(wizard_shell::result_finish); });
    EXPECT_EQ(run.shell.run(), wizard_shell::result_cancel);
    EXPECT_TRUE(cancelled);
    EXPECT_FALSE(run.progress.worker().is_running());
    EXPECT_TRUE(run.shell.errors.empty());
    EXPECT_TRUE(run.converter.reached_end);
    EXPECT_NE(read_file(book), "previous workbook");
    // A split run's numbered workbooks came with it.
    EXPECT_EQ(std::filesystem::exists(dir.file("shop(1).xls")), c.split);
  }
}

// Runs that end without a workbook, in each format: one whose server session
// is killed in the middle of its big table ends on the finish page with the
// one report, one whose only table was dropped since it was picked has nothing
// to write; either way the old workbook stays as it was with nothing of the run
// beside it.
TEST(WizardRun, ARunThatEndsWithoutAWorkbookKeepsTheOldOne)
{
  sql_admin admin;
  scratch_database db(admin, "_lost");
  db.run("CREATE TABLE a_first (id INT)");
  db.run("INSERT INTO a_first VALUES (1)");
  db.run("CREATE TABLE big (id INT PRIMARY KEY, pad CHAR(200))");
  db.run("INSERT INTO big SELECT seq, REPEAT('y', 200) FROM seq_1_to_200000");
  const struct {
    const char* what;
    std::vector<std::wstring> tables;
    bool lost;  // the big table's reading is killed
  } cases[] = {
      {"connection lost", {L"a_first", L"big"}, true},
      {"nothing to write", {L"dropped_since_it_was_picked"}, false},
  };
  for (const auto& c : cases) {
    for (const auto& f : cancelled_runs) {
      SCOPED_TRACE(std::string(c.what) + ", " + f.what);
      temp_dir dir;
      const private_tmpdir tmp(dir.file("tmp"));
      std::filesystem::create_directory(dir.file("out"));
      const std::string book = dir.file("out/") + f.destination;
      const std::string old = std::string("previous workbook\0bytes", 23);
      write_file(book, old);
      wizard_run run;
      run.set_run(db.name(), book, f.format);
      // The .xls runs split, so that the rows flow past the sheet's last row.
      run.converter.split_data = f.format != xls_format_excel_2010;
      run.converter.selected_tables = c.tables;

      session_killer killer("db='" + db.name() + "' AND info = 'SELECT * FROM `big`'", c.lost);
      report_answerer answers;
      run.start();
      const bool finished = wait_until([&] { return run.at_finish(); }, 60000);
      killer.join();
      ASSERT_TRUE(finished);

      EXPECT_EQ(run.converter.reached_end, !c.lost);
      if (c.lost) {
        ASSERT_EQ(answers.texts.size(), 1u);
        EXPECT_TRUE(answers.texts[0].startsWith(QStringLiteral("big: The connection to the MySQL server was lost (")))
            << answers.texts[0].toStdString();
        EXPECT_EQ(run.control<QLabel>(run.finish, 1314).text(), finish_page::error_text());
        EXPECT_EQ(run.control<QPlainTextEdit>(run.finish, 1016).toPlainText(), answers.texts[0] + "\n\n");
      } else {
        EXPECT_TRUE(answers.texts.empty());
      }
      EXPECT_EQ(read_file(book), old);
      EXPECT_EQ(entry_names(dir.file("out")), std::vector<std::string>{f.destination});
      EXPECT_TRUE(std::filesystem::is_empty(dir.file("tmp")));
    }
  }
}

// While the exit question is up the run reads every row but keeps the old
// workbook: Yes then stops it and leaves the old one alone, No lets it put the
// new one in place and reach the finish page.
TEST(WizardRun, TheExitQuestionHoldsTheNewWorkbookBackUntilItIsAnswered)
{
  sql_admin admin;
  scratch_database db(admin, "_held_back");
  db.run("CREATE TABLE a_small (id INT)");
  db.run("INSERT INTO a_small VALUES (1), (2), (3)");
  db.run("CREATE TABLE big (id INT, label VARCHAR(40))");
  db.run("INSERT INTO big SELECT seq, CONCAT('row ', seq) FROM seq_1_to_50000");
  for (const auto& c : cancelled_runs) {
    for (const bool yes : {true, false}) {
      SCOPED_TRACE(std::string(c.what) + (yes ? ", Yes" : ", No"));
      temp_dir dir;
      const private_tmpdir tmp(dir.file("tmp"));
      std::filesystem::create_directory(dir.file("out"));
      const std::string book = dir.file("out/") + c.destination;
      write_file(book, "previous workbook");
      wizard_run run;
      run.set_run(db.name(), book, c.format);
      run.converter.split_data = c.split;
      run.converter.selected_tables = {L"a_small", L"big"};

      bool all_read = false;
      std::string book_while_asked;
      bool running_while_asked = false;
      int page_while_asked = 0;
      QTimer user;
      user.setInterval(5);
      QObject::connect(&user, &QTimer::timeout, [&] {
        if (run.converter.get_current_name() != L"big" || QApplication::activeModalWidget() != &run.shell)
          return;
        user.stop();
        when_modal_shows([&](QWidget& modal) {
          // Long enough for the run to read everything and write its workbook.
          all_read = wait_until([&] {
            const std::int32_t entries = run.converter.entry_count.load();
            return entries > 0 && run.converter.tables_done.load() == entries;
          }, 30000);
          QTest::qWait(1000);
          book_while_asked = read_file(book);
          running_while_asked = run.progress.worker().is_running();
          page_while_asked = run.current_id();
          qobject_cast<QMessageBox*>(&modal)->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        run.shell.press_cancel();
      });
      user.start();
      QTimer finisher;
      finisher.setInterval(10);
      QObject::connect(&finisher, &QTimer::timeout, [&] {
        if (run.at_finish())
          run.shell.press_finish();
      });
      finisher.start();
      QTimer::singleShot(90000, &run.shell, [&] { run.shell.done(wizard_shell::result_finish); });
      const int result = run.shell.run();

      EXPECT_TRUE(all_read);
      EXPECT_TRUE(book_while_asked == "previous workbook");
      EXPECT_TRUE(running_while_asked);
      EXPECT_EQ(page_while_asked, page_progress);
      EXPECT_FALSE(run.progress.worker().is_running());
      EXPECT_TRUE(run.shell.errors.empty());
      if (yes) {
        EXPECT_EQ(result, wizard_shell::result_cancel);
        EXPECT_TRUE(read_file(book) == "previous workbook");
        EXPECT_EQ(entry_names(dir.file("out")), std::vector<std::string>{c.destination});
        EXPECT_TRUE(std::filesystem::is_empty(dir.file("tmp")));
      } else {
        EXPECT_EQ(result, wizard_shell::result_finish);
        EXPECT_TRUE(run.converter.reached_end);
        EXPECT_TRUE(read_file(book) != "previous workbook");
      }
    }
  }
}

} // namespace

namespace {

// The front end's questions: the truncation question by Continue/Abort, and
// nothing shown once a stop has been asked for.
TEST(WizardFrontEnd, AnswersAbortWithoutAWordOnceTheRunIsStopping)
{
  wizard_run run;
  run.progress.set_thread_starter([](run_thread&) {});
  run.start();
  {
    report_answerer answers;
    EXPECT_TRUE(run.front.columns_truncated(L"wide", 255));
    EXPECT_EQ(run.front.report(0, "t: a refused record", false), report_answer::go_on);
    EXPECT_EQ(answers.texts, (std::vector<QString>{QStringLiteral("Table will be truncated up to 255 columns."),
                                                   QStringLiteral("t: a refused record")}));
  }
  EXPECT_EQ(run.shell.errors, std::vector<std::string>{"t: a refused record"});

  run.converter.request_stop();
  report_answerer answers;
  EXPECT_FALSE(run.front.columns_truncated(L"wide", 255));
  EXPECT_EQ(run.front.report(0, "t: after the stop", false), report_answer::abort_run);
  EXPECT_EQ(run.front.report(1, "t: after the stop", false), report_answer::abort_run);
  run.front.run_failed("out of memory");
  QTest::qWait(50);
  EXPECT_TRUE(answers.texts.empty());
  EXPECT_EQ(run.shell.errors.size(), 1u);
}

// A worker whose report waits for the GUI thread while that thread stops it:
// the wait answers the report (Abort, nothing shown) instead of deadlocking.
TEST(WizardRun, StoppingAWorkerThatWaitsForABoxEndsItWithoutShowingTheBox)
{
  sql_admin admin;
  scratch_database db(admin, "_waits");
  db.run("CREATE TABLE t (id INT)");
  db.run("INSERT INTO t VALUES (1)");
  temp_dir dir;
  const std::string book = dir.file("shop.xlsx");
  write_file(book, "the previous workbook");
  wizard_run run;
  run.set_run(db.name(), book, xls_format_excel_2010);
  run.converter.selected_tables = {L"t"};
  run.converter.selected_queries = {{L"q", L"SELECT * FROM no_such_table"}};
  struct reporting_front_end : wizard_front_end {
    std::atomic<bool> reporting{false};
    report_answer report(std::uint32_t level, const std::string& text, bool quiet) override
    {
      reporting = true;
      return wizard_front_end::report(level, text, quiet);
    }
  } front;
  run.handler.set_front_end(front);
  run.converter.set_front_end(front);
  report_answerer answers;
  run.start();
  // The GUI thread takes no event until the worker sits in its report.
  for (int i = 0; i < 2000 && !front.reporting; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_TRUE(front.reporting);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  QElapsedTimer clock;
  clock.start();
  run.progress.worker().stop_and_wait();
  EXPECT_LT(clock.elapsed(), 2000);
  EXPECT_FALSE(run.progress.worker().is_running());
  EXPECT_TRUE(answers.texts.empty());
  EXPECT_TRUE(run.shell.errors.empty());
  EXPECT_EQ(read_file(book), "the previous workbook");
}

} // namespace
