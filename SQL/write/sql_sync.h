// Key texts made of one element per key column, <column>value</column>..., turned
// into the WHERE condition of an UPDATE or DELETE. Every column name reaches the
// condition quoted and every text value escaped; a value for a numeric or byte
// column goes in bare only when it is a number, else no condition is made.
#pragma once

#include <string>

class sql_database;

class sql_sync {
public:
  explicit sql_sync(sql_database* database);

  // The conditions of the key's elements joined by " and ": `column`=number for
  // numeric and byte columns, `column`='text' for the rest, with &lt; &gt; and
  // &amp; decoded in texts. Raises tk_exception when a value for a numeric or
  // byte column is not a plain number (or hex literal for bytes), or when the
  // key ends inside an element.
  std::wstring get_filter_subquery(const std::wstring& table, const std::wstring& key);

private:
  sql_database* database_;  // not owned
};
