// Per-column conversion rules, consulted in the order they were added. Nothing
// here is reached unless a program registers rules, which none does.
#include "UDB/udb_custom.h"

void udb_custom_conversion::add_rule(std::unique_ptr<udb_conversion_rule> rule)
{
  if (rule)
    rules_.push_back(std::move(rule));
}

template <class T>
const udb_conversion_rule* udb_custom_conversion::first_taker(const T& item)
{
  if (!exists())
    return nullptr;
  for (const auto& rule : instance().rules_) {
    if (rule->accepts(item))
      return rule.get();
  }
  return nullptr;
}

bool udb_custom_conversion::is_acceptable1(const t_ftd& column)
{
  return first_taker(column) != nullptr;
}

bool udb_custom_conversion::is_acceptable2(const ole_variant& value)
{
  return first_taker(value) != nullptr;
}

std::wstring udb_custom_conversion::handle1(const t_ftd& column)
{
  const udb_conversion_rule* rule = first_taker(column);
  return rule ? rule->handle(column) : std::wstring();
}

std::wstring udb_custom_conversion::handle2(const ole_variant& value)
{
  const udb_conversion_rule* rule = first_taker(value);
  return rule ? rule->handle(value) : std::wstring();
}
