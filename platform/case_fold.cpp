// Case folding through the C library's C.UTF-8 character classes, held in one
// locale object of our own, so that neither setlocale nor the user's LANG can
// change which names are equal; a table of our own adds the full foldings the
// C library lacks (a letter that folds to several).
#include "platform/case_fold.h"

#include "platform/text_codec.h"
#include "platform/unicode_locale.h"

#include <algorithm>
#include <array>
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

// The characters whose full case folding is longer than one character
// (Unicode's CaseFolding status F), by code point.
struct full_fold {
  char32_t code_point;
  const char32_t* folded;
};
constexpr full_fold full_folds[] = {
    {0x00DF, U"ss"}, {0x0130, U"i\u0307"}, {0x0149, U"\u02BCn"}, {0x01F0, U"j\u030C"},
    {0x0390, U"\u03B9\u0308\u0301"}, {0x03B0, U"\u03C5\u0308\u0301"}, {0x0587, U"\u0565\u0582"},
    {0x1E96, U"h\u0331"}, {0x1E97, U"t\u0308"}, {0x1E98, U"w\u030A"}, {0x1E99, U"y\u030A"},
    {0x1E9A, U"a\u02BE"}, {0x1E9E, U"ss"}, {0x1F50, U"\u03C5\u0313"},
    {0x1F52, U"\u03C5\u0313\u0300"}, {0x1F54, U"\u03C5\u0313\u0301"},
    {0x1F56, U"\u03C5\u0313\u0342"}, {0x1F80, U"\u1F00\u03B9"}, {0x1F81, U"\u1F01\u03B9"},
    {0x1F82, U"\u1F02\u03B9"}, {0x1F83, U"\u1F03\u03B9"}, {0x1F84, U"\u1F04\u03B9"},
    {0x1F85, U"\u1F05\u03B9"}, {0x1F86, U"\u1F06\u03B9"}, {0x1F87, U"\u1F07\u03B9"},
    {0x1F88, U"\u1F00\u03B9"}, {0x1F89, U"\u1F01\u03B9"}, {0x1F8A, U"\u1F02\u03B9"},
    {0x1F8B, U"\u1F03\u03B9"}, {0x1F8C, U"\u1F04\u03B9"}, {0x1F8D, U"\u1F05\u03B9"},
    {0x1F8E, U"\u1F06\u03B9"}, {0x1F8F, U"\u1F07\u03B9"}, {0x1F90, U"\u1F20\u03B9"},
    {0x1F91, U"\u1F21\u03B9"}, {0x1F92, U"\u1F22\u03B9"}, {0x1F93, U"\u1F23\u03B9"},
    {0x1F94, U"\u1F24\u03B9"}, {0x1F95, U"\u1F25\u03B9"}, {0x1F96, U"\u1F26\u03B9"},
    {0x1F97, U"\u1F27\u03B9"}, {0x1F98, U"\u1F20\u03B9"}, {0x1F99, U"\u1F21\u03B9"},
    {0x1F9A, U"\u1F22\u03B9"}, {0x1F9B, U"\u1F23\u03B9"}, {0x1F9C, U"\u1F24\u03B9"},
    {0x1F9D, U"\u1F25\u03B9"}, {0x1F9E, U"\u1F26\u03B9"}, {0x1F9F, U"\u1F27\u03B9"},
    {0x1FA0, U"\u1F60\u03B9"}, {0x1FA1, U"\u1F61\u03B9"}, {0x1FA2, U"\u1F62\u03B9"},
    {0x1FA3, U"\u1F63\u03B9"}, {0x1FA4, U"\u1F64\u03B9"}, {0x1FA5, U"\u1F65\u03B9"},
    {0x1FA6, U"\u1F66\u03B9"}, {0x1FA7, U"\u1F67\u03B9"}, {0x1FA8, U"\u1F60\u03B9"},
    {0x1FA9, U"\u1F61\u03B9"}, {0x1FAA, U"\u1F62\u03B9"}, {0x1FAB, U"\u1F63\u03B9"},
    {0x1FAC, U"\u1F64\u03B9"}, {0x1FAD, U"\u1F65\u03B9"}, {0x1FAE, U"\u1F66\u03B9"},
    {0x1FAF, U"\u1F67\u03B9"}, {0x1FB2, U"\u1F70\u03B9"}, {0x1FB3, U"\u03B1\u03B9"},
    {0x1FB4, U"\u03AC\u03B9"}, {0x1FB6, U"\u03B1\u0342"}, {0x1FB7, U"\u03B1\u0342\u03B9"},
    {0x1FBC, U"\u03B1\u03B9"}, {0x1FC2, U"\u1F74\u03B9"}, {0x1FC3, U"\u03B7\u03B9"},
    {0x1FC4, U"\u03AE\u03B9"}, {0x1FC6, U"\u03B7\u0342"}, {0x1FC7, U"\u03B7\u0342\u03B9"},
    {0x1FCC, U"\u03B7\u03B9"}, {0x1FD2, U"\u03B9\u0308\u0300"}, {0x1FD3, U"\u03B9\u0308\u0301"},
    {0x1FD6, U"\u03B9\u0342"}, {0x1FD7, U"\u03B9\u0308\u0342"}, {0x1FE2, U"\u03C5\u0308\u0300"},
    {0x1FE3, U"\u03C5\u0308\u0301"}, {0x1FE4, U"\u03C1\u0313"}, {0x1FE6, U"\u03C5\u0342"},
    {0x1FE7, U"\u03C5\u0308\u0342"}, {0x1FF2, U"\u1F7C\u03B9"}, {0x1FF3, U"\u03C9\u03B9"},
    {0x1FF4, U"\u03CE\u03B9"}, {0x1FF6, U"\u03C9\u0342"}, {0x1FF7, U"\u03C9\u0342\u03B9"},
    {0x1FFC, U"\u03C9\u03B9"}, {0xFB00, U"ff"}, {0xFB01, U"fi"}, {0xFB02, U"fl"}, {0xFB03, U"ffi"},
    {0xFB04, U"ffl"}, {0xFB05, U"st"}, {0xFB06, U"st"}, {0xFB13, U"\u0574\u0576"},
    {0xFB14, U"\u0574\u0565"}, {0xFB15, U"\u0574\u056B"}, {0xFB16, U"\u057E\u0576"},
    {0xFB17, U"\u0574\u056D"}
};

