// The wizard on a 1280x800 screen at the scales a desktop sets, 1 and 1.5: it
// opens inside the screen's free area with all its buttons on the screen, and
// the box of a wrong password on the connection page shows its lines whole.
// The scale is fixed when Qt starts, so the test runs this test program again
// for each scale, with the screen and the scale in the child's environment.
#include "GUI2/help_window.h"
#include "GUI2/wizard_pages.h"
#include "GUI2/wizard_program.h"
#include "GUI2/wizard_shell.h"
#include "common/qvt_converter.h"
#include "gui_test_support.h"
#include "platform/child_process.h"
#include "support/temp_dir.h"
#include "support/test_server.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <string>

namespace {

// Set in the child's environment: the scale it runs at.
const char child_scale[] = "QVT_SCREEN_FIT_SCALE";

// Sets an environment variable while it lives, then puts the old value back.
class scoped_env {
public:
  scoped_env(const char* name, const QByteArray& value)
      : name_(name), old_(qgetenv(name)), had_(qEnvironmentVariableIsSet(name))
  {
    qputenv(name, value);
  }
  ~scoped_env()
  {
    if (had_)
      qputenv(name_, old_);
    else
      qunsetenv(name_);
  }
  scoped_env(const scoped_env&) = delete;
  scoped_env& operator=(const scoped_env&) = delete;

private:
  const char* name_;
  QByteArray old_;
  bool had_;
};

TEST(ScreenFit, TheWizardFitsA1280By800ScreenAtScale1And1_5)
{
  if (qEnvironmentVariableIsSet(child_scale))
    GTEST_SKIP() << "the child's own run";
  const temp_dir dir;
  const std::string screen = dir.file("screen.json");
  write_file(screen, R"({"screens": [{"name": "wide", "x": 0, "y": 0, "width": 1280, "height": 800,)"
                     R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
  for (const char* scale : {"1", "1.5"}) {
    SCOPED_TRACE(scale);
    const scoped_env platform("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + screen.c_str());
    const scoped_env factor("QT_SCALE_FACTOR", scale);
    const scoped_env marker(child_scale, scale);
    const plat::child_result result = plat::run_program(QCoreApplication::applicationFilePath().toStdString(),
                                                        {"--gtest_filter=ScreenFitChild.*"}, "");
    EXPECT_TRUE(result.succeeded()) << plat::describe_child_failure(result) << "\n" << result.error_output;
    EXPECT_NE(result.error_output.find("[  PASSED  ] 3 tests."), std::string::npos) << result.error_output;
  }
}

// The scale the child runs at, for names of pictures: "1" or "1_5".
QString scale_name()
{
  return QString::fromLatin1(qgetenv(child_scale)).replace(QLatin1Char('.'), QLatin1Char('_'));
}

// Whether the widget lies wholly inside the area of the screen.
bool inside(const QWidget& widget, const QRect& area)
{
  return area.contains(QRect(widget.mapToGlobal(QPoint(0, 0)), widget.size()));
}

TEST(ScreenFitChild, OpensInsideTheScreenAndTheWrongPasswordBoxFitsItsLines)
{
  const QByteArray scale = qgetenv(child_scale);
  if (scale.isEmpty())
    GTEST_SKIP() << "runs in a child of ScreenFit with its screen and scale";
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  ASSERT_EQ(area.width(), static_cast<int>(std::lround(1280 / scale.toDouble())));

  qorvant_converter converter(qvt_program::console);
  const test_server_info& server = test_server();
  converter.store_mysql_settings(server.host, server.user, server.password + "-wrong", std::to_string(server.port));
  wizard_program program(converter, L"");
  wizard_shell& shell = program.shell();
  shell.start();
  shell.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&shell));
  EXPECT_TRUE(area.contains(shell.frameGeometry()))
      << shell.frameGeometry().width() << "x" << shell.frameGeometry().height() << " on "
      << area.width() << "x" << area.height();
  for (const QPushButton* button : shell.findChildren<QPushButton*>()) {
    if (button->isVisible()) {
      EXPECT_TRUE(inside(*button, area)) << button->text().toStdString();
    }
  }

  shell.press_next();
  ASSERT_EQ(shell.current_page()->id(), page_connection);
  const QString name = QStringLiteral("connection_wrong_password_scale_%1").arg(QString::fromLatin1(scale).replace('.', '_'));
  std::string problem = "no box";
  bool box_inside = false;
  when_modal_shows([&](QWidget& box) {
    problem = box_fit_problem(box);
    box_inside = area.contains(box.frameGeometry());
    save_screen_with_box(shell, box, name);
    QTest::keyClick(&box, Qt::Key_Return);
  });
  shell.press_next();
  EXPECT_EQ(problem, "");
  EXPECT_TRUE(box_inside);
  EXPECT_EQ(shell.current_page()->id(), page_connection);
}

// The help window opens over the wizard inside the screen, with the page of
// the wizard's page.
TEST(ScreenFitChild, TheHelpWindowOpensInsideTheScreen)
{
  if (qgetenv(child_scale).isEmpty())
    GTEST_SKIP() << "runs in a child of ScreenFit with its screen and scale";
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  qorvant_converter converter(qvt_program::console);
  wizard_program program(converter, L"");
  wizard_shell& shell = program.shell();
  shell.start();
  shell.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&shell));
  wizard_shell::set_help_folder(std::filesystem::path(QORVANT_PATH).parent_path().append("help").string());
  shell.press_help();
  wizard_shell::set_help_folder({});
  help_window* window = help_window::current();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  EXPECT_EQ(window->page(), QStringLiteral("1012.html"));
  EXPECT_TRUE(area.contains(window->frameGeometry()))
      << window->frameGeometry().width() << "x" << window->frameGeometry().height();
  save_screen_with_box(shell, *window, QStringLiteral("help_window_scale_") + scale_name());
}

// The shortest boxes the wizard shows keep their whole caption: the box is as
// wide as the caption's text in the bold title font, with a margin, and the
// window manager's icon and buttons.
TEST(ScreenFitChild, TheShortestBoxesHoldTheirWholeCaption)
{
  if (qgetenv(child_scale).isEmpty())
    GTEST_SKIP() << "runs in a child of ScreenFit with its screen and scale";
  qorvant_converter converter(qvt_program::console);
  wizard_program program(converter, L"");
  wizard_shell& shell = program.shell();
  shell.start();
  shell.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&shell));
  const struct {
    const char* screen;
    std::function<void()> show;
  } cases[] = {
      {"shortest_box_scale_", [] { wizard_shell::error(L"Invalid port number"); }},
      {"short_message_box_scale_", [] { wizard_shell::message(L"The query is correct."); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.screen);
    std::string problem = "no box";
    QString caption;
    when_modal_shows([&](QWidget& box) {
      problem = box_fit_problem(box);
      caption = box.windowTitle();
      save_screen_with_box(shell, box, QLatin1String(c.screen) + scale_name());
      QTest::keyClick(&box, Qt::Key_Return);
    });
    c.show();
    EXPECT_EQ(problem, "");
    EXPECT_TRUE(caption.startsWith(QStringLiteral("Tabloom 5.5 "))) << caption.toStdString();
  }
}

} // namespace
