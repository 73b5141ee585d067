// The command-line cursor. Matching is case-sensitive and needs no separator:
// an argument belongs to the first option, in table order, that it starts with.
#include "qvtbatch/tk_cmdli.h"

#include "TK/tk_exception.h"

#include <cstring>

namespace {

// Where the cursor's internal errors point: a step past the last argument, a
// read of the current argument when there is none, a kept argument out of range.
constexpr int line_next_past_end = 40;
constexpr int line_no_current = 41;
constexpr int line_unknown_index = 42;

} // namespace

void TCmdLine::require_current() const
{
  if (!has_more())
    throw tk_mail_assertion("tk_cmdli", line_no_current);
}

ansi_cmd_line::ansi_cmd_line(int argc, const char* const* argv, const tk_cmd_option* table)
    : table_(table), cursor_(argc > 0 ? argv + 1 : argv), remaining_(argc > 0 ? argc - 1 : 0)
{
  if (has_more())
    parse_current(*cursor_);
}

void ansi_cmd_line::next()
{
  if (!has_more())
    throw tk_mail_assertion("tk_cmdli", line_next_past_end);
  ++cursor_;
  --remaining_;
  if (has_more())
    parse_current(*cursor_);
}

const char* ansi_cmd_line::get_unknown(std::uint32_t i) const
{
  if (i >= max_unknown || i >= unknown_count_)
    throw tk_mail_assertion("tk_cmdli", line_unknown_index);
  return unknown_[i];
}

void ansi_cmd_line::parse_current(const char* argument)
{
  require_current();
  const tk_cmd_option* option = table_;
  const std::size_t length = std::strlen(argument);
  for (; option->prefix[0] != '\0'; ++option) {
    const std::size_t prefix_length = std::strlen(option->prefix);
    if (prefix_length <= length && std::memcmp(argument, option->prefix, prefix_length) == 0)
      break;
  }
  value_ = argument + std::strlen(option->prefix);
  if (option->prefix[0] != '\0') {
    id_ = option->id;
    return;
  }
  id_ = -1;
  // Past the kept ones an unrecognised argument is only counted: the usage text
  // is the answer however many there are.
  if (unknown_count_ < max_unknown)
    unknown_[unknown_count_] = argument;
  ++unknown_count_;
}
