// The help window. Its owner is the window that has the user's input (a modal
// dialog, else the wizard): a window owned by anything else would be blocked
// by that modal window and could be neither scrolled nor closed.
#include "GUI2/help_window.h"

#include "GUI2/qt_desktop.h"
#include "GUI2/wizard_shell.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

QPointer<help_window> shown_window;

QWidget* help_owner()
{
  if (QWidget* modal = QApplication::activeModalWidget())
    return modal;
  if (wizard_shell::exists() && wizard_shell::instance().isVisible())
    return &wizard_shell::instance();
  return nullptr;
}

QString help_caption()
{
  if (wizard_shell::is_initialized())
    return wizard_shell::instance().title() + QStringLiteral(" Help");
  return QStringLiteral("Help");
}

} // namespace

help_window::help_window(QWidget* owner) : QDialog(owner)
{
  setObjectName(QStringLiteral("help_window"));
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);
  setWindowTitle(help_caption());
  setWindowFlag(Qt::WindowMaximizeButtonHint);

  auto* layout = new QVBoxLayout(this);
  browser_ = new QTextBrowser(this);
  browser_->setObjectName(QStringLiteral("help_browser"));
  // Links are followed here, so that one to a page of the folder stays in the
  // window and any other goes to the desktop.
  browser_->setOpenLinks(false);
  layout->addWidget(browser_, 1);

  auto* row = new QHBoxLayout;
  back_ = new QPushButton(tr("< &Back"), this);
  back_->setObjectName(QStringLiteral("help_back"));
  back_->setEnabled(false);
  auto* contents = new QPushButton(tr("C&ontents"), this);
  contents->setObjectName(QStringLiteral("help_contents"));
  auto* close = new QPushButton(tr("&Close"), this);
  close->setObjectName(QStringLiteral("help_close"));
  row->addWidget(back_);
  row->addWidget(contents);
  row->addStretch(1);
  row->addWidget(close);
  layout->addLayout(row);

  connect(browser_, &QTextBrowser::anchorClicked, this, [this](const QUrl& link) { follow(link); });
  connect(browser_, &QTextBrowser::backwardAvailable, back_, &QPushButton::setEnabled);
  connect(back_, &QPushButton::clicked, browser_, &QTextBrowser::backward);
  // As a link to the main page: a folder that lost it says so.
  connect(contents, &QPushButton::clicked, this,
          [this] { follow(QUrl::fromLocalFile(folder_ + QStringLiteral("/index.html"))); });
  connect(close, &QPushButton::clicked, this, &QDialog::close);

  // A page's width of text, as far as the screen takes it.
  const int line = fontMetrics().height();
  QSize wanted(40 * line, 30 * line);
  if (const QScreen* room = owner != nullptr ? owner->screen() : screen())
    wanted = wanted.boundedTo(room->availableGeometry().size() - QSize(line, 3 * line));
  resize(wanted);
}

void help_window::show_page(const QString& folder, const QString& page)
{
  QWidget* owner = help_owner();
  if (shown_window && shown_window->parentWidget() != owner)
    delete shown_window.data();
  if (!shown_window)
    shown_window = new help_window(owner);
  shown_window->folder_ = QDir::cleanPath(folder);
  shown_window->setWindowTitle(help_caption());
  shown_window->browser_->setSource(QUrl::fromLocalFile(shown_window->folder_ + QLatin1Char('/') + page));
  shown_window->show();
  shown_window->raise();
  shown_window->activateWindow();
}

help_window* help_window::current()
{
  return shown_window.data();
}

QString help_window::page() const
{
  return browser_->source().fileName();
}

void help_window::follow(const QUrl& link)
{
  const QUrl target = browser_->source().resolved(link);
  if (target.isLocalFile()) {
    if (QFileInfo(target.toLocalFile()).isFile())
      browser_->setSource(target);
    else
      wizard_shell::error(L"Help file does not exist. Reinstall the program.");
    return;
  }
  open_on_desktop_or_report(target, QStringLiteral("link"));
}
