// Whatever the desktop implementation does, these never raise: they run inside
// error dialogs, where a second failure would hide the first.
#include "TK/tk_desktop.h"

#include "TK/tk_chdir.h"
#include "TK/tk_log.h"
#include "platform/clock.h"
#include "platform/desktop.h"
#include "platform/process.h"

#include <exception>

namespace {

plat::desktop_outcome failed_outcome()
{
  plat::desktop_outcome outcome;
  outcome.error = plat::last_error();
  return outcome;
}

} // namespace

void tk_copy_to_clipboard2(const std::wstring& text)
{
  tk_log_message(2, L"tk_copy_to_clipboard2(%s)", text);
  plat::desktop_outcome outcome;
  try {
    outcome = plat::current_desktop_services().copy_text(text);
  } catch (const std::exception&) {
    outcome = failed_outcome();
  }
  if (outcome.delivered)
    tk_log_message(2, "OpenClipboard succeeded");
  if (!outcome.kept_in.empty())
    tk_log_message(3, "Clipboard text written to %s", outcome.kept_in);
  if (!outcome.delivered && outcome.kept_in.empty())
    tk_log_message(2, "GetLastError() returns %08X", static_cast<unsigned>(outcome.error));
}

void tk_send_bug(const std::string& subject_tail, const std::string& body)
{
  tk_log_message(2, "tk_send_bug(%s|%s)", subject_tail, body);
  plat::mail_message message;
  message.recipient = tk_support_address;
  message.subject = "Bug report on " + subject_tail;
  message.body = body;
  const SYSTEMTIME now = plat::local_time();
  message.date = base::sprintf("%d/%d/%d %d:%d", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute);

  plat::desktop_outcome outcome;
  try {
    // A mail client may move the current directory; take it back afterwards.
    const tk_temp_chdir keep_dir(".");
    outcome = plat::current_desktop_services().send_mail(message);
  } catch (const std::exception&) {
    outcome = failed_outcome();
  }
  if (outcome.delivered)
    tk_log_message(2, "Bug report handed to the mail client");
  if (!outcome.kept_in.empty())
    tk_log_message(3, "Bug report written to %s", outcome.kept_in);
  if (!outcome.delivered && outcome.kept_in.empty())
    tk_log_message(2, "Bug report not sent: %s", plat::error_text(outcome.error));
}
