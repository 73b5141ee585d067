// The writers of the workbook's parts, one part file each, in the order
// CWorkbook::Save calls them. Each reads only the piece of the workbook named in
// its parameters and writes its part into the PartFolder; false, with the reason
// in PartFolder::Error(), when a part file could not be written completely.
// The worksheets write their own parts (xlsx/xlsx_she.h), the chart sheets
// theirs (xlsx/charts/chart_parts.h), and the comments' writer is
// xlsx/comments/comments.h.
#pragma once

#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace XlsxBook {

class CSharedStrings;
class CWorkbook;
class PartFolder;
class StyleRegistry;

// docProps/core.xml (document_properties.cpp): the author and one moment for
// both dates.
bool WriteCorePart(PartFolder& parts);
// _rels/.rels (relationships.cpp): the package's links to the properties and
// the workbook.
bool WritePackageRelationships(PartFolder& parts);
// docProps/app.xml (document_properties.cpp): the sheet and chart sheet titles.
bool WriteAppPart(const CWorkbook& book, PartFolder& parts);
// [Content_Types].xml (content_types.cpp): every part the workbook has or will
// have once saved.
bool WriteContentTypes(const CWorkbook& book, PartFolder& parts);
// xl/calcChain.xml (calc_chain.cpp), only when a sheet lists formula cells.
bool WriteCalcChain(const CWorkbook& book, PartFolder& parts);
// xl/theme/theme1.xml (theme.cpp): the same fixed theme in every package.
bool WriteTheme(PartFolder& parts);
// xl/sharedStrings.xml (shared_strings.cpp), only when a text was stored.
bool WriteSharedStrings(const CSharedStrings& strings, PartFolder& parts);
// xl/styles.xml (styles_part.cpp), from the style registry.
bool WriteStyles(const StyleRegistry& styles, PartFolder& parts);
// xl/_rels/workbook.xml.rels (relationships.cpp) and xl/workbook.xml
// (workbook_part.cpp), numbered alike by WorkbookRelIds.
bool WriteWorkbookRelationships(const CWorkbook& book, PartFolder& parts);
bool WriteWorkbookPart(const CWorkbook& book, PartFolder& parts);

// Whether a sheet lists formula cells, which the calculation chain then holds
// (calc_chain.cpp).
bool HasFormulas(const CWorkbook& book);
// The author written into the document properties and the comments: USERNAME,
// else USER, else LOGNAME, else the account's name; "Unknown" when none of them
// gives one (document_properties.cpp).
std::wstring DocumentAuthor();
// "2024-03-05T09:07:01Z": the moment in UTC, as the document dates want it.
std::string W3cdtfTime(std::time_t moment);

} // namespace XlsxBook
