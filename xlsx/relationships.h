// The one writer of relationship parts (_rels/*.rels): the package's, the
// workbook's, a sheet's, a chart sheet's and a drawing's all list their links
// through it, so every one has the same shape.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace XlsxBook {

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

} // namespace XlsxBook
