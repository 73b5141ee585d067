// The style registry's deduplication and numbering, the format codes, and the
// styles part written from a registry.
#include "xlsx/styles.h"

#include "book_test_support.h"

#include "xlsx/part_folder.h"
#include "xlsx/part_writers.h"
#include "xlsx/xlsx_book.h"
#include "xlsx/xlsx_she.h"

#include <gtest/gtest.h>

using namespace XlsxBook;

namespace {

StyleRegistry initial_registry()
{
  StyleRegistry registry;
  registry.AddInitialStyles();
  return registry;
}

} // namespace

TEST(StyleRegistry, InitialStylesGiveTheDefaultAndGray125Formats)
{
  const StyleRegistry registry = initial_registry();
  ASSERT_EQ(registry.cell_formats().size(), 2u);
  EXPECT_EQ(registry.cell_formats()[0], (CellFormatKey{0, 0, 0, 0}));
  EXPECT_EQ(registry.cell_formats()[1], (CellFormatKey{0, 0, 1, 0}));
  EXPECT_EQ(registry.borders().size(), 1u);
  ASSERT_EQ(registry.fonts().size(), 1u);
  EXPECT_EQ(registry.fonts()[0].name, L"Calibri");
  ASSERT_EQ(registry.fills().size(), 2u);
  EXPECT_EQ(registry.fills()[1].pattern, 17u);
  ASSERT_EQ(registry.num_formats().size(), 1u);
  EXPECT_EQ(registry.num_formats()[0].id, 0u);
  EXPECT_EQ(registry.alignments().size(), 2u);
  EXPECT_EQ(registry.next_custom_id(), 164u);
}

TEST(StyleRegistry, EqualStylesShareOneFormatAndDifferencesAddOnlyWhatIsNew)
{
  StyleRegistry registry = initial_registry();
  StyleData plain;
  EXPECT_EQ(registry.Add(plain), 0u) << "default number format matches id 0";
  EXPECT_EQ(registry.next_custom_id(), 164u) << "no custom id consumed";

  StyleData wrapped;
  wrapped.alignment.wrap = true;
  const auto wrapped_index = registry.Add(wrapped);
  EXPECT_EQ(wrapped_index, 2u);
  EXPECT_EQ(registry.cell_formats()[2], registry.cell_formats()[0]) << "components shared";
  EXPECT_EQ(registry.Add(wrapped), wrapped_index) << "nothing appended the second time";
  EXPECT_EQ(registry.cell_formats().size(), 3u);

  StyleData diagonal_up;
  diagonal_up.border.diagonal_up = true;
  StyleData diagonal_line;
  diagonal_line.border.diagonal.style = 1;
  StyleData lower_case_font;
  lower_case_font.font.name = L"calibri";
  registry.Add(diagonal_up);
  registry.Add(diagonal_line);
  registry.Add(lower_case_font);
  EXPECT_EQ(registry.borders().size(), 3u);
  EXPECT_EQ(registry.fonts().size(), 2u) << "names compare case-sensitively";
}

TEST(StyleRegistry, CustomNumberFormatsAreNumberedFrom164AndFoundAgainWhateverTheirId)
{
  StyleRegistry registry = initial_registry();
  StyleData percent;
  percent.number_format.number_style = 2;
  StyleData date;
  date.number_format.number_style = 6;
  registry.Add(percent);
  registry.Add(date);
  EXPECT_EQ(percent.number_format.id, 164u);
  EXPECT_EQ(date.number_format.id, 165u);

  StyleData percent_again;
  percent_again.number_format.number_style = 2;
  percent_again.number_format.id = 900;
  const auto index = registry.Add(percent_again);
  EXPECT_EQ(registry.cell_formats()[index].num_format_id, 164u);
  EXPECT_EQ(registry.next_custom_id(), 166u);

  StyleData builtin;
  builtin.number_format.id = 14;
  builtin.number_format.number_style = 7;
  EXPECT_EQ(registry.cell_formats()[registry.Add(builtin)].num_format_id, 14u)
      << "a built-in id keeps its number";
  EXPECT_EQ(registry.next_custom_id(), 166u);
}

