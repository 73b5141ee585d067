// UTF-8 / UTF-32 / UTF-16 codec written by hand: no locale, no iconv, so results do
// not depend on the environment the program runs in.
#include "platform/text_codec.h"

#include <algorithm>

namespace plat {

namespace {

constexpr char32_t replacement = 0xFFFD;

bool is_surrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

char32_t sanitize(wchar_t c)
{
  const auto cp = static_cast<char32_t>(c);
  return (is_surrogate(cp) || cp > 0x10FFFF) ? replacement : cp;
}

} // namespace

void append_utf8(std::string& out, char32_t cp)
{
  char bytes[4];
  out.append(bytes, put_utf8(bytes, cp));
}

namespace {

// Decodes one sequence at p; returns its length, or 0 when it is invalid.
std::size_t decode_one(const unsigned char* p, const unsigned char* end, char32_t& cp)
{
  const unsigned char b0 = *p;
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  std::size_t extra;
  char32_t min;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    extra = 1; cp = b0 & 0x1Fu; min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    extra = 2; cp = b0 & 0x0Fu; min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    extra = 3; cp = b0 & 0x07u; min = 0x10000;
  } else {
    return 0;
  }
  if (static_cast<std::size_t>(end - p) <= extra)
    return 0;
  for (std::size_t i = 1; i <= extra; ++i) {
    const unsigned char b = p[i];
    if ((b & 0xC0) != 0x80)
      return 0;
    cp = (cp << 6) | (b & 0x3Fu);
  }
  if (cp < min || cp > 0x10FFFF || is_surrogate(cp))
    return 0;
  return extra + 1;
}

} // namespace

void utf8_to_wide_lenient(std::string_view in, std::wstring& out)
{
  out.clear();
  out.reserve(in.size());
  const auto* p = reinterpret_cast<const unsigned char*>(in.data());
  const auto* const end = p + in.size();
  while (p < end) {
    char32_t cp = 0;
    const std::size_t length = decode_one(p, end, cp);
    if (length == 0) {
      out.push_back(static_cast<wchar_t>(replacement));
      ++p;
    } else {
      out.push_back(static_cast<wchar_t>(cp));
      p += length;
    }
  }
}

bool utf8_to_wide(std::string_view in, std::wstring& out)
{
  out.clear();
  out.reserve(in.size());
  const auto* p = reinterpret_cast<const unsigned char*>(in.data());
  const auto* const end = p + in.size();
  while (p < end) {
    char32_t cp = 0;
    const std::size_t length = decode_one(p, end, cp);
    if (length == 0)
      return false;
    out.push_back(static_cast<wchar_t>(cp));
    p += length;
  }
  return true;
}

std::string terminal_safe(std::string_view utf8)
{
  static constexpr char hex[] = "0123456789abcdef";
  const auto escape = [](std::string& out, unsigned value) {
    const char text[] = {'\\', 'x', hex[(value >> 4) & 0xF], hex[value & 0xF]};
    out.append(text, sizeof text);
  };
  std::string out;
  out.reserve(utf8.size());
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const auto* const end = p + utf8.size();
  while (p < end) {
    char32_t cp = 0;
    const std::size_t length = decode_one(p, end, cp);
    if (length == 0) {
      escape(out, *p++);
      continue;
    }
    if (cp == U'\t')
      out += "\\t";
    else if (cp == U'\n')
      out += "\\n";
    else if (cp == U'\r')
      out += "\\r";
    else if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F))
      escape(out, static_cast<unsigned>(cp));
    else
      out.append(reinterpret_cast<const char*>(p), length);
    p += length;
  }
  return out;
}

std::string terminal_safe(std::wstring_view text)
{
  return terminal_safe(to_utf8(text));
}

void wide_to_utf8(std::wstring_view in, std::string& out)
{
  out.clear();
  out.reserve(in.size());
  for (const wchar_t c : in)
    append_utf8(out, sanitize(c));
}

std::string to_utf8(std::wstring_view in)
{
  std::string out;
  wide_to_utf8(in, out);
  return out;
}

std::size_t utf16_length(std::wstring_view text)
{
  std::size_t units = 0;
  for (const wchar_t c : text)
    units += sanitize(c) > 0xFFFF ? 2u : 1u;
  return units;
}

std::size_t utf16_prefix(std::wstring_view text, std::size_t max_units)
{
  // No character takes more than two units.
  if (text.size() <= max_units / 2)
    return text.size();
  std::size_t units = 0;
  std::size_t keep = 0;
  for (const wchar_t c : text) {
    const std::size_t width = sanitize(c) > 0xFFFF ? 2u : 1u;
    if (units + width > max_units)
      break;
    units += width;
    ++keep;
  }
  return keep;
}

std::size_t utf8_prefix(std::string_view text, std::size_t max_units)
{
  // No UTF-16 unit comes from fewer than one byte.
  if (text.size() <= max_units)
    return text.size();
  const auto* const begin = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = begin + text.size();
  const auto* p = begin;
  std::size_t units = 0;
  while (p < end) {
    char32_t cp = 0;
    const std::size_t length = decode_one(p, end, cp);
    const std::size_t width = length != 0 && cp > 0xFFFF ? 2u : 1u;
    if (units + width > max_units)
      break;
    units += width;
    p += length != 0 ? length : 1;
  }
  return static_cast<std::size_t>(p - begin);
}

std::wstring utf16_truncate(std::wstring_view text, std::size_t max_units)
{
  return std::wstring(text.substr(0, utf16_prefix(text, max_units)));
}

bool utf16_less::operator()(std::wstring_view a, std::wstring_view b) const
{
  // The first unit of a pair is below U+E000, so every such character moves
  // above the BMP's top range.
  const auto rank = [](wchar_t c) {
    const auto u = static_cast<char32_t>(c);
    return u >= 0xE000 && u <= 0xFFFF ? u + 0x110000 : u;
  };
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [&rank](wchar_t x, wchar_t y) { return rank(x) < rank(y); });
}

std::u16string to_utf16(std::wstring_view text)
{
  std::u16string out;
  out.reserve(text.size());
  for (const wchar_t c : text) {
    const char32_t cp = sanitize(c);
    if (cp > 0xFFFF) {
      const char32_t v = cp - 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::wstring from_utf16(std::u16string_view text)
{
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      const char32_t cp = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) +
                          (static_cast<char32_t>(text[i + 1]) - 0xDC00);
      out.push_back(static_cast<wchar_t>(cp));
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      out.push_back(static_cast<wchar_t>(replacement));
    } else {
      out.push_back(static_cast<wchar_t>(u));
    }
  }
  return out;
}

} // namespace plat