constexpr bool ascending(const full_fold* first, const full_fold* last)
{
  for (const full_fold* f = first; f + 1 < last; ++f)
    if (f->code_point >= f[1].code_point)
      return false;
  return true;
}
static_assert(ascending(std::begin(full_folds), std::end(full_folds)), "searched by halving");

const char32_t* full_fold_of(char32_t c)
{
  const auto* end = std::end(full_folds);
  const auto* at = std::lower_bound(std::begin(full_folds), end, c,
                                    [](const full_fold& f, char32_t x) { return f.code_point < x; });
  return at != end && at->code_point == c ? at->folded : nullptr;
}

// One character under the simple case mappings by which readers hold names
// equal; each maps one character to one.
enum class mapping { upper, lower };

char32_t mapped(char32_t c, mapping how)
{
  const locale_t locale = utf8_locale();
  if (locale == nullptr || (c >= 0xD800 && c <= 0xDFFF)) {
    // Without the character classes only A to Z have cases.
    const char32_t from = how == mapping::upper ? U'a' : U'A';
    const char32_t to = how == mapping::upper ? U'A' : U'a';
    return c >= from && c < from + 26 ? c - from + to : c;
  }
  return static_cast<char32_t>(how == mapping::upper ? ::towupper_l(static_cast<wint_t>(c), locale)
                                                     : ::towlower_l(static_cast<wint_t>(c), locale));
}

bool equal_mapped(std::wstring_view a, std::wstring_view b, mapping how)
{
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && mapped(static_cast<char32_t>(a[i]), how) != mapped(static_cast<char32_t>(b[i]), how))
      return false;
  return true;
}

bool has_full_fold(std::wstring_view text)
{
  return std::any_of(text.begin(), text.end(),
                     [](wchar_t c) { return full_fold_of(static_cast<char32_t>(c)) != nullptr; });
}

std::u32string full_folded(std::wstring_view text)
{
  std::u32string out;
  out.reserve(text.size());
  for (const wchar_t w : text) {
    const auto c = static_cast<char32_t>(w);
    if (const char32_t* folded = full_fold_of(c))
      out += folded;
    else
      out += fold_case(c);
  }
  return out;
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

bool equal_in_any_case(std::wstring_view a, std::wstring_view b)
{
  if (a == b || equal_mapped(a, b, mapping::upper) || equal_mapped(a, b, mapping::lower))
    return true;
  // Full folding differs from the simple one only where a letter becomes several.
  if (!has_full_fold(a) && !has_full_fold(b))
    return equal_no_case(a, b);
  return full_folded(a) == full_folded(b);
}

} // namespace plat
