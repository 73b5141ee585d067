// Report files are created exclusively (O_EXCL, no link followed) with owner-only
// rights: they may hold connection details from an error text.
#include "platform/desktop.h"

#include "platform/clock.h"
#include "platform/files.h"
#include "base/format.h"
#include "platform/text_codec.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace plat {

namespace {

class report_file_desktop : public desktop_services {
public:
  desktop_outcome copy_text(const std::wstring& text) override
  {
    return keep("clipboard", to_utf8(text));
  }

  desktop_outcome send_mail(const mail_message& message) override
  {
    return keep("bug-report", mail_as_text(message));
  }

private:
  static desktop_outcome keep(std::string_view stem, std::string_view text)
  {
    desktop_outcome outcome;
    if (!write_report_file(stem, text, outcome.kept_in, outcome.error))
      outcome.kept_in.clear();
    return outcome;
  }
};

report_file_desktop default_desktop;
std::atomic<desktop_services*> chosen_desktop{nullptr};

} // namespace

desktop_services& current_desktop_services() noexcept
{
  desktop_services* chosen = chosen_desktop.load();
  return chosen != nullptr ? *chosen : default_desktop;
}

void set_desktop_services(desktop_services* services) noexcept { chosen_desktop.store(services); }

std::string report_folder()
{
  const std::string cache = xdg_base_folder("XDG_CACHE_HOME", ".cache");
  return cache.empty() ? cache : cache + "/Norvale/Tabloom";
}

bool write_report_file(std::string_view stem, std::string_view text, std::string& path, int& error)
{
  const std::string folder = report_folder();
  if (folder.empty()) {
    error = ENOENT;
    return false;
  }
  if (!make_folders(folder, 0700)) {
    error = errno;
    return false;
  }
  const SYSTEMTIME now = local_time();
  const std::string base = base::sprintf("%s/%s-%04d%02d%02d-%02d%02d%02d", folder, std::string(stem), now.wYear,
                                         now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
  // Two reports within one second get numbered names.
  for (int attempt = 1; attempt <= 100; ++attempt) {
    path = attempt == 1 ? base + ".txt" : base::sprintf("%s-%d.txt", base, attempt);
    unique_fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.valid()) {
      if (errno == EEXIST)
        continue;
      error = errno;
      return false;
    }
    const bool written = write_all(fd.get(), text);
    const int write_error = errno;
    if (!fd.close() || !written) {
      error = written ? errno : write_error;
      ::unlink(path.c_str());
      return false;
    }
    return true;
  }
  error = EEXIST;
  return false;
}

std::string mail_as_text(const mail_message& message)
{
  return "To: " + message.recipient + "\nSubject: " + message.subject + "\nDate: " + message.date + "\n\n" +
         message.body + "\n";
}

} // namespace plat
