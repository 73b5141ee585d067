// [Content_Types].xml: the type of every part of the package, written before
// the optional parts exist from what the workbook holds (shared strings,
// comments, formulas, sheets and chart sheets), so it lists exactly the parts
// the save goes on to write.
#include "xlsx/part_writers.h"

#include "xlsx/package_names.h"
#include "xlsx/part_folder.h"
#include "xlsx/shared_strings.h"
#include "xlsx/xlsx_book.h"
#include "xlsx/xlsx_she.h"
#include "xlsx/xml_emitter.h"

#include "base/format.h"

namespace XlsxBook {

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

bool WriteContentTypes(const CWorkbook& book, PartFolder& parts)
{
  return parts.Write(L"[Content_Types].xml", [&book](CXmlEmitter& xml) {
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
    if (!book.GetSharedStrings().Empty())
      Override(xml, "/xl/sharedStrings.xml",
               "application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml");
    if (!book.GetComments().empty()) {
      Default(xml, "vml", "application/vnd.openxmlformats-officedocument.vmlDrawing");
      for (const auto& sheet : book.GetSheets())
        if (sheet->m_hasComments)
          Override(xml, base::sprintf("/xl/comments%u.xml", sheet->m_sheetNumber),
                   "application/vnd.openxmlformats-officedocument.spreadsheetml.comments+xml");
    }
    for (const auto& sheet : book.GetSheets())
      Override(xml, base::sprintf("/xl/worksheets/sheet%u.xml", sheet->m_sheetNumber),
               "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml");
    if (HasFormulas(book))
      Override(xml, "/xl/calcChain.xml",
               "application/vnd.openxmlformats-officedocument.spreadsheetml.calcChain+xml");
    for (const auto& chart : book.GetCharts()) {
      Override(xml, base::sprintf("/xl/charts/chart%u.xml", chart->number),
               "application/vnd.openxmlformats-officedocument.drawingml.chart+xml");
      Override(xml, base::sprintf("/xl/drawings/drawing%u.xml", chart->number),
               "application/vnd.openxmlformats-officedocument.drawing+xml");
      Override(xml, base::sprintf("/xl/chartsheets/sheet%u.xml", chart->number),
               "application/vnd.openxmlformats-officedocument.spreadsheetml.chartsheet+xml");
    }
  });
}

} // namespace XlsxBook
