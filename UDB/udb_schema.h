// Column descriptors (t_ftd) and the ordered columns of one table or query
// (udb_schema). A copy of a schema shares its descriptors: a descriptor lives as
// long as any schema that lists it. Names are looked up ignoring case.
#pragma once

#include "OLE/ole_var.h"
#include "platform/oleaut/vartype.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class udb_field;

// One column. The members are plain: schema readers refine a descriptor after
// building it (precision, scale, default value, sub-type, comment).
struct t_ftd {
  // The empty descriptor: every number 0, texts empty, VT_EMPTY, no default.
  t_ftd() = default;
  // Describes the column a field came from.
  t_ftd(const udb_field& field, const ole_variant& default_value, std::uint32_t sub_type);
  t_ftd(std::uint32_t size, const std::wstring& name, VARTYPE vartype, bool not_null,
        bool auto_increment, const ole_variant& default_value, std::uint32_t sub_type,
        const std::wstring& native_type);

  std::uint32_t size = 0;       // characters for text, bytes for binary data
  std::uint32_t precision = 0;  // set with scale for decimal columns only
  // Digits after the point: of a decimal column, or of the seconds of a date,
  // time or timestamp column (0: whole seconds).
  std::uint32_t scale = 0;
  std::wstring name;
  VARTYPE vartype = VT_EMPTY;
  // The target's own column type, used verbatim when not empty.
  std::wstring native_type;
  bool auto_increment = false;
  bool not_null = false;
  ole_variant default_value;  // VT_EMPTY when the column has none
  // Refines the VARTYPE for the engine that set it (DATETIME, DATE, TIME,
  // BIGINT signedness, CURRENT_TIMESTAMP default, GUID, attachment ...); 0 when none.
  std::uint32_t dw_reserved = 0;
  std::wstring comment;
};

class udb_schema {
public:
  using descriptor = std::shared_ptr<t_ftd>;
  using list = std::vector<descriptor>;

  // The flag travels with every copy; this layer gives it no meaning.
  explicit udb_schema(bool flag = true);
  udb_schema(const udb_schema&) = default;
  udb_schema& operator=(const udb_schema&) = default;
  udb_schema(udb_schema&&) = default;
  udb_schema& operator=(udb_schema&&) = default;
  virtual ~udb_schema();

  bool get_flag() const { return flag_; }

  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  const descriptor& operator[](std::size_t i) const { return items_[i]; }
  list::const_iterator begin() const { return items_.begin(); }
  list::const_iterator end() const { return items_.end(); }
  void reserve(std::size_t n) { items_.reserve(n); }
  void clear() { items_.clear(); }
  // Appends a descriptor that other schemas may list too.
  void push_back(descriptor d) { items_.push_back(std::move(d)); }
  template <class... Args>
  t_ftd& emplace_back(Args&&... args)
  {
    items_.push_back(std::make_shared<t_ftd>(std::forward<Args>(args)...));
    return *items_.back();
  }

  // A descriptor of that name exists.
  bool find_field(std::wstring_view name) const;
  // The first descriptor of that name, or null.
  t_ftd* find(std::wstring_view name);
  const t_ftd* find(std::wstring_view name) const;
  // The first descriptor of that name. When there is none: get_field2 gives the
  // shared empty descriptor, and get_field1 an empty descriptor that a caller may
  // change without harm to anyone else (it is emptied again at the next miss).
  t_ftd& get_field1(std::wstring_view name);
  const t_ftd& get_field2(std::wstring_view name) const;
  // -1 when there is no such column.
  std::int32_t get_field_size(std::wstring_view name) const;
  // VT_NULL when there is no such column.
  VARTYPE get_field_type(std::wstring_view name) const;

private:
  const t_ftd* lookup(std::wstring_view name) const;

  list items_;
  bool flag_;
};
