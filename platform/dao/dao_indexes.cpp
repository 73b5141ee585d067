// Index and Indexes as both drivers hand them out: an Index is a definition
// until it is appended to a table's Indexes; from then on it is frozen. A
// sheet's Indexes is always empty.
#include "platform/dao/dao_model.h"

namespace plat::dao {

namespace {

class index_object final : public com_object<DAOIndex> {
public:
  index_object(std::shared_ptr<error_state> errors, index_ptr index)
      : errors_(std::move(errors)), index_(std::move(index))
  {
  }

  const index_ptr& data() const { return index_; }

  HRESULT get_Name(BSTR* name) override
  {
    return guarded(*errors_, [&] { put_text(name, index_->name); });
  }
  HRESULT put_Name(BSTR name) override
  {
    return guarded(*errors_, [&] { changing().name = text_of(name); });
  }
  HRESULT get_Primary(VARIANT_BOOL* primary) override
  {
    return guarded(*errors_, [&] { *out_value(primary) = to_variant_bool(index_->primary); });
  }
  HRESULT put_Primary(VARIANT_BOOL primary) override
  {
    return guarded(*errors_, [&] { changing().primary = primary != VARIANT_FALSE; });
  }
  HRESULT get_Unique(VARIANT_BOOL* unique) override
  {
    return guarded(*errors_, [&] { *out_value(unique) = to_variant_bool(index_->unique); });
  }
  HRESULT put_Unique(VARIANT_BOOL unique) override
  {
    return guarded(*errors_, [&] { changing().unique = unique != VARIANT_FALSE; });
  }
  HRESULT get_Foreign(VARIANT_BOOL* foreign) override
  {
    return guarded(*errors_, [&] { *out_value(foreign) = to_variant_bool(index_->foreign); });
  }
  HRESULT get_Fields(VARIANT* fields) override
  {
    return guarded(*errors_, [&] {
      VARIANT* out = out_variant(fields);
      out->pdispVal = make_index_fields(errors_, index_->fields).detach();
      out->vt = VT_DISPATCH;
    });
  }
  HRESULT CreateField(VARIANT name, VARIANT type, VARIANT size, DAOField** field) override
  {
    return guarded(*errors_, [&] {
      out_ptr(field);
      *field = create_field_object(errors_, name, type, size).detach();
    });
  }

private:
  index_data& changing()
  {
    if (index_->frozen)
      raise(err_not_supported);
    return *index_;
  }

  std::shared_ptr<error_state> errors_;
  index_ptr index_;
};

} // namespace

com_ref<DAOIndex> make_index(std::shared_ptr<error_state> errors, std::wstring name)
{
  auto index = std::make_shared<index_data>();
  index->name = std::move(name);
  return make_index_object(std::move(errors), std::move(index));
}

com_ref<DAOIndex> make_index_object(std::shared_ptr<error_state> errors, index_ptr index)
{
  return com_ref<DAOIndex>::adopt(make_com<index_object>(std::move(errors), std::move(index)).detach());
}

index_ptr index_of(IUnknown* index)
{
  return own_object<index_object, DAOIndex>(index)->data();
}

com_ref<DAOIndexes> make_empty_indexes(std::shared_ptr<error_state> errors)
{
  return com_ref<DAOIndexes>::adopt(make_com<empty_collection<DAOIndexes, DAOIndex>>(std::move(errors)).detach());
}

} // namespace plat::dao
