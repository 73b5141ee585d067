// Temporary recordsets (catalogue listings, counts) and the source recordset of the
// MySQL engine. Each holds one streamed result at a time and a bounded batch of its
// rows, refilled in place; a stream that breaks raises instead of ending the rows.
#include "SQL/sql_recs.h"

#include "SQL/sql_db.h"
#include "SQL/sql_engi.h"
#include "SQL/sql_sub_types.h"
#include "SQL/sql_util.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "UDB/udb_field.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace {

// The decimals a FLOAT or DOUBLE column without its own (M,D) reports.
constexpr unsigned float_decimals_not_fixed = 31;

std::int64_t read_count(const udb_field& field)
{
  switch (field.get_type()) {
  case VT_I8:
    return field.get_i8();
  case VT_UI8:
    return static_cast<std::int64_t>(
        std::min<std::uint64_t>(field.get_ui8(), std::numeric_limits<std::int64_t>::max()));
  case VT_EMPTY:
    return 0;
  default:
    return field.to_long();
  }
}

std::uint32_t sub_type_of(const MYSQL_FIELD& field)
{
  switch (field.type) {
  case MYSQL_TYPE_DATETIME:
  case MYSQL_TYPE_TIMESTAMP:  // a date and time too (one with "now" as default is refined later)
    return sql_date_time;
  case MYSQL_TYPE_DATE:
    return sql_date_only;
  case MYSQL_TYPE_TIME:
    return sql_time_only;
  case MYSQL_TYPE_LONGLONG:
    return (field.flags & UNSIGNED_FLAG) != 0 ? 2 : 1;
  case MYSQL_TYPE_GEOMETRY:
    return sql_text_geometry;
  default:
    return 0;
  }
}

} // namespace

// ---------------------------------------------------------------------------
// sql_tmp_recordset

sql_tmp_recordset::sql_tmp_recordset(MYSQL* handle, const std::string& statement)
    : udb_recordset(nullptr, std::wstring(), std::wstring(), true), handle_(handle)
{
  tk_log_message(1, "sql_tmp_recordset::ctor2(%s)", statement);
  if (mysql_real_query(handle_, statement.data(), static_cast<unsigned long>(statement.size())) != 0)
    sql_raise(handle_);
  result_.reset(mysql_use_result(handle_));
  if (result_ == nullptr && mysql_errno(handle_) != 0)
    sql_raise(handle_);
  take_result();
}

sql_tmp_recordset::sql_tmp_recordset(MYSQL* handle, MYSQL_RES* result)
    : udb_recordset(nullptr, std::wstring(), std::wstring(), true), handle_(handle), result_(result)
{
  tk_log_message(1, "sql_tmp_recordset::ctor1");
  take_result();
  initialize();
}

void sql_tmp_recordset::take_result()
{
  if (result_ == nullptr)
    return;
  field_count_ = mysql_num_fields(result_.get());
  tk_log_message(1, "n_fields=%d", field_count_);
  fields_ = mysql_fetch_fields(result_.get());
}

sql_tmp_recordset::~sql_tmp_recordset()
{
  tk_log_message(1, "sql_tmp_recordset::dtor");
  clean_cache();
  tk_log_message(1, "sql_tmp_recordset::dtor - at the end");
}

void sql_tmp_recordset::initialize()
{
  tk_log_message(1, "sql_tmp_recordset::initialize");
  if (result_ == nullptr)
    throw tk_mail_assertion("sql_recs", 409);
  fill_cache();
  tk_log_message(1, "sql_tmp_recordset::initialize - END");
}

