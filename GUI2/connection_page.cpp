// The connection page. Local mode disables host and port but leaves their texts,
// so switching back to Remote finds them again; what is stored is decided only
// when the page is left. Errors are shown here and never join the error list.
#include "GUI2/connection_page.h"

#include "GUI2/wizard_pages.h"
#include "GUI2/wizard_shell.h"

#include "TK/tk_errco.h"
#include "TK/tk_log.h"
#include "common/err_handler.h"
#include "common/mysql_conv.h"
#include "common/qvt_converter.h"

#include <QButtonGroup>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

// Texts are read as the 259 characters the fields of the settings hold.
constexpr int field_length = 259;

QLineEdit* make_edit(QWidget* parent, int id)
{
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QStringLiteral("c%1").arg(id));
  edit->setMaxLength(field_length);
  return edit;
}

// A form row of a field with its note beside it. The row's label names the
// field itself as its buddy: the box that holds both takes no focus, so its
// mnemonic would reach nothing.
void add_noted_row(QFormLayout& form, const char* label, QLineEdit* edit, const char* note)
{
  auto* row = new QHBoxLayout;
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(edit);
  row->addWidget(new QLabel(QString::fromUtf8(note)));
  auto* name = new QLabel(QString::fromUtf8(label));
  name->setBuddy(edit);
  form.addRow(name, row);
}

} // namespace

connection_page::connection_page(mysql_converter_impl& converter)
    : wizard_page(page_connection, wizb_back | wizb_next, psp_has_help), converter_(converter)
{
  setObjectName(QStringLiteral("connection_page"));
  set_header(QStringLiteral("Step 1 of 5"), QStringLiteral("Connect to MySQL server"));
  auto* page = new QVBoxLayout(this);
  page->addWidget(new QLabel(
      QStringLiteral("Provide necessary information to establish connection with MySQL server.")));

  auto* mode = new QGroupBox(QStringLiteral(" Access mode "));
  auto* mode_row = new QHBoxLayout(mode);
  local_ = new QRadioButton(QStringLiteral("&Local"));
  local_->setObjectName(QStringLiteral("c1329"));
  remote_ = new QRadioButton(QStringLiteral("&Remote"));
  remote_->setObjectName(QStringLiteral("c1330"));
  auto* group = new QButtonGroup(this);
  group->addButton(local_);
  group->addButton(remote_);
  mode_row->addWidget(local_);
  mode_row->addWidget(remote_);
  mode_row->addStretch();
  page->addWidget(mode);

  auto* auth = new QGroupBox(QStringLiteral(" Authorization settings "));
  auto* auth_form = new QFormLayout(auth);
  user_ = make_edit(this, 1012);
  password_ = make_edit(this, 1013);
  password_->setEchoMode(QLineEdit::Password);
  auth_form->addRow(QStringLiteral("&User name:"), user_);
  auth_form->addRow(QStringLiteral("User pa&ssword:"), password_);
  page->addWidget(auth);

  auto* remote_box = new QGroupBox(QStringLiteral(" Remote settings "));
  auto* remote_form = new QFormLayout(remote_box);
  host_ = make_edit(this, 1014);
  port_ = make_edit(this, 1015);
  add_noted_row(*remote_form, "H&ost:", host_, "(it could be network name or IP address)");
  add_noted_row(*remote_form, "&Port:", port_, "(default MySQL port is 3306)");
  page->addWidget(remote_box);
  page->addStretch();

  // A user's click switches the mode; page_init sets it without these.
  connect(local_, &QRadioButton::clicked, this, [this] { set_remote(false); });
  connect(remote_, &QRadioButton::clicked, this, [this] {
    set_remote(true);
    host_->setFocus();
    port_->setFocus();
  });

  show_error_ = [](const QString& text) { wizard_shell::error(text.toStdWString()); };
  open_help_ = [](int topic) { wizard_shell::display_help(topic); };
  connect_ = [this] { converter_.connect_mysql_server(); };
}

void connection_page::set_remote(bool remote)
{
  host_->setEnabled(remote);
  port_->setEnabled(remote);
}

int connection_page::page_init()
{
  tk_log_message(1, "sql_settings_page2<t_converter>::page_init");
  user_->setText(QString::fromStdString(converter_.user));
  password_->setText(QString::fromStdString(converter_.password));
  const bool remote = !converter_.host.empty();
  (remote ? remote_ : local_)->setChecked(true);
  set_remote(remote);
  if (remote) {
    host_->setText(QString::fromStdString(converter_.host));
    port_->setText(QString::fromStdString(converter_.port));
    port_->setFocus();
  }
  return 1;
}

void connection_page::store_settings()
{
  std::string host;
  std::string port = "3306";
  if (remote_->isChecked()) {
    host = host_->text().toStdString();
    port = port_->text().toStdString();
  }
  converter_.store_mysql_settings(host, user_->text().toStdString(), password_->text().toStdString(), port);
}

int connection_page::on_next()
{
  tk_log_message(2, "sql_settings_page2::on_next");
  store_settings();
  try {
    tk_log_message(2, "Just before t_converter::ptr()->connect_mysql_server");
    connect_();
  } catch (const mysql_auth_not_supported_exception& e) {
    tk_log_message(1, "Got sql_auth_not_supported_exception");
    show_error_(QString::fromStdString(e.get_message()));
    open_help_(help_connection);
    return stay;
  } catch (const tk_exception& e) {
    tk_log_message(2, "Got tk_exception");
    const tk_error_converter texts(mysql_error_map_size, mysql_error_map);
    const std::string text = texts.convert(e.get_code());
    show_error_(QString::fromStdString(text.empty() ? e.get_message() : text));
    const std::uint32_t number = e.get_code() & 0xFFFFU;
    if (number == 0x04E1U || number == 0x04E2U)
      open_help_(help_connection);
    return stay;
  } catch (const std::exception& e) {
    // Nothing may leave a page's hook: show it and stay.
    show_error_(QString::fromStdString(e.what()));
    return stay;
  }
  emit connected();
  return go_adjacent;
}

int connection_page::on_back()
{
  store_settings();
  return go_adjacent;
}

void connection_page::on_help()
{
  open_help_(help_page);
}

std::unique_ptr<wizard_page> make_connection_page(qorvant_converter& converter)
{
  return std::make_unique<connection_page>(converter);
}
