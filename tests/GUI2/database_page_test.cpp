// The database and destination page on real widgets, with a converter connected
// to the test server: the server's database list, the destination a pick derives,
// the checks and the overwrite question of Next (which never deletes), and a new
// list after a new connection.
#include "GUI2/connection_page.h"
#include "GUI2/database_page.h"
#include "GUI2/file_dialog.h"
#include "GUI2/neighbour_page.h"
#include "GUI2/wizard_pages.h"
#include "GUI2/wizard_program.h"
#include "GUI2/help_window.h"
#include "GUI2/wizard_shell.h"
#include "gui_test_support.h"

#include "SQL/sql_test_support.h"
#include "TK/tk_chdir.h"
#include "common/qvt_converter.h"
#include "support/temp_dir.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

template <class T>
T& control(QWidget& page, int id)
{
  auto* found = page.findChild<T*>(QStringLiteral("c%1").arg(id));
  EXPECT_NE(found, nullptr) << id;
  return *found;
}

QStringList items(const QComboBox& box)
{
  QStringList texts;
  for (int i = 0; i < box.count(); ++i)
    texts << box.itemText(i);
  return texts;
}

// Picks the item from the open list as a user would: Return on its row.
void pick(QComboBox& box, const QString& text)
{
  box.showPopup();
  const int row = box.findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive);
  ASSERT_GE(row, 0) << text.toStdString();
  box.view()->setCurrentIndex(box.model()->index(row, 0));
  QTest::keyClick(box.view(), Qt::Key_Return);
}

std::wstring cwd_file(const std::wstring& name)
{
  return (std::filesystem::current_path() / name).wstring();
}

void connect_to_test_server(qorvant_converter& converter)
{
  const test_server_info& server = test_server();
  converter.host = server.host;
  converter.port = std::to_string(server.port);
  converter.user = server.user;
  converter.password = server.password;
  converter.connect_mysql_server();
}

// The page between two neighbour pages in a shell, on a converter connected to
// the test server, with a scratch database of a few tables.
struct database_fixture {
  database_fixture()
  {
    shop.run("CREATE TABLE customers (id INT PRIMARY KEY, name VARCHAR(40))");
    shop.run("CREATE TABLE orders (id INT PRIMARY KEY, customer INT, total DECIMAL(10,2))");
    shop.run("CREATE TABLE items (id INT PRIMARY KEY, title VARCHAR(80))");
    converter.format_version = xls_format_excel_2000;
    connect_to_test_server(converter);
    shell.add_page(before);
    shell.add_page(page);
    shell.add_page(after);
    shell.resize(640, 480);
    shell.show();
    shell.start();
  }
  // Enters the page from the one before, as Next does.
  void enter()
  {
    shell.go_to(page_connection);
    shell.press_next();
    ASSERT_EQ(shell.current_page(), &page);
  }
  QComboBox& databases() { return control<QComboBox>(page, 1302); }
  QLineEdit& destination() { return control<QLineEdit>(page, 1004); }

  sql_admin admin;
  scratch_database shop{admin, "_Shop"};
  qorvant_converter converter{qvt_program::console};
  wizard_shell shell{QStringLiteral("Tabloom 5.5"), QIcon(), QPixmap(), QPixmap()};
  neighbour_page before{page_connection, wizb_back | wizb_next, psp_has_help, QStringLiteral("Step 1 of 5"),
                          QStringLiteral("Connect to MySQL server")};
  database_page page{converter};
  neighbour_page after{page_tables, wizb_back | wizb_next, psp_has_help, QStringLiteral("Step 3 of 5"),
                         QStringLiteral("Select tables")};
};

} // namespace

