// Tests on files and folders: existence, read-only state, the current user's
// access, and the current directory. None of them raises.
#pragma once

#include "platform/win_types.h"

#include <string>

// Modes of the existence tests; any mode but tk_exist_writable asks only for
// "exists and is no folder".
inline constexpr unsigned tk_exist_not_folder = 0x4000;  // exists and is no folder
inline constexpr unsigned tk_exist_writable = 1;         // ... and is not read-only

bool tk_is_file_exist1(const std::string& name, unsigned mode);
bool tk_is_file_exist2(const std::wstring& name, unsigned mode);
// A folder of that name exists; an empty path stands for the program's folder.
bool tk_is_path_exist(const std::string& path);
bool tk_is_path_exist(const std::wstring& path);
// Whether the current user has the desired access (GENERIC_READ, GENERIC_WRITE,
// GENERIC_EXECUTE or GENERIC_ALL, or a combination) to the file or folder;
// writing into a folder needs entering it too. Any other right gives false.
bool tk_check_access(const char* path, DWORD desired);
bool tk_check_access(const wchar_t* path, DWORD desired);

// The current directory; empty when it cannot be read or is no UTF-8 text.
std::wstring tk_get_current_dir();
