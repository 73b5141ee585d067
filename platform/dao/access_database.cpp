// Database, QueryDefs, QueryDef, Relations and Relation of an Access database.
// A query made with a name is stored at once, as DAO does; one made without a
// name is temporary. Relations are what MSysRelationships holds, read afresh
// each time the collection is asked.
#include "platform/dao/access_store.h"

namespace plat::dao {

namespace {

class access_querydef final : public com_object<DAOQueryDef> {
public:
  access_querydef(access_session_ptr owner, stored_query query, bool stored)
      : owner_(std::move(owner)), query_(std::move(query)), stored_(stored)
  {
  }

  HRESULT get_Name(BSTR* name) override
  {
    return guarded(errors(), [&] { put_text(name, query_.name); });
  }
  HRESULT get_SQL(BSTR* sql) override
  {
    return guarded(errors(), [&] { put_text(sql, query_.sql); });
  }
  HRESULT put_SQL(BSTR sql) override
  {
    return guarded(errors(), [&] {
      if (stored_)  // a stored query's text is the catalogue's
        raise(err_not_supported);
      query_.sql = text_of(sql);
    });
  }
  HRESULT get_Fields(DAOFields** fields) override
  {
    return guarded(errors(), [&] {
      out_ptr(fields);
      *fields = make_fields(owner_->errors, query_fields(*owner_, query_.sql)).detach();
    });
  }
  HRESULT OpenRecordset(VARIANT type, VARIANT options, DAORecordset** recordset) override
  {
    return guarded(errors(), [&] {
      out_ptr(recordset);
      const LONG kind = long_arg(type, db_open_dynaset);
      if (kind < 0 || kind > 0x7FFF)
        raise(err_invalid_argument);
      *recordset = open_access_recordset(owner_, query_.sql, static_cast<short>(kind), long_arg(options, 0)).detach();
    });
  }
  HRESULT Close() override { return S_OK; }

private:
  error_state& errors() { return *owner_->errors; }

  access_session_ptr owner_;
  stored_query query_;
  bool stored_;
};

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

class access_relation final : public com_object<DAORelation> {
public:
  access_relation(std::shared_ptr<error_state> errors, relation_data data, bool stored)
      : errors_(std::move(errors)), data_(std::move(data)), stored_(stored)
  {
  }

  const relation_data& data() const { return data_; }
  bool stored() const { return stored_; }
  void mark_stored()
  {
    stored_ = true;
    data_.fields->frozen = true;
    for (const field_ptr& field : data_.fields->items)
      field->frozen = true;
  }

  HRESULT get_Name(BSTR* name) override
  {
    return guarded(*errors_, [&] { put_text(name, data_.name); });
  }
  HRESULT get_Table(BSTR* table) override
  {
    return guarded(*errors_, [&] { put_text(table, data_.table); });
  }
  HRESULT get_ForeignTable(BSTR* table) override
  {
    return guarded(*errors_, [&] { put_text(table, data_.foreign_table); });
  }
  HRESULT get_Attributes(LONG* attributes) override
  {
    return guarded(*errors_, [&] { *out_value(attributes) = data_.attributes; });
  }
  HRESULT get_Fields(DAOFields** fields) override
  {
    return guarded(*errors_, [&] { *out_ptr(fields) = make_fields(errors_, data_.fields).detach(); });
  }
  HRESULT CreateField(VARIANT name, VARIANT type, VARIANT size, DAOField** field) override
  {
    return guarded(*errors_, [&] {
      out_ptr(field);
      *field = create_field_object(errors_, name, type, size).detach();
    });
  }

private:
  std::shared_ptr<error_state> errors_;
  relation_data data_;
  bool stored_;
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
      *relation = make_com<access_relation>(owner_->errors, std::move(relations[at]), true).detach();
    });
  }
  HRESULT Append(IUnknown* object) override
  {
    return guarded(*owner_->errors, [&] {
      const auto relation = own_object<access_relation, DAORelation>(object);
      if (relation->stored())
        raise(err_invalid_operation);
      store_relation(*owner_, relation->data());
      relation->mark_stored();
    });
  }

private:
  access_session_ptr owner_;
};

class access_database final : public com_object<DAODatabase> {
public:
  explicit access_database(access_session_ptr owner) : owner_(std::move(owner)) {}

  HRESULT get_Name(BSTR* name) override
  {
    return guarded(errors(), [&] { put_text(name, owner_->name); });
  }
  HRESULT get_TableDefs(DAOTableDefs** tables) override
  {
    return guarded(errors(), [&] {
      out_ptr(tables);
      owner_->db();
      *tables = make_access_tabledefs(owner_).detach();
    });
  }
  HRESULT get_QueryDefs(DAOQueryDefs** queries) override
  {
    return guarded(errors(), [&] {
      out_ptr(queries);
      owner_->db();
      *queries = make_com<access_querydefs>(owner_).detach();
    });
  }
  HRESULT get_Relations(DAORelations** relations) override
  {
    return guarded(errors(), [&] {
      out_ptr(relations);
      owner_->db();
      *relations = make_com<access_relations>(owner_).detach();
    });
  }
  HRESULT CreateTableDef(VARIANT name, VARIANT attributes, VARIANT source_table, VARIANT connect,
                         DAOTableDef** table) override
  {
    return guarded(errors(), [&] {
      out_ptr(table);
      owner_->db();
      if (!text_arg(source_table).empty() || !text_arg(connect).empty())  // linked tables are not kept
        raise(err_not_supported);
      *table = new_access_tabledef(owner_, text_arg(name), long_arg(attributes, 0)).detach();
    });
  }
  HRESULT CreateQueryDef(VARIANT name, VARIANT sql, DAOQueryDef** query) override
  {
    return guarded(errors(), [&] {
      out_ptr(query);
      owner_->db();
      stored_query made{text_arg(name), text_arg(sql)};
      const bool stored = !made.name.empty();
      if (stored)
        store_query(*owner_, made);
      *query = make_com<access_querydef>(owner_, std::move(made), stored).detach();
    });
  }
  HRESULT CreateRelation(VARIANT name, VARIANT table, VARIANT foreign_table, VARIANT attributes,
                         DAORelation** relation) override
  {
    return guarded(errors(), [&] {
      out_ptr(relation);
      owner_->db();
      relation_data data;
      data.name = text_arg(name);
      data.table = text_arg(table);
      data.foreign_table = text_arg(foreign_table);
      data.attributes = long_arg(attributes, 0);
      *relation = make_com<access_relation>(owner_->errors, std::move(data), false).detach();
    });
  }
  HRESULT Close() override
  {
    return guarded(errors(), [&] { owner_->close(); });
  }

private:
  error_state& errors() { return *owner_->errors; }

  access_session_ptr owner_;
};

} // namespace

com_ref<DAODatabase> make_access_database(access_session_ptr session)
{
  return com_ref<DAODatabase>::adopt(make_com<access_database>(std::move(session)).detach());
}

} // namespace plat::dao
