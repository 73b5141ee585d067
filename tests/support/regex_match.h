// Regular-expression checks for tests. <regex> takes longer to compile than most
// test files, so it is instantiated once, here, and tests see only these calls.
#pragma once

#include <string>
#include <vector>

namespace test_regex {

// Whether the whole text matches the ECMAScript pattern.
bool matches(const std::string& text, const std::string& pattern);

// The groups of the first match of the pattern in the text (the whole match
// first), or an empty list when it does not occur.
std::vector<std::string> search(const std::string& text, const std::string& pattern);

} // namespace test_regex
