// Relationship parts, and the two the workbook itself writes: the package's
// (_rels/.rels) and the workbook's (xl/_rels/workbook.xml.rels). Targets are
// part names the writer makes itself, so they need no escaping.
#include "xlsx/relationships.h"

#include "xlsx/package_names.h"
#include "xlsx/part_folder.h"
#include "xlsx/part_writers.h"
#include "xlsx/shared_strings.h"
#include "xlsx/xlsx_book.h"
#include "xlsx/xlsx_she.h"
#include "xlsx/xml_emitter.h"

#include "base/format.h"

namespace XlsxBook {

std::string RelationshipId(std::uint32_t id)
{
  return base::sprintf("rId%u", id);
}

void WriteRelationships(CXmlEmitter& xml, const std::vector<PartRelationship>& links)
{
  xml << XmlToken::Declaration() << XmlToken::StartTag("Relationships")
      << XmlToken::Attribute("xmlns") << ns::package_relationships;
  for (const PartRelationship& link : links)
    xml << XmlToken::StartTag("Relationship") << XmlToken::Attribute("Id")
        << RelationshipId(link.id) << XmlToken::Attribute("Type") << link.type
        << XmlToken::Attribute("Target") << link.target << XmlToken::EndTag();
  xml << XmlToken::EndTag("Relationships");
}

WorkbookRelIds::WorkbookRelIds(const CWorkbook& book)
{
  std::uint32_t next = Sheet(static_cast<std::uint32_t>(book.GetSheets().size()));
  if (HasFormulas(book))
    calc_chain = next++;
  first_chart = next;
  next += static_cast<std::uint32_t>(book.GetCharts().size());
  if (!book.GetSharedStrings().Empty())
    shared_strings = next++;
}

bool WritePackageRelationships(PartFolder& parts)
{
  return parts.Write(L"_rels/.rels", [](CXmlEmitter& xml) {
    WriteRelationships(xml, {{3, rel::extended_properties, L"docProps/app.xml"},
                             {2, rel::core_properties, L"docProps/core.xml"},
                             {1, rel::office_document, L"xl/workbook.xml"}});
  });
}

bool WriteWorkbookRelationships(const CWorkbook& book, PartFolder& parts)
{
  const auto& sheets = book.GetSheets();
  const auto& charts = book.GetCharts();
  const WorkbookRelIds ids(book);
  std::vector<PartRelationship> links{{WorkbookRelIds::styles, rel::styles, L"styles.xml"},
                                      {WorkbookRelIds::theme, rel::theme, L"theme/theme1.xml"}};
  for (std::uint32_t i = 0; i < sheets.size(); ++i)
    links.push_back({WorkbookRelIds::Sheet(i), rel::worksheet,
                     base::sprintf(L"worksheets/sheet%u.xml", sheets[i]->m_sheetNumber)});
  if (ids.calc_chain != 0)
    links.push_back({ids.calc_chain, rel::calc_chain, L"calcChain.xml"});
  for (std::uint32_t i = 0; i < charts.size(); ++i)
    links.push_back({ids.Chart(i), rel::chartsheet,
                     base::sprintf(L"chartsheets/sheet%u.xml", charts[i]->number)});
  if (ids.shared_strings != 0)
    links.push_back({ids.shared_strings, rel::shared_strings, L"sharedStrings.xml"});
  return parts.Write(L"xl/_rels/workbook.xml.rels",
                     [&links](CXmlEmitter& xml) { WriteRelationships(xml, links); });
}

} // namespace XlsxBook
