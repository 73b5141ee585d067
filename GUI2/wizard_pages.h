// The seven pages of the wizard, one factory each, in the order the wizard shows
// them. Each page's own source file defines its factory.
#pragma once

#include "GUI2/wizard_page.h"

#include <memory>

class qorvant_converter;

// Page ids, which on_next and on_back may answer to jump.
enum wizard_page_id : int {
  page_welcome = 103,
  page_connection = 123,
  page_database = 105,
  page_tables = 127,
  page_format = 107,
  page_progress = 108,
  page_finish = 126,
};

std::unique_ptr<wizard_page> make_welcome_page(qorvant_converter& converter);
std::unique_ptr<wizard_page> make_connection_page(qorvant_converter& converter);
std::unique_ptr<wizard_page> make_database_page(qorvant_converter& converter);
std::unique_ptr<wizard_page> make_tables_page(qorvant_converter& converter);
std::unique_ptr<wizard_page> make_format_page(qorvant_converter& converter);
std::unique_ptr<wizard_page> make_progress_page(qorvant_converter& converter);
std::unique_ptr<wizard_page> make_finish_page(qorvant_converter& converter);