TEST(DatabasePage, TheListComesFromTheServerOnceAndTheDropDownReselectsTheSourceIgnoringCase)
{
  database_fixture f;
  const QString shop = QString::fromStdString(f.shop.name());
  f.converter.source = shop.toLower().toStdWString();
  f.converter.destination = L"/tmp/kept.xls";
  f.enter();
  QComboBox& box = f.databases();
  EXPECT_EQ(box.count(), 0);
  EXPECT_EQ(box.currentText(), shop.toLower());
  EXPECT_EQ(f.page.header_title(), QStringLiteral("Step 2 of 5"));
  EXPECT_EQ(f.page.header_subtitle(), QStringLiteral("Select databases"));

  box.setEditText(QStringLiteral("typed over"));
  box.showPopup();
  const QStringList listed = items(box);
  EXPECT_TRUE(listed.contains(shop));
  EXPECT_TRUE(listed.contains(QStringLiteral("information_schema")));
  // The stored source, found ignoring case, replaces what was typed.
  EXPECT_EQ(box.currentText(), shop);
  save_screen(f.shell, QStringLiteral("database"));
  box.hidePopup();

  // Fetched once: a database made since is not offered, and the text typed in
  // the meantime goes back to the source at the next drop-down.
  scratch_database later(f.admin, "_later");
  box.setEditText(QStringLiteral("something else"));
  box.showPopup();
  box.hidePopup();
  EXPECT_EQ(items(box), listed);
  EXPECT_EQ(box.currentText(), shop);
  // No pick happened: the destination is not renamed.
  EXPECT_EQ(f.destination().text(), QStringLiteral("/tmp/kept.xls"));
}

TEST(DatabasePage, APickDerivesTheDestinationAndEmptiesTheListsTypingDoesNeither)
{
  struct pick_case {
    std::uint32_t format;
    std::wstring field;     // the destination field before the pick
    std::wstring expected;  // "" : the current folder's <database>.<ext>
  };
  // Away from the test program's folder, which an empty field must not mean.
  const temp_dir elsewhere;
  const tk_temp_chdir moved(elsewhere.path().string());
  ASSERT_TRUE(moved.changed());
  const std::vector<pick_case> cases = {
      {xls_format_excel_2000, L"", L""},
      {xls_format_excel_2010, L"", L""},
      {xls_format_excel_50, L"/tmp/qvt folder/old.xlsx", L"/tmp/qvt folder/%s.xls"},
      {xls_format_excel_2010, L"sub/old.xls", cwd_file(L"sub/%s.xlsx")},
  };
  database_fixture f;
  f.enter();
  const std::wstring shop = f.shop.wname();
  for (const pick_case& c : cases) {
    f.converter.format_version = c.format;
    f.converter.selected_tables = {L"customers"};
    f.converter.selected_queries = {{L"q", L"SELECT 1"}};
    f.converter.selected_views = {{L"v", L"SELECT 2"}};
    f.converter.available_queries = {{L"a", L"SELECT 3"}};
    f.destination().setText(QString::fromStdWString(c.field));

    // Typing a name renames nothing and keeps the lists.
    f.databases().setEditText(QStringLiteral("typed"));
    EXPECT_EQ(f.destination().text().toStdWString(), c.field);
    EXPECT_EQ(f.converter.selected_tables.size(), 1U);

    pick(f.databases(), QString::fromStdWString(shop));
    std::wstring expected = c.expected.empty() ? cwd_file(shop + L"." + workbook_extension(c.format)) : c.expected;
    if (const auto at = expected.find(L"%s"); at != std::wstring::npos)
      expected.replace(at, 2, shop);
    EXPECT_EQ(f.destination().text().toStdWString(), expected) << c.format;
    EXPECT_EQ(f.databases().currentText().toStdWString(), shop);
    EXPECT_TRUE(f.converter.selected_tables.empty());
    EXPECT_TRUE(f.converter.selected_queries.empty());
    EXPECT_TRUE(f.converter.selected_views.empty());
    EXPECT_TRUE(f.converter.available_queries.empty());
  }
}

