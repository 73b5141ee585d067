// The base bodies of the database interface: the table-name list and its
// look-ups, the index loop, and the emptying of a table through the engine's
// own statement runner.
#include "UDB/udb_db.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "UDB/udb_recs.h"
#include "platform/case_fold.h"

#include <algorithm>

udb_database::udb_database(const std::wstring& name, std::uint32_t mode, bool case_sensitive)
    : mode_(mode), name_(name), case_sensitive_(case_sensitive)
{
  tk_log_message(2, L"udb_database::ctor(%s,%d)", name_, mode_);
}

udb_database::~udb_database()
{
  tk_log_message(2, "udb_database::dtor");
}

void udb_database::create_index(const std::wstring&, std::uint32_t, const udb_index&) {}

void udb_database::create_indexes(const std::wstring& table, std::uint32_t pass_through,
                                  const udb_indexes& indexes)
{
  tk_log_message(2, L"udb_database::create_indexes(%s)", table);
  tk_log_message(2, "idxs.size=%d", indexes.size());
  for (const udb_index& index : indexes)
    create_index(table, pass_through, index);
  tk_log_message(2, L"udb_database::create_indexes - at the END");
}

void udb_database::create_views(const udb_views&) {}

bool udb_database::same_table_name(const std::wstring& a, const std::wstring& b) const
{
  return case_sensitive_ ? a == b : plat::equal_no_case(a, b);
}

bool udb_database::delete_tab(const std::wstring& name)
{
  tk_log_message(2, L"udb_database::delete_tab(%s)", name);
  const auto it = std::find_if(table_names_.begin(), table_names_.end(),
                               [&](const std::wstring& t) { return same_table_name(t, name); });
  if (it == table_names_.end()) {
    tk_log_message(2, "Table not found!");
    return false;
  }
  table_names_.erase(it);
  return true;
}

void udb_database::empty_table(const std::wstring& name)
{
  tk_log_message(2, L"udb_database::empty_table(%s)", name);
  // The statement yields no rows; a recordset an engine returns anyway is dropped.
  query(L"delete from " + name);
}

std::unique_ptr<udb_recordset> udb_database::query(const std::wstring&)
{
  throw tk_mail_assertion("udb_db", 111);
}

void udb_database::create_relationships(const udb_relationships&) {}

bool udb_database::is_table_exist(const std::wstring& name)
{
  tk_log_message(2, L"udb_database::is_table_exist(%s,case_sensitive=%d)", name,
                 int(case_sensitive_));
  if (table_names_.empty())
    tk_log_message(2, "Tables list is EMPTY!");
  for (const std::wstring& table : table_names_) {
    tk_log_message(1, L"Compare with %s", table);
    if (same_table_name(table, name)) {
      tk_log_message(1, "table exists");
      return true;
    }
  }
  tk_log_message(1, "table not found");
  return false;
}
