// The MySQL table as a destination: rows matched to the columns by name and sent
// as multi-row statements (fast appends) or one statement each (slow appends).
// Rows gathered and not sent are never lost silently: sending them again raises,
// and only the destructor, which cannot, logs instead. Rows the server ignored or
// changed (its warnings) are reported, never counted as appended. No statement
// exceeds the server's packet: large values travel as a prepared statement's
// long data.
#include "SQL/write/sql_tab_write.h"

#include "SQL/sql_engi.h"
#include "SQL/sql_recs.h"
#include "SQL/write/sql_db_write.h"
#include "SQL/write/sql_literals.h"
#include "TK/tk_codepage.h"
#include "TK/tk_error_reporter.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "UDB/udb_vali.h"
#include "base/format.h"
#include "platform/text_codec.h"

#include <algorithm>
#include <cwchar>
#include <set>

namespace {

// Rows larger than this switch the engine to slow appends; gathered rows stop
// short of it.
constexpr std::int64_t max_buffer_size = 1000000;
// Room left in a packet for what the client adds around a statement.
constexpr std::uint32_t packet_margin = 16384;
// In a prepared statement, a value whose literal could pass this goes as long data.
constexpr std::size_t max_literal_in_prepared = 65536;
// The server's reasons a report of refused or changed rows quotes.
constexpr std::size_t max_reasons = 3;

const char* const structure_mismatch =
    "The structure of data source does not conform to the destination table. For more "
    "information see Troubleshooting article of the product documentation.";

std::int64_t get_max_buffer_size()
{
  tk_log_message(1, "sql_table::get_max_buffer_size");
  return max_buffer_size;
}

// The record's fields under the names their columns got when the table was
// created from a record of these names.
class sql_field_finder {
public:
  sql_field_finder(const sql_engine& engine, const udb_record& record)
      : validator_(engine.create_fn_validator(record))
  {
    tk_log_message(1, "sql_field_finder::ctor");
    tk_log_message(1, "sql_field_finder::initialize");
    names_.reserve(record.size());
    for (const auto& field : record) {
      std::wstring name = field->get_name();
      if (!validator_->is_acceptable(name)) {
        std::wstring safe = validator_->get_safe_name(name);
        tk_log_message(1, L"GOT SAFE NAME: %s->%s", name, safe);
        tk_log_message(1, L"udb_validator::add_existing_name(%s)", safe);
        validator_->add_existing_name(safe);
        name = std::move(safe);
      }
      validator_->add_restricted_name(name);
      names_.push_back(std::move(name));
    }
  }

  // The index of the field whose name equals `name` ignoring case, or -1.
  std::int64_t get_field_idx(const std::wstring& name) const
  {
    tk_log_message(1, L"sql_field_finder::get_field_idx(%s)", name);
    for (std::size_t i = 0; i < names_.size(); ++i)
      if (names_[i].size() == name.size() &&
          wcsncasecmp(names_[i].c_str(), name.c_str(), name.size()) == 0)
        return static_cast<std::int64_t>(i);
    return -1;
  }

private:
  std::unique_ptr<udb_validator> validator_;
  std::vector<std::wstring> names_;
};

bool same_names(const udb_record& record, const std::vector<std::wstring>& names)
{
  if (record.size() != names.size())
    return false;
  for (std::size_t i = 0; i < names.size(); ++i)
    if (record[i]->get_name() != names[i])
      return false;
  return true;
}

// A text or byte array whose literal could be longer than a prepared statement
// should carry (three bytes a character, two hexadecimal digits a byte).
bool is_long_value(const udb_field& field)
{
  const VARTYPE held = field.get_variant().vt;
  if (held == VT_BSTR)
    return std::size_t{field.get_size()} * 3 > max_literal_in_prepared;
  if (held == ole_variant::vt_byte_array || held == VT_BLOB)
    return std::size_t{field.get_size()} * 2 + 2 > max_literal_in_prepared;
  return false;
}

bool is_text_or_bytes(const udb_field& field)
{
  const VARTYPE held = field.get_variant().vt;
  return held == VT_BSTR || held == ole_variant::vt_byte_array || held == VT_BLOB;
}

bool is_geometry(const t_ftd& column)
{
  return column.vartype == VT_BSTR && (column.dw_reserved == 2 || column.dw_reserved == 8);
}

} // namespace

