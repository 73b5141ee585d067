// The welcome and connection pages on real widgets; the connection page talks to
// the real test server, so the texts it shows are the server's own failures.
#include "GUI2/connection_page.h"
#include "GUI2/file_dialog.h"
#include "GUI2/neighbour_page.h"
#include "GUI2/welcome_page.h"
#include "GUI2/wizard_pages.h"
#include "GUI2/wizard_shell.h"
#include "gui_test_support.h"

#include <gtest/gtest.h>

#include "GUI2/gui_error_front.h"
#include "SQL/sql_engi.h"
#include "common/err_handler.h"
#include "dao/dao_error_map.h"
#include "common/qvt_converter.h"
#include "support/temp_dir.h"
#include "support/test_server.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <string>
#include <vector>

namespace {

const QString access_denied_text = QStringLiteral(
    "Access denied. Verify the user name and password are correct, and you have\n"
    "the necessary privileges to connect to the target MySQL server.");
const QString cannot_connect_text = QStringLiteral(
    "Cannot connect to the MySQL server. Check to verify that MySQL server\n"
    "is launched and the correct host/port values were given.");

template <class T>
T& control(QWidget& page, int id)
{
  auto* found = page.findChild<T*>(QStringLiteral("c%1").arg(id));
  EXPECT_NE(found, nullptr) << id;
  return *found;
}

// A connection page whose error boxes and help topics are recorded.
struct connection_fixture {
  connection_fixture()
  {
    page.set_error_shower([this](const QString& text) { shown.push_back(text); });
    page.set_help_opener([this](int topic) { help.push_back(topic); });
  }
  void type_remote(const std::string& host, const std::string& port, const std::string& password)
  {
    const test_server_info& server = test_server();
    control<QRadioButton>(page, 1330).click();
    control<QLineEdit>(page, 1012).setText(QString::fromStdString(server.user));
    control<QLineEdit>(page, 1013).setText(QString::fromStdString(password));
    control<QLineEdit>(page, 1014).setText(QString::fromStdString(host));
    control<QLineEdit>(page, 1015).setText(QString::fromStdString(port));
  }

  mysql_converter_impl converter;
  connection_page page{converter};
  std::vector<QString> shown;
  std::vector<int> help;
};

// A tk_exception with the code a server error would carry.
class coded_exception : public tk_exception {
public:
  explicit coded_exception(std::uint32_t code) : tk_exception("coded", 0) { set_code(code); }
};

} // namespace

TEST(WelcomePage, ShowsItsTextsAndOpensTheMakersSite)
{
  qorvant_converter converter;
  welcome_page page(converter, L"qvt");
  std::vector<QUrl> opened;
  page.set_url_opener([&opened](const QUrl& url) { opened.push_back(url); });
  EXPECT_EQ(page.page_init(), 1);
  page.resize(500, 320);
  page.show();
  auto& title = control<QLabel>(page, 1337);
  EXPECT_EQ(title.text(), QStringLiteral("Welcome to Tabloom\nConversion Wizard\n"));
  EXPECT_EQ(title.font().pointSize(), 13);
  EXPECT_EQ(control<QPushButton>(page, 1115).text(), QStringLiteral("&Load Settings..."));
  EXPECT_EQ(page.profile_filter(), QStringLiteral("Profile Files (.qvt) (*.qvt);;All Files (*.*) (*)"));
  save_screen(page, QStringLiteral("welcome_page"));

  emit control<QLabel>(page, 1320).linkActivated(QString::fromUtf8(welcome_page::maker_site()));
  EXPECT_EQ(opened, std::vector<QUrl>{QUrl(QString::fromUtf8(welcome_page::maker_site()))});
}

