// The fixed-width integer names and the few Windows structures and constants that
// the system's interfaces are written in. Widths are those of Windows: DWORD is 32
// bits everywhere, never unsigned long.
#pragma once

#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using HRESULT = std::int32_t;
using LCID = std::uint32_t;

// A 64-bit seek offset as the stream interfaces take it.
struct LARGE_INTEGER {
  LONGLONG QuadPart;
};
struct ULARGE_INTEGER {
  ULONGLONG QuadPart;
};

// A calendar date and time of day, each part 16 bits wide.
struct SYSTEMTIME {
  WORD wYear = 0;
  WORD wMonth = 0;
  WORD wDayOfWeek = 0;
  WORD wDay = 0;
  WORD wHour = 0;
  WORD wMinute = 0;
  WORD wSecond = 0;
  WORD wMilliseconds = 0;
};

// Access rights as the access test takes them.
inline constexpr DWORD GENERIC_READ = 0x80000000u;
inline constexpr DWORD GENERIC_WRITE = 0x40000000u;
inline constexpr DWORD GENERIC_EXECUTE = 0x20000000u;
inline constexpr DWORD GENERIC_ALL = 0x10000000u;

// File attribute bits the existence tests are asked about.
inline constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1u;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10u;
