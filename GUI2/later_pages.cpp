// Placeholders for the database, tables, format, progress and finish pages: the
// wizard's page list is complete while those pages are still to come.
#include "GUI2/placeholder_page.h"
#include "GUI2/wizard_pages.h"

std::unique_ptr<wizard_page> make_database_page(qorvant_converter&)
{
  return std::make_unique<placeholder_page>(page_database, wizb_back | wizb_next, psp_has_help,
                                            QStringLiteral("Step 2 of 5"), QStringLiteral("Select databases"));
}

std::unique_ptr<wizard_page> make_format_page(qorvant_converter&)
{
  return std::make_unique<placeholder_page>(page_format, wizb_back | wizb_next, psp_has_help,
                                            QStringLiteral("Step 4 of 5"), QStringLiteral("Format settings"));
}

std::unique_ptr<wizard_page> make_progress_page(qorvant_converter&)
{
  return std::make_unique<placeholder_page>(page_progress, wizb_back | wizb_next, psp_has_help,
                                            QStringLiteral("Step 5 of 5"),
                                            QStringLiteral("Database conversion is in progress"));
}

std::unique_ptr<wizard_page> make_finish_page(qorvant_converter&)
{
  return std::make_unique<placeholder_page>(page_finish, wizb_finish, psp_hide_header, QString(), QString());
}
