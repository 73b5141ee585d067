// The stand-in for the per-user registry: a key under HKEY_CURRENT_USER is a small
// typed key-value file under the user's configuration folder, holding REG_DWORD
// and REG_SZ values. A key's file is read when the key is opened and rewritten
// atomically (temporary file, then rename) with mode 0600 when a changed key is
// closed; a missing or damaged file reads as a key without values.
#pragma once

#include "platform/win_types.h"

#include <string_view>

namespace plat {

struct reg_key;  // an open key; only this module looks inside
using HKEY = reg_key*;

// The one root the system uses. Software\<vendor>\<product> under it maps to the
// file $XDG_CONFIG_HOME/<vendor>/<product> (default ~/.config/<vendor>/<product>).
extern reg_key* const HKEY_CURRENT_USER;

inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_DWORD = 4;

inline constexpr DWORD KEY_ALL_ACCESS = 0xF003F;

inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Result codes, with the values of the system they replace.
inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;   // no such value, or one of another type
inline constexpr LONG ERROR_PATH_NOT_FOUND = 3;   // no configuration folder can be named
inline constexpr LONG ERROR_ACCESS_DENIED = 5;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;   // null, closed or never opened
inline constexpr LONG ERROR_WRITE_FAULT = 29;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_MORE_DATA = 234;      // the buffer is too small; size says how big

// Opens the key, creating it when missing (its file appears at the first change).
// On success key receives a new handle and disposition, when given, says whether
// the key was new.
LONG reg_create_key(HKEY root, std::string_view subkey, HKEY& key, DWORD* disposition);

// Writes the key's changes, if any, then frees the handle (also when the write
// failed, whose code is then returned).
LONG reg_close_key(HKEY key);

// Typed reads; a value of the other type reads as missing. Texts are one stored
// UTF-8 text seen narrow (bytes) or wide (wchar_t units); size is in bytes and
// counts the terminator. A null data pointer asks for the size only; a buffer too
// small gives ERROR_MORE_DATA with the size needed.
LONG reg_query_dword(HKEY key, std::string_view name, DWORD& value);
LONG reg_query_text(HKEY key, std::string_view name, char* data, DWORD* size);
LONG reg_query_text(HKEY key, std::wstring_view name, wchar_t* data, DWORD* size);

// Typed writes; a value of the same name and either type is replaced.
LONG reg_set_dword(HKEY key, std::string_view name, DWORD value);
LONG reg_set_text(HKEY key, std::string_view name, std::string_view text);
LONG reg_set_text(HKEY key, std::wstring_view name, std::wstring_view text);

} // namespace plat
