// Fields and records. A size is measured from the value itself where the value
// carries one (an array's element count, a text's UTF-16 length) and taken from
// the engine otherwise; a text length is read only from a value that is a text.
#include "UDB/udb_field.h"

#include "TK/tk_log.h"
#include "platform/case_fold.h"
#include "platform/text_codec.h"

#include <algorithm>
#include <limits>

udb_field::udb_field()
{
  tk_log_message(1, "udb_field::empty ctor");
}

udb_field::udb_field(std::wstring name, std::uint32_t size, ole_variant value, bool not_null,
                     bool auto_increment)
    : ole_variant(std::move(value)),
      size_(size),
      name_(std::move(name)),
      not_null_(not_null),
      auto_increment_(auto_increment)
{
  tk_log_message(1, "udb_field::ctor #2");
  tk_log_message(1, L"name=%s, size=%d", name_, size_);
}

udb_field::udb_field(const udb_field& that)
    : ole_variant(that),
      size_(that.size_),
      name_(that.name_),
      not_null_(that.not_null_),
      auto_increment_(that.auto_increment_)
{
  tk_log_message(1, "udb_field::copy ctor");
}

VARTYPE udb_field::get_type() const
{
  return ole_variant::get_type();
}

std::uint32_t udb_field::get_size() const
{
  const VARIANT& v = get_variant();
  if ((v.vt == vt_byte_array || v.vt == VT_BLOB || v.vt == VT_SAFEARRAY) && v.parray != nullptr &&
      SafeArrayGetDim(v.parray) == 1)
    return get_safe_array_size(v.parray);
  // An engine field may call itself VT_BSTR while it holds no text (a NULL cell);
  // then the union holds no string to measure.
  if (get_type() == VT_BSTR && v.vt == VT_BSTR) {
    const std::size_t units =
        plat::utf16_length(std::wstring_view(v.bstrVal, SysStringLen(v.bstrVal)));
    return static_cast<std::uint32_t>(
        std::min<std::size_t>(units, std::numeric_limits<std::uint32_t>::max()));
  }
  return size_;
}

udb_record::~udb_record()
{
  tk_log_message(1, "udb_record::dtor");
  reset();
}

void udb_record::reset()
{
  tk_log_message(1, "udb_record::reset");
  list().swap(fields_);
}

const udb_field* udb_record::find(std::wstring_view name) const
{
  for (const auto& field : fields_) {
    if (field == nullptr)
      continue;
    tk_log_message(1, L"Processing %s", field->get_name());
    if (plat::equal_no_case(field->get_name(), name))
      return field.get();
  }
  return nullptr;
}

udb_field* udb_record::find(std::wstring_view name)
{
  return const_cast<udb_field*>(std::as_const(*this).find(name));
}

bool udb_record::find_field(std::wstring_view name) const
{
  return find(name) != nullptr;
}

const udb_field& udb_record::get_field(std::wstring_view name) const
{
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (fields_[i] != nullptr && plat::equal_no_case(fields_[i]->get_name(), name)) {
      tk_log_message(1, "Field found at pos=%d", i);
      return *fields_[i];
    }
  }
  static const udb_field empty;
  return empty;
}

std::int32_t udb_record::get_total_size() const
{
  tk_log_message(1, "udb_record::get_total_size");
  std::int64_t total = 0;
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (fields_[i] == nullptr) {
      tk_log_message(3, "Incorrect field #%d", i);
      continue;
    }
    if (fields_[i]->get_type() != VT_EMPTY)
      total += fields_[i]->get_size();
  }
  // Two large values must not wrap into a small or negative size.
  return static_cast<std::int32_t>(std::min<std::int64_t>(total, std::numeric_limits<std::int32_t>::max()));
}
