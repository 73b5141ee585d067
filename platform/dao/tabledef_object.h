// The TableDef and TableDefs objects of either driver, written once over the
// driver's tables. A TableDef is a definition only its creator sees until
// TableDefs.Append stores it; from then on its name, attributes and fields are
// frozen. What differs between drivers comes from `Tables`, which names the
// session and table types and gives:
//   def(table)                   the table_data behind a table;
//   stored(table)                whether Append (or the file) has stored it;
//   check_open(session)          3420 once the session has ended;
//   record_count(session, table) the rows of a stored table;
//   indexes(owner, table)        its Indexes collection;
//   check_append(session)        Append's first refusals, before the object's;
//   check_new(session, def)      the driver's refusals of a new table that
//                                come before the shared name and kind checks;
//   store(session, table)        the driver's last refusals, then the store;
//                                afterwards stored(table) holds;
//   remove(session, name)        Delete.
// Every driver keeps its own order of refusals: the callers see their numbers.
#pragma once

#include "platform/dao/dao_model.h"

#include <memory>
#include <utility>

namespace plat::dao {

template <class Tables>
class tabledef_object final : public com_object<DAOTableDef> {
public:
  using session_ptr = std::shared_ptr<typename Tables::session>;
  using table_ptr = std::shared_ptr<typename Tables::table>;

  tabledef_object(session_ptr owner, table_ptr table) : owner_(std::move(owner)), table_(std::move(table)) {}

  const session_ptr& owner() const { return owner_; }
  const table_ptr& table() const { return table_; }

  HRESULT get_Name(BSTR* name) override
  {
    return guarded(errors(), [&] { put_text(name, def().name); });
  }
  HRESULT put_Name(BSTR name) override
  {
    return guarded(errors(), [&] { changing().name = text_of(name); });
  }
  HRESULT get_Attributes(LONG* attributes) override
  {
    return guarded(errors(), [&] { *out_value(attributes) = def().attributes; });
  }
  HRESULT put_Attributes(LONG attributes) override
  {
    return guarded(errors(), [&] { changing().attributes = attributes; });
  }
  HRESULT get_RecordCount(LONG* count) override
  {
    return guarded(errors(), [&] {
      LONG* out = out_value(count);
      if (Tables::stored(*table_))
        *out = Tables::record_count(*owner_, *table_);
    });
  }
  HRESULT get_Fields(DAOFields** fields) override
  {
    return guarded(errors(), [&] { *out_ptr(fields) = make_fields(owner_->errors, def().fields).detach(); });
  }
  HRESULT get_Indexes(DAOIndexes** indexes) override
  {
    return guarded(errors(), [&] { *out_ptr(indexes) = Tables::indexes(owner_, table_).detach(); });
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
  table_data& def() const { return Tables::def(*table_); }
  table_data& changing()
  {
    if (Tables::stored(*table_))
      raise(err_not_supported);
    return def();
  }

  session_ptr owner_;
  table_ptr table_;
};

template <class Tables>
com_ref<DAOTableDef> make_tabledef_object(std::shared_ptr<typename Tables::session> owner,
                                          std::shared_ptr<typename Tables::table> table)
{
  return com_ref<DAOTableDef>::adopt(
      make_com<tabledef_object<Tables>>(std::move(owner), std::move(table)).detach());
}

template <class Tables>
class tabledefs_object final : public com_object<DAOTableDefs> {
public:
  using session_ptr = std::shared_ptr<typename Tables::session>;

  explicit tabledefs_object(session_ptr owner) : owner_(std::move(owner)) {}

  HRESULT get_Count(short* count) override
  {
    return guarded(errors(), [&] {
      Tables::check_open(*owner_);
      *out_value(count) = count_of(owner_->tables.size());
    });
  }
  HRESULT get_Item(VARIANT item, DAOTableDef** table) override
  {
    return guarded(errors(), [&] {
      out_ptr(table);
      Tables::check_open(*owner_);
      const auto& tables = owner_->tables;
      const std::size_t at = item_position(
          item, tables.size(), [&](std::size_t i) -> std::wstring_view { return Tables::def(*tables[i]).name; });
      *table = make_tabledef_object<Tables>(owner_, tables[at]).detach();
    });
  }
  HRESULT Append(IUnknown* object) override
  {
    return guarded(errors(), [&] {
      Tables::check_append(*owner_);
      const auto table = own_object<tabledef_object<Tables>, DAOTableDef>(object);
      typename Tables::table& stored = *table->table();
      table_data& data = Tables::def(stored);
      if (table->owner() != owner_ || Tables::stored(stored))
        raise(err_invalid_operation);
      Tables::check_new(*owner_, data);
      if (owner_->find_table(data.name) >= 0)
        raise(err_table_exists, data.name);
      if (data.attributes != 0)  // linked, hidden and system tables are not made here
        raise(err_not_supported);
      Tables::store(*owner_, stored);
      freeze(*data.fields);
      owner_->tables.push_back(table->table());
    });
  }
  HRESULT Delete(BSTR name) override
  {
    return guarded(errors(), [&] { Tables::remove(*owner_, name); });
  }

private:
  error_state& errors() { return *owner_->errors; }

  session_ptr owner_;
};

template <class Tables>
com_ref<DAOTableDefs> make_tabledefs_object(std::shared_ptr<typename Tables::session> owner)
{
  return com_ref<DAOTableDefs>::adopt(make_com<tabledefs_object<Tables>>(std::move(owner)).detach());
}

} // namespace plat::dao
