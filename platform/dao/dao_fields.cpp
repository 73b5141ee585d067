// Field, Fields, Properties and Property: views of field definitions. A field
// of an appended table is frozen (its definition no longer changes); a field
// of a recordset also reaches the value of the row being added.
#include "platform/dao/dao_model.h"


namespace plat::dao {

namespace {

// The size a field of `type` always has; -1 for the types whose size is given.
LONG fixed_size(short type)
{
  switch (type) {
  case db_boolean: case db_byte: return 1;
  case db_integer: return 2;
  case db_long: case db_single: return 4;
  case db_currency: case db_double: case db_date: case db_big_int: case db_float: case db_time: return 8;
  case db_guid: case db_numeric: case db_decimal: return 16;
  case db_long_binary: case db_memo: case db_attachment: return 0;
  case db_binary: case db_text: return -1;
  default: raise(err_invalid_type);
  }
}

void set_size(field_data& field, LONG size)
{
  const LONG fixed = fixed_size(field.type);
  if (fixed >= 0) {
    field.size = fixed;  // as DAO does, a size given for these types is not kept
    return;
  }
  if (size < 0 || size > 255)
    raise(err_invalid_argument);
  field.size = size == 0 ? 255 : size;
}

void set_type(field_data& field, short type)
{
  const LONG fixed = fixed_size(type);
  field.type = type;
  field.attributes = (field.attributes & ~(db_fixed_field | db_variable_field)) |
                     (fixed > 0 ? db_fixed_field : db_variable_field);
  set_size(field, fixed >= 0 ? fixed : 255);
}

// The definition of `field`, about to change; 3251 once its table is appended.
field_data& changing(field_data& field)
{
  if (field.frozen)
    raise(err_not_supported);
  return field;
}

class property_object final : public com_object<DAOProperty> {
public:
  property_object(std::shared_ptr<error_state> errors, std::wstring_view name, const VARIANT& value)
      : errors_(std::move(errors)), name_(name)
  {
    if (FAILED(VariantCopy(&value_, &value)))
      throw std::bad_alloc();
  }
  ~property_object() override { VariantClear(&value_); }

  HRESULT get_Name(BSTR* name) override
  {
    return guarded(*errors_, [&] { put_text(name, name_); });
  }
  HRESULT get_Value(VARIANT* value) override
  {
    return guarded(*errors_, [&] {
      if (FAILED(VariantCopy(out_variant(value), &value_)))
        throw std::bad_alloc();
    });
  }

private:
  std::shared_ptr<error_state> errors_;
  std::wstring name_;
  VARIANT value_;
};

// The properties of a field, read when the collection is made: the built-in
// ones, then its user-defined ones (a workbook field has none, so Description
// and Format are not found there).
class properties_object final : public com_object<DAOProperties> {
public:
  properties_object(std::shared_ptr<error_state> errors, const field_data& field) : errors_(std::move(errors))
  {
    try {
      fill(field);
    } catch (...) {
      clear();
      throw;
    }
  }
  ~properties_object() override { clear(); }

  HRESULT get_Count(short* count) override
  {
    return guarded(*errors_, [&] { *out_value(count) = count_of(names_.size()); });
  }
  HRESULT get_Item(VARIANT item, DAOProperty** property) override
  {
    return guarded(*errors_, [&] {
      out_ptr(property);
      std::size_t at = 0;
      try {
        at = item_position(item, names_.size(), [&](std::size_t i) -> std::wstring_view { return names_[i]; });
      } catch (const dao_error&) {
        if (item.vt == VT_BSTR)
          raise(err_property_not_found);
        throw;
      }
      *property = make_com<property_object>(errors_, names_[at], values_[at]).detach();
    });
  }

private:
  void fill(const field_data& field)
  {
    const auto text = [&](std::wstring_view name, const std::wstring& value) {
      add(name).vt = VT_BSTR;
      values_.back().bstrVal = SysAllocStringLen(value.data(), static_cast<unsigned int>(value.size()));
      if (values_.back().bstrVal == nullptr)
        throw std::bad_alloc();
    };
    text(L"Name", field.name);
    add(L"Type").vt = VT_I2;
    values_.back().iVal = field.type;
    add(L"Size").vt = VT_I4;
    values_.back().lVal = field.size;
    add(L"Attributes").vt = VT_I4;
    values_.back().lVal = field.attributes;
    add(L"Required").vt = VT_BOOL;
    values_.back().boolVal = to_variant_bool(field.required);
    add(L"AllowZeroLength").vt = VT_BOOL;
    values_.back().boolVal = to_variant_bool(field.allow_zero_length);
    text(L"DefaultValue", field.default_value);
    for (const auto& [name, value] : field.user_properties)
      text(name, value);
  }
  void clear()
  {
    for (VARIANT& value : values_)
      VariantClear(&value);
  }
  // A new VT_EMPTY value named `name`; both lists keep their room reserved
  // first, so a value is never left unowned.
  VARIANT& add(std::wstring_view name)
  {
    names_.reserve(names_.size() + 1);
    values_.reserve(values_.size() + 1);
    names_.emplace_back(name);
    return values_.emplace_back();
  }

