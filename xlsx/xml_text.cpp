// One rule table serves both text widths and every destination: runs of bytes
// that need nothing are copied whole, so plain ASCII text costs one table look-up
// per byte and no allocation.
#include "xlsx/xml_text.h"

#include "xlsx/xlsx_file_writer.h"

#include <algorithm>
#include <array>

namespace XlsxBook {

namespace {

// What an ASCII character becomes: empty when it is copied as it is.
struct AsciiRule {
  std::array<std::string_view, 128> content{};
  std::array<std::string_view, 128> attribute{};
};

constexpr AsciiRule kRules = [] {
  AsciiRule r;  // the controls XML forbids stay empty: they stop a run and write nothing
  const struct {
    char c;
    std::string_view entity;
  } markup[] = {{'&', "&amp;"}, {'"', "&quot;"}, {'\'', "&#39;"}, {'/', "&#47;"},
                {'<', "&lt;"},  {'>', "&gt;"},   {'\\', "&#92;"}, {'\r', "&#13;"}};
  for (const auto& m : markup)
    r.content[static_cast<unsigned char>(m.c)] = r.attribute[static_cast<unsigned char>(m.c)] =
        m.entity;
  r.attribute['\t'] = "&#9;";
  r.attribute['\n'] = "&#10;";
  return r;
}();

// Bytes that stop a plain run: markup, controls, "_" and every non-ASCII byte.
constexpr std::array<bool, 256> kStops = [] {
  std::array<bool, 256> t{};
  for (std::size_t c = 0; c < 256; ++c)
    t[c] = c < 0x20 || c >= 0x80 || !kRules.content[c].empty() || c == '_';
  t['\t'] = t['\n'] = false;  // plain in content; the attribute table is checked too
  return t;
}();

constexpr bool IsHex(char32_t c)
{
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

constexpr bool IsAttribute(XmlTextUse use)
{
  return use == XmlTextUse::kAttribute || use == XmlTextUse::kSheetName;
}

// Whether readers of the destination decode _xHHHH_ sequences.
constexpr bool DecodesEscapes(XmlTextUse use)
{
  return use == XmlTextUse::kContent || use == XmlTextUse::kSheetName;
}

// Whether position i of the text starts a literal _xHHHH_.
template <class Char>
bool StartsEscapePattern(std::basic_string_view<Char> text, std::size_t i)
{
  if (i + 6 >= text.size() || text[i + 1] != Char('x') || text[i + 6] != Char('_'))
    return false;
  for (std::size_t k = 2; k < 6; ++k)
    if (!IsHex(static_cast<char32_t>(text[i + k])))
      return false;
  return true;
}

// The length of a well-formed UTF-8 sequence at i that holds a character XML
// allows, or 0 (the lead byte is then dropped and the next byte tried).
std::size_t AllowedSequence(std::string_view s, std::size_t i)
{
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
  const auto cont = [&](std::size_t k) { return i + k < s.size() && (b(k) & 0xC0) == 0x80; };
  const unsigned char lead = b(0);
  char32_t cp = 0;
  std::size_t n = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    n = 2;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    n = 3;
    cp = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    n = 4;
    cp = lead & 0x07;
  } else {
    return 0;
  }
  for (std::size_t k = 1; k < n; ++k) {
    if (!cont(k))
      return 0;
    cp = (cp << 6) | (b(k) & 0x3F);
  }
  const char32_t least = n == 2 ? 0x80 : n == 3 ? 0x800 : 0x10000;
  return cp >= least && IsXmlChar(cp) ? n : 0;
}

struct StringSink {
  std::string& out;
  void Write(std::string_view bytes) { out.append(bytes); }
};

template <class Sink>
void EscapeNarrow(Sink& out, std::string_view s, XmlTextUse use)
{
  const auto& rules = IsAttribute(use) ? kRules.attribute : kRules.content;
  const bool decodes = DecodesEscapes(use);
  std::size_t run = 0;
  std::size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (!kStops[c] && rules[c].empty()) {
      ++i;
      continue;
    }
    if (c >= 0x80) {
      const std::size_t n = AllowedSequence(s, i);
      if (n != 0) {
        i += n;
        continue;
      }
    } else if (c == '_' && (!decodes || !StartsEscapePattern(s, i))) {
      ++i;
      continue;
    }
    out.Write(s.substr(run, i - run));
    if (c == '_')
      out.Write("_x005F");
    else if (c < 0x80)
      out.Write(rules[c]);
    run = i + (c == '_' ? 0 : 1);
    ++i;
  }
  out.Write(s.substr(run));
}

} // namespace

void WriteXmlText(CFileWriter& out, std::string_view utf8, XmlTextUse use)
{
  EscapeNarrow(out, utf8, use);
}

void AppendXmlText(std::string& out, std::string_view utf8, XmlTextUse use)
{
  StringSink sink{out};
  EscapeNarrow(sink, utf8, use);
}

void AppendXmlText(std::wstring& out, std::wstring_view text, XmlTextUse use)
{
  const auto& rules = IsAttribute(use) ? kRules.attribute : kRules.content;
  const bool decodes = DecodesEscapes(use);
  out.reserve(out.size() + text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto cp = static_cast<char32_t>(text[i]);
    if (cp < 0x80 && !rules[cp].empty()) {
      for (const char e : rules[cp])
        out += static_cast<wchar_t>(e);
    } else if (cp == U'_' && decodes && StartsEscapePattern(text, i)) {
      out += L"_x005F_";
    } else if (IsXmlChar(cp)) {
      out += text[i];
    }
  }
}

std::wstring XmlText(std::wstring_view text, XmlTextUse use)
{
  std::wstring out;
  AppendXmlText(out, text, use);
  return out;
}

bool HasXmlText(std::wstring_view text)
{
  return std::any_of(text.begin(), text.end(),
                     [](wchar_t c) { return IsXmlChar(static_cast<char32_t>(c)); });
}

bool NeedsSpacePreserve(std::string_view utf8)
{
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  return !utf8.empty() && (blank(utf8.front()) || blank(utf8.back()));
}

bool NeedsSpacePreserve(std::wstring_view text)
{
  const auto blank = [](wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r'; };
  return !text.empty() && (blank(text.front()) || blank(text.back()));
}

} // namespace XlsxBook
