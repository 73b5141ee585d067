// The finish page on its own: the error list's layout, "Open on exit" (hidden
// with errors, still acted on; never for a file that is not there), the keys and
// the close box, and Save Settings writing a profile that loads back.
#include "wizard_run_support.h"

#include "GUI2/file_dialog.h"
#include "GUI2/welcome_page.h"

#include <QCloseEvent>
#include <QDir>
#include <QPlainTextEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

using namespace wizard_run_test;

namespace {

// A shell that opens on the finish page, as after a run, with the given errors.
struct at_finish_page : wizard_run {
  std::vector<QUrl> opened;

  explicit at_finish_page(std::vector<std::string> errors, const std::string& destination, bool open_on_exit)
  {
    converter.destination = wide(destination);
    converter.open_on_exit = open_on_exit;
    finish.set_url_opener([this](const QUrl& url) {
      opened.push_back(url);
      return true;
    });
    progress.set_thread_starter([](run_thread&) {});
    start();
    shell.errors = std::move(errors);
    converter.finished = true;
    shell.go_to(page_finish);
  }
};

TEST(FinishPage, ListsEachErrorOnOneLineWithAnEmptyLineBetween)
{
  temp_dir dir;
  const std::string book = dir.file("shop.xlsx");
  write_file(book, "a workbook");
  at_finish_page page({"orders: first line\nsecond line", "q: Unknown column 'x'"}, book, true);
  ASSERT_TRUE(page.at_finish());
  auto& list = page.control<QPlainTextEdit>(page.finish, 1016);
  EXPECT_TRUE(list.isVisible());
  EXPECT_TRUE(list.isReadOnly());
  EXPECT_EQ(list.toPlainText(), QStringLiteral("orders: first line second line\n\nq: Unknown column 'x'\n\n"));
  EXPECT_EQ(page.control<QLabel>(page.finish, 1314).text(), finish_page::error_text());
  EXPECT_EQ(page.control<QLabel>(page.finish, 1313).text(), QStringLiteral("Conversion is Completed"));
  EXPECT_EQ(page.control<QLabel>(page.finish, 1313).font().pointSize(), 13);
  // Hidden, the box keeps its tick, and Finish acts on it.
  EXPECT_FALSE(page.control<QCheckBox>(page.finish, 1225).isVisible());
  EXPECT_TRUE(page.control<QCheckBox>(page.finish, 1225).isChecked());
  page.shell.press_finish();
  EXPECT_EQ(page.opened, std::vector<QUrl>{QUrl::fromLocalFile(QString::fromStdString(book))});
  EXPECT_EQ(page.shell.result(), wizard_shell::result_finish);
}

TEST(FinishPage, OpensOnlyAWorkbookThatIsThereAndOnlyWhenTicked)
{
  temp_dir dir;
  const struct {
    const char* what;
    bool exists;
    bool ticked;
    bool untick;
    bool opened;
  } cases[] = {
      {"ticked and written", true, true, false, true},
      {"ticked, nothing written", false, true, false, false},
      {"not ticked", true, false, false, false},
      {"unticked by the user", true, true, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string book = dir.file("shop.xlsx");
    std::filesystem::remove(book);
    if (c.exists)
      write_file(book, "a workbook");
    at_finish_page page({}, book, c.ticked);
    ASSERT_TRUE(page.at_finish());
    EXPECT_EQ(page.control<QLabel>(page.finish, 1314).text(), finish_page::success_text());
    EXPECT_FALSE(page.control<QPlainTextEdit>(page.finish, 1016).isVisible());
    auto& open = page.control<QCheckBox>(page.finish, 1225);
    EXPECT_TRUE(open.isVisible());
    EXPECT_EQ(page.control<QLabel>(page.finish, 1320).text(), finish_page::open_on_exit_text());
    if (c.untick)
      open.click();
    page.shell.press_finish();
    EXPECT_EQ(page.opened.size(), c.opened ? 1u : 0u);
    // The choice is kept for the next start.
    EXPECT_EQ(page.converter.open_on_exit, c.ticked && !c.untick);
  }
}

// "Open on exit" on a desktop whose opener fails, or that has none: a box says
// so while the wizard is still there, and Finish then closes it.
TEST(FinishPage, AnOpenOnExitTheDesktopCannotHonourIsReportedBeforeTheWizardCloses)
{
  temp_dir dir;
  const std::string book = dir.file("shop.xlsx");
  write_file(book, "a workbook");
  for (const int opener_status : {3, -1}) {
    SCOPED_TRACE(opener_status);
    const scoped_desktop_opener opener(opener_status);
    wizard_run run;
    run.converter.destination = wide(book);
    run.converter.open_on_exit = true;
    run.progress.set_thread_starter([](run_thread&) {});
    run.start();
    run.converter.finished = true;
    run.shell.go_to(page_finish);
    ASSERT_TRUE(run.at_finish());
    QString text;
    bool wizard_there = false;
    when_modal_shows([&](QWidget& box) {
      text = qobject_cast<QMessageBox*>(&box)->text();
      wizard_there = run.shell.isVisible();
      QTest::keyClick(&box, Qt::Key_Return);
    });
    run.shell.press_finish();
    EXPECT_TRUE(text.startsWith(QStringLiteral("The workbook could not be opened:\n") + QString::fromStdString(book) +
                                QLatin1Char('\n')))
        << text.toStdString();
    EXPECT_TRUE(wizard_there);
    EXPECT_FALSE(run.shell.isVisible());
    EXPECT_EQ(run.shell.result(), wizard_shell::result_finish);
  }
}

TEST(FinishPage, CancelAndHelpAreOffEscapeDoesNothingAndTheCloseBoxFinishes)
{
  temp_dir dir;
  const std::string book = dir.file("shop.xlsx");
  write_file(book, "a workbook");
  at_finish_page page({}, book, true);
  ASSERT_TRUE(page.at_finish());
  EXPECT_FALSE(page.shell.findChild<QPushButton*>(QStringLiteral("c2"))->isEnabled());
  EXPECT_FALSE(page.shell.findChild<QPushButton*>(QStringLiteral("c9"))->isEnabled());
  EXPECT_TRUE(page.shell.findChild<QPushButton*>(QStringLiteral("c12325"))->isVisible());
  EXPECT_FALSE(page.shell.findChild<QPushButton*>(QStringLiteral("c12323"))->isEnabled());

  QTest::keyClick(&page.shell, Qt::Key_Escape);
  EXPECT_TRUE(page.shell.isVisible());
  EXPECT_TRUE(page.opened.empty());

  QCloseEvent close;
  QApplication::sendEvent(&page.shell, &close);
  EXPECT_FALSE(page.shell.isVisible());
  EXPECT_EQ(page.shell.result(), wizard_shell::result_finish);
  EXPECT_EQ(page.opened.size(), 1u);
}

TEST(FinishPage, SaveSettingsWritesAProfileThatLoadsBack)
{
  temp_dir dir;
  at_finish_page page({}, dir.file("shop.xlsx"), false);
  page.converter.source = L"shop";
  page.converter.host = "db.example.com";
  page.converter.format_version = xls_format_excel_2000;
  page.converter.selected_queries = {{L"orders", L""}, {L"big", L"SELECT 1"}};
  std::vector<file_dialog_request> asked;
  QString answer;
  set_file_chooser([&](const file_dialog_request& request) {
    asked.push_back(request);
    return answer;
  });
  auto& store = page.control<QPushButton>(page.finish, 1116);
  EXPECT_EQ(store.text(), QStringLiteral("&Save Settings..."));

  QTest::mouseClick(&store, Qt::LeftButton);  // cancelled
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].title, QStringLiteral("Select Profile"));
  EXPECT_TRUE(asked[0].save);
  EXPECT_EQ(asked[0].filter, QStringLiteral("Profile Files (.qvt) (*.qvt);;All Files (*.*) (*)"));
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

