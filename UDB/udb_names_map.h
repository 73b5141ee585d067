// How names changed when a database was written to a target with other naming
// rules: source name to generated name, for tables and for each table's fields.
// Maps iterate in UTF-16 code-unit order of their keys, so lookups that take the
// first match and rewrites that apply pairs in turn give the same result on every
// platform.
#pragma once

#include "platform/text_codec.h"

#include <map>
#include <string>

// Orders wide texts as their UTF-16 forms compare unit by unit.
using utf16_order = plat::utf16_less;

// Source name to generated name.
class t_names_map : public std::map<std::wstring, std::wstring, utf16_order> {
public:
  // Records the pair; a source name already present keeps its first generated name.
  void add(const std::wstring& source, const std::wstring& generated);
  // The generated name of the first pair, in key order, whose source name equals
  // the name ignoring case; the name itself when none does.
  std::wstring get_mapped_name(const std::wstring& name) const;
};

class udb_names_map {
public:
  // Records a table's generated name; a table already mapped keeps its first one.
  void add_tn_mapping(const std::wstring& source, const std::wstring& generated);
  // Records a table's field map under the table's (created) name; a table that
  // has a map already keeps it.
  void add_fn_map(const std::wstring& table, const t_names_map& fields);

  // The generated name of the table (exact comparison, or ignoring case), or the
  // name itself.
  std::wstring get_tn_mapped_name(const std::wstring& name, bool exact = false) const;
  // A source table other than `source` was created under `name` (both compared
  // exactly): a later table wanting that name is not it, but one of its own.
  bool is_taken_by_other_table(const std::wstring& name, const std::wstring& source) const;
  // The generated name of a field of a table, both matched exactly, or the field
  // name itself.
  std::wstring get_fn_mapped_name(const std::wstring& table, const std::wstring& field) const;

  // Rewrites every source table name and then every source field name (tables in
  // key order) standing as a whole word in the text.
  std::wstring do_global_replace1(const std::wstring& text, const std::wstring& open_quote,
                                  const std::wstring& close_quote) const;
  // Replaces each source name of the map, where it stands as a whole word (ASCII
  // letters compared without regard to case), by its generated name enclosed in
  // the quotes unless it already starts or ends with them.
  static std::wstring do_global_replace2(const std::wstring& text, const t_names_map& map,
                                         const std::wstring& open_quote,
                                         const std::wstring& close_quote);

private:
  t_names_map table_map_;
  std::map<std::wstring, t_names_map, utf16_order> field_maps_;
};
