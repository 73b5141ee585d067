// The engine's error texts, the Errors collection and the argument rules every
// member shares. Every failure of every member passes through
// error_state::fail_with_current, so Errors(0) always describes the last one.
#include "platform/dao/dao_model.h"

#include "platform/text_codec.h"

#include <string>

namespace plat::dao {

namespace {

const char* text_of(dao_number number)
{
  switch (number) {
  case err_out_of_memory: return "Out of memory.";
  case err_unexpected: return "Unexpected error in the database engine.";
  case err_invalid_argument: return "Invalid argument.";
  case err_table_exists: return "Table '%s' already exists.";
  case err_no_add_new: return "Update or CancelUpdate without AddNew or Edit.";
  case err_no_current_record: return "No current record.";
  case err_read_only: return "Cannot update. Database or object is read-only.";
  case err_input_not_found: return "The database engine cannot find the input table or query '%s'.";
  case err_invalid_name: return "'%s' is not a valid name.";
  case err_invalid_sql: return "Invalid SQL statement; a workbook is read only through SELECT * FROM [name].";
  case err_no_isam: return "Could not find installable ISAM.";
  case err_field_twice: return "Cannot define field '%s' more than once.";
  case err_invalid_operation: return "Invalid operation.";
  case err_not_supported: return "Operation is not supported for this type of object.";
  case err_invalid_type: return "Invalid field data type.";
  case err_no_field: return "No field defined--cannot append TableDef or Index.";
  case err_item_not_found: return "Item not found in this collection.";
  case err_property_not_found: return "Property not found.";
  case err_conversion: return "Data type conversion error.";
  case err_object_closed: return "Object invalid or no longer set.";
  case err_no_access_driver: return "Cannot load the Microsoft Access database driver: this engine writes Excel workbooks only.";
  }
  return "Unexpected error in the database engine.";
}

} // namespace

void raise(dao_number number)
{
  raise(number, {});
}

void raise(dao_number number, std::wstring_view name)
{
  std::string text = text_of(number);
  if (const auto at = text.find("%s"); at != std::string::npos)
    text.replace(at, 2, to_utf8(name));
  throw dao_error(number, text);
}

HRESULT error_state::fail_with_current() noexcept
{
  std::int32_t number = err_unexpected;
  std::string description;
  try {
    try {
      throw;
    } catch (const dao_error& e) {
      number = e.number();
      description = e.what();
    } catch (const std::bad_alloc&) {
      number = err_out_of_memory;
      description = text_of(err_out_of_memory);
    } catch (const std::exception& e) {
      description = e.what();
    } catch (...) {
      description = text_of(err_unexpected);
    }
    entries_.clear();
    std::wstring wide;
    utf8_to_wide_lenient(description, wide);
    entries_.push_back({number, std::move(wide)});
  } catch (...) {
    // No room even for the entry: the list keeps what it had, the HRESULT
    // still tells the failure.
    entries_.clear();
  }
  return dao_hresult(number);
}

VARIANT* out_variant(VARIANT* out)
{
  if (out == nullptr)
    raise(err_invalid_argument);
  VariantInit(out);
  return out;
}

void put_text(BSTR* out, std::wstring_view text)
{
  *out_ptr(out) = nullptr;
  BSTR copy = SysAllocStringLen(text.data(), static_cast<unsigned int>(text.size()));
  if (copy == nullptr)
    throw std::bad_alloc();
  *out = copy;
}

bool is_missing(const VARIANT& value)
{
  constexpr SCODE param_not_found = static_cast<SCODE>(0x80020004u);
  return value.vt == VT_EMPTY || (value.vt == VT_ERROR && value.scode == param_not_found);
}

namespace {

// The value converted to `type`; 3001 when it does not convert.
VARIANT converted(const VARIANT& value, VARTYPE type)
{
  VARIANT result;
  if (FAILED(VariantChangeType(&result, &value, 0, type)))
    raise(err_invalid_argument);
  return result;
}

} // namespace

LONG long_arg(const VARIANT& value, LONG if_missing)
{
  if (is_missing(value))
    return if_missing;
  return converted(value, VT_I4).lVal;
}

short recordset_type_arg(const VARIANT& type)
{
  const LONG kind = long_arg(type, db_open_dynaset);
  if (kind < 0 || kind > 0x7FFF)
    raise(err_invalid_argument);
  return static_cast<short>(kind);
}

recordset_mode recordset_mode_of(short type, LONG options)
{
  constexpr short open_table = 1, open_snapshot = 4, open_forward_only = 8;
  if (type == open_table)
    raise(err_invalid_operation);
  if (type != db_open_dynaset && type != open_snapshot && type != open_forward_only)
    raise(err_invalid_argument);
  const recordset_mode mode{(options & db_read_only) != 0 || type != db_open_dynaset,
                            (options & db_append_only) != 0};
  if (mode.append_only && mode.read_only)
    raise(err_invalid_argument);
  return mode;
}

bool bool_arg(const VARIANT& value, bool if_missing)
{
  if (is_missing(value))
    return if_missing;
  return converted(value, VT_BOOL).boolVal != VARIANT_FALSE;
}

std::wstring text_arg(const VARIANT& value)
{
  if (is_missing(value) || value.vt == VT_NULL)
    return {};
  if (value.vt == VT_BSTR)
    return text_of(value.bstrVal);
  VARIANT text = converted(value, VT_BSTR);
  std::wstring result = text_of(text.bstrVal);
  VariantClear(&text);
  return result;
}

std::wstring text_of(BSTR text)
{
  return {text == nullptr ? L"" : text, SysStringLen(text)};
}

std::size_t position_arg(const VARIANT& item, std::size_t count)
{
  switch (item.vt) {
  case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4:
  case VT_INT: case VT_UINT: case VT_I8: case VT_UI8: case VT_R4: case VT_R8: case VT_DECIMAL: {
    VARIANT position;
    if (SUCCEEDED(VariantChangeType(&position, &item, 0, VT_I4)) && position.lVal >= 0 &&
        static_cast<std::size_t>(position.lVal) < count)
      return static_cast<std::size_t>(position.lVal);
    break;
  }
  default: break;
  }
  raise(err_item_not_found);
}

short count_of(std::size_t count)
{
  return static_cast<short>(count < 0x7FFF ? count : 0x7FFF);
}

namespace {

class error_object final : public com_object<DAOError> {
public:
  explicit error_object(error_state::entry entry) : entry_(std::move(entry)) {}

