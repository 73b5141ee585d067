// The database and destination page. The server's databases are fetched at the
// first drop-down after the page was made or the connection renewed; the
// destination field shows the converter's destination made absolute, and Next
// or Back store it as the field holds it.
#include "GUI2/database_page.h"

#include "GUI2/file_dialog.h"
#include "GUI2/guarded_call.h"
#include "GUI2/wizard_pages.h"
#include "GUI2/wizard_shell.h"

#include "TK/tk_exception.h"
#include "TK/tk_files.h"
#include "TK/tk_fname.h"
#include "TK/tk_log.h"
#include "common/qvt_converter.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <vector>

namespace {

// The fields hold what the settings' 260-character buffers held.
constexpr int field_length = 259;

} // namespace

void drop_down_combo::showPopup()
{
  emit dropping_down();
  QComboBox::showPopup();
}

const wchar_t* workbook_extension(std::uint32_t format_version)
{
  return format_version < xls_format_excel_2010 ? L"xls" : L"xlsx";
}

bool may_write_destination(const std::wstring& path)
{
  common_check_dest(path);
  if (!tk_is_file_exist2(path, tk_exist_not_folder))
    return true;
  // Yes only lets the run go on: the old file stays until the new workbook
  // replaces it, so a cancelled or failed run still leaves it.
  return wizard_shell::question(L"Destination file already exists. Overwrite?", mb_defbutton2);
}

database_page::database_page(qorvant_converter& converter)
    : wizard_page(page_database, wizb_back | wizb_next, psp_has_help), converter_(converter)
{
  setObjectName(QStringLiteral("database_page"));
  set_header(QStringLiteral("Step 2 of 5"), QStringLiteral("Select databases"));
  auto* page = new QVBoxLayout(this);
  page->addWidget(new QLabel(QStringLiteral("Enter source and destination names. Click 'Browse' to find the "
                                            "destination\nfile through directory tree.")));

  auto* grid = new QGridLayout;
  databases_ = new drop_down_combo(this);
  set_control_id(*databases_, 1302);
  databases_->setEditable(true);
  databases_->setInsertPolicy(QComboBox::NoInsert);
  databases_->lineEdit()->setMaxLength(field_length);
  auto* database_label = new QLabel(QStringLiteral("My&SQL database name:"));
  database_label->setBuddy(databases_);
  grid->addWidget(database_label, 0, 0);
  grid->addWidget(databases_, 0, 1);

  destination_ = new QLineEdit(this);
  set_control_id(*destination_, 1004);
  destination_->setMaxLength(field_length);
  auto* browse = new QPushButton(QStringLiteral("Browse..."), this);
  set_control_id(*browse, 1103);
  auto* destination_label = new QLabel(QStringLiteral("MS &Excel file:"));
  destination_label->setBuddy(destination_);
  auto* destination_row = new QHBoxLayout;
  destination_row->addWidget(destination_, 1);
  destination_row->addWidget(browse);
  grid->addWidget(destination_label, 1, 0);
  grid->addLayout(destination_row, 1, 1);
  grid->setColumnStretch(1, 1);
  page->addLayout(grid);

  split_ = new QCheckBox(QStringLiteral("Spli&t data into multiple spreadsheets if necessary"), this);
  set_control_id(*split_, 1222);
  page->addWidget(split_);
  page->addStretch();

  connect(databases_, &drop_down_combo::dropping_down, this, [this] { gui::guarded([this] { on_dropdown(); }); });
  // activated: a user's pick only, never the page's own setting of the box.
  connect(databases_, &QComboBox::activated, this,
          [this](int index) { gui::guarded([this, index] { on_sel_change(index); }); });
  connect(browse, &QPushButton::clicked, this, [this] { gui::guarded([this] { on_browse(); }); });
}

