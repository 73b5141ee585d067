// The wizard from its first page to its last, as a user walks it: the real pages
// of the program against the real test server, one run for each of the three
// formats, the workbook read back by its own reader, and the settings the next
// start finds.
#include "GUI2/finish_page.h"
#include "GUI2/gui_error_front.h"
#include "GUI2/wizard_front_end.h"
#include "GUI2/wizard_pages.h"
#include "GUI2/wizard_program.h"
#include "GUI2/wizard_shell.h"
#include "SQL/sql_test_support.h"
#include "common/err_handler.h"
#include "common/qvt_converter.h"
#include "dao/dao_error_map.h"
#include "gui_test_support.h"
#include "support/command_output.h"
#include "support/temp_dir.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>

namespace {

template <class T>
T& control_of(QWidget& page, int id)
{
  auto* found = page.findChild<T*>(QStringLiteral("c%1").arg(id));
  if (found == nullptr)
    throw std::runtime_error("no control " + std::to_string(id) + " on page " +
                             page.objectName().toStdString());
  return *found;
}

// Every non-empty cell of the workbook as "<sheet>!<row>,<column>=<value>", one a
// line, read by openpyxl (.xlsx) or xlrd (.xls); numbers print as Python floats.
std::string workbook_cells(const std::string& path)
{
  static const char* const script =
      "import sys\n"
      "p = sys.argv[1]\n"
      "def show(v):\n"
      "    return repr(float(v)) if isinstance(v, (int, float)) else str(v)\n"
      "if p.endswith('.xlsx'):\n"
      "    import openpyxl\n"
      "    for s in openpyxl.load_workbook(p).worksheets:\n"
      "        for r, row in enumerate(s.iter_rows(values_only=True)):\n"
      "            for c, v in enumerate(row):\n"
      "                if v is not None: print('%s!%d,%d=%s' % (s.title, r, c, show(v)))\n"
      "else:\n"
      "    import xlrd\n"
      "    for s in xlrd.open_workbook(p).sheets():\n"
      "        for r in range(s.nrows):\n"
      "            for c in range(s.ncols):\n"
      "                v = s.cell_value(r, c)\n"
      "                if v != '': print('%s!%d,%d=%s' % (s.name, r, c, show(v)))\n";
  const temp_dir scratch;
  const std::string file = scratch.file("cells.py");
  write_file(file, script);
  return test_support::command_output("/usr/bin/python3 '" + file + "' '" + path + "' 2>&1");
}

// The program's error handling as main sets it up: reports go to the wizard.
struct wizard_reporting {
  wizard_reporting()
  {
    handler.load_err_map(mysql_error_map_size, mysql_error_map);
    handler.set_front_end(front_end);
  }
  error_handler handler{dao_error_map_size, dao_error_map};
  wizard_front_end front_end;
};

struct format_case {
  std::uint32_t format;
  const char* extension;
  const char* name;
};

void PrintTo(const format_case& c, std::ostream* out)
{
  *out << c.name;
}

// A scratch database with two small tables, and settings of the test's own.
class wizard_world {
protected:
  wizard_world()
  {
    // Each run keeps its settings apart, so the next start reads only this one's.
    config_ = settings.file("config");
    previous_config_ = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config_));
    db.run("CREATE TABLE items (id INT PRIMARY KEY, name VARCHAR(40), price DECIMAL(8,2))");
    db.run("INSERT INTO items VALUES (1, 'pen', 1.25), (2, 'Straße', 20.5), (3, NULL, 3)");
    db.run("CREATE TABLE notes (id INT, body TEXT)");
    db.run("INSERT INTO notes VALUES (7, 'first'), (8, 'second')");
  }
  ~wizard_world() { qputenv("XDG_CONFIG_HOME", previous_config_); }

  sql_admin admin;
  scratch_database db{admin, "_wizard"};
  temp_dir place;
  temp_dir settings;
  std::string config_;
  QByteArray previous_config_;
};

class WholeWizard : public wizard_world, public testing::TestWithParam<format_case> {};
class WholeWizardErrors : public wizard_world, public testing::Test {};

