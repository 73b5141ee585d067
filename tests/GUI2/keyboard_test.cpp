// The wizard as a keyboard user meets it, on the program's real pages against
// the test server: every label's mnemonic focuses its own field, Tab on the
// tables page follows the eye, and an empty list shows that it has the focus.
#include "GUI2/query_dialog.h"
#include "GUI2/wizard_pages.h"
#include "GUI2/wizard_program.h"
#include "GUI2/wizard_shell.h"
#include "SQL/sql_test_support.h"
#include "common/qvt_converter.h"
#include "gui_test_support.h"

#include <QApplication>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

// The program's wizard over a converter connected to a scratch database.
class KeyboardWizard : public testing::Test {
protected:
  KeyboardWizard()
  {
    db.run("CREATE TABLE orders (id INT)");
    db.run("CREATE TABLE items (id INT)");
    const test_server_info& server = test_server();
    converter.store_mysql_settings(server.host, server.user, server.password, std::to_string(server.port));
    converter.connect_mysql_server();
    converter.source = db.wname();
    converter.format_version = xls_format_excel_2010;
    program.shell().start();
    program.shell().show();
    program.shell().activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&program.shell()));
  }

  wizard_shell& shell() { return program.shell(); }
  QWidget& page() { return *shell().current_page(); }
  std::string focused() const
  {
    const QWidget* widget = QApplication::focusWidget();
    return widget != nullptr ? widget->objectName().toStdString() : "(none)";
  }

  sql_admin admin;
  scratch_database db{admin, "_keys"};
  qorvant_converter converter{qvt_program::console};
  wizard_program program{converter, L""};
};

// The mnemonic letters of the window's labels, each with the object name of
// the widget the label names as its buddy ("(none)" without one).
std::map<char, std::string> label_mnemonics(const QWidget& window)
{
  std::map<char, std::string> found;
  for (const QLabel* label : window.findChildren<QLabel*>()) {
    if (!label->isVisible())
      continue;
    const QKeySequence key = QKeySequence::mnemonic(label->text());
    if (key.isEmpty())
      continue;
    const char letter = QKeySequence(key[0].key()).toString().at(0).toLatin1();
    found[letter] = label->buddy() != nullptr ? label->buddy()->objectName().toStdString() : "(none)";
  }
  return found;
}

// Presses Alt+letter with the focus on `start`, in its window made the active
// one; the widget that has the focus afterwards.
std::string press_mnemonic(QWidget& start, char letter)
{
  QApplication::setActiveWindow(start.window());
  start.setFocus();
  QTest::keyClick(&start, static_cast<Qt::Key>(Qt::Key_A + (letter - 'A')), Qt::AltModifier);
  const QWidget* now = QApplication::focusWidget();
  return now != nullptr ? now->objectName().toStdString() : "(none)";
}

TEST_F(KeyboardWizard, EveryLabelsMnemonicFocusesItsOwnFieldOnEveryPage)
{
  struct page_case {
    int page;
    int start;  // what has the focus before the key: none of the fields
    std::map<char, std::string> fields;
  };
  // The converter has a host: the connection page opens in Remote mode.
  const page_case cases[] = {
      {page_connection, 1330,
       {{'U', "c1012"}, {'S', "c1013"}, {'O', "c1014"}, {'P', "c1015"}}},
      {page_database, 1222, {{'S', "c1302"}, {'E', "c1004"}}},
      {page_tables, 1101, {{'A', "c1317"}, {'S', "c1318"}}},
      {page_format, 1203, {{'F', "c1302"}}},
  };
  for (const page_case& c : cases) {
    shell().go_to(c.page);
    ASSERT_EQ(shell().current_page()->id(), c.page);
    SCOPED_TRACE(page().objectName().toStdString());
    EXPECT_EQ(label_mnemonics(page()), c.fields);
    for (const auto& [letter, field] : c.fields)
      EXPECT_EQ(press_mnemonic(control_by_id<QWidget>(page(), c.start), letter), field)
          << "Alt+" << letter;
  }

  // The query dialog's labels too, while it runs as Add Query runs it.
  const std::map<char, std::string> dialog_fields = {{'S', "c1019"}, {'Q', "c1020"}};
  query_dialog dialog(QStringLiteral("q"), QStringLiteral("SELECT 1"), [](const std::wstring&) { return true; },
                      &shell());
  std::map<char, std::string> dialog_labels;
  std::map<char, std::string> dialog_focus;
  when_modal_shows([&](QWidget& modal) {
    dialog_labels = label_mnemonics(modal);

    for (const auto& [letter, field] : dialog_fields)
      dialog_focus[letter] = press_mnemonic(control_by_id<QWidget>(modal, 129), letter);
    qobject_cast<QDialog*>(&modal)->reject();
  });
  dialog.exec();
  EXPECT_EQ(dialog_labels, dialog_fields);
  EXPECT_EQ(dialog_focus, dialog_fields);
}

TEST_F(KeyboardWizard, TabOnTheTablesPageFollowsTheEyeAndAnEmptyListShowsItsFocus)
{
  shell().go_to(page_tables);
  ASSERT_EQ(shell().current_page()->id(), page_tables);
  auto& left = control_by_id<QListWidget>(page(), 1317);
  auto& right = control_by_id<QListWidget>(page(), 1318);
  ASSERT_EQ(left.count(), 2);
  ASSERT_EQ(right.count(), 0);

  QApplication::setActiveWindow(&shell());
  left.setFocus(Qt::TabFocusReason);
  std::vector<std::string> order{focused()};
  for (int i = 0; i < 6; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    order.push_back(focused());
  }
  // Left list, the four move buttons, right list, Add Query.
  EXPECT_EQ(order, (std::vector<std::string>{"c1317", "c1101", "c1102", "c1111", "c1110", "c1318", "c1114"}));

  // The empty right list: pictured with the focus (Tab came back to it) and without.
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
  ASSERT_EQ(focused(), "c1318");
  const QImage with_focus = right.grab().toImage();
  save_screen(shell(), QStringLiteral("tables_page_empty_list_focused"));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  ASSERT_EQ(focused(), "c1114");
  const QImage without_focus = right.grab().toImage();
  EXPECT_NE(with_focus, without_focus);
}

} // namespace