sql_write_table::sql_write_table(sql_write_database* owner, const std::wstring& name,
                                 udb_relationships* relationships, std::uint32_t mode)
    : sql_table(owner, name, relationships, mode)
{
}

sql_write_table::~sql_write_table()
{
  if (pending_query_.empty())
    return;
  tk_log_message(1, "Run SQL query: [%s]", pending_query_);
  try {
    send_pending();
  } catch (const std::exception& e) {
    tk_log_message(3, L"Table '%s': ERROR '%s'", name_, tk_utf8_to_wstring(e.what()));
  }
}

sql_write_database& sql_write_table::database() const
{
  // The only database that makes a writing table is a writing one.
  return static_cast<sql_write_database&>(*get_sql_owner());
}

void sql_write_table::send_pending()
{
  if (pending_query_.empty())
    return;
  // Emptied also when the server refuses the rows; the buffer keeps its room
  // for the next batch.
  struct forget_pending {
    sql_write_table& table;
    ~forget_pending()
    {
      table.pending_query_.clear();
      table.pending_head_.clear();
      table.cached_rec_size_ = 0;
      table.pending_rows_ = 0;
    }
  } forget{*this};
  database().query_append(pending_query_);
  account_written(pending_rows_, database().last_write_outcome());
}

void sql_write_table::account_written(std::uint64_t rows, const sql_write_outcome& outcome)
{
  const bool replace = (get_sql_owner()->get_mode() & 0x100) != 0;
  // INSERT IGNORE skips a row it cannot take; REPLACE counts a replaced row twice.
  const std::uint64_t refused = !replace && outcome.affected < rows ? rows - outcome.affected : 0;
  if (refused == 0 && outcome.warnings == 0)
    return;

  // Warnings name the row they changed ("... at row 3"); those that name none
  // (a duplicate key, a NULL into NOT NULL) stand for one row each, the refused
  // ones among them first.
  std::set<std::uint64_t> changed_rows;
  std::uint64_t without_row = 0;
  std::uint64_t listed = 0;
  std::vector<std::string> reasons;
  {
    sql_tmp_recordset warnings(get_sql_owner()->get_handle(), "SHOW WARNINGS");
    warnings.initialize();
    for (warnings.reset(); !warnings.is_eof(); warnings.next()) {
      const udb_record* row = warnings.get_item();
      if (row == nullptr || row->size() < 3)
        continue;
      ++listed;
      if ((*row)[0]->to_string() == "Note")
        continue;
      const std::string message = (*row)[2]->to_string();
      if (reasons.size() < max_reasons && std::find(reasons.begin(), reasons.end(), message) == reasons.end())
        reasons.push_back(message);
      const std::size_t at = message.rfind(" at row ");
      if (at != std::string::npos)
        changed_rows.insert(std::strtoull(message.c_str() + at + 8, nullptr, 10));
      else
        ++without_row;
    }
  }
  // Warnings beyond the server's list (max_error_count) count a row each.
  const std::uint64_t unlisted = outcome.warnings > listed ? outcome.warnings - listed : 0;
  const std::uint64_t changed =
      changed_rows.size() + (without_row > refused ? without_row - refused : 0) + unlisted;
  const std::uint64_t lost = std::min(rows, refused + changed);
  if (lost == 0)
    return;  // notes only
  record_count_ = record_count_ > lost ? record_count_ - lost : 0;

  std::string text = refused != 0 ? base::sprintf("The server refused %d", refused) : std::string("The server");
  if (lost > refused)
    text += base::sprintf("%s changed %d", refused != 0 ? " and" : "", lost - refused);
  text += base::sprintf(" of %d rows", rows);
  for (std::size_t i = 0; i < reasons.size(); ++i)
    text += (i == 0 ? ": " : "; ") + reasons[i];
  tk_log_message(3, "%s", text);
  tk_report_item_failure(L"Table '" + name_ + L"'", tk_exception(text + ".", tk_level_recoverable));
}

void sql_write_table::save()
{
  tk_log_message(2, "sql_table::save");
  send_pending();
}