// Fills the connection page for the test server, in Remote mode.
void fill_connection(QWidget& connection)
{
  const test_server_info& server = test_server();
  control_of<QRadioButton>(connection, 1330).click();
  control_of<QLineEdit>(connection, 1012).setText(QString::fromStdString(server.user));
  control_of<QLineEdit>(connection, 1013).setText(QString::fromStdString(server.password));
  control_of<QLineEdit>(connection, 1014).setText(QString::fromStdString(server.host));
  control_of<QLineEdit>(connection, 1015).setText(QString::number(server.port));
}

// What the tables page is given: every table and a query whose order is not
// the table's, every table and a query that passes its check but fails while
// its rows are read, or only a query that fails before it has a sheet.
enum class entries { tables_and_ordered_query, tables_and_failing_query, failing_query_only };

// Walks one wizard from the welcome page to the finish page and presses Finish,
// answering Yes to "Overwrite?" for an existing destination.
void walk_wizard(qorvant_converter& converter, const std::string& database, const std::string& destination,
                 std::uint32_t format, entries picked, QString* finish_text, QString* error_list)
{
  wizard_program program(converter, L"");
  wizard_shell& shell = program.shell();
  shell.resize(600, 440);
  shell.start();
  shell.show();
  ASSERT_EQ(shell.current_page()->id(), page_welcome);
  shell.press_next();

  ASSERT_EQ(shell.current_page()->id(), page_connection);
  fill_connection(*shell.current_page());
  shell.press_next();

  ASSERT_EQ(shell.current_page()->id(), page_database);
  QWidget& database_page = *shell.current_page();
  auto& databases = control_of<QComboBox>(database_page, 1302);
  databases.showPopup();  // the first drop-down asks the server for its list
  const int listed = databases.findText(QString::fromStdString(database));
  ASSERT_GE(listed, 0);
  databases.hidePopup();
  databases.setCurrentIndex(listed);
  emit databases.activated(listed);
  control_of<QLineEdit>(database_page, 1004).setText(QString::fromStdString(destination));
  save_screen(shell, QStringLiteral("wizard_database"));
  if (std::filesystem::exists(destination))
    when_modal_shows([](QWidget& box) { static_cast<QMessageBox&>(box).button(QMessageBox::Yes)->click(); });
  shell.press_next();

  ASSERT_EQ(shell.current_page()->id(), page_tables);
  QWidget& tables = *shell.current_page();
  if (picked != entries::failing_query_only)
    control_of<QPushButton>(tables, 1102).click();  // Add all
  const bool failing_query = picked != entries::tables_and_ordered_query;
  {
    // The check asks only for the columns; what the server refuses is the
    // rows, or the count before them.
    const QString name = failing_query ? QStringLiteral("note_of_item") : QStringLiteral("by_price");
    const QString query =
        picked == entries::failing_query_only ? QStringLiteral("SELECT * FROM items WHERE id = (SELECT id FROM notes)")
        : failing_query ? QStringLiteral("SELECT id, (SELECT body FROM notes WHERE notes.id > items.id) AS note FROM items")
                        : QStringLiteral("SELECT id, name FROM items ORDER BY price DESC");
    when_modal_shows([name, query](QWidget& dialog) {
      control_of<QLineEdit>(dialog, 1019).setText(name);
      control_of<QPlainTextEdit>(dialog, 1020).setPlainText(query);
      QTest::keyClick(&dialog, Qt::Key_Return);
    });
    control_of<QPushButton>(tables, 1114).click();
  }
  save_screen(shell, QStringLiteral("wizard_tables"));
  shell.press_next();

  ASSERT_EQ(shell.current_page()->id(), page_format);
  QWidget& format_page = *shell.current_page();
  auto& formats = control_of<QComboBox>(format_page, 1302);
  formats.setCurrentIndex(static_cast<int>(format));
  emit formats.activated(static_cast<int>(format));
  save_screen(shell, QStringLiteral("wizard_format"));
  shell.press_next();

  if (failing_query)  // the run's Continue/Abort question: go on
    when_modal_shows([](QWidget& dialog) { QTest::keyClick(&dialog, Qt::Key_Return); });
  ASSERT_TRUE(wait_until([&] { return shell.current_page()->id() == page_finish; }, 60000));
  QWidget& finish = *shell.current_page();
  *finish_text = control_of<QLabel>(finish, 1314).text();
  if (auto* list = finish.findChild<QPlainTextEdit*>(QStringLiteral("c1016")))
    *error_list = list->isVisible() ? list->toPlainText() : QString();
  else if (auto* rich = finish.findChild<QTextEdit*>(QStringLiteral("c1016")))
    *error_list = rich->isVisible() ? rich->toPlainText() : QString();
  control_of<QCheckBox>(finish, 1225).setChecked(false);
  save_screen(shell, QStringLiteral("wizard_finish_%1").arg(format));
  shell.press_finish();
  EXPECT_FALSE(shell.isVisible());
}

} // namespace