TEST(DatabasePage, ActivationShowsTheDestinationAsAFullPath)
{
  struct shown_case {
    std::wstring source, destination;
    std::uint32_t format;
    std::wstring shown;
  };
  const std::vector<shown_case> cases = {
      {L"", L"", xls_format_excel_2000, L""},
      {L"shop", L"", xls_format_excel_2000, cwd_file(L"shop.xls")},
      {L"shop", L"", xls_format_excel_2010, cwd_file(L"shop.xlsx")},
      {L"shop", L"out/../book.xlsx", xls_format_excel_2000, cwd_file(L"book.xlsx")},
      {L"", L"/tmp/only.xls", xls_format_excel_2000, L"/tmp/only.xls"},
  };
  database_fixture f;
  for (const shown_case& c : cases) {
    f.converter.source = c.source;
    f.converter.destination = c.destination;
    f.converter.format_version = c.format;
    f.converter.split_data = !c.source.empty();
    f.enter();
    EXPECT_EQ(f.destination().text().toStdWString(), c.shown) << c.source << L"|" << c.destination;
    EXPECT_EQ(f.databases().currentText().toStdWString(), c.source);
    EXPECT_EQ(control<QCheckBox>(f.page, 1222).isChecked(), f.converter.split_data);
    // Showing the field stores nothing.
    EXPECT_EQ(f.converter.destination, c.destination);
  }
}

TEST(DatabasePage, NextChecksTheDestinationInOrderAndTheOverwriteQuestionDeletesNothing)
{
  const temp_dir dir;
  const std::string folder = dir.file("folder");
  std::filesystem::create_directory(folder);
  const std::string readonly = dir.file("readonly.xls");
  write_file(readonly, "old");
  ::chmod(readonly.c_str(), 0444);
  const std::string existing = dir.file("existing.xls");
  const std::string old_bytes = std::string("old workbook\0bytes", 18);
  write_file(existing, old_bytes);

  enum answer { none, no, yes };
  struct next_case {
    const char* what;
    QString source;
    std::string destination;
    QString box_text;  // empty: no box
    answer reply;
    bool moves_on;
  };
  const std::vector<next_case> cases = {
      {"no database", QString(), dir.file("new.xls"), QStringLiteral("You should enter MySQL database name"), none,
       false},
      {"no file", QStringLiteral("shop"), std::string(), QStringLiteral("You should enter MS Excel file name"),
       none, false},
      {"a folder", QStringLiteral("shop"), folder,
       QStringLiteral("Destination name should specify a file, not folder."), none, false},
      {"read-only", QStringLiteral("shop"), readonly,
       QStringLiteral("Destination name specifies an existing read-only file."), none, false},
      {"missing folder", QStringLiteral("shop"), dir.file("missing/new.xls"),
       QStringLiteral("Destination path does not exist.\nPlease verify the correct path was given."), none, false},
      {"overwrite no", QStringLiteral("shop"), existing,
       QStringLiteral("Destination file already exists. Overwrite?"), no, false},
      {"overwrite yes", QStringLiteral("shop"), existing,
       QStringLiteral("Destination file already exists. Overwrite?"), yes, true},
      {"new file", QStringLiteral("shop"), dir.file("new.xls"), QString(), none, true},
  };
  for (const next_case& c : cases) {
    database_fixture f;
    f.enter();
    f.databases().setEditText(c.source);
    f.destination().setText(QString::fromStdString(c.destination));
    const box_answer seen(c.reply == yes ? QMessageBox::Yes : QMessageBox::NoButton,
                          c.reply == no ? QStringLiteral("overwrite_question") : QString());
    f.shell.press_next();
    EXPECT_EQ(f.shell.current_page(), c.moves_on ? static_cast<wizard_page*>(&f.after) : &f.page) << c.what;
    EXPECT_EQ(seen.shown, !c.box_text.isEmpty()) << c.what;
    EXPECT_EQ(seen.text, c.box_text) << c.what;
    // Return answered the question with its default: No.
    if (c.reply == no) {
      EXPECT_EQ(seen.default_button, QStringLiteral("No")) << c.what;
    }
    // Next stored the fields as they were, and every old file is as it was.
    EXPECT_EQ(f.converter.source, c.source.toStdWString()) << c.what;
    EXPECT_EQ(f.converter.destination, QString::fromStdString(c.destination).toStdWString()) << c.what;
    EXPECT_EQ(read_file(existing), old_bytes) << c.what;
    EXPECT_TRUE(std::filesystem::is_directory(folder)) << c.what;
    EXPECT_EQ(read_file(readonly), "old") << c.what;
  }
}