int database_page::page_init()
{
  tk_log_message(1, "sel_file_page::page_init");
  destination_->setText(QString::fromStdWString(converter_.destination));
  if (!databases_listed_) {
    const QSignalBlocker quiet(databases_);
    databases_->clear();
  }
  split_->setChecked(converter_.split_data);
  if (converter_.source.empty() && converter_.destination.empty())
    return 1;
  databases_->setEditText(QString::fromStdWString(converter_.source));
  if (converter_.format_version >= xls_format_count)
    throw tk_mail_assertion("qvt_shel", 331);
  std::wstring shown = converter_.destination;
  if (shown.empty())
    shown = converter_.source + L"." + workbook_extension(converter_.format_version);
  try {
    shown = tk_file_wname(shown).get_full_path();
  } catch (const tk_exception& e) {
    // A path that cannot be made absolute is shown as it is: Next tells why it
    // cannot serve, and the page stays reachable.
    tk_log_message(2, "%s", e.get_message());
  }
  destination_->setText(QString::fromStdWString(shown));
  return 1;
}

void database_page::forget_databases()
{
  tk_log_message(1, "sel_file_page::forget_databases");
  databases_listed_ = false;
  const QSignalBlocker quiet(databases_);
  const QString typed = databases_->currentText();
  databases_->clear();
  databases_->setEditText(typed);
}

void database_page::on_dropdown()
{
  tk_log_message(1, "sel_file_page::on_dropdown");
  const QSignalBlocker quiet(databases_);
  if (!databases_listed_) {
    const std::vector<std::wstring> names = converter_.engine.get_contents();
    // The first item added would become the current one and replace what is
    // typed; the list grows under the text instead.
    const QString typed = databases_->currentText();
    for (const std::wstring& name : names)
      databases_->addItem(QString::fromStdWString(name));
    databases_->setCurrentIndex(-1);
    databases_->setEditText(typed);
    databases_listed_ = true;
  }
  if (converter_.source.empty())
    return;
  const int found = databases_->findText(QString::fromStdWString(converter_.source), Qt::MatchFixedString);
  if (found >= 0)
    databases_->setCurrentIndex(found);
}

void database_page::on_sel_change(int index)
{
  tk_log_message(1, "sel_file_page::on_sel_change");
  const std::wstring database = databases_->itemText(index).toStdWString();
  const std::wstring path = destination_->text().toStdWString();
  destination_->setText(QString::fromStdWString(
      tk_change_file_ext(path, database, workbook_extension(converter_.format_version))));
  converter_.selected_tables.clear();
  converter_.selected_queries.clear();
  converter_.selected_views.clear();
  converter_.available_queries.clear();
}

void database_page::on_browse()
{
  tk_log_message(1, "sel_file_page::on_browse");
  save_file_dialog dialog(this, L"MS Excel Files (.xls;.xlsx)|*.xls;*.xlsx|All Files (*.*)|*.*|",
                          L"Select destination MS Excel file", destination_->text().toStdWString(),
                          workbook_extension(converter_.format_version));
  if (dialog.show())
    destination_->setText(QString::fromStdWString(dialog.path()));
}

std::wstring database_page::get_sel_database() const
{
  const std::wstring text = databases_->currentText().toStdWString();
  if (text.empty())
    tk_log_message(2, "Failed to exract text of selected item");
  else
    tk_log_message(1, L"text=%s", text);
  return text;
}

void database_page::store_settings()
{
  converter_.source = get_sel_database();
  converter_.destination = destination_->text().toStdWString();
  converter_.split_data = split_->isChecked();
}

int database_page::on_next()
{
  tk_log_message(1, "sel_file_page::on_next");
  try {
    store_settings();
    if (converter_.source.empty()) {
      wizard_shell::message(L"You should enter MySQL database name");
      return stay;
    }
    if (converter_.destination.empty()) {
      wizard_shell::message(L"You should enter MS Excel file name");
      return stay;
    }
    return may_write_destination(converter_.destination) ? go_adjacent : stay;
  } catch (const tk_exception& e) {
    wizard_shell::error(e.get_message());
    return stay;
  }
}

int database_page::on_back()
{
  try {
    store_settings();
  } catch (const tk_exception& e) {
    wizard_shell::error(e.get_message());
    return stay;
  }
  return go_adjacent;
}

void database_page::on_help()
{
  wizard_shell::display_help(help_page);
}

std::unique_ptr<wizard_page> make_database_page(qorvant_converter& converter)
{
  return std::make_unique<database_page>(converter);
}
