// Column descriptors and schemas. A miss in a look-up never hands out a
// descriptor that a later look-up shares in changed form: the const form gives a
// constant empty descriptor, the mutable form one that is emptied at every miss.
#include "UDB/udb_schema.h"

#include "TK/tk_log.h"
#include "UDB/udb_field.h"
#include "platform/case_fold.h"

#include <limits>

namespace {

void log_descriptor(const t_ftd& d)
{
  tk_log_message(1, L"\tfield name='%s', vartype=%d, size=%d, b_not_null=%d, reserved=%d", d.name,
                 d.vartype, d.size, int(d.not_null), d.dw_reserved);
}

} // namespace

t_ftd::t_ftd(const udb_field& field, const ole_variant& default_value_, std::uint32_t sub_type)
    : size(field.get_size()),
      name(field.get_name()),
      vartype(field.get_type()),
      auto_increment(field.is_auto_increment()),
      not_null(field.is_not_null()),
      default_value(default_value_),
      dw_reserved(sub_type)
{
  tk_log_message(1, "t_ftd::ctor1");
  log_descriptor(*this);
}

t_ftd::t_ftd(std::uint32_t size_, const std::wstring& name_, VARTYPE vartype_, bool not_null_,
             bool auto_increment_, const ole_variant& default_value_, std::uint32_t sub_type,
             const std::wstring& native_type_)
    : size(size_),
      name(name_),
      vartype(vartype_),
      native_type(native_type_),
      auto_increment(auto_increment_),
      not_null(not_null_),
      default_value(default_value_),
      dw_reserved(sub_type)
{
  tk_log_message(1, "t_ftd::ctor2");
  log_descriptor(*this);
}

udb_schema::udb_schema(bool flag) : flag_(flag)
{
  tk_log_message(1, "udb_schema::ctor");
}

udb_schema::~udb_schema()
{
  tk_log_message(1, "udb_schema::dtor");
  items_.clear();
  tk_log_message(1, "udb_schema::dtor - at the end");
}

const t_ftd* udb_schema::lookup(std::wstring_view name) const
{
  for (const descriptor& d : items_)
    if (d != nullptr && plat::equal_no_case(d->name, name))
      return d.get();
  return nullptr;
}

const t_ftd* udb_schema::find(std::wstring_view name) const
{
  return lookup(name);
}

t_ftd* udb_schema::find(std::wstring_view name)
{
  return const_cast<t_ftd*>(lookup(name));
}

bool udb_schema::find_field(std::wstring_view name) const
{
  tk_log_message(1, "Schema size=%d", items_.size());
  for (std::size_t i = 0; i < items_.size(); ++i) {
    tk_log_message(1, "Iterating field #%d", i);
    if (items_[i] == nullptr)
      continue;
    tk_log_message(1, L"Compare with field: '%s'", items_[i]->name);
    if (plat::equal_no_case(items_[i]->name, name)) {
      tk_log_message(1, "Field found!!!");
      return true;
    }
  }
  tk_log_message(1, "Field NOT found!!!");
  return false;
}

t_ftd& udb_schema::get_field1(std::wstring_view name)
{
  if (t_ftd* d = find(name))
    return *d;
  tk_log_message(2, L"Field '%s' not found", name);
  static thread_local t_ftd scratch;
  scratch = t_ftd();
  return scratch;
}

const t_ftd& udb_schema::get_field2(std::wstring_view name) const
{
  if (const t_ftd* d = find(name))
    return *d;
  tk_log_message(2, L"Field '%s' not found", name);
  static const t_ftd empty;
  return empty;
}

std::int32_t udb_schema::get_field_size(std::wstring_view name) const
{
  const t_ftd* d = find(name);
  if (d == nullptr) {
    tk_log_message(3, L"Field '%s' not found", name);
    return -1;
  }
  // A size beyond the signed range (LONGTEXT, LONGBLOB) must not read as -1,
  // the answer for a missing column.
  if (d->size > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()))
    return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(d->size);
}

VARTYPE udb_schema::get_field_type(std::wstring_view name) const
{
  const t_ftd* d = find(name);
  if (d == nullptr) {
    tk_log_message(2, L"Field '%s' not found", name);
    return VT_NULL;
  }
  return d->vartype;
}
