// The Recordset over the rows of a query on an Access database. The rows stream
// from the query as the recordset moves (none under the append-only option),
// one row held at a time whatever the result's length, each typed by the DAO
// type of the field it comes from; a query whose columns all come from one
// table takes new rows, inserted into that table by Update. A value the field's
// type cannot hold (a date with a zero month, a decimal of more digits than a
// double has) goes in and comes back as the text it was given, never changed.
// A row is pending between AddNew and a successful Update; AddNew, CancelUpdate
// and Close drop it.
#include "platform/dao/access/store.h"
#include "platform/dao/recordset_object.h"

#include "platform/oleaut/safearray.h"
#include "platform/text_codec.h"

#include <sqlite3.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

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

// A decimal number's significant digits and the power of ten of the first:
// equal for texts of the same value ("1.50", "15e-1"). Empty digits: zero.
struct decimal_form {
  bool negative = false;
  std::string digits;
  long exponent = 0;
  bool operator==(const decimal_form&) const = default;
};

// False for a text that is no plain decimal number ([-+]digits[.digits][e[-+]digits]).
bool read_decimal(std::string_view text, decimal_form& out)
{
  out = decimal_form();
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+'))
    out.negative = text[i++] == '-';
  bool any = false, point = false;
  long before_point = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      any = true;
      if (out.digits.empty() && c == '0') {
        if (point)
          --before_point;
        continue;
      }
      out.digits += c;
      if (!point)
        ++before_point;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!any)
    return false;
  long exponent = 0;
  if (i < text.size()) {
    if (text[i] != 'e' && text[i] != 'E')
      return false;
    ++i;
    if (i < text.size() && text[i] == '+')
      ++i;
    const auto [end, error] = std::from_chars(text.data() + i, text.data() + text.size(), exponent);
    if (error != std::errc() || end != text.data() + text.size())
      return false;
  }
  while (!out.digits.empty() && out.digits.back() == '0')
    out.digits.pop_back();
  out.exponent = out.digits.empty() ? 0 : before_point + exponent;
  if (out.digits.empty())
    out.negative = false;
  return true;
}

// The number a converted value holds, as the shortest text that reads back as it.
std::optional<std::string> number_text(const VARIANT& value)
{
  char buffer[64];
  std::to_chars_result printed{};
  switch (value.vt) {
  case VT_R8: printed = std::to_chars(buffer, buffer + sizeof buffer, value.dblVal); break;
  case VT_R4: printed = std::to_chars(buffer, buffer + sizeof buffer, value.fltVal); break;
  case VT_UI1: printed = std::to_chars(buffer, buffer + sizeof buffer, value.bVal); break;
  case VT_I2: printed = std::to_chars(buffer, buffer + sizeof buffer, value.iVal); break;
  case VT_I4: printed = std::to_chars(buffer, buffer + sizeof buffer, value.lVal); break;
  case VT_I8: printed = std::to_chars(buffer, buffer + sizeof buffer, value.llVal); break;
  case VT_CY: {  // an integer of ten-thousandths
    printed = std::to_chars(buffer, buffer + sizeof buffer, value.cyVal.int64);
    if (printed.ec != std::errc())
      return std::nullopt;
    return std::string(buffer, printed.ptr) + "e-4";
  }
  default: return std::nullopt;
  }
  if (printed.ec != std::errc())
    return std::nullopt;
  return std::string(buffer, printed.ptr);
}

// The text converted to the field's type when the type holds it as it is: a
// number text whose converted value has other digits, or a text the type
// cannot read at all, stays the text. False when it stays.
bool change_exactly(VARIANT& out, const VARIANT& text, VARTYPE wanted)
{
  if (FAILED(VariantChangeType(&out, &text, 0, wanted)))
    return false;
  decimal_form given, held;
  const std::optional<std::string> converted = number_text(out);
  if (converted && read_decimal(to_utf8(std::wstring_view(text.bstrVal, SysStringLen(text.bstrVal))), given) &&
      (!read_decimal(*converted, held) || !(given == held))) {
    VariantClear(&out);
    return false;
  }
  return true;
}

// A text that is a value of the type's kind which the type cannot hold: a
// decimal number for a number field, digits with - : . and blanks (838:59:59,
// 2024-00-15) for a date field. Anything else is no value of the field.
bool is_value_text(std::wstring_view text, VARTYPE wanted)
{
  if (wanted == VT_DATE)
    return !text.empty() && text.find_first_not_of(L"0123456789-:. ") == std::wstring_view::npos &&
           text.find_first_of(L"0123456789") != std::wstring_view::npos;
  decimal_form unused;
  return wanted != VT_BOOL && read_decimal(to_utf8(text), unused);
}

