// One value of a row with its column name, size and column flags (udb_field), and
// one row (udb_record), which owns its fields and deletes each exactly once.
// Name look-ups ignore case and allocate nothing: they run for every cell.
#pragma once

#include "OLE/ole_var.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class udb_field : public ole_variant {
public:
  // VT_EMPTY, no name, size 0, both flags false.
  udb_field();
  udb_field(std::wstring name, std::uint32_t size, ole_variant value, bool not_null,
            bool auto_increment);
  udb_field(const udb_field& that);
  udb_field(udb_field&&) noexcept = default;
  udb_field& operator=(const udb_field&) = default;
  udb_field& operator=(udb_field&&) noexcept = default;
  ~udb_field() override = default;
  // Replaces the value only; name, size and flags stay.
  using ole_variant::operator=;

  // The value's type; engine fields may report their column's type for a value
  // they do not hold (a NULL cell).
  virtual VARTYPE get_type() const;

  const std::wstring& get_name() const { return name_; }
  // Elements of a one-dimensional byte array, UTF-16 units of a text (embedded
  // NULs counted), otherwise the size the engine reported.
  std::uint32_t get_size() const;
  // The size the engine reported, whatever the value.
  std::uint32_t get_stored_size() const { return size_; }
  bool is_not_null() const { return not_null_; }
  bool is_auto_increment() const { return auto_increment_; }

protected:
  std::uint32_t size_ = 0;  // a column or cell length
  std::wstring name_;
  bool not_null_ = false;
  bool auto_increment_ = false;
};

class udb_record {
public:
  using list = std::vector<std::unique_ptr<udb_field>>;

  udb_record() = default;
  virtual ~udb_record();
  // A copy would delete every field twice; copy fields one by one instead.
  udb_record(const udb_record&) = delete;
  udb_record& operator=(const udb_record&) = delete;
  udb_record(udb_record&&) noexcept = default;
  udb_record& operator=(udb_record&&) noexcept = default;

  // Deletes every field and leaves the record empty, ready to be filled again.
  void reset();

  std::size_t size() const { return fields_.size(); }
  bool empty() const { return fields_.empty(); }
  udb_field* operator[](std::size_t i) { return fields_[i].get(); }
  const udb_field* operator[](std::size_t i) const { return fields_[i].get(); }
  list::const_iterator begin() const { return fields_.begin(); }
  list::const_iterator end() const { return fields_.end(); }
  void reserve(std::size_t n) { fields_.reserve(n); }
  void push_back(std::unique_ptr<udb_field> field) { fields_.push_back(std::move(field)); }
  template <class T = udb_field, class... Args>
  T& emplace_back(Args&&... args)
  {
    auto field = std::make_unique<T>(std::forward<Args>(args)...);
    T& result = *field;
    fields_.push_back(std::move(field));
    return result;
  }

  // A field of that name exists (ignoring case).
  bool find_field(std::wstring_view name) const;
  // The first field of that name, or null.
  udb_field* find(std::wstring_view name);
  const udb_field* find(std::wstring_view name) const;
  // The first field of that name, or a shared empty field that lives as long as
  // the program.
  const udb_field& get_field(std::wstring_view name) const;
  // The sum of get_size over the fields that hold a value (VT_EMPTY excluded).
  std::int32_t get_total_size() const;

private:
  list fields_;
};
