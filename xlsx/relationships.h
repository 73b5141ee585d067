// The one writer of relationship parts (_rels/*.rels): the package's, the
// workbook's, a sheet's, a chart sheet's and a drawing's all list their links
// through it, so every one has the same shape; and the numbering of the
// workbook's links, which xl/workbook.xml names too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace XlsxBook {

class CWorkbook;
class CXmlEmitter;

// One link of a part: "rId<id>", its type (a rel:: name) and the target part,
// relative to the linking part's folder.
struct PartRelationship {
  std::uint32_t id = 0;
  const char* type = "";
  std::wstring target;
};

// The whole relationship part: declaration, root, one empty element per link
// in the order given.
void WriteRelationships(CXmlEmitter& xml, const std::vector<PartRelationship>& links);

// "rId<id>", the form every part uses to name a link.
std::string RelationshipId(std::uint32_t id);

// The workbook's links, numbered alike in xl/workbook.xml and its relationship
// part: rId1 styles, rId2 theme, the sheets from rId3 on, then the calculation
// chain when it exists, the chart sheets, and the shared strings when they exist.
struct WorkbookRelIds {
  explicit WorkbookRelIds(const CWorkbook& book);

  static constexpr std::uint32_t styles = 1;
  static constexpr std::uint32_t theme = 2;
  // The id of the sheet at position i (from 0).
  static std::uint32_t Sheet(std::uint32_t i) { return 3 + i; }
  // The id of the chart sheet at position i (from 0).
  std::uint32_t Chart(std::uint32_t i) const { return first_chart + i; }
  std::uint32_t calc_chain = 0;      // 0 when there is none
  std::uint32_t first_chart = 0;
  std::uint32_t shared_strings = 0;  // 0 when there is none
};

} // namespace XlsxBook
