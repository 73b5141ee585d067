// The finish page. Its error list shows each gathered text on one line with an
// empty line between texts, and is read-only. The workbook is opened through the
// desktop's opener with its file URL, never through a shell, and only when the
// file is there; an opener that fails is reported before the wizard closes.
#include "GUI2/finish_page.h"

#include "GUI2/file_dialog.h"
#include "GUI2/guarded_call.h"
#include "GUI2/qt_desktop.h"
#include "GUI2/wizard_pages.h"
#include "GUI2/wizard_shell.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "common/qvt_converter.h"
#include "platform/text_codec.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

const QString& finish_page::success_text()
{
  static const QString text = QStringLiteral(
      "Wizard has converted your MySQL database into\nMS Excel format successfully.\n\nClick 'Finish' to exit the wizard.");
  return text;
}

const QString& finish_page::error_text()
{
  static const QString text = QStringLiteral(
      "There were some errors while converting the database.\nClick 'Finish' to exit the wizard.");
  return text;
}

const QString& finish_page::open_on_exit_text()
{
  static const QString text = QStringLiteral(
      "Select the checkbox below to open the resulting file\nwith MS Excel (it must be installed on your system).");
  return text;
}

finish_page::finish_page(qorvant_converter& converter, std::wstring profile_extension)
    : wizard_page(page_finish, wizb_finish, psp_hide_header), converter_(converter),
      extension_(std::move(profile_extension))
{
  setObjectName(QStringLiteral("finish_page"));
  auto* page = new QVBoxLayout(this);
  title_ = new QLabel(QStringLiteral("Conversion is Completed"));
  set_control_id(*title_, 1313);
  page->addWidget(title_);
  message_ = new QLabel;
  set_control_id(*message_, 1314);
  // The texts keep their own line breaks and wrap where the page is narrower.
  message_->setWordWrap(true);
  page->addWidget(message_);
  errors_ = new QPlainTextEdit;
  set_control_id(*errors_, 1016);
  errors_->setVisible(false);
  page->addWidget(errors_, 1);
  page->addStretch();
  open_note_ = new QLabel;
  set_control_id(*open_note_, 1320);
  open_note_->setWordWrap(true);
  page->addWidget(open_note_);
  open_on_exit_ = new QCheckBox(QStringLiteral("&Open on exit"));
  set_control_id(*open_on_exit_, 1225);
  page->addWidget(open_on_exit_);
  auto* store = new QPushButton(QStringLiteral("&Save Settings..."));
  set_control_id(*store, 1116);
  page->addWidget(store, 0, Qt::AlignLeft);

  connect(store, &QPushButton::clicked, this, [this] { gui::guarded([this] { on_store(); }); });
  // Told before the wizard closes: afterwards nothing could say that the
  // workbook was not opened.
  open_url_ = [](const QUrl& url) { return open_on_desktop_or_report(url, QStringLiteral("workbook")); };
}

int finish_page::page_init()
{
  open_on_exit_->setChecked(converter_.open_on_exit);
  open_note_->setText(open_on_exit_text());
  const std::vector<std::string>& errors = wizard_shell::instance().errors;
  if (!errors.empty()) {
    // The box keeps its tick.
    open_note_->setVisible(false);
    open_on_exit_->setVisible(false);
  }
  tk_log_message(2, "gui_finish_page::page_init");
  set_exterior_title_font(*title_);
  wizard_shell::instance().enable_button(wizard_cancel_button, false);
  wizard_shell::instance().enable_button(wizard_help_button, false);

  if (errors.empty()) {
    tk_log_message(2, "Display success-message");
    message_->setText(success_text());
    return 1;
  }
  tk_log_message(2, "Display errors");
  message_->setText(error_text());
  errors_->setVisible(true);
  errors_->setReadOnly(false);
  errors_->clear();
  for (std::string text : errors) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    errors_->moveCursor(QTextCursor::End);
    errors_->insertPlainText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())) +
                             QStringLiteral("\n\n"));
    errors_->ensureCursorVisible();
  }
  errors_->setReadOnly(true);
  return 1;
}

void finish_page::on_store()
{
  const std::wstring filter = profile_filters(extension_);
  tk_log_message(1, L"gui_finish_page_t::on_store(%s)", filter);
  if (extension_.size() < 3 || extension_.size() > 4)
    throw tk_mail_assertion("g_finish", 141);
  save_file_dialog dialog(this, filter, L"Select Profile", profile_start_path(converter_.profile_folder),
                          extension_.c_str());
  if (!dialog.show())
    return;
  converter_.profile_folder = profile_folder_of(dialog.path());
  converter_.store_profile(dialog.path());  // says nothing when the file cannot be written
}

bool finish_page::on_finish()
{
  tk_log_message(1, "gui_finish_page_ex::on_finish");
  // Read also when hidden: the tick is the user's standing choice.
  converter_.open_on_exit = open_on_exit_->isChecked();
  if (converter_.open_on_exit) {
    const QString path = QString::fromStdString(plat::to_utf8(converter_.destination));
    // A run that wrote nothing leaves no file: the desktop would only show its own error.
    if (!path.isEmpty() && QFileInfo(path).isFile())
      open_url_(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
  }
  return true;
}

std::unique_ptr<wizard_page> make_finish_page(qorvant_converter& converter)
{
  return std::make_unique<finish_page>(converter, L"qvt");
}
