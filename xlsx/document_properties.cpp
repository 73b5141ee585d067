// The document properties: docProps/core.xml (author and dates) and
// docProps/app.xml (the titles of the sheets and chart sheets). Every text that
// comes from outside (the author, the titles) is escaped first.
#include "xlsx/part_writers.h"

#include "xlsx/package_names.h"
#include "xlsx/part_folder.h"
#include "xlsx/xlsx_book.h"
#include "xlsx/xlsx_she.h"
#include "xlsx/xml_emitter.h"

#include "platform/environment.h"
#include "base/format.h"
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
  return base::sprintf("%4d-%02d-%02dT%02d:%02d:%02dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                       utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
}

bool WriteCorePart(PartFolder& parts)
{
  const std::wstring author = CWorksheet::get_safe_string(DocumentAuthor());
  const std::string now = W3cdtfTime(std::time(nullptr));  // one moment for both dates
  return parts.Write(L"docProps/core.xml", [&](CXmlEmitter& xml) {
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
}

bool WriteAppPart(const CWorkbook& book, PartFolder& parts)
{
  return parts.Write(L"docProps/app.xml", [&book](CXmlEmitter& xml) {
    const std::size_t sheets = book.GetSheets().size();
    const std::size_t chart_count = book.GetCharts().size();
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
    for (const auto& sheet : book.GetSheets())
      TextElement(xml, "vt:lpstr", sheet->GetSafeTitle());
    for (const auto& chart : book.GetCharts())
      TextElement(xml, "vt:lpstr", CWorkbook::GetSafeTitle(*chart));
    xml << XmlToken::EndTag("TitlesOfParts");

    xml << XmlToken::StartTag("Company") << XmlToken::CloseStartTag() << XmlToken::EndTag();
    TextElement(xml, "LinksUpToDate", "false");
    TextElement(xml, "SharedDoc", "false");
    TextElement(xml, "HyperlinksChanged", "false");
    TextElement(xml, "AppVersion", 14.03);
  });
}

} // namespace XlsxBook
