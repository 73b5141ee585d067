// The DAO error texts: nine rows, in the order the error handler is given them.
#include "dao/dao_error_map.h"

#include "TK/tk_desktop.h"

#include <iterator>

const char dao_duplicate_values_text[] =
    "Duplicate field values being used for an unique index were found.\n"
    "See 'Troubleshooting' article of the product documentation\n"
    "for solution.";

namespace {

constexpr const char* access_format_text =
    "Cannot recognize MS Access database format. See 'Troubleshooting'\n"
    "article of the product documentation for solution.";
constexpr const char* workgroup_file_text =
    "Invalid workgroup information file. Return to the previous\n"
    "wizard page and verify the correct path was given.";

} // namespace

const tk_error_entry dao_error_map[] = {
    {0x10BE9, access_format_text},
    {0x10BEF, "Not a valid MS Access database name. Use the following characters\n"
              "to compose new database name: alphanumerics (A-Z, a-z, 0-9),\n"
              "underscore characters (_) and spaces."},
    {0x10BCE, dao_duplicate_values_text},
    {0x10BD5, "Not a valid account name or password has been specified\n"
              "in MS Access user-level security settings"},
    {0x10C28, "Cannot extract relationships information. See 'Troubleshooting'\n"
              "article of the product documentation for solution."},
    {0x10C65, workgroup_file_text},
    {0x10D1E, workgroup_file_text},
    {0x10D5D, "Data type conversion error. Please contact " TK_SUPPORT_MAIL "\n"
              "for the solution."},
    {0x10D0F, access_format_text},
};
const std::size_t dao_error_map_size = std::size(dao_error_map);
