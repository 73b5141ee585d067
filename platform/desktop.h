// The desktop's clipboard and mail client behind one small interface that the GUI
// fills in. Without a GUI the process keeps each text in a private report file
// under the user's cache folder: nothing is sent anywhere and no shell is run.
#pragma once

#include <string>
#include <string_view>

namespace plat {

struct mail_message {
  std::string recipient;  // "Name <address>"
  std::string subject;
  std::string body;
  std::string date;  // as the sender wrote it; may be empty
};

// What became of a text handed to the desktop.
struct desktop_outcome {
  bool delivered = false;  // the clipboard or the mail client took it
  std::string kept_in;     // a file that keeps a copy; empty when none was written
  int error = 0;           // the system error when neither happened
};

class desktop_services {
public:
  desktop_services() = default;
  virtual ~desktop_services() = default;
  desktop_services(const desktop_services&) = delete;
  desktop_services& operator=(const desktop_services&) = delete;

  virtual desktop_outcome copy_text(const std::wstring& text) = 0;
  virtual desktop_outcome send_mail(const mail_message& message) = 0;
};

// The implementation set last, else the report-file one.
desktop_services& current_desktop_services() noexcept;
// Borrowed: the caller keeps it alive until it is replaced; null restores the default.
void set_desktop_services(desktop_services* services) noexcept;

// The folder that report files go to: $XDG_CACHE_HOME/Norvale/Tabloom, else
// ~/.cache/Norvale/Tabloom; empty when there is no home to put it in.
std::string report_folder();

// Writes the text into a new file <report folder>/<stem>-<local time>.txt of mode
// 0600, creating the folders (mode 0700) as needed; never replaces a file. False
// with the system error when it cannot.
bool write_report_file(std::string_view stem, std::string_view text, std::string& path, int& error);

// The mail as a plain text: To, Subject and Date lines, a blank line, the body.
std::string mail_as_text(const mail_message& message);

} // namespace plat
