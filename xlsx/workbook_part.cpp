// xl/workbook.xml and its relationship part. Both take their relationship ids
// from one WorkbookRelIds, so a sheet's r:id always names its own part.
#include "xlsx/workbook_part.h"

#include "xlsx/package_parts.h"
#include "xlsx/relationships.h"
#include "xlsx/shared_strings.h"
#include "xlsx/xlsx_book.h"
#include "xlsx/xlsx_she.h"
#include "xlsx/xml_emitter.h"
#include "xlsx/xml_text.h"

#include "platform/format.h"

namespace XlsxBook {

WorkbookRelIds::WorkbookRelIds(std::uint32_t sheet_count, bool has_calc_chain,
                               std::uint32_t chart_count, bool has_shared_strings)
{
  std::uint32_t next = Sheet(sheet_count);
  if (has_calc_chain)
    calc_chain = next++;
  first_chart = next;
  next += chart_count;
  if (has_shared_strings)
    shared_strings = next++;
}

bool CWorkbook::WriteWorkbookParts()
{
  const auto sheet_count = static_cast<std::uint32_t>(m_sheets.size());
  const auto chart_count = static_cast<std::uint32_t>(charts.size());
  const WorkbookRelIds ids(sheet_count, HasFormulas(), chart_count, !m_sharedStrings->Empty());

  std::vector<PartRelationship> links{{WorkbookRelIds::styles, rel::styles, L"styles.xml"},
                                      {WorkbookRelIds::theme, rel::theme, L"theme/theme1.xml"}};
  for (std::uint32_t i = 0; i < sheet_count; ++i)
    links.push_back({WorkbookRelIds::Sheet(i), rel::worksheet,
                     plat::sprintf(L"worksheets/sheet%u.xml", m_sheets[i]->m_sheetNumber)});
  if (ids.calc_chain != 0)
    links.push_back({ids.calc_chain, rel::calc_chain, L"calcChain.xml"});
  for (std::uint32_t i = 0; i < chart_count; ++i)
    links.push_back({ids.Chart(i), rel::chartsheet,
                     plat::sprintf(L"chartsheets/sheet%u.xml", charts[i]->number)});
  if (ids.shared_strings != 0)
    links.push_back({ids.shared_strings, rel::shared_strings, L"sharedStrings.xml"});
  if (!WritePart(m_partList[part_workbook_rels],
                 [&links](CXmlEmitter& xml) { WriteRelationships(xml, links); }))
    return false;

  return WritePart(m_partList[part_workbook], [&](CXmlEmitter& xml) {
    xml << XmlToken::Declaration() << XmlToken::StartTag("workbook")
        << XmlToken::Attribute("xmlns") << ns::spreadsheet_main
        << XmlToken::Attribute("xmlns:r") << ns::office_relationships;
    xml << XmlToken::StartTag("fileVersion") << XmlToken::Attribute("appName") << "xl"
        << XmlToken::Attribute("lastEdited") << 5 << XmlToken::Attribute("lowestEdited") << 5
        << XmlToken::Attribute("rupBuild") << 9302 << XmlToken::EndTag();
    xml << XmlToken::StartTag("workbookPr") << XmlToken::Attribute("codeName") << "ThisWorkbook"
        << XmlToken::Attribute("defaultThemeVersion") << 124226 << XmlToken::EndTag();
    xml << XmlToken::StartTag("bookViews") << XmlToken::StartTag("workbookView")
        << XmlToken::Attribute("xWindow") << 270 << XmlToken::Attribute("yWindow") << 630
        << XmlToken::Attribute("windowWidth") << 24615 << XmlToken::Attribute("windowHeight")
        << 11445 << XmlToken::EndTag() << XmlToken::EndTag();
    if (sheet_count + chart_count > 0) {
      const auto sheet = [&xml](const std::wstring& name, std::uint32_t sheet_id,
                                std::uint32_t rel_id) {
        xml << XmlToken::StartTag("sheet") << XmlToken::Attribute("name") << name
            << XmlToken::Attribute("sheetId") << sheet_id << XmlToken::Attribute("r:id")
            << RelationshipId(rel_id) << XmlToken::EndTag();
      };
      // Readers decode _xHHHH_ in these names, unlike in the other parts that
      // name the sheets, so a literal one is escaped here.
      xml << XmlToken::StartTag("sheets");
      for (std::uint32_t i = 0; i < sheet_count; ++i)
        sheet(XmlText(m_sheets[i]->GetTitle(), XmlTextUse::kSheetName), i + 1,
              WorkbookRelIds::Sheet(i));
      for (std::uint32_t i = 0; i < chart_count; ++i)
        sheet(XmlText(charts[i]->name, XmlTextUse::kSheetName), sheet_count + i + 1,
              ids.Chart(i));
      xml << XmlToken::EndTag();
    }
    xml << XmlToken::StartTag("calcPr") << XmlToken::Attribute("calcId") << 124519
        << XmlToken::EndTag();
  });
}

} // namespace XlsxBook
