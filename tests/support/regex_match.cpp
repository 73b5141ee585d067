#include "support/regex_match.h"

#include <regex>

namespace test_regex {

bool matches(const std::string& text, const std::string& pattern)
{
  return std::regex_match(text, std::regex(pattern));
}

std::vector<std::string> search(const std::string& text, const std::string& pattern)
{
  std::smatch match;
  if (!std::regex_search(text, match, std::regex(pattern)))
    return {};
  return std::vector<std::string>(match.begin(), match.end());
}

} // namespace test_regex
