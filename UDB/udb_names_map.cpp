// Name maps and the rewriting of names inside SQL texts (view definitions). A
// rewrite replaces whole words only, so a name inside a longer identifier stays.
#include "UDB/udb_names_map.h"

#include "TK/tk_log.h"
#include "platform/case_fold.h"
#include "platform/char_class.h"

#include <algorithm>

namespace {

// Lower-casing in the C library's "C" sense: A to Z only.
wchar_t ascii_lower(wchar_t c)
{
  return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

std::size_t find_ascii_no_case(const std::wstring& text, const std::wstring& what, std::size_t from)
{
  if (what.size() > text.size())
    return std::wstring::npos;
  for (std::size_t p = from; p + what.size() <= text.size(); ++p) {
    const bool same = std::equal(what.begin(), what.end(), text.begin() + std::ptrdiff_t(p),
                                 [](wchar_t a, wchar_t b) { return ascii_lower(a) == ascii_lower(b); });
    if (same)
      return p;
  }
  return std::wstring::npos;
}

} // namespace

void t_names_map::add(const std::wstring& source, const std::wstring& generated)
{
  tk_log_message(1, L"t_names_map::add(%s,%s)", source, generated);
  emplace(source, generated);
}

std::wstring t_names_map::get_mapped_name(const std::wstring& name) const
{
  tk_log_message(1, L"t_names_map::get_mapped_name(%s)", name);
  for (const auto& [source, generated] : *this) {
    if (plat::equal_no_case(source, name)) {
      tk_log_message(1, L"Got mapped name: %s", generated);
      return generated;
    }
  }
  return name;
}

void udb_names_map::add_tn_mapping(const std::wstring& source, const std::wstring& generated)
{
  tk_log_message(2, L"udb_names_map::add_tn_mapping(%s,%s)", source, generated);
  table_map_.emplace(source, generated);
}

void udb_names_map::add_fn_map(const std::wstring& table, const t_names_map& fields)
{
  tk_log_message(2, L"udb_names_map::add_fn_map(%s)", table);
  field_maps_.emplace(table, fields);
}

std::wstring udb_names_map::get_tn_mapped_name(const std::wstring& name, bool exact) const
{
  tk_log_message(1, L"udb_names_map::get_tn_mapped_name(%s)", name);
  for (const auto& [source, generated] : table_map_) {
    tk_log_message(1, L"Comparing with (%s,%s)", source, generated);
    if (exact ? source == name : plat::equal_no_case(source, name)) {
      tk_log_message(1, L"Got mapped name: %s", generated);
      return generated;
    }
  }
  return name;
}

bool udb_names_map::is_taken_by_other_table(const std::wstring& name, const std::wstring& source) const
{
  return std::any_of(table_map_.begin(), table_map_.end(), [&](const auto& pair) {
    return pair.second == name && pair.first != source;
  });
}

std::wstring udb_names_map::get_fn_mapped_name(const std::wstring& table,
                                               const std::wstring& field) const
{
  const auto map = field_maps_.find(table);
  if (map == field_maps_.end()) {
    tk_log_message(2, L"Table '%s' not found", table);
    return field;
  }
  const auto pair = map->second.find(field);
  return pair == map->second.end() ? field : pair->second;
}

std::wstring udb_names_map::do_global_replace1(const std::wstring& text,
                                               const std::wstring& open_quote,
                                               const std::wstring& close_quote) const
{
  tk_log_message(2, L"udb_names_map::do_global_replace1(%s)", text);
  std::wstring result = do_global_replace2(text, table_map_, open_quote, close_quote);
  for (const auto& [table, fields] : field_maps_)
    result = do_global_replace2(result, fields, open_quote, close_quote);
  return result;
}

std::wstring udb_names_map::do_global_replace2(const std::wstring& text, const t_names_map& map,
                                               const std::wstring& open_quote,
                                               const std::wstring& close_quote)
{
  tk_log_message(2, L"udb_names_map::do_global_replace2(%s)", text);
  std::wstring work = text;
  for (const auto& [source, generated] : map) {
    std::wstring replacement = generated;
    if (!open_quote.empty() && !replacement.starts_with(open_quote))
      replacement.insert(0, open_quote);
    if (!close_quote.empty() && !replacement.ends_with(close_quote))
      replacement += close_quote;
    tk_log_message(1, L"Testing pair ('%s','%s')", source, replacement);
    if (source.empty())
      continue;  // an empty name occurs everywhere and is no word
    std::size_t pos = 0;
    while ((pos = find_ascii_no_case(work, source, pos)) != std::wstring::npos) {
      tk_log_message(1, L"'%s' was found at pos=%d", source, pos);
      const std::size_t end = pos + source.size();
      const bool word = (pos == 0 || !IsCharAlphaNumericW(work[pos - 1])) &&
                        (end == work.size() || !IsCharAlphaNumericW(work[end]));
      if (word) {
        work.replace(pos, source.size(), replacement);
        pos += replacement.size();
      } else {
        pos = end;
      }
    }
  }
  return work;
}
