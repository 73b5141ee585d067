// The DAO errors the Excel driver raises: one place for their numbers and
// texts, so every path that refuses the same thing says it the same way.
#pragma once

#include "platform/dao/dao_error.h"

#include <string>

namespace plat::dao::excel_errors {

inline constexpr int table_exists = 3010;
inline constexpr int invalid_operation = 3219;
inline constexpr int disk_full = 3026;
inline constexpr int invalid_path = 3044;
inline constexpr int disk_error = 3043;
inline constexpr int file_in_use = 3051;
inline constexpr int invalid_field_type = 3259;
inline constexpr int item_not_found = 3265;
inline constexpr int not_expected_format = 3274;
inline constexpr int numeric_overflow = 3349;
inline constexpr int conversion_error = 3421;
inline constexpr int cannot_expand = 3434;

[[noreturn]] void raise(int number);
[[noreturn]] void raise(int number, const std::string& description);
// A failed system call on `what` (a path or a short noun): 3026 for a full disk
// or quota, 3043 otherwise, with the system's own text.
[[noreturn]] void raise_system(int error, const std::string& what);

} // namespace plat::dao::excel_errors
