// Index records and the merge rules that keep one index per name in a table's list.
// Names compare ignoring case over all of Unicode; field names inside is_idx_field
// compare exactly, as the column writers expect.
#include "UDB/udb_index.h"

#include "TK/tk_log.h"
#include "platform/case_fold.h"

#include <algorithm>
#include <utility>

udb_index::udb_index(const std::wstring& index_name, bool is_unique, bool is_primary,
                     const std::vector<std::wstring>& field_names)
    : name(index_name), unique(is_unique), primary(is_primary), fields(field_names)
{
  tk_log_message(1, L"udb_index::ctor('%s',%d,%d)", name, int(unique), int(primary));
}

bool udb_index::starts_with_fields(const std::vector<std::wstring>& names) const
{
  tk_log_message(1, L"udb_index(%s)::starts_with_fields", name);
  tk_log_message(1, "this.size=%d, that.size=%d", fields.size(), names.size());
  bool result = names.size() <= fields.size();
  for (std::size_t i = 0; result && i < names.size(); ++i) {
    if (!plat::equal_no_case(names[i], fields[i])) {
      tk_log_message(1, L"Field '%s' not found", names[i]);
      result = false;
    }
  }
  tk_log_message(1, result ? "starts_with_fields returns true" : "starts_with_fields returns false");
  return result;
}

void udb_indexes::push_back(const udb_index& index)
{
  tk_log_message(2, L"udb_indexes::push_back(%s)", index.name);
  udb_index* existing = find2(index.name);
  if (existing == nullptr) {
    tk_log_message(2, "Index does not exist, add it");
    items_.push_back(index);
    return;
  }
  tk_log_message(1, L"udb_indexes::get_index(%s)", index.name);
  udb_index& e = *existing;
  if (e.primary) {
    tk_log_message(2, "Primary key with the same name exists, skip it.");
    return;
  }
  if (index.primary) {
    tk_log_message(2, "Upgrade existing index to primary key.");
    e = index;
    return;
  }
  if (e.unique_constraint) {
    tk_log_message(2, "Unique constraint with the same name exists, skip it.");
    return;
  }
  if (index.unique_constraint) {
    tk_log_message(2, "Set unique constraint attributes for existing index.");
    e = index;  // the rules below now look at the replaced index
  }
  if (e.unique) {
    tk_log_message(2, "Unique index with the same name exists, skip it.");
    return;
  }
  if (index.unique) {
    tk_log_message(2, "Set unique attribute for existing index.");
    e = index;
  }
}

udb_index* udb_indexes::find2(const std::wstring& name)
{
  return const_cast<udb_index*>(std::as_const(*this).find2(name));
}

const udb_index* udb_indexes::find2(const std::wstring& name) const
{
  tk_log_message(1, "udb_indexes::find2");
  const auto it = std::find_if(items_.begin(), items_.end(), [&](const udb_index& i) {
    return plat::equal_no_case(i.name, name);
  });
  return it == items_.end() ? nullptr : &*it;
}

udb_index* udb_indexes::get_index(const std::wstring& name)
{
  tk_log_message(1, L"udb_indexes::get_index(%s)", name);
  return find2(name);
}

bool udb_indexes::is_acceptable_name(const std::wstring& name) const
{
  tk_log_message(1, L"udb_indexes::is_acceptable_name(%s)", name);
  return find2(name) == nullptr;
}

bool udb_indexes::is_idx_field(const std::wstring& field, bool primary_only) const
{
  tk_log_message(1, L"udb_indexes::is_idx_field(%s)", field);
  const bool found = std::any_of(items_.begin(), items_.end(), [&](const udb_index& i) {
    return (!primary_only || i.primary) &&
           std::find(i.fields.begin(), i.fields.end(), field) != i.fields.end();
  });
  tk_log_message(1, found ? "index field" : "non-index field");
  return found;
}

bool udb_indexes::has_index_on_fields(const std::vector<std::wstring>& names) const
{
  tk_log_message(1, "udb_indexes::has_index_on_fields");
  for (const udb_index& i : items_) {
    if (i.starts_with_fields(names))
      return i.unique || i.primary || i.unique_constraint;
  }
  return false;
}

bool udb_indexes::has_unique_index_of(const std::vector<std::wstring>& names) const
{
  tk_log_message(1, "udb_indexes::has_unique_index_of");
  const auto exactly = [&](const udb_index& index) {
    if (!(index.unique || index.primary || index.unique_constraint) || index.fields.size() != names.size())
      return false;
    if (std::any_of(index.prefix_lengths.begin(), index.prefix_lengths.end(),
                    [](std::uint32_t length) { return length != 0; }))
      return false;
    return std::all_of(names.begin(), names.end(), [&](const std::wstring& name) {
      return std::any_of(index.fields.begin(), index.fields.end(),
                         [&](const std::wstring& field) { return plat::equal_no_case(field, name); });
    });
  };
  return std::any_of(items_.begin(), items_.end(), exactly);
}
