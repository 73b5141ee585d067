// The streamed reading behind every table and query of the MySQL engine. Rows are
// fetched one at a time from the server (mysql_use_result) and land in records that
// are refilled in place; the end of a result is told from a failure by the
// client library's error number, never by the missing row alone.
#include "SQL/sql_limq.h"

#include "SQL/sql_db.h"
#include "SQL/sql_engi.h"
#include "SQL/sql_util.h"
#include "TK/tk_codepage.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"

sql_limited_query::sql_limited_query(sql_database& owner, const std::wstring& text, bool is_query,
                                     std::uint32_t first_rows, const std::wstring& columns)
    : handle_(owner.get_handle())
{
  tk_log_message(1, L"sql_limited_query::sql_limited_query(%s)", text);
  std::wstring statement;
  if (is_query) {
    tk_log_message(1, "...as query");
    // Raises for a text that is not one query; the columns are not needed here.
    owner.describe_query(text);
    statement = sql_query_statement(text);
  } else {
    tk_log_message(1, "...as table");
    statement = L"SELECT ";
    statement += columns.empty() ? std::wstring_view(L"*") : std::wstring_view(columns);
    statement += L" FROM " + sql_quote_name(text);
    if (first_rows != 0)
      statement += L" LIMIT 0," + std::to_wstring(first_rows);
  }
  tk_log_message(1, L"sql_database::do_query2(%s)", statement);
  const std::string utf8 = tk_wstring_to_utf8(statement);
  if (mysql_real_query(handle_, utf8.data(), static_cast<unsigned long>(utf8.size())) != 0)
    sql_raise(handle_);
  result_.reset(mysql_use_result(handle_));
  if (result_ == nullptr)
    sql_raise(handle_);
  field_count_ = mysql_num_fields(result_.get());
  fields_ = mysql_fetch_fields(result_.get());
  tk_log_message(1, "sql_limited_query - at the end");
}

sql_limited_query::~sql_limited_query()
{
  tk_log_message(2, "sql_limited_query::~sql_limited_query");
}

std::uint32_t sql_limited_query::store_to(page* rows, const udb_schema* schema)
{
  tk_log_message(1, "sql_limited_query::store_to(n_max_records=%d)", page_size);
  if (rows == nullptr)
    throw tk_mail_assertion("sql_limq", 66);
  if (failure_)
    std::rethrow_exception(failure_);
  if (ended_)
    return 0;
  if (plan_ == nullptr) {
    // The page keeps no more of a text than the destination can still use.
    const std::size_t kept = sql_kept_units();
    if (schema != nullptr && !schema->empty()) {
      tk_log_message(1, "Schema is NOT empty");
      plan_ = std::make_unique<sql_row_plan>(*schema, field_count_, fields_, kept);
    } else {
      tk_log_message(1, "Schema is empty, build via f_info");
      plan_ = std::make_unique<sql_row_plan>(field_count_, fields_, kept);
    }
  }
  std::uint32_t stored = 0;
  while (stored < page_size) {
    MYSQL_ROW row = mysql_fetch_row(result_.get());
    if (row == nullptr) {
      if (mysql_errno(handle_) != 0) {
        tk_log_message(3, "The result stream broke after %d rows of the page", stored);
        failure_ = sql_error_of(handle_);
        // The rows that came before the error are the caller's; it meets the
        // error when it asks for more.
        if (stored == 0)
          std::rethrow_exception(failure_);
        break;
      }
      ended_ = true;
      break;
    }
    const unsigned long* lengths = mysql_fetch_lengths(result_.get());
    std::unique_ptr<sql_record>& slot = (*rows)[stored];
    if (slot == nullptr || !slot->refill(*plan_, lengths, row))
      slot = std::make_unique<sql_record>(*plan_, lengths, row);
    ++stored;
  }
  return stored;
}
