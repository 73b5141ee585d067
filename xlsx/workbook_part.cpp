// xl/workbook.xml and its relationship part. Both take their relationship ids
// from one WorkbookRelIds, so a sheet's r:id always names its own part.
#include "xlsx/workbook_part.h"

#include "xlsx/package_parts.h"
#include "xlsx/shared_strings.h"
#include "xlsx/xlsx_book.h"
#include "xlsx/xlsx_she.h"
#include "xlsx/xml_emitter.h"

#include "platform/format.h"

namespace XlsxBook {

WorkbookRelIds::WorkbookRelIds(std::uint32_t sheet_count, bool has_calc_chain,
                               bool has_shared_strings)
{
  std::uint32_t next = Sheet(sheet_count);
  if (has_calc_chain)
    calc_chain = next++;
  // Chart sheets would take their ids here; none are ever added.
  if (has_shared_strings)
    shared_strings = next++;
}

namespace {

std::string RelId(std::uint32_t id)
{
  return plat::sprintf("rId%u", id);
}

void Relationship(CXmlEmitter& xml, std::uint32_t id, const char* type, const std::string& target)
{
  xml << XmlToken::StartTag("Relationship") << XmlToken::Attribute("Id") << RelId(id)
      << XmlToken::Attribute("Type") << type << XmlToken::Attribute("Target") << target
      << XmlToken::EndTag();
}

} // namespace

bool CWorkbook::WriteWorkbookParts()
{
  bool formulas = false;
  for (const auto& sheet : m_sheets)
    formulas = formulas || sheet->m_hasFormulas;
  const auto sheet_count = static_cast<std::uint32_t>(m_sheets.size());
  const WorkbookRelIds ids(sheet_count, formulas, !m_sharedStrings->Empty());

  const bool rels = WritePart(m_partList[part_workbook_rels], [&](CXmlEmitter& xml) {
    xml << XmlToken::Declaration() << XmlToken::StartTag("Relationships")
        << XmlToken::Attribute("xmlns") << ns::package_relationships;
    Relationship(xml, WorkbookRelIds::styles, rel::styles, "styles.xml");
    Relationship(xml, WorkbookRelIds::theme, rel::theme, "theme/theme1.xml");
    for (std::uint32_t i = 0; i < sheet_count; ++i)
      Relationship(xml, WorkbookRelIds::Sheet(i), rel::worksheet,
                   plat::sprintf("worksheets/sheet%u.xml", m_sheets[i]->m_sheetNumber));
    if (ids.calc_chain != 0)
      Relationship(xml, ids.calc_chain, rel::calc_chain, "calcChain.xml");
    if (ids.shared_strings != 0)
      Relationship(xml, ids.shared_strings, rel::shared_strings, "sharedStrings.xml");
  });
  if (!rels)
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
    if (sheet_count > 0) {
      xml << XmlToken::StartTag("sheets");
      for (std::uint32_t i = 0; i < sheet_count; ++i)
        xml << XmlToken::StartTag("sheet") << XmlToken::Attribute("name")
            << m_sheets[i]->GetSafeTitle() << XmlToken::Attribute("sheetId") << i + 1
            << XmlToken::Attribute("r:id") << RelId(WorkbookRelIds::Sheet(i)) << XmlToken::EndTag();
      xml << XmlToken::EndTag();
    }
    xml << XmlToken::StartTag("calcPr") << XmlToken::Attribute("calcId") << 124519
        << XmlToken::EndTag();
  });
}

} // namespace XlsxBook
