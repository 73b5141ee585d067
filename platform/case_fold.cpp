// Case folding through the C library's C.UTF-8 character classes, held in one
// locale object of our own, so that neither setlocale nor the user's LANG can
// change which names are equal.
#include "platform/case_fold.h"

#include "platform/text_codec.h"
#include "platform/unicode_locale.h"

#include <locale.h>
#include <string>
#include <wctype.h>

namespace plat {

namespace {

locale_t utf8_locale() { return unicode_ctype_locale(); }

int sign(char32_t a, char32_t b) { return a < b ? -1 : 1; }

// A byte that starts no valid UTF-8 sequence stands for itself as a lone low
// surrogate, which no real character folds to: texts that are not UTF-8 still
// compare position by position, so the order stays a strict weak order.
constexpr char32_t stray_byte_base = 0xDC00;

std::size_t sequence_length(unsigned char lead)
{
  if (lead >= 0xC2 && lead <= 0xDF)
    return 2;
  if (lead >= 0xE0 && lead <= 0xEF)
    return 3;
  if (lead >= 0xF0 && lead <= 0xF4)
    return 4;
  return 1;
}

// The folded character at pos, advancing past it; the codec judges validity.
char32_t next_folded(std::string_view text, std::size_t& pos, std::wstring& scratch)
{
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80) {
    ++pos;
    return fold_case(lead);
  }
  const std::size_t length = sequence_length(lead);
  if (length > 1 && utf8_to_wide(text.substr(pos, length), scratch) && scratch.size() == 1) {
    pos += length;
    return fold_case(static_cast<char32_t>(scratch[0]));
  }
  ++pos;
  return stray_byte_base + lead;
}

} // namespace

char32_t fold_case(char32_t c)
{
  if (c < 0x80)
    return (c >= U'A' && c <= U'Z') ? c + (U'a' - U'A') : c;
  // Upper then lower joins the letters that have several lower forms (σ ς,
  // µ μ, ſ s); the Turkic dotted and dotless i stay apart from i, as in
  // Unicode's own folding, instead of all four becoming one letter.
  if (c == 0x130 || c == 0x131 || (c >= 0xD800 && c <= 0xDFFF))
    return c;
  const locale_t locale = utf8_locale();
  if (locale == nullptr)
    return c;
  const wint_t upper = ::towupper_l(static_cast<wint_t>(c), locale);
  return static_cast<char32_t>(::towlower_l(upper, locale));
}

int compare_no_case(std::wstring_view a, std::wstring_view b)
{
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] == b[i])
      continue;
    const char32_t fa = fold_case(static_cast<char32_t>(a[i]));
    const char32_t fb = fold_case(static_cast<char32_t>(b[i]));
    if (fa != fb)
      return sign(fa, fb);
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool equal_no_case(std::wstring_view a, std::wstring_view b)
{
  return a.size() == b.size() && compare_no_case(a, b) == 0;
}

int compare_no_case(std::string_view a, std::string_view b)
{
  std::wstring scratch;  // one decoded character at a time, reused
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    const char32_t fa = next_folded(a, i, scratch);
    const char32_t fb = next_folded(b, j, scratch);
    if (fa != fb)
      return sign(fa, fb);
  }
  if (i == a.size())
    return j == b.size() ? 0 : -1;
  return 1;
}

bool equal_no_case(std::string_view a, std::string_view b)
{
  return compare_no_case(a, b) == 0;
}

} // namespace plat
