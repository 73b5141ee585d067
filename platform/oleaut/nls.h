// Locale, code-page and comparison constants that callers pass to the text and
// number conversions. Only their values matter here: numbers are always read and
// written with "." and no grouping, and the "ANSI code page" is UTF-8.
#pragma once

#include "platform/win_types.h"

inline constexpr LCID LOCALE_USER_DEFAULT = 0x400;
inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x800;
inline constexpr LCID LOCALE_EN_US = 0x409;  // 1033

inline constexpr DWORD CP_ACP = 0;
inline constexpr DWORD CP_THREAD_ACP = 3;
inline constexpr DWORD CP_UTF8 = 65001;
inline constexpr DWORD MB_PRECOMPOSED = 0x1;

inline constexpr DWORD NORM_IGNORECASE = 0x1;
inline constexpr int CSTR_LESS_THAN = 1;
inline constexpr int CSTR_EQUAL = 2;
inline constexpr int CSTR_GREATER_THAN = 3;
