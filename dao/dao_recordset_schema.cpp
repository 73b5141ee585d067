// A DAO recordset's columns and indexes, read from DAO's own description of
// the table or query behind it, once, while the recordset is built.
#include "dao/dao_recordset.h"

#include "TK/tk_log.h"
#include "dao/dao_args.h"
#include "dao/dao_bstr.h"
#include "dao/dao_exception.h"
#include "platform/dao/excel/workbook.h"
#include "platform/case_fold.h"

#include <array>
#include <string_view>

namespace {

namespace db = plat::dao;

// A VARIANT out-value cleared (its object released) when the step ends.
struct variant_guard {
  variant_guard() { VariantInit(&v); }
  ~variant_guard() { VariantClear(&v); }
  variant_guard(const variant_guard&) = delete;
  variant_guard& operator=(const variant_guard&) = delete;
  // The object held; a value that holds none raises "Unknown exception".
  IUnknown* object() const
  {
    if ((v.vt != VT_DISPATCH && v.vt != VT_UNKNOWN) || v.punkVal == nullptr)
      throw tk_exception(tk_level_error);
    return v.punkVal;
  }
  VARIANT v;
};

bool equals(const std::wstring& a, std::wstring_view b)
{
  return plat::equal_no_case(a, b);
}

bool encloses(const std::wstring& text, wchar_t mark)
{
  return text.size() >= 2 && text.front() == mark && text.back() == mark;
}

std::wstring inner(const std::wstring& text)
{
  return text.substr(1, text.size() - 2);
}

// A property's text; empty (and logged) when the field has no such property.
std::wstring property_text(DAOField& field, const wchar_t* property, const char* failure_log)
{
  try {
    ole_com_ptr<DAOProperties> properties;
    dao_check(field.get_Properties(properties.put()));
    dao_require(properties.get());
    const dao_bstr name(std::wstring{property});
    ole_com_ptr<DAOProperty> found;
    dao_check(properties->get_Item(dao_text_arg(name), found.put()));
    dao_require(found.get());
    VARIANT value;
    VariantInit(&value);
    dao_check(found->get_Value(&value));
    ole_variant text;
    text.attach_variant(value);
    return text.to_wstring();
  } catch (const dao_exception& e) {
    tk_log_message(2, failure_log, e.get_message());
    return std::wstring();
  }
}

std::wstring default_text(DAOField& field)
{
  VARIANT value;
  VariantInit(&value);
  dao_check(field.get_DefaultValue(&value));
  ole_variant text;
  text.attach_variant(value);
  return text.to_wstring();
}

// Each field of a table or query definition, in order, with its DAO type.
template <class Definition, class Visit>
void for_each_field(Definition& definition, Visit&& visit)
{
  ole_com_ptr<DAOFields> fields;
  dao_check(definition.get_Fields(fields.put()));
  dao_require(fields.get());
  short count = 0;
  dao_check(fields->get_Count(&count));
  for (short i = 0; i < count; ++i) {
    ole_com_ptr<DAOField> field;
    dao_check(fields->get_Item(dao_position_arg(static_cast<std::uint16_t>(i)), field.put()));
    dao_require(field.get());
    short type = 0;
    dao_check(field->get_Type(&type));
    visit(i, *field.get(), type);
  }
}

// The GUID and attachment rules, for table and query fields alike.
void apply_type_rules(t_ftd& column, short type)
{
  if (type == db::db_guid) {
    column.vartype = VT_BSTR;
    column.size = 38;
    column.dw_reserved = 1;
  } else if (type == db::db_attachment) {
    tk_log_message(1, "Special processing for dbAttachment");
    column.dw_reserved = 101;
    column.size = 0;
  }
}

} // namespace

void dao_recordset::init_schema(DAOTableDef* table)
{
  tk_log_message(2, "dao_recordset::init_schema( DAOTableDef * )");
  if (table == nullptr)
    throw tk_mail_assertion("dao_recs", 317);
  for_each_field(*table, [&](short i, DAOField& field, short type) {
    std::uint32_t reserved = 0;
    if (type == db::db_date) {
      tk_log_message(2, "Make date field more precise");
      reserved = 1;
    }
    LONG size = 0;
    dao_check(field.get_Size(&size));
    std::wstring text = default_text(field);
    if (!text.empty() && type == db::db_text && text.front() == L'"' && text.back() == L'"') {
      tk_log_message(2, "Remove quotes for text def.value");
      text = text.size() < 2 ? std::wstring() : inner(text);
    }
    tk_log_message(2, L"def.value='%s'", text);
    const std::wstring comment = property_text(field, L"Description", "ERROR1:\n%s");
    tk_log_message(1, L"Column description='%s'", comment);
    const std::wstring format = property_text(field, L"Format", "ERROR2:\n%s");
    tk_log_message(2, L"Column format='%s'", format);
    tk_log_message(2, L"DAO Field #%d: size=%d, DAO type=%d, def.value=%s, comment=%s", i, size, type, text,
                   comment);

    if (equals(format, L"Short Date") || equals(format, L"Medium Date") || equals(format, L"Long Date")) {
      tk_log_message(2, "Refine type for 'pure' date");
      reserved = 2;
    } else if (equals(format, L"Short Time") || equals(format, L"Medium Time") || equals(format, L"Long Time")) {
      tk_log_message(2, "Refine type for 'pure' time");
      reserved = 3;
    }

    ole_variant default_value = ole_variant::from_wstring(text, dao_field::get_vartype(type));
    if (!text.empty()) {
      std::wstring seen = text;
      bool expression = false;
      if (seen.front() == L'=') {
        tk_log_message(1, "Got def.value of form ='...'");
        expression = true;
        seen.erase(0, 1);
        if (encloses(seen, L'"') || encloses(seen, L'\''))
          seen = inner(seen);
        tk_log_message(1, L"After all processing: %s", seen);
      }
      if (equals(format, L"On/Off")) {
        if (equals(seen, L"On"))
          default_value = ole_variant(1);
      } else if (type == db::db_date) {
        tk_log_message(1, "Got date/time def.value");
        if (encloses(seen, L'#'))
          seen = inner(seen);
        if (equals(seen, L"now()")) {
          tk_log_message(2, "Got NOW()");
          reserved = reserved == 2 ? 10 : reserved == 3 ? 11 : 9;
        } else if (equals(seen, L"date()")) {
          tk_log_message(2, "Got CURRENT_DATE");
          reserved = 10;
        } else if (equals(seen, L"time()")) {
          tk_log_message(2, "Got CURRENT_TIME");
          reserved = 11;
        }
      } else if (type == db::db_text && !expression) {
        tk_log_message(1, "Got string def.value");
        if (encloses(seen, L'"'))
          seen = inner(seen);
      }
      if (size > 0 && type == db::db_text && seen.size() > static_cast<std::size_t>(size)) {
        tk_log_message(3, L"Skip incorrect default value [%s] for field #%d", seen, i);
        default_value = ole_variant();
      }
    }

    const dao_field described(&field);
    t_ftd& column = schema_.emplace_back(described, default_value, reserved);
    column.size = static_cast<std::uint32_t>(size);
    apply_type_rules(column, type);
    column.comment = comment;
  });
  tk_log_message(2, "End of dao_recordset::init_schema");
}

