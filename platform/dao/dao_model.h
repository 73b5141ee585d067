// What the DAO objects of both drivers share: the error list that Errors
// shows, and the definitions that TableDef, Field, Index and Relation objects
// are views of. Objects hold these by shared_ptr and a driver's session holds
// no object, so references never form a cycle.
#pragma once

#include "platform/case_fold.h"
#include "platform/dao/dao_error.h"
#include "platform/dao/dao_interfaces.h"

#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace plat::dao {

// DAO error numbers this engine raises itself (the driver raises its own).
enum dao_number : std::int32_t {
  err_out_of_memory = 7,
  err_unexpected = 3000,
  err_invalid_argument = 3001,
  err_table_exists = 3010,
  err_no_add_new = 3020,
  err_no_current_record = 3021,
  err_read_only = 3027,
  err_input_not_found = 3078,
  err_invalid_name = 3125,
  err_invalid_sql = 3129,
  err_no_isam = 3170,
  err_field_twice = 3191,
  err_invalid_operation = 3219,
  err_not_supported = 3251,
  err_invalid_type = 3259,
  err_no_field = 3264,
  err_item_not_found = 3265,
  err_property_not_found = 3270,
  err_conversion = 3421,
  err_object_closed = 3420,
  err_no_access_driver = 3633,
};

// Raises dao_error with the engine's text for the number; `name` fills the
// texts that name an object.
[[noreturn]] void raise(dao_number number);
[[noreturn]] void raise(dao_number number, std::wstring_view name);

// The errors of the last failed call, newest first; the DBEngine and every
// object made from it share one list.
class error_state {
public:
  struct entry {
    std::int32_t number;
    std::wstring description;
  };

  // Replaces the list with the exception in flight and returns its HRESULT.
  // Call only inside a catch block.
  HRESULT fail_with_current() noexcept;
  const std::vector<entry>& entries() const { return entries_; }

private:
  std::vector<entry> entries_;
};

// Runs a member's body: S_OK, or the failure recorded in `errors`.
template <class Body>
HRESULT guarded(error_state& errors, Body&& body) noexcept
{
  try {
    std::forward<Body>(body)();
    return S_OK;
  } catch (...) {
    return errors.fail_with_current();
  }
}

// One counted reference to an object of this engine.
template <class T>
class com_ref {
public:
  com_ref() = default;
  // Adopts a reference the caller already holds.
  static com_ref adopt(T* p) noexcept
  {
    com_ref r;
    r.p_ = p;
    return r;
  }
  com_ref(const com_ref& other) : p_(other.p_)
  {
    if (p_ != nullptr)
      p_->AddRef();
  }
  com_ref& operator=(com_ref other) noexcept
  {
    std::swap(p_, other.p_);
    return *this;
  }
  ~com_ref()
  {
    if (p_ != nullptr)
      p_->Release();
  }
  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  // Hands the reference to an out-parameter.
  T* detach() noexcept { return std::exchange(p_, nullptr); }

private:
  T* p_ = nullptr;
};

// Makes a new object with one reference, the caller's.
template <class T, class... Args>
com_ref<T> make_com(Args&&... args)
{
  return com_ref<T>::adopt(new T(std::forward<Args>(args)...));
}

// The engine's own object behind an interface pointer a caller hands back
// (Append); null when it is not one of ours. `Impl` derives from `Interface`.
template <class Impl, class Interface>
com_ref<Impl> own_object(IUnknown* object)
{
  if (object == nullptr)
    raise(err_invalid_argument);
  void* raw = nullptr;
  if (FAILED(object->QueryInterface(Interface::iid, &raw)) || raw == nullptr)
    raise(err_invalid_argument);
  auto* asked = static_cast<Interface*>(raw);
  auto* impl = dynamic_cast<Impl*>(asked);
  if (impl == nullptr) {
    asked->Release();
    raise(err_invalid_argument);
  }
  return com_ref<Impl>::adopt(impl);
}

// Out-parameters: cleared first, so that a failure leaves null or VT_EMPTY.
template <class T>
T** out_ptr(T** out)
{
  if (out == nullptr)
    raise(err_invalid_argument);
  *out = nullptr;
  return out;
}
VARIANT* out_variant(VARIANT* out);
template <class T>
T* out_value(T* out)
{
  if (out == nullptr)
    raise(err_invalid_argument);
  *out = T{};
  return out;
}
void put_text(BSTR* out, std::wstring_view text);
inline VARIANT_BOOL to_variant_bool(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }

// Arguments: a VARIANT left out (VT_EMPTY, or VT_ERROR "parameter not
// found"), else coerced; a value that does not convert raises 3001.
bool is_missing(const VARIANT& value);
LONG long_arg(const VARIANT& value, LONG if_missing);
bool bool_arg(const VARIANT& value, bool if_missing);
std::wstring text_arg(const VARIANT& value);
std::wstring text_of(BSTR text);
// A collection member by position (any integer kind) or by name (VT_BSTR,
// ignoring case); 3265 when there is none. `name_of(i)` names member i.
std::size_t position_arg(const VARIANT& item, std::size_t count);
template <class NameOf>
std::size_t item_position(const VARIANT& item, std::size_t count, NameOf&& name_of)
{
  if (item.vt != VT_BSTR)
    return position_arg(item, count);
  const std::wstring_view name(item.bstrVal, SysStringLen(item.bstrVal));
  for (std::size_t i = 0; i < count; ++i)
    if (equal_no_case(name_of(i), name))
      return i;
  raise(err_item_not_found);
}