void sql_tmp_recordset::fill_cache()
{
  tk_log_message(1, "sql_tmp_recordset::fill_cache");
  if (result_ == nullptr || ended_)
    return;
  if (plan_ == nullptr)
    plan_ = std::make_unique<sql_row_plan>(field_count_, fields_);
  while (cached_ < cache_size) {
    MYSQL_ROW row = mysql_fetch_row(result_.get());
    if (row == nullptr) {
      if (mysql_errno(handle_) != 0)
        sql_raise(handle_);
      ended_ = true;
      break;
    }
    const unsigned long* lengths = mysql_fetch_lengths(result_.get());
    if (cached_ < cache_.size()) {
      std::unique_ptr<sql_record>& slot = cache_[cached_];
      if (!slot->refill(*plan_, lengths, row))
        slot = std::make_unique<sql_record>(*plan_, lengths, row);
    } else {
      cache_.push_back(std::make_unique<sql_record>(*plan_, lengths, row));
    }
    ++cached_;
  }
  tk_log_message(1, "records.size()=%d", cached_);
  tk_log_message(1, "sql_tmp_recordset::fill_cache - END");
}

void sql_tmp_recordset::clean_cache()
{
  tk_log_message(1, "sql_tmp_recordset::clean_cache");
  // The records stay allocated to take the next batch in place.
  cached_ = 0;
}

void sql_tmp_recordset::append_record(const udb_record&, std::uint32_t)
{
  throw tk_mail_assertion("sql_recs", 402);
}

udb_record* sql_tmp_recordset::get_item()
{
  return position_ < cached_ ? cache_[position_].get() : nullptr;
}

bool sql_tmp_recordset::is_eof()
{
  tk_log_message(1, "sql_tmp_recordset::is_eof: pos=%d, records.size=%d", position_, cached_);
  if (position_ < cached_)
    return false;
  clean_cache();
  fill_cache();
  position_ = 0;
  tk_log_message(1, "New records.size=%d", cached_);
  return cached_ == 0;
}

void sql_tmp_recordset::next()
{
  ++position_;
}

void sql_tmp_recordset::reset()
{
  position_ = 0;
}

sql_list_databases_rs::sql_list_databases_rs(MYSQL* handle)
    : sql_tmp_recordset(handle, "SHOW DATABASES")
{
  tk_log_message(2, "sql_list_databases_rs::ctor");
  if (get_field_count() == 1) {
    get_fields()[0].flags = 0;
    initialize();
  } else {
    tk_log_message(2, "Failed to create sql_list_databases_rs");
  }
}

sql_list_tables_rs::sql_list_tables_rs(MYSQL* handle)
    : sql_tmp_recordset(handle, "show full tables where Table_type='BASE TABLE'")
{
  tk_log_message(2, "sql_list_tables_rs::ctor");
  if (get_field_count() == 2) {
    get_fields()[0].flags = 0;
    initialize();
  } else {
    tk_log_message(2, "Failed to create sql_list_tables_rs");
  }
}

// ---------------------------------------------------------------------------
// sql_recordset

sql_recordset::sql_recordset(sql_database* owner, const std::wstring& name,
                             udb_relationships* relationships)
    : udb_recordset(owner, name, true), sql_owner_(owner), relationships_(relationships)
{
  tk_log_message(2, "sql_recordset::sql_recordset1");
  initialize();
}

sql_recordset::sql_recordset(sql_database* owner, const std::wstring& name,
                             const std::wstring& query_text, udb_relationships* relationships)
    : udb_recordset(owner, name, query_text, true), sql_owner_(owner), relationships_(relationships)
{
  tk_log_message(2, "sql_recordset::sql_recordset2");
  initialize();
}

sql_recordset::~sql_recordset()
{
  tk_log_message(1, "sql_recordset::dtor");
  clean();
  stream_.reset();
}

