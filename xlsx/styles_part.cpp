// xl/styles.xml, written from the style registry. Its blocks follow the
// registry's lists in order, so a record's position in the registry is its
// number in the part, and a cell's style index names its cell format.
#include "xlsx/part_writers.h"

#include "xlsx/package_names.h"
#include "xlsx/part_folder.h"
#include "xlsx/styles.h"
#include "xlsx/xml_emitter.h"

#include <array>

namespace XlsxBook {

namespace {

constexpr std::array<const char*, 4> horizontal_names = {nullptr, "left", "center", "right"};
constexpr std::array<const char*, 4> vertical_names = {nullptr, "top", "center", "bottom"};

void WriteNumFormats(CXmlEmitter& xml, const StyleRegistry& styles)
{
  std::uint64_t custom = 0;
  for (const NumFormatData& format : styles.num_formats())
    if (format.id >= NumFormatData::first_custom_id)
      ++custom;
  if (custom == 0)
    return;
  xml << XmlToken::StartTag("numFmts") << XmlToken::Attribute("count") << custom;
  for (const NumFormatData& format : styles.num_formats()) {
    if (format.id < NumFormatData::first_custom_id)
      continue;
    xml << XmlToken::StartTag("numFmt") << XmlToken::Attribute("numFmtId") << format.id
        << XmlToken::Attribute("formatCode") << BuildFormatCode(format) << XmlToken::EndTag();
  }
  xml << XmlToken::EndTag();
}

void WriteFonts(CXmlEmitter& xml, const StyleRegistry& styles)
{
  static constexpr std::array<const char*, 8> attribute_elements = {
      "b", "i", "u", "strike", "outline", "shadow", "condense", "extend"};
  xml << XmlToken::StartTag("fonts") << XmlToken::Attribute("count") << styles.fonts().size();
  for (const FontData& font : styles.fonts()) {
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

void WriteFills(CXmlEmitter& xml, const StyleRegistry& styles)
{
  xml << XmlToken::StartTag("fills") << XmlToken::Attribute("count") << styles.fills().size();
  for (const FillData& fill : styles.fills()) {
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

void WriteBorderLine(CXmlEmitter& xml, const char* side, const BorderLineData& line)
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

void WriteBorders(CXmlEmitter& xml, const StyleRegistry& styles)
{
  xml << XmlToken::StartTag("borders") << XmlToken::Attribute("count") << styles.borders().size();
  for (const BorderData& border : styles.borders()) {
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

} // namespace

bool WriteStyles(const StyleRegistry& styles, PartFolder& parts)
{
  return parts.Write(L"xl/styles.xml", [&styles](CXmlEmitter& xml) {
    xml << XmlToken::Declaration() << XmlToken::StartTag("styleSheet")
        << XmlToken::Attribute("xmlns") << ns::spreadsheet_main
        << XmlToken::Attribute("xmlns:mc") << ns::markup_compatibility
        << XmlToken::Attribute("mc:Ignorable") << "x14ac"
        << XmlToken::Attribute("xmlns:x14ac") << ns::x14ac;
    WriteNumFormats(xml, styles);
    WriteFonts(xml, styles);
    WriteFills(xml, styles);
    WriteBorders(xml, styles);

    xml << XmlToken::StartTag("cellStyleXfs") << XmlToken::Attribute("count") << 1
        << XmlToken::StartTag("xf") << XmlToken::Attribute("numFmtId") << 0
        << XmlToken::Attribute("fontId") << 0 << XmlToken::Attribute("fillId") << 0
        << XmlToken::Attribute("borderId") << 0 << XmlToken::EndTag() << XmlToken::EndTag();

    const auto& formats = styles.cell_formats();
    const auto& alignments = styles.alignments();
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
