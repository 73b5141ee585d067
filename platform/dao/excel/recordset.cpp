// The Recordset over one sheet. Rows are only ever added: AddNew starts a row,
// Collect fills it, Update hands it to the workbook. A row is pending between
// AddNew and a successful Update; AddNew, CancelUpdate and Close drop it.
#include "platform/dao/excel/session.h"
#include "platform/dao/recordset_object.h"

#include <cassert>

namespace plat::dao {

struct recordset_state final : recordset_rows {
  recordset_state(workbook_session_ptr owner_, table_ptr table_, bool read_only_)
      : owner(std::move(owner_)), table(std::move(table_)), read_only(read_only_)
  {
  }
  // Rows are filled field after field, so the field after the last one named
  // is tried first: a row of n fields costs n name comparisons, not n²/2.
  std::size_t position(const VARIANT& item)
  {
    const auto& fields = table->fields->items;
    if (item.vt == VT_BSTR && next_field < fields.size() &&
        equal_no_case(fields[next_field]->name, std::wstring_view(item.bstrVal, SysStringLen(item.bstrVal))))
      return next_field++;
    const std::size_t at =
        item_position(item, fields.size(), [&](std::size_t i) -> std::wstring_view { return fields[i]->name; });
    next_field = at + 1;
    return at;
  }

  void get_value(std::size_t at, VARIANT* value) override
  {
    check_open();
    if (!pending)
      raise(err_no_current_record);
    assert(at < row.size());  // the fields of an appended table never change
    if (FAILED(VariantCopy(value, &row[at])))
      throw std::bad_alloc();
  }
  void put_value(std::size_t at, const VARIANT& value) override;

  // What the recordset object asks of its rows: none is ever current, since
  // added rows are not read back.
  void check_writable()
  {
    owner->book();
    if (read_only)
      raise(err_read_only);
  }
  std::size_t width() const { return table->fields->items.size(); }
  bool at_bof() const { return true; }
  bool at_eof() const { return true; }
  LONG record_count() const { return added; }
  std::shared_ptr<field_list> columns() const { return table->fields; }
  void write_row()
  {
    owner->book().append_row(static_cast<std::size_t>(table->sheet), row.data(), row.size());
  }
  void move(move_step) { raise(err_no_current_record); }
  void close() noexcept
  {
    drop_row();
    closed = true;
  }

  workbook_session_ptr owner;
  table_ptr table;
  bool read_only;
  std::size_t next_field = 0;
};

namespace {

// The value as the workbook takes it: the integer kinds it does not know
// become VT_I4 or VT_R8; objects, arrays and references are refused.
VARIANT cell_value(const VARIANT& value)
{
  VARIANT cell;
  VARTYPE target = VT_EMPTY;
  switch (value.vt) {
  case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY: case VT_DATE:
  case VT_BSTR: case VT_BOOL: case VT_DECIMAL: case VT_UI1:
    if (FAILED(VariantCopy(&cell, &value)))
      throw std::bad_alloc();
    return cell;
  case VT_I1: case VT_UI2: case VT_INT: target = VT_I4; break;
  case VT_UI4: case VT_UINT: case VT_I8: case VT_UI8: target = VT_R8; break;
  default: raise(err_conversion);
  }
  if (FAILED(VariantChangeType(&cell, &value, 0, target)))
    raise(err_conversion);
  return cell;
}

} // namespace

void recordset_state::put_value(std::size_t at, const VARIANT& value)
{
  check_open();
  if (!pending)
    raise(err_no_add_new);
  VARIANT cell = cell_value(value);
  assert(at < row.size());
  VariantClear(&row[at]);
  row[at] = cell;
}

void close_recordset(recordset_state& recordset) noexcept
{
  recordset.close();
}

com_ref<DAORecordset> open_recordset(workbook_session_ptr owner, table_ptr table, short type, LONG options)
{
  excel_workbook& book = owner->book();
  const recordset_mode mode = recordset_mode_of(type, options);
  const bool read_only = mode.read_only || owner->read_only;
  // The workbook's rows are written, never read back.
  if (!mode.append_only && table->sheet >= 0 && book.sheet_rows(static_cast<std::size_t>(table->sheet)) > 0)
    raise(err_not_supported);
  auto state = std::make_shared<recordset_state>(owner, std::move(table), read_only);
  owner->recordsets.add(state);
  return com_ref<DAORecordset>::adopt(make_com<recordset_object<recordset_state>>(std::move(state)).detach());
}

} // namespace plat::dao
