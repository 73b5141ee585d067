// The running program's own file and folder, and the version a shared library
// reports of itself. The program's path always exists: failing to read it is an
// internal error, never an empty result.
#pragma once

#include "platform/win_types.h"

#include <string>

// The program file's absolute path: tk_get_module_file_name() for the narrow
// form, tk_get_module_file_name<std::wstring>() for the wide one.
template <class Text = std::string>
Text tk_get_module_file_name();
template <>
std::string tk_get_module_file_name<std::string>();
template <>
std::wstring tk_get_module_file_name<std::wstring>();

// The program's folder with its trailing '/'.
template <class Text = std::string>
Text tk_get_module_dir();
template <>
std::string tk_get_module_dir<std::string>();
template <>
std::wstring tk_get_module_dir<std::wstring>();

// What a library's exported DllGetVersion fills in; cbSize is set by the caller.
struct DLLVERSIONINFO {
  DWORD cbSize = 0;
  DWORD dwMajorVersion = 0;
  DWORD dwMinorVersion = 0;
  DWORD dwBuildNumber = 0;
  DWORD dwPlatformID = 0;
};

// Major version in the high 16 bits, minor in the low 16; 0 when the library
// cannot be loaded, exports no DllGetVersion or the call fails.
DWORD get_dll_version(const wchar_t* dll);