TEST_P(WholeWizard, ConvertsFromTheWelcomePageToTheFinishPageAndTheNextStartRemembers)
{
  const format_case& c = GetParam();
  wizard_reporting reporting;
  const std::string destination = place.file(std::string("shop.") + c.extension);
  QString finish_text;
  QString error_list;
  {
    qorvant_converter converter(qvt_program::gui);
    converter.set_front_end(reporting.front_end);
    walk_wizard(converter, db.name(), destination, c.format, entries::tables_and_ordered_query, &finish_text,
                &error_list);
  }
  EXPECT_EQ(finish_text, QStringLiteral("Wizard has converted your MySQL database into\nMS Excel format "
                                        "successfully.\n\nClick 'Finish' to exit the wizard."));
  EXPECT_EQ(error_list, QString());
  const std::string price_25 = "20.5";
  // The query's rows come in its own order, the most expensive item first.
  EXPECT_EQ(workbook_cells(destination),
            "by_price!0,0=id\nby_price!0,1=name\nby_price!1,0=2.0\nby_price!1,1=Straße\n"
            "by_price!2,0=3.0\nby_price!3,0=1.0\nby_price!3,1=pen\n"
            "items!0,0=id\nitems!0,1=name\nitems!0,2=price\n"
            "items!1,0=1.0\nitems!1,1=pen\nitems!1,2=1.25\n"
            "items!2,0=2.0\nitems!2,1=Straße\nitems!2,2=" + price_25 + "\n"
            "items!3,0=3.0\nitems!3,2=3.0\n"
            "notes!0,0=id\nnotes!0,1=body\n"
            "notes!1,0=7.0\nnotes!1,1=first\nnotes!2,0=8.0\nnotes!2,1=second\n");

  // The settings file is the user's alone, and the next start reads it.
  const std::filesystem::path file = std::filesystem::path(config_) / "Norvale" / "Tabloom";
  struct stat info {};
  ASSERT_EQ(::stat(file.c_str(), &info), 0) << file;
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  qorvant_converter next(qvt_program::gui);
  EXPECT_EQ(next.source, std::wstring(db.name().begin(), db.name().end()));
  EXPECT_EQ(next.destination, std::filesystem::path(destination).wstring());
  EXPECT_EQ(next.format_version, c.format);
  EXPECT_EQ(next.host, test_server().host);
  EXPECT_EQ(next.user, test_server().user);
}

TEST_P(WholeWizard, ARunWhoseOnlyEntryFailsKeepsTheOldWorkbook)
{
  const format_case& c = GetParam();
  wizard_reporting reporting;
  const std::string destination = place.file(std::string("shop.") + c.extension);
  write_file(destination, "previous workbook");
  QString finish_text;
  QString error_list;
  {
    qorvant_converter converter(qvt_program::gui);
    converter.set_front_end(reporting.front_end);
    walk_wizard(converter, db.name(), destination, c.format, entries::failing_query_only, &finish_text,
                &error_list);
  }
  EXPECT_TRUE(error_list.contains(QStringLiteral("Subquery returns more than 1 row"))) << error_list.toStdString();
  EXPECT_EQ(read_file(destination), "previous workbook");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(place.path()), {}), 1) << "nothing temporary is left";
}

INSTANTIATE_TEST_SUITE_P(Formats, WholeWizard,
                         testing::Values(format_case{0, "xls", "Excel5"}, format_case{1, "xls", "Excel2000"},
                                         format_case{2, "xlsx", "Xlsx"}),
                         [](const testing::TestParamInfo<format_case>& format) { return std::string(format.param.name); });