void dao_recordset::init_schema(DAOQueryDef* query)
{
  tk_log_message(2, "dao_recordset::init_schema( DAOQueryDef * )");
  if (query == nullptr)
    throw tk_mail_assertion("dao_recs", 634);
  for_each_field(*query, [&](short i, DAOField& field, short type) {
    std::wstring text = default_text(field);
    const std::wstring comment = property_text(field, L"Description", "ERROR1:\n%s");
    tk_log_message(1, L"Column description='%s'", comment);
    const std::wstring format = property_text(field, L"Format", "ERROR2:\n%s");
    tk_log_message(1, L"Column format='%s'", format);
    tk_log_message(2, L"Field #%d: DAO type=%d, default value=%s", i, type, text);
    std::uint32_t reserved = 0;
    if (type == db::db_date) {
      tk_log_message(1, "Got date/time def.value");
      if (encloses(text, L'#'))
        text = inner(text);
      reserved = 1;
    } else if (type == db::db_text) {
      tk_log_message(1, "Got string def.value");
      if (encloses(text, L'"'))
        text = inner(text);
    }
    const ole_variant default_value = ole_variant::from_wstring(text, dao_field::get_vartype(type));
    const dao_field described(&field);
    t_ftd& column = schema_.emplace_back(described, default_value, reserved);
    apply_type_rules(column, type);
    column.comment = comment;
  });
  tk_log_message(2, "End of dao_recordset::init_schema");
}

void dao_recordset::init_indexes(DAOTableDef* table)
{
  tk_log_message(2, "dao_recordset::init_indexes");
  if (table == nullptr)
    throw tk_mail_assertion("dao_recs", 540);
  ole_com_ptr<DAOIndexes> indexes;
  dao_check(table->get_Indexes(indexes.put()));
  dao_require(indexes.get());
  short count = 0;
  dao_check(indexes->get_Count(&count));
  tk_log_message(2, "Got %d indexes", count);
  for (short i = 0; i < count; ++i) {
    tk_log_message(2, "Processing index %d", i);
    ole_com_ptr<DAOIndex> index;
    dao_check(indexes->get_Item(dao_position_arg(static_cast<std::uint16_t>(i)), index.put()));
    dao_require(index.get());
    dao_bstr name;
    dao_check(index->get_Name(name.address()));
    VARIANT_BOOL foreign = VARIANT_FALSE, primary = VARIANT_FALSE, unique = VARIANT_FALSE;
    dao_check(index->get_Foreign(&foreign));
    if (foreign == VARIANT_TRUE) {
      tk_log_message(2, L"Index '%s' is a FK, skip it", name.to_wstring());
      continue;
    }
    dao_check(index->get_Primary(&primary));
    dao_check(index->get_Unique(&unique));
    tk_log_message(2, L"Name=%s, is_primary=%d, is_unique=%d", name.to_wstring(), primary, unique);

    variant_guard members;
    dao_check(index->get_Fields(&members.v));
    ole_com_ptr<DAOIndexFields> index_fields;
    dao_check(members.object()->QueryInterface(DAOIndexFields::iid, reinterpret_cast<void**>(index_fields.put())));
    dao_require(index_fields.get());
    short members_count = 0;
    dao_check(index_fields->get_Count(&members_count));
    std::vector<std::wstring> names;
    for (short j = 0; j < members_count; ++j) {
      variant_guard member;
      dao_check(index_fields->get_Item(dao_position_arg(static_cast<std::uint16_t>(j)), &member.v));
      ole_com_ptr<DAOField> member_field;
      dao_check(member.object()->QueryInterface(DAOField::iid, reinterpret_cast<void**>(member_field.put())));
      dao_require(member_field.get());
      dao_bstr field_name;
      dao_check(member_field->get_Name(field_name.address()));
      tk_log_message(1, L"got index field: %s", field_name.to_wstring());
      names.push_back(field_name.to_wstring());
    }
    add_index(udb_index(name.to_wstring(), unique == VARIANT_TRUE, primary == VARIANT_TRUE, names));
  }
  tk_log_message(2, "End of dao_recordset::init_indexes");
}
