// Conversions between wide text and its narrow encodings, where the "ANSI code
// page" is UTF-8: every result is sized by its real length, and the std::string
// forms stop at the first terminator, as the system's C-string conversions do.
#include "TK/tk_codepage.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "platform/text_codec.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>

namespace {

constexpr std::uint32_t cp_acp = 0;
constexpr std::uint32_t cp_thread_acp = 3;
constexpr std::uint32_t cp_utf8 = 65001;

template <class Char>
std::basic_string_view<Char> up_to_terminator(const std::basic_string<Char>& text)
{
  const std::basic_string_view<Char> view(text);
  return view.substr(0, view.find(Char(0)));
}

// A malloc'd copy of the text with its terminator, for callers that free() it.
template <class Char>
Char* malloc_copy(const std::basic_string<Char>& text)
{
  const std::size_t bytes = (text.size() + 1) * sizeof(Char);
  void* block = std::malloc(bytes);
  if (block != nullptr)
    std::memcpy(block, text.c_str(), bytes);
  return static_cast<Char*>(block);
}

} // namespace

bool tk_ansi_to_unicode(const char* text, wchar_t*& out)
{
  if (text == nullptr)
    return false;
  std::wstring wide;
  if (!plat::utf8_to_wide(text, wide))
    return false;
  wchar_t* buffer = malloc_copy(wide);
  if (buffer == nullptr)
    return false;
  std::free(out);
  out = buffer;
  return true;
}

bool tk_unicode_to_ansi1(const wchar_t* text, char* out, std::size_t out_size)
{
  tk_log_message(1, "tk_unicode_to_ansi1");
  if (text == nullptr || out == nullptr || out_size == 0)
    return false;
  const std::wstring_view wide(text);
  tk_log_message(1, "n_ansi=%d, n_unicode=%d", out_size, wide.size() + 1);
  const std::string narrow = plat::to_utf8(wide);
  if (narrow.size() >= out_size) {
    out[0] = '\0';  // a caller that ignores the result reads an empty text, not stale bytes
    return false;
  }
  std::memcpy(out, narrow.c_str(), narrow.size() + 1);
  return true;
}

bool tk_unicode_to_ansi2(const wchar_t* text, char*& out)
{
  tk_log_message(1, "tk_unicode_to_ansi2");
  if (text == nullptr)
    return false;
  char* buffer = malloc_copy(plat::to_utf8(text));
  if (buffer == nullptr)
    return false;
  std::free(out);
  out = buffer;
  return true;
}

bool tk_unicode_to_ansi3(const wchar_t* text, std::string& out)
{
  bool converted = false;
  if (text != nullptr) {
    plat::wide_to_utf8(text, out);
    converted = !out.empty();
  }
  tk_log_message(1, converted ? "tk_unicode_to_ansi3 - return true"
                              : "tk_unicode_to_ansi3 - return false");
  return converted;
}

std::string tk_wstring_to_ansi(const std::wstring& text, std::uint32_t code_page)
{
  switch (code_page) {
  case tk_cp_acp:
  case cp_acp:
  case cp_thread_acp:
  case cp_utf8:
    return tk_wstring_to_utf8(text);
  default:  // the system passes no other code page
    throw tk_mail_assertion("tk_utils", 861);
  }
}

// Encoding cannot fail: a value that is no character (a lone surrogate) is
// written as U+FFFD, as the system's encoder does.
std::string tk_wstring_to_utf8(const std::wstring& text)
{
  std::string narrow;
  plat::wide_to_utf8(up_to_terminator(text), narrow);
  return narrow;
}

std::wstring tk_utf8_to_wstring(const std::string& text)
{
  std::optional<std::wstring> wide = tk_try_ansi_to_wstring(text);
  if (!wide) {
    errno = EILSEQ;
    throw tk_exception_ex("Cannot convert to UNICODE string: ", tk_level_recoverable);
  }
  return std::move(*wide);
}

// The ANSI code page is UTF-8, so its text decodes, and fails, as UTF-8 does.
std::wstring tk_ansi_to_wstring(const std::string& text)
{
  return tk_utf8_to_wstring(text);
}

std::optional<std::wstring> tk_try_ansi_to_wstring(const std::string& text)
{
  std::wstring wide;
  if (!plat::utf8_to_wide(up_to_terminator(text), wide))
    return std::nullopt;
  return wide;
}