// The column's value as the field's DAO type gives it; a value stored in
// another form than the type's (a text the type could not hold, a table filled
// by other means) comes as it is when the type cannot hold it exactly.
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
  const bool changed = natural.vt == VT_BSTR ? change_exactly(typed, natural, wanted)
                                             : SUCCEEDED(VariantChangeType(&typed, &natural, 0, wanted));
  if (!changed)
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
  access_recordset(access_session_ptr owner_, std::string sql_, bool read_only_, bool append_only_)
      : owner(std::move(owner_)), sql(std::move(sql_)), read_only(read_only_), append_only(append_only_)
  {
  }
  ~access_recordset() { clear_current(); }
  std::size_t width() const { return fields->items.size(); }
  bool bof() const { return empty || current < 0; }
  bool eof() const { return empty || at_end; }
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
      source = &current_row[at];
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
    VariantInit(&cell);
    if (value.vt == VT_EMPTY || value.vt == VT_NULL) {
      cell.vt = VT_NULL;  // a value given as Null, not left to the default
    } else if ((value_type(field.type) & VT_ARRAY) != 0) {
      if (!is_byte_array(value) || FAILED(VariantCopy(&cell, &value)))
        raise(err_conversion);
    } else if (value.vt == VT_BSTR && value_type(field.type) != VT_BSTR &&
               is_value_text(std::wstring_view(value.bstrVal, SysStringLen(value.bstrVal)), value_type(field.type))) {
      // A value the type cannot hold as it is (838:59:59, 2024-00-15, a decimal of
      // 30 digits) is kept as its text, not refused with its row.
      if (!change_exactly(cell, value, value_type(field.type)) && FAILED(VariantCopy(&cell, &value)))
        throw std::bad_alloc();
    } else if (FAILED(VariantChangeType(&cell, &value, 0, value_type(field.type)))) {
      raise(err_conversion);
    }
    if (cell.vt == VT_BSTR && value_type(field.type) == VT_BSTR) {
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

  // The row the cursor stands on becomes the current one.
  void take_row()
  {
    clear_current();
    for (std::size_t i = 0; i < width(); ++i)
      current_row.push_back(read_value(query->get(), static_cast<int>(i), fields->items[i]->type));
  }
  void clear_current() noexcept
  {
    for (VARIANT& value : current_row)
      VariantClear(&value);
    current_row.clear();  // keeps its room for the next row
  }
  // One row on; false (and the cursor spent) past the last. A spent cursor is
  // never stepped again: SQLite would start the query over.
  bool step()
  {
    if (spent)
      return false;
    spent = !query->step();
    return !spent;
  }
  // The query run again up to the row at `wanted`, from the start.
  void go_to(std::ptrdiff_t wanted)
  {
    query->reset();
    spent = false;
    at_end = false;
    for (std::ptrdiff_t i = 0; i <= wanted; ++i)
      if (!step()) {
        at_end = true;
        break;
      }
    current = wanted;
    if (!at_end)
      take_row();
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
  LONG record_count()
  {
    if (!total) {
      // Counted by a cursor of its own, which holds no row.
      std::size_t rows = 0;
      if (!append_only)
        for (sql_statement counter(owner->db(), sql); counter.step();)
          ++rows;
      total = rows;
    }
    return static_cast<LONG>(*total) + added;
  }
  std::shared_ptr<field_list> columns() const { return fields; }
  void write_row() { insert(); }
  void move(move_step step_to)
  {
    const bool nowhere = step_to == move_step::next       ? eof()
                         : step_to == move_step::previous ? bof()
                                                          : empty;
    if (nowhere)
      raise(err_no_current_record);
    drop_row();
    switch (step_to) {
    case move_step::first: go_to(0); break;
    case move_step::next:
      ++current;
      if (step())
        take_row();
      else
        at_end = true;
      break;
    case move_step::previous:
      // Rows behind the cursor are not held: the query runs again to the one before.
      if (current == 0) {
        query->reset();  // the next row is the first again
        spent = false;
        clear_current();
        current = -1;
        at_end = false;
      } else {
        go_to(current - 1);
      }
      break;
    case move_step::last:
      if (at_end)
        go_to(current - 1);
      while (step()) {
        ++current;
        take_row();
      }
      at_end = false;
      total = static_cast<std::size_t>(current) + 1;
      break;
    }
  }
  void close() noexcept
  {
    drop_row();
    clear_current();
    query.reset();  // the cursor goes before the session commits or closes
    closed = true;
  }

  access_session_ptr owner;
  std::string sql;
  std::shared_ptr<field_list> fields;
  std::vector<std::wstring> origins;
  access_table_ptr target;  // the table new rows go to; none: the query takes none
  std::unique_ptr<sql_statement> query;  // the cursor, on the current row
  std::vector<VARIANT> current_row;
  std::ptrdiff_t current = 0;  // -1: before the first row
  bool empty = true;           // the query gave no row when opened
  bool at_end = false;         // moved past the last row
  bool spent = false;          // the cursor has reached the end
  std::optional<std::size_t> total;
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
  owner->db();
  const recordset_mode mode = recordset_mode_of(type, options);
  const bool append_only = mode.append_only;

  auto state = std::make_shared<access_recordset>(owner, to_utf8(sql), mode.read_only || owner->read_only,
                                                   append_only);
  state->query = std::make_unique<sql_statement>(owner->db(), state->sql);
  check_query(*state->query);
  state->fields = describe(*owner, state->query->get(), state->origins, state->target);
  const bool has_row = state->query->step();
  settle_types(*state->fields, state->query->get(), has_row);
  if (append_only) {
    state->query.reset();  // existing rows stay unseen
  } else if (has_row) {
    state->empty = false;
    state->take_row();
  } else {
    state->spent = true;
  }
  owner->recordsets.add(state);
  return com_ref<DAORecordset>::adopt(make_com<recordset_object<access_recordset>>(std::move(state)).detach());
}

} // namespace plat::dao
