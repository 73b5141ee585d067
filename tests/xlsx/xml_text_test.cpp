// The one XML-text rule: hostile texts in both widths and both destinations,
// and a workbook whose sheet name, cell and currency symbol carry such texts,
// read back by openpyxl.
#include "book_test_support.h"

#include "xlsx/shared_strings.h"
#include "xlsx/xlsx_book.h"
#include "xlsx/xlsx_she.h"
#include "xlsx/xml_text.h"

#include <gtest/gtest.h>

using namespace XlsxBook;

namespace {

std::wstring unit(std::uint32_t value)
{
  return std::wstring(1, static_cast<wchar_t>(value));
}

TEST(XmlText, ContentAndAttributeFormsOfHostileTexts)
{
  const struct {
    const char* what;
    std::wstring text;
    std::string content;
    std::string attribute;
  } cases[] = {
      {"plain", L"plain text", "plain text", "plain text"},
      {"markup", L"&<>\"'/\\", "&amp;&lt;&gt;&quot;&#39;&#47;&#92;",
       "&amp;&lt;&gt;&quot;&#39;&#47;&#92;"},
      {"an entity is text", L"&amp;", "&amp;amp;", "&amp;amp;"},
      {"white space", L"a\tb\nc\rd", "a\tb\nc&#13;d", "a&#9;b&#10;c&#13;d"},
      {"controls and non-characters", L"x\u0001\u001F\u007F" + unit(0xFFFE) + unit(0xFFFF) + L"y",
       "x\x7Fy", "x\x7Fy"},
      {"NUL", std::wstring(L"a\0b", 3), "ab", "ab"},
      {"lone surrogates and past U+10FFFF", L"a" + unit(0xD800) + unit(0xDFFF) + unit(0x110000) + L"b",
       "ab", "ab"},
      {"literal escape pattern", L"_x0041_ _x00e9_ _x41_ _X0041_ a_b _x004G_ _x0041",
       "_x005F_x0041_ _x005F_x00e9_ _x41_ _X0041_ a_b _x004G_ _x0041",
       "_x0041_ _x00e9_ _x41_ _X0041_ a_b _x004G_ _x0041"},
      {"non-ASCII", L"\u20AC \u00C4 \u4E2D " + unit(0x1F600),
       "\xE2\x82\xAC \xC3\x84 \xE4\xB8\xAD \xF0\x9F\x98\x80",
       "\xE2\x82\xAC \xC3\x84 \xE4\xB8\xAD \xF0\x9F\x98\x80"},
      {"empty", L"", "", ""},
  };
  for (const auto& c : cases) {
    // Wide forms.
    EXPECT_EQ(XmlText(c.text, XmlTextUse::kContent), wide(c.content)) << c.what;
    EXPECT_EQ(XmlText(c.text, XmlTextUse::kAttribute), wide(c.attribute)) << c.what;
    // Narrow forms from UTF-8 (the forbidden characters are encodable there too,
    // except the surrogates, which have their own case below), appended after
    // what the buffer holds.
    std::string utf8;
    for (const wchar_t ch : c.text)
      if (ch < 0xD800 || (ch > 0xDFFF && ch <= 0x10FFFF))
        plat::append_utf8(utf8, static_cast<char32_t>(ch));
    std::string out = "<";
    AppendXmlText(out, utf8, XmlTextUse::kContent);
    EXPECT_EQ(out, "<" + c.content) << c.what;
    out = "=";
    AppendXmlText(out, utf8, XmlTextUse::kAttribute);
    EXPECT_EQ(out, "=" + c.attribute) << c.what;
  }
}

// _x005F_ goes only where readers decode _xHHHH_: cell and comment texts and
// the sheet names of the workbook part; chart texts, formulas and other
// attributes are read as written. White space follows content or attribute.
TEST(XmlText, EscapePatternIsEscapedOnlyWhereReadersDecodeIt)
{
  const std::wstring text = L"_x0041_ a\tb & _x41_";
  const struct {
    XmlTextUse use;
    std::string out;
  } cases[] = {
      {XmlTextUse::kContent, "_x005F_x0041_ a\tb &amp; _x41_"},
      {XmlTextUse::kLiteralContent, "_x0041_ a\tb &amp; _x41_"},
      {XmlTextUse::kAttribute, "_x0041_ a&#9;b &amp; _x41_"},
      {XmlTextUse::kSheetName, "_x005F_x0041_ a&#9;b &amp; _x41_"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(XmlText(text, c.use), wide(c.out)) << static_cast<int>(c.use);
    std::string out;
    AppendXmlText(out, plat::to_utf8(text), c.use);
    EXPECT_EQ(out, c.out) << static_cast<int>(c.use);
  }
}

TEST(XmlText, InvalidUtf8IsDroppedByteByByte)
{
  const struct {
    const char* what;
    std::string utf8;
    std::string out;
  } cases[] = {
      {"stray continuation", "a\x80" "b", "ab"},
      {"truncated sequence", "a\xE2\x82", "a"},
      {"truncated before markup", "\xE2\x82<", "&lt;"},
      {"overlong", "a\xC0\xAF" "b\xE0\x80\xAF", "ab"},
      {"encoded surrogate", "a\xED\xA0\x80" "b", "ab"},
      {"past U+10FFFF", "a\xF4\x90\x80\x80" "b", "ab"},
      {"U+FFFE", "a\xEF\xBF\xBE" "b", "ab"},
      {"invalid lead bytes", "a\xF8\xFF\xFE" "b", "ab"},
      {"valid around invalid", "\xC3\xA9\xFF\xC3\xA9", "\xC3\xA9\xC3\xA9"},
  };
  for (const auto& c : cases) {
    std::string out;
    AppendXmlText(out, c.utf8, XmlTextUse::kContent);
    EXPECT_EQ(out, c.out) << c.what;
  }
}

TEST(XmlText, SpacePreserveOnlyForTextsThatBeginOrEndWithWhiteSpace)
{
  const struct {
    std::wstring text;
    bool preserve;
  } cases[] = {
      {L"", false},      {L"a b", false},  {L"\u00A0a\u00A0", false},
      {L" a", true},     {L"a ", true},    {L"\ta", true},
      {L"a\n", true},    {L"\ra", true},   {L" ", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NeedsSpacePreserve(c.text), c.preserve) << plat::to_utf8(c.text);
    EXPECT_EQ(NeedsSpacePreserve(plat::to_utf8(c.text)), c.preserve) << plat::to_utf8(c.text);
  }
}

TEST(XmlText, CurrencySymbolInTheFormatCodeTakesTheAttributeRule)
{
  book_test::env_var all("LC_ALL", "de_DE.UTF-8");
  if (LocalCurrencySymbol() != L"\u20AC")
    GTEST_SKIP() << "de_DE.UTF-8 is not installed";
  NumFormatData currency;
  currency.number_style = 5;
  EXPECT_EQ(BuildFormatCode(currency), L"0.00&quot;\u20AC&quot;");
}

class XmlTextBook : public book_test::book_fixture {};

// openpyxl sees the texts as they were given, less what XML cannot hold. It
// leaves the _xHHHH_ of sheet names as written, where Excel and LibreOffice
// decode them, so the reader decodes them as they do.
TEST_F(XmlTextBook, HostileSheetNameCellAndCurrencySymbolReadBackIntact)
{
  book_test::env_var all("LC_ALL", "de_DE.UTF-8");
  const bool euro = LocalCurrencySymbol() == L"\u20AC";
  const std::wstring title = L"R&D <\"x'> _x0041_";
  const std::wstring cell = L"  a&b<c>\"d'/\\ \tx\r\ny _x0041_ &amp; \u0001z" + unit(0xFFFE) + L"  ";
  const std::string path = out("hostile.xlsx");
  {
    CWorkbook book;
    CWorksheet* sheet = book.AddSheet2(title, {});
    StyleData money;
    money.number_format.number_style = 5;
    const auto style = static_cast<std::uint32_t>(book.GetStyles().Add(money));
    sheet->OpenRow();
    sheet->AddCell(CellDataStr{cell});
    sheet->AddCell(CellDataDbl{2.5, style});
    sheet->CloseRow();
    ASSERT_TRUE(book.Save(wide(path))) << book.GetSaveError();
  }
  const std::string script = dir_.file("read.py");
  write_file(script,
             "import json, re, sys, openpyxl\n"
             "b = openpyxl.load_workbook(sys.argv[1])\n"
             "s = b.worksheets[0]\n"
             "names = [re.sub(r'_x([0-9A-Fa-f]{4})_', lambda m: chr(int(m.group(1), 16)), n)\n"
             "         for n in b.sheetnames]\n"
             "print(json.dumps([names, s['A1'].value, s['B1'].value, s['B1'].number_format]))\n");
  int status = -1;
  const std::string said = book_test::command_output(
      "/usr/bin/python3 " + book_test::quoted(script) + " " + book_test::quoted(path) + " 2>&1",
      &status);
  ASSERT_EQ(status, 0) << said;
  const std::string expected =
      "[[\"R&D <\\\"x'> _x0041_\"], "
      "\"  a&b<c>\\\"d'/\\\\ \\tx\\r\\ny _x0041_ &amp; z  \", 2.5, \"0.00\\\"" +
      std::string(euro ? "\\u20ac" : "") + "\\\"\"]\n";
  EXPECT_EQ(said, expected);
}

} // namespace
