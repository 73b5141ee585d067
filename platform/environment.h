// The process's environment as the system reads it: the temporary folder, the
// user's name and home folder. The Windows names come first (TEMP, USERNAME),
// then the ones a Linux session sets.
#pragma once

#include <string>

namespace plat {

// TEMP, else TMPDIR, else /tmp.
std::string temp_folder();

// USERNAME, else USER, else LOGNAME, else the account's name in the password
// database; empty when none is known.
std::string user_name();

// $HOME when it is an absolute path, else the account's home folder in the
// password database; empty when none is known.
std::string home_folder();

} // namespace plat
