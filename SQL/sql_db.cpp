// The open MySQL database: its catalogue, read once when it is opened, and the
// statements it runs for its callers. The database name reaches the views query
// only as an escaped literal; table names reach statements only quoted.
#include "SQL/sql_db.h"

#include "SQL/sql_engi.h"
#include "SQL/sql_recs.h"
#include "SQL/sql_tab.h"
#include "SQL/sql_util.h"
#include "TK/tk_codepage.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "UDB/udb_field.h"
#include "platform/case_fold.h"

#include <algorithm>

namespace {

// Position of `pattern` in `text` from `start`, letters compared ignoring case.
std::size_t find_no_case(const std::wstring& text, const std::wstring& pattern, std::size_t start)
{
  if (pattern.empty() || text.size() < pattern.size())
    return std::wstring::npos;
  for (std::size_t pos = start; pos + pattern.size() <= text.size(); ++pos) {
    bool same = true;
    for (std::size_t i = 0; i < pattern.size() && same; ++i)
      same = plat::fold_case(static_cast<char32_t>(text[pos + i])) ==
             plat::fold_case(static_cast<char32_t>(pattern[i]));
    if (same)
      return pos;
  }
  return std::wstring::npos;
}

void read_names(udb_recordset& listing, std::vector<std::wstring>& names, const wchar_t* log_line)
{
  listing.reset();
  while (!listing.is_eof()) {
    const udb_record* record = listing.get_item();
    if (record != nullptr && record->size() > 0) {
      std::wstring name = (*record)[0]->to_wstring();
      tk_log_message(2, log_line, name);
      names.push_back(std::move(name));
    }
    listing.next();
  }
}

} // namespace

sql_database::sql_database(sql_engine& engine, const std::wstring& name, std::uint32_t mode)
    : udb_database(name, mode, false), engine_(engine), handle_(engine.get_handle())
{
  tk_log_message(2, L"sql_database::sql_database(%s, mode=%d)", name, mode);
  init_tables();
  if ((mode & udb_mode_no_views) == 0) {
    try {
      init_views();
    } catch (const sql_connection_lost_exception&) {
      throw;
    } catch (const sql_exception& e) {
      tk_log_message(3, "Failed to initialize views:\n%s", e.what());
    }
  }
}

sql_database::~sql_database() = default;

void sql_database::init_tables()
{
  tk_log_message(2, "sql_database::init_tables");
  if (engine_.get_server_version() >= sql_version_full_tables) {
    tk_log_message(2, "Extracting tables in new way");
    sql_list_tables_rs listing(handle_);
    read_names(listing, table_names_, L"Got table name: '%s'");
    return;
  }
  tk_log_message(2, "Extracting tables in old way");
  MYSQL_RES* result = mysql_list_tables(handle_, nullptr);
  if (result == nullptr)
    sql_raise(handle_);
  sql_tmp_recordset listing(handle_, result);
  read_names(listing, table_names_, L"Got table name: '%s'");
}

void sql_database::init_views()
{
  tk_log_message(2, "sql_database::init_views");
  const sql_blob_to_text_scope as_text;
  const std::string statement =
      "SELECT table_name, view_definition FROM information_schema.views WHERE table_schema=" +
      sql_quote_literal(handle_, tk_wstring_to_utf8(name_));
  std::unique_ptr<udb_recordset> listing = query(tk_utf8_to_wstring(statement));
  if (listing == nullptr)
    return;
  listing->reset();
  while (!listing->is_eof()) {
    const udb_record* record = listing->get_item();
    if (record != nullptr && record->size() >= 2) {
      const std::wstring view = (*record)[0]->to_wstring();
      tk_log_message(2, L"Got query name: '%s'", view);
      const std::wstring sql = (*record)[1]->get_type() == VT_EMPTY ? std::wstring()
                                                                      : (*record)[1]->to_wstring();
      tk_log_message(2, L"Got query SQL: '%s'", sql);
      views_.emplace_back(view, refine_view_out(sql));
    }
    listing->next();
  }
}

std::wstring sql_database::refine_view_out(const std::wstring& text) const
{
  tk_log_message(2, L"sql_database::refine_view_out(%s)", text);
  std::wstring out = text;
  const std::size_t open = out.find(L"/*");
  if (open != std::wstring::npos) {
    const std::size_t close = out.find(L"*/", open);
    if (close != std::wstring::npos)
      out.erase(open, close + 2 - open);
  }
  const std::wstring qualifier = sql_quote_name(name_) + L".";
  for (std::size_t pos = find_no_case(out, qualifier, 0); pos != std::wstring::npos;
       pos = find_no_case(out, qualifier, pos)) {
    tk_log_message(1, "Remove template found at pos=%d", pos);
    out.erase(pos, qualifier.size());
  }
  return out;
}

