// The texts of the Excel driver's DAO errors.
#include "platform/dao/excel/errors.h"

#include "platform/process.h"

#include <cerrno>

namespace plat::dao::excel_errors {

namespace {

const char* text_of(int number)
{
  switch (number) {
  case table_exists: return "Table already exists.";
  case invalid_operation: return "Invalid operation.";
  case disk_full: return "Not enough space on disk.";
  case disk_error: return "Disk or network error.";
  case invalid_path: return "Not a valid path.";
  case file_in_use: return "The file is already in use by another session.";
  case invalid_field_type: return "Invalid field data type.";
  case item_not_found: return "Item not found in this collection.";
  case not_expected_format: return "External table is not in the expected format.";
  case numeric_overflow: return "Numeric field overflow.";
  case conversion_error: return "Data type conversion error.";
  case cannot_expand: return "Cannot expand named range.";
  default: return "Unexpected error.";
  }
}

} // namespace

void raise(int number)
{
  throw dao_error(number, text_of(number));
}

void raise(int number, const std::string& description)
{
  throw dao_error(number, description);
}

void raise_system(int error, const std::string& what)
{
  const int number = (error == ENOSPC || error == EDQUOT) ? disk_full : disk_error;
  throw dao_error(number, std::string(text_of(number)) + " " + what + ": " + error_text(error));
}

} // namespace plat::dao::excel_errors