  HRESULT get_Number(LONG* number) override
  {
    return guarded(scratch_, [&] { *out_value(number) = entry_.number; });
  }
  HRESULT get_Description(BSTR* description) override
  {
    return guarded(scratch_, [&] { put_text(description, entry_.description); });
  }

private:
  error_state::entry entry_;
  // An Error outlives the call that made it; its own failures (a null
  // out-pointer) need somewhere to go.
  error_state scratch_;
};

class errors_object final : public com_object<DAOErrors> {
public:
  explicit errors_object(std::shared_ptr<error_state> errors) : errors_(std::move(errors)) {}

  HRESULT get_Count(short* count) override
  {
    return guarded(*errors_, [&] { *out_value(count) = count_of(errors_->entries().size()); });
  }
  HRESULT get_Item(VARIANT item, DAOError** error) override
  {
    return guarded(*errors_, [&] {
      out_ptr(error);
      const auto& entries = errors_->entries();
      const std::size_t at = position_arg(item, entries.size());
      *error = make_com<error_object>(entries[at]).detach();
    });
  }

private:
  std::shared_ptr<error_state> errors_;
};

} // namespace

com_ref<DAOErrors> make_errors(std::shared_ptr<error_state> errors)
{
  return com_ref<DAOErrors>::adopt(make_com<errors_object>(std::move(errors)).detach());
}

} // namespace plat::dao