void sql_write_table::append_record(const udb_record& record, std::uint32_t)
{
  tk_log_message(2, "sql_table::append_record");
  const std::int64_t size = record.get_total_size();
  tk_log_message(1, "record size=%d", size);
  sql_engine& engine = get_sql_owner()->get_engine();
  if (size > get_max_buffer_size()) {
    tk_log_message(3, "Row is too big (%d bytes), swtich to slow_append", size);
    engine.set_fast_append(false);
    send_pending();
  }
  // Counted before it goes, so that what the server says of it can uncount it.
  ++record_count_;
  try {
    if (engine.is_fast_append())
      fast_append(record);
    else
      slow_append(record);
  } catch (...) {
    --record_count_;
    throw;
  }
}

const sql_write_table::write_plan& sql_write_table::plan_for(const udb_record& record, bool fast)
{
  sql_engine& engine = get_sql_owner()->get_engine();
  const std::uint32_t version = engine.get_server_version();
  if (plan_ == nullptr || plan_->server_version != version || !same_names(record, plan_->field_names)) {
    auto plan = std::make_unique<write_plan>();
    plan->server_version = version;
    for (const auto& field : record)
      plan->field_names.push_back(field->get_name());
    const int level = fast ? 1 : 2;
    plan->fits = !record.empty();  // a record of no field names no column
    plan->columns_first = schema_.size() <= record.size();
    if (plan->columns_first) {
      tk_log_message(1, "Size of schema is less or equal to the size of record");
      const sql_field_finder finder(engine, record);
      for (const auto& column : schema_) {
        const std::int64_t i = finder.get_field_idx(column->name);
        if (i < 0) {
          tk_log_message(level, L"Field %s not found in appending record", column->name);
          plan->fits = false;
          break;
        }
        plan->fields.push_back(static_cast<std::size_t>(i));
        plan->columns.push_back(column.get());
      }
    } else {
      tk_log_message(1, "Size of record is less than size of schema");
      const std::unique_ptr<udb_validator> validator = engine.create_fn_validator(record);
      for (std::size_t i = 0; i < record.size() && plan->fits; ++i) {
        std::wstring name = record[i]->get_name();
        if (!validator->is_acceptable(name)) {
          name = validator->get_safe_name(name);
          tk_log_message(1, L"udb_validator::add_existing_name(%s)", name);
          validator->add_existing_name(name);
        }
        tk_log_message(1, L"Name=%s, mapped name=%s", record[i]->get_name(), name);
        const t_ftd* column = schema_.find(name);
        if (column == nullptr) {
          tk_log_message(level, L"Field %s not found", record[i]->get_name());
          plan->fits = false;
          break;
        }
        plan->fields.push_back(i);
        plan->columns.push_back(column);
      }
    }
    const bool old = engine.is_old_version();
    plan->table_by_version = tk_wstring_to_utf8(old ? name_ : engine.get_safe_name(name_));
    for (std::size_t k = 0; plan->fits && k < plan->columns.size(); ++k) {
      const std::string quoted = tk_wstring_to_utf8(engine.get_safe_name(plan->columns[k]->name));
      const char* separator = k == 0 ? "" : ", ";
      plan->columns_quoted += separator + quoted;
      plan->columns_by_version += separator + (old ? tk_wstring_to_utf8(plan->columns[k]->name) : quoted);
    }
    plan_ = std::move(plan);
  }
  if (!plan_->fits)
    throw tk_exception(std::string(structure_mismatch), tk_level_recoverable);
  return *plan_;
}

void sql_write_table::append_values(const udb_record& record, const write_plan& plan, std::string& out,
                              std::vector<const udb_field*>* parameters, bool every_text) const
{
  for (std::size_t k = 0; k < plan.fields.size(); ++k) {
    if (k != 0)
      out += ", ";
    const udb_field& field = *record[plan.fields[k]];
    const t_ftd& column = *plan.columns[k];
    if (parameters != nullptr && (every_text ? is_text_or_bytes(field) : is_long_value(field))) {
      out += is_geometry(column) ? "ST_GeomFromText(?)" : "?";
      parameters->push_back(&field);
    } else {
      append_fld_str(out, field, column, false);
    }
  }
}

