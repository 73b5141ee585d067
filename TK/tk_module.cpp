// The program's path comes from the system once per call and is split by the
// path module; a library is unloaded again on every way out of get_dll_version.
#include "TK/tk_module.h"

#include "TK/tk_exception.h"
#include "TK/tk_fname.h"
#include "TK/tk_log.h"
#include "platform/oleaut/hresult.h"
#include "platform/process.h"
#include "platform/text_codec.h"

#include <dlfcn.h>
#include <memory>

template <>
std::string tk_get_module_file_name<std::string>()
{
  std::string path = plat::executable_path();
  if (path.empty())
    throw tk_mail_assertion("tk_utils", 119);
  return path;
}

template <>
std::wstring tk_get_module_file_name<std::wstring>()
{
  std::wstring path;
  const std::string narrow = plat::executable_path();
  if (narrow.empty() || !plat::utf8_to_wide(narrow, path))
    throw tk_mail_assertion("tk_utils", 132);
  return path;
}

template <>
std::string tk_get_module_dir<std::string>()
{
  return tk_file_name(tk_get_module_file_name<std::string>()).get_folder();
}

template <>
std::wstring tk_get_module_dir<std::wstring>()
{
  return tk_file_wname(tk_get_module_file_name<std::wstring>()).get_folder();
}

namespace {

struct library_closer {
  void operator()(void* handle) const { ::dlclose(handle); }
};
using library_handle = std::unique_ptr<void, library_closer>;

using dll_get_version_fn = HRESULT (*)(DLLVERSIONINFO*);

} // namespace

DWORD get_dll_version(const wchar_t* dll)
{
  library_handle library;
  if (dll != nullptr && *dll != L'\0')
    library.reset(::dlopen(plat::to_utf8(dll).c_str(), RTLD_NOW | RTLD_LOCAL));
  if (!library) {
    tk_log_message(1, "get_dll_version failed to load DLL");
    return 0;
  }
  void* const symbol = ::dlsym(library.get(), "DllGetVersion");
  if (symbol == nullptr) {
    tk_log_message(1, "get_dll_version failed to obtain DllGetVersion");
    return 0;
  }
  // POSIX guarantees that a function's address survives the trip through void*.
  const auto dll_get_version = reinterpret_cast<dll_get_version_fn>(symbol);
  DLLVERSIONINFO info;
  info.cbSize = sizeof(DLLVERSIONINFO);
  if (dll_get_version(&info) < 0)
    return 0;
  return (info.dwMajorVersion << 16) | (info.dwMinorVersion & 0xFFFFu);
}
