// The Recordset over the rows of a query on an Access database. The rows are
// read when it opens (none under the append-only option) and typed by the DAO
// type of the field they come from; a query whose columns all come from one
// table takes new rows, inserted into that table by Update. A row is pending
// between AddNew and a successful Update; AddNew, CancelUpdate and Close drop it.
#include "platform/dao/access_store.h"
#include "platform/dao/recordset_object.h"

#include "platform/oleaut/safearray.h"
#include "platform/text_codec.h"

#include <sqlite3.h>

#include <cmath>
#include <cstring>

namespace plat::dao {

namespace {

constexpr short type_unknown = 0;

VARTYPE value_type(short type)
{
  switch (type) {
  case db_boolean: return VT_BOOL;
  case db_byte: return VT_UI1;
  case db_integer: return VT_I2;
  case db_long: return VT_I4;
  case db_big_int: return VT_I8;
  case db_currency: return VT_CY;
  case db_single: return VT_R4;
  case db_date: case db_time: return VT_DATE;
  case db_text: case db_memo: case db_guid: return VT_BSTR;
  case db_binary: case db_long_binary: return VT_ARRAY | VT_UI1;
  default: return VT_R8;
  }
}

// The DAO type of a column no table describes, from the value it gives.
short type_of_value(sqlite3_stmt* stmt, int column)
{
  switch (sqlite3_column_type(stmt, column)) {
  case SQLITE_INTEGER: {
    const long long value = sqlite3_column_int64(stmt, column);
    return value >= INT32_MIN && value <= INT32_MAX ? db_long : db_big_int;
  }
  case SQLITE_FLOAT: return db_double;
  case SQLITE_BLOB: return db_long_binary;
  default: return db_memo;
  }
}

VARIANT byte_array(const void* bytes, std::size_t count)
{
  VARIANT value;
  value.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(count));
  if (value.parray == nullptr)
    throw std::bad_alloc();
  value.vt = VT_ARRAY | VT_UI1;
  if (count > 0) {
    void* data = nullptr;
    SafeArrayAccessData(value.parray, &data);
    std::memcpy(data, bytes, count);
    SafeArrayUnaccessData(value.parray);
  }
  return value;
}

// The column's value as the field's DAO type gives it; a value stored in
// another form than the type's (a table filled by other means) comes as it is.
VARIANT read_value(sqlite3_stmt* stmt, int column, short type)
{
  VARIANT natural;
  switch (sqlite3_column_type(stmt, column)) {
  case SQLITE_NULL: natural.vt = VT_NULL; return natural;
  case SQLITE_INTEGER:
    natural.vt = VT_I8;
    natural.llVal = sqlite3_column_int64(stmt, column);
    break;
  case SQLITE_FLOAT:
    natural.vt = VT_R8;
    natural.dblVal = sqlite3_column_double(stmt, column);
    break;
  case SQLITE_BLOB:
    return byte_array(sqlite3_column_blob(stmt, column), static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)));
  default: {
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    std::wstring text;
    utf8_to_wide_lenient(std::string_view(bytes, static_cast<std::size_t>(sqlite3_column_bytes(stmt, column))), text);
    natural.vt = VT_BSTR;
    natural.bstrVal = SysAllocStringLen(text.data(), static_cast<unsigned int>(text.size()));
    if (natural.bstrVal == nullptr)
      throw std::bad_alloc();
  }
  }
  const VARTYPE wanted = value_type(type);
  if (wanted == natural.vt || (wanted & VT_ARRAY) != 0)
    return natural;
  VARIANT typed;
  if (FAILED(VariantChangeType(&typed, &natural, 0, wanted)))
    return natural;
  VariantClear(&natural);
  return typed;
}

