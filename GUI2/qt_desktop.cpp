// The wizard's clipboard and mail stand-in. A report is always written to its
// file first, so it survives even when no mail client is configured and the
// process ends right after the dialog.
#include "GUI2/qt_desktop.h"

#include "GUI2/wizard_shell.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QUrlQuery>

#include <cerrno>
#include <memory>

namespace {

// What xdg-open's documented exit statuses mean to a user.
QString opener_status_text(int status)
{
  switch (status) {
  case 2: return QStringLiteral("the file does not exist");
  case 3: return QStringLiteral("no program on this desktop opens it");
  case 4: return QStringLiteral("the program that opens it failed");
  default: return QStringLiteral("it failed");
  }
}

} // namespace

desktop_open_result open_on_desktop(const QUrl& url, int wait_ms)
{
  desktop_open_result result;
  const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
  if (opener.isEmpty()) {
    result.failure = QStringLiteral("No program to open it was found: xdg-open is not installed.");
    return result;
  }
  auto process = std::make_unique<QProcess>();
  process->setProgram(opener);
  process->setArguments({url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded)});
  process->setProcessChannelMode(QProcess::ForwardedChannels);
  process->setStandardInputFile(QProcess::nullDevice());

  QEventLoop loop;
  bool ended = false;
  bool failed_to_start = false;
  QObject::connect(process.get(), &QProcess::finished, &loop, [&] {
    ended = true;
    loop.quit();
  });
  QObject::connect(process.get(), &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
    if (error == QProcess::FailedToStart) {
      failed_to_start = true;
      loop.quit();
    }
  });
  QTimer::singleShot(wait_ms, &loop, &QEventLoop::quit);
  process->start();
  if (!ended && !failed_to_start)
    loop.exec(QEventLoop::ExcludeUserInputEvents);

  if (failed_to_start) {
    result.failure = QStringLiteral("xdg-open could not be started: %1.").arg(process->errorString());
  } else if (!ended) {
    // Still busy (it may wait for the browser it started): it has taken the
    // URL. A QProcess destroyed while its process runs kills it, so the
    // application keeps it until it ends; one still running when the
    // application quits is killed then.
    result.opened = true;
    QProcess* busy = process.release();
    busy->setParent(QCoreApplication::instance());
    QObject::connect(busy, &QProcess::finished, busy, &QObject::deleteLater);
  } else if (process->exitStatus() != QProcess::NormalExit) {
    result.failure = QStringLiteral("xdg-open ended abnormally.");
  } else if (process->exitCode() != 0) {
    result.failure = QStringLiteral("xdg-open ended with exit status %1: %2.")
                         .arg(process->exitCode())
                         .arg(opener_status_text(process->exitCode()));
  } else {
    result.opened = true;
  }
  return result;
}

bool open_on_desktop_or_report(const QUrl& url, const QString& what)
{
  const desktop_open_result result = open_on_desktop(url);
  if (!result.opened)
    wizard_shell::error(QStringLiteral("The %1 could not be opened:\n%2\n%3")
                            .arg(what, url.isLocalFile() ? url.toLocalFile() : url.toString(), result.failure)
                            .toStdWString());
  return result.opened;
}

qt_desktop_services::qt_desktop_services(url_opener opener) : opener_(std::move(opener))
{
  if (!opener_)
    opener_ = [](const QUrl& url) { return open_on_desktop(url).opened; };
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