// The maker's link goes to the desktop's opener; where that fails, or there is
// none, a box says so.
TEST(WelcomePage, AMakersLinkTheDesktopCannotOpenIsReportedInABox)
{
  qorvant_converter converter;
  welcome_page page(converter, L"qvt");
  for (const int opener_status : {3, -1}) {
    SCOPED_TRACE(opener_status);
    const scoped_desktop_opener opener(opener_status);
    seen_box seen;
    answer_next_box(seen, Qt::Key_Return);
    emit control<QLabel>(page, 1320).linkActivated(QString::fromUtf8(welcome_page::maker_site()));
    ASSERT_TRUE(seen.shown);
    EXPECT_TRUE(seen.text.startsWith(QStringLiteral("The link could not be opened:\n") +
                                     QString::fromUtf8(welcome_page::maker_site()) + QLatin1Char('\n')))
        << seen.text.toStdString();
  }
}

TEST(WelcomePage, LoadSettingsFillsTheConverterAndCancelChangesNothing)
{
  temp_dir dir;
  const std::wstring profile = (dir.path() / "saved.qvt").wstring();
  {
    qorvant_converter saved;
    saved.host = "db.example.com";
    saved.user = "reader";
    ASSERT_TRUE(saved.store_profile(profile));
  }
  qorvant_converter converter;
  welcome_page page(converter, L"qvt");
  file_dialog_request asked;
  QString answer;
  set_file_chooser([&](const file_dialog_request& request) {
    asked = request;
    return answer;
  });
  page.on_load();  // cancelled
  EXPECT_EQ(asked.title, QStringLiteral("Select Profile"));
  EXPECT_FALSE(asked.save);
  EXPECT_EQ(asked.filter, page.profile_filter());
  EXPECT_EQ(converter.host, "");

  answer = QString::fromStdWString(profile);
  control<QPushButton>(page, 1115).click();
  set_file_chooser({});
  EXPECT_EQ(converter.host, "db.example.com");
  EXPECT_EQ(converter.user, "reader");
}

TEST(WelcomePage, AProfileThatCannotBeLoadedIsReportedAndThePageStays)
{
  error_handler handler(dao_error_map_size, dao_error_map);
  struct reporting : null_front_end {
    report_answer report(std::uint32_t level, const std::string& text, bool quiet) override
    {
      return gui_error_front::report(level, text, quiet);
    }
  } reporter;
  handler.set_front_end(reporter);
  wizard_shell shell(QStringLiteral("Tabloom 5.5"), QIcon(), QPixmap(), QPixmap());
  shell.initialize_if();

  qorvant_converter converter;
  converter.host = "kept";
  welcome_page page(converter, L"qvt");
  set_file_chooser([](const file_dialog_request&) { return QStringLiteral("/nonexistent/x.qvt"); });
  QString shown;
  bool plain_box = false;
  when_modal_shows([&](QWidget& box) {
    shown = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))->text();
    plain_box = qobject_cast<QMessageBox*>(&box) != nullptr;
    QTest::keyClick(&box, Qt::Key_Return);
  });
  page.on_load();
  set_file_chooser({});
  EXPECT_EQ(shown, QStringLiteral("Profile does not exist. Please verify the correct path/name was given."));
  // A plain error box: no run is there to abort, and no run's list keeps it.
  EXPECT_TRUE(plain_box);
  EXPECT_TRUE(shell.errors.empty());
  EXPECT_EQ(converter.host, "kept");
}

TEST(ConnectionPage, EmptyHostOpensInLocalModeAndSwitchingKeepsTheTexts)
{
  connection_fixture f;
  f.converter.host = "";
  f.converter.user = "reader";
  EXPECT_EQ(f.page.page_init(), 1);
  f.page.show();
  auto& host = control<QLineEdit>(f.page, 1014);
  auto& port = control<QLineEdit>(f.page, 1015);
  EXPECT_TRUE(control<QRadioButton>(f.page, 1329).isChecked());
  EXPECT_FALSE(host.isEnabled());
  EXPECT_FALSE(port.isEnabled());
  EXPECT_EQ(control<QLineEdit>(f.page, 1013).echoMode(), QLineEdit::Password);

  control<QRadioButton>(f.page, 1330).click();
  EXPECT_TRUE(host.isEnabled());
  host.setText(QStringLiteral("db.example.com"));
  port.setText(QStringLiteral("3307"));
  control<QRadioButton>(f.page, 1329).click();
  EXPECT_FALSE(host.isEnabled());
  EXPECT_EQ(host.text(), QStringLiteral("db.example.com"));
  save_screen(f.page, QStringLiteral("connection_page_local"));

  // Local stores no host and the default port, whatever the fields hold.
  EXPECT_EQ(f.page.on_back(), 0);
  EXPECT_EQ(f.converter.host, "");
  EXPECT_EQ(f.converter.port, "3306");

  control<QRadioButton>(f.page, 1330).click();
  EXPECT_EQ(port.text(), QStringLiteral("3307"));
  save_screen(f.page, QStringLiteral("connection_page_remote"));
  EXPECT_EQ(f.page.on_back(), 0);
  EXPECT_EQ(f.converter.host, "db.example.com");
  EXPECT_EQ(f.converter.port, "3307");

  // Coming back with a stored host opens in Remote mode.
  EXPECT_EQ(f.page.page_init(), 1);
  EXPECT_TRUE(control<QRadioButton>(f.page, 1330).isChecked());
  EXPECT_TRUE(host.isEnabled());
  EXPECT_TRUE(f.shown.empty());
}