void sql_write_table::fast_append(const udb_record& record)
{
  tk_log_message(1, "sql_table::fast_append");
  tk_log_message(1, "that.size=%d", record.size());
  const write_plan& plan = plan_for(record, true);
  const bool replace = (get_sql_owner()->get_mode() & 0x100) != 0;
  const char* keyword = replace ? "REPLACE INTO " : "INSERT IGNORE INTO ";
  sql_engine& engine = get_sql_owner()->get_engine();

  head_.assign(keyword);
  head_ += plan.table_by_version;
  head_ += '(';
  head_ += plan.columns_by_version;
  values_.clear();
  append_values(record, plan, values_, nullptr);

  // The batch stays within the server's packet as well as within the buffer size.
  const std::uint32_t packet = engine.get_max_allowed_packet();
  const std::size_t room = packet > 2 * packet_margin ? packet - packet_margin : packet / 2;
  const std::size_t limit = packet == 0 ? max_buffer_size : std::min<std::size_t>(max_buffer_size, room);
  if (packet != 0 && head_.size() + values_.size() + 10 > room) {
    // Not even alone would the row's text fit in a packet.
    send_pending();
    send_row(record, plan, keyword, false, true);
    return;
  }

  const std::size_t gathered = pending_query_.size();
  if (gathered != 0 && (gathered + 2 + head_.size() + values_.size() > limit ||
                        cached_rec_size_ != record.size() || pending_head_ != head_)) {
    if (cached_rec_size_ != record.size())
      tk_log_message(3, "cached_rec_size=%d, that.size=%d", cached_rec_size_, record.size());
    send_pending();
    tk_log_message(2, "Initialize new query...");
    pending_query_ = head_;
    pending_query_ += ")VALUES(";
  } else if (gathered == 0) {
    tk_log_message(2, "Initialize new query...");
    pending_query_ = head_;
    pending_query_ += ") VALUES(";
  } else {
    pending_query_ += ", (";
  }
  if (pending_head_.empty()) {
    pending_head_ = head_;
    cached_rec_size_ = static_cast<std::uint32_t>(record.size());
  }
  pending_query_ += values_;
  pending_query_ += ')';
  ++pending_rows_;
  tk_log_message(1, "*** FAST INSERT MODE ***");
}

void sql_write_table::slow_append(const udb_record& record)
{
  tk_log_message(1, "sql_table::slow_append");
  const write_plan& plan = plan_for(record, false);
  tk_log_message(1, "mysql_db.get_mode()=%d", get_sql_owner()->get_mode());
  const bool replace = (get_sql_owner()->get_mode() & 0x100) != 0;
  send_row(record, plan, replace ? "REPLACE INTO " : "INSERT INTO ", plan.columns_first,
           record.get_total_size() > get_max_buffer_size());
}

void sql_write_table::send_row(const udb_record& record, const write_plan& plan, const char* keyword,
                         bool safe_names, bool prepared)
{
  sql_engine& engine = get_sql_owner()->get_engine();
  std::string statement = keyword;
  statement += plan.table_by_version;
  statement += '(';
  statement += safe_names ? plan.columns_quoted : plan.columns_by_version;
  statement += ") VALUES (";
  const std::size_t values_start = statement.size();
  if (!prepared) {
    append_values(record, plan, statement, nullptr);
    statement += ')';
    const std::uint32_t packet = engine.get_max_allowed_packet();
    if (packet == 0 || statement.size() + packet_margin <= packet) {
      tk_log_message(1, "Run SQL query: %s", statement);
      database().query_append(statement);
      account_written(1, database().last_write_outcome());
      return;
    }
    statement.resize(values_start);  // too long for a packet: the long values become parameters
  }

  const std::uint32_t packet = engine.get_max_allowed_packet();
  tk_log_message(2, "get_max_allowed_packet=%d", packet);
  // Each long value travels on its own, in pieces, and the server takes up to
  // a packet of each: only a value larger than that cannot be written.
  for (const std::size_t k : plan.fields)
    if (packet != 0 && record[k]->get_size() > packet) {
      tk_log_message(2, "A value is larger than max_allowed_packet");
      throw tk_exception(std::string("Row size exceeds 'max_allowed_packet'"), tk_level_recoverable);
    }
  std::vector<const udb_field*> parameters;
  append_values(record, plan, statement, &parameters);
  statement += ')';
  if (packet != 0 && statement.size() + packet_margin > packet) {
    // Values that fit one by one but not together: every text and byte array
    // goes as long data, leaving the statement its numbers alone.
    statement.resize(values_start);
    parameters.clear();
    append_values(record, plan, statement, &parameters, true);
    statement += ')';
  }
  tk_log_message(1, "Run SQL query: %s", statement);
  account_written(1, database().prepared_statement(statement, record, parameters));
}
