// xl/workbook.xml: the workbook's sheets and chart sheets in order, each named
// by the relationship id WorkbookRelIds gives its part, so a sheet's r:id always
// names its own part in xl/_rels/workbook.xml.rels.
#include "xlsx/part_writers.h"

#include "xlsx/package_names.h"
#include "xlsx/part_folder.h"
#include "xlsx/relationships.h"
#include "xlsx/xlsx_book.h"
#include "xlsx/xlsx_she.h"
#include "xlsx/xml_emitter.h"
#include "xlsx/xml_text.h"

namespace XlsxBook {

bool WriteWorkbookPart(const CWorkbook& book, PartFolder& parts)
{
  const auto& sheets = book.GetSheets();
  const auto& charts = book.GetCharts();
  const auto sheet_count = static_cast<std::uint32_t>(sheets.size());
  const auto chart_count = static_cast<std::uint32_t>(charts.size());
  const WorkbookRelIds ids(book);
  return parts.Write(L"xl/workbook.xml", [&](CXmlEmitter& xml) {
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
        sheet(XmlText(sheets[i]->GetTitle(), XmlTextUse::kSheetName), i + 1,
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