void bind_value(sqlite3_stmt* stmt, int at, const VARIANT& value)
{
  int code = SQLITE_OK;
  switch (value.vt) {
  case VT_EMPTY: case VT_NULL: code = sqlite3_bind_null(stmt, at); break;
  case VT_BOOL: code = sqlite3_bind_int64(stmt, at, value.boolVal != VARIANT_FALSE ? -1 : 0); break;
  case VT_UI1: code = sqlite3_bind_int64(stmt, at, value.bVal); break;
  case VT_I2: code = sqlite3_bind_int64(stmt, at, value.iVal); break;
  case VT_I4: code = sqlite3_bind_int64(stmt, at, value.lVal); break;
  case VT_I8: code = sqlite3_bind_int64(stmt, at, value.llVal); break;
  case VT_R4: code = sqlite3_bind_double(stmt, at, value.fltVal); break;
  case VT_R8: code = sqlite3_bind_double(stmt, at, value.dblVal); break;
  case VT_DATE: code = sqlite3_bind_double(stmt, at, value.date); break;
  case VT_CY: code = sqlite3_bind_double(stmt, at, static_cast<double>(value.cyVal.int64) / 10000.0); break;
  case VT_BSTR: {
    const std::string text = to_utf8(std::wstring_view(value.bstrVal, SysStringLen(value.bstrVal)));
    code = sqlite3_bind_text64(stmt, at, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    break;
  }
  default: {  // a byte array
    LONG low = 0, high = -1;
    SafeArrayGetLBound(value.parray, 1, &low);
    SafeArrayGetUBound(value.parray, 1, &high);
    void* data = nullptr;
    SafeArrayAccessData(value.parray, &data);
    code = sqlite3_bind_blob64(stmt, at, data, static_cast<sqlite3_uint64>(high - low + 1), SQLITE_TRANSIENT);
    SafeArrayUnaccessData(value.parray);
  }
  }
  if (code != SQLITE_OK)
    raise_sqlite(sqlite3_db_handle(stmt), code);
}

bool is_byte_array(const VARIANT& value)
{
  VARTYPE element = VT_EMPTY;
  return value.vt == (VT_ARRAY | VT_UI1) && value.parray != nullptr && SafeArrayGetDim(value.parray) == 1 &&
         SUCCEEDED(SafeArrayGetVartype(value.parray, &element)) && element == VT_UI1;
}

// The columns of a prepared query: a table's column keeps its definition under
// the query's name for it; any other column has type_unknown until a value
// tells it. `origins` gets each column's table column, empty for the others.
std::shared_ptr<field_list> describe(access_session& session, sqlite3_stmt* stmt, std::vector<std::wstring>& origins,
                                     access_table_ptr& target)
{
  auto fields = std::make_shared<field_list>();
  const int count = sqlite3_column_count(stmt);
  bool one_table = count > 0;
  for (int i = 0; i < count; ++i) {
    std::wstring name, table, column;
    utf8_to_wide_lenient(sqlite3_column_name(stmt, i), name);
    const char* table_name = sqlite3_column_table_name(stmt, i);
    const char* column_name = sqlite3_column_origin_name(stmt, i);
    field_ptr field;
    if (table_name != nullptr && column_name != nullptr) {
      utf8_to_wide_lenient(table_name, table);
      utf8_to_wide_lenient(column_name, column);
      const std::ptrdiff_t at = session.find_table(table);
      const auto& source = at >= 0 ? session.tables[static_cast<std::size_t>(at)] : access_table_ptr();
      const std::ptrdiff_t position = source ? source->def->fields->find(column) : -1;
      if (position >= 0) {
        field = std::make_shared<field_data>(*source->def->fields->items[static_cast<std::size_t>(position)]);
        if (!target)
          target = source;
        one_table = one_table && target == source;
      }
    }
    if (!field) {
      field = std::make_shared<field_data>();
      field->type = type_unknown;
      one_table = false;
      column.clear();
    }
    field->name = name;
    field->frozen = field->in_collection = true;
    fields->items.push_back(std::move(field));
    origins.push_back(std::move(column));
  }
  fields->frozen = true;
  if (!one_table)
    target.reset();
  return fields;
}

void settle_types(field_list& fields, sqlite3_stmt* stmt, bool has_row)
{
  for (std::size_t i = 0; i < fields.items.size(); ++i) {
    field_data& field = *fields.items[i];
    if (field.type != type_unknown)
      continue;
    const short type = has_row ? type_of_value(stmt, static_cast<int>(i)) : db_memo;
    field = *make_field(field.name, type, 0);
    field.frozen = field.in_collection = true;
  }
}

// A recordset reads; an action query run through it would change the file
// behind the caller's back.
void check_query(const sql_statement& query)
{
  if (!sqlite3_stmt_readonly(query.get()) || sqlite3_column_count(query.get()) == 0)
    raise(err_invalid_operation);
}

} // namespace

struct access_recordset final : recordset_rows {
  access_recordset(access_session_ptr owner_, bool read_only_, bool append_only_)
      : owner(std::move(owner_)), read_only(read_only_), append_only(append_only_)
  {
  }
  ~access_recordset()
  {
    for (VARIANT& value : rows)
      VariantClear(&value);
  }
  std::size_t width() const { return fields->items.size(); }
  std::size_t row_count() const { return width() == 0 ? 0 : rows.size() / width(); }
  bool bof() const { return row_count() == 0 || current < 0; }
  bool eof() const { return row_count() == 0 || current >= static_cast<std::ptrdiff_t>(row_count()); }
  std::size_t position(const VARIANT& item) const
  {
    const auto& items = fields->items;
    return item_position(item, items.size(), [&](std::size_t i) -> std::wstring_view { return items[i]->name; });
  }

  void get_value(std::size_t at, VARIANT* value) override
  {
    check_open();
    const VARIANT* source = nullptr;
    VARIANT null;
    null.vt = VT_NULL;
    if (pending)
      source = row[at].vt == VT_EMPTY ? &null : &row[at];
    else if (bof() || eof())
      raise(err_no_current_record);
    else
      source = &rows[static_cast<std::size_t>(current) * width() + at];
    if (FAILED(VariantCopy(value, source)))
      throw std::bad_alloc();
  }
  void put_value(std::size_t at, const VARIANT& value) override
  {
    check_open();
    if (!pending)
      raise(err_no_add_new);
    const field_data& field = *fields->items[at];
    VARIANT cell;
    if (value.vt == VT_EMPTY || value.vt == VT_NULL) {
      cell.vt = VT_NULL;  // a value given as Null, not left to the default
    } else if ((value_type(field.type) & VT_ARRAY) != 0) {
      if (!is_byte_array(value) || FAILED(VariantCopy(&cell, &value)))
        raise(err_conversion);
    } else if (FAILED(VariantChangeType(&cell, &value, 0, value_type(field.type)))) {
      raise(err_conversion);
    }
    if (cell.vt == VT_BSTR) {
      const std::size_t length = SysStringLen(cell.bstrVal);
      if (field.type == db_text && length > static_cast<std::size_t>(field.size)) {
        VariantClear(&cell);
        raise(err_field_too_small, field.name);
      }
      if (length == 0 && !field.allow_zero_length) {
        VariantClear(&cell);
        raise(err_zero_length, field.name);
      }
    }
    VariantClear(&row[at]);
    row[at] = cell;
  }

