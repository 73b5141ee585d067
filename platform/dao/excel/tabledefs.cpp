// TableDefs and TableDef of a workbook: a TableDef is a sheet once
// TableDefs.Append has added it to the workbook; before that it is a
// definition that only its creator sees. A workbook holds no indexes.
#include "platform/dao/excel/session.h"

#include "platform/dao/tabledef_object.h"

namespace plat::dao {

namespace {

struct workbook_tables {
  using session = workbook_session;
  using table = table_data;

  static table_data& def(table_data& table) { return table; }
  static bool stored(const table_data& table) { return table.sheet >= 0; }
  static void check_open(workbook_session& owner) { owner.book(); }
  static LONG record_count(workbook_session& owner, const table_data& table)
  {
    return static_cast<LONG>(owner.book().sheet_rows(static_cast<std::size_t>(table.sheet)));
  }
  static com_ref<DAOIndexes> indexes(const workbook_session_ptr& owner, const table_ptr& /*table*/)
  {
    return make_empty_indexes(owner->errors);
  }
  static void check_append(workbook_session& owner) { owner.book(); }
  static void check_new(workbook_session& owner, const table_data& data)
  {
    if (owner.read_only)
      raise(err_read_only);
    if (data.name.empty())
      raise(err_invalid_name, data.name);
  }
  static void store(workbook_session& owner, table_data& data)
  {
    if (data.fields->items.empty())
      raise(err_no_field);
    std::vector<excel_column> columns;
    columns.reserve(data.fields->items.size());
    for (const field_ptr& field : data.fields->items)
      columns.push_back({field->name, field->type});
    data.sheet = static_cast<std::ptrdiff_t>(owner.book().add_sheet(data.name, columns));
  }
  static void remove(workbook_session& owner, BSTR /*name*/)
  {
    owner.book();
    raise(err_not_supported);  // a sheet, once written, stays
  }
};

} // namespace

com_ref<DAOTableDef> make_tabledef(workbook_session_ptr owner, table_ptr table)
{
  return make_tabledef_object<workbook_tables>(std::move(owner), std::move(table));
}

com_ref<DAOTableDefs> make_tabledefs(workbook_session_ptr owner)
{
  return make_tabledefs_object<workbook_tables>(std::move(owner));
}

} // namespace plat::dao