  std::shared_ptr<error_state> errors_;
  std::vector<std::wstring> names_;
  std::vector<VARIANT> values_;
};

class field_object final : public com_object<DAOField> {
public:
  field_object(std::shared_ptr<error_state> errors, field_ptr field, std::shared_ptr<value_source> values,
               std::size_t position)
      : errors_(std::move(errors)), field_(std::move(field)), values_(std::move(values)), position_(position)
  {
  }

  const field_ptr& data() const { return field_; }

  HRESULT get_Properties(DAOProperties** properties) override
  {
    return guarded(*errors_, [&] { *out_ptr(properties) = make_com<properties_object>(errors_, *field_).detach(); });
  }
  HRESULT get_Name(BSTR* name) override
  {
    return guarded(*errors_, [&] { put_text(name, field_->name); });
  }
  HRESULT put_Name(BSTR name) override
  {
    return guarded(*errors_, [&] {
      if (field_->in_collection)  // its collection keeps names unique
        raise(err_not_supported);
      changing(*field_).name = text_of(name);
    });
  }
  HRESULT get_Type(short* type) override
  {
    return guarded(*errors_, [&] { *out_value(type) = field_->type; });
  }
  HRESULT put_Type(short type) override
  {
    return guarded(*errors_, [&] { set_type(changing(*field_), type); });
  }
  HRESULT get_Size(LONG* size) override
  {
    return guarded(*errors_, [&] { *out_value(size) = field_->size; });
  }
  HRESULT put_Size(LONG size) override
  {
    return guarded(*errors_, [&] { set_size(changing(*field_), size); });
  }
  HRESULT get_Required(VARIANT_BOOL* required) override
  {
    return guarded(*errors_, [&] { *out_value(required) = to_variant_bool(field_->required); });
  }
  HRESULT put_Required(VARIANT_BOOL required) override
  {
    return guarded(*errors_, [&] { changing(*field_).required = required != VARIANT_FALSE; });
  }
  HRESULT get_AllowZeroLength(VARIANT_BOOL* allow) override
  {
    return guarded(*errors_, [&] { *out_value(allow) = to_variant_bool(field_->allow_zero_length); });
  }
  HRESULT put_AllowZeroLength(VARIANT_BOOL allow) override
  {
    return guarded(*errors_, [&] { changing(*field_).allow_zero_length = allow != VARIANT_FALSE; });
  }
  HRESULT get_DefaultValue(VARIANT* value) override
  {
    return guarded(*errors_, [&] {
      VARIANT* out = out_variant(value);
      VARIANT text;
      text.vt = VT_BSTR;
      text.bstrVal = SysAllocStringLen(field_->default_value.data(),
                                       static_cast<unsigned int>(field_->default_value.size()));
      if (text.bstrVal == nullptr)
        throw std::bad_alloc();
      *out = text;
    });
  }
  HRESULT put_DefaultValue(VARIANT value) override
  {
    return guarded(*errors_, [&] {
      field_data& field = changing(*field_);
      field.default_value = text_arg(value);
    });
  }
  HRESULT get_Attributes(LONG* attributes) override
  {
    return guarded(*errors_, [&] { *out_value(attributes) = field_->attributes; });
  }
  HRESULT put_Attributes(LONG attributes) override
  {
    return guarded(*errors_, [&] {
      if ((attributes & db_auto_incr_field) != 0 && field_->type != db_long)
        raise(err_invalid_argument);
      changing(*field_).attributes = attributes;
    });
  }
  HRESULT get_Value(VARIANT* value) override
  {
    return guarded(*errors_, [&] {
      VARIANT* out = out_variant(value);
      if (!values_)
        raise(err_invalid_operation);
      values_->get_value(position_, out);
    });
  }
  HRESULT put_Value(VARIANT value) override
  {
    return guarded(*errors_, [&] {
      if (!values_)
        raise(err_invalid_operation);
      values_->put_value(position_, value);
    });
  }
  HRESULT get_ForeignName(BSTR* name) override
  {
    return guarded(*errors_, [&] { put_text(name, field_->foreign_name); });
  }
  HRESULT put_ForeignName(BSTR name) override
  {
    return guarded(*errors_, [&] { changing(*field_).foreign_name = text_of(name); });
  }

private:
  std::shared_ptr<error_state> errors_;
  field_ptr field_;
  std::shared_ptr<value_source> values_;
  std::size_t position_;
};

// Adds a field made by CreateField to a list whose names are unique.
void append_field(field_list& list, IUnknown* object)
{
  const auto field = own_object<field_object, DAOField>(object);
  field_data& data = *field->data();
  if (list.frozen)
    raise(err_not_supported);
  if (data.in_collection)
    raise(err_invalid_operation);
  if (data.name.empty())
    raise(err_invalid_name, data.name);
  if (list.find(data.name) >= 0)
    raise(err_field_twice, data.name);
  list.items.push_back(field->data());
  data.in_collection = true;
}

class fields_object final : public com_object<DAOFields> {
public:
  fields_object(std::shared_ptr<error_state> errors, std::shared_ptr<field_list> list,
                std::shared_ptr<value_source> values)
      : errors_(std::move(errors)), list_(std::move(list)), values_(std::move(values))
  {
  }

