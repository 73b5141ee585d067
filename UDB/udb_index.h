// A table's indexes as the engines read and write them. udb_indexes keeps at most
// one index per name, ignoring case: a second definition of a name is merged into
// the first, which keeps the stronger kind (primary over unique constraint over unique).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class udb_index {
public:
  udb_index(const std::wstring& index_name, bool is_unique, bool is_primary,
            const std::vector<std::wstring>& field_names);

  // The given names, ignoring case, are the index's first fields in the same
  // order; an empty list is a prefix of every index.
  bool starts_with_fields(const std::vector<std::wstring>& names) const;

  std::wstring name;
  bool unique;
  bool primary;
  bool unique_constraint = false;
  std::vector<std::wstring> fields;  // the indexed columns, in index order
  // Per field, the characters (bytes of binary columns) of a prefix part; 0 for
  // a whole column. Empty when no part is a prefix.
  std::vector<std::uint32_t> prefix_lengths;
  // Stored and copied with the index; no operation of this layer reads it.
  std::vector<std::wstring> second_fields;
};

class udb_indexes {
public:
  using container = std::vector<udb_index>;

  // Appends the index, or merges it into the listed index of the same name.
  void push_back(const udb_index& index);

  // The listed index of that name, ignoring case; null when there is none.
  udb_index* find2(const std::wstring& name);
  const udb_index* find2(const std::wstring& name) const;
  // As find2, for a caller that is about to change the index it finds.
  udb_index* get_index(const std::wstring& name);
  // No listed index bears the name, ignoring case.
  bool is_acceptable_name(const std::wstring& name) const;

  // The name (exact comparison) is a field of some index, or of some primary
  // index when primary_only is set.
  bool is_idx_field(const std::wstring& field, bool primary_only) const;
  // The first index, in list order, whose fields start with the given names
  // decides: true when it is unique (a primary key or a unique constraint counts).
  bool has_index_on_fields(const std::vector<std::wstring>& names) const;
  // A unique index (a primary key or a unique constraint counts) of exactly the
  // given fields, in any order, names ignoring case, no field a prefix: what a
  // relation needs on the columns it refers to.
  bool has_unique_index_of(const std::vector<std::wstring>& names) const;

  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  void clear() { items_.clear(); }
  udb_index& operator[](std::size_t i) { return items_[i]; }
  const udb_index& operator[](std::size_t i) const { return items_[i]; }
  container::iterator begin() { return items_.begin(); }
  container::iterator end() { return items_.end(); }
  container::const_iterator begin() const { return items_.begin(); }
  container::const_iterator end() const { return items_.end(); }

private:
  container items_;
};
