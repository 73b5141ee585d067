#include "TK/tk_errco.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"

tk_error_converter::tk_error_converter(std::size_t count, const tk_error_entry* table)
{
  tk_log_message(2, "tk_error_converter::ctor (map size=%d)", count);
  load_map(count, table);
}

void tk_error_converter::load_map(std::size_t count, const tk_error_entry* table)
{
  tk_log_message(2, "tk_error_converter::load_map (map size=%d)", count);
  if (table == nullptr)
    throw tk_mail_assertion("tk_errco", 43);
  for (std::size_t i = 0; i < count; ++i)
    map_.try_emplace(table[i].code, table[i].text ? table[i].text : "");
}

std::string tk_error_converter::convert(std::uint32_t code) const
{
  tk_log_message(2, "tk_error_converter::convert(%d)", code);
  const auto found = map_.find(code);
  if (found == map_.end()) {
    tk_log_message(1, "Error message not found!");
    return {};
  }
  tk_log_message(1, "Error message has been found: %s", found->second);
  return found->second;
}
