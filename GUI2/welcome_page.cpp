// The welcome page. Load Settings reports its failures through the error handler
// without letting Abort end anything: there is no run here to abort, and an
// exception must never leave a Qt slot.
#include "GUI2/welcome_page.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "GUI2/gui_error_front.h"
#include "GUI2/wizard_pages.h"
#include "GUI2/wizard_shell.h"
#include "common/err_handler.h"
#include "common/qvt_converter.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

welcome_page::welcome_page(qorvant_converter& converter, std::wstring profile_extension)
    : wizard_page(page_welcome, wizb_next, psp_has_help | psp_hide_header), converter_(converter),
      extension_(std::move(profile_extension))
{
  setObjectName(QStringLiteral("welcome_page"));
  auto* page = new QVBoxLayout(this);
  title_ = new QLabel(QStringLiteral("Welcome to Tabloom\nConversion Wizard\n"));
  title_->setObjectName(QStringLiteral("c1337"));
  page->addWidget(title_);
  page->addWidget(new QLabel(QStringLiteral("This wizard helps you to convert MySQL database into")));
  page->addWidget(new QLabel(QStringLiteral("MS Excel spreadsheet. Click 'Next' to continue.")));
  page->addStretch();

  auto* load = new QPushButton(QStringLiteral("&Load Settings..."));
  load->setObjectName(QStringLiteral("c1115"));
  page->addWidget(load, 0, Qt::AlignLeft);

  auto* maker = new QLabel(QStringLiteral("<a href=\"%1\">Norvale</a>").arg(QString::fromUtf8(maker_site())));
  maker->setObjectName(QStringLiteral("c1320"));
  maker->setTextFormat(Qt::RichText);
  maker->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  maker->setOpenExternalLinks(false);
  page->addWidget(maker, 0, Qt::AlignLeft);

  connect(load, &QPushButton::clicked, this, [this] { on_load(); });
  connect(maker, &QLabel::linkActivated, this, [this](const QString& link) { open_url_(QUrl(link)); });

  choose_file_ = [this](const QString& title, const QString& filter) -> std::optional<std::wstring> {
    const QString path = QFileDialog::getOpenFileName(this, title, QString(), filter);
    if (path.isEmpty())
      return std::nullopt;
    return path.toStdWString();
  };
  open_url_ = [](const QUrl& url) { QDesktopServices::openUrl(url); };
  open_help_ = [](int topic) { wizard_shell::display_help(topic); };
}

int welcome_page::page_init()
{
  tk_log_message(1, "welcome_page::page_init");
  set_exterior_title_font(*title_);
  return 1;
}

void welcome_page::on_help()
{
  open_help_(help_page);
}

QString welcome_page::profile_filter() const
{
  const QString ext = QString::fromStdWString(extension_);
  return QStringLiteral("Profile Files (.%1) (*.%1);;All Files (*.*) (*)").arg(ext);
}

void welcome_page::on_load()
{
  try {
    tk_log_message(1, L"welcome_page_t::on_load(%s)", profile_filter().toStdWString());
    if (extension_.size() < 3 || extension_.size() > 4)
      throw tk_mail_assertion("g_finish", 266);
    if (const std::optional<std::wstring> path = choose_file_(QStringLiteral("Select Profile"), profile_filter()))
      converter_.load_profile(*path);  // a file that is no profile changes nothing
    on_profile_loaded();
  } catch (const tk_exception& e) {
    // Reported with Abort meaning Continue: there is no run to abort here.
    if (error_handler::exists())
      error_handler::instance().handle(e, true);
    else
      wizard_shell::error(e.get_message());
  } catch (const tk_final_exception&) {
  } catch (const qvt_process_exit& exit) {
    end_wizard(exit);
  }
}

std::unique_ptr<wizard_page> make_welcome_page(qorvant_converter& converter)
{
  return std::make_unique<welcome_page>(converter, L"qvt");
}
