// The Access-database driver's entry, and the Database, QueryDefs, QueryDef
// and Relations of an Access database.
// A query made with a name is stored at once, as DAO does; one made without a
// name is temporary. Relations are what MSysRelationships holds, read afresh
// each time the collection is asked.
#include "platform/dao/access/store.h"

#include "platform/dao/access/access_driver.h"
#include "platform/dao/dao_drivers.h"
#include "platform/dao/database_object.h"
#include "platform/dao/querydef_object.h"
#include "platform/dao/relation_object.h"

namespace plat::dao {

namespace {

// A query of an Access database: a stored one's text is the catalogue's.
struct access_query {
  access_query(access_session_ptr owner_, stored_query query_, bool stored_)
      : owner(std::move(owner_)), query(std::move(query_)), stored(stored_)
  {
  }

  const std::wstring& name() const { return query.name; }
  const std::wstring& sql() const { return query.sql; }
  void set_sql(std::wstring sql)
  {
    if (stored)
      raise(err_not_supported);
    query.sql = std::move(sql);
  }
  std::shared_ptr<field_list> fields() const { return query_fields(*owner, query.sql); }
  com_ref<DAORecordset> open(short type, LONG options) const
  {
    return open_access_recordset(owner, query.sql, type, options);
  }

  access_session_ptr owner;
  stored_query query;
  bool stored;
};
using access_querydef = querydef_object<access_query>;

class access_querydefs final : public com_object<DAOQueryDefs> {
public:
  explicit access_querydefs(access_session_ptr owner) : owner_(std::move(owner)) {}

  HRESULT get_Count(short* count) override
  {
    return guarded(*owner_->errors, [&] { *out_value(count) = count_of(load_queries(*owner_).size()); });
  }
  HRESULT get_Item(VARIANT item, DAOQueryDef** query) override
  {
    return guarded(*owner_->errors, [&] {
      out_ptr(query);
      std::vector<stored_query> queries = load_queries(*owner_);
      const std::size_t at = item_position(item, queries.size(),
                                           [&](std::size_t i) -> std::wstring_view { return queries[i].name; });
      *query = make_com<access_querydef>(owner_, std::move(queries[at]), true).detach();
    });
  }
  HRESULT Append(IUnknown* query) override
  {
    return guarded(*owner_->errors, [&] {
      own_object<access_querydef, DAOQueryDef>(query);
      // A named query was stored when it was made; a temporary one never is.
      raise(err_invalid_operation);
    });
  }

private:
  access_session_ptr owner_;
};

class access_relations final : public com_object<DAORelations> {
public:
  explicit access_relations(access_session_ptr owner) : owner_(std::move(owner)) {}

  HRESULT get_Count(short* count) override
  {
    return guarded(*owner_->errors, [&] { *out_value(count) = count_of(load_relations(*owner_).size()); });
  }
  HRESULT get_Item(VARIANT item, DAORelation** relation) override
  {
    return guarded(*owner_->errors, [&] {
      out_ptr(relation);
      std::vector<relation_data> relations = load_relations(*owner_);
      const std::size_t at = item_position(item, relations.size(),
                                           [&](std::size_t i) -> std::wstring_view { return relations[i].name; });
      *relation = make_com<relation_object>(owner_->errors, std::move(relations[at]), true).detach();
    });
  }
  HRESULT Append(IUnknown* object) override
  {
    return guarded(*owner_->errors, [&] {
      const auto relation = own_object<relation_object, DAORelation>(object);
      if (relation->stored())
        raise(err_invalid_operation);
      store_relation(*owner_, relation->data());
      relation->mark_stored();
    });
  }

private:
  access_session_ptr owner_;
};

// What the Database object asks of an Access database. A query made with a
// name is stored at once.
struct access_objects {
  using session = access_session;

  static void check_open(access_session& owner) { owner.db(); }
  static com_ref<DAOTableDefs> tabledefs(const access_session_ptr& owner) { return make_access_tabledefs(owner); }
  static com_ref<DAOQueryDefs> querydefs(const access_session_ptr& owner)
  {
    return com_ref<DAOQueryDefs>::adopt(make_com<access_querydefs>(owner).detach());
  }
  static com_ref<DAORelations> relations(const access_session_ptr& owner)
  {
    return com_ref<DAORelations>::adopt(make_com<access_relations>(owner).detach());
  }
  static com_ref<DAOTableDef> create_tabledef(const access_session_ptr& owner, std::wstring name, LONG attributes)
  {
    return new_access_tabledef(owner, std::move(name), attributes);
  }
  static com_ref<DAOQueryDef> create_querydef(const access_session_ptr& owner, const VARIANT& name,
                                              const VARIANT& sql)
  {
    stored_query made{text_arg(name), text_arg(sql)};
    const bool stored = !made.name.empty();
    if (stored)
      store_query(*owner, made);
    return com_ref<DAOQueryDef>::adopt(make_com<access_querydef>(owner, std::move(made), stored).detach());
  }
};

} // namespace

com_ref<DAODatabase> make_access_database(access_session_ptr session)
{
  return com_ref<DAODatabase>::adopt(make_com<database_object<access_objects>>(std::move(session)).detach());
}

void register_access_driver()
{
  install_access_driver(&open_access_database, &create_access_database);
}

} // namespace plat::dao
