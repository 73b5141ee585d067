// The text routines that bring a view of another SQL dialect into MySQL's. They
// read quotes only where they say so; everything else is plain text to them.
#pragma once

#include <cstddef>
#include <string>

// Every run of blanks, tabs and line breaks outside quotes (' and ", a quote
// after a backslash or doubled staying inside) as one space; quoted runs unchanged.
// Backquotes are not quotes here.
std::wstring collapse_spaces(const std::wstring& text);

class sql_view_converter {
public:
  // The call whose name starts at the position has exactly one comma inside its
  // parentheses, commas of nested calls counted too. A position at or past the
  // end (npos included) gives false.
  static bool check_isnull_for_replace(const std::wstring& text, std::size_t position);
};
