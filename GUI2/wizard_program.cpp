// The page list of the wizard. A quick launch skips the five pages that collect
// settings: the profile has them, so the wizard opens on the progress page.
#include "GUI2/wizard_program.h"

#include "GUI2/connection_page.h"
#include "GUI2/database_page.h"
#include "GUI2/wizard_art.h"
#include "GUI2/wizard_pages.h"
#include "GUI2/wizard_shell.h"
#include "TK/tk_codepage.h"
#include "TK/tk_log.h"
#include "common/qvt_converter.h"

QString wizard_title()
{
  return QStringLiteral("Tabloom %1.%2").arg(5).arg(5);
}

std::wstring wizard_command_line(int argc, const char* const* argv)
{
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1)
      line += ' ';
    line += argv[i];
  }
  return tk_utf8_to_wstring(line);
}

namespace {

// A new connection may lead to another server: the database page fetches its
// list again.
void connect_database_list(const std::vector<std::unique_ptr<wizard_page>>& pages)
{
  connection_page* connection = nullptr;
  database_page* database = nullptr;
  for (const auto& page : pages) {
    if (auto* found = qobject_cast<connection_page*>(page.get()))
      connection = found;
    if (auto* found = qobject_cast<database_page*>(page.get()))
      database = found;
  }
  if (connection != nullptr && database != nullptr)
    QObject::connect(connection, &connection_page::connected, database, &database_page::forget_databases);
}

} // namespace

wizard_program::wizard_program(qorvant_converter& converter, const std::wstring& command_line)
    : shell_(wizard_title(), wizard_icon(), wizard_watermark(), wizard_header_picture())
{
  const bool quick_launch = !command_line.empty();
  pages_.push_back(make_welcome_page(converter));
  pages_.push_back(make_connection_page(converter));
  pages_.push_back(make_database_page(converter));
  pages_.push_back(make_tables_page(converter));
  pages_.push_back(make_format_page(converter));
  connect_database_list(pages_);
  if (quick_launch)
    tk_log_message(2, L"QUICK LAUNCH: profile=%s", command_line);
  else
    for (const auto& page : pages_)
      shell_.add_page(*page);
  pages_.push_back(make_progress_page(converter));
  shell_.add_page(*pages_.back());
  pages_.push_back(make_finish_page(converter));
  shell_.add_page(*pages_.back());
}

bool prepare_quick_launch(qorvant_converter& converter, const std::wstring& profile)
{
  // The registry's settings must not run in the profile's place.
  if (!converter.load_profile(profile)) {
    wizard_shell::error(L"Profile '" + profile + L"' could not be loaded.");
    return false;
  }
  converter.check_dest();
  converter.connect_mysql_server();
  return true;
}
