// The parts that describe the package itself: core and application properties,
// the package relationships, the content types and the calculation chain. Every
// text that comes from outside (the author, sheet titles) is escaped first.
#include "xlsx/package_parts.h"

#include "xlsx/relationships.h"
#include "xlsx/shared_strings.h"
#include "xlsx/xlsx_book.h"
#include "xlsx/xlsx_she.h"
#include "xlsx/xml_emitter.h"

#include "platform/environment.h"
#include "platform/format.h"
#include "platform/text_codec.h"

namespace XlsxBook {

std::wstring DocumentAuthor()
{
  const std::string name = plat::user_name();
  std::wstring wide;
  if (name.empty() || !plat::utf8_to_wide(name, wide))
    return L"Unknown";
  return wide;
}

std::string W3cdtfTime(std::time_t moment)
{
  std::tm utc{};
  ::gmtime_r(&moment, &utc);
  return plat::sprintf("%4d-%02d-%02dT%02d:%02d:%02dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                       utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
}

namespace {

void Default(CXmlEmitter& xml, const char* extension, const char* content_type)
{
  xml << XmlToken::StartTag("Default") << XmlToken::Attribute("Extension") << extension
      << XmlToken::Attribute("ContentType") << content_type << XmlToken::EndTag();
}

void Override(CXmlEmitter& xml, const std::string& part, const char* content_type)
{
  xml << XmlToken::StartTag("Override") << XmlToken::Attribute("PartName") << part
      << XmlToken::Attribute("ContentType") << content_type << XmlToken::EndTag();
}

} // namespace

bool CWorkbook::WriteCoreParts()
{
  const std::wstring author = CWorksheet::get_safe_string(DocumentAuthor());
  const std::string now = W3cdtfTime(std::time(nullptr));  // one moment for both dates
  const bool core = WritePart(m_partList[part_core], [&](CXmlEmitter& xml) {
    xml << XmlToken::Declaration() << XmlToken::StartTag("cp:coreProperties")
        << XmlToken::Attribute("xmlns:cp") << ns::core_properties
        << XmlToken::Attribute("xmlns:dc") << ns::dublin_core
        << XmlToken::Attribute("xmlns:dcterms") << ns::dc_terms
        << XmlToken::Attribute("xmlns:dcmitype") << ns::dcmi_type
        << XmlToken::Attribute("xmlns:xsi") << ns::xml_schema_instance;
    TextElement(xml, "dc:creator", author);
    TextElement(xml, "cp:lastModifiedBy", author);
    for (const char* date : {"dcterms:created", "dcterms:modified"})
      xml << XmlToken::StartTag(date) << XmlToken::Attribute("xsi:type") << "dcterms:W3CDTF"
          << XmlToken::CloseStartTag() << now << XmlToken::EndTag();
  });
  if (!core)
    return false;

  return WritePart(m_partList[part_package_rels], [](CXmlEmitter& xml) {
    WriteRelationships(xml, {{3, rel::extended_properties, L"docProps/app.xml"},
                             {2, rel::core_properties, L"docProps/core.xml"},
                             {1, rel::office_document, L"xl/workbook.xml"}});
  });
}

bool CWorkbook::WriteAppPart()
{
  return WritePart(m_partList[part_app], [this](CXmlEmitter& xml) {
    const std::size_t sheets = m_sheets.size();
    const std::size_t chart_count = charts.size();
    xml << XmlToken::Declaration() << XmlToken::StartTag("Properties")
        << XmlToken::Attribute("xmlns") << ns::extended_properties
        << XmlToken::Attribute("xmlns:vt") << ns::doc_props_vtypes;
    TextElement(xml, "Application", "Microsoft Excel");
    TextElement(xml, "DocSecurity", 0);
    TextElement(xml, "ScaleCrop", "false");

    const auto heading = [&xml](const char* name, std::size_t count) {
      xml << XmlToken::StartTag("vt:variant");
      TextElement(xml, "vt:lpstr", name);
      xml << XmlToken::EndTag() << XmlToken::StartTag("vt:variant");
      TextElement(xml, "vt:i4", count);
      xml << XmlToken::EndTag();
    };
    xml << XmlToken::StartTag("HeadingPairs") << XmlToken::StartTag("vt:vector")
        << XmlToken::Attribute("size") << (chart_count > 0 ? 4 : 2)
        << XmlToken::Attribute("baseType") << "variant";
    heading("Worksheets", sheets);
    if (chart_count > 0)
      heading("Diagramms", chart_count);
    xml << XmlToken::EndTag("HeadingPairs");

    xml << XmlToken::StartTag("TitlesOfParts") << XmlToken::StartTag("vt:vector")
        << XmlToken::Attribute("size") << sheets + chart_count
        << XmlToken::Attribute("baseType") << "lpstr";
    for (const auto& sheet : m_sheets)
      TextElement(xml, "vt:lpstr", sheet->GetSafeTitle());
    for (const auto& chart : charts)
      TextElement(xml, "vt:lpstr", GetSafeTitle(*chart));
    xml << XmlToken::EndTag("TitlesOfParts");

    xml << XmlToken::StartTag("Company") << XmlToken::CloseStartTag() << XmlToken::EndTag();
    TextElement(xml, "LinksUpToDate", "false");
    TextElement(xml, "SharedDoc", "false");
    TextElement(xml, "HyperlinksChanged", "false");
    TextElement(xml, "AppVersion", 14.03);
  });
}

bool CWorkbook::WriteContentTypes()
{
  return WritePart(m_partList[part_content_types], [this](CXmlEmitter& xml) {
    xml << XmlToken::Declaration() << XmlToken::StartTag("Types") << XmlToken::Attribute("xmlns")
        << ns::content_types;
    Default(xml, "rels", "application/vnd.openxmlformats-package.relationships+xml");
    Default(xml, "xml", "application/xml");
    Override(xml, "/xl/workbook.xml",
             "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml");
    Override(xml, "/xl/theme/theme1.xml", "application/vnd.openxmlformats-officedocument.theme+xml");
    Override(xml, "/xl/styles.xml",
             "application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml");
    Override(xml, "/docProps/core.xml", "application/vnd.openxmlformats-package.core-properties+xml");
    Override(xml, "/docProps/app.xml",
             "application/vnd.openxmlformats-officedocument.extended-properties+xml");
    if (!m_sharedStrings->Empty())
      Override(xml, "/xl/sharedStrings.xml",
               "application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml");
    if (!m_commentList.empty()) {
      Default(xml, "vml", "application/vnd.openxmlformats-officedocument.vmlDrawing");
      for (const auto& sheet : m_sheets)
        if (sheet->m_hasComments)
          Override(xml, plat::sprintf("/xl/comments%u.xml", sheet->m_sheetNumber),
                   "application/vnd.openxmlformats-officedocument.spreadsheetml.comments+xml");
    }
    for (const auto& sheet : m_sheets)
      Override(xml, plat::sprintf("/xl/worksheets/sheet%u.xml", sheet->m_sheetNumber),
               "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml");
    if (HasFormulas())
      Override(xml, "/xl/calcChain.xml",
               "application/vnd.openxmlformats-officedocument.spreadsheetml.calcChain+xml");
    for (const auto& chart : charts) {
      Override(xml, plat::sprintf("/xl/charts/chart%u.xml", chart->number),
               "application/vnd.openxmlformats-officedocument.drawingml.chart+xml");
      Override(xml, plat::sprintf("/xl/drawings/drawing%u.xml", chart->number),
               "application/vnd.openxmlformats-officedocument.drawing+xml");
      Override(xml, plat::sprintf("/xl/chartsheets/sheet%u.xml", chart->number),
               "application/vnd.openxmlformats-officedocument.spreadsheetml.chartsheet+xml");
    }
  });
}

bool CWorkbook::HasFormulas() const
{
  for (const auto& sheet : m_sheets)
    if (sheet->m_hasFormulas && !sheet->m_formulaRefs.empty())
      return true;
  return false;
}

bool CWorkbook::WriteCalcChain()
{
  if (!HasFormulas())
    return true;
  const std::wstring part = L"xl/calcChain.xml";
  m_partList.push_back(part);
  return WritePart(part, [this](CXmlEmitter& xml) {
    xml << XmlToken::Declaration() << XmlToken::StartTag("calcChain")
        << XmlToken::Attribute("xmlns") << ns::spreadsheet_main;
    for (std::size_t position = 0; position < m_sheets.size(); ++position) {
      const CWorksheet& sheet = *m_sheets[position];
      if (!sheet.m_hasFormulas || sheet.m_formulaRefs.empty())
        continue;
      bool first = true;
      for (const std::wstring& ref : sheet.m_formulaRefs) {
        xml << XmlToken::StartTag("c");
        if (first)
          xml << XmlToken::Attribute("i") << static_cast<std::uint64_t>(position + 1);
        xml << XmlToken::Attribute("r") << ref << XmlToken::EndTag();
        first = false;
      }
    }
  });
}

} // namespace XlsxBook
