// The wizard's desktop: the clipboard is the session's clipboard, a bug report
// is kept in a private report file and offered to the mail client as a mailto:
// link, because Linux has no mail call that sends on the program's behalf, and
// links and files go to the desktop's opener, whose exit status is its answer.
#pragma once

#include "platform/desktop.h"

#include <QString>
#include <QUrl>

#include <functional>

// What the desktop's opener made of a URL.
struct desktop_open_result {
  bool opened = false;
  QString failure;  // why not, as a sentence for a box
};
// Hands the URL to xdg-open (found on PATH, no shell) and waits up to wait_ms
// for its exit status, keeping the GUI thread's events going. A status of 0, or
// an opener still busy at the end of the wait, counts as opened; no opener, one
// that cannot start, ends abnormally or exits with another status, as failed.
desktop_open_result open_on_desktop(const QUrl& url, int wait_ms = 3000);
// open_on_desktop for a user's request: a failure is an error box that says
// what could not be opened (`what`: "link", "workbook"), the file or link, and
// why. True when opened.
bool open_on_desktop_or_report(const QUrl& url, const QString& what);

class qt_desktop_services : public plat::desktop_services {
public:
  // Hands a URL to the desktop; true when something took it.
  using url_opener = std::function<bool(const QUrl&)>;

  // An empty opener means the desktop's own (open_on_desktop).
  explicit qt_desktop_services(url_opener opener = {});

  plat::desktop_outcome copy_text(const std::wstring& text) override;
  plat::desktop_outcome send_mail(const plat::mail_message& message) override;

  // The mailto: link of the message; the body names the report file, because a
  // link cannot carry a long report through every mail client.
  static QUrl mail_link(const plat::mail_message& message, const std::string& report_path);

private:
  url_opener opener_;
};
