// The help window: the page of the context first, links between the pages in
// the window, the folder beside the program, and help that shows whatever the
// desktop's opener does, since no browser is needed.
#include "GUI2/help_window.h"
#include "GUI2/welcome_page.h"
#include "GUI2/wizard_shell.h"
#include "common/qvt_converter.h"
#include "gui_test_support.h"
#include "support/temp_dir.h"

#include <QPushButton>
#include <QTest>
#include <QTextBrowser>

#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

namespace {

// Two pages of a help folder that link to each other.
struct help_folder {
  help_folder()
  {
    write_file(dir.file("1012.html"),
               "<html><body><h1>Welcome</h1><p><a href=\"index.html\">Contents</a></p></body></html>");
    write_file(dir.file("index.html"),
               "<html><body><h1>Contents</h1><p><a href=\"1012.html\">Welcome</a></p></body></html>");
    wizard_shell::set_help_folder(dir.path().string() + "/");
  }
  ~help_folder()
  {
    wizard_shell::set_help_folder({});
    delete help_window::current();
  }
  temp_dir dir;
};

TEST(WizardHelp, ShowsThePageOfTheContextFirstAndFollowsItsLinksInTheWindow)
{
  help_folder help;
  wizard_shell::display_help(1012);
  help_window* window = help_window::current();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->page(), QStringLiteral("1012.html"));
  EXPECT_TRUE(window->browser().toPlainText().startsWith(QStringLiteral("Welcome")));

  emit window->browser().anchorClicked(QUrl(QStringLiteral("index.html")));
  EXPECT_EQ(window->page(), QStringLiteral("index.html"));
  QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("help_back")), Qt::LeftButton);
  EXPECT_EQ(window->page(), QStringLiteral("1012.html"));

  // One window serves every request: the main page comes up in it.
  wizard_shell::display_help();
  EXPECT_EQ(help_window::current(), window);
  EXPECT_EQ(window->page(), QStringLiteral("index.html"));

  seen_box seen;
  answer_next_box(seen, Qt::Key_Return);
  wizard_shell::display_help(1099);
  EXPECT_EQ(seen.text, QStringLiteral("Help file does not exist. Reinstall the program."));
  EXPECT_EQ(window->page(), QStringLiteral("index.html"));
}

// The main page lost from the folder, whether a link or Contents leads to it:
// a box says so, and the window keeps the page it showed.
TEST(WizardHelp, AMissingMainPageIsABoxAndThePageStays)
{
  const struct {
    const char* what;
    std::function<void(help_window&)> go;
  } cases[] = {
      {"a link", [](help_window& window) { emit window.browser().anchorClicked(QUrl(QStringLiteral("index.html"))); }},
      {"Contents",
       [](help_window& window) {
         QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("help_contents")), Qt::LeftButton);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    help_folder help;
    std::filesystem::remove(help.dir.file("index.html"));
    wizard_shell::display_help(1012);
    help_window* window = help_window::current();
    ASSERT_NE(window, nullptr);
    seen_box seen;
    answer_next_box(seen, Qt::Key_Return);
    c.go(*window);
    EXPECT_EQ(seen.text, QStringLiteral("Help file does not exist. Reinstall the program."));
    EXPECT_EQ(window->page(), QStringLiteral("1012.html"));
  }
}

TEST(WizardHelp, TheFolderIsBesideTheProgramWithNoDoubledSlash)
{
  wizard_shell::set_help_folder({});
  const std::string beside = wizard_shell::help_folder();
  EXPECT_EQ(beside.find("//"), std::string::npos) << beside;
  EXPECT_EQ(beside, QCoreApplication::applicationDirPath().toStdString() + "/help");
  wizard_shell::set_help_folder("/srv//qorvant/help/");
  EXPECT_EQ(wizard_shell::help_folder(), "/srv/qorvant/help");
  wizard_shell::set_help_folder({});
}

// F1 on a desktop whose opener fails, or that has none: the help shows all the
// same, in the program's window, and no box says anything.
TEST(WizardHelp, F1ShowsTheHelpWindowWhateverTheDesktopsOpenerDoes)
{
  for (const int opener_status : {3, -1}) {
    SCOPED_TRACE(opener_status < 0 ? "no opener on PATH" : "an opener that exits 3");
    help_folder help;
    const scoped_desktop_opener opener(opener_status);
    qorvant_converter converter(qvt_program::console);
    welcome_page welcome(converter, L"qvt");
    wizard_shell shell(QStringLiteral("Tabloom 5.5"), QIcon(), QPixmap(), QPixmap());
    shell.add_page(welcome);
    shell.start();
    shell.show();
    QApplication::setActiveWindow(&shell);
    box_answer box;
    QTest::keyClick(shell.findChild<QPushButton*>(QStringLiteral("c12324")), Qt::Key_F1);
    help_window* window = help_window::current();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->page(), QStringLiteral("1012.html"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Tabloom 5.5 Help"));
    // Above the wizard, and usable while the wizard runs modally.
    EXPECT_EQ(window->parentWidget(), &shell);
    QTest::qWait(50);
    EXPECT_FALSE(box.shown) << box.text.toStdString();
  }
}

} // namespace
