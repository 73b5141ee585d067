// The wizard's clipboard and mail stand-in. A report is always written to its
// file first, so it survives even when no mail client is configured and the
// process ends right after the dialog.
#include "GUI2/qt_desktop.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QUrlQuery>

#include <cerrno>

qt_desktop_services::qt_desktop_services(url_opener opener) : opener_(std::move(opener))
{
  if (!opener_)
    opener_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

plat::desktop_outcome qt_desktop_services::copy_text(const std::wstring& text)
{
  plat::desktop_outcome outcome;
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard == nullptr) {
    outcome.error = EINVAL;
    return outcome;
  }
  clipboard->setText(QString::fromStdWString(text));
  outcome.delivered = true;
  return outcome;
}

QUrl qt_desktop_services::mail_link(const plat::mail_message& message, const std::string& report_path)
{
  // "Name <address>" -> address
  QString to = QString::fromStdString(message.recipient);
  const qsizetype open = to.indexOf(u'<');
  const qsizetype close = to.lastIndexOf(u'>');
  if (open >= 0 && close > open)
    to = to.mid(open + 1, close - open - 1);

  QString body = QString::fromStdString(message.body);
  if (!report_path.empty())
    body += QStringLiteral("\n\nThe full report is in %1").arg(QString::fromStdString(report_path));

  QUrl url;
  url.setScheme(QStringLiteral("mailto"));
  url.setPath(to);
  QUrlQuery query;
  query.addQueryItem(QStringLiteral("subject"), QString::fromStdString(message.subject));
  query.addQueryItem(QStringLiteral("body"), body);
  url.setQuery(query);
  return url;
}

plat::desktop_outcome qt_desktop_services::send_mail(const plat::mail_message& message)
{
  plat::desktop_outcome outcome;
  std::string path;
  int error = 0;
  if (plat::write_report_file("bug-report", plat::mail_as_text(message), path, error))
    outcome.kept_in = path;
  else
    outcome.error = error;
  outcome.delivered = opener_(mail_link(message, outcome.kept_in));
  return outcome;
}
