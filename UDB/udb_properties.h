// The property tree a caller hands to an engine that writes databases: a node's
// own keys and values, and its children by name (database, then tables, then
// columns). The caller owns the tree; engines only read it.
#pragma once

#include <map>
#include <string>

class udb_properties {
public:
  using values = std::map<std::wstring, std::wstring>;

  virtual ~udb_properties() = default;
  // The node's own keys, compared exactly.
  virtual const values& get_values() const = 0;
  // The named child, or null when the node has none.
  virtual const udb_properties* get_child(const std::wstring& name) const = 0;
};
