// The toolkit's small text operations. Replacing scans the original text once,
// left to right, so an inserted replacement is never searched again; trimming
// removes the blank (32) only, never tabs or line ends.
#include "TK/tk_string.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "platform/case_fold.h"

#include <string_view>

namespace {

// One pass over the text, building the result beside it: a replacement longer
// than its search text would otherwise move the tail once per occurrence.
template <class String>
void replace_every(String& text, const String& from, const String& to)
{
  if (from.empty())  // nothing to look for: the text stays as it is
    return;
  std::size_t found = text.find(from);
  if (found == String::npos)
    return;
  String result;
  result.reserve(text.size());
  std::size_t start = 0;
  while (found != String::npos) {
    result.append(text, start, found - start);
    result.append(to);
    start = found + from.size();
    found = text.find(from, start);
  }
  result.append(text, start, String::npos);
  text.swap(result);
}

template <class Char>
std::basic_string_view<Char> up_to_terminator(std::basic_string_view<Char> text)
{
  return text.substr(0, text.find(Char(0)));
}

template <class String>
String rtrim_blanks(const String& text)
{
  if (text.empty())
    return text;
  const std::size_t last = text.find_last_not_of(typename String::value_type(' '));
  if (last == String::npos)
    return String();
  return text.substr(0, last + 1);
}

template <class String>
String trim_leading_blanks(String text)
{
  const std::size_t first = text.find_first_not_of(typename String::value_type(' '));
  text.erase(0, first == String::npos ? text.size() : first);
  return text;
}

template <class Char>
void write_hex(unsigned count, const unsigned char* bytes, Char* out)
{
  static constexpr char digits[] = "0123456789ABCDEF";
  for (unsigned i = 0; i < count; ++i) {
    *out++ = static_cast<Char>(digits[bytes[i] >> 4]);
    *out++ = static_cast<Char>(digits[bytes[i] & 0x0F]);
  }
  *out = Char(0);
}

} // namespace

std::string tk_string::replace_all(const std::string& from, const std::string& to)
{
  tk_log_message(1, "tk_string::replace_all('%s','%s')", from, to);
  replace_every<std::string>(*this, from, to);
  return *this;
}

bool tk_string::compare_no_case(const std::string& a, const std::string& b)
{
  tk_log_message(1, "tk_string::compare_no_case");
  // Compared as the system compares C strings: up to the first terminator.
  return plat::equal_no_case(up_to_terminator(std::string_view(a)),
                             up_to_terminator(std::string_view(b)));
}

std::wstring tk_wstring::replace_all(const std::wstring& from, const std::wstring& to)
{
  tk_log_message(1, L"tk_wstring::replace_all(%s,%s)", from, to);
  replace_every<std::wstring>(*this, from, to);
  return *this;
}

std::wstring tk_wstring::to_lower()
{
  tk_log_message(1, L"tk_wstring::to_lower(%s)", static_cast<const std::wstring&>(*this));
  for (wchar_t& c : *this) {
    if (c >= L'A' && c <= L'Z')
      c = static_cast<wchar_t>(c + (L'a' - L'A'));
  }
  return *this;
}

bool tk_wstring_ends_with(const std::wstring& text, const std::wstring& suffix, bool exact)
{
  if (suffix.empty())
    return true;
  if (suffix.size() > text.size())
    return false;
  const std::size_t start = text.size() - suffix.size();
  if (exact)
    return text.compare(start, suffix.size(), suffix) == 0;
  const std::wstring_view tail = std::wstring_view(text).substr(start);
  return plat::equal_no_case(up_to_terminator(tail), up_to_terminator(std::wstring_view(suffix)));
}

std::string tk_rtrim(const std::string& text)
{
  std::string result = rtrim_blanks(text);
  if (result.empty() && !text.empty())
    tk_log_message(1, "Special processing for all-spaces-string");
  return result;
}

std::wstring tk_rtrim(const std::wstring& text)
{
  std::wstring result = rtrim_blanks(text);
  if (result.empty() && !text.empty())
    tk_log_message(1, L"Special processing for all-spaces-string");
  return result;
}

std::string tk_trim(const std::string& text)
{
  return trim_leading_blanks(tk_rtrim(text));
}

std::wstring tk_trim(const std::wstring& text)
{
  return trim_leading_blanks(tk_rtrim(text));
}

std::vector<std::string> tk_split(const std::string& text, char delimiter)
{
  std::vector<std::string> fields;
  const std::string_view rest = up_to_terminator(std::string_view(text));
  if (rest.empty())
    return fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = rest.find(delimiter, start);
    fields.emplace_back(rest.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos)
      return fields;
    start = end + 1;
  }
}

void tk_bytes_to_hex(unsigned count, const unsigned char* bytes, char* out)
{
  if (out == nullptr || (bytes == nullptr && count != 0))
    throw tk_mail_assertion("tk_utils", 903);
  write_hex(count, bytes, out);
}

void tk_bytes_to_hex(unsigned count, const unsigned char* bytes, wchar_t* out)
{
  if (out == nullptr || (bytes == nullptr && count != 0))
    throw tk_mail_assertion("tk_utils", 917);
  write_hex(count, bytes, out);
}