  void insert()
  {
    std::string names, values;
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (row[i].vt == VT_EMPTY)
        continue;  // left to the column's default
      names += (names.empty() ? "" : ", ") + quoted_name(origins[i]);
      values += values.empty() ? "?" : ", ?";
    }
    const std::string table = quoted_name(target->def->name);
    sql_statement statement(owner->writable_db(), names.empty() ? "INSERT INTO " + table + " DEFAULT VALUES"
                                                                : "INSERT INTO " + table + " (" + names +
                                                                      ") VALUES (" + values + ")");
    int at = 0;
    for (const VARIANT& value : row)
      if (value.vt != VT_EMPTY)
        bind_value(statement.get(), ++at, value);
    statement.run();
  }

  // What the recordset object asks of its rows.
  void check_writable()
  {
    owner->writable_db();
    if (read_only || !target)
      raise(err_read_only);
  }
  bool at_bof() const { return bof(); }
  bool at_eof() const { return eof(); }
  LONG record_count() const { return static_cast<LONG>(row_count()) + added; }
  std::shared_ptr<field_list> columns() const { return fields; }
  void write_row() { insert(); }
  void move(move_step step)
  {
    const bool nowhere = step == move_step::next       ? eof()
                         : step == move_step::previous ? bof()
                                                       : row_count() == 0;
    if (nowhere)
      raise(err_no_current_record);
    drop_row();
    switch (step) {
    case move_step::first: current = 0; break;
    case move_step::next: ++current; break;
    case move_step::previous: --current; break;
    case move_step::last: current = static_cast<std::ptrdiff_t>(row_count()) - 1; break;
    }
  }
  void close() noexcept
  {
    drop_row();
    closed = true;
  }

  access_session_ptr owner;
  std::shared_ptr<field_list> fields;
  std::vector<std::wstring> origins;
  access_table_ptr target;  // the table new rows go to; none: the query takes none
  std::vector<VARIANT> rows;
  std::ptrdiff_t current = 0;
  bool read_only;
  bool append_only;
};

void close_access_recordset(access_recordset& recordset) noexcept
{
  recordset.close();
}

std::shared_ptr<field_list> query_fields(access_session& session, const std::wstring& sql)
{
  sql_statement query(session.db(), to_utf8(sql));
  check_query(query);
  std::vector<std::wstring> origins;
  access_table_ptr target;
  auto fields = describe(session, query.get(), origins, target);
  settle_types(*fields, query.get(), query.step());
  return fields;
}

com_ref<DAORecordset> open_access_recordset(access_session_ptr owner, const std::wstring& sql, short type,
                                            LONG options)
{
  constexpr short open_table = 1, open_snapshot = 4, open_forward_only = 8;
  owner->db();
  if (type == open_table)  // a query has no table-type recordset
    raise(err_invalid_operation);
  if (type != db_open_dynaset && type != open_snapshot && type != open_forward_only)
    raise(err_invalid_argument);
  const bool append_only = (options & db_append_only) != 0;
  const bool asked_read_only = (options & db_read_only) != 0 || type != db_open_dynaset;
  if (append_only && asked_read_only)
    raise(err_invalid_argument);

  sql_statement query(owner->db(), to_utf8(sql));
  check_query(query);
  auto state = std::make_shared<access_recordset>(owner, asked_read_only || owner->read_only, append_only);
  state->fields = describe(*owner, query.get(), state->origins, state->target);
  bool first = true;
  while (query.step()) {
    if (first)
      settle_types(*state->fields, query.get(), true);
    first = false;
    if (append_only)
      break;  // existing rows stay unseen
    for (std::size_t i = 0; i < state->width(); ++i) {
      if (state->rows.size() == state->rows.capacity())  // room first: a value read is never left unowned
        state->rows.reserve(state->rows.capacity() * 2 + 64);
      state->rows.push_back(read_value(query.get(), static_cast<int>(i), state->fields->items[i]->type));
    }
  }
  if (first)
    settle_types(*state->fields, query.get(), false);
  std::erase_if(owner->recordsets, [](const std::weak_ptr<access_recordset>& open) { return open.expired(); });
  owner->recordsets.push_back(state);
  return com_ref<DAORecordset>::adopt(make_com<recordset_object<access_recordset>>(std::move(state)).detach());
}

} // namespace plat::dao