std::unique_ptr<udb_recordset> sql_database::query(const std::wstring& sql)
{
  tk_log_message(2, L"sql_database::query(%s)", sql);
  tk_log_message(1, L"sql_database::do_query2(%s)", sql);
  engine_.keep_backslash_escapes();
  const std::string statement = tk_wstring_to_utf8(sql);
  if (mysql_real_query(handle_, statement.data(), static_cast<unsigned long>(statement.size())) != 0) {
    tk_log_message(3, L"QUERY=%s", sql);
    sql_raise(handle_);
  }
  sql_result_ptr result(mysql_use_result(handle_));
  if (mysql_errno(handle_) != 0) {
    tk_log_message(3, L"QUERY=%s", sql);
    sql_raise(handle_);
  }
  if (result == nullptr)
    return nullptr;
  return std::make_unique<sql_tmp_recordset>(handle_, result.release());
}

bool sql_database::test_query(const std::wstring& sql)
{
  tk_log_message(2, L"sql_database::query(%s)", sql);
  // Even under LIMIT 0 the server would evaluate a derived table without FROM,
  // with its function calls and SLEEPs: the query is only prepared.
  try {
    const sql_query_description description = describe_query(sql);
    // A question mark would be a parameter here and a syntax error in the run.
    return description.parameter_count() == 0;
  } catch (const tk_exception& e) {
    tk_log_message(2, "The query does not prepare: %s", e.get_message());
    return false;
  }
}

namespace {

sql_stmt_ptr prepared_statement(MYSQL* handle, const std::wstring& text)
{
  const std::string statement = tk_wstring_to_utf8(text);
  sql_stmt_ptr prepared(mysql_stmt_init(handle));
  if (prepared == nullptr)
    sql_raise(handle);
  if (mysql_stmt_prepare(prepared.get(), statement.data(), static_cast<unsigned long>(statement.size())) != 0)
    sql_raise(prepared.get());
  return prepared;
}

} // namespace

sql_query_description sql_database::describe_query(const std::wstring& sql)
{
  sql_stmt_ptr derived = prepared_statement(handle_, L"SELECT * FROM " + sql_derived_table(sql, L"temp___table"));
  sql_result_ptr columns(mysql_stmt_result_metadata(derived.get()));
  if (columns == nullptr || mysql_num_fields(columns.get()) == 0)
    throw tk_exception("The query describes no columns", tk_level_recoverable);
  // The run reads the text as it stands: a text that is a query only inside
  // the derived table (one that closes its parenthesis itself) is none.
  prepared_statement(handle_, sql_query_statement(sql));
  return sql_query_description(std::move(derived), std::move(columns));
}

std::unique_ptr<udb_recordset> sql_database::get_table(const std::wstring& name, std::uint32_t mode)
{
  tk_log_message(2, L"sql_database::get_table(%s)", name);
  const auto listed = find_listed(name);
  if (listed == table_names_.end()) {
    tk_log_message(2, L"Table '%s' does not exists", name);
    throw tk_mail_assertion("sql_db", 75);
  }
  // The server is asked for the name it listed, whatever case the caller used.
  return open_table(*listed, mode);
}

std::unique_ptr<sql_table> sql_database::open_table(const std::wstring& listed, std::uint32_t mode)
{
  return std::make_unique<sql_table>(this, listed, &relationships_, mode);
}

std::unique_ptr<udb_recordset> sql_database::create_table(const std::wstring&, const udb_schema&,
                                                          const udb_indexes&)
{
  throw tk_mail_assertion("sql_db", 336);
}

bool sql_database::delete_tab(const std::wstring&)
{
  throw tk_mail_assertion("sql_db", 446);
}

void sql_database::empty_table(const std::wstring&)
{
  throw tk_mail_assertion("sql_db", 456);
}

void sql_database::create_views(const udb_views&)
{
  throw tk_mail_assertion("sql_db", 466);
}

void sql_database::create_relationships(const udb_relationships&)
{
  throw tk_mail_assertion("sql_db", 476);
}

std::vector<std::wstring>::iterator sql_database::find_listed(const std::wstring& name)
{
  // On a case-sensitive server `Orders` and `orders` are two tables: the name
  // as given wins, and only a name the server does not list as given is looked
  // up ignoring case.
  const auto listed = std::find(table_names_.begin(), table_names_.end(), name);
  if (listed != table_names_.end())
    return listed;
  return std::find_if(table_names_.begin(), table_names_.end(),
                      [&](const std::wstring& table) { return same_table_name(table, name); });
}

std::unique_ptr<udb_recordset> sql_database::get_query(const std::wstring& name,
                                                       const std::wstring& sql, std::uint32_t)
{
  tk_log_message(2, L"sql_database::get_query(%s,%s)", name, sql);
  return std::make_unique<sql_recordset>(this, name, sql, &relationships_);
}