TEST(DatabasePage, BackStoresTheFieldsAsTyped)
{
  database_fixture f;
  f.enter();
  f.databases().setEditText(QStringLiteral("typed_db"));
  f.destination().setText(QStringLiteral("relative/out.xls"));
  control<QCheckBox>(f.page, 1222).click();
  f.shell.press_back();
  EXPECT_EQ(f.shell.current_page(), &f.before);
  EXPECT_EQ(f.converter.source, L"typed_db");
  EXPECT_EQ(f.converter.destination, L"relative/out.xls");
  EXPECT_TRUE(f.converter.split_data);
}

TEST(DatabasePage, BrowseOffersExcelFilesAndAddsTheFormatsExtension)
{
  struct browse_case {
    std::uint32_t format;
    QString chosen;
    std::wstring field;
  };
  const std::vector<browse_case> cases = {
      {xls_format_excel_2000, QStringLiteral("/tmp/picked"), L"/tmp/picked.xls"},
      {xls_format_excel_2010, QStringLiteral("/tmp/picked"), L"/tmp/picked.xlsx"},
      {xls_format_excel_2010, QStringLiteral("/tmp/picked.xlsx"), L"/tmp/picked.xlsx"},
      {xls_format_excel_2000, QString(), L"/tmp/start/old.xls"},  // cancelled
  };
  database_fixture f;
  f.enter();
  for (const browse_case& c : cases) {
    f.converter.format_version = c.format;
    f.destination().setText(QStringLiteral("/tmp/start/old.xls"));
    file_dialog_request asked;
    set_file_chooser([&](const file_dialog_request& request) {
      asked = request;
      return c.chosen;
    });
    control<QPushButton>(f.page, 1103).click();
    set_file_chooser({});
    EXPECT_TRUE(asked.save);
    EXPECT_EQ(asked.title, QStringLiteral("Select destination MS Excel file"));
    EXPECT_EQ(asked.filter, QStringLiteral("MS Excel Files (.xls;.xlsx) (*.xls *.xlsx);;All Files (*.*) (*)"));
    EXPECT_EQ(asked.folder, QStringLiteral("/tmp/start"));
    EXPECT_EQ(asked.file_name, QStringLiteral("old"));
    EXPECT_EQ(f.destination().text().toStdWString(), c.field);
  }
}

TEST(DatabasePage, ANewConnectionFetchesTheDatabaseListAgain)
{
  sql_admin admin;
  scratch_database first(admin, "_first");
  qorvant_converter converter(qvt_program::console);
  const test_server_info& server = test_server();
  converter.host = server.host;
  converter.port = std::to_string(server.port);
  converter.user = server.user;
  converter.password = server.password;
  converter.format_version = xls_format_excel_2010;
  wizard_program program(converter, L"");
  wizard_shell& shell = program.shell();
  shell.show();
  shell.start();
  shell.press_next();
  ASSERT_EQ(shell.current_page()->id(), page_connection);
  shell.press_next();
  ASSERT_EQ(shell.current_page()->id(), page_database);
  auto& box = control<QComboBox>(*shell.current_page(), 1302);
  box.showPopup();
  box.hidePopup();
  EXPECT_GE(box.findText(QString::fromStdString(first.name())), 0);

  scratch_database second(admin, "_second");
  // Back to the connection page and connected again: the list is the new one.
  shell.press_back();
  ASSERT_EQ(shell.current_page()->id(), page_connection);
  shell.press_next();
  ASSERT_EQ(shell.current_page()->id(), page_database);
  EXPECT_EQ(box.count(), 0);
  box.showPopup();
  box.hidePopup();
  EXPECT_GE(box.findText(QString::fromStdString(second.name())), 0);
}

TEST(DatabasePage, HelpOpensItsOwnTopic)
{
  database_fixture f;
  wizard_shell::set_help_folder(std::filesystem::path(QORVANT_PATH).parent_path().append("help").string());
  f.enter();
  f.shell.press_help();
  wizard_shell::set_help_folder({});
  ASSERT_NE(help_window::current(), nullptr);
  EXPECT_EQ(help_window::current()->page(), QStringLiteral("1013.html"));
}
