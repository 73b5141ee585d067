// The tables page and its query dialog on real widgets, against the real test
// server: the lists come from a scratch database, and Test Query asks the server.
#include "GUI2/neighbour_page.h"
#include "GUI2/query_dialog.h"
#include "GUI2/table_lists.h"
#include "GUI2/tables_page.h"
#include "GUI2/wizard_pages.h"
#include "GUI2/wizard_shell.h"
#include "gui_test_support.h"

#include "SQL/sql_test_support.h"
#include "common/err_handler.h"
#include "common/qvt_converter.h"
#include "dao/dao_error_map.h"
#include "support/temp_dir.h"
#include "support/workbook_check.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <functional>
#include <string>
#include <vector>

namespace {

template <class T>
T& control(QWidget& parent, int id)
{
  auto* found = parent.findChild<T*>(QStringLiteral("c%1").arg(id));
  if (found == nullptr)
    throw std::runtime_error("no control " + std::to_string(id));
  return *found;
}

QStringList texts(const QListWidget& list)
{
  QStringList out;
  for (int row = 0; row < list.count(); ++row)
    out << list.item(row)->text();
  return out;
}

QStringList selected_texts(const QListWidget& list)
{
  QStringList out;
  for (int row = 0; row < list.count(); ++row)
    if (list.item(row)->isSelected())
      out << list.item(row)->text();
  return out;
}

void select_rows(QListWidget& list, std::initializer_list<int> rows)
{
  list.clearSelection();
  for (int row : rows)
    list.item(row)->setSelected(true);
}

// Handles the modal windows that open one after another, the n-th with the n-th step.
class modal_script {
public:
  using step = std::function<void(QWidget&)>;
  explicit modal_script(std::vector<step> steps) : steps_(std::move(steps))
  {
    QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
    timer_.start(10);
  }
  bool done() const { return next_ == steps_.size(); }

private:
  void tick()
  {
    QWidget* modal = QApplication::activeModalWidget();
    if (done() || modal == nullptr || !modal->isVisible() || modal == last_.data())
      return;
    last_ = modal;
    steps_[next_++](*modal);
  }

  std::vector<step> steps_;
  std::size_t next_ = 0;
  QPointer<QWidget> last_;
  QTimer timer_;
};

// A step that keeps the box's text and presses one of its buttons.
modal_script::step press(QString& text, QMessageBox::StandardButton button, const QString& screen = QString())
{
  return [&text, button, screen](QWidget& modal) {
    auto& box = dynamic_cast<QMessageBox&>(modal);
    text = box.text();
    if (!screen.isEmpty())
      save_screen(box, screen);
    box.button(button)->click();
  };
}

// A step that fills the query dialog and presses OK (or another of its buttons).
modal_script::step fill_query(const QString& name, const QString& sql, int button = 1)
{
  return [name, sql, button](QWidget& modal) {
    control<QLineEdit>(modal, 1019).setText(name);
    control<QPlainTextEdit>(modal, 1020).setPlainText(sql);
    control<QPushButton>(modal, button).click();
  };
}

// A scratch database with the given tables, a converter connected to it, and the page.
struct page_fixture {
  explicit page_fixture(std::initializer_list<const char*> tables)
  {
    for (const char* table : tables)
      db.run(std::string("CREATE TABLE `") + table + "` (id INT)");
    const test_server_info& server = test_server();
    converter.store_mysql_settings(server.host, server.user, server.password, std::to_string(server.port));
    converter.connect_mysql_server();
    converter.source = db.wname();
  }
  entry_list& left() { return control<entry_list>(page, 1317); }
  entry_list& right() { return control<entry_list>(page, 1318); }

  sql_admin admin;
  scratch_database db{admin, "_tables"};
  qorvant_converter converter;
  tables_page page{converter};
};

using pairs = std::vector<std::pair<std::wstring, std::wstring>>;

} // namespace

TEST(TableLists, SortWithoutRegardToCaseInTheCLocale)
{
  const std::string before = std::setlocale(LC_ALL, nullptr);
  std::setlocale(LC_ALL, "C");
  entry_list list;
  for (const char* name : {"b", "Zeta", "a", "B", "alpha", "A", "_x", "a1"})
    list.add(QString::fromLatin1(name), entry_kind::table);
  std::setlocale(LC_ALL, before.c_str());
  EXPECT_EQ(texts(list), (QStringList{"_x", "A", "a", "a1", "alpha", "B", "b", "Zeta"}));
}