void sql_recordset::initialize()
{
  tk_log_message(2, "sql_recordset::initialize");
  tk_log_message(2, "is_blob_to_text=%d", int(sql_engine::instance().is_blob_to_text()));
  clean();
  record_count_ = static_cast<std::uint64_t>(std::max<std::int64_t>(get_rec_count(), 0));
  tk_log_message(2, "get_rec_count returns %d", record_count_);

  // A query's columns come from the server's description of it, which
  // evaluates nothing: a query of a minute costs a minute to count and one to
  // read, no more, and its count bounds its first reading. A table's first
  // reading shows its columns and its first page: it asks for no more rows
  // than the page holds.
  std::optional<sql_query_description> description;
  std::unique_ptr<sql_limited_query> local;
  unsigned count = 0;
  const MYSQL_FIELD* fields = nullptr;
  if (is_query()) {
    description.emplace(sql_owner_->describe_query(query_text_));
    count = description->field_count();
    fields = description->fields();
    count_unread_ = true;
  } else {
    local = std::make_unique<sql_limited_query>(*sql_owner_, name_, false, sql_limited_query::page_size);
    count = local->get_field_count();
    fields = local->get_fields();
  }
  std::wstring columns;
  // The server writes a FLOAT with six digits; as a double it shows every digit
  // of the stored single. A column with its own decimals keeps its text.
  const bool exact_floats = !is_query() && sql_owner_->get_engine().is_copy_session();
  bool has_exact_float = false;
  bool has_geometry = false;
  std::wstring auto_column;
  for (unsigned i = 0; i < count; ++i) {
    const MYSQL_FIELD& field = fields[i];
    tk_log_message(2, "Processing field #%d", i + 1);
    if (i > 0)
      columns += L',';
    const std::wstring name = sql_field_name(field);
    if (field.type == MYSQL_TYPE_GEOMETRY) {
      tk_log_message(2, "Got MYSQL_TYPE_GEOMETRY");
      columns += L"ST_AsText(" + sql_quote_name(name) + L") as ";
      has_geometry = true;
    } else if (exact_floats && field.type == MYSQL_TYPE_FLOAT && field.decimals >= float_decimals_not_fixed) {
      columns += sql_quote_name(name) + L"+0e0 as ";
      has_exact_float = true;
    }
    columns += sql_quote_name(name);
    tk_log_message(2, L"GOT FIELD: name=%s, type=%d, size=%d, flags=%d", name, int(field.type),
                   field.length, field.flags);
    const bool auto_increment = (field.flags & AUTO_INCREMENT_FLAG) != 0;
    // A table's geometry is read through its well-known text.
    const VARTYPE vartype =
        field.type == MYSQL_TYPE_GEOMETRY && !is_query() ? VT_BSTR : sql_column_vartype(field);
    t_ftd& descriptor = schema_.emplace_back(
        static_cast<std::uint32_t>(std::min<unsigned long>(field.length, std::numeric_limits<std::uint32_t>::max())),
        name, vartype, (field.flags & NOT_NULL_FLAG) != 0, auto_increment,
        ole_variant(), sub_type_of(field), std::wstring());
    if (auto_increment) {
      tk_log_message(1, L"Got auto_number column: '%s'", name);
      auto_column = name;
    }
    const bool has_seconds = field.type == MYSQL_TYPE_DATETIME || field.type == MYSQL_TYPE_TIMESTAMP ||
                             field.type == MYSQL_TYPE_TIME;
    if (has_seconds && field.decimals <= 6)
      descriptor.scale = field.decimals;  // the fractional digits of its seconds
    if (field.type == MYSQL_TYPE_DECIMAL || field.type == MYSQL_TYPE_NEWDECIMAL) {
      tk_log_message(1, "Scale/precision: (%d,%d)", field.decimals, field.length);
      // The server counts a sign position for signed columns and a point when
      // there are decimals.
      long precision = static_cast<long>(field.length);
      if (field.decimals != 0)
        --precision;
      if ((field.flags & UNSIGNED_FLAG) == 0)
        --precision;
      descriptor.precision = static_cast<std::uint32_t>(std::max(precision, 0L));
      descriptor.scale = field.decimals;
    }
    field_types_.push_back(static_cast<int>(field.type));
  }
  if (local != nullptr) {
    page_rows_ = local->store_to(&page_, &schema_);
    local.reset();
  }

  const std::wstring select_list = L"SELECT " + columns + L" FROM " + sql_quote_name(name_);
  tk_log_message(2, L"local_select_qry=%s", select_list);
  if (is_query()) {
    tk_log_message(2, "It's a SQL-query, nothing to do anymore");
    return;
  }
  if (!auto_column.empty()) {
    tk_log_message(2, L"Refining auto_number '%s' (last value)", auto_column);
    try {
      const std::wstring statement =
          L"select max( " + sql_quote_name(auto_column) + L") from " + sql_quote_name(name_);
      tk_log_message(2, L"auto_number query=%s", statement);
      std::unique_ptr<udb_recordset> max = sql_owner_->query(statement);
      if (max != nullptr) {
        max->reset();
        if (!max->is_eof()) {
          const udb_record* record = max->get_item();
          if (record != nullptr && record->size() > 0) {
            const std::int32_t last = (*record)[0]->to_long();
            tk_log_message(2, "got last value=%d", last);
            last_auto_value_ = static_cast<std::uint32_t>(last);
          }
        }
      }
    } catch (const sql_connection_lost_exception&) {
      throw;
    } catch (const std::exception& e) {
      tk_log_message(3, "Failed to extract last value for auto_number column");
      tk_log_message(2, "ERROR: %s", e.what());
    }
  }
  if (has_geometry)
    query_text_ = select_list;
  else if (has_exact_float)
    select_columns_ = std::move(columns);
  tk_log_message(2, "sql_recordset::initialize - END");
}

