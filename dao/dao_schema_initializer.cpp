// Field definitions of a new DAO table from source columns. The validator's
// restricted names grow by one name per column, so no later column can take a
// name an earlier one got.
#include "dao/dao_schema_initializer.h"

#include "OLE/ole_date.h"
#include "OLE/ole_ptr.h"
#include "TK/tk_log.h"
#include "dao/dao_args.h"
#include "dao/dao_bstr.h"
#include "dao/dao_exception.h"
#include "platform/dao/excel/workbook.h"
#include "dao/dao_record.h"
#include "dao/dao_recordset.h"

namespace {

// A default value of the column's own VARIANT, written through DAO.
void put_default_value(DAOField& field, const VARIANT& value)
{
  dao_check(field.put_DefaultValue(value));
}

void put_default_text(DAOField& field, const std::wstring& text)
{
  const dao_bstr value(text);
  put_default_value(field, dao_text_arg(value));
}

} // namespace

ole_com_ptr<DAOIndexFields> dao_index_fields(DAOIndex& index)
{
  VARIANT members;
  VariantInit(&members);
  dao_check(index.get_Fields(&members));
  ole_com_ptr<DAOIndexFields> fields;
  const HRESULT asked = (members.vt == VT_DISPATCH || members.vt == VT_UNKNOWN) && members.punkVal != nullptr
                            ? members.punkVal->QueryInterface(DAOIndexFields::iid,
                                                              reinterpret_cast<void**>(fields.put()))
                            : E_NOINTERFACE;
  VariantClear(&members);
  dao_check(asked);
  dao_require(fields.get());
  return fields;
}

dao_schema_initializer::dao_schema_initializer(DAOTableDef* table, const udb_schema& source)
    : table_(table), validator_(source)
{
  tk_log_message(2, "dao_schema_initializer::ctor");
  for (const auto& column : source) {
    const bool kept = validator_.is_acceptable(column->name);
    const std::wstring name = kept ? column->name : validator_.get_safe_name(column->name);
    emplace_back(column->size, name, column->vartype, column->not_null, column->auto_increment,
                 column->default_value, column->dw_reserved, std::wstring());
    if (!kept) {
      tk_log_message(2, L"Store generated column name '%s'", name);
      validator_.add_existing_name(name);
      validator_.add_mapped_pair(column->name, name);
    }
    validator_.add_restricted_name(name);
  }
}

void dao_schema_initializer::initialize()
{
  tk_log_message(2, "dao_schema_initializer::initialize");
  ole_com_ptr<DAOFields> fields;
  dao_check(table_->get_Fields(fields.put()));
  dao_require(fields.get());
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < size(); ++i) {
    const t_ftd& column = *(*this)[i];
    total += column.size;
    tk_log_message(2, "Field #%d: type=%d, size=%d, dw_reserved=%d, total size=%d", i, column.vartype, column.size,
                   column.dw_reserved, total);
    const std::int32_t type = dao_field::get_native_type(column);
    const dao_bstr name(column.name);
    ole_com_ptr<DAOField> field;
    dao_check(table_->CreateField(dao_text_arg(name), dao_long_arg(type), dao_long_arg(static_cast<LONG>(column.size)), field.put()));
    dao_require(field.get());
    dao_check(field->put_Required(column.not_null ? 1 : 0));
    if (type == plat::dao::db_text || type == plat::dao::db_memo) {
      tk_log_message(2, "Set AllowZeroLength flag");
      dao_check(field->put_AllowZeroLength(1));
    }
    put_default(*field.get(), column);
    if (type == plat::dao::db_long && column.auto_increment) {
      LONG attributes = 0;
      dao_check(field->get_Attributes(&attributes));
      dao_check(field->put_Attributes(attributes | plat::dao::db_auto_incr_field));
    }
    dao_check(fields->Append(field.get()));
  }
}

void dao_schema_initializer::put_default(DAOField& field, const t_ftd& column)
{
  if (column.vartype == VT_DATE && column.dw_reserved == 9) {
    tk_log_message(2, "Processing def.value NOW()");
    put_default_text(field, L"Now()");
    return;
  }
  if (column.vartype == VT_DATE && column.dw_reserved == 10) {
    tk_log_message(2, "Processing def.value Date()");
    put_default_text(field, L"Date()");
    return;
  }
  const std::wstring text = column.default_value.to_wstring();
  if (text.empty())
    return;
  const VARTYPE own = column.default_value.get_type();
  tk_log_message(2, L"Putting default value: (%d, %s)", own, text);
  if (own == VT_I1 || own == VT_UI2 || own == VT_UI4 || own == VT_I8 || own == VT_UI8) {
    put_default_value(field, dao_get_valid_variant(column.default_value).get_variant());
  } else if (column.vartype != VT_DATE && column.vartype != VT_BSTR) {
    put_default_value(field, column.default_value.get_variant());
  } else if (column.vartype == VT_BSTR) {
    put_default_text(field, quote_def_value(text));
  } else {
    tk_log_message(2, "Got DATE def value");
    const std::wstring canonical = ole_date(text).to_wstring(6);
    tk_log_message(1, L"After canonization: %s", canonical);
    if (!canonical.empty())
      put_default_text(field, quote_def_value(text));
  }
}

