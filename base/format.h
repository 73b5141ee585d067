// The one printf-style formatter of the whole tree. Arguments are checked against
// their conversions at run time (a mismatch raises fmt::format_error instead of
// reading garbage), "%s" takes narrow text in narrow formats and wide text in wide
// ones, and length modifiers follow the argument's real type. User text is always
// an argument, never the format.
//
// Only the light argument capture is inline: a call site builds a type-erased
// argument list, and the printf machinery is instantiated once, in format.cpp,
// so that no file that formats pays for compiling it.
#pragma once

#include <fmt/core.h>

#include <string>
#include <string_view>

namespace base {

using wformat_args = fmt::basic_format_args<fmt::buffer_context<wchar_t>>;

std::string vsprintf(std::string_view format, fmt::format_args args);
std::wstring vsprintf(std::wstring_view format, wformat_args args);

namespace format_detail {
template <class T>
constexpr const T& pass(const T& value)
{
  return value;
}
// fmt's light header does not take wchar_t as a character; a wide character
// travels as its code, which printf's "%c" turns back into the character.
constexpr int pass(wchar_t c)
{
  return static_cast<int>(c);
}
} // namespace format_detail

// The argument lists of a narrow and of a wide format. They refer to the
// arguments' own texts, so they live only as long as the call they are made for.
template <class... Args>
auto make_args(const Args&... args)
{
  return fmt::make_format_args(format_detail::pass(args)...);
}

template <class... Args>
auto make_wargs(const Args&... args)
{
  return fmt::make_format_args<fmt::buffer_context<wchar_t>>(format_detail::pass(args)...);
}

template <class... Args>
std::string sprintf(std::string_view format, const Args&... args)
{
  return vsprintf(format, make_args(args...));
}

template <class... Args>
std::wstring sprintf(std::wstring_view format, const Args&... args)
{
  return vsprintf(format, make_wargs(args...));
}

} // namespace base
