// The style registry and the styles part written from it. Lookups are linear
// over short lists; the part's blocks follow the registry's lists in order, so a
// record's position is its number in xl/styles.xml.
#include "xlsx/styles.h"

#include "xlsx/package_parts.h"
#include "xlsx/xlsx_book.h"
#include "xlsx/xml_emitter.h"
#include "xlsx/xml_text.h"

#include "TK/tk_log.h"
#include "platform/text_codec.h"

#include <array>
#include <locale>
#include <exception>

namespace XlsxBook {

namespace {

template <class T>
std::uint64_t find_or_append(std::vector<T>& list, const T& record)
{
  for (std::size_t i = 0; i < list.size(); ++i)
    if (list[i] == record)
      return i;
  list.push_back(record);
  return list.size() - 1;
}

constexpr std::array<const char*, 14> border_styles = {
    nullptr,    "thin",          "medium",     "dashed",           "dotted",
    "thick",    "double",        "hair",       "mediumDashed",     "dashDot",
    "mediumDashDot", "dashDotDot", "mediumDashDotDot", "slantDashDot"};

constexpr std::array<const char*, 19> fill_patterns = {
    "none",           "solid",        "mediumGray",    "darkGray",      "lightGray",
    "darkHorizontal", "darkVertical", "darkDown",      "darkUp",        "darkGrid",
    "darkTrellis",    "lightHorizontal", "lightVertical", "lightDown",  "lightUp",
    "lightGrid",      "lightTrellis", "gray125",       "gray0625"};

constexpr std::array<const wchar_t*, 9> colour_tags = {
    L"", L"[BLACK]", L"[Green]", L"[White]", L"[Blue]", L"[Magenta]", L"[Yellow]", L"[Cyan]", L"[Red]"};

constexpr std::array<const char*, 4> horizontal_names = {nullptr, "left", "center", "right"};
constexpr std::array<const char*, 4> vertical_names = {nullptr, "top", "center", "bottom"};

} // namespace

bool NumFormatData::SameFormat(const NumFormatData& other) const
{
  return code == other.code && number_style == other.number_style &&
         positive_colour == other.positive_colour && negative_colour == other.negative_colour &&
         zero_colour == other.zero_colour && thousands == other.thousands &&
         decimals == other.decimals;
}

std::uint64_t StyleRegistry::Add(StyleData& style)
{
  CellFormatKey key;
  key.border = find_or_append(borders_, style.border);
  key.font = find_or_append(fonts_, style.font);
  key.fill = find_or_append(fills_, style.fill);

  NumFormatData& format = style.number_format;
  const NumFormatData* found = nullptr;
  for (const NumFormatData& stored : num_formats_) {
    if (stored.SameFormat(format)) {
      found = &stored;
      break;
    }
  }
  if (found) {
    key.num_format_id = found->id;
  } else {
    if (format.id >= NumFormatData::first_custom_id)
      format.id = next_custom_id_++;
    key.num_format_id = format.id;
    num_formats_.push_back(format);
  }

  for (std::size_t i = 0; i < cell_formats_.size(); ++i)
    if (cell_formats_[i] == key && alignments_[i] == style.alignment)
      return i;
  cell_formats_.push_back(key);
  alignments_.push_back(style.alignment);
  return cell_formats_.size() - 1;
}

void StyleRegistry::AddInitialStyles()
{
  StyleData style;
  style.number_format.id = 0;
  Add(style);
  style.number_format.id = 1;
  style.fill.pattern = 17;  // gray125
  Add(style);
}

const char* BorderStyleName(std::uint32_t style)
{
  return style < border_styles.size() ? border_styles[style] : nullptr;
}

const char* FillPatternName(std::uint32_t pattern)
{
  return pattern < fill_patterns.size() ? fill_patterns[pattern] : nullptr;
}

std::wstring GetColourTag(std::uint32_t colour)
{
  return colour < colour_tags.size() ? colour_tags[colour] : L"";
}

std::wstring LocalCurrencySymbol()
{
  std::string symbol;
  try {
    // Throws when LANG names a locale that is not installed.
    const std::locale user_locale("");
    symbol = std::use_facet<std::moneypunct<char, false>>(user_locale).curr_symbol();
  } catch (const std::exception&) {
    return {};
  }
  std::wstring wide;
  if (!plat::utf8_to_wide(symbol, wide))
    return {};
  return wide;
}

std::wstring BuildFormatCode(const NumFormatData& format)
{
  if (!format.code.empty())
    return format.code;

  const std::wstring grouping = format.thousands ? L"#,##" : L"";
  std::wstring digits = L"0";
  if (format.decimals > 0)
    digits += L"." + std::wstring(format.decimals, L'0');
  const auto currency = [] { return L"&quot;" + XmlText(LocalCurrencySymbol(), XmlTextUse::kAttribute) + L"&quot;"; };
  const std::wstring positive = GetColourTag(format.positive_colour);
  const std::wstring negative = GetColourTag(format.negative_colour);
  const std::wstring zero = GetColourTag(format.zero_colour);

  std::wstring suffix;
  switch (format.number_style) {
  case 0:
  case 1: break;
  case 2: suffix = L"%"; break;
  case 3: suffix = L"E+00"; break;
  case 5: suffix = currency(); break;
  case 4: {
    const std::wstring money = currency();
    return positive + L"_-* " + grouping + digits + money + L"_-;" + negative + L"\\-* " +
           grouping + digits + money + L"_-;_-* &quot;-&quot;??" + money + L"_-;_-@_-";
  }
  case 6: return L"yyyy.mm.dd";
  case 7: return L"hh:mm:ss";
  case 8: return L"yyyy.mm.dd hh:mm:ss";
  default: return {};
  }

  std::wstring code = positive + grouping + digits + suffix;
  const bool negative_section = format.positive_colour != 0 || format.negative_colour != 0;
  const bool zero_section = format.positive_colour != 0 || format.zero_colour != 0;
  if (negative_section)
    code += L";" + negative + L"\\-" + grouping + digits + suffix;
  if (zero_section) {
    if (!negative_section)
      code += L";";
    code += L";" + zero + L"0" + suffix;
  }
  return code;
}

void CWorkbook::WriteNumFormats(CXmlEmitter& xml) const
{
  std::uint64_t custom = 0;
  for (const NumFormatData& format : m_styles.num_formats())
    if (format.id >= NumFormatData::first_custom_id)
      ++custom;
  if (custom == 0)
    return;
  xml << XmlToken::StartTag("numFmts") << XmlToken::Attribute("count") << custom;
  for (const NumFormatData& format : m_styles.num_formats()) {
    if (format.id < NumFormatData::first_custom_id)
      continue;
    xml << XmlToken::StartTag("numFmt") << XmlToken::Attribute("numFmtId") << format.id
        << XmlToken::Attribute("formatCode") << BuildFormatCode(format) << XmlToken::EndTag();
  }
  xml << XmlToken::EndTag();
}

void CWorkbook::WriteFonts(CXmlEmitter& xml) const
{
  static constexpr std::array<const char*, 8> attribute_elements = {
      "b", "i", "u", "strike", "outline", "shadow", "condense", "extend"};
  xml << XmlToken::StartTag("fonts") << XmlToken::Attribute("count") << m_styles.fonts().size();
  for (const FontData& font : m_styles.fonts()) {
    xml << XmlToken::StartTag("font");
    for (std::uint32_t bit = 0; bit < attribute_elements.size(); ++bit)
      if (font.attributes & (1u << bit))
        xml << XmlToken::StartTag(attribute_elements[bit]) << XmlToken::EndTag();
    xml << XmlToken::StartTag("sz") << XmlToken::Attribute("val") << font.size << XmlToken::EndTag();
    xml << XmlToken::StartTag("name") << XmlToken::Attribute("val") << font.name << XmlToken::EndTag();
    xml << XmlToken::StartTag("charset") << XmlToken::Attribute("val") << 204 << XmlToken::EndTag();
    xml << XmlToken::StartTag("color");
    if (!font.theme_colour && !font.colour.empty())
      xml << XmlToken::Attribute("rgb") << font.colour;
    else
      xml << XmlToken::Attribute("theme") << 1;
    xml << XmlToken::EndTag() << XmlToken::EndTag();
  }
  xml << XmlToken::EndTag();
}

void CWorkbook::WriteFills(CXmlEmitter& xml) const
{
  xml << XmlToken::StartTag("fills") << XmlToken::Attribute("count") << m_styles.fills().size();
  for (const FillData& fill : m_styles.fills()) {
    const char* pattern = FillPatternName(fill.pattern);
    xml << XmlToken::StartTag("fill") << XmlToken::StartTag("patternFill")
        << XmlToken::Attribute("patternType") << (pattern ? pattern : "none");
    if (!fill.foreground.empty())
      xml << XmlToken::StartTag("fgColor") << XmlToken::Attribute("rgb") << fill.foreground
          << XmlToken::EndTag();
    if (!fill.background.empty())
      xml << XmlToken::StartTag("bgColor") << XmlToken::Attribute("rgb") << fill.background
          << XmlToken::EndTag();
    xml << XmlToken::EndTag() << XmlToken::EndTag();
  }
  xml << XmlToken::EndTag();
}

void CWorkbook::WriteBorderLine(CXmlEmitter& xml, const char* side, const BorderLineData& line)
{
  xml << XmlToken::StartTag(side);
  if (const char* style = BorderStyleName(line.style)) {
    xml << XmlToken::Attribute("style") << style << XmlToken::StartTag("color");
    if (line.colour.empty())
      xml << XmlToken::Attribute("indexed") << 64;
    else
      xml << XmlToken::Attribute("rgb") << line.colour;
    xml << XmlToken::EndTag();
  }
  xml << XmlToken::EndTag();
}

void CWorkbook::WriteBorders(CXmlEmitter& xml) const
{
  xml << XmlToken::StartTag("borders") << XmlToken::Attribute("count") << m_styles.borders().size();
  for (const BorderData& border : m_styles.borders()) {
    xml << XmlToken::StartTag("border");
    if (border.diagonal_up)
      xml << XmlToken::Attribute("diagonalUp") << 1;
    if (border.diagonal_down)
      xml << XmlToken::Attribute("diagonalDown") << 1;
    WriteBorderLine(xml, "left", border.left);
    WriteBorderLine(xml, "right", border.right);
    WriteBorderLine(xml, "top", border.top);
    WriteBorderLine(xml, "bottom", border.bottom);
    WriteBorderLine(xml, "diagonal", border.diagonal);
    xml << XmlToken::EndTag();
  }
  xml << XmlToken::EndTag();
}

bool CWorkbook::WriteStyles()
{
  return WritePart(m_partList[part_styles], [this](CXmlEmitter& xml) {
    xml << XmlToken::Declaration() << XmlToken::StartTag("styleSheet")
        << XmlToken::Attribute("xmlns") << ns::spreadsheet_main
        << XmlToken::Attribute("xmlns:mc") << ns::markup_compatibility
        << XmlToken::Attribute("mc:Ignorable") << "x14ac"
        << XmlToken::Attribute("xmlns:x14ac") << ns::x14ac;
    WriteNumFormats(xml);
    WriteFonts(xml);
    WriteFills(xml);
    WriteBorders(xml);

    xml << XmlToken::StartTag("cellStyleXfs") << XmlToken::Attribute("count") << 1
        << XmlToken::StartTag("xf") << XmlToken::Attribute("numFmtId") << 0
        << XmlToken::Attribute("fontId") << 0 << XmlToken::Attribute("fillId") << 0
        << XmlToken::Attribute("borderId") << 0 << XmlToken::EndTag() << XmlToken::EndTag();

    const auto& formats = m_styles.cell_formats();
    const auto& alignments = m_styles.alignments();
    xml << XmlToken::StartTag("cellXfs");
    for (std::size_t i = 0; i < formats.size(); ++i) {
      const CellFormatKey& key = formats[i];
      xml << XmlToken::StartTag("xf") << XmlToken::Attribute("numFmtId") << key.num_format_id
          << XmlToken::Attribute("fontId") << key.font << XmlToken::Attribute("fillId")
          << key.fill << XmlToken::Attribute("borderId") << key.border;
      if (key.font != 0)
        xml << XmlToken::Attribute("applyFont") << 1;
      if (key.fill != 0)
        xml << XmlToken::Attribute("applyFill") << 1;
      if (key.border != 0)
        xml << XmlToken::Attribute("applyBorder") << 1;
      if (key.num_format_id != 0)
        xml << XmlToken::Attribute("applyNumberFormat") << 1;
      const AlignmentData& alignment = alignments[i];
      if (alignment.horizontal != 0 || alignment.vertical != 0 || alignment.wrap) {
        xml << XmlToken::StartTag("alignment");
        if (alignment.horizontal < horizontal_names.size() && horizontal_names[alignment.horizontal])
          xml << XmlToken::Attribute("horizontal") << horizontal_names[alignment.horizontal];
        if (alignment.vertical < vertical_names.size() && vertical_names[alignment.vertical])
          xml << XmlToken::Attribute("vertical") << vertical_names[alignment.vertical];
        if (alignment.wrap)
          xml << XmlToken::Attribute("wrapText") << 1;
        xml << XmlToken::EndTag();
      }
      xml << XmlToken::EndTag();
    }
    xml << XmlToken::EndTag();

    xml << XmlToken::StartTag("cellStyles") << XmlToken::Attribute("count") << 1
        << XmlToken::StartTag("cellStyle") << XmlToken::Attribute("name") << "Normal"
        << XmlToken::Attribute("xfId") << 0 << XmlToken::Attribute("builtinId") << 0
        << XmlToken::EndTag() << XmlToken::EndTag();
    xml << XmlToken::StartTag("dxfs") << XmlToken::Attribute("count") << 0 << XmlToken::EndTag();
    xml << XmlToken::StartTag("tableStyles") << XmlToken::Attribute("count") << 0
        << XmlToken::Attribute("defaultTableStyle") << "TableStyleMedium2"
        << XmlToken::Attribute("defaultPivotStyle") << "PivotStyleLight16" << XmlToken::EndTag();
    xml << XmlToken::StartTag("extLst") << XmlToken::StartTag("ext")
        << XmlToken::Attribute("uri") << "{EB79DEF2-80B8-43e5-95BD-54CBDDF9020C}"
        << XmlToken::Attribute("xmlns:x14") << ns::x14 << XmlToken::StartTag("x14:slicerStyles")
        << XmlToken::Attribute("defaultSlicerStyle") << "SlicerStyleLight1" << XmlToken::EndTag()
        << XmlToken::EndTag() << XmlToken::EndTag();
  });
}

} // namespace XlsxBook
