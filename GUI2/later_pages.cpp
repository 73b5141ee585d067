// Placeholders for the database, tables and format pages: the
// wizard's page list is complete while those pages are still to come.
#include "GUI2/placeholder_page.h"
#include "GUI2/wizard_pages.h"

std::unique_ptr<wizard_page> make_database_page(qorvant_converter&)
{
  return std::make_unique<placeholder_page>(page_database, wizb_back | wizb_next, psp_has_help,
                                            QStringLiteral("Step 2 of 5"), QStringLiteral("Select databases"));
}

std::unique_ptr<wizard_page> make_tables_page(qorvant_converter&)
{
  return std::make_unique<placeholder_page>(page_tables, wizb_back | wizb_next, psp_has_help,
                                            QStringLiteral("Step 3 of 5"), QStringLiteral("Select tables"));
}

std::unique_ptr<wizard_page> make_format_page(qorvant_converter&)
{
  return std::make_unique<placeholder_page>(page_format, wizb_back | wizb_next, psp_has_help,
                                            QStringLiteral("Step 4 of 5"), QStringLiteral("Format settings"));
}
