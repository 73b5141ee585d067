// TableDefs, TableDef and Indexes of an Access database. A TableDef is a
// definition only its creator sees until TableDefs.Append stores it; from then
// on its fields are frozen, and an index appended to it is created at once.
#include "platform/dao/access/store.h"

#include <sqlite3.h>

namespace plat::dao {

namespace {

class access_tabledef final : public com_object<DAOTableDef> {
public:
  access_tabledef(access_session_ptr owner, access_table_ptr table, bool stored)
      : owner_(std::move(owner)), table_(std::move(table)), stored_(stored)
  {
  }

  const access_session_ptr& owner() const { return owner_; }
  const access_table_ptr& table() const { return table_; }
  bool stored() const { return stored_; }
  void mark_stored() { stored_ = true; }

  HRESULT get_Name(BSTR* name) override
  {
    return guarded(errors(), [&] { put_text(name, table_->def->name); });
  }
  HRESULT put_Name(BSTR name) override
  {
    return guarded(errors(), [&] { changing().name = text_of(name); });
  }
  HRESULT get_Attributes(LONG* attributes) override
  {
    return guarded(errors(), [&] { *out_value(attributes) = table_->def->attributes; });
  }
  HRESULT put_Attributes(LONG attributes) override
  {
    return guarded(errors(), [&] { changing().attributes = attributes; });
  }
  HRESULT get_RecordCount(LONG* count) override
  {
    return guarded(errors(), [&] {
      LONG* out = out_value(count);
      if (!stored_)
        return;
      sql_statement rows(owner_->db(), "SELECT count(*) FROM " + quoted_name(table_->def->name));
      rows.step();
      *out = static_cast<LONG>(rows.integer(0));
    });
  }
  HRESULT get_Fields(DAOFields** fields) override
  {
    return guarded(errors(), [&] { *out_ptr(fields) = make_fields(owner_->errors, table_->def->fields).detach(); });
  }
  HRESULT get_Indexes(DAOIndexes** indexes) override;
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
    if (stored_)
      raise(err_not_supported);
    return *table_->def;
  }

  access_session_ptr owner_;
  access_table_ptr table_;
  bool stored_;
};

// The indexes of one table, pending or stored: Append on a stored table
// creates the index in the file at once.
class access_indexes final : public com_object<DAOIndexes> {
public:
  access_indexes(access_session_ptr owner, access_table_ptr table, bool stored)
      : owner_(std::move(owner)), table_(std::move(table)), stored_(stored)
  {
  }

  HRESULT get_Count(short* count) override
  {
    return guarded(*owner_->errors, [&] { *out_value(count) = count_of(table_->indexes.size()); });
  }
  HRESULT get_Item(VARIANT item, DAOIndex** index) override
  {
    return guarded(*owner_->errors, [&] {
      out_ptr(index);
      const auto& list = table_->indexes;
      const std::size_t at =
          item_position(item, list.size(), [&](std::size_t i) -> std::wstring_view { return list[i]->name; });
      *index = make_index_object(owner_->errors, list[at]).detach();
    });
  }
  HRESULT Append(IUnknown* object) override
  {
    return guarded(*owner_->errors, [&] {
      const index_ptr index = index_of(object);
      if (index->frozen)
        raise(err_invalid_operation);
      if (table_->find_index(index->name) >= 0)
        raise(err_index_exists, index->name);
      if (stored_)
        store_index(*owner_, *table_, *index);
      else if (index->fields->items.empty())
        raise(err_no_field);
      index->frozen = index->fields->frozen = true;
      for (const field_ptr& field : index->fields->items)
        field->frozen = true;
      table_->indexes.push_back(index);
    });
  }

private:
  access_session_ptr owner_;
  access_table_ptr table_;
  bool stored_;
};

HRESULT access_tabledef::get_Indexes(DAOIndexes** indexes)
{
  return guarded(errors(), [&] {
    out_ptr(indexes);
    *indexes = make_com<access_indexes>(owner_, table_, stored_).detach();
  });
}

class access_tabledefs final : public com_object<DAOTableDefs> {
public:
  explicit access_tabledefs(access_session_ptr owner) : owner_(std::move(owner)) {}

  HRESULT get_Count(short* count) override
  {
    return guarded(errors(), [&] {
      owner_->db();
      *out_value(count) = count_of(owner_->tables.size());
    });
  }
  HRESULT get_Item(VARIANT item, DAOTableDef** table) override
  {
    return guarded(errors(), [&] {
      out_ptr(table);
      owner_->db();
      const auto& tables = owner_->tables;
      const std::size_t at = item_position(item, tables.size(),
                                           [&](std::size_t i) -> std::wstring_view { return tables[i]->def->name; });
      *table = make_access_tabledef(owner_, tables[at]).detach();
    });
  }
  HRESULT Append(IUnknown* object) override
  {
    return guarded(errors(), [&] {
      owner_->writable_db();
      const auto table = own_object<access_tabledef, DAOTableDef>(object);
      table_data& data = *table->table()->def;
      if (table->owner() != owner_ || table->stored())
        raise(err_invalid_operation);
      if (owner_->find_table(data.name) >= 0)
        raise(err_table_exists, data.name);
      if (data.attributes != 0)  // linked and system tables are not made here
        raise(err_not_supported);
      store_table(*owner_, *table->table());
      data.fields->frozen = true;
      for (const field_ptr& field : data.fields->items)
        field->frozen = true;
      table->mark_stored();
      owner_->tables.push_back(table->table());
    });
  }
  HRESULT Delete(BSTR name) override
  {
    return guarded(errors(), [&] {
      owner_->writable_db();
      const std::ptrdiff_t at = owner_->find_table(text_of(name));
      if (at < 0)
        raise(err_item_not_found);
      drop_table(*owner_, *owner_->tables[static_cast<std::size_t>(at)]);
      owner_->tables.erase(owner_->tables.begin() + at);
    });
  }

private:
  error_state& errors() { return *owner_->errors; }

  access_session_ptr owner_;
};

} // namespace

com_ref<DAOTableDefs> make_access_tabledefs(access_session_ptr session)
{
  return com_ref<DAOTableDefs>::adopt(make_com<access_tabledefs>(std::move(session)).detach());
}

com_ref<DAOTableDef> make_access_tabledef(access_session_ptr session, access_table_ptr table)
{
  return com_ref<DAOTableDef>::adopt(make_com<access_tabledef>(std::move(session), std::move(table), true).detach());
}

com_ref<DAOTableDef> new_access_tabledef(access_session_ptr session, std::wstring name, LONG attributes)
{
  auto table = std::make_shared<access_table>();
  table->def = std::make_shared<table_data>();
  table->def->name = std::move(name);
  table->def->attributes = attributes;
  return com_ref<DAOTableDef>::adopt(make_com<access_tabledef>(std::move(session), std::move(table), false).detach());
}

} // namespace plat::dao