TEST(ConnectionPage, PortTextsOnNext)
{
  const test_server_info& server = test_server();
  const std::string good = std::to_string(server.port);
  struct port_case {
    std::string typed;
    std::string stored;
    const char* error;  // null: connects
  };
  const std::vector<port_case> cases = {
      {" " + good + " ", good, nullptr},
      {good + "x", good + "x", nullptr},
      {"abc", "abc", "Invalid port number"},
      {"0", "0", "Invalid port number"},
  };
  for (const port_case& c : cases) {
    connection_fixture f;
    f.page.page_init();
    f.type_remote(server.host, c.typed, server.password);
    bool connected = false;
    QObject::connect(&f.page, &connection_page::connected, [&connected] { connected = true; });
    const int result = f.page.on_next();
    EXPECT_EQ(f.converter.port, c.stored) << c.typed;
    if (c.error == nullptr) {
      EXPECT_EQ(result, 0) << c.typed;
      EXPECT_TRUE(connected) << c.typed;
      EXPECT_TRUE(f.shown.empty()) << c.typed;
    } else {
      EXPECT_EQ(result, -1) << c.typed;
      EXPECT_EQ(f.shown, std::vector<QString>{QString::fromUtf8(c.error)}) << c.typed;
      EXPECT_FALSE(f.converter.engine.is_connected()) << c.typed;
    }
    EXPECT_TRUE(f.help.empty()) << c.typed;
  }
  // An empty port in Remote mode is stored as the default.
  connection_fixture f;
  f.type_remote("db.example.com", "", "x");
  f.page.on_back();
  EXPECT_EQ(f.converter.port, "3306");
}

TEST(ConnectionPage, ServerFailuresShowTheirOwnTextsAndStay)
{
  const test_server_info& server = test_server();
  struct failure {
    const char* what;
    std::string port;
    std::string password;
    QString text;
  };
  const std::vector<failure> failures = {
      {"wrong password", std::to_string(server.port), server.password + "-wrong", access_denied_text},
      {"closed port", "1", server.password, cannot_connect_text},
  };
  for (const failure& c : failures) {
    connection_fixture f;
    f.page.page_init();
    f.type_remote(server.host, c.port, c.password);
    EXPECT_EQ(f.page.on_next(), -1) << c.what;
    EXPECT_EQ(f.shown, std::vector<QString>{c.text}) << c.what;
    EXPECT_TRUE(f.help.empty()) << c.what;
    EXPECT_FALSE(f.converter.engine.is_connected()) << c.what;
    // What was typed stays, and is already stored.
    EXPECT_EQ(control<QLineEdit>(f.page, 1013).text().toStdString(), c.password) << c.what;
    EXPECT_EQ(f.converter.password, c.password) << c.what;
  }
}

