// The MySQL column types the writing side declares: the names of the native types,
// the type of one column descriptor, and a column list that keeps a row within the
// server's 65,535-byte budget by turning its largest short texts into LONGTEXT.
// Texts count the bytes a character of their character set can take (three for
// utf8, four for utf8mb4), so a VARCHAR stops where one more character would not
// fit the budget even alone: 21,844 characters of utf8, 16,383 of utf8mb4.
#pragma once

#include "SQL/sql_sub_types.h"
#include "UDB/udb_schema.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::uint32_t sql_max_varchar = 21844;        // (65,535 - 2) / 3, utf8
inline constexpr std::uint32_t sql_max_mediumtext = 5592405;   // 16,777,215 / 3, utf8
inline constexpr std::uint32_t sql_utf8_bytes = 3;
inline constexpr std::uint32_t sql_max_varbinary = 255;
inline constexpr std::uint32_t sql_max_blob = 65535;
inline constexpr std::uint32_t sql_max_mediumblob = 16777215;
inline constexpr std::uint64_t sql_row_budget = 65536;
inline constexpr std::uint64_t sql_off_row_bytes = 12;  // a TEXT or BLOB column's share of a row

// Dates, times and timestamps keep at most microseconds.
inline constexpr std::uint32_t sql_max_fractional_digits = 6;

// The most bytes a character of the character set takes in a row or a key:
// 4 for utf8mb4 (and utf16, utf32, gb18030), 3 for utf8 and utf8mb3, 2 or 1 for
// the other sets the server knows; a name not known here counts 4, the most
// any set takes.
std::uint32_t sql_bytes_per_char(std::wstring_view charset);
// The longest VARCHAR, and MEDIUMTEXT, in characters of that many bytes.
std::uint32_t sql_max_varchar_chars(std::uint32_t bytes_per_char);
std::uint32_t sql_max_mediumtext_chars(std::uint32_t bytes_per_char);

// The name of a native type id (0 BINARY ... 27 TINYTEXT); "<Unknown type>" for an
// id the table lacks. The reference stays valid for the life of the process.
const std::wstring& get_native_type_name(int id);

// The MySQL column type of a descriptor (its native type text is not looked at),
// its texts counted at `bytes_per_char`. Dates, times and TIMESTAMPs keep the
// descriptor's scale as their fractional seconds when the server has them.
// A VARTYPE that has no MySQL column is an internal error.
std::wstring get_sql_native_type2(const t_ftd& column, std::uint32_t bytes_per_char = sql_utf8_bytes,
                                  bool fractional_seconds = true);

// A column list for CREATE TABLE. Every append re-checks the row budget: while the
// estimate reaches 65,536 bytes, the largest VARCHAR becomes LONGTEXT (its size
// set to 0), the newest first among equals. A VARCHAR counts four bytes a
// character, TEXT and BLOB columns their 12 bytes of the row, others their size.
class sql_schema : public udb_schema {
public:
  // Texts of more than `max_varchar` characters are TEXT types already.
  explicit sql_schema(std::uint32_t max_varchar = sql_max_varchar);

  // The descriptor is listed, not copied; a null one is an internal error.
  void push_back(descriptor column);

  std::uint64_t total_size() const { return total_size_; }
  // Positions of the VARCHAR candidates still listed, largest first.
  const std::vector<std::uint32_t>& lobs() const { return lobs_; }

private:
  bool is_varchar(const t_ftd& column) const;
  bool is_stored_off_row(const t_ftd& column) const;

  std::uint32_t max_varchar_;
  std::uint64_t total_size_ = 0;
  std::vector<std::uint32_t> lobs_;
};
