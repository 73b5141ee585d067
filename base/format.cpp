// printf-style expansion for the whole tree: the call sites hand over their
// arguments as fmt's type-erased list, and each argument is re-tagged for the
// printf context with the same type, so fmt's run-time checks and conversions
// apply exactly as if the call site had called fmt::sprintf itself.
#include "base/format.h"

#include <fmt/printf.h>
#include <fmt/xchar.h>

#include <array>
#include <cstddef>

namespace {

// More arguments than any format of ours takes; a call with more is refused.
constexpr std::size_t max_arguments = 32;

template <class Char>
using printf_context = fmt::basic_printf_context_t<Char>;

template <class Char>
struct to_printf_arg {
  using arg_type = fmt::basic_format_arg<printf_context<Char>>;

  template <class T>
  arg_type operator()(T value) const
  {
    // A one-argument list made for the printf context gives the argument the
    // tag that printf's conversions expect; texts stay views of the caller's data.
    return fmt::basic_format_args<printf_context<Char>>(
               fmt::make_format_args<printf_context<Char>>(value))
        .get(0);
  }
  arg_type operator()(fmt::monostate) const { return {}; }
  arg_type operator()(typename fmt::basic_format_arg<fmt::buffer_context<Char>>::handle) const
  {
    throw fmt::format_error("argument of a type printf cannot format");
  }
};

template <class Char>
std::basic_string<Char> expand(std::basic_string_view<Char> format,
                               fmt::basic_format_args<fmt::buffer_context<Char>> args)
{
  std::array<fmt::basic_format_arg<printf_context<Char>>, max_arguments> converted{};
  int count = 0;
  for (;; ++count) {
    const auto arg = args.get(count);
    if (!arg)
      break;
    if (static_cast<std::size_t>(count) == max_arguments)
      throw fmt::format_error("too many arguments");
    converted[static_cast<std::size_t>(count)] = fmt::visit_format_arg(to_printf_arg<Char>{}, arg);
  }
  return fmt::vsprintf(format,
                       fmt::basic_format_args<printf_context<Char>>(converted.data(), count));
}

} // namespace

namespace base {

std::string vsprintf(std::string_view format, fmt::format_args args)
{
  return expand(format, args);
}

std::wstring vsprintf(std::wstring_view format, wformat_args args)
{
  return expand(format, args);
}

} // namespace base
