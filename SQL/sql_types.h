// The MySQL column types the writing side declares: the names of the native types,
// the type of one column descriptor, and a column list that keeps a row within the
// server's 65,535-byte budget by turning its largest short texts into LONGTEXT.
// Texts count three bytes a character (the engine's utf8), so VARCHAR stops at
// 21,844 characters: one more would not fit the budget even alone.
#pragma once

#include "UDB/udb_schema.h"

#include <cstdint>
#include <string>
#include <vector>

inline constexpr std::uint32_t sql_max_varchar = 21844;        // (65,535 - 2) / 3
inline constexpr std::uint32_t sql_max_mediumtext = 5592405;   // 16,777,215 / 3
inline constexpr std::uint32_t sql_max_varbinary = 255;
inline constexpr std::uint32_t sql_max_blob = 65535;
inline constexpr std::uint32_t sql_max_mediumblob = 16777215;
inline constexpr std::uint64_t sql_row_budget = 65536;
inline constexpr std::uint64_t sql_off_row_bytes = 12;  // a TEXT or BLOB column's share of a row

// The text sub-types and date sub-types of a column descriptor (t_ftd::dw_reserved).
inline constexpr std::uint32_t sql_text_geometry = 2;
inline constexpr std::uint32_t sql_text_geometry2 = 8;
inline constexpr std::uint32_t sql_text_fixed = 16;
inline constexpr std::uint32_t sql_date_as_text = 0;
inline constexpr std::uint32_t sql_date_time = 1;
inline constexpr std::uint32_t sql_date_only = 2;
inline constexpr std::uint32_t sql_time_only = 3;
inline constexpr std::uint32_t sql_date_now = 9;
inline constexpr std::uint32_t sql_date_today = 10;

// The name of a native type id (0 BINARY ... 27 TINYTEXT); "<Unknown type>" for an
// id the table lacks. The reference stays valid for the life of the process.
const std::wstring& get_native_type_name(int id);

// The MySQL column type of a descriptor (its native type text is not looked at).
// A VARTYPE that has no MySQL column is an internal error.
std::wstring get_sql_native_type2(const t_ftd& column);

// A column list for CREATE TABLE. Every append re-checks the row budget: while the
// estimate reaches 65,536 bytes, the largest VARCHAR becomes LONGTEXT (its size
// set to 0), the newest first among equals. A VARCHAR counts four bytes a
// character, TEXT and BLOB columns their 12 bytes of the row, others their size.
class sql_schema : public udb_schema {
public:
  sql_schema();

  // The descriptor is listed, not copied; a null one is an internal error.
  void push_back(descriptor column);

  std::uint64_t total_size() const { return total_size_; }
  // Positions of the VARCHAR candidates still listed, largest first.
  const std::vector<std::uint32_t>& lobs() const { return lobs_; }

private:
  std::uint64_t total_size_ = 0;
  std::vector<std::uint32_t> lobs_;
};
