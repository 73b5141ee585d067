// The one printf-style formatter of the whole tree. Arguments are checked against
// their conversions at run time (a mismatch raises fmt::format_error instead of
// reading garbage), "%s" takes narrow text in narrow formats and wide text in wide
// ones, and length modifiers follow the argument's real type. User text is always
// an argument, never the format.
#pragma once

#include <fmt/printf.h>
#include <fmt/xchar.h>

#include <string>
#include <string_view>

namespace plat {

template <class... Args>
std::string sprintf(std::string_view format, const Args&... args)
{
  return fmt::sprintf(format, args...);
}

template <class... Args>
std::wstring sprintf(std::wstring_view format, const Args&... args)
{
  return fmt::sprintf(format, args...);
}

} // namespace plat
