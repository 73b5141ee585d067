// The welcome page. Load Settings reports its failures as plain error boxes:
// there is no run here to abort, nothing joins the run's error list, and an
// exception must never leave a Qt slot.
#include "GUI2/welcome_page.h"

#include "GUI2/file_dialog.h"
#include "GUI2/guarded_call.h"
#include "GUI2/qt_desktop.h"
#include "GUI2/wizard_pages.h"
#include "GUI2/wizard_shell.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "common/qvt_converter.h"

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

  open_url_ = [](const QUrl& url) { open_on_desktop_or_report(url, QStringLiteral("link")); };
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
  return qt_file_filter(profile_filters(extension_));
}

void welcome_page::on_load()
{
  gui::guarded([this] {
    tk_log_message(1, L"welcome_page_t::on_load(%s)", profile_filter().toStdWString());
    if (extension_.size() < 3 || extension_.size() > 4)
      throw tk_mail_assertion("g_finish", 266);
    open_file_dialog dialog(this, profile_filters(extension_), L"Select Profile",
                            profile_start_path(converter_.profile_folder));
    if (dialog.show()) {
      converter_.profile_folder = profile_folder_of(dialog.path());
      converter_.load_profile(dialog.path());  // a file that is no profile changes nothing
    }
    on_profile_loaded();
  });
}

std::unique_ptr<wizard_page> make_welcome_page(qorvant_converter& converter)
{
  return std::make_unique<welcome_page>(converter, L"qvt");
}
