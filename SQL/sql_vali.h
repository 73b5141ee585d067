// The name rules of a MySQL target: one family for servers before 4.1.0 (reserved
// words, letters, digits, "_" and "$" only) and one for later servers (quoted
// names without a few characters). Every get_safe_name answer passes its family's
// is_acceptable; the classes keep their whole state in udb_validator.
#pragma once

#include "UDB/udb_vali.h"

#include <cstdint>
#include <string>
#include <vector>

class udb_record;
class udb_schema;
class udb_indexes;

// The MySQL identifier limit, in characters.
inline constexpr std::uint32_t sql_max_name_length = 64;

// The server keeps this table name between backquotes, whatever the family: 1 to
// 64 characters, no trailing blank, none that utf8mb3 cannot hold (NUL, lone
// surrogates, anything beyond U+FFFF).
bool sql_server_keeps_table_name(const std::wstring& name);

class sql_old_validator : public udb_validator {
public:
  sql_old_validator();

  bool is_acceptable(const std::wstring& name) const override;
  std::wstring get_safe_name(const std::wstring& wanted) const override;
};

class sql_old_fn_validator : public sql_old_validator {
public:
  explicit sql_old_fn_validator(const udb_record& record);
  explicit sql_old_fn_validator(const udb_schema& schema);
};

class sql_old_in_validator : public sql_old_validator {
public:
  explicit sql_old_in_validator(const udb_indexes& indexes);
};

// Table and view names; the existing names are the first list, then the second.
class sql_old_tn_validator : public sql_old_validator {
public:
  sql_old_tn_validator(const std::vector<std::wstring>& first,
                       const std::vector<std::wstring>& second);
};

class sql_new_validator : public udb_validator {
public:
  // Table and view names refuse six characters more than field and index names.
  explicit sql_new_validator(bool table_names);

  bool is_acceptable(const std::wstring& name) const override;
  std::wstring get_safe_name(const std::wstring& wanted) const override;
};

class sql_new_fn_validator : public sql_new_validator {
public:
  explicit sql_new_fn_validator(const udb_record& record);
  explicit sql_new_fn_validator(const udb_schema& schema);
};

// PRIMARY belongs to the primary key, so it is no name for any other index.
class sql_new_in_validator : public sql_new_validator {
public:
  explicit sql_new_in_validator(const udb_indexes& indexes);
};

class sql_new_tn_validator : public sql_new_validator {
public:
  sql_new_tn_validator(const std::vector<std::wstring>& first,
                       const std::vector<std::wstring>& second);
};
