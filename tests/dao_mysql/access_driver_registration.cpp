// These tests work on Access databases as well as workbooks. The programs
// never do, so only binaries like this one register the Access driver.
#include "platform/dao/access/access_driver.h"

namespace {

[[maybe_unused]] const bool registered = (plat::dao::register_access_driver(), true);

} // namespace
