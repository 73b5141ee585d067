// Databases made and dropped on the engine's connection. Every name reaches a
// statement quoted (bare only on servers older than quoting), and a drop leaves
// the foreign-key checks as it found them unless the server refuses it.
#include "SQL/write/sql_engi_write.h"

#include "SQL/write/sql_db_write.h"
#include "TK/tk_codepage.h"
#include "TK/tk_log.h"
#include "UDB/udb_properties.h"

std::unique_ptr<udb_database> sql_write_engine::create_db(const std::wstring& name)
{
  tk_log_message(2, L"sql_engine::create_db (%s)", name);
  tk_log_message(3, L"Creating MySQL database '%s'", name);
  const std::wstring statement = L"CREATE DATABASE " + (is_old_version() ? name : get_safe_name(name)) +
                                 L" character set " + get_character_set();
  tk_log_message(2, L"Run SQL-query: %s", statement);
  execute(tk_wstring_to_utf8(statement).c_str());
  return open_db(name, 2, L"");
}

bool sql_write_engine::db_delete(const std::wstring& name)
{
  tk_log_message(2, L"sql_engine::db_delete(%s)", name);
  tk_log_message(3, L"Deleting MySQL database '%s'", name);
  try {
    execute("SET FOREIGN_KEY_CHECKS = 0");
  } catch (const tk_exception& e) {
    tk_log_message(2, "Cannot turn off foreign key check: %s", e.get_message());
  }
  execute(tk_wstring_to_utf8(L"DROP DATABASE " + (is_old_version() ? name : get_safe_name(name))).c_str());
  try {
    execute("SET FOREIGN_KEY_CHECKS = 1");
  } catch (const tk_exception& e) {
    tk_log_message(2, "Cannot turn on foreign key check: %s", e.get_message());
  }
  return true;
}

void sql_write_engine::set_properties(udb_properties* properties)
{
  tk_log_message(1, "sql_engine::set_properties");
  sql_engine::set_properties(properties);
  if (properties == nullptr)
    return;
  const udb_properties::values& values = properties->get_values();
  if (const auto engine = values.find(L"engine"); engine != values.end()) {
    tk_log_message(1, L"Set tab.type='%s'", engine->second);
    set_table_engine(engine->second);
  } else {
    tk_log_message(1, "Set InnoDB as default");
    set_table_engine(L"InnoDB");
  }
  if (const auto charset = values.find(L"character set"); charset != values.end())
    set_character_set(charset->second);
}

std::unique_ptr<udb_database> sql_write_engine::open_database(const std::wstring& name, std::uint32_t mode)
{
  return std::make_unique<sql_write_database>(*this, name, mode);
}
