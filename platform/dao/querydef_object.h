// The QueryDef object of either driver, written once over the driver's query.
// `Query` holds `owner` (the session, whose `errors` every member reports to)
// and gives: name(), sql(), set_sql(text) (with the driver's refusals),
// fields() (the field list the query gives) and open(type, options) (its
// recordset, with OpenRecordset's arguments already checked for range).
#pragma once

#include "platform/dao/dao_model.h"

#include <utility>

namespace plat::dao {

template <class Query>
class querydef_object final : public com_object<DAOQueryDef> {
public:
  template <class... Args>
  explicit querydef_object(Args&&... args) : query_(std::forward<Args>(args)...)
  {
  }

  HRESULT get_Name(BSTR* name) override
  {
    return guarded(errors(), [&] { put_text(name, query_.name()); });
  }
  HRESULT get_SQL(BSTR* sql) override
  {
    return guarded(errors(), [&] { put_text(sql, query_.sql()); });
  }
  HRESULT put_SQL(BSTR sql) override
  {
    return guarded(errors(), [&] { query_.set_sql(text_of(sql)); });
  }
  HRESULT get_Fields(DAOFields** fields) override
  {
    return guarded(errors(), [&] {
      out_ptr(fields);
      *fields = make_fields(query_.owner->errors, query_.fields()).detach();
    });
  }
  HRESULT OpenRecordset(VARIANT type, VARIANT options, DAORecordset** recordset) override
  {
    return guarded(errors(), [&] {
      out_ptr(recordset);
      const short kind = recordset_type_arg(type);
      const LONG flags = long_arg(options, 0);
      *recordset = query_.open(kind, flags).detach();
    });
  }
  HRESULT Close() override { return S_OK; }

private:
  error_state& errors() { return *query_.owner->errors; }

  Query query_;
};

} // namespace plat::dao