TEST(ConnectionPage, BackStoresButNeverConnects)
{
  const test_server_info& server = test_server();
  connection_fixture f;
  f.page.page_init();
  f.type_remote(server.host, std::to_string(server.port), server.password);
  EXPECT_EQ(f.page.on_back(), 0);
  EXPECT_FALSE(f.converter.engine.is_connected());
  EXPECT_EQ(f.converter.host, server.host);
  EXPECT_TRUE(f.shown.empty());

  EXPECT_EQ(f.page.on_next(), 0);
  EXPECT_TRUE(f.converter.engine.is_connected());
}

TEST(ConnectionPage, AuthenticationProtocolErrorsOpenTheConnectionHelp)
{
  struct thrown {
    std::function<void()> raise;
    std::vector<int> help;
  };
  const std::vector<thrown> cases = {
      {[] { throw coded_exception(0x4004E1); }, {1015}},
      {[] { throw coded_exception(0x4004E2); }, {1015}},
      {[] { throw coded_exception(0x4004E3); }, {}},
      {[] { throw sql_auth_not_supported_exception(); }, {1015}},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    connection_fixture f;
    f.page.set_connector(cases[i].raise);
    EXPECT_EQ(f.page.on_next(), -1) << i;
    ASSERT_EQ(f.shown.size(), 1U) << i;
    EXPECT_EQ(f.help, cases[i].help) << i;
  }
  connection_fixture f;
  f.page.on_help();
  EXPECT_EQ(f.help, std::vector<int>{1010});
}

TEST(ConnectionPage, ItsOwnErrorBoxShowsTheAccessDeniedText)
{
  const test_server_info& server = test_server();
  mysql_converter_impl converter;
  connection_page page(converter);
  page.page_init();
  control<QRadioButton>(page, 1330).click();
  control<QLineEdit>(page, 1012).setText(QString::fromStdString(server.user));
  control<QLineEdit>(page, 1013).setText(QStringLiteral("not the password"));
  control<QLineEdit>(page, 1014).setText(QString::fromStdString(server.host));
  control<QLineEdit>(page, 1015).setText(QString::number(server.port));
  QString caption;
  QString text;
  when_modal_shows([&](QWidget& box) {
    caption = box.windowTitle();
    text = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))->text();
    save_screen(box, QStringLiteral("connection_error_box"));
    QTest::keyClick(&box, Qt::Key_Return);
  });
  EXPECT_EQ(page.on_next(), -1);
  EXPECT_EQ(caption, QStringLiteral("Error"));
  EXPECT_EQ(text, access_denied_text);
}

TEST(StartPages, WalkTheWizardToTheDatabasePageAndBackWithoutConnecting)
{
  const test_server_info& server = test_server();
  qorvant_converter converter;
  converter.host = server.host;
  converter.port = std::to_string(server.port);
  converter.user = server.user;
  converter.password = server.password;
  wizard_shell shell(QStringLiteral("Tabloom 5.5"), QIcon(), QPixmap(), QPixmap());
  std::unique_ptr<wizard_page> welcome = make_welcome_page(converter);
  std::unique_ptr<wizard_page> connection = make_connection_page(converter);
  neighbour_page database(page_database, wizb_back | wizb_next, psp_has_help, QStringLiteral("Step 2 of 5"),
                            QStringLiteral("Select databases"));
  shell.add_page(*welcome);
  shell.add_page(*connection);
  shell.add_page(database);
  shell.resize(640, 480);
  shell.show();
  shell.start();
  ASSERT_EQ(shell.current_page(), welcome.get());
  save_screen(shell, QStringLiteral("wizard_welcome_page"));

  shell.press_next();
  ASSERT_EQ(shell.current_page(), connection.get());
  EXPECT_EQ(connection->header_title(), QStringLiteral("Step 1 of 5"));
  EXPECT_EQ(connection->header_subtitle(), QStringLiteral("Connect to MySQL server"));
  EXPECT_TRUE(control<QRadioButton>(*connection, 1330).isChecked());
  save_screen(shell, QStringLiteral("wizard_connection_page"));

  shell.press_back();
  EXPECT_EQ(shell.current_page(), welcome.get());
  EXPECT_FALSE(converter.engine.is_connected());

  shell.press_next();
  shell.press_next();
  EXPECT_EQ(shell.current_page(), &database);
  EXPECT_TRUE(converter.engine.is_connected());
}
