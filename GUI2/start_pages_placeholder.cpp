// Placeholders for the welcome and connection pages until their own files define
// these two factories (this file then goes).
#include "GUI2/placeholder_page.h"
#include "GUI2/wizard_pages.h"

std::unique_ptr<wizard_page> make_welcome_page(qorvant_converter&)
{
  return std::make_unique<placeholder_page>(page_welcome, wizb_next, psp_has_help | psp_hide_header, QString(),
                                            QString());
}

std::unique_ptr<wizard_page> make_connection_page(qorvant_converter&)
{
  return std::make_unique<placeholder_page>(page_connection, wizb_back | wizb_next, psp_has_help,
                                            QStringLiteral("Step 1 of 5"),
                                            QStringLiteral("Connect to MySQL server"));
}
