// The file tests ask the system without changing the current directory (workers
// rely on it) and answer false on any failure; none of them raises.
#include "TK/tk_files.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "TK/tk_module.h"
#include "platform/files.h"
#include "platform/text_codec.h"

namespace {

bool file_exists(std::string_view name, unsigned mode)
{
  const plat::path_status status = plat::query_path(name);
  if (!status.exists || status.folder)
    return false;
  return mode != tk_exist_writable || !status.read_only;
}

} // namespace

bool tk_is_file_exist1(const std::string& name, unsigned mode)
{
  tk_log_message(1, "tk_is_file_exist1(%s,%d)", name, mode);
  return file_exists(name, mode);
}

bool tk_is_file_exist2(const std::wstring& name, unsigned mode)
{
  tk_log_message(2, L"tk_is_file_exist2(%s,%08X)", name, mode);
  return file_exists(plat::to_utf8(name), mode);
}

bool tk_is_path_exist(const std::string& path)
{
  tk_log_message(1, "tk_is_path_exist(%s)", path);
  if (!path.empty())
    return plat::query_path(path).folder;
  try {
    return plat::query_path(tk_get_module_dir()).folder;
  } catch (const tk_exception&) {
    return false;
  }
}

bool tk_is_path_exist(const std::wstring& path)
{
  tk_log_message(1, L"tk_is_path_exist(%s)", path);
  return tk_is_path_exist(plat::to_utf8(path));
}

namespace {

bool check_access(std::string_view path, DWORD desired)
{
  constexpr DWORD known = GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL;
  if (desired == 0 || (desired & ~known) != 0)
    return false;
  const bool all = (desired & GENERIC_ALL) != 0;
  return plat::has_access(path, all || (desired & GENERIC_READ) != 0,
                          all || (desired & GENERIC_WRITE) != 0,
                          all || (desired & GENERIC_EXECUTE) != 0);
}

} // namespace

bool tk_check_access(const char* path, DWORD desired)
{
  return path != nullptr && check_access(path, desired);
}

bool tk_check_access(const wchar_t* path, DWORD desired)
{
  return path != nullptr && check_access(plat::to_utf8(path), desired);
}

std::wstring tk_get_current_dir()
{
  std::string narrow;
  std::wstring wide;
  if (!plat::current_dir(narrow) || !plat::utf8_to_wide(narrow, wide))
    return {};
  return wide;
}