std::int64_t sql_recordset::get_rec_count()
{
  tk_log_message(2, "sql_recordset::get_rec_count");
  const std::wstring statement =
      L"SELECT COUNT(*) FROM " +
      (is_query() ? sql_derived_table(query_text_, L"query") : sql_quote_name(name_));
  std::int64_t count = 0;
  std::unique_ptr<udb_recordset> result = sql_owner_->query(statement);
  if (result != nullptr) {
    result->reset();
    if (!result->is_eof()) {
      const udb_record* record = result->get_item();
      if (record != nullptr && record->size() > 0)
        count = read_count(*(*record)[0]);
    }
  }
  tk_log_message(2, "sql_recordset::get_rec_count - END (result=%d)", count);
  return count;
}

void sql_recordset::append_record(const udb_record&, std::uint32_t)
{
  tk_log_message(1, "sql_recordset::append_record");
  throw tk_mail_assertion("sql_recs", 257);
}

udb_record* sql_recordset::get_item()
{
  return page_slot_ < page_rows_ ? page_[page_slot_].get() : nullptr;
}

bool sql_recordset::is_eof()
{
  return position_ >= record_count_;
}

void sql_recordset::next()
{
  tk_log_message(1, "sql_recordset::next");
  if (stream_ == nullptr)
    throw tk_mail_assertion("sql_recs", 292);
  // A page cut short by a broken stream ends at its last row: reading on
  // raises the stream's error instead of meeting an empty slot.
  if (page_slot_ >= sql_limited_query::page_size - 1 ||
      (page_slot_ + 1 >= page_rows_ && stream_->is_broken())) {
    page_rows_ = stream_->store_to(&page_, is_query() ? nullptr : &schema_);
    page_slot_ = 0;
  } else {
    ++page_slot_;
  }
  ++position_;
}

void sql_recordset::prev()
{
  tk_log_message(1, "sql_recordset::prev");
  if (position_ == 0)
    return;
  // Rows of earlier pages are no longer held: at a page's first row only the
  // position moves.
  if (page_slot_ > 0)
    --page_slot_;
  --position_;
}

void sql_recordset::reset()
{
  tk_log_message(2, "sql_recordset::reset");
  // The connection must be free for the count.
  stream_.reset();
  position_ = 0;
  page_slot_ = 0;
  if (!count_unread_)
    record_count_ = static_cast<std::uint64_t>(std::max<std::int64_t>(get_rec_count(), 0));
  count_unread_ = false;
  clean();
  stream_ = std::make_unique<sql_limited_query>(*sql_owner_, is_query() ? query_text_ : name_, is_query(), 0,
                                                select_columns_);
  page_rows_ = stream_->store_to(&page_, is_query() ? nullptr : &schema_);
}

void sql_recordset::clean()
{
  tk_log_message(2, "sql_recordset::clean");
  for (auto& slot : page_)
    slot.reset();
  page_rows_ = 0;
}
