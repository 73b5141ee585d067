// Relationship parts. Targets are part names the writer makes itself, so they
// need no escaping.
#include "xlsx/relationships.h"

#include "xlsx/package_parts.h"
#include "xlsx/xml_emitter.h"

#include "platform/format.h"

namespace XlsxBook {

std::string RelationshipId(std::uint32_t id)
{
  return plat::sprintf("rId%u", id);
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

} // namespace XlsxBook