TEST(FormatCode, IsBuiltFromStyleColoursGroupingAndDecimals)
{
  struct Case {
    const char* what;
    NumFormatData format;
    std::wstring code;
  };
  const auto make = [](auto change) {
    NumFormatData f;
    change(f);
    return f;
  };
  const Case cases[] = {
      {"defaults", make([](auto&) {}), L"0.00"},
      {"percent", make([](auto& f) { f.number_style = 2; f.decimals = 0; }), L"0%"},
      {"scientific", make([](auto& f) { f.number_style = 3; }), L"0.00E+00"},
      {"grouping", make([](auto& f) { f.thousands = true; f.decimals = 0; }), L"#,##0"},
      {"five decimals", make([](auto& f) { f.decimals = 5; }), L"0.00000"},
      {"positive colour", make([](auto& f) { f.positive_colour = 4; }), L"[Blue]0.00;\\-0.00;0"},
      {"negative colour", make([](auto& f) { f.negative_colour = 8; }), L"0.00;[Red]\\-0.00"},
      {"zero colour", make([](auto& f) { f.zero_colour = 2; }), L"0.00;;[Green]0"},
      {"date", make([](auto& f) { f.number_style = 6; }), L"yyyy.mm.dd"},
      {"time", make([](auto& f) { f.number_style = 7; }), L"hh:mm:ss"},
      {"date and time", make([](auto& f) { f.number_style = 8; }), L"yyyy.mm.dd hh:mm:ss"},
      {"unknown style", make([](auto& f) { f.number_style = 9; }), L""},
      {"own code wins", make([](auto& f) { f.number_style = 4; f.code = L"@"; }), L"@"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(BuildFormatCode(c.format), c.code) << c.what;
  EXPECT_EQ(GetColourTag(1), L"[BLACK]");
  EXPECT_EQ(GetColourTag(9), L"");
}

TEST(FormatCode, AnUninstalledLocaleGivesAnEmptyCurrencySymbol)
{
  book_test::env_var all("LC_ALL", "xx_YY.UTF-8");
  EXPECT_EQ(LocalCurrencySymbol(), L"");
  NumFormatData accounting;
  accounting.number_style = 4;
  EXPECT_EQ(BuildFormatCode(accounting),
            L"_-* 0.00&quot;&quot;_-;\\-* 0.00&quot;&quot;_-;_-* &quot;-&quot;??&quot;&quot;_-;_-@_-");
}

class StylesPart : public book_test::book_fixture {};

TEST_F(StylesPart, InitialRegistryWritesTheFixedStyleSheet)
{
  CWorkbook book;
  book.AddSheet2(L"a", {});
  PartFolder parts = book.Parts();
  ASSERT_TRUE(WriteStyles(book.GetStyles(), parts)) << parts.Error();
  const std::string xml = read_file(plat::to_utf8(book.GetTempFolder()) + "/xl/styles.xml");
  EXPECT_EQ(xml.find("<numFmts"), std::string::npos);
  const std::string expected_body =
      "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/><charset val=\"204\"/>"
      "<color theme=\"1\"/></font></fonts>"
      "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
      "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
      "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
      "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/>"
      "</cellStyleXfs>"
      "<cellXfs><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/>"
      "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"1\" borderId=\"0\" applyFill=\"1\"/></cellXfs>"
      "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
      "<dxfs count=\"0\"/>";
  EXPECT_NE(xml.find(expected_body), std::string::npos) << xml;
  EXPECT_EQ(xml.rfind("</styleSheet>"), xml.size() - 13);
  EXPECT_TRUE(book_test::xml_well_formed(plat::to_utf8(book.GetTempFolder()) + "/xl/styles.xml"));
}

TEST_F(StylesPart, RegisteredStylesWriteTheirFontsFillsBordersAndFormats)
{
  CWorkbook book;
  book.AddSheet2(L"a", {});
  StyleData style;
  style.font.attributes = FontData::bold | FontData::italic;
  style.font.theme_colour = false;  // without a colour text: still theme 1
  style.fill.pattern = 1;
  style.fill.foreground = L"FFFF0000";
  style.fill.background = L"FF00FF00";
  style.border.left = {1, L""};
  style.border.right = {0, L"FF0000FF"};
  style.border.diagonal_down = true;
  style.number_format.number_style = 2;
  style.number_format.decimals = 0;
  style.alignment = {2, 1, false};
  const auto index = book.GetStyles().Add(style);
  PartFolder parts = book.Parts();
  ASSERT_TRUE(WriteStyles(book.GetStyles(), parts)) << parts.Error();
  const std::string xml = read_file(plat::to_utf8(book.GetTempFolder()) + "/xl/styles.xml");

  for (const char* piece : {
           "<numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"0%\"/></numFmts>",
           "<font><b/><i/><sz val=\"11\"/><name val=\"Calibri\"/><charset val=\"204\"/>"
           "<color theme=\"1\"/></font>",
           "<patternFill patternType=\"solid\"><fgColor rgb=\"FFFF0000\"/>"
           "<bgColor rgb=\"FF00FF00\"/></patternFill>",
           "<border diagonalDown=\"1\"><left style=\"thin\"><color indexed=\"64\"/></left>"
           "<right/><top/><bottom/><diagonal/></border>",
           "<xf numFmtId=\"164\" fontId=\"1\" fillId=\"2\" borderId=\"1\" applyFont=\"1\" "
           "applyFill=\"1\" applyBorder=\"1\" applyNumberFormat=\"1\">"
           "<alignment horizontal=\"center\" vertical=\"top\"/></xf>",
       })
    EXPECT_NE(xml.find(piece), std::string::npos) << piece << "\n" << xml;
  EXPECT_EQ(index, 2u);
}
