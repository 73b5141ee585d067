// The Relation object over a relation's definition. One made by
// CreateRelation is new until a Relations collection stores it; from then on
// its fields are frozen.
#pragma once

#include "platform/dao/dao_model.h"

#include <memory>
#include <utility>

namespace plat::dao {

class relation_object final : public com_object<DAORelation> {
public:
  relation_object(std::shared_ptr<error_state> errors, relation_data data, bool stored)
      : errors_(std::move(errors)), data_(std::move(data)), stored_(stored)
  {
  }

  const relation_data& data() const { return data_; }
  bool stored() const { return stored_; }
  void mark_stored()
  {
    stored_ = true;
    freeze(*data_.fields);
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

} // namespace plat::dao
