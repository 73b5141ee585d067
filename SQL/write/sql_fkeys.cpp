// Foreign keys on a MySQL target, made after the tables they join. Each key runs
// under a lock of its two tables that is released when the key is done or has
// failed, and the call ends with no table locked and the checks on again. A
// key's rule text reaches the statement only as the ON DELETE and ON UPDATE
// actions the server knows, written by this file, never as the text it was.
#include "SQL/write/sql_db_write.h"

#include "SQL/sql_engi.h"
#include "SQL/sql_util.h"
#include "TK/tk_codepage.h"
#include "TK/tk_desktop.h"
#include "TK/tk_error_reporter.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "UDB/udb_field.h"
#include "UDB/udb_recs.h"
#include "UDB/udb_vali.h"
#include "platform/case_fold.h"

#include <algorithm>

namespace {

constexpr std::uint32_t fk_table_open_mode = 0x61;  // columns and indexes
constexpr const char* cannot_create_text =
    "Cannot create foreign key. Contact to " TK_SUPPORT_MAIL " for the solution.";

// Nothing can be done about a failure here but log it.
void send_logged(sql_write_database& db, const wchar_t* statement, const char* failure) noexcept
{
  try {
    db.query(statement);
  } catch (const tk_exception& e) {
    tk_log_message(2, failure, e.what());
  } catch (...) {
    tk_log_message(2, failure, "unknown error");
  }
}

void unlock_tables(sql_write_database& db) noexcept
{
  send_logged(db, L"UNLOCK TABLES", "Cannot unlock tables: %s");
}

// Without it a lock left by the last key makes every later statement of the
// connection on any other table fail, and the session would go on unchecked.
class fk_session_end {
public:
  explicit fk_session_end(sql_write_database& db) : db_(db) {}
  ~fk_session_end()
  {
    unlock_tables(db_);
    send_logged(db_, L"SET FOREIGN_KEY_CHECKS = 1", "Cannot turn ON foreign key check: %s");
  }
  fk_session_end(const fk_session_end&) = delete;
  fk_session_end& operator=(const fk_session_end&) = delete;

private:
  sql_write_database& db_;
};

std::wstring quoted_names(const sql_engine& engine, const std::vector<std::wstring>& names)
{
  std::wstring list;
  for (const std::wstring& name : names)
    list += (list.empty() ? L"" : L", ") + engine.get_safe_name(name);
  return list;
}

// The fields of a copied table under the names they were created with.
std::wstring quoted_fields(const sql_write_database& db, const std::wstring& table,
                           const std::vector<std::wstring>& fields)
{
  std::vector<std::wstring> created;
  created.reserve(fields.size());
  for (const std::wstring& field : fields)
    created.push_back(db.get_names_map().get_fn_mapped_name(table, field));
  return quoted_names(db.get_engine(), created);
}

// The rule's ON DELETE and ON UPDATE clauses, each with one of the actions the
// server knows, read from the start of the text until something else comes.
std::wstring referential_actions(const std::wstring& rule)
{
  std::vector<std::wstring> words;
  std::wstring word;
  for (const wchar_t c : rule + L' ') {
    if (c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L',') {
      if (!word.empty())
        words.push_back(std::move(word));
      word.clear();
    } else {
      word += c;
    }
  }
  const auto is = [&](std::size_t at, const wchar_t* keyword) {
    return at < words.size() && plat::equal_no_case(words[at], keyword);
  };
  std::wstring on_delete, on_update;
  std::size_t at = 0;
  while (is(at, L"ON") && (is(at + 1, L"DELETE") || is(at + 1, L"UPDATE"))) {
    std::wstring& clause = is(at + 1, L"DELETE") ? on_delete : on_update;
    const wchar_t* action = nullptr;
    std::size_t length = 1;
    if (is(at + 2, L"RESTRICT"))
      action = L"RESTRICT";
    else if (is(at + 2, L"CASCADE"))
      action = L"CASCADE";
    else if (is(at + 2, L"SET") && is(at + 3, L"NULL"))
      action = L"SET NULL", length = 2;
    else if (is(at + 2, L"SET") && is(at + 3, L"DEFAULT"))
      action = L"SET DEFAULT", length = 2;
    else if (is(at + 2, L"NO") && is(at + 3, L"ACTION"))
      action = L"NO ACTION", length = 2;
    if (action == nullptr)
      break;
    if (clause.empty())
      clause = (&clause == &on_delete ? L"ON DELETE " : L"ON UPDATE ") + std::wstring(action);
    at += 2 + length;
  }
  if (at < words.size())
    tk_log_message(3, L"Rule text left out of the foreign key: '%s'", rule);
  return on_delete + (on_delete.empty() || on_update.empty() ? L"" : L" ") + on_update;
}

std::wstring created_table(sql_write_database& db, const std::wstring& source, const wchar_t* log_line)
{
  std::wstring name = db.get_names_map().get_tn_mapped_name(source);
  tk_log_message(1, log_line, name);
  if (!db.is_table_exist(name))
    throw tk_exception("Table '" + tk_wstring_to_utf8(name) + "' not exists", tk_level_recoverable);
  return name;
}

// Whether the server holds the table of another database.
bool holds_table(sql_write_database& db, const std::wstring& schema, const std::wstring& table)
{
  MYSQL* handle = db.get_handle();
  const std::unique_ptr<udb_recordset> found = db.query(tk_utf8_to_wstring(
      "SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = " +
      sql_quote_literal(handle, tk_wstring_to_utf8(schema)) +
      " AND TABLE_NAME = " + sql_quote_literal(handle, tk_wstring_to_utf8(table))));
  if (found == nullptr)
    return false;
  found->reset();
  const udb_record* row = found->is_eof() ? nullptr : found->get_item();
  return row != nullptr && row->size() > 0 && (*row)[0]->to_long() > 0;
}

void create_foreign_key(sql_write_database& db, const udb_relationship& key, udb_validator& names)
{
  sql_engine& engine = db.get_engine();
  const std::wstring fk_table = created_table(db, key.fk_table, L"fk_table_name=%s");
  // A table of another database is referred to where it is, under its own
  // names, and never stands for a copied table of the same name.
  const bool elsewhere = !key.pk_schema.empty();
  const std::wstring pk_table = elsewhere ? key.pk_table : created_table(db, key.pk_table, L"pk_table_name=%s");
  const std::wstring referenced = elsewhere ? engine.get_safe_name(key.pk_schema) + L"." + engine.get_safe_name(pk_table)
                                            : engine.get_safe_name(pk_table);

  // The server refuses a table named twice in one lock, so a table that
  // refers to itself is locked once.
  std::wstring lock = L"LOCK TABLES " + referenced + L" WRITE";
  if (elsewhere || fk_table != pk_table)
    lock += L", " + engine.get_safe_name(fk_table) + L" WRITE";
  tk_log_message(3, L"Locking query: '%s'", lock);
  db.query(lock);

  db.create_fk_index_if(fk_table, key.fk_flds);
  if (!elsewhere)
    db.create_fk_index_if(pk_table, key.pk_flds);

  std::wstring constraint = key.name;
  if (!names.is_acceptable(constraint)) {
    constraint = names.get_safe_name(constraint);
    tk_log_message(2, L"Store generated index name '%s'", constraint);
    names.add_existing_name(constraint);
  }
  names.add_restricted_name(constraint);

  std::wstring statement = L"ALTER TABLE " + engine.get_safe_name(fk_table) + L" ADD CONSTRAINT " +
                           engine.get_safe_name(constraint) + L" FOREIGN KEY(" +
                           quoted_fields(db, fk_table, key.fk_flds) + L") REFERENCES " + referenced + L"(" +
                           (elsewhere ? quoted_names(engine, key.pk_flds) : quoted_fields(db, pk_table, key.pk_flds)) +
                           L")";
  const std::wstring actions = referential_actions(key.rule);
  if (!actions.empty())
    statement += L" " + actions;
  tk_log_message(3, L"Foreign key query: '%s'", statement);
  db.query(statement);
}

} // namespace

