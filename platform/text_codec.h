// UTF-8 and wide text, the stand-in for the system's code-page conversions: the
// "ANSI code page" is UTF-8 whatever the locale, and wide text holds one Unicode
// code point per wchar_t. Decoding is strict; encoding never fails (a lone
// surrogate or an out-of-range value becomes U+FFFD, as the system's encoder does).
// Excel's limits count UTF-16 code units, so the UTF-16 measures live here too.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace plat {

// Writes the UTF-8 form of one code point (1 to 4 bytes; a surrogate or a value
// above U+10FFFF as U+FFFD) and returns the end of what it wrote. The form for
// writers that fill a buffer of their own; `out` must have room for 4 bytes.
inline char* put_utf8(char* out, char32_t cp)
{
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
    cp = 0xFFFD;
  if (cp < 0x80) {
    *out++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out++ = static_cast<char>(0xC0 | (cp >> 6));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (cp >> 12));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (cp >> 18));
    *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

// Appends the UTF-8 form of one code point.
void append_utf8(std::string& out, char32_t code_point);

// Whole-text conversions; sizes follow the result. utf8_to_wide returns false
// (and leaves out unspecified) on an invalid byte sequence: a stray continuation
// byte, an overlong form, an encoded surrogate, a value above U+10FFFF or a
// sequence cut short.
bool utf8_to_wide(std::string_view in, std::wstring& out);
// The system's decoder without its strict flag: every invalid byte becomes
// U+FFFD and the rest of the text is kept, so a value with one bad byte is not
// lost whole.
void utf8_to_wide_lenient(std::string_view in, std::wstring& out);
void wide_to_utf8(std::wstring_view in, std::string& out);
std::string to_utf8(std::wstring_view in);

// The UTF-8 text as a console line may show it: every control character (C0,
// DEL, C1) becomes a visible escape ("\t", "\n", "\r", else "\x1b" by its code
// point) and every byte that is not UTF-8 becomes "\xNN", so that a name from a
// file or a server can neither drive the terminal nor break the line.
std::string terminal_safe(std::string_view utf8);
std::string terminal_safe(std::wstring_view text);

// Number of UTF-16 code units the text needs (a character above U+FFFF counts 2).
std::size_t utf16_length(std::wstring_view text);

// How many characters of the text fit in max_units UTF-16 code units; a
// character is never split. utf16_truncate is that prefix as a new text.
std::size_t utf16_prefix(std::wstring_view text, std::size_t max_units);
std::wstring utf16_truncate(std::wstring_view text, std::size_t max_units);
// How many bytes of the UTF-8 text decode (as utf8_to_wide_lenient does) into
// characters that fit in max_units UTF-16 code units; a sequence is never split,
// so the prefix decodes to exactly the first characters of the whole text.
std::size_t utf8_prefix(std::string_view text, std::size_t max_units);

// Orders texts as their UTF-16 forms compare unit by unit, the order of the
// system's sorted name lists: characters above U+FFFF (surrogate pairs) come
// before U+E000..U+FFFF.
struct utf16_less {
  bool operator()(std::wstring_view a, std::wstring_view b) const;
};

// UTF-16 code units, for formats that store them (BIFF8 strings, compound-file
// names). from_utf16 turns an unpaired surrogate into U+FFFD.
std::u16string to_utf16(std::wstring_view text);
std::wstring from_utf16(std::u16string_view text);

} // namespace plat
