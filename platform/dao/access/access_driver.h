// Makes the Access-database driver known to DBEngine (connect "" or
// ";pwd=...", and CreateDatabase). Idempotent; only what works on Access
// databases links and registers it.
#pragma once

namespace plat::dao {

void register_access_driver();

} // namespace plat::dao
