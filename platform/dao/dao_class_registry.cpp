// The class table behind CoCreateInstance: filled with the DBEngine classes
// before first use, changed only by register_class and unregister_class.
#include "platform/dao/dao_class_registry.h"

#include "platform/dao/dao_model.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace plat::dao {

namespace {

using class_table = std::vector<std::pair<CLSID, class_factory>>;

class_table& classes()
{
  static class_table table = {
      {clsid_dbengine_35, &create_dbengine},
      {clsid_dbengine_36, &create_dbengine},
      {clsid_dbengine_120, &create_dbengine},
  };
  return table;
}

} // namespace

void register_class(REFCLSID clsid, class_factory factory)
{
  unregister_class(clsid);
  classes().emplace_back(clsid, factory);
}

bool unregister_class(REFCLSID clsid)
{
  return std::erase_if(classes(), [&](const auto& entry) { return entry.first == clsid; }) > 0;
}

} // namespace plat::dao

HRESULT CoInitialize(void* /*reserved*/)
{
  return S_OK;
}

void CoUninitialize() {}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD /*context*/, REFIID iid, void** object)
{
  if (object == nullptr)
    return E_POINTER;
  *object = nullptr;
  if (outer != nullptr)
    return CLASS_E_NOAGGREGATION;
  const auto& table = plat::dao::classes();
  const auto found = std::find_if(table.begin(), table.end(), [&](const auto& entry) { return entry.first == clsid; });
  if (found == table.end())
    return REGDB_E_CLASSNOTREG;
  return found->second(iid, object);
}