TEST_F(WholeWizardErrors, ARunWithAnErrorListsItOnTheFinishPage)
{
  wizard_reporting reporting;
  const std::string destination = place.file("shop.xlsx");
  QString finish_text;
  QString error_list;
  {
    qorvant_converter converter(qvt_program::gui);
    converter.set_front_end(reporting.front_end);
    walk_wizard(converter, db.name(), destination, 2, entries::tables_and_failing_query, &finish_text, &error_list);
  }
  EXPECT_EQ(finish_text,
            QStringLiteral("There were some errors while converting the database.\nClick 'Finish' to exit the wizard."));
  EXPECT_TRUE(error_list.contains(QStringLiteral("Subquery returns more than 1 row"))) << error_list.toStdString();
  // The tables around the failed query still made their sheets.
  const std::string cells = workbook_cells(destination);
  EXPECT_NE(cells.find("items!1,1=pen"), std::string::npos) << cells;
  EXPECT_NE(cells.find("notes!2,1=second"), std::string::npos) << cells;
}

TEST_F(WholeWizardErrors, APageErrorIsAPlainBoxAndTheFinishPageReportsTheRunAlone)
{
  wizard_reporting reporting;
  const std::string destination = place.file("shop.xlsx");
  qorvant_converter converter(qvt_program::gui);
  converter.set_front_end(reporting.front_end);
  converter.format_version = xls_format_excel_2010;
  wizard_program program(converter, L"");
  wizard_shell& shell = program.shell();
  shell.start();
  shell.show();
  shell.press_next();
  fill_connection(*shell.current_page());
  shell.press_next();
  ASSERT_EQ(shell.current_page()->id(), page_database);
  QWidget& database_page = *shell.current_page();
  auto& databases = control_of<QComboBox>(database_page, 1302);
  control_of<QLineEdit>(database_page, 1004).setText(QString::fromStdString(destination));

  // A misspelt name: the tables page cannot list it and the user is back here.
  databases.setEditText(QString::fromStdString(db.name() + "_misspelt"));
  QString shown;
  bool plain_box = false;
  when_modal_shows([&](QWidget& modal) {
    auto* box = qobject_cast<QMessageBox*>(&modal);
    plain_box = box != nullptr && box->buttons().size() == 1 && modal.findChild<QCheckBox*>() == nullptr;
    shown = box != nullptr ? box->text() : modal.findChild<QLabel*>(QStringLiteral("c1320"))->text();
    save_screen(modal, QStringLiteral("page_error_box"));
    QTest::keyClick(&modal, Qt::Key_Return);
  });
  shell.press_next();
  EXPECT_TRUE(plain_box);
  EXPECT_TRUE(shown.contains(QStringLiteral("Unknown database"))) << shown.toStdString();
  QTest::qWait(20);  // the page's deferred return, as the event loop runs it
  ASSERT_EQ(shell.current_page()->id(), page_database);
  EXPECT_TRUE(shell.errors.empty());

  // Corrected, the run is clean and the finish page says so.
  databases.setEditText(QString::fromStdString(db.name()));
  shell.press_next();
  ASSERT_EQ(shell.current_page()->id(), page_tables);
  control_of<QPushButton>(*shell.current_page(), 1102).click();  // Add all
  shell.press_next();
  ASSERT_EQ(shell.current_page()->id(), page_format);
  shell.press_next();
  ASSERT_TRUE(wait_until([&] { return shell.current_page()->id() == page_finish; }, 60000));
  QWidget& finish = *shell.current_page();
  EXPECT_EQ(control_of<QLabel>(finish, 1314).text(), finish_page::success_text());
  EXPECT_FALSE(control_of<QPlainTextEdit>(finish, 1016).isVisible());
  EXPECT_TRUE(control_of<QLabel>(finish, 1320).isVisible());
  auto& open_on_exit = control_of<QCheckBox>(finish, 1225);
  EXPECT_TRUE(open_on_exit.isVisible());
  open_on_exit.setChecked(false);
  save_screen(shell, QStringLiteral("finish_after_corrected_page_error"));
  shell.press_finish();
  const std::string cells = workbook_cells(destination);
  EXPECT_NE(cells.find("items!1,1=pen"), std::string::npos) << cells;
}