// A short count as the collections report it.
short count_of(std::size_t count);

// OpenRecordset's type argument: dynaset when missing, 3001 outside 0..0x7FFF.
short recordset_type_arg(const VARIANT& type);
// How a query's rows open for a recordset `type` and `options`: a query has no
// table-type recordset (3219); any type but dynaset, snapshot and forward-only
// is 3001, and so is append-only asked together with read-only.
struct recordset_mode {
  bool read_only;  // asked for, or implied by a type that is not dynaset
  bool append_only;
};
recordset_mode recordset_mode_of(short type, LONG options);

// Definitions ---------------------------------------------------------------

struct field_data {
  std::wstring name;
  short type = db_text;
  LONG size = 255;
  bool required = false;
  bool allow_zero_length = false;
  std::wstring default_value;
  LONG attributes = db_variable_field;
  std::wstring foreign_name;
  // User-defined text properties (an Access field's Description and Format),
  // listed after the built-in ones; a workbook field has none.
  std::vector<std::pair<std::wstring, std::wstring>> user_properties;
  // Part of an appended table: no longer changes.
  bool frozen = false;
  // Appended to a collection (a field belongs to one).
  bool in_collection = false;
};
using field_ptr = std::shared_ptr<field_data>;

// A new field definition; an unknown type raises 3259. Fixed-size types
// report their own size whatever `size` says; text takes 1..255 (0: 255).
field_ptr make_field(std::wstring name, short type, LONG size);

struct field_list {
  std::vector<field_ptr> items;
  // The list of an appended table: Append refuses.
  bool frozen = false;

  std::ptrdiff_t find(std::wstring_view name) const;
};

struct index_data {
  std::wstring name;
  bool primary = false;
  bool unique = false;
  bool foreign = false;
  // Part of a stored table: no longer changes.
  bool frozen = false;
  std::shared_ptr<field_list> fields = std::make_shared<field_list>();
};
using index_ptr = std::shared_ptr<index_data>;

struct table_data {
  std::wstring name;
  LONG attributes = 0;
  std::shared_ptr<field_list> fields = std::make_shared<field_list>();
  // The workbook's sheet once appended (or read from the file); -1 before.
  std::ptrdiff_t sheet = -1;
};
using table_ptr = std::shared_ptr<table_data>;

struct relation_data {
  std::wstring name, table, foreign_table;
  LONG attributes = 0;
  std::shared_ptr<field_list> fields = std::make_shared<field_list>();
};

// Marks a list and its fields as part of a stored table, index or relation.
inline void freeze(field_list& list)
{
  list.frozen = true;
  for (const field_ptr& field : list.items)
    field->frozen = true;
}

// Where the fields of a recordset find the values of the row being added.
class value_source {
public:
  virtual void get_value(std::size_t position, VARIANT* value) = 0;
  virtual void put_value(std::size_t position, const VARIANT& value) = 0;

protected:
  ~value_source() = default;
};

// Factories of the objects, for the objects that hand each other out. The
// fields of a list with a value source are a recordset's: they give values,
// and their definitions do not change.
com_ref<DAOField> make_field_object(std::shared_ptr<error_state> errors, field_ptr field);
// CreateField of a table, an index or a relation: a new field from the call's
// name, type (text when missing; outside 0..0x7FFF raises 3259) and size.
com_ref<DAOField> create_field_object(std::shared_ptr<error_state> errors, const VARIANT& name,
                                      const VARIANT& type, const VARIANT& size);
com_ref<DAOFields> make_fields(std::shared_ptr<error_state> errors, std::shared_ptr<field_list> list,
                               std::shared_ptr<value_source> values = {});
com_ref<DAOIndexFields> make_index_fields(std::shared_ptr<error_state> errors, std::shared_ptr<field_list> list);
// A collection of a workbook that is always empty and takes nothing: its
// QueryDefs and Relations, and the Indexes of a sheet.
template <class Collection, class Member>
class empty_collection final : public com_object<Collection> {
public:
  explicit empty_collection(std::shared_ptr<error_state> errors) : errors_(std::move(errors)) {}

  HRESULT get_Count(short* count) override
  {
    return guarded(*errors_, [&] { *out_value(count) = 0; });
  }
  HRESULT get_Item(VARIANT item, Member** member) override
  {
    return guarded(*errors_, [&] {
      out_ptr(member);
      item_position(item, 0, [](std::size_t) { return std::wstring_view(); });
    });
  }
  HRESULT Append(IUnknown* /*member*/) override
  {
    return guarded(*errors_, [&] { raise(err_not_supported); });
  }

private:
  std::shared_ptr<error_state> errors_;
};

// The Indexes of a sheet, which holds none.
com_ref<DAOIndexes> make_empty_indexes(std::shared_ptr<error_state> errors);
com_ref<DAOIndex> make_index(std::shared_ptr<error_state> errors, std::wstring name);
// A view of an existing index definition (an Access table's).
com_ref<DAOIndex> make_index_object(std::shared_ptr<error_state> errors, index_ptr index);
// The definition behind an Index this engine made; 3001 for any other object.
index_ptr index_of(IUnknown* index);
com_ref<DAOErrors> make_errors(std::shared_ptr<error_state> errors);
// A new DBEngine with its own error list, asked for through `iid` (the
// registered factory of the DBEngine classes).
HRESULT create_dbengine(REFIID iid, void** object);

} // namespace plat::dao
