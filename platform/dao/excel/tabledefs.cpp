// TableDefs and TableDef of a workbook: a TableDef is a sheet once
// TableDefs.Append has added it to the workbook; before that it is a
// definition that only its creator sees. A workbook holds no indexes.
#include "platform/dao/excel/session.h"

namespace plat::dao {

namespace {

class tabledef_object final : public com_object<DAOTableDef> {
public:
  tabledef_object(workbook_session_ptr owner, table_ptr table) : owner_(std::move(owner)), table_(std::move(table)) {}

  const workbook_session_ptr& owner() const { return owner_; }
  const table_ptr& table() const { return table_; }

  HRESULT get_Name(BSTR* name) override
  {
    return guarded(errors(), [&] { put_text(name, table_->name); });
  }
  HRESULT put_Name(BSTR name) override
  {
    return guarded(errors(), [&] { changing().name = text_of(name); });
  }
  HRESULT get_Attributes(LONG* attributes) override
  {
    return guarded(errors(), [&] { *out_value(attributes) = table_->attributes; });
  }
  HRESULT put_Attributes(LONG attributes) override
  {
    return guarded(errors(), [&] { changing().attributes = attributes; });
  }
  HRESULT get_RecordCount(LONG* count) override
  {
    return guarded(errors(), [&] {
      LONG* out = out_value(count);
      if (table_->sheet >= 0)
        *out = static_cast<LONG>(owner_->book().sheet_rows(static_cast<std::size_t>(table_->sheet)));
    });
  }
  HRESULT get_Fields(DAOFields** fields) override
  {
    return guarded(errors(), [&] { *out_ptr(fields) = make_fields(owner_->errors, table_->fields).detach(); });
  }
  HRESULT get_Indexes(DAOIndexes** indexes) override
  {
    return guarded(errors(), [&] { *out_ptr(indexes) = make_empty_indexes(owner_->errors).detach(); });
  }
  HRESULT CreateField(VARIANT name, VARIANT type, VARIANT size, DAOField** field) override
  {
    return guarded(errors(), [&] {
      out_ptr(field);
      *field = create_field_object(owner_->errors, name, type, size).detach();
    });
  }
  HRESULT CreateIndex(VARIANT name, DAOIndex** index) override
  {
    return guarded(errors(), [&] { *out_ptr(index) = make_index(owner_->errors, text_arg(name)).detach(); });
  }

private:
  error_state& errors() { return *owner_->errors; }
  table_data& changing()
  {
    if (table_->sheet >= 0)
      raise(err_not_supported);
    return *table_;
  }

  workbook_session_ptr owner_;
  table_ptr table_;
};

class tabledefs_object final : public com_object<DAOTableDefs> {
public:
  explicit tabledefs_object(workbook_session_ptr owner) : owner_(std::move(owner)) {}

  HRESULT get_Count(short* count) override
  {
    return guarded(errors(), [&] {
      owner_->book();
      *out_value(count) = count_of(owner_->tables.size());
    });
  }
  HRESULT get_Item(VARIANT item, DAOTableDef** table) override
  {
    return guarded(errors(), [&] {
      out_ptr(table);
      owner_->book();
      const auto& tables = owner_->tables;
      const std::size_t at =
          item_position(item, tables.size(), [&](std::size_t i) -> std::wstring_view { return tables[i]->name; });
      *table = make_tabledef(owner_, tables[at]).detach();
    });
  }
  HRESULT Append(IUnknown* object) override
  {
    return guarded(errors(), [&] {
      excel_workbook& book = owner_->book();
      const auto table = own_object<tabledef_object, DAOTableDef>(object);
      table_data& data = *table->table();
      if (table->owner() != owner_ || data.sheet >= 0)
        raise(err_invalid_operation);
      if (owner_->read_only)
        raise(err_read_only);
      if (data.name.empty())
        raise(err_invalid_name, data.name);
      if (owner_->find_table(data.name) >= 0)
        raise(err_table_exists, data.name);
      if (data.attributes != 0)  // linked, hidden or system sheets do not exist
        raise(err_not_supported);
      if (data.fields->items.empty())
        raise(err_no_field);
      std::vector<excel_column> columns;
      columns.reserve(data.fields->items.size());
      for (const field_ptr& field : data.fields->items)
        columns.push_back({field->name, field->type});
      data.sheet = static_cast<std::ptrdiff_t>(book.add_sheet(data.name, columns));
      freeze(*data.fields);
      owner_->tables.push_back(table->table());
    });
  }
  HRESULT Delete(BSTR /*name*/) override
  {
    return guarded(errors(), [&] {
      owner_->book();
      raise(err_not_supported);  // a sheet, once written, stays
    });
  }

private:
  error_state& errors() { return *owner_->errors; }

  workbook_session_ptr owner_;
};

} // namespace

com_ref<DAOTableDef> make_tabledef(workbook_session_ptr owner, table_ptr table)
{
  return com_ref<DAOTableDef>::adopt(make_com<tabledef_object>(std::move(owner), std::move(table)).detach());
}

com_ref<DAOTableDefs> make_tabledefs(workbook_session_ptr owner)
{
  return com_ref<DAOTableDefs>::adopt(make_com<tabledefs_object>(std::move(owner)).detach());
}

} // namespace plat::dao