TEST(TablesPage, ShowsTheTablesWithTheFirstHighlighted)
{
  page_fixture f{"beta", "Alpha", "gamma"};
  f.db.run("CREATE VIEW v AS SELECT id FROM beta");
  ASSERT_EQ(f.page.page_init(), 1);
  EXPECT_EQ(f.page.header_title(), QStringLiteral("Step 3 of 5"));
  EXPECT_EQ(f.page.header_subtitle(), QStringLiteral("Select tables"));
  EXPECT_EQ(control<QLabel>(f.page, 1337).text(), QStringLiteral("Select MySQL tables to convert into MS Excel format."));
  EXPECT_EQ(texts(f.left()), (QStringList{"Alpha", "beta", "gamma"}));
  EXPECT_EQ(selected_texts(f.left()), QStringList{"Alpha"});
  EXPECT_EQ(f.left().selectionMode(), QAbstractItemView::ExtendedSelection);
  EXPECT_TRUE(texts(f.right()).isEmpty());
  EXPECT_FALSE(control<QPushButton>(f.page, 1117).isVisibleTo(&f.page));
}

TEST(TablesPage, MovesTheSelectedItemsAndReselectsTheOneThatFollowed)
{
  page_fixture f{"t1", "t2", "t3", "t4", "t5", "t6", "t7"};
  f.page.page_init();
  f.page.resize(600, 340);
  f.page.show();

  select_rows(f.left(), {1, 2, 4});  // items 2, 3 and 5
  QTest::mouseClick(&control<QPushButton>(f.page, 1101), Qt::LeftButton);
  EXPECT_EQ(texts(f.right()), (QStringList{"t2", "t3", "t5"}));
  EXPECT_EQ(texts(f.left()), (QStringList{"t1", "t4", "t6", "t7"}));
  EXPECT_EQ(selected_texts(f.left()), QStringList{"t6"});
  EXPECT_TRUE(selected_texts(f.right()).isEmpty());

  // The last items moved: the new last one is selected.
  select_rows(f.left(), {2, 3});
  f.page.on_add();
  EXPECT_EQ(selected_texts(f.left()), QStringList{"t4"});
  save_screen(f.page, QStringLiteral("tables"));

  // Nothing selected: nothing moves.
  f.left().clearSelection();
  f.page.on_add();
  EXPECT_EQ(f.left().count(), 2);

  // Remove mirrors Add.
  select_rows(f.right(), {0});
  QTest::mouseClick(&control<QPushButton>(f.page, 1111), Qt::LeftButton);
  EXPECT_EQ(texts(f.left()), (QStringList{"t1", "t2", "t4"}));
  EXPECT_EQ(selected_texts(f.right()), QStringList{"t3"});

  // Emptying the left list selects the first item on the right, and only that.
  select_rows(f.right(), {1, 2});
  select_rows(f.left(), {0, 1, 2});
  f.page.on_add();
  EXPECT_EQ(f.left().count(), 0);
  EXPECT_EQ(selected_texts(f.right()), QStringList{"t1"});

  QTest::mouseClick(&control<QPushButton>(f.page, 1110), Qt::LeftButton);
  EXPECT_EQ(f.left().count(), 7);
  EXPECT_EQ(f.right().count(), 0);
  QTest::mouseClick(&control<QPushButton>(f.page, 1102), Qt::LeftButton);
  EXPECT_EQ(f.right().count(), 7);
  EXPECT_TRUE(selected_texts(f.right()).isEmpty());

  // A double click on the left adds; on a table on the right it does nothing.
  f.page.on_del_all();
  QListWidgetItem* t5 = f.left().item(4);
  f.left().scrollToItem(t5);
  const QPoint at = f.left().visualItemRect(t5).center();
  QTest::mouseClick(f.left().viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(f.left().viewport(), Qt::LeftButton, {}, at);
  EXPECT_EQ(texts(f.right()), QStringList{"t5"});
  QListWidgetItem* right_t5 = f.right().item(0);
  const QPoint right_at = f.right().visualItemRect(right_t5).center();
  QTest::mouseClick(f.right().viewport(), Qt::LeftButton, {}, right_at);
  QTest::mouseDClick(f.right().viewport(), Qt::LeftButton, {}, right_at);
  QTest::qWait(50);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_EQ(texts(f.right()), QStringList{"t5"});
}

TEST(QueryDialog, ChecksTheNameThenSelectThenEmptiness)
{
  const struct {
    const char* name;
    const char* typed;
    const char* box;     // the box OK shows, or null when it accepts
    const char* stored;  // the text it stores when it accepts
  } cases[] = {
      {"q", "  \n\t\r SELECT 1", nullptr, "SELECT 1"},
      {"q", "selected stuff", nullptr, "selected stuff"},
      {"q", "Select id FROM t;", nullptr, "Select id FROM t;"},
      {"q", "   ", "The query must start with SELECT.", nullptr},
      {"q", "\n\n", "The query must start with SELECT.", nullptr},
      {"q", "SELEC", "The query must start with SELECT.", nullptr},
      {"q", "UPDATE t SET id = 0", "The query must start with SELECT.", nullptr},
      {"q", "", "Query is empty!", nullptr},
      {"", "", "Table name is empty!", nullptr},
      {"", "UPDATE t", "Table name is empty!", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    query_dialog dialog(QString(), QString(), [](const std::wstring&) { return true; });
    control<QLineEdit>(dialog, 1019).setText(QString::fromUtf8(c.name));
    control<QPlainTextEdit>(dialog, 1020).setPlainText(QString::fromUtf8(c.typed));
    QString shown;
    modal_script script({press(shown, QMessageBox::Ok)});
    dialog.on_ok();
    if (c.box == nullptr) {
      EXPECT_EQ(dialog.result(), QDialog::Accepted);
      EXPECT_EQ(dialog.sql(), QString::fromUtf8(c.stored));
      EXPECT_EQ(dialog.name(), QString::fromUtf8(c.name));
      EXPECT_FALSE(script.done());
    } else {
      EXPECT_TRUE(script.done());
      EXPECT_EQ(shown, QString::fromUtf8(c.box));
      EXPECT_NE(dialog.result(), QDialog::Accepted);
    }
  }
}

TEST(QueryDialog, TestQueryAsksTheServerWithoutRunningTheStatement)
{
  page_fixture f{"n"};
  f.db.run("INSERT INTO n VALUES (1), (2), (3)");
  std::vector<std::wstring> sent;
  query_dialog dialog(QStringLiteral("first"), QStringLiteral("SELECT * FROM n"), [&](const std::wstring& sql) {
    sent.push_back(sql);
    return f.converter.test_query(sql);
  });
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Add Query"));
  EXPECT_EQ(control<QLineEdit>(dialog, 1019).text(), QStringLiteral("first"));
  dialog.show();
  save_screen(dialog, QStringLiteral("query_dialog"));

  const QString error_text = QStringLiteral(
      "You have an error in your query syntax. Make sure that it is a correct SQL SELECT-statement. "
      "Contact Norvale support <support@norvale.example> if the error persists.");
  const struct {
    const char* typed;
    const char* answer;
    const char* screen;
  } cases[] = {
      {" \n SELECT id FROM n", "The query is correct.", "query_test_ok"},
      {"SELECT id FROM n;", "The query is correct.", nullptr},
      {"SELECT 1 AS a, 2 AS a", nullptr, "query_test_error"},
      {"SELECT * FROM n; DELETE FROM n", nullptr, nullptr},
      {"SELECT * FROM missing", nullptr, nullptr},
      {"DELETE FROM n", "The query must start with SELECT.", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    control<QPlainTextEdit>(dialog, 1020).setPlainText(QString::fromUtf8(c.typed));
    QString shown;
    const QString screen = c.screen != nullptr ? QString::fromUtf8(c.screen) : QString();
    modal_script script({press(shown, QMessageBox::Ok, screen)});
    QTest::mouseClick(&control<QPushButton>(dialog, 129), Qt::LeftButton);
    EXPECT_TRUE(script.done());
    EXPECT_EQ(shown, c.answer != nullptr ? QString::fromUtf8(c.answer) : error_text);
  }
  // The blanks in front went to the server as typed; the refused text never did.
  ASSERT_EQ(sent.size(), 5u);
  EXPECT_EQ(sent[0], L" \n SELECT id FROM n");
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(f.admin.value("SELECT COUNT(*) FROM " + f.db.quoted() + ".n"), "3");
}

TEST(QueryDialog, TestQueryOfASelectWithoutFromNeitherWaitsNorWrites)
{
  page_fixture f{"calls"};
  f.db.run("CREATE FUNCTION logit() RETURNS INT MODIFIES SQL DATA BEGIN INSERT INTO calls VALUES (1); RETURN 1; END");
  const QString typed = QStringLiteral("SELECT %1.logit() AS x, SLEEP(20) AS s").arg(QString::fromStdString(f.db.name()));
  query_dialog dialog(QStringLiteral("logged"), typed,
                      [&](const std::wstring& sql) { return f.converter.test_query(sql); });
  dialog.show();
  QString shown;
  modal_script script({press(shown, QMessageBox::Ok)});
  const auto start = std::chrono::steady_clock::now();
  QTest::mouseClick(&control<QPushButton>(dialog, 129), Qt::LeftButton);
  EXPECT_TRUE(script.done());
  EXPECT_EQ(shown, QStringLiteral("The query is correct."));
  // Far below the SLEEP, and the function inserted nothing.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(f.admin.value("SELECT COUNT(*) FROM " + f.db.quoted() + ".calls"), "0");
}

TEST(TablesPage, AddQueryRefusesATakenNameIgnoringCaseButTakesATablesName)
{
  page_fixture f{"orders", "Items"};
  f.converter.available_queries = {{L"saved", L"SELECT 1"}};
  f.page.page_init();
  select_rows(f.left(), {0});  // Items
  f.page.on_add();

  // Taken: a name on the right, or a saved query's name on the left.
  QString duplicate;
  QString saved_duplicate;
  modal_script script({fill_query("ITEMS", " \nSELECT * FROM Items"), press(duplicate, QMessageBox::Ok),
                       fill_query("Saved", "SELECT 2"), press(saved_duplicate, QMessageBox::Ok),
                       fill_query("orders", "SELECT id FROM orders WHERE id > 1")});
  QTest::mouseClick(&control<QPushButton>(f.page, 1114), Qt::LeftButton);
  EXPECT_TRUE(script.done());
  EXPECT_EQ(duplicate, QStringLiteral("Duplicate table name. Try again."));
  EXPECT_EQ(saved_duplicate, duplicate);
  EXPECT_EQ(texts(f.right()), (QStringList{"Items", "orders"}));
  EXPECT_EQ(entry_item::kind_of(*f.right().item(1)), entry_kind::query);
  EXPECT_EQ(f.page.selected_queries(), (pairs{{L"orders", L"SELECT id FROM orders WHERE id > 1"}}));

  // Cancel adds nothing.
  modal_script cancelled({fill_query("more", "SELECT 1", 2)});
  f.page.on_add_query();
  EXPECT_TRUE(cancelled.done());
  EXPECT_EQ(f.right().count(), 2);
}

TEST(TablesPage, AQueryNamedLikeATableStaysAQueryAndBothAreConverted)
{
  page_fixture f{"orders", "items"};
  f.page.page_init();
  modal_script script({fill_query("orders", "SELECT id FROM orders")});
  f.page.on_add_query();
  ASSERT_TRUE(script.done());
  // Then the table of that name.
  select_rows(f.left(), {f.left().row(f.left().find_exact("orders", entry_kind::table))});
  f.page.on_add();
  ASSERT_EQ(f.right().count(), 2);
  EXPECT_EQ(f.page.on_next(), wizard_page::go_adjacent);
  EXPECT_EQ(f.converter.selected_tables, std::vector<std::wstring>{L"orders"});
  EXPECT_EQ(f.converter.selected_queries, (pairs{{L"orders", L"SELECT id FROM orders"}}));
  {
    // Both become sheets of the workbook.
    error_handler handler(dao_error_map_size, dao_error_map);
    temp_dir dir;
    f.db.run("INSERT INTO orders VALUES (1), (2)");
    f.converter.destination = wide(dir.file("both.xlsx"));
    f.converter.format_version = xls_format_excel_2010;
    f.converter();
    EXPECT_TRUE(f.converter.reached_end);
    EXPECT_EQ(workbook_check::sheet_titles(dir.file("both.xlsx")), "orders\norders00000\n");
  }

  // Removing the table leaves the query selected.
  f.right().clearSelection();
  f.right().find_exact("orders", entry_kind::table)->setSelected(true);
  f.page.on_delete();
  EXPECT_EQ(f.page.selected_queries(), (pairs{{L"orders", L"SELECT id FROM orders"}}));
  EXPECT_TRUE(f.page.available_queries().empty());

  // Removing the query makes its pair available; it shows on the left beside the table.
  f.right().item(0)->setSelected(true);
  f.page.on_delete();
  EXPECT_EQ(f.page.available_queries(), (pairs{{L"orders", L"SELECT id FROM orders"}}));
  QString asked;
  modal_script yes({press(asked, QMessageBox::Yes)});
  EXPECT_EQ(f.page.on_next(), wizard_page::go_adjacent);
  EXPECT_TRUE(yes.done());
  f.page.page_init();
  EXPECT_EQ(texts(f.left()), (QStringList{"items", "orders", "orders"}));
  EXPECT_NE(f.left().find_exact("orders", entry_kind::query), nullptr);
}

TEST(TablesPage, EditingAQueryRefusesANameAnotherItemBears)
{
  page_fixture f{"orders", "items"};
  f.converter.selected_tables = {L"orders"};
  f.converter.selected_queries = {{L"big", L"SELECT * FROM items"}, {L"small", L"SELECT 1"}};
  f.page.page_init();
  f.page.resize(600, 340);
  f.page.show();
  EXPECT_EQ(texts(f.right()), (QStringList{"big", "orders", "small"}));

  f.right().setCurrentRow(0);  // big
  QString duplicate;
  QString second_duplicate;
  modal_script script({fill_query("ORDERS", "SELECT 2"), press(duplicate, QMessageBox::Ok),
                       fill_query("Small", "SELECT 2"), press(second_duplicate, QMessageBox::Ok),
                       fill_query("big", "SELECT id FROM items")});
  const QPoint at = f.right().visualItemRect(f.right().item(0)).center();
  QTest::mouseClick(f.right().viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(f.right().viewport(), Qt::LeftButton, {}, at);
  EXPECT_TRUE(script.done());
  EXPECT_EQ(duplicate, QStringLiteral("Duplicate table name. Try again."));
  EXPECT_EQ(second_duplicate, duplicate);
  // Keeping its own name is no duplicate.
  EXPECT_EQ(f.page.selected_queries(), (pairs{{L"small", L"SELECT 1"}, {L"big", L"SELECT id FROM items"}}));

  f.right().setCurrentRow(2);  // small
  modal_script rename({fill_query("tiny", "SELECT 3")});
  f.page.on_edit_query();
  EXPECT_TRUE(rename.done());
  EXPECT_EQ(texts(f.right()), (QStringList{"big", "orders", "tiny"}));
  EXPECT_EQ(f.page.selected_queries(), (pairs{{L"big", L"SELECT id FROM items"}, {L"tiny", L"SELECT 3"}}));
}

TEST(TablesPage, NextAsksTheNoTablesQuestionOnlyWhenTablesAreOfferedAndNoneChosen)
{
  page_fixture f{"a", "b"};
  f.page.page_init();
  f.page.resize(600, 340);
  f.page.show();
  QString asked;
  modal_script no({[&](QWidget& modal) {
    auto& box = dynamic_cast<QMessageBox&>(modal);
    asked = box.text();
    EXPECT_EQ(box.defaultButton(), box.button(QMessageBox::No));
    save_screen(box, QStringLiteral("no_tables_question"));
    box.button(QMessageBox::No)->click();
  }});
  EXPECT_EQ(f.page.on_next(), wizard_page::stay);
  EXPECT_TRUE(no.done());
  EXPECT_EQ(asked, QStringLiteral("There are no tables selected. Continue anyway?"));

  QString again;
  modal_script yes({press(again, QMessageBox::Yes)});
  f.converter.selected_tables = {L"stale"};
  EXPECT_EQ(f.page.on_next(), wizard_page::go_adjacent);
  EXPECT_TRUE(yes.done());
  EXPECT_TRUE(f.converter.selected_tables.empty());

  // A query alone is a choice: no question.
  modal_script query({fill_query("q", "SELECT 1")});
  f.page.on_add_query();
  ASSERT_TRUE(query.done());
  QString unexpected;
  modal_script none({press(unexpected, QMessageBox::No)});
  EXPECT_EQ(f.page.on_next(), wizard_page::go_adjacent);
  QTest::qWait(30);
  EXPECT_FALSE(none.done());

  // A database without tables: nothing to ask about.
  page_fixture empty{};
  empty.page.page_init();
  EXPECT_EQ(empty.left().count(), 0);
  EXPECT_TRUE(selected_texts(empty.left()).isEmpty());
  EXPECT_EQ(empty.page.on_next(), wizard_page::go_adjacent);
  QTest::qWait(30);
  EXPECT_FALSE(none.done());
}

TEST(TablesPage, ComingBackShowsTheChoiceAgainWithEachQueryOnce)
{
  page_fixture f{"a", "b", "c"};
  // A loaded profile: a table waits among the queries, and a saved query is available.
  f.converter.selected_queries = {{L"c", L""}, {L"q1", L"SELECT * FROM a"}};
  f.converter.available_queries = {{L"q2", L"SELECT * FROM b"}, {L"empty", L""}};
  for (int visit = 0; visit < 3; ++visit) {
    SCOPED_TRACE(visit);
    f.page.page_init();
    EXPECT_EQ(texts(f.left()), (QStringList{"a", "b", "q2"}));
    EXPECT_EQ(texts(f.right()), (QStringList{"c", "q1"}));
    EXPECT_EQ(f.page.on_next(), wizard_page::go_adjacent);
    EXPECT_EQ(f.converter.selected_tables, std::vector<std::wstring>{L"c"});
    EXPECT_EQ(f.converter.selected_queries, (pairs{{L"q1", L"SELECT * FROM a"}}));
    EXPECT_EQ(f.converter.available_queries, (pairs{{L"q2", L"SELECT * FROM b"}, {L"empty", L""}}));
  }
  // A choice made here survives Next and the way back.
  select_rows(f.left(), {0, 2});  // a, q2
  f.page.on_add();
  f.page.on_next();
  f.page.page_init();
  EXPECT_EQ(texts(f.left()), QStringList{"b"});
  EXPECT_EQ(texts(f.right()), (QStringList{"a", "c", "q1", "q2"}));
}

TEST(TablesPage, ATableListingThatFailsReturnsToTheDatabasePage)
{
  page_fixture f{"a"};
  wizard_shell shell(QStringLiteral("Tabloom 5.5"), QIcon(), QPixmap(), QPixmap());
  neighbour_page database(page_database, wizb_back | wizb_next, psp_has_help, QString(), QString());
  neighbour_page format(page_format, wizb_back | wizb_next, psp_has_help, QString(), QString());
  shell.add_page(database);
  shell.add_page(f.page);
  shell.add_page(format);
  shell.start();
  shell.show();
  ASSERT_EQ(shell.current_page()->id(), page_database);

  f.converter.source = L"qvt_no_such_database";
  QString error;
  modal_script forward({press(error, QMessageBox::Ok)});
  shell.press_next();
  EXPECT_TRUE(forward.done());
  EXPECT_TRUE(error.contains(QStringLiteral("qvt_no_such_database"))) << error.toStdString();
  QTest::qWait(30);
  EXPECT_EQ(shell.current_page()->id(), page_database);

  // On the way back from the next page as well: to the database page, not onward.
  f.converter.source = f.db.wname();
  shell.press_next();
  ASSERT_EQ(shell.current_page()->id(), page_tables);
  QString yes;
  modal_script question({press(yes, QMessageBox::Yes)});
  shell.press_next();
  ASSERT_EQ(shell.current_page()->id(), page_format);
  f.converter.source = L"qvt_no_such_database";
  QString back_error;
  modal_script backward({press(back_error, QMessageBox::Ok)});
  shell.press_back();
  EXPECT_TRUE(backward.done());
  EXPECT_TRUE(wait_until([&] { return shell.current_page()->id() == page_database; }));
  shell.hide();
}
