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

// Number of UTF-16 code units the text needs (a character above U+FFFF counts 2).
std::size_t utf16_length(std::wstring_view text);

// The longest prefix of the text that fits in max_units UTF-16 code units; a
// character is never split.
std::wstring utf16_truncate(std::wstring_view text, std::size_t max_units);

// UTF-16 code units, for formats that store them (BIFF8 strings, compound-file
// names). from_utf16 turns an unpaired surrogate into U+FFFD.
std::u16string to_utf16(std::wstring_view text);
std::wstring from_utf16(std::u16string_view text);

} // namespace plat