  HRESULT get_Count(short* count) override
  {
    return guarded(*errors_, [&] { *out_value(count) = count_of(list_->items.size()); });
  }
  HRESULT get_Item(VARIANT item, DAOField** field) override
  {
    return guarded(*errors_, [&] {
      out_ptr(field);
      const std::size_t at =
          item_position(item, list_->items.size(), [&](std::size_t i) -> std::wstring_view { return list_->items[i]->name; });
      *field = make_com<field_object>(errors_, list_->items[at], values_, at).detach();
    });
  }
  HRESULT Append(IUnknown* field) override
  {
    return guarded(*errors_, [&] {
      if (values_)
        raise(err_not_supported);
      append_field(*list_, field);
    });
  }

private:
  std::shared_ptr<error_state> errors_;
  std::shared_ptr<field_list> list_;
  std::shared_ptr<value_source> values_;
};

class index_fields_object final : public com_object<DAOIndexFields> {
public:
  index_fields_object(std::shared_ptr<error_state> errors, std::shared_ptr<field_list> list)
      : errors_(std::move(errors)), list_(std::move(list))
  {
  }

  HRESULT get_Count(short* count) override
  {
    return guarded(*errors_, [&] { *out_value(count) = count_of(list_->items.size()); });
  }
  HRESULT get_Item(VARIANT item, VARIANT* field) override
  {
    return guarded(*errors_, [&] {
      VARIANT* out = out_variant(field);
      const std::size_t at =
          item_position(item, list_->items.size(), [&](std::size_t i) -> std::wstring_view { return list_->items[i]->name; });
      out->pdispVal = make_com<field_object>(errors_, list_->items[at], nullptr, at).detach();
      out->vt = VT_DISPATCH;
    });
  }
  HRESULT Append(IUnknown* field) override
  {
    return guarded(*errors_, [&] { append_field(*list_, field); });
  }

private:
  std::shared_ptr<error_state> errors_;
  std::shared_ptr<field_list> list_;
};

} // namespace

field_ptr make_field(std::wstring name, short type, LONG size)
{
  auto field = std::make_shared<field_data>();
  field->name = std::move(name);
  set_type(*field, type);
  set_size(*field, size);
  return field;
}

std::ptrdiff_t field_list::find(std::wstring_view name) const
{
  for (std::size_t i = 0; i < items.size(); ++i)
    if (equal_no_case(items[i]->name, name))
      return static_cast<std::ptrdiff_t>(i);
  return -1;
}

com_ref<DAOField> make_field_object(std::shared_ptr<error_state> errors, field_ptr field)
{
  return com_ref<DAOField>::adopt(make_com<field_object>(std::move(errors), std::move(field), nullptr, std::size_t{0}).detach());
}

com_ref<DAOField> create_field_object(std::shared_ptr<error_state> errors, const VARIANT& name,
                                      const VARIANT& type, const VARIANT& size)
{
  const LONG kind = long_arg(type, db_text);
  if (kind < 0 || kind > 0x7FFF)
    raise(err_invalid_type);
  return make_field_object(std::move(errors), make_field(text_arg(name), static_cast<short>(kind), long_arg(size, 0)));
}

com_ref<DAOFields> make_fields(std::shared_ptr<error_state> errors, std::shared_ptr<field_list> list,
                               std::shared_ptr<value_source> values)
{
  return com_ref<DAOFields>::adopt(
      make_com<fields_object>(std::move(errors), std::move(list), std::move(values)).detach());
}

com_ref<DAOIndexFields> make_index_fields(std::shared_ptr<error_state> errors, std::shared_ptr<field_list> list)
{
  return com_ref<DAOIndexFields>::adopt(make_com<index_fields_object>(std::move(errors), std::move(list)).detach());
}

} // namespace plat::dao
