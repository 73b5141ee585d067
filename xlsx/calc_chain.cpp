// xl/calcChain.xml: the formula cells of every sheet in sheet order, each
// sheet's first cell naming its sheet. A workbook without formula cells has no
// calculation chain, and no part names one.
#include "xlsx/part_writers.h"

#include "xlsx/package_names.h"
#include "xlsx/part_folder.h"
#include "xlsx/xlsx_book.h"
#include "xlsx/xlsx_she.h"
#include "xlsx/xml_emitter.h"

namespace XlsxBook {

namespace {

bool ListsFormulas(const CWorksheet& sheet)
{
  return sheet.m_hasFormulas && !sheet.m_formulaRefs.empty();
}

} // namespace

bool HasFormulas(const CWorkbook& book)
{
  for (const auto& sheet : book.GetSheets())
    if (ListsFormulas(*sheet))
      return true;
  return false;
}

bool WriteCalcChain(const CWorkbook& book, PartFolder& parts)
{
  if (!HasFormulas(book))
    return true;
  return parts.Write(L"xl/calcChain.xml", [&book](CXmlEmitter& xml) {
    xml << XmlToken::Declaration() << XmlToken::StartTag("calcChain")
        << XmlToken::Attribute("xmlns") << ns::spreadsheet_main;
    const auto& sheets = book.GetSheets();
    for (std::size_t position = 0; position < sheets.size(); ++position) {
      const CWorksheet& sheet = *sheets[position];
      if (!ListsFormulas(sheet))
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
