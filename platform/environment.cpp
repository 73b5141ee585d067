#include "platform/environment.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace plat {

namespace {

// The password-database entry of the effective user; the strings it points to
// live in the buffer.
const passwd* account_entry(passwd& entry, std::vector<char>& buffer)
{
  buffer.resize(16384);
  passwd* found = nullptr;
  if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0)
    return nullptr;
  return found;
}

} // namespace

std::string temp_folder()
{
  for (const char* variable : {"TEMP", "TMPDIR"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0')
      return value;
  }
  return "/tmp";
}

std::string user_name()
{
  for (const char* variable : {"USERNAME", "USER", "LOGNAME"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0')
      return value;
  }
  passwd entry{};
  std::vector<char> buffer;
  const passwd* found = account_entry(entry, buffer);
  return found != nullptr && found->pw_name != nullptr ? found->pw_name : std::string();
}

std::string home_folder()
{
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/')
    return home;
  passwd entry{};
  std::vector<char> buffer;
  const passwd* found = account_entry(entry, buffer);
  if (found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/')
    return found->pw_dir;
  return {};
}

} // namespace plat
