// The sub-types a column descriptor of the MySQL engine carries (t_ftd::dw_reserved):
// the reading side sets them from the server's description of a column, the
// writing side declares and fills columns by them, so both read them here.
#pragma once

#include <cstdint>

// Text sub-types.
inline constexpr std::uint32_t sql_text_geometry = 2;
inline constexpr std::uint32_t sql_text_geometry2 = 8;
inline constexpr std::uint32_t sql_text_fixed = 16;  // CHAR: fixed width, in characters
// The text sub-type of a GUID column; only its values are written as GUIDs.
inline constexpr std::uint32_t sql_text_guid = 1;
// Date sub-types.
inline constexpr std::uint32_t sql_date_as_text = 0;
inline constexpr std::uint32_t sql_date_time = 1;
inline constexpr std::uint32_t sql_date_only = 2;
inline constexpr std::uint32_t sql_time_only = 3;
inline constexpr std::uint32_t sql_date_now = 9;
inline constexpr std::uint32_t sql_date_today = 10;
