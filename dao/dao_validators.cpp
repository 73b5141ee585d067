// Column and index names for DAO targets.
#include "dao/dao_validators.h"

#include "TK/tk_log.h"
#include "TK/tk_string.h"
#include "UDB/udb_schema.h"

namespace {

bool is_blank(wchar_t c)
{
  return c == L' ';
}

} // namespace

dao_validator::dao_validator() : udb_validator(0)
{
  tk_log_message(1, "dao_validator::ctor");
  for (const wchar_t c : {L'`', L'!', L'[', L']', L'.', L'/', L'\''})
    add_illegal_char(c);
}

bool dao_validator::is_acceptable(const std::wstring& name) const
{
  tk_log_message(2, L"dao_validator::is_acceptable(%s)", name);
  if (name.empty() || is_blank(name.front()) || is_blank(name.back()))
    return false;
  return udb_validator::is_acceptable(name);
}

std::wstring dao_validator::get_safe_name(const std::wstring& wanted) const
{
  tk_log_message(2, L"dao_validator::get_safe_name(%s)", wanted);
  std::wstring name;
  name.reserve(wanted.size());
  for (const wchar_t c : wanted)
    if (c != L'[' && c != L']')
      name.push_back(c);
  const std::size_t first = name.find_first_not_of(L' ');
  const std::size_t last = name.find_last_not_of(L' ');
  name = first == std::wstring::npos ? std::wstring() : name.substr(first, last - first + 1);
  return udb_validator::get_safe_name(name);
}

dao_fn_validator::dao_fn_validator(const udb_schema& columns)
{
  tk_log_message(1, "dao_fn_validator::ctor");
  for (const auto& column : columns)
    add_existing_name(column->name);
}

dao_in_validator::dao_in_validator(const udb_indexes& indexes)
{
  tk_log_message(1, "dao_in_validator::ctor");
  add_illegal_char(L':');
  for (const udb_index& index : indexes)
    add_existing_name(index.name);
}