  // The default extension is added; the file reads back as the same settings.
  answer = QString::fromStdString(dir.file("saved"));
  QTest::mouseClick(&store, Qt::LeftButton);
  qorvant_converter loaded(qvt_program::console);
  ASSERT_TRUE(loaded.load_profile(wide(dir.file("saved.qvt"))));
  EXPECT_EQ(loaded.source, L"shop");
  EXPECT_EQ(loaded.host, "db.example.com");
  EXPECT_EQ(loaded.format_version, xls_format_excel_2000);
  EXPECT_EQ(loaded.selected_queries, page.converter.selected_queries);

  // A folder that is not there: nothing is said, the wizard stays on the page.
  answer = QString::fromStdString(dir.file("missing/saved.qvt"));
  QTest::mouseClick(&store, Qt::LeftButton);
  EXPECT_TRUE(page.at_finish());
  EXPECT_TRUE(page.shell.isVisible());
  set_file_chooser({});
}

TEST(ProfileDialogs, LoadAndSaveStartInTheFolderLastUsedElseTheCurrentOne)
{
  temp_dir loaded_from;
  temp_dir saved_to;
  const std::string profile = loaded_from.file("shop.qvt");
  {
    qorvant_converter saved(qvt_program::console);
    ASSERT_TRUE(saved.store_profile(wide(profile)));
  }
  at_finish_page page({}, saved_to.file("shop.xlsx"), false);
  welcome_page welcome(page.converter, L"qvt");
  std::vector<QString> started_in;
  QString answer;
  set_file_chooser([&](const file_dialog_request& request) {
    started_in.push_back(request.folder);
    return answer;
  });
  auto& save = page.control<QPushButton>(page.finish, 1116);
  const auto load = [&welcome] { welcome.on_load(); };
  const auto store = [&save] { QTest::mouseClick(&save, Qt::LeftButton); };

  // Nothing used yet: both start where the user is, never in the program's folder.
  load();
  store();
  EXPECT_EQ(started_in, (std::vector<QString>{QDir::currentPath(), QDir::currentPath()}));

  // Each dialog starts where the other one last took a profile.
  answer = QString::fromStdString(profile);
  load();
  answer.clear();
  store();
  EXPECT_EQ(started_in.back(), QString::fromStdString(loaded_from.path().string()));
  answer = QString::fromStdString(saved_to.file("kept"));
  store();
  EXPECT_TRUE(std::filesystem::exists(saved_to.file("kept.qvt")));
  answer.clear();
  load();
  EXPECT_EQ(started_in.back(), QString::fromStdString(saved_to.path().string()));
  set_file_chooser({});
}

