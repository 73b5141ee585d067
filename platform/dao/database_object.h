// The Database object of either driver, written once over the driver's
// session. What differs between drivers comes from `Objects`, which names the
// session type and gives: check_open(session) (3420 once closed), and the
// objects tabledefs, querydefs, relations, create_tabledef(name, attributes)
// and create_querydef(name, sql) over the session. Every member but Name and
// Close fails once the session has ended; relations are alike in both drivers.
#pragma once

#include "platform/dao/dao_model.h"
#include "platform/dao/relation_object.h"

#include <memory>
#include <utility>

namespace plat::dao {

template <class Objects>
class database_object final : public com_object<DAODatabase> {
public:
  using session_ptr = std::shared_ptr<typename Objects::session>;

  explicit database_object(session_ptr owner) : owner_(std::move(owner)) {}

  HRESULT get_Name(BSTR* name) override
  {
    return guarded(errors(), [&] { put_text(name, owner_->name); });
  }
  HRESULT get_TableDefs(DAOTableDefs** tables) override
  {
    return open_call(tables, [&] { return Objects::tabledefs(owner_); });
  }
  HRESULT get_QueryDefs(DAOQueryDefs** queries) override
  {
    return open_call(queries, [&] { return Objects::querydefs(owner_); });
  }
  HRESULT get_Relations(DAORelations** relations) override
  {
    return open_call(relations, [&] { return Objects::relations(owner_); });
  }
  HRESULT CreateTableDef(VARIANT name, VARIANT attributes, VARIANT source_table, VARIANT connect,
                         DAOTableDef** table) override
  {
    return open_call(table, [&] {
      // A linked table would need a second source; neither driver keeps one.
      if (!text_arg(source_table).empty() || !text_arg(connect).empty())
        raise(err_not_supported);
      std::wstring table_name = text_arg(name);
      return Objects::create_tabledef(owner_, std::move(table_name), long_arg(attributes, 0));
    });
  }
  HRESULT CreateQueryDef(VARIANT name, VARIANT sql, DAOQueryDef** query) override
  {
    return open_call(query, [&] { return Objects::create_querydef(owner_, name, sql); });
  }
  HRESULT CreateRelation(VARIANT name, VARIANT table, VARIANT foreign_table, VARIANT attributes,
                         DAORelation** relation) override
  {
    return open_call(relation, [&] {
      relation_data data;
      data.name = text_arg(name);
      data.table = text_arg(table);
      data.foreign_table = text_arg(foreign_table);
      data.attributes = long_arg(attributes, 0);
      return com_ref<DAORelation>::adopt(
          make_com<relation_object>(owner_->errors, std::move(data), false).detach());
    });
  }
  HRESULT Close() override
  {
    return guarded(errors(), [&] { owner_->close(); });
  }

private:
  error_state& errors() { return *owner_->errors; }
  // A member that hands out an object: its out-parameter cleared, then the
  // open check, then the object.
  template <class Out, class Make>
  HRESULT open_call(Out** out, Make&& make)
  {
    return guarded(errors(), [&] {
      out_ptr(out);
      Objects::check_open(*owner_);
      *out = make().detach();
    });
  }

  session_ptr owner_;
};

} // namespace plat::dao
