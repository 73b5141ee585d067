// The wizard's desktop: the clipboard is the session's clipboard, and a bug report
// is kept in a private report file and offered to the mail client as a mailto:
// link, because Linux has no mail call that sends on the program's behalf.
#pragma once

#include "platform/desktop.h"

#include <QUrl>

#include <functional>

class qt_desktop_services : public plat::desktop_services {
public:
  // Hands a URL to the desktop; true when something took it.
  using url_opener = std::function<bool(const QUrl&)>;

  // An empty opener means the desktop's own (xdg-open through Qt).
  explicit qt_desktop_services(url_opener opener = {});

  plat::desktop_outcome copy_text(const std::wstring& text) override;
  plat::desktop_outcome send_mail(const plat::mail_message& message) override;

  // The mailto: link of the message; the body names the report file, because a
  // link cannot carry a long report through every mail client.
  static QUrl mail_link(const plat::mail_message& message, const std::string& report_path);

private:
  url_opener opener_;
};
