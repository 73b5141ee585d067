// The Recordset object over the rows a driver keeps: every member checks that
// the recordset is open and runs guarded, so a failure lands in Errors. What
// differs between drivers (where rows come from and go to, how far a move can
// go) is the state's; a row is pending between AddNew and a successful Update,
// and AddNew, CancelUpdate, a move and Close drop it.
//
// The state is a recordset_rows (below) with: owner->errors, check_writable()
// (AddNew's refusals), width(), at_bof(), at_eof(), record_count(), columns()
// (the field list), position(item), write_row() (Update's), move(step) (which
// raises err_no_current_record where there is no row to go to) and close().
#pragma once

#include "platform/dao/dao_model.h"

#include <memory>
#include <utility>
#include <vector>

namespace plat::dao {

enum class move_step { first, next, previous, last };

// What every driver's recordset state holds alike: whether it is closed, and
// the row being added (pending from AddNew until Update or its drop).
struct recordset_rows : value_source {
  recordset_rows() = default;
  recordset_rows(const recordset_rows&) = delete;
  recordset_rows& operator=(const recordset_rows&) = delete;

  void check_open() const
  {
    if (closed)
      raise(err_object_closed);
  }
  void drop_row() noexcept
  {
    for (VARIANT& value : row)
      VariantClear(&value);
    row.clear();  // keeps its room for the next row
    pending = false;
  }

  bool closed = false;
  bool pending = false;
  std::vector<VARIANT> row;
  LONG added = 0;  // rows written by Update

protected:
  ~recordset_rows() { drop_row(); }
};

// The recordsets still open over a session, held weakly (a session holds no
// object): ending the session closes them, and a gone one is forgotten when
// the next is added.
template <class State>
class open_recordsets {
public:
  void add(const std::shared_ptr<State>& state)
  {
    std::erase_if(list_, [](const std::weak_ptr<State>& open) { return open.expired(); });
    list_.push_back(state);
  }
  // `close(state)` closes one; it may be a function of the driver's, since
  // the state's type may not be complete where the session is.
  void close_all(void (*close)(State&) noexcept) noexcept
  {
    for (const std::weak_ptr<State>& open : list_)
      if (const std::shared_ptr<State> state = open.lock())
        close(*state);
    list_.clear();
  }

private:
  std::vector<std::weak_ptr<State>> list_;
};

template <class State>
class recordset_object final : public com_object<DAORecordset> {
public:
  explicit recordset_object(std::shared_ptr<State> state) : state_(std::move(state)) {}

  HRESULT get_BOF(VARIANT_BOOL* bof) override
  {
    return open_guarded([&] { *bof = to_variant_bool(state_->at_bof()); }, bof);
  }
  HRESULT get_EOF(VARIANT_BOOL* eof) override
  {
    return open_guarded([&] { *eof = to_variant_bool(state_->at_eof()); }, eof);
  }
  HRESULT get_RecordCount(LONG* count) override
  {
    return open_guarded([&] { *count = state_->record_count(); }, count);
  }
  HRESULT get_Fields(DAOFields** fields) override
  {
    return open_guarded([&] { *fields = make_fields(state_->owner->errors, state_->columns(), state_).detach(); },
                        fields);
  }
  HRESULT get_Collect(VARIANT item, VARIANT* value) override
  {
    return guarded(errors(), [&] {
      VARIANT* out = out_variant(value);
      state_->check_open();
      state_->get_value(state_->position(item), out);
    });
  }
  HRESULT put_Collect(VARIANT item, VARIANT value) override
  {
    return guarded(errors(), [&] {
      state_->check_open();
      state_->put_value(state_->position(item), value);
    });
  }
  HRESULT AddNew() override
  {
    return guarded(errors(), [&] {
      state_->check_open();
      state_->check_writable();
      state_->drop_row();
      state_->row.resize(state_->width());
      state_->pending = true;
    });
  }
  HRESULT Update(LONG type, VARIANT_BOOL /*force*/) override
  {
    return guarded(errors(), [&] {
      state_->check_open();
      if (!state_->pending)
        raise(err_no_add_new);
      if (type != db_update_regular)
        raise(err_invalid_argument);
      state_->write_row();  // a refused row stays pending, as DAO leaves it
      state_->drop_row();
      ++state_->added;
    });
  }
  HRESULT CancelUpdate() override
  {
    return guarded(errors(), [&] {
      state_->check_open();
      if (!state_->pending)
        raise(err_no_add_new);
      state_->drop_row();
    });
  }
  HRESULT MoveFirst() override { return move(move_step::first); }
  HRESULT MoveNext() override { return move(move_step::next); }
  HRESULT MovePrevious() override { return move(move_step::previous); }
  HRESULT MoveLast() override { return move(move_step::last); }
  HRESULT Close() override
  {
    return guarded(errors(), [&] {
      state_->check_open();
      state_->close();
    });
  }

private:
  error_state& errors() { return *state_->owner->errors; }
  // A getter: its out-parameter cleared first, then the open check.
  template <class Body, class Out>
  HRESULT open_guarded(Body&& body, Out* out)
  {
    return guarded(errors(), [&] {
      *out_value(out) = Out{};
      state_->check_open();
      body();
    });
  }
  HRESULT move(move_step step)
  {
    return guarded(errors(), [&] {
      state_->check_open();
      state_->move(step);
    });
  }

  std::shared_ptr<State> state_;
};

} // namespace plat::dao