void sql_write_database::create_relationships(const udb_relationships& relationships)
{
  tk_log_message(2, "sql_database::create_relationships");
  tk_log_message(3, "Converting foreign keys");
  sql_engine& engine = engine_;
  if (engine.get_server_version() < sql_version_fk_in_create) {
    tk_log_message(3, "This version of MySQL doesn't support Foreign Keys");
    return;
  }
  if (mode_ == udb_mode_append) {
    tk_log_message(3, "Foreign keys are not converted in append mode");
    return;
  }
  // Opening a table appends the keys it reads to relationships_, which may be
  // the very list given here.
  const std::vector<udb_relationship> keys(relationships.begin(), relationships.end());

  try {
    query(L"SET FOREIGN_KEY_CHECKS = 0");
  } catch (const tk_exception& e) {
    tk_log_message(2, "Cannot turn OFF foreign key check: %s", e.what());
  }
  const fk_session_end session_end(*this);
  const std::unique_ptr<udb_validator> names = engine.create_in_validator(udb_indexes());

  for (const udb_relationship& key : keys) {
    tk_log_message(3, L"Processing '%s'", key.name);
    // With the checks off the server would take a key to a table it lacks.
    if (!key.pk_schema.empty()) {
      bool held = false;
      try {
        held = holds_table(*this, key.pk_schema, key.pk_table);
      } catch (const sql_connection_lost_exception&) {
        throw;
      } catch (const tk_exception& e) {
        tk_log_message(2, "Cannot look for the referenced table: %s", e.what());
      }
      if (!held) {
        tk_report_item_failure(key.name.empty() ? key.fk_table : L"Foreign key '" + key.name + L"'",
                               tk_exception("It refers to table '" + tk_wstring_to_utf8(key.pk_table) +
                                                "' of database '" + tk_wstring_to_utf8(key.pk_schema) +
                                                "', which this server does not hold: the key is not created",
                                            tk_level_recoverable));
        continue;
      }
    }
    try {
      create_foreign_key(*this, key, *names);
      unlock_tables(*this);
    } catch (const tk_exception& e) {
      tk_log_message(3, "Error while creating FK:\n%s\n", e.what());
      unlock_tables(*this);
      // The server's reason stays in the log; the user is told whom to ask.
      tk_report_item_failure(
          key.name.empty() ? key.fk_table : L"Foreign key '" + key.name + L"'",
          tk_exception(std::string(cannot_create_text), tk_level_recoverable));
    }
  }
}

void sql_write_database::create_fk_index_if(const std::wstring& table,
                                      const std::vector<std::wstring>& fields)
{
  tk_log_message(2, L"sql_database::create_fk_index_if(%s)", table);
  // The server's indexes hold the created column names.
  std::vector<std::wstring> columns;
  for (const std::wstring& field : fields)
    columns.push_back(names_map_.get_fn_mapped_name(table, field));
  bool covered = false;
  {
    const std::unique_ptr<udb_recordset> opened = get_table(table, fk_table_open_mode);
    if (opened == nullptr)
      throw tk_mail_assertion("sql_db", 292);
    tk_log_message(1, "udb_indexes::has_index_on_fields");
    const udb_indexes& indexes = opened->get_indexes();
    covered = std::any_of(indexes.begin(), indexes.end(),
                          [&](const udb_index& index) { return index.starts_with_fields(columns); });
  }
  if (covered) {
    tk_log_message(2, L"Index for table '%s' exists", table);
    return;
  }
  tk_log_message(2, L"Index for table '%s' does NOT exist", table);
  query(L"ALTER TABLE " + engine_.get_safe_name(table) + L" ADD INDEX (" +
        quoted_fields(*this, table, fields) + L")");
}
