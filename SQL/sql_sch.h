// Reads the foreign keys of a table from the server's CREATE TABLE text: one
// relationship per line that names a constraint, its FOREIGN KEY columns and the
// table and columns it REFERENCES. Quoted names are read whole (a doubled backquote
// is one backquote of the name); a line it cannot read adds nothing.
#pragma once

#include "UDB/udb_relship.h"

#include <string>
#include <vector>

class sql_fk_parser {
public:
  // `statement` is the CREATE TABLE text (UTF-8) of the table `table_name`.
  sql_fk_parser(const std::wstring& table_name, const std::string& statement);

  void do_parse(udb_relationships& list);

  // The backquoted names of a column list, in order; anything outside backquotes
  // is ignored. Always true.
  static bool get_columns(const std::wstring& text, std::vector<std::wstring>& names);
  // Removes spaces at the end, then at the start.
  static void trim(std::string& text);

private:
  std::wstring table_name_;
  std::vector<std::string> lines_;
};