// The folder is kept with the wizard's settings: the next start of the wizard
// begins where the last one took a profile, unless that folder is gone.
TEST(ProfileDialogs, TheNextStartBeginsInTheFolderLastUsed)
{
  temp_dir dir;
  const std::string kept = dir.file("profiles");
  std::filesystem::create_directory(kept);
  std::vector<QString> started_in;
  QString answer;
  set_file_chooser([&](const file_dialog_request& request) {
    started_in.push_back(request.folder);
    return answer;
  });
  const auto load_in_a_new_wizard = [&] {
    qorvant_converter converter(qvt_program::gui);
    welcome_page welcome(converter, L"qvt");
    welcome.on_load();
  };
  {
    qorvant_converter saved(qvt_program::console);
    ASSERT_TRUE(saved.store_profile(wide(kept + "/shop.qvt")));
  }
  answer = QString::fromStdString(kept + "/shop.qvt");
  load_in_a_new_wizard();
  answer.clear();
  // It is in the settings store, not only in this process.
  EXPECT_EQ(qorvant_converter(qvt_program::gui).profile_folder, wide(kept));
  load_in_a_new_wizard();
  EXPECT_EQ(started_in.back(), QString::fromStdString(kept));
  std::filesystem::remove_all(kept);
  load_in_a_new_wizard();
  EXPECT_EQ(started_in.back(), QDir::currentPath());
  set_file_chooser({});
}

} // namespace
