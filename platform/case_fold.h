// Case-insensitive comparison of text, the stand-in for CompareString with
// NORM_IGNORECASE: every letter of Unicode folds (Ä = ä, Σ = σ = ς), and the
// result never depends on the process locale. Narrow text is UTF-8.
#pragma once

#include <string_view>

namespace plat {

// The case-folded form of one code point (Unicode simple case folding): two
// characters are equal ignoring case exactly when their folds are equal.
char32_t fold_case(char32_t code_point);

bool equal_no_case(std::wstring_view a, std::wstring_view b);
bool equal_no_case(std::string_view a, std::string_view b);

// Three-way comparison of the folded texts, code point by code point: negative,
// zero or positive. In narrow text a byte that belongs to no valid UTF-8
// sequence counts as a character of its own, equal only to the same byte.
int compare_no_case(std::wstring_view a, std::wstring_view b);
int compare_no_case(std::string_view a, std::string_view b);

// Whether two names are one name to some reader: equal under simple upper
// case, simple lower case or full case folding. Wider than equal_no_case, for
// names that every reader must keep apart (sheet titles): it joins the Turkic
// i's with the Latin ones (ı, i and I upper-case to I; İ, I and i lower-case
// to i) and a letter with its expansion (ß and ss, ﬁ and fi). Not an
// ordering: ı meets i and i meets İ, but ı and İ stay apart.
bool equal_in_any_case(std::wstring_view a, std::wstring_view b);

// Ordering for maps keyed by names that must be unique ignoring case.
struct less_no_case {
  using is_transparent = void;
  bool operator()(std::wstring_view a, std::wstring_view b) const
  {
    return compare_no_case(a, b) < 0;
  }
  bool operator()(std::string_view a, std::string_view b) const
  {
    return compare_no_case(a, b) < 0;
  }
};

} // namespace plat
