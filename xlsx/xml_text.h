// The one place where outside text becomes XML text in the package: the
// character filter, escaping for element content and for attribute values, and
// the xml:space test. Whatever it writes is well-formed and reads back as the
// text it was given, less the characters XML 1.0 cannot hold.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace XlsxBook {

class CFileWriter;

// Whether XML 1.0 can hold the code point: tab, line feed, carriage return and
// everything from U+0020 except the surrogates, U+FFFE, U+FFFF and values past
// U+10FFFF. Every other character is dropped wherever text enters the package.
constexpr bool IsXmlChar(char32_t cp)
{
  if (cp < 0x20)
    return cp == 0x09 || cp == 0x0A || cp == 0x0D;
  if (cp < 0xD800)
    return true;
  if (cp < 0xE000)
    return false;
  if (cp == 0xFFFE || cp == 0xFFFF)
    return false;
  return cp <= 0x10FFFF;
}

// Where the text goes. Every form writes & " ' / < > \ as &amp; &quot; &#39; &#47;
// &lt; &gt; &#92; and a carriage return as &#13; (a parser turns a literal one
// into a line feed). An attribute value also gets tab and line feed as &#9; and
// &#10;, which attribute normalisation would otherwise turn into spaces. Where
// readers decode _xHHHH_ (cell and comment texts, and the sheet names of the
// workbook part), the "_" that starts a literal one becomes _x005F_; everywhere
// else (chart titles, series names, range formulas, format codes) the text is
// read as written and keeps it.
enum class XmlTextUse : std::uint32_t {
  kContent = 0,         // element content whose _xHHHH_ readers decode
  kAttribute = 1,       // attribute value read as written
  kLiteralContent = 2,  // element content read as written
  kSheetName = 3,       // attribute value whose _xHHHH_ readers decode
};

// Narrow forms take UTF-8; invalid bytes are dropped like forbidden characters.
// Writing into the file writer or appending to a caller's string allocates
// nothing beyond what the destination itself grows by.
void WriteXmlText(CFileWriter& out, std::string_view utf8, XmlTextUse use);
void AppendXmlText(std::string& out, std::string_view utf8, XmlTextUse use);
// Wide forms: one wchar_t is one code point; a surrogate unit is dropped.
void AppendXmlText(std::wstring& out, std::wstring_view text, XmlTextUse use);
std::wstring XmlText(std::wstring_view text, XmlTextUse use);

// Whether anything of the text is left once the characters XML cannot hold
// are dropped: a text that leaves nothing gets no element at all, since readers
// take an empty one for a value of its own.
bool HasXmlText(std::wstring_view text);

// Whether element content needs xml:space="preserve" to keep its white space:
// it begins or ends with a space, tab, line feed or carriage return.
bool NeedsSpacePreserve(std::string_view utf8);
bool NeedsSpacePreserve(std::wstring_view text);

} // namespace XlsxBook
