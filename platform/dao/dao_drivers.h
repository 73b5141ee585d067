// The drivers behind DBEngine, as Jet keeps its installable formats: the
// workbook driver answers a connect string that names an Excel version, the
// Access-database driver an empty one (or ";pwd=..."). A driver is known once
// its library has registered it, so a program links only the drivers it uses;
// a call for a driver that is not there fails as Jet fails without it.
#pragma once

#include "platform/dao/dao_model.h"

#include <memory>
#include <string>
#include <string_view>

namespace plat::dao {

// Opens (or, for a missing file, starts) the workbook at `path` in the format
// `driver` names ("Excel 8.0"); a name it does not know raises 3170.
using open_workbook_function = com_ref<DAODatabase> (*)(std::shared_ptr<error_state> errors, std::wstring path,
                                                        std::wstring_view driver, bool read_only);
// `connect` is "" or ";pwd=..."; `locale` may carry the new database's ";pwd=...".
using open_access_function = com_ref<DAODatabase> (*)(std::shared_ptr<error_state> errors, const std::wstring& path,
                                                      std::wstring_view connect, bool exclusive, bool read_only);
using create_access_function = com_ref<DAODatabase> (*)(std::shared_ptr<error_state> errors,
                                                        const std::wstring& path, std::wstring_view locale);

// Both replace a driver registered before.
void install_workbook_driver(open_workbook_function open);
void install_access_driver(open_access_function open, create_access_function create);

} // namespace plat::dao
