// A property tree for the tests: nodes that own their values and their children,
// built in place (node.values[key] = value; node.child(name).values[...] = ...).
#pragma once

#include "UDB/udb_properties.h"

#include <map>
#include <memory>
#include <string>

class property_node : public udb_properties {
public:
  const values& get_values() const override { return values_; }
  const udb_properties* get_child(const std::wstring& name) const override
  {
    const auto it = children_.find(name);
    return it == children_.end() ? nullptr : it->second.get();
  }

  void set(const std::wstring& key, const std::wstring& value) { values_[key] = value; }
  property_node& child(const std::wstring& name)
  {
    auto& slot = children_[name];
    if (!slot)
      slot = std::make_unique<property_node>();
    return *slot;
  }

private:
  values values_;
  std::map<std::wstring, std::unique_ptr<property_node>> children_;
};
