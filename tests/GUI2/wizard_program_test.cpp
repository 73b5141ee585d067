// The program's page list and its start: seven pages from the welcome page, two
// for a profile path, a minimum size that squeezes no page, and the built
// program coming up on the offscreen platform without a word on its standard error.
#include "GUI2/wizard_pages.h"
#include "GUI2/wizard_program.h"
#include "GUI2/wizard_shell.h"
#include "SQL/sql_test_support.h"
#include "common/qvt_converter.h"
#include "gui_test_support.h"
#include "platform/child_process.h"
#include "support/temp_dir.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QGroupBox>
#include <QLayout>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

std::vector<int> page_ids(const wizard_shell& shell)
{
  std::vector<int> ids;
  for (int i = 0; i < shell.page_count(); ++i)
    ids.push_back(shell.page_at(i)->id());
  return ids;
}

TEST(WizardProgram, AnEmptyCommandLineShowsSevenPagesFromTheWelcomePage)
{
  qorvant_converter converter(qvt_program::console);
  wizard_program program(converter, L"");
  wizard_shell& shell = program.shell();
  EXPECT_EQ(shell.windowTitle(), QStringLiteral("Tabloom 5.5"));
  EXPECT_EQ(page_ids(shell), (std::vector<int>{page_welcome, page_connection, page_database, page_tables,
                                               page_format, page_progress, page_finish}));
  shell.start();
  shell.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&shell));
  ASSERT_NE(shell.current_page(), nullptr);
  EXPECT_EQ(shell.current_page()->id(), page_welcome);

  // The pages a program without a server can show; the later ones need a
  // database and are pictured by the tests that walk the whole wizard.
  const std::pair<int, const char*> pages[] = {{page_welcome, "welcome"}, {page_connection, "connection"}};
  for (const auto& [id, name] : pages) {
    shell.go_to(id);
    ASSERT_EQ(shell.current_page()->id(), id);
    save_screen(shell, QLatin1String(name));
  }
}

TEST(WizardProgram, AProfilePathLeavesTheProgressAndFinishPages)
{
  qorvant_converter converter(qvt_program::console);
  wizard_program program(converter, wizard_command_line(3, std::vector<const char*>{"qorvant", "my", "shop.qvt"}.data()));
  EXPECT_EQ(page_ids(program.shell()), (std::vector<int>{page_progress, page_finish}));
  program.shell().start();
  EXPECT_EQ(program.shell().current_page()->id(), page_progress);
}

TEST(WizardProgram, TheArgumentsAreOneBlankJoinedPath)
{
  const char* args[] = {"qorvant", "/home/a b/my", "shop.qvt"};
  EXPECT_EQ(wizard_command_line(3, args), L"/home/a b/my shop.qvt");
  EXPECT_EQ(wizard_command_line(1, args), L"");
}

TEST(WizardProgram, NoPageIsSqueezedAtTheMinimumSizeTheLayoutsGive)
{
  sql_admin admin;
  scratch_database db(admin, "_minimum");
  db.run("CREATE TABLE orders (id INT)");
  db.run("CREATE TABLE items (id INT)");
  qorvant_converter converter(qvt_program::console);
  const test_server_info& server = test_server();
  converter.store_mysql_settings(server.host, server.user, server.password, std::to_string(server.port));
  converter.connect_mysql_server();
  converter.source = db.wname();
  converter.format_version = xls_format_excel_2010;
  wizard_program program(converter, L"");
  wizard_shell& shell = program.shell();
  shell.start();
  shell.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&shell));

  for (const int id : {page_welcome, page_connection, page_database, page_tables, page_format}) {
    shell.go_to(id);
    ASSERT_EQ(shell.current_page()->id(), id);
    SCOPED_TRACE(shell.current_page()->objectName().toStdString());
    // A user drags the window as small as it goes.
    shell.resize(420, 260);
    QTest::qWait(1);
    EXPECT_EQ(shell.size(), shell.minimumSize().expandedTo(QSize(420, 260)));
    EXPECT_GE(shell.minimumSize().width(), shell.layout()->totalMinimumSize().width());
    EXPECT_GE(shell.minimumSize().height(), shell.layout()->totalMinimumSize().height());
    for (QWidget* widget : shell.findChildren<QWidget*>()) {
      const bool control = qobject_cast<QAbstractButton*>(widget) != nullptr ||
                           qobject_cast<QGroupBox*>(widget) != nullptr ||
                           qobject_cast<QLineEdit*>(widget) != nullptr ||
                           qobject_cast<QComboBox*>(widget) != nullptr ||
                           qobject_cast<QAbstractItemView*>(widget) != nullptr;
      // A combo box's own line edit is sized by the box, not by a layout.
      const bool inner = qobject_cast<QComboBox*>(widget->parentWidget()) != nullptr;
      if (!control || inner || !widget->isVisible())
        continue;
      const QSize least = widget->minimumSizeHint();
      EXPECT_GE(widget->width(), least.width()) << widget->objectName().toStdString();
      EXPECT_GE(widget->height(), least.height()) << widget->objectName().toStdString();
    }
    if (id == page_tables)
      save_screen(shell, QStringLiteral("tables_page_minimum_size"));
  }
}

TEST(WizardProgram, TheProgramStartsOffscreenWithoutAWarning)
{
  const temp_dir place;
  // The child inherits the test's private settings and runtime folders (main.cpp).
  ::setenv("QVT_GUI_SMOKE", "1", 1);
  const plat::child_result result = plat::run_program(QORVANT_TEST_DRIVER_PATH, {}, place.path().string());
  ::unsetenv("QVT_GUI_SMOKE");
  EXPECT_TRUE(result.succeeded()) << plat::describe_child_failure(result);
  EXPECT_EQ(result.error_output, "");
}

} // namespace
