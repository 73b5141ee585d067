// TableDefs, TableDef and Indexes of an Access database. A TableDef is a
// definition only its creator sees until TableDefs.Append stores it; from then
// on its fields are frozen, and an index appended to it is created at once.
#include "platform/dao/access/store.h"

#include "platform/dao/tabledef_object.h"

#include <sqlite3.h>

namespace plat::dao {

namespace {

// The indexes of one table, pending or stored: Append on a stored table
// creates the index in the file at once.
class access_indexes final : public com_object<DAOIndexes> {
public:
  access_indexes(access_session_ptr owner, access_table_ptr table) : owner_(std::move(owner)), table_(std::move(table))
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
      // Asked now, not when the collection was handed out: the table may have
      // been stored since, and then the index must reach the file too.
      if (table_->stored)
        store_index(*owner_, *table_, *index);
      else if (index->fields->items.empty())
        raise(err_no_field);
      index->frozen = true;
      freeze(*index->fields);
      table_->indexes.push_back(index);
    });
  }

private:
  access_session_ptr owner_;
  access_table_ptr table_;
};

struct access_tables {
  using session = access_session;
  using table = access_table;

  static table_data& def(access_table& table) { return *table.def; }
  static bool stored(const access_table& table) { return table.stored; }
  static void check_open(access_session& owner) { owner.db(); }
  static LONG record_count(access_session& owner, const access_table& table)
  {
    sql_statement rows(owner.db(), "SELECT count(*) FROM " + quoted_name(table.def->name));
    rows.step();
    return static_cast<LONG>(rows.integer(0));
  }
  static com_ref<DAOIndexes> indexes(const access_session_ptr& owner, const access_table_ptr& table)
  {
    return com_ref<DAOIndexes>::adopt(make_com<access_indexes>(owner, table).detach());
  }
  // A read-only database refuses before the object is looked at.
  static void check_append(access_session& owner) { owner.writable_db(); }
  static void check_new(access_session& /*owner*/, const table_data& /*data*/) {}
  // Names and fields are checked by the store, inside its savepoint.
  static void store(access_session& owner, access_table& table)
  {
    store_table(owner, table);
    table.stored = true;
  }
  static void remove(access_session& owner, BSTR name)
  {
    owner.writable_db();
    const std::ptrdiff_t at = owner.find_table(text_of(name));
    if (at < 0)
      raise(err_item_not_found);
    drop_table(owner, *owner.tables[static_cast<std::size_t>(at)]);
    owner.tables.erase(owner.tables.begin() + at);
  }
};

} // namespace

com_ref<DAOTableDefs> make_access_tabledefs(access_session_ptr session)
{
  return make_tabledefs_object<access_tables>(std::move(session));
}

com_ref<DAOTableDef> make_access_tabledef(access_session_ptr session, access_table_ptr table)
{
  return make_tabledef_object<access_tables>(std::move(session), std::move(table));
}

com_ref<DAOTableDef> new_access_tabledef(access_session_ptr session, std::wstring name, LONG attributes)
{
  auto table = std::make_shared<access_table>();
  table->def = std::make_shared<table_data>();
  table->def->name = std::move(name);
  table->def->attributes = attributes;
  return make_tabledef_object<access_tables>(std::move(session), std::move(table));
}

} // namespace plat::dao
