// Fields read from DAO. A field keeps its DAO field, so a NULL cell can still
// tell its column's type.
#include "dao/dao_record.h"

#include "OLE/ole_exceptions.h"
#include "OLE/ole_misc.h"
#include "TK/tk_log.h"
#include "UDB/udb_schema.h"
#include "dao/dao_bstr.h"
#include "dao/dao_exception.h"
#include "platform/dao/excel/workbook.h"

namespace {

namespace db = plat::dao;

constexpr VARTYPE byte_array_type = VT_ARRAY | VT_UI1;

} // namespace

dao_field::dao_field(DAOField* field) : field_(field)
{
  tk_log_message(1, "dao_field::ctor");
  if (!field_)
    throw tk_mail_assertion("dao_rec", 27);
  dao_bstr name;
  dao_check(field_->get_Name(name.address()));
  name_ = name.to_wstring();
  LONG size = 0;
  dao_check(field_->get_Size(&size));
  size_ = static_cast<std::uint32_t>(size);
  short type = 0;
  dao_check(field_->get_Type(&type));
  dao_type_ = type;
  tk_log_message(1, L"Field name='%s', size=%d, native type=%d", name_, size, type);
  VARIANT_BOOL required = VARIANT_FALSE;
  dao_check(field_->get_Required(&required));
  not_null_ = required == VARIANT_TRUE;
  LONG attributes = 0;
  dao_check(field_->get_Attributes(&attributes));
  auto_increment_ = (attributes & db::db_auto_incr_field) != 0;

  // A definition field has no value: the call fails and leaves VT_EMPTY.
  VARIANT value;
  VariantInit(&value);
  field_->get_Value(&value);
  tk_log_message(1, "src.vt=%d", value.vt);
  if (value.vt == VT_NULL)
    tk_log_message(1, "*** NULL *** ");
  if (value.vt == VT_DISPATCH && type == db::db_attachment) {
    // Attachments exist only in Access databases.
    tk_log_message(1, "Special processing for dbAttachment");
    VariantClear(&value);
  }
  attach_variant(value);
  tk_log_message(1, "Got DAO field: %s", to_string());
}

VARTYPE dao_field::get_type() const
{
  tk_log_message(1, "dao_field::get_type");
  const VARTYPE own = ole_variant::get_type();
  if (own != VT_EMPTY)
    return own;
  tk_log_message(1, "Use DAO methods to extract field type");
  if (!field_)
    throw tk_mail_assertion("dao_rec", 388);
  return get_vartype(dao_type_);
}

template <class Text>
Text dao_field::without_fake_date(Text text) const
{
  if (ole_variant::get_type() != VT_DATE)
    return text;
  constexpr std::string_view fake = "1899-12-30";
  const auto at = text.find(Text(fake.begin(), fake.end()));
  if (at == Text::npos)
    return text;
  tk_log_message(1, "Fake date has been found");
  if (text.size() <= fake.size()) {
    tk_log_message(1, "Transform pure fake date to pure time");
    const std::string_view time = "00:00:00";
    return text.replace(at, fake.size(), Text(time.begin(), time.end()));
  }
  const std::string_view zero = "0000-00-00";
  return text.replace(at, fake.size(), Text(zero.begin(), zero.end()));
}

std::string dao_field::to_string() const
{
  tk_log_message(1, "dao_field::to_string(vt=%08X)", get_type());
  return without_fake_date(ole_variant::to_string());
}

std::wstring dao_field::to_wstring() const
{
  tk_log_message(1, "dao_field::to_wstring(vt=%08X)", get_type());
  return without_fake_date(ole_variant::to_wstring());
}

std::int32_t dao_field::get_native_type(const t_ftd& column)
{
  tk_log_message(1, "dao_field::get_native_type(%d)", column.vartype);
  const bool short_size = column.size >= 1 && column.size <= 255;
  switch (column.vartype) {
  case VT_I2: case VT_I1: return db::db_integer;
  case VT_I4: case VT_UI2: return db::db_long;
  case VT_R4: return db::db_single;
  case VT_R8: case VT_DECIMAL: case VT_UI4: case VT_I8: case VT_UI8: return db::db_double;
  case VT_CY: return db::db_currency;
  case VT_DATE: return db::db_date;
  case VT_BSTR: return short_size ? db::db_text : db::db_memo;
  case VT_BOOL: return db::db_boolean;
  case VT_UI1: return db::db_byte;
  case VT_BLOB: case VT_BLOB_OBJECT: case byte_array_type:
    if (column.dw_reserved == 8)
      return db::db_memo;
    return short_size ? db::db_binary : db::db_long_binary;
  default: throw ole_type_exception();
  }
}

VARTYPE dao_field::get_vartype(std::int32_t dao_type)
{
  tk_log_message(1, "dao_field::get_vartype(%d)", dao_type);
  switch (dao_type) {
  case db::db_boolean: return VT_BOOL;
  case db::db_byte: return VT_UI1;
  case db::db_integer: return VT_I2;
  case db::db_long: return VT_I4;
  case db::db_currency: return VT_CY;
  case db::db_single: return VT_R4;
  case db::db_double: case db::db_numeric: case db::db_decimal: case db::db_float: return VT_R8;
  case db::db_date: case db::db_time: return VT_DATE;
  case db::db_text: case db::db_memo: return VT_BSTR;
  default: return byte_array_type;
  }
}

dao_record::dao_record(DAOFields* fields) : fields_(fields)
{
  if (!fields_)
    throw tk_mail_assertion("dao_rec", 438);
  tk_log_message(1, "dao_record::dao_record: n_refs = %d", ole_get_ref_count(fields_.get()));
  short count = 0;
  dao_check(fields_->get_Count(&count));
  reserve(static_cast<std::size_t>(count < 0 ? 0 : count));
  for (short i = 0; i < count; ++i) {
    VARIANT at;
    at.vt = VT_UI2;
    at.uiVal = static_cast<unsigned short>(i);
    ole_com_ptr<DAOField> field;
    dao_check(fields_->get_Item(at, field.put()));
    emplace_back<dao_field>(dao_require(field.get()));
  }
}

dao_record::~dao_record()
{
  fields_.release();
}