std::wstring dao_schema_initializer::quote_def_value(const std::wstring& text)
{
  tk_log_message(1, L"dao_schema_initializer::quote_def_value(%s)", text);
  if (text.find(L'"') == std::wstring::npos)
    return L'"' + text + L'"';
  if (text.find(L'\'') == std::wstring::npos)
    return L'\'' + text + L'\'';
  std::wstring both = text;
  for (wchar_t& c : both)
    if (c == L'"')
      c = L'\'';
  return L'"' + both + L'"';
}

namespace {

// Binary data and texts longer than 255 characters are no index field to DAO.
bool can_be_indexed(const t_ftd& column)
{
  return column.vartype != VT_BLOB && column.vartype != (VT_ARRAY | VT_UI1) &&
         !(column.vartype == VT_BSTR && column.size > 255);
}

} // namespace

dao_indexes_initializer::dao_indexes_initializer(DAOTableDef* table, const dao_schema_initializer& schema,
                                                 const udb_indexes& indexes)
    : table_(table), validator_(indexes), columns_(schema)
{
  tk_log_message(2, "dao_indexes_initializer::ctor");
  const t_names_map& renamed = schema.get_validator().get_mapped_pairs();
  for (const udb_index& source : indexes) {
    if (source.fields.size() > max_fields)
      continue;
    const bool kept = validator_.is_acceptable(source.name);
    const std::wstring name = kept ? source.name : validator_.get_safe_name(source.name);
    std::vector<std::wstring> fields;
    bool usable = true;
    for (const std::wstring& field : source.fields) {
      tk_log_message(1, L"t_names_map::get_mapped_name(%s)", field);
      const std::wstring dao_name = renamed.get_mapped_name(field);
      tk_log_message(1, L"Got mapped name: %s", dao_name);
      if (!can_be_indexed(schema.get_field2(dao_name))) {
        tk_log_message(2, L"Field '%s' cannot be part of index", dao_name);
        usable = false;
        break;
      }
      fields.push_back(dao_name);
    }
    if (!usable)
      continue;
    tk_log_message(1, L"udb_index::ctor('%s',%d,%d)", name, source.unique, source.primary);
    prepared_.push_back(udb_index(name, source.unique, source.primary, fields));
    if (!kept) {
      tk_log_message(2, L"Store generated index name '%s'", name);
      validator_.add_existing_name(name);
    }
    validator_.add_restricted_name(name);
  }
}

void dao_indexes_initializer::initialize()
{
  tk_log_message(2, "dao_indexes_initializer::initialize");
  ole_com_ptr<DAOIndexes> indexes;
  dao_check(table_->get_Indexes(indexes.put()));
  dao_require(indexes.get());
  std::size_t appended = 0;
  for (const udb_index& prepared : prepared_) {
    if (appended == max_indexes)
      break;
    tk_log_message(2, L"Process index %s, primary=%d, unique=%d", prepared.name, prepared.primary, prepared.unique);
    const dao_bstr name(prepared.name);
    ole_com_ptr<DAOIndex> index;
    dao_check(table_->CreateIndex(dao_text_arg(name), index.put()));
    dao_require(index.get());
    const ole_com_ptr<DAOIndexFields> index_fields = dao_index_fields(*index.get());
    for (const std::wstring& field_name : prepared.fields) {
      tk_log_message(2, L"\tProcess index field %s", field_name);
      const t_ftd& column = columns_.get_field2(field_name);
      const dao_bstr member_name(field_name);
      ole_com_ptr<DAOField> field;
      dao_check(index->CreateField(dao_text_arg(member_name), dao_long_arg(dao_field::get_native_type(column)),
                                   dao_long_arg(static_cast<LONG>(column.size)), field.put()));
      dao_require(field.get());
      dao_check(index_fields->Append(field.get()));
    }
    dao_check(index->put_Primary(prepared.primary ? VARIANT_TRUE : VARIANT_FALSE));
    dao_check(index->put_Unique(prepared.unique ? VARIANT_TRUE : VARIANT_FALSE));
    dao_check(indexes->Append(index.get()));
    ++appended;
  }
}
